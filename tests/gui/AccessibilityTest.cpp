// What a screen reader announces for the controls of every window, in both languages.
#include "DialogTestUtil.h"
#include "MainFixture.h"
#include "gui/Accessibility.h"
#include "gui/Frm_About.h"
#include "gui/Frm_Pswd.h"
#include "gui/Frm_Upgrade.h"
#include "core/Settings.h"

#include <QAccessible>
#include <QComboBox>
#include <functional>

namespace {

// The name a reader announces. On Linux a drop-down's name is its current item and its label
// arrives as a relation; the accessible name stands in when there is no such label.
QString readerName(QWidget *w)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(w);
    if (!iface)
        return {};
    if (qobject_cast<QComboBox *>(w)) {
        for (const auto &rel : iface->relations(QAccessible::Label))
            if (const QString t = rel.first->text(QAccessible::Name); !t.isEmpty())
                return t;
        return w->accessibleName();
    }
    return iface->text(QAccessible::Name);
}

// objectNames of the user's controls under root that a reader could not name, joined by blanks.
std::string namelessControls(QWidget *root)
{
    QStringList nameless;
    for (QWidget *w : root->findChildren<QWidget *>())
        if (IsUserControl(w) && readerName(w).trimmed().isEmpty())
            nameless << (w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className())
                                                   : w->objectName());
    return nameless.join(u' ').toStdString();
}

// Labelled controls whose name is not their label's text, as "control: name != label".
std::string misnamedLabelledControls(QWidget *root)
{
    QStringList wrong;
    for (QLabel *l : root->findChildren<QLabel *>()) {
        QWidget *field = l->buddy();
        if (!field || !IsUserControl(field))
            continue;
        const QString expected = SpokenText(l->text());
        if (readerName(field) != expected)
            wrong << field->objectName() + QStringLiteral(": ") + readerName(field) + QStringLiteral(" != ") +
                         expected;
    }
    return wrong.join(QStringLiteral("; ")).toStdString();
}

// A control and the language key of the text it is named by.
struct TNamedBy {
    const char *Control;
    const char *Key;
};

void expectNamedBy(QWidget *root, const TNamedBy &row, bool chinese)
{
    QWidget *w = Ctl(root, row.Control);
    if (!w)
        return;
    EXPECT_EQ(readerName(w), SpokenText(GetLangText(QLatin1String(row.Key))))
        << row.Control << (chinese ? " in Chinese" : " in English");
}

} // namespace

// ---- Main window ----

struct MainAccessible : MainFixture {};

TEST_F(MainAccessible, everyControlIsNamedInBothLanguages)
{
    for (bool chinese : {false, true}) {
        w->SwitchLanguage(chinese);
        EXPECT_EQ(namelessControls(w.get()), "") << (chinese ? "Chinese" : "English");
        EXPECT_EQ(misnamedLabelledControls(w.get()), "") << (chinese ? "Chinese" : "English");
    }
}

TEST_F(MainAccessible, listPanesAndFieldsAreNamedByWhatStandsBesideThemAndFollowTheLanguage)
{
    const TNamedBy rows[] = {
        {"lv_Dev", "lang_rztbsht_Net"},          {"Memo1", "lang_rztbsht_Log"},
        {"Memo2", "lang_rztbsht_Hex"},           {"cbb_SelectCom", "lang_lbl_SelectCom"},
        {"cbbSoftBitRate", "lang_lbl_BaudRate"}, {"btn_Search", "lang_btn_Search"},
        {"btn_ComRead", "lang_btn_ComRead"},
        // The parameter pages' fields, by their labels.
        {"edt_ModName", "lang_Lbl_DevName"},     {"edt_LocalPort0", "lang_Lbl_LocalPort"},
        {"edt_ModuleIP", "lang_lbl_ModuleIP"},   {"btn_Q2NetSet", "lang_btn_ComSet"},
    };
    const QString english = readerName(Ctl(w.get(), "lv_Dev"));
    for (bool chinese : {false, true}) {
        w->SwitchLanguage(chinese);
        for (const TNamedBy &row : rows)
            expectNamedBy(w.get(), row, chinese);
    }
    // The switch really changed the names.
    EXPECT_NE(readerName(Ctl(w.get(), "lv_Dev")), english);
}

// ---- Dialogs ----

struct TDialogCase {
    const char *Name;
    std::function<QWidget *()> Make;
    std::function<void(QWidget *)> ApplyTexts;
    std::vector<TNamedBy> NamedBy;
};

TEST(DialogAccessible, everyControlIsNamedAndTheNamesFollowTheLanguage)
{
    static const TAppSettings settings;
    const TDialogCase cases[] = {
        {"login",
         [] { return new TFrm_Pswd; },
         [](QWidget *d) { static_cast<TFrm_Pswd *>(d)->ApplyPswdTexts(); },
         {{"edt_UsrName", "lang_Lbl_UserName"},
          {"edt_Paswd", "lang_Lbl_Password"},
          {"btn_OK", "lang_Log_OK"}}},
        {"about",
         [] { return new TFrm_About; },
         [](QWidget *d) { static_cast<TFrm_About *>(d)->ApplyAboutTexts(); },
         {{"btn_About_Yes", "lang_About_OK"}}},
        {"upgrade",
         [] { return new Tfrm_Upgrade(settings); },
         [](QWidget *d) { static_cast<Tfrm_Upgrade *>(d)->ApplyUpgradeTexts(); },
         {{"edt_IP", "lang_Upgrade_lblClientIP"},
          {"edt_MAC", "lang_Upgrade_lblClientMAC"},
          {"cbbSvrIP", "lang_Upgrade_lblLocalIP"},
          // The file field and its "..." button serve the group "Select .bin file".
          {"edt_BinFileName", "lang_Upgrade_grpFileName"},
          {"btn_Browse", "lang_Upgrade_grpFileName"},
          {"btn_Program", "lang_Upgrade_btnProgram"}}},
        {"upgrade, fleet view",
         [] {
             auto *w = new Tfrm_Upgrade(settings);
             w->SetFleetMode(true);
             return w;
         },
         [](QWidget *d) { static_cast<Tfrm_Upgrade *>(d)->ApplyUpgradeTexts(); },
         {{"cbbSvrIP", "lang_Upgrade_lblLocalIP"},
          {"edt_UpParallel", "lang_Upgrade_lblParallel"},
          {"edt_UpBlockTimeOut", "lang_Upgrade_lblBlockTimeOut"},
          {"chk_UpCanary", "lang_Upgrade_chkCanary"},
          {"chk_UpResetAfter", "lang_Upgrade_chkResetAfter"},
          {"lv_UpModules", "lang_Upgrade_grpModules"},
          {"btn_UpStop", "lang_Upgrade_btnStop"}}},
    };
    for (const TDialogCase &c : cases) {
        TLangScope lang(false);
        std::unique_ptr<QWidget> d(c.Make());
        for (bool chinese : {false, true}) {
            LangList->IsChinese = chinese;
            c.ApplyTexts(d.get());
            const std::string where = std::string(c.Name) + (chinese ? " in Chinese" : " in English");
            EXPECT_EQ(namelessControls(d.get()), "") << where;
            EXPECT_EQ(misnamedLabelledControls(d.get()), "") << where;
            for (const TNamedBy &row : c.NamedBy)
                expectNamedBy(d.get(), row, chinese);
        }
    }
}

TEST(SpokenText, dropsMnemonicMarksAndLineBreaks)
{
    const std::pair<const char *, const char *> cases[] = {
        {"&Search", "Search"},
        {"Save && Exit", "Save & Exit"},
        {"Notes: first line\r\n   second", "Notes: first line second"},
        {"  IP Type *  ", "IP Type *"},
        {"", ""},
    };
    for (const auto &[in, out] : cases)
        EXPECT_EQ(SpokenText(QString::fromUtf8(in)), QString::fromUtf8(out)) << in;
}
