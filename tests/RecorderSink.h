#pragma once
#include "core/LogSink.h"

#include <QList>
#include <QString>

// Keeps every line written, with its pane and colour.
struct TRecorderSink : ILogSink {
    struct Line {
        bool Hex;
        QString Text;
        TLogColor Color;
    };
    QList<Line> Lines;
    void AddLog(const QString &t, TLogColor c) override { Lines.append({false, t, c}); }
    void AddHex(const QString &t, TLogColor c) override { Lines.append({true, t, c}); }
    QStringList LogTexts() const
    {
        QStringList out;
        for (const Line &l : Lines)
            if (!l.Hex)
                out << l.Text;
        return out;
    }
    QStringList HexTexts() const
    {
        QStringList out;
        for (const Line &l : Lines)
            if (l.Hex)
                out << l.Text;
        return out;
    }
};
