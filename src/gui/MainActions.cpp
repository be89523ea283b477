// TFrm_Main's device actions: the list's clicks and popup, the main menu, the export, and the
// endpoint's events. Every rule they follow is the core's; this file only calls it.
#include "gui/MainWindow.h"

#include "core/AppPaths.h"
#include "core/ProFun.h"
#include "gui/DeviceListModel.h"
#include "gui/DeviceListView.h"
#include "gui/LogPanes.h"
#include "lang/LangList.h"
#include "netconfig/DeviceList.h"
#include "netconfig/Q2Write.h"
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

void TFrm_Main::UdpSearchReply(const QString &ip, const QString &name, const QString &mac, const QString &version,
                               int model, int bindingIndex)
{
    // The endpoint stored the reply just before the event: it is the one this row is made from.
    const QByteArray reply = UdpSvr && !UdpSvr->SearchReplies.isEmpty() ? UdpSvr->SearchReplies.last() : QByteArray();
    DevModel->AddReply(ip, name, mac, version, model, bindingIndex, reply, this);
    if (Hooks.SearchReplySeen)
        Hooks.SearchReplySeen(mac, version);
}

void TFrm_Main::lv_DevClick()
{
    const TDeviceRow *row = SelectedDevice();
    if (!row || !UdpSvr) {
        ShowPage(PageNone);
        return;
    }
    if (row->Model == ModelQ2) {
        // The Modbus groups come back only with the module's own blocks.
        Q2Model.HideModbusGroups();
        RefreshPages();
    }
    if (ReadDevice(*UdpSvr, *row, *this) == TReadOutcome::Incompatible)
        ShowPage(PageNone);
}

void TFrm_Main::pm_NetDevPopup() { lv_DevClick(); }

void TFrm_Main::PopupForSeveral(const QPoint &globalPos)
{
    QList<std::pair<QAction *, bool>> kept;
    for (QAction *a : lv_Dev->PopupItems())
        kept.append({a, a->isEnabled()});
    for (QAction *a : {mni_OpenWeb, mni_Restart, mni_Reset, mni_CopyTheMac})
        a->setEnabled(false);
    mni_FirmwareUp->setEnabled(true);
    mni_CopeAllMac->setEnabled(true);
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
    if (UdpSvr)
        UdpSvr->SearchDevices();
}

bool TFrm_Main::ResetModule(const QString &mac)
{
    if (!UdpSvr)
        return false;
    const QString digits = RemoveSpaces(mac).toUpper();
    for (int r = 0; r < DevModel->rowCount(); ++r)
        if (const TDeviceRow *row = DevModel->Row(r); row && row->MacDigits() == digits)
            return ResetDevice(*UdpSvr, *row);
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
    if (!row || !UdpSvr) {
        ShowPage(PageNone);
        return;
    }
    if (name == QLatin1String("mni_OpenWeb")) {
        // No ARP cache to empty first here: the system resolves the module's address afresh.
        ReadPages();
        if (OpenUrl)
            OpenUrl(QUrl(WebAddress(*row, Q2Model.edt_HTTPServerPort.Text)));
    } else if (name == QLatin1String("mni_Restart")) {
        RestartDevice(*UdpSvr, *row);
    } else if (name == QLatin1String("mni_Reset")) {
        ResetDevice(*UdpSvr, *row);
    } else if (name == QLatin1String("mni_CopyTheMac")) {
        QGuiApplication::clipboard()->setText(row->Mac);
    }
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

// ---- Endpoint events ----

void TFrm_Main::UdpSendData(const QByteArray &data, const QString &peerIP, const QString &localIP, int peerPort,
                            int localPort)
{
    DumpSentDatagram(*this, data, peerIP, localIP, peerPort, localPort);
}

void TFrm_Main::UdpRecvData(const QByteArray &data, const QString &peerIP, const QString &localIP, int peerPort,
                            int localPort)
{
    DumpRecvDatagram(*this, data, peerIP, localIP, peerPort, localPort);
}

void TFrm_Main::UdpStatus(int code, const QString &text)
{
    const TStatusReaction r = ReactToStatus(code, text, *this);
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

void TFrm_Main::OnReadParam(const TBaseParam &base, const TarrComParam &ports, bool fromCom, int model)
{
    const TDeviceRow *row = SelectedDevice();
    const bool filled = Q2Model.OnReadParam(base, ports, fromCom, model, row ? row->Mac : QString(), *this);
    if (!filled)
        return;
    // The page is now of the selected module, as the list knows it.
    Q2Binding = row && !fromCom ? TPageBinding::Lan(row->Mac, row->Model, RowVersion(*row))
                                : TPageBinding::Serial(model, base.UserMAC);
    RefreshPages();
    ShowPage(PageQ2);
}

void TFrm_Main::OnReadCloud(const TarrCloudParam &cloud, bool fromCom, int model)
{
    Q2Model.OnReadCloud(cloud, fromCom, model);
    RefreshPages();
}

void TFrm_Main::OnReadHeartReg(const uint8_t *block, bool fromCom, int model)
{
    Q2Model.OnReadHeartReg(block, fromCom, model);
    RefreshPages();
}

void TFrm_Main::OnReadHttpd(const QString &url, const QString &header)
{
    Q2Model.OnReadHttpd(url, header);
    RefreshPages();
}

void TFrm_Main::OnModbusParam(const TModbusParam &param, int length)
{
    Q2Model.OnModbusParam(param, length);
    RefreshPages();
}

void TFrm_Main::OnModbusPackParam(const TModbusPackParam &param, int)
{
    Q2Model.OnModbusPackParam(param);
    RefreshPages();
}

void TFrm_Main::OnModbusNewParam(const TModbusNewParam &param, int)
{
    Q2Model.OnModbusNewParam(param);
    RefreshPages();
}
