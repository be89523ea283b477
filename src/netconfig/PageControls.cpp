#include "netconfig/PageControls.h"

#include "core/ProFun.h"

bool IsDigits(const QString &text)
{
    for (QChar c : text)
        if (c.unicode() < '0' || c.unicode() > '9')
            return false;
    return true;
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
