// Profile files are written by hand and passed around: any bytes must give a checked profile or a
// clear refusal. A profile that passed must write out and read back the same, hold only values the
// page's checks take, and apply to a page without a fault.
#include "lang/LangList.h"
#include "netconfig/PageFields.h"
#include "netconfig/Profile.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool lang = [] {
        InitLanguage(QString());
        return true;
    }();
    (void)lang;
    TProfile p;
    QString error;
    if (!ParseProfile(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)), p, error)) {
        if (error.isEmpty() || !p.Fields.isEmpty())
            __builtin_trap();
        return 0;
    }
    TProfile back;
    if (!ParseProfile(ProfileToJson(p), back, error) || !(back == p))
        __builtin_trap();
    // The parser and the page's checks hold one rule: a value it let through must pass them.
    for (const TProfileField &f : p.Fields) {
        const TPageField<TQ2Page> *field = FindPageField(Q2PageFields(), f.Name);
        if (!field || CheckValueRule(field->Rule, ProfileValueText(f.Value)) != TValueFault::None)
            __builtin_trap();
    }
    for (int version : {4016, 4017}) {
        TQ2Page page;
        const TProfileApplied r = ApplyProfile(page, version, &p, {});
        if (r.Written.size() + r.Skipped.size() != p.Fields.size())
            __builtin_trap();
    }
    return 0;
}
