// Writes that leave the whole new file or the old one, and reads that refuse what is no plain file.
#include "FullDisk.h"
#include "TestUtil.h"
#include "core/IniFile.h"
#include "core/SafeFile.h"
#include "core/Settings.h"
#include "lang/LangList.h"
#include "netconfig/DeviceList.h"
#include "netconfig/Profile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <sys/stat.h>
#include <utime.h>

namespace {

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void put(const QString &path, const QByteArray &bytes, int mode = 0644)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
    f.close();
    ASSERT_EQ(chmod(QFile::encodeName(path).constData(), mode_t(mode)), 0);
}

unsigned modeOf(const QString &path)
{
    struct stat st {};
    return stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0xFFFF;
}

// A process id that no process has (a child that has ended and been reaped).
pid_t endedPid()
{
    const pid_t pid = fork();
    if (pid == 0)
        _exit(0);
    waitpid(pid, nullptr, 0);
    return pid;
}

struct SafeFile : ::testing::Test {
    QTemporaryDir dir;
    QString at(const char *name) const { return dir.filePath(QString::fromLatin1(name)); }
};

} // namespace

TEST_F(SafeFile, replacesTheWholeFileKeepingItsModeAndLeavesNoTemporary)
{
    const QString path = at("data.txt");
    put(path, "old contents that are longer than the new ones", 0640);
    QString error;
    ASSERT_TRUE(SafeWriteFile(path, "new", error)) << error.toStdString();
    EXPECT_EQ(contents(path), QByteArray("new"));
    EXPECT_EQ(modeOf(path), 0640u);
    EXPECT_TRUE(error.isEmpty());

    // Owner-only takes group and others away from an existing file; a new file gets its own mode.
    TSafeWriteOptions owner;
    owner.OwnerOnly = true;
    owner.NewFileMode = 0600;
    ASSERT_TRUE(SafeWriteFile(path, "secret", error, owner));
    EXPECT_EQ(modeOf(path), 0600u);
    ASSERT_TRUE(SafeWriteFile(at("fresh.txt"), "x", error, owner));
    EXPECT_EQ(modeOf(at("fresh.txt")), 0600u);
    EXPECT_TRUE(Temporaries(dir.path()).isEmpty()) << Temporaries(dir.path()).join(u' ').toStdString();
}

TEST_F(SafeFile, aLongNameOfWideCharactersStillGetsItsTemporary)
{
    // 80 characters of three bytes each: 240 bytes, near the 255 a name may have.
    const QString path = dir.filePath(QString(80, u'泵') + QStringLiteral(".json"));
    QString error;
    ASSERT_TRUE(SafeWriteFile(path, "{}", error)) << error.toStdString();
    EXPECT_EQ(contents(path), QByteArray("{}"));
}

TEST_F(SafeFile, whatIsNoRegularFileIsRefusedAndLeftAsItWas)
{
    ASSERT_EQ(mkfifo(QFile::encodeName(at("pipe")).constData(), 0600), 0);
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    struct Case {
        const char *name;
        const char *error;
    } cases[] = {
        {"pipe", "not a regular file"},
        {"folder", "not a regular file"},
        {"no/such/folder/file", "No such file or directory"},
    };
    for (const auto &c : cases) {
        QString error;
        EXPECT_FALSE(SafeWriteFile(at(c.name), "data", error)) << c.name;
        EXPECT_EQ(error, QString::fromLatin1(c.error)) << c.name;
    }
    struct stat st {};
    ASSERT_EQ(lstat(QFile::encodeName(at("pipe")).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_TRUE(Temporaries(dir.path()).isEmpty());
}

TEST_F(SafeFile, aSymbolicLinkStaysAndTheFileItNamesIsReplaced)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("real")));
    put(at("real/Cfg.ini"), "old");
    ASSERT_TRUE(QFile::link(at("real/Cfg.ini"), at("Cfg.ini")));
    QString error;
    ASSERT_TRUE(SafeWriteFile(at("Cfg.ini"), "new", error)) << error.toStdString();
    EXPECT_TRUE(QFileInfo(at("Cfg.ini")).isSymLink());
    EXPECT_EQ(contents(at("real/Cfg.ini")), QByteArray("new"));
}

TEST_F(SafeFile, temporariesOfEndedWritersAreRemovedByTheNextWrite)
{
    const pid_t gone = endedPid();
    const QString dead = at(".bexo-tmp.") + QStringLiteral("%1.0.Cfg.ini").arg(gone);
    const QString running = at(".bexo-tmp.1.0.Cfg.ini"); // process 1 always runs
    const QString unnamedFresh = at(".bexo-tmp.junk");
    const QString unnamedOld = at(".bexo-tmp.junk-old");
    const QString userFiles[] = {at("Cfg.ini.backup"), at("Cfg.ini.AbCdEf"), at("bexo-tmp.1.0.x")};
    for (const QString &p : {dead, running, unnamedFresh, unnamedOld})
        put(p, "half a file");
    for (const QString &p : userFiles)
        put(p, "the user's");
    const time_t twoHoursAgo = time(nullptr) - 7200;
    const utimbuf old{twoHoursAgo, twoHoursAgo};
    ASSERT_EQ(utime(QFile::encodeName(unnamedOld).constData(), &old), 0);

    QString error;
    ASSERT_TRUE(SafeWriteFile(at("Export.csv"), "rows", error)) << error.toStdString();
    EXPECT_FALSE(QFile::exists(dead));
    EXPECT_FALSE(QFile::exists(unnamedOld));
    EXPECT_TRUE(QFile::exists(running)) << "a writer that still runs keeps its file";
    EXPECT_TRUE(QFile::exists(unnamedFresh));
    for (const QString &p : userFiles)
        EXPECT_EQ(contents(p), QByteArray("the user's")) << p.toStdString();
}

TEST_F(SafeFile, readsOnlyRegularFilesOfTheAllowedSize)
{
    put(at("small.bin"), "0123456789");
    ASSERT_EQ(mkfifo(QFile::encodeName(at("pipe")).constData(), 0600), 0);
    {
        QFile big(at("big.bin"));
        ASSERT_TRUE(big.open(QIODevice::WriteOnly));
        ASSERT_TRUE(big.resize(11)); // one byte over the limit below
    }
    struct Case {
        QString path;
        TFileRefusal refusal;
        const char *error; // start of it
    } cases[] = {
        {at("small.bin"), TFileRefusal::None, ""},
        {at("big.bin"), TFileRefusal::TooLarge, "11 bytes, more than the 10 allowed"},
        // Opening a pipe without a writer would wait forever.
        {at("pipe"), TFileRefusal::NotRegular, "a pipe, not a regular file"},
        {QStringLiteral("/dev/zero"), TFileRefusal::NotRegular, "a device, not a regular file"},
        {dir.path(), TFileRefusal::NotRegular, "a folder, not a regular file"},
        {at("missing.bin"), TFileRefusal::CannotOpen, "No such file or directory"},
    };
    for (const auto &c : cases) {
        QByteArray data;
        TFileRefusal refusal = TFileRefusal::ReadError;
        QString error;
        const bool ok = ReadRegularFile(c.path, 10, data, refusal, error);
        EXPECT_EQ(ok, c.refusal == TFileRefusal::None) << c.path.toStdString();
        EXPECT_EQ(refusal, c.refusal) << c.path.toStdString();
        if (c.refusal == TFileRefusal::None)
            EXPECT_TRUE(error.isEmpty()) << error.toStdString();
        else
            EXPECT_TRUE(error.startsWith(QString::fromLatin1(c.error))) << c.path.toStdString() << ": " << error.toStdString();
        if (ok) {
            EXPECT_EQ(data, QByteArray("0123456789"));
        }
    }
}

TEST(Settings, changedSettingsAloneAreWrittenAndRemembered)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Cfg.ini"));
    TIniFile ini(path);
    TAppSettings written; // what a missing file gives
    TAppSettings now = written;
    WriteChangedSettings(ini, now, written);
    EXPECT_FALSE(QFile::exists(path)) << "nothing changed, nothing written";

    now.QNum = 3;
    now.Password = QStringLiteral("pw");
    WriteChangedSettings(ini, now, written);
    EXPECT_EQ(contents(path), QByteArray("[System]\r\nQNum=3\r\nPassword=pw\r\n"));
    EXPECT_EQ(written.QNum, 3);
    EXPECT_EQ(modeOf(path), 0600u);

    // Once written, the same values are not written again.
    ASSERT_TRUE(QFile::remove(path));
    WriteChangedSettings(ini, now, written);
    EXPECT_FALSE(QFile::exists(path));

    // A refused write raises and is not taken as written.
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("Cfg.ini")));
    now.LocalCom = QStringLiteral("/dev/ttyUSB0");
    EXPECT_THROW(WriteChangedSettings(ini, now, written), EIniFileError);
    EXPECT_EQ(written.LocalCom, QStringLiteral("COM1"));
}

TEST(Settings, aCfgIniOthersCouldReadIsTightenedOnceItHoldsAPassword)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Cfg.ini"));
    put(path, "[System]\r\nCustom=1\r\n", 0644); // shipped defaults, readable by all
    TIniFile ini(path);
    ini.WriteString(IniSection, QStringLiteral("LocalCom"), QStringLiteral("COM3"));
    EXPECT_EQ(modeOf(path), 0644u) << "no password in it yet";
    ini.WriteString(IniSection, QStringLiteral("Password"), QString());
    EXPECT_EQ(modeOf(path), 0644u) << "an empty password is none";
    ini.WriteString(IniSection, QStringLiteral("Password"), QStringLiteral("bexo7"));
    EXPECT_EQ(modeOf(path), 0600u);
}

// Every file the programs write, on a disk with no room left: the old file stays whole, the write
// says it failed and why, and no half-written temporary stays behind.
TEST(FullDisk, everyWriterKeepsTheOldFileAndReportsTheFailure)
{
    QTemporaryDir dir;
    const QString full = dir.path();
    const QByteArray oldCfg = "[System]\r\nLanguage=0\r\nPassword=bexo7\r\n";
    const QByteArray oldProfile = "{\"format\": \"bexo-z0-profile\"}\n";
    const QDateTime when(QDate(2024, 3, 1), QTime(8, 5, 9));
    const auto cfg = [&] { return QDir(full).filePath(QStringLiteral("Cfg.ini")); };
    const auto profile = [&] { return QDir(full).filePath(QStringLiteral("pump.json")); };
    const auto lang = [&] { return QDir(full).filePath(QStringLiteral("Lang.txt")); };
    TDeviceList list;
    list.AddReply("10.0.0.7", QString(200, u'n'), "00 1A 2B 3C 4D 5E", "4017", 2, 0, {});
    const auto exported = [&] { return ExportFileName(full, when, 1); };

    const TFullDiskRun run = RunOnFullDisk(
        full,
        [&] {
            put(cfg(), oldCfg, 0600);
            put(profile(), oldProfile);
            put(exported(), "IP,Name,MAC,Ver\r\n");
        },
        [&] {
            const QString noSpace = QStringLiteral("No space left on device");
            // Cfg.ini
            TIniFile ini(cfg());
            try {
                TAppSettings s;
                s.Password = QStringLiteral("bexo7");
                WriteSettings(ini, s);
                ADD_FAILURE() << "the settings write reported success";
            } catch (const EIniFileError &e) {
                EXPECT_EQ(e.Reason(), noSpace);
                EXPECT_TRUE(e.Message().startsWith(QLatin1String("Unable to write to ")));
            }
            EXPECT_EQ(contents(cfg()), oldCfg);
            // The export
            try {
                ExportDevices(list, full, when);
                ADD_FAILURE() << "the export reported success";
            } catch (const EExportError &e) {
                EXPECT_TRUE(e.Message().endsWith(noSpace)) << e.Message().toStdString();
            }
            EXPECT_EQ(contents(exported()), QByteArray("IP,Name,MAC,Ver\r\n"));
            // A profile
            TProfile p;
            p.Fields = {{QStringLiteral("LocalPort"), 6001}};
            QString error;
            EXPECT_FALSE(WriteProfileFile(profile(), p, error));
            EXPECT_TRUE(error.contains(noSpace)) << error.toStdString();
            EXPECT_EQ(contents(profile()), oldProfile);
            // Lang.txt: none is left, not a cut-off one that later starts would trust.
            TLangList table;
            for (int i = 0; i < 50; ++i)
                table.Add(QStringLiteral("lang_%1").arg(i), QString(40, u'中'), QString(40, u'e'));
            EXPECT_FALSE(table.WriteDefaultFile(lang()));
            EXPECT_TRUE(table.WriteError.contains(noSpace)) << table.WriteError.toStdString();
            EXPECT_FALSE(QFile::exists(lang()));
            EXPECT_TRUE(Temporaries(full).isEmpty()) << Temporaries(full).join(u' ').toStdString();
        });
    if (run == TFullDiskRun::Unavailable)
        GTEST_SKIP() << "no mount namespace here (not root)";
    EXPECT_EQ(run, TFullDiskRun::Passed);
}
