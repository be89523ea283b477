// The operation log and the data-stream pane: every line keeps its colour, Memo2 follows its end,
// Memo1 stays where the reader scrolled it.
#include "MainFixture.h"
#include "lang/LangList.h"
#include "netconfig/DeviceList.h"

#include <QScrollBar>

namespace {

struct LogPanes : ::testing::Test {
    TLogPanes panes;
    void SetUp() override
    {
        panes.resize(400, 200);
        panes.show();
    }
    QList<TShownLine> Log() { return ShownLines(&panes, panes.Memo1()); }
    QList<TShownLine> Hex() { return ShownLines(&panes, panes.Memo2()); }
};

TEST_F(LogPanes, everyLineKeepsTheColourItWasWrittenIn)
{
    // The old panes took the colour of the last write for all their text, so an error line turned
    // green as soon as the next line came.
    const std::pair<const char *, TLogColor> lines[] = {
        {"error", TLogColor::Red},   {"second error", TLogColor::Red}, {"fine", TLogColor::Green},
        {"", TLogColor::Green},      {"sent", TLogColor::Blue},        {"tab", TLogColor::Maroon},
        {"again", TLogColor::Red},
    };
    for (const auto &[text, color] : lines)
        panes.AddLog(QString::fromLatin1(text), color);
    EXPECT_EQ(panes.PendingLines(), 7) << "lines wait for the next turn of the event loop";
    QApplication::processEvents();
    EXPECT_EQ(panes.PendingLines(), 0);
    const QList<TShownLine> shown = Log();
    ASSERT_EQ(shown.size(), 7);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(shown[i].Text, QString::fromLatin1(lines[i].first)) << i;
        if (!shown[i].Text.isEmpty()) {
            EXPECT_EQ(shown[i].Color, Rgb(lines[i].second)) << i;
        }
    }
    EXPECT_EQ(shown[0].Color, QColor(255, 0, 0));
    EXPECT_EQ(shown[2].Color, QColor(0, 128, 0));
    EXPECT_EQ(shown[4].Color, QColor(0, 0, 255));
    EXPECT_EQ(shown[5].Color, QColor(128, 0, 0));
    // A later write in another colour changes no earlier line, also across flushes.
    panes.AddLog(QStringLiteral("late"), TLogColor::Green);
    EXPECT_EQ(Log()[0].Color, Rgb(TLogColor::Red));
}

TEST_F(LogPanes, datagramDumpsAndAnEmptyFirstLineAfterClear)
{
    InitLanguage(QString());
    LangList->IsChinese = false;
    panes.AddHex(QStringLiteral("stale"), TLogColor::Blue);
    panes.Clear();
    DumpRecvDatagram(panes, QByteArray(), QStringLiteral("192.168.0.7"), QStringLiteral("192.168.0.10"), 1500, 1500);
    DumpSentDatagram(panes, QByteArray::fromHex("FF0102"), QStringLiteral("255.255.255.255"),
                     QStringLiteral("192.168.0.10"), 1500, 50000);
    const QList<TShownLine> hex = Hex();
    ASSERT_EQ(hex.size(), 8);
    EXPECT_EQ(hex[0].Text, QString()) << "the blank separator is a line of its own";
    EXPECT_EQ(hex[1].Text, QStringLiteral("[ 192.168.0.10 : 1500 ] \u2190 [ 192.168.0.7 : 1500 ]"));
    EXPECT_EQ(hex[1].Color, Rgb(TLogColor::Green));
    EXPECT_EQ(hex[2].Text, QStringLiteral("[ Length : 0 ]"));
    EXPECT_EQ(hex[3].Text, QString());
    EXPECT_EQ(hex[5].Text, QStringLiteral("[ 192.168.0.10 : 50000 ] \u2192 [ 255.255.255.255 : 1500 ]"));
    EXPECT_EQ(hex[5].Color, Rgb(TLogColor::Blue));
    EXPECT_EQ(hex[6].Color, Rgb(TLogColor::Blue));
    EXPECT_EQ(hex[7].Text, QStringLiteral("FF 01 02 "));
    EXPECT_EQ(hex[7].Color, Rgb(TLogColor::Green));
    const QList<TShownLine> log = Log();
    ASSERT_EQ(log.size(), 1);
    EXPECT_EQ(log[0].Text, QStringLiteral(" Data has been sent"));
    FreeLanguage();
}

TEST_F(LogPanes, memo2FollowsItsEndMemo1KeepsTheReadersPlace)
{
    auto fill = [&](int n) {
        for (int i = 0; i < n; ++i) {
            panes.AddLog(QStringLiteral("log %1").arg(i), TLogColor::Green);
            panes.AddHex(QStringLiteral("hex %1").arg(i), TLogColor::Green);
        }
        panes.Flush();
    };
    QScrollBar *log = panes.Memo1()->verticalScrollBar();
    QScrollBar *hex = panes.Memo2()->verticalScrollBar();
    panes.setCurrentIndex(1);
    fill(200);
    ASSERT_GT(hex->maximum(), 0);
    EXPECT_EQ(hex->value(), hex->maximum());
    hex->setValue(0);
    fill(1);
    EXPECT_EQ(hex->value(), hex->maximum()) << "Memo2 goes back to its end after every write";

    panes.setCurrentIndex(0);
    QApplication::processEvents();
    // Memo1 read from the top stays at the top...
    log->setValue(0);
    fill(50);
    EXPECT_EQ(log->value(), 0);
    // ...and one scrolled to the middle stays there.
    log->setValue(log->maximum() / 2);
    const int middle = log->value();
    fill(50);
    EXPECT_EQ(log->value(), middle);
    // A reader at the end keeps seeing the newest line.
    log->setValue(log->maximum());
    fill(10);
    EXPECT_EQ(log->value(), log->maximum());
}

TEST_F(LogPanes, eachPaneKeepsItsLastLinesOnly)
{
    // Before, every line stayed: a flood of datagrams took the window to hundreds of MiB.
    const int n = TLogPanes::MaxPaneLines + 250;
    for (int i = 0; i < n; ++i)
        panes.AddHex(QStringLiteral("hex %1").arg(i), TLogColor::Green);
    EXPECT_EQ(panes.PendingLines(), TLogPanes::MaxPaneLines) << "lines beyond the pane's wait no longer";
    panes.Flush();
    for (int i = 0; i < 300; ++i) {
        panes.AddLog(QStringLiteral("log %1").arg(i), TLogColor::Red);
        if (i % 100 == 99)
            panes.Flush(); // over several turns of the event loop too
    }
    for (int i = 0; i < TLogPanes::MaxPaneLines; ++i)
        panes.AddLog(QStringLiteral("more %1").arg(i), TLogColor::Green);
    panes.Flush();
    for (QPlainTextEdit *memo : {panes.Memo1(), panes.Memo2()})
        EXPECT_EQ(memo->document()->blockCount(), TLogPanes::MaxPaneLines);
    const QList<TShownLine> hex = Hex();
    EXPECT_EQ(hex.first().Text, QStringLiteral("hex 250"));
    EXPECT_EQ(hex.last().Text, QStringLiteral("hex %1").arg(n - 1));
    const QList<TShownLine> log = Log();
    EXPECT_EQ(log.first().Text, QStringLiteral("more 0"));
    EXPECT_EQ(log.last().Text, QStringLiteral("more %1").arg(TLogPanes::MaxPaneLines - 1));
    EXPECT_EQ(log.last().Color, Rgb(TLogColor::Green));
}

TEST_F(LogPanes, controlCharactersOfALineAreShownNotActedOn)
{
    panes.AddLog(QStringLiteral("name A\\x1b[8m\\x07B\\rC"), TLogColor::Red);
    panes.AddLog(QStringLiteral("A\x1b[8m\x07" "B\rC") + QChar(0x2029) + QStringLiteral("D"), TLogColor::Red);
    const QList<TShownLine> log = Log();
    ASSERT_EQ(log.size(), 2) << "a paragraph separator made no line of its own";
    EXPECT_EQ(log[1].Text, QStringLiteral("A\\x1b[8m\\x07B\\rC\\u2029D"));
    EXPECT_EQ(log[0].Text, QStringLiteral("name A\\x1b[8m\\x07B\\rC")) << "backslashes of a text stay as they are";
}

TEST_F(LogPanes, memo2TakesTheFocusUnderTheMouse)
{
    panes.setCurrentIndex(1);
    QApplication::processEvents();
    panes.Memo1()->setFocus();
    ASSERT_NE(panes.focusWidget(), panes.Memo2());
    QTest::mouseMove(panes.Memo2()->viewport(), QPoint(20, 20));
    EXPECT_TRUE(QTest::qWaitFor([&] { return panes.focusWidget() == panes.Memo2(); }, 1000));
}

} // namespace
