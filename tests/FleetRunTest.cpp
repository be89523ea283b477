// Runs over many modules against simulated modules in this process: each on a loopback address
// of its own, answering from it, so that every reply is told apart only by where it comes from.
#include "ModuleFixture.h"
#include "RecorderSink.h"
#include "TestUtil.h"
#include "core/Wait.h"
#include "netconfig/FleetRun.h"
#include "netconfig/ModelInfo.h"
#include "sim/SimLan.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTimer>
#include <QUdpSocket>

namespace {

QString macOf(int i) { return QStringLiteral("02BE%1").arg(i + 1, 8, 16, QLatin1Char('0')).toUpper(); }

struct FleetFixture : ::testing::Test {
    TLangScope lang;
    TRecorderSink log;
    TLanSession session{log};
    TSimLan sim;
    QString net; // "127.a.b": the simulator listens on .1, modules sit on .10 and on
    TFleetTimes times;

    void SetUp() override
    {
        times.AnswerWaitMs = 400;
        times.BlockPauseMs = 20;
        times.RestartPauseMs = 40;
        times.VerifyTimeoutMs = 2000;
        times.VerifyPollMs = 50;
    }

    // n modules; options(i) adds to module i's options.
    void start(int n, const std::function<QString(int)> &options = {})
    {
        for (int attempt = 0; attempt < 5; ++attempt) {
            QRandomGenerator *g = QRandomGenerator::global();
            net = QStringLiteral("127.%1.%2").arg(100 + g->bounded(100)).arg(g->bounded(256));
            QUdpSocket probe;
            if (probe.bind(QHostAddress(net + QStringLiteral(".1")), DevPortQ2))
                break;
        }
        for (int i = 0; i < n; ++i) {
            QString o = QStringLiteral("mac=%1,ip=%2.%3,name=Unit-%4").arg(macOf(i), net).arg(10 + i).arg(i + 1);
            if (options && !options(i).isEmpty())
                o += u',' + options(i);
            sim.Modules << SimParseModule(o, i, QStringLiteral("tovak"), QStringLiteral("tovak"));
        }
        sim.BindAddress = net + QStringLiteral(".1");
        sim.Quiet = true;
        QString error;
        ASSERT_TRUE(sim.Start(error)) << error.toStdString();
        TUdpSvr &s = session.Svr();
        s.AddressOverride = {QStringLiteral("127.0.0.1")};
        s.BroadcastAddress = sim.BindAddress;
        session.Search();
        ASSERT_TRUE(WaitUntil(3000, [&] { return session.Devices().Count() == n; }))
            << session.Devices().Count() << " of " << n << " answered";
    }

    QList<TFleetTarget> targets(const QList<int> &which)
    {
        QList<TFleetTarget> out;
        for (int i : which) {
            const int row = session.Devices().IndexOfMac(macOf(i));
            out.append({macOf(i), row < 0 ? std::nullopt : std::optional<TDeviceRow>(session.Devices().Rows[row])});
        }
        return out;
    }
    QList<int> all(int n)
    {
        QList<int> out;
        for (int i = 0; i < n; ++i)
            out << i;
        return out;
    }

    // The run from start to end; the indexes in the order they started and ended.
    struct TRan {
        QList<TFleetModuleResult> Results;
        QList<int> Started, Ended;
        QStringList Events; // "start 3", "end 3" in the order they happened
        int MostAtOnce = 0;
        bool Finished = false;
    };
    TRan run(TFleetOptions o, const QList<TFleetTarget> &t, int timeoutMs = 15000)
    {
        o.Times = times;
        TRan r;
        TFleetRun f(session, o, t);
        f.OnModuleStarted = [&](int i) {
            r.Started << i;
            r.Events << QStringLiteral("start %1").arg(i);
        };
        f.OnModuleFinished = [&](int i, const TFleetModuleResult &) {
            r.Ended << i;
            r.Events << QStringLiteral("end %1").arg(i);
        };
        f.OnFinished = [&] { r.Finished = true; };
        f.Start();
        WaitUntil(timeoutMs, [&] { return r.Finished; });
        r.Results = f.Results();
        r.MostAtOnce = f.MostAtOnce();
        return r;
    }
    // What module i holds now.
    TBaseParam base(int i) { return DecodeBaseParam(reinterpret_cast<const uint8_t *>(sim.Modules[i].Base.constData())); }
    TPortParam port(int i) { return DecodePortParam(reinterpret_cast<const uint8_t *>(sim.Modules[i].Port.constData())); }
};

TFleetOptions writeOf(const QStringList &assignments, int parallel = DefaultParallel)
{
    TFleetOptions o;
    o.Job = TFleetJob::Write;
    o.Parallel = parallel;
    o.Assignments = assignments;
    return o;
}

} // namespace

// Twenty modules read and written at once: every reply goes to the module it came from, so each
// module gets back its own settings with the two new fields, and nothing of another.
TEST_F(FleetFixture, interleavedRepliesOfTwentyModulesGoEachToItsModule)
{
    start(20);
    const TRan r = run(writeOf({QStringLiteral("LocalPort=7001"), QStringLiteral("Parity=ODD")}), targets(all(20)));
    ASSERT_TRUE(r.Finished);
    EXPECT_EQ(r.MostAtOnce, 20) << "all at once";
    for (int i = 0; i < 20; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(r.Results[i].Result, TFleetResult::Ok) << r.Results[i].Answer.toStdString();
        EXPECT_EQ(r.Results[i].Answer, QStringLiteral("7 of 7 frames acknowledged"));
        EXPECT_EQ(r.Results[i].Answers.size(), 7) << "its own seven answers, no other's";
        EXPECT_EQ(base(i).StaticIP, QStringLiteral("%1.%2").arg(net).arg(10 + i));
        EXPECT_EQ(RemoveSpaces(base(i).UserMAC), macOf(i));
        EXPECT_EQ(UpToZero(base(i).ModName), QStringLiteral("Unit-%1").arg(i + 1));
        EXPECT_EQ(port(i).LocalPort, 7001);
        EXPECT_EQ(port(i).Parity, 2);
    }
}

// Two modules claiming one IP never run together, and their results say so; a module elsewhere
// runs beside them. Modules whose answers come from one address (the simulator's own, for IPs
// this machine lacks) are run one after the other as well, without a note: they are not in
// conflict.
TEST_F(FleetFixture, modulesSharingAnAddressRunOneAfterTheOther)
{
    start(5, [&](int i) {
        switch (i) {
        case 1: return QStringLiteral("ip=%1.10").arg(net); // the IP of module 0
        case 3: return QStringLiteral("ip=192.0.2.3");
        case 4: return QStringLiteral("ip=192.0.2.4");
        default: return QString();
        }
    });
    TFleetOptions o;
    o.Job = TFleetJob::Restart;
    const TRan r = run(o, targets(all(5)));
    ASSERT_TRUE(r.Finished);
    for (const TFleetModuleResult &x : r.Results)
        EXPECT_EQ(x.Result, TFleetResult::Ok) << x.Mac.toStdString() << ": " << x.Answer.toStdString();
    const auto at = [&](const char *what, int i) { return r.Events.indexOf(QStringLiteral("%1 %2").arg(QLatin1String(what)).arg(i)); };
    EXPECT_LT(at("end", 0), at("start", 1)) << "module 1 waits for module 0: " << r.Events.join(u',').toStdString();
    EXPECT_LT(at("end", 3), at("start", 4)) << "module 4 waits for module 3";
    EXPECT_LT(at("start", 2), at("end", 0)) << "module 2 runs beside module 0";
    EXPECT_EQ(r.Results[0].SharedWith, QStringList{QStringLiteral("02 BE 00 00 00 02")});
    EXPECT_EQ(r.Results[1].SharedWith, QStringList{QStringLiteral("02 BE 00 00 00 01")});
    EXPECT_TRUE(r.Results[0].Note.contains(QStringLiteral("one after the other")));
    for (int i : {2, 3, 4})
        EXPECT_TRUE(r.Results[i].Note.isEmpty()) << i;
}

// A module that falls silent after its read and two blocks ends alone, with what it did answer;
// the modules beside it finish as if it were not there.
TEST_F(FleetFixture, aModuleThatStopsAnsweringMidSequenceFailsAlone)
{
    start(4, [](int i) { return i == 2 ? QStringLiteral("silent-after=3") : QString(); });
    const TRan r = run(writeOf({QStringLiteral("LocalPort=7002")}), targets(all(4)));
    ASSERT_TRUE(r.Finished);
    for (int i : {0, 1, 3}) {
        EXPECT_EQ(r.Results[i].Result, TFleetResult::Ok) << i;
        EXPECT_EQ(port(i).LocalPort, 7002) << i;
    }
    EXPECT_EQ(r.Results[2].Result, TFleetResult::NoAnswer);
    EXPECT_EQ(r.Results[2].Answer, QStringLiteral("2 of 7 frames acknowledged"));
}

// With one at a time the modules run in the order given; with N, never more than N at once.
TEST_F(FleetFixture, parallelBoundsHowManyRunAtOnce)
{
    start(6);
    struct Case {
        int parallel, most;
    } cases[] = {{1, 1}, {4, 4}, {32, 6}};
    for (const Case &c : cases) {
        TFleetOptions o;
        o.Job = TFleetJob::Restart;
        o.Parallel = c.parallel;
        const TRan r = run(o, targets({5, 0, 3, 1, 4, 2}));
        ASSERT_TRUE(r.Finished) << c.parallel;
        EXPECT_EQ(r.MostAtOnce, c.most) << c.parallel;
        if (c.parallel == 1) {
            EXPECT_EQ(r.Started, (QList<int>{0, 1, 2, 3, 4, 5})) << "in the order of the targets";
        }
        for (const TFleetModuleResult &x : r.Results)
            EXPECT_EQ(x.Result, TFleetResult::Ok) << c.parallel;
        EXPECT_EQ(r.Results[0].Mac, QStringLiteral("02 BE 00 00 00 06")) << "results in target order";
    }
}

// Verified writes of several modules at once, with one search for all of them: one that keeps
// its settings, one that comes back too late, the others read back as written.
TEST_F(FleetFixture, verifyingSeveralModulesAtOnce)
{
    times.VerifyTimeoutMs = 600;
    start(4, [](int i) {
        return i == 1 ? QStringLiteral("ignore-writes=1") : i == 2 ? QStringLiteral("restart-delay=3000") : QString();
    });
    TFleetOptions o = writeOf({QStringLiteral("LocalPort=7003"), QStringLiteral("ModName=Checked")});
    o.Verify = true;
    const TRan r = run(o, targets(all(4)));
    ASSERT_TRUE(r.Finished);
    for (int i : {0, 3}) {
        EXPECT_EQ(r.Results[i].Result, TFleetResult::Ok) << r.Results[i].Answer.toStdString();
        EXPECT_TRUE(r.Results[i].Verified);
        EXPECT_EQ(r.Results[i].Answer, QStringLiteral("7 of 7 frames acknowledged; 2 fields read back as written"));
    }
    EXPECT_EQ(r.Results[1].Result, TFleetResult::Mismatch);
    EXPECT_EQ(r.Results[1].Mismatches.size(), 2);
    EXPECT_EQ(r.Results[2].Result, TFleetResult::NotBack);
    EXPECT_EQ(r.Results[2].Answer, QStringLiteral("no answer to a search within 600 ms after the restart"));
}

// What needs no network is settled at once; the rest by what the module answers.
TEST_F(FleetFixture, resultsOfModulesThatCannotBeServed)
{
    start(3, [](int i) {
        return i == 1 ? QStringLiteral("model=q3,version=2002") : i == 2 ? QStringLiteral("password=secret") : QString();
    });
    struct Case {
        TFleetJob job;
        QList<TFleetResult> results; // one that never answered, then modules 1, 0 and 2
    } cases[] = {
        {TFleetJob::Write,
         {TFleetResult::NotFound, TFleetResult::WrongModel, TFleetResult::Ok, TFleetResult::Refused}},
        {TFleetJob::Reset, {TFleetResult::NotFound, TFleetResult::Ok, TFleetResult::Ok, TFleetResult::Refused}},
        {TFleetJob::Read, {TFleetResult::NotFound, TFleetResult::Ok, TFleetResult::Ok, TFleetResult::Refused}},
    };
    for (const Case &c : cases) {
        for (int parallel : {1, DefaultParallel}) {
            TFleetOptions o = writeOf({QStringLiteral("LocalPort=7004")}, parallel);
            o.Job = c.job;
            log.Lines.clear();
            const TRan r = run(o, targets({7, 1, 0, 2}));
            if (c.job == TFleetJob::Write) {
                EXPECT_FALSE(log.LogTexts().contains(QStringLiteral("Read [ Mac : 02 BE 00 00 00 02 ]")))
                    << "a module the job does not serve is sent nothing";
            }
            ASSERT_TRUE(r.Finished);
            QList<TFleetResult> got;
            for (const TFleetModuleResult &x : r.Results)
                got << x.Result;
            EXPECT_EQ(got, c.results) << int(c.job) << " parallel " << parallel;
            EXPECT_EQ(r.Results[3].Answer.left(26), QStringLiteral("UsrName or Password Error!")) << int(c.job);
            if (c.job == TFleetJob::Read) {
                ASSERT_TRUE(r.Results[2].Page);
                EXPECT_EQ(r.Results[2].Page->edt_ModName.Text, QStringLiteral("Unit-1"));
                ASSERT_TRUE(r.Results[1].Read.Base) << "a Q3 module's read reply is its record";
                EXPECT_EQ(r.Results[1].Read.Base->StaticIP, QStringLiteral("%1.11").arg(net));
            }
        }
    }
}

// A stopped run ends every module at once: the one running and those still waiting.
TEST_F(FleetFixture, stopEndsTheRunningAndTheWaitingModules)
{
    start(3, [](int i) { return i == 0 ? QStringLiteral("silent-after=0") : QString(); });
    TFleetOptions o;
    o.Job = TFleetJob::Restart;
    o.Parallel = 1;
    o.Times = times;
    TFleetRun f(session, o, targets(all(3)));
    bool finished = false;
    f.OnFinished = [&] { finished = true; };
    f.Start();
    QTimer::singleShot(50, &f, [&] { f.Stop(); });
    ASSERT_TRUE(WaitUntil(2000, [&] { return finished; }));
    EXPECT_EQ(f.Result(0).Answer, QStringLiteral("stopped before the module was done"));
    for (int i : {1, 2}) {
        EXPECT_EQ(f.Result(i).Result, TFleetResult::NoAnswer);
        EXPECT_EQ(f.Result(i).Answer, QStringLiteral("not started: the run was stopped"));
    }
    EXPECT_EQ(f.Running(), 0);
}
