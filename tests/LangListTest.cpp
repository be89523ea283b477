#include "TestUtil.h"
#include "core/Gbk.h"
#include "lang/DefaultLang.h"
#include "lang/LangList.h"

#include <QFile>
#include <QTemporaryDir>

namespace {

struct LangFixture : ::testing::Test {
    QTemporaryDir dir;
    TLangList list;
    QString path() const { return dir.filePath(QStringLiteral("Lang.txt")); }
    void put(const QByteArray &image)
    {
        QFile f(path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(image);
    }
    void fillBuiltin()
    {
        for (int i = 0; i < DefaultLangCount; ++i)
            list.Add(QString::fromUtf8(DefaultLangEntries[i].Name), QString::fromUtf8(DefaultLangEntries[i].Chinese),
                     QString::fromUtf8(DefaultLangEntries[i].English));
    }
};

} // namespace

// The 279 keys of the original table come first, in their order; the texts of later features follow.
TEST(DefaultLang, tableStartsWithThe279KeysInOrderAndHoldsNoKeyTwice)
{
    ASSERT_GE(DefaultLangCount, 279);
    EXPECT_STREQ(DefaultLangEntries[0].Name, "lang_Main_Title");
    EXPECT_STREQ(DefaultLangEntries[209].Name, "lang_Hint_ACK");
    EXPECT_STREQ(DefaultLangEntries[278].Name, "lang_CommCode");
    QSet<QString> keys;
    for (int i = 0; i < DefaultLangCount; ++i) {
        EXPECT_TRUE(QString::fromUtf8(DefaultLangEntries[i].Chinese).size() > 0) << DefaultLangEntries[i].Name;
        EXPECT_TRUE(QString::fromUtf8(DefaultLangEntries[i].English).size() > 0) << DefaultLangEntries[i].Name;
        keys.insert(QString::fromLatin1(DefaultLangEntries[i].Name).toLower());
    }
    EXPECT_EQ(keys.size(), DefaultLangCount);
}

TEST_F(LangFixture, lookupByKeyIgnoresAsciiCaseAndByTextCrossesLanguages)
{
    fillBuiltin();
    list.IsChinese = false;
    EXPECT_EQ(list.GetText(QStringLiteral("LANG_HINT_NOTARGET")),
              QStringLiteral(" Please select the module in the search list."));
    EXPECT_EQ(list.GetText(QStringLiteral("lang_lbl_BaudRate")), list.GetText(QStringLiteral("lang_Lbl_Baudrate")));
    EXPECT_EQ(list.GetText(QStringLiteral(" 请在搜索列表中选择模块。")),
              QStringLiteral(" Please select the module in the search list."));
    list.IsChinese = true;
    EXPECT_EQ(list.GetText(QStringLiteral(" Please select the module in the search list.")),
              QStringLiteral(" 请在搜索列表中选择模块。"));
    EXPECT_EQ(list.GetText(QStringLiteral("lang_No_Such_Key")), QStringLiteral("lang_No_Such_Key"));
    // Built-in texts come back as stored: CR LF stays, "///" stays.
    EXPECT_TRUE(list.GetText(QStringLiteral("lang_lbl_H_GatewayIP")).contains(QStringLiteral("\r\n")));
    EXPECT_TRUE(list.GetText(QStringLiteral("lang_Hint_ModuleWork")).contains(QStringLiteral("///")));
}

// Three header lines, then one line per built-in text.
TEST_F(LangFixture, writtenFileHasAGbkCrLfLinePerTextAfterTheHeaderAndReadsBack)
{
    fillBuiltin();
    list.LoadFromFile(path());
    QFile f(path());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray image = f.readAll();
    EXPECT_EQ(image.count("\r\n"), 3 + DefaultLangCount);
    EXPECT_EQ(image.count('\n'), 3 + DefaultLangCount);
    const QList<QByteArray> lines = image.split('\n');
    EXPECT_TRUE(lines[0].startsWith(';'));
    EXPECT_TRUE(lines[1].contains("\xA3\xAC")); // full-width comma in the English header too
    EXPECT_EQ(lines[2], QByteArray(" \r"));
    EXPECT_TRUE(lines[3].startsWith("lang_Main_Title|"));
    EXPECT_FALSE(IsValidUtf8(image));

    // Every line read: the two comments are skipped, the space line is an empty entry.
    EXPECT_EQ(list.FileNames.size(), 1 + DefaultLangCount);
    EXPECT_TRUE(image.contains("\r\nlang_Hint_SaveNotRead|"));
    EXPECT_TRUE(image.contains("\r\nlang_IsOutOfRange|"));
    EXPECT_EQ(list.GetText(QString()), QString());
    list.IsChinese = false;
    // CR LF went out as "///" and comes back as a lone LF; "///" in a built-in text too.
    const QString gw = list.GetText(QStringLiteral("lang_lbl_H_GatewayIP"));
    EXPECT_TRUE(gw.contains(u'\n'));
    EXPECT_FALSE(gw.contains(u'\r'));
    EXPECT_FALSE(list.GetText(QStringLiteral("lang_Hint_ModuleWork")).contains(QStringLiteral("///")));
    list.IsChinese = true;
    EXPECT_EQ(list.GetText(QStringLiteral("lang_Hint_ACK")), QStringLiteral(" 正确执行。"));
}

TEST_F(LangFixture, existingFileIsNeverRewritten)
{
    put("lang_Hint_ACK|好|Fine\r\n");
    fillBuiltin();
    list.LoadFromFile(path());
    QFile f(path());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("lang_Hint_ACK|好|Fine\r\n"));
    EXPECT_EQ(list.GetText(QStringLiteral("lang_hint_ack")), QStringLiteral("Fine")); // file beats built-in
    EXPECT_EQ(list.GetText(QStringLiteral("lang_Hint_PswdErr")), QStringLiteral(" UsrName or Password Error!"));
}

TEST_F(LangFixture, splittingRules)
{
    struct Case { const char *line; const char *name, *chinese, *english; } cases[] = {
        {"k1|only", "k1", "", "only"},
        {"k2|zh|", "k2", "zh", ""},
        {"k3||en", "k3", "", "en"},
        {"k4|a|b|c|d", "k4", "a", "d"},
        {"noseparator", "", "", ""},
        {",k5|x|y", ",k5", "x", "y"},
        {"k6|line1///line2|a///b\rjunk", "k6", "line1\nline2", "a\nb"},
        {" k7 | z | e ", " k7 ", " z ", " e "},
    };
    QByteArray image = ";comment|x|y\r\n\r\n";
    for (const auto &c : cases)
        image += QByteArray(c.line) + "\r\n";
    list.ReadLangImage(image);
    ASSERT_EQ(list.FileNames.size(), int(std::size(cases)));
    for (int i = 0; i < int(std::size(cases)); ++i) {
        EXPECT_EQ(list.FileNames[i], QString::fromUtf8(cases[i].name)) << cases[i].line;
        EXPECT_EQ(list.FileChinese[i], QString::fromUtf8(cases[i].chinese)) << cases[i].line;
        EXPECT_EQ(list.FileEnglish[i], QString::fromUtf8(cases[i].english)) << cases[i].line;
    }
}

TEST_F(LangFixture, firstFileLineWinsAndUtf8FilesAreReadAsUtf8)
{
    put(QStringLiteral("k|第一|first\nk|第二|second\n").toUtf8());
    list.ReadLangFile(path());
    list.IsChinese = true;
    EXPECT_EQ(list.GetText(QStringLiteral("K")), QStringLiteral("第一"));

    TLangList gbk;
    gbk.ReadLangImage(ToGbk(QStringLiteral("k|第一|first\n")));
    gbk.IsChinese = true;
    EXPECT_EQ(gbk.GetText(QStringLiteral("k")), QStringLiteral("第一"));
}

TEST_F(LangFixture, unreadableFileIsIgnoredSilently)
{
    fillBuiltin();
    list.ReadLangFile(dir.path()); // a folder, not a file
    list.ReadLangFile(QString());
    EXPECT_TRUE(list.FileNames.isEmpty());
    EXPECT_EQ(list.GetText(QStringLiteral("lang_Hint_ACK")), QStringLiteral(" ACK."));
}

TEST(LangGlobal, getLangTextReturnsTheKeyWithoutATable)
{
    FreeLanguage();
    EXPECT_EQ(GetLangText(QStringLiteral("lang_Hint_NoTarget")), QStringLiteral("lang_Hint_NoTarget"));
}

TEST(LangGlobal, chineseSystemIsDecidedByTheLanguageName)
{
    struct Case { const char *name; bool chinese; } cases[] = {
        {"中文", true}, {"简体中文", true}, {"English", false}, {"Chinese", false}};
    for (const auto &c : cases) {
        TLangList::SetSystemLanguageNameHook([&] { return QString::fromUtf8(c.name); });
        EXPECT_EQ(TLangList::IsChineseSystem(), c.chinese) << c.name;
    }
    TLangList::SetSystemLanguageNameHook({});
}
