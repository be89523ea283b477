// Any datagram on any binding, in any state of an upgrade attempt, interleaved with time-outs,
// restarts and Exit: no fault, and whatever goes out is well formed and taken from the right place
// of the file.
//
// Input: one byte choosing the file (and a bad MAC), then steps of [op] [value, 2 bytes big-endian]
// where op % 8 is a datagram of value bytes that follow on 0 the BOOTP binding, 1 the read-request
// binding, 2 the data binding, 3 another port; or 4 a time-out, 5 Program again, 6 Exit,
// 7 SendUpgradeData(value). op & 8 makes a datagram come from a stranger.
#include "core/Public.h"
#include "lang/LangList.h"
#include "upgrade/Upgrade.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

const QString ModuleIP = QStringLiteral("10.0.0.7");
const QString LocalIP = QStringLiteral("10.0.0.1");

struct TImage {
    QString Path;
    QByteArray Content; // the whole file; for the sparse one only its tail is non-zero
    qint64 Size = 0;
};

QByteArray pattern(int n)
{
    QByteArray d(n, '\0');
    for (int i = 0; i < n; ++i)
        d[i] = char(i * 37 + i / 509 + 5);
    return d;
}

struct TWorld {
    QTemporaryDir Dir;
    QList<TImage> Images;
    TWorld()
    {
        static int argc = 1;
        static char name[] = "fuzz_upgrade";
        static char *argv[] = {name, nullptr};
        new QCoreApplication(argc, argv); // timers want a dispatcher; the loop itself never runs
        LangList = new TLangList;
        FillDefaultTable();
        const QByteArray id = QByteArray::fromHex("51320001");
        for (const QByteArray &c : {QByteArray(), id.left(3), id, id + pattern(700), id + pattern(1024),
                                    id + pattern(3 * 512 + 5)}) {
            TImage img;
            img.Path = Dir.filePath(QStringLiteral("f%1.bin").arg(Images.size()));
            img.Content = c;
            img.Size = c.size();
            QFile f(img.Path);
            if (!f.open(QIODevice::WriteOnly) || f.write(c) != c.size())
                __builtin_trap();
            Images << img;
        }
        // Past the 16-bit block numbers, sparse.
        TImage big;
        big.Path = Dir.filePath(QStringLiteral("big.bin"));
        big.Size = 4 + 65536LL * 512 + 10;
        QFile f(big.Path);
        if (!f.open(QIODevice::WriteOnly) || f.write(id) != 4 || !f.resize(big.Size - 10) || !f.seek(big.Size - 10) ||
            f.write(pattern(10)) != 10)
            __builtin_trap();
        big.Content = id;
        Images << big;
    }
    // Expected file bytes at an offset.
    static QByteArray at(const TImage &img, qint64 offset, int n)
    {
        if (img.Content.size() == img.Size)
            return img.Content.mid(offset, n);
        QByteArray out(n, '\0');
        const qint64 tail = img.Size - 10;
        for (int i = 0; i < n; ++i)
            if (offset + i >= tail)
                out[i] = pattern(10)[int(offset + i - tail)];
        return out;
    }
};

class TCheckingNet : public IUpgradeNet {
public:
    bool Opened = false;
    const TUpgradeAttempt *Attempt = nullptr;
    const TImage *Image = nullptr;

    bool Open(const QString &, TUpgradePorts &, QString &) override
    {
        Opened = true;
        return true;
    }
    void Close() override { Opened = false; }
    bool IsOpen() const override { return Opened; }
    bool Send(TUpBinding from, const QByteArray &b, const QString &host, uint16_t port, QString &) override
    {
        if (!Opened)
            __builtin_trap(); // sending on an ended attempt
        switch (from) {
        case TUpBinding::Trigger:
            if (b.size() != UpTriggerLen || host != BroadcastIP || port != Attempt->Ports.TriggerDest)
                __builtin_trap();
            break;
        case TUpBinding::Bootp:
            if (b.size() != UpBootpLen || uint8_t(b[0]) != 2 || b.mid(108, 12) != UpBootFileName ||
                b.mid(UpHwIdOffset, 4) != Attempt->UpHwId || port != Attempt->Ports.BootpReply)
                __builtin_trap();
            break;
        case TUpBinding::Data: {
            const int blk = Attempt->UpBlock;
            if (b.size() < 4 || b.size() > 4 + UpBlockSize || b[0] != 0 || b[1] != 3 || host != ModuleIP ||
                port != Attempt->Ports.ModuleData || blk < 1 || blk > Attempt->LastBlock() ||
                ((uint8_t(b[2]) << 8) | uint8_t(b[3])) != (blk & 0xFFFF))
                __builtin_trap();
            const qint64 offset = 4 + qint64(blk - 1) * UpBlockSize;
            const int n = int(b.size() - 4);
            if (n != int(std::min<qint64>(UpBlockSize, Image->Size - offset)) ||
                b.mid(4) != TWorld::at(*Image, offset, n))
                __builtin_trap();
            break;
        }
        case TUpBinding::Tftp:
            __builtin_trap(); // nothing goes out from the read-request binding
        }
        return true;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static TWorld *world = new TWorld;
    if (size < 1)
        return 0;
    const TImage &image = world->Images[data[0] % world->Images.size()];
    const QString mac = (data[0] & 0x80) ? QStringLiteral("00 1A 2B") : QStringLiteral("00 1A 2B 3C 4D 5E");
    TCheckingNet net;
    TUpgradeAttempt a(&net);
    net.Attempt = &a;
    net.Image = &image;
    a.OnProgress = [](int p) {
        if (p < 0 || p > 100)
            __builtin_trap();
    };
    UpMask.clear();
    a.Program({ModuleIP, mac, LocalIP, image.Path});

    size_t pos = 1;
    for (int steps = 0; steps < 200 && pos + 3 <= size; ++steps) {
        const uint8_t op = data[pos];
        const int value = (data[pos + 1] << 8) | data[pos + 2];
        pos += 3;
        QByteArray bytes;
        if (op % 8 < 4) {
            const size_t len = std::min<size_t>(size_t(value), size - pos);
            bytes = QByteArray(reinterpret_cast<const char *>(data + pos), qsizetype(len));
            pos += len;
        }
        const QString sender = (op & 8) ? QStringLiteral("10.0.0.9") : ModuleIP;
        switch (op % 8) {
        case 0: a.HandleDatagram(a.Ports.Bootp, bytes, sender); break;
        case 1: a.HandleDatagram(a.Ports.Tftp, bytes, sender); break;
        case 2: a.HandleDatagram(a.Ports.Data, bytes, sender); break;
        case 3: a.HandleDatagram(uint16_t(value ^ 0x5A5A), bytes, sender); break;
        case 4: a.TimerFired(); break;
        case 5: a.Program({ModuleIP, mac, LocalIP, image.Path}); break;
        case 6: a.Exit(); break;
        case 7: a.SendUpgradeData(value * 2 - 3); break; // reaches past the wrap, and below 1
        }
        const TUpgradeState s = a.State();
        const bool ended = s == TUpgradeState::Failed || s == TUpgradeState::Mismatch || s == TUpgradeState::TimedOut;
        if ((ended && (net.Opened || a.TimerActive() || a.FileOpen())) || a.UpRetries > UpMaxRetries ||
            (s == TUpgradeState::Serving && !a.FileOpen()))
            __builtin_trap();
    }
    if (getenv("FUZZ_UPGRADE_TRACE")) // which state each seed ends in, when adding seeds
        fprintf(stderr, "end state: %s, block %d\n", UpgradeStateName(a.State()), a.UpBlock);
    return 0;
}
