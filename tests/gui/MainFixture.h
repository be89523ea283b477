#pragma once
// A main window on the offscreen platform, in English, with its endpoint bound to loopback and its
// command frames going to two receivers of the test (the Q2 port and the Q3 port), its message
// boxes, links and dialogs recorded instead of shown.

#include <QFileInfo>
#include "GuiTestUtil.h"
#include "core/AppPaths.h"
#include "gui/DeviceListModel.h"
#include "gui/DeviceListView.h"
#include "gui/LogPanes.h"
#include "gui/MainWindow.h"
#include "gui/ParamArea.h"
#include "gui/SearchColumn.h"
#include "netconfig/UdpSvr.h"
#include "serial/SerialSession.h"

#include <QFile>
#include <QGuiApplication>
#include <QNetworkDatagram>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextBlock>
#include <QUdpSocket>
#include <QUrl>
#include <memory>

struct TShownLine {
    QString Text;
    QColor Color; // invalid for an empty line
};

// The lines of a pane as shown, each with its colour.
inline QList<TShownLine> ShownLines(TLogPanes *panes, QPlainTextEdit *memo)
{
    panes->Flush();
    QList<TShownLine> lines;
    for (QTextBlock b = memo->document()->begin(); b.isValid(); b = b.next()) {
        TShownLine line{b.text(), QColor()};
        if (b.begin() != b.end())
            line.Color = b.begin().fragment().charFormat().foreground().color();
        lines << line;
    }
    if (lines.size() == 1 && lines[0].Text.isEmpty() && memo->document()->isEmpty())
        lines.clear();
    return lines;
}

inline QColor Rgb(TLogColor c) { return TLogPanes::PaneColor(c); }

// A 36-byte search reply.
inline QByteArray SearchReplyBytes(const QString &ip, const QByteArray &mac, int version, const QByteArray &name)
{
    QByteArray b(36, '\0');
    const char head[] = {char(0xFF), 0x24, 0x01, 0x00, 0x00};
    b.replace(0, 5, QByteArray(head, 5));
    const QStringList octets = ip.split(u'.');
    for (int i = 0; i < 4; ++i)
        b[5 + i] = char(octets[i].toInt());
    b.replace(9, 6, mac);
    b[15] = char(version & 0xFF);
    b[16] = char(version >> 8);
    b.replace(19, qMin<int>(14, name.size()), name.left(14));
    return b;
}

struct MainFixture : ::testing::Test {
    std::unique_ptr<TFrm_Main> w;
    QUdpSocket q2rx, q3rx;
    QStringList messages;
    QList<QUrl> urls;
    int logins = 0;

    static void WriteCfg(const QByteArray &body)
    {
        QFile f(CfgIniPlace().Path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("[System]\r\n" + body);
    }
    static QString ReadCfg()
    {
        QFile f(CfgIniPlace().Path);
        return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QString();
    }

    void SetUp() override { Create(); }
    void TearDown() override
    {
        if (w)
            w->close();
        w.reset();
        SetSerialPortsProvider({});
    }

    // A fresh window over the given Cfg.ini lines (English unless they say otherwise).
    void Create(const QByteArray &cfg = "Language=0\r\n")
    {
        QGuiApplication::setQuitOnLastWindowClosed(false);
        if (w)
            w->close();
        w.reset();
        WriteCfg(cfg);
        w = std::make_unique<TFrm_Main>();
        w->ShowMessage = [this](const QString &t) { messages << t; };
        w->OpenUrl = [this](const QUrl &u) {
            urls << u;
            return true;
        };
        w->Hooks.OpenLogin = [this] { ++logins; };
        if (q2rx.state() != QAbstractSocket::BoundState) {
            ASSERT_TRUE(q2rx.bind(QHostAddress::LocalHost, 0));
            ASSERT_TRUE(q3rx.bind(QHostAddress::LocalHost, 0));
        }
        // Two bindings, both on loopback; every frame goes to the test's receivers.
        TUdpSvr *s = w->UdpSvr;
        s->AddressOverride = {QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.1")};
        s->BroadcastAddress = QStringLiteral("127.0.0.1");
        s->DestPortQ2 = q2rx.localPort();
        s->DestPortQ3 = q3rx.localPort();
        s->RefreshBindings();
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    }

    QList<TShownLine> Log() { return ShownLines(w->rzpgcntrl_Logs, w->rzpgcntrl_Logs->Memo1()); }
    QList<TShownLine> Hex() { return ShownLines(w->rzpgcntrl_Logs, w->rzpgcntrl_Logs->Memo2()); }

    // A search reply arriving on a binding, from the Q2 port (or the Q3 port).
    void Feed(const QByteArray &reply, int binding, bool q3 = false)
    {
        const QString ip = QStringLiteral("%1.%2.%3.%4")
                               .arg(uint8_t(reply[5]))
                               .arg(uint8_t(reply[6]))
                               .arg(uint8_t(reply[7]))
                               .arg(uint8_t(reply[8]));
        w->UdpSvr->UDPRead(reply, ip, q3 ? DevPortQ3 : DevPortQ2, w->UdpSvr->BindingIP(binding),
                           w->UdpSvr->BindingPort(binding), binding);
    }
    // Three modules: a Q2, a Q3 and one too old to be known.
    void FeedThree()
    {
        Feed(SearchReplyBytes("192.168.0.7", QByteArray::fromHex("001A2B3C4D5E"), 4017, "Lab-Q2"), 0);
        Feed(SearchReplyBytes("192.168.0.8", QByteArray::fromHex("001A2B3C4D5F"), 4017, "Lab-Q3"), 1, true);
        Feed(SearchReplyBytes("192.168.0.9", QByteArray::fromHex("001A2B3C4D60"), 2001, "Old"), 0);
    }

    // The next datagram a receiver gets, or an empty array after ms.
    static QByteArray Received(QUdpSocket &rx, int ms = 2000)
    {
        if (!QTest::qWaitFor([&] { return rx.hasPendingDatagrams(); }, ms))
            return {};
        return rx.receiveDatagram().data();
    }
    void DrainReceivers()
    {
        for (QUdpSocket *s : {&q2rx, &q3rx})
            while (s->hasPendingDatagrams())
                s->receiveDatagram();
    }

    QPoint RowPoint(int row) const
    {
        return w->lv_Dev->visualRect(w->DevModel->index(row, 0)).center();
    }
    void ClickRow(int row) { QTest::mouseClick(w->lv_Dev->viewport(), Qt::LeftButton, {}, RowPoint(row)); }
    void RightClickRow(int row)
    {
        const QPoint p = RowPoint(row);
        QTest::mouseClick(w->lv_Dev->viewport(), Qt::RightButton, {}, p);
        QContextMenuEvent ev(QContextMenuEvent::Mouse, p, w->lv_Dev->viewport()->mapToGlobal(p));
        QApplication::sendEvent(w->lv_Dev->viewport(), &ev);
    }
};
