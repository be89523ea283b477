#include "RecorderSink.h"
#include "TestUtil.h"
#include "core/ProFun.h"
#include "lang/LangList.h"
#include "netconfig/PageFields.h"
#include "netconfig/Q2Page.h"

namespace {

struct PageFixture : ::testing::Test {
    TQ2Page page;
    TRecorderSink log;
    TBaseParam base;
    TPortParam port;

    void SetUp() override
    {
        InitLanguage(QString());
        LangList->IsChinese = false;
        base.StaticIP = QStringLiteral("192.168.0.7");
        base.GatewayIP = QStringLiteral("192.168.0.1");
        base.SubnetMask = QStringLiteral("255.255.255.0");
        base.Dns = QStringLiteral("8.8.8.8");
        base.ModName = QStringLiteral("Lab");
        base.UserName = base.Password = QStringLiteral("tovak");
        base.UserMAC = QStringLiteral("00 1A 2B 3C 4D 5E");
        base.HttpPort = 80;
        base.AddrType = 1;
        port.Baudrate = 115200;
        port.DataBits = 8;
        port.Parity = 1;
        port.StopBits = 1;
        port.FlowControl = 1;
        port.WorkMode = 3;
        port.TcpSvrCount = 4;
        port.RemoteIP = QStringLiteral("10.0.0.9");
    }
    void TearDown() override { FreeLanguage(); }
    bool fill(bool fromCom = false, int model = ModelQ2, const QString &selected = QStringLiteral("001A2B3C4D5E"))
    {
        return page.OnReadParam(base, TarrComParam{port}, fromCom, model, selected, log);
    }
    // A page that passes validation.
    void makeValid()
    {
        fill();
        page.LabeledEdit1.Text = QStringLiteral("0");
        page.LabeledEditShortTime.Text = QStringLiteral("3");
        page.edtHeartTm.Text = QStringLiteral("30");
        page.edtHeartDt.Text = QStringLiteral("hb");
        page.edtRegDt.Text = QStringLiteral("rg");
        page.edtwaittime.Text = QStringLiteral("500");
        page.LabeledEdit2.Text = QStringLiteral("/u");
        page.RzRichEdit1.Text = QStringLiteral("H: x");
    }
    // A valid page on which every checked field is shown: heartbeat with user data, register
    // packet, every Modbus group with its details, work mode HTTPD Client.
    void showEverything()
    {
        makeValid();
        page.RzComboBox1.Index = 2;
        page.cbbHeartPackType.Index = 1;
        page.HeartChange();
        page.RzComboBox2.Index = 2;
        page.RegChange();
        page.OnModbusParam(TModbusParam{1, 1, QStringLiteral("500")}, 4);
        page.OnModbusPackParam(TModbusPackParam{1, 1, 0, QStringLiteral("200"), QStringLiteral("10")});
        page.OnModbusNewParam(TModbusNewParam{2, 1, QStringLiteral("200"), QStringLiteral("10")});
        page.cbb_WorkMode0.Index = 4;
        page.WorkMode0Change();
    }
    // Sets a field by the name the CLI and profiles use.
    static void set(TQ2Page &p, const char *name, const QString &text)
    {
        const TPageField<TQ2Page> *f = FindPageField(Q2PageFields(), QString::fromLatin1(name));
        ASSERT_TRUE(f) << name;
        if (f->FieldKind == TPageField<TQ2Page>::Baud)
            SelectBaud(f->Combo(p), text);
        else
            f->Edit(p).Text = text;
    }
};

} // namespace

TEST_F(PageFixture, fillIsIgnoredForAnotherModuleUnlessFromSerial)
{
    EXPECT_FALSE(fill(false, ModelQ2, QStringLiteral("00 1A 2B 3C 4D 5F")));
    EXPECT_FALSE(fill(false, ModelQ2, QString()));
    EXPECT_TRUE(log.Lines.isEmpty());
    EXPECT_TRUE(fill(true, ModelQ2, QString()));
    EXPECT_EQ(log.LogTexts(), QStringList{QStringLiteral("Read OK ")});
    // Another model gets only the read line.
    log.Lines.clear();
    TQ2Page fresh;
    bool accepted = false;
    EXPECT_FALSE(fresh.OnReadParam(base, TarrComParam{port}, false, ModelQ3, base.UserMAC, log, &accepted));
    EXPECT_TRUE(accepted);
    EXPECT_EQ(log.LogTexts(), QStringList{QStringLiteral("Read OK ")});
    EXPECT_TRUE(fresh.edt_StaticIP.Text.isEmpty());
}

TEST_F(PageFixture, workModeListFollowsIsT0AndMulticast)
{
    struct Case { int isT0, workMode, items, index; bool multicast; } cases[] = {
        {0, 4, 5, 4, false}, {1, 4, 4, -1, false}, {0, 5, 5, 0, true}, {0, 0, 5, 0, false}, {1, 3, 4, 3, false}};
    for (const auto &c : cases) {
        base.IsT0 = c.isT0;
        port.WorkMode = c.workMode;
        page.chkMulticast.Checked = !c.multicast;
        fill();
        EXPECT_EQ(page.cbb_WorkMode0.Items.size(), c.items) << c.isT0 << "/" << c.workMode;
        EXPECT_EQ(page.cbb_WorkMode0.Index, c.index) << c.isT0 << "/" << c.workMode;
        EXPECT_EQ(page.chkisT0.Checked, c.isT0 == 1);
        if (c.index == 0) {
            EXPECT_EQ(page.chkMulticast.Checked, c.multicast);
        }
        EXPECT_EQ(page.chkMulticast.Visible, c.index == 0);
        EXPECT_EQ(page.RzGroupBoxHttpd.Visible, c.index == 4);
    }
}

TEST_F(PageFixture, baudNotInTheListGoesIntoItemZero)
{
    port.Baudrate = 250000;
    fill();
    EXPECT_EQ(page.cbb_BaudRate0.Index, 0);
    EXPECT_EQ(page.cbb_BaudRate0.Items[0], QStringLiteral("250000"));
    port.Baudrate = 9600;
    fill();
    EXPECT_EQ(page.cbb_BaudRate0.Text(), QStringLiteral("9600"));
    EXPECT_EQ(page.cbb_BaudRate0.Index, 6);
}

TEST_F(PageFixture, registerListFromThePortFlags)
{
    struct Case { bool cloud, mac, user; int index; } cases[] = {
        {false, false, false, 0}, {true, false, false, -1}, {true, true, false, 1}, {false, true, true, 2}};
    for (const auto &c : cases) {
        port.CloudEnable = c.cloud;
        port.MacRegister = c.mac;
        port.UserRegister = c.user;
        fill();
        EXPECT_EQ(page.RzComboBox2.Index, c.index) << c.cloud << c.mac << c.user;
    }
    // Writing back from a page without a selection clears all three.
    port.CloudEnable = 1;
    port.MacRegister = port.UserRegister = false;
    fill();
    TPortParam out = port;
    ASSERT_TRUE(page.ReadPort(out));
    EXPECT_EQ(out.CloudEnable, 0);
    EXPECT_FALSE(out.MacRegister || out.UserRegister);
}

TEST_F(PageFixture, heartbeatFillBitsAndHexDisplay)
{
    struct Case { uint8_t flags; int heart; int regType; bool heartHex; } cases[] = {
        {0x03, 2, 0, false}, {0x02, 1, 0, false}, {0x08, 0, 1, false}, {0x4C, 0, 2, true}};
    for (const auto &c : cases) {
        uint8_t block[85] = {};
        block[0] = c.flags;
        block[1] = 30;
        block[3] = 2;
        block[5] = 'A';
        block[6] = 'B';
        page.cbbRegType.Index = 0;
        page.OnReadHeartReg(block, false, ModelQ2);
        EXPECT_EQ(page.RzComboBox1.Index, c.heart) << int(c.flags);
        EXPECT_EQ(page.cbbRegType.Index, c.regType) << int(c.flags);
        EXPECT_EQ(page.edtHeartDt.Text, c.heartHex ? QStringLiteral("4142") : QStringLiteral("AB"));
        EXPECT_EQ(page.edtHeartTm.Text, QStringLiteral("30"));
    }
    TQ2Page other;
    uint8_t block[85] = {0x01};
    other.OnReadHeartReg(block, false, ModelQ3); // only Q2 fills
    EXPECT_EQ(other.RzComboBox1.Index, -1);
}

TEST_F(PageFixture, displayRules)
{
    page.cbb_AddrType.Index = 0;
    page.AddrTypeChange();
    EXPECT_FALSE(page.edt_StaticIP.Enabled || page.edtDns.Enabled);
    EXPECT_TRUE(page.lbl_StaticIP.Grey && page.lblDns.Grey);
    page.cbb_AddrType.Index = -1; // no selection changes nothing
    page.AddrTypeChange();
    EXPECT_FALSE(page.edt_StaticIP.Enabled);

    struct Mode { int index; bool modbus, server, httpd, multicast; } modes[] = {
        {0, false, false, false, true}, {1, true, false, false, false}, {3, true, true, false, false},
        {4, false, false, true, false}, {-1, false, false, false, false}};
    for (const auto &m : modes) {
        page.cbb_WorkMode0.Index = m.index;
        page.WorkMode0Change();
        EXPECT_EQ(page.cbb_ModbusTCP0.Enabled, m.modbus) << m.index;
        EXPECT_EQ(page.lbl_ModbusTCP0.Grey, !m.modbus) << m.index;
        EXPECT_EQ(page.cbb_TCPSvrCount0.Enabled, m.server) << m.index;
        EXPECT_EQ(page.edt_RemoteIP0.Enabled, !m.server) << m.index;
        EXPECT_EQ(page.cbbGetPost.Enabled, m.httpd) << m.index;
        EXPECT_EQ(page.RzGroupBoxHttpd.Visible, m.httpd) << m.index;
        EXPECT_EQ(page.chkMulticast.Visible, m.multicast) << m.index;
    }
    page.SetLanTab(false);
    page.cbb_WorkMode0.Index = 4;
    page.WorkMode0Change();
    EXPECT_FALSE(page.RzGroupBoxHttpd.Visible); // network-only

    page.cbbHeartPackType.Index = 0;
    page.RzComboBox1.Index = 1;
    page.HeartChange();
    EXPECT_TRUE(page.edtHeartTm.Visible);
    EXPECT_FALSE(page.edtHeartDt.Visible); // MAC as heartbeat: no data
    page.cbbHeartPackType.Index = 1;
    page.HeartPackTypeChange();
    EXPECT_TRUE(page.edtHeartDt.Visible);
    page.RzComboBox1.Index = 0;
    page.HeartChange();
    EXPECT_FALSE(page.edtHeartTm.Visible || page.edtHeartDt.Visible);

    struct Reg { int index; bool type, data; } regs[] = {{0, false, false}, {1, true, false}, {2, true, true}, {3, false, false}};
    for (const auto &r : regs) {
        page.RzComboBox2.Index = r.index;
        page.RegChange();
        EXPECT_EQ(page.cbbRegType.Visible, r.type) << r.index;
        EXPECT_EQ(page.edtRegDt.Visible, r.data) << r.index;
    }
    page.cbbModbusType.Index = 2;
    page.ModbusTypeChange();
    EXPECT_TRUE(page.cbbReporproto.Visible && page.edtModbusTimeout.Visible);
    page.cbbModbusType.Index = 1;
    page.ModbusTypeChange();
    EXPECT_FALSE(page.cbbReporproto.Visible);
    EXPECT_TRUE(page.edtModbusTimeout.Visible);
    page.cmbModbusEnable1.Index = -1;
    page.ModbusEnable1Change();
    EXPECT_FALSE(page.edtModbusTimeout1.Visible);
}

TEST_F(PageFixture, validationRunsTheChecksInOrder)
{
    makeValid();
    QString msg;
    ASSERT_TRUE(page.ValidateQ2Page(msg)) << msg.toStdString();
    struct Case { TEditState TQ2Page::*edit; const char *text; const char *message; } cases[] = {
        {&TQ2Page::edt_HTTPServerPort, " ", "HTTP Portis null, please write data!"},
        {&TQ2Page::edt_HTTPServerPort, "8o", "HTTP Portnot legitimate, please enter a number!"},
        {&TQ2Page::edt_StaticIP, "", "ModuleStaticIPis null, please write data!"},
        {&TQ2Page::LabeledEdit1, "1 ", "Reset Timeout(s)not legitimate, please enter a number!"},
        // One byte on the module: a text that is no number is refused like any other.
        {&TQ2Page::LabeledEditShortTime, "x", "Short Connection timenot legitimate, please enter a number!"},
        {&TQ2Page::edtUartPackLEN, "-1", "PackLennot legitimate, please enter a number!"},
        {&TQ2Page::edtHeartDt, "", "Heartbeat Packetis null, please write data!"},
        {&TQ2Page::edtRegDt, "", nullptr},      // hidden: the register list is at "None"
        {&TQ2Page::LabeledEdit2, "", nullptr}, // Httpd group hidden (work mode is TCP Server)
    };
    for (const auto &c : cases) {
        TQ2Page p = page;
        (p.*(c.edit)).Text = QString::fromLatin1(c.text);
        const bool ok = p.ValidateQ2Page(msg);
        if (c.message) {
            EXPECT_FALSE(ok) << c.text;
            EXPECT_EQ(msg, QString::fromLatin1(c.message));
        } else {
            EXPECT_TRUE(ok) << msg.toStdString();
        }
    }
    // The first failing check wins.
    TQ2Page p = page;
    p.edt_LocalPort0.Text = QStringLiteral("99999");
    p.edt_ModName.Text.clear();
    p.ValidateQ2Page(msg);
    EXPECT_EQ(msg, QStringLiteral("Device Nameis null, please write data!"));

    // Groups decide whether their fields are checked.
    p = page;
    p.cmbModbusEnable1.Index = 2;
    p.ModbusEnable1Change();
    p.edtModbusTimeout1.Text.clear();
    p.rzgrpbxModbusNew.Visible = false;
    EXPECT_TRUE(p.ValidateQ2Page(msg));
    p.rzgrpbxModbusNew.Visible = true;
    EXPECT_FALSE(p.ValidateQ2Page(msg));
    EXPECT_EQ(msg, QStringLiteral("Poll Timeoutis null, please write data!"));
    p = page;
    p.cbb_WorkMode0.Index = 4;
    p.WorkMode0Change();
    p.LabeledEdit2.Text.clear();
    EXPECT_FALSE(p.ValidateQ2Page(msg));
    EXPECT_EQ(msg, QStringLiteral("Httpd URLis null, please write data!"));
    // A module that sent the 1-byte Modbus form has no wait time to fill.
    p = page;
    p.OnModbusParam(TModbusParam{1, 0, {}}, 1);
    p.edtwaittime.Text.clear();
    p.edtwaittime.Visible = false;
    EXPECT_TRUE(p.ValidateQ2Page(msg));
    EXPECT_TRUE(IsDigits(QString()));
    EXPECT_FALSE(IsDigits(QStringLiteral("1.5")));
}

// Every field whose bytes hold an address or a number: what they cannot carry is refused with the
// field's label, what they can carry passes and goes out as given.
TEST_F(PageFixture, valuesTheBytesCannotCarryAreRefusedByKind)
{
    const char *notIPv4 = " is not a valid IPv4 address, please enter four numbers from 0 to 255 separated by dots!";
    const char *notNumber = "not legitimate, please enter a number!";
    const char *word = " is out of range, please enter a number from 0 to 65535!";
    const char *byte = " is out of range, please enter a number from 0 to 255!";
    const char *baud = " is out of range, please enter a number from 1 to 2147483647!";
    struct Kind {
        QStringList fields; // name as the CLI has it, label as the message shows it
        QStringList labels;
        QList<std::pair<const char *, const char *>> values; // text, message after the label (null: passes)
    };
    const Kind kinds[] = {
        {{"StaticIP", "SubnetMask", "GatewayIP", "Dns"},
         {"ModuleStaticIP", "SubnetMask", "Gateway", "DNS Address"},
         {{"999.1.1.1", notIPv4}, {"10.77.5", notIPv4}, {"10.0.0.256", notIPv4}, {"1.2.3.4.5", notIPv4},
          {"10.0.0.x", notIPv4}, {"10..0.1", notIPv4}, {"10.0.0.-1", notIPv4}, {"1 0.0.0.1", notIPv4},
          {"0.0.0.0", nullptr}, {"255.255.255.255", nullptr}, {" 10.0.0.7 ", nullptr}, {"010.000.000.001", nullptr}}},
        {{"HttpPort", "ResetTimeout", "LocalPort", "RemotePort", "PackTime", "PackLen", "HeartTime", "PollTimeout",
          "PollInterval", "ModbusTimeout", "ModbusInterval", "ModbusWaitTime"},
         {"HTTP Port", "Reset Timeout(s)", "Local Port", "Remote Port", "PackTime", "PackLen", "Heartbeat Time(s)",
          "Poll Timeout", "Poll Interval", "Poll Timeout", "Poll Interval", "Poll Timeout(ms)"},
         {{"65536", word}, {"99999", word}, {"00000000000000000000065536", word}, {"99999999999999999999", word},
          {"-1", notNumber}, {"0", nullptr}, {"65535", nullptr}, {"0065535", nullptr}}},
        {{"ShortConnTime"}, {"Short Connection time"},
         {{"256", byte}, {"300", byte}, {"3s", notNumber}, {"0", nullptr}, {"255", nullptr}}},
        {{"Baudrate"}, {"BaudRate"}, {{"0", baud}, {"-9600", notNumber}, {"250000", nullptr}, {"2147483647", nullptr}}},
    };
    showEverything();
    QString msg;
    ASSERT_TRUE(page.ValidateQ2Page(msg, 4017)) << msg.toStdString();
    for (const Kind &k : kinds) {
        for (int i = 0; i < k.fields.size(); ++i) {
            const QByteArray name = k.fields[i].toLatin1();
            for (const auto &[text, fault] : k.values) {
                TQ2Page p = page;
                set(p, name.constData(), QString::fromLatin1(text));
                SCOPED_TRACE(std::string(name.constData()) + " = '" + text + "'");
                EXPECT_EQ(p.ValidateQ2Page(msg, 4017), fault == nullptr);
                EXPECT_EQ(msg, fault ? k.labels[i] + QString::fromLatin1(fault) : QString());
                if (fault)
                    continue;
                // Accepted: the block carries the value as given.
                TBaseParam b = base;
                TPortParam o = port;
                THeartRegParam h;
                ASSERT_TRUE(p.ReadBase(b));
                ASSERT_TRUE(p.ReadPort(o));
                ASSERT_TRUE(p.ReadHeartReg(h));
                uint8_t block[130] = {};
                ASSERT_TRUE(EncodeBaseParam(b, block, 0));
                ASSERT_TRUE(EncodePortParam(o, block + 67, 0));
                TQ2Page back;
                back.OnReadParam(DecodeBaseParam(block), TarrComParam{DecodePortParam(block + 67)}, true, ModelQ2,
                                 QString(), log);
                const auto *f = FindPageField(Q2PageFields(), k.fields[i]);
                if (f->Block == TQ2Block::Base || f->Block == TQ2Block::Port) {
                    const QString want = QString::fromLatin1(text).trimmed();
                    const QString got = PageFieldText(back, *f);
                    if (f->Rule.RuleKind == TValueRule::IPv4) {
                        QStringList octets;
                        for (const QString &o : want.split(u'.'))
                            octets << QString::number(o.toInt());
                        EXPECT_EQ(got, octets.join(u'.'));
                    } else {
                        EXPECT_EQ(got.toLongLong(), want.toLongLong());
                    }
                }
            }
        }
    }
}

TEST_F(PageFixture, refusalsReadInTheSelectedLanguage)
{
    makeValid();
    LangList->IsChinese = true;
    QString msg;
    TQ2Page p = page;
    p.edt_LocalPort0.Text = QStringLiteral("99999");
    EXPECT_FALSE(p.ValidateQ2Page(msg));
    EXPECT_EQ(msg, QStringLiteral("本地端口超出范围，请输入0到65535之间的数字！"));
    p = page;
    p.edt_GatewayIP.Text = QStringLiteral("10.77.5");
    EXPECT_FALSE(p.ValidateQ2Page(msg));
    EXPECT_EQ(msg, QStringLiteral("网关不是有效的IPv4地址，请输入以点分隔的四个0到255之间的数字！"));
    // A Lang.txt text without the places of the range is shown as it is.
    LangList->IsChinese = false;
    LangList->ReadLangImage(QByteArrayLiteral("lang_IsOutOfRange|\xE5\xA4\xAA\xE5\xA4\xA7| is too large\r\n"));
    p = page;
    p.edt_RemotePort0.Text = QStringLiteral("65536");
    EXPECT_FALSE(p.ValidateQ2Page(msg));
    EXPECT_EQ(msg, QStringLiteral("Remote Port is too large"));
}

// What the page hides cannot be mended, and what the write leaves out does no harm: neither is
// checked, whatever it holds.
TEST_F(PageFixture, hiddenFieldsAndFieldsTheWriteLeavesOutAreNotChecked)
{
    struct Case {
        const char *what;
        std::function<void(TQ2Page &)> shape;
        int version;           // 0: as the page shows it (no network write planned)
        const char *message;   // null: passes
    } cases[] = {
        {"4016: no heartbeat/register block, nothing typed in it",
         [](TQ2Page &p) { p.edtHeartTm.Text = p.edtHeartDt.Text = p.edtRegDt.Text = QString(); }, 4016, nullptr},
        {"4017: the same fields are written and checked",
         [](TQ2Page &p) { p.edtHeartTm.Text = p.edtHeartDt.Text = p.edtRegDt.Text = QString(); }, 4017,
         "Heartbeat Time(s)is null, please write data!"},
        {"4016: a heartbeat time out of range is never sent",
         [](TQ2Page &p) { p.edtHeartTm.Text = QStringLiteral("99999"); }, 4016, nullptr},
        {"register None, empty register data",
         [](TQ2Page &p) {
             p.RzComboBox2.Index = 0;
             p.RegChange();
             p.edtRegDt.Text.clear();
         },
         4017, nullptr},
        {"register USER, empty register data",
         [](TQ2Page &p) {
             p.RzComboBox2.Index = 2;
             p.RegChange();
             p.edtRegDt.Text.clear();
         },
         4017, "User Register Packetis null, please write data!"},
        {"heartbeat None, empty heartbeat data",
         [](TQ2Page &p) {
             p.RzComboBox1.Index = 0;
             p.HeartChange();
             p.edtHeartDt.Text.clear();
         },
         4017, nullptr},
        {"MAC as heartbeat: no data, but its time",
         [](TQ2Page &p) {
             p.cbbHeartPackType.Index = 0;
             p.HeartPackTypeChange();
             p.edtHeartDt.Text.clear();
             p.edtHeartTm.Text = QStringLiteral("70000");
         },
         4017, "Heartbeat Time(s) is out of range, please enter a number from 0 to 65535!"},
        {"Modbus type None: no timeout",
         [](TQ2Page &p) {
             p.cbbModbusType.Index = 0;
             p.ModbusTypeChange();
             p.edtModbusTimeout.Text.clear();
         },
         4017, nullptr},
        {"poll mode without details",
         [](TQ2Page &p) {
             p.cmbModbusEnable1.Index = 1;
             p.ModbusEnable1Change();
             p.edtModbusInterval1.Text = QStringLiteral("99999");
         },
         4017, nullptr},
        {"the 1-byte Modbus block: no wait time",
         [](TQ2Page &p) {
             p.HideModbusGroups();
             p.OnModbusParam(TModbusParam{1, 0, {}}, 1);
             p.edtwaittime.Text.clear();
         },
         4017, nullptr},
        {"4016 in HTTPD Client: no Httpd blocks",
         [](TQ2Page &p) { p.LabeledEdit2.Text.clear(); }, 4016, nullptr},
        {"4017 in HTTPD Client", [](TQ2Page &p) { p.LabeledEdit2.Text.clear(); }, 4017,
         "Httpd URLis null, please write data!"},
        {"the serial page hides the network-only fields",
         [](TQ2Page &p) {
             p.SetLanTab(false);
             p.edt_UARTTime0.Text = p.edtHeartTm.Text = p.edtwaittime.Text = p.LabeledEdit2.Text = QString();
         },
         0, nullptr},
        {"the serial page still checks what it shows",
         [](TQ2Page &p) {
             p.SetLanTab(false);
             p.edt_StaticIP.Text = QStringLiteral("999.1.1.1");
         },
         0, "ModuleStaticIP is not a valid IPv4 address, please enter four numbers from 0 to 255 separated by dots!"},
    };
    showEverything();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        TQ2Page p = page;
        c.shape(p);
        QString msg;
        const bool ok = c.version ? p.ValidateQ2Page(msg, c.version) : p.ValidateQ2Page(msg);
        EXPECT_EQ(ok, c.message == nullptr);
        EXPECT_EQ(msg, c.message ? QString::fromUtf8(c.message) : QString());
    }
    // A hidden field the user set by name (the CLI, a profile) is checked: its value was chosen.
    TQ2Page p = page;
    p.RzComboBox1.Index = 0;
    p.HeartChange();
    p.edtHeartTm.Text = QStringLiteral("65536");
    QString msg;
    EXPECT_TRUE(p.ValidateQ2Page(msg, 4017, {QStringLiteral("LocalPort")}));
    EXPECT_FALSE(p.ValidateQ2Page(msg, 4017, {QStringLiteral("heartTime")}));
    EXPECT_EQ(msg, QStringLiteral("Heartbeat Time(s) is out of range, please enter a number from 0 to 65535!"));
    EXPECT_TRUE(p.ValidateQ2Page(msg, 4016, {QStringLiteral("HeartTime")})) << "still never sent to a 4016";
    p.SetLanTab(false);
    p.edt_UARTTime0.Text = QStringLiteral("70000");
    EXPECT_TRUE(p.ValidateQ2Page(msg));
    EXPECT_FALSE(p.ValidateQ2Page(msg, {QStringLiteral("PackTime")}));
    EXPECT_EQ(msg, QStringLiteral("PackTime is out of range, please enter a number from 0 to 65535!"));
}

// A field the checks passed over still never goes out as another value: the reader refuses a
// number its bytes cannot hold and names the field.
TEST_F(PageFixture, readersRefuseNumbersTheirBytesCannotHold)
{
    makeValid();
    struct Case { TEditState TQ2Page::*edit; const char *text; const char *field; } cases[] = {
        {&TQ2Page::edt_LocationURLPort, "70000", "UpnpPort"}, {&TQ2Page::edt_HTTPServerPort, "65536", "HttpPort"},
        {&TQ2Page::LabeledEditShortTime, "256", "ShortConnTime"}, {&TQ2Page::LabeledEdit1, "65536", "ResetTimeout"},
        {&TQ2Page::edt_LocalPort0, "99999", "LocalPort"},       {&TQ2Page::edtUartPackLEN, "-1", "PackLen"},
        {&TQ2Page::edtHeartTm, "65536", "HeartTime"},
    };
    page.edt_LocationURLPort.Text = QStringLiteral("1901");
    for (const auto &c : cases) {
        TQ2Page p = page;
        (p.*(c.edit)).Text = QString::fromLatin1(c.text);
        TBaseParam b = base;
        TPortParam o = port;
        THeartRegParam h;
        TEncodeResult r = p.ReadBase(b);
        if (r)
            r = p.ReadPort(o);
        if (r)
            r = p.ReadHeartReg(h);
        EXPECT_FALSE(r.Ok) << c.field;
        EXPECT_EQ(r.Field, QString::fromLatin1(c.field));
        EXPECT_FALSE(TQ2Page::FieldLabel(r.Field).isEmpty());
    }
    page.OnModbusParam(TModbusParam{1, 1, QStringLiteral("65536")}, 4);
    TModbusParam m;
    int length = 0;
    EXPECT_EQ(page.ReadModbus(m, length).Field, QStringLiteral("WaitTime"));
}

TEST_F(PageFixture, readingThePageIntoRecords)
{
    fill();
    page.cbb_AddrType.Index = 1;
    page.RzCheckBoxShortEnable.Checked = false;
    page.RzCheckBox2.Checked = true;
    page.chkisT0.Checked = false;
    page.LabeledEditShortTime.Text = QStringLiteral("x");
    page.edt_LocationURLPort.Text = QStringLiteral("1901");
    TBaseParam b = base;
    ASSERT_TRUE(page.ReadBase(b));
    EXPECT_EQ(b.ShortConnTime, 3);
    uint8_t block[67] = {};
    ASSERT_TRUE(EncodeBaseParam(b, block, 0x4E));
    EXPECT_EQ(block[3], 0xDE);

    // Multicast writes 5 and never sets the Modbus TCP bit.
    page.cbb_WorkMode0.Index = 0;
    page.chkMulticast.Checked = true;
    page.cbb_ModbusTCP0.Index = 1;
    page.LabeledEdit1.Text = QStringLiteral("abc");
    TPortParam p = port;
    ASSERT_TRUE(page.ReadPort(p));
    EXPECT_EQ(p.WorkMode, 5);
    EXPECT_EQ(p.ModbusTcp, 0);
    EXPECT_EQ(p.ResetTimeout, 0);
    uint8_t pb[63];
    memset(pb, 0, sizeof pb);
    EncodePortParam(p, pb, 0xFF);
    EXPECT_EQ(pb[51], 5);
    EXPECT_EQ(pb[50] & 0x04, 0);
    EXPECT_EQ(pb[50] & 0x03, 0x03); // kept from the last read
    page.cbb_WorkMode0.Index = 3;
    ASSERT_TRUE(page.ReadPort(p));
    EXPECT_EQ(p.ModbusTcp, 1);
    // No work-mode selection keeps the module's value instead of writing 0xFF.
    page.cbb_WorkMode0.Index = -1;
    p.WorkMode = 4;
    ASSERT_TRUE(page.ReadPort(p));
    EXPECT_EQ(p.WorkMode, 4);
    // A baud text that is not a number is named.
    page.cbb_BaudRate0.Items[0] = QStringLiteral("fast");
    page.cbb_BaudRate0.Index = 0;
    EXPECT_EQ(page.ReadPort(p).Field, QStringLiteral("Baudrate"));
}

TEST(CustomBaud, answersAndCancel)
{
    TQ2Page page;
    struct Case { const char *answer; int index; const char *item0; } cases[] = {
        {"250000", 0, "250000"}, {"abc", 6, "115200"}, {"", 6, "115200"}, {nullptr, 0, "115200"}};
    for (const auto &c : cases) {
        TComboState list = page.cbb_BaudRate0;
        list.Index = 1;
        const QString answer = QString::fromLatin1(c.answer ? c.answer : "");
        ApplyCustomBaud(list, c.answer ? &answer : nullptr);
        EXPECT_EQ(list.Index, c.index) << (c.answer ? c.answer : "(cancel)");
        EXPECT_EQ(list.Items[0], QString::fromLatin1(c.item0));
    }
}

TEST(CustomBaud, serialPageListStartsAt9600AndTakesACustomRate)
{
    TComboState list;
    InitSoftBitRate(list);
    ASSERT_EQ(list.Items.size(), 16);
    EXPECT_EQ(list.Text(), QStringLiteral("9600"));
    EXPECT_EQ(list.Index, 6);
    EXPECT_EQ(list.Items[1], QStringLiteral("Custom"));
    EXPECT_EQ(list.Items.last(), QStringLiteral("921600"));
    const QString answer = QStringLiteral("250000");
    list.Index = 1;
    ApplyCustomBaud(list, &answer);
    EXPECT_EQ(list.Text(), answer);
}

TEST(HexBoxes, toggleTwiceGivesBackTheText)
{
    TQ2Page page;
    page.edtHeartDt.Text = QStringLiteral("AB");
    page.rzchckbxHeartDtHex.Checked = true;
    page.HexBoxClick(1);
    EXPECT_EQ(page.edtHeartDt.Text, QStringLiteral("4142"));
    page.rzchckbxHeartDtHex.Checked = false;
    page.HexBoxClick(1);
    EXPECT_EQ(page.edtHeartDt.Text, QStringLiteral("AB"));
    page.edtRegDt.Text = QStringLiteral("x");
    page.rzchckbxRegDtHex.Checked = true;
    page.HexBoxClick(2);
    EXPECT_EQ(page.edtRegDt.Text, QStringLiteral("78"));
}
