#include "sim/SimBootLoader.h"

#include "core/ProFun.h"
#include "core/SafeFile.h"
#include "sim/Sim.h"

#include <QCoreApplication>
#include <QFile>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QRandomGenerator>
#include <QUdpSocket>
#include <memory>
#include <vector>

// The frames are written out here by hand rather than taken from the upgrade code, so that the
// simulator stays an independent peer of what it tests.

namespace {

const QByteArray DefaultHwId = QByteArray::fromHex("51320001");
constexpr int BootpLen = 300;
constexpr int BlockSize = 512;

uint8_t at(const QByteArray &b, int i) { return static_cast<uint8_t>(b[i]); }

QString hexOf(const QByteArray &b) { return QString::fromLatin1(b.toHex(' ').toUpper()); }

QString addressAt(const QByteArray &b, int offset)
{
    return QStringLiteral("%1.%2.%3.%4").arg(at(b, offset)).arg(at(b, offset + 1)).arg(at(b, offset + 2)).arg(at(b, offset + 3));
}

} // namespace

TSimBootLoader::TSimBootLoader(const TBootLoaderOptions &options, QObject *parent) : QObject(parent), O(options)
{
    FRetry.setSingleShot(false);
    connect(&FRetry, &QTimer::timeout, this, [this] {
        if (FRetriesLeft-- <= 0) {
            FRetry.stop();
            out(QStringLiteral("no answer, waiting for the next trigger"));
            FPhase = Phase::Waiting;
            return;
        }
        if (FPhase == Phase::Bootp)
            sendBootpRequest();
        else if (FPhase == Phase::Reading && FBlocks == 0)
            sendReadRequest();
        else
            FRetry.stop();
    });
}

void TSimBootLoader::out(const QString &text) const { SimOut(Prefix + QStringLiteral(": ") + text); }

QByteArray TSimBootLoader::announcedId() const
{
    QByteArray id = O.HwId;
    if (O.WrongId)
        for (char &c : id)
            c = char(~c);
    return id;
}

bool TSimBootLoader::Start(QString &error)
{
    if (O.HwId.isEmpty()) {
        O.HwId = DefaultHwId;
        if (!O.Expect.isEmpty()) {
            QFile f(O.Expect);
            if (!f.open(QIODevice::ReadOnly)) {
                error = QStringLiteral("cannot open %1: %2").arg(O.Expect, f.errorString());
                return false;
            }
            const QByteArray id = f.read(4);
            if (id.size() == 4)
                O.HwId = id;
        }
    }
    const QHostAddress self(O.Ip);
    if (self.isNull() || self.protocol() != QAbstractSocket::IPv4Protocol) {
        error = QStringLiteral("'%1' is not an IPv4 address").arg(O.Ip);
        return false;
    }
    // Broadcasts reach only sockets bound to the broadcast address (or to any); the unicast ones
    // carry what this "module" sends, from its own address.
    const auto bind = [&](QUdpSocket *&s, const QHostAddress &a, uint16_t port) {
        s = new QUdpSocket(this);
        if (!s->bind(a, port, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)) {
            error = QStringLiteral("cannot bind %1 port %2: %3").arg(a.toString()).arg(port).arg(s->errorString());
            return false;
        }
        return true;
    };
    if (!bind(FTrigger, QHostAddress(QHostAddress::Broadcast), O.TriggerPort) ||
        !bind(FBootpRecv, QHostAddress(QHostAddress::Broadcast), O.BootpClientPort) ||
        !bind(FBootpSend, self, O.BootpClientPort) || !bind(FData, self, O.DataPort))
        return false;

    const auto drain = [](QUdpSocket *s, auto handle) {
        while (s->hasPendingDatagrams()) {
            const QNetworkDatagram d = s->receiveDatagram();
            if (!d.isValid())
                break;
            handle(d);
        }
    };
    connect(FTrigger, &QUdpSocket::readyRead, this,
            [=, this] { drain(FTrigger, [this](const QNetworkDatagram &d) { onTrigger(d.data()); }); });
    connect(FBootpRecv, &QUdpSocket::readyRead, this,
            [=, this] { drain(FBootpRecv, [this](const QNetworkDatagram &d) { onBootpReply(d.data()); }); });
    connect(FBootpSend, &QUdpSocket::readyRead, this, [=, this] { drain(FBootpSend, [](const QNetworkDatagram &) {}); });
    connect(FData, &QUdpSocket::readyRead, this, [=, this] {
        drain(FData, [this](const QNetworkDatagram &d) {
            bool ok = false;
            const QHostAddress from(d.senderAddress().toIPv4Address(&ok));
            onData(d.data(), ok ? from.toString() : d.senderAddress().toString(), uint16_t(d.senderPort()));
        });
    });

    out(QStringLiteral("%1, MAC %2%6, identifier %3%4; waiting for the trigger on port %5")
               .arg(O.Ip, hexOf(O.Mac), hexOf(announcedId()), O.WrongId ? QStringLiteral(" (wrong)") : QString())
               .arg(O.TriggerPort)
               .arg(O.BootpMac.isEmpty() ? QString() : QStringLiteral(" (reports %1)").arg(hexOf(O.BootpMac))));
    return true;
}

void TSimBootLoader::onTrigger(const QByteArray &t)
{
    if (t.size() != 30 || t.left(6) != QByteArray(6, char(0xAA)))
        return;
    for (int copy = 0; copy < 4; ++copy)
        if (t.mid(6 + 6 * copy, 6) != O.Mac)
            return; // another module's trigger
    if (O.Silent) {
        out(QStringLiteral("trigger heard; silent, not answering"));
        return;
    }
    out(QStringLiteral("trigger heard"));
    FPhase = Phase::Bootp;
    FXid = QByteArray(4, '\0');
    const quint32 x = QRandomGenerator::global()->generate();
    for (int i = 0; i < 4; ++i)
        FXid[i] = char((x >> (8 * i)) & 0xFF);
    FImage.clear();
    FBlocks = 0;
    FFinalDropped = false;
    FStoppedSaid = false;
    FRetriesLeft = 8;
    sendBootpRequest();
    FRetry.start(O.RetryMs);
}

void TSimBootLoader::sendBootpRequest()
{
    QByteArray r(BootpLen, '\0');
    r[0] = 1; // request
    r[1] = 1; // Ethernet
    r[2] = 6;
    r[3] = 0;
    r.replace(4, 4, FXid);
    r[26] = char(O.Flag26);
    r.replace(28, 6, O.BootpMac.isEmpty() ? O.Mac : O.BootpMac);
    r.replace(44, 4, announcedId());
    r.replace(236, 4, QByteArray::fromHex("63825363")); // vendor magic cookie, then the end option
    r[240] = char(0xFF);
    FBootpSend->writeDatagram(r, QHostAddress(QHostAddress::Broadcast), O.BootpServerPort);
    out(QStringLiteral("BOOTP request sent (identifier %1)").arg(hexOf(announcedId())));
}

void TSimBootLoader::onBootpReply(const QByteArray &r)
{
    if (FPhase != Phase::Bootp || r.size() != BootpLen || at(r, 0) != 2 || r.mid(4, 4) != FXid ||
        r.mid(28, 6) != (O.BootpMac.isEmpty() ? O.Mac : O.BootpMac))
        return;
    FServer = addressAt(r, 20);
    const QByteArray file = r.mid(108, 128);
    const QByteArray name = file.left(file.indexOf('\0') < 0 ? file.size() : file.indexOf('\0'));
    out(QStringLiteral("BOOTP reply: address %1, server %2, file %3")
               .arg(addressAt(r, 16), FServer, QString::fromLatin1(name)));
    if (addressAt(r, 16) != O.Ip)
        out(QStringLiteral("warning: given address %1 is not mine (%2)").arg(addressAt(r, 16), O.Ip));
    if (name != "firmware.bin")
        out(QStringLiteral("warning: unexpected file name"));
    FPhase = Phase::Reading;
    FRetriesLeft = 8;
    FClock.start();
    sendReadRequest();
    FRetry.start(O.RetryMs);
}

void TSimBootLoader::sendReadRequest()
{
    QByteArray q("\x00\x01", 2);
    q += "firmware.bin";
    q += '\0';
    q += "octet";
    q += '\0';
    FData->writeDatagram(q, QHostAddress(FServer), O.TftpPort);
    out(QStringLiteral("read request sent to %1 port %2").arg(FServer).arg(O.TftpPort));
}

void TSimBootLoader::onData(const QByteArray &d, const QString &host, uint16_t port)
{
    if ((FPhase != Phase::Reading && FPhase != Phase::Done) || d.size() < 4 || at(d, 0) != 0 || at(d, 1) != 3)
        return;
    const int number = (at(d, 2) << 8) | at(d, 3);
    const QByteArray payload = d.mid(4);
    const bool final = payload.size() < BlockSize;
    if (d.size() > 4 + BlockSize) {
        out(QStringLiteral("oversized data block %1 (%2 bytes) ignored").arg(number).arg(d.size()));
        return;
    }
    if (FPhase == Phase::Reading && number == ((FBlocks + 1) & 0xFFFF)) {
        FRetry.stop();
        FImage += payload;
        ++FBlocks;
        sendAck(number, final, host, port);
        if (final)
            finish();
    } else if (FBlocks > 0 && number == (FBlocks & 0xFFFF)) {
        sendAck(number, final, host, port); // a repeat: our acknowledgement was lost or late
    } else if (FPhase == Phase::Reading && number == 1) {
        out(QStringLiteral("transfer started over at block 1"));
        FImage = payload;
        FBlocks = 1;
        sendAck(number, final, host, port);
        if (final)
            finish();
    }
}

void TSimBootLoader::sendAck(int block, bool final, const QString &host, uint16_t port)
{
    if (FAcksDropped < O.DropAcks) {
        ++FAcksDropped;
        out(QStringLiteral("acknowledgement of block %1 dropped (%2 of %3)")
                   .arg(block)
                   .arg(FAcksDropped)
                   .arg(O.DropAcks));
        return;
    }
    if (O.StopAfter >= 0 && FBlocks > O.StopAfter) {
        if (!FStoppedSaid)
            out(QStringLiteral("stopped acknowledging after block %1").arg(O.StopAfter));
        FStoppedSaid = true;
        return;
    }
    if (final && O.DropFinal && !FFinalDropped) {
        FFinalDropped = true;
        out(QStringLiteral("acknowledgement of the final block %1 dropped").arg(block));
        return;
    }
    QByteArray a(4, '\0');
    a[1] = 4;
    a[2] = char((block >> 8) & 0xFF);
    a[3] = char(block & 0xFF);
    if (O.DelayMs > 0)
        QTimer::singleShot(O.DelayMs, this, [this, a, host, port] { FData->writeDatagram(a, QHostAddress(host), port); });
    else
        FData->writeDatagram(a, QHostAddress(host), port);
}

void TSimBootLoader::finish()
{
    const double us = FClock.nsecsElapsed() / 1000.0;
    FPhase = Phase::Done;
    out(QStringLiteral("image complete: %1 blocks, %2 bytes in %3 ms (%4 us per block)")
               .arg(FBlocks)
               .arg(FImage.size())
               .arg(us / 1000.0, 0, 'f', 1)
               .arg(us / std::max(1, FBlocks), 0, 'f', 1));
    FVerdict = 0;
    if (!O.Save.isEmpty()) {
        QString error;
        if (!SafeWriteFile(O.Save, FImage, error)) {
            out(QStringLiteral("cannot save the image to %1: %2").arg(O.Save, error));
            FVerdict = 1;
        }
    }
    if (!O.Expect.isEmpty()) {
        QFile f(O.Expect);
        QByteArray expected;
        if (f.open(QIODevice::ReadOnly))
            expected = f.readAll().mid(4);
        if (expected == FImage) {
            out(QStringLiteral("image matches %1").arg(O.Expect));
        } else {
            qsizetype i = 0;
            while (i < expected.size() && i < FImage.size() && expected[i] == FImage[i])
                ++i;
            out(QStringLiteral("image differs from %1: %2 bytes received, %3 expected, first "
                                  "difference at offset %4")
                       .arg(O.Expect)
                       .arg(FImage.size())
                       .arg(expected.size())
                       .arg(i));
            FVerdict = 1;
        }
    }
    if (O.Once)
        QTimer::singleShot(O.LingerMs, this, [this] {
            if (OnDone)
                OnDone(FVerdict);
        });
}

// ---------------------------------------------------------------------------------------------
// Command line of the mode

namespace {

QString help()
{
    return QStringLiteral(
        "  --ip ADDR          the module's address: it sends from and takes data on it (default 127.0.0.1)\n"
        "  --mac MAC          its MAC, 12 hex digits, blanks allowed (default 00 1A 2B 3C 4D 5E)\n"
        "  --bootp-mac MAC    the hardware address its BOOTP request reports (default: its MAC)\n"
        "  --expect FILE.bin  the image it should receive (the bytes after the identifier); also the\n"
        "                     default identifier\n"
        "  --hwid HEX         the hardware identifier it announces, 8 hex digits (default: from --expect,\n"
        "                     else 51 32 00 01)\n"
        "  --wrong-id         announce a different identifier\n"
        "  --flag26 N         byte 26 of the BOOTP request (default 1; 0: a mismatch is silently ignored)\n"
        "  --save FILE        store the received image\n"
        "  --drop-acks K      do not send the first K acknowledgements\n"
        "  --drop-final       do not send the first acknowledgement of the final block\n"
        "  --stop-after N     acknowledge N blocks, then no more (a module that hangs mid-transfer)\n"
        "  --silent           hear the trigger but never answer\n"
        "  --delay MS         wait MS before each acknowledgement (the module writing its flash)\n"
        "  --retry MS         repeat unanswered BOOTP and read requests every MS (default 1000)\n"
        "  --once             exit after one image (each loader's): status 0 when every image matched\n"
        "  --linger MS        with --once, stay MS after the final block for repeats of it (default 3000)\n"
        "  --trigger-port, --bootp-server-port, --bootp-client-port, --tftp-port, --data-port N\n"
        "                     move the ports (defaults 9, 67, 68, 69, 13633)\n"
        "Several boot loaders in one process, each on its own address (lines then begin with it):\n"
        "  --loader OPTIONS   add one; OPTIONS are key=value pairs joined by ',', with the keys ip,\n"
        "                     mac, bootp-mac, expect, hwid, wrong-id, flag26, save, drop-acks,\n"
        "                     stop-after, drop-final, silent and delay as above (wrong-id, drop-final, silent take\n"
        "                     1); what a loader leaves out comes from the options above\n"
        "  --count N          add N loaders made from the options above: the k-th (from 0) on the address\n"
        "                     --ip + k with the MAC --mac + k, saving to FILE.k with --save FILE");
}

int number(const QString &name, const QString &text, int min, int max)
{
    int v = 0;
    if (!TryStrToInt(text, v) || v < min || v > max)
        throw TSimUsageError{QStringLiteral("%1 needs a number from %2 to %3").arg(name).arg(min).arg(max)};
    return v;
}

QByteArray macValue(const QString &name, const QString &text)
{
    uint8_t mac[6];
    try {
        MacToBytes(text, mac);
    } catch (const EConvertError &e) {
        throw TSimUsageError{QStringLiteral("%1: %2").arg(name, e.Message())};
    }
    return QByteArray(reinterpret_cast<const char *>(mac), 6);
}

QByteArray hwIdValue(const QString &text)
{
    const QByteArray hex = QString(text).remove(u' ').toLatin1();
    const QByteArray id = QByteArray::fromHex(hex);
    if (hex.size() != 8 || id.size() != 4 || id.toHex() != hex.toLower())
        throw TSimUsageError{QStringLiteral("--hwid needs 8 hex digits")};
    return id;
}

// One option of a loader, from the command line (--name VALUE) or a --loader list (name=VALUE).
// False when the name is no loader option.
bool loaderOption(TBootLoaderOptions &o, const QString &name, const std::function<QString()> &value)
{
    const QString option = QStringLiteral("--") + name;
    if (name == QLatin1String("ip")) o.Ip = value();
    else if (name == QLatin1String("mac")) o.Mac = macValue(option, value());
    else if (name == QLatin1String("bootp-mac")) o.BootpMac = macValue(option, value());
    else if (name == QLatin1String("hwid")) o.HwId = hwIdValue(value());
    else if (name == QLatin1String("flag26")) o.Flag26 = number(option, value(), 0, 255);
    else if (name == QLatin1String("expect")) o.Expect = value();
    else if (name == QLatin1String("save")) o.Save = value();
    else if (name == QLatin1String("drop-acks")) o.DropAcks = number(option, value(), 0, 1000000);
    else if (name == QLatin1String("stop-after")) o.StopAfter = number(option, value(), 0, 1000000);
    else if (name == QLatin1String("delay")) o.DelayMs = number(option, value(), 0, 60000);
    else return false;
    return true;
}

// A switch of a loader; nullptr when the name is none.
bool *loaderFlag(TBootLoaderOptions &o, const QString &name)
{
    if (name == QLatin1String("wrong-id")) return &o.WrongId;
    if (name == QLatin1String("drop-final")) return &o.DropFinal;
    if (name == QLatin1String("silent")) return &o.Silent;
    return nullptr;
}

TBootLoaderOptions parseLoader(const QString &list, const TBootLoaderOptions &base)
{
    TBootLoaderOptions o = base;
    for (const QString &pair : list.split(u',', Qt::SkipEmptyParts)) {
        const qsizetype eq = pair.indexOf(u'=');
        if (eq < 0)
            throw TSimUsageError{QStringLiteral("--loader: '%1' needs a value (key=value)").arg(pair)};
        const QString key = pair.left(eq).trimmed();
        const QString val = pair.mid(eq + 1).trimmed();
        if (bool *flag = loaderFlag(o, key)) {
            if (val != QLatin1String("1") && val != QLatin1String("0"))
                throw TSimUsageError{QStringLiteral("--loader: %1 takes 1 or 0").arg(key)};
            *flag = val == QLatin1String("1");
        } else if (!loaderOption(o, key, [&] { return val; })) {
            throw TSimUsageError{QStringLiteral("--loader: unknown key %1").arg(key)};
        }
    }
    return o;
}

// The k-th loader of --count: the address and the MAC counted up from the base.
TBootLoaderOptions counted(const TBootLoaderOptions &base, int k)
{
    TBootLoaderOptions o = base;
    const QHostAddress ip(base.Ip);
    bool ok = false;
    const quint32 v = ip.toIPv4Address(&ok);
    if (!ok)
        throw TSimUsageError{QStringLiteral("--count needs --ip to be an IPv4 address")};
    o.Ip = QHostAddress(v + quint32(k)).toString();
    quint32 low = (uint8_t(base.Mac[3]) << 16) | (uint8_t(base.Mac[4]) << 8) | uint8_t(base.Mac[5]);
    low += quint32(k);
    o.Mac[3] = char((low >> 16) & 0xFF);
    o.Mac[4] = char((low >> 8) & 0xFF);
    o.Mac[5] = char(low & 0xFF);
    if (!base.Save.isEmpty())
        o.Save = base.Save + QLatin1Char('.') + QString::number(k);
    return o;
}

int run(const QStringList &args)
{
    TBootLoaderOptions base;
    QStringList loaderLists;
    int count = 0;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        const auto value = [&] { return SimOptionValue(args, i); };
        if (a == QLatin1String("--loader")) loaderLists << value();
        else if (a == QLatin1String("--count")) count = number(a, value(), 1, 1000);
        else if (a == QLatin1String("--retry")) base.RetryMs = number(a, value(), 1, 60000);
        else if (a == QLatin1String("--once")) base.Once = true;
        else if (a == QLatin1String("--linger")) base.LingerMs = number(a, value(), 0, 600000);
        else if (a == QLatin1String("--trigger-port")) base.TriggerPort = uint16_t(number(a, value(), 1, 65535));
        else if (a == QLatin1String("--bootp-server-port")) base.BootpServerPort = uint16_t(number(a, value(), 1, 65535));
        else if (a == QLatin1String("--bootp-client-port")) base.BootpClientPort = uint16_t(number(a, value(), 1, 65535));
        else if (a == QLatin1String("--tftp-port")) base.TftpPort = uint16_t(number(a, value(), 1, 65535));
        else if (a == QLatin1String("--data-port")) base.DataPort = uint16_t(number(a, value(), 1, 65535));
        else if (bool *flag = a.startsWith(QLatin1String("--")) ? loaderFlag(base, a.mid(2)) : nullptr) *flag = true;
        else if (a.startsWith(QLatin1String("--")) && loaderOption(base, a.mid(2), value)) continue;
        else throw TSimUsageError{QStringLiteral("unknown option %1").arg(a)};
    }
    QList<TBootLoaderOptions> options;
    for (int k = 0; k < count; ++k)
        options << counted(base, k);
    for (const QString &list : loaderLists)
        options << parseLoader(list, base);
    if (options.isEmpty())
        options << base;

    std::vector<std::unique_ptr<TSimBootLoader>> loaders;
    int pending = int(options.size());
    int worst = 0;
    for (const TBootLoaderOptions &o : options) {
        auto loader = std::make_unique<TSimBootLoader>(o);
        if (options.size() > 1)
            loader->Prefix = QStringLiteral("bootloader ") + o.Ip;
        QString error;
        if (!loader->Start(error)) {
            SimErr(QStringLiteral("bexo-z0-sim bootloader: %1").arg(error));
            return 1;
        }
        loader->OnDone = [&pending, &worst](int status) {
            worst = std::max(worst, status);
            if (--pending == 0)
                QCoreApplication::exit(worst);
        };
        loaders.push_back(std::move(loader));
    }
    return QCoreApplication::exec();
}

TSimRegistrar reg({QStringLiteral("bootloader"),
                   QStringLiteral("a module's boot loader taking a firmware image (trigger, BOOTP, TFTP); "
                                  "several with --loader or --count"),
                   help, run});

} // namespace
