// Dispatch throughput of the endpoint's read handler over a mix of reply lengths, and the cost
// of the block codecs.
#include "netconfig/Codecs.h"
#include "netconfig/UdpSvr.h"

#include <QCoreApplication>
#include <chrono>
#include <cstdio>

namespace {
using Clock = std::chrono::steady_clock;
double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }
volatile int sink;
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    TUdpSvr svr;
    int events = 0;
    svr.OnRecvData = [&](const QByteArray &, const QString &, const QString &, int, int) { ++events; };
    svr.OnSearchReply = [&](const QString &, const QString &, const QString &, const QString &, int, int) { ++events; };
    svr.OnReadParam = [&](const TBaseParam &, const TarrComParam &, bool, int) { ++events; };
    svr.OnStatus = [&](int, const QString &) { ++events; };
    svr.OnReadHeartReg = [&](const uint8_t *, bool, int) { ++events; };
    svr.OnModbusParam = [&](const TModbusParam &, int) { ++events; };

    QByteArray search(36, '\0');
    search[0] = char(0xFF); search[1] = 0x24; search[2] = 0x01;
    search[15] = char(0xB1); search[16] = 0x0F;
    const QList<QByteArray> mix = {search, QByteArray(130, '\x01'), QByteArray::fromHex("FF01054B"),
                                   QByteArray(85, '\0'), QByteArray::fromHex("01"), QByteArray(77, '\0'),
                                   QByteArray::fromHex("450A")};
    const QString peer = QStringLiteral("10.0.0.7"), local = QStringLiteral("10.0.0.1");
    const int rounds = 200000;
    auto t0 = Clock::now();
    for (int i = 0; i < rounds; ++i) {
        const QByteArray &d = mix[i % mix.size()];
        svr.UDPRead(d, peer, (i & 1) ? 1500 : 1901, local, 40000, 0);
        if (svr.SearchReplies.size() > 1000)
            svr.SearchReplies.clear();
    }
    auto t1 = Clock::now();
    printf("dispatch_throughput: %.0f datagrams/s\n", rounds / seconds(t0, t1));

    QByteArray block(130, '\x5A');
    block.replace(9, 4, QByteArray::fromHex("0700A8C0"));
    const auto *b = reinterpret_cast<const uint8_t *>(block.constData());
    const int codecRounds = 200000;
    t0 = Clock::now();
    for (int i = 0; i < codecRounds; ++i) {
        const TBaseParam p = DecodeBaseParam(b);
        const TPortParam q = DecodePortParam(b + LenBase);
        sink = p.UpnpPort + q.Baudrate;
    }
    t1 = Clock::now();
    printf("decode_read_reply: %.0f ns/block\n", seconds(t0, t1) / codecRounds * 1e9);

    const TBaseParam p = DecodeBaseParam(b);
    const TPortParam q = DecodePortParam(b + LenBase);
    uint8_t out[130];
    std::copy(b, b + 130, out);
    t0 = Clock::now();
    for (int i = 0; i < codecRounds; ++i) {
        EncodeBaseParam(p, out, 0x4E);
        EncodePortParam(q, out + LenBase, 0x01);
    }
    t1 = Clock::now();
    printf("encode_base_and_port: %.0f ns/block\n", seconds(t0, t1) / codecRounds * 1e9);
    sink = events;
    return 0;
}
