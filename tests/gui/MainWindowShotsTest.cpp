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

} // namespace
