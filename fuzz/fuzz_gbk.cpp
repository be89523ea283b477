// The GBK pair must give back any bytes a module or a file holds, and a cut to a field's width
// must stay on a character boundary. Shown or written as JSON, such a text holds no control
// character, no lone surrogate and no line break of its own.
#include "core/Gbk.h"
#include "core/VisibleText.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString text = FromGbk(bytes);
    if (ToGbk(text) != bytes || FromGbk(ToGbk(text)) != text || !FitsGbk(text))
        __builtin_trap();

    // Cut at every width up to the whole: a prefix of the bytes that decodes to a prefix of the text.
    const qsizetype widths[] = {size > 0 ? qsizetype(data[0] % (size + 1)) : 0, qsizetype(size / 2), qsizetype(size) - 1};
    for (const qsizetype width : widths) {
        const QByteArray cut = ToGbkCut(text, width);
        if (cut.size() > width && width >= 0)
            __builtin_trap();
        if (!bytes.startsWith(cut) || !text.startsWith(FromGbk(cut)))
            __builtin_trap();
    }

    // The same bytes as UTF-16 text typed by a user: never a fault, and a cut never grows.
    QString typed(qsizetype(size / 2), Qt::Uninitialized);
    if (!typed.isEmpty())
        std::memcpy(typed.data(), data, size_t(typed.size()) * 2);
    const QByteArray encoded = ToGbk(typed);
    if (ToGbkCut(typed, encoded.size()) != encoded || ToGbkCut(typed, 7).size() > 7)
        __builtin_trap();
    (void)FitsGbk(typed);

    for (const QString &t : {text, typed}) {
        const QString shown = VisibleText(t);
        for (qsizetype i = 0; i < shown.size(); ++i) {
            const char16_t u = shown[i].unicode();
            if (shown[i].isHighSurrogate() && i + 1 < shown.size() && shown[i + 1].isLowSurrogate()) {
                ++i;
                continue;
            }
            if (u < 0x20 || (u >= 0x7F && u <= 0x9F) || u == 0x2028 || u == 0x2029 || QChar::isSurrogate(u))
                __builtin_trap();
        }
        if (VisibleText(QString()) != QString() || (shown.size() < t.size()))
            __builtin_trap();
        const QString json = JsonText(QJsonArray{t});
        QJsonParseError error{};
        const QJsonDocument back = QJsonDocument::fromJson(json.toUtf8(), &error);
        if (error.error != QJsonParseError::NoError || !back.isArray() || back.array().size() != 1)
            __builtin_trap();
        for (QChar c : json)
            if (c != u'\n' && (c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F)))
                __builtin_trap();
    }
    return 0;
}
