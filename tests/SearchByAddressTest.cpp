// Searches sent to addresses instead of the broadcast: modules that only their own address reaches
// (each simulated module here listens on its loopback address alone, as a module behind a router
// hears only what is routed to it) are found, marked, read, written, verified and restarted at
// that address; the sends keep to their rate.
#include "ModuleFixture.h"
#include "RecorderSink.h"
#include "TestUtil.h"
#include "core/Wait.h"
#include "netconfig/AddressRange.h"
#include "netconfig/FleetRun.h"
#include "sim/SimLan.h"

#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QRandomGenerator>
#include <QUdpSocket>
#include <memory>

namespace {

struct SearchByAddressFixture : ::testing::Test {
    TLangScope lang;
    TRecorderSink log;
    TLanSession session{log};
    std::vector<std::unique_ptr<TSimLan>> sims;
    QString net;         // "127.a.b"; module i listens on .10 + 10 i only
    QUdpSocket broadcast; // the broadcast address of this test: what arrives there
    struct TSent {
        qint64 At;
        QString To;
    };
    QList<TSent> sent;
    QElapsedTimer clock;

    QString ip(int i) const { return QStringLiteral("%1.%2").arg(net).arg(10 + 10 * i); }
    QString mac(int i) const { return QStringLiteral("02BE0000%1").arg(0xA0 + i, 4, 16, QLatin1Char('0')).toUpper(); }

    void start(int n)
    {
        for (int attempt = 0; attempt < 5; ++attempt) {
            net = QStringLiteral("127.%1.%2").arg(100 + QRandomGenerator::global()->bounded(100))
                      .arg(QRandomGenerator::global()->bounded(256));
            if (broadcast.bind(QHostAddress(net + QStringLiteral(".1")), DevPortQ2))
                break;
        }
        ASSERT_EQ(broadcast.state(), QAbstractSocket::BoundState);
        for (int i = 0; i < n; ++i) {
            auto sim = std::make_unique<TSimLan>();
            sim->Modules << SimParseModule(QStringLiteral("mac=%1,ip=%2,name=Far-%3").arg(mac(i), ip(i)).arg(i + 1), i,
                                           QStringLiteral("tovak"), QStringLiteral("tovak"));
            sim->BindAddress = ip(i);
            sim->Quiet = true;
            QString error;
            ASSERT_TRUE(sim->Start(error)) << error.toStdString();
            sims.push_back(std::move(sim));
        }
        TUdpSvr &s = session.Svr();
        s.AddressOverride = {QStringLiteral("127.0.0.1")};
        s.BroadcastAddress = net + QStringLiteral(".1");
        // Every datagram the session sends, when and where, beside the session's own dump.
        clock.start();
        auto dump = s.OnSendData;
        s.OnSendData = [this, dump](const QByteArray &d, const QString &peer, const QString &local, int pp, int lp) {
            sent.append({clock.elapsed(), peer});
            dump(d, peer, local, pp, lp);
        };
    }

    QList<quint32> addresses(const QString &text)
    {
        QList<quint32> out;
        TRangeError e;
        EXPECT_TRUE(ParseAddressRanges({text}, out, e)) << RangeErrorText(e).toStdString();
        return out;
    }

    // Frames of a command (not searches) that reached the broadcast address.
    int commandsAtBroadcast()
    {
        int n = 0;
        while (broadcast.hasPendingDatagrams())
            n += broadcast.receiveDatagram().data().size() > 4;
        return n;
    }

    const TSimModule &module(int i) const { return sims[size_t(i)]->Modules[0]; }
};

} // namespace

TEST_F(SearchByAddressFixture, findsWhatTheBroadcastMissesAndReachesItAtItsAddress)
{
    start(2);
    session.Search();
    WaitWithMessages(300);
    EXPECT_EQ(session.Devices().Count(), 0) << "the broadcast reaches neither module";

    int sentCount = -1, total = -1;
    QObject::connect(&session, &TLanSession::AddressSearchSent, [&](int s, int t) {
        sentCount = s;
        total = t;
    });
    session.SearchRate = 5000;
    log.Lines.clear();
    session.SearchAddresses(addresses(QStringLiteral("%1.8-%1.25").arg(net)));
    ASSERT_TRUE(WaitUntil(3000, [&] { return session.Devices().Count() == 2 && total >= 0; }));
    EXPECT_EQ(sentCount, 18);
    EXPECT_EQ(total, 18);
    const QStringList lines = log.LogTexts();
    EXPECT_TRUE(lines.contains(QStringLiteral("Search sent to 18 of 18 addresses"))) << lines.join(u'|').toStdString();
    EXPECT_FALSE(lines.contains(GetLangText(QStringLiteral("lang_Hint_Sending")))) << "one line for all of them";
    for (int i = 0; i < 2; ++i) {
        const int r = session.Devices().IndexOfMac(mac(i));
        ASSERT_GE(r, 0) << i;
        EXPECT_EQ(session.Devices().Rows[r].SearchedAt, ip(i));
        EXPECT_EQ(session.Record(mac(i))->SendTo, ip(i));
    }

    // A click's read goes to the module's address and fills the page.
    TQ2Page page;
    session.Page = &page;
    const TDeviceRow row0 = session.Devices().Rows[session.Devices().IndexOfMac(mac(0))];
    EXPECT_EQ(session.Read(row0), TReadOutcome::SentQ2);
    EXPECT_TRUE(WaitUntil(2000, [&] { return page.edt_ModName.Text == QStringLiteral("Far-1"); }))
        << page.edt_ModName.Text.toStdString();
    session.Page = nullptr;

    // A verified write of both, then a restart: every frame and the searches that wait for the
    // modules to come back go to their addresses.
    QList<TFleetTarget> targets;
    for (int i = 0; i < 2; ++i)
        targets.append({mac(i), session.Devices().Rows[session.Devices().IndexOfMac(mac(i))]});
    TFleetOptions o;
    o.Job = TFleetJob::Write;
    o.Assignments = {QStringLiteral("LocalPort=7005")};
    o.Verify = true;
    o.Times.AnswerWaitMs = 400;
    o.Times.BlockPauseMs = 10;
    o.Times.RestartPauseMs = 20;
    o.Times.VerifyTimeoutMs = 2000;
    o.Times.VerifyPollMs = 50;
    bool done = false;
    {
        TFleetRun run(session, o, targets);
        run.OnFinished = [&] { done = true; };
        run.Start();
        ASSERT_TRUE(WaitUntil(8000, [&] { return done; }));
        for (const TFleetModuleResult &r : run.Results()) {
            EXPECT_EQ(r.Result, TFleetResult::Ok) << r.Mac.toStdString() << ": " << r.Answer.toStdString();
            EXPECT_TRUE(r.Verified);
        }
    }
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(DecodePortParam(reinterpret_cast<const uint8_t *>(module(i).Port.constData())).LocalPort, 7005) << i;

    o.Job = TFleetJob::Restart;
    done = false;
    TFleetRun restart(session, o, targets);
    restart.OnFinished = [&] { done = true; };
    restart.Start();
    ASSERT_TRUE(WaitUntil(3000, [&] { return done; }));
    for (const TFleetModuleResult &r : restart.Results())
        EXPECT_EQ(r.Answer, QStringLiteral("ACK.")) << r.Mac.toStdString();
    WaitWithMessages(50);
    EXPECT_EQ(commandsAtBroadcast(), 0) << "no command went to the broadcast address";
}

// Never more than the rate allows since the start; a stop ends it early and says how far it got;
// a new search by address replaces one still sending.
TEST_F(SearchByAddressFixture, sendsKeepToTheRate)
{
    start(0);
    session.SearchRate = 200; // one every 5 ms
    QList<std::pair<int, int>> done;
    QObject::connect(&session, &TLanSession::AddressSearchSent, [&](int s, int t) { done.append({s, t}); });
    sent.clear();
    clock.restart();
    session.SearchAddresses(addresses(QStringLiteral("%1.100-%1.129").arg(net)));
    EXPECT_TRUE(session.SearchingAddresses());
    ASSERT_TRUE(WaitUntil(5000, [&] { return !done.isEmpty(); }));
    ASSERT_EQ(sent.size(), 30);
    for (int k = 0; k < sent.size(); ++k)
        EXPECT_GE(sent[k].At, k * 5) << "send " << k << " came too early";
    EXPECT_EQ(sent[29].To, QStringLiteral("%1.129").arg(net));
    EXPECT_EQ(done, (QList<std::pair<int, int>>{{30, 30}}));

    // Stopped after a few.
    session.SearchRate = 20;
    done.clear();
    sent.clear();
    session.SearchAddresses(addresses(QStringLiteral("%1.100-%1.129").arg(net)));
    WaitWithMessages(120);
    session.StopSearchingAddresses();
    ASSERT_EQ(done.size(), 1);
    EXPECT_LT(done[0].first, 30);
    EXPECT_EQ(done[0].first, sent.size());
    EXPECT_EQ(done[0].second, 30);
    EXPECT_FALSE(session.SearchingAddresses());

    // Replaced: the first says how far it got, the second sends all of its own.
    done.clear();
    sent.clear();
    session.SearchAddresses(addresses(QStringLiteral("%1.100-%1.129").arg(net)));
    session.SearchRate = 100000;
    session.SearchAddresses(addresses(QStringLiteral("%1.200-%1.202").arg(net)));
    ASSERT_TRUE(WaitUntil(2000, [&] { return done.size() == 2; }));
    EXPECT_EQ(done[0].second, 30);
    EXPECT_EQ(done[1], (std::pair<int, int>{3, 3}));
    EXPECT_EQ(sent.last().To, QStringLiteral("%1.202").arg(net));
}

// The simulator answers a broadcast with every module, a search to an address with the modules of
// that IP, and none for an address no module has.
TEST(SimSearch, aSearchToAnAddressIsForItsModulesOnly)
{
    QList<TSimModule> m;
    for (const char *o : {"mac=020000000001,ip=10.1.2.5", "mac=020000000002,ip=10.1.2.6", "mac=020000000003,ip=10.1.2.5"})
        m << SimParseModule(QLatin1String(o), int(m.size()), QStringLiteral("tovak"), QStringLiteral("tovak"));
    struct Case {
        const char *to;
        bool broadcast;
        QList<int> answer;
    } cases[] = {
        {"255.255.255.255", true, {0, 1, 2}},
        {"10.1.2.255", true, {0, 1, 2}},
        {"10.1.2.5", false, {0, 2}},
        {"10.1.2.5", true, {0, 2}}, // a module's IP that is a /32 of this machine: its broadcast too
        {"10.1.2.6", false, {1}},
        {"10.1.2.7", false, {}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(SimSearchTargets(m, QLatin1String(c.to), c.broadcast), c.answer) << c.to;
    // After a restart a module answers at the IP it was given.
    m[1].AnswerIP = QStringLiteral("10.1.2.9");
    EXPECT_EQ(SimSearchTargets(m, QStringLiteral("10.1.2.9"), false), QList<int>{1});
}
