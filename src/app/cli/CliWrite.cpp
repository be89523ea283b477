#include "app/cli/CliBatch.h"

#include "core/ProFun.h"
#include "core/Public.h"
#include "lang/LangList.h"
#include "netconfig/PageFields.h"
#include "netconfig/Q2Write.h"

#include <QThread>

namespace {

QString writeHelp()
{
    return QStringLiteral(
               "usage: bexo-z0-cli [global options] write (MAC... | --all) [--dry-run] [--verify]\n"
               "                   [--verify-timeout MS] NAME=VALUE...\n"
               "Reads each module, applies the values to its page, validates, writes every block and restarts\n"
               "it, one module after the other. One MAC prints \"N of M frames acknowledged\"; several MACs,\n"
               "--all (every Q2 module that answers the search) or --json print a table of module, result and\n"
               "answer. Exit 0 when every module acknowledged every frame (and, with --verify, read back as\n"
               "written).\n"
               "  --dry-run            print what would change and the frames, send nothing\n"
               "  --verify             after the restart, wait until the module answers a search again, read it\n"
               "                       back and compare every field written; each difference is reported\n"
               "  --verify-timeout MS  how long to wait for the module after the restart (default 20000)\n"
               "A field a module's write does not carry (no such block, or a setting that leaves it out) is\n"
               "named as skipped. Lists take an index or the item's English text; check boxes 0 or 1.\n"
               "Fields:\n") +
           PageFieldsHelp(TQ2Page(), Q2PageFields());
}

QString overTime() { return GetLangText(QStringLiteral("lang_Hint_OverTime")); }

// The first module answer from index on that is not an acknowledgement, or empty.
QString firstRefusal(const TCliLan &lan, int from, int count)
{
    for (int i = from; i < std::min<int>(from + count, int(lan.Answers.size())); ++i)
        if (lan.Answers[i].first != StsAck)
            return lan.Answers[i].second.trimmed();
    return {};
}

// Reads the module into page; false (and the row's result) when it did not answer.
bool readModule(TCliLan &lan, const TDeviceRow &row, TQ2Page &page, TBatchRow &r, const QString &what)
{
    lan.ForgetTemplates();
    lan.Page = &page;
    const int before = int(lan.Answers.size());
    lan.ReadRow(row);
    lan.Page = nullptr;
    if (lan.Read.Base)
        return true;
    const QString refusal = firstRefusal(lan, before, int(lan.Answers.size()) - before);
    r.Result = refusal.isEmpty() ? TFleetResult::NoAnswer : TFleetResult::Refused;
    r.Answer = (refusal.isEmpty() ? overTime().trimmed() : refusal) + what;
    if (refusal.isEmpty())
        lan.Log.AddLog(overTime(), TLogColor::Red);
    return false;
}

void verify(TCliLan &lan, const TDeviceRow &row, const TQ2Page &written, const TProfileApplied &applied,
            const TQ2RunOptions &o, TBatchRow &r, const QString &summary)
{
    if (!lan.WaitUntilAnswers(row.Mac, o.VerifyTimeoutMs)) {
        r.Result = TFleetResult::NotBack;
        r.Answer = QStringLiteral("no answer to a search within %1 ms after the restart").arg(o.VerifyTimeoutMs);
        return;
    }
    // After the restart the module checks the login it was just given.
    const QString name = LoginName, pswd = LoginPswd;
    if (applied.Written.contains(QLatin1String("UserName")))
        LoginName = written.edt_username.Text;
    if (applied.Written.contains(QLatin1String("Password")))
        LoginPswd = written.edt_password.Text;
    TQ2Page readBack;
    const bool got = readModule(lan, row, readBack, r, QStringLiteral(" (reading back)"));
    LoginName = name;
    LoginPswd = pswd;
    if (!got)
        return;
    r.Mismatches = CompareQ2Fields(written, readBack, applied.Written);
    if (r.Mismatches.isEmpty()) {
        r.Result = TFleetResult::Ok;
        r.Answer = summary + QStringLiteral("; %1 fields read back as written").arg(applied.Written.size());
    } else {
        r.Result = TFleetResult::Mismatch;
        QStringList names;
        for (const TFieldMismatch &m : r.Mismatches)
            names << m.Field;
        r.Answer = QStringLiteral("%1 of %2 fields differ after the restart: %3")
                       .arg(r.Mismatches.size())
                       .arg(applied.Written.size())
                       .arg(names.join(QLatin1String(", ")));
    }
}

void writeOne(TCliLan &lan, const TDeviceRow &row, const TQ2RunOptions &o, TBatchRow &r)
{
    TQ2Page page;
    if (!readModule(lan, row, page, r, QString()))
        return;
    const int version = RowVersion(row);
    TProfileApplied applied;
    try {
        applied = ApplyProfile(page, version, o.Profile, o.Assignments);
    } catch (const EPageFieldError &e) {
        if (o.Legacy)
            throw; // a value of the command line: a usage error, as always
        r.Result = TFleetResult::Invalid;
        r.Answer = e.Message();
        return;
    }
    r.Changes = applied.Changes;
    r.Skipped = applied.Skipped;
    if (o.Profile && o.Profile->Firmware > 0 && (o.Profile->Firmware > 4016) != (version > 4016))
        r.Note = QStringLiteral("profile saved from firmware %1; this module has %2").arg(o.Profile->Firmware).arg(version);
    if (o.Legacy)
        for (const TSkippedField &s : r.Skipped)
            Err(QStringLiteral("bexo-z0-cli: %1 is not written to this module: %2").arg(s.Name, s.Reason));

    TQ2WritePlan plan;
    // What the user named is checked even where the page hides it: its value was chosen here.
    if (QString problem; !page.ValidateQ2Page(problem, version, applied.Written)) {
        plan.Status = TQ2WriteStatus::Invalid;
        plan.Message = problem;
    } else {
        plan = PlanQ2Write(page, lan.Svr, &row);
    }
    if (plan.Status == TQ2WriteStatus::Invalid || plan.Status == TQ2WriteStatus::NotConverted) {
        r.Result = TFleetResult::Invalid;
        r.Answer = plan.Status == TQ2WriteStatus::Invalid ? plan.Message : QStringLiteral("Error: %1").arg(plan.Message);
        if (plan.Status == TQ2WriteStatus::NotConverted)
            lan.Log.AddLog(r.Answer, TLogColor::Red);
        else if (o.Legacy)
            Err(QStringLiteral("bexo-z0-cli: ") + plan.Message);
        return;
    }

    if (o.DryRun) {
        r.Result = TFleetResult::DryRun;
        r.Answer = QStringLiteral("%1 frames planned, nothing sent").arg(plan.Frames.size());
        if (!o.Legacy)
            return;
        for (const TFieldChange &c : applied.Changes)
            Out(QStringLiteral("%1: %2 -> %3").arg(c.Name, c.Old, c.New));
        for (const TPlannedFrame &f : plan.Frames) {
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

    const int before = int(lan.Answers.size());
    WriteQ2Network(page, lan.Svr, &row, lan.Log, [](int ms) { QThread::msleep(ulong(ms)); });
    const int expected = int(plan.Frames.size());
    lan.Listen(lan.Opt.WaitMs, [&] { return lan.Answers.size() - before >= expected; });
    int acks = 0;
    for (int i = before; i < std::min<int>(before + expected, int(lan.Answers.size())); ++i)
        acks += lan.Answers[i].first == StsAck;
    // Each answer is already in the log, once; the result is the count.
    const QString summary = QStringLiteral("%1 of %2 frames acknowledged").arg(acks).arg(expected);
    if (o.Legacy)
        Out(summary);
    if (acks != expected) {
        const QString refusal = firstRefusal(lan, before, expected);
        r.Result = refusal.isEmpty() ? TFleetResult::NoAnswer : TFleetResult::Refused;
        r.Answer = refusal.isEmpty() ? summary : QStringLiteral("%1 (%2)").arg(refusal, summary);
        return;
    }
    r.Result = TFleetResult::Ok;
    r.Answer = summary;
    if (!o.Verify)
        return;
    verify(lan, row, page, applied, o, r, summary);
    if (!o.Legacy)
        return;
    for (const TFieldMismatch &m : r.Mismatches)
        Out(QStringLiteral("mismatch: %1: wrote \"%2\", module has \"%3\"").arg(m.Field, m.Wanted, m.Got));
    Out(r.Result == TFleetResult::Ok ? QStringLiteral("verified: %1 fields read back as written").arg(applied.Written.size())
                                     : QStringLiteral("verify failed: ") + r.Answer);
}

} // namespace

void TakeWriteOptions(QStringList &args, TQ2RunOptions &o)
{
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
    const QList<TTarget> targets = FindTargets(lan, t, [](int model) { return model == ModelQ2; });
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
    QList<TBatchRow> rows;
    for (const TTarget &t : targets) {
        TBatchRow r;
        r.Mac = t.Row ? t.Row->Mac : SpacedMac(t.Mac);
        if (!t.Row) {
            r.Result = TFleetResult::NotFound;
            r.Answer = QStringLiteral("did not answer the search");
        } else if (t.Row->Model != ModelQ2) {
            r.IP = t.Row->IP;
            r.Result = TFleetResult::WrongModel;
            r.Answer = QStringLiteral("only Q2 modules are written over the network; use 'serial write'");
            if (o.Legacy)
                Err(QStringLiteral("bexo-z0-cli: ") + r.Answer);
        } else {
            r.IP = t.Row->IP;
            writeOne(lan, *t.Row, o, r);
        }
        rows << r;
    }
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
                        QStringLiteral("(MAC... | --all) [--dry-run] [--verify] [--verify-timeout MS] NAME=VALUE..."),
                        QStringLiteral("read Q2 modules, change the named fields and write them back, one after the "
                                       "other (write --help lists the fields)"),
                        writeCommand});

} // namespace
