#include "app/cli/CliBatch.h"

#include "core/ProFun.h"
#include "core/Public.h"
#include "core/VisibleText.h"
#include "lang/LangList.h"
#include "netconfig/PageFields.h"
#include "netconfig/Q2Write.h"


namespace {

QString writeHelp()
{
    return QStringLiteral(
               "usage: bexo-z0-cli [global options] write (MAC... | --all) [--dry-run] [--verify]\n"
               "                   [--verify-timeout MS] [--parallel N] NAME=VALUE...\n"
               "Reads each module, applies the values to its page, validates, writes every block and restarts\n"
               "it, up to --parallel modules at once. One MAC prints \"N of M frames acknowledged\"; several MACs,\n"
               "--all (every Q2 module that answers the search) or --json print a table of module, result and\n"
               "answer. Exit 0 when every module acknowledged every frame (and, with --verify, read back as\n"
               "written).\n"
               "  --dry-run            print what would change and the frames, send nothing\n"
               "  --verify             after the restart, wait until the module answers a search again, read it\n"
               "                       back and compare every field written; each difference is reported\n"
               "  --verify-timeout MS  how long to wait for the module after the restart (default 20000)\n"
               "  --parallel N         write up to N modules at once (1..1000, default 32; 1: one after the\n"
               "                       other, in the order given); modules answering from one address or\n"
               "                       claiming one IP are always written one after the other\n"
               "A field a module's write does not carry (no such block, or a setting that leaves it out) is\n"
               "named as skipped. Lists take an index or the item's English text; check boxes 0 or 1.\n"
               "Fields:\n") +
           PageFieldsHelp(TQ2Page(), Q2PageFields());
}

// One module without --json: what the single write prints, from its result.
void printSingle(const TBatchRow &r, const TQ2RunOptions &o)
{
    if (r.BadValue)
        throw EPageFieldError(r.Answer); // a value of the command line: a usage error, as always
    if (r.Result == TFleetResult::WrongModel) {
        Err(QStringLiteral("bexo-z0-cli: ") + r.Answer);
        return;
    }
    for (const TSkippedField &s : r.Skipped)
        Err(QStringLiteral("bexo-z0-cli: %1 is not written to this module: %2").arg(s.Name, s.Reason));
    if (r.Result == TFleetResult::Invalid) {
        // A field that did not convert has had its red line; a refused value is named here.
        if (!r.Answer.startsWith(QLatin1String("Error: ")))
            Err(QStringLiteral("bexo-z0-cli: ") + r.Answer);
        return;
    }
    if (r.Result == TFleetResult::DryRun) {
        for (const TFieldChange &c : r.Changes)
            Out(QStringLiteral("%1: %2 -> %3").arg(c.Name, VisibleText(c.Old), VisibleText(c.New)));
        for (const TPlannedFrame &f : r.Frames) {
            const QByteArray frame = BuildCmdFrame(f.Cmd, f.Mac, LoginName, LoginPswd,
                                                   reinterpret_cast<const uint8_t *>(f.Payload.constData()),
                                                   int(f.Payload.size()));
            Out(QStringLiteral("frame 0x%1 (%2 bytes): %3")
                    .arg(f.Cmd, 2, 16, QLatin1Char('0'))
                    .arg(frame.size())
                    .arg(BytesToHexSpaced(frame).trimmed()));
        }
        return;
    }
    // Each answer is already in the log, once; the result is the count.
    if (!r.Summary.isEmpty())
        Out(r.Summary);
    if (!o.Verify || r.Summary.isEmpty() || r.Acks != int(r.Frames.size()))
        return;
    for (const TFieldMismatch &m : r.Mismatches)
        Out(QStringLiteral("mismatch: %1: wrote \"%2\", module has \"%3\"").arg(m.Field, VisibleText(m.Wanted), VisibleText(m.Got)));
    Out(r.Result == TFleetResult::Ok ? QStringLiteral("verified: %1 fields read back as written").arg(r.Written.size())
                                     : QStringLiteral("verify failed: ") + r.Answer);
}

} // namespace

void TakeWriteOptions(QStringList &args, TQ2RunOptions &o)
{
    o.Parallel = TakeParallel(args);
    for (int i = 0; i < args.size();) {
        if (args[i] == QLatin1String("--dry-run")) {
            o.DryRun = true;
            args.removeAt(i);
        } else if (args[i] == QLatin1String("--verify")) {
            o.Verify = true;
            args.removeAt(i);
        } else if (args[i] == QLatin1String("--verify-timeout")) {
            bool ok = false;
            o.VerifyTimeoutMs = i + 1 < args.size() ? args[i + 1].toInt(&ok) : -1;
            if (!ok || o.VerifyTimeoutMs < 0 || o.VerifyTimeoutMs > 600000)
                throw TUsageError{QStringLiteral("--verify-timeout needs milliseconds, 0 to 600000")};
            args.remove(i, 2);
        } else {
            ++i;
        }
    }
}

int RunQ2WriteCommand(const TCliOptions &opt, const TTargets &t, const QStringList &names, const TQ2RunOptions &o)
{
    if (const QString p = SharedValueProblem(names, int(t.Macs.size())); !p.isEmpty())
        throw TUsageError{p + QStringLiteral("; nothing was sent")};

    TCliLan lan(opt);
    const QList<TTarget> targets = FindTargets(lan, t, [](int model) { return ModelInfo(model).LanWrite; });
    if (targets.isEmpty())
        return 1;
    if (const QString p = SharedValueProblem(names, int(targets.size())); t.All && !p.isEmpty()) {
        Err(QStringLiteral("bexo-z0-cli: ") + p + QStringLiteral("; nothing was written"));
        return 2;
    }
    const QList<TBatchRow> rows = RunQ2Writes(lan, targets, o);
    if (!o.Legacy)
        PrintBatch(rows, opt.Json, true);
    return BatchStatus(rows);
}

QStringList TakeAssignments(const QStringList &args, TQ2RunOptions &o)
{
    QStringList names;
    for (const QString &a : args) {
        const qsizetype eq = a.indexOf(u'=');
        if (eq <= 0)
            throw TUsageError{QStringLiteral("expected NAME=VALUE, got '%1'").arg(a)};
        // Names are checked before anything is sent; values need the page the module fills.
        const auto *field = FindPageField(Q2PageFields(), a.left(eq));
        if (!field) {
            TQ2Page probe;
            ApplyPageField(probe, Q2PageFields(), a); // raises with the list of names
        }
        names << field->Name;
        o.Assignments << a;
    }
    return names;
}

QList<TBatchRow> RunQ2Writes(TCliLan &lan, const QList<TTarget> &targets, const TQ2RunOptions &o)
{
    TFleetOptions f = FleetOptions(lan.Opt, TFleetJob::Write, o.Parallel);
    f.DryRun = o.DryRun;
    f.Verify = o.Verify;
    f.Times.VerifyTimeoutMs = o.VerifyTimeoutMs;
    f.Profile = o.Profile;
    f.Assignments = o.Assignments;
    const QList<TBatchRow> rows = RunFleet(lan, f, targets);
    if (o.Legacy)
        for (const TBatchRow &r : rows)
            printSingle(r, o);
    return rows;
}

namespace {

int writeCommand(const TCliOptions &opt, const QStringList &argsIn)
{
    QStringList args = argsIn;
    if (args.contains(QLatin1String("--help"))) {
        Out(writeHelp());
        return 0;
    }
    TQ2RunOptions o;
    TakeWriteOptions(args, o);
    const TTargets t = TakeTargets(args, QStringLiteral("write"));
    QStringList names = TakeAssignments(args, o);
    if (o.Assignments.isEmpty())
        throw TUsageError{QStringLiteral("write needs NAME=VALUE pairs")};
    o.Legacy = t.Single() && !opt.Json;
    return RunQ2WriteCommand(opt, t, names, o);
}

TCliRegistrar writeReg({QStringLiteral("write"),
                        QStringLiteral("(MAC... | --all) [--dry-run] [--verify] [--verify-timeout MS] [--parallel N] "
                                       "NAME=VALUE..."),
                        QStringLiteral("read Q2 modules, change the named fields and write them back, up to --parallel "
                                       "at once (write --help lists the fields)"),
                        writeCommand});

} // namespace
