#pragma once
// Shared pieces of the terminal front end: global options, output, the command table.

#include "core/LogSink.h"

#include <QString>
#include <QStringList>
#include <functional>

struct TCliOptions {
    QString Lang;             // "en", "zh" or empty (the setting)
    QStringList Interfaces;   // --interface, repeatable
    QString User;
    QString Password;
    bool HaveUser = false;
    bool HavePassword = false;
    int WaitMs = 1500;
    int Repeat = 1;           // --repeat: search rounds at most
    bool Json = false;
    bool Hex = false;
    QStringList Ranges;            // --range, repeatable: search these addresses, not the broadcast
    QList<quint32> RangeAddresses; // what they name, checked
};

// A bad command line: exit status 2 with the message and a usage line.
struct TUsageError {
    QString Message;
};

void Out(const QString &text);   // a line on stdout
void Err(const QString &text);   // a line on stderr

// Operation-log lines on stderr, coloured on a terminal; data-stream lines only with --hex.
class TCliLogSink : public ILogSink {
public:
    explicit TCliLogSink(bool showHex);
    void AddLog(const QString &text, TLogColor color) override;
    void AddHex(const QString &text, TLogColor color) override;

private:
    bool FShowHex;
    bool FColour;
};

using TCliCommand = std::function<int(const TCliOptions &, const QStringList &args)>;

struct TCliCommandInfo {
    QString Name;
    QString Usage;     // arguments, shown after the name
    QString Summary;
    TCliCommand Run;
};

// Each command unit adds its commands here.
QList<TCliCommandInfo> &CliCommands();
struct TCliRegistrar {
    TCliRegistrar(TCliCommandInfo info) { CliCommands().append(std::move(info)); }
};

QString UsageLine();
