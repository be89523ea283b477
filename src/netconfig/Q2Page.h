#pragma once
// The Q2 editor page as data: every control the fills, the display rules, the validation and the
// write touch. The GUI copies widgets to and from it in one place; the CLI edits it directly.

#include "core/LogSink.h"
#include "core/Public.h"
#include "netconfig/Codecs.h"
#include "netconfig/PageControls.h"

#include <QString>

struct TQ2Page {
    TQ2Page();

    // Base parameters.
    TComboState cbb_AddrType;
    TEditState edt_HTTPServerPort, edt_StaticIP, edt_SubnetMask, edt_GatewayIP, edtDns;
    TEditState edt_username, edt_password, edt_ModName, LabeledEdit1;
    TCheckState RzCheckBox2, rzchckbxComSetEnable;
    TCheckState rzchckbx_Reset, rzchckbx_Link, rzchckbx_Index, rzchckbx_RFC2217;
    TEditState edt_LocationURLPort, edt_UserMAC; // hidden, carry what was read
    TCheckState chkisT0;                          // hidden
    TComboState cbbRegSnd;                        // hidden, shown only
    TLabelState lbl_StaticIP, lbl_GatewayIP, lbl_SubnetMask, lblDns;

    // Port parameters.
    TComboState cbb_BaudRate0, cbb_P0, cbb_D0, cbb_S0, cbb_WorkMode0;
    TCheckState chkMulticast;
    TEditState edt_LocalPort0, edt_RemotePort0, edt_RemoteIP0;
    TComboState cbb_TCPSvrCount0;
    TEditState edt_UARTTime0, edtUartPackLEN, LabeledEditShortTime;
    TCheckState RzCheckBoxShortEnable, RzCheckBox1, rzchbUdpFrom;
    TComboState cbb_FlowControl0, cbb_ModbusTCP0, cbb_TCPStyle0; // hidden
    TCheckState chk_RFC22170;                                    // hidden
    TLabelState lbl_ModbusTCP0, lbl_TCPSvrCount0, lbl_TCPStyle0, lbl_RemoteIP0, lbl_UARTTime0, lblUartPackLEN;

    // Heartbeat and register.
    TGroupState RzGroupBoxHeart, rzgrpbxRegHeart;
    TComboState RzComboBox1, cbbHeartPackType, RzComboBox2, cbbRegType;
    TEditState edtHeartTm, edtHeartDt, edtRegDt;
    TCheckState rzchckbxHeartDtHex, rzchckbxRegDtHex;
    TLabelState lblHeartPackType, lblHeartTm, lblHeartDt, lblRegSnd, lblRegTp;

    // Httpd.
    TGroupState RzGroupBoxHttpd;
    TComboState cbbGetPost;
    TLabelState lblGetPost;
    TEditState LabeledEdit2, RzRichEdit1;
    TCheckState RzCheckBox3;

    // Modbus.
    TGroupState rzgrpbxModbus, RzGroupBox1, rzgrpbxModbusNew;
    TCheckState rzchckbxmodbustcp, rzchckbxmodbuspool;
    TLabelState lblhearttime;
    TEditState edtwaittime;
    TComboState cbbModbusType, cbbReporproto, cbbModbusException;
    TEditState edtModbusTimeout, edtModbusInterval;
    TLabelState lblReportProto, lblModbusTimeout, lblModbusInterval, lblModbusException;
    TComboState cmbModbusEnable1, cmbModbusException1;
    TEditState edtModbusTimeout1, edtModbusInterval1;
    TLabelState lblModbusTimeout1, lblModbusInterval1, lblModbusException1;

    // Kept from the cloud reply; nothing shows or writes them.
    QString edtDid, edtCompass;

    // Which tab of the search column is active: network-only controls exist only on the LAN tab.
    bool LanTab = true;

    // ---- Tab switch and row click ----
    void SetLanTab(bool lan);
    // A click on a Q2 row: the Modbus groups stay hidden until the module sends their blocks.
    void HideModbusGroups();

    // ---- Fills from the endpoint's events (or the serial reader). ----
    // selectedMac: MAC of the selected list row, empty when none. Returns true when the page was
    // filled (model Q2); showPage is then set. Logs "Read OK" or the red "Error".
    bool OnReadParam(const TBaseParam &base, const TarrComParam &ports, bool fromCom, int model,
                     const QString &selectedMac, ILogSink &log, bool *accepted = nullptr);
    void OnReadCloud(const TarrCloudParam &cloud, bool fromCom, int model);
    void OnReadHeartReg(const uint8_t *block, bool fromCom, int model);
    void OnReadHttpd(const QString &url, const QString &header);
    void OnModbusParam(const TModbusParam &p, int length);
    void OnModbusPackParam(const TModbusPackParam &p);
    void OnModbusNewParam(const TModbusNewParam &p);

    // ---- Display rules, each run on its control's change. ----
    void AddrTypeChange();
    void WorkMode0Change();
    void HeartChange();       // RzComboBox1
    void HeartPackTypeChange();
    void RegChange();         // RzComboBox2 and cbbRegType
    void ModbusTypeChange();
    void ModbusEnable1Change();
    // The Hex boxes: tag 1 heartbeat data, tag 2 register data; the box has already changed.
    void HexBoxClick(int tag);

    // ---- Validation and reading into records. ----
    // The checks in page order; on the first failure the message is set and false returned. Each
    // field that is shown must not be empty, and must be a value its bytes can carry (an address,
    // a number within range). A field the page hides is not checked.
    bool ValidateQ2Page(QString &message) const;
    // The same for a network write to a module of this firmware version: a field the write does
    // not carry (Q2FieldNotWritten) is not checked either.
    bool ValidateQ2Page(QString &message, int version) const;
    // With fields set by name (the CLI's NAME=VALUE, a profile): those are checked even where the
    // page hides them, since the user chose their values.
    bool ValidateQ2Page(QString &message, const QStringList &named) const;
    bool ValidateQ2Page(QString &message, int version, const QStringList &named) const;
    // Page -> records, starting from the records of the last blocks (so that a list without a
    // selection keeps what the module sent). A number that does not convert names its field.
    TEncodeResult ReadBase(TBaseParam &p) const;
    TEncodeResult ReadPort(TPortParam &p) const;
    TEncodeResult ReadHeartReg(THeartRegParam &p) const;
    THttpdParam ReadHttpd() const;
    TEncodeResult ReadModbus(TModbusParam &p, int &length) const;
    TModbusPackParam ReadModbusPack() const;
    TModbusNewParam ReadModbusNew() const;

    // Label text of a record field or check (for messages).
    static QString FieldLabel(const QString &field);

private:
    bool validate(QString &message, const int *version, const QStringList &named) const;
};
