#include "core/Wait.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

void WaitWithMessages(int Milliseconds)
{
    if (Milliseconds <= 0) {
        QCoreApplication::processEvents();
        return;
    }
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(Milliseconds);
    // A quit of the application also ends this nested loop; then the wait ends early instead
    // of spinning on a loop that no longer runs.
    loop.exec();
}
