// Each model driven through discovery, the device actions, the page fill, the network write and
// the serial protocol: what it does must follow its row of the model table.
#include "ModuleFixture.h"
#include "RecorderSink.h"
#include "TestUtil.h"
#include "netconfig/LanSession.h"
#include "netconfig/ModelInfo.h"
#include "netconfig/Q2Write.h"
#include "serial/SerialProtocol.h"

#include <QHostAddress>
#include <QNetworkDatagram>
#include <QUdpSocket>

namespace {

QByteArray searchReply(const QByteArray &mac, int version)
{
    QByteArray b(LenSearch, '\0');
    b.replace(0, 9, Hex("FF 24 01 00 00 0A 00 00 07"));
    b.replace(9, 6, mac);
    b[15] = char(version & 0xFF);
    b[16] = char(version >> 8);
    b.replace(19, 4, "Unit");
    return b;
}

// The command code of the frame that arrived at rx, or -1 when none came.
int commandAt(QUdpSocket &rx, int ms = 300)
{
    if (!rx.hasPendingDatagrams())
        rx.waitForReadyRead(ms);
    if (!rx.hasPendingDatagrams())
        return -1;
    const QByteArray f = rx.receiveDatagram().data();
    return f.size() >= 22 ? uint8_t(f[2]) : -2;
}

} // namespace

TEST(ModelInfo, everyModelFollowsItsRowThroughTheSession)
{
    TLangScope lang;
    QUdpSocket q2rx, q3rx;
    ASSERT_TRUE(q2rx.bind(QHostAddress::LocalHost, 0));
    ASSERT_TRUE(q3rx.bind(QHostAddress::LocalHost, 0));
    const TModuleFixture valid; // a page that passes every check, to write

    struct Case {
        const char *what;
        int replyPort, version;
        int model;          // what the search reply makes of it
        const char *name;   // as the CLI shows it
        int readAt;         // 2: the Q2 port, 3: the Q3 port, 0: no read
        int resetAt;
        bool fillsPage;     // its read reply fills and shows the Q2 page
        bool written;       // the network write sends its frames
        bool heartHttpd;    // and carries the heartbeat/register block
    } cases[] = {
        {"Q2 4017", DevPortQ2, 4017, ModelQ2, "Q2", 2, 2, true, true, true},
        {"Q2 4016", DevPortQ2, 4016, ModelQ2, "Q2", 2, 2, true, true, false},
        {"Q3", DevPortQ3, 2002, ModelQ3, "Q3", 3, 3, false, false, false},
        {"Q2 too old", DevPortQ2, 2001, ModelNone, "unknown", 0, 0, false, false, false},
        {"another port", 3000, 4017, ModelNone, "unknown", 0, 0, false, false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        TRecorderSink log;
        TLanSession session(log);
        TQ2Page page;
        session.Page = &page;
        TUdpSvr &svr = session.Svr();
        svr.AddressOverride = {QStringLiteral("127.0.0.1")};
        svr.BroadcastAddress = QStringLiteral("127.0.0.1");
        svr.DestPortQ2 = q2rx.localPort();
        svr.DestPortQ3 = q3rx.localPort();
        svr.RefreshBindings();
        QList<int> shown;
        QObject::connect(&session, &TLanSession::ShowPage, [&](int mode) { shown << mode; });
        const QString from = QStringLiteral("10.0.0.7");
        const auto arrive = [&](const QByteArray &d) { svr.UDPRead(d, from, c.replyPort, QStringLiteral("127.0.0.1"), 4000, 0); };
        arrive(searchReply(Hex("00 1A 2B 3C 4D 5E"), c.version));
        ASSERT_EQ(session.Devices().Count(), 1);
        const TDeviceRow row = session.Devices().Rows[0];
        EXPECT_EQ(row.Model, c.model);
        EXPECT_EQ(ModelInfo(row.Model).Name, QString::fromLatin1(c.name));

        const auto arrivedAt = [&](int which) {
            const int at2 = commandAt(q2rx, which == 2 ? 1000 : 50), at3 = commandAt(q3rx, which == 3 ? 1000 : 50);
            return which == 2 ? at2 != -1 && at3 == -1 : which == 3 ? at3 != -1 && at2 == -1 : at2 == -1 && at3 == -1;
        };
        const TReadOutcome read = session.Read(row);
        EXPECT_EQ(read == TReadOutcome::Incompatible, c.readAt == 0);
        EXPECT_EQ(shown.contains(PageNone), c.readAt == 0) << "a module of no known model closes the page";
        EXPECT_TRUE(arrivedAt(c.readAt)) << "read";
        EXPECT_EQ(session.Reset(row), c.resetAt != 0);
        EXPECT_TRUE(arrivedAt(c.resetAt)) << "reset";
        EXPECT_TRUE(session.Restart(row));
        EXPECT_TRUE(arrivedAt(2)) << "a restart goes to the Q2 port whatever the model";

        // Its read reply, from where it answers.
        shown.clear();
        QByteArray reply(LenRead, '\0');
        reply.replace(53, 6, Hex("00 1A 2B 3C 4D 5E"));
        arrive(reply);
        EXPECT_EQ(shown.contains(PageQ2), c.fillsPage);

        const TQ2WritePlan plan = session.Write(valid.Page, &row, {});
        EXPECT_EQ(plan.Status == TQ2WriteStatus::Sent, c.written) << plan.Message.toStdString();
        const bool heart = std::any_of(plan.Frames.begin(), plan.Frames.end(),
                                       [](const TPlannedFrame &f) { return f.Cmd == CmdWriteHeartReg; });
        EXPECT_EQ(heart, c.heartHttpd);
        q2rx.waitForReadyRead(c.written ? 500 : 10);
        while (q2rx.hasPendingDatagrams())
            q2rx.receiveDatagram();
    }
}

TEST(ModelInfo, theSerialLineByModel)
{
    TQ2Page q2;
    TQ1Page q1;
    // The example Q1 field group read onto the Q1 page: a page every check passes.
    const QByteArray fields = Hex("C9 00 A8 C0 2A 20 07 00 A8 C0 8C 4E C9 00 A8 C0 01 00 C2 01 03 00 00 84 00 FF FF FF");
    ReadQ1Fields(reinterpret_cast<const uint8_t *>(fields.constData()), q1);
    struct Case {
        int model;
        uint8_t request;
        TSerialWriteStatus status; // a write without a Q2 reply of this run
        const char *lead;          // its first frame
    } cases[] = {
        {ModelQ1, 0xBC, TSerialWriteStatus::Ready, "55 BA"},
        {ModelQ3, 0xBC, TSerialWriteStatus::Ready, "55 BA"},
        {ModelQ2, 0xBD, TSerialWriteStatus::NoTemplate, ""},
        {ModelNone, 0xBC, TSerialWriteStatus::UnknownModel, ""},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(SerialReadRequest(c.model), c.request) << c.model;
        const TSerialWritePlan plan = PlanSerialWrite(c.model, q2, q1, QByteArray());
        EXPECT_EQ(plan.Status, c.status) << c.model;
        EXPECT_EQ(HexOf(plan.Frames.value(0).left(2)), c.lead) << c.model;
    }
    EXPECT_EQ(ModelByName(QStringLiteral("q3"))->Code, ModelQ3);
    EXPECT_EQ(ModelByName(QStringLiteral("unknown")), nullptr) << "no model is called so";
}
