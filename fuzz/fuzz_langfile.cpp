// Lang.txt is edited by users: any bytes must split into entries without a fault, and lookups on
// what was read must hold.
#include "lang/LangList.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TLangList list;
    list.Add(QStringLiteral("lang_Hint_ACK"), QStringLiteral("正确执行"), QStringLiteral(" ACK."));
    list.ReadLangImage(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    if (list.FileNames.size() != list.FileChinese.size() || list.FileNames.size() != list.FileEnglish.size())
        __builtin_trap();
    for (bool zh : {false, true}) {
        list.IsChinese = zh;
        (void)list.GetText(QStringLiteral("lang_hint_ack"));
        if (!list.FileNames.isEmpty())
            (void)list.GetText(list.FileNames.first());
        if (!list.FileEnglish.isEmpty())
            (void)list.GetText(list.FileEnglish.last());
    }
    return 0;
}
