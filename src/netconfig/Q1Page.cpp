#include "netconfig/Q1Page.h"

#include "core/ProFun.h"
#include "lang/LangList.h"
#include "netconfig/PageFields.h"

#include <algorithm>

TQ1Page::TQ1Page()
{
    cbb_ModuleWork.Items = {"UDP Mode", "TCP Client", "UDP Server", "TCP Server"};
    edt_ModuleIP.Text = QStringLiteral("192.168.0.7");
    edt_Mask.Text = QStringLiteral("255.255.255.0");
    edt_Gateway.Text = QStringLiteral("192.168.0.201");
    cbb_BaudRate.Items = {"115200", "Custom", "300",   "600",   "1200",   "2400",   "4800", "9600",
                          "14400",  "19200",  "38400", "57600", "115200", "230400", "460800"};
    cbb_BaudRate.Index = 12;
    InitSerialLists(cbb_P, cbb_D, cbb_S);
    edt_ModulePort = {QStringLiteral("201108"), 5};
    edt_DeIP.Text = QStringLiteral("192.168.0.201");
    edt_DePort = {QStringLiteral("8234"), 5};
    edt_ID = {QStringLiteral("0"), 5};
}

void TQ1Page::ModuleWorkChange() { ModuleWorkChange(cbb_ModuleWork.Index); }

void TQ1Page::ModuleWorkChange(int mode)
{
    const bool on = mode == 0 || mode == 1;
    edt_DeIP.Enabled = edt_DePort.Enabled = on;
    lbl_DeIP.Grey = lbl_DePort.Grey = !on;
}

bool TQ1Page::ValidateQ1Page(QString &message) const
{
    const auto L = [](const char *key) { return GetLangText(QString::fromLatin1(key)); };
    TEditState baud;
    baud.Text = cbb_BaudRate.Text();
    const struct {
        const char *field; // the name in Q1PageFields, for its rule
        const TEditState *edit;
        QString label;
        bool mayBeEmpty;
    } checks[] = {
        {"Baudrate", &baud, L("lang_lbl_BaudRate"), false},
        {"ModuleIP", &edt_ModuleIP, L("lang_lbl_ModuleIP"), false},
        {"ModulePort", &edt_ModulePort, L("lang_Lbl_LocalPort"), false},
        {"Mask", &edt_Mask, L("lang_Lbl_SubnetMask"), false},
        {"Gateway", &edt_Gateway, L("lang_Lbl_Gateway"), false},
        {"DestIP", &edt_DeIP, L("lang_lbl_DeIP"), false},
        {"DestPort", &edt_DePort, L("lang_Lbl_RemotePort"), false},
        {"DeviceID", &edt_ID, L("lang_Lbl_DevID"), true}, // empty is written as 0
    };
    for (const auto &c : checks) {
        if (c.edit->Text.trimmed().isEmpty()) {
            if (c.mayBeEmpty && c.edit->Text.isEmpty())
                continue;
            message = c.label + L("lang_IsNull");
            return false;
        }
        const TPageField<TQ1Page> *f = FindPageField(Q1PageFields(), QString::fromLatin1(c.field));
        if (!f)
            continue;
        if (const TValueFault fault = CheckValueRule(f->Rule, c.edit->Text); fault != TValueFault::None) {
            message = ValueFaultMessage(c.label, fault, f->Rule);
            return false;
        }
    }
    message.clear();
    return true;
}

uint8_t SerialSettingsByte(int parity, int data, int stop)
{
    uint8_t b = uint8_t((data & 0x03) | ((stop & 0x01) << 2));
    if (parity != 0)
        b |= uint8_t(0x08 | (((parity - 1) & 0x03) << 4));
    return b;
}

uint8_t Q1OptionByte(const TQ1Page &p)
{
    const TCheckState *boxes[8] = {&p.chk_ConnSendId, &p.chk_DataWithId, &p.chk_RS485, &p.chk_RS422,
                                   &p.chk_Reset,      &p.chk_Link,       &p.chk_Index, &p.chk_RFC2217};
    uint8_t b = 0;
    for (int i = 0; i < 8; ++i)
        if (boxes[i]->Checked)
            b |= uint8_t(1u << i);
    return b;
}

namespace {

struct TFieldError {
    QString Field;
};

// A number that fits the field; anything else stops the writer rather than being cut to fit.
int num(const TEditState &e, const char *field, int min = 0, int max = int(MaxWord))
{
    int v = 0;
    if (!TryStrToInt(e.Text, v) || v < min || v > max)
        throw TFieldError{QString::fromLatin1(field)};
    return v;
}

// "a.b.c.d" with its last octet first: the numbers between the dots go from the highest byte down.
void putIP(const TEditState &e, const char *field, uint8_t *at)
{
    if (!IsDottedQuad(e.Text.trimmed()))
        throw TFieldError{QString::fromLatin1(field)};
    const QStringList parts = e.Text.trimmed().split(u'.');
    for (int i = 0; i < 4; ++i)
        at[3 - i] = uint8_t(parts[i].toInt());
}

void putLe16(uint8_t *at, int v)
{
    at[0] = uint8_t(v % 256);
    at[1] = uint8_t((v / 256) & 0xFF);
}

} // namespace

bool WriteQ1Fields(TQ1Page &page, uint8_t *out, QString *failedField)
{
    if (page.edt_ID.Text.isEmpty())
        page.edt_ID.Text = QStringLiteral("0");
    uint8_t b[Q1FieldsSize] = {};
    try {
        putIP(page.edt_DeIP, "edt_DeIP", b + 0);
        putLe16(b + 4, num(page.edt_DePort, "edt_DePort"));
        putIP(page.edt_ModuleIP, "edt_ModuleIP", b + 6);
        putLe16(b + 10, num(page.edt_ModulePort, "edt_ModulePort"));
        putIP(page.edt_Gateway, "edt_Gateway", b + 12);
        b[16] = uint8_t(page.cbb_ModuleWork.Index);
        TEditState baudText;
        baudText.Text = page.cbb_BaudRate.Text();
        const uint32_t u = uint32_t(num(baudText, "cbb_BaudRate", 1, int(MaxLe24)));
        b[17] = uint8_t(u & 0xFF);
        b[18] = uint8_t((u >> 8) & 0xFF);
        b[19] = uint8_t((u >> 16) & 0xFF);
        const int id = num(page.edt_ID, "edt_ID");
        b[21] = uint8_t((id / 256) & 0xFF);
        b[22] = uint8_t(id % 256);
        b[20] = SerialSettingsByte(page.cbb_P.Index, page.cbb_D.Index, page.cbb_S.Index);
        b[23] = Q1OptionByte(page);
        putIP(page.edt_Mask, "edt_Mask", b + 24);
    } catch (const TFieldError &e) {
        if (failedField)
            *failedField = e.Field;
        return false;
    }
    std::copy(b, b + Q1FieldsSize, out);
    return true;
}

void ReadQ1Fields(const uint8_t *in, TQ1Page &page)
{
    const auto ip = [](const uint8_t *p) { return IntToIP(uint32_t(BytesToInt(p, 4, true))); };
    const auto le16 = [](const uint8_t *p) { return QString::number(p[0] | (p[1] << 8)); };
    page.cbb_ModuleWork.Select(in[16]);
    page.edt_ModuleIP.Text = ip(in + 6);
    page.edt_Mask.Text = ip(in + 24);
    page.edt_Gateway.Text = ip(in + 12);
    SelectBaud(page.cbb_BaudRate, QString::number(in[17] | (in[18] << 8) | (in[19] << 16)));
    page.cbb_P.Select(LcrParity(in[20]));
    page.cbb_D.Select(LcrDataBits(in[20]));
    page.cbb_S.Select(LcrStopBits(in[20]));
    page.edt_ModulePort.Text = le16(in + 10);
    page.edt_DeIP.Text = ip(in + 0);
    page.edt_DePort.Text = le16(in + 4);
    page.edt_ID.Text = QString::number(BytesToInt(in + 21, 2, false));
    TCheckState *boxes[8] = {&page.chk_ConnSendId, &page.chk_DataWithId, &page.chk_RS485, &page.chk_RS422,
                             &page.chk_Reset,      &page.chk_Link,       &page.chk_Index, &page.chk_RFC2217};
    for (int i = 0; i < 8; ++i)
        boxes[i]->Checked = (in[23] >> i) & 1;
}
