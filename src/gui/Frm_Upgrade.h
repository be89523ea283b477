#pragma once
// The firmware upgrade window: the inputs of an attempt, and the attempt's status, progress and
// buttons as TUpgradeAttempt reports them. Exit is the only way out while nothing runs; while an
// attempt runs there is none. Opened for several modules, it shows its fleet view instead of the
// module's address: the options, the modules with their progress, and Stop while they run.

#include "upgrade/Upgrade.h"
#include "upgrade/UpgradeFleet.h"

#include <QByteArray>
#include <QDialog>
#include <QString>
#include <functional>

struct TAppSettings;
class ILogSink;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class TUpgradeFleetView;

class Tfrm_Upgrade : public QDialog {
    Q_OBJECT
public:
    // The three edits come from the settings the main window read.
    explicit Tfrm_Upgrade(const TAppSettings &settings, QWidget *parent = nullptr);
    ~Tfrm_Upgrade() override;

    // The device list's hand-over, then shown modally.
    void OpenFor(const QString &ip, const QString &mac, const QString &localIP, const QByteArray &searchReply);
    // Several rows: the fleet view for these modules, the local address of the first one's
    // binding, shown modally.
    void OpenForFleet(const QList<TUpFleetTarget> &modules, const QString &localIP);
    // The fleet view (true) or the window of one module; each mode keeps its own controls.
    void SetFleetMode(bool fleet);
    bool FleetMode() const { return FFleetMode; }
    // The hand-over alone: the row's IP and MAC when the IP is not empty, the local address (also
    // shown in cbbSvrIP when not empty), the row's search reply.
    void HandOver(const QString &ip, const QString &mac, const QString &localIP, const QByteArray &searchReply);
    // Captions in the current language, lbl_Info re-translated from what it shows.
    void ApplyUpgradeTexts();
    // edt_IP, edt_MAC and edt_BinFileName into UpgradeIP, UpgradeMAC and UpgradeFileName.
    void StoreSettings(TAppSettings &s) const;
    // The main window's operation log: why an attempt failed (the window itself says it too).
    void SetLog(ILogSink *log);
    // What the window shows as the reason of the last failure; empty when it shows none.
    QString ReasonShown() const;

    QString LocalIP() const { return FLocalIP; }
    QByteArray SearchReply() const { return FSearchReply; }
    bool AttemptRunning() const;
    bool FleetRunning() const;
    // Tests move its ports and times.
    TUpgradeAttempt &Attempt() { return FAttempt; }

    void btn_BrowseClick();
    void btn_ProgramClick();
    void btn_ExitClick();
    void btn_UpStopClick();
    void cbbSvrIPDropDown();

    // The fleet view looks for each module after its upgrade with the main window's search and
    // restores its factory settings through it; the main window hands every search reply and
    // every module answer back.
    std::function<void()> FleetSearch;
    std::function<bool(const QString &mac)> FleetReset;
    void FleetModuleSeen(const QString &mac, const QString &version);
    void FleetModuleAnswered(bool acknowledged, const QString &answer);
    TUpgradeFleetView *FleetView() const { return FFleetView; }

    // The file dialog of btn_Browse (parent, folder to start in) -> chosen path or empty; tests
    // replace it.
    std::function<QString(QWidget *, const QString &)> ChooseBinFile;
    // The message boxes (parent, title, text); tests replace it.
    std::function<void(QWidget *, const QString &, const QString &)> ShowMessage;

public slots:
    // Esc and the window manager's close: ignored while an attempt runs, Exit otherwise.
    void reject() override;

private:
    void showFleetSummary();
    void fleetFinished();

    TUpgradeAttempt FAttempt;
    QString FLocalIP;
    QByteArray FSearchReply;
    bool FFleetMode = false;
    TUpgradeFleetView *FFleetView;
    QPushButton *btn_UpStop;

    QLabel *lblFwUpTip;
    QLineEdit *edt_IP;
    QLineEdit *edt_MAC;
    QComboBox *cbbSvrIP;
    QLineEdit *edt_BinFileName;
    QPushButton *btn_Browse;
    QPushButton *btn_Program;
    QPushButton *btn_Exit;
    QLabel *lbl_Info;
    QProgressBar *pb1;
    QLabel *lbl_UpReason; // why the last attempt failed and what to do; hidden otherwise

    // lbl_UpReason from the attempt's failure, in the current language.
    void showReason();
};
