#include "netconfig/FleetRun.h"

#include "core/ProFun.h"
#include "lang/LangList.h"
#include "netconfig/ModelInfo.h"
#include "netconfig/PageFields.h"

namespace {

QString overTime() { return GetLangText(QStringLiteral("lang_Hint_OverTime")); }

QString digits(const QString &mac) { return RemoveSpaces(mac).toUpper(); }

QString spaced(const QString &macDigits)
{
    QStringList pairs;
    for (int i = 0; i + 1 < macDigits.size(); i += 2)
        pairs << macDigits.mid(i, 2);
    return pairs.join(u' ');
}

bool isAnswer(int code) { return code == StsAck || code == StsPswdErr || code == StsOtherErr || code == StsCheckErr; }

QString joined(const QString &a, const QString &b) { return a.isEmpty() ? b : b.isEmpty() ? a : a + QStringLiteral("; ") + b; }

} // namespace

TFleetRun::TFleetRun(TLanSession &session, const TFleetOptions &options, const QList<TFleetTarget> &targets,
                     QObject *parent)
    : QObject(parent), FSession(session), FOptions(options)
{
    FOptions.Parallel = std::max(1, FOptions.Parallel);
    QHash<QString, QStringList> byIP; // the modules of the run that claim each IP
    for (const TFleetTarget &t : targets) {
        auto j = std::make_unique<TJob>();
        j->Target = t;
        j->User = FOptions.User;
        j->Password = FOptions.Password;
        j->R.Mac = t.Row ? t.Row->Mac : spaced(digits(t.Mac));
        if (t.Row) {
            j->R.IP = t.Row->IP;
            const TModuleRecord &m = FSession.RecordOf(*t.Row);
            // Its answers are told from others' by where they come from: two modules answering
            // from one address, or claiming one IP, never run at the same time.
            j->Lanes << QStringLiteral("from ") + (m.ReplyIP.isEmpty() ? t.Row->IP : m.ReplyIP)
                     << QStringLiteral("ip ") + t.Row->IP;
            byIP[t.Row->IP] << t.Row->Mac;
        }
        FByMac.insert(digits(j->R.Mac), int(FJobs.size()));
        FJobs.push_back(std::move(j));
    }
    for (auto &j : FJobs) {
        if (!j->Target.Row)
            continue;
        QStringList others = byIP.value(j->R.IP);
        others.removeAll(j->R.Mac);
        j->R.SharedWith = others;
        if (!others.isEmpty())
            j->R.Note = QStringLiteral("IP %1 is also claimed by %2: these modules were handled one after the other")
                            .arg(j->R.IP, others.join(QLatin1String(", ")));
    }
    connect(&FSession, &TLanSession::StatusReported, this, [this](const TLanStatus &s) { onStatus(s); });
    connect(&FSession, &TLanSession::ModuleAnswered, this, [this](const QString &mac) { onAnswered(mac); });
    FPoll.setInterval(std::max(1, FOptions.Times.VerifyPollMs));
    connect(&FPoll, &QTimer::timeout, this, [this] { poll(); });
}

TFleetRun::~TFleetRun()
{
    for (auto &j : FJobs)
        if (j->Step != TStep::Waiting && j->Step != TStep::Done)
            FSession.Detach(j->R.Mac);
}

const TFleetModuleResult &TFleetRun::Result(int index) const { return FJobs[size_t(index)]->R; }

QList<TFleetModuleResult> TFleetRun::Results() const
{
    QList<TFleetModuleResult> out;
    for (const auto &j : FJobs)
        out << j->R;
    return out;
}

TModuleRecord *TFleetRun::record(TJob &j) { return FSession.Record(j.R.Mac); }

void TFleetRun::arm(TJob &j, int ms, std::function<void()> then)
{
    if (!j.Timer) {
        j.Timer = new QTimer(this);
        j.Timer->setSingleShot(true);
    }
    j.Timer->disconnect();
    j.Timer->stop();
    connect(j.Timer, &QTimer::timeout, this, std::move(then));
    j.Timer->start(std::max(0, ms));
}

void TFleetRun::Start()
{
    if (FStarted)
        return;
    FStarted = true;
    FClock.start();
    // First every result that needs no network, then the first modules: none of those starts.
    FScheduling = true;
    for (int i = 0; i < Count(); ++i) {
        TJob &j = *FJobs[size_t(i)];
        if (!j.Target.Row) {
            j.R.Result = TFleetResult::NotFound;
            j.R.Answer = QStringLiteral("did not answer the search");
        } else {
            const TModelInfo &m = ModelInfo(j.Target.Row->Model);
            const TFleetJob job = FOptions.Job;
            if (job == TFleetJob::Write && !m.LanWrite) {
                j.R.Result = TFleetResult::WrongModel;
                j.R.Answer = QStringLiteral("only Q2 modules are written over the network; use 'serial write'");
            } else if (job == TFleetJob::Reset && !m.LanReset) {
                j.R.Result = TFleetResult::WrongModel;
                j.R.Answer = QStringLiteral("factory settings are not available for a module of this model");
            } else if (job == TFleetJob::Read && !m.OnLan()) {
                j.R.Result = TFleetResult::WrongModel;
                j.R.Answer = GetLangText(QStringLiteral("lang_Hint_VerIncompatible")).trimmed();
            } else {
                continue;
            }
        }
        finish(i);
    }
    FScheduling = false;
    schedule();
    if (Finished() && !FFinishedSaid) {
        FFinishedSaid = true;
        if (OnFinished)
            OnFinished();
    }
}

void TFleetRun::Stop()
{
    if (!FStarted || Finished())
        return;
    FStopped = true;
    for (int i = 0; i < Count(); ++i) {
        TJob &j = *FJobs[size_t(i)];
        if (j.Step == TStep::Done)
            continue;
        j.R.Result = TFleetResult::NoAnswer;
        j.R.Answer = j.Step == TStep::Waiting ? QStringLiteral("not started: the run was stopped")
                                             : QStringLiteral("stopped before the module was done");
        finish(i);
    }
}

void TFleetRun::schedule()
{
    if (FStopped || FScheduling)
        return;
    // Starting a module may end it at once (nothing could be sent); one pass at a time, in target
    // order, and another pass while passes end modules.
    FScheduling = true;
    int done = -1;
    while (done != FDone) {
        done = FDone;
        for (int i = 0; i < Count() && FRunning < FOptions.Parallel; ++i) {
            TJob &j = *FJobs[size_t(i)];
            if (j.Step != TStep::Waiting)
                continue;
            const bool free =
                std::none_of(j.Lanes.begin(), j.Lanes.end(), [&](const QString &l) { return FBusy.contains(l); });
            if (free)
                begin(i);
        }
    }
    FScheduling = false;
}

void TFleetRun::begin(int index)
{
    TJob &j = *FJobs[size_t(index)];
    for (const QString &l : j.Lanes)
        FBusy.insert(l);
    ++FRunning;
    FMostAtOnce = std::max(FMostAtOnce, FRunning);
    j.Step = TStep::Reading; // anything but Waiting; the step itself follows
    if (OnModuleStarted)
        OnModuleStarted(index);
    switch (FOptions.Job) {
    case TFleetJob::Read:
    case TFleetJob::Write: startRead(index, false); break;
    case TFleetJob::Restart:
    case TFleetJob::Reset: startCommand(index); break;
    }
}

void TFleetRun::finish(int index)
{
    TJob &j = *FJobs[size_t(index)];
    if (j.Step == TStep::Done)
        return;
    const bool wasRunning = j.Step != TStep::Waiting;
    if (j.Timer)
        j.Timer->stop();
    if (wasRunning) {
        FSession.Detach(j.R.Mac);
        --FRunning;
        for (const QString &l : j.Lanes)
            FBusy.remove(l);
    }
    j.Step = TStep::Done;
    ++FDone;
    // What is left of a module is its result; its pages go (a read hands its page on). The timer
    // may be the one whose signal runs now.
    if (j.Timer) {
        j.Timer->disconnect();
        j.Timer->deleteLater();
        j.Timer = nullptr;
    }
    if (FOptions.Job == TFleetJob::Read && j.Page && j.R.Result == TFleetResult::Ok)
        j.R.Page = std::shared_ptr<TQ2Page>(j.Page.release());
    j.Page.reset();
    j.ReadBack.reset();
    j.Plan = {};
    j.Read = {};
    if (OnModuleFinished)
        OnModuleFinished(index, j.R);
    if (!FStarted)
        return;
    schedule();
    if (Finished() && !FFinishedSaid) {
        FFinishedSaid = true;
        FPoll.stop();
        if (OnFinished)
            OnFinished();
    }
}

int TFleetRun::runningFor(const QString &mac) const
{
    const int i = FByMac.value(digits(mac), -1);
    return i >= 0 && expectsAnswers(*FJobs[size_t(i)]) ? i : -1;
}

bool TFleetRun::expectsAnswers(const TJob &j) const
{
    switch (j.Step) {
    case TStep::Reading:
    case TStep::Sending:
    case TStep::AwaitAcks:
    case TStep::ReadingBack:
    case TStep::Commanding: return true;
    default: return false;
    }
}

void TFleetRun::onStatus(const TLanStatus &s)
{
    if (!isAnswer(s.Code) || s.PeerIP.isEmpty())
        return;
    int index = -1;
    if (s.BySender) {
        index = runningFor(s.Mac);
    } else {
        // From an address no module answered a search from: only a module alone in waiting for
        // answers can be meant.
        for (int i = 0; i < Count(); ++i)
            if (expectsAnswers(*FJobs[size_t(i)])) {
                if (index >= 0)
                    return;
                index = i;
            }
    }
    if (index < 0)
        return;
    TJob &j = *FJobs[size_t(index)];
    j.Codes << s.Code;
    j.R.Answers << s.Reaction.Line;
    if (j.Step == TStep::AwaitAcks && j.Codes.size() - j.AnswersAtSend >= j.Plan.Frames.size())
        acksDone(index);
    else if (j.Step == TStep::Commanding)
        commandDone(index);
}

QString TFleetRun::firstRefusal(const TJob &j, int from, int count) const
{
    for (int i = from; i < std::min<int>(from + count, int(j.Codes.size())); ++i)
        if (j.Codes[i] != StsAck)
            return j.R.Answers[i].trimmed();
    return {};
}

// ---- Reading (and reading back) ----

void TFleetRun::startRead(int index, bool back)
{
    TJob &j = *FJobs[size_t(index)];
    TModuleRecord *m = record(j);
    j.Step = back ? TStep::ReadingBack : TStep::Reading;
    std::unique_ptr<TQ2Page> &page = back ? j.ReadBack : j.Page;
    page = std::make_unique<TQ2Page>();
    // The Modbus groups show only with the module's own blocks.
    page->HideModbusGroups();
    j.Read = {};
    j.ReadFrom = int(j.Codes.size());
    FSession.Attach(j.R.Mac, page.get(), &j.Read);
    if (m)
        FSession.SendRead(*m, j.User, j.Password);
    arm(j, FOptions.Times.AnswerWaitMs, [this, index, back] { readDone(index, back); });
}

void TFleetRun::readDone(int index, bool back)
{
    TJob &j = *FJobs[size_t(index)];
    FSession.Detach(j.R.Mac);
    if (!j.Read.Base) {
        const QString refusal = firstRefusal(j, j.ReadFrom, int(j.Codes.size()) - j.ReadFrom);
        j.R.Result = refusal.isEmpty() ? TFleetResult::NoAnswer : TFleetResult::Refused;
        j.R.Answer = (refusal.isEmpty() ? overTime().trimmed() : refusal) +
                     (back ? QStringLiteral(" (reading back)") : QString());
        if (refusal.isEmpty())
            FSession.Log().AddLog(overTime(), TLogColor::Red);
        finish(index);
        return;
    }
    if (back) {
        j.R.Mismatches = CompareQ2Fields(*j.Page, *j.ReadBack, j.Applied.Written);
        if (j.R.Mismatches.isEmpty()) {
            j.R.Result = TFleetResult::Ok;
            j.R.Verified = true;
            j.R.Answer = j.R.Summary + QStringLiteral("; %1 fields read back as written").arg(j.Applied.Written.size());
        } else {
            j.R.Result = TFleetResult::Mismatch;
            QStringList names;
            for (const TFieldMismatch &x : j.R.Mismatches)
                names << x.Field;
            j.R.Answer = QStringLiteral("%1 of %2 fields differ after the restart: %3")
                             .arg(j.R.Mismatches.size())
                             .arg(j.Applied.Written.size())
                             .arg(names.join(QLatin1String(", ")));
        }
        finish(index);
        return;
    }
    if (FOptions.Job == TFleetJob::Read) {
        j.R.Result = TFleetResult::Ok;
        j.R.Answer = (GetLangText(QStringLiteral("lang_ts_Read")) + GetLangText(QStringLiteral("lang_ts_OK"))).trimmed();
        j.R.Read = j.Read;
        finish(index);
        return;
    }

    TModuleRecord *m = record(j);
    const int version = m ? m->Version : RowVersion(*j.Target.Row);
    const TProfile *p = j.Target.Profile ? j.Target.Profile : FOptions.Profile;
    try {
        j.Applied = ApplyProfile(*j.Page, version, p, FOptions.Assignments);
    } catch (const EPageFieldError &e) {
        j.R.Result = TFleetResult::Invalid;
        j.R.Answer = e.Message();
        j.R.BadValue = true;
        finish(index);
        return;
    }
    j.R.Changes = j.Applied.Changes;
    j.R.Skipped = j.Applied.Skipped;
    j.R.Written = j.Applied.Written;
    const TModelInfo &q2 = ModelInfo(ModelQ2);
    if (p && p->Firmware > 0 && q2.HasHeartHttpd(p->Firmware) != q2.HasHeartHttpd(version))
        j.R.Note = joined(QStringLiteral("profile saved from firmware %1; this module has %2").arg(p->Firmware).arg(version),
                          j.R.Note);

    // What the user named is checked even where the page hides it: its value was chosen here.
    if (QString problem; !j.Page->ValidateQ2Page(problem, version, j.Applied.Written)) {
        j.Plan = {};
        j.Plan.Status = TQ2WriteStatus::Invalid;
        j.Plan.Message = problem;
    } else {
        j.Plan = PlanQ2Write(*j.Page, m, FOptions.Times.BlockPauseMs, FOptions.Times.RestartPauseMs);
    }
    if (j.Plan.Status == TQ2WriteStatus::Invalid || j.Plan.Status == TQ2WriteStatus::NotConverted ||
        j.Plan.Status == TQ2WriteStatus::NoRow) {
        j.R.Result = TFleetResult::Invalid;
        j.R.Answer = j.Plan.Status == TQ2WriteStatus::NotConverted ? QStringLiteral("Error: %1").arg(j.Plan.Message)
                                                                   : j.Plan.Message;
        if (j.Plan.Status == TQ2WriteStatus::NotConverted)
            FSession.Log().AddLog(j.R.Answer, TLogColor::Red);
        finish(index);
        return;
    }
    j.R.Frames = j.Plan.Frames;
    if (FOptions.DryRun) {
        j.R.Result = TFleetResult::DryRun;
        j.R.Answer = QStringLiteral("%1 frames planned, nothing sent").arg(j.Plan.Frames.size());
        finish(index);
        return;
    }
    KeepPlanTemplates(j.Plan, *m);
    j.AnswersAtSend = int(j.Codes.size());
    j.Frame = 0;
    j.Step = TStep::Sending;
    sendFrames(index);
}

// ---- Writing ----

void TFleetRun::sendFrames(int index)
{
    TJob &j = *FJobs[size_t(index)];
    TModuleRecord *m = record(j);
    const int n = int(j.Plan.Frames.size());
    while (j.Frame < n) {
        const TPlannedFrame &f = j.Plan.Frames[j.Frame++];
        if (m)
            FSession.Commanded(*m);
        SendPlannedFrame(FSession.Svr(), f, j.User, j.Password);
        if (f.PauseAfterMs > 0 && j.Frame < n) {
            arm(j, f.PauseAfterMs, [this, index] { sendFrames(index); });
            return;
        }
    }
    j.Step = TStep::AwaitAcks;
    if (j.Codes.size() - j.AnswersAtSend >= n) {
        acksDone(index);
        return;
    }
    arm(j, FOptions.Times.AnswerWaitMs, [this, index] { acksDone(index); });
}

void TFleetRun::acksDone(int index)
{
    TJob &j = *FJobs[size_t(index)];
    const int expected = int(j.Plan.Frames.size());
    int acks = 0;
    for (int i = j.AnswersAtSend; i < std::min<int>(j.AnswersAtSend + expected, int(j.Codes.size())); ++i)
        acks += j.Codes[i] == StsAck;
    j.R.Acks = acks;
    j.R.Summary = QStringLiteral("%1 of %2 frames acknowledged").arg(acks).arg(expected);
    if (acks != expected) {
        const QString refusal = firstRefusal(j, j.AnswersAtSend, expected);
        j.R.Result = refusal.isEmpty() ? TFleetResult::NoAnswer : TFleetResult::Refused;
        j.R.Answer = refusal.isEmpty() ? j.R.Summary : QStringLiteral("%1 (%2)").arg(refusal, j.R.Summary);
        finish(index);
        return;
    }
    j.R.Result = TFleetResult::Ok;
    j.R.Answer = j.R.Summary;
    if (!FOptions.Verify) {
        finish(index);
        return;
    }
    waitBack(index);
}

// ---- Verifying ----

void TFleetRun::waitBack(int index)
{
    TJob &j = *FJobs[size_t(index)];
    j.Step = TStep::AwaitBack;
    // After the restart the module checks the login it was just given.
    if (j.Applied.Written.contains(QLatin1String("UserName")))
        j.User = j.Page->edt_username.Text;
    if (j.Applied.Written.contains(QLatin1String("Password")))
        j.Password = j.Page->edt_password.Text;
    const int timeout = FOptions.Times.VerifyTimeoutMs;
    arm(j, timeout, [this, index, timeout] {
        TJob &w = *FJobs[size_t(index)];
        w.R.Result = TFleetResult::NotBack;
        w.R.Answer = QStringLiteral("no answer to a search within %1 ms after the restart").arg(timeout);
        finish(index);
    });
    if (timeout > 0 && !FPoll.isActive()) {
        poll();
        FPoll.start();
    }
}

void TFleetRun::poll()
{
    // One search for every module waited for: the broadcast, and a search to the address of each
    // module found by address (and to the IP it was given, where it comes back).
    bool waiting = false, broadcast = false;
    QList<quint32> addresses;
    const auto add = [&](const QString &ip) {
        quint32 a = 0;
        if (ParseAddress(ip, a) && !addresses.contains(a))
            addresses << a;
    };
    for (const auto &j : FJobs) {
        if (j->Step != TStep::AwaitBack)
            continue;
        waiting = true;
        const TModuleRecord *m = FSession.Record(j->R.Mac);
        if (!m || m->SendTo.isEmpty()) {
            broadcast = true;
            continue;
        }
        add(m->SendTo);
        if (j->Page && j->Applied.Written.contains(QLatin1String("StaticIP")))
            add(j->Page->edt_StaticIP.Text);
    }
    if (!waiting || FStopped) {
        FPoll.stop();
        return;
    }
    if (broadcast)
        FSession.Search(false);
    if (!addresses.isEmpty() && !FSession.SearchingAddresses())
        FSession.SearchAddresses(addresses, false, true);
}

void TFleetRun::onAnswered(const QString &mac)
{
    const int i = FByMac.value(digits(mac), -1);
    if (i >= 0 && FJobs[size_t(i)]->Step == TStep::AwaitBack)
        startRead(i, true);
}

// ---- Restart and reset ----

void TFleetRun::startCommand(int index)
{
    TJob &j = *FJobs[size_t(index)];
    j.Step = TStep::Commanding;
    TModuleRecord *m = record(j);
    const bool reset = FOptions.Job == TFleetJob::Reset;
    j.ReadFrom = int(j.Codes.size());
    const bool sent = m && (reset ? FSession.Send(*m, CmdFactory, {}, true, j.User, j.Password)
                                  : FSession.Send(*m, CmdRestart, {}, false, j.User, j.Password));
    if (!sent) {
        j.R.Result = TFleetResult::NoAnswer;
        j.R.Answer = QStringLiteral("the command could not be sent");
        finish(index);
        return;
    }
    arm(j, FOptions.Times.AnswerWaitMs, [this, index] { commandDone(index); });
}

void TFleetRun::commandDone(int index)
{
    TJob &j = *FJobs[size_t(index)];
    if (j.Codes.size() <= j.ReadFrom) {
        j.R.Result = TFleetResult::NoAnswer;
        j.R.Answer = overTime().trimmed();
    } else {
        // The first answer is the result (with the checksum a check error names).
        j.R.Result = j.Codes[j.ReadFrom] == StsAck ? TFleetResult::Ok : TFleetResult::Refused;
        j.R.Answer = j.R.Answers[j.ReadFrom].trimmed();
    }
    finish(index);
}
