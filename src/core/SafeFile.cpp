#include "core/SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString errnoText(int err) { return QString::fromLocal8Bit(strerror(err)); }

QByteArray native(const QString &path) { return QFile::encodeName(path); }

int closeChecked(int fd)
{
    // Linux releases the descriptor even when close reports an error; never retry it.
    return ::close(fd) == 0 ? 0 : errno;
}

int writeAll(int fd, const char *data, qsizetype size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return ENOSPC; // nothing taken and no reason given: the file system is full
        data += n;
        size -= n;
    }
    return 0;
}

// The file a write really replaces: the target of a symbolic link, else the path itself.
QString targetOf(const QString &path)
{
    struct stat st {};
    if (::lstat(native(path).constData(), &st) != 0 || !S_ISLNK(st.st_mode))
        return path;
    char resolved[PATH_MAX];
    if (::realpath(native(path).constData(), resolved))
        return QFile::decodeName(resolved);
    // A dangling link: the file it names is created.
    const QString link = QFileInfo(path).symLinkTarget();
    return link.isEmpty() ? path : link;
}

QString tempName(const QString &folder, const QString &name)
{
    static std::atomic<unsigned> counter{0};
    // Kept well inside NAME_MAX (bytes) whatever the target's name.
    QString shown = name;
    while (QFile::encodeName(shown).size() > 150)
        shown.chop(1);
    return QDir(folder).filePath(QStringLiteral("%1%2.%3.%4")
                                     .arg(SafeWriteTempPrefix)
                                     .arg(::getpid())
                                     .arg(counter.fetch_add(1))
                                     .arg(shown));
}

bool processRuns(long pid)
{
    if (pid <= 0 || pid > INT_MAX)
        return false;
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

void syncFolder(const QString &folder)
{
    const int fd = ::open(native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd); // best effort: the rename is done either way
    ::close(fd);
}

} // namespace

int RemoveStaleTemporaries(const QString &folder)
{
    const QDir dir(folder);
    const QStringList names = dir.entryList({SafeWriteTempPrefix + u'*'}, QDir::Files | QDir::Hidden | QDir::System);
    const time_t hourAgo = ::time(nullptr) - 3600;
    int removed = 0;
    for (const QString &name : names) {
        // .bexo-tmp.<pid>.<n>.<name>
        const QStringList parts = name.mid(SafeWriteTempPrefix.size()).split(u'.');
        bool ok = false;
        const long pid = parts.isEmpty() ? 0 : parts[0].toLong(&ok);
        const QString path = dir.filePath(name);
        struct stat st {};
        if (::lstat(native(path).constData(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
            continue;
        // A name without a process, or our own (a write of ours that failed to clean up): by age only.
        const bool byAgeOnly = !ok || pid == ::getpid();
        const bool stale = st.st_mtime < hourAgo || (!byAgeOnly && !processRuns(pid));
        if (stale && ::unlink(native(path).constData()) == 0)
            ++removed;
    }
    return removed;
}

bool SafeWriteFile(const QString &pathIn, const QByteArray &data, QString &error, const TSafeWriteOptions &options)
{
    const QString path = targetOf(pathIn);
    const QFileInfo info(path);
    const QString folder = info.absolutePath();
    const auto refuse = [&](int err) {
        error = errnoText(err);
        return false;
    };

    struct stat old {};
    const bool exists = ::stat(native(path).constData(), &old) == 0;
    if (exists) {
        if (!S_ISREG(old.st_mode)) {
            error = QStringLiteral("not a regular file");
            return false;
        }
        // A file its owner made read-only stays unchanged, as an in-place write would.
        if (::access(native(path).constData(), W_OK) != 0)
            return refuse(errno);
    } else if (errno != ENOENT) {
        return refuse(errno);
    }

    RemoveStaleTemporaries(folder);

    QString temp;
    int fd = -1;
    for (int tries = 0; fd < 0 && tries < 4; ++tries) {
        temp = tempName(folder, info.fileName());
        fd = ::open(native(temp).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                    mode_t(exists ? 0600 : options.NewFileMode));
        if (fd < 0 && errno != EEXIST)
            return refuse(errno);
    }
    if (fd < 0)
        return refuse(EEXIST);
    const auto abandon = [&](int err) {
        if (fd >= 0)
            ::close(fd);
        ::unlink(native(temp).constData());
        return refuse(err);
    };

    if (exists) {
        mode_t mode = old.st_mode & 07777;
        if (options.OwnerOnly)
            mode &= 0700;
        // Root writing a user's file hands it back to that user.
        if (::geteuid() == 0 && (old.st_uid != 0 || old.st_gid != 0))
            (void)!::fchown(fd, old.st_uid, old.st_gid);
        if (::fchmod(fd, mode) != 0)
            return abandon(errno);
    }
    if (const int err = writeAll(fd, data.constData(), data.size()))
        return abandon(err);
    // Some file systems report a full disk only here.
    if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS)
        return abandon(errno);
    const int closed = closeChecked(fd);
    fd = -1;
    if (closed)
        return abandon(closed);
    if (::rename(native(temp).constData(), native(path).constData()) != 0)
        return abandon(errno);
    syncFolder(folder);
    error.clear();
    return true;
}

int OpenRegularFile(const QString &path, qint64 maxBytes, TFileRefusal &refusal, QString &error, qint64 *size)
{
    refusal = TFileRefusal::None;
    error.clear();
    // Non-blocking, so that opening a FIFO without a writer returns at once; no terminal becomes
    // ours by being opened.
    const int fd = ::open(native(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        refusal = TFileRefusal::CannotOpen;
        error = errnoText(errno);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        refusal = TFileRefusal::CannotOpen;
        error = errnoText(errno);
        ::close(fd);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        refusal = TFileRefusal::NotRegular;
        error = S_ISDIR(st.st_mode)    ? QStringLiteral("a folder, not a regular file")
                : S_ISFIFO(st.st_mode) ? QStringLiteral("a pipe, not a regular file")
                : S_ISSOCK(st.st_mode) ? QStringLiteral("a socket, not a regular file")
                                       : QStringLiteral("a device, not a regular file");
        ::close(fd);
        return -1;
    }
    if (maxBytes >= 0 && st.st_size > maxBytes) {
        refusal = TFileRefusal::TooLarge;
        error = QStringLiteral("%1 bytes, more than the %2 allowed").arg(qint64(st.st_size)).arg(maxBytes);
        ::close(fd);
        return -1;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    if (size)
        *size = qint64(st.st_size);
    return fd;
}

bool ReadRegularFile(const QString &path, qint64 maxBytes, QByteArray &data, TFileRefusal &refusal, QString &error)
{
    qint64 size = 0;
    const int fd = OpenRegularFile(path, maxBytes, refusal, error, &size);
    if (fd < 0)
        return false;
    // The size at the open is only a hint: read until the end, never beyond the limit and one.
    const qint64 limit = maxBytes >= 0 ? maxBytes + 1 : std::numeric_limits<qint64>::max();
    QByteArray out;
    out.reserve(qsizetype(std::min<qint64>(size, limit)));
    char buffer[65536];
    while (qint64(out.size()) < limit) {
        const ssize_t n = ::read(fd, buffer, size_t(std::min<qint64>(sizeof buffer, limit - out.size())));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            refusal = TFileRefusal::ReadError;
            error = errnoText(errno);
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        out.append(buffer, n);
    }
    ::close(fd);
    if (maxBytes >= 0 && out.size() > maxBytes) {
        refusal = TFileRefusal::TooLarge;
        error = QStringLiteral("more than the %1 bytes allowed").arg(maxBytes);
        return false;
    }
    data = out;
    return true;
}
