// The index of a backup folder is read back when a later backup adds to the folder, and anyone
// may have edited it: any bytes give its lines or a clear refusal, and lines that passed write out
// and read back to the same text (a name a spreadsheet would take for a formula is defused when
// written, so the text, not the lines, is what stays the same).
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
    const QByteArray text = BackupIndexText(entries);
    if (!ParseBackupIndex(text, back, error) || back.size() != entries.size() || BackupIndexText(back) != text)
        __builtin_trap();
    return 0;
}
