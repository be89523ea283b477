// The address list of a search by address comes from the command line and the window's field: any
// text gives a checked list or a clear fault, never more than the limit, and never an address no
// module can have. A list that passed reads back the same from its own addresses.
#include "lang/LangList.h"
#include "netconfig/AddressRange.h"

#include <QSet>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool lang = [] {
        InitLanguage(QString());
        return true;
    }();
    (void)lang;
    if (size == 0)
        return 0;
    // The first byte picks the limit, so that small limits are reached as well as the real one.
    const int limit = data[0] < 128 ? MaxSearchAddresses : 1 + data[0] % 64;
    const QStringList texts =
        QString::fromUtf8(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1)).split(u'\n');
    QList<quint32> got;
    TRangeError e;
    if (!ParseAddressRanges(texts, got, e, limit)) {
        if (!got.isEmpty() || e.Fault == TRangeFault::None || RangeErrorText(e).isEmpty())
            __builtin_trap();
        return 0;
    }
    if (got.isEmpty() || got.size() > limit || e.Fault != TRangeFault::None)
        __builtin_trap();
    QSet<quint32> seen;
    QStringList back;
    for (quint32 a : got) {
        if (a < 0x01000000u || a >= 0xE0000000u || seen.contains(a))
            __builtin_trap();
        seen.insert(a);
        back << AddressText(a);
    }
    QList<quint32> again;
    if (!ParseAddressRanges({back.join(u',')}, again, e, limit) || again != got)
        __builtin_trap();
    return 0;
}
