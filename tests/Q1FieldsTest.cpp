#include "TestUtil.h"
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
        TQ1Page page;
        SelectBaud(page.cbb_BaudRate, QString::fromLatin1(b.text));
        EXPECT_EQ(HexOf(write(page).mid(17, 3)), b.bytes) << b.text;
    }
    TQ1Page page;
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
        {&TQ1Page::edt_Gateway, "a.b.c.d", "edt_Gateway"}};
    for (const auto &c : cases) {
        TQ1Page page;
        (page.*(c.edit)).Text = QString::fromLatin1(c.text);
        bool ok = true;
        QString field;
        const QByteArray out = write(page, &ok, &field);
        EXPECT_FALSE(ok) << c.text;
        EXPECT_EQ(field, QString::fromLatin1(c.field));
        EXPECT_EQ(out, QByteArray(28, '\x77')) << "nothing half-filled";
    }
    TQ1Page page;
    page.cbb_BaudRate.Items[0] = QStringLiteral("fast");
    page.cbb_BaudRate.Index = 0;
    bool ok = true;
    write(page, &ok);
    EXPECT_FALSE(ok);
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
