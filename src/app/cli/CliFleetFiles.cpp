// backup and restore: one profile per module in a folder, and each module's own file back.
#include "app/cli/CliBatch.h"

#include "core/Wait.h"
#include "lang/LangList.h"
#include "netconfig/Backup.h"

#include <QDir>
#include <QFileInfo>

namespace {

QString backupHelp()
{
    return QStringLiteral(
        "usage: bexo-z0-cli [global options] backup DIR (MAC... | --all) [--with-credentials] [--comment TEXT]\n"
        "                                           [--parallel N]\n"
        "       bexo-z0-cli [global options] restore DIR (MAC... | --all) [--dry-run] [--verify]\n"
        "                                           [--verify-timeout MS] [--parallel N]\n"
        "backup: reads each module (--all: every Q2 module that answers the search), up to --parallel at once,\n"
        "  and writes its settings as a profile into DIR (created when missing), one file per module named by\n"
        "  its MAC (001A2B3C4D5E.json), its identity (StaticIP, ModName) included, its login (UserName,\n"
        "  Password) only with --with-credentials. Each file is written whole or not at all; a module that\n"
        "  cannot be read keeps its earlier file. Then DIR/index.csv lists MAC, IP, name, firmware, file and\n"
        "  time of this backup's modules and of earlier ones whose files are still there.\n"
        "restore: checks the files of DIR first (those of the MACs given, or every file named by a MAC): a\n"
        "  file the profile reader refuses, one that is no plain file (a link, a pipe) or that was saved from\n"
        "  another module than its name says is refused with exit 2, and nothing is sent. Then each module\n"
        "  gets its own file back by its MAC (--all: every Q2 module that answers, and every file), written\n"
        "  as profile apply writes, --dry-run, --verify, --verify-timeout MS and --parallel N as for write. A\n"
        "  module without a file is \"no file\", a file or MAC without a module \"not found\".\n"
        "Both end with the result table (or --json, each row with its \"file\"); exit 0 when every module\n"
        "succeeded.");
}

QString takeFolder(QStringList &args, const QString &command)
{
    if (args.isEmpty() || args.first().startsWith(QLatin1String("--")))
        throw TUsageError{QStringLiteral("%1 needs a folder DIR, then MACs or --all").arg(command)};
    return args.takeFirst();
}

int backupCommand(const TCliOptions &opt, const QStringList &argsIn)
{
    QStringList args = argsIn;
    if (args.contains(QLatin1String("--help"))) {
        Out(backupHelp());
        return 0;
    }
    const int parallel = TakeParallel(args);
    TBackupOptions b;
    for (int i = 0; i < args.size();) {
        if (args[i] == QLatin1String("--with-credentials")) {
            b.Credentials = true;
            args.removeAt(i);
        } else if (args[i] == QLatin1String("--comment")) {
            if (i + 1 >= args.size())
                throw TUsageError{QStringLiteral("--comment needs a text")};
            b.Comment = args[i + 1];
            args.remove(i, 2);
        } else {
            ++i;
        }
    }
    if (b.Comment.size() > ProfileMaxText)
        throw TUsageError{QStringLiteral("--comment takes at most %1 characters").arg(ProfileMaxText)};
    const QString folder = takeFolder(args, QStringLiteral("backup"));
    const TTargets t = TakeTargets(args, QStringLiteral("backup"));
    if (!args.isEmpty())
        throw TUsageError{QStringLiteral("backup takes MACs or --all, not '%1'").arg(args.first())};

    QString error;
    if (!TFleetBackup::PrepareFolder(folder, error)) {
        Err(QStringLiteral("bexo-z0-cli: ") + error);
        return 1;
    }
    TCliLan lan(opt);
    const QList<TTarget> targets = FindTargets(lan, t, [](int model) { return ModelInfo(model).LanWrite; });
    if (targets.isEmpty())
        return 1;
    TFleetBackup run(lan.Session, FleetOptions(opt, TFleetJob::Read, parallel), folder, targets, b);
    const QList<TBatchRow> rows = RunToEnd(run);
    PrintBatch(rows, opt.Json, false);
    if (!run.IndexWarning().isEmpty())
        lan.Log.AddLog(QStringLiteral("bexo-z0-cli: ") + run.IndexWarning(), TLogColor::Red);
    if (!run.IndexError().isEmpty()) {
        Err(QStringLiteral("bexo-z0-cli: ") + run.IndexError());
        return 1;
    }
    if (!run.IndexPath().isEmpty())
        lan.Log.AddLogInfo(QStringLiteral("index: ") + QFileInfo(run.IndexPath()).absoluteFilePath());
    return BatchStatus(rows);
}

int restoreCommand(const TCliOptions &opt, const QStringList &argsIn)
{
    QStringList args = argsIn;
    if (args.contains(QLatin1String("--help"))) {
        Out(backupHelp());
        return 0;
    }
    TQ2RunOptions o;
    TakeWriteOptions(args, o);
    const QString folder = takeFolder(args, QStringLiteral("restore"));
    const TTargets t = TakeTargets(args, QStringLiteral("restore"));
    if (!args.isEmpty())
        throw TUsageError{QStringLiteral("restore takes MACs or --all, not '%1'").arg(args.first())};

    // Every file is checked before anything is sent, the search included.
    const TRestorePlan plan = PlanRestore(folder, t.All ? QStringList() : t.Macs);
    if (!plan.Problems.isEmpty()) {
        for (const QString &p : plan.Problems)
            Err(QStringLiteral("bexo-z0-cli: refused %1").arg(p));
        Err(QStringLiteral("bexo-z0-cli: nothing was sent"));
        return 2;
    }
    if (t.All && plan.Files.isEmpty()) {
        Err(QStringLiteral("bexo-z0-cli: no backup file in %1; nothing was sent").arg(folder));
        return 2;
    }
    TCliLan lan(opt);
    lan.Search(0, t.Macs);
    TFleetOptions f = FleetOptions(opt, TFleetJob::Write, o.Parallel);
    f.DryRun = o.DryRun;
    f.Verify = o.Verify;
    f.Times.VerifyTimeoutMs = o.VerifyTimeoutMs;
    TFleetRestore run(lan.Session, f, plan, lan.Devices.Rows, t.All ? QStringList() : t.Macs);
    const QList<TBatchRow> rows = RunToEnd(run);
    PrintBatch(rows, opt.Json, true);
    return BatchStatus(rows);
}

TCliRegistrar backupReg({QStringLiteral("backup"),
                         QStringLiteral("DIR (MAC... | --all) [--with-credentials] [--comment TEXT] [--parallel N]"),
                         QStringLiteral("save each module's settings with its identity into DIR, one profile per "
                                        "module named by its MAC, and an index (backup --help)"),
                         backupCommand});
TCliRegistrar restoreReg({QStringLiteral("restore"),
                          QStringLiteral("DIR (MAC... | --all) [--dry-run] [--verify] [--verify-timeout MS] "
                                         "[--parallel N]"),
                          QStringLiteral("write each module's own file of DIR back to it, naming modules without a "
                                         "file and files without a module (restore --help)"),
                          restoreCommand});

} // namespace
