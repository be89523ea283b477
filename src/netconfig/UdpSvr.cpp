#include "netconfig/UdpSvr.h"

#include "core/ProFun.h"
#include "netconfig/AddressRange.h"
#include "netconfig/Codecs.h"
#include "netconfig/Fleet.h"

#include <QHostAddress>
#include <QNetworkDatagram>
#include <QUdpSocket>
#include <QVariant>

QByteArray BuildCmdFrame(uint8_t ACmd, const QString &AMac, const QString &AUser, const QString &APswd,
                         const uint8_t *APayload, int ALen)
{
    QByteArray f(22 + ALen, '\0');
    auto *b = reinterpret_cast<uint8_t *>(f.data());
    b[0] = 0xFF;
    b[1] = uint8_t((19 + ALen) & 0xFF);
    b[2] = ACmd;
    MacToBytes(AMac, b + 3);
    PutPaddedStr(f, AUser, 9, 6);
    PutPaddedStr(f, APswd, 15, 6);
    b = reinterpret_cast<uint8_t *>(f.data());
    if (ALen > 0)
        std::copy(APayload, APayload + ALen, b + 21);
    b[21 + ALen] = Sum8(b + 1, 20 + ALen);
    return f;
}

bool IsKnownReplyLength(int length)
{
    switch (length) {
    case 1:
    case 2:
    case 4:
    case LenSearch:
    case 40:
    case LenCloud:
    case LenHeartReg:
    case LenModbusPack:
    case LenModbusNew:
    case LenRead:
    case 193:
    case 256:
    case LenHttpd: return true;
    default: return false;
    }
}

TUdpSvr::TUdpSvr(QObject *parent) : QObject(parent)
{
    FClock.start();
    FUnknownTimer.setSingleShot(true);
    connect(&FUnknownTimer, &QTimer::timeout, this, &TUdpSvr::FlushUnknownSummary);
}

void TUdpSvr::FlushUnknownSummary()
{
    FUnknownTimer.stop();
    if (FUnknownHeld == 0)
        return;
    const int held = FUnknownHeld;
    FUnknownHeld = 0;
    DoStatus(StsUnknownLenMore, QString::number(held));
}

bool TUdpSvr::passUnknown()
{
    const qint64 now = FClock.elapsed();
    if (FUnknownSince >= 0 && now - FUnknownSince < UnknownSummaryMs) {
        ++FUnknownHeld;
        if (!FUnknownTimer.isActive())
            FUnknownTimer.start(int(UnknownSummaryMs - (now - FUnknownSince)));
        return false;
    }
    FlushUnknownSummary(); // what the period before held
    FUnknownSince = now;
    return true;
}

TUdpSvr::~TUdpSvr()
{
    clearBindings();
    SearchReplies.clear();
}

QString TUdpSvr::BindingIP(int index) const
{
    return index >= 0 && index < FBindings.size() ? FBindings[index].IP : QString();
}

int TUdpSvr::BindingPort(int index) const
{
    return index >= 0 && index < FBindings.size() && FBindings[index].Socket ? FBindings[index].Socket->localPort()
                                                                            : 0;
}

void TUdpSvr::clearBindings()
{
    FSubnets.clear();
    FHaveSubnets = false;
    for (TBinding &b : FBindings) {
        if (b.Socket) {
            b.Socket->disconnect(this);
            b.Socket->close();
            delete b.Socket;
        }
    }
    FBindings.clear();
}

void TUdpSvr::RefreshBindings()
{
    QStringList list;
    if (!AddressOverride.isEmpty())
        list = AddressOverride;
    else
        LocalIPv4List(list);
    const int n = int(list.size());
    bool stale = FStale || FBindings.size() != n;
    for (int i = 0; !stale && i < n; ++i)
        stale = FBindings[i].IP != list[i];
    if (!stale || n == 0)
        return;

    clearBindings();
    FStale = false;
    bool failed = false;
    for (int i = 0; i < n; ++i) {
        auto *s = new QUdpSocket(this);
        // A binding that fails keeps its place, so the indexes of the others match the address list;
        // the next refresh tries it again.
        FBindings.append({list[i], s});
        const QHostAddress addr(list[i]);
        if (addr.isNull() || !s->bind(addr, 0)) {
            failed = FStale = true;
            continue;
        }
        // A search of a large network brings many replies at once.
        s->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, QVariant(4 * 1024 * 1024));
        connect(s, &QUdpSocket::readyRead, this, [this, s] {
            for (int k = 0; k < FBindings.size(); ++k)
                if (FBindings[k].Socket == s) {
                    readPending(k);
                    return;
                }
        });
    }
    if (failed)
        DoStatus(StsPortInUse, QStringLiteral("port is used"));
}

void TUdpSvr::readPending(int index)
{
    QUdpSocket *s = FBindings[index].Socket;
    // One readyRead may stand for many datagrams: drain them, but a flood only so many per turn of
    // the event loop, so that the window paints and timers run in between. What is left keeps the
    // socket readable, and Qt signals readyRead again on the next turn (each datagram read turns
    // its notifier back on; a posted drain of our own could take a notified datagram away and
    // leave the notifier off for good).
    for (int handled = 0; handled < MaxDatagramsPerTurn && s->hasPendingDatagrams(); ++handled) {
        const QNetworkDatagram d = s->receiveDatagram();
        if (!d.isValid())
            break;
        QHostAddress peer = d.senderAddress();
        bool ok = false;
        const quint32 v4 = peer.toIPv4Address(&ok);
        if (ok)
            peer = QHostAddress(v4);
        UDPRead(d.data(), peer.toString(), d.senderPort(), FBindings[index].IP, s->localPort(), index);
        // A handler may have rebuilt the bindings (a search from an event).
        if (index >= FBindings.size() || FBindings[index].Socket != s)
            return;
    }
}

int TUdpSvr::SearchDevices()
{
    SearchReplies.clear();
    CurSearchReply = nullptr;
    RefreshBindings();
    static const uint8_t frame[4] = {0xFF, 0x01, CmdSearch, 0x02};
    const QByteArray datagram(reinterpret_cast<const char *>(frame), 4);
    for (int i = 0; i < FBindings.size(); ++i) {
        QUdpSocket *s = FBindings[i].Socket;
        if (!s || s->state() != QAbstractSocket::BoundState || !DisableConnReset(FBindings[0].Socket))
            continue;
        if (s->writeDatagram(datagram, QHostAddress(BroadcastAddress), quint16(DestPortQ2)) < 0)
            continue;
        DoSendData(datagram, BroadcastAddress, FBindings[i].IP, DestPortQ2, s->localPort());
    }
    DoStatus(StsSearchSent, QString());
    return SearchOk;
}

QList<int> SearchBindingsFor(quint32 address, const QList<QList<std::pair<quint32, quint32>>> &subnets)
{
    QList<int> in, all;
    for (int i = 0; i < subnets.size(); ++i) {
        all << i;
        for (const auto &[net, mask] : subnets[i])
            if ((net & mask) == (address & mask)) {
                in << i;
                break;
            }
    }
    return in.isEmpty() ? all : in;
}

int TUdpSvr::SendSearchTo(const QString &AIP)
{
    quint32 address = 0;
    if (!ParseAddress(AIP, address))
        return 0;
    if (!FHaveSubnets) {
        FSubnets.clear();
        for (const TBinding &b : FBindings) {
            QList<std::pair<quint32, quint32>> nets;
            for (const TSubnet &n : InterfaceSubnets(b.IP)) {
                quint32 ip = 0, mask = 0;
                if (ParseAddress(n.IP, ip) && ParseAddress(n.Mask, mask))
                    nets.append({ip, mask});
            }
            FSubnets.append(nets);
        }
        FHaveSubnets = true;
    }
    static const uint8_t frame[4] = {0xFF, 0x01, CmdSearch, 0x02};
    const QByteArray datagram(reinterpret_cast<const char *>(frame), 4);
    int sent = 0;
    for (int i : SearchBindingsFor(address, FSubnets)) {
        QUdpSocket *s = FBindings[i].Socket;
        if (!s || s->state() != QAbstractSocket::BoundState || !DisableConnReset(FBindings[0].Socket))
            continue;
        if (s->writeDatagram(datagram, QHostAddress(address), quint16(DestPortQ2)) < 0)
            continue;
        DoSendData(datagram, AIP, FBindings[i].IP, DestPortQ2, s->localPort());
        ++sent;
    }
    return sent;
}

bool TUdpSvr::sendFrame(int ABindingIndex, const QByteArray &frame, int port, const QString &dest)
{
    if (ABindingIndex < 0 || ABindingIndex >= FBindings.size())
        return false;
    QUdpSocket *s = FBindings[ABindingIndex].Socket;
    if (!s || s->state() != QAbstractSocket::BoundState || !DisableConnReset(FBindings[0].Socket))
        return false;
    const QString &to = dest.isEmpty() ? BroadcastAddress : dest;
    if (s->writeDatagram(frame, QHostAddress(to), quint16(port)) < 0)
        return false;
    DoSendData(frame, to, FBindings[ABindingIndex].IP, port, s->localPort());
    return true;
}

bool TUdpSvr::SendCmdQ2(int ABindingIndex, const QString &AMac, uint8_t ACmd, const QString &AUser,
                        const QString &APswd, const QString &ADest)
{
    return SendBlockQ2(ABindingIndex, AMac, ACmd, AUser, APswd, nullptr, 0, ADest);
}

bool TUdpSvr::SendCmdQ3(int ABindingIndex, const QString &AMac, uint8_t ACmd, const QString &AUser,
                        const QString &APswd, const QString &ADest)
{
    try {
        return sendFrame(ABindingIndex, BuildCmdFrame(ACmd, AMac, AUser, APswd), DestPortQ3, ADest);
    } catch (const EConvertError &) {
        return false;
    }
}

bool TUdpSvr::SendBlockQ2(int ABindingIndex, const QString &AMac, uint8_t ACmd, const QString &AUser,
                          const QString &APswd, const uint8_t *APayload, int ALen, const QString &ADest)
{
    try {
        return sendFrame(ABindingIndex, BuildCmdFrame(ACmd, AMac, AUser, APswd, APayload, ALen), DestPortQ2, ADest);
    } catch (const EConvertError &) {
        return false;
    }
}

void TUdpSvr::DoStatus(int ACode, const QString &AMsg)
{
    if (OnStatus)
        OnStatus(ACode, AMsg);
}

void TUdpSvr::DoSendData(const QByteArray &AData, const QString &APeerIP, const QString &ALocalIP, int APeerPort,
                         int ALocalPort)
{
    if (OnSendData)
        OnSendData(AData, APeerIP, ALocalIP, APeerPort, ALocalPort);
}

void TUdpSvr::StoreReply(int ALength, const uint8_t *AData)
{
    switch (ALength) {
    case LenRead:
        std::copy(AData, AData + LenRead, LastRead.begin());
        LastReadLen = LenRead;
        break;
    case LenCloud: std::copy(AData, AData + LenCloud, LastCloud.begin()); break;
    case LenHeartReg: std::copy(AData, AData + LenHeartReg, LastHeartReg.begin()); break;
    case LenModbusPack: std::copy(AData, AData + LenModbusPack, LastModbusPack.begin()); break;
    case LenModbusNew: std::copy(AData, AData + LenModbusNew, LastModbusNew.begin()); break;
    case LenHttpd: std::copy(AData, AData + LenHttpd, LastHttpd.begin()); break;
    default: break;
    }
}

void TUdpSvr::searchReply(const QByteArray &data, int peerPort, int bindingIndex)
{
    const TSearchReply r = DecodeSearchReply(data);
    const int model = ModelOfReply(r.Version, peerPort);
    // Stored before the event, so that the handler finds the reply its row is made from last.
    if (SearchReplies.size() >= MaxSearchReplies)
        SearchReplies.removeFirst();
    SearchReplies.append(data);
    if (OnSearchReply)
        OnSearchReply(r.IP, r.Name, r.Mac, QString::number(r.Version), model, bindingIndex);
}

void TUdpSvr::UDPRead(const QByteArray &AData, const QString &APeerIP, int APeerPort, const QString &ALocalIP,
                      int ALocalPort, int ABindingIndex)
{
    const QByteArray data = AData; // handlers may search again and drop the socket's buffer
    // A flood of junk is summed up, not dumped datagram by datagram.
    if (UnknownSummaryMs > 0 && !IsKnownReplyLength(int(data.size())) && !passUnknown())
        return;
    // A handler may itself make datagrams arrive (a test feeding replies): keep the outer source.
    struct TScope {
        TDatagramSource &Slot;
        TDatagramSource Saved;
        ~TScope() { Slot = Saved; }
    } scope{FDispatching, FDispatching};
    FDispatching = {APeerIP, APeerPort, ALocalIP, ALocalPort, ABindingIndex, true};
    if (OnRecvData)
        OnRecvData(data, APeerIP, ALocalIP, APeerPort, ALocalPort);
    const int model = ModelOfPort(APeerPort);
    const auto *b = reinterpret_cast<const uint8_t *>(data.constData());
    const int len = int(data.size());

    switch (len) {
    case 1:
        if (OnModbusParam)
            OnModbusParam(DecodeModbusParam(b, 1), 1);
        return;
    case 2:
        if (b[0] == 0x45)
            DoStatus(StsCheckErr, QStringLiteral("%1").arg(b[1], 2, 16, QLatin1Char('0')).toUpper());
        return;
    case 4:
        if (b[0] == 0xFF && b[1] == 0x01) {
            if (b[3] == 0x45)
                DoStatus(StsOtherErr, QStringLiteral("Other Error"));
            else if (b[3] == 0x4B)
                DoStatus(StsAck, QStringLiteral("ACK"));
            else if (b[3] == 0x50)
                DoStatus(StsPswdErr, QStringLiteral("UsrName or Password Error"));
            return;
        }
        if (OnModbusParam)
            OnModbusParam(DecodeModbusParam(b, 4), 4);
        return;
    case LenSearch:
        if (IsSearchReply(data))
            searchReply(data, APeerPort, ABindingIndex);
        return;
    case 40:
        return;
    case LenCloud: {
        StoreReply(len, b);
        const TarrCloudParam cloud{DecodeCloudParam(LastCloud.data())};
        if (OnReadCloud)
            OnReadCloud(cloud, false, model);
        return;
    }
    case LenHeartReg:
        StoreReply(len, b);
        if (OnReadHeartReg)
            OnReadHeartReg(LastHeartReg.data(), false, model);
        return;
    case LenModbusPack:
        StoreReply(len, b);
        if (OnModbusPackParam)
            OnModbusPackParam(DecodeModbusPackParam(LastModbusPack.data()), LenModbusPack);
        return;
    case LenModbusNew:
        StoreReply(len, b);
        if (OnModbusNewParam)
            OnModbusNewParam(DecodeModbusNewParam(LastModbusNew.data()), LenModbusNew);
        return;
    case LenRead: {
        LastOptByte = b[3];
        LastPortOptByte = b[117];
        StoreReply(len, b);
        const TBaseParam base = DecodeBaseParam(LastRead.data());
        const TarrComParam ports{DecodePortParam(LastRead.data() + LenBase)};
        if (OnReadParam)
            OnReadParam(base, ports, false, model);
        return;
    }
    case 193:
    case 256:
        DoStatus(StsIncompatible, QStringLiteral("Read Z4/Y45"));
        return;
    case LenHttpd:
        StoreReply(len, b);
        if (OnReadHttpd) {
            const THttpdParam h = DecodeHttpdParam(LastHttpd.data());
            OnReadHttpd(h.Url, h.Header);
        }
        return;
    default:
        DoStatus(StsUnknownLen, QString::number(len));
        return;
    }
}
