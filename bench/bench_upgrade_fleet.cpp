// The wall time of a fleet upgrade against boot loaders that answer from their own addresses
// (bexo-z0-sim bootloader --count N), as one line "NAME: VALUE UNIT" (the script that runs it
// prints the figures).
//   bench_upgrade_fleet LOCAL_IP FILE.bin FIRST_IP FIRST_MAC COUNT PARALLEL
// Module k (from 0) is FIRST_IP + k with FIRST_MAC + k; the time runs from the start to the end of
// the last transfer. Exits 1 unless every module succeeded.
#include "core/ProFun.h"
#include "lang/LangList.h"
#include "upgrade/UpgradeFleet.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 7) {
        fprintf(stderr, "usage: bench_upgrade_fleet LOCAL_IP FILE.bin FIRST_IP FIRST_MAC COUNT PARALLEL\n");
        return 2;
    }
    LangList = new TLangList;
    FillDefaultTable();
    const QString local = QString::fromLatin1(argv[1]);
    const QString file = QString::fromLocal8Bit(argv[2]);
    const quint32 first = QHostAddress(QString::fromLatin1(argv[3])).toIPv4Address();
    uint8_t mac[6];
    MacToBytes(QString::fromLatin1(argv[4]), mac);
    const int count = atoi(argv[5]);
    QList<TUpFleetTarget> targets;
    for (int k = 0; k < count; ++k) {
        uint8_t m[6];
        std::copy(mac, mac + 6, m);
        const quint32 low = ((m[3] << 16) | (m[4] << 8) | m[5]) + quint32(k);
        m[3] = uint8_t(low >> 16), m[4] = uint8_t(low >> 8), m[5] = uint8_t(low);
        targets.append({QHostAddress(first + quint32(k)).toString(), BytesToMac(m), QString()});
    }
    TUpgradeFleet fleet;
    fleet.Options.Parallel = atoi(argv[6]);
    fleet.Options.LookBack = false;
    fleet.OnFinished = [] { QCoreApplication::quit(); };
    QElapsedTimer clock;
    clock.start();
    QString reason;
    if (!fleet.Start(targets, local, file, reason)) {
        fprintf(stderr, "bench_upgrade_fleet: %s\n", qPrintable(reason));
        return 1;
    }
    if (fleet.Running())
        QCoreApplication::exec();
    const double seconds = clock.nsecsElapsed() / 1e9;
    int ok = 0;
    for (const TUpFleetModule &m : fleet.Modules())
        if (m.Result == TUpFleetResult::Ok)
            ++ok;
        else
            fprintf(stderr, "bench_upgrade_fleet: %s: %s (%s)\n", qPrintable(m.Target.MAC),
                    qPrintable(UpFleetResultName(m.Result)), qPrintable(m.Reason));
    printf("fleet_wall_time: %.3f s\n", seconds);
    return ok == count ? 0 : 1;
}
