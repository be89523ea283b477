#include "TestUtil.h"
#include "core/Gbk.h"
#include "core/IniFile.h"
#include "core/Public.h"
#include "core/Settings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <sys/stat.h>

namespace {

struct IniFixture : ::testing::Test {
    QTemporaryDir dir;
    QString path() const { return dir.filePath(QStringLiteral("Cfg.ini")); }
    void put(const QByteArray &image)
    {
        QFile f(path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(image);
    }
    QByteArray image() const
    {
        QFile f(path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

} // namespace

TEST_F(IniFixture, integerValueRules)
{
    put("[System]\r\nA=12\r\nB=0x1F\r\nC=0X10\r\nD=0x\r\nE=abc\r\nF=-3\r\nG=\r\nH= 7 \r\n");
    TIniFile ini(path());
    struct Case { const char *key; int expected; } cases[] = {
        {"A", 12}, {"B", 31}, {"C", 16}, {"D", 99}, {"E", 99}, {"F", -3}, {"G", 99}, {"H", 7}, {"Missing", 99}};
    for (const auto &c : cases)
        EXPECT_EQ(ini.ReadInteger(IniSection, QString::fromLatin1(c.key), 99), c.expected) << c.key;
}

TEST_F(IniFixture, booleansAndStrings)
{
    put("[Other]\r\nLocalCom=COM9\r\n[system]\r\nlanguage=2\r\nRealTimeHelp=0\r\nLocalCom=\r\nName=" +
        ToGbk(QStringLiteral("中文")) + "\r\n");
    TIniFile ini(path());
    EXPECT_TRUE(ini.ReadBool(IniSection, QStringLiteral("Language"), false)); // any non-zero integer
    EXPECT_FALSE(ini.ReadBool(IniSection, QStringLiteral("RealTimeHelp"), true));
    // Present but empty is the empty string, not the default; sections and keys ignore case.
    EXPECT_EQ(ini.ReadString(IniSection, QStringLiteral("LocalCom"), QStringLiteral("COM1")), QString());
    EXPECT_EQ(ini.ReadString(IniSection, QStringLiteral("Name"), QString()), QStringLiteral("中文"));
    EXPECT_EQ(ini.ReadString(IniSection, QStringLiteral("Nope"), QStringLiteral("d")), QStringLiteral("d"));
}

TEST_F(IniFixture, longStringsAreCutAt2047Bytes)
{
    put("[System]\r\nS=" + QByteArray(3000, 'x') + "\r\n");
    TIniFile ini(path());
    EXPECT_EQ(ini.ReadString(IniSection, QStringLiteral("S"), QString()).size(), 2047);
}

TEST_F(IniFixture, writesKeepOtherLinesAndUseCrLfAndGbk)
{
    put("; note\n[Other]\nX=1\n[System]\nLocalCom=COM1\n");
    TIniFile ini(path());
    ini.WriteString(IniSection, QStringLiteral("LocalCom"), QStringLiteral("/dev/ttyUSB0"));
    ini.WriteString(IniSection, QStringLiteral("UserName"), QStringLiteral("用户"));
    EXPECT_EQ(image(), QByteArray("; note\r\n[Other]\r\nX=1\r\n[System]\r\nLocalCom=/dev/ttyUSB0\r\nUserName=") +
                           ToGbk(QStringLiteral("用户")) + "\r\n");
    EXPECT_EQ(ini.ReadString(IniSection, QStringLiteral("UserName"), QString()), QStringLiteral("用户"));
}

TEST_F(IniFixture, newFileIsCreatedByTheFirstWriteAndReadableByItsOwnerOnly)
{
    TIniFile ini(path());
    EXPECT_EQ(ini.ReadInteger(IniSection, QStringLiteral("QNum"), 1), 1);
    EXPECT_FALSE(QFile::exists(path()));
    ini.WriteBool(IniSection, QStringLiteral("Language"), true);
    EXPECT_EQ(image(), QByteArray("[System]\r\nLanguage=1\r\n"));
    struct stat st {};
    ASSERT_EQ(stat(QFile::encodeName(path()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(IniFixture, refusedWriteRaisesWithTheFullPath)
{
    // A folder in place of the file cannot be written, not even by root.
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("Cfg.ini")));
    TIniFile ini(path());
    try {
        ini.WriteString(IniSection, QStringLiteral("LocalCom"), QStringLiteral("COM2"));
        FAIL() << "write did not raise";
    } catch (const EIniFileError &e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Unable to write to ") + QDir(dir.path()).absoluteFilePath("Cfg.ini"));
    }
}

TEST_F(IniFixture, aFileThatCannotBeReadIsNeitherWaitedOnNorWrittenOver)
{
    // A pipe: opening it for reading used to wait for a writer, at every start.
    ASSERT_EQ(mkfifo(QFile::encodeName(path()).constData(), 0600), 0);
    TIniFile ini(path());
    EXPECT_EQ(ini.ReadString(IniSection, QStringLiteral("LocalCom"), QStringLiteral("COM1")), QStringLiteral("COM1"));
    EXPECT_THROW(ini.WriteString(IniSection, QStringLiteral("LocalCom"), QStringLiteral("COM2")), EIniFileError);
    struct stat st {};
    ASSERT_EQ(lstat(QFile::encodeName(path()).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    ASSERT_TRUE(QFile::remove(path()));

    // A file beyond any settings file's size is not read, and a write does not replace it with
    // just the one key.
    put("[System]\r\nLocalCom=COM7\r\n" + QByteArray(TIniFile::MaxFileBytes, ';'));
    EXPECT_EQ(ini.ReadString(IniSection, QStringLiteral("LocalCom"), QStringLiteral("COM1")), QStringLiteral("COM1"));
    try {
        ini.WriteString(IniSection, QStringLiteral("QNum"), QStringLiteral("2"));
        ADD_FAILURE() << "the write went ahead";
    } catch (const EIniFileError &e) {
        EXPECT_TRUE(e.Reason().contains(QLatin1String("more than the"))) << e.Reason().toStdString();
    }
    EXPECT_EQ(image().size(), 25 + TIniFile::MaxFileBytes);
}

TEST_F(IniFixture, readSettingsDefaultsWithoutAFile)
{
    CmdFilePath.clear();
    const TAppSettings s = ReadSettings(path(), true);
    EXPECT_FALSE(s.CustomBuild);
    EXPECT_TRUE(s.IsChinese); // follows the system language
    EXPECT_TRUE(s.RealTimeHelp);
    EXPECT_EQ(s.LocalCom, QStringLiteral("COM1"));
    EXPECT_EQ(s.QNum, 1);
    EXPECT_TRUE(s.UpgradeIP.isEmpty() && s.UpgradeMAC.isEmpty() && s.UpgradeFileName.isEmpty());
    EXPECT_TRUE(s.FilePath.isEmpty());
    FreeSettings();
}

TEST_F(IniFixture, readSettingsModelNumberRules)
{
    struct Case { const char *value; int qnum; } cases[] = {{"7", 1}, {"abc", 1}, {"0x2", 2}, {"3", 3}, {"0", 1}};
    for (const auto &c : cases) {
        put(QByteArray("[System]\r\nQNum=") + c.value + "\r\nLanguage=0\r\nCustom=1\r\n");
        const TAppSettings s = ReadSettings(path(), true);
        EXPECT_EQ(s.QNum, c.qnum) << c.value;
        EXPECT_FALSE(s.IsChinese) << "Language=0 wins over a Chinese system";
        EXPECT_TRUE(s.CustomBuild);
    }
    FreeSettings();
}

TEST_F(IniFixture, writeSettingsOrderAndCredentialsNotReadBack)
{
    TIniFile ini(path());
    TAppSettings s;
    s.IsChinese = true;
    s.LocalCom = QStringLiteral("/dev/ttyS1");
    s.QNum = 2;
    s.UserName = QStringLiteral("admin");
    s.Password = QStringLiteral("secret");
    s.UpgradeIP = QStringLiteral("192.168.0.7");
    WriteSettings(ini, s);
    EXPECT_EQ(image(), QByteArray("[System]\r\nLanguage=1\r\nRealTimeHelp=1\r\nLocalCom=/dev/ttyS1\r\nQNum=2\r\n"
                                  "UserName=admin\r\nPassword=secret\r\nUpgradeIP=192.168.0.7\r\nUpgradeMAC=\r\n"
                                  "UpgradeFileName=\r\nFilePath=\r\n"));
    const TAppSettings back = ReadSettingsFrom(ini, false);
    EXPECT_TRUE(back.UserName.isEmpty());
    EXPECT_EQ(back.UpgradeIP, QStringLiteral("192.168.0.7"));
    EXPECT_EQ(back.LocalCom, QStringLiteral("/dev/ttyS1"));
}

TEST_F(IniFixture, valuesOutsideGbkTurnTheFileIntoUtf8AndBack)
{
    put("[System]\r\nUserName=" + ToGbk(QStringLiteral("用户")) + "\r\n");
    TIniFile ini(path());
    const QString jorg = QStringLiteral("/home/jörg/fw.bin");
    ini.WriteString(IniSection, QStringLiteral("UpgradeFileName"), jorg);
    EXPECT_EQ(image(), QStringLiteral("[System]\r\nUserName=用户\r\nUpgradeFileName=/home/jörg/fw.bin\r\n").toUtf8());
    EXPECT_EQ(TIniFile(path()).ReadString(IniSection, QStringLiteral("UpgradeFileName"), QString()), jorg);
    EXPECT_EQ(ini.ReadString(IniSection, QStringLiteral("UserName"), QString()), QStringLiteral("用户"));
    // Once every value fits again, the file is GBK again.
    ini.WriteString(IniSection, QStringLiteral("UpgradeFileName"), QStringLiteral("/home/j/fw.bin"));
    EXPECT_EQ(image(), "[System]\r\nUserName=" + ToGbk(QStringLiteral("用户")) + "\r\nUpgradeFileName=/home/j/fw.bin\r\n");
}

TEST_F(IniFixture, gbkThatWouldReadAsUtf8IsWrittenAsUtf8)
{
    // 小 is D0 A1 in GBK, which is also the UTF-8 form of a Cyrillic letter.
    const QString path_ = QStringLiteral("/home/小/fw.bin");
    TIniFile ini(path());
    ini.WriteString(IniSection, QStringLiteral("UpgradeFileName"), path_);
    EXPECT_EQ(ini.ReadString(IniSection, QStringLiteral("UpgradeFileName"), QString()), path_);
    EXPECT_TRUE(image().contains(path_.toUtf8()));
}

TEST_F(IniFixture, aByteOrderMarkIsSkippedAndStrayGbkBytesStay)
{
    put("\xEF\xBB\xBF[System]\r\nLocalCom=/dev/ttyS\xC3\xB6\r\n");
    EXPECT_EQ(TIniFile(path()).ReadString(IniSection, QStringLiteral("LocalCom"), QString()),
              QStringLiteral("/dev/ttyS\u00F6"));
    put("[System]\r\nX=ab\x81\r\nLocalCom=COM1\r\n");
    TIniFile ini(path());
    ini.WriteString(IniSection, QStringLiteral("LocalCom"), QStringLiteral("COM2"));
    EXPECT_EQ(image(), QByteArray("[System]\r\nX=ab\x81\r\nLocalCom=COM2\r\n"));
}

TEST_F(IniFixture, longUtf8ValuesAreCutAtACharacter)
{
    put("[System]\r\nS=" + QString(1500, QChar(0x00F6)).toUtf8() + "\r\n");
    EXPECT_EQ(TIniFile(path()).ReadString(IniSection, QStringLiteral("S"), QString()), QString(1023, QChar(0x00F6)));
    // GBK: 2047 bytes of two-byte characters keep 1023 of them.
    put("[System]\r\nS=" + ToGbk(QString(1500, QChar(0x4E2D))) + "\r\n");
    EXPECT_EQ(TIniFile(path()).ReadString(IniSection, QStringLiteral("S"), QString()), QString(1023, QChar(0x4E2D)));
}

TEST_F(IniFixture, aSeedIsReadUntilTheFileExistsAndStartsItsFirstWrite)
{
    const QString seed = dir.filePath(QStringLiteral("shipped.ini"));
    QFile f(seed);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[System]\r\nCustom=1\r\nQNum=3\r\n");
    f.close();
    TIniFile ini(path(), seed);
    EXPECT_EQ(ini.ReadInteger(IniSection, QStringLiteral("QNum"), 1), 3);
    ini.WriteInteger(IniSection, QStringLiteral("QNum"), 2);
    EXPECT_EQ(image(), QByteArray("[System]\r\nCustom=1\r\nQNum=2\r\n"));
    EXPECT_EQ(ini.ReadInteger(IniSection, QStringLiteral("QNum"), 1), 2);
    QFile s(seed);
    ASSERT_TRUE(s.open(QIODevice::ReadOnly));
    EXPECT_EQ(s.readAll(), QByteArray("[System]\r\nCustom=1\r\nQNum=3\r\n"));
}

// The fleet writes' read-back option: off unless the file says so, kept when it changes (by the
// write of the changes and by the whole write at close), never added to a file that lacks it
// while it is off.
TEST_F(IniFixture, verifyWritesKeptWhenChangedOnly)
{
    put("[System]\r\nLanguage=0\r\n");
    TIniFile ini(path());
    TAppSettings s = ReadSettingsFrom(ini, false);
    EXPECT_FALSE(s.VerifyWrites);
    WriteSettings(ini, s);
    EXPECT_FALSE(image().contains("VerifyWrites"));
    TAppSettings written = s;
    s.VerifyWrites = true;
    WriteChangedSettings(ini, s, written);
    EXPECT_TRUE(image().contains("VerifyWrites=1\r\n")) << image().constData();
    EXPECT_TRUE(ReadSettingsFrom(ini, false).VerifyWrites);
    s.VerifyWrites = false;
    WriteChangedSettings(ini, s, written);
    EXPECT_TRUE(image().contains("VerifyWrites=0\r\n"));
    EXPECT_FALSE(ReadSettingsFrom(ini, false).VerifyWrites);
    // The whole write: on, then off again, both kept.
    s.VerifyWrites = true;
    WriteSettings(ini, s);
    EXPECT_TRUE(ReadSettingsFrom(ini, false).VerifyWrites);
    s.VerifyWrites = false;
    WriteSettings(ini, s);
    EXPECT_FALSE(ReadSettingsFrom(ini, false).VerifyWrites);
}
