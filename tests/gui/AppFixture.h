#pragma once
// The whole program as main() builds it (all four windows, wired), on the offscreen platform: its
// endpoint bound to loopback with the command frames going to two receivers of the test, its
// message boxes and links recorded, its write pauses recorded instead of slept. Modal dialogs the
// program opens are watched and closed by a TModalWatcher.

#include "GuiTestUtil.h"
#include "MainFixture.h"
#include "PageRecords.h"
#include "gui/App.h"
#include "gui/Frm_About.h"
#include "gui/Frm_Pswd.h"
#include "gui/Frm_Upgrade.h"
#include "gui/MainWindow.h"
#include "gui/Q2PageView.h"

#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <functional>

// Closes every modal window the program opens while it lives, noting each one's objectName;
// look runs first on each, while it shows.
class TModalWatcher {
public:
    explicit TModalWatcher(std::function<void(QWidget *)> look = {}) : FLook(std::move(look))
    {
        FTimer.setInterval(5);
        QObject::connect(&FTimer, &QTimer::timeout, [this] {
            QWidget *m = QApplication::activeModalWidget();
            if (!m || m == FLast)
                return;
            FLast = m;
            Opened << m->objectName();
            if (FLook)
                FLook(m);
            if (auto *d = qobject_cast<QDialog *>(m))
                d->reject();
            else
                m->close();
            FLast = nullptr;
        });
        FTimer.start();
    }
    QStringList Opened;

private:
    std::function<void(QWidget *)> FLook;
    QTimer FTimer;
    QPointer<QWidget> FLast;
};

struct AppFixture : ::testing::Test {
    std::unique_ptr<TAppWindows> app;
    TFrm_Main *w = nullptr;
    QUdpSocket q2rx, q3rx;
    QStringList messages;
    QList<int> pauses;

    void SetUp() override { Create(); }
    void TearDown() override { Destroy(); }

    void Destroy()
    {
        if (w)
            w->close();
        app.reset();
        w = nullptr;
        SetSerialPortsProvider({});
    }

    // The program started over the given Cfg.ini lines (English unless they say otherwise).
    void Create(const QByteArray &cfg = "Language=0\r\n")
    {
        QGuiApplication::setQuitOnLastWindowClosed(false);
        Destroy();
        MainFixture::WriteCfg(cfg);
        app = CreateAppWindows();
        w = app->Main.get();
        w->ShowMessage = [this](const QString &t) { messages << t; };
        w->OpenUrl = [](const QUrl &) { return true; };
        w->Pause = [this](int ms) { pauses << ms; };
        app->About->OpenUrl = [](const QUrl &) {};
        app->Upgrade->ShowMessage = [this](QWidget *, const QString &, const QString &t) { messages << t; };
        if (q2rx.state() != QAbstractSocket::BoundState) {
            ASSERT_TRUE(q2rx.bind(QHostAddress::LocalHost, 0));
            ASSERT_TRUE(q3rx.bind(QHostAddress::LocalHost, 0));
        }
        AimEndpoint(QStringLiteral("127.0.0.1"), q2rx.localPort(), q3rx.localPort());
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
    }

    // Two bindings on loopback; frames (and the search) go to the address and ports given.
    void AimEndpoint(const QString &to, int q2Port, int q3Port)
    {
        TUdpSvr *s = w->UdpSvr;
        s->AddressOverride = {QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.1")};
        s->BroadcastAddress = to;
        s->DestPortQ2 = q2Port;
        s->DestPortQ3 = q3Port;
        s->RefreshBindings();
    }

    template <typename T = QWidget> T *C(const char *name) { return Ctl<T>(w, name); }

    QList<TShownLine> Log() { return ShownLines(w->rzpgcntrl_Logs, w->rzpgcntrl_Logs->Memo1()); }
    QStringList LogTexts()
    {
        QStringList t;
        for (const TShownLine &l : Log())
            t << l.Text;
        return t;
    }

    // A datagram arriving on binding 0 from a module's port.
    void Arrive(const QByteArray &data, const QString &ip, int port = DevPortQ2)
    {
        w->UdpSvr->UDPRead(data, ip, port, w->UdpSvr->BindingIP(0), w->UdpSvr->BindingPort(0), 0);
    }
    // The search reply of the recorded module (MAC 00 1A 2B 3C 4D 5E) and a Q3 module.
    void FeedRows()
    {
        Arrive(SearchReplyBytes("192.168.0.7", QByteArray::fromHex("001A2B3C4D5E"), 4017, "Lab-Q2"),
               QStringLiteral("192.168.0.7"));
        Arrive(SearchReplyBytes("192.168.0.8", QByteArray::fromHex("001A2B3C4D5F"), 4017, "Lab-Q3"),
               QStringLiteral("192.168.0.8"), DevPortQ3);
    }
    // The recorded module's replies to a read, as they come off the wire, in the module's order.
    void FeedReplies(const TQ2Replies &r)
    {
        const QString ip = QStringLiteral("192.168.0.7");
        Arrive(r.Read, ip);
        Arrive(r.Cloud, ip);
        Arrive(r.Heart, ip);
        Arrive(r.Httpd, ip);
        for (const QByteArray &b : {r.Modbus, r.ModbusPack, r.ModbusNew})
            if (!b.isEmpty())
                Arrive(b, ip);
    }

    QPoint RowPoint(int row) const { return w->lv_Dev->visualRect(w->DevModel->index(row, 0)).center(); }
    void ClickRow(int row) { QTest::mouseClick(w->lv_Dev->viewport(), Qt::LeftButton, {}, RowPoint(row)); }
    void Click(const char *name) { QTest::mouseClick(C(name), Qt::LeftButton); }

    // Whether a control would show while its page shows (the page itself may be hidden).
    bool Shows(const char *name) { return C(name)->isVisibleTo(w->Q2View); }

    static QByteArray Received(QUdpSocket &rx, int ms = 2000) { return MainFixture::Received(rx, ms); }
    void DrainReceivers()
    {
        for (QUdpSocket *s : {&q2rx, &q3rx})
            while (s->hasPendingDatagrams())
                s->receiveDatagram();
    }
};
