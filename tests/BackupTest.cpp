// Backups of many modules and their restore, against simulated modules in this process (each on a
// loopback address of its own), and the files of a backup folder as outside input.
#include "ModuleFixture.h"
#include "RecorderSink.h"
#include "TestUtil.h"
#include "core/Wait.h"
#include "netconfig/Backup.h"
#include "sim/SimLan.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <sys/stat.h>

namespace {

QString macOf(int i) { return QStringLiteral("02BE0000B0%1").arg(i, 2, 16, QLatin1Char('0')).toUpper(); }
QString spacedOf(int i)
{
    const QString d = macOf(i);
    return QStringLiteral("%1 %2 %3 %4 %5 %6").arg(d.mid(0, 2), d.mid(2, 2), d.mid(4, 2), d.mid(6, 2), d.mid(8, 2), d.mid(10, 2));
}

void put(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray profileFor(const QString &savedFrom, const QString &extraFields = {})
{
    QByteArray out = "{\"format\": \"bexo-z0-profile\", \"formatVersion\": 1, \"model\": \"Q2\"";
    if (!savedFrom.isEmpty())
        out += ", \"savedFrom\": \"" + savedFrom.toUtf8() + "\"";
    out += ", \"fields\": {\"LocalPort\": 6001" + extraFields.toUtf8() + "}}";
    return out;
}

struct BackupFixture : ::testing::Test {
    TLangScope lang;
    TRecorderSink log;
    TLanSession session{log};
    TSimLan sim;
    QString net;
    QTemporaryDir dir;
    TFleetTimes times;

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        times.AnswerWaitMs = 400;
        times.BlockPauseMs = 10;
        times.RestartPauseMs = 20;
        times.VerifyTimeoutMs = 2000;
        times.VerifyPollMs = 50;
    }

    void start(int n, const std::function<QString(int)> &options = {})
    {
        for (int attempt = 0; attempt < 5; ++attempt) {
            net = QStringLiteral("127.%1.%2").arg(100 + QRandomGenerator::global()->bounded(100))
                      .arg(QRandomGenerator::global()->bounded(256));
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
        session.Svr().AddressOverride = {QStringLiteral("127.0.0.1")};
        session.Svr().BroadcastAddress = sim.BindAddress;
        search(n);
    }
    void search(int n)
    {
        session.Search();
        ASSERT_TRUE(WaitUntil(3000, [&] { return session.Devices().Count() == n; })) << session.Devices().Count();
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
    TFleetOptions options(TFleetJob job)
    {
        TFleetOptions o;
        o.Job = job;
        o.Times = times;
        return o;
    }

    template <typename TRun> QList<TFleetModuleResult> finish(TRun &run)
    {
        QList<int> finished;
        run.OnModuleFinished = [&](int i, const TFleetModuleResult &) { finished << i; };
        run.Start();
        EXPECT_TRUE(WaitUntil(15000, [&] { return run.Finished(); }));
        EXPECT_EQ(finished.size(), run.Count()) << "each entry once";
        return run.Results();
    }
    QList<TFleetModuleResult> backup(const QList<int> &which, const TBackupOptions &b = {})
    {
        TFleetBackup run(session, options(TFleetJob::Read), dir.path(), targets(which), b);
        const QList<TFleetModuleResult> r = finish(run);
        lastIndex = run.IndexPath();
        lastIndexWarning = run.IndexWarning();
        return r;
    }
    QList<TFleetModuleResult> restore(const QStringList &macs = {}, bool dryRun = false, bool verify = false)
    {
        const TRestorePlan plan = PlanRestore(dir.path(), macs);
        EXPECT_TRUE(plan.Problems.isEmpty()) << plan.Problems.join(u'|').toStdString();
        TFleetOptions o = options(TFleetJob::Write);
        o.DryRun = dryRun;
        o.Verify = verify;
        TFleetRestore run(session, o, plan, session.Devices().Rows, macs);
        return finish(run);
    }
    void write(const QList<int> &which, const QStringList &assignments)
    {
        TFleetOptions o = options(TFleetJob::Write);
        o.Assignments = assignments;
        TFleetRun run(session, o, targets(which));
        bool done = false;
        run.OnFinished = [&] { done = true; };
        run.Start();
        ASSERT_TRUE(WaitUntil(8000, [&] { return done; }));
        for (const TFleetModuleResult &r : run.Results())
            ASSERT_EQ(r.Result, TFleetResult::Ok) << r.Answer.toStdString();
    }
    QList<TBackupEntry> index()
    {
        QFile f(dir.filePath(BackupIndexName));
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        QList<TBackupEntry> e;
        QString error;
        EXPECT_TRUE(ParseBackupIndex(f.readAll(), e, error)) << error.toStdString();
        return e;
    }
    TBaseParam base(int i) { return DecodeBaseParam(reinterpret_cast<const uint8_t *>(sim.Modules[i].Base.constData())); }
    TPortParam port(int i) { return DecodePortParam(reinterpret_cast<const uint8_t *>(sim.Modules[i].Port.constData())); }
    QString lastIndex, lastIndexWarning;
};

QList<TFleetResult> kinds(const QList<TFleetModuleResult> &r)
{
    QList<TFleetResult> out;
    for (const TFleetModuleResult &x : r)
        out << x.Result;
    return out;
}

} // namespace

TEST(BackupFiles, namesByMac)
{
    EXPECT_EQ(BackupFileName(QStringLiteral("00 1a 2B 3C 4D 5E")), QStringLiteral("001A2B3C4D5E.json"));
    struct Case {
        const char *name, *mac;
    } cases[] = {
        {"001A2B3C4D5E.json", "001A2B3C4D5E"}, {"001a2b3c4d5e.JSON", "001A2B3C4D5E"}, {"001A2B3C4D5.json", ""},
        {"001A2B3C4D5EF.json", ""},            {"001A2B3C4D5G.json", ""},             {"00:1A:2B:3C:4D.json", ""},
        {"001A2B3C4D5E.json.bak", ""},         {"index.csv", ""},                     {"001A2B3C4D5E.txt", ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(MacOfBackupFileName(QLatin1String(c.name)), QLatin1String(c.mac)) << c.name;
}

// The index reads back what it wrote, whatever a module's name holds.
TEST(BackupFiles, indexRoundTrip)
{
    const QList<TBackupEntry> entries = {
        {QStringLiteral("00 1A 2B 3C 4D 5E"), QStringLiteral("10.0.0.7"), QStringLiteral("Pump, \"hall\" 3"), 4017,
         QStringLiteral("001A2B3C4D5E.json"), QStringLiteral("2024-03-01T08:05:09")},
        {QStringLiteral("00 1A 2B 3C 4D 5F"), QStringLiteral("10.0.0.8"), QStringLiteral("two\r\nlines"), 0,
         QStringLiteral("001A2B3C4D5F.json"), QStringLiteral("2024-03-01T08:05:10")},
        {QStringLiteral("00 1A 2B 3C 4D 60"), QString(), QStringLiteral("'=SUM(A1)"), 2002,
         QStringLiteral("001A2B3C4D60.json"), QString()},
    };
    const QByteArray text = BackupIndexText(entries);
    EXPECT_TRUE(text.startsWith("MAC,IP,Name,Firmware,File,Time\r\n00 1A 2B 3C 4D 5E,10.0.0.7,\"Pump, \"\"hall\"\" 3\",4017,"))
        << text.toStdString();
    QList<TBackupEntry> back;
    QString error;
    ASSERT_TRUE(ParseBackupIndex(text, back, error)) << error.toStdString();
    EXPECT_EQ(back, entries);
    // A formula is defused once, and stays so through a rewrite.
    const QList<TBackupEntry> formula = {{QStringLiteral("00 1A 2B 3C 4D 61"), QString(), QStringLiteral("=1+1"), 0,
                                          QStringLiteral("001A2B3C4D61.json"), QString()}};
    ASSERT_TRUE(ParseBackupIndex(BackupIndexText(formula), back, error));
    EXPECT_EQ(back[0].Name, QStringLiteral("'=1+1"));
    EXPECT_EQ(BackupIndexText(back), BackupIndexText(formula));
    // One edited by hand is defused when a later backup writes it again.
    ASSERT_TRUE(ParseBackupIndex("MAC,IP,Name,Firmware,File,Time\r\n00 1A 2B 3C 4D 61,,\"=1+1\",,001A2B3C4D61.json,\r\n",
                                 back, error));
    EXPECT_EQ(BackupIndexText(back), BackupIndexText(formula));
    ASSERT_TRUE(ParseBackupIndex("MAC,IP,Name,Firmware,File,Time\n", back, error));
    EXPECT_TRUE(back.isEmpty());
}

TEST(BackupFiles, indexFaults)
{
    const QByteArray head = "MAC,IP,Name,Firmware,File,Time\r\n";
    const QByteArray good = "00 1A 2B 3C 4D 5E,10.0.0.7,a,4017,001A2B3C4D5E.json,t\r\n";
    struct Case {
        QByteArray text;
        const char *error;
    } cases[] = {
        {"", "line 1: not a backup index"},
        {"IP,Name,MAC,Ver\r\n", "line 1: not a backup index"},
        {head + "00 1A 2B 3C 4D 5E,10.0.0.7,a,4017,001A2B3C4D5E.json\r\n", "line 2: 5 fields, not 6"},
        {head + "00 1A 2B,10.0.0.7,a,4017,x.json,t\r\n", "line 2: not a MAC"},
        {head + good + good, "line 3: the module 00 1A 2B 3C 4D 5E appears twice"},
        {head + "00 1A 2B 3C 4D 5E,10.0.0.7,a,4017,../../etc/passwd,t\r\n", "line 2: the file of 00 1A 2B 3C 4D 5E must be 001A2B3C4D5E.json"},
        {head + "00 1A 2B 3C 4D 5E,10.0.0.700,a,4017,001A2B3C4D5E.json,t\r\n", "line 2: not an IPv4 address"},
        {head + "00 1A 2B 3C 4D 5E,10.0.0.7,a,+4017,001A2B3C4D5E.json,t\r\n", "line 2: not a firmware version"},
        {head + "00 1A 2B 3C 4D 5E,10.0.0.7,a\"b,4017,001A2B3C4D5E.json,t\r\n", "line 2: not a line of comma-separated fields"},
        {head + "00 1A 2B 3C 4D 5E,10.0.0.7,\"open,4017,001A2B3C4D5E.json,t\r\n", "line 2: not a line of comma-separated fields"},
        {head + "00 1A 2B 3C 4D 5E,10.0.0.7,a\r4017,001A2B3C4D5E.json,t\r\n", "line 2: not a line of comma-separated fields"},
        {head + "\r\n" + good, "line 2: 1 fields, not 6"},
        {head + "00 1A 2B 3C 4D 5E,10.0.0.7,\xFF,4017,001A2B3C4D5E.json,t\r\n", "not UTF-8 text"},
        {head + QByteArray(BackupIndexMaxBytes, 'x'), "larger than"},
    };
    for (const Case &c : cases) {
        QList<TBackupEntry> e{TBackupEntry{}};
        QString error;
        EXPECT_FALSE(ParseBackupIndex(c.text, e, error)) << c.error;
        EXPECT_TRUE(e.isEmpty());
        EXPECT_TRUE(error.startsWith(QLatin1String(c.error))) << c.error << " got: " << error.toStdString();
    }
}

// Every file named by a MAC is read as outside input; a refusal names the file and why.
TEST(BackupFiles, planRefusesWhatIsNotThatModulesOwnFile)
{
    TLangScope lang;
    QTemporaryDir dir;
    const auto path = [&](const char *name) { return dir.filePath(QLatin1String(name)); };
    put(path("001A2B3C4D01.json"), profileFor(QStringLiteral("00 1A 2B 3C 4D 01")));
    put(path("001A2B3C4D02.json"), profileFor(QStringLiteral("00 1A 2B 3C 4D 01")));       // another module's
    put(path("001A2B3C4D03.json"), "{\"format\": \"bexo-z0-profile\", \"formatVersion\": 2}"); // the reader refuses
    put(path("001A2B3C4D04.json"), profileFor(QString()));                                  // from whom?
    ASSERT_TRUE(QFile::link(path("001A2B3C4D01.json"), path("001A2B3C4D05.json")));
    ASSERT_EQ(mkfifo(path("001A2B3C4D06.json").toLocal8Bit().constData(), 0600), 0); // never opened
    put(path("001A2B3C4D07.json"), profileFor(QStringLiteral("00 1A 2B 3C 4D 07")));
    put(path("001a2b3c4d07.json"), profileFor(QStringLiteral("00 1A 2B 3C 4D 07")));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("001A2B3C4D08.json")));
    put(path("001A2B3C4D09.json"), profileFor(QStringLiteral("pump 9")));
    put(path("001A2B3C4D0A.json"), profileFor(QStringLiteral("00:1a:2b:3c:4d:0a")));
    put(path(BackupIndexName.toLatin1().constData()), "whatever");
    put(path("notes.json"), "not a profile, not named by a MAC: left alone");

    const TRestorePlan plan = PlanRestore(dir.path());
    QStringList files;
    for (const TRestoreFile &f : plan.Files)
        files << f.Mac;
    EXPECT_EQ(files, (QStringList{QStringLiteral("001A2B3C4D01"), QStringLiteral("001A2B3C4D0A")}));
    EXPECT_EQ(plan.Problems,
              (QStringList{
                  QStringLiteral("001A2B3C4D02.json: saved from 00 1A 2B 3C 4D 01, not from the module its name gives "
                                 "(00 1A 2B 3C 4D 02)"),
                  QStringLiteral("001A2B3C4D03.json: profile format version 2 is not supported; this program reads "
                                 "version 1"),
                  QStringLiteral("001A2B3C4D04.json: does not say which module it was saved from (no \"savedFrom\")"),
                  QStringLiteral("001A2B3C4D05.json: a symbolic link; a backup holds plain files only"),
                  QStringLiteral("001A2B3C4D06.json: not a plain file"),
                  QStringLiteral("001A2B3C4D07.json, 001a2b3c4d07.json: two files for the module 00 1A 2B 3C 4D 07"),
                  QStringLiteral("001A2B3C4D08.json: not a plain file"),
                  QStringLiteral("001A2B3C4D09.json: \"savedFrom\" is not a MAC: \"pump 9\""),
              }))
        << plan.Problems.join(u'\n').toStdString();
    EXPECT_EQ(plan.FileOf(QStringLiteral("00 1a 2b 3c 4d 01"))->Profile.Fields.size(), 1);
    EXPECT_EQ(plan.FileOf(QStringLiteral("001A2B3C4D02")), nullptr);

    // Only the files of the modules asked for are read.
    const TRestorePlan one = PlanRestore(dir.path(), {QStringLiteral("001A2B3C4D01"), QStringLiteral("001A2B3C4DFF")});
    EXPECT_TRUE(one.Problems.isEmpty()) << one.Problems.join(u'\n').toStdString();
    EXPECT_EQ(one.Files.size(), 1);
    EXPECT_EQ(PlanRestore(dir.path(), {QStringLiteral("001A2B3C4D05")}).Problems.size(), 1);
    EXPECT_EQ(PlanRestore(dir.filePath(QStringLiteral("missing"))).Problems,
              QStringList{dir.filePath(QStringLiteral("missing")) + QStringLiteral(": not a folder")});
}

// Backed up, changed, restored: each module gets back its own settings and identity, never
// another's; modules without a file, files without a module and models without profiles are named.
TEST_F(BackupFixture, eachModuleGetsItsOwnFileBack)
{
    start(4, [](int i) { return i == 3 ? QStringLiteral("model=q3,version=2002") : QString(); });
    const QList<TFleetModuleResult> saved = backup({0, 1, 2, 3, 9});
    EXPECT_EQ(kinds(saved), (QList<TFleetResult>{TFleetResult::Ok, TFleetResult::Ok, TFleetResult::Ok,
                                                 TFleetResult::WrongModel, TFleetResult::NotFound}));
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const QString file = dir.filePath(BackupFileName(macOf(i)));
        EXPECT_EQ(saved[i].File, file);
        EXPECT_TRUE(saved[i].Answer.startsWith(QStringLiteral("saved "))) << saved[i].Answer.toStdString();
        EXPECT_TRUE(saved[i].Answer.endsWith(QStringLiteral(" fields to ") + file));
        TProfile p;
        QString error;
        ASSERT_TRUE(ReadProfileFile(file, p, error)) << error.toStdString();
        EXPECT_EQ(p.SavedFrom, spacedOf(i));
        EXPECT_EQ(p.Firmware, 4017);
        EXPECT_TRUE(p.FieldNames().contains(QStringLiteral("StaticIP")));
        EXPECT_TRUE(p.FieldNames().contains(QStringLiteral("ModName")));
        EXPECT_FALSE(p.FieldNames().contains(QStringLiteral("Password"))) << "the login only when asked";
    }
    EXPECT_EQ(lastIndex, dir.filePath(BackupIndexName));
    const QList<TBackupEntry> idx = index();
    ASSERT_EQ(idx.size(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(idx[i].Mac, spacedOf(i));
        EXPECT_EQ(idx[i].IP, QStringLiteral("%1.%2").arg(net).arg(10 + i));
        EXPECT_EQ(idx[i].Name, QStringLiteral("Unit-%1").arg(i + 1));
        EXPECT_EQ(idx[i].Firmware, 4017);
        EXPECT_EQ(idx[i].File, BackupFileName(macOf(i)));
        EXPECT_FALSE(idx[i].Time.isEmpty());
    }

    write({0, 1, 2}, {QStringLiteral("LocalPort=7100"), QStringLiteral("ModName=Changed")});
    search(4);
    // Module 2 has no file any more; a module that is gone still has one.
    ASSERT_TRUE(QFile::remove(dir.filePath(BackupFileName(macOf(2)))));
    put(dir.filePath(BackupFileName(macOf(9))), profileFor(spacedOf(9)));

    const QList<TFleetModuleResult> back = restore({}, false, true);
    ASSERT_EQ(back.size(), 4);
    EXPECT_EQ(kinds(back), (QList<TFleetResult>{TFleetResult::Ok, TFleetResult::Ok, TFleetResult::NoFile,
                                                TFleetResult::NotFound}));
    EXPECT_EQ(back[0].Mac, spacedOf(0));
    EXPECT_TRUE(back[0].Verified) << back[0].Answer.toStdString();
    EXPECT_EQ(back[0].File, dir.filePath(BackupFileName(macOf(0))));
    EXPECT_EQ(back[2].Answer, QStringLiteral("no backup file of this module in ") + dir.path());
    EXPECT_EQ(back[3].Mac, spacedOf(9));
    EXPECT_EQ(back[3].Answer, QStringLiteral("did not answer the search; its file %1 was not restored")
                                  .arg(dir.filePath(BackupFileName(macOf(9)))));
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(UpToZero(base(i).ModName), QStringLiteral("Unit-%1").arg(i + 1)) << i;
        EXPECT_EQ(base(i).StaticIP, QStringLiteral("%1.%2").arg(net).arg(10 + i)) << i;
        EXPECT_EQ(RemoveSpaces(base(i).UserMAC), macOf(i)) << i;
        EXPECT_EQ(port(i).LocalPort, 20108) << i;
    }
    EXPECT_EQ(UpToZero(base(2).ModName), QStringLiteral("Changed")) << "no file, nothing written";
}

// Named modules: in the order given, only their files read; a dry run sends nothing and shows the
// changes; one static IP given to two modules is noted on both.
TEST_F(BackupFixture, restoreOfNamedModules)
{
    start(3);
    ASSERT_EQ(kinds(backup({0, 1, 2})), QList<TFleetResult>(3, TFleetResult::Ok));
    write({0, 1, 2}, {QStringLiteral("LocalPort=7200")});
    search(3);
    const QList<TFleetModuleResult> dry = restore({macOf(2), macOf(0), QStringLiteral("02BE0000B0FF")}, true);
    EXPECT_EQ(kinds(dry), (QList<TFleetResult>{TFleetResult::DryRun, TFleetResult::DryRun, TFleetResult::NotFound}));
    EXPECT_EQ(dry[0].Mac, spacedOf(2));
    EXPECT_EQ(dry[2].Answer, QStringLiteral("did not answer the search"));
    bool change = false;
    for (const TFieldChange &c : dry[0].Changes)
        change = change || (c.Name == QLatin1String("LocalPort") && c.Old == QLatin1String("7200") && c.New == QLatin1String("20108"));
    EXPECT_TRUE(change);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(port(i).LocalPort, 7200) << "a dry run writes nothing";

    // Two files that give one static IP.
    QFile::remove(dir.filePath(BackupFileName(macOf(1))));
    put(dir.filePath(BackupFileName(macOf(1))),
        profileFor(spacedOf(1), QStringLiteral(", \"StaticIP\": \"%1.10\", \"AddrType\": \"Static IP\"").arg(net)));
    const QList<TFleetModuleResult> notes = restore({macOf(0), macOf(1), macOf(2)}, true);
    EXPECT_EQ(notes[0].Note, QStringLiteral("the backup gives StaticIP %1.10 to %2 as well").arg(net, spacedOf(1)));
    EXPECT_EQ(notes[1].Note, QStringLiteral("the backup gives StaticIP %1.10 to %2 as well").arg(net, spacedOf(0)));
    EXPECT_TRUE(notes[2].Note.isEmpty());
}

// A later backup into the same folder adds to the index; modules whose files are gone leave it; an
// index that cannot be read is replaced with a warning; a planted link is not written through.
TEST_F(BackupFixture, laterBackupsKeepTheIndexWhole)
{
    start(3);
    backup({0, 1});
    backup({1, 2});
    const auto macs = [&] {
        QStringList out;
        for (const TBackupEntry &e : index())
            out << e.Mac;
        return out;
    };
    EXPECT_EQ(macs(), (QStringList{spacedOf(0), spacedOf(1), spacedOf(2)}));
    ASSERT_TRUE(QFile::remove(dir.filePath(BackupFileName(macOf(0)))));
    backup({2});
    EXPECT_EQ(macs(), (QStringList{spacedOf(1), spacedOf(2)}));
    EXPECT_TRUE(lastIndexWarning.isEmpty());

    put(dir.filePath(BackupIndexName), "IP,Name,MAC,Ver\r\n");
    backup({0});
    EXPECT_TRUE(lastIndexWarning.contains(QStringLiteral("not a backup index"))) << lastIndexWarning.toStdString();
    EXPECT_EQ(macs(), QStringList{spacedOf(0)});

    QTemporaryDir elsewhere;
    const QString target = elsewhere.filePath(QStringLiteral("precious"));
    put(target, "keep me");
    ASSERT_TRUE(QFile::remove(dir.filePath(BackupFileName(macOf(1)))));
    ASSERT_TRUE(QFile::link(target, dir.filePath(BackupFileName(macOf(1)))));
    const QList<TFleetModuleResult> r = backup({1});
    EXPECT_EQ(r[0].Result, TFleetResult::NotSaved);
    EXPECT_TRUE(r[0].Answer.contains(QStringLiteral("symbolic link"))) << r[0].Answer.toStdString();
    QFile f(target);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("keep me"));
}
