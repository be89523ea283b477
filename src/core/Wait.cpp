#include "core/Wait.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

bool WaitUntil(int Milliseconds, const std::function<bool()> &Done)
{
    if (Done && Done())
        return true;
    if (Milliseconds <= 0) {
        QCoreApplication::processEvents();
        return Done && Done();
    }
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    bool done = false;
    // The dispatcher is about to sleep once it has handled what was there: the moment to look.
    QMetaObject::Connection check;
    if (Done)
        if (QAbstractEventDispatcher *d = QAbstractEventDispatcher::instance())
            check = QObject::connect(d, &QAbstractEventDispatcher::aboutToBlock, &loop, [&] {
                if (!done && Done()) {
                    done = true;
                    loop.quit();
                }
            });
    timer.start(Milliseconds);
    // A quit of the application also ends this nested loop; then the wait ends early instead
    // of spinning on a loop that no longer runs.
    loop.exec();
    QObject::disconnect(check);
    return done || (Done && Done());
}

void WaitWithMessages(int Milliseconds) { WaitUntil(Milliseconds, {}); }
