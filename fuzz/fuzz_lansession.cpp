// Any sequence of datagrams from modules and strangers, mixed with reads, restarts and writes,
// must be given to modules without a fault: the session's records, the page, the readers of a run
// and the write's plan stay within their blocks whatever arrives from where.
#include "core/LogSink.h"
#include "netconfig/LanSession.h"

#include <cstddef>
#include <cstdint>

namespace {

const char *const Senders[] = {"10.0.0.7", "10.0.0.8", "10.0.0.9", "192.0.2.1"};
const int Ports[] = {1500, 1901, 3000, 1500};

// A search reply of module m (0..2) from its sender.
QByteArray searchReply(int m, uint8_t version)
{
    QByteArray b(LenSearch, '\0');
    b[0] = char(0xFF);
    b[1] = 0x24;
    b[2] = 0x01;
    b[5] = 10;
    b[8] = char(7 + m);
    b[9] = 0x02;
    b[14] = char(m);
    b[15] = char(version);
    b[16] = 0x0F;
    return b;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // One session for every input, as a program keeps one: what arrived before stays, as it would.
    // Made once and never freed, so nothing of Qt's goes before it at exit.
    static TNullLogSink log;
    static TQ2Page page, attached;
    static TReadResult result, attachedResult;
    static TLanSession &session = *[] {
        auto *s = new TLanSession(log);
        s->Page = &page;
        s->PageResult = &result;
        // Whatever it sends stays on loopback, on a port nothing listens on.
        s->Svr().AddressOverride = {QStringLiteral("127.0.0.1")};
        s->Svr().BroadcastAddress = QStringLiteral("127.0.0.1");
        s->Svr().DestPortQ2 = s->Svr().DestPortQ3 = 9;
        return s;
    }();
    TUdpSvr &svr = session.Svr();
    // Each step: one byte says what, and for a datagram one byte its length, then its bytes.
    size_t at = 0;
    while (at < size) {
        const uint8_t op = data[at++];
        const int who = op & 3;
        switch (op >> 5) {
        case 0: // a search reply of module who (a stranger's is of module 0)
            svr.UDPRead(searchReply(who % 3, uint8_t(op)), QString::fromLatin1(Senders[who]), Ports[who],
                        QStringLiteral("10.0.0.1"), 4000, (op >> 2) & 1);
            break;
        case 1: { // a row clicked
            const TDeviceList &list = session.Devices();
            if (list.Count() > 0)
                session.Read(list.Rows[who % list.Count()]);
            break;
        }
        case 2: { // a run's reader on a module, or none
            const TDeviceList &list = session.Devices();
            if (list.Count() > 0 && (op & 4))
                session.Attach(list.Rows[who % list.Count()].Mac, &attached, &attachedResult);
            else if (list.Count() > 0)
                session.Detach(list.Rows[who % list.Count()].Mac);
            break;
        }
        case 3: { // the page planned for a module
            const TDeviceList &list = session.Devices();
            if (list.Count() > 0) {
                const TQ2WritePlan plan = PlanQ2Write(page, session.Record(list.Rows[who % list.Count()].Mac));
                for (const TPlannedFrame &f : plan.Frames)
                    if (f.Payload.size() > LenHttpdHead)
                        __builtin_trap();
            }
            break;
        }
        case 4:
            session.Search(op & 4);
            break;
        default: { // a datagram from who
            if (at >= size)
                return 0;
            const size_t n = std::min<size_t>(data[at++] * 2u, size - at);
            svr.UDPRead(QByteArray(reinterpret_cast<const char *>(data + at), qsizetype(n)),
                        QString::fromLatin1(Senders[who]), Ports[who], QStringLiteral("10.0.0.1"), 4000, 0);
            at += n;
            break;
        }
        }
    }
    if (session.RecordCount() > 3)
        __builtin_trap(); // one record per module, whatever the order
    return 0;
}
