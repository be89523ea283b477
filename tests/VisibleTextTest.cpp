// Module texts shown, not executed: every control character visible, nothing else changed.
#include "TestUtil.h"
#include "core/Gbk.h"
#include "core/VisibleText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

TEST(VisibleText, controlsShowAsEscapesAndEverythingElseStays)
{
    struct Case {
        QString in;
        const char *out; // UTF-8
    } cases[] = {
        {QStringLiteral("Lab-Q2 车间 \\ é"), "Lab-Q2 车间 \\ é"},
        // A terminal title change, and colours that would hide the rest of the line.
        {QStringLiteral("A\x1b]0;pwned\x07" "B"), "A\\x1b]0;pwned\\x07B"},
        {QStringLiteral("\x1b[8mhidden\x1b[0m"), "\\x1b[8mhidden\\x1b[0m"},
        // A line break would forge another row.
        {QStringLiteral("row\n10.0.0.9  fake"), "row\\n10.0.0.9  fake"},
        {QStringLiteral("a\tb\rc"), "a\\tb\\rc"},
        {QString(QChar(0)) + QStringLiteral("z"), "\\x00z"},
        {QStringLiteral("del\x7f"), "del\\x7f"},
        {QString(QChar(0x9B)) + QStringLiteral("31m"), "\\u009b31m"}, // CSI as one C1 character
        {QString(QChar(0x85)), "\\u0085"},
        {QString(QChar(0x2028)) + QChar(0x2029), "\\u2028\\u2029"},
        {QStringLiteral("abc") + QChar(0x202E) + QStringLiteral("fed"), "abc\\u202efed"},
        // Bytes no GBK character holds, as the decoder keeps them.
        {FromGbk(QByteArray("cut\xB3", 4)), "cut\\xb3"},
        {QString(QChar(0xD800)), "\\ud800"},
        {QString::fromUtf8("\xF0\x9F\x98\x80"), "\xF0\x9F\x98\x80"}, // a pair is a character
        {QString(), ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(VisibleText(c.in), QString::fromUtf8(c.out)) << c.out;
    EXPECT_EQ(VisibleLines(QStringLiteral("one\ntwo\x1b")), QStringLiteral("one\ntwo\\x1b"));
}

TEST(VisibleText, jsonHasOneEscapeForBytesThatAreNoGbkCharacter)
{
    // A name cut inside a double-byte character, and one with control characters.
    const QString cut = FromGbk(QByteArray("Pump\xB3", 5));
    const QJsonObject o{{QStringLiteral("name"), cut},
                        {QStringLiteral("ctl"), QStringLiteral("a\x1b\n\x7f") + QChar(0x9B)},
                        {QStringLiteral("list"), QJsonArray{cut}}};
    const QString text = JsonText(o);
    EXPECT_TRUE(text.contains(QStringLiteral("\"Pump\\\\xb3\""))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("\"a\\u001b\\n\\u007f\\u009b\""))) << text.toStdString();
    for (QChar c : text)
        EXPECT_TRUE(c == u'\n' || (c.unicode() >= 0x20 && c.unicode() < 0x7F)) << int(c.unicode());
    // Valid JSON that gives the escape back as text and the controls as themselves.
    QJsonParseError error{};
    const QJsonObject back = QJsonDocument::fromJson(text.toUtf8(), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError);
    EXPECT_EQ(back.value(QStringLiteral("name")).toString(), QStringLiteral("Pump\\xb3"));
    EXPECT_EQ(back.value(QStringLiteral("list")).toArray().first().toString(), QStringLiteral("Pump\\xb3"));
    EXPECT_EQ(back.value(QStringLiteral("ctl")).toString(), QStringLiteral("a\x1b\n\x7f") + QChar(0x9B));
    EXPECT_EQ(JsonSafeText(QStringLiteral("车间")), QStringLiteral("车间"));
    EXPECT_EQ(JsonText(QJsonArray{}), QStringLiteral("[\n]"));
}
