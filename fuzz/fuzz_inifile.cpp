// Cfg.ini may be edited by hand: any bytes must read as values or defaults without a fault.
#include "core/IniFile.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray image(reinterpret_cast<const char *>(data), qsizetype(size));
    static const char *const keys[] = {"Custom", "Language", "RealTimeHelp", "LocalCom", "QNum",
                                       "UpgradeIP", "UpgradeMAC", "UpgradeFileName", "FilePath"};
    for (const char *key : keys) {
        QString value;
        if (TIniFile::FindValue(image, QStringLiteral("System"), QString::fromLatin1(key), value)) {
            if (value.toUtf8().size() > 3 * TIniFile::MaxValueBytes)
                __builtin_trap();
            (void)TIniFile::IntegerValue(value, 1);
        }
    }
    return 0;
}
