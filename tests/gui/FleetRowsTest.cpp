// Actions on several rows of the device list: Restart and Factory settings run over the selected
// modules after a confirmation naming the action and their number, each row shows its result in
// the result column as it comes, and one summary line ends the run; Copy The Mac copies every
// selected MAC. The list's warnings (one IP answered by several MACs, an IP outside the subnets
// of the binding) and the controls beside the search (keep searching, search by address).
#include "MainFixture.h"
#include "gui/FleetRows.h"
#include "lang/LangList.h"
#include "netconfig/AddressRange.h"
#include "netconfig/DeviceList.h"
#include "netconfig/KeepSearch.h"
#include "netconfig/LanSession.h"
#include "netconfig/UdpSvr.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>

namespace {

struct FleetRows : MainFixture {
    QStringList asked;
    bool answer = true;

    void SetUp() override
    {
        MainFixture::SetUp();
        w->Confirm = [this](const QString &text) {
            asked << text;
            return answer;
        };
        w->FleetTimes.AnswerWaitMs = 300;
    }
    QVariant Cell(int row, int column, int role = Qt::DisplayRole)
    {
        return w->DevModel->index(row, column).data(role);
    }
    // Three Q2 modules, each on its own address.
    void FeedQ2s()
    {
        Feed(SearchReplyBytes("192.168.0.7", QByteArray::fromHex("001A2B3C4D5E"), 4017, "A"), 0);
        Feed(SearchReplyBytes("192.168.0.8", QByteArray::fromHex("001A2B3C4D5F"), 4017, "B"), 0);
        Feed(SearchReplyBytes("192.168.0.9", QByteArray::fromHex("001A2B3C4D60"), 4017, "C"), 0);
    }
    void SelectAll() { QTest::keyClick(w->lv_Dev, Qt::Key_A, Qt::ControlModifier); }
    // An item of the popup of the selected rows (opened on the first of them).
    void Choose(QAction *item)
    {
        RightClickRow(w->lv_Dev->SelectedRows().value(0));
        ASSERT_TRUE(w->lv_Dev->Popup()->isVisible());
        ASSERT_TRUE(item->isEnabled()) << item->objectName().toStdString();
        item->trigger();
        w->lv_Dev->Popup()->hide();
    }
    // A module's acknowledgement, from its own address.
    void Ack(const char *ip)
    {
        w->UdpSvr->UDPRead(QByteArray::fromHex("FF01054B"), QString::fromLatin1(ip), DevPortQ2, "127.0.0.1", 1, 0);
    }
    QStringList Frames(QUdpSocket &rx, int count)
    {
        QStringList got;
        for (int i = 0; i < count; ++i)
            got << QString::fromLatin1(Received(rx).toHex());
        got.sort();
        return got;
    }
    static QString Hex(const QByteArray &b) { return QString::fromLatin1(b.toHex()); }
};

TEST_F(FleetRows, restartOfSeveralRowsAsksFirstAndShowsEachModulesResultInItsRow)
{
    FeedQ2s();
    SelectAll();
    DrainReceivers();
    ASSERT_TRUE(w->lv_Dev->isColumnHidden(TDeviceListModel::ColResult)) << "no column before any result";

    answer = false;
    Choose(w->mni_Restart);
    EXPECT_EQ(asked, QStringList{QStringLiteral("Restart: the 3 selected modules. Go on?")});
    EXPECT_TRUE(Received(q2rx, 150).isEmpty()) << "a no sends nothing";

    answer = true;
    Choose(w->mni_Restart);
    QStringList want;
    for (const char *mac : {"001A2B3C4D5E", "001A2B3C4D5F", "001A2B3C4D60"})
        want << Hex(BuildCmdFrame(CmdRestart, mac, LoginName, LoginPswd));
    EXPECT_EQ(Frames(q2rx, 3), want) << "one restart frame per module, at once";
    EXPECT_FALSE(w->lv_Dev->isColumnHidden(TDeviceListModel::ColResult));
    EXPECT_EQ(Cell(0, TDeviceListModel::ColResult).toString(), QStringLiteral("working…"));

    // Two acknowledge, the third stays silent.
    Ack("192.168.0.9");
    Ack("192.168.0.7");
    EXPECT_EQ(Cell(0, TDeviceListModel::ColResult).toString(), QStringLiteral("ok"));
    EXPECT_EQ(Cell(2, TDeviceListModel::ColResult).toString(), QStringLiteral("ok"));
    EXPECT_EQ(Cell(0, TDeviceListModel::ColResult, Qt::ToolTipRole).toString(), QStringLiteral("ACK."));
    EXPECT_EQ(Cell(0, TDeviceListModel::ColResult, Qt::AccessibleDescriptionRole).toString(), QStringLiteral("ACK."));
    EXPECT_FALSE(Cell(0, TDeviceListModel::ColResult, Qt::DecorationRole).value<QIcon>().isNull());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w->FleetRows->Running(); }, 3000));
    EXPECT_EQ(Cell(1, TDeviceListModel::ColResult).toString(), QStringLiteral("no answer"));
    EXPECT_EQ(Log().last().Text, QStringLiteral("Restart: 2 of 3 modules ok"));
    EXPECT_EQ(Log().last().Color, Rgb(TLogColor::Red));
    ASSERT_NE(w->DevModel->Result("00 1A 2B 3C 4D 5E"), nullptr);
    EXPECT_EQ(w->DevModel->Result("001a2b3c4d5f")->Result, TFleetResult::NoAnswer);

    // Chinese: the result texts follow the switch; the summary of a new run is Chinese.
    w->SwitchLanguage(true);
    EXPECT_EQ(Cell(1, TDeviceListModel::ColResult).toString(), GetLangText("lang_ts_FleetNoAnswer"));
    EXPECT_NE(GetLangText("lang_ts_FleetNoAnswer"), QStringLiteral("no answer"));
    w->SwitchLanguage(false);

    // A new search starts afresh: no results, no column.
    w->rzpgcntrl_Srch->btn_Search->click();
    EXPECT_FALSE(w->DevModel->HasResults());
    EXPECT_TRUE(w->lv_Dev->isColumnHidden(TDeviceListModel::ColResult));
}

TEST_F(FleetRows, factorySettingsAskForSeveralRowsOnlyAndGoToEachModelsPort)
{
    // One row: no question, as ever.
    FeedThree();
    ClickRow(0);
    DrainReceivers();
    w->ShowPage(PageQ2); // as after the read
    w->mni_Reset->trigger();
    EXPECT_TRUE(asked.isEmpty());
    EXPECT_EQ(Received(q2rx), BuildCmdFrame(CmdFactory, "001A2B3C4D5E", LoginName, LoginPswd));

    // A Q2, a Q3 and a module of no known model.
    SelectAll();
    DrainReceivers();
    Choose(w->mni_Reset);
    EXPECT_EQ(asked, QStringList{QStringLiteral("Reset: the 3 selected modules. Go on?")});
    EXPECT_EQ(Received(q2rx), BuildCmdFrame(CmdFactory, "001A2B3C4D5E", LoginName, LoginPswd));
    EXPECT_EQ(Received(q3rx), BuildCmdFrame(CmdFactory, "001A2B3C4D5F", LoginName, LoginPswd));
    EXPECT_EQ(Cell(2, TDeviceListModel::ColResult).toString(), QStringLiteral("wrong model"));
    EXPECT_EQ(Cell(2, TDeviceListModel::ColResult, Qt::ToolTipRole).toString(),
              QStringLiteral("factory settings are not available for a module of this model"));

    // While it runs, no second run starts.
    Choose(w->mni_Restart);
    EXPECT_EQ(Log().last().Text, GetLangText("lang_Hint_FleetBusy"));
    EXPECT_TRUE(Received(q2rx, 100).isEmpty());

    w->UdpSvr->UDPRead(QByteArray::fromHex("FF01054B"), "192.168.0.7", DevPortQ2, "127.0.0.1", 1, 0);
    w->UdpSvr->UDPRead(QByteArray::fromHex("FF01054B"), "192.168.0.8", DevPortQ3, "127.0.0.1", 1, 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w->FleetRows->Running(); }, 3000));
    EXPECT_EQ(Cell(0, TDeviceListModel::ColResult).toString(), QStringLiteral("ok"));
    EXPECT_EQ(Cell(1, TDeviceListModel::ColResult).toString(), QStringLiteral("ok"));
    EXPECT_EQ(Log().last().Text, QStringLiteral("Reset: 2 of 3 modules ok"));
}

TEST_F(FleetRows, copyTheMacOfSeveralRowsCopiesEachSelectedMacInListOrder)
{
    FeedQ2s();
    ClickRow(2);
    QTest::mouseClick(w->lv_Dev->viewport(), Qt::LeftButton, Qt::ControlModifier, RowPoint(0));
    Choose(w->mni_CopyTheMac);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("00 1A 2B 3C 4D 5E\r\n00 1A 2B 3C 4D 60"));
    EXPECT_TRUE(asked.isEmpty());
}

TEST_F(FleetRows, conflictingRowsCarryAWarningThatSaysWhatToDo)
{
    w->DevModel->SubnetsOf = [](int) { return QList<TSubnet>{{"192.168.0.1", "255.255.255.0"}}; };
    Feed(SearchReplyBytes("192.168.0.7", QByteArray::fromHex("001A2B3C4D5E"), 4017, "A"), 0);
    Feed(SearchReplyBytes("192.168.0.8", QByteArray::fromHex("001A2B3C4D5F"), 4017, "B"), 0);
    Feed(SearchReplyBytes("10.9.9.9", QByteArray::fromHex("001A2B3C4D61"), 4017, "Far"), 0);
    // The warnings follow a moment after the rows, for the whole burst at once.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w->DevModel->Warnings(2).isEmpty(); }, 2000));
    EXPECT_TRUE(w->DevModel->Warnings(0).isEmpty());
    Feed(SearchReplyBytes("192.168.0.7", QByteArray::fromHex("001A2B3C4D60"), 4017, "Twin"), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w->DevModel->Warnings(0).isEmpty(); }, 2000));
    EXPECT_TRUE(w->DevModel->Warnings(1).isEmpty());

    struct Case {
        int row;
        QString text; // the warning's start
        QString advice;
    } cases[] = {
        {0, "IP 192.168.0.7 is also answered by 00 1A 2B 3C 4D 60", GetLangText("lang_Hint_DupIPDo")},
        {3, "IP 192.168.0.7 is also answered by 00 1A 2B 3C 4D 5E", GetLangText("lang_Hint_DupIPDo")},
        {2, "IP 10.9.9.9 is outside the subnet of the interface it answered on (192.168.0.1/24)",
         GetLangText("lang_Hint_ForeignSubnetDo")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.row);
        const QString tip = Cell(c.row, TDeviceListModel::ColIP, Qt::ToolTipRole).toString();
        EXPECT_TRUE(tip.startsWith(c.text)) << tip.toStdString();
        EXPECT_TRUE(tip.endsWith(c.advice)) << tip.toStdString();
        EXPECT_EQ(Cell(c.row, TDeviceListModel::ColName, Qt::AccessibleDescriptionRole).toString(), tip);
        EXPECT_FALSE(Cell(c.row, TDeviceListModel::ColName, Qt::DecorationRole).value<QIcon>().isNull());
    }
    EXPECT_FALSE(Cell(1, TDeviceListModel::ColIP, Qt::ToolTipRole).isValid()) << "a sound row keeps the list's hint";
    EXPECT_FALSE(Cell(1, TDeviceListModel::ColName, Qt::DecorationRole).isValid());
    EXPECT_EQ(Cell(0, TDeviceListModel::ColIP).toString(), QStringLiteral("192.168.0.7")) << "the IP shows as ever";

    w->SwitchLanguage(true);
    EXPECT_TRUE(Cell(2, TDeviceListModel::ColIP, Qt::ToolTipRole).toString().endsWith(GetLangText("lang_Hint_ForeignSubnetDo")));
    w->SwitchLanguage(false);
}

TEST_F(FleetRows, theControlsBesideTheSearchAreThereAndEnabledOnTheLanTab)
{
    TSearchColumn *c = w->rzpgcntrl_Srch;
    for (const char *name : {"edt_SearchRange", "chk_KeepSearch", "edt_KeepSearchCount", "lbl_SearchRange",
                             "lbl_KeepSearchCount"}) {
        auto *control = w->findChild<QWidget *>(QLatin1String(name));
        ASSERT_NE(control, nullptr) << name;
        EXPECT_TRUE(control->isVisible()) << name;
        EXPECT_TRUE(control->isEnabled()) << name;
    }
    EXPECT_FALSE(c->chk_KeepSearch->isChecked());
    EXPECT_EQ(c->edt_KeepSearchCount->value(), 0);
    EXPECT_EQ(c->edt_KeepSearchCount->text(), QStringLiteral("stopped"));
    // The text at 0 shows whole, in both languages (the box is sized after its text is set).
    const auto wholeText = [&] {
        auto *edit = c->edt_KeepSearchCount->findChild<QLineEdit *>();
        return edit && edit->width() >= edit->fontMetrics().horizontalAdvance(c->edt_KeepSearchCount->text());
    };
    EXPECT_TRUE(wholeText());
    EXPECT_EQ(c->edt_KeepSearchCount->maximum(), TDeviceList::MaxRows);
    EXPECT_EQ(c->edt_SearchRange->accessibleName(), QStringLiteral("Addresses:"));
    EXPECT_EQ(c->edt_KeepSearchCount->accessibleName(), QStringLiteral("until"));
    // The new controls fit the column: none reaches past the Search button's right edge.
    const int right = c->btn_Search->mapTo(c, QPoint(c->btn_Search->width(), 0)).x();
    for (QWidget *x : std::initializer_list<QWidget *>{static_cast<QWidget *>(c->edt_SearchRange), c->chk_KeepSearch, c->edt_KeepSearchCount})
        EXPECT_LE(x->mapTo(c, QPoint(x->width(), 0)).x(), right) << x->objectName().toStdString();
    // Each control gets at least the room it asks for.
    for (QWidget *x : std::initializer_list<QWidget *>{c->chk_KeepSearch, c->edt_KeepSearchCount, c->btn_Search,
                                                       static_cast<QWidget *>(c->lbl_KeepSearchCount)})
        EXPECT_GE(x->width(), x->minimumSizeHint().width()) << x->objectName().toStdString();
    w->SwitchLanguage(true);
    QApplication::processEvents();
    EXPECT_TRUE(wholeText());
    EXPECT_EQ(c->chk_KeepSearch->text(), GetLangText("lang_chk_KeepSearch"));
    EXPECT_EQ(c->edt_KeepSearchCount->accessibleName(), GetLangText("lang_lbl_KeepSearchCount"));
    w->SwitchLanguage(false);
}

TEST_F(FleetRows, keepSearchingRepeatsUntilUntickedOrUntilEnoughModulesAnswered)
{
    TSearchColumn *c = w->rzpgcntrl_Srch;
    w->KeepSearch->IntervalMs = 40;
    Feed(SearchReplyBytes("192.168.0.7", QByteArray::fromHex("001A2B3C4D5E"), 4017, "A"), 0);

    // Until unticked: the rows stay and accumulate, the count is fixed while it runs.
    c->chk_KeepSearch->setChecked(true);
    EXPECT_TRUE(w->KeepSearch->Active());
    EXPECT_FALSE(c->edt_KeepSearchCount->isEnabled());
    EXPECT_TRUE(c->btn_Search->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->KeepSearch->Rounds() >= 3; }, 2000));
    Feed(SearchReplyBytes("192.168.0.8", QByteArray::fromHex("001A2B3C4D5F"), 4017, "B"), 0);
    Feed(SearchReplyBytes("192.168.0.70", QByteArray::fromHex("001A2B3C4D5E"), 4017, "A again"), 0);
    EXPECT_EQ(w->DevModel->rowCount(), 2) << "rows accumulate, the first reply of a module wins";
    EXPECT_EQ(w->DevModel->Row(0)->IP, QStringLiteral("192.168.0.7"));
    c->chk_KeepSearch->setChecked(false);
    EXPECT_FALSE(w->KeepSearch->Active());
    EXPECT_TRUE(c->edt_KeepSearchCount->isEnabled());
    const int rounds = w->KeepSearch->Rounds();
    QTest::qWait(150);
    EXPECT_EQ(w->KeepSearch->Rounds(), rounds) << "unticked, nothing more is sent";

    // Until the list holds 3: the third module ends it.
    c->edt_KeepSearchCount->setValue(3);
    c->chk_KeepSearch->setChecked(true);
    EXPECT_TRUE(w->KeepSearch->Active());
    Feed(SearchReplyBytes("192.168.0.9", QByteArray::fromHex("001A2B3C4D60"), 4017, "C"), 0);
    EXPECT_FALSE(w->KeepSearch->Active());
    EXPECT_FALSE(c->chk_KeepSearch->isChecked());
    EXPECT_TRUE(c->edt_KeepSearchCount->isEnabled());
    EXPECT_EQ(Log().last().Text, QStringLiteral("The list holds 3 modules: searching stopped."));
    EXPECT_EQ(w->DevModel->rowCount(), 3);
}

TEST_F(FleetRows, anAddressListSearchesByAddressAndABadOneSendsNothing)
{
    TSearchColumn *c = w->rzpgcntrl_Srch;
    Feed(SearchReplyBytes("192.168.0.7", QByteArray::fromHex("001A2B3C4D5E"), 4017, "A"), 0);
    QSignalSpy sent(w->Session, &TLanSession::AddressSearchSent);

    struct Bad {
        const char *text;
        TRangeFault fault;
    } bad[] = {{"10.1.2.0/33", TRangeFault::BadPrefix}, {"10.1.0.0/16", TRangeFault::TooMany},
               {"10.1.2.9-10.1.2.1", TRangeFault::Reversed}, {"printer", TRangeFault::NotAddress}};
    for (const Bad &b : bad) {
        SCOPED_TRACE(b.text);
        c->edt_SearchRange->setText(QString::fromLatin1(b.text));
        QList<quint32> none;
        TRangeError e;
        ASSERT_FALSE(ParseAddressRanges({c->edt_SearchRange->text()}, none, e));
        EXPECT_EQ(e.Fault, b.fault);
        c->btn_Search->click();
        EXPECT_EQ(Log().last().Text, RangeErrorText(e));
        EXPECT_EQ(Log().last().Color, Rgb(TLogColor::Red));
        EXPECT_FALSE(w->Session->SearchingAddresses());
        EXPECT_EQ(w->DevModel->rowCount(), 1) << "the list stays as it was";
    }
    EXPECT_EQ(sent.size(), 0);

    // A good list empties the list and searches each address; a module answering from one of
    // them is marked as found so.
    c->edt_SearchRange->setText(QStringLiteral(" 127.0.0.1 , 127.0.0.2 "));
    c->btn_Search->click();
    EXPECT_EQ(w->DevModel->rowCount(), 0);
    ASSERT_TRUE(sent.wait(2000) || sent.size() == 1);
    EXPECT_EQ(sent.last().at(1).toInt(), 2);
    Feed(SearchReplyBytes("127.0.0.1", QByteArray::fromHex("001A2B3C4D5E"), 4017, "Far"), 0);
    ASSERT_EQ(w->DevModel->rowCount(), 1);
    const QString tip = Cell(0, TDeviceListModel::ColIP, Qt::ToolTipRole).toString();
    EXPECT_TRUE(tip.startsWith(QStringLiteral("by address 127.0.0.1: "))) << tip.toStdString();

    // Empty again: the broadcast, as the Search button always sent it.
    c->edt_SearchRange->clear();
    c->btn_Search->click();
    EXPECT_FALSE(w->Session->SearchingAddresses());
    EXPECT_EQ(w->DevModel->rowCount(), 0);
}

} // namespace

namespace {

// Pictures for people to look at (build/screenshots): the list with results and warnings, the
// confirmation, the keep-search and address controls, in both languages.
TEST_F(FleetRows, picturesOfResultsWarningsAndTheSearchControls)
{
    for (bool chinese : {false, true}) {
        Create(chinese ? "Language=1\r\n" : "Language=0\r\n");
        w->Confirm = [](const QString &) { return true; };
        w->FleetTimes.AnswerWaitMs = 100;
        const QString lang = chinese ? QStringLiteral("zh") : QStringLiteral("en");
        w->DevModel->SubnetsOf = [](int) { return QList<TSubnet>{{"192.168.0.1", "255.255.255.0"}}; };
        FeedQ2s();
        Feed(SearchReplyBytes("192.168.0.7", QByteArray::fromHex("001A2B3C4D61"), 4017, "Twin-of-A"), 0);
        Feed(SearchReplyBytes("10.9.9.9", QByteArray::fromHex("001A2B3C4D62"), 4017, "Far-away"), 0);
        w->DevModel->UpdateWarnings();
        SelectAll();
        QTest::mouseClick(w->lv_Dev->viewport(), Qt::LeftButton, Qt::ControlModifier, RowPoint(3));
        QTest::mouseClick(w->lv_Dev->viewport(), Qt::LeftButton, Qt::ControlModifier, RowPoint(4));
        DrainReceivers();
        Choose(w->mni_Restart);
        Ack("192.168.0.8");
        ASSERT_TRUE(QTest::qWaitFor([&] { return !w->FleetRows->Running(); }, 3000));
        w->rzpgcntrl_Srch->edt_SearchRange->setText(QStringLiteral("10.1.2.0/24, 10.1.3.5-10.1.3.9"));
        w->rzpgcntrl_Srch->edt_KeepSearchCount->setValue(20);
        QApplication::processEvents();
        w->rzpgcntrl_Logs->Flush();
        EXPECT_FALSE(SaveShot(w.get(), QStringLiteral("main_fleet_results_") + lang).isEmpty());
        // Scrolled to the result column.
        w->lv_Dev->scrollTo(w->DevModel->index(0, TDeviceListModel::ColResult));
        QApplication::processEvents();
        EXPECT_FALSE(SaveShot(w->rzpgcntrl_Srch, QStringLiteral("list_fleet_results_") + lang).isEmpty());

        // The warning's tool tip as a reader gets it, and the confirmation.
        QMessageBox tip(QMessageBox::Warning, QGuiApplication::applicationDisplayName(),
                        w->DevModel->RowHint(0), QMessageBox::Ok, w.get());
        tip.show();
        QApplication::processEvents();
        EXPECT_FALSE(SaveShot(&tip, QStringLiteral("list_warning_text_") + lang).isEmpty());
        QMessageBox box(QMessageBox::Question, QGuiApplication::applicationDisplayName(),
                        GetLangText("lang_Hint_FleetConfirm").arg(GetLangText("lang_mni_Reset"), QStringLiteral("5")),
                        QMessageBox::Yes | QMessageBox::No, w.get());
        box.show();
        QApplication::processEvents();
        EXPECT_FALSE(SaveShot(&box, QStringLiteral("fleet_confirm_") + lang).isEmpty());

        // Searching on: the count is fixed while it runs.
        w->KeepSearch->IntervalMs = 60000;
        w->rzpgcntrl_Srch->chk_KeepSearch->setChecked(true);
        QApplication::processEvents();
        EXPECT_FALSE(SaveShot(w->rzpgcntrl_Srch, QStringLiteral("search_keep_on_") + lang).isEmpty());
        w->rzpgcntrl_Srch->chk_KeepSearch->setChecked(false);
    }
}

} // namespace
