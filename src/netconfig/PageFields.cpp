#include "netconfig/PageFields.h"

#include "netconfig/Q1Page.h"
#include "netconfig/Q2Page.h"

namespace {

using Q2 = TPageField<TQ2Page>;
using Q1 = TPageField<TQ1Page>;

#define EDIT(member) [](TQ2Page &p) -> TEditState & { return p.member; }
#define BOX(member) [](TQ2Page &p) -> TCheckState & { return p.member; }
#define LIST(member) [](TQ2Page &p) -> TComboState & { return p.member; }
#define RULE(method) [](TQ2Page &p) { p.method(); }

using B = TQ2Block;

Q2 text(B block, const char *name, std::function<TEditState &(TQ2Page &)> e, const char *help)
{
    return {QString::fromLatin1(name), Q2::Text, e, {}, {}, {}, QString::fromLatin1(help), block};
}
// A number field; max is what its bytes hold.
Q2 num(B block, const char *name, std::function<TEditState &(TQ2Page &)> e, const char *help, qint64 max)
{
    return {QString::fromLatin1(name), Q2::Number, e, {}, {}, {}, QString::fromLatin1(help), block,
            TValueRule::Range(0, max)};
}
// An address in four bytes.
Q2 ip(B block, const char *name, std::function<TEditState &(TQ2Page &)> e, const char *help)
{
    return {QString::fromLatin1(name), Q2::Text, e, {}, {}, {}, QString::fromLatin1(help), block,
            TValueRule::Address()};
}
Q2 box(B block, const char *name, std::function<TCheckState &(TQ2Page &)> c, const char *help,
       std::function<void(TQ2Page &)> rule = {})
{
    return {QString::fromLatin1(name), Q2::Check, {}, c, {}, rule, QString::fromLatin1(help), block};
}
Q2 list(B block, const char *name, std::function<TComboState &(TQ2Page &)> c, const char *help,
        std::function<void(TQ2Page &)> rule = {})
{
    return {QString::fromLatin1(name), Q2::List, {}, {}, c, rule, QString::fromLatin1(help), block};
}
Q2 baud(B block, const char *name, std::function<TComboState &(TQ2Page &)> c, const char *help)
{
    // Four bytes, taken as a positive 32-bit number.
    return {QString::fromLatin1(name), Q2::Baud, {}, {}, c, {}, QString::fromLatin1(help), block,
            TValueRule::Range(1, MaxInt32)};
}

} // namespace

const QList<TPageField<TQ2Page>> &Q2PageFields()
{
    static const QList<Q2> fields = {
        list(B::Base, "AddrType", LIST(cbb_AddrType), "address type", RULE(AddrTypeChange)),
        num(B::Base, "HttpPort", EDIT(edt_HTTPServerPort), "web page port", MaxWord),
        ip(B::Base, "StaticIP", EDIT(edt_StaticIP), "module IP"),
        ip(B::Base, "SubnetMask", EDIT(edt_SubnetMask), "subnet mask"),
        ip(B::Base, "GatewayIP", EDIT(edt_GatewayIP), "gateway"),
        ip(B::Base, "Dns", EDIT(edtDns), "DNS server"),
        text(B::Base, "UserName", EDIT(edt_username), "the module's login user name"),
        text(B::Base, "Password", EDIT(edt_password), "the module's login password"),
        text(B::Base, "ModName", EDIT(edt_ModName), "module name"),
        num(B::Port, "ResetTimeout", EDIT(LabeledEdit1), "Reset Timeout(s)", MaxWord),
        box(B::Base, "ClearBuffer", BOX(RzCheckBox2), "Clear Buffer Data Before Connected"),
        box(B::HeartReg, "ComSetEnable", BOX(rzchckbxComSetEnable), "UART Set Parameter"),
        box(B::Base, "OptReset", BOX(rzchckbx_Reset), "option Reset"),
        box(B::Base, "OptLink", BOX(rzchckbx_Link), "option Link"),
        box(B::Base, "OptIndex", BOX(rzchckbx_Index), "option Index"),
        box(B::Base, "OptRfc2217", BOX(rzchckbx_RFC2217), "option RFC2217"),
        baud(B::Port, "Baudrate", LIST(cbb_BaudRate0), "baud rate"),
        list(B::Port, "Parity", LIST(cbb_P0), "parity"),
        list(B::Port, "DataBits", LIST(cbb_D0), "data bits"),
        list(B::Port, "StopBits", LIST(cbb_S0), "stop bits"),
        list(B::Port, "FlowControl", LIST(cbb_FlowControl0), "flow control"),
        list(B::Port, "WorkMode", LIST(cbb_WorkMode0), "work mode", RULE(WorkMode0Change)),
        box(B::Port, "Multicast", BOX(chkMulticast), "multicast (with UDP Client)"),
        num(B::Port, "LocalPort", EDIT(edt_LocalPort0), "local port", MaxWord),
        num(B::Port, "RemotePort", EDIT(edt_RemotePort0), "remote port", MaxWord),
        text(B::Port, "RemoteIP", EDIT(edt_RemoteIP0), "remote IP or domain name"),
        list(B::Port, "TcpSvrCount", LIST(cbb_TCPSvrCount0), "TCP server connections"),
        list(B::Port, "ModbusTcp", LIST(cbb_ModbusTCP0), "Modbus TCP (TCP Client and TCP Server only)"),
        box(B::Port, "Rfc2217", BOX(chk_RFC22170), "Synchronize baudrate"),
        num(B::Port, "PackTime", EDIT(edt_UARTTime0), "serial pack time", MaxWord),
        num(B::Port, "PackLen", EDIT(edtUartPackLEN), "serial pack length", MaxWord),
        num(B::Base, "ShortConnTime", EDIT(LabeledEditShortTime), "Short Connection time", MaxByte),
        box(B::Base, "ShortConn", BOX(RzCheckBoxShortEnable), "Short Connection"),
        box(B::Port, "KickOld", BOX(RzCheckBox1), "TCP Server-kick off old connection"),
        box(B::Port, "UdpFrom", BOX(rzchbUdpFrom), "UDP data source judgment"),
        list(B::HeartReg, "HeartMode", LIST(RzComboBox1), "heartbeat", RULE(HeartChange)),
        list(B::Port, "HeartPackType", LIST(cbbHeartPackType), "heartbeat packet type", RULE(HeartPackTypeChange)),
        num(B::HeartReg, "HeartTime", EDIT(edtHeartTm), "Heartbeat Time(s)", MaxWord),
        text(B::HeartReg, "HeartData", EDIT(edtHeartDt), "heartbeat packet (hex digits when HeartHex=1)"),
        box(B::HeartReg, "HeartHex", BOX(rzchckbxHeartDtHex), "heartbeat data in hex (converts HeartData)",
            [](TQ2Page &p) { p.HexBoxClick(1); }),
        list(B::Port, "RegMode", LIST(RzComboBox2), "register packet", RULE(RegChange)),
        list(B::HeartReg, "RegType", LIST(cbbRegType), "when the register packet is sent", RULE(RegChange)),
        text(B::HeartReg, "RegData", EDIT(edtRegDt), "register packet (hex digits when RegHex=1)"),
        box(B::HeartReg, "RegHex", BOX(rzchckbxRegDtHex), "register data in hex (converts RegData)",
            [](TQ2Page &p) { p.HexBoxClick(2); }),
        box(B::HeartReg, "RemoveHttpdHead", BOX(RzCheckBox3), "Remove Httpd Head"),
        list(B::Port, "GetPost", LIST(cbbGetPost), "Httpd method"),
        text(B::Httpd, "HttpdUrl", EDIT(LabeledEdit2), "Httpd URL (at most 100 bytes sent)"),
        text(B::Httpd, "HttpdHeader", EDIT(RzRichEdit1), "Httpd header (at most 200 bytes sent)"),
        box(B::Modbus, "ModbusTcpEnable", BOX(rzchckbxmodbustcp), "ModBusTCP"),
        box(B::ModbusPoll, "ModbusPoll", BOX(rzchckbxmodbuspool), "ModbusTCP poll"),
        num(B::ModbusPoll, "ModbusWaitTime", EDIT(edtwaittime), "Poll Timeout(ms)", MaxWord),
        list(B::ModbusPack, "ModbusType", LIST(cbbModbusType), "Modbus type", RULE(ModbusTypeChange)),
        list(B::ModbusPack, "ReportProto", LIST(cbbReporproto), "report protocol"),
        num(B::ModbusPack, "ModbusTimeout", EDIT(edtModbusTimeout), "Poll Timeout", MaxWord),
        num(B::ModbusPack, "ModbusInterval", EDIT(edtModbusInterval), "Poll Interval", MaxWord),
        list(B::ModbusPack, "ModbusException", LIST(cbbModbusException), "Modbus exception"),
        list(B::ModbusNew, "PollMode", LIST(cmbModbusEnable1), "Modbus poll mode", RULE(ModbusEnable1Change)),
        num(B::ModbusNew, "PollTimeout", EDIT(edtModbusTimeout1), "Poll Timeout", MaxWord),
        num(B::ModbusNew, "PollInterval", EDIT(edtModbusInterval1), "Poll Interval", MaxWord),
        list(B::ModbusNew, "PollException", LIST(cmbModbusException1), "Modbus poll exception"),
    };
    return fields;
}

#undef EDIT
#undef BOX
#undef LIST
#undef RULE

#define EDIT1(member) [](TQ1Page &p) -> TEditState & { return p.member; }
#define BOX1(member) [](TQ1Page &p) -> TCheckState & { return p.member; }
#define LIST1(member) [](TQ1Page &p) -> TComboState & { return p.member; }

const QList<TPageField<TQ1Page>> &Q1PageFields()
{
    static const QList<Q1> fields = {
        {QStringLiteral("WorkMode"), Q1::List, {}, {}, LIST1(cbb_ModuleWork),
         [](TQ1Page &p) { p.ModuleWorkChange(); }, QStringLiteral("work mode")},
        {QStringLiteral("ModuleIP"), Q1::Text, EDIT1(edt_ModuleIP), {}, {}, {}, QStringLiteral("module IP"), B::None,
         TValueRule::Address()},
        {QStringLiteral("Mask"), Q1::Text, EDIT1(edt_Mask), {}, {}, {}, QStringLiteral("subnet mask"), B::None,
         TValueRule::Address()},
        {QStringLiteral("Gateway"), Q1::Text, EDIT1(edt_Gateway), {}, {}, {}, QStringLiteral("gateway"), B::None,
         TValueRule::Address()},
        // Three bytes on a Q1.
        {QStringLiteral("Baudrate"), Q1::Baud, {}, {}, LIST1(cbb_BaudRate), {}, QStringLiteral("baud rate"), B::None,
         TValueRule::Range(1, MaxLe24)},
        {QStringLiteral("Parity"), Q1::List, {}, {}, LIST1(cbb_P), {}, QStringLiteral("parity")},
        {QStringLiteral("DataBits"), Q1::List, {}, {}, LIST1(cbb_D), {}, QStringLiteral("data bits")},
        {QStringLiteral("StopBits"), Q1::List, {}, {}, LIST1(cbb_S), {}, QStringLiteral("stop bits")},
        {QStringLiteral("ModulePort"), Q1::Number, EDIT1(edt_ModulePort), {}, {}, {}, QStringLiteral("module port"),
         B::None, TValueRule::Range(0, MaxWord)},
        {QStringLiteral("DestIP"), Q1::Text, EDIT1(edt_DeIP), {}, {}, {}, QStringLiteral("destination IP"), B::None,
         TValueRule::Address()},
        {QStringLiteral("DestPort"), Q1::Number, EDIT1(edt_DePort), {}, {}, {}, QStringLiteral("destination port"),
         B::None, TValueRule::Range(0, MaxWord)},
        {QStringLiteral("DeviceID"), Q1::Number, EDIT1(edt_ID), {}, {}, {}, QStringLiteral("device ID"), B::None,
         TValueRule::Range(0, MaxWord)},
        {QStringLiteral("ConnSendId"), Q1::Check, {}, BOX1(chk_ConnSendId), {}, {}, QStringLiteral("send ID on connect")},
        {QStringLiteral("DataWithId"), Q1::Check, {}, BOX1(chk_DataWithId), {}, {}, QStringLiteral("ID with data")},
        {QStringLiteral("RS485"), Q1::Check, {}, BOX1(chk_RS485), {}, {}, QStringLiteral("use RS485")},
        {QStringLiteral("RS422"), Q1::Check, {}, BOX1(chk_RS422), {}, {}, QStringLiteral("use RS422")},
        {QStringLiteral("Reset"), Q1::Check, {}, BOX1(chk_Reset), {}, {}, QStringLiteral("restart after 30 failed connects")},
        {QStringLiteral("Link"), Q1::Check, {}, BOX1(chk_Link), {}, {}, QStringLiteral("Link pin")},
        {QStringLiteral("Index"), Q1::Check, {}, BOX1(chk_Index), {}, {}, QStringLiteral("TCP server index")},
        {QStringLiteral("RFC2217"), Q1::Check, {}, BOX1(chk_RFC2217), {}, {}, QStringLiteral("RFC2217")},
    };
    return fields;
}
