#pragma once
// bexo-z0-sim: simulated modules. Each mode (LAN modules, a module on a serial line, a boot
// loader) registers itself; the main runs the chosen one on a Qt event loop that SIGINT and
// SIGTERM end cleanly.

#include <QString>
#include <QStringList>
#include <functional>

struct TSimMode {
    QString Name;
    QString Summary;
    std::function<QString()> Help;                          // the mode's option list
    std::function<int(const QStringList &args)> Run;        // returns the exit status
};

QList<TSimMode> &SimModes();
struct TSimRegistrar {
    TSimRegistrar(TSimMode mode) { SimModes().append(std::move(mode)); }
};

// A bad command line for a mode: exit status 2 with the message.
struct TSimUsageError {
    QString Message;
};

// The value after option args[i]; moves i past it. Raises TSimUsageError when there is none.
QString SimOptionValue(const QStringList &args, int &i);

void SimOut(const QString &text); // a line on stdout, flushed at once
void SimErr(const QString &text); // a line on stderr
