#pragma once
// TFrm_Main, the hub of the program: it owns the LAN session (with the endpoint), the serial port
// component and the page models, wires the regions (search column, log panes, parameter area) together, and runs the
// menus, the device actions and the page modes. Each region keeps its own widgets in its own file.

#include "core/LogSink.h"
#include "core/Public.h"
#include "core/Settings.h"
#include "netconfig/FleetRun.h"
#include "netconfig/PageBinding.h"
#include "netconfig/Q1Page.h"
#include "netconfig/Q2Page.h"
#include "upgrade/UpgradeFleet.h"

#include <QMainWindow>
#include <QTimer>
#include <functional>
#include <memory>

class QAction;
class QMenu;
class QUrl;
class TComm;
class TDeviceListModel;
class TDeviceListView;
class TFleetActions;
class TFleetRows;
class TKeepSearch;
class TLogPanes;
class TParamArea;
class TQ1PageView;
class TQ2PageView;
class TSearchColumn;
class TSerialTab;
class TLanSession;
class TUdpSvr;
struct TDeviceRow;
struct TLanStatus;

// The page mode that lays the window out once, at creation.
constexpr int PageLayout = -1;

class TFrm_Main : public QMainWindow, public ILogSink {
    Q_OBJECT
public:
    // The dialogs are reached through these; each is skipped while empty.
    struct THooks {
        std::function<void()> OpenLogin;
        std::function<void()> OpenAbout;
        // The selected row's IP and MAC (12 digits; both empty without a selection), the local IP of
        // the binding the row was found on, and the row's own search reply.
        std::function<void(const QString &ip, const QString &mac, const QString &localIP,
                           const QByteArray &searchReply)>
            OpenUpgrade;
        // Several rows selected: their modules (IP, MAC as 12 digits, firmware version) and the
        // local IP of the binding the first of them was found on.
        std::function<void(const QList<TUpFleetTarget> &modules, const QString &localIP)> OpenFleetUpgrade;
        // Every search reply, and every module's answer to a command (with its log line): the fleet
        // view looks for its modules after their upgrade with them.
        std::function<void(const QString &mac, const QString &version)> SearchReplySeen;
        std::function<void(int code, const QString &line)> ModuleAnswered;
        // Runs after ApplyMainTexts on every language switch.
        std::function<void()> ApplyDialogTexts;
        // At close: the upgrade window's IP, MAC and file name and the credentials into the settings.
        std::function<void(TAppSettings &)> StoreDialogSettings;
    };

    explicit TFrm_Main(QWidget *parent = nullptr);
    ~TFrm_Main() override;

    THooks Hooks;
    // A message box (port in use, export). Tests put in their own so nothing waits on a modal box.
    std::function<void(const QString &text)> ShowMessage;
    // Opens an address with the desktop's default handler.
    std::function<bool(const QUrl &url)> OpenUrl;
    // The pauses of the network write: a plain sleep that handles no events, so the module's answers
    // are logged after the whole sequence. Tests put in one that returns at once.
    std::function<void(int ms)> Pause;
    // A yes-or-no question (an action on several modules); true for yes. Tests put in their own.
    std::function<bool(const QString &text)> Confirm;
    // The waits of the actions on several modules; tests make them short.
    TFleetTimes FleetTimes;

    // The page models; the page views show and read them.
    TQ2Page Q2Model;
    TQ1Page Q1Model;
    // What filled the Q1 page (module, serial line): a save goes only there. The Q2 page's is the
    // session's (Session->PageBinding), set by the LAN reads and by the serial tab.
    TPageBinding Q1Binding;

    // The LAN session, with the one endpoint of the program (both freed at close), and the serial
    // port component.
    TLanSession *Session = nullptr;
    TUdpSvr *UdpSvr = nullptr;
    std::unique_ptr<TComm> cm1;
    // The COM tab and the serial buttons; declared after cm1 and the models, so it goes first.
    std::unique_ptr<TSerialTab> SerialTab;
    // What Cfg.ini said at start; written back, updated, when a setting changes and at close.
    TAppSettings Settings;
    // The settings as the window and its dialogs hold them now.
    TAppSettings CurrentSettings() const;
    // Writes the settings that changed since the last write; a refused write is a red line in the
    // operation log. False when it was refused.
    bool StoreSettings();
    // The same a moment later, so that a burst of changes makes one write.
    void StoreSettingsSoon();
    static constexpr int StoreSettingsDelayMs = 300;

    // Regions.
    TSearchColumn *rzpgcntrl_Srch;
    TLogPanes *rzpgcntrl_Logs;
    TParamArea *rzpgcntrl_Param;
    TDeviceListModel *DevModel;
    TDeviceListView *lv_Dev;
    // Runs over several rows, their results in lv_Dev's result column.
    TFleetRows *FleetRows = nullptr;
    // The repeated search of chk_KeepSearch.
    TKeepSearch *KeepSearch = nullptr;
    // The two parameter pages, views of Q1Model and Q2Model.
    TQ1PageView *Q1View;
    TQ2PageView *Q2View;
    // The writes and backups over several modules (File menu items, btn_ApplySelected).
    TFleetActions *Fleet = nullptr;

    // Menu items.
    QMenu *mni_File, *mni_Lang, *mni_Help;
    QAction *mni_Pswd, *mniExporDevs, *mni_Exit, *mni_Cn, *mni_En, *mni_About, *mni_Hint, *mni_Up, *mni_WorkOrder;
    QAction *mni_OpenWeb, *mni_Restart, *mni_FirmwareUp, *mni_Reset, *mni_CopyTheMac, *mni_CopeAllMac;

    // The two panes.
    void AddLog(const QString &text, TLogColor color) override;
    void AddHex(const QString &text, TLogColor color) override;

    // Page modes: PageLayout, PageNone, PageQ1, PageQ2; any other value does nothing.
    void ShowPage(int mode);
    int CurrentPage() const { return FPage; }
    // Every popup item to value, the two copy-MAC items enabled in any case.
    void SetPopupItemsEnabled(bool value);
    // Texts of the main window in the current language.
    void ApplyMainTexts();
    void SwitchLanguage(bool chinese);
    bool HintsShown() const { return FHintsShown; }
    void SetHintsShown(bool on);

    // The page views copy the models into their widgets here (after a model changed)...
    void RefreshPages();
    // ...and their widgets back into the models here (before a rule reads a model).
    void ReadPages();

    // The selected row of lv_Dev, or nullptr (also when several rows are selected).
    const TDeviceRow *SelectedDevice() const;
    // A search that keeps the list (new modules are added), for the fleet view's look after an
    // upgrade; and the factory reset of the row with this MAC (false when it is not listed).
    void SearchAgain();
    bool ResetModule(const QString &mac);
    // Where the device list is exported.
    QString ExportFolder() const;
    void ExportDevices();

    // Handlers, named after the control and event.
    void FormCreate();
    void FormClose();
    void rzpgcntrl_SrchTabClick();
    // The buttons of the window share this, told apart by objectName.
    void btn_Click(QObject *button);
    // btn_Q2NetSet: the Q2 page written to the selected module over the network.
    void SaveQ2Network();
    void lv_DevClick();
    void pm_NetDevPopup();
    // The popup for several selected rows: nothing is read, only the actions on several modules
    // (the firmware upgrade, copying every MAC) are offered.
    void PopupForSeveral(const QPoint &globalPos);
    void mni_LvRightMmClick(QAction *item);
    // Restart, factory settings or copying the MACs of the selected rows (several of them): the
    // first two after a confirmation that names the action and the number of modules.
    void ActOnSeveral(QAction *item);
    // One search as the Search button sends it: to the addresses of edt_SearchRange when it is
    // filled, else the broadcast. A list the parser refuses is a red line and nothing is sent
    // (false).
    bool SearchOnce(bool clearList);
    // chk_KeepSearch ticked or unticked.
    void KeepSearchToggled(bool on);
    void mni_MenuClick(QAction *item);

    // The session's status reports: the window's part of the reaction (the log line is written).
    void UdpStatus(const TLanStatus &status);

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    int FPage = PageNone;
    bool FHintsShown = true;
    bool FClosed = false;
    QByteArray FUpgradeReply; // the search reply handed to the upgrade window (CurSearchReply)
    TAppSettings FWritten;    // what Cfg.ini was last given
    QTimer FStoreTimer;

    void buildMenus();
    void buildLayout();
    void connectSession();
    void applySettings();
    void fitWidth();
    void keepOnScreen();
    int leftOffset();
};
