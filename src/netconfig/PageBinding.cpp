#include "netconfig/PageBinding.h"

#include "core/Public.h"
#include "lang/LangList.h"
#include "netconfig/DeviceList.h"
#include "netconfig/Q2Write.h"

namespace {

QString macDigits(const QString &mac)
{
    QString digits;
    for (QChar c : mac)
        if (!c.isSpace() && c != u'-' && c != u':')
            digits += c.toUpper();
    return digits;
}

// "001A2B3C4D5E" -> "00 1A 2B 3C 4D 5E", as the device list shows it.
QString spaced(const QString &digits)
{
    QString s;
    for (int i = 0; i < digits.size(); i += 2) {
        if (i)
            s += u' ';
        s += digits.mid(i, 2);
    }
    return s;
}

TSaveCheck refuse(TSaveRefusal r) { return TSaveCheck{r}; }

} // namespace

TPageBinding TPageBinding::Lan(const QString &mac, int model, int firmware)
{
    return TPageBinding{TPageSource::Lan, macDigits(mac), model, firmware};
}

TPageBinding TPageBinding::Serial(int model, const QString &mac)
{
    return TPageBinding{TPageSource::Serial, macDigits(mac), model, 0};
}

TSaveCheck CheckLanSave(const TPageBinding &page, const TDeviceRow &row, const QString &templateMac)
{
    switch (page.Source) {
    case TPageSource::None: return refuse(TSaveRefusal::NotRead);
    case TPageSource::Serial: return refuse(TSaveRefusal::ReadOverSerial);
    case TPageSource::Lan: break;
    }
    if (page.Mac.isEmpty() || page.Mac != macDigits(row.Mac))
        return refuse(TSaveRefusal::OtherModule);
    if (page.Model != row.Model)
        return refuse(TSaveRefusal::OtherModel);
    // The write sends blocks by firmware generation; a page of other firmware plans the wrong ones.
    if (page.Firmware != RowVersion(row))
        return refuse(TSaveRefusal::FirmwareChanged);
    // Bytes the page does not show go back from the template: they must be this module's own.
    if (macDigits(templateMac) != page.Mac)
        return refuse(TSaveRefusal::BlocksReplaced);
    return {};
}

TSaveCheck CheckSerialSave(const TPageBinding &page, int model)
{
    switch (page.Source) {
    case TPageSource::None: return refuse(TSaveRefusal::NotRead);
    case TPageSource::Lan: return refuse(TSaveRefusal::ReadOverLan);
    case TPageSource::Serial: break;
    }
    const auto q1Page = [](int m) { return m == ModelQ1 || m == ModelQ3; };
    if (model == ModelQ2 ? page.Model != ModelQ2 : !(q1Page(model) && q1Page(page.Model)))
        return refuse(TSaveRefusal::OtherModel);
    return {};
}

QString SaveRefusalText(TSaveRefusal refusal, const TPageBinding &page)
{
    switch (refusal) {
    case TSaveRefusal::None: return {};
    case TSaveRefusal::NotRead: return GetLangText(QStringLiteral("lang_Hint_SaveNotRead"));
    case TSaveRefusal::ReadOverSerial: return GetLangText(QStringLiteral("lang_Hint_SaveReadByCom"));
    case TSaveRefusal::ReadOverLan: return GetLangText(QStringLiteral("lang_Hint_SaveReadByLan"));
    case TSaveRefusal::OtherModule:
        return GetLangText(QStringLiteral("lang_Hint_SaveOtherModule")).replace(QStringLiteral("%1"), spaced(page.Mac));
    case TSaveRefusal::OtherModel:
    case TSaveRefusal::FirmwareChanged:
    case TSaveRefusal::BlocksReplaced: return GetLangText(QStringLiteral("lang_Hint_SaveReadAgain"));
    }
    return {};
}
