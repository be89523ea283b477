#include "core/Gbk.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace {
// Opening an ICU converter is not cheap; keep one per thread. Stateless, so no call leaks a half
// character into the next one.
QStringEncoder &encoder()
{
    thread_local QStringEncoder e("GBK", QStringConverter::Flag::Stateless);
    return e;
}
QStringDecoder &decoder()
{
    thread_local QStringDecoder d("GBK", QStringConverter::Flag::Stateless);
    return d;
}
} // namespace

QByteArray ToGbk(const QString &text)
{
    if (text.isEmpty())
        return {};
    bool ascii = true;
    for (QChar c : text)
        if (c.unicode() >= 0x80) {
            ascii = false;
            break;
        }
    if (ascii)
        return text.toLatin1();
    QStringEncoder &e = encoder();
    if (!e.isValid())
        return text.toUtf8();
    QByteArray out = e.encode(text);
    e.resetState();
    return out;
}

QString FromGbk(const char *data, qsizetype size)
{
    if (size <= 0)
        return {};
    bool ascii = true;
    for (qsizetype i = 0; i < size; ++i)
        if (static_cast<unsigned char>(data[i]) >= 0x80) {
            ascii = false;
            break;
        }
    if (ascii)
        return QString::fromLatin1(data, size);
    QStringDecoder &d = decoder();
    if (!d.isValid())
        return QString::fromLatin1(data, size);
    QString out = d.decode(QByteArrayView(data, size));
    d.resetState();
    return out;
}

QString FromGbk(const QByteArray &bytes) { return FromGbk(bytes.constData(), bytes.size()); }

bool IsValidUtf8(const QByteArray &bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        int len = 0;
        uint32_t cp = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + len > n)
            return false;
        for (int k = 1; k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}
