// Pictures of the whole program for people to look at (build/screenshots/app_*.png): every page
// mode in English and Chinese, the Q2 page at its top and its bottom, and the three dialogs over
// the main window. Each picture is also checked for captions that do not fit. The README shows
// app_q2_top_en.png and app_q2_top_zh.png (docs/screenshots/q2_page_*.png).
#include "AppFixture.h"
#include "DialogTestUtil.h"
#include "gui/Q1PageView.h"
#include "gui/SearchColumn.h"
#include "netconfig/Q1Page.h"

#include <QFileInfo>
#include <QLineEdit>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>

namespace {

struct AppShots : AppFixture, ::testing::WithParamInterface<bool> {
    QString Lang() const { return GetParam() ? QStringLiteral("zh") : QStringLiteral("en"); }

    void Shot(const QString &name)
    {
        QApplication::processEvents();
        w->rzpgcntrl_Logs->Flush();
        EXPECT_EQ(ClippedControls(w), "") << name.toStdString();
        const QString path = SaveShot(w, QStringLiteral("app_") + name + u'_' + Lang());
        EXPECT_GT(QFileInfo(path).size(), 1000) << path.toStdString();
    }

    // The dialog drawn over the middle of the main window, with a plain frame and title strip in
    // place of the window manager's.
    void ShotOver(QWidget *dialog, const QString &name)
    {
        dialog->show();
        QApplication::processEvents();
        EXPECT_EQ(ClippedControls(dialog), "") << name.toStdString();
        QPixmap picture = w->grab();
        const QPixmap inner = dialog->grab();
        const int title = dialog->fontMetrics().height() + 10;
        const QPoint at((picture.width() - inner.width()) / 2 - 1, (picture.height() - inner.height() - title) / 2);
        const QRect frame(at, QSize(inner.width() + 2, inner.height() + title + 1));
        QPainter p(&picture);
        p.fillRect(frame, dialog->palette().color(QPalette::Dark));
        p.setPen(dialog->palette().color(QPalette::Light));
        p.drawText(frame.adjusted(8, 0, -8, -inner.height() - 1), Qt::AlignVCenter | Qt::AlignLeft,
                   dialog->windowTitle());
        p.drawPixmap(frame.left() + 1, frame.top() + title, inner);
        p.end();
        dialog->hide();
        const QString path =
            QStringLiteral(BEXO_BINARY_DIR "/screenshots/app_") + name + u'_' + Lang() + QStringLiteral(".png");
        EXPECT_TRUE(picture.save(path)) << path.toStdString();
    }
};

TEST_P(AppShots, everyPageModeAndTheDialogs)
{
    Create(GetParam() ? "Language=1\r\n" : "Language=0\r\n");
    SetSerialPortsProvider([] { return QStringList{"ttyS0", "ttyUSB0"}; });
    FeedRows();
    Arrive(SearchReplyBytes("10.20.30.140", QByteArray::fromHex("AABBCCDDEEFF"), 4100, "Workshop-Line-7"),
           QStringLiteral("10.20.30.140"));
    Arrive(SearchReplyBytes("192.168.0.9", QByteArray::fromHex("001A2B3C4D60"), 2001, "Old"),
           QStringLiteral("192.168.0.9"));
    Shot(QStringLiteral("none_lan"));

    // A module read: the Q2 page from the recorded replies, from the top and scrolled down.
    ClickRow(0);
    FeedReplies(TQ2Replies::Full());
    w->UdpSvr->DoStatus(StsAck, QString());
    ASSERT_EQ(w->CurrentPage(), PageQ2);
    Shot(QStringLiteral("q2_top"));
    QScrollBar *bar = w->Q2View->ScrollBox()->verticalScrollBar();
    bar->setValue(bar->maximum());
    Shot(QStringLiteral("q2_bottom"));
    bar->setValue(0);

    ShotOver(app->Pswd.get(), QStringLiteral("login"));
    ShotOver(app->About.get(), QStringLiteral("about"));
    app->Upgrade->HandOver(QStringLiteral("192.168.0.7"), QStringLiteral("001A2B3C4D5E"), QStringLiteral("192.168.0.2"),
                           w->SelectedDevice()->SearchReply);
    ShotOver(app->Upgrade.get(), QStringLiteral("upgrade"));

    // The COM tab, then a Q1 module read over the serial line: the Q1 page with its serial button.
    w->rzpgcntrl_Logs->setCurrentIndex(1);
    w->rzpgcntrl_Srch->setCurrentIndex(TSearchColumn::TabCom);
    Shot(QStringLiteral("none_com"));
    TQ1Page read;
    read.cbb_ModuleWork.Select(1);
    read.edt_ModuleIP.Text = QStringLiteral("192.168.1.40");
    read.edt_DeIP.Text = QStringLiteral("192.168.1.2");
    read.edt_ID.Text = QStringLiteral("207");
    read.edt_ModulePort.Text = QStringLiteral("20108");
    read.chk_ConnSendId.Checked = read.chk_RS485.Checked = read.chk_RFC2217.Checked = true;
    uint8_t fields[Q1FieldsSize] = {};
    ASSERT_TRUE(WriteQ1Fields(read, fields));
    ReadQ1Fields(fields, w->Q1Model);
    w->RefreshPages();
    w->ShowPage(PageQ1);
    EXPECT_TRUE(C("btn_ComSet")->isVisible());
    EXPECT_EQ(C<QLineEdit>("edt_ModuleIP")->text(), QStringLiteral("192.168.1.40"));
    Shot(QStringLiteral("q1"));
}

INSTANTIATE_TEST_SUITE_P(Languages, AppShots, ::testing::Values(false, true),
                         [](const auto &info) { return info.param ? "Chinese" : "English"; });

} // namespace
