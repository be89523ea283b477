#include "gui/FleetRows.h"

#include "core/LogSink.h"
#include "gui/DeviceListModel.h"
#include "lang/LangList.h"
#include "netconfig/LanSession.h"

namespace {
bool isOk(const TFleetModuleResult &r) { return r.Result == TFleetResult::Ok || r.Result == TFleetResult::DryRun; }
} // namespace

TFleetRows::TFleetRows(TLanSession &session, TDeviceListModel &model, ILogSink &log, QObject *parent)
    : QObject(parent), FSession(session), FModel(model), FLog(log)
{
}

TFleetRows::~TFleetRows() { Drop(); }

QList<TFleetTarget> TFleetRows::TargetsOf(const QList<const TDeviceRow *> &rows)
{
    QList<TFleetTarget> targets;
    for (const TDeviceRow *r : rows)
        if (r)
            targets.append({r->MacDigits(), *r});
    return targets;
}

bool TFleetRows::AllOk(const QList<TFleetModuleResult> &results)
{
    return std::all_of(results.begin(), results.end(), isOk);
}

QString TFleetRows::SummaryText(const QString &action, const QList<TFleetModuleResult> &results)
{
    const auto ok = std::count_if(results.begin(), results.end(), isOk);
    return GetLangText(QStringLiteral("lang_Hint_FleetSummary"))
        .arg(action, QString::number(ok), QString::number(results.size()));
}

TFleetRun *TFleetRows::Start(const TFleetOptions &options, const QList<TFleetTarget> &targets, const QString &action)
{
    if (Running() || (OtherRunning && OtherRunning())) {
        FLog.AddLog(GetLangText(QStringLiteral("lang_Hint_FleetBusy")), TLogColor::Red);
        return nullptr;
    }
    Drop();
    FModel.ClearResults();
    auto *run = new TFleetRun(FSession, options, targets, this);
    FRun = run;
    run->OnModuleStarted = [this, run](int index) { FModel.SetPending(run->Result(index).Mac); };
    run->OnModuleFinished = [this](int index, const TFleetModuleResult &result) {
        FModel.SetResult(result.Mac, result);
        if (OnModuleFinished)
            OnModuleFinished(index, result);
    };
    run->OnFinished = [this, run, action] {
        const QList<TFleetModuleResult> results = run->Results();
        FLog.AddLog(SummaryText(action, results), AllOk(results) ? TLogColor::Green : TLogColor::Red);
        if (OnFinished)
            OnFinished(results);
        // Its results stay in the list; the run itself goes once its own code has returned.
        run->deleteLater();
    };
    // Every module to be run is marked at once, so the list shows what the run covers.
    for (const TFleetTarget &t : targets)
        if (t.Row)
            FModel.SetPending(t.Row->Mac);
    run->Start();
    return run;
}

void TFleetRows::Stop()
{
    if (Running())
        FRun->Stop();
}

void TFleetRows::Drop()
{
    if (!FRun)
        return;
    TFleetRun *run = FRun;
    FRun = nullptr;
    run->OnModuleStarted = nullptr;
    run->OnModuleFinished = nullptr;
    run->OnFinished = nullptr;
    delete run;
}
