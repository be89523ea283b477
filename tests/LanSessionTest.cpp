// The LAN session: rows from search replies, replies given to the module they came from, one
// record per module whose blocks are the templates of that module's write, and statuses that
// name their module.
#include "ModuleFixture.h"
#include "RecorderSink.h"
#include "TestUtil.h"
#include "core/ProFun.h"
#include "netconfig/LanSession.h"
#include "netconfig/ModelInfo.h"

#include <QHostAddress>
#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>

namespace {

uint8_t *U(QByteArray &b) { return reinterpret_cast<uint8_t *>(b.data()); }

QString spaced(const QString &digits)
{
    uint8_t b[6];
    MacToBytes(digits, b);
    return BytesToMac(b);
}

QByteArray searchReply(const QString &ip, const QString &mac, int version = 4017)
{
    QByteArray b(LenSearch, '\0');
    b.replace(0, 3, Hex("FF 24 01"));
    const QStringList o = ip.split(u'.');
    for (int i = 0; i < 4; ++i)
        b[5 + i] = char(o[i].toInt());
    b.replace(9, 6, QByteArray::fromHex(mac.toLatin1()));
    b[15] = char(version & 0xFF);
    b[16] = char(version >> 8);
    b.replace(19, 4, "Unit");
    return b;
}

// A module's read reply: its own IP and MAC, and marker bytes where the page owns nothing.
QByteArray readReply(const QString &ip, const QString &mac, char marker, uint8_t optByte, uint8_t portOpt)
{
    QByteArray r(LenRead, '\0');
    TBaseParam b;
    b.AddrType = 1;
    b.HttpPort = 80;
    b.StaticIP = ip;
    b.GatewayIP = b.Dns = QStringLiteral("10.0.0.1");
    b.SubnetMask = QStringLiteral("255.255.255.0");
    b.ModName = QStringLiteral("Unit");
    b.UserName = b.Password = QStringLiteral("tovak");
    b.UserMAC = mac;
    b.ShortConnTime = 3;
    EncodeBaseParam(b, U(r), optByte);
    TPortParam p;
    p.Baudrate = 9600;
    p.DataBits = 8;
    p.Parity = p.StopBits = p.FlowControl = 1;
    p.LocalPort = 20108;
    p.RemotePort = 8234;
    p.RemoteIP = QStringLiteral("10.0.0.201");
    p.WorkMode = 3;
    p.TcpSvrCount = 4;
    EncodePortParam(p, U(r) + LenBase, portOpt);
    for (int i : {0, 1, 2, 8, 49, 50, 51, 64, 65, 66, LenBase + 46, LenBase + 47, LenBase + 48, LenBase + 49,
                  LenBase + 57})
        r[i] = marker;
    return r;
}

QByteArray heartReply(char marker)
{
    QByteArray h(LenHeartReg, '\0');
    THeartRegParam p;
    p.RegMode = 0;
    p.HeartTime = 30;
    p.HeartData = QStringLiteral("ping");
    p.RegData = QStringLiteral("reg1");
    EncodeHeartRegParam(p, U(h));
    h[84] = marker; // the register data's last byte: the page writes only its length's worth
    return h;
}

struct LanSessionFixture : ::testing::Test {
    TLangScope lang;
    TRecorderSink log;
    TLanSession session{log};
    TQ2Page page;
    QUdpSocket q2rx, q3rx;

    void SetUp() override
    {
        ASSERT_TRUE(q2rx.bind(QHostAddress::LocalHost, 0));
        ASSERT_TRUE(q3rx.bind(QHostAddress::LocalHost, 0));
        TUdpSvr &s = session.Svr();
        s.AddressOverride = {QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.1")};
        s.BroadcastAddress = QStringLiteral("127.0.0.1");
        s.DestPortQ2 = q2rx.localPort();
        s.DestPortQ3 = q3rx.localPort();
        s.RefreshBindings();
        session.Page = &page;
    }
    void arrive(const QByteArray &d, const QString &from, int port = DevPortQ2, int binding = 0)
    {
        session.Svr().UDPRead(d, from, port, QStringLiteral("127.0.0.1"), session.Svr().BindingPort(binding), binding);
    }
    const TDeviceRow &row(const QString &mac) { return session.Devices().Rows[session.Devices().IndexOfMac(mac)]; }
    // Every frame the Q2 receiver got since the last call.
    QList<QByteArray> frames(int atLeast = 1)
    {
        QList<QByteArray> out;
        (void)QTest::qWaitFor([&] {
            while (q2rx.hasPendingDatagrams())
                out << q2rx.receiveDatagram().data();
            return out.size() >= atLeast;
        }, 2000);
        while (q2rx.hasPendingDatagrams())
            out << q2rx.receiveDatagram().data();
        return out;
    }
};

const QString MacA = QStringLiteral("001A2B3C4D0A"), MacB = QStringLiteral("001A2B3C4D0B");

} // namespace

// Read A, read B, write A: every byte of A's write that the page does not own is A's, whether the
// two modules answer from addresses of their own or from one address.
TEST_F(LanSessionFixture, aWriteCarriesOnlyItsOwnModulesBytes)
{
    for (const bool shared : {false, true}) {
        SCOPED_TRACE(shared ? "one address" : "own addresses");
        session.ClearList();
        const QString fromA = QStringLiteral("10.0.0.7"), fromB = shared ? fromA : QStringLiteral("10.0.0.8");
        arrive(searchReply(QStringLiteral("10.0.0.7"), MacA), fromA, DevPortQ2, 0);
        arrive(searchReply(QStringLiteral("10.0.0.8"), MacB), fromB, DevPortQ2, 1);
        ASSERT_EQ(session.Devices().Count(), 2);

        session.Read(row(MacA));
        arrive(readReply(QStringLiteral("10.0.0.7"), spaced(MacA), 'a', 0x42, 0x01), fromA);
        arrive(heartReply('a'), fromA);
        ASSERT_EQ(page.edt_StaticIP.Text, QStringLiteral("10.0.0.7"));
        const TQ2Page pageOfA = page;
        session.Read(row(MacB));
        arrive(readReply(QStringLiteral("10.0.0.8"), spaced(MacB), 'b', 0x0C, 0x02), fromB);
        arrive(heartReply('b'), fromB);
        ASSERT_EQ(page.edt_StaticIP.Text, QStringLiteral("10.0.0.8"));
        frames(2);

        const TQ2WritePlan plan = session.Write(pageOfA, &row(MacA), {});
        ASSERT_EQ(plan.Status, TQ2WriteStatus::Sent) << plan.Message.toStdString();
        const QList<QByteArray> sent = frames(4);
        ASSERT_EQ(sent.size(), 4); // base, port, heartbeat/register, restart
        for (const QByteArray &f : sent)
            EXPECT_EQ(f.mid(3, 6).toHex().toUpper(), MacA.toLatin1()) << "every frame names A";
        EXPECT_EQ(uint8_t(sent[2][2]), CmdWriteHeartReg);
        const QByteArray base = sent[0].mid(21, LenBase), port = sent[1].mid(21, LenPort);
        for (int i : {0, 1, 2, 8, 49, 50, 51, 64, 65, 66})
            EXPECT_EQ(base[i], 'a') << "base byte " << i;
        for (int i : {46, 47, 48, 49, 57})
            EXPECT_EQ(port[i], 'a') << "port byte " << i;
        EXPECT_EQ(uint8_t(base[3]) & 0x4E, 0x42) << "the option bits the page does not own";
        EXPECT_EQ(uint8_t(port[50]) & 0x03, 0x01);
    }
}

TEST_F(LanSessionFixture, repliesGoToTheModuleTheyCameFrom)
{
    arrive(searchReply(QStringLiteral("10.0.0.7"), MacA), QStringLiteral("10.0.0.7"));
    arrive(searchReply(QStringLiteral("10.0.0.8"), MacB), QStringLiteral("10.0.0.8"));
    session.Read(row(MacA));
    session.Read(row(MacB));
    // A answers late, while B's page is up: A's record takes its blocks, B's page stays B's.
    arrive(readReply(QStringLiteral("10.0.0.7"), spaced(MacA), 'a', 0x42, 0x01), QStringLiteral("10.0.0.7"));
    arrive(heartReply('a'), QStringLiteral("10.0.0.7"));
    EXPECT_TRUE(page.edt_StaticIP.Text.isEmpty() || page.edt_StaticIP.Text != QStringLiteral("10.0.0.7"));
    EXPECT_EQ(session.Record(MacA)->Templates.HeartReg[84], uint8_t('a'));
    EXPECT_TRUE(session.Record(MacA)->Templates.HasRead());
    EXPECT_FALSE(session.Record(MacB)->Templates.HasRead());
    EXPECT_EQ(session.Record(MacB)->Templates.HeartReg[84], 0);
    arrive(readReply(QStringLiteral("10.0.0.8"), spaced(MacB), 'b', 0x0C, 0x02), QStringLiteral("10.0.0.8"));
    EXPECT_EQ(page.edt_StaticIP.Text, QStringLiteral("10.0.0.8"));
    EXPECT_EQ(session.Record(MacB)->Templates.Read[0], uint8_t('b'));
    EXPECT_EQ(session.Record(MacA)->Templates.Read[0], uint8_t('a'));
}

TEST_F(LanSessionFixture, statusesNameTheModuleTheyCameFrom)
{
    QList<TLanStatus> got;
    QObject::connect(&session, &TLanSession::StatusReported, [&](const TLanStatus &s) { got << s; });
    arrive(searchReply(QStringLiteral("10.0.0.7"), MacA), QStringLiteral("10.0.0.7"));
    arrive(searchReply(QStringLiteral("10.0.0.8"), MacB), QStringLiteral("10.0.0.8"));
    session.Restart(row(MacA));
    session.Restart(row(MacB));
    struct Case {
        const char *from;
        int code;
        const char *mac;
        bool bySender;
    } cases[] = {
        {"10.0.0.7", StsAck, "00 1A 2B 3C 4D 0A", true},
        {"10.0.0.8", StsPswdErr, "00 1A 2B 3C 4D 0B", true},
        // Nobody answered a search from here: the module sent something last, not by its sender.
        {"10.0.0.99", StsAck, "00 1A 2B 3C 4D 0B", false},
    };
    for (const Case &c : cases) {
        got.clear();
        arrive(c.code == StsAck ? Hex("FF 01 02 4B") : Hex("FF 01 02 50"), QString::fromLatin1(c.from));
        ASSERT_EQ(got.size(), 1) << c.from;
        EXPECT_EQ(got[0].Code, c.code);
        EXPECT_EQ(got[0].Mac, QString::fromLatin1(c.mac)) << c.from;
        EXPECT_EQ(got[0].BySender, c.bySender) << c.from;
        EXPECT_EQ(got[0].PeerIP, QString::fromLatin1(c.from));
    }
    got.clear();
    session.Search();
    ASSERT_FALSE(got.isEmpty());
    EXPECT_EQ(got.last().Code, StsSearchSent);
    EXPECT_TRUE(got.last().Mac.isEmpty()) << "the endpoint's own status belongs to no module";
}

// The first reply of a module in each search counts: its row for the list, and where it answers
// from for its record, so a module that moved is found at its new address.
TEST_F(LanSessionFixture, eachSearchBringsTheRecordUpToDate)
{
    session.Search();
    arrive(searchReply(QStringLiteral("10.0.0.7"), MacA), QStringLiteral("10.0.0.7"), DevPortQ2, 0);
    arrive(searchReply(QStringLiteral("10.0.0.70"), MacA), QStringLiteral("10.0.0.70"), DevPortQ2, 1);
    EXPECT_EQ(session.Record(MacA)->ReplyIP, QStringLiteral("10.0.0.7"));
    EXPECT_EQ(session.Record(MacA)->BindingIndex, 0);
    session.Search(false); // the list stays, as while waiting for a restarted module
    arrive(searchReply(QStringLiteral("10.0.0.70"), MacA), QStringLiteral("10.0.0.70"), DevPortQ2, 1);
    EXPECT_EQ(session.Record(MacA)->ReplyIP, QStringLiteral("10.0.0.70"));
    EXPECT_EQ(session.Record(MacA)->IP, QStringLiteral("10.0.0.70"));
    EXPECT_EQ(session.Record(MacA)->BindingIndex, 1);
    ASSERT_EQ(session.Devices().Count(), 1);
    EXPECT_EQ(session.Devices().Rows[0].IP, QStringLiteral("10.0.0.7")) << "the row keeps its first reply";
    session.Restart(row(MacA));
    frames(2);
    QList<TLanStatus> got;
    QObject::connect(&session, &TLanSession::StatusReported, [&](const TLanStatus &s) { got << s; });
    arrive(Hex("FF 01 02 4B"), QStringLiteral("10.0.0.70"));
    ASSERT_EQ(got.size(), 1);
    EXPECT_TRUE(got[0].BySender);
}
