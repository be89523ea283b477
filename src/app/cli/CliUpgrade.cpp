// bexo-z0-cli upgrade: one firmware upgrade attempt, shown on the terminal.

#include "app/cli/Cli.h"
#include "app/cli/CliUpgradeFleet.h"

#include "core/ProFun.h"
#include "lang/LangList.h"
#include "upgrade/Upgrade.h"

#include <QEventLoop>
#include <cstdio>
#include <unistd.h>

namespace {

const QString KeyProgress = QStringLiteral("lang_Hint_UpProgress");

int msOption(const QString &name, const QString &text)
{
    int v = 0;
    if (!TryStrToInt(text, v) || v < 1)
        throw TUsageError{QStringLiteral("%1 needs a number of milliseconds").arg(name)};
    return v;
}

// The progress bar redrawn in place on a terminal; a plain line per ten per cent otherwise.
class TProgressView {
public:
    TProgressView() : FTty(isatty(STDOUT_FILENO)) {}

    void Show(int percent, const QString &text)
    {
        if (FTty) {
            if (percent == FShown)
                return;
            FShown = percent;
            const int filled = percent * 30 / 100;
            const QString bar = QString(filled, u'#') + QString(30 - filled, u'.');
            const QByteArray line = QStringLiteral("\r[%1] %2%").arg(bar).arg(percent, 3).toUtf8();
            fwrite(line.constData(), 1, size_t(line.size()), stdout);
            fflush(stdout);
            FOpenLine = true;
        } else if (percent / 10 > FShown / 10 || FShown < 0) {
            FShown = percent;
            if (percent >= 10)
                Out(text);
        }
    }

    // A status line: ends the bar's line first.
    void Line(const QString &text)
    {
        if (FOpenLine) {
            fputc('\n', stdout);
            FOpenLine = false;
        }
        FShown = -1;
        Out(text);
    }

private:
    bool FTty;
    bool FOpenLine = false;
    int FShown = -1;
};

int upgradeCommand(const TCliOptions &opt, const QStringList &args)
{
    if (args.contains(QLatin1String("--help"))) {
        Out(QStringLiteral(
            "usage: bexo-z0-cli [global options] upgrade --ip IP --mac MAC --local-ip IP\n"
            "                   [--search-timeout MS] [--block-timeout MS] FILE.bin\n"
            "Replaces a module's firmware over the LAN: a broadcast trigger, then BOOTP and TFTP served\n"
            "from this machine's address --local-ip, which must share a network with --ip. Ports 9, 67\n"
            "and 69 need the installed binding helper, which the members of the group bexo-z0 may run,\n"
            "or root. Exits 0 on success, 2 when FILE.bin is no regular file or larger than 16 MiB\n"
            "(refused before any port is bound), 1 otherwise, with the status text last; a failure's\n"
            "reason and what to do come just before it.\n"));
        Out(FleetUpgradeHelp());
        return 0;
    }
    // Without the module's address given, the modules come from a search.
    if (!args.contains(QLatin1String("--ip")) && !args.contains(QLatin1String("--mac")) &&
        !args.contains(QLatin1String("--local-ip")))
        return FleetUpgradeCommand(opt, args);
    TUpgradeInputs in;
    TUpgradeTimes times;
    bool haveLocal = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        const auto value = [&]() -> QString {
            if (i + 1 >= args.size())
                throw TUsageError{QStringLiteral("%1 needs a value").arg(a)};
            return args[++i];
        };
        if (a == QLatin1String("--ip")) in.ModuleIP = value();
        else if (a == QLatin1String("--mac")) in.ModuleMAC = value();
        else if (a == QLatin1String("--local-ip")) { in.LocalIP = value(); haveLocal = true; }
        else if (a == QLatin1String("--search-timeout")) times.SearchMs = msOption(a, value());
        else if (a == QLatin1String("--block-timeout")) times.BlockMs = msOption(a, value());
        else if (a.startsWith(QLatin1String("--")))
            throw TUsageError{QStringLiteral("upgrade: unknown option %1").arg(a)};
        else if (in.BinFileName.isEmpty()) in.BinFileName = a;
        else throw TUsageError{QStringLiteral("upgrade takes one FILE.bin")};
    }
    if (!haveLocal && !opt.Interfaces.isEmpty())
        in.LocalIP = opt.Interfaces.first();

    TCliLogSink log(opt.Hex);
    TUpgradeAttempt attempt;
    attempt.Times = times;
    attempt.Log = &log;
    attempt.LogTraffic = opt.Hex;

    TProgressView view;
    QEventLoop loop;
    int rc = 1;
    attempt.OnStatus = [&](const QString &key, const QString &text) {
        if (key != KeyProgress)
            view.Line(text);
    };
    attempt.OnProgress = [&](int percent) {
        if (attempt.State() == TUpgradeState::Serving)
            view.Show(percent, GetLangText(KeyProgress) + QString::number(percent) + QLatin1Char('%'));
    };
    attempt.OnMessageBox = [&](const QString &, const QString &text) { view.Line(text); };
    // Why it failed and what to do, in the words the upgrade window uses.
    attempt.OnFailure = [&](const TUpgradeFailure &failure) { view.Line(UpgradeFailureText(failure)); };
    attempt.OnFinished = [&](TUpgradeState end) {
        rc = end == TUpgradeState::Done ? 0 : 1;
        loop.quit();
    };
    if (!attempt.Program(in))
        return attempt.RefusedFile ? 2 : 1; // a FIFO or a huge file is bad input, like a bad option
    if (attempt.State() == TUpgradeState::Searching || attempt.State() == TUpgradeState::Serving)
        loop.exec();
    return rc;
}

TCliRegistrar upgradeReg(
    {QStringLiteral("upgrade"),
     QStringLiteral("--ip IP --mac MAC --local-ip IP [--search-timeout MS] [--block-timeout MS] FILE.bin\n"
                    "  upgrade FILE.bin (MAC... | --all) [--parallel N] [--canary] [--reset-after]\n"
                    "          [--block-timeout MS] [--search-timeout MS] [--back-timeout MS]"),
     QStringLiteral("replace a module's firmware over the LAN: trigger its boot loader, answer BOOTP and serve\n"
                    "      FILE.bin over TFTP from the local IP (any address of this machine, loopback too; ports\n"
                    "      9, 67 and 69 need the package's binding helper bexo-z0-bind, for the members of the\n"
                    "      group bexo-z0, or root). Exits 0 on success, 1 otherwise; the status text comes last.\n"
                    "      Time-outs default to 10000 ms until the read request and 2000 ms per block.\n"
                    "      The second form upgrades the modules a search finds, at most N at once (default 8),\n"
                    "      each looked for again afterwards (--back-timeout, default 60000 ms; --reset-after\n"
                    "      then restores its factory settings); --canary waits for the first module to be\n"
                    "      back before the rest. Prints a table of module, IP, result, blocks, seconds and\n"
                    "      firmware before and after (--json: an array); exit 0 only when every module\n"
                    "      succeeded."),
     upgradeCommand});

} // namespace
