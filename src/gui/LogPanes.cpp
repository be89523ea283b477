#include "gui/LogPanes.h"

#include "core/VisibleText.h"
#include "gui/GuiUtil.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>

QColor TLogPanes::PaneColor(TLogColor color) { return QColor::fromRgb(QRgb(LogColorRgb(color))); }

TLogPanes::TLogPanes(QWidget *parent) : QTabWidget(parent), FTabs(new TFixedTabBar(this))
{
    setObjectName(QStringLiteral("rzpgcntrl_Logs"));
    setTabBar(FTabs);
    setTabPosition(QTabWidget::South);
    FLog.Edit = makePane("rztbsht_Log", "Memo1");
    FHex.Edit = makePane("rztbsht_Hex", "Memo2");
    FHex.FollowEnd = true;
    trackEnd(FLog);
    trackEnd(FHex);
    // Memo2 takes the focus under the mouse, so the wheel scrolls it without a click.
    InstallHoverFocus(FHex.Edit);

    for (TLogColor c : {TLogColor::Green, TLogColor::Red, TLogColor::Blue, TLogColor::Maroon})
        FFormats[int(c)].setForeground(PaneColor(c));

    FFlushTimer.setSingleShot(true);
    FFlushTimer.setInterval(0);
    connect(&FFlushTimer, &QTimer::timeout, this, &TLogPanes::Flush);
}

QPlainTextEdit *TLogPanes::makePane(const char *pageName, const char *editName)
{
    auto *page = new QWidget;
    page->setObjectName(QLatin1String(pageName));
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(2, 2, 2, 2);
    auto *edit = new QPlainTextEdit(page);
    edit->setObjectName(QLatin1String(editName));
    // An undo history of every appended line would only cost memory; so would lines far back.
    edit->setUndoRedoEnabled(false);
    edit->setMaximumBlockCount(MaxPaneLines);
    // Long dumps wrap at the pane's edge; a line stays one line for the scroll bar.
    edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    edit->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout->addWidget(edit);
    addTab(page, QLatin1String(pageName));
    return edit;
}

void TLogPanes::trackEnd(TPane &pane)
{
    QScrollBar *bar = pane.Edit->verticalScrollBar();
    // Scrolling lays out the lines that come into view, which can move the end again before this
    // runs; only where the reader puts the bar decides whether they left the end.
    connect(bar, &QScrollBar::valueChanged, this, [&pane, bar](int value) {
        if (!pane.Sticking)
            pane.Following = value >= bar->maximum();
    });
    // The range grows after the lines are in: wrapped lines are laid out when shown, and the bar
    // that appears narrows the pane, so lines that just fitted wrap. A reader at the end stays there.
    connect(
        bar, &QScrollBar::rangeChanged, this,
        [this, &pane] {
            if (pane.Following)
                stickToEnd(pane);
        },
        Qt::QueuedConnection);
}

void TLogPanes::stickToEnd(TPane &pane)
{
    QScrollBar *bar = pane.Edit->verticalScrollBar();
    pane.Sticking = true;
    bar->setValue(bar->maximum());
    pane.Sticking = false;
    pane.Following = true;
}

void TLogPanes::AddLog(const QString &text, TLogColor color) { queue(FLog, text, color); }

void TLogPanes::AddHex(const QString &text, TLogColor color) { queue(FHex, text, color); }

void TLogPanes::queue(TPane &pane, const QString &text, TLogColor color)
{
    // Lines beyond what the pane keeps would only be written to be dropped.
    if (pane.Pending.size() >= MaxPaneLines)
        pane.Pending.removeFirst();
    pane.Pending.append({VisibleLines(text), color});
    if (!FFlushTimer.isActive())
        FFlushTimer.start();
}

void TLogPanes::Clear()
{
    for (TPane *p : {&FLog, &FHex}) {
        p->Pending.clear();
        p->Edit->clear();
        p->HasLines = false;
    }
}

void TLogPanes::Flush()
{
    FFlushTimer.stop();
    write(FLog);
    write(FHex);
}

void TLogPanes::write(TPane &pane)
{
    if (pane.Pending.isEmpty())
        return;
    QPlainTextEdit *edit = pane.Edit;

    QTextDocument *doc = edit->document();
    QTextCursor cursor(doc);
    cursor.movePosition(QTextCursor::End);
    cursor.beginEditBlock();
    bool breakFirst = pane.HasLines || !doc->isEmpty();
    // One insertion per run of lines of one colour: each line still carries its own format.
    qsizetype i = 0;
    const qsizetype n = pane.Pending.size();
    QString run;
    while (i < n) {
        const TLogColor color = pane.Pending[i].Color;
        run.clear();
        if (breakFirst)
            run += u'\n';
        run += pane.Pending[i].Text;
        for (++i; i < n && pane.Pending[i].Color == color; ++i) {
            run += u'\n';
            run += pane.Pending[i].Text;
        }
        // A line's own breaks would split it into blocks of the same colour; that is all they do.
        cursor.insertText(run, FFormats[int(color)]);
        breakFirst = true;
    }
    cursor.endEditBlock();
    pane.Pending.clear();
    pane.HasLines = true;

    // Memo2 follows its end; Memo1 stays where the reader put it, and follows only while it
    // already showed its end.
    if (pane.FollowEnd || pane.Following)
        stickToEnd(pane);
}
