#include "netconfig/Q2Page.h"

#include "core/ProFun.h"
#include "lang/DefaultLang.h"
#include "lang/LangList.h"
#include "netconfig/Fleet.h"
#include "netconfig/PageFields.h"
#include "netconfig/ModelInfo.h"

namespace {

// List items are kept in English, as the built-in table has them; the GUI shows the language's.
QString en(const char *key)
{
    for (int i = 0; i < DefaultLangCount; ++i)
        if (qstrcmp(DefaultLangEntries[i].Name, key) == 0)
            return QString::fromUtf8(DefaultLangEntries[i].English);
    return QString::fromLatin1(key);
}

QStringList numbers(int from, int to)
{
    QStringList out;
    for (int i = from; i <= to; ++i)
        out << QString::number(i);
    return out;
}

void enable(TEditState &e, TLabelState &l, bool on)
{
    e.Enabled = on;
    l.Grey = !on;
}

void enable(TComboState &c, TLabelState &l, bool on)
{
    c.Enabled = on;
    l.Grey = !on;
}

const QStringList workModes5 = {QStringLiteral("UDP Client"), QStringLiteral("TCP Client"),
                                QStringLiteral("UDP Server"), QStringLiteral("TCP Server"),
                                QStringLiteral("HTTPD Client")};

// A number for a field of max's width: one that does not convert or does not fit names the field
// (a hidden field the checks passed over must not wrap into another value either).
TEncodeResult number(const TEditState &e, const char *field, int &out, int max = int(MaxWord))
{
    int v = 0;
    if (!TryStrToInt(e.Text, v) || v < 0 || v > max)
        return TEncodeResult::Fail(QString::fromLatin1(field));
    out = v;
    return {};
}

// A number with a fallback for a text that is no number, still refused when it does not fit.
TEncodeResult numberOr(const TEditState &e, const char *field, int &out, int fallback, int max)
{
    int v = 0;
    if (!TryStrToInt(e.Text, v)) {
        out = fallback;
        return {};
    }
    if (v < 0 || v > max)
        return TEncodeResult::Fail(QString::fromLatin1(field));
    out = v;
    return {};
}

} // namespace

TQ2Page::TQ2Page()
{
    cbb_AddrType.Items = {en("lang_Cbb_DHCP"), en("lang_Cbb_StaticIP")};
    cbb_AddrType.Index = 1;
    for (TEditState *e : {&edt_StaticIP, &edt_SubnetMask, &edt_GatewayIP})
        e->MaxLength = 15;
    edtDns.MaxLength = 17;
    edt_username.MaxLength = edt_password.MaxLength = 5;
    edt_ModName.MaxLength = 14;
    rzchckbx_RFC2217.Checked = true;
    edt_LocationURLPort.Visible = edt_UserMAC.Visible = chkisT0.Visible = cbbRegSnd.Visible = false;
    cbbRegSnd.Items = {QStringLiteral("0"), QStringLiteral("1")};

    cbb_BaudRate0.Items = QStringList{QStringLiteral("115200"), en("lang_BaudRate_Custom")} +
                          QStringList{"600", "1200", "2400", "4800", "9600", "14400", "19200", "38400", "57600",
                                      "115200", "230400", "256000", "460800", "921600"};
    cbb_BaudRate0.Index = 11;
    InitSerialLists(cbb_P0, cbb_D0, cbb_S0);
    cbb_WorkMode0.Items = workModes5;
    edt_LocalPort0 = {QStringLiteral("5555"), 5};
    edt_RemotePort0 = {QStringLiteral("5555"), 5};
    edt_RemoteIP0 = {QStringLiteral("192.168.0.131"), 30};
    cbb_TCPSvrCount0.Items = numbers(1, 16);
    cbb_TCPSvrCount0.Index = 3;
    edt_UARTTime0 = {QStringLiteral("10"), 3};
    edtUartPackLEN = {QStringLiteral("400"), 4};
    cbb_FlowControl0.Items = {"None", "Hardware", "RS485"};
    cbb_FlowControl0.Index = 0;
    cbb_ModbusTCP0.Items = {"None", "ModbusTCP"};
    cbb_ModbusTCP0.Index = 0;
    cbb_TCPStyle0.Items = {en("lang_Cbb_Transparent"), en("lang_Cbb_NoIDDiscard"), en("lang_Cbb_NoIDBroadcast")};
    cbb_TCPStyle0.Index = 0;
    chk_RFC22170.Checked = true;
    cbb_FlowControl0.Visible = cbb_ModbusTCP0.Visible = cbb_TCPStyle0.Visible = chk_RFC22170.Visible = false;

    RzComboBox1.Items = {en("lang_RzComboBox1_0"), en("lang_RzComboBox1_1"), en("lang_RzComboBox1_2")};
    cbbHeartPackType.Items = {en("lang_cbbHeartPackType_0"), en("lang_cbbHeartPackType_1")};
    RzComboBox2.Items = {en("lang_RzComboBox2_0"), en("lang_RzComboBox2_1"), en("lang_RzComboBox2_2")};
    cbbRegType.Items = {en("lang_cbbRegType_0"), en("lang_cbbRegType_1"), en("lang_cbbRegType_2")};
    cbbRegType.Index = 0;

    cbbGetPost.Items = {"GET", "POST"};
    cbbGetPost.Index = 0;

    cbbModbusType.Items = {en("lang_cbbModbusType_0"), en("lang_cbbModbusType_1"), en("lang_cbbModbusType_2")};
    cbbModbusType.Index = 0;
    cbbReporproto.Items = {en("lang_cbbReporproto_1"), QStringLiteral("JSON")};
    cbbReporproto.Index = 1;
    edtModbusTimeout = {QStringLiteral("200"), 5};
    edtModbusInterval = {QStringLiteral("10"), 5};
    cbbModbusException.Items = {en("lang_cbbModbusException_0"), en("lang_cbbModbusException_1")};
    cbbModbusException.Index = 1;
    cmbModbusEnable1.Items = {en("lang_cmbModbusEnable1_0"), en("lang_cmbModbusEnable1_1"),
                              en("lang_cmbModbusEnable1_2")};
    cmbModbusEnable1.Index = 0;
    edtModbusTimeout1 = {QStringLiteral("200"), 5};
    edtModbusInterval1 = {QStringLiteral("10"), 5};
    cmbModbusException1.Items = {en("lang_cmbModbusException1_0"), en("lang_cmbModbusException1_1")};
    cmbModbusException1.Index = 1;

    WorkMode0Change();
    ModbusTypeChange();
    ModbusEnable1Change();
    SetLanTab(true);
}

void TQ2Page::SetLanTab(bool lan)
{
    LanTab = lan;
    for (TGroupState *g : {&RzGroupBoxHttpd, &RzGroupBoxHeart, &rzgrpbxRegHeart, &RzGroupBox1, &rzgrpbxModbusNew,
                           &rzgrpbxModbus})
        g->Visible = lan;
    rzchckbxComSetEnable.Visible = lan;
    lbl_UARTTime0.Visible = edt_UARTTime0.Visible = lan;
    lblUartPackLEN.Visible = edtUartPackLEN.Visible = lan;
    rzchbUdpFrom.Visible = lan;
}

void TQ2Page::HideModbusGroups()
{
    rzgrpbxModbus.Visible = RzGroupBox1.Visible = rzgrpbxModbusNew.Visible = false;
    rzchckbxmodbustcp.Visible = rzchckbxmodbuspool.Visible = false;
    lblhearttime.Visible = edtwaittime.Visible = false;
}

void TQ2Page::AddrTypeChange()
{
    const int i = cbb_AddrType.Index;
    if (i != 0 && i != 1)
        return;
    enable(edt_StaticIP, lbl_StaticIP, i == 1);
    enable(edt_GatewayIP, lbl_GatewayIP, i == 1);
    enable(edt_SubnetMask, lbl_SubnetMask, i == 1);
    enable(edtDns, lblDns, i == 1);
}

void TQ2Page::WorkMode0Change()
{
    const int i = cbb_WorkMode0.Index;
    enable(cbb_ModbusTCP0, lbl_ModbusTCP0, i == 1 || i == 3);
    enable(cbb_TCPSvrCount0, lbl_TCPSvrCount0, i == 3);
    enable(cbb_TCPStyle0, lbl_TCPStyle0, i == 3);
    enable(edt_RemoteIP0, lbl_RemoteIP0, i != 3);
    enable(cbbGetPost, lblGetPost, i == 4);
    RzGroupBoxHttpd.Visible = i == 4 && LanTab;
    chkMulticast.Visible = i == 0;
}

void TQ2Page::HeartChange()
{
    const int i = RzComboBox1.Index;
    if (i < 0 || i > 2)
        return;
    lblHeartPackType.Visible = cbbHeartPackType.Visible = lblHeartTm.Visible = edtHeartTm.Visible = i != 0;
    const bool data = i != 0 && cbbHeartPackType.Index != 0;
    lblHeartDt.Visible = edtHeartDt.Visible = rzchckbxHeartDtHex.Visible = data;
}

void TQ2Page::HeartPackTypeChange()
{
    const int i = cbbHeartPackType.Index;
    if (i != 0 && i != 1)
        return;
    lblHeartDt.Visible = edtHeartDt.Visible = rzchckbxHeartDtHex.Visible = i == 1;
}

void TQ2Page::RegChange()
{
    const int i = RzComboBox2.Index;
    if (i < 0 || i > 3)
        return;
    lblRegSnd.Visible = cbbRegType.Visible = i == 1 || i == 2;
    lblRegTp.Visible = edtRegDt.Visible = rzchckbxRegDtHex.Visible = i == 2;
}

void TQ2Page::ModbusTypeChange()
{
    const int i = cbbModbusType.Index;
    if (i < 0 || i > 2)
        return;
    lblReportProto.Visible = cbbReporproto.Visible = i == 2;
    const bool detail = i == 1 || i == 2;
    lblModbusTimeout.Visible = edtModbusTimeout.Visible = detail;
    lblModbusInterval.Visible = edtModbusInterval.Visible = detail;
    lblModbusException.Visible = cbbModbusException.Visible = detail;
}

void TQ2Page::ModbusEnable1Change()
{
    const bool detail = cmbModbusEnable1.Index == 2;
    lblModbusTimeout1.Visible = edtModbusTimeout1.Visible = detail;
    lblModbusInterval1.Visible = edtModbusInterval1.Visible = detail;
    lblModbusException1.Visible = cmbModbusException1.Visible = detail;
}

void TQ2Page::HexBoxClick(int tag)
{
    TEditState &edit = tag == 1 ? edtHeartDt : edtRegDt;
    const TCheckState &box = tag == 1 ? rzchckbxHeartDtHex : rzchckbxRegDtHex;
    edit.Text = box.Checked ? StrToHexStr(edit.Text) : HexStrToStr(edit.Text);
}

bool TQ2Page::OnReadParam(const TBaseParam &base, const TarrComParam &ports, bool fromCom, int model,
                          const QString &selectedMac, ILogSink &log, bool *accepted)
{
    if (accepted)
        *accepted = false;
    if (!fromCom && (selectedMac.isEmpty() ||
                     RemoveSpaces(selectedMac).compare(RemoveSpaces(base.UserMAC), Qt::CaseInsensitive) != 0))
        return false;
    if (accepted)
        *accepted = true;
    bool filled = false;
    try {
        if (ModelInfo(model).PageOf(fromCom) == PageQ2) {
            filled = true;
            enable(edt_StaticIP, lbl_StaticIP, true);
            enable(edt_GatewayIP, lbl_GatewayIP, true);
            enable(edt_SubnetMask, lbl_SubnetMask, true);
            enable(edtDns, lblDns, true);

            cbb_WorkMode0.Items = base.IsT0 ? workModes5.mid(0, 4) : workModes5;
            cbb_WorkMode0.Index = -1;
            chkisT0.Checked = base.IsT0 != 0;

            cbbRegSnd.Select(base.RegSnd);
            cbb_AddrType.Index = base.AddrType ? 1 : 0;
            AddrTypeChange();

            edt_LocationURLPort.Text = QString::number(base.UpnpPort);
            edt_HTTPServerPort.Text = QString::number(base.HttpPort);
            edt_StaticIP.Text = base.StaticIP;
            edt_GatewayIP.Text = base.GatewayIP;
            edt_SubnetMask.Text = base.SubnetMask;
            edt_ModName.Text = UpToZero(base.ModName);
            edt_username.Text = UpToZero(base.UserName);
            edt_password.Text = UpToZero(base.Password);
            edt_UserMAC.Text = base.UserMAC;
            edtDns.Text = base.Dns;
            rzchckbx_Reset.Checked = base.Options & 0x10;
            rzchckbx_Link.Checked = base.Options & 0x20;
            rzchckbx_Index.Checked = base.Options & 0x40;
            rzchckbx_RFC2217.Checked = base.Options & 0x80;
            LabeledEditShortTime.Text = QString::number(base.ShortConnTime);
            RzCheckBoxShortEnable.Checked = base.ShortConn;
            RzCheckBox2.Checked = base.ClearBuffer;

            if (ports.size() == 1) {
                const TPortParam &p = ports[0];
                cbb_TCPStyle0.Enabled = cbb_ModbusTCP0.Enabled = edt_RemoteIP0.Enabled = true;
                cbb_TCPSvrCount0.Enabled = true;
                RzComboBox2.Select(0);
                if (p.CloudEnable)
                    RzComboBox2.Select(3); // no entry for it: no selection
                if (p.MacRegister)
                    RzComboBox2.Select(1);
                if (p.UserRegister)
                    RzComboBox2.Select(2);
                cbbHeartPackType.Select(p.MacHeart ? 0 : 1);
                HeartPackTypeChange();
                RegChange();
                RzCheckBox1.Checked = p.KickOld;
                rzchbUdpFrom.Checked = p.UdpFrom;
                SelectBaud(cbb_BaudRate0, QString::number(p.Baudrate));
                cbb_D0.Select(p.DataBits - 5);
                cbb_P0.Select(p.Parity - 1);
                cbb_S0.Select(cbb_S0.IndexOf(QString::number(p.StopBits)));
                if (p.FlowControl == 1)
                    cbb_FlowControl0.Index = 0;
                else if (p.FlowControl == 3)
                    cbb_FlowControl0.Index = 1;
                else if (p.FlowControl == 5)
                    cbb_FlowControl0.Index = 2;
                edt_LocalPort0.Text = QString::number(p.LocalPort);
                edt_RemotePort0.Text = QString::number(p.RemotePort);
                edt_RemoteIP0.Text = UpToZero(p.RemoteIP);
                cbb_ModbusTCP0.Select(p.ModbusTcp);
                if (p.Rfc2217 == 0 || p.Rfc2217 == 1)
                    chk_RFC22170.Checked = p.Rfc2217 == 1;
                if (p.WorkMode == 5 || p.WorkMode == 0) {
                    cbb_WorkMode0.Index = 0;
                    chkMulticast.Checked = p.WorkMode == 5;
                } else {
                    cbb_WorkMode0.Select(p.WorkMode);
                }
                edtUartPackLEN.Text = QString::number(p.PackLen);
                edt_UARTTime0.Text = QString::number(p.PackTime);
                cbbGetPost.Select(p.GetPost);
                cbb_TCPSvrCount0.Select(p.TcpSvrCount - 1);
                LabeledEdit1.Text = QString::number(p.ResetTimeout);
                cbb_TCPStyle0.Select(p.TcpStyle - 1);
                WorkMode0Change();
            }
        }
        log.AddLogInfo(GetLangText(QStringLiteral("lang_ts_Read")) + GetLangText(QStringLiteral("lang_ts_OK")));
    } catch (const std::exception &) {
        log.AddLog(QStringLiteral("Error"), TLogColor::Red);
    }
    return filled;
}

void TQ2Page::OnReadCloud(const TarrCloudParam &cloud, bool, int)
{
    if (cloud.size() != 1)
        return;
    edtDid = UpToZero(cloud[0].DeviceId);
    edtCompass = UpToZero(cloud[0].CommCode);
}

void TQ2Page::OnReadHeartReg(const uint8_t *block, bool fromCom, int model)
{
    if (ModelInfo(model).PageOf(fromCom) != PageQ2)
        return;
    const THeartRegParam h = DecodeHeartRegParam(block);
    rzchckbxHeartDtHex.Checked = h.HeartHex;
    rzchckbxRegDtHex.Checked = h.RegHex;
    rzchckbxComSetEnable.Checked = h.ComSetEnable;
    RzCheckBox3.Checked = h.RemoveHttpdHead;
    if (h.RegMode >= 0)
        cbbRegType.Index = h.RegMode;
    RzComboBox1.Index = h.HeartMode;
    HeartChange();
    edtHeartTm.Text = QString::number(h.HeartTime);
    edtHeartDt.Text = h.HeartHex ? h.HeartData : UpToZero(h.HeartData);
    edtRegDt.Text = h.RegHex ? h.RegData : UpToZero(h.RegData);
}

void TQ2Page::OnReadHttpd(const QString &url, const QString &header)
{
    LabeledEdit2.Text = UpToZero(url);
    RzRichEdit1.Text = UpToZero(header);
}

void TQ2Page::OnModbusParam(const TModbusParam &p, int length)
{
    rzgrpbxModbus.Visible = true;
    rzchckbxmodbustcp.Visible = true;
    rzchckbxmodbustcp.Checked = p.TcpEnable == 1;
    if (length == 4) {
        rzchckbxmodbuspool.Visible = true;
        rzchckbxmodbuspool.Checked = p.PollEnable == 1;
        lblhearttime.Visible = edtwaittime.Visible = true;
        edtwaittime.Text = p.WaitTime;
    }
}

void TQ2Page::OnModbusPackParam(const TModbusPackParam &p)
{
    RzGroupBox1.Visible = true;
    cbbModbusType.Select(p.ModbusType);
    ModbusTypeChange();
    cbbReporproto.Select(p.ReportProto);
    edtModbusTimeout.Text = p.Timeout;
    edtModbusInterval.Text = p.Interval;
    cbbModbusException.Select(p.Exception);
}

void TQ2Page::OnModbusNewParam(const TModbusNewParam &p)
{
    rzgrpbxModbusNew.Visible = true;
    cmbModbusEnable1.Select(p.PollMode);
    ModbusEnable1Change();
    edtModbusTimeout1.Text = p.Timeout;
    edtModbusInterval1.Text = p.Interval;
    cmbModbusException1.Select(p.Exception);
}

bool TQ2Page::ValidateQ2Page(QString &message) const { return validate(message, nullptr, {}); }

bool TQ2Page::ValidateQ2Page(QString &message, int version) const { return validate(message, &version, {}); }

bool TQ2Page::ValidateQ2Page(QString &message, const QStringList &named) const
{
    return validate(message, nullptr, named);
}

bool TQ2Page::ValidateQ2Page(QString &message, int version, const QStringList &named) const
{
    return validate(message, &version, named);
}

bool TQ2Page::validate(QString &message, const int *version, const QStringList &named) const
{
    struct Check {
        const char *field; // the name in Q2PageFields: its rule, and whether the write carries it
        const TEditState *edit;
        QString label;
        const TGroupState *group; // the group the field is shown in, if it can be hidden
    };
    const auto L = [](const char *key) { return GetLangText(QString::fromLatin1(key)); };
    // The baud list as the text it writes; without a selection the module's rate stays.
    TEditState baudText;
    baudText.Text = cbb_BaudRate0.Text();
    baudText.Visible = cbb_BaudRate0.Visible && cbb_BaudRate0.Index >= 0;
    const Check checks[] = {
        {"HttpPort", &edt_HTTPServerPort, L("lang_Lbl_HTTPPort"), nullptr},
        {"StaticIP", &edt_StaticIP, L("lang_Lbl_StaticIP"), nullptr},
        {"UserName", &edt_username, L("lang_Lbl_UserName"), nullptr},
        {"Password", &edt_password, L("lang_Lbl_Password"), nullptr},
        {"SubnetMask", &edt_SubnetMask, L("lang_Lbl_SubnetMask"), nullptr},
        {"GatewayIP", &edt_GatewayIP, L("lang_Lbl_Gateway"), nullptr},
        {"Dns", &edtDns, L("lang_lblDns"), nullptr},
        {"ModName", &edt_ModName, L("lang_Lbl_DevName"), nullptr},
        {"ResetTimeout", &LabeledEdit1, L("lang_LabeledEdit1"), nullptr},
        {"Baudrate", &baudText, L("lang_Lbl_Baudrate"), nullptr},
        {"LocalPort", &edt_LocalPort0, L("lang_Lbl_LocalPort"), nullptr},
        {"RemoteIP", &edt_RemoteIP0, L("lang_Lbl_RemoteIP"), nullptr},
        {"RemotePort", &edt_RemotePort0, L("lang_Lbl_RemotePort"), nullptr},
        {"ShortConnTime", &LabeledEditShortTime, L("lang_LabeledEditShortTime"), nullptr},
        {"PackTime", &edt_UARTTime0, L("lang_Lbl_PackTime"), nullptr},
        {"PackLen", &edtUartPackLEN, L("lang_Lbl_PackLen"), nullptr},
        {"HeartTime", &edtHeartTm, L("lang_lblHeartTm"), &RzGroupBoxHeart},
        {"HeartData", &edtHeartDt, L("lang_lblHeartDt"), &RzGroupBoxHeart},
        {"RegData", &edtRegDt, L("lang_lblRegTp"), &rzgrpbxRegHeart},
        {"PollTimeout", &edtModbusTimeout1, L("lang_lblModbusTimeout1"), &rzgrpbxModbusNew},
        {"PollInterval", &edtModbusInterval1, L("lang_lblModbusInterval1"), &rzgrpbxModbusNew},
        {"ModbusTimeout", &edtModbusTimeout, L("lang_lblModbusTimeout"), &RzGroupBox1},
        {"ModbusInterval", &edtModbusInterval, L("lang_lblModbusInterval"), &RzGroupBox1},
        {"ModbusWaitTime", &edtwaittime, L("lang_lblhearttime"), &rzgrpbxModbus},
        {"HttpdUrl", &LabeledEdit2, QStringLiteral("Httpd URL"), &RzGroupBoxHttpd},
        {"HttpdHeader", &RzRichEdit1, QStringLiteral("Httpd Header"), &RzGroupBoxHttpd},
    };
    for (const Check &c : checks) {
        // What the user cannot see cannot be mended, and what the write leaves out does no harm.
        const QString name = QString::fromLatin1(c.field);
        const bool shown = c.edit->Visible && (!c.group || c.group->Visible);
        if (!shown && !named.contains(name, Qt::CaseInsensitive))
            continue;
        const TPageField<TQ2Page> *f = FindPageField(Q2PageFields(), name);
        if (version && f && !Q2FieldNotWritten(*this, *version, *f).isEmpty())
            continue;
        if (c.edit->Text.trimmed().isEmpty()) {
            message = c.label + L("lang_IsNull");
            return false;
        }
        if (!f)
            continue;
        if (const TValueFault fault = CheckValueRule(f->Rule, c.edit->Text); fault != TValueFault::None) {
            message = ValueFaultMessage(c.label, fault, f->Rule);
            return false;
        }
    }
    message.clear();
    return true;
}

TEncodeResult TQ2Page::ReadBase(TBaseParam &p) const
{
    p.AddrType = cbb_AddrType.Index != 0 ? 1 : 0;
    if (auto r = number(edt_LocationURLPort, "UpnpPort", p.UpnpPort); !r)
        return r;
    if (auto r = number(edt_HTTPServerPort, "HttpPort", p.HttpPort); !r)
        return r;
    p.StaticIP = edt_StaticIP.Text;
    p.GatewayIP = edt_GatewayIP.Text;
    p.SubnetMask = edt_SubnetMask.Text;
    p.ModName = edt_ModName.Text;
    p.UserName = edt_username.Text;
    p.Password = edt_password.Text;
    p.UserMAC = edt_UserMAC.Text;
    p.Dns = edtDns.Text;
    p.IsT0 = chkisT0.Checked ? 1 : 0;
    p.ClearBuffer = RzCheckBox2.Checked;
    p.ShortConn = RzCheckBoxShortEnable.Checked;
    p.Options = (rzchckbx_Reset.Checked ? 0x10 : 0) | (rzchckbx_Link.Checked ? 0x20 : 0) |
                (rzchckbx_Index.Checked ? 0x40 : 0) | (rzchckbx_RFC2217.Checked ? 0x80 : 0);
    return numberOr(LabeledEditShortTime, "ShortConnTime", p.ShortConnTime, 3, int(MaxByte));
}

TEncodeResult TQ2Page::ReadPort(TPortParam &p) const
{
    // A list without a selection keeps what the module sent.
    if (cbb_BaudRate0.Index >= 0) {
        int baud = 0;
        if (!TryStrToInt(cbb_BaudRate0.Text(), baud) || baud <= 0)
            return TEncodeResult::Fail(QStringLiteral("Baudrate"));
        p.Baudrate = baud;
    }
    if (cbb_D0.Index >= 0)
        p.DataBits = cbb_D0.Index + 5;
    if (cbb_P0.Index >= 0)
        p.Parity = cbb_P0.Index + 1;
    if (cbb_S0.Index >= 0)
        p.StopBits = cbb_S0.Index + 1;
    if (cbb_FlowControl0.Index >= 0)
        p.FlowControl = 1 + 2 * cbb_FlowControl0.Index;
    if (auto r = number(edt_LocalPort0, "LocalPort", p.LocalPort); !r)
        return r;
    if (auto r = number(edt_RemotePort0, "RemotePort", p.RemotePort); !r)
        return r;
    p.RemoteIP = edt_RemoteIP0.Text;
    if (cbb_WorkMode0.Index >= 0)
        p.WorkMode = (cbb_WorkMode0.Index == 0 && chkMulticast.Checked) ? 5 : cbb_WorkMode0.Index;
    p.ModbusTcp = (cbb_ModbusTCP0.Index != 0 && (p.WorkMode == 1 || p.WorkMode == 3)) ? 1 : 0;
    p.Rfc2217 = chk_RFC22170.Checked ? 1 : 0;
    p.CloudEnable = 0;
    p.KickOld = RzCheckBox1.Checked;
    p.MacRegister = RzComboBox2.Index == 1;
    p.UserRegister = RzComboBox2.Index == 2;
    p.MacHeart = cbbHeartPackType.Index == 0;
    if (cbbGetPost.Index >= 0)
        p.GetPost = cbbGetPost.Index;
    if (cbb_TCPSvrCount0.Index >= 0)
        p.TcpSvrCount = cbb_TCPSvrCount0.Index + 1;
    if (auto r = numberOr(LabeledEdit1, "ResetTimeout", p.ResetTimeout, 0, int(MaxWord)); !r)
        return r;
    p.UdpFrom = rzchbUdpFrom.Checked;
    if (auto r = number(edtUartPackLEN, "PackLen", p.PackLen); !r)
        return r;
    if (auto r = number(edt_UARTTime0, "PackTime", p.PackTime); !r)
        return r;
    return {};
}

TEncodeResult TQ2Page::ReadHeartReg(THeartRegParam &p) const
{
    p.HeartMode = RzComboBox1.Index == 2 ? 2 : RzComboBox1.Index == 1 ? 1 : 0;
    p.RegMode = cbbRegType.Index == 0 ? 0 : cbbRegType.Index == 1 ? 1 : 2;
    p.RemoveHttpdHead = RzCheckBox3.Checked;
    p.ComSetEnable = rzchckbxComSetEnable.Checked;
    p.HeartHex = rzchckbxHeartDtHex.Checked;
    p.RegHex = rzchckbxRegDtHex.Checked;
    if (auto r = number(edtHeartTm, "HeartTime", p.HeartTime); !r)
        return r;
    p.HeartData = edtHeartDt.Text;
    p.RegData = edtRegDt.Text;
    return {};
}

THttpdParam TQ2Page::ReadHttpd() const { return {LabeledEdit2.Text, RzRichEdit1.Text}; }

TEncodeResult TQ2Page::ReadModbus(TModbusParam &p, int &length) const
{
    length = rzchckbxmodbuspool.Visible ? 4 : 1;
    p.TcpEnable = rzchckbxmodbustcp.Checked ? 1 : 0;
    p.PollEnable = rzchckbxmodbuspool.Checked ? 1 : 0;
    p.WaitTime = edtwaittime.Text;
    int v = 0;
    if (length == 4)
        return number(edtwaittime, "WaitTime", v);
    return {};
}

TModbusPackParam TQ2Page::ReadModbusPack() const
{
    TModbusPackParam p;
    p.ModbusType = cbbModbusType.Index;
    p.Exception = cbbModbusException.Index;
    p.Timeout = edtModbusTimeout.Text;
    p.Interval = edtModbusInterval.Text;
    p.ReportProto = cbbReporproto.Index;
    return p;
}

TModbusNewParam TQ2Page::ReadModbusNew() const
{
    TModbusNewParam p;
    p.PollMode = cmbModbusEnable1.Index;
    p.Exception = cmbModbusException1.Index;
    p.Timeout = edtModbusTimeout1.Text;
    p.Interval = edtModbusInterval1.Text;
    return p;
}

QString TQ2Page::FieldLabel(const QString &field)
{
    static const QHash<QString, const char *> keys = {
        {"StaticIP", "lang_Lbl_StaticIP"},   {"GatewayIP", "lang_Lbl_Gateway"}, {"SubnetMask", "lang_Lbl_SubnetMask"},
        {"Dns", "lang_lblDns"},              {"UserMAC", "lang_Lbl_MAC"},       {"UpnpPort", "lang_Lbl_UPNPPort"},
        {"HttpPort", "lang_Lbl_HTTPPort"},   {"Baudrate", "lang_Lbl_Baudrate"}, {"LocalPort", "lang_Lbl_LocalPort"},
        {"RemotePort", "lang_Lbl_RemotePort"}, {"PackLen", "lang_Lbl_PackLen"}, {"PackTime", "lang_Lbl_PackTime"},
        {"HeartTime", "lang_lblHeartTm"},    {"HeartData", "lang_lblHeartDt"},  {"RegData", "lang_lblRegTp"},
        {"WaitTime", "lang_lblhearttime"},   {"Timeout", "lang_lblModbusTimeout"},
        {"Interval", "lang_lblModbusInterval"}, {"Timeout1", "lang_lblModbusTimeout1"},
        {"Interval1", "lang_lblModbusInterval1"}, {"ResetTimeout", "lang_LabeledEdit1"},
        {"ShortConnTime", "lang_LabeledEditShortTime"}};
    const auto it = keys.constFind(field);
    return it == keys.constEnd() ? field : GetLangText(QString::fromLatin1(it.value()));
}
