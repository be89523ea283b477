#include "sim/Sim.h"

#include "core/Console.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <unistd.h>

QList<TSimMode> &SimModes()
{
    static QList<TSimMode> modes;
    return modes;
}

QString SimOptionValue(const QStringList &args, int &i)
{
    if (i + 1 >= args.size())
        throw TSimUsageError{QStringLiteral("%1 needs a value").arg(args[i])};
    return args[++i];
}

void SimOut(const QString &text) { WriteLine(stdout, text); }

void SimErr(const QString &text) { WriteLine(stderr, text); }

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    (void)!write(signalPipe[1], &c, 1);
}

void printHelp()
{
    SimOut(QStringLiteral("usage: bexo-z0-sim MODE [options]   (bexo-z0-sim MODE --help for its options)"));
    SimOut(QStringLiteral("Simulated Bexo-Q modules for training, demos and tests. Stops cleanly on SIGINT/SIGTERM."));
    SimOut(QString());
    SimOut(QStringLiteral("Modes:"));
    for (const auto &m : SimModes())
        SimOut(QStringLiteral("  %1  %2").arg(m.Name, -10).arg(m.Summary));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("bexo-z0-sim"));

    // Signals end the event loop from a notifier, so every mode shuts down through its destructors.
    if (pipe(signalPipe) == 0) {
        auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
            char c;
            (void)!read(signalPipe[0], &c, 1);
            QCoreApplication::quit();
        });
        struct sigaction sa {};
        sa.sa_handler = onSignal;
        sigemptyset(&sa.sa_mask);
        sigaction(SIGINT, &sa, nullptr);
        sigaction(SIGTERM, &sa, nullptr);
    }

    QStringList args = app.arguments().mid(1);
    if (args.isEmpty() || args[0] == QLatin1String("--help") || args[0] == QLatin1String("-h")) {
        printHelp();
        return args.isEmpty() ? 2 : 0;
    }
    const QString name = args.takeFirst();
    for (const auto &m : SimModes()) {
        if (m.Name != name)
            continue;
        if (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
            SimOut(QStringLiteral("usage: bexo-z0-sim %1 [options]").arg(name));
            SimOut(m.Help());
            return 0;
        }
        try {
            return m.Run(args);
        } catch (const TSimUsageError &e) {
            SimErr(QStringLiteral("bexo-z0-sim %1: %2").arg(name, e.Message));
            return 2;
        }
    }
    SimErr(QStringLiteral("bexo-z0-sim: unknown mode %1").arg(name));
    printHelp();
    return 2;
}
