#include "TestUtil.h"
#include "core/Gbk.h"
#include "core/ProFun.h"

namespace {
const uint8_t *U(const QByteArray &b) { return reinterpret_cast<const uint8_t *>(b.constData()); }
} // namespace

TEST(ProFunAddress, reversedIpRoundTripsAndIntToIpIsMostSignificantFirst)
{
    EXPECT_EQ(IntToIP(0xC0A80007u), QStringLiteral("192.168.0.7"));
    EXPECT_EQ(BytesToIPRev(U(Hex("07 00 A8 C0"))), QStringLiteral("192.168.0.7"));
    uint8_t buf[4] = {};
    IPToBytesRev(QStringLiteral(" 192.168. 0.7"), buf);
    EXPECT_EQ(HexOf(QByteArray(reinterpret_cast<char *>(buf), 4)), "07 00 A8 C0");
}

TEST(ProFunAddress, ipToBytesRevKeepsLow8BitsAndSkipsMissingPositions)
{
    uint8_t buf[4] = {0xAA, 0xBB, 0xCC, 0xDD};
    IPToBytesRev(QStringLiteral("257.2.9"), buf); // first -> [3], second -> [2], last -> [0]
    EXPECT_EQ(buf[3], 1);
    EXPECT_EQ(buf[2], 2);
    EXPECT_EQ(buf[1], 0xBB);
    EXPECT_EQ(buf[0], 9);
}

TEST(ProFunAddress, badIpTextRaisesAndLeavesBufferUntouched)
{
    for (const char *bad : {"abc", "1.2.3.x", "1..2.3", "1.2.3.4.5", ""}) {
        uint8_t buf[4] = {9, 9, 9, 9};
        EXPECT_THROW(IPToBytesRev(QString::fromLatin1(bad), buf), EConvertError) << bad;
        EXPECT_EQ(buf[0] + buf[1] + buf[2] + buf[3], 36) << bad;
    }
}

TEST(ProFunAddress, ipStrToIntSkipsOneCharacterAfterEachRun)
{
    EXPECT_EQ(IPStrToInt(QStringLiteral("192.168.0.7")), 0xC0A80007u);
    EXPECT_EQ(IPStrToInt(QStringLiteral("10x1y2z3")), 0x0A010203u);
    EXPECT_THROW(IPStrToInt(QStringLiteral("192..0.7")), EConvertError);
    EXPECT_THROW(IPStrToInt(QStringLiteral("1.2.3")), EConvertError);
    EXPECT_TRUE(SameSubnet(QStringLiteral("192.168.0.7"), QStringLiteral("192.168.0.200"),
                           QStringLiteral("255.255.255.0")));
    EXPECT_FALSE(SameSubnet(QStringLiteral("192.168.0.7"), QStringLiteral("192.168.1.7"),
                            QStringLiteral("255.255.255.0")));
}

TEST(ProFunMac, textWithAndWithoutSpacesGivesTheSameBytes)
{
    const QByteArray mac = Hex("00 1A 2B 3C 4D 5E");
    EXPECT_EQ(BytesToMac(U(mac)), QStringLiteral("00 1A 2B 3C 4D 5E"));
    for (const char *text : {"00 1A 2B 3C 4D 5E", "001A2B3C4D5E", "001a2b3c4d5e"}) {
        uint8_t buf[6] = {};
        MacToBytes(QString::fromLatin1(text), buf);
        EXPECT_EQ(QByteArray(reinterpret_cast<char *>(buf), 6), mac) << text;
    }
}

TEST(ProFunMac, malformedMacRaisesWithoutWriting)
{
    for (const char *bad : {"001A2B3C4D", "001A2B3C4D5E6F", "00 1A 2B 3C 4D 5G", ""}) {
        uint8_t buf[6] = {1, 1, 1, 1, 1, 1};
        EXPECT_THROW(MacToBytes(QString::fromLatin1(bad), buf), EConvertError) << bad;
        EXPECT_EQ(buf[0], 1) << bad;
    }
}

TEST(ProFunInt, bytesToIntByteOrderAndSign)
{
    EXPECT_EQ(BytesToInt(U(Hex("00 C2 01 00")), 4, true), 115200);
    EXPECT_EQ(BytesToInt(U(Hex("01 F4")), 2, false), 500);
    EXPECT_EQ(BytesToInt(U(Hex("00 00 00 80")), 4, true), INT32_MIN);
    EXPECT_EQ(BytesToInt(U(Hex("FF FF FF FF")), 4, false), -1);
    EXPECT_EQ(BytesToInt(U(Hex("FF FF")), 2, true), 65535);
    const auto w = WordToBytes(0x12345);
    EXPECT_EQ(w[0], 0x45);
    EXPECT_EQ(w[1], 0x23);
}

TEST(ProFunInt, strToIntAcceptsSignedDecimalOnly)
{
    EXPECT_EQ(StrToInt(QStringLiteral("-12")), -12);
    EXPECT_EQ(StrToInt(QStringLiteral("2147483647")), INT32_MAX);
    for (const char *bad : {"", "12a", "0x10", "2147483648", "-", " "})
        EXPECT_THROW(StrToInt(QString::fromLatin1(bad)), EConvertError) << bad;
}

TEST(ProFunBits, boolsAndSerialSettingsByte)
{
    bool bits[8];
    ByteToBools(0xA5, bits);
    EXPECT_TRUE(bits[0] && bits[2] && bits[5] && bits[7]);
    EXPECT_FALSE(bits[1] || bits[3] || bits[4] || bits[6]);
    EXPECT_EQ(BoolsToByte(bits), 0xA5);

    EXPECT_EQ(ByteToBin(5), QStringLiteral("000101"));
    EXPECT_EQ(ByteToBin(0), QStringLiteral("000000"));
    EXPECT_EQ(ByteToBin(100), QStringLiteral("1100100"));

    struct Case { uint8_t byte; int parity, data, stop; } cases[] = {
        {0x0B, 1, 3, 0}, {0x03, 0, 3, 0}, {0x04, 0, 0, 1}, {0x1B, 2, 3, 0}, {0x3F, 4, 3, 1}, {0xC0, 0, 0, 0}};
    for (const auto &c : cases) {
        EXPECT_EQ(LcrParity(c.byte), c.parity) << int(c.byte);
        EXPECT_EQ(LcrDataBits(c.byte), c.data) << int(c.byte);
        EXPECT_EQ(LcrStopBits(c.byte), c.stop) << int(c.byte);
    }
}

TEST(ProFunStrings, paddedAndFixedWidthStrings)
{
    QByteArray frame(10, '\x77');
    PutPaddedStr(frame, QStringLiteral("a b"), 2, 6);
    EXPECT_EQ(HexOf(frame), "77 77 61 62 00 00 00 00 77 77");
    PutPaddedStr(frame, QStringLiteral("abcdefgh"), 2, 6);
    EXPECT_EQ(frame.mid(2, 6), QByteArray("abcdef"));

    uint8_t buf[5];
    memset(buf, 0xEE, sizeof buf);
    StrToBufPad(QStringLiteral("ab"), buf, 4);
    EXPECT_EQ(HexOf(QByteArray(reinterpret_cast<char *>(buf), 5)), "61 62 00 00 EE");
    StrToBufPad(QStringLiteral("abcdef"), buf, 4);
    EXPECT_EQ(QByteArray(reinterpret_cast<char *>(buf), 4), QByteArray("abcd"));
}

TEST(ProFunStrings, gbkTextIsNeverCutInsideACharacter)
{
    uint8_t buf[3];
    StrToBufPad(QStringLiteral("中文"), buf, 3); // 4 GBK bytes do not fit: keep one character
    EXPECT_EQ(HexOf(QByteArray(reinterpret_cast<char *>(buf), 3)), "D6 D0 00");
    EXPECT_EQ(BytesToStr(buf, 3), QString(QStringLiteral("中") + QChar(0)));
}

TEST(ProFunStrings, bytesToStrKeepsZeroBytesAndUpToZeroCutsThem)
{
    const QByteArray raw = Hex("41 42 00 43");
    const QString s = BytesToStr(U(raw), 4);
    EXPECT_EQ(s.size(), 4);
    EXPECT_EQ(UpToZero(s), QStringLiteral("AB"));
}

TEST(ProFunHex, hexTexts)
{
    EXPECT_EQ(BytesToHexSpaced(Hex("00 FF 1a")), QStringLiteral("00 FF 1A "));
    EXPECT_EQ(BytesToHexSpaced(QByteArray()), QString());
    EXPECT_EQ(BufToHex(U(Hex("AB CD")), 2, QString()), QStringLiteral("ABCD"));
    EXPECT_EQ(StrToHexStr(QStringLiteral("AB")), QStringLiteral("4142"));
    EXPECT_EQ(HexStrToStr(QStringLiteral("41424")), QStringLiteral("AB")); // odd last digit ignored
    EXPECT_EQ(HexStrToStr(QStringLiteral("41 42")), QStringLiteral("41 42")); // no space removal
    EXPECT_EQ(HexStrToStr(StrToHexStr(QStringLiteral("中A"))), QStringLiteral("中A"));
}

TEST(ProFunHex, hexStrToBufPartialFillAndFailure)
{
    uint8_t buf[4];
    memset(buf, 0xEE, sizeof buf);
    EXPECT_TRUE(HexStrToBuf(QStringLiteral("0102"), buf, 4));
    EXPECT_EQ(HexOf(QByteArray(reinterpret_cast<char *>(buf), 4)), "01 02 00 00");

    memset(buf, 0xEE, sizeof buf);
    EXPECT_FALSE(HexStrToBuf(QStringLiteral("01zz03"), buf, 4));
    EXPECT_EQ(HexOf(QByteArray(reinterpret_cast<char *>(buf), 4)), "01 EE EE EE");
}

TEST(ProFunSum, sum8IsTheLow8BitsOfTheByteSum)
{
    EXPECT_EQ(Sum8(U(Hex("FF 01")), 2), 0x00);
    EXPECT_EQ(Sum8(U(Hex("FF FF FF")), 3), 0xFD);
    const QByteArray big(65535, '\x01');
    EXPECT_EQ(Sum8(U(big), 65535), 0xFF);
}

TEST(ProFunMisc, intModAndReverse)
{
    EXPECT_EQ(IntMod(-7, 3), -1);
    EXPECT_EQ(IntMod(7, -3), 1);
    EXPECT_EQ(IntMod(INT32_MIN, -1), 0);
    EXPECT_THROW(IntMod(1, 0), EConvertError);
    EXPECT_EQ(ReverseStr(QStringLiteral("abc")), QStringLiteral("cba"));
    EXPECT_EQ(RemoveSpaces(QStringLiteral(" a b ")), QStringLiteral("ab"));
}

TEST(ProFunSystem, localIpv4ListUsesTheReplaceableProvider)
{
    SetLocalIPv4Provider([] { return QStringList{QStringLiteral("10.0.0.2"), QStringLiteral("10.0.1.2")}; });
    QStringList list{QStringLiteral("old")};
    EXPECT_EQ(LocalIPv4List(list), 2);
    EXPECT_EQ(list.value(1), QStringLiteral("10.0.1.2"));
    SetLocalIPv4Provider({});
    // The real list never holds loopback, and two calls agree on the order.
    QStringList a, b;
    LocalIPv4List(a);
    LocalIPv4List(b);
    EXPECT_FALSE(a.contains(QStringLiteral("127.0.0.1")));
    EXPECT_EQ(a, b);
}

TEST(Gbk, roundTripAndUtf8Detection)
{
    const QString text = QStringLiteral("中文，ABC");
    const QByteArray gbk = ToGbk(text);
    EXPECT_EQ(HexOf(gbk.left(6)), "D6 D0 CE C4 A3 AC");
    EXPECT_EQ(FromGbk(gbk), text);
    EXPECT_FALSE(IsValidUtf8(gbk));
    EXPECT_TRUE(IsValidUtf8(text.toUtf8()));
    EXPECT_TRUE(IsValidUtf8(QByteArray("plain ascii")));
    EXPECT_FALSE(IsValidUtf8(QByteArray("\xE4\xB8", 2))); // cut in the middle of a character
}
