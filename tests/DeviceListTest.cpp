#include "RecorderSink.h"
#include "TestUtil.h"
#include "core/Gbk.h"
#include "core/Public.h"
#include "lang/LangList.h"
#include "netconfig/DeviceList.h"
#include "netconfig/UdpSvr.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {
struct EnglishTable : ::testing::Test {
    void SetUp() override
    {
        QTemporaryDir dir;
        InitLanguage(QString()); // built-in table only
        LangList->IsChinese = false;
    }
    void TearDown() override { FreeLanguage(); }
};
} // namespace

TEST(DeviceList, oneRowPerMacAndEachRowKeepsItsReply)
{
    TDeviceList list;
    EXPECT_TRUE(list.AddReply("10.0.0.7", "A", "00 1A 2B 3C 4D 5E", "4017", ModelQ2, 0, "first"));
    EXPECT_FALSE(list.AddReply("10.0.1.7", "B", "00 1A 2B 3C 4D 5E", "4017", ModelQ2, 1, "dup"));
    EXPECT_TRUE(list.AddReply("10.0.0.8", "C", "00 1A 2B 3C 4D 5F", "4017", ModelQ3, 1, "second"));
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Rows[0].IP, QStringLiteral("10.0.0.7"));
    EXPECT_EQ(list.Rows[0].BindingIndex, 0);
    EXPECT_EQ(list.Rows[1].SearchReply, QByteArray("second")); // not the skipped duplicate's
    EXPECT_EQ(list.IndexOfMac(QStringLiteral("001a2b3c4d5f")), 1);
    EXPECT_EQ(AllMacsText(list), QStringLiteral("00 1A 2B 3C 4D 5E\r\n00 1A 2B 3C 4D 5F"));
}

TEST_F(EnglishTable, oneSearchListsAtMostMaxRowsAndWarnsOnceWhenMoreAnswer)
{
    const auto mac = [](int i) { return QStringLiteral("02 00 00 00 %1 %2").arg(i / 256, 2, 16, QLatin1Char('0')).arg(i % 256, 2, 16, QLatin1Char('0')).toUpper(); };
    TDeviceList list;
    TRecorderSink log;
    for (int i = 0; i < TDeviceList::MaxRows; ++i)
        ASSERT_TRUE(list.AddReply("10.0.0.66", "m", mac(i), "4017", ModelQ2, 0, {}, &log)) << i;
    EXPECT_TRUE(log.Lines.isEmpty());
    // A module already listed answering again is no module more.
    EXPECT_FALSE(list.AddReply("10.0.0.66", "m", mac(7), "4017", ModelQ2, 0, {}, &log));
    EXPECT_EQ(list.Dropped, 0);
    for (int i = TDeviceList::MaxRows; i < TDeviceList::MaxRows + 5; ++i)
        EXPECT_FALSE(list.AddReply("10.0.0.66", "m", mac(i), "4017", ModelQ2, 0, {}, &log)) << i;
    EXPECT_EQ(list.Count(), TDeviceList::MaxRows);
    EXPECT_EQ(list.Dropped, 5);
    ASSERT_EQ(log.Lines.size(), 1) << "one warning, however many more answer";
    EXPECT_EQ(log.Lines[0].Color, TLogColor::Red);
    EXPECT_EQ(log.Lines[0].Text, QStringLiteral("More modules answered than one search lists; the list keeps the first 4096."));
    EXPECT_EQ(list.Rows.last().Mac, mac(TDeviceList::MaxRows - 1)) << "the first replies stay";

    // A new search starts empty, and warns again.
    list.Clear();
    EXPECT_EQ(list.Dropped, 0);
    EXPECT_TRUE(list.AddReply("10.0.0.66", "m", mac(TDeviceList::MaxRows + 1), "4017", ModelQ2, 0, {}, &log));

    // Rows put in by hand are still found, so a MAC never gets two rows.
    list.Rows.append({"10.0.0.8", "x", mac(1), "4017", ModelQ2, 0, {}});
    EXPECT_FALSE(list.AddReply("10.0.0.8", "x", mac(1), "4017", ModelQ2, 0, {}, &log));
    EXPECT_EQ(list.Count(), 2);
}

TEST(DeviceList, csvFieldsAreQuotedOnlyWhenNeeded)
{
    struct Case { const char *in, *out; } cases[] = {
        {"Lab-1", "Lab-1"}, {"a,b", "\"a,b\""}, {"say \"hi\"", "\"say \"\"hi\"\"\""}, {"two\r\nlines", "\"two\r\nlines\""},
        {"=1+2", "'=1+2"}, {"+1", "'+1"}, {"-1", "'-1"}, {"@SUM(A1)", "'@SUM(A1)"}, {"=a,b", "\"'=a,b\""}, {"", ""},
        // A tab or CR in front hides a formula from the check above in some spreadsheets.
        {"\t=cmd", "'\t=cmd"}, {"\r=cmd", "\"'\r=cmd\""}, {"a\tb", "a\tb"}, {"\x1b[31mred", "\x1b[31mred"}};
    for (const auto &c : cases)
        EXPECT_EQ(CsvField(QString::fromUtf8(c.in)), QString::fromUtf8(c.out)) << c.in;
}

TEST_F(EnglishTable, exportFileNameAndText)
{
    TDeviceList list;
    list.AddReply("192.168.0.7", QString(QStringLiteral("Lab") + QChar(0) + QStringLiteral("junk")),
                  "00 1A 2B 3C 4D 5E", "4017", ModelQ2, 0, {});
    list.AddReply("192.168.0.8", QStringLiteral("车间,2"), "00 1A 2B 3C 4D 5F", "4017", ModelQ2, 0, {});
    const QDateTime when(QDate(2024, 3, 1), QTime(8, 5, 9));
    EXPECT_EQ(ExportFileName(QStringLiteral("/opt/bexo"), when, 2),
              QStringLiteral("/opt/bexo/Export Devices 20240301 080509 - (2).csv"));
    EXPECT_EQ(ExportText(list), QByteArray("IP,Name,MAC,Ver\r\n192.168.0.7,Lab,00 1A 2B 3C 4D 5E,4017\r\n192.168.0.8,\"") +
                                    ToGbk(QStringLiteral("车间")) + ",2\",00 1A 2B 3C 4D 5F,4017\r\n");

    QTemporaryDir dir;
    const QString path = ExportDevices(list, dir.path(), when);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), ExportText(list));
    EXPECT_TRUE(ExportDevices(TDeviceList(), dir.path(), when).isEmpty());
    EXPECT_THROW(ExportDevices(list, dir.filePath(QStringLiteral("no/such/dir")), when), EExportError);
}

TEST_F(EnglishTable, exportNameTakesFolderAndMenuTextAsTheyAre)
{
    // Placeholders in the folder or in a Lang.txt menu text are text, not places to fill.
    LangList->ReadLangImage("lang_Menu_ExpDev|x|Export %3 (%1)\r\n");
    const QDateTime when(QDate(2024, 3, 1), QTime(8, 5, 9));
    struct Case { const char *folder, *name; } cases[] = {
        {"/data/x%1y", "/data/x%1y/Export %3 (%1) 20240301 080509 - (2).csv"},
        {"/data/%2%4/", "/data/%2%4/Export %3 (%1) 20240301 080509 - (2).csv"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ExportFileName(QString::fromUtf8(c.folder), when, 2), QString::fromUtf8(c.name)) << c.folder;

    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("x%1y"));
    ASSERT_TRUE(QDir().mkpath(folder));
    TDeviceList list;
    list.AddReply("192.168.0.7", "Lab", "00 1A 2B 3C 4D 5E", "4017", ModelQ2, 0, {});
    const QString path = ExportDevices(list, folder, when);
    EXPECT_TRUE(QFile::exists(path)) << path.toStdString();
    EXPECT_TRUE(path.startsWith(folder + u'/'));
}

TEST_F(EnglishTable, statusReactions)
{
    struct Case { int code; const char *msg; const char *line; bool red, login, close; } cases[] = {
        {StsSearchSent, "", "Click device can read the parameters, right-click Device list show more", false, false, false},
        {StsCheckErr, "3F", " Check Error: it should be: 3F", true, false, false},
        {StsAck, "ACK", " ACK.", false, false, false},
        {StsOtherErr, "Other Error", " Other Error.", true, false, false},
        {StsPswdErr, "x", " UsrName or Password Error!", true, true, false},
        {StsPortInUse, "port is used", "1500 Port In Use!", true, false, false},
        {StsIncompatible, "Read Z4/Y45", "This program is only used for Z0 Series", true, false, true},
        {StsUnknownLen, "77", " Receive unknown,length is: 77", true, false, false},
        {StsUnknownLenMore, "1234", " Receive unknown: 1234 more datagrams of unknown length in the last second", true,
         false, false},
    };
    for (const auto &c : cases) {
        TRecorderSink log;
        const TStatusReaction r = ReactToStatus(c.code, QString::fromLatin1(c.msg), log);
        ASSERT_EQ(log.Lines.size(), 1) << c.code;
        EXPECT_EQ(log.Lines[0].Text, QString::fromLatin1(c.line));
        EXPECT_EQ(log.Lines[0].Color, c.red ? TLogColor::Red : TLogColor::Green) << c.code;
        EXPECT_EQ(r.OpenLogin, c.login);
        EXPECT_EQ(r.ClosePage, c.close);
        EXPECT_EQ(!r.MessageBox.isEmpty(), c.code == StsPortInUse);
    }
    TRecorderSink log;
    EXPECT_FALSE(ReactToStatus(12345, QString(), log).Known);
    EXPECT_TRUE(log.Lines.isEmpty());
}

TEST_F(EnglishTable, trafficDumpsPutTheLocalSideLeft)
{
    TRecorderSink log;
    DumpRecvDatagram(log, QByteArray(), "192.168.0.7", "192.168.0.10", 1500, 1500);
    EXPECT_EQ(log.HexTexts(), (QStringList{"", "[ 192.168.0.10 : 1500 ] \u2190 [ 192.168.0.7 : 1500 ]", "[ Length : 0 ]", ""}));
    EXPECT_TRUE(log.LogTexts().isEmpty());
    log.Lines.clear();
    DumpSentDatagram(log, Hex("FF 01 01 02"), "255.255.255.255", "10.0.0.2", 1500, 40001);
    EXPECT_EQ(log.HexTexts(),
              (QStringList{"", "[ 10.0.0.2 : 40001 ] \u2192 [ 255.255.255.255 : 1500 ]", "[ Length : 4 ]", "FF 01 01 02 "}));
    EXPECT_EQ(log.Lines[1].Color, TLogColor::Blue);
    EXPECT_EQ(log.LogTexts(), QStringList{" Data has been sent"});
}

TEST_F(EnglishTable, readingARowOfAnUnknownModelSendsNothing)
{
    TUdpSvr svr;
    TRecorderSink log;
    TDeviceRow row{"10.0.0.9", "Old", "00 1A 2B 3C 4D 60", "2001", ModelNone, 0, {}};
    EXPECT_EQ(ReadDevice(svr, row, log), TReadOutcome::Incompatible);
    EXPECT_EQ(CurMac, QStringLiteral("001A2B3C4D60"));
    ASSERT_EQ(log.Lines.size(), 2);
    EXPECT_EQ(log.Lines[0].Text, QStringLiteral("Read [ Mac : 00 1A 2B 3C 4D 60 ]"));
    EXPECT_EQ(log.Lines[0].Color, TLogColor::Green);
    EXPECT_EQ(log.Lines[1].Color, TLogColor::Red);
    EXPECT_FALSE(ResetDevice(svr, row));
    EXPECT_EQ(WebAddress(row, QString()), QStringLiteral("http://10.0.0.9:80"));
    EXPECT_EQ(WebAddress(row, QStringLiteral("8080")), QStringLiteral("http://10.0.0.9:8080"));
}
