// TFrm_Main's device actions: the list's clicks and popup, the main menu, the export, and the
// endpoint's events. Every rule they follow is the core's; this file only calls it.
#include "gui/MainWindow.h"

#include "core/AppPaths.h"
#include "core/ProFun.h"
#include "gui/Accessibility.h"
#include "gui/DeviceListModel.h"
#include "gui/DeviceListView.h"
#include "gui/FleetRows.h"
#include "gui/LogPanes.h"
#include "lang/LangList.h"
#include "netconfig/DeviceList.h"
#include "netconfig/LanSession.h"
#include "netconfig/UdpSvr.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QMenu>
#include <QTimer>
#include <QUrl>

// ---- Device list ----

const TDeviceRow *TFrm_Main::SelectedDevice() const { return DevModel->Row(lv_Dev->SelectedRow()); }

void TFrm_Main::lv_DevClick()
{
    const TDeviceRow *row = SelectedDevice();
    if (!row || !Session) {
        ShowPage(PageNone);
        return;
    }
    // The session hides the Modbus groups of a Q2 page, reads, and closes the page for a module
    // of no known model.
    Session->Read(*row);
}

void TFrm_Main::pm_NetDevPopup() { lv_DevClick(); }

void TFrm_Main::PopupForSeveral(const QPoint &globalPos)
{
    QList<std::pair<QAction *, bool>> kept;
    for (QAction *a : lv_Dev->PopupItems())
        kept.append({a, a->isEnabled()});
    // The web page is one module's; everything else serves the selected modules together.
    mni_OpenWeb->setEnabled(false);
    for (QAction *a : {mni_Restart, mni_Reset, mni_FirmwareUp, mni_CopyTheMac, mni_CopeAllMac})
        a->setEnabled(true);
    // Back to the page's items once the chosen one has run (it runs after the menu hides).
    connect(
        lv_Dev->Popup(), &QMenu::aboutToHide, this,
        [this, kept] {
            QTimer::singleShot(0, this, [kept] {
                for (const auto &[a, on] : kept)
                    a->setEnabled(on);
            });
        },
        Qt::SingleShotConnection);
    lv_Dev->Popup()->popup(globalPos);
}

void TFrm_Main::SearchAgain()
{
    // The list stays; a module that answers has its record brought up to date.
    if (Session)
        Session->Search(false);
}

bool TFrm_Main::ResetModule(const QString &mac)
{
    if (!Session)
        return false;
    const QString digits = RemoveSpaces(mac).toUpper();
    for (int r = 0; r < DevModel->rowCount(); ++r)
        if (const TDeviceRow *row = DevModel->Row(r); row && row->MacDigits() == digits)
            return Session->Reset(*row);
    return false;
}

void TFrm_Main::mni_LvRightMmClick(QAction *item)
{
    const QString name = item ? item->objectName() : QString();
    const TDeviceRow *row = SelectedDevice();
    if (name == QLatin1String("mni_CopeAllMac")) {
        if (DevModel->rowCount() > 0)
            QGuiApplication::clipboard()->setText(AllMacsText(DevModel->List()));
        return;
    }
    if (lv_Dev->SelectedRows().size() > 1 &&
        (name == QLatin1String("mni_Restart") || name == QLatin1String("mni_Reset") ||
         name == QLatin1String("mni_CopyTheMac"))) {
        ActOnSeveral(item);
        return;
    }
    if (name == QLatin1String("mni_FirmwareUp") && lv_Dev->SelectedRows().size() > 1) {
        QList<TUpFleetTarget> modules;
        QString localIP;
        for (int r : lv_Dev->SelectedRows()) {
            const TDeviceRow *m = DevModel->Row(r);
            if (!m)
                continue;
            if (modules.isEmpty() && UdpSvr)
                localIP = UdpSvr->BindingIP(m->BindingIndex);
            modules.append({m->IP, m->MacDigits(), m->Version});
        }
        if (Hooks.OpenFleetUpgrade)
            Hooks.OpenFleetUpgrade(modules, localIP);
        return;
    }
    if (name == QLatin1String("mni_FirmwareUp")) {
        QString ip, mac, localIP;
        if (row) {
            // A copy of the row's own reply: the list may grow while the upgrade window is open.
            FUpgradeReply = row->SearchReply;
            CurSearchReply = &FUpgradeReply;
            ip = row->IP;
            mac = row->MacDigits();
            localIP = UdpSvr ? UdpSvr->BindingIP(row->BindingIndex) : QString();
        } else {
            FUpgradeReply.clear();
            CurSearchReply = nullptr;
        }
        if (Hooks.OpenUpgrade)
            Hooks.OpenUpgrade(ip, mac, localIP, FUpgradeReply);
        return;
    }
    if (!row || !Session) {
        ShowPage(PageNone);
        return;
    }
    if (name == QLatin1String("mni_OpenWeb")) {
        // No ARP cache to empty first here: the system resolves the module's address afresh.
        ReadPages();
        if (OpenUrl)
            OpenUrl(QUrl(WebAddress(*row, Q2Model.edt_HTTPServerPort.Text)));
    } else if (name == QLatin1String("mni_Restart")) {
        Session->Restart(*row);
    } else if (name == QLatin1String("mni_Reset")) {
        Session->Reset(*row);
    } else if (name == QLatin1String("mni_CopyTheMac")) {
        QGuiApplication::clipboard()->setText(row->Mac);
    }
}

void TFrm_Main::ActOnSeveral(QAction *item)
{
    const QString name = item ? item->objectName() : QString();
    QList<const TDeviceRow *> rows;
    for (int r : lv_Dev->SelectedRows())
        if (const TDeviceRow *row = DevModel->Row(r))
            rows << row;
    if (rows.isEmpty() || !Session)
        return;
    if (name == QLatin1String("mni_CopyTheMac")) {
        QStringList macs;
        for (const TDeviceRow *r : rows)
            macs << r->Mac;
        QGuiApplication::clipboard()->setText(macs.join(QStringLiteral("\r\n")));
        return;
    }
    const bool reset = name == QLatin1String("mni_Reset");
    if (!reset && name != QLatin1String("mni_Restart"))
        return;
    const QString action =
        SpokenText(GetLangText(reset ? QStringLiteral("lang_mni_Reset") : QStringLiteral("lang_mni_Restart")));
    // Several modules are never restarted or reset on one click alone.
    if (!Confirm ||
        !Confirm(GetLangText(QStringLiteral("lang_Hint_FleetConfirm")).arg(action, QString::number(rows.size()))))
        return;
    TFleetOptions options;
    options.Job = reset ? TFleetJob::Reset : TFleetJob::Restart;
    options.Times = FleetTimes;
    options.User = LoginName;
    options.Password = LoginPswd;
    FleetRows->Start(options, TFleetRows::TargetsOf(rows), action);
}

QString TFrm_Main::ExportFolder() const { return ::ExportFolder(); }

void TFrm_Main::ExportDevices()
{
    if (DevModel->rowCount() == 0)
        return;
    QString path;
    try {
        path = ::ExportDevices(DevModel->List(), ExportFolder(), QDateTime::currentDateTime());
    } catch (const EExportError &e) {
        AddLog(e.Message(), TLogColor::Red);
        if (ShowMessage)
            ShowMessage(e.Message());
        return;
    }
    path = QDir::toNativeSeparators(path);
    AddLogInfo(path);
    if (ShowMessage)
        ShowMessage(path);
}

void TFrm_Main::mni_MenuClick(QAction *item)
{
    const QString name = item ? item->objectName() : QString();
    if (name == QLatin1String("mni_Pswd")) {
        if (Hooks.OpenLogin)
            Hooks.OpenLogin();
    } else if (name == QLatin1String("mni_About")) {
        if (Hooks.OpenAbout)
            Hooks.OpenAbout();
    } else if (name == QLatin1String("mniExporDevs")) {
        ExportDevices();
    } else if (name == QLatin1String("mni_Exit")) {
        close();
    } else if (name == QLatin1String("mni_Cn") || name == QLatin1String("mni_En")) {
        SwitchLanguage(name == QLatin1String("mni_Cn"));
    } else if (name == QLatin1String("mni_Hint")) {
        SetHintsShown(mni_Hint->isChecked());
    } else if (name == QLatin1String("mni_Up")) {
        if (OpenUrl)
            OpenUrl(QUrl(GetLangText(QStringLiteral("lang_Menu_DownUrl"))));
    }
    // mni_WorkOrder: no action.
}

// ---- Session events ----

void TFrm_Main::UdpStatus(const TLanStatus &status)
{
    const TStatusReaction &r = status.Reaction;
    const int code = status.Code;
    if (Hooks.ModuleAnswered &&
        (code == StsAck || code == StsPswdErr || code == StsOtherErr || code == StsCheckErr))
        Hooks.ModuleAnswered(code, r.Line);
    if (r.ClosePage)
        ShowPage(PageNone);
    if (!r.MessageBox.isEmpty() && ShowMessage)
        ShowMessage(r.MessageBox);
    if (r.OpenLogin)
        mni_MenuClick(mni_Pswd);
}
