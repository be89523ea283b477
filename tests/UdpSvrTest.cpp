#include "TestUtil.h"
#include "core/ProFun.h"
#include "netconfig/AddressRange.h"
#include "netconfig/UdpSvr.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

namespace {

// Records which events a datagram raised.
struct DispatchFixture : ::testing::Test {
    TUdpSvr svr;
    QStringList events;
    QList<std::pair<int, QString>> statuses;
    QStringList searchRows;
    TModbusParam modbus;
    TBaseParam base;
    TPortParam port;
    QString url, header;

    void SetUp() override
    {
        svr.OnRecvData = [this](const QByteArray &, const QString &, const QString &, int, int) { events << "recv"; };
        svr.OnSearchReply = [this](const QString &ip, const QString &name, const QString &mac, const QString &ver,
                                   int model, int index) {
            events << "search";
            searchRows << QStringLiteral("%1|%2|%3|%4|%5|%6").arg(ip, UpToZero(name), mac, ver).arg(model).arg(index);
        };
        svr.OnReadParam = [this](const TBaseParam &b, const TarrComParam &p, bool fromCom, int) {
            EXPECT_FALSE(fromCom);
            ASSERT_EQ(p.size(), 1);
            base = b;
            port = p[0];
            events << "param";
        };
        svr.OnReadCloud = [this](const TarrCloudParam &c, bool, int) {
            EXPECT_EQ(c.size(), 1);
            events << "cloud";
        };
        svr.OnReadHeartReg = [this](const uint8_t *b, bool, int) {
            EXPECT_EQ(b, svr.LastHeartReg.data());
            events << "heart";
        };
        svr.OnReadHttpd = [this](const QString &u, const QString &h) {
            url = u;
            header = h;
            events << "httpd";
        };
        svr.OnStatus = [this](int code, const QString &msg) {
            statuses.append({code, msg});
            events << QStringLiteral("status %1").arg(code);
        };
        svr.OnModbusParam = [this](const TModbusParam &m, int len) {
            modbus = m;
            events << QStringLiteral("modbus %1").arg(len);
        };
        svr.OnModbusPackParam = [this](const TModbusPackParam &, int) { events << "modbus 87"; };
        svr.OnModbusNewParam = [this](const TModbusNewParam &, int) { events << "modbus 100"; };
    }
    void feed(const QByteArray &data, int peerPort = 1500, int binding = 0)
    {
        events.clear();
        svr.UDPRead(data, QStringLiteral("192.168.0.7"), peerPort, QStringLiteral("192.168.0.10"), 50000, binding);
    }
    static QByteArray sized(int len, const char *prefix = "")
    {
        QByteArray b = Hex(prefix);
        b.resize(len, '\0');
        return b;
    }
    static QByteArray searchReply(int version, const QByteArray &mac = Hex("00 1A 2B 3C 4D 5E"))
    {
        QByteArray b = sized(36, "FF 24 01 00 00 C0 A8 00 07");
        b.replace(9, 6, mac);
        b[15] = char(version & 0xFF);
        b[16] = char(version >> 8);
        b.replace(19, 6, "Lab-Q2");
        return b;
    }
};

} // namespace

TEST_F(DispatchFixture, everyLengthGoesToItsHandler)
{
    struct Case { int len; const char *prefix; const char *event; } cases[] = {
        {0, "", "status 555555"},
        {1, "01", "modbus 1"},
        {2, "45 0A", "status 269"},
        {2, "46 0A", nullptr},          // not a checksum error: dropped
        {3, "", "status 555555"},
        {4, "FF 01 05 4B", "status 275"},
        {4, "FF 01 05 50", "status 480"},
        {4, "FF 01 05 45", "status 469"},
        {4, "FF 01 05 58", nullptr},    // unknown answer code: dropped
        {4, "01 01 01 F4", "modbus 4"},
        {36, "FF 24 02", nullptr},      // wrong header: dropped
        {40, "", nullptr},
        {50, "", "cloud"},
        {85, "", "heart"},
        {87, "", "modbus 87"},
        {100, "", "modbus 100"},
        {130, "", "param"},
        {193, "", "status 193256"},
        {256, "", "status 193256"},
        {302, "", "httpd"},
        {131, "", "status 555555"},
        {1500, "", "status 555555"},
    };
    for (const auto &c : cases) {
        feed(sized(c.len, c.prefix));
        QStringList expected{QStringLiteral("recv")};
        if (c.event)
            expected << QString::fromLatin1(c.event);
        EXPECT_EQ(events, expected) << "length " << c.len << " prefix " << c.prefix;
    }
}

TEST_F(DispatchFixture, aFloodOfUnknownLengthsIsSummedUpPerPeriod)
{
    svr.UnknownSummaryMs = 150;
    const auto burst = [&](int n) {
        QStringList all;
        for (int i = 0; i < n; ++i) {
            feed(sized(7 + i % 3));
            all << events;
        }
        return all;
    };
    // The first of a period is shown as ever, the rest only counted; known lengths are untouched.
    EXPECT_EQ(burst(5), (QStringList{"recv", "status 555555"}));
    feed(Hex("FF 01 05 4B"));
    EXPECT_EQ(events, (QStringList{"recv", "status 275"}));
    EXPECT_TRUE(statuses.size() == 2);
    events.clear();
    QTest::qWait(250);
    EXPECT_EQ(events, QStringList{"status 555556"}) << "the period's end tells how many were held";
    EXPECT_EQ(statuses.last(), (std::pair<int, QString>{StsUnknownLenMore, QStringLiteral("4")}));

    // A new period starts with the next one; a flush tells what is held before the end.
    EXPECT_EQ(burst(3), (QStringList{"recv", "status 555555"}));
    events.clear();
    svr.FlushUnknownSummary();
    EXPECT_EQ(events, QStringList{"status 555556"});
    EXPECT_EQ(statuses.last().second, QStringLiteral("2"));
    events.clear();
    QTest::qWait(250);
    EXPECT_TRUE(events.isEmpty()) << "nothing told twice";

    // Off (as in tests that drive the endpoint directly), every one goes on.
    svr.UnknownSummaryMs = 0;
    EXPECT_EQ(burst(3), (QStringList{"recv", "status 555555", "recv", "status 555555", "recv", "status 555555"}));
}

TEST_F(DispatchFixture, statusMessages)
{
    struct Case { const char *bytes; int code; const char *msg; } cases[] = {
        {"45 0a", StsCheckErr, "0A"},
        {"FF 01 03 4B", StsAck, "ACK"},
        {"FF 01 03 50", StsPswdErr, "UsrName or Password Error"},
        {"FF 01 03 45", StsOtherErr, "Other Error"},
    };
    for (const auto &c : cases) {
        statuses.clear();
        feed(Hex(c.bytes));
        ASSERT_EQ(statuses.size(), 1) << c.bytes;
        EXPECT_EQ(statuses[0].first, c.code);
        EXPECT_EQ(statuses[0].second, QString::fromLatin1(c.msg));
    }
    statuses.clear();
    feed(QByteArray());
    EXPECT_EQ(statuses.value(0).second, QStringLiteral("0"));
    statuses.clear();
    feed(sized(193));
    EXPECT_EQ(statuses.value(0).second, QStringLiteral("Read Z4/Y45"));
}

TEST_F(DispatchFixture, fourByteModbusReply)
{
    feed(Hex("01 01 01 F4"));
    EXPECT_EQ(modbus.TcpEnable, 1);
    EXPECT_EQ(modbus.PollEnable, 1);
    EXPECT_EQ(modbus.WaitTime, QStringLiteral("500"));
    feed(Hex("01"));
    EXPECT_EQ(modbus.PollEnable, 0);
    EXPECT_TRUE(modbus.WaitTime.isEmpty());
}

TEST_F(DispatchFixture, searchReplyModelByVersionAndSourcePort)
{
    struct Case { int version, port, model; } cases[] = {
        {2002, 1901, ModelQ3}, {2001, 1901, ModelNone}, {2002, 1500, ModelQ2}, {4017, 3000, ModelNone},
        {2001, 1500, ModelNone}};
    for (const auto &c : cases) {
        searchRows.clear();
        feed(searchReply(c.version), c.port, 1);
        ASSERT_EQ(searchRows.size(), 1);
        EXPECT_EQ(searchRows[0], QStringLiteral("192.168.0.7|Lab-Q2|00 1A 2B 3C 4D 5E|%1|%2|1").arg(c.version).arg(c.model))
            << c.version << " from " << c.port;
    }
}

TEST_F(DispatchFixture, aModuleHeardOnTwoBindingsIsStoredTwice)
{
    feed(searchReply(4017), 1500, 0);
    feed(searchReply(4017), 1500, 1);
    EXPECT_EQ(svr.SearchReplies.size(), 2);
    EXPECT_EQ(svr.SearchReplies[1], searchReply(4017));
}

TEST_F(DispatchFixture, readReplyKeepsOptionBytesAndTemplate)
{
    QByteArray r = sized(130);
    r[3] = char(0x8E);
    r[117] = char(0x5B);
    r.replace(9, 4, Hex("07 00 A8 C0"));
    r.replace(4, 2, Hex("50 00"));
    feed(r, 1901);
    EXPECT_EQ(LastOptByte, 0x8E);
    EXPECT_EQ(LastPortOptByte, 0x5B);
    EXPECT_EQ(svr.LastReadLen, 130);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(svr.LastRead.data()), 130), r);
    EXPECT_EQ(base.StaticIP, QStringLiteral("192.168.0.7"));
    EXPECT_EQ(base.UpnpPort, 80);
}

TEST_F(DispatchFixture, httpdCountsAboveTheBlockAreCapped)
{
    QByteArray r = sized(302);
    r[0] = char(200); // claims more than the 100 bytes it has
    r.replace(1, 100, QByteArray(100, 'u'));
    r[101] = char(255);
    r.replace(102, 200, QByteArray(200, 'h'));
    feed(r);
    EXPECT_EQ(url, QString(100, u'u'));
    EXPECT_EQ(header, QString(200, u'h'));
}

TEST(UdpSvrSockets, sendsFramesFromTheChosenBindingAndDrainsReplies)
{
    QUdpSocket module;
    ASSERT_TRUE(module.bind(QHostAddress::LocalHost, 0));
    TUdpSvr svr;
    svr.AddressOverride = {QStringLiteral("127.0.0.1")};
    svr.DestPortQ2 = module.localPort();
    svr.BroadcastAddress = QStringLiteral("127.0.0.1");
    QList<QByteArray> sent, got;
    svr.OnSendData = [&](const QByteArray &d, const QString &peer, const QString &local, int pp, int lp) {
        sent << d;
        EXPECT_EQ(peer, QStringLiteral("127.0.0.1"));
        EXPECT_EQ(local, QStringLiteral("127.0.0.1"));
        EXPECT_EQ(pp, module.localPort());
        EXPECT_EQ(lp, svr.BindingPort(0));
    };
    svr.OnRecvData = [&](const QByteArray &d, const QString &, const QString &, int, int) { got << d; };
    QList<int> statuses;
    svr.OnStatus = [&](int code, const QString &) { statuses << code; };

    EXPECT_EQ(svr.SearchDevices(), SearchOk);
    const int port = svr.BindingPort(0);
    ASSERT_GT(port, 0);
    EXPECT_EQ(statuses, QList<int>{StsSearchSent});
    EXPECT_TRUE(svr.SendCmdQ2(0, QStringLiteral("001A2B3C4D5E"), CmdRead, QStringLiteral("tovak"),
                              QStringLiteral("tovak")));
    EXPECT_FALSE(svr.SendCmdQ2(5, QStringLiteral("001A2B3C4D5E"), CmdRead, QString(), QString())); // no binding 5
    EXPECT_FALSE(svr.SendCmdQ2(0, QStringLiteral("not a mac"), CmdRead, QString(), QString()));
    ASSERT_EQ(sent.size(), 2);
    EXPECT_EQ(HexOf(sent[0]), "FF 01 01 02");

    QElapsedTimer t;
    t.start();
    while (module.pendingDatagramSize() < 0 && t.elapsed() < 5000)
        module.waitForReadyRead(100);
    QNetworkDatagram search = module.receiveDatagram();
    while (!module.hasPendingDatagrams() && t.elapsed() < 5000)
        module.waitForReadyRead(100);
    EXPECT_EQ(module.receiveDatagram().data(), sent[1]);

    // Three replies at once arrive as one readyRead: all are dispatched.
    for (const char *r : {"FF 01 03 4B", "FF 01 03 50", "45 11"})
        module.writeDatagram(Hex(r), QHostAddress::LocalHost, quint16(port));
    while (got.size() < 3 && t.elapsed() < 5000)
        QTest::qWait(20);
    EXPECT_EQ(got.size(), 3);
    EXPECT_EQ(statuses, (QList<int>{StsSearchSent, StsAck, StsPswdErr, StsCheckErr}));

    // An unchanged address list does not rebind.
    svr.SearchDevices();
    EXPECT_EQ(svr.BindingPort(0), port);
}

// A search or a frame sent to an address reaches that address only; without one, frames go to
// the broadcast address as always.
TEST(UdpSvrSockets, searchAndFramesToAnAddress)
{
    QUdpSocket broadcast, module;
    ASSERT_TRUE(broadcast.bind(QHostAddress(QStringLiteral("127.0.0.2")), 0));
    ASSERT_TRUE(module.bind(QHostAddress(QStringLiteral("127.0.0.3")), broadcast.localPort()));
    TUdpSvr svr;
    svr.AddressOverride = {QStringLiteral("127.0.0.1")};
    svr.DestPortQ2 = svr.DestPortQ3 = broadcast.localPort();
    svr.BroadcastAddress = QStringLiteral("127.0.0.2");
    QStringList peers;
    svr.OnSendData = [&](const QByteArray &, const QString &peer, const QString &, int, int) { peers << peer; };
    svr.RefreshBindings();
    EXPECT_EQ(svr.SendSearchTo(QStringLiteral("127.0.0.3")), 1);
    EXPECT_EQ(svr.SendSearchTo(QStringLiteral("not an address")), 0);
    EXPECT_TRUE(svr.SendCmdQ2(0, QStringLiteral("001A2B3C4D5E"), CmdRestart, QStringLiteral("tovak"),
                              QStringLiteral("tovak"), QStringLiteral("127.0.0.3")));
    EXPECT_TRUE(svr.SendCmdQ3(0, QStringLiteral("001A2B3C4D5E"), CmdRead, QStringLiteral("tovak"),
                              QStringLiteral("tovak"), QStringLiteral("127.0.0.3")));
    EXPECT_TRUE(svr.SendCmdQ2(0, QStringLiteral("001A2B3C4D5E"), CmdRead, QStringLiteral("tovak"),
                              QStringLiteral("tovak")));
    EXPECT_EQ(peers, (QStringList{QStringLiteral("127.0.0.3"), QStringLiteral("127.0.0.3"), QStringLiteral("127.0.0.3"),
                                  QStringLiteral("127.0.0.2")}));
    const auto received = [](QUdpSocket &s, int want) {
        QList<QByteArray> got;
        QElapsedTimer t;
        t.start();
        while (got.size() < want && t.elapsed() < 3000) {
            if (!s.hasPendingDatagrams())
                s.waitForReadyRead(50);
            while (s.hasPendingDatagrams())
                got << s.receiveDatagram().data();
        }
        return got;
    };
    const QList<QByteArray> atModule = received(module, 3);
    ASSERT_EQ(atModule.size(), 3);
    EXPECT_EQ(HexOf(atModule[0]), "FF 01 01 02");
    EXPECT_EQ(uint8_t(atModule[1][2]), CmdRestart);
    EXPECT_EQ(uint8_t(atModule[2][2]), CmdRead);
    const QList<QByteArray> atBroadcast = received(broadcast, 1);
    ASSERT_EQ(atBroadcast.size(), 1);
    EXPECT_EQ(uint8_t(atBroadcast[0][2]), CmdRead);
}

// A search to an address goes from the bindings whose network holds it, else from all of them.
TEST(UdpSvrSockets, searchBindingsByNetwork)
{
    const auto net = [](const char *ip, const char *mask) {
        quint32 a = 0, m = 0;
        ParseAddress(QLatin1String(ip), a);
        ParseAddress(QLatin1String(mask), m);
        return std::pair{a, m};
    };
    const QList<QList<std::pair<quint32, quint32>>> subnets = {
        {net("10.0.0.1", "255.255.255.0")},
        {net("192.168.1.5", "255.255.0.0"), net("10.0.0.9", "255.255.255.0")},
        {},
    };
    struct Case {
        const char *to;
        QList<int> bindings;
    } cases[] = {
        {"10.0.0.77", {0, 1}}, {"192.168.200.1", {1}}, {"10.0.1.1", {0, 1, 2}}, {"172.16.0.1", {0, 1, 2}},
    };
    for (const Case &c : cases) {
        quint32 a = 0;
        ASSERT_TRUE(ParseAddress(QLatin1String(c.to), a));
        EXPECT_EQ(SearchBindingsFor(a, subnets), c.bindings) << c.to;
    }
    EXPECT_TRUE(SearchBindingsFor(1, {}).isEmpty());
}

TEST(UdpSvrSockets, aFloodIsDrainedInTurnsSoTheEventLoopRunsBetweenThem)
{
    TUdpSvr svr;
    svr.AddressOverride = {QStringLiteral("127.0.0.1")};
    svr.RefreshBindings();
    const quint16 port = quint16(svr.BindingPort(0));
    ASSERT_GT(port, 0);
    int handled = 0;
    int handledAtTick = -1;
    svr.OnStatus = [&](int code, const QString &) {
        handled += code == StsAck;
        // A timer due at once, from inside the drain: it runs when the drain lets the loop turn.
        if (handled == 1)
            QTimer::singleShot(0, [&] { handledAtTick = handled; });
    };
    QUdpSocket module;
    ASSERT_TRUE(module.bind(QHostAddress::LocalHost, 0));
    constexpr int Flood = 4 * TUdpSvr::MaxDatagramsPerTurn;
    for (int i = 0; i < Flood; ++i)
        ASSERT_EQ(module.writeDatagram(Hex("FF 01 05 4B"), QHostAddress::LocalHost, port), 4);
    // All of it waits in the socket before the event loop first turns.
    QElapsedTimer t;
    t.start();
    while (handled < Flood && t.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(handled, Flood);
    EXPECT_GE(handledAtTick, 0);
    EXPECT_LT(handledAtTick, Flood) << "the timer waited for the whole flood";
    // And the socket still hears what comes after.
    ASSERT_EQ(module.writeDatagram(Hex("FF 01 05 4B"), QHostAddress::LocalHost, port), 4);
    EXPECT_TRUE(QTest::qWaitFor([&] { return handled == Flood + 1; }, 3000));
}

TEST(UdpSvrSockets, bindingFailureReportsPortInUseAndStillSearches)
{
    TUdpSvr svr;
    svr.AddressOverride = {QStringLiteral("127.0.0.1"), QStringLiteral("203.0.113.9")}; // not ours
    QList<int> statuses;
    int sends = 0;
    svr.OnStatus = [&](int code, const QString &) { statuses << code; };
    svr.OnSendData = [&](const QByteArray &, const QString &, const QString &, int, int) { ++sends; };
    svr.BroadcastAddress = QStringLiteral("127.0.0.1");
    svr.DestPortQ2 = 9; // nobody listens
    svr.SearchDevices();
    EXPECT_EQ(statuses, (QList<int>{StsPortInUse, StsSearchSent}));
    EXPECT_EQ(sends, 1); // from the binding that exists
    EXPECT_EQ(svr.BindingCount(), 2); // the failed one keeps its index
    statuses.clear();
    svr.SearchDevices(); // and is tried again
    EXPECT_EQ(statuses.first(), StsPortInUse);
}

TEST(UdpSvrSockets, noAddressSendsNothingButReportsTheSearch)
{
    SetLocalIPv4Provider([] { return QStringList(); });
    TUdpSvr svr;
    QList<int> statuses;
    svr.OnStatus = [&](int code, const QString &) { statuses << code; };
    svr.OnSendData = [&](const QByteArray &, const QString &, const QString &, int, int) { ADD_FAILURE(); };
    EXPECT_EQ(svr.SearchDevices(), SearchOk);
    EXPECT_EQ(statuses, QList<int>{StsSearchSent});
    SetLocalIPv4Provider({});
}

TEST(Frames, layoutLengthAndChecksum)
{
    const QByteArray f = BuildCmdFrame(CmdRestart, QStringLiteral("00 1A 2B 3C 4D 5E"), QStringLiteral("abcd"),
                                       QStringLiteral("wxyz"));
    EXPECT_EQ(HexOf(f.left(21)), "FF 13 02 00 1A 2B 3C 4D 5E 61 62 63 64 00 00 77 78 79 7A 00 00");
    uint8_t sum = 0;
    for (int i = 1; i < 21; ++i)
        sum = uint8_t(sum + uint8_t(f[i]));
    EXPECT_EQ(uint8_t(f[21]), sum);

    struct Case { int n; uint8_t lenByte; int size; } cases[] = {{67, 0x56, 89}, {201, 0xDC, 223}, {0, 0x13, 22}};
    for (const auto &c : cases) {
        const QByteArray payload(c.n, '\x01');
        const QByteArray g = BuildCmdFrame(CmdWriteBase, QStringLiteral("001A2B3C4D5E"), QStringLiteral("a b"),
                                           QStringLiteral("tovak"), reinterpret_cast<const uint8_t *>(payload.data()), c.n);
        EXPECT_EQ(g.size(), c.size);
        EXPECT_EQ(uint8_t(g[1]), c.lenByte);
        EXPECT_EQ(HexOf(g.mid(9, 6)), "61 62 00 00 00 00");
        EXPECT_EQ(uint8_t(g[g.size() - 1]),
                  Sum8(reinterpret_cast<const uint8_t *>(g.constData()) + 1, int(g.size()) - 2));
    }
    EXPECT_THROW(BuildCmdFrame(CmdRead, QStringLiteral("00 1A"), QString(), QString()), EConvertError);
}
