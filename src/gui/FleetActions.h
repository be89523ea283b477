#pragma once
// The window's writes and backups over several modules: the page's changed fields to the selected
// rows (btn_ApplySelected), File > Save profile and Apply profile, the "verify writes" option, and
// File > Back up the listed modules and Restore. Every run goes through the core's fleet engine
// without blocking the window: a dry run first (each module read, its old and new values shown in
// the preview), then the write on the user's word; each module's result goes into the log (and its
// row), with a summary line at the end.

#include "netconfig/Backup.h"
#include "netconfig/FleetRun.h"
#include "netconfig/Profile.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

class QAction;
class QPushButton;
class TFrm_FleetPreview;
class TFrm_Main;
class TFrm_SaveProfile;

class TFleetActions : public QObject {
    Q_OBJECT
public:
    // Adds the items to the window's File menu and takes its page's btn_ApplySelected.
    explicit TFleetActions(TFrm_Main &window);
    ~TFleetActions() override;
    // Follows the session's page fills; after the window's own handler (it must come first).
    void ConnectSession();

    QAction *mni_SaveProfile, *mni_ApplyProfile, *mni_VerifyWrites, *mni_BackupListed, *mni_RestoreBackup;
    QPushButton *btn_ApplySelected;

    // The dialogs' answers; each opens the real dialog while empty. Tests put in their own.
    // A file to save to or to open, a folder (empty: cancelled).
    std::function<QString(const QString &title, bool save)> ChooseFile;
    std::function<QString(const QString &title)> ChooseFolder;
    // The preview shown: true to write.
    std::function<bool(TFrm_FleetPreview &preview)> ConfirmPreview;
    std::function<bool(TFrm_SaveProfile &dialog)> ConfirmSaveProfile;
    // The waits of every run (tests make them short).
    TFleetTimes Times;
    // Called with each module's result as it comes (the list's result column follows it).
    std::function<void(const TFleetModuleResult &result)> OnModuleResult;
    // Called when a run (its dry run included) has ended.
    std::function<void()> OnRunFinished;

    // A run of these or of the list's own actions (one run at a time: answers go to modules by
    // their address).
    bool Running() const;
    bool VerifyWrites() const;
    void SetVerifyWrites(bool on);
    // Enables the controls for the page shown and the selection.
    void UpdateEnabled();
    // The page as the last read filled it (what the changes are counted from).
    const TQ2Page &ReadPage() const { return FReadPage; }

    void ApplySelected();
    void SaveProfile();
    void ApplyProfile();
    void BackUpListed();
    void Restore();
    // Ends a run without a word (the session is going).
    void Drop();
    // Texts that are not in the text table (after a language switch).
    void ApplyTexts();

private:
    enum class TKind { None, Apply, Profile, Backup, Restore };
    TFrm_Main &W;
    TQ2Page FReadPage;
    TKind FKind = TKind::None;
    bool FDry = false;
    bool FSessionGone = false; // Drop(): the window is closing
    std::unique_ptr<TProfile> FProfile;    // what the run applies
    std::unique_ptr<TProfile> FEdited;     // Apply: every changed field, identity included
    QList<TSkippedField> FLeft;           // Apply: changed fields no module gets
    QList<TFleetTarget> FTargets;
    std::unique_ptr<TRestorePlan> FPlan;
    QList<TDeviceRow> FFound;
    std::unique_ptr<TFleetRun> FRun;
    std::unique_ptr<TFleetBackup> FBackup;
    std::unique_ptr<TFleetRestore> FRestore;
    QList<TFleetModuleResult> FResults;

    QList<TDeviceRow> selectedRows() const;
    QList<TFleetTarget> q2Targets(const QList<TDeviceRow> &rows) const;
    TFleetOptions options(bool dry, bool verify) const;
    QString actionName() const;
    void startWrite(bool dry, bool verify);
    void startRestore(bool dry, bool verify);
    bool refuseWhileRunning();
    QString backupFolder();
    void markPending(const QList<TFleetTarget> &targets);
    void moduleDone(const TFleetModuleResult &r);
    void runDone();
    void previewDone();
    void release();
    void logResult(const TFleetModuleResult &r);
    void logSummary();
};
