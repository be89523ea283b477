// The program wired as main() builds it: the dialogs behind the menus and the device actions, the
// settings they share, the page views in the parameter area (fills, the tab switch, the page widths
// with the real pages).
#include "AppFixture.h"
#include "DialogTestUtil.h"
#include "core/AppPaths.h"
#include "core/IniFile.h"
#include "gui/Q1PageView.h"
#include "gui/SearchColumn.h"
#include "netconfig/Q1Page.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QScrollBar>

namespace {

using AppWiring = AppFixture;

TEST_F(AppWiring, dialogsOpenFromTheMenusAndTheDeviceList)
{
    EXPECT_FALSE(QApplication::windowIcon().isNull());
    for (QWidget *d : std::initializer_list<QWidget *>{app->About.get(), app->Pswd.get(), app->Upgrade.get()})
        EXPECT_FALSE(d->isVisible()) << d->objectName().toStdString() << " waits hidden until asked for";
    EXPECT_EQ(app->Upgrade->Attempt().Log, static_cast<ILogSink *>(w)) << "upgrade failures go to the operation log";

    QString upgradeIP;
    TModalWatcher watcher([&](QWidget *m) {
        if (m == app->Upgrade.get())
            upgradeIP = Ctl<QLineEdit>(m, "edt_IP")->text();
    });
    w->mni_Pswd->trigger();
    w->mni_About->trigger();
    FeedRows();
    w->lv_Dev->SelectRow(0);
    w->mni_FirmwareUp->trigger();
    EXPECT_EQ(watcher.Opened, QStringList({"Frm_Pswd", "Frm_About", "frm_Upgrade"}));
    EXPECT_EQ(upgradeIP, QStringLiteral("192.168.0.7")) << "the row is handed over before the window shows";
    EXPECT_EQ(app->Upgrade->SearchReply(), w->SelectedDevice()->SearchReply);
}

TEST_F(AppWiring, upgradeFieldsComeFromCfgIniAndGoBackAtClose)
{
    Create("Language=0\r\nUpgradeIP=10.1.1.9\r\nUpgradeMAC=02 00 00 00 13 01\r\nUpgradeFileName=/srv/q2.bin\r\n");
    auto *ip = Ctl<QLineEdit>(app->Upgrade.get(), "edt_IP");
    EXPECT_EQ(ip->text(), QStringLiteral("10.1.1.9"));
    EXPECT_EQ(Ctl<QLineEdit>(app->Upgrade.get(), "edt_BinFileName")->text(), QStringLiteral("/srv/q2.bin"));
    ip->setText(QStringLiteral("10.1.1.10"));
    const QString user = LoginName;
    LoginName = QStringLiteral("op7");
    w->close();
    LoginName = user;
    TIniFile ini(CfgIniPlace().Path);
    EXPECT_EQ(ini.ReadString(IniSection, QStringLiteral("UpgradeIP"), {}), QStringLiteral("10.1.1.10"));
    EXPECT_EQ(ini.ReadString(IniSection, QStringLiteral("UpgradeMAC"), {}), QStringLiteral("02 00 00 00 13 01"));
    EXPECT_EQ(ini.ReadString(IniSection, QStringLiteral("UserName"), {}), QStringLiteral("op7"));
}

TEST_F(AppWiring, readRepliesFillThePageAndEndInTheReadLine)
{
    FeedRows();
    ClickRow(0);
    FeedReplies(TQ2Replies::Full());
    EXPECT_EQ(w->CurrentPage(), PageQ2);
    // Each event reached the widgets, not only the model.
    EXPECT_EQ(C<QLineEdit>("edt_ModName")->text(), QStringLiteral("Lab-Q2"));
    EXPECT_EQ(C<QComboBox>("cbb_WorkMode0")->currentIndex(), 4);
    EXPECT_EQ(C<QLineEdit>("edtHeartDt")->text(), QStringLiteral("70696E67")) << "hex data shown as hex";
    EXPECT_EQ(C<QLineEdit>("LabeledEdit2")->text(), QStringLiteral("/report.php?id=7"));
    EXPECT_EQ(C<QPlainTextEdit>("RzRichEdit1")->toPlainText(), QStringLiteral("Accept: text/html\nX-Node: lab"));
    w->ReadPages();
    EXPECT_EQ(w->Q2Model.RzRichEdit1.Text, QStringLiteral("Accept: text/html\r\nX-Node: lab")) << "read back unchanged";
    EXPECT_EQ(C<QLineEdit>("edtwaittime")->text(), QStringLiteral("500"));
    for (const char *name :
         {"rzgrpbxModbus", "rzchckbxmodbuspool", "RzGroupBox1", "rzgrpbxModbusNew", "RzGroupBoxHttpd"})
        EXPECT_TRUE(Shows(name)) << name;
    const QList<TShownLine> log = Log();
    ASSERT_EQ(LogTexts().count(QStringLiteral("Read OK ")), 1);
    EXPECT_EQ(log.last().Text, QStringLiteral("Read OK ")) << "the other blocks add no line";
    EXPECT_EQ(log.last().Color, Rgb(TLogColor::Green));

    // Another click on the row hides the three Modbus groups at once, before any reply.
    QScrollBar *bar = w->Q2View->ScrollBox()->verticalScrollBar();
    QApplication::processEvents();
    bar->setValue(bar->maximum());
    ASSERT_GT(bar->value(), 0);
    ClickRow(0);
    for (const char *name : {"rzgrpbxModbus", "RzGroupBox1", "rzgrpbxModbusNew"})
        EXPECT_FALSE(Shows(name)) << name;
    // The module answers without Modbus blocks: they stay hidden; the page shows from the top.
    TQ2Replies plain = TQ2Replies::Full();
    plain.Modbus.clear();
    plain.ModbusPack.clear();
    plain.ModbusNew.clear();
    FeedReplies(plain);
    for (const char *name : {"rzgrpbxModbus", "RzGroupBox1", "rzgrpbxModbusNew"})
        EXPECT_FALSE(Shows(name)) << name;
    EXPECT_EQ(bar->value(), 0);

    // A reply of the Q3 row logs its read line and leaves the page as it is.
    w->lv_Dev->SelectRow(1);
    TQ2Replies q3;
    q3.Read.replace(53, 6, QByteArray::fromHex("001A2B3C4D5F"));
    Arrive(q3.Read, QStringLiteral("192.168.0.8"), DevPortQ3);
    EXPECT_EQ(w->CurrentPage(), PageQ2);
    EXPECT_EQ(C<QLineEdit>("edt_ModName")->text(), QStringLiteral("Lab-Q2"));
    EXPECT_EQ(LogTexts().count(QStringLiteral("Read OK ")), 3);
}

TEST_F(AppWiring, eachTabShowsItsWriteButtonsAndTheNetworkOnlyControls)
{
    SetSerialPortsProvider([] { return QStringList{"ttyS0"}; });
    const char *networkOnly[] = {"RzGroupBoxHttpd", "RzGroupBoxHeart", "rzgrpbxRegHeart", "rzchckbxComSetEnable",
                                 "lbl_UARTTime0", "edt_UARTTime0", "lblUartPackLEN", "edtUartPackLEN",
                                 "rzchbUdpFrom", "RzGroupBox1", "rzgrpbxModbusNew", "rzgrpbxModbus"};
    for (int tab : {TSearchColumn::TabCom, TSearchColumn::TabNet, TSearchColumn::TabCom}) {
        const bool com = tab == TSearchColumn::TabCom;
        w->ShowPage(PageQ2);
        w->rzpgcntrl_Srch->setCurrentIndex(tab);
        EXPECT_EQ(w->CurrentPage(), PageNone);
        EXPECT_EQ(C("btn_ComSet")->isVisibleTo(w->Q1View), com);
        EXPECT_EQ(C("btn_Q1Set")->isVisibleTo(w->Q1View), !com);
        EXPECT_EQ(C("btn_Q2ComSet")->isVisibleTo(w->Q2View), com);
        EXPECT_EQ(C("btn_Q2NetSet")->isVisibleTo(w->Q2View), !com);
        for (const char *name : networkOnly)
            EXPECT_EQ(Shows(name), !com) << name << (com ? " on the COM tab" : " on the LAN tab");
    }
}

// The page widths of the window come from the real pages, in both languages, and every caption
// fits the room it gets.
TEST_F(AppWiring, pageWidthsComeFromTheRealPagesAndNothingIsClipped)
{
    for (bool chinese : {false, true}) {
        SCOPED_TRACE(chinese ? "Chinese" : "English");
        Create(chinese ? "Language=1\r\n" : "Language=0\r\n");
        FeedRows();
        w->lv_Dev->SelectRow(0);
        FeedReplies(TQ2Replies::Full());
        const int param = w->rzpgcntrl_Param->width();
        const int srch = w->rzpgcntrl_Srch->width();
        EXPECT_GE(param, w->rzpgcntrl_Param->minimumSizeHint().width());
        const int both = 8 + srch + 8 + param + 8;
        for (int mode : {PageQ1, PageQ2}) {
            w->ShowPage(mode);
            QApplication::processEvents();
            EXPECT_EQ(w->width(), std::max(mode == PageQ1 ? 2 * param - 8 : 2 * param - 78, both)) << mode;
            EXPECT_TRUE(w->centralWidget()->rect().contains(w->rzpgcntrl_Param->geometry())) << mode;
            EXPECT_EQ(ClippedControls(w), "") << mode;
        }
        QScrollArea *box = w->Q2View->ScrollBox();
        EXPECT_LE(box->widget()->width(), box->viewport()->width()) << "nothing cut off at the right";
        w->ShowPage(PageQ1);
        QApplication::processEvents();
        EXPECT_LE(w->Q1View->minimumSizeHint().height(), w->Q1View->height()) << "the Q1 page fits";
    }
}

} // namespace
