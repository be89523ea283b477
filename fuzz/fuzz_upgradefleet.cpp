// Any datagram from any module or stranger, in any phase of a fleet upgrade of three modules,
// interleaved with deferred work, Stop, search answers and reset answers: no fault, and nothing a
// module receives was meant for another: a BOOTP reply to a module's own hardware address carries
// that module's address, and data goes only to a module that is being served.
//
// Input: one byte of options (bit 0 canary, bit 1 one at a time already, bit 2 reset after), then
// steps of [op] [a] [b]: op % 8 is 0 a BOOTP request built from a and b (hardware address: module
// a % 4, 3 being a foreign one; transaction b % 4; identifier matching unless b & 4; byte 26 set
// unless b & 8), 1 a read request from module a % 4, 2 an acknowledgement of block b from module
// a % 4, 3 raw bytes (b of them follow) on binding a % 3, 4 deferred work, 5 a search answer from
// module a % 4, 6 a reset answer for module a % 4, 7 Stop. Sender 3 is a stranger.
#include "core/Public.h"
#include "lang/LangList.h"
#include "upgrade/UpgradeFleet.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

namespace {

const QString LocalIP = QStringLiteral("10.0.0.1");
const QByteArray HwId = QByteArray::fromHex("51320001");

QString ip(int k) { return QStringLiteral("10.0.0.%1").arg(11 + k); }
// Module k's MAC; k = 3 is a hardware address that is no module's.
QByteArray mac(int k) { return QByteArray::fromHex("020000000A") + QByteArray(1, char(k < 3 ? 11 + k : 0x99)); }

struct TWorld {
    QTemporaryDir Dir;
    QString Bin;
    TWorld()
    {
        static int argc = 1;
        static char name[] = "fuzz_upgradefleet";
        static char *argv[] = {name, nullptr};
        new QCoreApplication(argc, argv);
        LangList = new TLangList;
        FillDefaultTable();
        Bin = Dir.filePath(QStringLiteral("fw.bin"));
        QFile f(Bin);
        QByteArray data(3 * 512 + 7, '\0');
        for (int i = 0; i < data.size(); ++i)
            data[i] = char(i * 37 + 5);
        if (!f.open(QIODevice::WriteOnly) || f.write(HwId + data) != 4 + data.size())
            __builtin_trap();
    }
};

class TCheckingNet : public IUpgradeNet {
public:
    bool Opened = false;
    const TUpgradeFleet *Fleet = nullptr;
    bool Open(const QString &, TUpgradePorts &, QString &) override { return Opened = true; }
    void Close() override { Opened = false; }
    bool IsOpen() const override { return Opened; }
    bool Send(TUpBinding from, const QByteArray &b, const QString &host, uint16_t, QString &) override
    {
        if (!Opened)
            __builtin_trap();
        const auto &modules = Fleet->Modules();
        if (from == TUpBinding::Bootp) {
            const QString given = QStringLiteral("%1.%2.%3.%4").arg(uint8_t(b[16])).arg(uint8_t(b[17])).arg(uint8_t(b[18])).arg(uint8_t(b[19]));
            for (int k = 0; k < 3; ++k)
                if (b.mid(28, 6) == mac(k) && given != ip(k))
                    __builtin_trap(); // one module's request answered with another's address
            bool running = false;
            for (const TUpFleetModule &m : modules)
                running |= m.Target.IP == given && m.Running();
            if (!running)
                __builtin_trap();
        } else if (from == TUpBinding::Data) {
            bool serving = false;
            for (const TUpFleetModule &m : modules)
                serving |= m.Target.IP == host && m.Running();
            if (!serving)
                __builtin_trap();
        }
        return true;
    }
};

QByteArray bootp(uint8_t a, uint8_t b)
{
    QByteArray r(UpBootpLen, '\0');
    r[0] = 1;
    r[1] = 1;
    r[2] = 6;
    r[7] = char(b % 4);
    r[26] = (b & 8) ? 0 : 1;
    r.replace(28, 6, mac(a % 4));
    r.replace(UpHwIdOffset, 4, (b & 4) ? QByteArray::fromHex("51320009") : HwId);
    return r;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static TWorld *world = new TWorld;
    if (size < 1)
        return 0;
    TCheckingNet net;
    TUpgradeFleet fleet(&net);
    net.Fleet = &fleet;
    fleet.Options.Canary = data[0] & 1;
    fleet.Options.ResetAfter = data[0] & 4;
    fleet.Options.Parallel = 2;
    fleet.Options.SettleMs = 0;
    fleet.OnReset = [](int) {};
    UpMask.clear();
    QString reason;
    if (!fleet.Start({{ip(0), QString::fromLatin1(mac(0).toHex()), {}},
                      {ip(1), QString::fromLatin1(mac(1).toHex()), {}},
                      {ip(2), QString::fromLatin1(mac(2).toHex()), {}}},
                     LocalIP, world->Bin, reason))
        __builtin_trap();
    if (data[0] & 2) // already taking turns
        net.OnDatagram(fleet.Ports.Bootp, bootp(3, 3), QString());

    size_t pos = 1;
    for (int steps = 0; steps < 200 && pos + 3 <= size; ++steps) {
        const uint8_t op = data[pos], a = data[pos + 1], b = data[pos + 2];
        pos += 3;
        const QString from = a % 4 < 3 ? ip(a % 4) : QStringLiteral("10.0.0.99");
        switch (op % 8) {
        case 0: net.OnDatagram(fleet.Ports.Bootp, bootp(a, b), QString()); break;
        case 1: net.OnDatagram(fleet.Ports.Tftp, UpBuildReadRequest(), from); break;
        case 2: net.OnDatagram(fleet.Ports.Data, UpBuildAck(b % 8), from); break;
        case 3: {
            const size_t len = std::min<size_t>(b, size - pos);
            const uint16_t ports[] = {fleet.Ports.Bootp, fleet.Ports.Tftp, fleet.Ports.Data};
            net.OnDatagram(ports[a % 3], QByteArray(reinterpret_cast<const char *>(data + pos), qsizetype(len)), from);
            pos += len;
            break;
        }
        case 4: QCoreApplication::processEvents(); break;
        case 5: fleet.ModuleSeen(QString::fromLatin1(mac(a % 4).toHex()), QStringLiteral("4100")); break;
        case 6: fleet.ResetAnswered(a % 4, b & 1, QStringLiteral("answer")); break;
        case 7: fleet.Stop(); break;
        }
        int running = 0;
        for (const TUpFleetModule &m : fleet.Modules())
            running += m.Running();
        if (running > 2 || (!fleet.Running() && net.Opened))
            __builtin_trap();
    }
    return 0;
}
