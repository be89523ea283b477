#pragma once
// The serial session: opens the chosen port with fixed line settings, sends one frame at a time
// with a trace, and closes again. Every serial exchange is one short session: open, send,
// listen for SerialWaitMs, close; the port is never left open between exchanges. Also the PC's
// port list and the rules of the port drop-down, on a small model.

#include "core/LogSink.h"
#include "serial/Comm.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>

class TSerialSession {
public:
    // How long a session listens for replies after its request.
    static constexpr int SerialWaitMs = 2000;

    using TSerialDataEvent = std::function<void(const uint8_t *Buffer, uint16_t BufferLength)>;

    // Takes over comm's OnReceiveData while it lives (the owner gives comm cm1's values with
    // ApplyCm1Properties first). Both references must outlive the session.
    TSerialSession(TComm &comm, ILogSink &log);
    ~TSerialSession();
    TSerialSession(const TSerialSession &) = delete;
    TSerialSession &operator=(const TSerialSession &) = delete;

    // What the serial page holds: the text of the port drop-down and of the baud-rate list.
    QString PortName;
    QString BaudText = QStringLiteral("9600");

    // Every chunk the port delivers, unchanged and at once (Buffer[BufferLength] is 0). The
    // serial protocol's receive handler plugs in here.
    TSerialDataEvent OnReceiveData;

    // The session's listening wait; WaitWithMessages unless a test puts in its own.
    std::function<void(int Milliseconds)> Wait;

    bool SerialOpened() const { return FSerialOpened; }
    // The last open failed because this user may not open the port (not because it is busy).
    bool OpenDenied() const { return FOpenDenied; }
    TComm &Comm() { return FComm; }
    ILogSink &Log() { return FLog; }

    // Opens PortName silently: false for an empty name (nothing else changes) or any open error.
    bool OpenSerialPort();
    // OpenSerialPort plus "Serial is Open" (green) or "Serial is Occupied" (red); a port this user
    // may not open gets SerialPermissionText in red instead.
    void StartSerial();
    // Closes the port, clears SerialOpened, logs "Serial is Close"; also when it was not open.
    void StopSerial();
    // Queues one frame and traces it; logs the send failure instead when the port is not open
    // or the frame cannot be queued. Never raises.
    void SendSerialFrame(const QByteArray &frame);
    // One exchange: StartSerial, send (which sends its frames with SendSerialFrame, also when the
    // open failed), Wait(SerialWaitMs), StopSerial. The wait and the close run even when send
    // raises; the error is then passed on.
    void RunSession(const std::function<void()> &send);
    // A session whose send step is one frame.
    void RunSession(const QByteArray &request);

    // The baud rate OpenSerialPort uses for a baud-rate text: the text as a decimal number, or
    // 9600 when it is not a positive one.
    static uint32_t BaudFromText(const QString &text);

private:
    TComm &FComm;
    ILogSink &FLog;
    bool FSerialOpened = false;
    bool FOpenDenied = false;
};

// Why this user may not open a serial port, and what to do, in the current language: the group
// that owns the device and the command that adds the user to it (or that a new login is needed
// when that was done already, or that only the owner may open it). Port as OpenSerialPort takes it.
QString SerialPermissionText(const QString &port);

// Trace lines of serial traffic: "[ PC ] → [ Device ]" (sent) or "[ PC ] ← [ Device ]"
// (received), and "[ Length : n ]".
QString SerialDirectionLine(bool sent);
QString SerialLengthLine(int count);

// The PC's serial ports, by the names that TComm::CommName accepts, in the order the system
// lists them; then the full paths listed in the environment variable BEXO_EXTRA_SERIAL_PORTS
// (separated by ':'), each once and only while it exists: ports the system does not list, such
// as the pseudo-terminal of a simulated module.
QStringList ListSerialPorts();
inline constexpr char ExtraSerialPortsVariable[] = "BEXO_EXTRA_SERIAL_PORTS";
// Tests replace the source of the port list; an empty function restores the real one.
void SetSerialPortsProvider(std::function<QStringList()> provider);

// The port drop-down (a list without free text): its items and the selected index.
struct TSerialPortList {
    QStringList Items;
    int ItemIndex = -1;
    // The selected item's text; empty when nothing is selected.
    QString Text() const;
};

// Refills the list from ListSerialPorts; this clears the selection. Runs when the list is about
// to open, and when the serial page is chosen.
void RefreshSerialPorts(TSerialPortList &list);
// The list closed: when nothing is selected, select the first item (if there is one).
void CloseUpSerialPorts(TSerialPortList &list);
// The serial page chosen: the list refilled, the port chosen before (the saved LocalCom at start)
// kept while the system still lists it, else the first.
void ChooseSerialPort(TSerialPortList &list, const QString &keep);
