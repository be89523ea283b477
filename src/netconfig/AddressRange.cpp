#include "netconfig/AddressRange.h"

#include "lang/LangList.h"

#include <QSet>

namespace {

// Decimal digits only (no sign, no other script's digits), no leading zero, at most maxDigits.
bool strictNumber(QStringView s, int maxDigits, int max, int &value)
{
    if (s.isEmpty() || s.size() > maxDigits || (s.size() > 1 && s[0] == u'0'))
        return false;
    value = 0;
    for (QChar c : s) {
        if (c < u'0' || c > u'9')
            return false;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value <= max;
}

constexpr quint32 FirstUsable = 0x01000000u; // 1.0.0.0: 0.x.x.x is "this network"
constexpr quint32 FirstMulticast = 0xE0000000u; // 224.0.0.0: multicast, reserved, broadcast

bool failWith(TRangeError &error, TRangeFault fault, const QString &item, const QString &detail = {}, qint64 count = 0)
{
    error.Fault = fault;
    error.Item = item;
    error.Detail = detail;
    error.Count = count;
    return false;
}

// One item: its first and last address.
bool parseItem(const QString &item, quint32 &lo, quint32 &hi, TRangeError &error)
{
    if (item.isEmpty())
        return failWith(error, TRangeFault::Empty, item);
    if (const qsizetype slash = item.indexOf(u'/'); slash >= 0) {
        quint32 base = 0;
        if (!ParseAddress(item.left(slash), base))
            return failWith(error, TRangeFault::NotAddress, item);
        int prefix = 0;
        if (!strictNumber(QStringView(item).mid(slash + 1), 2, 32, prefix))
            return failWith(error, TRangeFault::BadPrefix, item);
        const quint32 mask = prefix == 0 ? 0u : ~0u << (32 - prefix);
        if (base & ~mask)
            return failWith(error, TRangeFault::HostBits, item,
                            QStringLiteral("%1/%2").arg(AddressText(base & mask)).arg(prefix));
        lo = base;
        hi = base | ~mask;
        if (prefix <= 30) { // the network's own address and its broadcast address are no module's
            ++lo;
            --hi;
        }
        return true;
    }
    if (const qsizetype dash = item.indexOf(u'-'); dash >= 0) {
        if (!ParseAddress(item.left(dash), lo) || !ParseAddress(item.mid(dash + 1), hi))
            return failWith(error, TRangeFault::NotAddress, item);
        if (lo > hi)
            return failWith(error, TRangeFault::Reversed, item);
        return true;
    }
    if (!ParseAddress(item, lo))
        return failWith(error, TRangeFault::NotAddress, item);
    hi = lo;
    return true;
}

} // namespace

QString AddressText(quint32 a)
{
    return QStringLiteral("%1.%2.%3.%4").arg(a >> 24).arg((a >> 16) & 255).arg((a >> 8) & 255).arg(a & 255);
}

bool ParseAddress(const QString &text, quint32 &address)
{
    const QList<QStringView> parts = QStringView(text).split(u'.');
    if (parts.size() != 4)
        return false;
    quint32 a = 0;
    for (QStringView p : parts) {
        int v = 0;
        if (!strictNumber(p, 3, 255, v))
            return false;
        a = a << 8 | quint32(v);
    }
    address = a;
    return true;
}

bool ParseAddressRanges(const QStringList &texts, QList<quint32> &addresses, TRangeError &error, int limit)
{
    addresses.clear();
    error = {};
    error.Limit = limit;
    QList<quint32> out;
    QSet<quint32> seen;
    for (const QString &text : texts) {
        for (const QString &raw : text.split(u',')) {
            const QString item = raw.trimmed();
            quint32 lo = 0, hi = 0;
            if (!parseItem(item, lo, hi, error))
                return false;
            if (lo < FirstUsable)
                return failWith(error, TRangeFault::NotUnicast, item, AddressText(lo));
            if (hi >= FirstMulticast)
                return failWith(error, TRangeFault::NotUnicast, item, AddressText(std::max(lo, FirstMulticast)));
            // Counted before it is expanded: 10.0.0.0/8 must not fill the memory first.
            const qint64 count = qint64(hi) - qint64(lo) + 1;
            if (count > limit)
                return failWith(error, TRangeFault::TooMany, item, {}, count);
            for (quint64 a = lo; a <= hi; ++a) {
                if (seen.contains(quint32(a)))
                    continue;
                if (out.size() >= limit) // what is asked for, counting the rest of this item
                    return failWith(error, TRangeFault::TooMany, item, {}, qint64(out.size()) + qint64(hi - a) + 1);
                seen.insert(quint32(a));
                out.append(quint32(a));
            }
        }
    }
    if (out.isEmpty())
        return failWith(error, TRangeFault::Empty, {});
    addresses = out;
    return true;
}

QString RangeErrorText(const TRangeError &e)
{
    const auto text = [](const char *key) { return GetLangText(QLatin1String(key)); };
    switch (e.Fault) {
    case TRangeFault::None: return {};
    case TRangeFault::Empty: return text("lang_Hint_RangeEmpty");
    case TRangeFault::NotAddress: return text("lang_Hint_RangeNotAddress").arg(e.Item);
    case TRangeFault::BadPrefix: return text("lang_Hint_RangeBadPrefix").arg(e.Item);
    case TRangeFault::HostBits: return text("lang_Hint_RangeHostBits").arg(e.Item, e.Detail);
    case TRangeFault::Reversed: return text("lang_Hint_RangeReversed").arg(e.Item);
    case TRangeFault::NotUnicast: return text("lang_Hint_RangeNotUnicast").arg(e.Item, e.Detail);
    case TRangeFault::TooMany:
        return text("lang_Hint_RangeTooMany").arg(QString::number(e.Count), QString::number(e.Limit));
    }
    return {};
}
