// The groups of the Q2 page, top to bottom. Captions given here are the design texts; the text
// table replaces those it has keys for.

#include "gui/BaudInput.h"
#include "gui/Q2PageView.h"
#include "netconfig/Q2Page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

QGroupBox *TQ2PageView::buildBase()
{
    TQ2Page &m = FModel;
    QGroupBox *g =
        MakeGroup(FStack, "grp_BaseSave", QStringLiteral("Base Param (which is without *,usually keep default)"));
    TFieldGrid grid(g);

    QComboBox *addrType = Combo(g, "cbb_AddrType", m.cbb_AddrType, [&m] { m.AddrTypeChange(); });
    grid.Field(0, Label(g, "lbl_AddrType", QStringLiteral("IP Type *"), addrType, nullptr, &m.cbb_AddrType.Visible),
               addrType);
    QLineEdit *http = Edit(g, "edt_HTTPServerPort", m.edt_HTTPServerPort);
    grid.Field(
        1, Label(g, "lbl_HTTPServerPort", QStringLiteral("HTTP Port"), http, nullptr, &m.edt_HTTPServerPort.Visible),
        http);
    grid.NextRow();

    QLineEdit *ip = Edit(g, "edt_StaticIP", m.edt_StaticIP);
    grid.Field(
        0, Label(g, "lbl_StaticIP", QStringLiteral("ModuleStaticIP *"), ip, &m.lbl_StaticIP, &m.edt_StaticIP.Visible),
        ip);
    QLineEdit *mask = Edit(g, "edt_SubnetMask", m.edt_SubnetMask);
    grid.Field(
        1,
        Label(g, "lbl_SubnetMask", QStringLiteral("SubnetMask *"), mask, &m.lbl_SubnetMask, &m.edt_SubnetMask.Visible),
        mask);
    grid.NextRow();

    QLineEdit *gateway = Edit(g, "edt_GatewayIP", m.edt_GatewayIP);
    grid.Field(
        0, Label(g, "lbl_GatewayIP", QStringLiteral("Gateway *"), gateway, &m.lbl_GatewayIP, &m.edt_GatewayIP.Visible),
        gateway);
    QLineEdit *dns = Edit(g, "edtDns", m.edtDns);
    grid.Field(1, Label(g, "lblDns", QStringLiteral("DNS Address"), dns, &m.lblDns, &m.edtDns.Visible), dns);
    grid.NextRow();

    QLineEdit *user = Edit(g, "edt_username", m.edt_username);
    grid.Field(0, Label(g, "lbl_username", QStringLiteral("User Name"), user, nullptr, &m.edt_username.Visible), user);
    QLineEdit *pswd = Edit(g, "edt_password", m.edt_password);
    grid.Field(1, Label(g, "lbl_password", QStringLiteral("Password"), pswd, nullptr, &m.edt_password.Visible), pswd);
    grid.NextRow();

    QLineEdit *name = Edit(g, "edt_ModName", m.edt_ModName);
    grid.Field(0, Label(g, "lbl_ModName", QStringLiteral("Device Name"), name, nullptr, &m.edt_ModName.Visible), name);
    QLineEdit *reset = Edit(g, "LabeledEdit1", m.LabeledEdit1);
    grid.Field(
        1, Label(g, "LabeledEdit1Label", QStringLiteral("Reset Timeout(s)"), reset, nullptr, &m.LabeledEdit1.Visible),
        reset);
    grid.NextRow();

    // Carried from the read reply and written back as read.
    QLineEdit *upnp = Edit(g, "edt_LocationURLPort", m.edt_LocationURLPort);
    grid.Field(
        0, Label(g, "lbl_LocationURLPort", QStringLiteral("UPNP Port"), upnp, nullptr, &m.edt_LocationURLPort.Visible),
        upnp);
    QLineEdit *mac = Edit(g, "edt_UserMAC", m.edt_UserMAC);
    grid.Field(1, Label(g, "lbl_UserMAC", QStringLiteral("MAC Address"), mac, nullptr, &m.edt_UserMAC.Visible), mac);
    grid.NextRow();
    grid.Single(0, Check(g, "chkisT0", QStringLiteral("T0"), m.chkisT0));
    grid.Single(1, Combo(g, "cbbRegSnd", m.cbbRegSnd));
    grid.NextRow();
    // Controls of older module generations, kept for their names only.
    QLineEdit *id = HiddenEdit(g, "edt_Id3");
    grid.Field(0, HiddenLabel(g, "lbl_Id3", QStringLiteral("Device ID"), id), id);
    QLineEdit *idType = HiddenEdit(g, "edt_IdType");
    grid.Field(1, HiddenLabel(g, "lbl_IdType", QStringLiteral("Device ID Type"), idType), idType);
    grid.NextRow();
    grid.Single(0, HiddenCheck(g, "rzchckbx_ConnSendId", QStringLiteral("Send ID when connected")));
    grid.Single(1, HiddenCheck(g, "rzchckbx_DataWithId", QStringLiteral("Send ID with data")));
    grid.NextRow();
    grid.Single(0, HiddenCheck(g, "rzchckbx_RS485", QStringLiteral("RS485")));
    grid.Single(1, HiddenCheck(g, "rzchckbx_RS422", QStringLiteral("RS422")));
    grid.NextRow();

    grid.Single(0, Check(g, "RzCheckBox2", QStringLiteral("Clear Buffer Data Before Connected"), m.RzCheckBox2));
    grid.Single(1, Check(g, "rzchckbxComSetEnable", QStringLiteral("UART Set Parameter"), m.rzchckbxComSetEnable));
    grid.NextRow();

    auto *options = new QWidget(g);
    options->setObjectName(QStringLiteral("pnl_Options"));
    auto *row = new QHBoxLayout(options);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(Check(options, "rzchckbx_Reset", QStringLiteral("Reset"), m.rzchckbx_Reset));
    row->addWidget(Check(options, "rzchckbx_Link", QStringLiteral("Link"), m.rzchckbx_Link));
    row->addWidget(Check(options, "rzchckbx_Index", QStringLiteral("Index"), m.rzchckbx_Index));
    row->addWidget(Check(options, "rzchckbx_RFC2217", QStringLiteral("RFC2217"), m.rzchckbx_RFC2217));
    row->addStretch();
    grid.Span(options);
    return g;
}

QGroupBox *TQ2PageView::buildPort()
{
    TQ2Page &m = FModel;
    QGroupBox *g = MakeGroup(FStack, "grp_ComParam", QStringLiteral("Port Param"));
    TFieldGrid grid(g);

    QComboBox *mode = Combo(g, "cbb_WorkMode0", m.cbb_WorkMode0, [&m] { m.WorkMode0Change(); });
    grid.Field(0, Label(g, "lbl_WorkMode0", QStringLiteral("Work Mode"), mode, nullptr, &m.cbb_WorkMode0.Visible),
               mode);
    grid.Single(1, Check(g, "chkMulticast", QStringLiteral("Multicast"), m.chkMulticast));
    grid.NextRow();

    QComboBox *baud = Combo(g, "cbb_BaudRate0", m.cbb_BaudRate0, [this, &m] { AskCustomBaud(this, m.cbb_BaudRate0); });
    grid.Field(0, Label(g, "lbl_BaudRate0", QStringLiteral("Baudrate"), baud, nullptr, &m.cbb_BaudRate0.Visible), baud);
    QComboBox *count = Combo(g, "cbb_TCPSvrCount0", m.cbb_TCPSvrCount0);
    grid.Field(1,
               Label(g, "lbl_TCPSvrCount0", QStringLiteral("TCP Server Count"), count, &m.lbl_TCPSvrCount0,
                     &m.cbb_TCPSvrCount0.Visible),
               count);
    grid.NextRow();

    // Parity, data bits and stop bits side by side.
    QComboBox *parity = nullptr;
    QWidget *pds = SerialBitsRow(g, "pnl_PDS0", "cbb_P0", "cbb_D0", "cbb_S0", m.cbb_P0, m.cbb_D0, m.cbb_S0, parity);
    grid.WideField(Label(g, "lbl_PDS0", QStringLiteral("Parity/Data/Stop"), parity, nullptr, &m.cbb_P0.Visible), pds);
    grid.NextRow();

    QLineEdit *local = Edit(g, "edt_LocalPort0", m.edt_LocalPort0);
    grid.Field(0, Label(g, "lbl_LocalPort0", QStringLiteral("Local Port"), local, nullptr, &m.edt_LocalPort0.Visible),
               local);
    QLineEdit *remotePort = Edit(g, "edt_RemotePort0", m.edt_RemotePort0);
    grid.Field(
        1, Label(g, "lbl_RemotePort0", QStringLiteral("Remote Port"), remotePort, nullptr, &m.edt_RemotePort0.Visible),
        remotePort);
    grid.NextRow();

    // Up to 30 characters: a host name fits as well as an address.
    QLineEdit *remoteIp = Edit(g, "edt_RemoteIP0", m.edt_RemoteIP0);
    grid.FullField(
        Label(g, "lbl_RemoteIP0", QStringLiteral("RemoteIP"), remoteIp, &m.lbl_RemoteIP0, &m.edt_RemoteIP0.Visible),
        remoteIp);
    grid.NextRow();

    QLineEdit *packTime = Edit(g, "edt_UARTTime0", m.edt_UARTTime0);
    grid.Field(
        0, Label(g, "lbl_UARTTime0", QStringLiteral("PackTime"), packTime, &m.lbl_UARTTime0, &m.edt_UARTTime0.Visible),
        packTime);
    QLineEdit *packLen = Edit(g, "edtUartPackLEN", m.edtUartPackLEN);
    grid.Field(
        1, Label(g, "lblUartPackLEN", QStringLiteral("PackLen"), packLen, &m.lblUartPackLEN, &m.edtUartPackLEN.Visible),
        packLen);
    grid.NextRow();

    QLineEdit *shortTime = Edit(g, "LabeledEditShortTime", m.LabeledEditShortTime);
    grid.Field(0,
               Label(g, "LabeledEditShortTimeLabel", QStringLiteral("Short Connection time"), shortTime, nullptr,
                     &m.LabeledEditShortTime.Visible),
               shortTime);
    grid.Single(1, Check(g, "RzCheckBoxShortEnable", QStringLiteral("Short Connection"), m.RzCheckBoxShortEnable));
    grid.NextRow();

    grid.Single(0, Check(g, "RzCheckBox1", QStringLiteral("TCP Server-kick off old connection"), m.RzCheckBox1));
    grid.Single(1, Check(g, "rzchbUdpFrom", QStringLiteral("UDP data source judgment"), m.rzchbUdpFrom));
    grid.NextRow();

    // Carried from the read reply back into the block.
    QComboBox *flow = Combo(g, "cbb_FlowControl0", m.cbb_FlowControl0);
    grid.Field(0,
               Label(g, "lbl_FlowControl0", QStringLiteral("Flow Control"), flow, nullptr, &m.cbb_FlowControl0.Visible),
               flow);
    QComboBox *modbusTcp = Combo(g, "cbb_ModbusTCP0", m.cbb_ModbusTCP0);
    grid.Field(1,
               Label(g, "lbl_ModbusTCP0", QStringLiteral("Modbus TCP"), modbusTcp, &m.lbl_ModbusTCP0,
                     &m.cbb_ModbusTCP0.Visible),
               modbusTcp);
    grid.NextRow();
    QComboBox *style = Combo(g, "cbb_TCPStyle0", m.cbb_TCPStyle0);
    grid.Field(
        0,
        Label(g, "lbl_TCPStyle0", QStringLiteral("Transfer Mode"), style, &m.lbl_TCPStyle0, &m.cbb_TCPStyle0.Visible),
        style);
    grid.Single(1, Check(g, "chk_RFC22170", QStringLiteral("RFC2217"), m.chk_RFC22170));
    grid.NextRow();
    QLineEdit *length = HiddenEdit(g, "edt_UARTLength0");
    grid.Field(0, HiddenLabel(g, "lbl_UARTLength0", QStringLiteral("PackLen"), length), length);
    return g;
}

QGroupBox *TQ2PageView::buildHeart()
{
    TQ2Page &m = FModel;
    QGroupBox *g = MakeGroup(FStack, "RzGroupBoxHeart", QStringLiteral("Heartbeat"));
    TFieldGrid grid(g);

    // The lists' entries are long: one field per row.
    QComboBox *heart = Combo(g, "RzComboBox1", m.RzComboBox1, [&m] { m.HeartChange(); });
    grid.WideField(Label(g, "RzLabel1", QStringLiteral("Heartbeat Mode"), heart, nullptr, &m.RzComboBox1.Visible),
                   heart);
    grid.NextRow();
    QComboBox *type = Combo(g, "cbbHeartPackType", m.cbbHeartPackType, [&m] { m.HeartPackTypeChange(); });
    grid.WideField(Label(g, "lblHeartPackType", QStringLiteral("Heartbeat Type"), type, &m.lblHeartPackType,
                         &m.cbbHeartPackType.Visible),
                   type);
    grid.NextRow();

    QLineEdit *time = Edit(g, "edtHeartTm", m.edtHeartTm);
    grid.Field(0,
               Label(g, "lblHeartTm", QStringLiteral("Heartbeat Time(s)"), time, &m.lblHeartTm, &m.edtHeartTm.Visible),
               time);
    grid.NextRow();

    QLineEdit *data = Edit(g, "edtHeartDt", m.edtHeartDt);
    QCheckBox *hex =
        Check(g, "rzchckbxHeartDtHex", QStringLiteral("Hex"), m.rzchckbxHeartDtHex, [&m] { m.HexBoxClick(1); });
    grid.WideField(
        Label(g, "lblHeartDt", QStringLiteral("Heartbeat Packet"), data, &m.lblHeartDt, &m.edtHeartDt.Visible), data,
        hex);
    return g;
}

QGroupBox *TQ2PageView::buildRegister()
{
    TQ2Page &m = FModel;
    QGroupBox *g = MakeGroup(FStack, "rzgrpbxRegHeart", QStringLiteral("Register"));
    TFieldGrid grid(g);

    QComboBox *reg = Combo(g, "RzComboBox2", m.RzComboBox2, [&m] { m.RegChange(); });
    grid.WideField(Label(g, "RzLabel2", QStringLiteral("Register Mode"), reg, nullptr, &m.RzComboBox2.Visible), reg);
    grid.NextRow();
    QComboBox *type = Combo(g, "cbbRegType", m.cbbRegType, [&m] { m.RegChange(); });
    grid.WideField(Label(g, "lblRegSnd", QStringLiteral("Register Send"), type, &m.lblRegSnd, &m.cbbRegType.Visible),
                   type);
    grid.NextRow();

    QLineEdit *data = Edit(g, "edtRegDt", m.edtRegDt);
    QCheckBox *hex =
        Check(g, "rzchckbxRegDtHex", QStringLiteral("Hex"), m.rzchckbxRegDtHex, [&m] { m.HexBoxClick(2); });
    grid.WideField(Label(g, "lblRegTp", QStringLiteral("User Register Packet"), data, &m.lblRegTp, &m.edtRegDt.Visible),
                   data, hex);
    grid.NextRow();

    // What the cloud reply gave; kept, never shown.
    QLineEdit *did = HiddenEdit(g, "edtDid");
    FBind.Text(did, &m.edtDid);
    grid.Field(0, HiddenLabel(g, "lblDid", QStringLiteral("Device ID"), did), did);
    QLineEdit *compass = HiddenEdit(g, "edtCompass");
    FBind.Text(compass, &m.edtCompass);
    grid.Field(1, HiddenLabel(g, "lblCompass", QStringLiteral("Comm Code"), compass), compass);
    return g;
}

QGroupBox *TQ2PageView::buildModbusNew()
{
    TQ2Page &m = FModel;
    QGroupBox *g = MakeGroup(FStack, "rzgrpbxModbusNew", QStringLiteral("Modbus Poll"));
    TFieldGrid grid(g);

    QComboBox *mode = Combo(g, "cmbModbusEnable1", m.cmbModbusEnable1, [&m] { m.ModbusEnable1Change(); });
    grid.WideField(
        Label(g, "lblModbusEnable1", QStringLiteral("Modbus Mode"), mode, nullptr, &m.cmbModbusEnable1.Visible), mode);
    grid.NextRow();

    QLineEdit *timeout = Edit(g, "edtModbusTimeout1", m.edtModbusTimeout1);
    grid.Field(0,
               Label(g, "lblModbusTimeout1", QStringLiteral("Poll Timeout"), timeout, &m.lblModbusTimeout1,
                     &m.edtModbusTimeout1.Visible),
               timeout);
    QLineEdit *interval = Edit(g, "edtModbusInterval1", m.edtModbusInterval1);
    grid.Field(1,
               Label(g, "lblModbusInterval1", QStringLiteral("Poll Interval"), interval, &m.lblModbusInterval1,
                     &m.edtModbusInterval1.Visible),
               interval);
    grid.NextRow();

    QComboBox *exception = Combo(g, "cmbModbusException1", m.cmbModbusException1);
    grid.Field(0,
               Label(g, "lblModbusException1", QStringLiteral("Exception Reply"), exception, &m.lblModbusException1,
                     &m.cmbModbusException1.Visible),
               exception);
    return g;
}

QGroupBox *TQ2PageView::buildModbusPack()
{
    TQ2Page &m = FModel;
    QGroupBox *g = MakeGroup(FStack, "RzGroupBox1", QStringLiteral("Modbus"));
    TFieldGrid grid(g);

    QComboBox *type = Combo(g, "cbbModbusType", m.cbbModbusType, [&m] { m.ModbusTypeChange(); });
    grid.WideField(Label(g, "lblModbusEn", QStringLiteral("Modbus Type"), type, nullptr, &m.cbbModbusType.Visible),
                   type);
    grid.NextRow();

    QComboBox *proto = Combo(g, "cbbReporproto", m.cbbReporproto);
    grid.Field(0,
               Label(g, "lblReportProto", QStringLiteral("Report Protocol"), proto, &m.lblReportProto,
                     &m.cbbReporproto.Visible),
               proto);
    QComboBox *exception = Combo(g, "cbbModbusException", m.cbbModbusException);
    grid.Field(1,
               Label(g, "lblModbusException", QStringLiteral("Exception Reply"), exception, &m.lblModbusException,
                     &m.cbbModbusException.Visible),
               exception);
    grid.NextRow();

    QLineEdit *timeout = Edit(g, "edtModbusTimeout", m.edtModbusTimeout);
    grid.Field(0,
               Label(g, "lblModbusTimeout", QStringLiteral("Poll Timeout"), timeout, &m.lblModbusTimeout,
                     &m.edtModbusTimeout.Visible),
               timeout);
    QLineEdit *interval = Edit(g, "edtModbusInterval", m.edtModbusInterval);
    grid.Field(1,
               Label(g, "lblModbusInterval", QStringLiteral("Poll Interval"), interval, &m.lblModbusInterval,
                     &m.edtModbusInterval.Visible),
               interval);
    return g;
}

QGroupBox *TQ2PageView::buildModbus()
{
    TQ2Page &m = FModel;
    QGroupBox *g = MakeGroup(FStack, "rzgrpbxModbus", QStringLiteral("Modbus TCP"));
    TFieldGrid grid(g);

    grid.Single(0, Check(g, "rzchckbxmodbustcp", QStringLiteral("ModBusTCP"), m.rzchckbxmodbustcp));
    grid.Single(1, Check(g, "rzchckbxmodbuspool", QStringLiteral("ModbusTCP poll"), m.rzchckbxmodbuspool));
    grid.NextRow();
    QLineEdit *wait = Edit(g, "edtwaittime", m.edtwaittime);
    grid.Field(
        0, Label(g, "lblhearttime", QStringLiteral("Poll Timeout(ms)"), wait, &m.lblhearttime, &m.edtwaittime.Visible),
        wait);
    return g;
}

QGroupBox *TQ2PageView::buildHttpd()
{
    TQ2Page &m = FModel;
    QGroupBox *g = MakeGroup(FStack, "RzGroupBoxHttpd", QStringLiteral("Httpd"));
    TFieldGrid grid(g);

    QComboBox *method = Combo(g, "cbbGetPost", m.cbbGetPost);
    grid.Field(0, Label(g, "lblGetPost", QStringLiteral("Http Method"), method, &m.lblGetPost, &m.cbbGetPost.Visible),
               method);
    grid.Single(1, Check(g, "RzCheckBox3", QStringLiteral("Remove Httpd Head"), m.RzCheckBox3));
    grid.NextRow();

    QLineEdit *url = Edit(g, "LabeledEdit2", m.LabeledEdit2);
    grid.FullField(
        Label(g, "LabeledEdit2Label", QStringLiteral("Httpd URL(<100byte) "), url, nullptr, &m.LabeledEdit2.Visible),
        url);
    grid.NextRow();

    auto *header = new QPlainTextEdit(g);
    header->setObjectName(QStringLiteral("RzRichEdit1"));
    header->setFixedHeight(header->fontMetrics().lineSpacing() * 4 + 12);
    FBind.Memo(header, &m.RzRichEdit1);
    Watch(header);
    QLabel *headerLabel = Label(g, "RzRichEdit1Label", QStringLiteral("Httpd Header(<200byte) "), header, nullptr,
                                &m.RzRichEdit1.Visible);
    headerLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    headerLabel->setContentsMargins(0, 4, 0, 0); // level with the first line of the text
    grid.FullField(headerLabel, header);
    return g;
}
