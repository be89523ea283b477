// Pictures of the main window for people to look at (build/screenshots): both tabs, both
// languages, with rows and log lines in it.
#include "MainFixture.h"

namespace {

using MainWindowShots = MainFixture;

TEST_F(MainWindowShots, lanAndComTabsInBothLanguages)
{
    for (bool chinese : {false, true}) {
        Create(chinese ? "Language=1\r\n" : "Language=0\r\n");
        SetSerialPortsProvider([] { return QStringList{"ttyS0", "ttyUSB0"}; });
        FeedThree();
        Feed(SearchReplyBytes("10.20.30.140", QByteArray::fromHex("AABBCCDDEEFF"), 4100, "Workshop-Line-7"), 1);
        w->lv_Dev->SelectRow(1);
        w->UdpSvr->DoStatus(StsAck, QString());
        w->UdpSvr->DoStatus(StsOtherErr, QString());
        const QString lang = chinese ? QStringLiteral("zh") : QStringLiteral("en");
        QApplication::processEvents();
        w->rzpgcntrl_Logs->Flush();
        EXPECT_FALSE(SaveShot(w.get(), QStringLiteral("main_lan_") + lang).isEmpty());
        w->rzpgcntrl_Logs->setCurrentIndex(1);
        w->rzpgcntrl_Srch->setCurrentIndex(TSearchColumn::TabCom);
        QApplication::processEvents();
        w->rzpgcntrl_Logs->Flush();
        EXPECT_FALSE(SaveShot(w.get(), QStringLiteral("main_com_") + lang).isEmpty());
        // The parameter area is empty until the page views are in; its place is shown all the same.
        w->rzpgcntrl_Srch->setCurrentIndex(TSearchColumn::TabNet);
        w->ShowPage(PageQ2);
        QApplication::processEvents();
        EXPECT_FALSE(SaveShot(w.get(), QStringLiteral("main_q2_empty_") + lang).isEmpty());
    }
}

// Hostile replies as the window shows them: a name with control characters and a byte that is no
// GBK character, the warning of a full list, the count of datagrams of unknown length.
TEST_F(MainWindowShots, hostileRepliesShownAsText)
{
    for (bool chinese : {false, true}) {
        Create(chinese ? "Language=1\r\n" : "Language=0\r\n");
        Feed(SearchReplyBytes("10.0.0.7", QByteArray::fromHex("001A2B3C4D5E"), 4017, QByteArray("A\x1b]0;x\x07\nB\xB3")), 0);
        for (int i = 0; i < TDeviceList::MaxRows; ++i) {
            const QByteArray mac = QByteArray::fromHex("0200000000") + char(i & 0xFF);
            QByteArray m = mac;
            m[4] = char(i >> 8);
            Feed(SearchReplyBytes("10.0.0.66", m, 4017, "forged"), 0);
        }
        w->UdpSvr->DoStatus(StsUnknownLenMore, QStringLiteral("1234"));
        QApplication::processEvents();
        w->rzpgcntrl_Logs->Flush();
        EXPECT_EQ(w->DevModel->rowCount(), TDeviceList::MaxRows);
        EXPECT_EQ(w->DevModel->index(0, TDeviceListModel::ColName).data().toString(),
                  QStringLiteral("A\\x1b]0;x\\x07\\nB\\xb3"));
        EXPECT_FALSE(SaveShot(w.get(), QStringLiteral("main_hostile_") + (chinese ? "zh" : "en")).isEmpty());
    }
}

} // namespace
