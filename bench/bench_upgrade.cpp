// Figures for the firmware upgrade, as "NAME: VALUE UNIT" lines.
//   bench_upgrade handler [BLOCKS]       our handling of one acknowledgement up to the next block
//                                        sent, in process, no sockets
//   bench_upgrade echo PORT              peer side of the round-trip baseline: answers every
//                                        datagram with 4 bytes
//   bench_upgrade rtt HOST PORT COUNT    the bare lock-step exchange (516 bytes out, 4 back) with
//                                        blocking sockets: the floor an upgrade cannot go below
//   bench_upgrade qt-echo PORT, bench_upgrade qt-rtt HOST PORT COUNT
//                                        the same on both ends through a Qt event loop and
//                                        QUdpSocket: the floor of any event-loop implementation
#include "lang/LangList.h"
#include "upgrade/Upgrade.h"

#include <QCoreApplication>
#include <QFile>
#include <QNetworkDatagram>
#include <QUdpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

class TNullNet : public IUpgradeNet {
public:
    bool Opened = false;
    qint64 Bytes = 0;
    bool Open(const QString &, TUpgradePorts &, QString &) override { return Opened = true; }
    void Close() override { Opened = false; }
    bool IsOpen() const override { return Opened; }
    bool Send(TUpBinding, const QByteArray &b, const QString &, uint16_t, QString &) override
    {
        Bytes += b.size();
        return true;
    }
};

int handler(int blocks)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("fw.bin"));
    {
        QFile f(path); // sparse: only the loop below should cost anything
        if (!f.open(QIODevice::WriteOnly) || f.write("\x51\x32\x00\x01", 4) != 4 ||
            !f.resize(4 + qint64(blocks) * UpBlockSize + 100))
            return 1;
    }
    LangList = new TLangList;
    FillDefaultTable();
    TNullNet net;
    TUpgradeAttempt a(&net);
    int statuses = 0;
    a.OnStatus = [&](const QString &, const QString &) { ++statuses; };
    a.OnProgress = [](int) {};
    const QString module = QStringLiteral("10.0.0.7");
    if (!a.Program({module, QStringLiteral("001A2B3C4D5E"), QStringLiteral("10.0.0.1"), path}))
        return 1;
    a.HandleDatagram(a.Ports.Tftp, UpBuildReadRequest(), module);
    const auto t0 = Clock::now();
    for (int b = 1; b <= blocks; ++b)
        a.HandleDatagram(a.Ports.Data, UpBuildAck(b), module);
    const double us = std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
    a.HandleDatagram(a.Ports.Data, UpBuildAck(blocks + 1), module);
    if (a.State() != TUpgradeState::Done)
        return 1;
    printf("upgrade_handler_per_block: %.2f us\n", us / blocks);
    return 0;
}

int udpSocket(uint16_t port)
{
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0) {
        perror("bench_upgrade: socket");
        return -1;
    }
    return fd;
}

int echo(uint16_t port)
{
    const int fd = udpSocket(port);
    if (fd < 0)
        return 1;
    char buf[2048];
    const char ack[4] = {0, 4, 0, 1};
    for (;;) {
        sockaddr_in from{};
        socklen_t len = sizeof from;
        if (recvfrom(fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr *>(&from), &len) < 0)
            return 1;
        sendto(fd, ack, sizeof ack, 0, reinterpret_cast<sockaddr *>(&from), len);
    }
}

int rtt(const char *host, uint16_t port, int count)
{
    const int fd = udpSocket(0);
    if (fd < 0)
        return 1;
    timeval tv{2, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    inet_pton(AF_INET, host, &to.sin_addr);
    char block[4 + UpBlockSize] = {0, 3};
    char reply[16];
    const auto once = [&] {
        sendto(fd, block, sizeof block, 0, reinterpret_cast<sockaddr *>(&to), sizeof to);
        return recv(fd, reply, sizeof reply, 0) == 4;
    };
    for (int i = 0; i < 200; ++i)
        if (!once()) {
            fprintf(stderr, "bench_upgrade: no echo from %s port %u\n", host, port);
            return 1;
        }
    const auto t0 = Clock::now();
    for (int i = 0; i < count; ++i)
        if (!once())
            return 1;
    const double us = std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
    printf("upgrade_lockstep_round_trip: %.2f us\n", us / count);
    return 0;
}

int qtEcho(uint16_t port)
{
    QUdpSocket s;
    if (!s.bind(QHostAddress::AnyIPv4, port))
        return 1;
    const QByteArray ack("\x00\x04\x00\x01", 4);
    QObject::connect(&s, &QUdpSocket::readyRead, [&] {
        while (s.hasPendingDatagrams()) {
            const QNetworkDatagram d = s.receiveDatagram();
            s.writeDatagram(ack, d.senderAddress(), quint16(d.senderPort()));
        }
    });
    return QCoreApplication::exec();
}

int qtRtt(const QString &host, uint16_t port, int count)
{
    QUdpSocket s;
    if (!s.bind(QHostAddress::AnyIPv4, 0))
        return 1;
    const QByteArray block(4 + UpBlockSize, '\0');
    const QHostAddress to(host);
    const int warm = 200;
    int done = 0;
    Clock::time_point t0;
    QObject::connect(&s, &QUdpSocket::readyRead, [&] {
        while (s.hasPendingDatagrams()) {
            s.receiveDatagram();
            if (++done == warm)
                t0 = Clock::now();
            if (done == warm + count) {
                const double us = std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
                printf("upgrade_lockstep_round_trip_qt: %.2f us\n", us / count);
                QCoreApplication::quit();
                return;
            }
            s.writeDatagram(block, to, port);
        }
    });
    QTimer::singleShot(30000, [] { QCoreApplication::exit(1); });
    s.writeDatagram(block, to, port);
    return QCoreApplication::exec();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString mode = argc > 1 ? QString::fromLatin1(argv[1]) : QString();
    if (mode == QLatin1String("handler"))
        return handler(argc > 2 ? atoi(argv[2]) : 8192);
    if (mode == QLatin1String("echo") && argc == 3)
        return echo(uint16_t(atoi(argv[2])));
    if (mode == QLatin1String("rtt") && argc == 5)
        return rtt(argv[2], uint16_t(atoi(argv[3])), atoi(argv[4]));
    if (mode == QLatin1String("qt-echo") && argc == 3)
        return qtEcho(uint16_t(atoi(argv[2])));
    if (mode == QLatin1String("qt-rtt") && argc == 5)
        return qtRtt(QString::fromLatin1(argv[2]), uint16_t(atoi(argv[3])), atoi(argv[4]));
    fprintf(stderr, "usage: bench_upgrade handler [BLOCKS] | echo PORT | rtt HOST PORT COUNT | qt-echo PORT |\n"
                    "                     qt-rtt HOST PORT COUNT\n");
    return 2;
}
