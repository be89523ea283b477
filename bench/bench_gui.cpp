// The main window under load, shown on a real (virtual) display: the time from the search
// broadcast to all rows shown in lv_Dev, and the time to append a flood of traffic dumps to the
// panes, fed to the endpoint directly and then sent to its socket by another thread; a flood of
// datagrams of unknown length; 10000 forged search replies from one address; the longest stretch
// the event loop was blocked during each; the window's memory after each.
// Usage: bench_gui LOCAL_IP EXPECTED_ROWS [DATAGRAMS]   (simulated modules answering on LOCAL_IP)
#include "core/AppPaths.h"
#include "gui/DeviceListModel.h"
#include "gui/DeviceListView.h"
#include "gui/LogPanes.h"
#include "gui/MainWindow.h"
#include "gui/SearchColumn.h"
#include "netconfig/LanSession.h"
#include "netconfig/UdpSvr.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <functional>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

// The longest gap between the ticks of a 5 ms timer: how long the event loop could not turn.
class TBlockMeter : public QObject {
public:
    TBlockMeter()
    {
        FTimer.setInterval(5);
        FTimer.setTimerType(Qt::PreciseTimer);
        connect(&FTimer, &QTimer::timeout, this, [this] {
            const qint64 now = FClock.nsecsElapsed();
            FLongest = std::max(FLongest, now - FLast);
            FLast = now;
        });
    }
    void Start()
    {
        FClock.start();
        FLast = 0;
        FLongest = 0;
        FTimer.start();
    }
    double StopMs()
    {
        FTimer.stop();
        FLongest = std::max(FLongest, FClock.nsecsElapsed() - FLast);
        return FLongest / 1e6;
    }

private:
    QTimer FTimer;
    QElapsedTimer FClock;
    qint64 FLast = 0, FLongest = 0;
};

bool waitFor(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

double rssMiB()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return -1;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    if (argc < 3) {
        fprintf(stderr, "usage: bench_gui LOCAL_IP EXPECTED_ROWS [DATAGRAMS]\n");
        return 2;
    }
    const int expected = atoi(argv[2]);
    const int datagrams = argc > 3 ? atoi(argv[3]) : 30000;
    QTemporaryDir data;
    SetDataFolderOverride(data.path());

    TFrm_Main w;
    w.ShowMessage = [](const QString &) {};
    w.UdpSvr->AddressOverride = {QString::fromLatin1(argv[1])};
    w.show();
    if (!waitFor([&] { return w.isVisible() && w.lv_Dev->viewport()->isVisible(); }, 5000))
        return 1;
    waitFor([] { return false; }, 300); // let the window settle
    printf("gui_rss_idle: %.1f MiB\n", rssMiB());
    TBlockMeter meter;

    // Search: broadcast to all rows painted.
    QElapsedTimer clock;
    meter.Start();
    clock.start();
    w.rzpgcntrl_Srch->btn_Search->click();
    // Shown: every row in the model and the list painted with them.
    const bool found = waitFor([&] {
        if (w.DevModel->rowCount() < expected)
            return false;
        w.lv_Dev->viewport()->repaint();
        return true;
    }, 20000);
    const double searchMs = clock.nsecsElapsed() / 1e6;
    const double searchBlock = meter.StopMs();
    if (!found) {
        printf("gui_search_rows_found: %d rows (of %d, within 20000 ms)\n", w.DevModel->rowCount(), expected);
        return 1;
    }
    printf("gui_search_%d_rows_shown: %.1f ms\n", expected, searchMs);
    printf("gui_search_longest_block: %.1f ms\n", searchBlock);

    // Flood: acknowledgements arriving faster than anyone reads them, each dumped in four lines
    // of the data-stream pane and logged in the operation log, handled as the endpoint drains its
    // socket: many datagrams per turn of the event loop.
    w.rzpgcntrl_Logs->setCurrentIndex(1);
    waitFor([] { return false; }, 200);
    const QByteArray ack = QByteArray::fromHex("FF01054B");
    const QString peer = QStringLiteral("192.168.0.7");
    const QString local = QString::fromLatin1(argv[1]);
    constexpr int PerTurn = 256;
    int fed = 0;
    QTimer feeder;
    feeder.setInterval(0);
    QObject::connect(&feeder, &QTimer::timeout, [&] {
        for (int i = 0; i < PerTurn && fed < datagrams; ++i, ++fed)
            w.UdpSvr->UDPRead(ack, peer, DevPortQ2, local, 1500, 0);
        if (fed >= datagrams)
            feeder.stop();
    });
    meter.Start();
    clock.restart();
    feeder.start();
    // Shown: every line in the panes and the data-stream pane painted at its end.
    const bool flooded = waitFor([&] {
        if (fed < datagrams || w.rzpgcntrl_Logs->PendingLines() > 0)
            return false;
        w.rzpgcntrl_Logs->Memo2()->viewport()->repaint();
        return true;
    }, 120000);
    const double floodMs = clock.nsecsElapsed() / 1e6;
    const double floodBlock = meter.StopMs();
    if (!flooded) {
        printf("gui_flood_datagrams_fed: %d datagrams (of %d, within 120000 ms)\n", fed, datagrams);
        return 1;
    }
    printf("gui_flood_%d_dumps_shown: %.1f ms\n", datagrams, floodMs);
    printf("gui_flood_per_dump: %.1f us\n", floodMs * 1000.0 / datagrams);
    printf("gui_flood_longest_block: %.1f ms\n", floodBlock);
    printf("gui_flood_hex_lines: %d lines (the pane keeps %d)\n", w.rzpgcntrl_Logs->Memo2()->document()->blockCount(),
           TLogPanes::MaxPaneLines);
    printf("gui_rss_after_flood: %.1f MiB\n", rssMiB());

    // The same number of acknowledgements through the network: another thread sends them from
    // a module's port (1500 on 127.0.0.2) to the window's socket, in bursts of 64 with 1 ms
    // pauses; the endpoint drains its socket on each wake-up, however many wait. What the receive
    // buffer cannot hold is dropped by the kernel, as on a real network.
    w.rzpgcntrl_Logs->Clear();
    // Every datagram the endpoint hands on is dumped (the pane keeps only its last lines).
    int received = 0;
    const TUdpSvr::TTrafficEvent dump = w.UdpSvr->OnRecvData;
    w.UdpSvr->OnRecvData = [&](const QByteArray &d, const QString &peer, const QString &l, int pp, int lp) {
        ++received;
        dump(d, peer, l, pp, lp);
    };
    const auto countDumps = [&] {
        w.rzpgcntrl_Logs->Flush();
        return received;
    };
    const int before = countDumps();
    std::atomic<bool> sent{false};
    const uint16_t windowPort = uint16_t(w.UdpSvr->BindingPort(0));
    meter.Start();
    clock.restart();
    std::thread sender([&] {
        const int fd = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in from{};
        from.sin_family = AF_INET;
        from.sin_port = htons(DevPortQ2);
        inet_pton(AF_INET, "127.0.0.2", &from.sin_addr);
        bind(fd, reinterpret_cast<sockaddr *>(&from), sizeof from);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(windowPort);
        inet_pton(AF_INET, argv[1], &to.sin_addr);
        for (int i = 0; i < datagrams; ++i) {
            sendto(fd, ack.constData(), size_t(ack.size()), 0, reinterpret_cast<sockaddr *>(&to), sizeof to);
            if (i % 64 == 63)
                usleep(1000);
        }
        close(fd);
        sent = true;
    });
    // Done: everything sent and no dump added for a while.
    int last = -1;
    QElapsedTimer quiet;
    waitFor([&] {
        const int now = countDumps();
        if (now != last) {
            last = now;
            quiet.restart();
        }
        return sent && quiet.elapsed() > 500;
    }, 120000);
    sender.join();
    const double socketMs = clock.nsecsElapsed() / 1e6 - 500;
    const double socketBlock = meter.StopMs();
    const int handled = countDumps() - before;
    printf("gui_socket_flood_%d_sent_handled: %d datagrams\n", datagrams, handled);
    printf("gui_socket_flood_time: %.1f ms\n", socketMs);
    printf("gui_socket_flood_longest_block: %.1f ms\n", socketBlock);
    printf("gui_rss_after_socket_flood: %.1f MiB\n", rssMiB());

    // Datagrams of a length no reply has, as a hostile peer sends them: summed up per second.
    w.rzpgcntrl_Logs->Clear();
    const QByteArray junk(77, '\x5A');
    fed = 0;
    QObject::disconnect(&feeder, nullptr, nullptr, nullptr);
    QObject::connect(&feeder, &QTimer::timeout, [&] {
        for (int i = 0; i < PerTurn && fed < datagrams; ++i, ++fed)
            w.UdpSvr->UDPRead(junk, peer, 3000, local, 1500, 0);
        if (fed >= datagrams)
            feeder.stop();
    });
    meter.Start();
    clock.restart();
    feeder.start();
    waitFor([&] { return fed >= datagrams && w.rzpgcntrl_Logs->PendingLines() == 0; }, 120000);
    const double junkMs = clock.nsecsElapsed() / 1e6;
    const double junkBlock = meter.StopMs();
    w.rzpgcntrl_Logs->Flush();
    printf("gui_unknown_flood_%d_handled: %.1f ms\n", datagrams, junkMs);
    printf("gui_unknown_flood_longest_block: %.1f ms\n", junkBlock);
    printf("gui_unknown_flood_log_lines: %d lines\n", w.rzpgcntrl_Logs->Memo1()->document()->blockCount());
    printf("gui_unknown_flood_hex_lines: %d lines\n", w.rzpgcntrl_Logs->Memo2()->document()->blockCount());

    // 10000 search replies from one address, each with a MAC of its own, arriving as the endpoint
    // drains them: the list stops at its limit with one warning.
    w.rzpgcntrl_Logs->Clear();
    w.Session->ClearList();
    constexpr int Forged = 10000;
    QByteArray forged(36, '\0');
    forged[0] = char(0xFF);
    forged[1] = 0x24;
    forged[2] = 0x01;
    forged[5] = 10;
    forged[8] = 66;
    forged[9] = 0x02;
    forged[15] = char(4017 & 0xFF);
    forged[16] = char(4017 >> 8);
    forged.replace(19, 6, "forged");
    int replies = 0;
    QTimer replier;
    replier.setInterval(0);
    QObject::connect(&replier, &QTimer::timeout, [&] {
        for (int i = 0; i < PerTurn && replies < Forged; ++i, ++replies) {
            forged[12] = char((replies >> 16) & 0xFF);
            forged[13] = char((replies >> 8) & 0xFF);
            forged[14] = char(replies & 0xFF);
            w.UdpSvr->UDPRead(forged, QStringLiteral("10.0.0.66"), DevPortQ2, local, 1500, 0);
        }
        if (replies >= Forged)
            replier.stop();
    });
    meter.Start();
    clock.restart();
    replier.start();
    waitFor([&] {
        if (replies < Forged || w.rzpgcntrl_Logs->PendingLines() > 0)
            return false;
        w.lv_Dev->viewport()->repaint();
        return true;
    }, 120000);
    const double forgedMs = clock.nsecsElapsed() / 1e6;
    const double forgedBlock = meter.StopMs();
    printf("gui_reply_flood_%d_handled: %.1f ms\n", Forged, forgedMs);
    printf("gui_reply_flood_rows: %d rows\n", w.DevModel->rowCount());
    printf("gui_reply_flood_longest_block: %.1f ms\n", forgedBlock);
    printf("gui_rss_after_reply_flood: %.1f MiB\n", rssMiB());
    w.close();
    return 0;
}
