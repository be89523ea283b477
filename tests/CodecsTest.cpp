#include "TestUtil.h"
#include "core/ProFun.h"
#include "netconfig/Codecs.h"

#include <random>

namespace {
uint8_t *U(QByteArray &b) { return reinterpret_cast<uint8_t *>(b.data()); }
const uint8_t *U(const QByteArray &b) { return reinterpret_cast<const uint8_t *>(b.constData()); }

QByteArray randomBlock(int n, unsigned seed)
{
    std::mt19937 rng(seed);
    QByteArray b(n, '\0');
    for (char &c : b)
        c = char(rng());
    return b;
}

// Positions where two blocks differ.
QList<int> diff(const QByteArray &a, const QByteArray &b)
{
    QList<int> out;
    for (int i = 0; i < a.size(); ++i)
        if (a[i] != b[i])
            out << i;
    return out;
}
} // namespace

TEST(BaseBlock, decodeFields)
{
    QByteArray b(67, '\0');
    b[3] = char(0xB5); // static, short conn, clear buffer, RegSnd, IsT0
    b.replace(4, 2, Hex("50 00"));
    b.replace(6, 2, Hex("90 1F"));
    b.replace(9, 4, Hex("07 00 A8 C0"));
    b.replace(21, 5, "Lab-1");
    b[52] = char(0xFF);
    b.replace(53, 6, Hex("00 1A 2B 3C 4D 5E"));
    b[63] = 9;
    const TBaseParam p = DecodeBaseParam(U(b));
    EXPECT_EQ(p.StaticIP, QStringLiteral("192.168.0.7"));
    EXPECT_EQ(p.UpnpPort, 80);
    EXPECT_EQ(p.HttpPort, 8080);
    EXPECT_EQ(p.AddrType, 1);
    EXPECT_TRUE(p.ShortConn && p.ClearBuffer);
    EXPECT_EQ(p.IsT0, 1);
    EXPECT_EQ(p.RegSnd, 1);
    EXPECT_EQ(p.Flag1, 0);
    EXPECT_EQ(p.Options, 0xF0); // bits 0..3 ignored
    EXPECT_EQ(UpToZero(p.ModName), QStringLiteral("Lab-1"));
    EXPECT_EQ(p.ModName.size(), 16);
    EXPECT_EQ(p.UserMAC, QStringLiteral("00 1A 2B 3C 4D 5E"));
    EXPECT_EQ(p.ShortConnTime, 9);
}

TEST(BaseBlock, rewriteAfterReadKeepsEveryByteItDoesNotOwn)
{
    for (unsigned seed = 1; seed <= 20; ++seed) {
        const QByteArray read = randomBlock(67, seed);
        QByteArray written = read;
        const TBaseParam p = DecodeBaseParam(U(read));
        ASSERT_TRUE(EncodeBaseParam(p, U(written), uint8_t(read[3])));
        // Only the low nibble of byte 52 (written as 0) may change: the names and credentials go
        // back byte for byte, bytes that are no GBK character included.
        EXPECT_EQ(diff(read, written), uint8_t(read[52]) & 0x0F ? QList<int>{52} : QList<int>{}) << "seed " << seed;
        EXPECT_EQ(uint8_t(written[52]), uint8_t(read[52]) & 0xF0);
    }
}

TEST(BaseBlock, optionByteStartsFromTheLastReply)
{
    QByteArray b(67, '\0');
    TBaseParam p;
    p.StaticIP = p.GatewayIP = p.SubnetMask = p.Dns = QStringLiteral("1.2.3.4");
    p.UserMAC = QStringLiteral("001A2B3C4D5E");
    p.AddrType = 1;
    p.ShortConn = false;
    p.ClearBuffer = true;
    p.IsT0 = 0;
    ASSERT_TRUE(EncodeBaseParam(p, U(b), 0x4E));
    EXPECT_EQ(uint8_t(b[3]), 0xDE);
}

TEST(BaseBlock, unconvertibleTextStopsTheWriterThere)
{
    struct Case { const char *field; int firstKept; } cases[] = {
        {"StaticIP", 9}, {"GatewayIP", 13}, {"SubnetMask", 17}, {"UserMAC", 53}, {"Dns", 59}};
    // An address the four bytes do not hold exactly is no address either: a larger number would be
    // cut to 8 bits, a shorter text would keep a byte of the template.
    const char *badAddresses[] = {"abc", "999.1.1.1", "10.77.5", "10.0.0.256", "1.2.3.4.5", "10.0.0.-1"};
    for (const auto &c : cases) {
        const QString f = QString::fromLatin1(c.field);
        for (const char *bad : badAddresses) {
            if (f == QLatin1String("UserMAC") && bad != badAddresses[0])
                continue;
            TBaseParam p;
            p.StaticIP = p.GatewayIP = p.SubnetMask = p.Dns = QStringLiteral("10.0.0.1");
            p.UserMAC = QStringLiteral("001A2B3C4D5E");
            p.ShortConnTime = 7;
            const QString text = QString::fromLatin1(bad);
            if (f == QLatin1String("UserMAC")) p.UserMAC = text;
            else if (f == QLatin1String("StaticIP")) p.StaticIP = text;
            else if (f == QLatin1String("GatewayIP")) p.GatewayIP = text;
            else if (f == QLatin1String("SubnetMask")) p.SubnetMask = text;
            else p.Dns = text;
            QByteArray b(67, '\x77');
            const TEncodeResult r = EncodeBaseParam(p, U(b), 0);
            EXPECT_FALSE(r.Ok) << c.field << " " << bad;
            EXPECT_EQ(r.Field, f);
            EXPECT_EQ(b.mid(c.firstKept, 4), QByteArray(4, '\x77')) << c.field << " " << bad;
            EXPECT_EQ(uint8_t(b[63]), 0x77) << "the fields after it keep the template";
        }
    }
    // Blanks around an address are no part of it.
    TBaseParam p;
    p.StaticIP = QStringLiteral(" 192.168.0.7 ");
    p.GatewayIP = p.SubnetMask = p.Dns = QStringLiteral("0.0.0.0");
    p.UserMAC = QStringLiteral("001A2B3C4D5E");
    QByteArray b(67, '\0');
    ASSERT_TRUE(EncodeBaseParam(p, U(b), 0));
    EXPECT_EQ(HexOf(b.mid(9, 4)), "07 00 A8 C0");
}

TEST(PortBlock, decodeAndRewrite)
{
    QByteArray b(63, '\0');
    b.replace(0, 4, Hex("00 C2 01 00"));
    b[4] = 8; b[5] = 3; b[6] = 1; b[7] = 5;
    b.replace(12, 2, Hex("8C 4E"));
    b.replace(16, 13, "192.168.0.201");
    b[50] = char(0xFF);
    b[51] = 5;
    b[58] = 0x13;
    b.replace(59, 4, Hex("00 04 0A 00"));
    const TPortParam p = DecodePortParam(U(b));
    EXPECT_EQ(p.Baudrate, 115200);
    EXPECT_EQ(p.LocalPort, 20108);
    EXPECT_EQ(UpToZero(p.RemoteIP), QStringLiteral("192.168.0.201"));
    EXPECT_EQ(p.WorkMode, 5);
    EXPECT_TRUE(p.ModbusTcp && p.Rfc2217 && p.CloudEnable && p.KickOld && p.MacRegister && p.MacHeart);
    EXPECT_FALSE(p.UdpFrom); // byte 58 is not exactly 1
    EXPECT_EQ(p.TcpStyle, 3);
    EXPECT_EQ(p.PackLen, 1024);
    EXPECT_EQ(p.PackTime, 10);

    for (unsigned seed = 1; seed <= 20; ++seed) {
        const QByteArray read = randomBlock(63, seed);
        QByteArray written = read;
        ASSERT_TRUE(EncodePortParam(DecodePortParam(U(read)), U(written), uint8_t(read[50])));
        for (int i : diff(read, written))
            EXPECT_TRUE((i >= 8 && i < 12) || i == 50 || i == 56 || i == 58)
                << "byte " << i << " seed " << seed;
        EXPECT_EQ(uint8_t(written[50]), uint8_t(read[50]) & 0xEF); // cloud bit written 0
        EXPECT_EQ(HexOf(written.mid(8, 4)), "00 00 00 00");
    }
}

TEST(HeartRegBlock, lengthsAreCappedAtTheField)
{
    struct Case { bool hex; QString text; int length; const char *first; } cases[] = {
        {false, QString(50, u'x'), 40, "78"},
        {false, QString(256, u'y'), 40, "79"}, // must not wrap to 0
        {true, QStringLiteral("AB").repeated(50), 40, "AB"},
        {true, QStringLiteral("0102"), 2, "01"},
        {false, QStringLiteral("hi"), 2, "68"},
    };
    for (const auto &c : cases) {
        QByteArray b(85, '\x55');
        THeartRegParam p;
        p.HeartHex = c.hex;
        p.HeartData = c.text;
        p.RegData = QStringLiteral("reg");
        ASSERT_TRUE(EncodeHeartRegParam(p, U(b)));
        EXPECT_EQ(uint8_t(b[3]), c.length) << c.text.size();
        EXPECT_EQ(HexOf(b.mid(5, 1)), c.first);
        EXPECT_EQ(uint8_t(b[4]), 3);
        if (c.length < 40) {
            EXPECT_EQ(uint8_t(b[5 + 40 - 1]), 0) << "the rest of the field is zero";
        }
    }
}

TEST(HeartRegBlock, flagsAndRoundTrip)
{
    THeartRegParam p;
    p.HeartMode = 2;
    p.RegMode = 2;
    p.RemoveHttpdHead = true;
    p.RegHex = true;
    p.HeartTime = 300;
    p.HeartData = QStringLiteral("alive");
    p.RegData = QStringLiteral("A1B2");
    QByteArray b(85, '\0');
    ASSERT_TRUE(EncodeHeartRegParam(p, U(b)));
    EXPECT_EQ(HexOf(b.left(5)), "9D 2C 01 05 02");
    const THeartRegParam back = DecodeHeartRegParam(U(b));
    EXPECT_EQ(back.HeartMode, 2);
    EXPECT_EQ(back.RegMode, 2);
    EXPECT_EQ(back.HeartTime, 300);
    EXPECT_EQ(back.HeartData, QStringLiteral("alive"));
    EXPECT_EQ(back.RegData, QStringLiteral("A1B2"));

    struct Case { uint8_t flags; int heart, reg; } cases[] = {
        {0x00, 0, -1}, {0x02, 1, -1}, {0x03, 2, -1}, {0x04, 0, 0}, {0x08, 0, 1}, {0x0C, 0, 2}};
    for (const auto &c : cases) {
        QByteArray f(85, '\0');
        f[0] = char(c.flags);
        const THeartRegParam d = DecodeHeartRegParam(U(f));
        EXPECT_EQ(d.HeartMode, c.heart) << int(c.flags);
        EXPECT_EQ(d.RegMode, c.reg) << int(c.flags);
    }
}

TEST(HeartRegBlock, readerNeverPassesTheBlockAndHexFailureIsReported)
{
    QByteArray b(85, 'z');
    b[0] = char(0x40);
    b[3] = char(200);
    b[4] = char(41);
    const THeartRegParam d = DecodeHeartRegParam(U(b));
    EXPECT_EQ(d.HeartData, QStringLiteral("7A").repeated(40));
    EXPECT_EQ(d.RegData.size(), 40);

    THeartRegParam p;
    p.HeartHex = true;
    p.HeartData = QStringLiteral("01zz");
    QByteArray w(85, '\x66');
    const TEncodeResult r = EncodeHeartRegParam(p, U(w));
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(r.Field, QStringLiteral("HeartData"));
    EXPECT_EQ(HexOf(w.mid(5, 2)), "01 66"); // written as far as the text allowed
}

TEST(HttpdBlock, partsAreCutAndTheRestKept)
{
    QByteArray b(302, '#');
    EncodeHttpdUrl(QString(120, u'u'), U(b));
    EXPECT_EQ(uint8_t(b[0]), 100);
    EXPECT_EQ(b.mid(1, 100), QByteArray(100, 'u'));
    EncodeHttpdHeader(QStringLiteral("Host: x"), U(b));
    EXPECT_EQ(uint8_t(b[101]), 7);
    EXPECT_EQ(b.mid(102, 8), QByteArray("Host: x#"));
    EncodeHttpdUrl(QStringLiteral("/a"), U(b));
    EXPECT_EQ(b.mid(0, 5), QByteArray("\x02/auu", 5)); // later bytes keep their content
    const THttpdParam h = DecodeHttpdParam(U(b));
    EXPECT_EQ(h.Url, QStringLiteral("/a"));
    EXPECT_EQ(h.Header, QStringLiteral("Host: x"));
}

TEST(ModbusBlocks, writersTouchOnlyWhatTheModeOwns)
{
    const QByteArray tmpl = randomBlock(87, 7);
    struct Case { int type; QList<int> changed; } cases[] = {{0, {0}}, {1, {0, 1, 2, 3, 4, 5}}, {2, {0, 1, 2, 3, 4, 5, 6}}};
    for (const auto &c : cases) {
        QByteArray b = tmpl;
        TModbusPackParam p;
        p.ModbusType = c.type;
        p.Exception = uint8_t(~tmpl[1]);
        p.Timeout = QString::number(uint16_t(~((uint8_t(tmpl[2]) << 8) | uint8_t(tmpl[3]))));
        p.Interval = QString::number(uint16_t(~((uint8_t(tmpl[4]) << 8) | uint8_t(tmpl[5]))));
        p.ReportProto = uint8_t(~tmpl[6]);
        b[0] = char(~c.type); // so that byte 0 visibly changes
        const QByteArray before = b;
        ASSERT_TRUE(EncodeModbusPackParam(p, U(b)));
        EXPECT_EQ(diff(before, b), c.changed) << "type " << c.type;
    }

    QByteArray b = tmpl;
    TModbusPackParam p;
    p.ModbusType = 1;
    p.Timeout = QString(); // empty edit: pair kept
    p.Interval = QStringLiteral("500");
    ASSERT_TRUE(EncodeModbusPackParam(p, U(b)));
    EXPECT_EQ(b.mid(2, 2), tmpl.mid(2, 2));
    EXPECT_EQ(HexOf(b.mid(4, 2)), "01 F4");
    p.Interval = QStringLiteral("x");
    EXPECT_EQ(EncodeModbusPackParam(p, U(b)).Field, QStringLiteral("Interval"));
    // A number two bytes do not hold is refused, not cut to 16 bits.
    for (const char *big : {"65536", "99999", "-1"}) {
        QByteArray k = tmpl;
        p.Interval = QString::fromLatin1(big);
        EXPECT_EQ(EncodeModbusPackParam(p, U(k)).Field, QStringLiteral("Interval")) << big;
        EXPECT_EQ(k.mid(4, 2), tmpl.mid(4, 2)) << big;
    }
    p.Interval = QStringLiteral("65535");
    ASSERT_TRUE(EncodeModbusPackParam(p, U(b)));
    EXPECT_EQ(HexOf(b.mid(4, 2)), "FF FF");

    QByteArray n = randomBlock(100, 3);
    const QByteArray n0 = n;
    TModbusNewParam m;
    m.PollMode = 1;
    m.Timeout = QStringLiteral("1");
    ASSERT_TRUE(EncodeModbusNewParam(m, U(n)));
    EXPECT_EQ(n.mid(1), n0.mid(1));
    m.PollMode = 3;
    m.Exception = 1;
    m.Interval = QStringLiteral("258");
    ASSERT_TRUE(EncodeModbusNewParam(m, U(n)));
    EXPECT_EQ(HexOf(n.left(6)), "03 01 00 01 01 02");

    QByteArray four(4, '\0');
    TModbusParam s;
    s.TcpEnable = 1;
    s.PollEnable = 1;
    s.WaitTime = QStringLiteral("500");
    ASSERT_TRUE(EncodeModbusParam(s, U(four)));
    EXPECT_EQ(HexOf(four), "01 01 01 F4");
    const TModbusPackParam d = DecodeModbusPackParam(U(tmpl));
    EXPECT_EQ(d.Timeout, QString::number((uint8_t(tmpl[2]) << 8) | uint8_t(tmpl[3])));
}

TEST(CloudBlock, decode)
{
    QByteArray b(50, '\0');
    b.replace(2, 20, "12345678901234567890");
    b.replace(22, 8, "ABCDEFGH");
    const TCloudParam c = DecodeCloudParam(U(b));
    EXPECT_EQ(c.DeviceId, QStringLiteral("12345678901234567890"));
    EXPECT_EQ(c.CommCode, QStringLiteral("ABCDEFGH"));
}
