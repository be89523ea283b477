// The upgrade's UDP bindings: made on this machine's address, or handed over by the binding helper.
#include "upgrade/Upgrade.h"

#include "core/Public.h"
#include "upgrade/BindHelper.h"
#include "upgrade/UpgradeBind.h"

#include <QHostAddress>
#include <QList>
#include <QNetworkDatagram>
#include <QPointer>
#include <QUdpSocket>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

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

// The words-to-be of a failed binding.
TUpgradeFailure bindFailureKind(const QString &address, uint16_t port, int err, TUpBinding role, const QString &reason)
{
    if (err != EADDRINUSE)
        return UpFailure(TUpFailureKind::Other, {}, reason);
    const QString server = role == TUpBinding::Bootp ? QStringLiteral("DHCP/BOOTP")
                           : role == TUpBinding::Tftp ? QStringLiteral("TFTP")
                                                      : QString();
    return UpPortHeld(address, port, server, reason);
}

// The five raw sockets of an attempt: the four bindings, then the BOOTP broadcast receiver.
constexpr int RawCount = 5;
TUpBinding roleOf(int i) { return i == 4 ? TUpBinding::Bootp : TUpBinding(i); }

// Asks the binding helper for the sockets in denied, which this process may not bind itself.
bool bindWithHelper(in_addr addr, const QString &localIP, const TUpBindRequest (&requests)[RawCount], int (&fds)[RawCount],
                    const QList<int> &denied, QString &reason, TUpgradeFailure &failure)
{
    const auto addressOf = [&](int i) { return requests[i].Broadcast ? BroadcastIP : localIP; };
    const int first = denied.first();
    const QString refused = bindFailure(addressOf(first), requests[first].Port, EACCES, roleOf(first));
    const QString helper = FindBindHelper();
    if (helper.isEmpty()) {
        const QStringList looked = BindHelperCandidates();
        reason = refused + QStringLiteral(". No binding helper was found%1: install the bexo-z0 package, whose "
                                          "helper %2 binds these ports for every user")
                               .arg(looked.isEmpty() ? QString() : QStringLiteral(" (looked for %1)").arg(looked.join(QLatin1String(", "))),
                                    QLatin1String(UpHelperName));
        failure = UpFailure(TUpFailureKind::NoHelper, looked.isEmpty() ? QLatin1String(UpHelperName) : looked.first(), reason);
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
        failure = UpFailure(o.NotPermitted ? TUpFailureKind::HelperDenied : TUpFailureKind::Other, helper, reason);
        failure.Group = o.Group;
        return false;
    }
    const int i = denied[o.FailedIndex];
    reason = bindFailure(addressOf(i), requests[i].Port, o.Errno, roleOf(i));
    if (o.Errno == EACCES || o.Errno == EPERM) {
        reason += QStringLiteral(". The binding helper %1 lacks that capability too: give it with "
                                 "\"sudo setcap cap_net_bind_service=ep %1\" (installing the bexo-z0 package "
                                 "does this)")
                      .arg(helper);
        failure = UpFailure(TUpFailureKind::HelperNoCap, helper, reason);
    } else {
        reason += QStringLiteral(" (bound by %1)").arg(helper);
        failure = bindFailureKind(addressOf(i), requests[i].Port, o.Errno, roleOf(i), reason);
    }
    return false;
}

} // namespace

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
    FOpenFailure = UpFailure(TUpFailureKind::Other);
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
        const QString onText = requests[i].Broadcast ? BroadcastIP : localIP;
        reason = err == EMFILE || err == ENFILE
                     ? QStringLiteral("cannot create a UDP socket: %1").arg(QString::fromLocal8Bit(strerror(err)))
                     : bindFailure(onText, requests[i].Port, err, roleOf(i));
        FOpenFailure = bindFailureKind(onText, requests[i].Port, err, roleOf(i), reason);
        closeRaw();
        return false;
    }
    if (!denied.isEmpty() && !bindWithHelper(addr, localIP, requests, fds, denied, reason, FOpenFailure)) {
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
