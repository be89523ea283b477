#include "sim/SimLan.h"

#include "core/ProFun.h"
#include "core/Public.h"
#include "core/SafeFile.h"
#include "netconfig/Codecs.h"
#include "netconfig/ModelInfo.h"
#include "sim/Sim.h"

#include <QCoreApplication>
#include <QFile>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QUdpSocket>
#include <arpa/inet.h>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>

namespace {

uint8_t *U(QByteArray &b) { return reinterpret_cast<uint8_t *>(b.data()); }
const uint8_t *U(const QByteArray &b) { return reinterpret_cast<const uint8_t *>(b.constData()); }

QByteArray ack(uint8_t cmd, char code)
{
    QByteArray r(4, '\0');
    r[0] = char(0xFF);
    r[1] = 0x01;
    r[2] = char(cmd);
    r[3] = code;
    return r;
}

QString describe(uint8_t cmd)
{
    switch (cmd) {
    case CmdRestart: return QStringLiteral("restart");
    case CmdRead: return QStringLiteral("read");
    case CmdWriteBase: return QStringLiteral("base block");
    case CmdWritePort: return QStringLiteral("port block");
    case CmdFactory: return QStringLiteral("factory settings");
    case CmdWriteHeartReg: return QStringLiteral("heartbeat/register block");
    case CmdWriteHttpdUrl: return QStringLiteral("Httpd URL block");
    case CmdWriteHttpdHead: return QStringLiteral("Httpd header block");
    case CmdWriteModbus: return QStringLiteral("Modbus block");
    default: return QStringLiteral("command 0x%1").arg(cmd, 2, 16, QLatin1Char('0'));
    }
}

} // namespace

TSimModule TSimModule::Make(const QString &mac, const QString &ip, const QString &name, int version,
                            const QString &model, const TSimBlocks &blocks, const QString &user,
                            const QString &password)
{
    TSimModule m;
    m.Mac = RemoveSpaces(mac).toUpper();
    m.Model = model;
    m.Version = version;
    m.Has = blocks;

    // Bytes the tool does not interpret carry markers, so a test can see that a write keeps them.
    m.Base = QByteArray(LenBase, '\0');
    m.Base[0] = 0x11; m.Base[1] = 0x22; m.Base[2] = 0x33; m.Base[8] = 0x44;
    m.Base[49] = 0x55; m.Base[50] = 0x66; m.Base[51] = 0x77; m.Base[64] = char(0x88); m.Base[65] = char(0x99);
    m.Base[66] = char(0xAA);
    TBaseParam b;
    b.AddrType = 1;
    b.UpnpPort = 1901;
    b.HttpPort = 80;
    b.StaticIP = ip;
    const QStringList o = ip.split(u'.');
    b.GatewayIP = o.size() == 4 ? QStringLiteral("%1.%2.%3.1").arg(o[0], o[1], o[2]) : QStringLiteral("0.0.0.0");
    b.SubnetMask = QStringLiteral("255.255.255.0");
    b.ModName = name;
    b.UserName = user;
    b.Password = password;
    b.Options = 0x80 | 0x10; // RFC2217 and Reset
    b.UserMAC = m.Mac;
    b.Dns = b.GatewayIP;
    b.ShortConnTime = 3;
    EncodeBaseParam(b, U(m.Base), 0x02);

    m.Port = QByteArray(LenPort, '\0');
    m.Port[46] = 0x12; m.Port[47] = 0x34; m.Port[48] = 0x56; m.Port[49] = 0x78; m.Port[57] = char(0x9A);
    TPortParam p;
    p.Baudrate = 115200;
    p.DataBits = 8;
    p.Parity = 1;
    p.StopBits = 1;
    p.FlowControl = 1;
    p.LocalPort = 20108;
    p.RemotePort = 8234;
    p.RemoteIP = QStringLiteral("192.168.0.201");
    p.Rfc2217 = 1;
    p.WorkMode = 3;
    p.TcpSvrCount = 4;
    p.ResetTimeout = 0;
    p.PackLen = 0;
    p.PackTime = 0;
    p.MacHeart = false;
    EncodePortParam(p, U(m.Port), 0x01);

    m.Cloud = QByteArray(LenCloud, '\0');
    StrToBufPad(QStringLiteral("00000000000000000001"), U(m.Cloud) + 2, 20);
    StrToBufPad(QStringLiteral("12345678"), U(m.Cloud) + 22, 8);
    m.Heart = QByteArray(LenHeartReg, '\0');
    THeartRegParam h;
    h.HeartMode = 0;
    h.RegMode = 0;
    h.HeartTime = 30;
    h.HeartData = QStringLiteral("ping");
    h.RegData = QStringLiteral("reg1");
    EncodeHeartRegParam(h, U(m.Heart));
    m.Httpd = QByteArray(LenHttpd, '\0');
    EncodeHttpdUrl(QStringLiteral("/report.php?id="), U(m.Httpd));
    EncodeHttpdHeader(QStringLiteral("Accept: text/html"), U(m.Httpd));
    m.Modbus = QByteArray(blocks.Modbus == 1 ? 1 : 4, '\0');
    m.Modbus[0] = 0;
    if (m.Modbus.size() == 4) {
        m.Modbus[2] = 0x01;
        m.Modbus[3] = char(0xF4); // 500 ms wait
    }
    m.ModbusPack = QByteArray(LenModbusPack, '\0');
    m.ModbusPack[2] = 0x03; m.ModbusPack[3] = char(0xE8); // timeout 1000
    m.ModbusPack[4] = 0x00; m.ModbusPack[5] = 0x64;       // interval 100
    m.ModbusPack[86] = 0x5A;
    m.ModbusNew = QByteArray(LenModbusNew, '\0');
    m.ModbusNew[2] = 0x01; m.ModbusNew[3] = char(0xF4);
    m.ModbusNew[4] = 0x00; m.ModbusNew[5] = 0x32;
    m.ModbusNew[99] = char(0xA5);
    m.FactoryImage = m.Image();
    m.Login = m.Base.mid(37, 12);
    m.AnswerIP = ip;
    return m;
}

QByteArray TSimModule::Image() const { return Base + Port + Cloud + Heart + Httpd + Modbus + ModbusPack + ModbusNew; }

void TSimModule::Restore(const QByteArray &image)
{
    int at = 0;
    for (QByteArray *b : {&Base, &Port, &Cloud, &Heart, &Httpd, &Modbus, &ModbusPack, &ModbusNew}) {
        *b = image.mid(at, b->size());
        at += int(b->size());
    }
}

QByteArray TSimModule::SearchReply() const
{
    QByteArray r(LenSearch, '\0');
    uint8_t *b = U(r);
    b[0] = 0xFF;
    b[1] = 0x24;
    b[2] = 0x01;
    const uint8_t *base = U(Base);
    for (int i = 0; i < 4; ++i)
        b[5 + i] = base[12 - i]; // the base block keeps the address last octet first
    MacToBytes(Mac, b + 9);
    b[15] = uint8_t(Version & 0xFF);
    b[16] = uint8_t((Version >> 8) & 0xFF);
    std::copy(base + 21, base + 21 + 14, b + 19);
    return r;
}

QList<QByteArray> SimHandleFrame(TSimModule &m, const QByteArray &frame, bool onQ3Port,
                                 const std::function<void(const QString &)> &note, qint64 nowMs)
{
    const int size = int(frame.size());
    const uint8_t *f = U(frame);
    if (nowMs < m.DownUntilMs)
        return {}; // restarting: deaf to everything
    if (size == 4 && f[0] == 0xFF && f[1] == 0x01 && f[2] == CmdSearch) {
        if (m.DropSearches > 0) {
            --m.DropSearches;
            note(QStringLiteral("%1: search dropped").arg(m.Mac));
            return {};
        }
        return {m.SearchReply()};
    }
    if (size < 22 || f[0] != 0xFF)
        return {};
    const int n = size - 22;
    uint8_t mac[6];
    MacToBytes(m.Mac, mac);
    if (!std::equal(mac, mac + 6, f + 3))
        return {};
    const uint8_t cmd = f[2];
    // Q3 takes reads and factory resets on its own port, restarts on the Q2 port.
    const bool q3 = m.Model == QLatin1String("q3");
    if (q3 && onQ3Port != (cmd != CmdRestart))
        return {};
    if (!q3 && onQ3Port)
        return {};
    if (m.SilentAfter == 0) {
        note(QStringLiteral("%1: silent, %2 not answered").arg(m.Mac, describe(cmd)));
        return {};
    }
    if (m.SilentAfter > 0)
        --m.SilentAfter;

    const uint8_t expected = Sum8(f + 1, 20 + n);
    if (f[1] != uint8_t((19 + n) & 0xFF) || f[21 + n] != expected) {
        note(QStringLiteral("%1: checksum error in %2, expected %3")
                 .arg(m.Mac, describe(cmd))
                 .arg(expected, 2, 16, QLatin1Char('0')));
        return {QByteArray("\x45", 1) + char(expected)};
    }
    if (!std::equal(m.Login.begin(), m.Login.end(), f + 9)) {
        note(QStringLiteral("%1: wrong user name or password for %2").arg(m.Mac, describe(cmd)));
        return {ack(cmd, 'P')};
    }

    const QByteArray payload = frame.mid(21, n);
    const auto accept = [&](QByteArray &block, int at, bool has) -> QList<QByteArray> {
        if (!has || at + n > block.size()) {
            note(QStringLiteral("%1: refused %2 of %3 bytes").arg(m.Mac, describe(cmd)).arg(n));
            return {ack(cmd, 'E')};
        }
        const QByteArray was = block.mid(at, n);
        if (m.IgnoreWrites) {
            note(QStringLiteral("%1: ignored %2 (acknowledged)").arg(m.Mac, describe(cmd)));
            return {ack(cmd, 'K')};
        }
        block.replace(at, n, payload);
        note(QStringLiteral("%1: wrote %2: %3 was: %4")
                 .arg(m.Mac, describe(cmd), BytesToHexSpaced(payload).trimmed(), BytesToHexSpaced(was).trimmed()));
        return {ack(cmd, 'K')};
    };

    const bool q2 = m.Model == QLatin1String("q2");
    if (m.RefuseWrites && cmd != CmdRead) {
        note(QStringLiteral("%1: refused %2 ('%3')").arg(m.Mac, describe(cmd)).arg(QChar(m.RefuseWrites)));
        if (m.RefuseWrites == 'C')
            return {QByteArray("\x45", 1) + char(expected)};
        return {ack(cmd, m.RefuseWrites)};
    }
    switch (cmd) {
    case CmdRead: {
        note(QStringLiteral("%1: read").arg(m.Mac));
        QList<QByteArray> out{m.Base + m.Port};
        if (q2) {
            if (m.Has.Cloud) out << m.Cloud;
            if (m.Has.Heart) out << m.Heart;
            if (m.Has.Httpd) out << m.Httpd;
            if (m.Has.Modbus) out << m.Modbus;
            if (m.Has.ModbusPack) out << m.ModbusPack;
            if (m.Has.ModbusNew) out << m.ModbusNew;
        }
        return out;
    }
    case CmdRestart:
        m.Login = m.Base.mid(37, 12);
        m.AnswerIP = BytesToIPRev(U(m.Base) + 9);
        m.DownUntilMs = nowMs + m.RestartDelayMs;
        note(QStringLiteral("%1: restarting").arg(m.Mac));
        return {ack(cmd, 'K')};
    case CmdFactory:
        m.Restore(m.FactoryImage);
        m.Login = m.Base.mid(37, 12);
        m.AnswerIP = BytesToIPRev(U(m.Base) + 9);
        m.DownUntilMs = nowMs + m.RestartDelayMs;
        note(QStringLiteral("%1: factory settings restored").arg(m.Mac));
        return {ack(cmd, 'K')};
    case CmdWriteBase:
        if (n != LenBase) break;
        return accept(m.Base, 0, q2);
    case CmdWritePort:
        if (n != LenPort) break;
        return accept(m.Port, 0, q2);
    case CmdWriteHeartReg:
        if (n != LenHeartReg) break;
        return accept(m.Heart, 0, q2 && m.Has.Heart);
    case CmdWriteHttpdUrl:
        if (n != LenHttpdUrl) break;
        return accept(m.Httpd, 0, q2 && m.Has.Httpd);
    case CmdWriteHttpdHead:
        if (n != LenHttpdHead) break;
        return accept(m.Httpd, LenHttpdUrl, q2 && m.Has.Httpd);
    case CmdWriteModbus:
        if (n == 1 || n == 4)
            return accept(m.Modbus, 0, q2 && m.Has.Modbus == n);
        if (n == LenModbusPack)
            return accept(m.ModbusPack, 0, q2 && m.Has.ModbusPack);
        if (n == LenModbusNew)
            return accept(m.ModbusNew, 0, q2 && m.Has.ModbusNew);
        break;
    default: break;
    }
    note(QStringLiteral("%1: refused %2 of %3 bytes").arg(m.Mac, describe(cmd)).arg(n));
    return {ack(cmd, 'E')};
}

bool TSimLan::Start(QString &error)
{
    const QHostAddress addr(BindAddress);
    if (addr.isNull()) {
        error = QStringLiteral("not an address: %1").arg(BindAddress);
        return false;
    }
    FQ2 = new QUdpSocket(this);
    FQ3 = new QUdpSocket(this);
    for (auto [s, port] : {std::pair{FQ2, PortQ2}, std::pair{FQ3, PortQ3}}) {
        if (!s->bind(addr, quint16(port), QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)) {
            error = QStringLiteral("cannot bind %1:%2: %3").arg(BindAddress).arg(port).arg(s->errorString());
            return false;
        }
    }
    for (int i = 0; i < Modules.size(); ++i) {
        uint8_t mac[6];
        MacToBytes(Modules[i].Mac, mac);
        FByMac[QByteArray(reinterpret_cast<const char *>(mac), 6)].append(i);
    }
    connect(FQ2, &QUdpSocket::readyRead, this, [this] { onReadyRead(FQ2, false); });
    connect(FQ3, &QUdpSocket::readyRead, this, [this] { onReadyRead(FQ3, true); });
    FClock.start();
    writeState();
    return true;
}

QList<int> SimSearchTargets(const QList<TSimModule> &modules, const QString &destination, bool broadcast)
{
    QList<int> out;
    for (int i = 0; i < modules.size(); ++i)
        if (modules[i].AnswerIP == destination)
            out << i;
    if (out.isEmpty() && broadcast)
        for (int i = 0; i < modules.size(); ++i)
            out << i;
    return out;
}

bool TSimLan::isBroadcast(const QHostAddress &destination)
{
    // Without the datagram's destination, or bound to one address (the tests aim their
    // "broadcast" there), every search is for everyone.
    const QHostAddress bound(BindAddress);
    if (destination.isNull() || destination == QHostAddress(QHostAddress::Broadcast) ||
        (bound != QHostAddress(QHostAddress::AnyIPv4) && bound != QHostAddress(QHostAddress::Any)))
        return true;
    const QString to = QHostAddress(destination.toIPv4Address()).toString();
    if (FBroadcasts.contains(to))
        return true;
    // Interfaces may have gained addresses since the start.
    FBroadcasts.clear();
    for (const QNetworkInterface &i : QNetworkInterface::allInterfaces())
        for (const QNetworkAddressEntry &e : i.addressEntries())
            if (!e.broadcast().isNull())
                FBroadcasts.insert(QHostAddress(e.broadcast().toIPv4Address()).toString());
    return FBroadcasts.contains(to);
}

QByteArray SimStateText(const QList<TSimModule> &modules)
{
    QByteArray out;
    for (const TSimModule &m : modules) {
        out += m.Mac.toLatin1();
        const std::pair<const char *, const QByteArray *> blocks[] = {
            {"base", &m.Base},     {"port", &m.Port},         {"cloud", &m.Cloud},
            {"heart", &m.Heart},   {"httpd", &m.Httpd},       {"modbus", &m.Modbus},
            {"modbuspack", &m.ModbusPack}, {"modbusnew", &m.ModbusNew}};
        for (const auto &[name, b] : blocks)
            out += ' ' + QByteArray(name) + '=' + b->toHex().toUpper();
        out += '\n';
    }
    return out;
}

void TSimLan::writeState()
{
    if (StatePath.isEmpty())
        return;
    // Whole or not at all; a state that could not be written is said, not silently kept old.
    QString error;
    if (!SafeWriteFile(StatePath, SimStateText(Modules), error))
        SimOut(QStringLiteral("sim: cannot write the state to %1: %2").arg(StatePath, error));
}

bool SimSendFrom(int socket, const QByteArray &data, const QString &fromIP, const QHostAddress &to, quint16 port)
{
    in_addr from{};
    if (socket < 0 || inet_pton(AF_INET, fromIP.toLatin1().constData(), &from) != 1)
        return false;
    sockaddr_in dest{};
    dest.sin_family = AF_INET;
    dest.sin_port = htons(port);
    dest.sin_addr.s_addr = htonl(to.toIPv4Address());
    iovec iov{const_cast<char *>(data.constData()), size_t(data.size())};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    msghdr msg{};
    msg.msg_name = &dest;
    msg.msg_namelen = sizeof dest;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    cmsghdr *c = CMSG_FIRSTHDR(&msg);
    c->cmsg_level = IPPROTO_IP;
    c->cmsg_type = IP_PKTINFO;
    c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info{};
    info.ipi_spec_dst = from; // the source address of the datagram
    std::memcpy(CMSG_DATA(c), &info, sizeof info);
    return sendmsg(socket, &msg, 0) == data.size();
}

void TSimLan::send(QUdpSocket *s, const QByteArray &reply, const QString &fromIP, const QHostAddress &to,
                   quint16 port)
{
    // A module whose IP this machine does not have answers from the socket's own address.
    if (!FNotLocal.contains(fromIP)) {
        if (SimSendFrom(int(s->socketDescriptor()), reply, fromIP, to, port))
            return;
        FNotLocal.insert(fromIP);
    }
    s->writeDatagram(reply, to, port);
}

void TSimLan::onReadyRead(QUdpSocket *s, bool q3)
{
    while (s->hasPendingDatagrams()) {
        const QNetworkDatagram d = s->receiveDatagram();
        if (!d.isValid())
            break;
        const QByteArray data = d.data();
        const QHostAddress sender(d.senderAddress().toIPv4Address());
        const QString from = QStringLiteral("%1:%2").arg(sender.toString()).arg(d.senderPort());
        if (!Quiet)
            SimOut(QStringLiteral("sim: %1 -> :%2 %3 bytes%4")
                       .arg(from)
                       .arg(q3 ? PortQ3 : PortQ2)
                       .arg(data.size())
                       .arg(Verbose ? QStringLiteral(": ") + BytesToHexSpaced(data).trimmed() : QString()));
        const auto note = [this](const QString &line) {
            if (!Quiet)
                SimOut(QStringLiteral("sim: ") + line);
        };
        // A broadcast search is for every module, one sent to an address for the modules of that
        // IP; a command frame only for the modules of its MAC.
        QList<int> targets;
        if (data.size() == 4 && uint8_t(data[0]) == 0xFF && data[1] == 0x01 && data[2] == char(CmdSearch)) {
            const QHostAddress to = d.destinationAddress();
            targets = SimSearchTargets(Modules, QHostAddress(to.toIPv4Address()).toString(), isBroadcast(to));
        } else if (data.size() >= 22 && uint8_t(data[0]) == 0xFF) {
            targets = FByMac.value(data.mid(3, 6));
        }
        bool changed = false;
        for (int i : targets) {
            TSimModule &m = Modules[i];
            const QByteArray before = StatePath.isEmpty() ? QByteArray() : m.Image();
            const QString answerIP = m.AnswerIP; // a restart takes a new one for the next frames
            const QList<QByteArray> replies = SimHandleFrame(m, data, q3, note, FClock.elapsed());
            QUdpSocket *out = m.ReplyPort(PortQ2, PortQ3) == PortQ3 ? FQ3 : FQ2;
            for (const QByteArray &r : replies)
                send(out, r, answerIP, sender, d.senderPort());
            changed = changed || (!StatePath.isEmpty() && !replies.isEmpty() && m.Image() != before);
        }
        if (changed)
            writeState();
    }
}


QStringList SimConfigLines(const QByteArray &file)
{
    QStringList out;
    for (QString line : QString::fromUtf8(file).split(u'\n')) {
        line = line.section(u'#', 0, 0).trimmed();
        if (!line.isEmpty())
            out << line;
    }
    return out;
}

static TSimBlocks defaultBlocks(int version)
{
    TSimBlocks b;
    if (version >= FirmwareHeartHttpd) {
        b.Cloud = b.Heart = b.Httpd = b.ModbusPack = b.ModbusNew = true;
        b.Modbus = 4;
    }
    return b;
}

static int boundedNumber(const QString &key, const QString &value, int max)
{
    bool ok = false;
    const int n = value.toInt(&ok);
    if (!ok || n < 0 || n > max)
        throw TSimUsageError{QStringLiteral("%1 takes a number from 0 to %2: %3").arg(key).arg(max).arg(value)};
    return n;
}

TSimModule SimParseModule(const QString &options, int index, const QString &user, const QString &password)
{
    QString mac = QStringLiteral("02BE%1").arg(index + 1, 8, 16, QLatin1Char('0')).toUpper();
    QString ip = QStringLiteral("192.168.0.%1").arg(7 + index);
    QString name = QStringLiteral("Bexo-Q2-%1").arg(index + 1);
    QString model = QStringLiteral("q2");
    QString u = user, pw = password;
    int version = 4017;
    QString blocks;
    bool haveBlocks = false;
    bool ignoreWrites = false;
    int restartDelay = 0, dropSearches = 0, silentAfter = -1;
    char refuse = 0;
    for (const QString &part : options.split(u',', Qt::SkipEmptyParts)) {
        const int eq = int(part.indexOf(u'='));
        if (eq < 0)
            throw TSimUsageError{QStringLiteral("module option without '=': %1").arg(part)};
        const QString k = part.left(eq).trimmed(), v = part.mid(eq + 1).trimmed();
        if (k == QLatin1String("mac")) mac = v;
        else if (k == QLatin1String("ip")) ip = v;
        else if (k == QLatin1String("name")) name = v;
        else if (k == QLatin1String("model")) model = v.toLower();
        else if (k == QLatin1String("user")) u = v;
        else if (k == QLatin1String("ignore-writes")) {
            if (v != QLatin1String("0") && v != QLatin1String("1"))
                throw TSimUsageError{QStringLiteral("ignore-writes takes 0 or 1: %1").arg(v)};
            ignoreWrites = v == QLatin1String("1");
        } else if (k == QLatin1String("restart-delay")) restartDelay = boundedNumber(k, v, 600000);
        else if (k == QLatin1String("drop-searches")) dropSearches = boundedNumber(k, v, 1000);
        else if (k == QLatin1String("silent-after")) silentAfter = boundedNumber(k, v, 100000);
        else if (k == QLatin1String("refuse")) {
            if (v != QLatin1String("P") && v != QLatin1String("E") && v != QLatin1String("C"))
                throw TSimUsageError{QStringLiteral("refuse takes P, E or C: %1").arg(v)};
            refuse = v[0].toLatin1();
        }
        else if (k == QLatin1String("password")) pw = v;
        else if (k == QLatin1String("version")) {
            bool ok = false;
            version = v.toInt(&ok);
            if (!ok || version < 0 || version > 65535)
                throw TSimUsageError{QStringLiteral("bad version: %1").arg(v)};
        } else if (k == QLatin1String("blocks")) {
            blocks = v;
            haveBlocks = true;
        } else
            throw TSimUsageError{QStringLiteral("unknown module option: %1").arg(k)};
    }
    if (model != QLatin1String("q2") && model != QLatin1String("q3"))
        throw TSimUsageError{QStringLiteral("model must be q2 or q3: %1").arg(model)};
    uint8_t probe[6];
    try {
        MacToBytes(mac, probe);
        IPToBytesRev(ip, probe);
    } catch (const EConvertError &e) {
        throw TSimUsageError{e.Message()};
    }
    TSimBlocks b = model == QLatin1String("q2") ? defaultBlocks(version) : TSimBlocks{};
    if (haveBlocks) {
        b = {};
        for (const QString &x : blocks.split(u'+', Qt::SkipEmptyParts)) {
            if (x == QLatin1String("cloud")) b.Cloud = true;
            else if (x == QLatin1String("heart")) b.Heart = true;
            else if (x == QLatin1String("httpd")) b.Httpd = true;
            else if (x == QLatin1String("mb1")) b.Modbus = 1;
            else if (x == QLatin1String("mb4")) b.Modbus = 4;
            else if (x == QLatin1String("mbpack")) b.ModbusPack = true;
            else if (x == QLatin1String("mbnew")) b.ModbusNew = true;
            else if (x != QLatin1String("none"))
                throw TSimUsageError{QStringLiteral("unknown block: %1").arg(x)};
        }
    }
    TSimModule m = TSimModule::Make(mac, ip, name, version, model, b, u, pw);
    m.IgnoreWrites = ignoreWrites;
    m.RestartDelayMs = restartDelay;
    m.DropSearches = dropSearches;
    m.SilentAfter = silentAfter;
    m.RefuseWrites = refuse;
    return m;
}

namespace {

QString lanHelp()
{
    return QStringLiteral(
        "Simulated modules on the LAN. Q2 modules answer from port 1500; Q3 modules hear the search on 1500\n"
        "and answer from 1901; a module with a version below 2002 stays unknown to the tool.\n"
        "  --module OPTIONS    add a module; OPTIONS are key=value pairs joined by ',':\n"
        "                      mac=001A2B3C4D5E ip=192.168.0.7 name=TEXT version=4017 model=q2|q3\n"
        "                      user=NAME password=PW (its login, default tovak)\n"
        "                      blocks=cloud+heart+httpd+mb1|mb4+mbpack+mbnew|none (Q2 optional blocks;\n"
        "                      default: all of them from version 4017 on, none before)\n"
        "                      restart-delay=MS (silent for MS after a restart or reset, default 0)\n"
        "                      ignore-writes=1 (acknowledge every block but keep the old settings)\n"
        "                      drop-searches=N (ignore the first N searches)\n"
        "                      silent-after=N (take N frames for it, then answer nothing more)\n"
        "                      refuse=P|E|C (this module only, as --refuse-writes)\n"
        "                      Two modules may share one ip= (an address conflict).\n"
        "  --config FILE       one module's OPTIONS per line ('#' starts a comment)\n"
        "  --count N           add N generated Q2 modules (MACs 02BE00000001...)\n"
        "  --first-ip IP       the generated modules' IPs count up from IP (default: 10.0.0.0 on, by\n"
        "                      their number)\n"
        "  A module whose IP is an address of this machine answers from it (127/8, or addresses added\n"
        "  to an interface); any other module answers from the address the reply is sent from.\n"
        "  Every module answers a broadcast search; a search sent to an address only the modules of\n"
        "  that IP answer (a search by address, as behind a router). Bound to one address (--bind),\n"
        "  every search that reaches it is taken as a broadcast.\n"
        "  --bind ADDR         address to listen on (default 0.0.0.0, all addresses)\n"
        "  --port-q2 P, --port-q3 P   listening ports (default 1500, 1901)\n"
        "  --refuse-writes P|E|C  answer every write, restart and reset with a password error (P),\n"
        "                      another error (E) or a checksum error naming the frame's sum (C)\n"
        "  --state FILE        keep every module's blocks in FILE, one line per module:\n"
        "                      MAC base=HEX port=HEX ... (rewritten whenever a block changes)\n"
        "  --quiet             do not print the frames received\n"
        "  --verbose           print the bytes of every frame received");
}

int lanRun(const QStringList &args)
{
    TSimLan sim;
    QStringList modules;
    int count = 0;
    quint32 firstIP = 0;
    char refuse = 0;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        const auto value = [&] { return SimOptionValue(args, i); };
        if (a == QLatin1String("--module")) modules << value();
        else if (a == QLatin1String("--config")) {
            const QString path = value();
            QFile f(path);
            if (!f.open(QIODevice::ReadOnly))
                throw TSimUsageError{QStringLiteral("cannot read %1").arg(path)};
            modules << SimConfigLines(f.readAll());
        } else if (a == QLatin1String("--count")) {
            bool ok = false;
            count = value().toInt(&ok);
            if (!ok || count < 0 || count > 100000)
                throw TSimUsageError{QStringLiteral("--count needs a number up to 100000")};
        } else if (a == QLatin1String("--bind")) sim.BindAddress = value();
        else if (a == QLatin1String("--port-q2")) sim.PortQ2 = value().toInt();
        else if (a == QLatin1String("--port-q3")) sim.PortQ3 = value().toInt();
        else if (a == QLatin1String("--quiet")) sim.Quiet = true;
        else if (a == QLatin1String("--refuse-writes")) {
            const QString v = value();
            if (v != QLatin1String("P") && v != QLatin1String("E") && v != QLatin1String("C"))
                throw TSimUsageError{QStringLiteral("--refuse-writes takes P, E or C")};
            refuse = v[0].toLatin1();
        }
        else if (a == QLatin1String("--first-ip")) {
            const QString v = value();
            uint8_t probe[4];
            try {
                IPToBytesRev(v, probe);
            } catch (const EConvertError &) {
                throw TSimUsageError{QStringLiteral("--first-ip needs an IPv4 address: %1").arg(v)};
            }
            firstIP = QHostAddress(v).toIPv4Address();
        }
        else if (a == QLatin1String("--verbose")) sim.Verbose = true;
        else if (a == QLatin1String("--state")) sim.StatePath = value();
        else
            throw TSimUsageError{QStringLiteral("unknown option %1").arg(a)};
    }
    const QString user = QString::fromLatin1(DefaultLogin);
    for (int i = 0; i < modules.size(); ++i)
        sim.Modules << SimParseModule(modules[i], i, user, user);
    for (int i = 0; i < count; ++i) {
        const int k = int(modules.size()) + i;
        const QString ip = firstIP ? QHostAddress(firstIP + quint32(i)).toString()
                                   : QStringLiteral("10.%1.%2.%3").arg((k >> 16) & 255).arg((k >> 8) & 255).arg(k & 255);
        sim.Modules << SimParseModule(QStringLiteral("ip=") + ip, k, user, user);
    }
    if (sim.Modules.isEmpty())
        sim.Modules << SimParseModule(QString(), 0, user, user);
    for (TSimModule &m : sim.Modules)
        if (refuse)
            m.RefuseWrites = refuse;
    QString error;
    if (!sim.Start(error)) {
        SimErr(QStringLiteral("bexo-z0-sim lan: ") + error);
        return 1;
    }
    SimOut(QStringLiteral("sim: %1 module(s) listening on %2 ports %3 and %4")
               .arg(sim.Modules.size())
               .arg(sim.BindAddress)
               .arg(sim.PortQ2)
               .arg(sim.PortQ3));
    for (const TSimModule &m : sim.Modules)
        if (!sim.Quiet || sim.Modules.size() <= 20)
            SimOut(QStringLiteral("sim: module %1 %2 version %3 ip %4")
                       .arg(m.Mac, m.Model)
                       .arg(m.Version)
                       .arg(BytesToIPRev(reinterpret_cast<const uint8_t *>(m.Base.constData()) + 9)));
    const int rc = QCoreApplication::exec();
    SimOut(QStringLiteral("sim: stopped"));
    return rc;
}

TSimRegistrar lanReg({QStringLiteral("lan"), QStringLiteral("simulated Q2/Q3 modules on the LAN"), lanHelp, lanRun});

} // namespace
