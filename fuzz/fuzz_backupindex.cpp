// The index of a backup folder is read back when a later backup adds to the folder, and anyone
// may have edited it: any bytes give its lines or a clear refusal, and lines that passed write out
// and read back the same.
#include "netconfig/Backup.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QList<TBackupEntry> entries;
    QString error;
    if (!ParseBackupIndex(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)), entries, error)) {
        if (error.isEmpty() || !entries.isEmpty())
            __builtin_trap();
        return 0;
    }
    if (entries.size() > MaxBackupFiles)
        __builtin_trap();
    for (const TBackupEntry &e : entries)
        if (e.File != BackupFileName(e.Mac) || MacOfBackupFileName(e.File).isEmpty())
            __builtin_trap();
    QList<TBackupEntry> back;
    if (!ParseBackupIndex(BackupIndexText(entries), back, error) || !(back == entries))
        __builtin_trap();
    return 0;
}
