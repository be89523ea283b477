#pragma once
// A serial session on a pseudo-terminal with a recording log sink, the English texts and a wait
// that only records itself (set session.Wait = WaitWithMessages for a real one).

#include "PtyFixture.h"
#include "core/LogSink.h"
#include "lang/LangList.h"
#include "serial/SerialSession.h"

#include <QRegularExpression>
#include <QStringList>

// Every pane line as "log red: text" or "hex blue: text", and each wait as "wait 2000", in order.
struct SerialLogRecorder : ILogSink {
    QStringList lines;
    static QString colour(TLogColor c)
    {
        switch (c) {
        case TLogColor::Green: return QStringLiteral("green");
        case TLogColor::Red: return QStringLiteral("red");
        case TLogColor::Blue: return QStringLiteral("blue");
        case TLogColor::Maroon: return QStringLiteral("maroon");
        }
        return {};
    }
    void AddLog(const QString &text, TLogColor c) override { lines.append(QStringLiteral("log %1: %2").arg(colour(c), text)); }
    void AddHex(const QString &text, TLogColor c) override { lines.append(QStringLiteral("hex %1: %2").arg(colour(c), text)); }
    // The lines of one pane ("log" or "hex").
    QStringList pane(const QString &which) const
    {
        return lines.filter(QRegularExpression(QLatin1Char('^') + QRegularExpression::escape(which) + QLatin1Char(' ')));
    }
};

struct SerialSessionFixture : PtyFixture {
    TComm comm;
    SerialLogRecorder log;
    TSerialSession session {comm, log};

    void SetUp() override
    {
        PtyFixture::SetUp();
        delete LangList;
        LangList = new TLangList;
        FillDefaultTable();
        LangList->IsChinese = false;
        ApplyCm1Properties(comm);
        session.PortName = path();
        session.Wait = [this](int ms) { log.lines.append(QStringLiteral("wait %1").arg(ms)); };
    }
    void TearDown() override
    {
        PtyFixture::TearDown();
        FreeLanguage();
    }
};
