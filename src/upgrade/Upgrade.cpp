#include "upgrade/Upgrade.h"

#include "core/ProFun.h"
#include "core/SafeFile.h"
#include "upgrade/BindHelper.h"
#include "upgrade/UpgradeBind.h"
#include "core/Public.h"
#include "lang/LangList.h"

#include <QFile>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QPointer>
#include <QUdpSocket>
#include <algorithm>
#include <stdexcept>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const QString KeyNoClient = QStringLiteral("lang_Hint_UpNoClient");
const QString KeyNoFileName = QStringLiteral("lang_Hint_UpNoFileName");
const QString KeyNoSameNetwork = QStringLiteral("lang_Hint_UpNoSamNetwork");
const QString KeySearching = QStringLiteral("lang_Hint_UpSearching");
const QString KeyReady = QStringLiteral("lang_Hint_UpReady");
const QString KeyNotMatch = QStringLiteral("lang_Hint_BinNotMatch");
const QString KeyProgress = QStringLiteral("lang_Hint_UpProgress");
const QString KeySuccess = QStringLiteral("lang_Hint_UpSuccess");
const QString KeyFailed = QStringLiteral("lang_Hint_Upfailed");
const QString KeyTimeOut = QStringLiteral("lang_Hint_UpTimeOut");
const QString KeyFileNotRegular = QStringLiteral("lang_Hint_UpFileNotRegular");
const QString KeyFileTooLarge = QStringLiteral("lang_Hint_UpFileTooLarge");

const QByteArray OctetMode = QByteArrayLiteral("octet");

uint8_t at(const QByteArray &b, int i) { return static_cast<uint8_t>(b[i]); }

// What to tell the user when a binding fails, beyond the system's own words.
QString bindHint(int err, TUpBinding role)
{
    switch (err) {
    case EACCES:
    case EPERM:
        return QStringLiteral("ports below 1024 need root or the CAP_NET_BIND_SERVICE capability");
    case EADDRINUSE:
        if (role == TUpBinding::Bootp)
            return QStringLiteral("another program, probably a DHCP or BOOTP server, holds this port");
        if (role == TUpBinding::Tftp)
            return QStringLiteral("another program, probably a TFTP server, holds this port");
        return QStringLiteral("another program holds this port");
    case EADDRNOTAVAIL:
        return QStringLiteral("the address is not one of this machine's");
    default:
        return {};
    }
}

QString bindFailure(const QString &address, uint16_t port, int err, TUpBinding role)
{
    QString reason = QStringLiteral("cannot bind %1 port %2: %3").arg(address).arg(port).arg(
        QString::fromLocal8Bit(strerror(err)));
    const QString hint = bindHint(err, role);
    if (!hint.isEmpty())
        reason += QStringLiteral(" (%1)").arg(hint);
    return reason;
}

// The five raw sockets of an attempt: the four bindings, then the BOOTP broadcast receiver.
constexpr int RawCount = 5;
TUpBinding roleOf(int i) { return i == 4 ? TUpBinding::Bootp : TUpBinding(i); }

// Asks the binding helper for the sockets in denied, which this process may not bind itself.
bool bindWithHelper(in_addr addr, const QString &localIP, const TUpBindRequest (&requests)[RawCount], int (&fds)[RawCount],
                    const QList<int> &denied, QString &reason)
{
    const auto addressOf = [&](int i) { return requests[i].Broadcast ? BroadcastIP : localIP; };
    const int first = denied.first();
    const QString refused = bindFailure(addressOf(first), requests[first].Port, EACCES, roleOf(first));
    const QString helper = FindBindHelper();
    if (helper.isEmpty()) {
        const QStringList looked = BindHelperCandidates();
        reason = refused + QStringLiteral(". No binding helper was found%1: run as root, or install the bexo-z0 "
                                          "package, whose helper %2 binds these ports for every user")
                               .arg(looked.isEmpty() ? QString() : QStringLiteral(" (looked for %1)").arg(looked.join(QLatin1String(", "))),
                                    QLatin1String(UpHelperName));
        return false;
    }
    TUpBindRequest asked[RawCount];
    int got[RawCount];
    for (int k = 0; k < denied.size(); ++k)
        asked[k] = requests[denied[k]];
    const TBindHelperOutcome o = RunBindHelper(helper, addr, asked, int(denied.size()), got);
    if (o.Ok) {
        for (int k = 0; k < denied.size(); ++k)
            fds[denied[k]] = got[k];
        return true;
    }
    if (o.FailedIndex < 0) {
        reason = refused + QStringLiteral("; ") + o.Reason;
        return false;
    }
    const int i = denied[o.FailedIndex];
    reason = bindFailure(addressOf(i), requests[i].Port, o.Errno, roleOf(i));
    if (o.Errno == EACCES || o.Errno == EPERM)
        reason += QStringLiteral(". The binding helper %1 lacks that capability too: give it with "
                                 "\"setcap cap_net_bind_service=ep %1\" as root (installing the bexo-z0 package "
                                 "does this), or run as root")
                      .arg(helper);
    else
        reason += QStringLiteral(" (bound by %1)").arg(helper);
    return false;
}

} // namespace

const char *UpgradeStateName(TUpgradeState state)
{
    switch (state) {
    case TUpgradeState::Idle: return "idle";
    case TUpgradeState::Searching: return "searching";
    case TUpgradeState::Serving: return "serving";
    case TUpgradeState::Done: return "done";
    case TUpgradeState::Failed: return "failed";
    case TUpgradeState::Mismatch: return "mismatch";
    case TUpgradeState::TimedOut: return "timed out";
    }
    return "?";
}

// ---------------------------------------------------------------------------------------------
// Wire helpers

std::array<uint8_t, 4> UpAddressBytes(const QString &text)
{
    const QStringList parts = RemoveSpaces(text).split(u'.');
    const auto bad = [&] { return EConvertError(QStringLiteral("'%1' is not a valid IP address").arg(text)); };
    if (parts.size() != 4)
        throw bad();
    std::array<uint8_t, 4> out{};
    for (int i = 0; i < 4; ++i) {
        const QString &p = parts[i];
        if (p.isEmpty() || p.size() > 3)
            throw bad();
        int v = 0;
        for (QChar c : p) {
            if (c < u'0' || c > u'9')
                throw bad();
            v = v * 10 + (c.unicode() - '0');
        }
        if (v > 255)
            throw bad();
        out[i] = static_cast<uint8_t>(v);
    }
    return out;
}

QByteArray UpBuildTrigger(const uint8_t mac[6])
{
    QByteArray t(UpTriggerLen, char(0xAA));
    for (int copy = 0; copy < 4; ++copy)
        std::copy(mac, mac + 6, t.begin() + 6 + 6 * copy);
    return t;
}

bool UpBootpRequestFieldsOk(const QByteArray &r)
{
    return r.size() == UpBootpLen && at(r, 0) == 1 && at(r, 1) == 1 && at(r, 2) == 6 && at(r, 3) == 0 &&
           at(r, 10) == 0 && at(r, 11) == 0;
}

QByteArray UpBuildBootpReply(const QByteArray &request, const std::array<uint8_t, 4> &yourAddr,
                             const std::array<uint8_t, 4> &serverAddr)
{
    QByteArray r = request;
    if (r.size() < UpBootpLen)
        r.resize(UpBootpLen, '\0');
    r[0] = 2;
    std::copy(yourAddr.begin(), yourAddr.end(), r.begin() + 16);
    std::copy(serverAddr.begin(), serverAddr.end(), r.begin() + 20);
    std::copy(UpBootFileName.begin(), UpBootFileName.end(), r.begin() + 108);
    return r;
}

bool UpReadRequestOk(const QByteArray &r)
{
    // Bytes 14 and 20, the terminators, are not looked at.
    return r.size() == UpReadReqLen && at(r, 0) == 0 && at(r, 1) == 1 && r.mid(2, 12) == UpBootFileName &&
           r.mid(15, 5) == OctetMode;
}

QByteArray UpBuildReadRequest()
{
    QByteArray r("\x00\x01", 2);
    r += UpBootFileName;
    r += '\0';
    r += OctetMode;
    r += '\0';
    return r;
}

QByteArray UpBuildAck(int block)
{
    QByteArray a(UpAckLen, '\0');
    a[1] = 4;
    a[2] = char((block >> 8) & 0xFF);
    a[3] = char(block & 0xFF);
    return a;
}

int UpProgressPercent(int b, qint64 fileSize)
{
    const qint64 d = fileSize / UpBlockSize;
    if (d <= 0)
        return 100;
    // b / d * 100, halves rounded up.
    const qint64 p = (qint64(b) * 200 + d) / (2 * d);
    return int(std::clamp<qint64>(p, 0, 100));
}

// ---------------------------------------------------------------------------------------------
// TUpgradeUdpNet

TUpgradeUdpNet::TUpgradeUdpNet(QObject *parent) : QObject(parent) {}

TUpgradeUdpNet::~TUpgradeUdpNet() { Close(); }

QUdpSocket *TUpgradeUdpNet::adopt(int fd, QString &reason)
{
    auto *s = new QUdpSocket(this);
    if (!s->setSocketDescriptor(fd, QAbstractSocket::BoundState, QIODevice::ReadWrite)) {
        reason = QStringLiteral("cannot use the socket of port %1: %2").arg(UpBoundPort(fd)).arg(s->errorString());
        delete s;
        ::close(fd);
        return nullptr;
    }
    return s;
}

bool TUpgradeUdpNet::Open(const QString &localIP, TUpgradePorts &ports, QString &reason)
{
    Close();
    QHostAddress local;
    if (!local.setAddress(localIP) || local.protocol() != QAbstractSocket::IPv4Protocol) {
        reason = QStringLiteral("'%1' is not an IPv4 address").arg(localIP);
        return false;
    }
    in_addr addr{};
    addr.s_addr = htonl(local.toIPv4Address());
    char device[IF_NAMESIZE] = {};
    (void)UpInterfaceOf(addr, device); // without it the receiver hears every interface

    // Made by hand rather than with QUdpSocket::bind: Qt asks for address reuse on Unix, and then a
    // DHCP or TFTP server that also asked for it would silently share the port with us.
    TUpBindRequest requests[RawCount] = {{ports.Trigger}, {ports.Bootp}, {ports.Tftp}, {ports.Data}, {0, true}};
    int fds[RawCount] = {-1, -1, -1, -1, -1};
    const auto closeRaw = [&] {
        for (int &fd : fds)
            if (fd >= 0) {
                ::close(fd);
                fd = -1;
            }
    };
    QList<int> denied; // ports below 1024 without the right to bind them
    for (int i = 0; i < RawCount; ++i) {
        if (requests[i].Broadcast) // on the port the BOOTP binding got
            requests[i].Port = fds[1] >= 0 ? UpBoundPort(fds[1]) : requests[1].Port;
        int err = 0;
        in_addr on = addr;
        if (requests[i].Broadcast)
            on.s_addr = htonl(INADDR_BROADCAST);
        fds[i] = UpBindUdp(on, requests[i].Port, requests[i].Broadcast ? device : nullptr, err);
        if (fds[i] >= 0)
            continue;
        if ((err == EACCES || err == EPERM) && UpHelperMayBind(requests[i])) {
            denied << i;
            continue;
        }
        reason = err == EMFILE || err == ENFILE
                     ? QStringLiteral("cannot create a UDP socket: %1").arg(QString::fromLocal8Bit(strerror(err)))
                     : bindFailure(requests[i].Broadcast ? BroadcastIP : localIP, requests[i].Port, err, roleOf(i));
        closeRaw();
        return false;
    }
    if (!denied.isEmpty() && !bindWithHelper(addr, localIP, requests, fds, denied, reason)) {
        closeRaw();
        return false;
    }
    QUdpSocket **targets[RawCount] = {&FSockets[0], &FSockets[1], &FSockets[2], &FSockets[3], &FBroadcast};
    for (int i = 0; i < RawCount; ++i) {
        *targets[i] = adopt(fds[i], reason);
        fds[i] = -1;
        if (!*targets[i]) {
            closeRaw();
            Close();
            return false;
        }
    }

    ports.Trigger = FSockets[0]->localPort();
    ports.Bootp = FSockets[1]->localPort();
    ports.Tftp = FSockets[2]->localPort();
    ports.Data = FSockets[3]->localPort();
    for (QUdpSocket *s : {FSockets[0], FSockets[1], FSockets[2], FSockets[3], FBroadcast}) {
        const uint16_t port = s->localPort();
        connect(s, &QUdpSocket::readyRead, this, [this, s, port] { drain(s, port); });
    }
    FOpen = true;
    return true;
}

void TUpgradeUdpNet::drain(QUdpSocket *socket, uint16_t localPort)
{
    QPointer<QUdpSocket> guard(socket);
    const uint64_t generation = FGeneration;
    while (guard && generation == FGeneration && socket->hasPendingDatagrams()) {
        const QNetworkDatagram d = socket->receiveDatagram();
        if (!d.isValid())
            break; // an error report instead of a datagram; readyRead comes again for the rest
        bool ok = false;
        const quint32 v4 = d.senderAddress().toIPv4Address(&ok);
        const QString sender = ok ? QHostAddress(v4).toString() : d.senderAddress().toString();
        if (OnDatagram)
            OnDatagram(localPort, d.data(), sender);
    }
}

void TUpgradeUdpNet::Close()
{
    ++FGeneration;
    for (QUdpSocket *&s : FSockets) {
        if (s) {
            s->disconnect(this);
            s->close();
            s->deleteLater(); // may be inside its own readyRead right now
            s = nullptr;
        }
    }
    if (FBroadcast) {
        FBroadcast->disconnect(this);
        FBroadcast->close();
        FBroadcast->deleteLater();
        FBroadcast = nullptr;
    }
    FOpen = false;
}

bool TUpgradeUdpNet::Send(TUpBinding from, const QByteArray &bytes, const QString &host, uint16_t port,
                          QString &reason)
{
    QUdpSocket *s = FSockets[int(from)];
    if (!FOpen || !s) {
        reason = QStringLiteral("the upgrade bindings are not open");
        return false;
    }
    const QHostAddress to = host == BroadcastIP ? QHostAddress(QHostAddress::Broadcast) : QHostAddress(host);
    if (to.isNull()) {
        reason = QStringLiteral("'%1' is not an address to send to").arg(host);
        return false;
    }
    if (s->writeDatagram(bytes, to, port) != bytes.size()) {
        reason = QStringLiteral("cannot send to %1 port %2: %3").arg(host).arg(port).arg(s->errorString());
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// TUpgradeAttempt

TUpgradeAttempt::TUpgradeAttempt(IUpgradeNet *net, QObject *parent) : QObject(parent), FNet(net)
{
    if (!FNet) {
        FOwnNet = std::make_unique<TUpgradeUdpNet>();
        FNet = FOwnNet.get();
    }
    FNet->OnDatagram = [this](uint16_t port, const QByteArray &bytes, const QString &sender) {
        HandleDatagram(port, bytes, sender);
    };
    FTimer.setSingleShot(false);
    // A coarse timer may fire up to 5 % early: the boot loader gets every millisecond it is given.
    FTimer.setTimerType(Qt::PreciseTimer);
    FTimer.setInterval(Times.SearchMs);
    connect(&FTimer, &QTimer::timeout, this, &TUpgradeAttempt::TimerFired);
}

TUpgradeAttempt::~TUpgradeAttempt()
{
    FTimer.stop();
    FNet->OnDatagram = nullptr;
    FNet->Close();
}

int TUpgradeAttempt::LastBlock() const
{
    if (!UpFile)
        return 0;
    return int((FFileSize - UpHwIdLen) / UpBlockSize) + 1;
}

void TUpgradeAttempt::status(const QString &key, const QString &suffix)
{
    FShownPercent = -1; // any other text replaces the progress line
    if (OnStatus)
        OnStatus(key, GetLangText(key) + suffix);
}

void TUpgradeAttempt::progress(int percent)
{
    if (OnProgress)
        OnProgress(percent);
}

void TUpgradeAttempt::buttons(bool enabled)
{
    if (OnButtons)
        OnButtons(enabled, enabled);
}

void TUpgradeAttempt::closeFile() { UpFile.reset(); }

void TUpgradeAttempt::end(TUpgradeState state, const QString &key)
{
    FTimer.stop();
    FNet->Close();
    closeFile();
    FState = state;
    status(key);
    buttons(true);
    progress(0);
    if (OnFinished)
        OnFinished(state);
}

void TUpgradeAttempt::fail(const QString &reason)
{
    if (Log && !reason.isEmpty())
        Log->AddLog(reason, TLogColor::Red);
    end(TUpgradeState::Failed, KeyFailed);
}

void TUpgradeAttempt::succeed()
{
    FTimer.stop();
    closeFile();
    FState = TUpgradeState::Done;
    status(KeySuccess);
    progress(0);
    buttons(true);
    if (OnFinished)
        OnFinished(TUpgradeState::Done);
}

void TUpgradeAttempt::logSent(const QByteArray &bytes, const QString &host, uint16_t port)
{
    if (LogTraffic && Log)
        Log->AddHex(LogOpen + LogPC + LogSendArrow + host + QLatin1Char(':') + QString::number(port) + LogClose +
                        LogColon + BytesToHexSpaced(bytes),
                    TLogColor::Blue);
}

void TUpgradeAttempt::logReceived(const QByteArray &bytes, const QString &sender)
{
    if (LogTraffic && Log)
        Log->AddHex(LogOpen + LogPC + LogRecvArrow + sender + LogClose + LogColon + BytesToHexSpaced(bytes),
                    TLogColor::Green);
}

void TUpgradeAttempt::sendOrThrow(TUpBinding from, const QByteArray &bytes, const QString &host, uint16_t port)
{
    QString reason;
    if (!FNet->Send(from, bytes, host, port, reason))
        throw std::runtime_error(reason.toStdString());
    logSent(bytes, host, port);
}

bool TUpgradeAttempt::fromModule(const QString &sender) const
{
    if (sender == FModuleHost)
        return true;
    // Otherwise compared as numbers: "192.168.0.007" typed by the user is the module that says
    // 192.168.0.7.
    QHostAddress a;
    if (!a.setAddress(sender))
        return false;
    bool ok = false;
    const quint32 v = a.toIPv4Address(&ok);
    return ok && v == FModuleAddr;
}

bool TUpgradeAttempt::Program(const TUpgradeInputs &inputs)
{
    UpModuleIP = inputs.ModuleIP;
    UpModuleMAC = inputs.ModuleMAC;
    LocalIP = inputs.LocalIP;
    RefusedFile = false;
    if (UpModuleIP.isEmpty() || UpModuleMAC.isEmpty() || LocalIP.isEmpty()) {
        status(KeyNoClient);
        return false;
    }
    if (inputs.BinFileName.isEmpty()) {
        status(KeyNoFileName);
        return false;
    }
    if (UpMask.isEmpty())
        UpMask = UpDefaultMask;
    std::array<uint8_t, 4> module{}, local{};
    try {
        if (!SameSubnet(UpModuleIP, LocalIP, UpMask)) {
            if (OnMessageBox)
                OnMessageBox(KeyNoSameNetwork, GetLangText(KeyNoSameNetwork));
            return false;
        }
        // The addresses go into the BOOTP reply as four bytes; a text that will not fit stops here,
        // before anything has started.
        module = UpAddressBytes(UpModuleIP);
        local = UpAddressBytes(LocalIP);
    } catch (const EConvertError &e) {
        if (OnMessageBox)
            OnMessageBox(QString(), e.Message());
        return false;
    }
    // The file before anything starts: a pipe or a device would hang the attempt, and a file larger
    // than any module's flash is no firmware. A file that cannot be opened fails the attempt below.
    TFileRefusal refusal = TFileRefusal::None;
    QString why;
    qint64 size = 0;
    const int fd = OpenRegularFile(inputs.BinFileName, MaxImageBytes, refusal, why, &size);
    if (refusal == TFileRefusal::NotRegular || refusal == TFileRefusal::TooLarge) {
        RefusedFile = true;
        const QString &key = refusal == TFileRefusal::NotRegular ? KeyFileNotRegular : KeyFileTooLarge;
        if (Log)
            Log->AddLog(QStringLiteral("%1: %2").arg(inputs.BinFileName, why), TLogColor::Red);
        if (OnMessageBox)
            OnMessageBox(key, GetLangText(key) + inputs.BinFileName);
        return false;
    }
    auto file = std::make_unique<QFile>(inputs.BinFileName);
    // Unbuffered: a read-ahead buffer would go on serving bytes of a file that changed since.
    if (fd >= 0 && !file->open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle))
        ::close(fd);

    FModuleAddr = (uint32_t(module[0]) << 24) | (uint32_t(module[1]) << 16) | (uint32_t(module[2]) << 8) | module[3];
    FModuleHost = IntToIP(FModuleAddr);
    const QString localHost = IntToIP((uint32_t(local[0]) << 24) | (uint32_t(local[1]) << 16) |
                                      (uint32_t(local[2]) << 8) | local[3]);

    // From here on every error ends the attempt as a failure.
    buttons(false);
    UpLastSent = false;
    UpBlock = 0;
    UpRetries = -1;
    UpHwId.clear(); // never compare with the identifier of an earlier file
    FState = TUpgradeState::Searching;
    FTimer.start(Times.SearchMs);
    status(KeySearching);
    try {
        FNet->Close();
        closeFile();
        // Opened before any port is bound.
        if (!file->isOpen()) {
            fail(QStringLiteral("cannot open %1: %2").arg(inputs.BinFileName, why));
            return true;
        }
        FFileSize = size;
        const QByteArray id = file->read(UpHwIdLen);
        if (id.size() < UpHwIdLen) {
            fail(QStringLiteral("%1 has %2 bytes, too few for the 4-byte hardware identifier")
                     .arg(inputs.BinFileName)
                     .arg(FFileSize));
            return true;
        }
        UpHwId = id;
        UpFile = std::move(file);

        QString reason;
        if (!FNet->Open(localHost, Ports, reason)) {
            fail(reason);
            return true;
        }

        progress(0);

        uint8_t mac[6];
        MacToBytes(UpModuleMAC, mac);
        sendOrThrow(TUpBinding::Trigger, UpBuildTrigger(mac), BroadcastIP, Ports.TriggerDest);
    } catch (const EConvertError &e) {
        fail(e.Message());
    } catch (const std::exception &e) {
        fail(QString::fromStdString(e.what()));
    }
    return true;
}

void TUpgradeAttempt::HandleDatagram(uint16_t localPort, const QByteArray &bytes, const QString &sender)
{
    if (!FNet->IsOpen())
        return; // nothing is bound: a late datagram of an ended attempt
    try {
        if (localPort == Ports.Bootp && bytes.size() == UpBootpLen) {
            logReceived(bytes, sender);
            handleBootp(bytes);
        } else if (localPort == Ports.Tftp && bytes.size() == UpReadReqLen) {
            logReceived(bytes, sender);
            handleReadRequest(bytes, sender);
        } else if (localPort == Ports.Data && bytes.size() == UpAckLen) {
            logReceived(bytes, sender);
            handleAck(bytes, sender);
        }
    } catch (const std::exception &e) {
        fail(QString::fromStdString(e.what()));
    }
}

void TUpgradeAttempt::handleBootp(const QByteArray &bytes)
{
    UpBootpBuf = bytes;
    if (!UpBootpRequestFieldsOk(bytes))
        return;
    if (UpHwId.size() == UpHwIdLen && bytes.mid(UpHwIdOffset, UpHwIdLen) == UpHwId) {
        status(KeyReady);
        const QByteArray reply = UpBuildBootpReply(bytes, UpAddressBytes(UpModuleIP), UpAddressBytes(LocalIP));
        sendOrThrow(TUpBinding::Bootp, reply, BroadcastIP, Ports.BootpReply);
    } else if (at(bytes, 26) != 0) {
        end(TUpgradeState::Mismatch, KeyNotMatch);
    }
    // A different identifier with byte 26 clear is someone else's boot loader: not ours to answer.
}

void TUpgradeAttempt::handleReadRequest(const QByteArray &bytes, const QString &sender)
{
    if (!fromModule(sender))
        return;
    UpReadReqBuf = bytes;
    if (!UpReadRequestOk(bytes) || !UpFile)
        return;
    // Again later: the boot loader started over, so do we.
    FTimer.stop();
    UpRetries = 0;
    FState = TUpgradeState::Serving;
    SendUpgradeData(1);
}

void TUpgradeAttempt::handleAck(const QByteArray &bytes, const QString &sender)
{
    if (!fromModule(sender))
        return;
    UpAckBuf = bytes;
    // Anything but an acknowledgement of a running transfer leaves the time-out armed, so a stray
    // datagram can never stall the attempt with both buttons disabled.
    if (at(bytes, 0) != 0 || at(bytes, 1) != 4 || FState != TUpgradeState::Serving || !UpFile)
        return;
    // Block numbers are 16 bits on the wire: take the block nearest the one sent last, so an image
    // of more than 65535 blocks goes on past the wrap instead of starting over.
    const uint16_t low = uint16_t((at(bytes, 2) << 8) | at(bytes, 3));
    const int acked = UpBlock + int16_t(uint16_t(low - uint16_t(UpBlock & 0xFFFF)));
    if (acked > UpBlock || acked < 0)
        return; // acknowledges a block never sent
    if (UpLastSent && acked == UpBlock) {
        succeed();
        return;
    }
    if (acked + 1 > LastBlock())
        return;
    FTimer.stop();
    SendUpgradeData(acked + 1);
}

void TUpgradeAttempt::SendUpgradeData(int b)
{
    if (!UpFile || b < 1 || b > LastBlock())
        return;
    UpBlock = b;
    try {
        const qint64 offset = UpHwIdLen + qint64(b - 1) * UpBlockSize;
        const qint64 remaining = FFileSize - offset;
        const int n = remaining >= UpBlockSize ? UpBlockSize : int(remaining);
        QByteArray packet(4 + n, Qt::Uninitialized);
        packet[0] = 0;
        packet[1] = 3;
        packet[2] = char((b >> 8) & 0xFF);
        packet[3] = char(b & 0xFF);
        // Blocks are read in order, so the position is mostly right already: no seek needed.
        if ((UpFile->pos() != offset && !UpFile->seek(offset)) || (n > 0 && UpFile->read(packet.data() + 4, n) != n))
            throw std::runtime_error(QStringLiteral("cannot read block %1 of %2: %3")
                                         .arg(b)
                                         .arg(UpFile->fileName(), UpFile->error() == QFile::NoError
                                                                       ? QStringLiteral("the file became shorter")
                                                                       : UpFile->errorString())
                                         .toStdString());
        UpLastSent = n < UpBlockSize;
        // The file stays open after the final, short block: if its acknowledgement is lost, the
        // time-out sends it again.
        const int percent = UpLastSent ? 100 : UpProgressPercent(b, FFileSize);
        if (percent != FShownPercent) { // a few hundred changes in thousands of blocks
            status(KeyProgress, QString::number(percent) + QLatin1Char('%'));
            progress(percent);
            FShownPercent = percent;
        }
        sendOrThrow(TUpBinding::Data, packet, FModuleHost, Ports.ModuleData);
        FTimer.start(Times.BlockMs);
    } catch (const std::exception &e) {
        fail(QString::fromStdString(e.what()));
    }
}

void TUpgradeAttempt::TimerFired()
{
    if (FState != TUpgradeState::Searching && FState != TUpgradeState::Serving) {
        FTimer.stop(); // an ended attempt keeps its message
        return;
    }
    if (UpRetries < 0 || UpRetries >= UpMaxRetries) {
        end(TUpgradeState::TimedOut, KeyTimeOut);
        return;
    }
    ++UpRetries;
    SendUpgradeData(UpBlock);
}

void TUpgradeAttempt::Exit()
{
    FNet->Close();
    FTimer.stop();
    closeFile();
    if (FState == TUpgradeState::Searching || FState == TUpgradeState::Serving)
        FState = TUpgradeState::Idle;
    buttons(true);
    progress(0);
}
