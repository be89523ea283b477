#include "gui/TextTable.h"

#include "lang/LangList.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTabWidget>
#include <QWidget>

namespace {

using P = TTextProp;

// ApplyMainTexts: menus and list columns, captions, drop-down items, hints.
const TTextRow MainRows[] = {
    // Menus.
    {"mni_File", P::Caption, "lang_Menu_File"},
    {"mni_Pswd", P::Caption, "lang_Menu_Pswd"},
    {"mniExporDevs", P::Caption, "lang_Menu_ExpDev"},
    {"mni_SaveProfile", P::Caption, "lang_Menu_SaveProfile"},
    {"mni_ApplyProfile", P::Caption, "lang_Menu_ApplyProfile"},
    {"mni_VerifyWrites", P::Caption, "lang_Menu_VerifyWrites"},
    {"mni_BackupListed", P::Caption, "lang_Menu_Backup"},
    {"mni_RestoreBackup", P::Caption, "lang_Menu_Restore"},
    {"mni_Exit", P::Caption, "lang_Menu_Quit"},
    {"mni_Lang", P::Caption, "lang_Menu_Lang"},
    {"mni_Cn", P::Caption, "lang_Menu_Cn"},
    {"mni_En", P::Caption, "lang_Menu_En"},
    {"mni_Help", P::Caption, "lang_Menu_Help"},
    {"mni_About", P::Caption, "lang_Menu_About"},
    {"mni_Hint", P::Caption, "lang_Menu_Hint"},
    {"mni_Up", P::Caption, "lang_Menu_Version"},
    // Device-list pop-up.
    {"mni_OpenWeb", P::Caption, "lang_mni_OpenWeb"},
    {"mni_Restart", P::Caption, "lang_mni_Restart"},
    {"mni_FirmwareUp", P::Caption, "lang_mni_FirmwareUp"},
    {"mni_Reset", P::Caption, "lang_mni_Reset"},
    {"mni_CopyTheMac", P::Caption, "lang_mni_CopyTheMac"},
    {"mni_CopeAllMac", P::Caption, "lang_mni_CopeAllMac"},
    // Device list columns.
    {"lv_Dev", P::Column, "lang_Lv_DevIP", 0},
    {"lv_Dev", P::Column, "lang_Lv_DevName", 1},
    {"lv_Dev", P::Column, "lang_Lv_MAC", 2},
    {"lv_Dev", P::Column, "lang_Lv_Version", 3},
    {"lv_Dev", P::Column, "lang_Lv_Result", 6},
    // Search by address and keep searching.
    {"lbl_SearchRange", P::Caption, "lang_lbl_SearchRange"},
    {"edt_SearchRange", P::Caption, "lang_ts_SearchRangeAll"},
    {"edt_SearchRange", P::Hint, "lang_H_edt_SearchRange"},
    {"chk_KeepSearch", P::Caption, "lang_chk_KeepSearch"},
    {"chk_KeepSearch", P::Hint, "lang_H_chk_KeepSearch"},
    {"lbl_KeepSearchCount", P::Caption, "lang_lbl_KeepSearchCount"},
    {"edt_KeepSearchCount", P::Caption, "lang_ts_KeepSearchNoLimit"},
    {"edt_KeepSearchCount", P::Hint, "lang_H_edt_KeepSearchCount"},

    // Captions. Two keys are asked for in another letter case than the table holds them.
    {"lbl_SelectCom", P::Caption, "lang_lbl_SelectCom"},
    {"lbl1", P::Caption, "lang_lbl_BaudRate"},
    {"lbl_BaudRate", P::Caption, "lang_lbl_BaudRate"},
    {"lblQNum", P::Caption, "lang_lblQNum"},
    {"btn_Search", P::Caption, "lang_btn_Search"},
    {"btn_ComRead", P::Caption, "lang_btn_ComRead"},
    {"btn_ComSet", P::Caption, "lang_btn_ComSet"},
    {"btn_Q1Set", P::Caption, "lang_btn_ComSet"},
    {"btn_Q2NetSet", P::Caption, "lang_btn_ComSet"},
    {"btn_ApplySelected", P::Caption, "lang_btn_ApplySelected"},
    {"btn_ApplySelected", P::Hint, "lang_Hint_ApplySelected"},
    {"btn_Q2ComSet", P::Caption, "lang_btn_ComSet"},
    {"rztbsht_Net", P::Caption, "lang_rztbsht_Net"},
    {"rztbsht_Com", P::Caption, "lang_rztbsht_Com"},
    {"rztbsht_Log", P::Caption, "lang_rztbsht_Log"},
    {"rztbsht_Hex", P::Caption, "lang_rztbsht_Hex"},
    {"grp_Param", P::Caption, "lang_grp_Param"},
    {"grp_Special", P::Caption, "lang_grp_Special"},
    {"grp_BaseSave", P::Caption, "lang_grp_BaseSave"},
    {"grp_ComParam", P::Caption, "lang_grp_ComParam"},
    {"lbl_ModuleWork", P::Caption, "lang_Lbl_WorkMode"},
    {"lbl_WorkMode0", P::Caption, "lang_Lbl_WorkMode"},
    {"lbl_ModuleIP", P::Caption, "lang_lbl_ModuleIP"},
    {"lbl_Mask", P::Caption, "lang_Lbl_SubnetMask"},
    {"lbl_Gateway", P::Caption, "lang_Lbl_Gateway"},
    {"lbl_PDS", P::Caption, "lang_lbl_PDS"},
    {"lbl_ModulePort", P::Caption, "lang_Lbl_LocalPort"},
    {"lbl_LocalPort0", P::Caption, "lang_Lbl_LocalPort"},
    {"lbl_DeIP", P::Caption, "lang_lbl_DeIP"},
    {"lbl_DePort", P::Caption, "lang_Lbl_RemotePort"},
    {"lbl_RemotePort0", P::Caption, "lang_Lbl_RemotePort"},
    {"lbl_ID", P::Caption, "lang_Lbl_DevID"},
    {"lbl_Id3", P::Caption, "lang_Lbl_DevID"},
    {"lbl_IdTypeq1", P::Caption, "lang_Lbl_DevIDType"},
    {"lbl_IdType", P::Caption, "lang_Lbl_DevIDType"},
    {"chk_ConnSendId", P::Caption, "lang_chk_ConnSendId"},
    {"rzchckbx_ConnSendId", P::Caption, "lang_chk_ConnSendId"},
    {"chk_DataWithId", P::Caption, "lang_chk_DataWithId"},
    {"rzchckbx_DataWithId", P::Caption, "lang_chk_DataWithId"},
    {"lbl_LocationURLPort", P::Caption, "lang_Lbl_UPNPPort"},
    {"lbl_HTTPServerPort", P::Caption, "lang_Lbl_HTTPPort"},
    {"lbl_username", P::Caption, "lang_Lbl_UserName"},
    {"lbl_password", P::Caption, "lang_Lbl_Password"},
    {"lbl_ModName", P::Caption, "lang_Lbl_DevName"},
    {"lbl_UserMAC", P::Caption, "lang_Lbl_MAC"},
    {"lbl_BaudRate0", P::Caption, "lang_Lbl_Baudrate"},
    {"lbl_PDS0", P::Caption, "lang_Lbl_PDS"},
    {"lbl_FlowControl0", P::Caption, "lang_Lbl_FlowControl"},
    {"lbl_TCPSvrCount0", P::Caption, "lang_Lbl_TCPSvrCount"},
    {"lbl_TCPStyle0", P::Caption, "lang_Lbl_TCPStyle"},
    {"lbl_ModbusTCP0", P::Caption, "lang_Lbl_ModbusTCP"},
    {"lbl_RemoteIP0", P::Caption, "lang_Lbl_RemoteIP"},
    {"lbl_UARTTime0", P::Caption, "lang_Lbl_PackTime"},
    {"lblUartPackLEN", P::Caption, "lang_Lbl_PackLen"},
    {"lbl_UARTLength0", P::Caption, "lang_Lbl_PackLen"},
    {"chk_RFC22170", P::Caption, "lang_Chkbox_RFC22170"},
    {"lblDns", P::Caption, "lang_lblDns"},
    {"LabeledEditShortTime", P::BuddyCaption, "lang_LabeledEditShortTime"},
    {"RzCheckBoxShortEnable", P::Caption, "lang_RzCheckBoxShortEnable"},
    {"rzchckbxComSetEnable", P::Caption, "lang_rzchckbxComSetEnable"},
    {"LabeledEdit1", P::BuddyCaption, "lang_LabeledEdit1"},
    {"RzCheckBox2", P::Caption, "lang_RzCheckBox2"},
    {"RzCheckBox1", P::Caption, "lang_RzCheckBox1"},
    {"rzchbUdpFrom", P::Caption, "lang_rzchbUdpFrom"},
    {"chkMulticast", P::Caption, "lang_chkMulticast"},
    {"lblGetPost", P::Caption, "lang_lblGetPost"},
    {"RzCheckBox3", P::Caption, "lang_RzCheckBox3"},
    {"RzLabel1", P::Caption, "lang_RzLabel1"},
    {"lblHeartPackType", P::Caption, "lang_lblHeartPackType"},
    {"lblHeartTm", P::Caption, "lang_lblHeartTm"},
    {"lblHeartDt", P::Caption, "lang_lblHeartDt"},
    {"RzGroupBoxHeart", P::Caption, "lang_RzGroupBoxHeart"},
    {"rzgrpbxRegHeart", P::Caption, "lang_rzgrpbxRegHeart"},
    {"RzLabel2", P::Caption, "lang_RzLabel2"},
    {"lblDid", P::Caption, "lang_lblDid"},
    {"lblCompass", P::Caption, "lang_lblCompass"},
    {"lblRegSnd", P::Caption, "lang_lblRegSnd"},
    {"lblRegTp", P::Caption, "lang_lblRegTp"},
    {"rzchckbxmodbuspool", P::Caption, "lang_rzchckbxmodbuspool"},
    {"lblhearttime", P::Caption, "lang_lblhearttime"},
    {"lblModbusEn", P::Caption, "lang_lblModbusEn"},
    {"lblReportProto", P::Caption, "lang_lblReportProto"},
    {"lblModbusTimeout", P::Caption, "lang_lblModbusTimeout"},
    {"lblModbusInterval", P::Caption, "lang_lblModbusInterval"},
    {"lblModbusException", P::Caption, "lang_lblModbusException"},
    {"lblModbusEnable1", P::Caption, "lang_lblModbusEnable1"},
    {"lblModbusTimeout1", P::Caption, "lang_lblModbusTimeout1"},
    {"lblModbusInterval1", P::Caption, "lang_lblModbusInterval1"},
    {"lblModbusException1", P::Caption, "lang_lblModbusException1"},
    {"btnDataDebug", P::Caption, "lang_btn_DataDebug"},
    // The address fields marked as the ones to set.
    {"lbl_AddrType", P::StarCaption, "lang_Lbl_IPType"},
    {"lbl_StaticIP", P::StarCaption, "lang_Lbl_StaticIP"},
    {"lbl_GatewayIP", P::StarCaption, "lang_Lbl_Gateway"},
    {"lbl_SubnetMask", P::StarCaption, "lang_Lbl_SubnetMask"},

    // Drop-down items, replaced in place so the selection stays.
    {"cbb_AddrType", P::Item, "lang_Cbb_DHCP", 0},
    {"cbb_AddrType", P::Item, "lang_Cbb_StaticIP", 1},
    {"cbb_TCPStyle0", P::Item, "lang_Cbb_Transparent", 0},
    {"cbb_TCPStyle0", P::Item, "lang_Cbb_NoIDDiscard", 1},
    {"cbb_TCPStyle0", P::Item, "lang_Cbb_NoIDBroadcast", 2},
    {"cbbRegType", P::Item, "lang_cbbRegType_0", 0},
    {"cbbRegType", P::Item, "lang_cbbRegType_1", 1},
    {"cbbRegType", P::Item, "lang_cbbRegType_2", 2},
    {"RzComboBox1", P::Item, "lang_RzComboBox1_0", 0},
    {"RzComboBox1", P::Item, "lang_RzComboBox1_1", 1},
    {"RzComboBox1", P::Item, "lang_RzComboBox1_2", 2},
    {"cbbHeartPackType", P::Item, "lang_cbbHeartPackType_0", 0},
    {"cbbHeartPackType", P::Item, "lang_cbbHeartPackType_1", 1},
    {"RzComboBox2", P::Item, "lang_RzComboBox2_0", 0},
    {"RzComboBox2", P::Item, "lang_RzComboBox2_1", 1},
    {"RzComboBox2", P::Item, "lang_RzComboBox2_2", 2},
    {"cbbModbusType", P::Item, "lang_cbbModbusType_0", 0},
    {"cbbModbusType", P::Item, "lang_cbbModbusType_1", 1},
    {"cbbModbusType", P::Item, "lang_cbbModbusType_2", 2},
    {"cbbReporproto", P::Item, "lang_cbbReporproto_1", 0},
    {"cbbReporproto", P::Item, "JSON", 1, true},
    {"cbbModbusException", P::Item, "lang_cbbModbusException_0", 0},
    {"cbbModbusException", P::Item, "lang_cbbModbusException_1", 1},
    {"cmbModbusEnable1", P::Item, "lang_cmbModbusEnable1_0", 0},
    {"cmbModbusEnable1", P::Item, "lang_cmbModbusEnable1_1", 1},
    {"cmbModbusEnable1", P::Item, "lang_cmbModbusEnable1_2", 2},
    {"cmbModbusException1", P::Item, "lang_cmbModbusException1_0", 0},
    {"cmbModbusException1", P::Item, "lang_cmbModbusException1_1", 1},
    {"cbb_BaudRate", P::Item, "lang_BaudRate_Custom", 1},
    {"cbb_BaudRate0", P::Item, "lang_BaudRate_Custom", 1},
    {"cbbSoftBitRate", P::Item, "lang_BaudRate_Custom", 1},

    // Hints.
    {"btn_Search", P::Hint, "lang_H_btn_Search"},
    {"btn_ComRead", P::Hint, "lang_H_btn_ComRead"},
    {"lv_Dev", P::Hint, "lang_H_lv_Dev"},
    {"cbb_ModuleWork", P::Hint, "lang_Hint_ModuleWork"},
    {"edt_ModuleIP", P::Hint, "lang_Hint_ModuleIP"},
    {"edt_Mask", P::Hint, "lang_Hint_Mask"},
    {"edt_Gateway", P::Hint, "lang_Hint_Gateway"},
    {"cbb_BaudRate", P::Hint, "lang_Hint_BaudRate"},
    {"cbb_P", P::Hint, "lang_Hint_PDS"},
    {"cbb_D", P::Hint, "lang_Hint_PDS"},
    {"cbb_S", P::Hint, "lang_Hint_PDS"},
    {"edt_ModulePort", P::Hint, "lang_Hint_ModulePort"},
    {"edt_DeIP", P::Hint, "lang_Hint_DeIP"},
    {"edt_DePort", P::Hint, "lang_Hint_DePort"},
    {"edt_ID", P::Hint, "lang_Hint_ID"},
    {"cbb_SelectCom", P::Hint, "lang_Hint_ComF5"},
    {"chk_RS485", P::Hint, "lang_Hint_RS485"},
    {"rzchckbx_RS485", P::Hint, "lang_Hint_RS485"},
    {"chk_RS422", P::Hint, "lang_Hint_RS422"},
    {"rzchckbx_RS422", P::Hint, "lang_Hint_RS422"},
    {"chk_Reset", P::Hint, "lang_Hint_Reset"},
    {"rzchckbx_Reset", P::Hint, "lang_Hint_Reset"},
    {"chk_Index", P::Hint, "lang_Hint_Index"},
    {"rzchckbx_Index", P::Hint, "lang_Hint_Index"},
    {"chk_Link", P::Hint, "lang_Hint_Link"},
    {"rzchckbx_Link", P::Hint, "lang_Hint_Link"},
    {"chk_RFC2217", P::Hint, "lang_Hint_RFC2217"},
    {"rzchckbx_RFC2217", P::Hint, "lang_Hint_RFC2217"},
    {"edt_LocationURLPort", P::Hint, "lang_lbl_H_LocationURLPort"},
    {"edt_HTTPServerPort", P::Hint, "lang_lbl_H_HTTPServerPort"},
    {"edt_Id3", P::Hint, "lang_lbl_H_Id"},
    {"edt_IdType", P::Hint, "lang_lbl_H_IdType"},
    {"edt_username", P::Hint, "lang_lbl_H_username"},
    {"edt_password", P::Hint, "lang_lbl_H_password"},
    {"edt_ModName", P::Hint, "lang_lbl_H_ModName"},
    {"edt_UserMAC", P::Hint, "lang_lbl_H_UserMAC"},
    {"cbb_AddrType", P::Hint, "lang_lbl_H_AddrType"},
    {"edt_StaticIP", P::Hint, "lang_lbl_H_StaticIP"},
    {"edt_SubnetMask", P::Hint, "lang_lbl_H_SubnetMask"},
    {"edt_GatewayIP", P::Hint, "lang_lbl_H_GatewayIP"},
    {"cbb_BaudRate0", P::Hint, "lang_lbl_H_BaudRate"},
    {"cbb_P0", P::Hint, "lang_lbl_H_PDS"},
    {"cbb_D0", P::Hint, "lang_lbl_H_PDS"},
    {"cbb_S0", P::Hint, "lang_lbl_H_PDS"},
    {"cbb_FlowControl0", P::Hint, "lang_lbl_H_FlowControl"},
    {"edt_LocalPort0", P::Hint, "lang_lbl_H_LocalPort"},
    {"edt_RemotePort0", P::Hint, "lang_lbl_H_RemotePort"},
    {"cbb_WorkMode0", P::Hint, "lang_lbl_H_WorkMode"},
    {"cbb_TCPSvrCount0", P::Hint, "lang_lbl_H_TCPSvrCount"},
    {"cbb_TCPStyle0", P::Hint, "lang_lbl_H_TCPStyle"},
    {"cbb_ModbusTCP0", P::Hint, "lang_lbl_H_ModbusTCP"},
    {"edt_RemoteIP0", P::Hint, "lang_lbl_H_RemoteIP"},
    {"edt_UARTTime0", P::Hint, "lang_lbl_H_UARTTime"},
    {"edt_UARTLength0", P::Hint, "lang_lbl_H_UARTLength"},
    {"chk_RFC22170", P::Hint, "lang_chk_H_RFC2217"},
};

const TTextRow AboutRows[] = {
    {"", P::Title, "lang_About_Title"},
    {"lbl_SoftName", P::Caption, "lang_About_SoftName"},
    {"lbl_About_version", P::Caption, "lang_About_Version"},
    {"lbl_Aboutl_Description", P::Caption, "lang_About_Description"},
    {"lbl_About_Contact", P::Caption, "lang_About_Contact"},
    {"lbl_About_Website", P::Caption, "lang_About_Website"},
    {"lbl_About_Tel", P::Caption, "lang_About_Tel"},
    {"lbl_About_Email", P::Caption, "lang_About_Email"},
    {"btn_About_Yes", P::Caption, "lang_About_OK"},
};

const TTextRow PswdRows[] = {
    {"", P::Title, "lang_Log_Title"},
    {"btn_OK", P::Caption, "lang_Log_OK"},
    {"btn_Cancel", P::Caption, "lang_Log_Cancel"},
};

// lbl_Info is re-translated from its own caption by ApplyUpgradeTexts, between lbl_MAC and
// lblLocalIP.
const TTextRow UpgradeRows[] = {
    {"", P::Title, "lang_Upgrade_Title"},
    {"lblFwUpTip", P::Caption, "lang_Upgrade_Hint"},
    {"grp1", P::Caption, "lang_Upgrade_grpClnt"},
    {"grp2", P::Caption, "lang_Upgrade_grpFileName"},
    {"btn_Program", P::Caption, "lang_Upgrade_btnProgram"},
    {"btn_Exit", P::Caption, "lang_Upgrade_btnExit"},
    {"lbl_IP", P::Caption, "lang_Upgrade_lblClientIP"},
    {"lbl_MAC", P::Caption, "lang_Upgrade_lblClientMAC"},
    {"lblLocalIP", P::Caption, "lang_Upgrade_lblLocalIP"},
    // The fleet view, for several modules at once.
    {"btn_UpStop", P::Caption, "lang_Upgrade_btnStop"},
    {"grp_UpOptions", P::Caption, "lang_Upgrade_grpOptions"},
    {"lbl_UpParallel", P::Caption, "lang_Upgrade_lblParallel"},
    {"lbl_UpBlockTimeOut", P::Caption, "lang_Upgrade_lblBlockTimeOut"},
    {"chk_UpCanary", P::Caption, "lang_Upgrade_chkCanary"},
    {"chk_UpResetAfter", P::Caption, "lang_Upgrade_chkResetAfter"},
    {"grp_UpModules", P::Caption, "lang_Upgrade_grpModules"},
    {"lv_UpModules", P::Column, "lang_Lv_MAC", 0},
    {"lv_UpModules", P::Column, "lang_Lv_DevIP", 1},
    {"lv_UpModules", P::Column, "lang_Lv_Version", 2},
    {"lv_UpModules", P::Column, "lang_Upgrade_colProgress", 3},
    {"lv_UpModules", P::Column, "lang_Upgrade_colStatus", 4},
};

QObject *findControl(QWidget *root, const TTextRow &row)
{
    if (!root)
        return nullptr;
    if (!*row.Control)
        return root;
    return root->findChild<QObject *>(QString::fromLatin1(row.Control));
}

// The tab widget that shows a page, and the page's index in it.
QTabWidget *tabOf(QWidget *page, int &index)
{
    auto *stack = qobject_cast<QStackedWidget *>(page->parentWidget());
    auto *tabs = stack ? qobject_cast<QTabWidget *>(stack->parentWidget()) : nullptr;
    index = tabs ? tabs->indexOf(page) : -1;
    return index >= 0 ? tabs : nullptr;
}

QLabel *buddyLabel(QWidget *root, QObject *control)
{
    const auto labels = root->findChildren<QLabel *>();
    for (QLabel *l : labels)
        if (l->buddy() == control)
            return l;
    return nullptr;
}

QAbstractItemModel *viewModel(QObject *o)
{
    auto *view = qobject_cast<QAbstractItemView *>(o);
    return view ? view->model() : nullptr;
}

// Reads (set == nullptr) or writes the caption of a control of any captioned kind.
bool caption(QObject *o, const QString *set, QString *get)
{
    auto apply = [&](auto getter, auto setter) {
        if (set)
            setter(*set);
        if (get)
            *get = getter();
        return true;
    };
    if (auto *w = qobject_cast<QLabel *>(o))
        return apply([w] { return w->text(); }, [w](const QString &t) { w->setText(t); });
    if (auto *w = qobject_cast<QAbstractButton *>(o))
        return apply([w] { return w->text(); }, [w](const QString &t) { w->setText(t); });
    if (auto *w = qobject_cast<QGroupBox *>(o))
        return apply([w] { return w->title(); }, [w](const QString &t) { w->setTitle(t); });
    // An edit's caption is the grey text it shows while empty, a spin box's the text it shows at
    // its least value.
    if (auto *w = qobject_cast<QLineEdit *>(o))
        return apply([w] { return w->placeholderText(); }, [w](const QString &t) { w->setPlaceholderText(t); });
    if (auto *w = qobject_cast<QSpinBox *>(o))
        return apply([w] { return w->specialValueText(); }, [w](const QString &t) { w->setSpecialValueText(t); });
    if (auto *w = qobject_cast<QMenu *>(o))
        return apply([w] { return w->title(); }, [w](const QString &t) { w->setTitle(t); });
    if (auto *w = qobject_cast<QAction *>(o))
        return apply([w] { return w->text(); }, [w](const QString &t) { w->setText(t); });
    if (auto *w = qobject_cast<QWidget *>(o)) {
        int index = -1;
        if (QTabWidget *tabs = tabOf(w, index))
            return apply([tabs, index] { return tabs->tabText(index); },
                         [tabs, index](const QString &t) { tabs->setTabText(index, t); });
    }
    return false;
}

bool access(QWidget *root, const TTextRow &row, const QString *set, QString *get)
{
    QObject *o = findControl(root, row);
    if (!o)
        return false;
    switch (row.Prop) {
    case P::Caption:
        return caption(o, set, get);
    case P::StarCaption: {
        const QString text = set ? *set + QStringLiteral(" *") : QString();
        return caption(o, set ? &text : nullptr, get);
    }
    case P::BuddyCaption: {
        QLabel *l = buddyLabel(root, o);
        return l && caption(l, set, get);
    }
    case P::Title: {
        auto *w = qobject_cast<QWidget *>(o);
        if (!w)
            return false;
        if (set)
            w->setWindowTitle(*set);
        if (get)
            *get = w->windowTitle();
        return true;
    }
    case P::Hint: {
        if (auto *w = qobject_cast<QWidget *>(o)) {
            if (set)
                w->setToolTip(*set);
            if (get)
                *get = w->toolTip();
            return true;
        }
        if (auto *a = qobject_cast<QAction *>(o)) {
            if (set)
                a->setToolTip(*set);
            if (get)
                *get = a->toolTip();
            return true;
        }
        return false;
    }
    case P::Item: {
        auto *c = qobject_cast<QComboBox *>(o);
        if (!c || row.Index < 0 || row.Index >= c->count())
            return false;
        if (set)
            c->setItemText(row.Index, *set); // keeps the current index
        if (get)
            *get = c->itemText(row.Index);
        return true;
    }
    case P::Column: {
        QAbstractItemModel *m = viewModel(o);
        if (!m || row.Index < 0 || row.Index >= m->columnCount())
            return false;
        if (set && !m->setHeaderData(row.Index, Qt::Horizontal, *set, Qt::DisplayRole))
            return false;
        if (get)
            *get = m->headerData(row.Index, Qt::Horizontal, Qt::DisplayRole).toString();
        return true;
    }
    }
    return false;
}

// The fleet writes' preview and the save-profile dialog.
const TTextRow FleetPreviewRows[] = {
    {"", P::Title, "lang_Caption_FleetPreview"},
    {"grp_Preview", P::Caption, "lang_grp_Preview"},
    {"tv_Preview", P::Column, "lang_ts_ColModule", 0},
    {"tv_Preview", P::Column, "lang_ts_ColField", 1},
    {"tv_Preview", P::Column, "lang_ts_ColOld", 2},
    {"tv_Preview", P::Column, "lang_ts_ColNew", 3},
    {"cb_PreviewVerify", P::Caption, "lang_cb_PreviewVerify"},
    {"btn_PreviewWrite", P::Caption, "lang_btn_PreviewWrite"},
    {"btn_PreviewCancel", P::Caption, "lang_Log_Cancel"},
};

const TTextRow SaveProfileRows[] = {
    {"", P::Title, "lang_Caption_SaveProfile"},
    {"cb_ProfileIdentity", P::Caption, "lang_cb_ProfileIdentity"},
    {"cb_ProfileCredentials", P::Caption, "lang_cb_ProfileCredentials"},
    {"lbl_ProfileComment", P::Caption, "lang_lbl_ProfileComment"},
    {"btn_SaveProfileOk", P::Caption, "lang_btn_SaveProfileOk"},
    {"btn_SaveProfileCancel", P::Caption, "lang_Log_Cancel"},
};

} // namespace

const std::span<const TTextRow> MainTextRows(MainRows);
const std::span<const TTextRow> AboutTextRows(AboutRows);
const std::span<const TTextRow> PswdTextRows(PswdRows);
const std::span<const TTextRow> UpgradeTextRows(UpgradeRows);
const std::span<const TTextRow> FleetPreviewTextRows(FleetPreviewRows);
const std::span<const TTextRow> SaveProfileTextRows(SaveProfileRows);

QString RowText(const TTextRow &row)
{
    const QString key = QString::fromUtf8(row.Key);
    if (row.Literal)
        return key;
    return row.Prop == P::StarCaption ? GetLangText(key) + QStringLiteral(" *") : GetLangText(key);
}

bool ApplyTextRow(QWidget *root, const TTextRow &row)
{
    const QString text = GetLangText(QString::fromUtf8(row.Key));
    const QString value = row.Literal ? QString::fromUtf8(row.Key) : text;
    return access(root, row, &value, nullptr);
}

QList<const TTextRow *> ApplyTextRows(QWidget *root, std::span<const TTextRow> rows)
{
    QList<const TTextRow *> missing;
    for (const TTextRow &row : rows)
        if (!ApplyTextRow(root, row))
            missing << &row;
    return missing;
}

QString ShownText(QWidget *root, const TTextRow &row)
{
    QString text;
    access(root, row, nullptr, &text);
    return text;
}
