#include "app/cli/CliBatch.h"

#include "core/ProFun.h"
#include "core/Public.h"
#include "core/Wait.h"
#include "core/VisibleText.h"
#include "lang/LangList.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

QString SpacedMac(const QString &digits)
{
    QStringList pairs;
    for (int i = 0; i + 1 < digits.size(); i += 2)
        pairs << digits.mid(i, 2);
    return pairs.join(u' ');
}

namespace {

QString overTime() { return GetLangText(QStringLiteral("lang_Hint_OverTime")); }

} // namespace

TTargets TakeTargets(QStringList &args, const QString &command)
{
    TTargets t;
    QStringList rest;
    for (const QString &a : args) {
        if (a == QLatin1String("--all"))
            t.All = true;
        else if (a.startsWith(QLatin1String("--")) || a.contains(u'='))
            rest << a;
        else if (const QString mac = NormalizeMacArg(a); !t.Macs.contains(mac))
            t.Macs << mac;
    }
    if (t.All && !t.Macs.isEmpty())
        throw TUsageError{QStringLiteral("%1 takes MACs or --all, not both").arg(command)};
    if (!t.All && t.Macs.isEmpty())
        throw TUsageError{QStringLiteral("%1 needs one or more MACs or --all").arg(command)};
    args = rest;
    return t;
}

QList<TTarget> FindTargets(TCliLan &lan, const TTargets &targets, const std::function<bool(int)> &serves)
{
    QList<TTarget> out;
    lan.Search(0, targets.Macs);
    if (targets.All) {
        for (const TDeviceRow &r : lan.Devices.Rows)
            if (serves(r.Model))
                out.append({r.MacDigits(), r});
        if (out.isEmpty())
            Err(QStringLiteral("bexo-z0-cli: no module of a model this command serves answered the search"));
        return out;
    }
    for (const QString &mac : targets.Macs) {
        const TDeviceRow *row = lan.FindRow(mac);
        if (!row)
            Err(QStringLiteral("bexo-z0-cli: no module with MAC %1 answered the search").arg(mac));
        out.append({mac, row ? std::optional<TDeviceRow>(*row) : std::nullopt});
    }
    return out;
}

void PrintBatch(const QList<TBatchRow> &rows, bool json, bool details)
{
    if (json) {
        QJsonArray out;
        for (const TBatchRow &r : rows) {
            QJsonObject o{{QStringLiteral("mac"), r.Mac},
                          {QStringLiteral("ip"), r.IP},
                          {QStringLiteral("result"), FleetResultName(r.Result)},
                          {QStringLiteral("answer"), r.Answer}};
            if (details) {
                QJsonArray changes, skipped, mismatches;
                for (const TFieldChange &c : r.Changes)
                    if (c.Old != c.New)
                        changes.append(QJsonObject{{QStringLiteral("field"), c.Name},
                                               {QStringLiteral("old"), c.Old},
                                               {QStringLiteral("new"), c.New}});
                for (const TSkippedField &s : r.Skipped)
                    skipped.append(QJsonObject{{QStringLiteral("field"), s.Name}, {QStringLiteral("reason"), s.Reason}});
                for (const TFieldMismatch &m : r.Mismatches)
                    mismatches.append(QJsonObject{{QStringLiteral("field"), m.Field},
                                                  {QStringLiteral("wrote"), m.Wanted},
                                                  {QStringLiteral("got"), m.Got}});
                o.insert(QStringLiteral("changes"), changes);
                o.insert(QStringLiteral("skipped"), skipped);
                o.insert(QStringLiteral("mismatches"), mismatches);
            }
            if (details || !r.Note.isEmpty())
                o.insert(QStringLiteral("note"), r.Note);
            if (!r.File.isEmpty())
                o.insert(QStringLiteral("file"), r.File);
            out.append(o);
        }
        Out(JsonText(out));
        return;
    }
    const auto line = [](const QString &mac, const QString &ip, const QString &result, const QString &answer) {
        Out(QStringLiteral("%1  %2  %3  %4").arg(mac, -17).arg(ip, -15).arg(result, -11).arg(answer).trimmed());
    };
    line(QStringLiteral("MODULE"), QStringLiteral("IP"), QStringLiteral("RESULT"), QStringLiteral("ANSWER"));
    for (const TBatchRow &r : rows) {
        line(r.Mac, r.IP.isEmpty() ? QStringLiteral("-") : r.IP, FleetResultText(r.Result), VisibleText(r.Answer));
        if (!r.Note.isEmpty())
            Out(QStringLiteral("  note: ") + VisibleText(r.Note));
        if (!details)
            continue;
        if (r.Result == TFleetResult::DryRun)
            for (const TFieldChange &c : r.Changes)
                if (c.Old != c.New)
                    Out(QStringLiteral("  change: %1: %2 -> %3").arg(c.Name, VisibleText(c.Old), VisibleText(c.New)));
        for (const TSkippedField &s : r.Skipped)
            Out(QStringLiteral("  skipped: %1 (%2)").arg(s.Name, s.Reason));
        for (const TFieldMismatch &m : r.Mismatches)
            Out(QStringLiteral("  mismatch: %1: wrote \"%2\", module has \"%3\"").arg(m.Field, VisibleText(m.Wanted), VisibleText(m.Got)));
    }
}

int BatchStatus(const QList<TBatchRow> &rows)
{
    if (rows.isEmpty())
        return 1;
    for (const TBatchRow &r : rows)
        if (r.Result != TFleetResult::Ok && r.Result != TFleetResult::DryRun)
            return 1;
    return 0;
}

int TakeParallel(QStringList &args)
{
    int parallel = DefaultParallel;
    for (int i = 0; i < args.size();) {
        if (args[i] != QLatin1String("--parallel")) {
            ++i;
            continue;
        }
        bool ok = false;
        parallel = i + 1 < args.size() ? args[i + 1].toInt(&ok) : 0;
        if (!ok || parallel < 1 || parallel > 1000)
            throw TUsageError{QStringLiteral("--parallel needs a number of modules from 1 to 1000")};
        args.remove(i, 2);
    }
    return parallel;
}

TFleetOptions FleetOptions(const TCliOptions &opt, TFleetJob job, int parallel)
{
    TFleetOptions o;
    o.Job = job;
    o.Parallel = parallel;
    o.Times.AnswerWaitMs = opt.WaitMs;
    o.User = LoginName;
    o.Password = LoginPswd;
    return o;
}

QList<TBatchRow> RunFleet(TCliLan &lan, const TFleetOptions &options, const QList<TTarget> &targets)
{
    TFleetRun run(lan.Session, options, targets);
    return RunToEnd(run);
}

namespace {

// restart and reset: one frame per module, its answer (or silence) as the result.
int actionCommand(const TCliOptions &opt, const QStringList &argsIn, bool reset)
{
    const QString name = reset ? QStringLiteral("reset") : QStringLiteral("restart");
    QStringList args = argsIn;
    const int parallel = TakeParallel(args);
    const TTargets t = TakeTargets(args, name);
    if (!args.isEmpty())
        throw TUsageError{QStringLiteral("%1 takes MACs or --all, not '%2'").arg(name, args.first())};
    TCliLan lan(opt);
    lan.AnswerIsResult = true;
    // --all: the models the tool knows (a restart goes to any model when asked by MAC).
    const QList<TTarget> targets = FindTargets(lan, t, [](int model) { return ModelInfo(model).OnLan(); });
    const bool legacy = t.Single() && !opt.Json;
    const QList<TBatchRow> rows =
        RunFleet(lan, FleetOptions(opt, reset ? TFleetJob::Reset : TFleetJob::Restart, parallel), targets);
    if (!legacy) {
        PrintBatch(rows, opt.Json, false);
        return BatchStatus(rows);
    }
    // One module: its answer, printed once (with the checksum a check error names).
    const TBatchRow &r = rows.first();
    if (r.Result == TFleetResult::NotFound)
        ; // the search said so
    else if (!r.Answers.isEmpty())
        Out(r.Answers.first());
    else if (r.Answer == overTime().trimmed())
        Out(overTime());
    else
        Err(QStringLiteral("bexo-z0-cli: ") + r.Answer); // nothing was sent
    return BatchStatus(rows);
}

int restartCommand(const TCliOptions &opt, const QStringList &args) { return actionCommand(opt, args, false); }
int resetCommand(const TCliOptions &opt, const QStringList &args) { return actionCommand(opt, args, true); }

TCliRegistrar restartReg({QStringLiteral("restart"), QStringLiteral("(MAC... | --all) [--parallel N]"),
                          QStringLiteral("restart modules; one MAC prints its answer, several (or --all: every Q2 "
                                         "and Q3 module) a table of module, result and answer; exit 0 when every "
                                         "module acknowledged. --parallel N: up to N modules at once (1..1000, "
                                         "default 32; 1: one after the other in the order given); modules "
                                         "answering from one address or claiming one IP always one after the "
                                         "other"),
                          restartCommand});
TCliRegistrar resetReg({QStringLiteral("reset"), QStringLiteral("(MAC... | --all) [--parallel N]"),
                        QStringLiteral("restore modules' factory settings (Q2 and Q3), printed as restart; exit 0 "
                                       "when every module acknowledged"),
                        resetCommand});

} // namespace
