#pragma once
// Commands over several modules: the targets (MACs or --all), one result row per module, the
// result table and its JSON form, and the Q2 write run shared by write and profile apply. The
// modules are handled by the core's fleet run, --parallel N of them at once.

#include "app/cli/CliLan.h"
#include "core/Wait.h"
#include "netconfig/Fleet.h"
#include "netconfig/FleetRun.h"
#include "netconfig/Profile.h"

#include <optional>

// One row of the table: a module's result of the run.
using TBatchRow = TFleetModuleResult;

// "001A2B3C4D5E" -> "00 1A 2B 3C 4D 5E", as the list shows a MAC.
QString SpacedMac(const QString &digits);

// The modules a command acts on: MAC arguments, or --all. The MACs and --all are taken out of
// args; what is left (options, NAME=VALUE) stays for the command.
struct TTargets {
    QStringList Macs; // 12 hex digits each, in the order given, without repeats
    bool All = false;
    bool Single() const { return !All && Macs.size() == 1; }
};
TTargets TakeTargets(QStringList &args, const QString &command);
// --parallel N (1..1000) taken out of args; DefaultParallel when not given.
int TakeParallel(QStringList &args);

// Searches (every MAC asked for, or everything) and returns one entry per target: the row, or
// nothing for a MAC that did not answer. With --all, only rows whose model serves(model).
using TTarget = TFleetTarget;
QList<TTarget> FindTargets(TCliLan &lan, const TTargets &targets, const std::function<bool(int)> &serves);

// The table (or JSON array) of a batch; details adds changes, skipped fields and mismatches. A
// note (modules that claim one IP) shows in either, and in JSON the file of a backup or restore.
void PrintBatch(const QList<TBatchRow> &rows, bool json, bool details);
// 0 when every module succeeded (or was only planned), else 1.
int BatchStatus(const QList<TBatchRow> &rows);

struct TQ2RunOptions {
    bool DryRun = false;
    bool Verify = false;
    int VerifyTimeoutMs = 20000;
    const TProfile *Profile = nullptr;
    QStringList Assignments;
    bool Legacy = false; // one MAC without --json: the output of a single write
    int Parallel = DefaultParallel;
};
// The fleet run's options from the command line's: the waits, the credentials, --parallel.
TFleetOptions FleetOptions(const TCliOptions &opt, TFleetJob job, int parallel);
// Runs the job over the targets on the session (--parallel at once) until every module is done.
QList<TBatchRow> RunFleet(TCliLan &lan, const TFleetOptions &options, const QList<TTarget> &targets);
// Starts a fleet run (or a backup or restore) and turns the event loop until it has ended.
template <typename TRun> QList<TBatchRow> RunToEnd(TRun &run)
{
    bool finished = false;
    run.OnFinished = [&] { finished = true; };
    run.Start();
    // The run ends itself: every wait of a module is bounded by its options.
    while (!finished)
        WaitUntil(60000, [&] { return finished; });
    return run.Results();
}
// Reads each Q2 target, applies the profile and the assignments, validates, writes and (with
// Verify) reads back after the restart. One row per target, in order.
QList<TBatchRow> RunQ2Writes(TCliLan &lan, const QList<TTarget> &targets, const TQ2RunOptions &options);
// --verify-timeout MS and --verify, --dry-run taken out of args.
void TakeWriteOptions(QStringList &args, TQ2RunOptions &options);
// The NAME=VALUE arguments into options.Assignments, each name checked (a usage error names the
// known fields); returns the field names in order.
QStringList TakeAssignments(const QStringList &args, TQ2RunOptions &options);
// The rest of write and profile apply: the shared-value rule before the search and again over
// every module found with --all, then each module written and the table printed (unless the
// single-write output is wanted). Returns the exit status.
int RunQ2WriteCommand(const TCliOptions &opt, const TTargets &targets, const QStringList &names,
                      const TQ2RunOptions &options);
