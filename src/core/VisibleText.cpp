#include "core/VisibleText.h"

#include "core/Gbk.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

namespace {

void appendHex(QString &out, const char *prefix, unsigned value, int digits)
{
    out += QLatin1String(prefix);
    out += QStringLiteral("%1").arg(value, digits, 16, QLatin1Char('0'));
}

// Bidirectional embeddings, overrides and isolates reorder the rest of a line on show.
bool bidiControl(char16_t u) { return (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069); }

bool plain(char16_t u)
{
    return (u >= 0x20 && u < 0x7F) ||
           (u > 0x9F && u != 0x2028 && u != 0x2029 && !bidiControl(u) && !QChar::isSurrogate(u));
}

QString visible(const QString &text, bool keepLineFeeds)
{
    // Most texts need nothing: they are handed back without a copy.
    QString out;
    bool changed = false;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        const char16_t u = c.unicode();
        const bool pair = c.isHighSurrogate() && i + 1 < n && text[i + 1].isLowSurrogate();
        if (plain(u) || pair || (keepLineFeeds && u == u'\n')) {
            if (changed) {
                out += c;
                if (pair)
                    out += text[i + 1];
            }
            i += pair ? 1 : 0;
            continue;
        }
        if (!changed) {
            out = text.left(i);
            out.reserve(n + 16);
            changed = true;
        }
        if (u == u'\t')
            out += QLatin1String("\\t");
        else if (u == u'\n')
            out += QLatin1String("\\n");
        else if (u == u'\r')
            out += QLatin1String("\\r");
        else if (u < 0x20 || u == 0x7F)
            appendHex(out, "\\x", u, 2);
        else if (IsGbkEscape(c))
            appendHex(out, "\\x", u - GbkEscapeBase, 2);
        else
            appendHex(out, "\\u", u, 4); // C1, separators, bidi controls, other lone surrogates
    }
    return changed ? out : text;
}

QJsonValue jsonSafe(const QJsonValue &v)
{
    if (v.isString())
        return JsonSafeText(v.toString());
    if (v.isArray()) {
        QJsonArray out;
        for (const QJsonValue &x : v.toArray())
            out.append(jsonSafe(x));
        return out;
    }
    if (v.isObject()) {
        const QJsonObject o = v.toObject();
        QJsonObject out;
        for (auto it = o.begin(); it != o.end(); ++it)
            out.insert(JsonSafeText(it.key()), jsonSafe(it.value()));
        return out;
    }
    return v;
}

} // namespace

QString VisibleText(const QString &text) { return visible(text, false); }

QString VisibleLines(const QString &text) { return visible(text, true); }

QString JsonSafeText(const QString &text)
{
    const bool clean = std::none_of(text.begin(), text.end(), [](QChar c) { return c.isSurrogate(); });
    if (clean)
        return text;
    QString out;
    out.reserve(text.size() + 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            out += c;
            out += text[++i];
        } else if (IsGbkEscape(c)) {
            appendHex(out, "\\x", c.unicode() - GbkEscapeBase, 2);
        } else if (c.isSurrogate()) {
            out += QChar::ReplacementCharacter;
        } else {
            out += c;
        }
    }
    return out;
}

QString JsonText(const QJsonValue &value)
{
    const QJsonValue safe = jsonSafe(value);
    const QJsonDocument doc = safe.isArray()    ? QJsonDocument(safe.toArray())
                              : safe.isObject() ? QJsonDocument(safe.toObject())
                                                : QJsonDocument(QJsonArray{safe});
    QString text = QString::fromUtf8(doc.toJson(QJsonDocument::Indented)).trimmed();
    if (!safe.isArray() && !safe.isObject()) {
        // A lone value: the text between the brackets.
        text = text.mid(1, text.size() - 2).trimmed();
    }
    // JSON's syntax is ASCII, so these can only stand inside strings, where \u is their escape.
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if ((u >= 0x7F && u <= 0x9F) || u == 0x2028 || u == 0x2029)
            appendHex(out, "\\u", u, 4);
        else
            out += c;
    }
    return out;
}
