#include "EndpointModule.h"
#include "RecorderSink.h"
#include "TestUtil.h"
#include "lang/LangList.h"
#include "netconfig/Q2Write.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QUdpSocket>

namespace {

struct WriteFixture : ::testing::Test {
    TUdpSvr svr;
    TQ2Page page;
    TRecorderSink log;
    TDeviceRow row{"10.0.0.7", "Lab", "00 1A 2B 3C 4D 5E", "4017", ModelQ2, 0, {}};
    TModuleRecord rec;
    // The module of the row, its blocks as the endpoint received them.
    TModuleRecord *module()
    {
        rec = ModuleFromEndpoint(svr, row);
        return &rec;
    }

    void SetUp() override
    {
        InitLanguage(QString());
        LangList->IsChinese = false;
        // The module's read reply and the page it fills.
        QByteArray read(130, '\0');
        read[3] = char(0x82);
        read.replace(9, 4, Hex("07 00 A8 C0"));
        read.replace(53, 6, Hex("00 1A 2B 3C 4D 5E"));
        read.replace(67, 4, Hex("00 C2 01 00"));
        read[71] = 8;
        read[72] = 1;
        read[73] = 1;
        read[74] = 1;
        read[67 + 51] = 3;
        svr.UDPRead(read, "10.0.0.7", 1500, "10.0.0.1", 4000, 0);
        TBaseParam b = DecodeBaseParam(svr.LastRead.data());
        b.GatewayIP = b.SubnetMask = b.Dns = QStringLiteral("10.0.0.1");
        page.HideModbusGroups();
        page.OnReadParam(b, TarrComParam{DecodePortParam(svr.LastRead.data() + 67)}, false, ModelQ2, row.Mac, log);
        page.edt_ModName.Text = QStringLiteral("Lab");
        page.edt_username.Text = page.edt_password.Text = QStringLiteral("tovak");
        page.LabeledEdit1.Text = QStringLiteral("0");
        page.edt_RemoteIP0.Text = QStringLiteral("10.0.0.9");
        page.LabeledEditShortTime.Text = QStringLiteral("3");
        page.edtHeartTm.Text = QStringLiteral("30");
        page.edtHeartDt.Text = QStringLiteral("hb");
        page.edtRegDt.Text = QStringLiteral("rg");
        CurMac = QStringLiteral("001A2B3C4D5E");
        CurBindingIndex = 0;
        log.Lines.clear();
    }
    void TearDown() override { FreeLanguage(); }

    static QString shape(const TQ2WritePlan &plan)
    {
        QStringList out;
        for (const TPlannedFrame &f : plan.Frames)
            out << QStringLiteral("%1/%2/%3").arg(f.Cmd, 2, 16, QLatin1Char('0')).arg(f.Payload.size()).arg(f.PauseAfterMs);
        return out.join(u' ');
    }
};

} // namespace

TEST_F(WriteFixture, orderByVersionAndGroups)
{
    struct Case { const char *version; int workMode; bool modbus, modbus4, pack, fresh; const char *shape; } cases[] = {
        {"4016", 3, false, false, false, false, "05/67/500 06/63/2000 02/0/0"},
        {"4017", 3, false, false, false, false, "05/67/500 06/63/500 21/85/2000 02/0/0"},
        {"4017", 4, false, false, false, false, "05/67/500 06/63/500 21/85/500 22/101/500 23/201/2000 02/0/0"},
        {"4016", 4, false, false, false, false, "05/67/500 06/63/2000 02/0/0"},
        {"4016", 3, true, false, true, true, "05/67/500 06/63/500 24/1/0 24/87/0 24/100/1500 02/0/0"},
        {"4016", 3, true, true, false, false, "05/67/500 06/63/500 24/4/1500 02/0/0"},
        {"abc", 3, false, false, false, true, "05/67/500 06/63/500 24/100/1500 02/0/0"},
    };
    for (const auto &c : cases) {
        TQ2Page p = page;
        p.cbb_WorkMode0.Index = c.workMode;
        p.WorkMode0Change();
        p.LabeledEdit2.Text = p.RzRichEdit1.Text = QStringLiteral("x");
        if (c.modbus)
            p.OnModbusParam(TModbusParam{1, 1, QStringLiteral("1000")}, c.modbus4 ? 4 : 1);
        if (c.pack)
            p.OnModbusPackParam(TModbusPackParam{1, 1, 0, QStringLiteral("200"), QStringLiteral("10")});
        if (c.fresh)
            p.OnModbusNewParam(TModbusNewParam{0, 1, QStringLiteral("200"), QStringLiteral("10")});
        row.Version = QString::fromLatin1(c.version);
        const TQ2WritePlan plan = PlanQ2Write(p, module());
        ASSERT_EQ(plan.Status, TQ2WriteStatus::Ready) << plan.Message.toStdString();
        EXPECT_EQ(shape(plan), QString::fromLatin1(c.shape)) << c.version << " mode " << c.workMode;
        if (c.modbus4) {
            EXPECT_EQ(HexOf(plan.Frames[2].Payload), "01 01 03 E8");
        }
    }
}

TEST_F(WriteFixture, noRowWrongModelAndInvalidPageSendNothing)
{
    const TQ2WritePlan none = WriteQ2Network(page, svr, nullptr, log, {});
    EXPECT_EQ(none.Status, TQ2WriteStatus::NoRow);
    EXPECT_EQ(log.LogTexts(), QStringList{" Please select the module in the search list."});
    EXPECT_EQ(log.Lines[0].Color, TLogColor::Red);

    row.Model = ModelQ3;
    EXPECT_EQ(PlanQ2Write(page, module()).Status, TQ2WriteStatus::WrongModel);
    row.Model = ModelQ2;
    TQ2Page p = page;
    p.edtHeartDt.Text.clear();
    const TQ2WritePlan bad = PlanQ2Write(p, module());
    EXPECT_EQ(bad.Status, TQ2WriteStatus::Invalid);
    EXPECT_TRUE(bad.Frames.isEmpty());
}

TEST_F(WriteFixture, aTextThatDoesNotConvertStopsBeforeAnythingIsSent)
{
    // Fields the checks pass over (hidden, or left as the module sent them) that do not convert or
    // do not fit stop the whole write: nothing is sent and the template stays as it was.
    const auto before = module()->Templates.Read;
    struct Case {
        const char *what;
        std::function<void(TQ2Page &)> spoil;
        const char *line;
    } cases[] = {
        {"hidden web page port", [](TQ2Page &p) { p.edt_LocationURLPort.Text = QStringLiteral("abc"); },
         "Error: UPNP Port"},
        {"hidden module MAC", [](TQ2Page &p) { p.edt_UserMAC.Text = QStringLiteral("00 1A"); },
         "Error: MAC Address"},
        {"heartbeat time hidden with the heartbeat off",
         [](TQ2Page &p) {
             p.RzComboBox1.Index = 0;
             p.HeartChange();
             p.edtHeartTm.Text = QStringLiteral("99999");
         },
         "Error: Heartbeat Time(s)"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        TQ2Page p = page;
        c.spoil(p);
        QString msg;
        ASSERT_TRUE(p.ValidateQ2Page(msg, 4017)) << msg.toStdString();
        log.Lines.clear();
        int pauses = 0;
        const TQ2WritePlan plan = WriteQ2Network(p, svr, module(), log, [&](int) { ++pauses; });
        EXPECT_EQ(plan.Status, TQ2WriteStatus::NotConverted);
        EXPECT_TRUE(plan.Frames.isEmpty());
        EXPECT_EQ(pauses, 0);
        ASSERT_EQ(log.Lines.size(), 1);
        EXPECT_EQ(log.Lines[0].Color, TLogColor::Red);
        EXPECT_EQ(log.Lines[0].Text, QString::fromLatin1(c.line));
        EXPECT_EQ(rec.Templates.Read, before) << "the template is not half-written";
    }
}

// An address or number its bytes cannot carry is refused by the checks before anything is planned;
// a 4016 module, which has no heartbeat/register block, needs no heartbeat values.
TEST_F(WriteFixture, theChecksFollowWhatThisModulesWriteCarries)
{
    struct Case {
        const char *what;
        const char *version;
        std::function<void(TQ2Page &)> edit;
        const char *message; // null: planned
    } cases[] = {
        {"an address cut to a byte", "4017", [](TQ2Page &p) { p.edt_StaticIP.Text = QStringLiteral("999.1.1.1"); },
         "ModuleStaticIP is not a valid IPv4 address, please enter four numbers from 0 to 255 separated by dots!"},
        {"an address with a byte missing", "4017", [](TQ2Page &p) { p.edt_GatewayIP.Text = QStringLiteral("10.77.5"); },
         "Gateway is not a valid IPv4 address, please enter four numbers from 0 to 255 separated by dots!"},
        {"a port wrapped to 16 bits", "4017", [](TQ2Page &p) { p.edt_LocalPort0.Text = QStringLiteral("99999"); },
         "Local Port is out of range, please enter a number from 0 to 65535!"},
        {"a wait time the short Modbus block cannot hold", "4017",
         [](TQ2Page &p) { p.OnModbusParam(TModbusParam{1, 1, QStringLiteral("99999999999")}, 4); },
         "Poll Timeout(ms) is out of range, please enter a number from 0 to 65535!"},
        {"4016 without heartbeat values", "4016",
         [](TQ2Page &p) { p.edtHeartTm.Text = p.edtHeartDt.Text = p.edtRegDt.Text = QString(); }, nullptr},
        {"4017 without heartbeat values", "4017",
         [](TQ2Page &p) { p.edtHeartTm.Text = p.edtHeartDt.Text = p.edtRegDt.Text = QString(); },
         "Heartbeat Time(s)is null, please write data!"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        TQ2Page p = page;
        c.edit(p);
        row.Version = QString::fromLatin1(c.version);
        const TQ2WritePlan plan = PlanQ2Write(p, module());
        if (c.message) {
            EXPECT_EQ(plan.Status, TQ2WriteStatus::Invalid);
            EXPECT_EQ(plan.Message, QString::fromLatin1(c.message));
            EXPECT_TRUE(plan.Frames.isEmpty());
        } else {
            EXPECT_EQ(plan.Status, TQ2WriteStatus::Ready) << plan.Message.toStdString();
            EXPECT_EQ(shape(plan), QStringLiteral("05/67/500 06/63/2000 02/0/0"));
        }
    }
}

TEST_F(WriteFixture, writeKeepsEveryByteItDoesNotOwnAndSendsToTheRow)
{
    QUdpSocket rx;
    ASSERT_TRUE(rx.bind(QHostAddress::LocalHost, 0));
    svr.AddressOverride = {QStringLiteral("127.0.0.1")};
    svr.BroadcastAddress = QStringLiteral("127.0.0.1");
    svr.DestPortQ2 = rx.localPort();
    svr.RefreshBindings();
    const QByteArray readBefore(reinterpret_cast<const char *>(svr.LastRead.data()), 130);
    page.edt_ModName.Text = QStringLiteral("Renamed");
    QList<int> pauses;
    row.Version = QStringLiteral("4016");
    const TQ2WritePlan plan = WriteQ2Network(page, svr, module(), log, [&](int ms) { pauses << ms; });
    ASSERT_EQ(plan.Status, TQ2WriteStatus::Sent);
    EXPECT_EQ(pauses, (QList<int>{500, 2000}));
    QList<QByteArray> got;
    QElapsedTimer t;
    t.start();
    while (got.size() < 3 && t.elapsed() < 5000) {
        rx.waitForReadyRead(100);
        while (rx.hasPendingDatagrams())
            got << rx.receiveDatagram().data();
    }
    ASSERT_EQ(got.size(), 3);
    EXPECT_EQ(uint8_t(got[0][2]), CmdWriteBase);
    EXPECT_EQ(uint8_t(got[2][2]), CmdRestart);
    const QByteArray base = got[0].mid(21, 67);
    QList<int> changed;
    for (int i = 0; i < 67; ++i)
        if (base[i] != readBefore[i])
            changed << i;
    // Only what the page changed: gateway and mask, name, credentials, DNS, short time.
    for (int i : changed)
        EXPECT_TRUE((i >= 13 && i < 49) || (i >= 59 && i < 64)) << i;
    EXPECT_EQ(base.mid(21, 7), QByteArray("Renamed"));
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(rec.Templates.Read.data()), 67), base)
        << "the module's template follows the write";
}
