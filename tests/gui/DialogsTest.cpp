// The login dialog, the about box, and the texts of the three small windows in both languages.

#include "DialogTestUtil.h"
#include "GuiTestUtil.h"
#include "core/Public.h"
#include "core/Settings.h"
#include "core/Version.h"
#include "gui/AppLook.h"
#include "gui/Frm_About.h"
#include "gui/Frm_Pswd.h"
#include "gui/Frm_Upgrade.h"
#include "gui/TextTable.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

namespace {

// One window of the three: how to make it, its rows, how it re-applies its texts.
struct TWindowCase {
    const char *Name;
    std::span<const TTextRow> Rows;
    std::function<std::unique_ptr<QWidget>()> Make;
    std::function<void(QWidget *)> Apply;
};

const TWindowCase WindowCases[] = {
    {"about", AboutTextRows, [] { return std::make_unique<TFrm_About>(); },
     [](QWidget *w) { static_cast<TFrm_About *>(w)->ApplyAboutTexts(); }},
    {"login", PswdTextRows, [] { return std::make_unique<TFrm_Pswd>(); },
     [](QWidget *w) { static_cast<TFrm_Pswd *>(w)->ApplyPswdTexts(); }},
    {"upgrade", UpgradeTextRows, [] { return std::make_unique<Tfrm_Upgrade>(TAppSettings{}); },
     [](QWidget *w) { static_cast<Tfrm_Upgrade *>(w)->ApplyUpgradeTexts(); }},
};

// A Lang.txt that overrides every key of the three windows with a text of its own.
QByteArray overrideLines()
{
    QByteArray lines;
    for (const auto &c : WindowCases)
        for (const TTextRow &row : c.Rows)
            lines += QByteArray(row.Key) + "|改" + row.Key + "|over " + row.Key + "\n";
    return lines;
}

QString overrideText(const TTextRow &row, bool chinese)
{
    return (chinese ? QStringLiteral("改") : QStringLiteral("over ")) + QString::fromLatin1(row.Key);
}

} // namespace

// Every row of the three windows shows its text on its control: made in one language, switched to
// the other, from the built-in table and from a Lang.txt.
TEST(DialogTexts, everyRowShowsItsTextAfterCreationAndAfterASwitch)
{
    for (const TWindowCase &c : WindowCases) {
        for (bool fromFile : {false, true}) {
            for (bool chinese : {false, true}) {
                SCOPED_TRACE(std::string(c.Name) + (fromFile ? " Lang.txt " : " built-in ") + (chinese ? "zh" : "en"));
                TLangScope lang(chinese);
                if (fromFile)
                    lang.LoadLangFile(overrideLines());
                std::unique_ptr<QWidget> w = c.Make();
                for (const TTextRow &row : c.Rows) {
                    EXPECT_EQ(ShownText(w.get(), row), RowText(row)) << row.Control << " " << row.Key;
                    if (fromFile) {
                        EXPECT_EQ(ShownText(w.get(), row), overrideText(row, chinese)) << row.Key;
                    }
                }

                LangList->IsChinese = !chinese;
                c.Apply(w.get());
                for (const TTextRow &row : c.Rows)
                    EXPECT_EQ(ShownText(w.get(), row), RowText(row)) << "after the switch: " << row.Control;
                EXPECT_TRUE(ApplyTextRows(w.get(), c.Rows).isEmpty()) << "a row names a control the window lacks";
            }
        }
    }
}

// Fixed-size windows, grown where a language needs it: no caption is cut off, in either language.
TEST(DialogTexts, noCaptionIsCutOffInEitherLanguage)
{
    for (const TWindowCase &c : WindowCases) {
        for (bool chinese : {false, true}) {
            TLangScope lang(chinese);
            std::unique_ptr<QWidget> w = c.Make();
            w->show();
            QApplication::processEvents();
            EXPECT_EQ(ClippedControls(w.get()), "") << c.Name << (chinese ? " zh" : " en");
            EXPECT_EQ(w->minimumSize(), w->maximumSize()) << c.Name << " is not of a fixed size";
            SaveShot(w.get(), QStringLiteral("%1-%2").arg(QLatin1String(c.Name), chinese ? "zh" : "en"));
        }
    }
}

// The pictures live in a static library's resources, which a program only gets when something
// registers them.
TEST(DialogPictures, iconAndPicturesAreCompiledIn)
{
    TLangScope lang(false);
    EXPECT_EQ(AppIcon().availableSizes().size(), 4);
    TFrm_About about;
    TFrm_Pswd login;
    Tfrm_Upgrade upgrade{TAppSettings{}};
    for (QWidget *w : {static_cast<QWidget *>(&about), static_cast<QWidget *>(&login), static_cast<QWidget *>(&upgrade)})
        EXPECT_FALSE(w->windowIcon().isNull()) << w->objectName().toStdString();
    EXPECT_FALSE(Ctl<QLabel>(&about, "img_About")->pixmap().isNull());
    EXPECT_FALSE(Ctl<QLabel>(&login, "img1")->pixmap().isNull());
    EXPECT_FALSE(Ctl<QLabel>(&login, "img2")->pixmap().isNull());
}

// ---------------------------------------------------------------------------------------------
// Login dialog

namespace {

struct LoginTest : ::testing::Test {
    TLangScope Lang{false};
    void SetUp() override
    {
        LoginName = QString::fromLatin1(DefaultLogin);
        LoginPswd = QString::fromLatin1(DefaultLogin);
    }
    void TearDown() override
    {
        LoginName = QString::fromLatin1(DefaultLogin);
        LoginPswd = QString::fromLatin1(DefaultLogin);
    }
};

// Runs body once the dialog's modal loop is up; closes it after a second if the body did not.
void WhileModal(QDialog &d, std::function<void()> body)
{
    QTimer::singleShot(0, &d, [&d, body] {
        EXPECT_EQ(QApplication::activeModalWidget(), &d) << "not shown modally";
        body();
    });
    QTimer::singleShot(1000, &d, [&d] {
        if (d.isVisible()) {
            ADD_FAILURE() << "the dialog did not close";
            d.reject();
        }
    });
}

} // namespace

TEST_F(LoginTest, opensWithTheCredentialsThePasswordAsFiveAsterisks)
{
    TFrm_Pswd d;
    auto *name = Ctl<QLineEdit>(&d, "edt_UsrName");
    auto *pswd = Ctl<QLineEdit>(&d, "edt_Paswd");
    EXPECT_EQ(name->text(), "tovak");
    EXPECT_EQ(pswd->text(), "tovak");
    EXPECT_EQ(pswd->displayText(), "*****");
    EXPECT_FALSE(d.windowFlags() & Qt::WindowCloseButtonHint);
}

TEST_F(LoginTest, aSixthCharacterCannotBeTyped)
{
    TFrm_Pswd d;
    for (const char *field : {"edt_UsrName", "edt_Paswd"}) {
        auto *e = Ctl<QLineEdit>(&d, field);
        e->clear();
        QTest::keyClicks(e, "abcdefg");
        EXPECT_EQ(e->text(), "abcde") << field;
    }
}

TEST_F(LoginTest, okSetsBothCredentialsEmptyOnesToo)
{
    TFrm_Pswd d;
    Ctl<QLineEdit>(&d, "edt_UsrName")->setText("admin");
    Ctl<QLineEdit>(&d, "edt_Paswd")->clear();
    WhileModal(d, [&d] { QTest::mouseClick(Ctl<QPushButton>(&d, "btn_OK"), Qt::LeftButton); });
    d.OpenFromMenu();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(LoginName, "admin");
    EXPECT_EQ(LoginPswd, "");
}

TEST_F(LoginTest, cancelKeepsTheCredentialsButTheFieldsKeepWhatWasTyped)
{
    TFrm_Pswd d;
    auto *name = Ctl<QLineEdit>(&d, "edt_UsrName");
    WhileModal(d, [&] {
        name->selectAll();
        QTest::keyClicks(name, "guest");
        QTest::mouseClick(Ctl<QPushButton>(&d, "btn_Cancel"), Qt::LeftButton);
    });
    d.OpenFromMenu();
    EXPECT_EQ(d.result(), QDialog::Rejected);
    EXPECT_EQ(LoginName, "tovak");
    EXPECT_EQ(LoginPswd, "tovak");

    // Filled only at creation: a later opening shows what was typed, even when the credentials
    // changed elsewhere in between.
    LoginName = QStringLiteral("other");
    WhileModal(d, [&] {
        EXPECT_EQ(name->text(), "guest");
        d.reject();
    });
    d.OpenFromMenu();
    EXPECT_EQ(LoginName, "other");
}

TEST_F(LoginTest, openingWhenShownBringsItToTheFrontWithoutASecondLoop)
{
    QWidget other;
    TFrm_Pswd d;
    d.show();
    other.show();
    other.activateWindow();
    QApplication::processEvents();
    bool returned = false;
    QTimer::singleShot(500, &d, [&] {
        if (!returned)
            d.reject(); // a modal loop was started: end it so the test can fail instead of hang
    });
    d.OpenFromMenu();
    returned = true;
    EXPECT_TRUE(d.isVisible()) << "it ran a modal loop instead of coming to the front";
    QApplication::processEvents();
    EXPECT_EQ(QApplication::activeWindow(), &d);
}

// ---------------------------------------------------------------------------------------------
// About box

TEST(AboutTest, versionLabelIsTheProgramsVersionAndSurvivesASwitch)
{
    TLangScope lang(false);
    TFrm_About d;
    auto *version = Ctl<QLabel>(&d, "lbl_version");
    EXPECT_EQ(version->text(), " V" + GetAppVersion());
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^ V\\d+\\.\\d+\\.\\d+\\.\\d+$")).match(version->text()).hasMatch())
        << version->text().toStdString();
    LangList->IsChinese = true;
    d.ApplyAboutTexts();
    EXPECT_EQ(version->text(), " V" + GetAppVersion());
}

TEST(AboutTest, clickOnTheWebSiteOpensTheAddressTheLabelShows)
{
    for (bool chinese : {false, true}) {
        TLangScope lang(chinese);
        TFrm_About d;
        QList<QUrl> opened;
        d.OpenUrl = [&](const QUrl &url) { opened << url; };
        d.show();
        auto *site = Ctl<QLabel>(&d, "lbl_About_Website");
        EXPECT_EQ(site->cursor().shape(), Qt::PointingHandCursor);
        EXPECT_TRUE(site->font().underline());
        QTest::mouseClick(site, Qt::LeftButton);
        ASSERT_EQ(opened.size(), 1);
        EXPECT_EQ(opened[0].toString(), site->text()) << (chinese ? "zh" : "en");
        EXPECT_TRUE(opened[0].isValid());
    }
}

TEST(AboutTest, anAddressWithoutSchemeFromLangTxtOpensAsAWebAddress)
{
    TLangScope lang(false);
    lang.LoadLangFile("lang_About_Website|www.bexo.example/zh|www.bexo.example/en\n");
    TFrm_About d;
    QList<QUrl> opened;
    d.OpenUrl = [&](const QUrl &url) { opened << url; };
    d.lbl_About_WebsiteClick();
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0].toString(), "http://www.bexo.example/en");
}

TEST(AboutTest, openingWhenShownBringsItToTheFront)
{
    TLangScope lang(false);
    TFrm_About d;
    d.show();
    QTimer::singleShot(500, &d, [&] { d.reject(); });
    d.OpenFromMenu();
    EXPECT_TRUE(d.isVisible()) << "it ran a modal loop instead of coming to the front";
}
