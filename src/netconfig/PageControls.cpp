#include "netconfig/PageControls.h"

#include "core/ProFun.h"
#include "lang/LangList.h"

#include <algorithm>

bool IsDigits(const QString &text)
{
    for (QChar c : text)
        if (c.unicode() < '0' || c.unicode() > '9')
            return false;
    return true;
}

bool IsDottedQuad(const QString &text)
{
    const QStringList parts = text.split(u'.');
    if (parts.size() != 4)
        return false;
    for (const QString &p : parts) {
        if (p.isEmpty() || p.size() > 3 || !IsDigits(p) || p.toInt() > 255)
            return false;
    }
    return true;
}

TValueRule WithinLength(TValueRule rule, int maxLength)
{
    if (rule.RuleKind != TValueRule::Number || maxLength <= 0 || maxLength >= 18)
        return rule;
    qint64 most = 9;
    for (int i = 1; i < maxLength; ++i)
        most = most * 10 + 9;
    rule.Max = std::min(rule.Max, most);
    return rule;
}

TValueFault CheckValueRule(const TValueRule &rule, const QString &text)
{
    switch (rule.RuleKind) {
    case TValueRule::Free: return TValueFault::None;
    case TValueRule::IPv4: return IsDottedQuad(text.trimmed()) ? TValueFault::None : TValueFault::NotIPv4;
    case TValueRule::Number: {
        if (text.isEmpty() || !IsDigits(text))
            return TValueFault::NotNumber;
        // Leading zeros carry nothing; more digits than a 64-bit number holds are out of range anyway.
        qsizetype first = 0;
        while (first + 1 < text.size() && text[first] == u'0')
            ++first;
        if (text.size() - first > 18)
            return TValueFault::OutOfRange;
        const qint64 v = text.mid(first).toLongLong();
        return v < rule.Min || v > rule.Max ? TValueFault::OutOfRange : TValueFault::None;
    }
    }
    return TValueFault::None;
}

QString ValueFaultMessage(const QString &label, TValueFault fault, const TValueRule &rule)
{
    switch (fault) {
    case TValueFault::None: return {};
    case TValueFault::NotNumber: return label + GetLangText(QStringLiteral("lang_IsNotNum"));
    case TValueFault::NotIPv4: return label + GetLangText(QStringLiteral("lang_IsNotIPv4"));
    case TValueFault::OutOfRange: {
        // Replaced by hand: a Lang.txt text without the places is shown as it is.
        QString t = GetLangText(QStringLiteral("lang_IsOutOfRange"));
        t.replace(QLatin1String("%1"), QString::number(rule.Min));
        t.replace(QLatin1String("%2"), QString::number(rule.Max));
        return label + t;
    }
    }
    return {};
}

void ApplyCustomBaud(TComboState &list, const QString *answer)
{
    if (list.Items.isEmpty())
        return;
    const QString given = answer ? *answer : list.Items[0];
    int v = 0;
    if (TryStrToInt(given, v)) {
        list.Items[0] = QString::number(v);
        list.Index = 0;
    } else {
        list.Select(list.IndexOf(QStringLiteral("9600")));
    }
}

void SelectBaud(TComboState &list, const QString &text)
{
    const int i = list.IndexOf(text);
    if (i >= 0) {
        list.Index = i;
    } else if (!list.Items.isEmpty()) {
        list.Items[0] = text;
        list.Index = 0;
    }
}

void InitSerialLists(TComboState &parity, TComboState &dataBits, TComboState &stopBits)
{
    parity.Items = {"NONE", "ODD", "EVEN", "MARK", "SPACE"};
    parity.Index = 0;
    dataBits.Items = {"5", "6", "7", "8"};
    dataBits.Index = 3;
    stopBits.Items = {"1", "2"};
    stopBits.Index = 0;
}

void InitSoftBitRate(TComboState &list)
{
    list.Items = {"115200", "Custom", "600",   "1200",   "2400",   "4800",   "9600",  "14400",
                  "19200",  "38400",  "57600", "115200", "230400", "256000", "460800", "921600"};
    list.Index = list.IndexOf(QStringLiteral("9600"));
}
