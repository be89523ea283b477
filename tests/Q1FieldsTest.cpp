#include "TestUtil.h"
#include "lang/LangList.h"
#include "netconfig/Q1Page.h"

namespace {
QByteArray write(TQ1Page &page, bool *ok = nullptr, QString *field = nullptr)
{
    QByteArray out(28, '\x77');
    const bool r = WriteQ1Fields(page, reinterpret_cast<uint8_t *>(out.data()), field);
    if (ok)
        *ok = r;
    return out;
}

// A page that writes: the constructor's module port "201108" (as the window shows it before any
// read) is more than two bytes hold.
TQ1Page writable()
{
    TQ1Page page;
    page.edt_ModulePort.Text = QStringLiteral("20108");
    return page;
}
} // namespace

TEST(Q1Fields, theExamplePageByteForByte)
{
    TQ1Page page;
    page.cbb_ModuleWork.Index = 1;
    page.edt_ModuleIP.Text = QStringLiteral("192.168.0.7");
    page.edt_Mask.Text = QStringLiteral("255.255.255.0");
    page.edt_Gateway.Text = QStringLiteral("192.168.0.201");
    page.cbb_BaudRate.Index = page.cbb_BaudRate.IndexOf(QStringLiteral("115200"));
    page.cbb_P.Index = 0;
    page.cbb_D.Index = 3;
    page.cbb_S.Index = 0;
    page.edt_ModulePort.Text = QStringLiteral("20108");
    page.edt_DeIP.Text = QStringLiteral("192.168.0.201");
    page.edt_DePort.Text = QStringLiteral("8234");
    page.edt_ID.Text = QStringLiteral("0");
    page.chk_RFC2217.Checked = page.chk_RS485.Checked = true;
    EXPECT_EQ(HexOf(write(page)), "C9 00 A8 C0 2A 20 07 00 A8 C0 8C 4E C9 00 A8 C0 01 00 C2 01 03 00 00 84 00 FF FF FF");

    TQ1Page back;
    ReadQ1Fields(reinterpret_cast<const uint8_t *>(write(page).constData()), back);
    EXPECT_EQ(back.cbb_ModuleWork.Index, 1);
    EXPECT_EQ(back.edt_Gateway.Text, QStringLiteral("192.168.0.201"));
    EXPECT_EQ(back.edt_ModulePort.Text, QStringLiteral("20108"));
    EXPECT_EQ(back.cbb_BaudRate.Text(), QStringLiteral("115200"));
    EXPECT_TRUE(back.chk_RFC2217.Checked && back.chk_RS485.Checked);
    EXPECT_FALSE(back.chk_RS422.Checked || back.chk_ConnSendId.Checked);
}

TEST(Q1Fields, baudIdAndSerialSettings)
{
    struct Baud { const char *text; const char *bytes; } bauds[] = {
        {"115200", "00 C2 01"}, {"9600", "80 25 00"}, {"921600", "00 10 0E"}, {"131071", "FF FF 01"}};
    for (const auto &b : bauds) {
        TQ1Page page = writable();
        SelectBaud(page.cbb_BaudRate, QString::fromLatin1(b.text));
        EXPECT_EQ(HexOf(write(page).mid(17, 3)), b.bytes) << b.text;
    }
    TQ1Page page = writable();
    page.edt_ID.Text = QStringLiteral("258");
    EXPECT_EQ(HexOf(write(page).mid(21, 2)), "01 02");
    page.edt_ID.Text.clear();
    EXPECT_EQ(HexOf(write(page).mid(21, 2)), "00 00");
    EXPECT_EQ(page.edt_ID.Text, QStringLiteral("0"));
    page.edt_DeIP.Text = QStringLiteral("192.168.0.201");
    EXPECT_EQ(HexOf(write(page).left(4)), "C9 00 A8 C0");

    struct Lcr { int p, d, s; uint8_t byte; } lcrs[] = {{2, 3, 0, 0x1B}, {0, 3, 1, 0x07}, {4, 0, 1, 0x3C}, {1, 2, 0, 0x0A}};
    for (const auto &l : lcrs) {
        EXPECT_EQ(SerialSettingsByte(l.p, l.d, l.s), l.byte) << l.p << l.d << l.s;
        uint8_t in[28] = {};
        in[20] = l.byte;
        TQ1Page r;
        ReadQ1Fields(in, r);
        EXPECT_EQ(r.cbb_P.Index, l.p);
        EXPECT_EQ(r.cbb_D.Index, l.d);
        EXPECT_EQ(r.cbb_S.Index, l.s);
    }
}

TEST(Q1Fields, aFieldThatDoesNotConvertWritesNothing)
{
    struct Case { TEditState TQ1Page::*edit; const char *text; const char *field; } cases[] = {
        {&TQ1Page::edt_DePort, "80a", "edt_DePort"},   {&TQ1Page::edt_ID, "x", "edt_ID"},
        {&TQ1Page::edt_Mask, "255.255.255", "edt_Mask"}, {&TQ1Page::edt_ModuleIP, "1.2.3.4.5", "edt_ModuleIP"},
        {&TQ1Page::edt_Gateway, "a.b.c.d", "edt_Gateway"},
        // Values the bytes cannot carry stop the writer too, instead of being cut to fit.
        {&TQ1Page::edt_ModuleIP, "999.1.1.1", "edt_ModuleIP"}, {&TQ1Page::edt_DeIP, "10.77.5", "edt_DeIP"},
        {&TQ1Page::edt_Mask, "255.255.255.-1", "edt_Mask"}, {&TQ1Page::edt_DePort, "65536", "edt_DePort"},
        {&TQ1Page::edt_ModulePort, "201108", "edt_ModulePort"}, {&TQ1Page::edt_ID, "-1", "edt_ID"},
        {&TQ1Page::edt_ID, "70000", "edt_ID"}};
    for (const auto &c : cases) {
        TQ1Page page = writable();
        (page.*(c.edit)).Text = QString::fromLatin1(c.text);
        bool ok = true;
        QString field;
        const QByteArray out = write(page, &ok, &field);
        EXPECT_FALSE(ok) << c.text;
        EXPECT_EQ(field, QString::fromLatin1(c.field));
        EXPECT_EQ(out, QByteArray(28, '\x77')) << "nothing half-filled";
    }
    for (const char *baud : {"fast", "0", "16777216", "-9600"}) {
        TQ1Page page = writable();
        page.cbb_BaudRate.Items[0] = QString::fromLatin1(baud);
        page.cbb_BaudRate.Index = 0;
        bool ok = true;
        QString field;
        EXPECT_EQ(write(page, &ok, &field), QByteArray(28, '\x77')) << baud;
        EXPECT_FALSE(ok) << baud;
        EXPECT_EQ(field, QStringLiteral("cbb_BaudRate"));
    }
    TQ1Page page = writable();
    SelectBaud(page.cbb_BaudRate, QStringLiteral("16777215"));
    bool ok = false;
    EXPECT_EQ(HexOf(write(page, &ok).mid(17, 3)), "FF FF FF");
    EXPECT_TRUE(ok);
}

TEST(Q1Page, readerPutsAnUnlistedBaudIntoItemZeroAndWorkModeRule)
{
    uint8_t in[28] = {};
    in[17] = 0x90; // 250000 = 0x03D090
    in[18] = 0xD0;
    in[19] = 0x03;
    TQ1Page page;
    ReadQ1Fields(in, page);
    EXPECT_EQ(page.cbb_BaudRate.Index, 0);
    EXPECT_EQ(page.cbb_BaudRate.Items[0], QStringLiteral("250000"));
    for (int mode : {0, 1, 2, 3}) {
        page.cbb_ModuleWork.Index = mode;
        page.ModuleWorkChange();
        EXPECT_EQ(page.edt_DeIP.Enabled, mode < 2) << mode;
        EXPECT_EQ(page.lbl_DePort.Grey, mode >= 2) << mode;
    }
}

// The checks before a Q1/Q3 write: every address and number the 28 bytes carry, in page order;
// whatever passes also writes.
TEST(Q1Page, checksRefuseWhatTheFieldsCannotCarry)
{
    InitLanguage(QString());
    LangList->IsChinese = false;
    const QString notIPv4 = QStringLiteral(" is not a valid IPv4 address, please enter four numbers from 0 to 255 separated by dots!");
    const QString word = QStringLiteral(" is out of range, please enter a number from 0 to 65535!");
    struct Case {
        TEditState TQ1Page::*edit;
        const char *text;
        QString message; // empty: passes
    } cases[] = {
        {&TQ1Page::edt_ModuleIP, "999.1.1.1", "Module IP" + notIPv4},
        {&TQ1Page::edt_ModuleIP, " 192.168.0.9 ", {}},
        {&TQ1Page::edt_Mask, "255.255.255", "SubnetMask" + notIPv4},
        {&TQ1Page::edt_Gateway, "10.77.5", "Gateway" + notIPv4},
        {&TQ1Page::edt_Gateway, "", QStringLiteral("Gatewayis null, please write data!")},
        {&TQ1Page::edt_DeIP, "192.168.0.2O1", "Destination IP" + notIPv4},
        {&TQ1Page::edt_DeIP, "255.255.255.255", {}},
        {&TQ1Page::edt_ModulePort, "65536", "Local Port" + word},
        {&TQ1Page::edt_ModulePort, "201108", "Local Port" + word},
        {&TQ1Page::edt_ModulePort, "65535", {}},
        {&TQ1Page::edt_DePort, "80a", QStringLiteral("Remote Portnot legitimate, please enter a number!")},
        {&TQ1Page::edt_DePort, "0", {}},
        {&TQ1Page::edt_ID, "", {}}, // goes out as 0
        {&TQ1Page::edt_ID, " ", QStringLiteral("Device IDis null, please write data!")},
        {&TQ1Page::edt_ID, "65536", "Device ID" + word},
        {&TQ1Page::edt_ID, "65535", {}},
    };
    QString msg;
    ASSERT_TRUE(writable().ValidateQ1Page(msg)) << msg.toStdString();
    for (const Case &c : cases) {
        TQ1Page page = writable();
        (page.*(c.edit)).Text = QString::fromLatin1(c.text);
        SCOPED_TRACE(c.text);
        EXPECT_EQ(page.ValidateQ1Page(msg), c.message.isEmpty());
        EXPECT_EQ(msg, c.message);
        bool ok = false;
        write(page, &ok);
        EXPECT_EQ(ok, c.message.isEmpty()) << "the writer agrees with the checks";
    }
    // The baud rate takes three bytes on a Q1; the custom entry itself is no rate.
    for (const auto &[baud, message] :
         {std::pair{"16777216", "BaudRate is out of range, please enter a number from 1 to 16777215!"},
          std::pair{"0", "BaudRate is out of range, please enter a number from 1 to 16777215!"},
          std::pair{"Custom", "BaudRatenot legitimate, please enter a number!"}, std::pair{"16777215", ""}}) {
        TQ1Page page = writable();
        SelectBaud(page.cbb_BaudRate, QString::fromLatin1(baud));
        EXPECT_EQ(page.ValidateQ1Page(msg), *message == 0) << baud;
        EXPECT_EQ(msg, QString::fromLatin1(message));
    }
    // The first failure in page order wins; Chinese follows the language.
    TQ1Page page = writable();
    page.edt_ID.Text = QStringLiteral("x");
    page.edt_Gateway.Text = QStringLiteral("1.2.3");
    page.edt_ModulePort.Text = QStringLiteral("99999");
    LangList->IsChinese = true;
    EXPECT_FALSE(page.ValidateQ1Page(msg));
    EXPECT_EQ(msg, QStringLiteral("本地端口超出范围，请输入0到65535之间的数字！"));
    FreeLanguage();
}
