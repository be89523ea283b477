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

namespace {

bool isAscii(const char *data, qsizetype size)
{
    for (qsizetype i = 0; i < size; ++i)
        if (static_cast<unsigned char>(data[i]) >= 0x80)
            return false;
    return true;
}

bool isAscii(const QString &text)
{
    for (QChar c : text)
        if (c.unicode() >= 0x80)
            return false;
    return true;
}

// The converter's GBK bytes of a text without escapes.
QByteArray encodePlain(QStringView text)
{
    if (text.isEmpty())
        return {};
    QStringEncoder &e = encoder();
    if (!e.isValid())
        return text.toUtf8();
    QByteArray out = e.encode(text);
    e.resetState();
    return out;
}

QString decodePlain(QByteArrayView bytes)
{
    QStringDecoder &d = decoder();
    if (!d.isValid())
        return QString::fromLatin1(bytes);
    QString out = d.decode(bytes);
    d.resetState();
    return out;
}

// One character from these bytes that encodes back to exactly them, else a null QChar.
QChar decodeExact(QByteArrayView bytes)
{
    const QString s = decodePlain(bytes);
    if (s.size() != 1 || s[0] == QChar::ReplacementCharacter || s[0].isSurrogate())
        return {};
    return encodePlain(s) == bytes ? s[0] : QChar();
}

// Byte by byte: a character where the bytes form one that encodes back the same, else an escape.
QString decodeEscaped(const char *data, qsizetype size)
{
    QString out;
    out.reserve(size);
    for (qsizetype i = 0; i < size;) {
        const auto b = static_cast<unsigned char>(data[i]);
        if (b < 0x80) {
            out += QChar(b);
            ++i;
            continue;
        }
        if (i + 1 < size) {
            if (const QChar c = decodeExact(QByteArrayView(data + i, 2)); !c.isNull()) {
                out += c;
                i += 2;
                continue;
            }
        }
        if (const QChar c = decodeExact(QByteArrayView(data + i, 1)); !c.isNull())
            out += c; // 0x80 is the euro sign in this code page
        else
            out += QChar(char16_t(GbkEscapeBase + b));
        ++i;
    }
    return out;
}

} // namespace

QByteArray ToGbk(const QString &text)
{
    if (text.isEmpty())
        return {};
    if (isAscii(text))
        return text.toLatin1();
    QByteArray out;
    out.reserve(text.size() * 2);
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!IsGbkEscape(text[i]))
            continue;
        out += encodePlain(QStringView(text).mid(runStart, i - runStart));
        out += char(text[i].unicode() - GbkEscapeBase);
        runStart = i + 1;
    }
    out += encodePlain(QStringView(text).mid(runStart));
    return out;
}

QString FromGbk(const char *data, qsizetype size)
{
    if (size <= 0)
        return {};
    if (isAscii(data, size))
        return QString::fromLatin1(data, size);
    const QByteArrayView bytes(data, size);
    // Well-formed text decodes in one go; only text with stray bytes is taken apart.
    const QString whole = decodePlain(bytes);
    if (!whole.contains(QChar::ReplacementCharacter) && encodePlain(whole) == bytes)
        return whole;
    return decodeEscaped(data, size);
}

QString FromGbk(const QByteArray &bytes) { return FromGbk(bytes.constData(), bytes.size()); }

QByteArray ToGbkCut(const QString &text, qsizetype maxBytes)
{
    if (maxBytes <= 0)
        return {};
    QByteArray bytes = ToGbk(text);
    if (bytes.size() <= maxBytes)
        return bytes;
    qsizetype cut = 0;
    for (qsizetype i = 0; i < text.size();) {
        const bool pair = text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        const qsizetype units = pair ? 2 : 1;
        const ushort u = text[i].unicode();
        const qsizetype width = (u < 0x80 || IsGbkEscape(text[i])) ? 1 : encodePlain(QStringView(text).mid(i, units)).size();
        if (cut + width > maxBytes)
            break;
        cut += width;
        i += units;
    }
    bytes.truncate(cut);
    return bytes;
}

bool FitsGbk(const QString &text)
{
    return isAscii(text) || FromGbk(ToGbk(text)) == text;
}

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
