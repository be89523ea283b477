// Text fields go back to a module byte for byte: the GBK pair is lossless, fixed widths cut at a
// character boundary, and every text field of every block, read onto the page and written back
// unchanged, leaves the same bytes -- over the network and over the serial line.

#include "EndpointModule.h"
#include "RecorderSink.h"
#include "TestUtil.h"
#include "core/Gbk.h"
#include "core/ProFun.h"
#include "lang/LangList.h"
#include "netconfig/Q2Write.h"
#include "serial/SerialProtocol.h"

#include <functional>
#include <random>

namespace {

uint8_t *U(QByteArray &b) { return reinterpret_cast<uint8_t *>(b.data()); }

// Random bytes; nonZero for text a page shows (a text control ends at the first zero byte).
QByteArray randomBytes(std::mt19937 &rng, int n, bool nonZero)
{
    QByteArray b(n, '\0');
    for (char &c : b)
        c = char(nonZero ? 1 + rng() % 255 : rng() % 256);
    return b;
}

QString escape(uint8_t byte) { return QString(QChar(char16_t(GbkEscapeBase + byte))); }

} // namespace

TEST(GbkBytes, bytesThatAreNoCharacterEscapeOneByOneAndComeBack)
{
    struct Case { const char *bytes; QString text; } cases[] = {
        {"DE AD BE", QStringLiteral("蕲") + escape(0xBE)},       // a lead byte cut off by the end
        {"41 42 BE", QStringLiteral("AB") + escape(0xBE)},
        {"81 7F 41", escape(0x81) + QStringLiteral("\x7F" "A")}, // a trail byte that is none
        {"FF", QStringLiteral("\uF8F5")},                        // mapped by the code page: no escape
        {"80", QStringLiteral("€")},
        {"AA A1", QStringLiteral("\uE000")},                     // user-defined area: Private Use
        {"D6 D0 CE C4 A3 AC", QStringLiteral("中文，")},
        {"B0", escape(0xB0)},
    };
    for (const auto &c : cases) {
        const QByteArray bytes = Hex(c.bytes);
        EXPECT_EQ(FromGbk(bytes), c.text) << c.bytes;
        EXPECT_EQ(HexOf(ToGbk(FromGbk(bytes))), HexOf(bytes)) << c.bytes;
    }
    EXPECT_TRUE(FitsGbk(QStringLiteral("中") + escape(0xBE)));
    EXPECT_FALSE(FitsGbk(QStringLiteral("jörg")));
}

TEST(GbkBytes, anyByteStringRoundTrips)
{
    std::mt19937 rng(20240301);
    for (int i = 0; i < 600; ++i) {
        // Mostly high bytes, so that lead bytes, trail bytes and stray bytes meet often.
        QByteArray bytes(int(rng() % 48), '\0');
        for (char &c : bytes)
            c = char(rng() % 4 ? 0x80 + rng() % 128 : rng() % 128);
        const QString text = FromGbk(bytes);
        ASSERT_EQ(HexOf(ToGbk(text)), HexOf(bytes));
        ASSERT_EQ(FromGbk(ToGbk(text)), text);
    }
}

TEST(GbkBytes, cutsKeepCharactersWholeAndCountAnEscapeAsOneByte)
{
    struct Case { QString text; int width; const char *bytes; } cases[] = {
        {QStringLiteral("中文"), 3, "D6 D0"},
        {QStringLiteral("中文"), 4, "D6 D0 CE C4"},
        {QStringLiteral("A") + escape(0xBE) + QStringLiteral("中"), 2, "41 BE"},
        {QStringLiteral("A") + escape(0xBE) + QStringLiteral("中"), 3, "41 BE"},
        {escape(0xBE) + QStringLiteral("A"), 2, "BE 41"},
        {QStringLiteral("abc"), 0, ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(HexOf(ToGbkCut(c.text, c.width)), c.bytes) << c.width;

    // Any text read from bytes: the cut is the bytes of a prefix of the text, as long as fits.
    std::mt19937 rng(7);
    for (int i = 0; i < 300; ++i) {
        const QByteArray bytes = randomBytes(rng, 1 + int(rng() % 30), true);
        const QString text = FromGbk(bytes);
        const int width = int(rng() % 32);
        const QByteArray cut = ToGbkCut(text, width);
        ASSERT_LE(cut.size(), width);
        ASSERT_TRUE(bytes.startsWith(cut));
        const QString head = FromGbk(cut);
        ASSERT_TRUE(text.startsWith(head)) << "cut inside a character at width " << width;
        if (head.size() < text.size()) {
            ASSERT_GT(ToGbk(text.left(head.size() + 1)).size(), width) << "cut shorter than needed";
        }
    }
}

TEST(GbkBytes, hexTextsOfAnyBytesComeBack)
{
    EXPECT_EQ(StrToHexStr(HexStrToStr(QStringLiteral("DEADBE"))), QStringLiteral("DEADBE"));
    std::mt19937 rng(11);
    for (int i = 0; i < 200; ++i) {
        const QByteArray bytes = randomBytes(rng, int(rng() % 41), false);
        const QString hex = BufToHex(reinterpret_cast<const uint8_t *>(bytes.constData()), int(bytes.size()), {});
        ASSERT_EQ(StrToHexStr(HexStrToStr(hex)), hex);
    }
}

// ---------------------------------------------------------------------------------------------
// Every text field: read onto the page, written back unchanged.

namespace {

struct RoundTripFixture : ::testing::Test {
    TUdpSvr svr;
    TRecorderSink log;
    TDeviceRow row{"10.0.0.7", "Lab", "00 1A 2B 3C 4D 5E", "4017", ModelQ2, 0, {}};
    QByteArray read, heart, httpd;
    TModuleRecord rec;
    TModuleRecord *module()
    {
        rec = ModuleFromEndpoint(svr, row);
        return &rec;
    }

    void SetUp() override
    {
        InitLanguage(QString());
        LangList->IsChinese = false;
        // A module in HTTPD client mode, so that every block with text is written.
        read = QByteArray(130, '\0');
        read[3] = char(0x82);
        read.replace(4, 4, Hex("50 00 50 00"));
        read.replace(9, 4, Hex("07 00 A8 C0"));
        read.replace(13, 4, Hex("01 00 A8 C0"));
        read.replace(17, 4, Hex("00 FF FF FF"));
        read.replace(21, 3, "Lab");
        read.replace(37, 12, QByteArray("tovak\0tovak\0", 12));
        read.replace(53, 6, Hex("00 1A 2B 3C 4D 5E"));
        read.replace(59, 4, Hex("08 08 08 08"));
        read[63] = 3;
        read.replace(67, 8, Hex("00 C2 01 00 08 01 01 01"));
        read.replace(67 + 12, 4, Hex("8C 4E 50 00"));
        read.replace(67 + 16, 8, "10.0.0.9");
        read[67 + 51] = 4;
        read[67 + 53] = 1;
        read.replace(67 + 59, 4, Hex("00 04 0A 00"));
        heart = QByteArray(85, '\0');
        heart[0] = 0x05; // network heartbeat, register on connect
        heart.replace(1, 2, Hex("1E 00"));
        heart[3] = 2;
        heart[4] = 2;
        heart.replace(5, 2, "hb");
        heart.replace(45, 2, "rg");
        httpd = QByteArray(302, '\0');
        httpd[0] = 2;
        httpd.replace(1, 2, "/u");
        httpd[101] = 1;
        httpd[102] = 'H';
        CurMac = row.MacDigits();
        CurBindingIndex = 0;
    }
    void TearDown() override { FreeLanguage(); }

    // The module's replies arrive and fill a page, as the window's handlers do; then the write.
    TQ2WritePlan readAndWriteBack(TQ2Page &page)
    {
        svr.UDPRead(read, "10.0.0.7", DevPortQ2, "10.0.0.1", 4000, 0);
        svr.UDPRead(heart, "10.0.0.7", DevPortQ2, "10.0.0.1", 4000, 0);
        svr.UDPRead(httpd, "10.0.0.7", DevPortQ2, "10.0.0.1", 4000, 0);
        page.HideModbusGroups();
        page.OnReadParam(DecodeBaseParam(svr.LastRead.data()),
                         TarrComParam{DecodePortParam(svr.LastRead.data() + LenBase)}, false, ModelQ2, row.Mac, log);
        page.OnReadHeartReg(svr.LastHeartReg.data(), false, ModelQ2);
        const THttpdParam h = DecodeHttpdParam(svr.LastHttpd.data());
        page.OnReadHttpd(h.Url, h.Header);
        return PlanQ2Write(page, module());
    }
};

// A text field: where its bytes sit in which block, and how long it is.
struct TTextField {
    const char *Name;
    QByteArray RoundTripFixture::*Block;
    int At;        // first byte of the text
    int Width;     // bytes of the field
    int LengthAt;  // offset of its length byte, -1 for a zero-padded fixed width
    uint8_t HexFlag; // flag bit in heartbeat byte 0 that shows it as hex, 0 for none
};

const TTextField TextFields[] = {
    {"ModName", &RoundTripFixture::read, 21, 16, -1, 0},
    {"UserName", &RoundTripFixture::read, 37, 6, -1, 0},
    {"Password", &RoundTripFixture::read, 43, 6, -1, 0},
    {"RemoteIP", &RoundTripFixture::read, 67 + 16, 30, -1, 0},
    {"HeartData", &RoundTripFixture::heart, 5, 40, 3, 0},
    {"RegData", &RoundTripFixture::heart, 45, 40, 4, 0},
    {"HeartData (hex)", &RoundTripFixture::heart, 5, 40, 3, 0x40},
    {"RegData (hex)", &RoundTripFixture::heart, 45, 40, 4, 0x80},
    {"HttpdUrl", &RoundTripFixture::httpd, 1, 100, 0, 0},
    {"HttpdHeader", &RoundTripFixture::httpd, 102, 200, 101, 0},
};

// The frame of the plan that carries a block's bytes at offset, and where in its payload.
QByteArray writtenField(const TQ2WritePlan &plan, const QByteArray RoundTripFixture::*block, int at, int width)
{
    const auto payload = [&](uint8_t cmd) {
        for (const TPlannedFrame &f : plan.Frames)
            if (f.Cmd == cmd)
                return f.Payload;
        return QByteArray();
    };
    if (block == &RoundTripFixture::read)
        return at < LenBase ? payload(CmdWriteBase).mid(at, width) : payload(CmdWritePort).mid(at - LenBase, width);
    if (block == &RoundTripFixture::heart)
        return payload(CmdWriteHeartReg).mid(at, width);
    return at < LenHttpdUrl ? payload(CmdWriteHttpdUrl).mid(at, width)
                            : payload(CmdWriteHttpdHead).mid(at - LenHttpdUrl, width);
}

} // namespace

TEST_F(RoundTripFixture, everyTextFieldOfRandomBytesIsWrittenBackByteForByte)
{
    std::mt19937 rng(4017);
    for (const TTextField &f : TextFields) {
        for (int round = 0; round < 60; ++round) {
            SetUp(); // fresh replies, page and endpoint for each case
            QByteArray &block = this->*f.Block;
            const int length = 1 + int(rng() % f.Width);
            const bool hex = f.HexFlag != 0;
            // Shown text ends at the first zero byte, hex text does not; a leading letter keeps
            // the page valid (an all-blank field does not pass).
            QByteArray text = randomBytes(rng, length, !hex);
            if (!hex)
                text[0] = char('A' + rng() % 26);
            QByteArray field(f.Width, '\0');
            field.replace(0, length, text);
            block.replace(f.At, f.Width, field);
            if (f.LengthAt >= 0)
                block[f.LengthAt] = char(length);
            if (hex)
                block[0] = char(uint8_t(block[0]) | f.HexFlag);

            TQ2Page page;
            const TQ2WritePlan plan = readAndWriteBack(page);
            ASSERT_EQ(plan.Status, TQ2WriteStatus::Ready) << f.Name << ": " << plan.Message.toStdString();
            ASSERT_EQ(HexOf(writtenField(plan, f.Block, f.At, f.Width)), HexOf(field))
                << f.Name << " round " << round;
            if (f.LengthAt >= 0) {
                ASSERT_EQ(uint8_t(writtenField(plan, f.Block, f.LengthAt, 1)[0]), length) << f.Name;
            }
            TearDown();
        }
    }
    SetUp();
}

TEST_F(RoundTripFixture, hexBoxToggledTwiceAndTextWrittenBackKeepTheirBytes)
{
    // Heartbeat data DE AD BE shown as hex, register data 41 42 BE shown as text.
    heart[0] = char(0x45);
    heart[3] = 3;
    heart.replace(5, 3, Hex("DE AD BE"));
    heart[4] = 3;
    heart.replace(45, 3, Hex("41 42 BE"));
    TQ2Page page;
    readAndWriteBack(page);
    ASSERT_EQ(page.edtHeartDt.Text, QStringLiteral("DEADBE"));
    page.rzchckbxHeartDtHex.Checked = false;
    page.HexBoxClick(1);
    page.rzchckbxHeartDtHex.Checked = true;
    page.HexBoxClick(1);
    EXPECT_EQ(page.edtHeartDt.Text, QStringLiteral("DEADBE"));
    page.rzchckbxRegDtHex.Checked = true;
    page.HexBoxClick(2);
    EXPECT_EQ(page.edtRegDt.Text, QStringLiteral("4142BE"));
    page.rzchckbxRegDtHex.Checked = false;
    page.HexBoxClick(2);
    const TQ2WritePlan plan = PlanQ2Write(page, module());
    ASSERT_EQ(plan.Status, TQ2WriteStatus::Ready);
    EXPECT_EQ(HexOf(writtenField(plan, &RoundTripFixture::heart, 3, 5)), "03 03 DE AD BE");
    EXPECT_EQ(HexOf(writtenField(plan, &RoundTripFixture::heart, 45, 3)), "41 42 BE");
}

TEST_F(RoundTripFixture, aTextTooLongForItsFieldIsCutBeforeTheCharacterThatDoesNotFit)
{
    TQ2Page page;
    readAndWriteBack(page);
    page.edtHeartDt.Text = QStringLiteral("x") + QString(20, QChar(0x4E2D)); // 41 bytes of GBK
    page.edt_ModName.Text = QStringLiteral("abc") + QString(7, QChar(0x4E2D));  // 17 bytes
    page.LabeledEdit2.Text = QString(51, QChar(0x4E2D));                         // 102 bytes
    const TQ2WritePlan plan = PlanQ2Write(page, module());
    ASSERT_EQ(plan.Status, TQ2WriteStatus::Ready);
    const QByteArray heartData = writtenField(plan, &RoundTripFixture::heart, 3, 45);
    EXPECT_EQ(uint8_t(heartData[0]), 39) << "the length is what was written";
    EXPECT_EQ(heartData.mid(2, 39), ToGbk(QStringLiteral("x") + QString(19, QChar(0x4E2D))));
    EXPECT_EQ(uint8_t(heartData[2 + 39]), 0);
    EXPECT_EQ(HexOf(writtenField(plan, &RoundTripFixture::read, 21 + 15, 1)), "00");
    EXPECT_EQ(uint8_t(writtenField(plan, &RoundTripFixture::httpd, 0, 1)[0]), 100);
}

TEST_F(RoundTripFixture, serialBlocksKeepTheirTextBytes)
{
    std::mt19937 rng(137);
    const struct { int at, width; } fields[] = {{21, 16}, {37, 6}, {43, 6}, {67 + 16, 30}};
    for (int round = 0; round < 40; ++round) {
        QByteArray blocks = read;
        for (const auto &f : fields) {
            QByteArray text = randomBytes(rng, 1 + int(rng() % f.width), true);
            text[0] = char('a' + rng() % 26);
            blocks.replace(f.at, f.width, text + QByteArray(f.width - text.size(), '\0'));
        }
        // As the serial receive handler does with a 137-byte reply.
        TQ2Page page;
        TQ1Page q1;
        page.SetLanTab(false);
        ASSERT_TRUE(page.OnReadParam(DecodeBaseParam(U(blocks)), TarrComParam{DecodePortParam(U(blocks) + LenBase)},
                                     true, ModelQ2, QString(), log));
        const TSerialWritePlan plan = PlanSerialWrite(ModelQ2, page, q1, blocks);
        ASSERT_EQ(plan.Status, TSerialWriteStatus::Ready);
        for (const auto &f : fields) {
            const QByteArray written = f.at < LenBase ? plan.Frames[0].mid(2 + f.at, f.width)
                                                      : plan.Frames[1].mid(2 + f.at - LenBase, f.width);
            ASSERT_EQ(HexOf(written), HexOf(blocks.mid(f.at, f.width))) << "offset " << f.at << " round " << round;
        }
    }
}
