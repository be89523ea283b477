// Several rows of the device list: Ctrl and Shift clicks and Ctrl+A select them without reading a
// module, their popup offers only what acts on several modules, and the firmware upgrade hands
// all of them to the fleet view. One row behaves as ever (DeviceActionsTest pins it).
#include "MainFixture.h"
#include "netconfig/DeviceList.h"

#include <QAction>
#include <QMenu>

namespace {

using DeviceSelection = MainFixture;

struct FleetCall {
    QList<TUpFleetTarget> Modules;
    QString Local;
};

void CtrlClick(MainFixture &f, int row)
{
    QTest::mouseClick(f.w->lv_Dev->viewport(), Qt::LeftButton, Qt::ControlModifier, f.RowPoint(row));
}

TEST_F(DeviceSelection, ctrlAndShiftClicksAddRowsWithoutReadingAndAPlainClickReadsOneAgain)
{
    FeedThree();
    ClickRow(0);
    EXPECT_FALSE(Received(q2rx).isEmpty()) << "a plain click reads its row";
    w->ShowPage(PageQ2);
    CtrlClick(*this, 1);
    EXPECT_EQ(w->lv_Dev->SelectedRows(), (QList<int>{0, 1}));
    EXPECT_EQ(w->lv_Dev->SelectedRow(), -1);
    EXPECT_EQ(w->SelectedDevice(), nullptr);
    EXPECT_TRUE(Received(q3rx, 200).isEmpty()) << "the added Q3 row is not read";
    EXPECT_EQ(w->CurrentPage(), PageNone) << "the page belonged to one module";
    QTest::mouseClick(w->lv_Dev->viewport(), Qt::LeftButton, Qt::ShiftModifier, RowPoint(2));
    EXPECT_EQ(w->lv_Dev->SelectedRows(), (QList<int>{0, 1, 2}));
    EXPECT_TRUE(Received(q2rx, 200).isEmpty());

    ClickRow(0);
    EXPECT_EQ(w->lv_Dev->SelectedRows(), QList<int>{0});
    EXPECT_EQ(Received(q2rx), BuildCmdFrame(CmdRead, "001A2B3C4D5E", LoginName, LoginPswd));
}

TEST_F(DeviceSelection, ctrlASelectsEveryRowAndOtherKeysStillChangeNothing)
{
    FeedThree();
    ClickRow(1);
    DrainReceivers();
    QTest::keyClick(w->lv_Dev, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(w->lv_Dev->SelectedRows(), QList<int>{1});
    QTest::keyClick(w->lv_Dev, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(w->lv_Dev->SelectedRows(), (QList<int>{0, 1, 2}));
    EXPECT_TRUE(Received(q2rx, 100).isEmpty());
    EXPECT_TRUE(Received(q3rx, 50).isEmpty());
}

TEST_F(DeviceSelection, thePopupOfSeveralRowsReadsNothingAndOffersOnlyTheActionsOnSeveral)
{
    FeedThree();
    ClickRow(0);
    w->ShowPage(PageQ2); // every item enabled, as after a read
    CtrlClick(*this, 1);
    w->ShowPage(PageQ2);
    DrainReceivers();
    RightClickRow(1);
    EXPECT_EQ(w->lv_Dev->SelectedRows(), (QList<int>{0, 1})) << "a right-click on a selected row keeps them";
    EXPECT_TRUE(w->lv_Dev->Popup()->isVisible());
    EXPECT_TRUE(Received(q2rx, 150).isEmpty());
    EXPECT_TRUE(Received(q3rx, 50).isEmpty());
    EXPECT_EQ(w->CurrentPage(), PageQ2);
    // The web page is one module's; the rest serve the selected modules together.
    EXPECT_FALSE(w->mni_OpenWeb->isEnabled());
    for (QAction *a : {w->mni_Restart, w->mni_Reset, w->mni_FirmwareUp, w->mni_CopyTheMac, w->mni_CopeAllMac})
        EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();
    w->lv_Dev->Popup()->hide();
    // Closed, the popup is the page's again.
    EXPECT_TRUE(QTest::qWaitFor([&] { return w->mni_OpenWeb->isEnabled(); }, 1000));
    for (QAction *a : w->lv_Dev->PopupItems())
        EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();
}

TEST_F(DeviceSelection, firmwareUpgradeOfSeveralRowsOpensTheFleetViewWithEveryModule)
{
    QList<FleetCall> fleet;
    int single = 0;
    w->Hooks.OpenFleetUpgrade = [&](const QList<TUpFleetTarget> &m, const QString &local) { fleet.append({m, local}); };
    w->Hooks.OpenUpgrade = [&](const QString &, const QString &, const QString &, const QByteArray &) { ++single; };
    Feed(SearchReplyBytes("192.168.0.7", QByteArray::fromHex("001A2B3C4D5E"), 4017, "A"), 0);
    Feed(SearchReplyBytes("192.168.0.8", QByteArray::fromHex("001A2B3C4D5F"), 4020, "B"), 1, true);
    Feed(SearchReplyBytes("192.168.0.9", QByteArray::fromHex("001A2B3C4D60"), 4017, "C"), 0);
    // Chosen out of order: the fleet gets them in list order, the local address of the first.
    ClickRow(2);
    CtrlClick(*this, 1);
    w->mni_FirmwareUp->trigger();
    ASSERT_EQ(fleet.size(), 1);
    EXPECT_EQ(single, 0);
    ASSERT_EQ(fleet[0].Modules.size(), 2);
    EXPECT_EQ(fleet[0].Modules[0].IP, QStringLiteral("192.168.0.8"));
    EXPECT_EQ(fleet[0].Modules[0].MAC, QStringLiteral("001A2B3C4D5F"));
    EXPECT_EQ(fleet[0].Modules[0].Version, QStringLiteral("4020"));
    EXPECT_EQ(fleet[0].Modules[1].MAC, QStringLiteral("001A2B3C4D60"));
    EXPECT_EQ(fleet[0].Local, w->UdpSvr->BindingIP(1));

    ClickRow(0);
    w->mni_FirmwareUp->trigger();
    EXPECT_EQ(single, 1) << "one row: the window of one module, as ever";
    EXPECT_EQ(fleet.size(), 1);
}

TEST_F(DeviceSelection, searchRepliesAndModuleAnswersReachTheFleetView)
{
    QStringList seen;
    QList<std::pair<int, QString>> answers;
    w->Hooks.SearchReplySeen = [&](const QString &mac, const QString &version) { seen << mac + "/" + version; };
    w->Hooks.ModuleAnswered = [&](int code, const QString &line) { answers.append({code, line}); };
    Feed(SearchReplyBytes("192.168.0.7", QByteArray::fromHex("001A2B3C4D5E"), 4100, "A"), 0);
    EXPECT_EQ(seen, QStringList{QStringLiteral("00 1A 2B 3C 4D 5E/4100")});
    w->UdpSvr->DoStatus(StsAck, QStringLiteral("ACK"));
    w->UdpSvr->DoStatus(StsSearchSent, QString());
    ASSERT_EQ(answers.size(), 1);
    EXPECT_EQ(answers[0].first, StsAck);
    EXPECT_EQ(answers[0].second, QStringLiteral(" ACK."));
    // The factory reset the fleet view asks for goes to the listed row.
    DrainReceivers();
    EXPECT_TRUE(w->ResetModule(QStringLiteral("001a2b3c4d5e")));
    EXPECT_EQ(Received(q2rx), BuildCmdFrame(CmdFactory, "001A2B3C4D5E", LoginName, LoginPswd));
    EXPECT_FALSE(w->ResetModule(QStringLiteral("001A2B3C4D99")));
}

} // namespace
