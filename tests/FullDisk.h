#pragma once
// A file system that is full: a small tmpfs, in a mount namespace of a child process of its own,
// filled to its last byte. Needs root (as the test command runs); elsewhere the caller skips.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <functional>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

enum class TFullDiskRun { Passed, Failed, Unavailable };

// In a child: mounts a 64 KiB tmpfs on folder, runs prepare (the files there before the disk
// filled up), fills the rest, runs body. The child's failures are reported as it runs; the result
// says whether there were any.
inline TFullDiskRun RunOnFullDisk(const QString &folder, const std::function<void()> &prepare,
                                  const std::function<void()> &body)
{
    fflush(stdout);
    fflush(stderr);
    const pid_t pid = fork();
    if (pid < 0)
        return TFullDiskRun::Unavailable;
    if (pid == 0) {
        const QByteArray where = QFile::encodeName(folder);
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", where.constData(), "tmpfs", 0, "size=64k") != 0)
            _exit(77);
        prepare();
        const QByteArray filler = QFile::encodeName(QDir(folder).filePath(QStringLiteral("filler")));
        const int fd = open(filler.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const char block[4096] = {};
        while (fd >= 0 && write(fd, block, sizeof block) > 0) {
        }
        while (fd >= 0 && write(fd, block, 1) > 0) {
        }
        if (fd >= 0)
            close(fd);
        body();
        fflush(stdout);
        _exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77)
        return TFullDiskRun::Unavailable;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? TFullDiskRun::Passed : TFullDiskRun::Failed;
}

// The names in folder that are left-overs of a write (none may stay after one).
inline QStringList Temporaries(const QString &folder)
{
    return QDir(folder).entryList({QStringLiteral(".bexo-tmp.*"), QStringLiteral("*.XXXXXX"), QStringLiteral("*.??????")},
                                  QDir::Files | QDir::Hidden | QDir::System);
}
