#pragma once
// Shared vocabulary of the protocol layer and the front ends: parameter records, model, command,
// length and status codes, ports, log texts and the process-wide variables.

#include <QByteArray>
#include <QString>
#include <QVector>
#include <cstdint>

using TBytes = QByteArray;

struct TBaseParam {
    int Flag1 = 0;
    int AddrType = 0;
    int IsT0 = 0;
    int RegSnd = 0;
    int UpnpPort = 0;
    int HttpPort = 0;
    QString StaticIP;
    QString GatewayIP;
    QString SubnetMask;
    QString ModName;
    QString UserName;
    QString Password;
    int Options = 0;
    bool ClearBuffer = false;
    bool ShortConn = false;
    QString UserMAC;
    QString Dns;
    int ShortConnTime = 0;
};

struct TPortParam {
    int Baudrate = 0;
    int DataBits = 0;
    int Parity = 0;
    int StopBits = 0;
    int FlowControl = 0;
    int LocalPort = 0;
    int RemotePort = 0;
    QString RemoteIP;
    int ModbusTcp = 0;
    int Rfc2217 = 0;
    int CloudEnable = 0;
    int WorkMode = 0;
    int PackLen = 0;
    int PackTime = 0;
    int TcpSvrCount = 0;
    int ResetTimeout = 0;
    int TcpStyle = 0;
    int GetPost = 0;
    bool MacRegister = false;
    bool KickOld = false;
    bool UserRegister = false;
    bool MacHeart = false;
    bool UdpFrom = false;
};

struct TCloudParam {
    QString DeviceId;
    QString CommCode;
};

struct TModbusParam {
    uint8_t TcpEnable = 0;
    uint8_t PollEnable = 0;
    QString WaitTime;
};

struct TModbusPackParam {
    int ModbusType = 0;
    int Exception = 0;
    int ReportProto = 0;
    QString Timeout;
    QString Interval;
};

struct TModbusNewParam {
    int PollMode = 0;
    int Exception = 0;
    QString Timeout;
    QString Interval;
};

using TarrComParam = QVector<TPortParam>;
using TarrCloudParam = QVector<TCloudParam>;

// Network constants.
inline const QString BroadcastIP = QStringLiteral("255.255.255.255");
constexpr int DevPortQ2 = 1500;
constexpr int DevPortQ3 = 1901;
constexpr int SearchPort = 1500;

// Model codes; a search reply is classified by the 2002 version threshold and its source port.
constexpr int ModelNone = 0;
constexpr int ModelQ1 = 35;
constexpr int ModelQ2 = 2;
constexpr int ModelQ3 = 36;
constexpr int MinKnownVersion = 2002;

// Editor pages.
constexpr int PageNone = 0;
constexpr int PageQ1 = 1;
constexpr int PageQ2 = 2;

// Reply lengths: a reply's kind is its datagram length.
constexpr int LenSearch = 36;
constexpr int LenRead = 130;
constexpr int LenCloud = 50;
constexpr int LenHeartReg = 85;
constexpr int LenHttpd = 302;
constexpr int LenModbusPack = 87;
constexpr int LenModbusNew = 100;
constexpr int LenBase = 67;
constexpr int LenPort = 63;
constexpr int LenHttpdUrl = 101;
constexpr int LenHttpdHead = 201;

// UDP command codes (byte 2 of a frame).
constexpr uint8_t CmdSearch = 0x01;
constexpr uint8_t CmdRestart = 0x02;
constexpr uint8_t CmdRead = 0x03;
constexpr uint8_t CmdWriteBase = 0x05;
constexpr uint8_t CmdWritePort = 0x06;
constexpr uint8_t CmdFactory = 0x0B;
constexpr uint8_t CmdWriteHeartReg = 0x21;
constexpr uint8_t CmdWriteHttpdUrl = 0x22;
constexpr uint8_t CmdWriteHttpdHead = 0x23;
constexpr uint8_t CmdWriteModbus = 0x24;

// Serial codes. ComReadQ1 and ComReadQ3 hold the same value but are separate on purpose.
constexpr uint8_t ComHead = 0x55;
constexpr uint8_t ComReadQ1 = 0xBC;
constexpr uint8_t ComReadQ2 = 0xBD;
constexpr uint8_t ComReadQ3 = 0xBC;
constexpr uint8_t ComWriteBase = 0xBE;
constexpr uint8_t ComWritePort = 0xBF;
constexpr uint8_t ComReadDone = 0xC1;

// Status codes passed with a message to the endpoint's status event.
constexpr int StsSearchSent = 40;
constexpr int StsCheckErr = 269;
constexpr int StsAck = 275;
constexpr int StsOtherErr = 469;
constexpr int StsPswdErr = 480;
constexpr int StsPortInUse = 1500;
constexpr int StsIncompatible = 193256;
constexpr int StsUnknownLen = 555555;
// How many datagrams of unknown length were held back in the last summary period (the message).
constexpr int StsUnknownLenMore = 555556;

constexpr int SearchOk = 1;
constexpr int SearchFail = 0;

// Texts of the traffic logs.
inline const QString LogOpen = QStringLiteral("[ ");
inline const QString LogClose = QStringLiteral(" ]");
inline const QString LogColon = QStringLiteral(" : ");
inline const QString LogRecvArrow = QStringLiteral(" ] \u2190 [ ");
inline const QString LogSendArrow = QStringLiteral(" ] \u2192 [ ");
inline const QString LogPC = QStringLiteral("PC");
inline const QString LogDevice = QStringLiteral("Device");

// Process-wide variables.
extern QString LoginName;          // user name sent in every command frame
extern QString LoginPswd;          // password sent in every command frame
extern QString CurMac;             // selected row's MAC, 12 hex digits without spaces
extern int CurBindingIndex;        // selected Q2 row's binding index
extern const QByteArray *CurSearchReply; // selected row's 36-byte search reply, for the upgrade
extern uint8_t LastOptByte;        // byte 3 of the last read reply
extern uint8_t LastPortOptByte;    // byte 117 of the last read reply
extern QString UpMask;             // mask of the upgrade's same-network check
extern QString CmdFilePath;        // command-file path kept in the settings file

constexpr const char *DefaultLogin = "tovak";
