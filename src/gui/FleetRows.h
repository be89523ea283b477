#pragma once
// The window's side of a run over several modules: it starts a TFleetRun over rows of lv_Dev,
// marks each module's row as worked on, shows its result in the list's result column as it
// finishes, and ends with one summary line in the operation log. One run at a time: the run gives
// answers to modules by their address, and two runs would take each other's.

#include "netconfig/FleetRun.h"

#include <QObject>
#include <QPointer>
#include <functional>

class ILogSink;
class TDeviceListModel;
class TLanSession;
struct TDeviceRow;

class TFleetRows : public QObject {
    Q_OBJECT
public:
    // All three must outlive the runs (Drop ends one early).
    TFleetRows(TLanSession &session, TDeviceListModel &model, ILogSink &log, QObject *parent = nullptr);
    ~TFleetRows() override;

    // Starts the job over the targets; action names it in the summary ("Restart: 3 of 3 modules
    // ok"). The results of the last run are cleared first. nullptr, with a red line, while a run
    // is going. The run may have ended when this returns (modules that need no network).
    TFleetRun *Start(const TFleetOptions &options, const QList<TFleetTarget> &targets, const QString &action);
    bool Running() const { return FRun && !FRun->Finished(); }
    // Another run of the window that must end first (the fleet writes and backups); may be empty.
    std::function<bool()> OtherRunning;
    TFleetRun *Current() const { return FRun; }
    // Ends the run: modules still waiting or running get their result, the summary follows.
    void Stop();
    // Ends the run without a word (the session is going).
    void Drop();

    // For the caller's own reactions, after the row shows the result and after the summary.
    std::function<void(int index, const TFleetModuleResult &result)> OnModuleFinished;
    std::function<void(const QList<TFleetModuleResult> &results)> OnFinished;

    // One target per row, in the order given.
    static QList<TFleetTarget> TargetsOf(const QList<const TDeviceRow *> &rows);
    // "Restart: 2 of 3 modules ok" in the current language; ok counts Ok and DryRun.
    static QString SummaryText(const QString &action, const QList<TFleetModuleResult> &results);
    static bool AllOk(const QList<TFleetModuleResult> &results);

private:
    TLanSession &FSession;
    TDeviceListModel &FModel;
    ILogSink &FLog;
    QPointer<TFleetRun> FRun;
};
