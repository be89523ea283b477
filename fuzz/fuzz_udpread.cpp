// Any datagram from any port must be dispatched without a fault; the templates live in fixed
// arrays, so a read or write past them is a sanitizer report.
#include "netconfig/Codecs.h"
#include "netconfig/UdpSvr.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    static const int ports[] = {1500, 1901, 3000, 0, 65535, 68, 67, 9};
    const int port = ports[data[0] % 8];
    static TUdpSvr *svr = [] {
        auto *s = new TUdpSvr;
        s->OnRecvData = [](const QByteArray &, const QString &, const QString &, int, int) {};
        s->OnSearchReply = [](const QString &, const QString &n, const QString &, const QString &, int, int) {
            if (n.size() > 14)
                __builtin_trap();
        };
        s->OnReadParam = [](const TBaseParam &b, const TarrComParam &p, bool, int) {
            if (p.size() != 1 || b.ModName.size() > 16)
                __builtin_trap();
        };
        s->OnReadCloud = [](const TarrCloudParam &c, bool, int) { (void)c; };
        s->OnReadHeartReg = [](const uint8_t *b, bool, int) {
            const THeartRegParam h = DecodeHeartRegParam(b);
            if (h.HeartData.size() > 80 || h.RegData.size() > 80)
                __builtin_trap();
        };
        s->OnReadHttpd = [](const QString &u, const QString &h) {
            if (u.size() > 100 || h.size() > 200)
                __builtin_trap();
        };
        s->OnStatus = [](int, const QString &) {};
        s->OnModbusParam = [](const TModbusParam &, int) {};
        s->OnModbusPackParam = [](const TModbusPackParam &, int) {};
        s->OnModbusNewParam = [](const TModbusNewParam &, int) {};
        return s;
    }();
    const QByteArray datagram(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    svr->UDPRead(datagram, QStringLiteral("10.0.0.7"), port, QStringLiteral("10.0.0.1"), 40000, int(data[0] >> 3));
    if (svr->SearchReplies.size() > 1000)
        svr->SearchReplies.clear();
    return 0;
}
