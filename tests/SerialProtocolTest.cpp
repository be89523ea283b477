#include "SerialFixture.h"
#include "SimSerialProcess.h"
#include "TestUtil.h"
#include "core/ProFun.h"
#include "core/Wait.h"
#include "netconfig/Codecs.h"
#include "serial/SerialProtocol.h"

#include <QElapsedTimer>

namespace {

const QString Opened = QStringLiteral("log green: Serial is Open");
const QString Closed = QStringLiteral("log green: Serial is Close");
const QString SendOk = QStringLiteral("log green: send OK ");
const QString ReadOk = QStringLiteral("log green: Read OK ");
const QString SetupOk = QStringLiteral("log green: setup success");
const QString HeadErr = QStringLiteral("log red: Packet Header error or check sum is not correct");
const QString RedError = QStringLiteral("log red: Error");
const QString SendFailure = QStringLiteral("log red: Serial Send Failure\uFF0Cplease try again");
const QString RecvDir = QStringLiteral("hex green: [ PC ] \u2190 [ Device ]");
const QString SendDir = QStringLiteral("hex blue: [ PC ] \u2192 [ Device ]");

QString recvLen(int n) { return QStringLiteral("hex green: [ Length : %1 ]").arg(n); }
QString sendLen(int n) { return QStringLiteral("hex blue: [ Length : %1 ]").arg(n); }
QString dump(const QByteArray &b) { return QStringLiteral("hex green: ") + BytesToHexSpaced(b); }

uint8_t *U(QByteArray &b) { return reinterpret_cast<uint8_t *>(b.data()); }
const uint8_t *U(const QByteArray &b) { return reinterpret_cast<const uint8_t *>(b.constData()); }

// The 28 bytes of the example page: TCP Client, 192.168.0.7/24 via .201, 115200 8N1, port 20108,
// destination 192.168.0.201:8234, ID 0, RFC2217 and RS485.
const char *ExampleFields = "C9 00 A8 C0 2A 20 07 00 A8 C0 8C 4E C9 00 A8 C0 01 00 C2 01 03 00 00 84 00 FF FF FF";

QByteArray q1Reply(const QByteArray &fields, uint8_t byte30 = 0x00)
{
    QByteArray r = Hex("55 BC") + fields;
    r.append(char(byte30));
    r.append(char(Sum8(U(r) + 2, 29)));
    return r;
}

// A Q2 module's 137-byte reply: its blocks carry markers in the bytes the page does not own.
QByteArray q2Reply()
{
    QByteArray base(LenBase, '\0'), port(LenPort, '\0');
    TBaseParam b;
    b.AddrType = 1;
    b.HttpPort = 80;
    b.UpnpPort = 1901;
    b.StaticIP = QStringLiteral("10.1.2.3");
    b.GatewayIP = QStringLiteral("10.1.2.1");
    b.SubnetMask = QStringLiteral("255.255.0.0");
    b.ModName = QStringLiteral("Bench-Q2");
    b.UserName = b.Password = QStringLiteral("tovak");
    b.Options = 0x90;
    b.UserMAC = QStringLiteral("001A2B3C4D5E");
    b.Dns = QStringLiteral("10.1.2.1");
    b.ShortConnTime = 3;
    EncodeBaseParam(b, U(base), 0x02); // bit 1 of byte 3 is not the page's
    base[0] = 0x11;
    base[8] = 0x44;
    base[50] = 0x66;
    base[66] = char(0xAA);
    TPortParam p;
    p.Baudrate = 57600;
    p.DataBits = 8;
    p.Parity = 1;
    p.StopBits = 1;
    p.FlowControl = 1;
    p.LocalPort = 4001;
    p.RemotePort = 4002;
    p.RemoteIP = QStringLiteral("10.1.2.9");
    p.WorkMode = 1;
    p.TcpSvrCount = 4;
    p.PackLen = 400;
    p.PackTime = 10;
    EncodePortParam(p, U(port), 0x03);
    port[46] = 0x12;
    port[47] = 0x34;
    port[57] = char(0x9A);
    return Hex("55 BD") + base + port + Hex("01 02 03 04 05");
}

// The second Q2 reply: device ID, communication code, heartbeat/register block.
QByteArray q2Extra()
{
    QByteArray r = Hex("55 C1");
    QByteArray id(20, '\0'), code(8, '\0');
    StrToBufPad(QStringLiteral("DEV-0042"), U(id), 20);
    StrToBufPad(QStringLiteral("C0DE"), U(code), 8);
    QByteArray heart(LenHeartReg, '\0');
    THeartRegParam h;
    h.HeartMode = 1;
    h.RegMode = 2;
    h.HeartTime = 45;
    h.HeartData = QStringLiteral("beat");
    h.RegData = QStringLiteral("hello");
    EncodeHeartRegParam(h, U(heart));
    return r + id + code + heart;
}

struct ProtocolFixture : SerialSessionFixture {
    TQ2Page q2;
    TQ1Page q1;
    TSerialProtocol proto {session, q2, q1};
    QList<int> shown;

    void SetUp() override
    {
        SerialSessionFixture::SetUp();
        q2.SetLanTab(false);
        proto.ShowPage = [this](int page) { shown << page; };
        proto.Pause = [this](int ms) { log.lines.append(QStringLiteral("pause %1").arg(ms)); };
        LastOptByte = LastPortOptByte = 0;
    }
    void feed(const QByteArray &chunk) { proto.HandleSerialData(U(chunk), int(chunk.size())); }
    // The lines after the three trace lines of one received chunk.
    QStringList afterTrace(const QByteArray &chunk)
    {
        log.lines.clear();
        feed(chunk);
        EXPECT_GE(log.lines.size(), 3);
        EXPECT_EQ(log.lines.mid(0, 3), QStringList({RecvDir, recvLen(int(chunk.size())), dump(chunk)}));
        return log.lines.mid(3);
    }
};

} // namespace

// ---- Telling replies apart by length

TEST_F(ProtocolFixture, everyChunkIsTracedAndOnlyTheFourReplyLengthsDoMore)
{
    for (int n : {0, 2, 31, 33, 114, 116, 136, 138, 1024}) {
        const QByteArray chunk(n, '\x55');
        EXPECT_EQ(afterTrace(chunk), QStringList()) << n;
    }
    EXPECT_EQ(proto.Unrecognised, QList<int>({0, 2, 31, 33, 114, 116, 136, 138, 1024}));
    EXPECT_TRUE(shown.isEmpty());
    EXPECT_EQ(proto.PageMode, PageNone);
}

TEST_F(ProtocolFixture, aOneByteReplyIsAnAcceptanceOnlyWhenItIsK)
{
    EXPECT_EQ(afterTrace(Hex("4B")), QStringList({SetupOk}));
    for (const char *other : {"4A", "00", "CB", "6B"})
        EXPECT_EQ(afterTrace(Hex(other)), QStringList()) << other;
    EXPECT_EQ(proto.AckCount, 1);
}

TEST_F(ProtocolFixture, aQ1ReplyFillsTheQ1PageAndShowsIt)
{
    QByteArray fields = Hex(ExampleFields);
    fields[17] = char(0x90); // 250000 baud: not in the list
    fields[18] = char(0xD0);
    fields[19] = 0x03;
    fields[16] = 2; // UDP Server: no destination
    EXPECT_EQ(afterTrace(q1Reply(fields)), QStringList({ReadOk}));
    EXPECT_EQ(shown, QList<int>({PageQ1}));
    EXPECT_EQ(q1.cbb_ModuleWork.Text(), QStringLiteral("UDP Server"));
    EXPECT_FALSE(q1.edt_DeIP.Enabled);
    EXPECT_TRUE(q1.lbl_DePort.Grey);
    EXPECT_EQ(q1.edt_ModuleIP.Text, QStringLiteral("192.168.0.7"));
    EXPECT_EQ(q1.edt_DeIP.Text, QStringLiteral("192.168.0.201"));
    EXPECT_EQ(q1.edt_ModulePort.Text, QStringLiteral("20108"));
    EXPECT_EQ(q1.cbb_BaudRate.Index, 0);
    EXPECT_EQ(q1.cbb_BaudRate.Text(), QStringLiteral("250000"));
    EXPECT_TRUE(q1.chk_RFC2217.Checked && q1.chk_RS485.Checked && !q1.chk_RS422.Checked);
}

TEST_F(ProtocolFixture, aQ1ReplyWithAWrongHeadOrChecksumLeavesThePageAsItWas)
{
    const QByteArray good = q1Reply(Hex(ExampleFields), 0x10);
    struct Case {
        const char *what;
        int at;
        int delta;
        bool accepted;
    } cases[] = {
        {"byte 0 not 0x55", 0, 1, false},
        {"byte 1 not 0xBC", 1, 1, false},
        {"byte 1 the Q2 read code", 1, 0xBD - 0xBC, false},
        {"checksum one too high", 31, 1, false},
        {"checksum one too low", 31, -1, false},
        {"byte 30 changed alone: it is covered", 30, 1, false},
        {"a field byte changed alone", 9, 1, false},
    };
    for (const auto &c : cases) {
        TQ1Page before;
        q1 = before;
        shown.clear();
        QByteArray r = good;
        r[c.at] = char(uint8_t(r[c.at]) + c.delta);
        const int refused = proto.RefusedQ1Replies;
        EXPECT_EQ(afterTrace(r), QStringList({HeadErr})) << c.what;
        EXPECT_EQ(proto.RefusedQ1Replies, refused + 1) << "counted, so no one reports it as silence";
        EXPECT_TRUE(shown.isEmpty()) << c.what;
        EXPECT_EQ(q1.edt_ModuleIP.Text, before.edt_ModuleIP.Text) << c.what;
        EXPECT_EQ(q1.edt_ModulePort.Text, before.edt_ModulePort.Text) << c.what;
        EXPECT_EQ(q1.cbb_ModuleWork.Index, before.cbb_ModuleWork.Index) << c.what;
    }
    // Byte 30 is not decoded, but passes only with the checksum moved by the same amount.
    QByteArray r = good;
    r[30] = char(uint8_t(r[30]) + 7);
    r[31] = char(uint8_t(r[31]) + 7);
    EXPECT_EQ(afterTrace(r), QStringList({ReadOk}));
    EXPECT_EQ(q1.edt_ModulePort.Text, QStringLiteral("20108"));
}

TEST_F(ProtocolFixture, aQ2ReplyFillsTheQ2PageKeepsItsBlocksAndAsksForTheSecondReply)
{
    ASSERT_TRUE(session.OpenSerialPort());
    const QByteArray reply = q2Reply(); // not asked for: handled all the same
    EXPECT_EQ(afterTrace(reply), QStringList({ReadOk, SendDir, sendLen(2), QStringLiteral("hex green: 55 C1 "), SendOk}));
    EXPECT_EQ(HexOf(fromTool(2)), "55 C1");
    EXPECT_EQ(shown, QList<int>({PageQ2}));
    EXPECT_EQ(proto.LastRead, reply.mid(2, 130));
    EXPECT_EQ(LastOptByte, uint8_t(reply[5]));
    EXPECT_EQ(LastPortOptByte, uint8_t(reply[119]));
    EXPECT_EQ(LastPortOptByte & 0x03, 0x03);
    EXPECT_EQ(q2.edt_ModName.Text, QStringLiteral("Bench-Q2"));
    EXPECT_EQ(q2.edt_StaticIP.Text, QStringLiteral("10.1.2.3"));
    EXPECT_EQ(q2.edt_UserMAC.Text, QStringLiteral("00 1A 2B 3C 4D 5E"));
    EXPECT_EQ(q2.cbb_BaudRate0.Text(), QStringLiteral("57600"));
    EXPECT_EQ(q2.edt_LocalPort0.Text, QStringLiteral("4001"));
    EXPECT_EQ(q2.cbb_WorkMode0.Text(), QStringLiteral("TCP Client"));
}

TEST_F(ProtocolFixture, aQ2ReplyWithThePortClosedStillFillsThePageAndReportsTheFailedRequest)
{
    EXPECT_EQ(afterTrace(q2Reply()), QStringList({ReadOk, SendFailure}));
    EXPECT_EQ(q2.edt_ModName.Text, QStringLiteral("Bench-Q2"));
}

TEST_F(ProtocolFixture, theSecondQ2ReplyFillsCloudHeartbeatAndRegistration)
{
    const QByteArray extra = q2Extra();
    ASSERT_EQ(extra.size(), LenComQ2Extra);
    EXPECT_EQ(afterTrace(extra), QStringList());
    EXPECT_EQ(q2.edtDid, QStringLiteral("DEV-0042"));
    EXPECT_EQ(q2.edtCompass, QStringLiteral("C0DE"));
    EXPECT_EQ(q2.RzComboBox1.Index, 1);
    EXPECT_EQ(q2.edtHeartTm.Text, QStringLiteral("45"));
    EXPECT_EQ(q2.edtHeartDt.Text, QStringLiteral("beat"));
    EXPECT_EQ(q2.edtRegDt.Text, QStringLiteral("hello"));
    EXPECT_EQ(q2.cbbRegType.Index, 2);
    EXPECT_EQ(proto.LastExtra, extra);
    EXPECT_TRUE(shown.isEmpty()); // the page is shown by the first reply
}

// ---- Frames from the PC

TEST(SerialFrames, theQ1WriteFrameOfTheExamplePage)
{
    TQ1Page page;
    page.cbb_ModuleWork.Index = 1;
    page.edt_ModulePort.Text = QStringLiteral("20108");
    page.cbb_BaudRate.Index = page.cbb_BaudRate.IndexOf(QStringLiteral("115200"));
    page.chk_RFC2217.Checked = page.chk_RS485.Checked = true;
    page.edt_ID.Text.clear();
    QByteArray frame;
    ASSERT_TRUE(BuildQ1SerialFrame(page, frame));
    const QByteArray fields = Hex(ExampleFields);
    EXPECT_EQ(HexOf(frame), HexOf(Hex("55 BA") + fields + char(Sum8(U(fields), 28))));
    EXPECT_EQ(HexOf(frame.mid(2, 4)), "C9 00 A8 C0");
    EXPECT_EQ(page.edt_ID.Text, QStringLiteral("0")); // an empty ID is sent as 0 and left as "0"
    // The Q1/Q3 reply of the same fields reads back into the same frame.
    TQ1Page back;
    ReadQ1Fields(U(fields), back);
    QByteArray again;
    ASSERT_TRUE(BuildQ1SerialFrame(back, again));
    EXPECT_EQ(again, frame);
}

TEST(SerialFrames, theReadRequestByModel)
{
    EXPECT_EQ(SerialReadRequest(ModelQ1), 0xBC);
    EXPECT_EQ(SerialReadRequest(ModelQ2), 0xBD);
    EXPECT_EQ(SerialReadRequest(ModelQ3), 0xBC);
    EXPECT_EQ(SerialReadRequest(ModelNone), 0xBC);
}

TEST_F(ProtocolFixture, theQ2WriteSendsBothBlocksOnTheLastReplyWithPausesAndTheClosingFrame)
{
    const QByteArray reply = q2Reply();
    feed(reply); // port closed: the follow-up request fails, which does not matter here
    q2.edt_ModName.Text = QStringLiteral("Renamed");
    q2.edt_LocalPort0.Text = QStringLiteral("6001");
    ASSERT_TRUE(session.OpenSerialPort());
    log.lines.clear();

    const TSerialWritePlan plan = proto.WriteParamsSerial(ModelQ2);
    ASSERT_EQ(plan.Status, TSerialWriteStatus::Ready);
    // Both blocks must be taken; an answer to the closing frame is not needed.
    EXPECT_EQ(plan.AcksNeeded, 2);
    EXPECT_TRUE(plan.Acknowledged(2));
    EXPECT_FALSE(plan.Acknowledged(1));
    EXPECT_EQ(log.lines.filter(QRegularExpression("^(log|pause)")),
              QStringList({SendOk, QStringLiteral("pause 500"), SendOk, QStringLiteral("pause 500"), SendOk}));
    const QByteArray sent = fromTool(70 + 66 + 3);
    ASSERT_EQ(sent.size(), 139);
    const QByteArray base = sent.left(70), port = sent.mid(70, 66), finish = sent.mid(136);
    EXPECT_EQ(HexOf(base.left(2)), "55 BE");
    EXPECT_EQ(uint8_t(base[69]), Sum8(U(base) + 2, 67));
    EXPECT_EQ(HexOf(port.left(2)), "55 BF");
    EXPECT_EQ(uint8_t(port[65]), Sum8(U(port) + 2, 63));
    EXPECT_EQ(HexOf(finish), "55 B1 5A");

    // Only the changed fields differ from the module's blocks; its markers go back as they came.
    const QByteArray oldBase = reply.mid(2, 67), oldPort = reply.mid(69, 63);
    QList<int> changed;
    for (int i = 0; i < 67; ++i)
        if (base[2 + i] != oldBase[i])
            changed << i;
    for (int i : changed)
        EXPECT_TRUE(i >= 21 && i < 37) << "base byte " << i;
    EXPECT_EQ(base.mid(2 + 21, 7), QByteArray("Renamed"));
    changed.clear();
    for (int i = 0; i < 63; ++i)
        if (port[2 + i] != oldPort[i])
            changed << i;
    EXPECT_EQ(changed, QList<int>({12, 13}));
}

TEST_F(ProtocolFixture, aQ2WriteTakesItsOptionBitsFromItsOwnReplyNotFromALaterLanRead)
{
    const QByteArray reply = q2Reply();
    feed(reply);
    // A LAN read of another module since then left its option bytes behind.
    LastOptByte = 0x40;
    LastPortOptByte = 0x00;
    ASSERT_TRUE(session.OpenSerialPort());
    ASSERT_EQ(proto.WriteParamsSerial(ModelQ2).Status, TSerialWriteStatus::Ready);
    const QByteArray sent = fromTool(70 + 66 + 3);
    ASSERT_EQ(sent.size(), 139);
    EXPECT_EQ(uint8_t(sent[2 + 3]), uint8_t(reply[2 + 3])) << "base option byte";
    EXPECT_EQ(uint8_t(sent[70 + 2 + 50]) & 0x03, uint8_t(reply[2 + LenBase + 50]) & 0x03) << "port option bits 0, 1";
}

TEST_F(ProtocolFixture, theQ1AndQ3WriteIsOneFrameWithoutPause)
{
    q1.edt_ModulePort.Text = QStringLiteral("20108"); // the constructor's "201108" does not fit
    for (int model : {ModelQ1, ModelQ3}) {
        ASSERT_TRUE(session.OpenSerialPort());
        log.lines.clear();
        q1.edt_DePort.Text = QStringLiteral("9000");
        EXPECT_EQ(proto.WriteParamsSerial(model).AcksNeeded, 1);
        EXPECT_EQ(log.pane(QStringLiteral("log")), QStringList({SendOk})) << model;
        EXPECT_FALSE(log.lines.contains(QStringLiteral("pause 500")));
        const QByteArray frame = fromTool(31);
        EXPECT_EQ(HexOf(frame.left(2)), "55 BA");
        EXPECT_EQ(HexOf(frame.mid(6, 2)), "28 23");
        EXPECT_TRUE(fromTool(1, 200).isEmpty());
    }
}

TEST_F(ProtocolFixture, aQ2WriteWithoutASerialReplyOfThisRunSendsNothing)
{
    // A LAN read leaves its own template and flag bytes; the serial write does not borrow them.
    LastOptByte = 0x82;
    ASSERT_TRUE(session.OpenSerialPort());
    log.lines.clear();
    const TSerialWritePlan plan = proto.WriteParamsSerial(ModelQ2);
    EXPECT_EQ(plan.Status, TSerialWriteStatus::NoTemplate);
    EXPECT_EQ(log.lines, QStringList({RedError}));
    EXPECT_TRUE(fromTool(1, 300).isEmpty());
}

TEST_F(ProtocolFixture, aPageTheChecksRefuseSendsNothingAtAll)
{
    feed(q2Reply());
    q1.edt_ModulePort.Text = QStringLiteral("20108");
    ASSERT_TRUE(session.OpenSerialPort());
    struct Case {
        const char *what;
        int model;
        std::function<void()> spoil;
        const char *message;
    } cases[] = {
        {"Q1 destination port", ModelQ1, [&] { q1.edt_DePort.Text = QStringLiteral("80a"); },
         "Remote Portnot legitimate, please enter a number!"},
        {"Q1 destination port too large", ModelQ1, [&] { q1.edt_DePort.Text = QStringLiteral("65536"); },
         "Remote Port is out of range, please enter a number from 0 to 65535!"},
        {"Q3 destination IP", ModelQ3, [&] { q1.edt_DeIP.Text = QStringLiteral("192.168.0"); },
         "Destination IP is not a valid IPv4 address, please enter four numbers from 0 to 255 separated by dots!"},
        {"Q1 ID", ModelQ1, [&] { q1.edt_ID.Text = QStringLiteral("x"); },
         "Device IDnot legitimate, please enter a number!"},
        {"Q1 custom baud slot", ModelQ1, [&] { q1.cbb_BaudRate.Index = 1; },
         "BaudRatenot legitimate, please enter a number!"},
        {"Q1 mask", ModelQ1, [&] { q1.edt_Mask.Text = QStringLiteral("255.255.255.0.0"); },
         "SubnetMask is not a valid IPv4 address, please enter four numbers from 0 to 255 separated by dots!"},
        {"Q2 remote port", ModelQ2, [&] { q2.edt_RemotePort0.Text = QStringLiteral("5o"); },
         "Remote Portnot legitimate, please enter a number!"},
        {"Q2 local port too large", ModelQ2, [&] { q2.edt_LocalPort0.Text = QStringLiteral("99999"); },
         "Local Port is out of range, please enter a number from 0 to 65535!"},
        {"Q2 module IP", ModelQ2, [&] { q2.edt_StaticIP.Text = QStringLiteral("999.1.1.1"); },
         "ModuleStaticIP is not a valid IPv4 address, please enter four numbers from 0 to 255 separated by dots!"},
    };
    for (const auto &c : cases) {
        const TQ1Page q1Before = q1;
        const TQ2Page q2Before = q2;
        c.spoil();
        log.lines.clear();
        const TSerialWritePlan plan = proto.WriteParamsSerial(c.model);
        EXPECT_EQ(plan.Status, TSerialWriteStatus::Invalid) << c.what;
        EXPECT_TRUE(plan.Frames.isEmpty()) << c.what;
        EXPECT_EQ(log.lines, QStringList({QStringLiteral("log red: ") + QString::fromLatin1(c.message)})) << c.what;
        EXPECT_TRUE(fromTool(1, 200).isEmpty()) << c.what;
        q1 = q1Before;
        q2 = q2Before;
    }
    log.lines.clear();
    proto.WriteParamsSerial(ModelNone); // another model: nothing, silently
    EXPECT_TRUE(log.lines.isEmpty());
}

TEST_F(ProtocolFixture, aHiddenFieldThatDoesNotFitStopsTheWriteInsteadOfWrapping)
{
    // The serial page hides the pack length (the checks pass over it), yet the port block carries
    // it: a value two bytes cannot hold must not go out cut to 16 bits.
    feed(q2Reply());
    ASSERT_TRUE(session.OpenSerialPort());
    ASSERT_FALSE(q2.edtUartPackLEN.Visible);
    q2.edtUartPackLEN.Text = QStringLiteral("70000");
    log.lines.clear();
    const TSerialWritePlan plan = proto.WriteParamsSerial(ModelQ2);
    EXPECT_EQ(plan.Status, TSerialWriteStatus::NotConverted);
    EXPECT_EQ(plan.Field, QStringLiteral("PackLen"));
    EXPECT_EQ(log.lines, QStringList({RedError}));
    EXPECT_TRUE(fromTool(1, 200).isEmpty());
}

TEST_F(ProtocolFixture, theWriteButtonWithARefusedPageNeitherOpensThePortNorSends)
{
    feed(q2Reply());
    QStringList boxes;
    proto.ShowMessage = [&](const QString &m) { boxes << m; };
    q2.edt_GatewayIP.Text = QStringLiteral("10.77.5");
    log.lines.clear();
    proto.ComWrite(ModelQ2);
    EXPECT_EQ(boxes, QStringList({QStringLiteral(
                         "Gateway is not a valid IPv4 address, please enter four numbers from 0 to 255 separated by dots!")}));
    EXPECT_TRUE(log.lines.isEmpty()) << log.lines.join(u'\n').toStdString();
    EXPECT_TRUE(fromTool(1, 200).isEmpty());
}

// ---- The buttons

TEST_F(ProtocolFixture, theReadButtonClearsThePanesAndIsDisabledForItsSession)
{
    proto.ClearPanes = [this] { log.lines.append(QStringLiteral("clear")); };
    proto.ReadButtonEnabled = [this](bool on) { log.lines.append(on ? QStringLiteral("enabled") : QStringLiteral("disabled")); };
    // Long enough for the request to leave before the close.
    session.Wait = [this](int ms) {
        log.lines.append(QStringLiteral("wait %1").arg(ms));
        WaitWithMessages(300);
    };
    const struct {
        int model;
        const char *request;
    } cases[] = {{ModelQ1, "55 BC"}, {ModelQ2, "55 BD"}, {ModelQ3, "55 BC"}, {ModelNone, "55 BC"}};
    for (const auto &c : cases) {
        log.lines.clear();
        proto.ComRead(c.model);
        EXPECT_EQ(log.lines, QStringList({QStringLiteral("clear"), QStringLiteral("disabled"), Opened, SendDir,
                                          sendLen(2), QStringLiteral("hex green: %1 ").arg(c.request), SendOk,
                                          QStringLiteral("wait 2000"), Closed, QStringLiteral("enabled")}))
            << c.model;
        EXPECT_EQ(HexOf(fromTool(2)), c.request);
    }
    // Without a port: the failures are reported and the button comes back.
    session.PortName.clear();
    log.lines.clear();
    proto.ComRead(ModelQ2);
    EXPECT_EQ(log.lines.last(), QStringLiteral("enabled"));
    EXPECT_TRUE(log.lines.contains(SendFailure));
}

// ---- Against the simulated module

TEST_F(ProtocolFixture, aQ2ReadChainAndWriteAgainstTheSimulatedModule)
{
    SimSerialProcess sim;
    ASSERT_TRUE(sim.start({QStringLiteral("--model"), QStringLiteral("q2")})) << sim.log().toStdString();
    session.PortName = sim.port;
    session.Wait = WaitWithMessages;
    proto.Pause = TSerialProtocol::BlockingPause;

    proto.ComRead(ModelQ2);
    QStringList hex = log.pane(QStringLiteral("hex"));
    ASSERT_EQ(hex.size(), 12);
    hex[5] = hex[11] = QStringLiteral("(the reply)");
    EXPECT_EQ(hex, QStringList({SendDir, sendLen(2), QStringLiteral("hex green: 55 BD "), RecvDir, recvLen(137),
                                QStringLiteral("(the reply)"), SendDir, sendLen(2), QStringLiteral("hex green: 55 C1 "),
                                RecvDir, recvLen(115), QStringLiteral("(the reply)")}));
    EXPECT_EQ(log.pane(QStringLiteral("log")), QStringList({Opened, SendOk, ReadOk, SendOk, Closed}));
    EXPECT_EQ(shown, QList<int>({PageQ2}));
    EXPECT_EQ(q2.edt_ModName.Text, QStringLiteral("Serial-Q2"));
    EXPECT_EQ(q2.edtDid, QStringLiteral("00000000000000000001"));
    EXPECT_EQ(q2.edtHeartTm.Text, QStringLiteral("30"));

    // The write: the module's acknowledgements wait out the blocking pauses and are shown after.
    q2.edt_ModName.Text = QStringLiteral("Renamed");
    log.lines.clear();
    proto.Q2ComSet();
    EXPECT_EQ(log.pane(QStringLiteral("log")),
              QStringList({Opened, SendOk, SendOk, SendOk, SetupOk, SetupOk, SetupOk, Closed}));
    q2.edt_ModName.Text.clear();
    log.lines.clear();
    proto.ComRead(ModelQ2);
    EXPECT_EQ(q2.edt_ModName.Text, QStringLiteral("Renamed"));
    EXPECT_TRUE(sim.log().contains(QLatin1String("wrote base block")));
}

// The COM tab's read of a module of unknown model: the first model's request, then the other kind's
// in the same session when nothing was told apart; a red line when nothing answered at all.
TEST_F(ProtocolFixture, aReadOfAnyModelAsksTheOtherKindWhenNothingAnsweredAndSaysSoWhenNobodyDid)
{
    const QString noReply = QStringLiteral("log red: No module answered on the serial line: check that its CFG pin is "
                                           "connected to GND, the cable, the port and the baud rate.");
    const struct {
        const char *module; // the simulator's model; nullptr: a bare line
        int first;
        QStringList requests; // sent, in order
        int page;             // shown
        int requestModel;     // whose request was answered last
    } cases[] = {
        {"q1", ModelQ2, {QStringLiteral("55 BD "), QStringLiteral("55 BC ")}, PageQ1, ModelQ1},
        {"q3", ModelQ2, {QStringLiteral("55 BD "), QStringLiteral("55 BC ")}, PageQ1, ModelQ1},
        {"q2", ModelQ2, {QStringLiteral("55 BD "), QStringLiteral("55 C1 ")}, PageQ2, ModelQ2},
        {"q3", ModelQ3, {QStringLiteral("55 BC ")}, PageQ1, ModelQ3},
        {"q2", ModelQ1, {QStringLiteral("55 BC "), QStringLiteral("55 BD "), QStringLiteral("55 C1 ")}, PageQ2,
         ModelQ2},
        {nullptr, ModelQ2, {QStringLiteral("55 BD "), QStringLiteral("55 BC ")}, PageNone, ModelQ1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.module ? c.module : "nobody") + " asked first as " + std::to_string(c.first));
        SimSerialProcess sim;
        if (c.module) {
            ASSERT_TRUE(sim.start({QStringLiteral("--model"), QLatin1String(c.module)})) << sim.log().toStdString();
            session.PortName = sim.port;
        } else {
            session.PortName = path(); // the fixture's pseudo-terminal: nobody answers
        }
        // Each wait ends once its request has its reply (or after a short time without one).
        session.Wait = [this](int) {
            const int before = proto.Recognised;
            QElapsedTimer t;
            t.start();
            const int replies = proto.RequestModel == ModelQ2 ? 2 : 1; // Q2: the chain of two
            while (t.elapsed() < 600 && proto.Recognised - before < replies)
                WaitWithMessages(20);
        };
        shown.clear();
        log.lines.clear();
        proto.ComReadAnyModel(c.first);
        QStringList sent;
        const QStringList hex = log.pane(QStringLiteral("hex"));
        for (int i = 0; i + 2 < hex.size(); ++i)
            if (hex[i] == SendDir)
                sent << hex[i + 2].mid(QStringLiteral("hex green: ").size());
        EXPECT_EQ(sent, c.requests);
        EXPECT_EQ(shown, c.page == PageNone ? QList<int>() : QList<int>({c.page}));
        EXPECT_EQ(proto.RequestModel, c.requestModel);
        const QStringList lines = log.pane(QStringLiteral("log"));
        ASSERT_GE(lines.size(), 2);
        EXPECT_EQ(lines.last(), Closed);
        EXPECT_EQ(lines.contains(noReply), c.module == nullptr);
        EXPECT_EQ(lines.contains(ReadOk), c.module != nullptr);
    }
    // A port that does not open: its own red line, no second request, no word of silence.
    session.PortName.clear();
    log.lines.clear();
    proto.ComReadAnyModel(ModelQ2);
    const QStringList lines = log.pane(QStringLiteral("log"));
    EXPECT_EQ(lines.count(SendFailure), 1);
    EXPECT_FALSE(lines.contains(noReply));
}

TEST_F(ProtocolFixture, aSplitReplyIsTracedInTwoPiecesAndRecognisedAsNothing)
{
    SimSerialProcess sim;
    // A pause well above the 50 ms gap, so that a loaded machine cannot join the two pieces.
    ASSERT_TRUE(sim.start({QStringLiteral("--model"), QStringLiteral("q1"), QStringLiteral("--split-reply"),
                           QStringLiteral("--split-pause"), QStringLiteral("300")}))
        << sim.log().toStdString();
    session.PortName = sim.port;
    session.Wait = WaitWithMessages;
    proto.ComRead(ModelQ1);
    EXPECT_EQ(proto.Unrecognised, QList<int>({16, 16}));
    EXPECT_EQ(log.pane(QStringLiteral("log")), QStringList({Opened, SendOk, Closed}));
    EXPECT_TRUE(shown.isEmpty());
}
