// Which save a page may take: only to the module it was read from, over the line it was read over.
#include "ModuleFixture.h"
#include "TestUtil.h"
#include "core/Public.h"
#include "lang/LangList.h"
#include "netconfig/DeviceList.h"
#include "netconfig/PageBinding.h"

namespace {

TDeviceRow Row(const char *mac, int model, const char *version)
{
    TDeviceRow r;
    r.IP = QStringLiteral("192.168.0.7");
    r.Mac = QLatin1String(mac);
    r.Model = model;
    r.Version = QLatin1String(version);
    return r;
}

const char *A = "00 1A 2B 3C 4D 5E";
const char *B = "00 1A 2B 3C 4D 60";

TEST(PageBinding, aLanSaveGoesOnlyToTheModuleAndFirmwareThePageWasReadFrom)
{
    const TPageBinding readA = TPageBinding::Lan(QStringLiteral("00 1a 2b 3c 4d 5e"), ModelQ2, 4017);
    const struct {
        const char *what;
        TPageBinding page;
        TDeviceRow row;
        const char *templateMac;
        TSaveRefusal expected;
    } cases[] = {
        {"the module read", readA, Row(A, ModelQ2, "4017"), "00 1A 2B 3C 4D 5E", TSaveRefusal::None},
        {"MAC texts spaced otherwise", readA, Row("00:1a:2b:3c:4d:5e", ModelQ2, "4017"), "001a2b3c4d5e",
         TSaveRefusal::None},
        {"another module selected", readA, Row(B, ModelQ2, "4017"), "00 1A 2B 3C 4D 5E", TSaveRefusal::OtherModule},
        {"another module whose blocks came in", readA, Row(B, ModelQ2, "4017"), B, TSaveRefusal::OtherModule},
        {"the module, but another's blocks came in since", readA, Row(A, ModelQ2, "4017"), B,
         TSaveRefusal::BlocksReplaced},
        {"the module upgraded since", readA, Row(A, ModelQ2, "4018"), A, TSaveRefusal::FirmwareChanged},
        {"a version column that is no number", readA, Row(A, ModelQ2, "?"), A, TSaveRefusal::FirmwareChanged},
        {"a row of another model with the MAC", readA, Row(A, ModelQ3, "4017"), A, TSaveRefusal::OtherModel},
        {"nothing read", TPageBinding(), Row(A, ModelQ2, "4017"), A, TSaveRefusal::NotRead},
        {"read over the serial line", TPageBinding::Serial(ModelQ2, QLatin1String(A)), Row(A, ModelQ2, "4017"), A,
         TSaveRefusal::ReadOverSerial},
        {"a LAN read that named no MAC", TPageBinding::Lan(QString(), ModelQ2, 4017), Row(A, ModelQ2, "4017"), "",
         TSaveRefusal::OtherModule},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const TSaveCheck check = CheckLanSave(c.page, c.row, QLatin1String(c.templateMac));
        EXPECT_EQ(check.Refusal, c.expected);
        EXPECT_EQ(check.Allowed(), c.expected == TSaveRefusal::None);
    }
}

TEST(PageBinding, aSerialSaveNeedsAPageReadOverTheLine)
{
    const struct {
        const char *what;
        TPageBinding page;
        int model; // the write
        TSaveRefusal expected;
    } cases[] = {
        {"Q2 read over the line", TPageBinding::Serial(ModelQ2, QLatin1String(A)), ModelQ2, TSaveRefusal::None},
        {"Q2 whose block named no MAC", TPageBinding::Serial(ModelQ2), ModelQ2, TSaveRefusal::None},
        {"Q1 read, Q1/Q3 write", TPageBinding::Serial(ModelQ1), ModelQ1, TSaveRefusal::None},
        {"Q3 read, Q1/Q3 write", TPageBinding::Serial(ModelQ3), ModelQ1, TSaveRefusal::None},
        {"read over the LAN", TPageBinding::Lan(QLatin1String(A), ModelQ2, 4017), ModelQ2, TSaveRefusal::ReadOverLan},
        {"nothing read", TPageBinding(), ModelQ1, TSaveRefusal::NotRead},
        {"a Q1 page written as Q2", TPageBinding::Serial(ModelQ1), ModelQ2, TSaveRefusal::OtherModel},
        {"a Q2 page written as Q1", TPageBinding::Serial(ModelQ2), ModelQ1, TSaveRefusal::OtherModel},
        {"an unknown write", TPageBinding::Serial(ModelQ2), ModelNone, TSaveRefusal::OtherModel},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(CheckSerialSave(c.page, c.model).Refusal, c.expected);
    }
}

TEST(PageBinding, theRefusalSaysWhyInTheCurrentLanguageAndNamesThePagesModule)
{
    const TLangScope lang;
    const TPageBinding page = TPageBinding::Lan(QStringLiteral("001a2b3c4d5e"), ModelQ2, 4017);
    EXPECT_EQ(SaveRefusalText(TSaveRefusal::OtherModule, page),
              QStringLiteral(" Nothing was sent: the page shows the parameters of another module (MAC 00 1A 2B 3C 4D "
                             "5E). Click the selected module to read it, then save."));
    EXPECT_TRUE(SaveRefusalText(TSaveRefusal::None, page).isEmpty());
    // Every refusal has its words, in both languages.
    for (TSaveRefusal r : {TSaveRefusal::NotRead, TSaveRefusal::ReadOverSerial, TSaveRefusal::ReadOverLan,
                           TSaveRefusal::OtherModule, TSaveRefusal::OtherModel, TSaveRefusal::FirmwareChanged,
                           TSaveRefusal::BlocksReplaced}) {
        for (bool chinese : {false, true}) {
            LangList->IsChinese = chinese;
            const QString text = SaveRefusalText(r, page);
            EXPECT_FALSE(text.isEmpty());
            EXPECT_FALSE(text.startsWith(QLatin1String("lang_"))) << text.toStdString();
            EXPECT_FALSE(text.contains(QLatin1String("%1"))) << text.toStdString();
        }
    }
    LangList->IsChinese = true;
    EXPECT_TRUE(SaveRefusalText(TSaveRefusal::OtherModule, page).contains(QStringLiteral("00 1A 2B 3C 4D 5E")));
    EXPECT_TRUE(SaveRefusalText(TSaveRefusal::NotRead, page).startsWith(QStringLiteral(" 未发送")));
}

} // namespace
