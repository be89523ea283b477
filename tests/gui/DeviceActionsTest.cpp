// The device list and what it does: search, row clicks that read, the status reactions, the popup
// actions and the export.
#include "MainFixture.h"
#include "core/ProFun.h"
#include "lang/LangList.h"
#include "netconfig/Codecs.h"
#include "netconfig/DeviceList.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>

namespace {

using DeviceActions = MainFixture;

const QByteArray MacA = QByteArray::fromHex("001A2B3C4D5E");

TEST_F(DeviceActions, searchClearsThePanesAndKeepsTheFirstReplyOfEachMac)
{
    w->AddLog(QStringLiteral("old"), TLogColor::Red);
    FeedThree();
    w->rzpgcntrl_Srch->btn_Search->click();
    EXPECT_EQ(w->DevModel->rowCount(), 0);
    // Two bindings: two broadcasts, each dumped, then the hint.
    const QList<TShownLine> log = Log();
    ASSERT_EQ(log.size(), 3);
    EXPECT_EQ(log[0].Text, QStringLiteral(" Data has been sent"));
    EXPECT_EQ(log[2].Text, GetLangText(QStringLiteral("lang_H_lv_Dev")));
    EXPECT_EQ(log[2].Color, Rgb(TLogColor::Green));
    const QList<TShownLine> hex = Hex();
    ASSERT_EQ(hex.size(), 8);
    EXPECT_EQ(hex[1].Text, QStringLiteral("[ 127.0.0.1 : %1 ] \u2192 [ 127.0.0.1 : %2 ]")
                               .arg(w->UdpSvr->BindingPort(0))
                               .arg(q2rx.localPort()));
    EXPECT_EQ(hex[1].Color, Rgb(TLogColor::Blue));
    EXPECT_EQ(hex[2].Text, QStringLiteral("[ Length : 4 ]"));
    EXPECT_EQ(hex[3].Text, QStringLiteral("FF 01 01 02 "));
    EXPECT_EQ(Received(q2rx), QByteArray::fromHex("FF010102"));

    const QByteArray first = SearchReplyBytes("192.168.0.7", MacA, 4017, "First");
    Feed(first, 0);
    Feed(SearchReplyBytes("192.168.0.70", MacA, 4020, "Second"), 1);
    Feed(SearchReplyBytes("192.168.0.8", QByteArray::fromHex("001A2B3C4D5F"), 4017, "Other"), 1, true);
    ASSERT_EQ(w->DevModel->rowCount(), 2);
    auto cell = [&](int r, int c) { return w->DevModel->index(r, c).data().toString(); };
    EXPECT_EQ(QStringList({cell(0, 0), cell(0, 1), cell(0, 2), cell(0, 3), cell(0, 4), cell(0, 5)}),
              QStringList({"192.168.0.7", "First", "00 1A 2B 3C 4D 5E", "4017", "2", "0"}));
    EXPECT_EQ(QStringList({cell(1, 0), cell(1, 4), cell(1, 5)}), QStringList({"192.168.0.8", "36", "1"}));
    EXPECT_EQ(w->DevModel->Row(0)->SearchReply, first) << "the row keeps the reply it was made from";
    EXPECT_EQ(w->UdpSvr->SearchReplies.size(), 3);

    for (int c = 0; c < TDeviceListModel::ColumnCount; ++c) {
        EXPECT_EQ(w->lv_Dev->isColumnHidden(c), c >= TDeviceListModel::ColFlag) << c;
        if (c < TDeviceListModel::ColFlag) {
            EXPECT_GE(w->lv_Dev->columnWidth(c), TDeviceListModel::ColumnWidths[c]) << c;
        }
    }
    // A whole MAC fits its column, whatever the font.
    const QRect mac = w->lv_Dev->visualRect(w->DevModel->index(0, TDeviceListModel::ColMac));
    EXPECT_GE(mac.width(), w->lv_Dev->fontMetrics().horizontalAdvance(cell(0, 2)));
    // Four lines per received reply in the data-stream pane.
    EXPECT_EQ(Hex().size(), 8 + 3 * 4);
}

TEST_F(DeviceActions, clickReadsTheRowRightClickReadsThenOpensThePopup)
{
    FeedThree();
    DrainReceivers();
    ClickRow(0);
    EXPECT_EQ(w->lv_Dev->SelectedRow(), 0);
    EXPECT_EQ(Received(q2rx), BuildCmdFrame(CmdRead, "001A2B3C4D5E", LoginName, LoginPswd));
    EXPECT_EQ(CurMac, QStringLiteral("001A2B3C4D5E"));
    EXPECT_EQ(CurBindingIndex, 0);
    EXPECT_FALSE(w->Q2Model.rzgrpbxModbus.Visible) << "Modbus groups wait for the module's blocks";
    EXPECT_FALSE(w->Q2Model.RzGroupBox1.Visible);
    QList<TShownLine> log = Log();
    EXPECT_EQ(log.last().Text, QStringLiteral(" Data has been sent"));
    EXPECT_EQ(log[log.size() - 2].Text, QStringLiteral("Read [ Mac : 00 1A 2B 3C 4D 5E ]"));
    EXPECT_EQ(log[log.size() - 2].Color, Rgb(TLogColor::Green));

    // A Q3 row is read on its own port.
    RightClickRow(1);
    EXPECT_EQ(Received(q3rx), BuildCmdFrame(CmdRead, "001A2B3C4D5F", LoginName, LoginPswd));
    EXPECT_TRUE(w->lv_Dev->Popup()->isVisible());
    w->lv_Dev->Popup()->hide();

    // Model 0: the read line, the red incompatibility line, nothing sent, the parameter area closed.
    w->ShowPage(PageQ2);
    const int lines = Log().size();
    RightClickRow(2);
    EXPECT_TRUE(w->lv_Dev->Popup()->isVisible());
    w->lv_Dev->Popup()->hide();
    log = Log();
    ASSERT_EQ(log.size(), lines + 2);
    EXPECT_EQ(log[lines].Text, QStringLiteral("Read [ Mac : 00 1A 2B 3C 4D 60 ]"));
    EXPECT_EQ(log[lines + 1].Text, QStringLiteral("This program is only used for Z0 Series"));
    EXPECT_EQ(log[lines + 1].Color, Rgb(TLogColor::Red));
    EXPECT_EQ(w->CurrentPage(), PageNone);
    EXPECT_TRUE(Received(q2rx, 200).isEmpty());
    EXPECT_TRUE(Received(q3rx, 50).isEmpty());
}

TEST_F(DeviceActions, keysChangeNothingAndAClickBesideTheRowsClosesThePage)
{
    FeedThree();
    ClickRow(0);
    DrainReceivers();
    for (int key : {Qt::Key_Down, Qt::Key_End, Qt::Key_Up, Qt::Key_Space, Qt::Key_Return, Qt::Key_A})
        QTest::keyClick(w->lv_Dev, Qt::Key(key));
    EXPECT_EQ(w->lv_Dev->SelectedRow(), 0);
    EXPECT_TRUE(Received(q2rx, 100).isEmpty());

    w->ShowPage(PageQ2);
    const QPoint below(10, w->lv_Dev->viewport()->height() - 3);
    QTest::mouseClick(w->lv_Dev->viewport(), Qt::LeftButton, {}, below);
    EXPECT_EQ(w->lv_Dev->SelectedRow(), -1);
    EXPECT_EQ(w->CurrentPage(), PageNone);

    // The list takes the focus under the mouse.
    w->rzpgcntrl_Srch->btn_Search->setFocus();
    QTest::mouseMove(w->lv_Dev->viewport(), RowPoint(1));
    EXPECT_TRUE(QTest::qWaitFor([&] { return w->lv_Dev->hasFocus(); }, 1000));
}

TEST_F(DeviceActions, statusCodesLogAndReact)
{
    struct Case {
        int code;
        const char *text;
        QString line; // empty: no line
        bool red;
        bool closesPage;
        bool login;
        bool box;
    } cases[] = {
        {StsSearchSent, "", GetLangText("lang_H_lv_Dev"), false, false, false, false},
        {StsCheckErr, "5A", " Check Error: it should be: 5A", true, false, false, false},
        {StsAck, "ACK", " ACK.", false, false, false, false},
        {StsOtherErr, "", " Other Error.", true, false, false, false},
        {StsPswdErr, "", " UsrName or Password Error!", true, false, true, false},
        {StsPortInUse, "", "1500 Port In Use!", true, false, false, true},
        {StsIncompatible, "", "This program is only used for Z0 Series", true, true, false, false},
        {StsUnknownLen, "77", " Receive unknown,length is: 77", true, false, false, false},
        {12345, "", QString(), false, false, false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.code);
        w->ShowPage(PageQ2);
        messages.clear();
        logins = 0;
        const int before = Log().size();
        w->UdpSvr->DoStatus(c.code, QString::fromLatin1(c.text));
        const QList<TShownLine> log = Log();
        if (c.line.isEmpty()) {
            EXPECT_EQ(log.size(), before);
        } else {
            ASSERT_EQ(log.size(), before + 1);
            EXPECT_EQ(log.last().Text, c.line);
            EXPECT_EQ(log.last().Color, Rgb(c.red ? TLogColor::Red : TLogColor::Green));
        }
        EXPECT_EQ(w->CurrentPage(), c.closesPage ? PageNone : PageQ2);
        EXPECT_EQ(logins, c.login ? 1 : 0);
        EXPECT_EQ(messages, c.box ? QStringList{c.line} : QStringList{});
    }
    // A module's acknowledgement travels the whole way.
    w->UdpSvr->UDPRead(QByteArray::fromHex("FF01054B"), "192.168.0.7", DevPortQ2, "127.0.0.1", 1, 0);
    EXPECT_EQ(Log().last().Text, QStringLiteral(" ACK."));
}

TEST_F(DeviceActions, copyMacsToTheClipboard)
{
    QClipboard *clip = QGuiApplication::clipboard();
    clip->setText(QStringLiteral("before"));
    w->mni_CopeAllMac->trigger();
    EXPECT_EQ(clip->text(), QStringLiteral("before")) << "an empty list copies nothing";
    FeedThree();
    w->mni_CopeAllMac->trigger();
    EXPECT_EQ(clip->text(), QStringLiteral("00 1A 2B 3C 4D 5E\r\n00 1A 2B 3C 4D 5F\r\n00 1A 2B 3C 4D 60"));
    w->mni_CopyTheMac->trigger();
    EXPECT_EQ(clip->text(), QStringLiteral("00 1A 2B 3C 4D 5E\r\n00 1A 2B 3C 4D 5F\r\n00 1A 2B 3C 4D 60"))
        << "without a selection nothing is copied";
    w->lv_Dev->SelectRow(1);
    w->mni_CopyTheMac->trigger();
    EXPECT_EQ(clip->text(), QStringLiteral("00 1A 2B 3C 4D 5F"));
}

TEST_F(DeviceActions, restartResetAndOpenWebUseTheSelectedRow)
{
    FeedThree();
    DrainReceivers();
    // Without a selection only the page closes.
    w->ShowPage(PageQ2);
    w->mni_Restart->trigger();
    EXPECT_EQ(w->CurrentPage(), PageNone);
    EXPECT_TRUE(Received(q2rx, 100).isEmpty());

    w->lv_Dev->SelectRow(1); // the Q3 module
    w->ShowPage(PageQ2);
    w->mni_Restart->trigger();
    EXPECT_EQ(Received(q2rx), BuildCmdFrame(CmdRestart, "001A2B3C4D5F", LoginName, LoginPswd))
        << "restart goes to the Q2 port whatever the model";
    w->mni_Reset->trigger();
    EXPECT_EQ(Received(q3rx), BuildCmdFrame(CmdFactory, "001A2B3C4D5F", LoginName, LoginPswd));
    w->lv_Dev->SelectRow(2);
    w->mni_Reset->trigger();
    EXPECT_TRUE(Received(q2rx, 100).isEmpty());
    EXPECT_TRUE(Received(q3rx, 50).isEmpty());

    w->lv_Dev->SelectRow(0);
    w->mni_OpenWeb->trigger();
    // What the page shows is what counts: the field as the user typed it.
    Ctl<QLineEdit>(w.get(), "edt_HTTPServerPort")->setText(QStringLiteral("8080"));
    w->mni_OpenWeb->trigger();
    ASSERT_EQ(urls.size(), 2);
    EXPECT_EQ(urls[0].toString(), QStringLiteral("http://192.168.0.7:80"));
    EXPECT_EQ(urls[1].toString(), QStringLiteral("http://192.168.0.7:8080"));
}

TEST_F(DeviceActions, firmwareUpgradeGetsTheRowsOwnReplyAndBinding)
{
    struct Call {
        QString ip, mac, local;
        QByteArray reply;
    };
    QList<Call> calls;
    w->Hooks.OpenUpgrade = [&](const QString &ip, const QString &mac, const QString &local, const QByteArray &r) {
        calls.append({ip, mac, local, r});
    };
    const QByteArray second = SearchReplyBytes("192.168.0.8", QByteArray::fromHex("001A2B3C4D5F"), 4017, "B");
    Feed(SearchReplyBytes("192.168.0.7", MacA, 4017, "A"), 0);
    Feed(SearchReplyBytes("192.168.0.70", MacA, 4017, "A again"), 1); // stored, no row
    Feed(second, 1);
    w->lv_Dev->SelectRow(1);
    w->mni_FirmwareUp->trigger();
    w->lv_Dev->SelectRow(-1);
    w->mni_FirmwareUp->trigger();
    ASSERT_EQ(calls.size(), 2);
    EXPECT_EQ(calls[0].ip, QStringLiteral("192.168.0.8"));
    EXPECT_EQ(calls[0].mac, QStringLiteral("001A2B3C4D5F"));
    EXPECT_EQ(calls[0].local, w->UdpSvr->BindingIP(1));
    EXPECT_EQ(calls[0].reply, second) << "the row's own reply, not the stored reply at the row's index";
    EXPECT_TRUE(calls[1].ip.isEmpty() && calls[1].mac.isEmpty() && calls[1].local.isEmpty());
    EXPECT_TRUE(calls[1].reply.isEmpty());
    EXPECT_EQ(CurSearchReply, nullptr);
}

TEST_F(DeviceActions, exportWritesTheListBesideTheSettings)
{
    w->mniExporDevs->trigger();
    EXPECT_TRUE(messages.isEmpty()) << "an empty list exports nothing";
    Feed(SearchReplyBytes("192.168.0.7", MacA, 4017, "Lab,1"), 0);
    Feed(SearchReplyBytes("192.168.0.8", QByteArray::fromHex("001A2B3C4D5F"), 4018, "Lab2"), 1);
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    w->mniExporDevs->trigger();
    const QDateTime after = QDateTime::currentDateTime().addSecs(1);

    ASSERT_EQ(messages.size(), 1);
    const QString path = messages[0];
    EXPECT_EQ(Log().last().Text, path);
    EXPECT_EQ(Log().last().Color, Rgb(TLogColor::Green));
    const QFileInfo file(path);
    EXPECT_EQ(file.absolutePath(), QDir(w->ExportFolder()).absolutePath());
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("^Export Devices (\\d{8} \\d{6}) - \\(2\\)\\.csv$")).match(file.fileName());
    ASSERT_TRUE(m.hasMatch()) << file.fileName().toStdString();
    const QDateTime stamp = QDateTime::fromString(m.captured(1), QStringLiteral("yyyyMMdd hhmmss"));
    EXPECT_TRUE(stamp >= before.addMSecs(-before.time().msec()) && stamp <= after);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("IP,Name,MAC,Ver\r\n"
                                      "192.168.0.7,\"Lab,1\",00 1A 2B 3C 4D 5E,4017\r\n"
                                      "192.168.0.8,Lab2,00 1A 2B 3C 4D 5F,4018\r\n"));
    f.remove();
}

TEST_F(DeviceActions, readReplyOfTheSelectedQ2ModuleShowsTheQ2Page)
{
    FeedThree();
    TBaseParam base;
    base.UserMAC = QStringLiteral("00 1A 2B 3C 4D 5E");
    base.StaticIP = QStringLiteral("192.168.0.7");
    base.GatewayIP = base.SubnetMask = base.Dns = QStringLiteral("0.0.0.0");
    base.HttpPort = 8080;
    TPortParam port;
    port.Baudrate = 115200;
    port.DataBits = 8;
    port.Parity = 1;
    port.StopBits = 1;
    QByteArray read(LenRead, '\0');
    EncodeBaseParam(base, reinterpret_cast<uint8_t *>(read.data()), 0);
    EncodePortParam(port, reinterpret_cast<uint8_t *>(read.data()) + LenBase, 0);
    // The module's reply, from where its search reply came.
    const auto arrive = [&](const QByteArray &d) {
        w->UdpSvr->UDPRead(d, QStringLiteral("192.168.0.7"), DevPortQ2, w->UdpSvr->BindingIP(0),
                           w->UdpSvr->BindingPort(0), 0);
    };

    // No selection, or another module selected: ignored.
    arrive(read);
    EXPECT_EQ(w->CurrentPage(), PageNone);
    w->lv_Dev->SelectRow(1);
    arrive(read);
    EXPECT_EQ(w->CurrentPage(), PageNone);

    w->lv_Dev->SelectRow(0);
    arrive(read);
    EXPECT_EQ(w->CurrentPage(), PageQ2);
    EXPECT_TRUE(w->rzpgcntrl_Param->isVisible());
    EXPECT_EQ(w->rzpgcntrl_Param->currentIndex(), 1);
    EXPECT_EQ(w->Q2Model.edt_HTTPServerPort.Text, QStringLiteral("8080"));
    EXPECT_EQ(Log().last().Text, QStringLiteral("Read OK "));
    // The web page then opens on the module's own port.
    w->mni_OpenWeb->trigger();
    ASSERT_EQ(urls.size(), 1);
    EXPECT_EQ(urls[0].toString(), QStringLiteral("http://192.168.0.7:8080"));

    arrive(QByteArray::fromHex("01000000")); // the 4-byte Modbus block
    EXPECT_TRUE(w->Q2Model.rzgrpbxModbus.Visible);
    EXPECT_TRUE(w->Q2Model.rzchckbxmodbuspool.Visible);
}

} // namespace
