#include "serial/Comm.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEvent>
#include <QFile>
#include <QSerialPort>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <climits>
#include <condition_variable>
#include <mutex>
#include <vector>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace {

// Every read delivers at most this many bytes.
constexpr int MaxChunk = 1024;

enum class TNoticeKind { Data, ReceiveError, Hangup, ModemState, SendEmpty };

enum class TOpenResult { Ok, OpenFailed, NotCharDevice, SetupFailed, WriteThreadFailed, PermissionDenied };

QString OpenMessage(TOpenResult result)
{
    switch (result) {
    case TOpenResult::NotCharDevice: return QStringLiteral("File handle is not a comm handle ");
    case TOpenResult::SetupFailed: return QStringLiteral("Cannot setup comm buffer");
    case TOpenResult::WriteThreadFailed: return QStringLiteral("Unable to create write thread");
    case TOpenResult::PermissionDenied: return QStringLiteral("Permission denied opening serial port");
    case TOpenResult::OpenFailed:
    case TOpenResult::Ok: break;
    }
    return QStringLiteral("Error opening serial port");
}

const QEvent::Type NoticeEvent = QEvent::Type(QEvent::registerEventType());
const QEvent::Type WriteEvent = QEvent::Type(QEvent::registerEventType());
const QEvent::Type LineEvent = QEvent::Type(QEvent::registerEventType());
const QEvent::Type TimeoutsEvent = QEvent::Type(QEvent::registerEventType());

// Worker -> owner. Serial tells which opening of the port posted it, so notices of a port that
// has been closed since are dropped.
struct TNotice : QEvent {
    TNotice(uint64_t serial, TNoticeKind kind, QByteArray data, uint32_t value)
        : QEvent(NoticeEvent), Serial(serial), Kind(kind), Data(std::move(data)), Value(value) {}
    uint64_t Serial;
    TNoticeKind Kind;
    QByteArray Data; // received bytes plus one zero byte
    uint32_t Value;
};

// Owner -> worker.
struct TWriteRequest : QEvent {
    explicit TWriteRequest(QByteArray data) : QEvent(WriteEvent), Data(std::move(data)) {}
    QByteArray Data;
};
struct TLineRequest : QEvent {
    explicit TLineRequest(const TCommLineSettings &line) : QEvent(LineEvent), Line(line) {}
    TCommLineSettings Line;
};
struct TTimeoutsRequest : QEvent {
    explicit TTimeoutsRequest(const TCommTimeouts &t) : QEvent(TimeoutsEvent), Timeouts(t) {}
    TCommTimeouts Timeouts;
};

std::mutex HookMutex;
std::function<bool(TCommTestPoint)> TestHook;

bool HitTestPoint(TCommTestPoint point)
{
    std::function<bool(TCommTestPoint)> hook;
    {
        std::lock_guard<std::mutex> lock(HookMutex);
        hook = TestHook;
    }
    return hook && hook(point);
}

// Workers that did not end within the close wait. They are deleted once they have ended.
std::mutex DetachedMutex;
std::vector<QThread *> DetachedThreads;

void ReapDetached() noexcept
{
    std::lock_guard<std::mutex> lock(DetachedMutex);
    auto it = DetachedThreads.begin();
    while (it != DetachedThreads.end()) {
        if ((*it)->isFinished()) {
            (*it)->wait();
            delete *it;
            it = DetachedThreads.erase(it);
        } else {
            ++it;
        }
    }
}

int ClampMs(uint64_t ms) { return int(std::min<uint64_t>(ms, INT_MAX)); }

} // namespace

struct TComm::Link {
    Link(QObject *receiver, uint64_t serial) : Serial(serial), Receiver(receiver) {}

    const uint64_t Serial;

    // Posts a notice to the owner unless the owner has let go of this port.
    void Notify(TNoticeKind kind, QByteArray data = {}, uint32_t value = 0)
    {
        std::lock_guard<std::mutex> lock(Mutex);
        if (Receiver)
            QCoreApplication::postEvent(Receiver, new TNotice(Serial, kind, std::move(data), value));
    }
    // Hands a request to the worker; false when the worker no longer takes requests.
    bool ToWorker(QEvent *request)
    {
        std::lock_guard<std::mutex> lock(Mutex);
        if (!Worker) {
            delete request;
            return false;
        }
        QCoreApplication::postEvent(Worker, request);
        return true;
    }
    void SetWorker(QObject *worker)
    {
        std::lock_guard<std::mutex> lock(Mutex);
        Worker = worker;
    }
    // The owner is done with this port: no notice reaches it any more.
    void Release()
    {
        std::lock_guard<std::mutex> lock(Mutex);
        Receiver = nullptr;
        Released = true;
        OpenCv.notify_all();
    }
    bool IsReleased()
    {
        std::lock_guard<std::mutex> lock(Mutex);
        return Released;
    }

    void FinishOpen(TOpenResult result, uint32_t handle)
    {
        std::lock_guard<std::mutex> lock(Mutex);
        OpenDone = true;
        Result = result;
        Handle = handle;
        OpenCv.notify_all();
    }
    // False when the worker did not answer in time.
    bool WaitOpen(int ms, TOpenResult &result, uint32_t &handle)
    {
        std::unique_lock<std::mutex> lock(Mutex);
        if (!OpenCv.wait_for(lock, std::chrono::milliseconds(std::max(ms, 0)), [this] { return OpenDone; }))
            return false;
        result = Result;
        handle = Handle;
        return true;
    }

private:
    std::mutex Mutex;
    QObject *Receiver;
    QObject *Worker = nullptr;
    bool Released = false;
    std::condition_variable OpenCv;
    bool OpenDone = false;
    TOpenResult Result = TOpenResult::OpenFailed;
    uint32_t Handle = 0;
};

class TComm::Notifier : public QObject {
public:
    explicit Notifier(TComm *owner) : FOwner(owner) {}
    bool event(QEvent *e) override
    {
        if (e->type() != NoticeEvent)
            return QObject::event(e);
        FOwner->HandleNotice(e);
        return true;
    }

private:
    TComm *FOwner;
};

namespace {

// Lives on the worker thread and owns the QSerialPort there: cuts received bytes into chunks,
// writes queued buffers, applies settings.
class TCommPort : public QObject {
public:
    TCommPort(std::shared_ptr<TComm::Link> link, const TCommLineSettings &line, const TCommTimeouts &timeouts)
        : FLink(std::move(link)), FLine(line), FTimeouts(timeouts)
    {
        FGap.setSingleShot(true);
        FGap.setTimerType(Qt::PreciseTimer);
        FTotal.setSingleShot(true);
        FTotal.setTimerType(Qt::PreciseTimer);
        QObject::connect(&FGap, &QTimer::timeout, this, [this] { Flush(); });
        QObject::connect(&FTotal, &QTimer::timeout, this, [this] {
            Flush();
            ArmTotal();
        });
    }
    ~TCommPort() override { Shutdown(); }

    TOpenResult Open(const QString &name, uint32_t &handle)
    {
        if (name.isEmpty())
            return TOpenResult::OpenFailed;
#ifdef Q_OS_UNIX
        // The same name-to-path rule as QSerialPort's.
        const QString path = (name.startsWith(QLatin1Char('/')) || name.startsWith(QLatin1String("./")) ||
                              name.startsWith(QLatin1String("../")))
                                 ? name
                                 : QLatin1String("/dev/") + name;
        struct stat st {};
        if (::stat(QFile::encodeName(path).constData(), &st) == 0 && !S_ISCHR(st.st_mode))
            return TOpenResult::NotCharDevice;
#endif
        FPort.setPortName(name);
        if (!FPort.open(QIODevice::ReadWrite)) {
            // A device that opens but takes no terminal settings (/dev/null) cannot be a port.
            if (FPort.error() == QSerialPort::UnsupportedOperationError)
                return TOpenResult::SetupFailed;
#ifdef Q_OS_UNIX
            // Qt reports a port held by another program and one this user may not open alike; the
            // file's permissions tell them apart.
            if (FPort.error() == QSerialPort::PermissionError &&
                ::faccessat(AT_FDCWD, QFile::encodeName(path).constData(), R_OK | W_OK, AT_EACCESS) != 0 &&
                errno == EACCES)
                return TOpenResult::PermissionDenied;
#endif
            return TOpenResult::OpenFailed;
        }
        FPort.clear(QSerialPort::AllDirections);
        ApplyTimeouts();
        ApplyLine();
        if (HitTestPoint(TCommTestPoint::CreateWriteThread)) {
            FPort.close();
            return TOpenResult::WriteThreadFailed;
        }
        QObject::connect(&FPort, &QSerialPort::readyRead, this, [this] { OnReadyRead(); });
        QObject::connect(&FPort, &QSerialPort::bytesWritten, this, [this] { OnBytesWritten(); });
        QObject::connect(&FPort, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) {
            if (e == QSerialPort::ReadError || e == QSerialPort::WriteError || e == QSerialPort::ResourceError)
                Fail();
        });
        const auto native = quintptr(FPort.handle());
        handle = native != 0 ? uint32_t(native) : 1u;
        return TOpenResult::Ok;
    }

    // The port runs: the send queue is empty, a read is armed.
    void Start()
    {
        FLink->Notify(TNoticeKind::SendEmpty);
        ArmTotal();
        if (FPort.bytesAvailable() > 0)
            OnReadyRead();
    }

    // Drops what is queued either way, then closes.
    void Shutdown()
    {
        FGap.stop();
        FTotal.stop();
        QObject::disconnect(&FPort, nullptr, this, nullptr);
        if (FPort.isOpen()) {
            FPort.clear(QSerialPort::AllDirections);
            FPort.close();
        }
    }

    bool event(QEvent *e) override
    {
        if (e->type() == WriteEvent) {
            if (!FDead)
                Write(static_cast<TWriteRequest *>(e)->Data);
            return true;
        }
        if (e->type() == LineEvent) {
            FLine = static_cast<TLineRequest *>(e)->Line;
            if (!FDead)
                ApplyLine();
            return true;
        }
        if (e->type() == TimeoutsEvent) {
            FTimeouts = static_cast<TTimeoutsRequest *>(e)->Timeouts;
            if (!FDead)
                ApplyTimeouts();
            return true;
        }
        return QObject::event(e);
    }

private:
    void ApplyLine()
    {
        FPort.setBaudRate(ClampMs(FLine.BaudRate));
        FPort.setDataBits(QSerialPort::DataBits(5 + int(FLine.ByteSize)));
        switch (FLine.Parity) {
        case TParity::None: FPort.setParity(QSerialPort::NoParity); break;
        case TParity::Odd: FPort.setParity(QSerialPort::OddParity); break;
        case TParity::Even: FPort.setParity(QSerialPort::EvenParity); break;
        case TParity::Mark: FPort.setParity(QSerialPort::MarkParity); break;
        case TParity::Space: FPort.setParity(QSerialPort::SpaceParity); break;
        }
        switch (FLine.StopBits) {
        case TStopBits::_1: FPort.setStopBits(QSerialPort::OneStop); break;
        case TStopBits::_1_5: FPort.setStopBits(QSerialPort::OneAndHalfStop); break;
        case TStopBits::_2: FPort.setStopBits(QSerialPort::TwoStop); break;
        }
        // CTS/RTS handshake is one setting here; DSR flow, DSR sensitivity, continue-on-XOFF and
        // the XON/XOFF limits have no equivalent and are left out.
        const bool hardware = FLine.Outx_CtsFlow || FLine.RtsControl == TRtsControl::RtsHandshake;
        const bool software = FLine.Outx_XonXoffFlow || FLine.Inx_XonXoffFlow;
        FPort.setFlowControl(hardware   ? QSerialPort::HardwareControl
                             : software ? QSerialPort::SoftwareControl
                                        : QSerialPort::NoFlowControl);
        FPort.setDataTerminalReady(FLine.DtrControl != TDtrControl::DtrDisable);
        if (!hardware)
            FPort.setRequestToSend(FLine.RtsControl != TRtsControl::RtsDisable);
#ifdef Q_OS_UNIX
        // What QSerialPort has no setter for: the two directions of XON/XOFF, their characters
        // and input parity checking. With checking on, a byte with a parity error reads as 0.
        termios t {};
        const int fd = int(FPort.handle());
        if (::tcgetattr(fd, &t) == 0) {
            t.c_iflag &= ~tcflag_t(INPCK | IXON | IXOFF | PARMRK);
            if (FLine.ParityCheck) {
                t.c_iflag |= INPCK;
                t.c_iflag &= ~tcflag_t(IGNPAR);
            }
            if (FLine.Outx_XonXoffFlow)
                t.c_iflag |= IXON;
            if (FLine.Inx_XonXoffFlow)
                t.c_iflag |= IXOFF;
            t.c_cc[VSTART] = cc_t(FLine.XonChar);
            t.c_cc[VSTOP] = cc_t(FLine.XoffChar);
            ::tcsetattr(fd, TCSANOW, &t);
        }
#endif
    }

    // Write time-outs have no equivalent here: a queued buffer waits until the line takes it.
    void ApplyTimeouts()
    {
        if (FGap.isActive())
            FGap.start(GapMs());
        ArmTotal();
    }

    int GapMs() const { return ClampMs(FTimeouts.ReadIntervalTimeout); }

    // The total read time-out runs from the moment a read is armed (after each delivery).
    void ArmTotal()
    {
        const uint64_t total =
            uint64_t(FTimeouts.ReadTotalTimeoutMultiplier) * MaxChunk + FTimeouts.ReadTotalTimeoutConstant;
        if (total > 0 && FTimeouts.ReadIntervalTimeout != UINT32_MAX && !FDead)
            FTotal.start(ClampMs(total));
        else
            FTotal.stop();
    }

    void OnReadyRead()
    {
        QByteArray in = FPort.readAll();
        if (FLine.IgnoreNullChar)
            in.removeIf([](char c) { return c == 0; });
        if (in.isEmpty())
            return;
        FPending += in;
        while (FPending.size() >= MaxChunk) {
            Deliver(FPending.first(MaxChunk));
            FPending.remove(0, MaxChunk);
        }
        if (FPending.isEmpty()) {
            FGap.stop();
            return;
        }
        const uint32_t interval = FTimeouts.ReadIntervalTimeout;
        if (interval == UINT32_MAX) // "return at once with what is there"
            Flush();
        else if (interval > 0) // 0: no interval time-out, only a full buffer or the total ends a read
            FGap.start(GapMs());
    }

    void Flush()
    {
        FGap.stop();
        if (FPending.isEmpty())
            return;
        const QByteArray chunk = FPending;
        FPending.clear();
        Deliver(chunk);
    }

    void Deliver(const QByteArray &bytes)
    {
        QByteArray buffer(bytes.size() + 1, '\0'); // the bytes, then a zero byte
        memcpy(buffer.data(), bytes.constData(), size_t(bytes.size()));
        FLink->Notify(TNoticeKind::Data, std::move(buffer), uint32_t(bytes.size()));
        ArmTotal();
    }

    void Write(const QByteArray &data)
    {
        if (FPort.write(data) != data.size()) {
            Fail();
            return;
        }
        FNotifyEmpty = true;
    }

    void OnBytesWritten()
    {
        if (FNotifyEmpty && FPort.bytesToWrite() == 0) {
            FNotifyEmpty = false;
            FLink->Notify(TNoticeKind::SendEmpty);
        }
    }

    // The port broke (device gone, I/O error): deliver what was read, stop taking data, ask the
    // owner to hang up. The device is closed right after (not inside QSerialPort's own signal),
    // so a dead descriptor cannot keep the loop spinning.
    void Fail()
    {
        if (FDead)
            return;
        FDead = true;
        Flush();
        FGap.stop();
        FTotal.stop();
        QObject::disconnect(&FPort, nullptr, this, nullptr);
        FLink->SetWorker(nullptr);
        FLink->Notify(TNoticeKind::Hangup);
        QMetaObject::invokeMethod(this, [this] { Shutdown(); }, Qt::QueuedConnection);
    }

    std::shared_ptr<TComm::Link> FLink;
    TCommLineSettings FLine;
    TCommTimeouts FTimeouts;
    QSerialPort FPort;
    QTimer FGap;   // quiet gap after the last byte
    QTimer FTotal; // total read time-out
    QByteArray FPending;
    bool FNotifyEmpty = false;
    bool FDead = false;
};

class TCommThread : public QThread {
public:
    TCommThread(std::shared_ptr<TComm::Link> link, const QString &name, const TCommLineSettings &line,
                const TCommTimeouts &timeouts)
        : FLink(std::move(link)), FName(name), FLine(line), FTimeouts(timeouts) {}

protected:
    void run() override
    {
        TCommPort port(FLink, FLine, FTimeouts);
        uint32_t handle = 0;
        const TOpenResult result = port.Open(FName, handle);
        if (result != TOpenResult::Ok) {
            FLink->FinishOpen(result, 0);
            return;
        }
        FLink->SetWorker(&port);
        FLink->FinishOpen(TOpenResult::Ok, handle);
        if (!FLink->IsReleased()) {
            port.Start();
            exec();
        }
        FLink->SetWorker(nullptr);
        HitTestPoint(TCommTestPoint::WorkerShutdown);
        port.Shutdown();
    }

private:
    std::shared_ptr<TComm::Link> FLink;
    QString FName;
    TCommLineSettings FLine;
    TCommTimeouts FTimeouts;
};

} // namespace

TComm::TComm() : FNotifier(std::make_unique<Notifier>(this)) {}

TComm::~TComm()
{
    ClosePort();
}

void TComm::SetTestHook(std::function<bool(TCommTestPoint)> hook)
{
    std::lock_guard<std::mutex> lock(HookMutex);
    TestHook = std::move(hook);
}

void TComm::OpenPort()
{
    if (FLink)
        throw ECommsError(QStringLiteral("This serial port already opened"));
    ReapDetached();
    if (HitTestPoint(TCommTestPoint::CreateEvent))
        throw ECommsError(QStringLiteral("Unable to create event"));
    auto link = std::make_shared<Link>(FNotifier.get(), ++FOpenCount);
    auto *thread = new TCommThread(link, FCommName, FLine, FTimeouts);
    if (HitTestPoint(TCommTestPoint::CreateReadThread)) {
        delete thread;
        throw ECommsError(QStringLiteral("Unable to create read thread"));
    }
    thread->start(QThread::HighestPriority);
    if (!thread->isRunning() && !thread->isFinished()) {
        delete thread;
        throw ECommsError(QStringLiteral("Unable to create read thread"));
    }
    TOpenResult result = TOpenResult::OpenFailed;
    uint32_t handle = 0;
    if (!link->WaitOpen(CloseWaitMs, result, handle))
        result = TOpenResult::OpenFailed; // the device did not open in time
    if (result != TOpenResult::Ok) {
        StopWorker(thread, link);
        throw ECommsError(OpenMessage(result), result == TOpenResult::PermissionDenied);
    }
    FLink = std::move(link);
    FThread = thread;
    FHandle = handle;
}

void TComm::StopWorker(QThread *thread, const std::shared_ptr<Link> &link) noexcept
{
    link->Release();
    thread->quit();
    if (thread->wait(QDeadlineTimer(std::max(CloseWaitMs, 0)))) {
        delete thread;
        return;
    }
    // Still running: it ends on its own (it no longer reaches this component) and is released
    // by a later open or close.
    try {
        std::lock_guard<std::mutex> lock(DetachedMutex);
        DetachedThreads.push_back(thread);
    } catch (...) {
        // Out of memory: leaking the thread object is the only safe choice.
    }
}

void TComm::ClosePort() noexcept
{
    ReapDetached();
    if (!FLink)
        return;
    std::shared_ptr<Link> link = std::move(FLink);
    FLink.reset();
    QThread *thread = FThread;
    FThread = nullptr;
    FHandle = 0;
    StopWorker(thread, link);
}

bool TComm::SendData(const void *Buffer, uint16_t Size)
{
    if (!FLink || Size == 0 || Buffer == nullptr)
        return false;
    return FLink->ToWorker(new TWriteRequest(QByteArray(static_cast<const char *>(Buffer), Size)));
}

void TComm::ApplyLineSettings()
{
    FLink->ToWorker(new TLineRequest(FLine));
}

void TComm::ApplyTimeouts()
{
    FLink->ToWorker(new TTimeoutsRequest(FTimeouts));
}

void TComm::HandleNotice(QEvent *event)
{
    const auto *notice = static_cast<const TNotice *>(event);
    if (!FLink || FLink->Serial != notice->Serial)
        return; // from a port that has been closed since
    // Handlers are copied first: one may reassign itself while it runs. An exception must not
    // cross the event loop, so one that escapes a handler ends here.
    try {
        switch (notice->Kind) {
        case TNoticeKind::Data:
            if (auto handler = OnReceiveData)
                handler(this, reinterpret_cast<const uint8_t *>(notice->Data.constData()), uint16_t(notice->Value));
            break;
        case TNoticeKind::ReceiveError:
            if (auto handler = OnReceiveError)
                handler(this, notice->Value);
            break;
        case TNoticeKind::Hangup:
            if (auto handler = OnRequestHangup)
                handler(this);
            break;
        case TNoticeKind::ModemState:
            if (auto handler = OnModemStateChange)
                handler(this, notice->Value);
            break;
        case TNoticeKind::SendEmpty:
            if (auto handler = OnSendDataEmpty)
                handler(this);
            break;
        }
    } catch (...) {
    }
}

void ApplyCm1Properties(TComm &comm)
{
    comm.SetCommName(QStringLiteral("COM1"));
    comm.SetBaudRate(9600);
    comm.SetParityCheck(false);
    comm.SetOutx_CtsFlow(false);
    comm.SetOutx_DsrFlow(false);
    comm.SetDtrControl(TDtrControl::DtrEnable);
    comm.SetDsrSensitivity(false);
    comm.SetTxContinueOnXoff(false);
    comm.SetOutx_XonXoffFlow(false);
    comm.SetInx_XonXoffFlow(false);
    comm.SetReplaceWhenParityError(false);
    comm.SetIgnoreNullChar(false);
    comm.SetRtsControl(TRtsControl::RtsEnable);
    comm.SetXonLimit(10);
    comm.SetXoffLimit(10);
    comm.SetByteSize(TByteSize::_8);
    comm.SetParity(TParity::None);
    comm.SetStopBits(TStopBits::_1);
    comm.SetXonChar(17);
    comm.SetXoffChar(19);
    comm.SetReplacedChar(0);
    comm.SetReadIntervalTimeout(50);
    comm.SetReadTotalTimeoutMultiplier(0);
    comm.SetReadTotalTimeoutConstant(0);
    comm.SetWriteTotalTimeoutMultiplier(0);
    comm.SetWriteTotalTimeoutConstant(0);
}
