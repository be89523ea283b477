#include "gui/FleetActions.h"

#include "core/Public.h"
#include "core/VisibleText.h"
#include "gui/DeviceListModel.h"
#include "gui/DeviceListView.h"
#include "gui/FleetRows.h"
#include "gui/Frm_FleetPreview.h"
#include "gui/MainWindow.h"
#include "gui/Q2PageView.h"
#include "lang/LangList.h"
#include "netconfig/Fleet.h"
#include "netconfig/LanSession.h"
#include "netconfig/ModelInfo.h"

#include <QAction>
#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

namespace {

QString text(const char *key) { return GetLangText(QLatin1String(key)); }

QString spacedMac(const QString &digits)
{
    QStringList pairs;
    for (int i = 0; i + 1 < digits.size(); i += 2)
        pairs << digits.mid(i, 2);
    return pairs.join(u' ');
}

bool succeeded(const TFleetModuleResult &r) { return r.Result == TFleetResult::Ok; }

} // namespace

TFleetActions::TFleetActions(TFrm_Main &window) : QObject(&window), W(window)
{
    setObjectName(QStringLiteral("FleetActions"));
    // Into the File menu, before its last separator (the one above Exit).
    QAction *before = W.mni_Exit;
    const QList<QAction *> items = W.mni_File->actions();
    for (QAction *a : items)
        if (a->isSeparator())
            before = a;
    const auto item = [&](const char *name) {
        auto *a = new QAction(QLatin1String(name), W.mni_File);
        a->setObjectName(QLatin1String(name));
        W.mni_File->insertAction(before, a);
        return a;
    };
    W.mni_File->insertSeparator(before);
    mni_SaveProfile = item("mni_SaveProfile");
    mni_ApplyProfile = item("mni_ApplyProfile");
    mni_VerifyWrites = item("mni_VerifyWrites");
    mni_VerifyWrites->setCheckable(true);
    W.mni_File->insertSeparator(before);
    mni_BackupListed = item("mni_BackupListed");
    mni_RestoreBackup = item("mni_RestoreBackup");
    btn_ApplySelected = W.Q2View->ApplySelectedButton();

    connect(mni_SaveProfile, &QAction::triggered, this, [this] { SaveProfile(); });
    connect(mni_ApplyProfile, &QAction::triggered, this, [this] { ApplyProfile(); });
    connect(mni_BackupListed, &QAction::triggered, this, [this] { BackUpListed(); });
    connect(mni_RestoreBackup, &QAction::triggered, this, [this] { Restore(); });
    connect(mni_VerifyWrites, &QAction::toggled, this, [this] { W.StoreSettingsSoon(); });
    connect(btn_ApplySelected, &QPushButton::clicked, this, [this] { ApplySelected(); });
    connect(W.lv_Dev->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { UpdateEnabled(); });
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(W.DevModel, signal, this, [this] { UpdateEnabled(); });
    connect(W.DevModel, &QAbstractItemModel::modelReset, this, [this] { UpdateEnabled(); });
    W.FleetRows->OtherRunning = [this] { return FKind != TKind::None; };
    UpdateEnabled();
}

TFleetActions::~TFleetActions() = default;

void TFleetActions::Drop()
{
    // The engine's own callbacks go first, so nothing reaches this object while it ends.
    if (FRun)
        FRun->OnModuleFinished = nullptr, FRun->OnFinished = nullptr;
    if (FBackup)
        FBackup->OnModuleFinished = nullptr, FBackup->OnFinished = nullptr;
    if (FRestore)
        FRestore->OnModuleFinished = nullptr, FRestore->OnFinished = nullptr;
    FRun.reset();
    FBackup.reset();
    FRestore.reset();
    FKind = TKind::None;
    // The list empties as the session goes; nothing here may look at the session then.
    FSessionGone = true;
    disconnect(W.DevModel, nullptr, this, nullptr);
    if (W.Session)
        disconnect(W.Session, nullptr, this, nullptr);
}

void TFleetActions::ConnectSession()
{
    // After the window's own handler has shown the fill: the page as the module sent it, read
    // back from the widgets, so that a value the widgets show differently is no change.
    connect(W.Session, &TLanSession::PageFilled, this, [this](int mode) {
        if (mode != PageQ2)
            return;
        W.Q2View->ReadModel();
        FReadPage = W.Q2Model;
        UpdateEnabled();
    });
}

bool TFleetActions::Running() const { return FKind != TKind::None || (W.FleetRows && W.FleetRows->Running()); }

bool TFleetActions::refuseWhileRunning()
{
    if (!W.Session || FSessionGone)
        return true;
    if (!Running())
        return false;
    W.AddLog(text("lang_Hint_FleetBusy"), TLogColor::Red);
    return true;
}
bool TFleetActions::VerifyWrites() const { return mni_VerifyWrites->isChecked(); }

void TFleetActions::SetVerifyWrites(bool on)
{
    const QSignalBlocker block(mni_VerifyWrites);
    mni_VerifyWrites->setChecked(on);
}

QList<TDeviceRow> TFleetActions::selectedRows() const
{
    QList<TDeviceRow> rows;
    for (int i : W.lv_Dev->SelectedRows())
        if (const TDeviceRow *r = W.DevModel->Row(i))
            rows << *r;
    return rows;
}

QList<TFleetTarget> TFleetActions::q2Targets(const QList<TDeviceRow> &rows) const
{
    QList<TFleetTarget> out;
    for (const TDeviceRow &r : rows)
        if (ModelInfo(r.Model).LanWrite)
            out.append({r.MacDigits(), r});
    return out;
}

void TFleetActions::UpdateEnabled()
{
    if (FSessionGone)
        return;
    const bool idle = !Running() && W.Session;
    const TPageBinding page = W.Session ? W.Session->PageBinding : TPageBinding{};
    const QList<TDeviceRow> selected = selectedRows();
    const bool q2Page = W.CurrentPage() == PageQ2;
    btn_ApplySelected->setEnabled(idle && q2Page && ApplyToSelectedAllowed(page, selected));
    mni_SaveProfile->setEnabled(idle && q2Page && page.Source == TPageSource::Lan && ModelInfo(page.Model).LanWrite);
    mni_ApplyProfile->setEnabled(idle && !q2Targets(selected).isEmpty());
    const bool listed = W.DevModel->rowCount() > 0;
    mni_BackupListed->setEnabled(idle && listed);
    mni_RestoreBackup->setEnabled(idle && listed);
}

TFleetOptions TFleetActions::options(bool dry, bool verify) const
{
    TFleetOptions o;
    o.Job = TFleetJob::Write;
    o.Times = Times;
    o.User = LoginName;
    o.Password = LoginPswd;
    o.DryRun = dry;
    o.Verify = verify;
    o.Profile = FProfile.get();
    return o;
}

QString TFleetActions::actionName() const
{
    switch (FKind) {
    case TKind::Apply: return text("lang_ts_ActApply");
    case TKind::Profile: return text("lang_ts_ActProfile");
    case TKind::Backup: return text("lang_ts_ActBackup");
    case TKind::Restore: return text("lang_ts_ActRestore");
    case TKind::None: break;
    }
    return {};
}

// ---- The page's changed fields ----

void TFleetActions::ApplySelected()
{
    if (refuseWhileRunning())
        return;
    W.ReadPages();
    const QList<TDeviceRow> rows = selectedRows();
    const TPageBinding page = W.Session->PageBinding;
    if (W.CurrentPage() != PageQ2 || !ApplyToSelectedAllowed(page, rows))
        return;
    FLeft.clear();
    // Every change, the identity too: the preview offers those with a tick.
    auto edited = std::make_unique<TProfile>(
        ChangedFieldsProfile(FReadPage, W.Q2Model, page.Firmware, IdentityFields(), &FLeft));
    if (edited->Fields.isEmpty()) {
        W.AddLog(text("lang_Hint_ApplyNoChange"), TLogColor::Red);
        for (const TSkippedField &s : FLeft)
            W.AddLog(text("lang_Hint_FleetSkippedLine").arg(s.Name, s.Reason), TLogColor::Red);
        return;
    }
    edited->SavedFrom = spacedMac(page.Mac);
    FEdited = std::move(edited);
    FProfile = std::make_unique<TProfile>(*FEdited);
    FTargets = q2Targets(rows);
    FKind = TKind::Apply;
    startWrite(true, false);
}

// ---- Profiles ----

void TFleetActions::SaveProfile()
{
    if (refuseWhileRunning())
        return;
    const TPageBinding page = W.Session->PageBinding;
    if (W.CurrentPage() != PageQ2 || page.Source != TPageSource::Lan || !ModelInfo(page.Model).LanWrite)
        return;
    TFrm_SaveProfile dialog(&W);
    dialog.SetModule(spacedMac(page.Mac));
    if (!(ConfirmSaveProfile ? ConfirmSaveProfile(dialog) : dialog.exec() == QDialog::Accepted))
        return;
    const QString path = ChooseFile ? ChooseFile(text("lang_Caption_SaveProfile"), true)
                                    : QFileDialog::getSaveFileName(&W, text("lang_Caption_SaveProfile"), {},
                                                                   text("lang_ts_ProfileFilter"));
    if (path.isEmpty())
        return;
    W.ReadPages();
    QList<TSkippedField> left;
    TProfile p = ProfileFromPage(W.Q2Model, page.Firmware, dialog.Options(), &left);
    p.SavedFrom = spacedMac(page.Mac);
    p.SavedAt = QDateTime::currentDateTime().toString(Qt::ISODate);
    p.Comment = dialog.Comment();
    if (p.Fields.isEmpty()) {
        W.AddLog(text("lang_Hint_FleetNoProfileField"), TLogColor::Red);
        return;
    }
    QString error;
    if (!WriteProfileFile(path, p, error)) {
        W.AddLog(error, TLogColor::Red);
        if (W.ShowMessage)
            W.ShowMessage(error);
        return;
    }
    W.AddLog(text("lang_Hint_ProfileSaved").arg(p.Fields.size()).arg(QFileInfo(path).absoluteFilePath()),
             TLogColor::Green);
    for (const TSkippedField &s : left)
        W.AddLog(text("lang_Hint_ProfileLeftOut").arg(s.Name, s.Reason), TLogColor::Maroon);
}

void TFleetActions::ApplyProfile()
{
    if (refuseWhileRunning())
        return;
    const QList<TFleetTarget> targets = q2Targets(selectedRows());
    if (targets.isEmpty()) {
        W.AddLog(text("lang_Hint_ApplyNoQ2"), TLogColor::Red);
        return;
    }
    const QString path = ChooseFile ? ChooseFile(text("lang_Caption_ChooseProfile"), false)
                                    : QFileDialog::getOpenFileName(&W, text("lang_Caption_ChooseProfile"), {},
                                                                   text("lang_ts_ProfileFilter"));
    if (path.isEmpty())
        return;
    // The whole file is checked before anything is sent.
    auto profile = std::make_unique<TProfile>();
    QString error;
    if (!ReadProfileFile(path, *profile, error)) {
        const QString line = text("lang_Hint_ProfileRefused").arg(path, error);
        W.AddLog(line, TLogColor::Red);
        if (W.ShowMessage)
            W.ShowMessage(line);
        return;
    }
    if (!SharedValueProblem(profile->FieldNames(), int(targets.size())).isEmpty()) {
        const QString line = text("lang_Hint_SharedValue").arg(targets.size());
        W.AddLog(line, TLogColor::Red);
        if (W.ShowMessage)
            W.ShowMessage(line);
        return;
    }
    FProfile = std::move(profile);
    FEdited.reset();
    FLeft.clear();
    FTargets = targets;
    FKind = TKind::Profile;
    startWrite(true, false);
}

// ---- Backup and restore ----

// The folder of a backup, chosen by the user; empty when there is nothing to do.
QString TFleetActions::backupFolder()
{
    if (refuseWhileRunning() || W.DevModel->rowCount() == 0)
        return {};
    return ChooseFolder ? ChooseFolder(text("lang_Caption_ChooseBackup"))
                        : QFileDialog::getExistingDirectory(&W, text("lang_Caption_ChooseBackup"));
}

void TFleetActions::BackUpListed()
{
    const QString folder = backupFolder();
    if (folder.isEmpty())
        return;
    QString error;
    if (!TFleetBackup::PrepareFolder(folder, error)) {
        W.AddLog(error, TLogColor::Red);
        return;
    }
    QList<TFleetTarget> targets;
    for (const TDeviceRow &r : W.Session->Devices().Rows)
        targets.append({r.MacDigits(), r});
    FKind = TKind::Backup;
    FDry = false;
    FResults.clear();
    markPending(targets);
    FBackup = std::make_unique<TFleetBackup>(*W.Session, options(false, false), folder, targets);
    FBackup->OnModuleFinished = [this](int, const TFleetModuleResult &r) { moduleDone(r); };
    FBackup->OnFinished = [this] { QTimer::singleShot(0, this, [this] { runDone(); }); };
    UpdateEnabled();
    FBackup->Start();
}

void TFleetActions::Restore()
{
    const QString folder = backupFolder();
    if (folder.isEmpty())
        return;
    auto plan = std::make_unique<TRestorePlan>(PlanRestore(folder));
    if (!plan->Problems.isEmpty()) {
        const QString line = text("lang_Hint_RestoreProblems").arg(plan->Problems.join(QStringLiteral("; ")));
        W.AddLog(line, TLogColor::Red);
        if (W.ShowMessage)
            W.ShowMessage(line);
        return;
    }
    FPlan = std::move(plan);
    FFound = W.Session->Devices().Rows;
    FProfile.reset();
    FKind = TKind::Restore;
    startRestore(true, false);
}

// ---- Runs ----

void TFleetActions::startWrite(bool dry, bool verify)
{
    FDry = dry;
    FResults.clear();
    if (!dry)
        markPending(FTargets);
    FRun = std::make_unique<TFleetRun>(*W.Session, options(dry, verify), FTargets);
    FRun->OnModuleFinished = [this](int, const TFleetModuleResult &r) { moduleDone(r); };
    // The run is freed after its last event has returned.
    FRun->OnFinished = [this] { QTimer::singleShot(0, this, [this] { runDone(); }); };
    UpdateEnabled();
    FRun->Start();
}

void TFleetActions::startRestore(bool dry, bool verify)
{
    FDry = dry;
    FResults.clear();
    if (!dry) {
        QList<TFleetTarget> listed;
        for (const TDeviceRow &r : FFound)
            if (FPlan->FileOf(r.Mac))
                listed.append({r.MacDigits(), r});
        markPending(listed);
    }
    FRestore = std::make_unique<TFleetRestore>(*W.Session, options(dry, verify), *FPlan, FFound);
    FRestore->OnModuleFinished = [this](int, const TFleetModuleResult &r) { moduleDone(r); };
    FRestore->OnFinished = [this] { QTimer::singleShot(0, this, [this] { runDone(); }); };
    UpdateEnabled();
    FRestore->Start();
}

void TFleetActions::markPending(const QList<TFleetTarget> &targets)
{
    W.DevModel->ClearResults();
    for (const TFleetTarget &t : targets)
        if (t.Row)
            W.DevModel->SetPending(t.Row->Mac);
}

void TFleetActions::moduleDone(const TFleetModuleResult &r)
{
    if (FDry)
        return;
    // The row's result column; a module without a row (a file of a restore) has only its line.
    W.DevModel->SetResult(r.Mac, r);
    logResult(r);
    if (OnModuleResult)
        OnModuleResult(r);
}

void TFleetActions::runDone()
{
    if (FRun)
        FResults = FRun->Results();
    else if (FBackup)
        FResults = FBackup->Results();
    else if (FRestore)
        FResults = FRestore->Results();
    if (FDry) {
        previewDone();
        return;
    }
    logSummary();
    if (FBackup) {
        if (!FBackup->IndexWarning().isEmpty())
            W.AddLog(FBackup->IndexWarning(), TLogColor::Maroon);
        if (!FBackup->IndexPath().isEmpty())
            W.AddLog(text("lang_Hint_BackupIndex").arg(FBackup->IndexPath()), TLogColor::Green);
        else if (!FBackup->IndexError().isEmpty())
            W.AddLog(text("lang_Hint_BackupIndexFailed").arg(FBackup->IndexError()), TLogColor::Red);
    }
    release();
    if (OnRunFinished)
        OnRunFinished();
}

void TFleetActions::previewDone()
{
    const QList<TFleetModuleResult> planned = FResults;
    const TKind kind = FKind;
    FRun.reset();
    FRestore.reset();
    TFrm_FleetPreview preview(&W);
    const QString info = kind == TKind::Restore ? text("lang_Hint_RestoreInfo") : text("lang_Hint_PreviewInfo");
    int count = 0;
    for (const TFleetModuleResult &r : planned)
        count += r.Result == TFleetResult::DryRun ? 1 : 0;
    preview.SetResults(info.arg(count), planned, FLeft, kind == TKind::Apply ? IdentityFields() : QStringList());
    preview.SetVerify(VerifyWrites());
    const bool write = ConfirmPreview ? ConfirmPreview(preview) : preview.exec() == QDialog::Accepted;
    if (!write || !preview.CanWrite()) {
        if (write)
            W.AddLog(text("lang_Hint_NothingToWrite"), TLogColor::Red);
        release();
        if (OnRunFinished)
            OnRunFinished();
        return;
    }
    const bool verify = preview.Verify();
    if (kind == TKind::Restore) {
        startRestore(false, verify);
        return;
    }
    // Only the modules the preview planned are written.
    QList<TFleetTarget> targets;
    for (int i = 0; i < planned.size() && i < FTargets.size(); ++i)
        if (planned[i].Result == TFleetResult::DryRun && !planned[i].Frames.isEmpty())
            targets.append(FTargets[i]);
    FTargets = targets;
    if (kind == TKind::Apply) {
        // The identity fields travel only when ticked.
        const QStringList ticked = preview.Ticked();
        auto p = std::make_unique<TProfile>(*FEdited);
        p->Fields.removeIf([&](const TProfileField &f) {
            return IdentityFields().contains(f.Name) && !ticked.contains(f.Name);
        });
        if (p->Fields.isEmpty()) {
            W.AddLog(text("lang_Hint_ApplyNoChange"), TLogColor::Red);
            release();
            if (OnRunFinished)
                OnRunFinished();
            return;
        }
        if (!SharedValueProblem(p->FieldNames(), int(FTargets.size())).isEmpty()) {
            const QString line = text("lang_Hint_SharedValue").arg(FTargets.size());
            W.AddLog(line, TLogColor::Red);
            if (W.ShowMessage)
                W.ShowMessage(line);
            release();
            if (OnRunFinished)
                OnRunFinished();
            return;
        }
        FProfile = std::move(p);
    }
    startWrite(false, verify);
}

void TFleetActions::release()
{
    FRun.reset();
    FBackup.reset();
    FRestore.reset();
    FKind = TKind::None;
    FDry = false;
    UpdateEnabled();
}

void TFleetActions::logResult(const TFleetModuleResult &r)
{
    const QString line = QStringLiteral("%1  %2  %3  %4")
                             .arg(r.Mac, r.IP.isEmpty() ? QStringLiteral("-") : r.IP, FleetResultText(r.Result),
                                  VisibleText(r.Answer))
                             .trimmed();
    const TLogColor color = succeeded(r) ? TLogColor::Green : TLogColor::Red;
    W.AddLog(line, color);
    if (!r.Note.isEmpty())
        W.AddLog(QStringLiteral("  ") + VisibleText(r.Note), TLogColor::Maroon);
    for (const TSkippedField &s : r.Skipped)
        W.AddLog(text("lang_Hint_FleetSkippedLine").arg(s.Name, s.Reason), TLogColor::Maroon);
    for (const TFieldMismatch &m : r.Mismatches)
        W.AddLog(text("lang_Hint_FleetMismatchLine").arg(m.Field, VisibleText(m.Wanted), VisibleText(m.Got)),
                 TLogColor::Red);
}

void TFleetActions::logSummary()
{
    W.AddLog(TFleetRows::SummaryText(actionName(), FResults),
             TFleetRows::AllOk(FResults) ? TLogColor::Green : TLogColor::Red);
}

void TFleetActions::ApplyTexts() { UpdateEnabled(); }
