// The main window's life: start-up state, page modes and widths, the LAN/COM switch, texts and
// language switch, hints, and what is written at close.
#include <QFileInfo>
#include "MainFixture.h"
#include "core/IniFile.h"
#include "core/Version.h"
#include "gui/BaudInput.h"
#include "gui/ParamArea.h"
#include "gui/TextTable.h"
#include "lang/LangList.h"

#include <QAction>
#include <QDir>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTabBar>
#include <QToolTip>

namespace {

using MainWindow = MainFixture;

QMap<QString, bool> PopupEnabled(TFrm_Main *w)
{
    QMap<QString, bool> m;
    for (QAction *a : w->lv_Dev->PopupItems())
        m[a->objectName()] = a->isEnabled();
    return m;
}

TEST_F(MainWindow, startsNarrowOnTheLanTabWithTheMaroonHint)
{
    TSearchColumn *srch = w->rzpgcntrl_Srch;
    EXPECT_EQ(srch->currentIndex(), TSearchColumn::TabNet);
    EXPECT_EQ(w->rzpgcntrl_Logs->currentIndex(), 0);
    EXPECT_EQ(w->CurrentPage(), PageNone);
    EXPECT_FALSE(w->rzpgcntrl_Param->isVisible());
    EXPECT_EQ(srch->x(), 8);
    EXPECT_EQ(w->width(), srch->width() + 2 * srch->x() + 6);

    const QList<TShownLine> log = Log();
    ASSERT_EQ(log.size(), 1);
    EXPECT_EQ(log[0].Text, QStringLiteral("Operate Via LAN,please leave CFG pin free"));
    EXPECT_EQ(log[0].Color, QColor(128, 0, 0));
    EXPECT_TRUE(Hex().isEmpty());

    const QMap<QString, bool> popup = PopupEnabled(w.get());
    const QMap<QString, bool> want{{"mni_OpenWeb", false},    {"mni_Restart", false},    {"mni_FirmwareUp", true},
                                   {"mni_Reset", false},      {"mni_CopyTheMac", true}, {"mni_CopeAllMac", true}};
    EXPECT_EQ(popup, want);

    EXPECT_EQ(w->windowTitle(), QStringLiteral("Bexo-Z0 V") + GetAppVersion());
    EXPECT_FALSE(w->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(w->minimumWidth(), w->maximumWidth()) << "the width follows the page mode only";
    EXPECT_TRUE(w->rzpgcntrl_Param->tabBar()->isHidden());
    EXPECT_TRUE(srch->rbQ2->isChecked());
    for (QWidget *hidden : std::initializer_list<QWidget *>{srch->rbQ1, srch->rbQ2, srch->rbQ3, srch->lblQNum})
        EXPECT_TRUE(hidden->isHidden()) << hidden->objectName().toStdString();
    EXPECT_EQ(srch->cbbSoftBitRate->currentText(), QStringLiteral("9600"));
    EXPECT_EQ(srch->cbbSoftBitRate->itemText(1), QStringLiteral("Custom"));
    EXPECT_EQ(srch->cbb_SelectCom->currentText(), QStringLiteral("COM1"));
    EXPECT_FALSE(w->mni_WorkOrder->isVisible());
    EXPECT_TRUE(w->mni_About->isVisible());
    EXPECT_FALSE(w->mni_Hint->isVisible());
    EXPECT_TRUE(w->mni_En->isChecked());
    // The captions of every control this window has built come from the language table.
    for (const TTextRow &row : MainTextRows)
        if (w->findChild<QObject *>(QString::fromLatin1(row.Control))) {
            EXPECT_EQ(ShownText(w.get(), row), RowText(row)) << row.Control << " " << row.Key;
        }
}

TEST_F(MainWindow, settingsShapeTheStartAndCloseWritesThemBack)
{
    Create("Language=0\r\nCustom=1\r\nQNum=3\r\nLocalCom=ttyUSB7\r\nRealTimeHelp=0\r\nUpgradeIP=10.1.1.1\r\n");
    EXPECT_FALSE(w->mni_About->isVisible());
    EXPECT_FALSE(w->mni_Up->isVisible());
    EXPECT_FALSE(w->mni_WorkOrder->isVisible());
    EXPECT_TRUE(w->rzpgcntrl_Srch->rbQ2->isChecked()) << "the layout checks Q2 after the settings";
    EXPECT_EQ(w->rzpgcntrl_Srch->cbb_SelectCom->currentText(), QStringLiteral("ttyUSB7"));
    EXPECT_FALSE(w->HintsShown());

    bool stored = false;
    w->Hooks.StoreDialogSettings = [&](TAppSettings &s) {
        stored = true;
        EXPECT_EQ(s.UpgradeIP, QStringLiteral("10.1.1.1")) << "values nobody changed go back as read";
        s.UpgradeMAC = QStringLiteral("001A2B3C4D5E");
    };
    w->close();
    EXPECT_TRUE(stored);
    TIniFile ini(CfgIniPlace().Path);
    EXPECT_EQ(ini.ReadInteger(IniSection, QStringLiteral("QNum"), 0), 2);
    EXPECT_EQ(ini.ReadString(IniSection, QStringLiteral("LocalCom"), {}), QStringLiteral("ttyUSB7"));
    EXPECT_EQ(ini.ReadInteger(IniSection, QStringLiteral("RealTimeHelp"), 9), 0);
    EXPECT_EQ(ini.ReadInteger(IniSection, QStringLiteral("Language"), 9), 0);
    EXPECT_EQ(ini.ReadString(IniSection, QStringLiteral("UpgradeIP"), {}), QStringLiteral("10.1.1.1"));
    EXPECT_EQ(ini.ReadString(IniSection, QStringLiteral("UpgradeMAC"), {}), QStringLiteral("001A2B3C4D5E"));
    EXPECT_EQ(ini.ReadString(IniSection, QStringLiteral("UserName"), {}), LoginName);
    EXPECT_EQ(w->UdpSvr, nullptr) << "the endpoint is freed at close";
}

TEST_F(MainWindow, closeSwallowsASettingsFileThatCannotBeWritten)
{
    delete IniFile;
    IniFile = new TIniFile(QFileInfo(CfgIniPlace().Path).dir().filePath(QStringLiteral("no/such/folder/Cfg.ini")));
    int stored = 0;
    w->Hooks.StoreDialogSettings = [&](TAppSettings &) { ++stored; };
    EXPECT_TRUE(w->close());
    EXPECT_EQ(stored, 1);
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(IniFile, nullptr) << "the steps after the failed write still ran";
    EXPECT_EQ(LangList, nullptr);
}

TEST_F(MainWindow, settingsAreWrittenWhenTheyChangeNotOnlyAtClose)
{
    Create("Language=0\r\nQNum=3\r\n");
    const QString before = ReadCfg();
    QTest::qWait(TFrm_Main::StoreSettingsDelayMs + 100);
    EXPECT_EQ(ReadCfg(), before) << "the start itself writes nothing";

    w->rzpgcntrl_Srch->rbQ3->setChecked(true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return ReadCfg().contains(QLatin1String("QNum=3")); }, 3000)) << ReadCfg().toStdString();
    // The login dialog's values, when it closes (the program wires that to this call).
    const QString pswd = LoginPswd;
    LoginPswd = QStringLiteral("bexo7");
    EXPECT_TRUE(w->StoreSettings());
    LoginPswd = pswd;
    EXPECT_TRUE(ReadCfg().contains(QLatin1String("Password=bexo7"))) << ReadCfg().toStdString();
    EXPECT_TRUE(w->isVisible());
}

TEST_F(MainWindow, aSettingsWriteThatFailsIsARedLine)
{
    delete IniFile;
    const QString folder = QFileInfo(CfgIniPlace().Path).dir().filePath(QStringLiteral("cfg-as-folder"));
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/Cfg.ini")));
    IniFile = new TIniFile(folder + QStringLiteral("/Cfg.ini"));
    w->rzpgcntrl_Srch->rbQ1->setChecked(true);
    EXPECT_FALSE(w->StoreSettings());
    const QList<TShownLine> log = Log();
    ASSERT_FALSE(log.isEmpty());
    EXPECT_TRUE(log.last().Text.startsWith(QStringLiteral("Unable to write to ") + folder)) << log.last().Text.toStdString();
    EXPECT_EQ(log.last().Color, Rgb(TLogColor::Red));
    QDir(folder).removeRecursively();
}

namespace {
QStringList *capturedWarnings = nullptr;
void captureWarning(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (capturedWarnings && type == QtWarningMsg)
        *capturedWarnings << text;
}
} // namespace

TEST_F(MainWindow, closeLogsTheSettingsWriteItCouldNotDo)
{
    delete IniFile;
    const QString path = QFileInfo(CfgIniPlace().Path).dir().filePath(QStringLiteral("no/such/folder/Cfg.ini"));
    IniFile = new TIniFile(path);
    QStringList warnings;
    capturedWarnings = &warnings;
    const QtMessageHandler old = qInstallMessageHandler(captureWarning);
    w->close();
    qInstallMessageHandler(old);
    capturedWarnings = nullptr;
    ASSERT_EQ(warnings.size(), 1) << warnings.join(u'\n').toStdString();
    EXPECT_TRUE(warnings[0].startsWith(QStringLiteral("closing: writing the settings failed: Unable to write to ")))
        << warnings[0].toStdString();
    EXPECT_TRUE(warnings[0].endsWith(QStringLiteral("(No such file or directory)"))) << warnings[0].toStdString();
}

TEST_F(MainWindow, pageModesSetWidthsFromTheColumnsAndThePopupItems)
{
    const int param = w->rzpgcntrl_Param->width();
    const int srch = w->rzpgcntrl_Srch->width();
    EXPECT_EQ(param, TParamArea::DesignWidth);
    EXPECT_GE(srch, TSearchColumn::DesignWidth);
    // The widths of the design (1048 and 978 for a 528 wide parameter area), never narrower than
    // both columns side by side.
    const int both = 8 + srch + 8 + param + 8;
    struct Case {
        int mode;
        int width;
        bool paramShown;
        int pageIndex;
        QStringList disabled;
    } cases[] = {
        {PageQ1, std::max(2 * param - 8, both), true, 0, {"mni_OpenWeb", "mni_Restart", "mni_FirmwareUp"}},
        {PageQ2, std::max(2 * param - 78, both), true, 1, {}},
        {PageNone, srch + 2 * 8 + 6, false, -1, {"mni_OpenWeb", "mni_Restart", "mni_Reset"}},
        {PageQ2, std::max(2 * param - 78, both), true, 1, {}},
        {7, std::max(2 * param - 78, both), true, 1, {}}, // an unknown mode changes nothing
    };
    for (const Case &c : cases) {
        w->ShowPage(c.mode);
        QApplication::processEvents();
        EXPECT_EQ(w->width(), c.width) << c.mode;
        EXPECT_EQ(w->rzpgcntrl_Param->isVisible(), c.paramShown) << c.mode;
        if (c.pageIndex >= 0) {
            EXPECT_EQ(w->rzpgcntrl_Param->currentIndex(), c.pageIndex);
        }
        QStringList disabled;
        for (QAction *a : w->lv_Dev->PopupItems())
            if (!a->isEnabled())
                disabled << a->objectName();
        EXPECT_EQ(disabled, c.disabled) << c.mode;
        // Nothing sticks out of the window, and the columns do not overlap.
        const QRect inside = w->centralWidget()->rect();
        EXPECT_TRUE(inside.contains(w->rzpgcntrl_Srch->geometry())) << c.mode;
        if (c.paramShown) {
            EXPECT_TRUE(inside.contains(w->rzpgcntrl_Param->geometry())) << c.mode;
            EXPECT_GT(w->rzpgcntrl_Param->x(), w->rzpgcntrl_Srch->geometry().right()) << c.mode;
        }
    }
    // The list shows its columns without a horizontal scroll bar.
    EXPECT_FALSE(w->lv_Dev->horizontalScrollBar()->isVisible());
}

TEST_F(MainWindow, widenedForAPageTheWindowStaysOnTheScreen)
{
    const QRect avail = w->screen()->availableGeometry();
    // Placed narrow near the right edge, as a centred narrow window on a small screen is.
    w->move(avail.right() - w->frameGeometry().width() - 10, avail.top());
    QApplication::processEvents();
    w->ShowPage(PageQ2);
    QApplication::processEvents();
    const QRect frame = w->frameGeometry();
    if (frame.width() <= avail.width())
        EXPECT_LE(frame.right(), avail.right());
    else
        EXPECT_EQ(frame.left(), avail.left()) << "wider than the screen: its left part shows";
    EXPECT_GE(frame.left(), avail.left());
}

TEST_F(MainWindow, withAFontAsSmallAsTheDesignsTheWidthsAreTheDesignWidths)
{
    const QFont normal = QApplication::font();
    QFont small = normal;
    small.setPixelSize(9);
    QApplication::setFont(small);
    Create();
    EXPECT_EQ(w->rzpgcntrl_Srch->width(), TSearchColumn::DesignWidth);
    EXPECT_EQ(w->width(), 439);
    w->ShowPage(PageQ1);
    EXPECT_EQ(w->width(), 1048);
    w->ShowPage(PageQ2);
    EXPECT_EQ(w->width(), 978);
    w->ShowPage(PageNone);
    EXPECT_EQ(w->width(), 439);
    QApplication::setFont(normal);
}

TEST_F(MainWindow, comTabRefreshesThePortsAndHidesTheNetworkOnlyControls)
{
    SetSerialPortsProvider([] { return QStringList{"ttyS0", "ttyUSB1"}; });
    w->ShowPage(PageQ2);
    w->rzpgcntrl_Srch->setCurrentIndex(TSearchColumn::TabCom);
    TDropDownComboBox *ports = w->rzpgcntrl_Srch->cbb_SelectCom;
    EXPECT_EQ(ports->count(), 2);
    EXPECT_EQ(ports->currentText(), QStringLiteral("ttyS0"));
    EXPECT_EQ(w->CurrentPage(), PageNone);
    EXPECT_FALSE(w->Q2Model.LanTab);
    EXPECT_FALSE(w->Q2Model.RzGroupBoxHttpd.Visible);
    EXPECT_FALSE(w->Q2Model.edt_UARTTime0.Visible);
    QList<TShownLine> log = Log();
    ASSERT_EQ(log.size(), 2);
    EXPECT_EQ(log[1].Text, QStringLiteral("Operate Via COM,please connect CFG to GND"));
    EXPECT_EQ(log[1].Color, QColor(128, 0, 0));

    // The list opens: refilled without a selection; closed without a choice: the first port.
    SetSerialPortsProvider([] { return QStringList{"ttyUSB1"}; });
    ports->showPopup();
    EXPECT_EQ(ports->count(), 1);
    EXPECT_EQ(ports->currentIndex(), -1);
    ports->hidePopup();
    EXPECT_EQ(ports->currentText(), QStringLiteral("ttyUSB1"));

    w->ShowPage(PageQ1);
    w->rzpgcntrl_Srch->setCurrentIndex(TSearchColumn::TabNet);
    EXPECT_EQ(w->CurrentPage(), PageNone);
    EXPECT_TRUE(w->Q2Model.LanTab);
    EXPECT_TRUE(w->Q2Model.RzGroupBoxHeart.Visible);
    log = Log();
    ASSERT_EQ(log.size(), 3);
    EXPECT_EQ(log[2].Text, QStringLiteral("Operate Via LAN,please leave CFG pin free"));
}

TEST_F(MainWindow, languageSwitchKeepsSelectionsAndIsWrittenAtOnce)
{
    FeedThree();
    w->lv_Dev->SelectRow(1);
    // A custom rate in item 0, chosen through the custom entry.
    SetBaudPrompt([](QWidget *, const QString &, const QString &, const QString &) { return QStringLiteral("250000"); });
    w->rzpgcntrl_Srch->cbbSoftBitRate->setCurrentIndex(1);
    SetBaudPrompt({});
    int dialogs = 0;
    w->Hooks.ApplyDialogTexts = [&] { ++dialogs; };

    w->mni_Cn->trigger();
    EXPECT_EQ(dialogs, 1);
    EXPECT_TRUE(w->mni_Cn->isChecked());
    EXPECT_FALSE(w->mni_En->isChecked());
    EXPECT_EQ(w->lv_Dev->SelectedRow(), 1);
    EXPECT_EQ(w->rzpgcntrl_Srch->cbbSoftBitRate->currentIndex(), 0);
    EXPECT_EQ(w->rzpgcntrl_Srch->cbbSoftBitRate->currentText(), QStringLiteral("250000"));
    EXPECT_EQ(w->rzpgcntrl_Srch->cbbSoftBitRate->itemText(1), QStringLiteral("自定义"));
    EXPECT_EQ(w->DevModel->headerData(0, Qt::Horizontal).toString(), QStringLiteral("设备IP"));
    EXPECT_EQ(w->rzpgcntrl_Srch->tabText(0), QStringLiteral("通过网络操作"));
    EXPECT_EQ(w->rzpgcntrl_Logs->tabText(1), QStringLiteral("数据流"));
    EXPECT_FALSE(w->mni_WorkOrder->isVisible());
    EXPECT_EQ(TIniFile(CfgIniPlace().Path).ReadInteger(IniSection, QStringLiteral("Language"), 9), 1);
    EXPECT_EQ(w->rzpgcntrl_Srch->currentIndex(), TSearchColumn::TabNet) << "a switch changes no tab";

    w->mni_En->trigger();
    EXPECT_EQ(w->lv_Dev->SelectedRow(), 1);
    EXPECT_EQ(w->DevModel->headerData(2, Qt::Horizontal).toString(), QStringLiteral("MAC"));
    EXPECT_EQ(w->rzpgcntrl_Srch->btn_Search->text(), GetLangText(QStringLiteral("lang_btn_Search")));
    EXPECT_EQ(TIniFile(CfgIniPlace().Path).ReadInteger(IniSection, QStringLiteral("Language"), 9), 0);
}

TEST_F(MainWindow, hintsAreShownOnlyWhileSwitchedOnAndKeepTheirTexts)
{
    QPushButton *button = w->rzpgcntrl_Srch->btn_Search;
    const QString hint = GetLangText(QStringLiteral("lang_H_btn_Search"));
    ASSERT_EQ(button->toolTip(), hint);
    const QPoint at = button->rect().center();
    auto ask = [&] {
        QHelpEvent e(QEvent::ToolTip, at, button->mapToGlobal(at));
        QApplication::sendEvent(button, &e);
    };
    ASSERT_TRUE(QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 2000));
    w->SetHintsShown(false);
    EXPECT_FALSE(w->mni_Hint->isChecked());
    ask();
    QApplication::processEvents();
    EXPECT_FALSE(QToolTip::isVisible());
    EXPECT_EQ(button->toolTip(), hint) << "the text stays set while hints are off";

    w->SetHintsShown(true);
    ask();
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QToolTip::text(), hint);
    QToolTip::hideText();
}

TEST_F(MainWindow, linksOpenWithTheDefaultHandler)
{
    w->mni_Up->trigger();
    ASSERT_EQ(urls.size(), 1);
    EXPECT_EQ(urls[0].toString(), GetLangText(QStringLiteral("lang_Menu_DownUrl")));
    EXPECT_TRUE(urls[0].path().endsWith(QStringLiteral("/Download/237.html")));
}

} // namespace
