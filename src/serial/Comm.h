#pragma once
// TComm: the component that owns one serial port. It opens the port with the line settings and
// time-outs of its properties and hands everything that happens on the port back to the thread
// that created it, as events. The port itself is served by one worker thread (QSerialPort), which
// cuts received bytes into chunks by a quiet gap, so that two replies keep their boundaries even
// while the owner's thread sleeps.

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>

class QEvent;
class QThread;

// The one error OpenPort raises: a message, and whether this user may not open the port at all
// (as opposed to a port that is busy or missing).
class ECommsError : public std::runtime_error {
public:
    explicit ECommsError(const QString &message, bool permissionDenied = false)
        : std::runtime_error(message.toStdString()), FPermissionDenied(permissionDenied) {}
    QString Message() const { return QString::fromStdString(what()); }
    bool PermissionDenied() const { return FPermissionDenied; }

private:
    bool FPermissionDenied;
};

enum class TDtrControl { DtrEnable, DtrDisable, DtrHandshake };
enum class TRtsControl { RtsEnable, RtsDisable, RtsHandshake, RtsTransmissionAvailable };
enum class TByteSize { _5, _6, _7, _8 };
enum class TParity { None, Odd, Even, Mark, Space };
enum class TStopBits { _1, _1_5, _2 };

// The line settings (properties BaudRate to ReplacedChar), applied to the port as one set.
struct TCommLineSettings {
    uint32_t BaudRate = 9600;
    bool ParityCheck = false;
    bool Outx_CtsFlow = true;
    bool Outx_DsrFlow = true;
    TDtrControl DtrControl = TDtrControl::DtrEnable;
    bool DsrSensitivity = false;
    bool TxContinueOnXoff = true;
    bool Outx_XonXoffFlow = false;
    bool Inx_XonXoffFlow = false;
    bool ReplaceWhenParityError = false;
    bool IgnoreNullChar = false;
    TRtsControl RtsControl = TRtsControl::RtsEnable;
    uint16_t XonLimit = 10;
    uint16_t XoffLimit = 10;
    TByteSize ByteSize = TByteSize::_8;
    TParity Parity = TParity::None;
    TStopBits StopBits = TStopBits::_1;
    uint8_t XonChar = 17;
    uint8_t XoffChar = 19;
    uint8_t ReplacedChar = 0;
};

// The five time-outs, in milliseconds, applied as one set.
struct TCommTimeouts {
    uint32_t ReadIntervalTimeout = 10;
    uint32_t ReadTotalTimeoutMultiplier = 0;
    uint32_t ReadTotalTimeoutConstant = 0;
    uint32_t WriteTotalTimeoutMultiplier = 0;
    uint32_t WriteTotalTimeoutConstant = 0;
};

// Points inside OpenPort and ClosePort where a test can make a step fail or stall. The hook runs
// on the thread that reaches the point; returning true makes that step fail (ignored at
// WorkerShutdown, where a test may block instead to stand for a port that is slow to close).
enum class TCommTestPoint { CreateEvent, CreateReadThread, CreateWriteThread, WorkerShutdown };

class TComm {
public:
    using TReceiveDataEvent = std::function<void(TComm *Sender, const uint8_t *Buffer, uint16_t BufferLength)>;
    using TReceiveErrorEvent = std::function<void(TComm *Sender, uint32_t EventMask)>;
    using TModemStateChangeEvent = std::function<void(TComm *Sender, uint32_t ModemEvent)>;
    using TNotifyEvent = std::function<void(TComm *Sender)>;
    using TSendDataEmptyEvent = std::function<void(TComm *Sender)>;

    // The events run on the thread that created the component, one notice at a time, in the
    // order the port produced them. Unassigned events are skipped. Do not destroy the component
    // from inside one of its own handlers.
    TReceiveDataEvent OnReceiveData;       // Buffer[BufferLength] is a zero byte; 1 <= BufferLength <= 1024
    TNotifyEvent OnRequestHangup;          // the port failed; the owner should call ClosePort
    TReceiveErrorEvent OnReceiveError;     // never raised by this port layer
    TModemStateChangeEvent OnModemStateChange; // never raised by this port layer
    TSendDataEmptyEvent OnSendDataEmpty;   // once after opening, then each time the queue runs dry

    TComm();
    ~TComm(); // closes the port when it is still open
    TComm(const TComm &) = delete;
    TComm &operator=(const TComm &) = delete;

    // Opens CommName ("ttyUSB0" for /dev/ttyUSB0, or a full path such as /dev/pts/3) and starts
    // the port's worker. Raises ECommsError; after a failure the component is closed.
    void OpenPort();
    // Stops the worker and closes the port. Harmless when closed; never raises. Waits at most
    // CloseWaitMs for the worker; a worker that has not ended by then is left to end on its own
    // and is released later, never while it runs.
    void ClosePort() noexcept;
    // Queues a copy of Size bytes. False, with nothing sent, when the port is closed, Size is 0
    // or the worker no longer takes data (after a hang-up request). True says only "queued".
    bool SendData(const void *Buffer, uint16_t Size);

    // Non-zero while the port is open.
    uint32_t ComHandle() const { return FHandle; }
    bool IsOpen() const { return FLink != nullptr; }

    // How long ClosePort (and the open hand-shake) waits for the worker.
    int CloseWaitMs = 10000;

    // Properties. Writing an equal value does nothing; writing a line setting or a time-out
    // while open re-applies the whole set of line settings or time-outs; while closed the value
    // is only stored. CommName takes effect at the next OpenPort.
    const QString &CommName() const { return FCommName; }
    void SetCommName(const QString &value) { FCommName = value; }

    const TCommLineSettings &LineSettings() const { return FLine; }
    const TCommTimeouts &Timeouts() const { return FTimeouts; }

    uint32_t BaudRate() const { return FLine.BaudRate; }
    void SetBaudRate(uint32_t v) { SetLine(FLine.BaudRate, v); }
    bool ParityCheck() const { return FLine.ParityCheck; }
    void SetParityCheck(bool v) { SetLine(FLine.ParityCheck, v); }
    bool Outx_CtsFlow() const { return FLine.Outx_CtsFlow; }
    void SetOutx_CtsFlow(bool v) { SetLine(FLine.Outx_CtsFlow, v); }
    bool Outx_DsrFlow() const { return FLine.Outx_DsrFlow; }
    void SetOutx_DsrFlow(bool v) { SetLine(FLine.Outx_DsrFlow, v); }
    TDtrControl DtrControl() const { return FLine.DtrControl; }
    void SetDtrControl(TDtrControl v) { SetLine(FLine.DtrControl, v); }
    bool DsrSensitivity() const { return FLine.DsrSensitivity; }
    void SetDsrSensitivity(bool v) { SetLine(FLine.DsrSensitivity, v); }
    bool TxContinueOnXoff() const { return FLine.TxContinueOnXoff; }
    void SetTxContinueOnXoff(bool v) { SetLine(FLine.TxContinueOnXoff, v); }
    bool Outx_XonXoffFlow() const { return FLine.Outx_XonXoffFlow; }
    void SetOutx_XonXoffFlow(bool v) { SetLine(FLine.Outx_XonXoffFlow, v); }
    bool Inx_XonXoffFlow() const { return FLine.Inx_XonXoffFlow; }
    void SetInx_XonXoffFlow(bool v) { SetLine(FLine.Inx_XonXoffFlow, v); }
    bool ReplaceWhenParityError() const { return FLine.ReplaceWhenParityError; }
    void SetReplaceWhenParityError(bool v) { SetLine(FLine.ReplaceWhenParityError, v); }
    bool IgnoreNullChar() const { return FLine.IgnoreNullChar; }
    void SetIgnoreNullChar(bool v) { SetLine(FLine.IgnoreNullChar, v); }
    TRtsControl RtsControl() const { return FLine.RtsControl; }
    void SetRtsControl(TRtsControl v) { SetLine(FLine.RtsControl, v); }
    uint16_t XonLimit() const { return FLine.XonLimit; }
    void SetXonLimit(uint16_t v) { SetLine(FLine.XonLimit, v); }
    uint16_t XoffLimit() const { return FLine.XoffLimit; }
    void SetXoffLimit(uint16_t v) { SetLine(FLine.XoffLimit, v); }
    TByteSize ByteSize() const { return FLine.ByteSize; }
    void SetByteSize(TByteSize v) { SetLine(FLine.ByteSize, v); }
    TParity Parity() const { return FLine.Parity; }
    void SetParity(TParity v) { SetLine(FLine.Parity, v); }
    TStopBits StopBits() const { return FLine.StopBits; }
    void SetStopBits(TStopBits v) { SetLine(FLine.StopBits, v); }
    uint8_t XonChar() const { return FLine.XonChar; }
    void SetXonChar(uint8_t v) { SetLine(FLine.XonChar, v); }
    uint8_t XoffChar() const { return FLine.XoffChar; }
    void SetXoffChar(uint8_t v) { SetLine(FLine.XoffChar, v); }
    uint8_t ReplacedChar() const { return FLine.ReplacedChar; }
    void SetReplacedChar(uint8_t v) { SetLine(FLine.ReplacedChar, v); }

    uint32_t ReadIntervalTimeout() const { return FTimeouts.ReadIntervalTimeout; }
    void SetReadIntervalTimeout(uint32_t v) { SetTimeout(FTimeouts.ReadIntervalTimeout, v); }
    uint32_t ReadTotalTimeoutMultiplier() const { return FTimeouts.ReadTotalTimeoutMultiplier; }
    void SetReadTotalTimeoutMultiplier(uint32_t v) { SetTimeout(FTimeouts.ReadTotalTimeoutMultiplier, v); }
    uint32_t ReadTotalTimeoutConstant() const { return FTimeouts.ReadTotalTimeoutConstant; }
    void SetReadTotalTimeoutConstant(uint32_t v) { SetTimeout(FTimeouts.ReadTotalTimeoutConstant, v); }
    uint32_t WriteTotalTimeoutMultiplier() const { return FTimeouts.WriteTotalTimeoutMultiplier; }
    void SetWriteTotalTimeoutMultiplier(uint32_t v) { SetTimeout(FTimeouts.WriteTotalTimeoutMultiplier, v); }
    uint32_t WriteTotalTimeoutConstant() const { return FTimeouts.WriteTotalTimeoutConstant; }
    void SetWriteTotalTimeoutConstant(uint32_t v) { SetTimeout(FTimeouts.WriteTotalTimeoutConstant, v); }

    // Tests only: an empty function removes the hook.
    static void SetTestHook(std::function<bool(TCommTestPoint)> hook);

    struct Link;     // what the owner and the worker share while a port is open
    class Notifier;  // receives the worker's notices on the owner's thread

private:
    template <class T> void SetLine(T &field, T value)
    {
        if (field == value)
            return;
        field = value;
        if (FLink)
            ApplyLineSettings();
    }
    template <class T> void SetTimeout(T &field, T value)
    {
        if (field == value)
            return;
        field = value;
        if (FLink)
            ApplyTimeouts();
    }
    void ApplyLineSettings();
    void ApplyTimeouts();
    void StopWorker(QThread *thread, const std::shared_ptr<Link> &link) noexcept;
    friend class Notifier;
    void HandleNotice(QEvent *event);

    std::unique_ptr<Notifier> FNotifier;
    std::shared_ptr<Link> FLink; // set while open
    QThread *FThread = nullptr;
    uint32_t FHandle = 0;
    uint64_t FOpenCount = 0;
    QString FCommName = QStringLiteral("COM1");
    TCommLineSettings FLine;
    TCommTimeouts FTimeouts;
};

// Gives a component the values the main window's form gives cm1: no flow control, DTR and RTS
// enabled, a read interval of 50 ms, the other values as constructed.
void ApplyCm1Properties(TComm &comm);
