#include "TestUtil.h"
#include "core/AppPaths.h"
#include "core/Settings.h"
#include "core/Version.h"
#include "lang/LangList.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <unistd.h>

TEST(Version, fourPartsFromTheProjectVersion) { EXPECT_EQ(GetAppVersion(), QStringLiteral("2.2.6.2")); }

namespace {

void put(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    f.write(bytes);
}

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void readOnly(const QString &path)
{
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                                                QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther));
}

// Where the files of an installed program go, seen by a user who cannot write its folder.
void installedProgramScenario()
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    // Writable again at the end, so that the temporary folder can be removed.
    struct Writable {
        QStringList Folders;
        ~Writable()
        {
            for (const QString &f : Folders)
                QFile::setPermissions(f, QFile::permissions(f) | QFileDevice::WriteOwner);
        }
    } writable{{tmp.filePath(QStringLiteral("opt/bexo-z0")), tmp.filePath(QStringLiteral("opt/bare"))}};
    const QString prog = tmp.filePath(QStringLiteral("opt/bexo-z0"));
    const QString user = tmp.filePath(QStringLiteral("home/.config/bexo-z0"));
    const QString docs = tmp.filePath(QStringLiteral("home/Documents"));
    ASSERT_TRUE(QDir().mkpath(prog));
    const QByteArray shippedCfg = "[System]\r\nCustom=1\r\nLanguage=0\r\nLocalCom=/dev/ttyS3\r\n";
    put(prog + QStringLiteral("/Cfg.ini"), shippedCfg);
    put(prog + QStringLiteral("/Lang.txt"), "lang_Menu_ExpDev|shipped-zh|Shipped export\r\n");
    readOnly(prog + QStringLiteral("/Cfg.ini"));
    readOnly(prog + QStringLiteral("/Lang.txt"));
    readOnly(prog);
    // The check is only worth something where permission bits count.
    ASSERT_FALSE(QFile(prog + QStringLiteral("/probe")).open(QIODevice::WriteOnly)) << "running with root's rights";

    // Cfg.ini: the shipped copy is read until the user has one, and seeds it.
    TDataFilePlace cfg = ChooseDataFilePlace(QStringLiteral("Cfg.ini"), prog, user);
    EXPECT_EQ(cfg.Path, user + QStringLiteral("/Cfg.ini"));
    EXPECT_EQ(cfg.ReadPath(), prog + QStringLiteral("/Cfg.ini"));
    TAppSettings s = ReadSettings(cfg, true);
    EXPECT_TRUE(s.CustomBuild);
    EXPECT_FALSE(s.IsChinese);
    EXPECT_EQ(s.LocalCom, QStringLiteral("/dev/ttyS3"));
    s.IsChinese = true;
    s.QNum = 2;
    WriteSettings(*IniFile, s);
    FreeSettings();
    EXPECT_EQ(contents(prog + QStringLiteral("/Cfg.ini")), shippedCfg);

    // The next start reads the user's copy: the changes stay, and so does what only the shipped
    // copy said.
    cfg = ChooseDataFilePlace(QStringLiteral("Cfg.ini"), prog, user);
    EXPECT_EQ(cfg.ReadPath(), user + QStringLiteral("/Cfg.ini"));
    s = ReadSettings(cfg, false);
    EXPECT_TRUE(s.IsChinese);
    EXPECT_EQ(s.QNum, 2);
    EXPECT_TRUE(s.CustomBuild);
    FreeSettings();
    EXPECT_EQ(int(QFile::permissions(user + QStringLiteral("/Cfg.ini")) & 0x00FF), 0) << "the password is in it";

    // Lang.txt beside the program is read while the user has none; nothing is written for it.
    const auto exportText = [](const QString &path) {
        InitLanguage(path);
        LangList->IsChinese = false;
        const QString t = GetLangText(QStringLiteral("lang_Menu_ExpDev"));
        FreeLanguage();
        return t;
    };
    const TDataFilePlace lang = ChooseDataFilePlace(QStringLiteral("Lang.txt"), prog, user);
    EXPECT_EQ(exportText(lang.ReadPath()), QStringLiteral("Shipped export"));
    EXPECT_FALSE(QFile::exists(user + QStringLiteral("/Lang.txt")));
    put(user + QStringLiteral("/Lang.txt"), "lang_Menu_ExpDev|mine-zh|My export\r\n");
    EXPECT_EQ(exportText(ChooseDataFilePlace(QStringLiteral("Lang.txt"), prog, user).ReadPath()),
              QStringLiteral("My export"));

    // Neither copy: the built-in table is written where the user can edit it.
    const QString bare = tmp.filePath(QStringLiteral("opt/bare"));
    const QString bareUser = tmp.filePath(QStringLiteral("home2/.config/bexo-z0"));
    ASSERT_TRUE(QDir().mkpath(bare));
    readOnly(bare);
    EXPECT_EQ(exportText(ChooseDataFilePlace(QStringLiteral("Lang.txt"), bare, bareUser).ReadPath()),
              QStringLiteral("Export Devices"));
    EXPECT_TRUE(QFile::exists(bareUser + QStringLiteral("/Lang.txt")));

    // A read-only Cfg.ini in a folder that can be written is a seed too, not a place to lose
    // changes in.
    const QString open = tmp.filePath(QStringLiteral("portable"));
    ASSERT_TRUE(QDir().mkpath(open));
    put(open + QStringLiteral("/Cfg.ini"), shippedCfg);
    readOnly(open + QStringLiteral("/Cfg.ini"));
    cfg = ChooseDataFilePlace(QStringLiteral("Cfg.ini"), open, user);
    EXPECT_EQ(cfg.Path, user + QStringLiteral("/Cfg.ini"));
    EXPECT_EQ(cfg.Seed, open + QStringLiteral("/Cfg.ini"));
    // Lang.txt there can be written, so it lives there.
    EXPECT_EQ(ChooseDataFilePlace(QStringLiteral("Lang.txt"), open, user).Path, open + QStringLiteral("/Lang.txt"));

    // The export: the program's folder when it can be written, else the documents folder.
    EXPECT_EQ(ChooseExportFolder(prog, docs), docs);
    EXPECT_TRUE(QDir(docs).exists());
    EXPECT_EQ(ChooseExportFolder(open, docs), open);
}

} // namespace

TEST(FilePlaces, beforeTheUserHasCopiesAWritableProgramFolderHoldsEverything)
{
    QTemporaryDir tmp;
    const QString user = tmp.filePath(QStringLiteral("config"));
    for (const char *name : {"Cfg.ini", "Lang.txt"}) {
        const TDataFilePlace p = ChooseDataFilePlace(QString::fromLatin1(name), tmp.path(), user);
        EXPECT_EQ(p.Path, QDir(tmp.path()).filePath(QString::fromLatin1(name)));
        EXPECT_TRUE(p.Seed.isEmpty());
    }
    EXPECT_FALSE(QDir(user).exists());
    // A folder that does not exist cannot be written, not even by root.
    const TDataFilePlace gone = ChooseDataFilePlace(QStringLiteral("Cfg.ini"), tmp.filePath(QStringLiteral("gone")), user);
    EXPECT_EQ(gone.Path, user + QStringLiteral("/Cfg.ini"));
    EXPECT_TRUE(gone.Seed.isEmpty());
    EXPECT_TRUE(QDir(user).exists());
}

TEST(FilePlaces, installedProgramSeenByAUser)
{
    if (geteuid() != 0) {
        installedProgramScenario();
        return;
    }
    // Root writes anywhere, so the rule shows only for a user: this case runs again as nobody.
    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QStringLiteral("setpriv"),
                {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups"),
                 QStringLiteral("--"), QCoreApplication::applicationFilePath(),
                 QStringLiteral("--gtest_filter=FilePlaces.installedProgramSeenByAUser")});
    ASSERT_TRUE(child.waitForFinished(60000));
    const QString out = QString::fromLocal8Bit(child.readAll());
    EXPECT_EQ(child.exitCode(), 0) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("[  PASSED  ] 1 test."))) << out.toStdString();
}
