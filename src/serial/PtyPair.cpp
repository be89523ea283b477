#include "serial/PtyPair.h"

#include <QDeadlineTimer>
#include <QThread>

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>
#endif

#if defined(Q_OS_UNIX)

namespace {

// Waits until fd is ready for events or the deadline passes.
bool WaitFd(int fd, short events, const QDeadlineTimer &deadline)
{
    for (;;) {
        pollfd p {fd, events, 0};
        const int r = ::poll(&p, 1, int(std::max<qint64>(deadline.remainingTime(), 0)));
        if (r > 0)
            return (p.revents & events) != 0;
        if (r == 0)
            return false;
        if (errno != EINTR)
            return false;
    }
}

} // namespace

bool TPtyPair::Open(QString *error)
{
    Close();
    int master = -1, slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        if (error)
            *error = QStringLiteral("openpty: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    char name[256] = {};
    if (::ttyname_r(slave, name, sizeof name) != 0) {
        if (error)
            *error = QStringLiteral("ttyname: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        ::close(master);
        ::close(slave);
        return false;
    }
    termios t {};
    if (::tcgetattr(slave, &t) == 0) {
        ::cfmakeraw(&t);
        ::tcsetattr(slave, TCSANOW, &t);
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    FMaster = master;
    FSlave = slave;
    FSlavePath = QString::fromLocal8Bit(name);
    return true;
}

void TPtyPair::Close()
{
    if (FMaster >= 0)
        ::close(FMaster);
    if (FSlave >= 0)
        ::close(FSlave);
    FMaster = FSlave = -1;
    FSlavePath.clear();
}

bool TPtyPair::Write(const QByteArray &bytes, int timeoutMs)
{
    if (FMaster < 0)
        return false;
    const QDeadlineTimer deadline(timeoutMs);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(FMaster, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            return false;
        if (!WaitFd(FMaster, POLLOUT, deadline))
            return false;
    }
    return true;
}

QByteArray TPtyPair::ReadAvailable()
{
    QByteArray out;
    if (FMaster < 0)
        return out;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(FMaster, buf, sizeof buf);
        if (n > 0)
            out.append(buf, n);
        else if (!(n < 0 && errno == EINTR))
            break;
    }
    return out;
}

QByteArray TPtyPair::Read(int count, int timeoutMs)
{
    QByteArray out;
    if (FMaster < 0)
        return out;
    const QDeadlineTimer deadline(timeoutMs);
    while (out.size() < count) {
        char buf[4096];
        const ssize_t n = ::read(FMaster, buf, size_t(std::min<qsizetype>(qsizetype(sizeof buf), count - out.size())));
        if (n > 0) {
            out.append(buf, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (!WaitFd(FMaster, POLLIN, deadline))
            break;
    }
    return out;
}

#else

bool TPtyPair::Open(QString *error)
{
    if (error)
        *error = QStringLiteral("pseudo-terminals are not available on this system");
    return false;
}
void TPtyPair::Close() {}
bool TPtyPair::Write(const QByteArray &, int) { return false; }
QByteArray TPtyPair::ReadAvailable() { return {}; }
QByteArray TPtyPair::Read(int, int) { return {}; }

#endif

bool TPtyPair::WriteParts(const QList<QByteArray> &parts, int pauseMs, int timeoutMs)
{
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (i > 0)
            QThread::msleep(ulong(std::max(pauseMs, 0)));
        if (!Write(parts[i], timeoutMs))
            return false;
    }
    return true;
}
