#include "upgrade/BindHelper.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#ifndef BEXO_BIND_HELPER_INSTALLED
#define BEXO_BIND_HELPER_INSTALLED "/usr/libexec/bexo-z0/bexo-z0-bind"
#endif

namespace {

qint64 nowMs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

// Waits for the answer; false on a time-out or a broken socket.
bool waitReadable(int fd, int timeoutMs)
{
    const qint64 until = nowMs() + timeoutMs;
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        const qint64 left = until - nowMs();
        if (left <= 0)
            return false;
        const int r = ::poll(&p, 1, int(left));
        if (r > 0)
            return true;
        if (r < 0 && errno != EINTR)
            return false;
    }
}

// A received socket that is the asked binding: UDP over IPv4, bound to the asked address and port.
bool isBinding(int fd, in_addr addr, const TUpBindRequest &req)
{
    int domain = 0, type = 0;
    socklen_t len = sizeof domain;
    if (::getsockopt(fd, SOL_SOCKET, SO_DOMAIN, &domain, &len) != 0 || domain != AF_INET)
        return false;
    len = sizeof type;
    if (::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &len) != 0 || type != SOCK_DGRAM)
        return false;
    sockaddr_in sa{};
    len = sizeof sa;
    if (::getsockname(fd, reinterpret_cast<sockaddr *>(&sa), &len) != 0 || sa.sin_family != AF_INET)
        return false;
    const in_addr_t want = req.Broadcast ? htonl(INADDR_BROADCAST) : addr.s_addr;
    return sa.sin_addr.s_addr == want && ntohs(sa.sin_port) == req.Port;
}

// The kernel's own verdict on running the file as this user; when it says no, which group may.
bool mayNotRun(const QString &helper, TBindHelperOutcome &out)
{
    const QByteArray path = QFile::encodeName(helper);
    if (::access(path.constData(), X_OK) == 0 || errno != EACCES)
        return false;
    out.NotPermitted = true;
    struct stat st{};
    if (::stat(path.constData(), &st) == 0 && (st.st_mode & S_IXGRP)) {
        // getgrgid_r needs a buffer of a size only sysconf knows; 16 KiB holds any sane entry.
        std::vector<char> buf(16384);
        group g{}, *found = nullptr;
        if (::getgrgid_r(st.st_gid, &g, buf.data(), buf.size(), &found) == 0 && found && found->gr_name)
            out.Group = QString::fromLocal8Bit(found->gr_name);
        else
            out.Group = QString::number(st.st_gid);
    }
    return true;
}

void closeAll(std::vector<int> &fds)
{
    for (int fd : fds)
        ::close(fd);
    fds.clear();
}

} // namespace

QStringList BindHelperCandidates()
{
    if (qEnvironmentVariableIsSet("BEXO_BIND_HELPER")) {
        const QString path = qEnvironmentVariable("BEXO_BIND_HELPER");
        return path.isEmpty() ? QStringList() : QStringList{path};
    }
    QStringList out;
    if (QCoreApplication::instance())
        out << QDir(QCoreApplication::applicationDirPath()).filePath(QLatin1String(UpHelperName));
    out << QStringLiteral(BEXO_BIND_HELPER_INSTALLED);
    return out;
}

QString FindBindHelper()
{
    constexpr QFile::Permissions anyExec = QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
    for (const QString &path : BindHelperCandidates()) {
        const QFileInfo info(path);
        if (info.isFile() && (info.permissions() & anyExec))
            return info.absoluteFilePath();
    }
    return {};
}

TBindHelperRun ExchangeWithBindHelper(const QString &helper, const QStringList &args, int timeoutMs)
{
    TBindHelperRun run;
    // Everything the child needs is made before the fork: after it only async-signal-safe calls.
    const QByteArray path = QFile::encodeName(helper);
    std::vector<QByteArray> texts;
    texts.reserve(size_t(args.size()));
    for (const QString &a : args)
        texts.push_back(a.toLocal8Bit());
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(path.constData()));
    for (QByteArray &t : texts)
        argv.push_back(t.data());
    argv.push_back(nullptr);

    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) {
        run.StartError = QStringLiteral("cannot make a socket pair: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        return run;
    }
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    const pid_t pid = null < 0 ? -1 : ::fork();
    if (pid == 0) {
        // Its end goes to descriptor 3 (moved out of the way first, in case it is below 3),
        // /dev/null to 0, 1 and 2; everything else of ours closes on exec.
        const int end = ::fcntl(pair[1], F_DUPFD_CLOEXEC, 10);
        if (end < 0 || ::dup2(null, 0) < 0 || ::dup2(null, 1) < 0 || ::dup2(null, 2) < 0 || ::dup2(end, 3) < 0)
            _exit(127);
        ::execv(argv[0], argv.data());
        _exit(127);
    }
    const int startErr = errno;
    ::close(pair[1]);
    if (null >= 0)
        ::close(null);
    if (pid < 0) {
        ::close(pair[0]);
        run.StartError = QStringLiteral("cannot start it: %1").arg(QString::fromLocal8Bit(strerror(startErr)));
        return run;
    }

    if (waitReadable(pair[0], timeoutMs)) {
        char data[160];
        iovec iov{data, sizeof data};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * (UpHelperMaxBindings + 1))];
        msghdr msg{};
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        ssize_t n;
        do
            n = ::recvmsg(pair[0], &msg, MSG_CMSG_CLOEXEC);
        while (n < 0 && errno == EINTR);
        if (n > 0) {
            for (cmsghdr *c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c))
                if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS) {
                    const size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
                    for (size_t i = 0; i < count; ++i) {
                        int fd;
                        memcpy(&fd, CMSG_DATA(c) + i * sizeof(int), sizeof fd);
                        run.Fds.push_back(fd);
                    }
                }
            const bool whole = !(msg.msg_flags & (MSG_TRUNC | MSG_CTRUNC));
            run.Answered = whole && UpParseHelperReply(data, size_t(n), run.Reply);
        }
    } else {
        run.TimedOut = true;
        ::kill(pid, SIGKILL);
    }
    ::close(pair[0]);

    int status = 0;
    pid_t done;
    do
        done = ::waitpid(pid, &status, 0);
    while (done < 0 && errno == EINTR);
    if (done == pid && WIFEXITED(status))
        run.ExitCode = WEXITSTATUS(status);
    else if (done == pid && WIFSIGNALED(status))
        run.Signal = WTERMSIG(status);
    return run;
}

TBindHelperOutcome RunBindHelper(const QString &helper, in_addr addr, const TUpBindRequest *specs, int count, int *fds)
{
    TBindHelperOutcome out;
    for (int i = 0; i < count; ++i)
        fds[i] = -1;
    char address[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &addr, address, sizeof address);
    QStringList args{QStringLiteral("3"), QString::fromLatin1(address)};
    for (int i = 0; i < count; ++i) {
        char text[16];
        UpFormatBinding(specs[i], text);
        args << QString::fromLatin1(text);
    }

    const QString who = QStringLiteral("the binding helper %1").arg(helper);
    if (mayNotRun(helper, out)) {
        out.Reason = out.Group.isEmpty()
                         ? QStringLiteral("%1 may not be run by this user").arg(who)
                         : QStringLiteral("%1 may be run only by the members of the group %2, and this user is not one")
                               .arg(who, out.Group);
        return out;
    }
    TBindHelperRun run = ExchangeWithBindHelper(helper, args);
    if (!run.StartError.isEmpty()) {
        out.Reason = QStringLiteral("%1: %2").arg(who, run.StartError);
        return out;
    }
    if (run.Answered && run.Reply.Answer == TUpHelperAnswer::Ok && int(run.Fds.size()) == count &&
        run.Reply.Count == count) {
        bool sound = true;
        for (int i = 0; i < count; ++i)
            sound = sound && isBinding(run.Fds[size_t(i)], addr, specs[i]);
        if (sound) {
            for (int i = 0; i < count; ++i)
                fds[i] = run.Fds[size_t(i)];
            out.Ok = true;
            return out;
        }
        closeAll(run.Fds);
        out.Reason = QStringLiteral("%1 answered with sockets that were not asked for").arg(who);
        return out;
    }
    closeAll(run.Fds);
    if (run.Answered && run.Reply.Answer == TUpHelperAnswer::Error && run.Reply.Index < count) {
        out.FailedIndex = run.Reply.Index;
        out.Errno = run.Reply.Errno;
    } else if (run.Answered && run.Reply.Answer == TUpHelperAnswer::Refused) {
        out.Reason = QStringLiteral("%1 refused: %2").arg(who, QString::fromLatin1(run.Reply.Text));
    } else if (run.TimedOut) {
        out.Reason = QStringLiteral("%1 did not answer within 5 s").arg(who);
    } else if (run.ExitCode == 127) {
        out.Reason = QStringLiteral("%1 could not be run").arg(who);
    } else if (run.Signal) {
        out.Reason = QStringLiteral("%1 ended by signal %2 without an answer").arg(who).arg(run.Signal);
    } else {
        out.Reason = QStringLiteral("%1 ended with status %2 without a sound answer").arg(who).arg(run.ExitCode);
    }
    return out;
}
