// The texts of the whole program: every row of the four windows' tables on its control, at creation
// and after a switch from the main menu, from the built-in table and from a Lang.txt; and the rules
// beside the tables (title, list items in place, the Modbus rules run again, hints, lbl_Info).
#include "AppFixture.h"
#include "core/AppPaths.h"
#include "core/Version.h"
#include "gui/TextTable.h"
#include "lang/LangList.h"

#include <QComboBox>
#include <QFile>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSet>
#include <QToolTip>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <memory>

namespace {

struct TWindowRows {
    const char *Name;
    std::span<const TTextRow> Rows;
    QWidget *Root;
};

QList<TWindowRows> Windows(TAppWindows &a)
{
    return {{"main", MainTextRows, a.Main.get()},
            {"about", AboutTextRows, a.About.get()},
            {"login", PswdTextRows, a.Pswd.get()},
            {"upgrade", UpgradeTextRows, a.Upgrade.get()}};
}

// The keys of every row (and the two titles), one spelling per key regardless of letter case: the
// table's own where it has the key, so that the rows asking in another case are served from it.
QStringList FileKeys()
{
    QStringList keys{QStringLiteral("lang_Main_Title"), QStringLiteral("lang_Main_AppTitle")};
    QSet<QString> seen{keys[0].toLower(), keys[1].toLower()};
    for (auto rows : {MainTextRows, AboutTextRows, PswdTextRows, UpgradeTextRows})
        for (const TTextRow &row : rows) {
            QString key = QString::fromLatin1(row.Key);
            if (row.Literal || seen.contains(key.toLower()))
                continue;
            seen << key.toLower();
            for (const QString &own : {QStringLiteral("lang_Lbl_Baudrate"), QStringLiteral("lang_Lbl_PDS")})
                if (own.compare(key, Qt::CaseInsensitive) == 0)
                    key = own;
            keys << key;
        }
    return keys;
}

QString Overridden(const QString &key, bool chinese)
{
    for (const QString &k : FileKeys())
        if (k.compare(key, Qt::CaseInsensitive) == 0)
            return (chinese ? QStringLiteral("改") : QStringLiteral("over ")) + k;
    return {};
}

struct AppTexts : AppFixture {
    void TearDown() override
    {
        AppFixture::TearDown();
        QFile::remove(LangFilePath()); // the next window writes the built-in table again
    }

    // A Lang.txt beside the program that overrides every key the windows ask for.
    static void WriteLangFile()
    {
        QByteArray lines;
        for (const QString &k : FileKeys())
            lines += (k + QStringLiteral("|改") + k + QStringLiteral("|over ") + k + u'\n').toUtf8();
        QFile f(LangFilePath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(lines);
    }

    void ExpectEveryRow(bool fromFile, bool chinese)
    {
        for (const TWindowRows &win : Windows(*app)) {
            for (const TTextRow &row : win.Rows) {
                const QString control = QString::fromLatin1(row.Control);
                if (!control.isEmpty() && !win.Root->findChild<QObject *>(control)) {
                    ADD_FAILURE() << win.Name << " has no control " << row.Control << " for " << row.Key;
                    continue;
                }
                const QString shown = ShownText(win.Root, row);
                EXPECT_EQ(shown, RowText(row)) << win.Name << " " << row.Control << " " << row.Key;
                if (fromFile && !row.Literal) {
                    QString want = Overridden(QString::fromLatin1(row.Key), chinese);
                    if (row.Prop == TTextProp::StarCaption)
                        want += QStringLiteral(" *");
                    EXPECT_EQ(shown, want) << win.Name << " " << row.Control << " " << row.Key;
                }
            }
        }
        const QString title = fromFile ? Overridden(QStringLiteral("lang_Main_Title"), chinese)
                                       : GetLangText(QStringLiteral("lang_Main_Title"));
        EXPECT_EQ(w->windowTitle(), title + QStringLiteral(" V") + GetAppVersion());
        static const QRegularExpression version(QStringLiteral(" V\\d+\\.\\d+\\.\\d+\\.\\d+$"));
        EXPECT_TRUE(version.match(w->windowTitle()).hasMatch()) << w->windowTitle().toStdString();
        EXPECT_EQ(QGuiApplication::applicationDisplayName(), GetLangText(QStringLiteral("lang_Main_AppTitle")));
        EXPECT_FALSE(w->mni_WorkOrder->isVisible());
    }
};

// Made in one language, switched to the other from the main menu; built-in table and Lang.txt.
TEST_F(AppTexts, everyRowOfEveryWindowShowsItsText)
{
    for (bool fromFile : {false, true}) {
        for (bool chinese : {false, true}) {
            SCOPED_TRACE(std::string(fromFile ? "Lang.txt " : "built-in ") + (chinese ? "zh" : "en"));
            if (fromFile)
                WriteLangFile();
            else
                QFile::remove(LangFilePath());
            Create(chinese ? "Language=1\r\n" : "Language=0\r\n");
            ASSERT_EQ(LangList->IsChinese, chinese);
            ExpectEveryRow(fromFile, chinese);
            (chinese ? w->mni_En : w->mni_Cn)->trigger();
            ASSERT_EQ(LangList->IsChinese, !chinese);
            ExpectEveryRow(fromFile, !chinese);
        }
    }
}

TEST_F(AppTexts, listItemsAreReplacedInPlaceAndTheSelectionStays)
{
    Create("Language=1\r\n");
    auto *addr = C<QComboBox>("cbb_AddrType");
    ASSERT_EQ(addr->currentIndex(), 1);
    EXPECT_EQ(addr->currentText(), QStringLiteral("静态IP"));
    auto *heart = C<QComboBox>("RzComboBox1");
    heart->setCurrentIndex(2);
    auto *q1Baud = C<QComboBox>("cbb_BaudRate");
    q1Baud->setCurrentIndex(3);
    w->mni_En->trigger();
    EXPECT_EQ(addr->currentIndex(), 1);
    EXPECT_EQ(addr->currentText(), QStringLiteral("Static IP"));
    EXPECT_EQ(heart->currentIndex(), 2);
    EXPECT_EQ(heart->currentText(), GetLangText(QStringLiteral("lang_RzComboBox1_2")));
    EXPECT_EQ(q1Baud->currentIndex(), 3);
    EXPECT_EQ(q1Baud->itemText(1), QStringLiteral("Custom"));
    EXPECT_EQ(q1Baud->itemText(3), QStringLiteral("600")) << "numeric items keep their texts";
}

// The model says "RTU polling" and "multi-master poll" without their rules having run: the switch
// runs both rules again, and the controls that hang on them show.
TEST_F(AppTexts, switchRunsTheTwoModbusRulesAgain)
{
    w->Q2Model.cbbModbusType.Index = 2;
    w->Q2Model.cmbModbusEnable1.Index = 2;
    w->RefreshPages();
    ASSERT_TRUE(C("cbbReporproto")->isHidden());
    ASSERT_TRUE(C("edtModbusTimeout1")->isHidden());
    w->mni_Cn->trigger();
    for (const char *name : {"lblReportProto", "cbbReporproto", "edtModbusTimeout", "cbbModbusException",
                             "edtModbusTimeout1", "edtModbusInterval1", "cmbModbusException1"})
        EXPECT_FALSE(C(name)->isHidden()) << name;
    EXPECT_EQ(C<QComboBox>("cbbModbusType")->currentText(), GetLangText(QStringLiteral("lang_cbbModbusType_2")));
}

TEST_F(AppTexts, pageHintsShowOnlyWhileHintsAreOnAndFollowTheLanguage)
{
    Create("Language=0\r\nRealTimeHelp=0\r\n");
    FeedRows();
    w->lv_Dev->SelectRow(0);
    FeedReplies(TQ2Replies::Full());
    auto *field = C<QLineEdit>("edt_StaticIP");
    ASSERT_TRUE(field->isVisible());
    const QPoint at = field->rect().center();
    auto ask = [&] {
        QHelpEvent e(QEvent::ToolTip, at, field->mapToGlobal(at));
        QApplication::sendEvent(field, &e);
    };
    ASSERT_TRUE(QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 2000));
    ask();
    QApplication::processEvents();
    EXPECT_FALSE(QToolTip::isVisible()) << "RealTimeHelp=0";
    EXPECT_EQ(field->toolTip(), GetLangText(QStringLiteral("lang_lbl_H_StaticIP")));

    w->mni_Cn->trigger();
    EXPECT_EQ(field->toolTip(), GetLangText(QStringLiteral("lang_lbl_H_StaticIP")));
    EXPECT_NE(field->toolTip(), LangList->English[LangList->Names.indexOf(QStringLiteral("lang_lbl_H_StaticIP"))]);
    w->SetHintsShown(true);
    ask();
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QToolTip::text(), field->toolTip());
    QToolTip::hideText();
}

TEST_F(AppTexts, aSwitchFromTheMenuReTranslatesTheUpgradeStatusAndHidesWorkOrder)
{
    auto *info = Ctl<QLabel>(app->Upgrade.get(), "lbl_Info");
    info->setText(QStringLiteral(" Upgrade successful.please restore factory default."));
    w->mni_WorkOrder->setVisible(true);
    w->mni_Cn->trigger();
    EXPECT_EQ(info->text(), QStringLiteral(" 升级已完成，请恢复出厂默认。"));
    EXPECT_FALSE(w->mni_WorkOrder->isVisible()) << "Custom is off, yet the item goes";
    EXPECT_TRUE(w->mni_About->isVisible());
    w->mni_En->trigger();
    EXPECT_EQ(info->text(), QStringLiteral(" Upgrade successful.please restore factory default."));
    EXPECT_EQ(Ctl<QLabel>(app->About.get(), "lbl_version")->text(), QStringLiteral(" V") + GetAppVersion());
}

} // namespace

namespace {

// Qt's own texts follow the language: a message box's button, the edit menu, the file dialog.
TEST_F(AppTexts, qtsOwnTextsFollowTheLanguage)
{
    const auto okText = [] {
        QMessageBox box(QMessageBox::Information, QStringLiteral("t"), QStringLiteral("x"), QMessageBox::Ok);
        return box.button(QMessageBox::Ok)->text();
    };
    const auto editMenu = [] {
        QLineEdit edit;
        std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
        QStringList texts;
        for (QAction *a : menu->actions())
            if (!a->isSeparator())
                texts << a->text();
        return texts.join(u'|');
    };
    const auto openButton = [] {
        QFileDialog dialog;
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setFileMode(QFileDialog::ExistingFile);
        QDialogButtonBox *buttons = dialog.findChild<QDialogButtonBox *>();
        return buttons ? buttons->button(QDialogButtonBox::Open)->text() : QString();
    };
    ASSERT_EQ(okText(), QStringLiteral("OK")) << "English before the switch";
    w->mni_Cn->trigger();
    EXPECT_EQ(okText(), QStringLiteral("确定"));
    EXPECT_TRUE(editMenu().contains(QStringLiteral("撤消")) || editMenu().contains(QStringLiteral("撤销")))
        << editMenu().toStdString();
    EXPECT_TRUE(openButton().contains(QStringLiteral("打开"))) << openButton().toStdString();
    w->mni_En->trigger();
    EXPECT_EQ(okText(), QStringLiteral("OK"));
    EXPECT_TRUE(editMenu().contains(QStringLiteral("Undo"))) << editMenu().toStdString();
    // Started in Chinese, they are Chinese from the first window on.
    Create("Language=1\r\n");
    EXPECT_EQ(okText(), QStringLiteral("确定"));
}

} // namespace
