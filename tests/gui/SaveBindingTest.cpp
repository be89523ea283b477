// Save Config goes only to the module the page was read from: module A read, then module B
// clicked whose read fails (no answer, a password error), or whose blocks replaced A's, or A
// upgraded since: the page still shows A, and the save sends nothing, says why in red and hides the
// page. A page read over the LAN is not written over the serial line either.
#include "AppFixture.h"
#include "PtyFixture.h"
#include "gui/SearchColumn.h"
#include "gui/SerialTab.h"
#include "netconfig/Q2Write.h"
#include "serial/SerialSession.h"

#include <QLineEdit>

namespace {

using SaveBinding = AppFixture;

const QString IpA = QStringLiteral("192.168.0.7");
const QByteArray MacA = QByteArray::fromHex("001A2B3C4D5E");
const QByteArray MacB = QByteArray::fromHex("001A2B3C4D61");

// The recorded module's read reply as another module would send it: its own MAC in the base block.
QByteArray ReadReplyOf(const QByteArray &mac)
{
    QByteArray read = TQ2Replies::Full().Read;
    const qsizetype at = read.indexOf(MacA);
    read.replace(at, mac.size(), mac);
    return read;
}

void ReadModuleA(AppFixture &f)
{
    f.FeedRows(); // A (Q2) and a Q3 module
    f.Arrive(SearchReplyBytes("192.168.0.9", MacB, 4017, "Hall-B"), QStringLiteral("192.168.0.9"));
    f.ClickRow(0);
    f.FeedReplies(TQ2Replies::Full());
    ASSERT_EQ(f.w->CurrentPage(), PageQ2);
    ASSERT_EQ(f.C<QLineEdit>("edt_ModName")->text(), QStringLiteral("Lab-Q2"));
    f.DrainReceivers();
}

TEST_F(SaveBinding, aPageOfAnotherModuleOrFirmwareIsNotWrittenToTheSelectedModule)
{
    const QString otherModule = QStringLiteral(" Nothing was sent: the page shows the parameters of another module "
                                               "(MAC 00 1A 2B 3C 4D 5E). Click the selected module to read it, then "
                                               "save.");
    const QString readAgain = QStringLiteral(" Nothing was sent: the module or its firmware changed since the page "
                                             "was read. Read it again, then save.");
    struct Case {
        const char *what;
        std::function<void(SaveBinding &)> after; // what happens after A was read
        QString line;
    } cases[] = {
        {"B answers nothing", [](SaveBinding &f) { f.ClickRow(2); }, otherModule},
        {"B refuses the password",
         [](SaveBinding &f) {
             f.ClickRow(2);
             TModalWatcher watcher; // the login dialog opens and is closed
             f.w->UdpStatus(StsPswdErr, QString());
             QTest::qWait(50);
             EXPECT_EQ(watcher.Opened, QStringList{QStringLiteral("Frm_Pswd")});
         },
         otherModule},
        {"the Q3 module's blocks came in, then A gives no answer",
         [](SaveBinding &f) {
             f.ClickRow(1);
             f.Arrive(ReadReplyOf(QByteArray::fromHex("001A2B3C4D5F")), QStringLiteral("192.168.0.8"), DevPortQ3);
             f.ClickRow(0);
         },
         readAgain},
        {"a new search shows A with newer firmware, whose read gives no answer",
         [](SaveBinding &f) {
             f.w->DevModel->Clear();
             f.Arrive(SearchReplyBytes("192.168.0.7", MacA, 4018, "Lab-Q2"), IpA);
             f.ClickRow(0);
         },
         readAgain},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Create();
        ReadModuleA(*this);
        c.after(*this);
        ASSERT_EQ(w->CurrentPage(), PageQ2) << "the page still shows A";
        DrainReceivers();
        Click("btn_Q2NetSet");
        EXPECT_TRUE(Received(q2rx, 200).isEmpty()) << "nothing may go out";
        EXPECT_TRUE(pauses.isEmpty());
        EXPECT_TRUE(messages.isEmpty()) << "no check ran on a page that is not sent";
        const QList<TShownLine> log = Log();
        ASSERT_FALSE(log.isEmpty());
        EXPECT_EQ(log.last().Text, c.line);
        EXPECT_EQ(log.last().Color, Rgb(TLogColor::Red));
        EXPECT_EQ(w->CurrentPage(), PageNone) << "the page of the wrong module is hidden";
    }
}

TEST_F(SaveBinding, theRefusalIsInTheWindowsLanguage)
{
    const struct {
        const char *cfg;
        QString line;
        const char *shot;
    } cases[] = {
        {"Language=0\r\n",
         QStringLiteral(" Nothing was sent: the page shows the parameters of another module (MAC 00 1A 2B 3C 4D 5E). "
                        "Click the selected module to read it, then save."),
         "save_refused_en"},
        {"Language=1\r\n",
         QStringLiteral(" 未发送：页面显示的是另一个模块（MAC 00 1A 2B 3C 4D 5E）的参数。请先点击所选模块读取参数，再保存。"),
         "save_refused_zh"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.shot);
        Create(c.cfg);
        ReadModuleA(*this);
        ClickRow(2);
        Click("btn_Q2NetSet");
        EXPECT_EQ(LogTexts().last(), c.line);
        SaveShot(w, QLatin1String(c.shot));
    }
}

TEST_F(SaveBinding, aFreshReadOfTheSelectedModuleMakesItsSaveGoThrough)
{
    ReadModuleA(*this);
    ClickRow(2);
    DrainReceivers();
    Click("btn_Q2NetSet");
    ASSERT_EQ(w->CurrentPage(), PageNone);
    ASSERT_TRUE(Received(q2rx, 200).isEmpty());
    // B answers this time: its page is filled and written to B alone.
    ClickRow(2);
    ASSERT_EQ(uint8_t(Received(q2rx)[2]), CmdRead);
    const QString ipB = QStringLiteral("192.168.0.9");
    Arrive(ReadReplyOf(MacB), ipB);
    TQ2Replies r = TQ2Replies::Full();
    for (const QByteArray &b : {r.Cloud, r.Heart, r.Httpd, r.Modbus, r.ModbusPack, r.ModbusNew})
        if (!b.isEmpty())
            Arrive(b, ipB);
    ASSERT_EQ(w->CurrentPage(), PageQ2);
    DrainReceivers();
    Click("btn_Q2NetSet");
    int frames = 0;
    for (QByteArray f = Received(q2rx); !f.isEmpty(); f = Received(q2rx, 300), ++frames)
        EXPECT_EQ(f.mid(3, 6), MacB) << "frame " << frames << " goes to B";
    EXPECT_GE(frames, 3);
}

// A late LAN reply shows the page on the COM tab: its serial save does not open the port.
TEST_F(SaveBinding, aPageReadOverTheLanIsNotWrittenOverTheSerialLine)
{
    TPtyPair pty;
    QString error;
    ASSERT_TRUE(pty.Open(&error)) << error.toStdString();
    SetSerialPortsProvider([&pty] { return QStringList{pty.SlavePath()}; });
    FeedRows();
    ClickRow(0);
    DrainReceivers();
    w->rzpgcntrl_Srch->setCurrentIndex(TSearchColumn::TabCom);
    ASSERT_EQ(w->CurrentPage(), PageNone);
    FeedReplies(TQ2Replies::Full()); // the answers to the click come now
    ASSERT_EQ(w->CurrentPage(), PageQ2);
    ASSERT_TRUE(Shows("btn_Q2ComSet"));
    Click("btn_Q2ComSet");
    const QStringList log = LogTexts();
    EXPECT_EQ(log.last(), QStringLiteral(" Nothing was sent: the page was read over the LAN, not from the module on "
                                         "the serial line. Press Read Config, then save."));
    EXPECT_FALSE(log.contains(QStringLiteral("Serial is Open"))) << "the port stays closed";
    EXPECT_EQ(Log().last().Color, Rgb(TLogColor::Red));
    EXPECT_EQ(w->CurrentPage(), PageNone);
    EXPECT_TRUE(pty.Read(1, 200).isEmpty());
}

} // namespace
