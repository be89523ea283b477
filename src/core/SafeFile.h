#pragma once
// Files written whole or not at all, and files read only when they are plain files of a sane size.
//
// A write goes into a temporary file beside the target (".bexo-tmp.<pid>.<n>.<name>"), checks that
// every byte reached it (each write, then fsync and close) and only then renames it over the target.
// On any failure the old file stays as it was and the temporary is removed; the error says why
// ("No space left on device"). Temporaries left behind by a program killed mid-write are removed by
// the next write into the same folder.
//
// A read opens without blocking (a FIFO or a device would otherwise hang the open) and refuses
// anything but a regular file, and files larger than the caller allows, before reading a byte.

#include <QByteArray>
#include <QString>

struct TSafeWriteOptions {
    int NewFileMode = 0666;     // for a file that does not exist yet (the umask applies)
    bool OwnerOnly = false;     // an existing file loses every group and other permission
};

// True when path holds exactly data afterwards; false with error set when it holds what it held
// before. A target that exists and is no regular file (a FIFO, a folder) is refused; a symbolic
// link is followed, and the file it names is replaced.
bool SafeWriteFile(const QString &path, const QByteArray &data, QString &error,
                   const TSafeWriteOptions &options = {});

// Removes the temporaries in folder whose writer has gone (its process no longer runs, or the
// file is more than an hour old). Returns how many were removed.
int RemoveStaleTemporaries(const QString &folder);
// The name prefix of those temporaries.
inline const QString SafeWriteTempPrefix = QStringLiteral(".bexo-tmp.");

enum class TFileRefusal {
    None,
    CannotOpen, // missing, no permission, ...
    NotRegular, // a FIFO, a device, a folder, a socket
    TooLarge,   // more than the caller's limit
    ReadError,  // the read itself failed, or the file changed size under us
};

// Opens path for reading when it is a regular file of at most maxBytes bytes; returns the
// descriptor (blocking reads, close-on-exec) and its size, or -1 with refusal and error set.
int OpenRegularFile(const QString &path, qint64 maxBytes, TFileRefusal &refusal, QString &error,
                    qint64 *size = nullptr);
// The whole of such a file.
bool ReadRegularFile(const QString &path, qint64 maxBytes, QByteArray &data, TFileRefusal &refusal,
                     QString &error);
