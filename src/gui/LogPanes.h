#pragma once
// The lower half of the search column: the operation log (Memo1) and the data-stream pane (Memo2)
// on two tabs at the bottom. Every line keeps the colour it was written in. Lines are queued and
// written once per event-loop turn, so a flood of datagrams costs one layout per turn, not one per
// line, and each pane keeps only its last lines, so it costs bounded memory. Control characters
// of a line show as escapes.

#include "core/LogSink.h"

#include <QList>
#include <QTabWidget>
#include <QTextCharFormat>
#include <QTimer>

class QPlainTextEdit;
class TFixedTabBar;

class TLogPanes : public QTabWidget, public ILogSink {
    Q_OBJECT
public:
    // Each pane keeps its last this many lines; older ones go as new ones come.
    static constexpr int MaxPaneLines = 20000;

    explicit TLogPanes(QWidget *parent = nullptr);

    void AddLog(const QString &text, TLogColor color) override;
    void AddHex(const QString &text, TLogColor color) override;
    // Empties both panes, lines still waiting included.
    void Clear();
    // Writes the waiting lines now (the event loop does it on its next turn anyway).
    void Flush();
    int PendingLines() const { return int(FLog.Pending.size() + FHex.Pending.size()); }

    QPlainTextEdit *Memo1() const { return FLog.Edit; }
    QPlainTextEdit *Memo2() const { return FHex.Edit; }
    TFixedTabBar *Tabs() const { return FTabs; }

    static QColor PaneColor(TLogColor color);

private:
    struct TLine {
        QString Text;
        TLogColor Color;
    };
    struct TPane {
        QPlainTextEdit *Edit = nullptr;
        QList<TLine> Pending;
        bool HasLines = false; // a line was written since the last clear (it may be empty)
        bool FollowEnd = false; // Memo2 always shows its last line
        // The reader is at the end: set by where the scroll bar was put (by the reader or by us),
        // never by how far it reaches, which grows after a write as lines wrap and the bar shows.
        bool Following = true;
        bool Sticking = false; // we are moving the bar to the end
    };
    TPane FLog, FHex;
    TFixedTabBar *FTabs;
    QTimer FFlushTimer;
    QTextCharFormat FFormats[4];

    QPlainTextEdit *makePane(const char *pageName, const char *editName);
    void trackEnd(TPane &pane);
    void stickToEnd(TPane &pane);
    void queue(TPane &pane, const QString &text, TLogColor color);
    void write(TPane &pane);
};
