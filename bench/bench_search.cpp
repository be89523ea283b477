// Time from the search broadcast to all rows present, against a simulator that answers with many
// modules. Usage: bench_search LOCAL_IP EXPECTED_ROWS [TIMEOUT_MS]
#include "netconfig/DeviceList.h"
#include "netconfig/UdpSvr.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        fprintf(stderr, "usage: bench_search LOCAL_IP EXPECTED_ROWS [TIMEOUT_MS]\n");
        return 2;
    }
    const int expected = atoi(argv[2]);
    const int timeoutMs = argc > 3 ? atoi(argv[3]) : 10000;
    TUdpSvr svr;
    svr.AddressOverride = {QString::fromLatin1(argv[1])};
    TDeviceList list;
    QElapsedTimer clock;
    qint64 done = -1;
    svr.OnSearchReply = [&](const QString &ip, const QString &name, const QString &mac, const QString &ver, int model,
                            int index) {
        list.AddReply(ip, name, mac, ver, model, index, svr.SearchReplies.last());
        if (list.Count() == expected && done < 0) {
            done = clock.nsecsElapsed();
            QCoreApplication::quit();
        }
    };
    svr.RefreshBindings();
    clock.start();
    svr.SearchDevices();
    QTimer::singleShot(timeoutMs, &app, &QCoreApplication::quit);
    app.exec();
    if (done < 0) {
        printf("search_rows_found: %d rows (of %d, within %d ms)\n", list.Count(), expected, timeoutMs);
        return 1;
    }
    printf("search_%d_modules: %.1f ms\n", expected, done / 1e6);
    return 0;
}
