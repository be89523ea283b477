// The operation log and the data-stream pane: every line keeps its colour, Memo2 follows its end,
// Memo1 stays where the reader scrolled it.
#include "MainFixture.h"
#include "lang/LangList.h"
#include "netconfig/DeviceList.h"

#include <QScrollBar>
#include <QStyle>

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

// Whether the pane shows its last line: its bottom inside the viewport.
bool ShowsLastLine(QPlainTextEdit *memo)
{
    QTextCursor end(memo->document());
    end.movePosition(QTextCursor::End);
    const QRect last = memo->cursorRect(end);
    return last.top() >= 0 && last.bottom() <= memo->viewport()->height();
}

// English words up to a width in pixels of the pane's font.
QString LineOfWidth(QPlainTextEdit *memo, int pixels)
{
    const QFontMetrics fm(memo->font());
    QString line = QStringLiteral(" Check Error:");
    for (int i = 0; fm.horizontalAdvance(line + QStringLiteral(" it")) < pixels; ++i)
        line += i % 2 ? QStringLiteral(" it") : QStringLiteral(" is");
    return line;
}

// Lines as the window writes them, a few per event-loop turn. English lines are long: some fill the
// pane's width until its scroll bar appears and then wrap, some wrap over several screen lines.
// A reader at the end sees every new line; one who scrolled up keeps the place.
TEST_F(LogPanes, memo1FollowsWrappedLinesWhileTheReaderIsAtTheEnd)
{
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panes));
    QPlainTextEdit *memo = panes.Memo1();
    QScrollBar *bar = memo->verticalScrollBar();
    // The room for text without and with the scroll bar.
    const int room = memo->viewport()->width() - 2 * int(memo->document()->documentMargin());
    const int barWidth = memo->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, bar);
    const QString edge = LineOfWidth(memo, room - barWidth / 2); // wraps only beside the bar
    const QString shortLine = QStringLiteral("Read [ Mac : 00 1A 2B 3C 4D 5E ]");
    const QString longLine = LineOfWidth(memo, 4 * room);
    struct Case {
        const char *what;
        QList<QString> pattern; // written over and over
    } cases[] = {
        {"lines that wrap once the scroll bar shows", {edge}},
        {"short lines and lines at the edge", {shortLine, edge, shortLine}},
        {"lines over several screen lines", {shortLine, longLine}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        panes.Clear();
        QTest::qWait(5);
        ASSERT_EQ(bar->maximum(), 0);
        for (int i = 0; i < 40; ++i) {
            // A click logs its read line, the sent datagram's line and the module's answer together.
            for (int k = 0; k <= i % 3; ++k)
                panes.AddLog(c.pattern[(i + k) % c.pattern.size()], k % 2 ? TLogColor::Red : TLogColor::Green);
            QTest::qWait(5); // written, laid out and painted
            ASSERT_TRUE(ShowsLastLine(memo)) << "turn " << i << " written out of sight";
        }
        ASSERT_GT(bar->maximum(), 0) << "the lines must fill more than the pane";

        // Scrolled up by the reader: the place stays, whatever comes.
        bar->triggerAction(QAbstractSlider::SliderToMinimum);
        const auto topBlock = [memo] { return memo->cursorForPosition(QPoint(1, 1)).block(); };
        const QString top = topBlock().text();
        const int topNumber = topBlock().blockNumber();
        for (int i = 0; i < 20; ++i) {
            panes.AddLog(c.pattern[i % c.pattern.size()], TLogColor::Green);
            QTest::qWait(5);
        }
        EXPECT_EQ(topBlock().blockNumber(), topNumber);
        EXPECT_EQ(topBlock().text(), top);
        EXPECT_FALSE(ShowsLastLine(memo));

        // Back at the end, it follows again.
        bar->triggerAction(QAbstractSlider::SliderToMaximum);
        for (int i = 0; i < 10; ++i) {
            panes.AddLog(c.pattern[i % c.pattern.size()], TLogColor::Red);
            QTest::qWait(5);
            ASSERT_TRUE(ShowsLastLine(memo)) << "turn " << i << " after the reader came back";
        }
    }
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
