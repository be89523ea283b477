// The words for a failed upgrade: every kind filled in, in both languages, each saying what to do
// and none telling to run the program as root.
#include "ModuleFixture.h"
#include "TestUtil.h"
#include "lang/LangList.h"
#include "upgrade/UpgradeFailure.h"

namespace {

TEST(UpgradeFailure, everyKindIsFilledInBothLanguagesAndNeverSaysRunAsRoot)
{
    const TLangScope lang;
    const QString helper = QStringLiteral("/usr/libexec/bexo-z0/bexo-z0-bind");
    const struct {
        TUpgradeFailure failure;
        QString english; // a part the text must hold
    } cases[] = {
        {UpPortHeld(QStringLiteral("10.0.0.1"), 67, QStringLiteral("DHCP/BOOTP"), {}),
         QStringLiteral("Port 67 of 10.0.0.1 is held by another program, probably a DHCP/BOOTP server.")},
        {UpPortHeld(QStringLiteral("10.0.0.1"), 9, {}, {}), QStringLiteral("Port 9 of 10.0.0.1 is held by another program. Stop it")},
        {UpFailure(TUpFailureKind::NoHelper, QStringLiteral("/opt/b/bexo-z0-bind")),
         QStringLiteral("Install the bexo-z0 package, which brings it, or give the helper beside the program its "
                        "capability with \"sudo setcap cap_net_bind_service=ep /opt/b/bexo-z0-bind\".")},
        {UpFailure(TUpFailureKind::HelperDenied, helper),
         QStringLiteral("This user may not run the binding helper %1: the user is not in the group bexo-z0. Add the "
                        "user with \"sudo adduser $USER bexo-z0\", then log in again.")
             .arg(helper)},
        {[&] {
             TUpgradeFailure f = UpFailure(TUpFailureKind::HelperDenied, helper);
             f.Group = QStringLiteral("fleet");
             return f;
         }(),
         QStringLiteral("not in the group fleet. Add the user with \"sudo adduser $USER fleet\"")},
        {UpFailure(TUpFailureKind::HelperNoCap, helper),
         QStringLiteral("\"sudo setcap cap_net_bind_service=ep %1\"").arg(helper)},
        {UpFailure(TUpFailureKind::FileUnreadable, QStringLiteral("/x/fw.bin"), QStringLiteral("Permission denied")),
         QStringLiteral("The firmware file /x/fw.bin cannot be read (Permission denied).")},
        {UpFailure(TUpFailureKind::FileTooShort, QStringLiteral("/x/fw.bin")), QStringLiteral("/x/fw.bin is too short")},
        {UpFailure(TUpFailureKind::Other, {}, QStringLiteral("cannot bind 10.0.0.9 port 9: Cannot assign")),
         QStringLiteral("Reason: cannot bind 10.0.0.9 port 9: Cannot assign")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.english.toStdString());
        for (bool chinese : {false, true}) {
            LangList->IsChinese = chinese;
            const QString text = UpgradeFailureText(c.failure);
            EXPECT_FALSE(text.isEmpty());
            EXPECT_FALSE(text.contains(u'%')) << text.toStdString();
            EXPECT_FALSE(text.contains(QLatin1String("as root"), Qt::CaseInsensitive)) << text.toStdString();
            if (!chinese) {
                EXPECT_TRUE(text.contains(c.english)) << text.toStdString();
            }
        }
    }
    EXPECT_TRUE(UpgradeFailureText(TUpgradeFailure()).isEmpty());
    LangList->IsChinese = true;
    EXPECT_TRUE(UpgradeFailureText(UpFailure(TUpFailureKind::HelperDenied, helper))
                    .contains(QStringLiteral("sudo adduser $USER bexo-z0")));
}

} // namespace
