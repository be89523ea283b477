#pragma once
// Firmware upgrade over the LAN. A broadcast trigger wakes the module's boot loader; we answer its
// BOOTP request with its address and the file name "firmware.bin", then serve the image to its TFTP
// read request in 512-byte blocks, one acknowledgement per block. Everything runs on the owner's
// event loop, so the datagram handler and the time-out never overlap. The window and the CLI only
// pass inputs in and show what the callbacks report.

#include "core/LogSink.h"
#include "upgrade/UpgradeFailure.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>

class QFile;
class QUdpSocket;

// Wire sizes.
constexpr int UpTriggerLen = 30;
constexpr int UpBootpLen = 300;
constexpr int UpReadReqLen = 21;
constexpr int UpAckLen = 4;
constexpr int UpBlockSize = 512;
constexpr int UpHwIdLen = 4;      // the identifier at the start of a .bin file, never sent
constexpr int UpHwIdOffset = 44;  // where the boot loader announces it in its BOOTP request
constexpr int UpMaxRetries = 9;   // retransmissions per attempt
// More than any module's flash holds: such a file is refused before anything starts.
constexpr qint64 UpMaxImageBytes = 16 * 1024 * 1024;

inline const QByteArray UpBootFileName = QByteArrayLiteral("firmware.bin");
inline const QString UpDefaultMask = QStringLiteral("255.255.255.0");

// Ports; tests move them, a 0 local port takes a free one (written back when bound).
struct TUpgradePorts {
    uint16_t Trigger = 9;        // local port of binding 0
    uint16_t TriggerDest = 9;    // where the trigger goes
    uint16_t Bootp = 67;         // binding 1: BOOTP requests in, replies out
    uint16_t BootpReply = 68;    // where the BOOTP reply goes
    uint16_t Tftp = 69;          // binding 2: read requests
    uint16_t Data = 40300;       // binding 3: data out, acknowledgements in
    uint16_t ModuleData = 13633; // the boot loader's data port
};

struct TUpgradeTimes {
    int SearchMs = 10000; // from the trigger to the read request
    int BlockMs = 2000;   // per block
};

enum class TUpBinding { Trigger = 0, Bootp = 1, Tftp = 2, Data = 3 };

// The four bindings of an attempt. The real one is TUpgradeUdpNet; tests and the fuzz target use a
// recorder.
class IUpgradeNet {
public:
    virtual ~IUpgradeNet() = default;
    // Binds every binding on localIP. Fills the bound ports back into ports; on failure nothing
    // stays bound and reason says why.
    virtual bool Open(const QString &localIP, TUpgradePorts &ports, QString &reason) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    virtual bool Send(TUpBinding from, const QByteArray &bytes, const QString &host, uint16_t port,
                      QString &reason) = 0;
    // Why the last Open failed, as a kind the windows can put in words; Other unless told.
    virtual TUpgradeFailure OpenFailure() const { return UpFailure(TUpFailureKind::Other); }
    // Set by the attempt: every received datagram with the local port of its binding.
    std::function<void(uint16_t localPort, const QByteArray &bytes, const QString &sender)> OnDatagram;
};

// QUdpSocket bindings. Linux does not deliver a broadcast to a socket bound to a unicast address, so
// the BOOTP binding has a second, receive-only socket on 255.255.255.255 tied to the interface of
// the local address. No address reuse: a DHCP or TFTP server that holds a port makes Open fail.
// A program without the right to bind ports below 1024 gets those sockets from the binding helper
// bexo-z0-bind (upgrade/BindHelper.h); with neither, the reason says what to do.
class TUpgradeUdpNet : public QObject, public IUpgradeNet {
    Q_OBJECT
public:
    explicit TUpgradeUdpNet(QObject *parent = nullptr);
    ~TUpgradeUdpNet() override;
    bool Open(const QString &localIP, TUpgradePorts &ports, QString &reason) override;
    void Close() override;
    bool IsOpen() const override { return FOpen; }
    bool Send(TUpBinding from, const QByteArray &bytes, const QString &host, uint16_t port,
              QString &reason) override;
    TUpgradeFailure OpenFailure() const override { return FOpenFailure; }

private:
    // A bound descriptor wrapped for the event loop; the descriptor is closed when that fails.
    QUdpSocket *adopt(int fd, QString &reason);
    void drain(QUdpSocket *socket, uint16_t localPort);
    std::array<QUdpSocket *, 4> FSockets{};
    QUdpSocket *FBroadcast = nullptr;
    bool FOpen = false;
    uint64_t FGeneration = 0; // bumped by Close, so a drain stops when the handler closed us
    TUpgradeFailure FOpenFailure;
};

struct TUpgradeInputs {
    QString ModuleIP;
    QString ModuleMAC;
    QString LocalIP;
    QString BinFileName;
};

enum class TUpgradeState { Idle, Searching, Serving, Done, Failed, Mismatch, TimedOut };
const char *UpgradeStateName(TUpgradeState state);

// One upgrade attempt after another, as the upgrade window runs them.
class TUpgradeAttempt : public QObject {
    Q_OBJECT
public:
    // Without a net the attempt makes its own TUpgradeUdpNet. A given net must outlive the attempt.
    explicit TUpgradeAttempt(IUpgradeNet *net = nullptr, QObject *parent = nullptr);
    ~TUpgradeAttempt() override;

    TUpgradePorts Ports;
    TUpgradeTimes Times;
    ILogSink *Log = nullptr; // reasons of failures; traffic too when LogTraffic
    bool LogTraffic = false;

    // Outputs, skipped when empty. Progress (text and value) is reported when it changes, not for
    // every block. They run inside the datagram handler and the timer: an owner that wants to drop
    // the attempt from one of them uses deleteLater.
    std::function<void(const QString &key, const QString &text)> OnStatus;     // lbl_Info
    std::function<void(int percent)> OnProgress;                               // pb1
    std::function<void(bool programEnabled, bool exitEnabled)> OnButtons;      // btn_Program, btn_Exit
    std::function<void(const QString &key, const QString &text)> OnMessageBox; // refusals before a start
    std::function<void(TUpgradeState end)> OnFinished;                         // every end of an attempt
    // A failure with its reason, before the attempt ends (the window shows it, the CLI prints it).
    std::function<void(const TUpgradeFailure &failure)> OnFailure;
    // The reason of the last failed attempt; None after any other end or a new start.
    TUpgradeFailure Failure;

    // Program clicked. False when the checks refused (nothing started); true when an attempt began,
    // even if it failed at once. The file is opened before any port is bound; one that is no
    // regular file (a pipe, a device) or larger than MaxImageBytes is refused, with RefusedFile.
    bool Program(const TUpgradeInputs &inputs);
    bool RefusedFile = false; // the last Program refused the file itself
    qint64 MaxImageBytes = UpMaxImageBytes; // tests of very long transfers raise it
    // A datagram received on the binding with this local port.
    void HandleDatagram(uint16_t localPort, const QByteArray &bytes, const QString &sender);
    // Sends block b (1-based) and arms the block time-out.
    void SendUpgradeData(int b);
    // The time-out timer fired.
    void TimerFired();
    // Exit clicked: everything stops, the window may close.
    void Exit();

    TUpgradeState State() const { return FState; }
    bool TimerActive() const { return FTimer.isActive(); }
    int TimerInterval() const { return FTimer.interval(); }
    bool FileOpen() const { return UpFile != nullptr; }
    int LastBlock() const; // number of the final, short block; 0 without a file

    // State of the attempt (read-only outside). The mask is the process-wide UpMask.
    QString UpModuleIP;
    QString UpModuleMAC;
    QString LocalIP;
    QByteArray UpHwId;
    std::unique_ptr<QFile> UpFile;
    int UpBlock = 0;
    int UpRetries = -1;
    bool UpLastSent = false;
    QByteArray UpBootpBuf;   // last BOOTP request
    QByteArray UpReadReqBuf; // last read request
    QByteArray UpAckBuf;     // last acknowledgement

private:
    void status(const QString &key, const QString &suffix = QString());
    void progress(int percent);
    void buttons(bool enabled);
    void fail(const QString &reason, TUpgradeFailure failure = TUpgradeFailure());
    void end(TUpgradeState state, const QString &key);
    void closeFile();
    void sendOrThrow(TUpBinding from, const QByteArray &bytes, const QString &host, uint16_t port);
    void logSent(const QByteArray &bytes, const QString &host, uint16_t port);
    void logReceived(const QByteArray &bytes, const QString &sender);
    bool fromModule(const QString &sender) const;
    void handleBootp(const QByteArray &bytes);
    void handleReadRequest(const QByteArray &bytes, const QString &sender);
    void handleAck(const QByteArray &bytes, const QString &sender);
    void succeed();

    std::unique_ptr<TUpgradeUdpNet> FOwnNet;
    IUpgradeNet *FNet;
    QTimer FTimer;
    TUpgradeState FState = TUpgradeState::Idle;
    uint32_t FModuleAddr = 0; // UpModuleIP as a number, for the sender checks
    QString FModuleHost;      // and as plain dotted text, where data goes
    int FShownPercent = -1;   // the progress text on show, so repeats are not sent again
    qint64 FFileSize = 0;     // size when opened; a file that shrinks under us fails the attempt
};

// Wire helpers, shared with the simulated boot loader and the tests.
// Strict dotted quad (blanks removed first, four numbers 0..255) -> bytes, first number first.
// Raises EConvertError.
std::array<uint8_t, 4> UpAddressBytes(const QString &text);
QByteArray UpBuildTrigger(const uint8_t mac[6]);
// The BOOTP reply made from an accepted request.
QByteArray UpBuildBootpReply(const QByteArray &request, const std::array<uint8_t, 4> &yourAddr,
                             const std::array<uint8_t, 4> &serverAddr);
bool UpBootpRequestFieldsOk(const QByteArray &request);
bool UpReadRequestOk(const QByteArray &request);
QByteArray UpBuildReadRequest();
QByteArray UpBuildAck(int block);
// Percentage shown after a full block b of a file of fileSize bytes (identifier included).
int UpProgressPercent(int b, qint64 fileSize);
