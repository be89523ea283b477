#include "gui/Q2PageView.h"
#include "PageRecords.h"
#include "PageViewUtil.h"
#include "gui/BaudInput.h"
#include "gui/TextTable.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <functional>
#include <memory>

namespace {

struct Q2ViewFixture : ::testing::Test {
    TQ2Page model;
    std::unique_ptr<QWidget> window; // when a test puts the page into a window
    std::unique_ptr<TQ2PageView> view;

    void SetUp() override
    {
        UseLanguage(false);
        view = std::make_unique<TQ2PageView>(model);
    }
    void TearDown() override
    {
        view.reset();
        window.reset();
        SetBaudPrompt({});
        FreeLanguage();
    }
    template <typename T = QWidget> T *ctl(const char *name) { return Ctl<T>(view.get(), name); }
    // What the hub does with the endpoint's read events.
    TRecorderSink feed(const TQ2Replies &r)
    {
        TRecorderSink log = r.FeedInto(model);
        view->ShowModel();
        return log;
    }
    QString text(const char *name) { return ctl<QLineEdit>(name)->text(); }
    int index(const char *name) { return ctl<QComboBox>(name)->currentIndex(); }
    bool checked(const char *name) { return ctl<QAbstractButton>(name)->isChecked(); }
    bool shown(const char *name) { return ctl(name)->isVisibleTo(view.get()); }
};

TEST_F(Q2ViewFixture, recordedRepliesFillEveryGroup)
{
    const TQ2Replies r = TQ2Replies::Full();
    ASSERT_EQ(r.Read.size(), LenRead);
    const TRecorderSink log = feed(r);
    EXPECT_EQ(log.LogTexts(), QStringList{QStringLiteral("Read OK ")});

    // Base group, the hidden carriers included.
    EXPECT_EQ(index("cbb_AddrType"), 1);
    EXPECT_EQ(text("edt_HTTPServerPort"), "80");
    EXPECT_EQ(text("edt_StaticIP"), "192.168.0.7");
    EXPECT_EQ(text("edt_GatewayIP"), "192.168.0.1");
    EXPECT_EQ(text("edt_SubnetMask"), "255.255.255.0");
    EXPECT_EQ(text("edtDns"), "8.8.8.8");
    EXPECT_EQ(text("edt_ModName"), "Lab-Q2");
    EXPECT_EQ(text("edt_username"), "admin");
    EXPECT_EQ(text("edt_password"), "12345");
    EXPECT_TRUE(checked("RzCheckBox2"));
    EXPECT_TRUE(checked("rzchckbx_Reset") && checked("rzchckbx_RFC2217"));
    EXPECT_FALSE(checked("rzchckbx_Link") || checked("rzchckbx_Index"));
    EXPECT_EQ(text("edt_LocationURLPort"), "1901");
    EXPECT_EQ(text("edt_UserMAC"), "00 1A 2B 3C 4D 5E");
    EXPECT_FALSE(shown("edt_LocationURLPort") || shown("edt_UserMAC") || shown("chkisT0") || shown("cbbRegSnd"));
    EXPECT_FALSE(shown("lbl_LocationURLPort") || shown("lbl_UserMAC")) << "a label goes with its hidden field";

    // Port group.
    EXPECT_EQ(ctl<QComboBox>("cbb_BaudRate0")->currentText(), "115200");
    EXPECT_EQ(index("cbb_BaudRate0"), 0) << "the first item with that text: the free slot";
    EXPECT_EQ(index("cbb_P0"), 0);
    EXPECT_EQ(index("cbb_D0"), 3);
    EXPECT_EQ(index("cbb_S0"), 0);
    EXPECT_EQ(ctl<QComboBox>("cbb_WorkMode0")->count(), 5);
    EXPECT_EQ(ctl<QComboBox>("cbb_WorkMode0")->currentText(), "HTTPD Client");
    EXPECT_EQ(text("edt_LocalPort0"), "20108");
    EXPECT_EQ(text("edt_RemotePort0"), "8234");
    EXPECT_EQ(text("edt_RemoteIP0"), "192.168.0.201");
    EXPECT_EQ(index("cbb_TCPSvrCount0"), 3);
    EXPECT_EQ(text("edtUartPackLEN"), "400");
    EXPECT_EQ(text("edt_UARTTime0"), "10");
    EXPECT_EQ(text("LabeledEditShortTime"), "3");
    EXPECT_EQ(text("LabeledEdit1"), "0");
    EXPECT_TRUE(checked("chk_RFC22170"));

    // Heartbeat and register: user data, the heartbeat's given in hex.
    EXPECT_EQ(index("RzComboBox1"), 2);
    EXPECT_EQ(index("cbbHeartPackType"), 1);
    EXPECT_EQ(text("edtHeartTm"), "60");
    EXPECT_TRUE(checked("rzchckbxHeartDtHex"));
    EXPECT_EQ(text("edtHeartDt"), "70696E67");
    EXPECT_EQ(index("RzComboBox2"), 2);
    EXPECT_EQ(index("cbbRegType"), 2);
    EXPECT_FALSE(checked("rzchckbxRegDtHex"));
    EXPECT_EQ(text("edtRegDt"), "REG:001A2B3C4D5E");
    EXPECT_EQ(text("edtDid"), "00000000000000000001");
    EXPECT_EQ(text("edtCompass"), "12345678");

    // Httpd and the three Modbus groups.
    EXPECT_EQ(text("LabeledEdit2"), "/report.php?id=7");
    EXPECT_EQ(ctl<QPlainTextEdit>("RzRichEdit1")->toPlainText(), "Accept: text/html\nX-Node: lab");
    EXPECT_TRUE(checked("rzchckbxmodbustcp") && checked("rzchckbxmodbuspool"));
    EXPECT_EQ(text("edtwaittime"), "500");
    EXPECT_EQ(index("cbbModbusType"), 2);
    EXPECT_EQ(index("cbbReporproto"), 1);
    EXPECT_EQ(text("edtModbusTimeout"), "1000");
    EXPECT_EQ(text("edtModbusInterval"), "100");
    EXPECT_EQ(index("cbbModbusException"), 1);
    EXPECT_EQ(index("cmbModbusEnable1"), 2);
    EXPECT_EQ(text("edtModbusTimeout1"), "500");
    EXPECT_EQ(text("edtModbusInterval1"), "50");
    for (const char *group : {"grp_BaseSave", "grp_ComParam", "RzGroupBoxHeart", "rzgrpbxRegHeart", "rzgrpbxModbusNew",
                              "RzGroupBox1", "rzgrpbxModbus", "RzGroupBoxHttpd"})
        EXPECT_TRUE(shown(group)) << group;
    for (const char *c :
         {"edtHeartDt", "edtRegDt", "cbbReporproto", "edtModbusTimeout1", "edtwaittime", "lblhearttime"})
        EXPECT_TRUE(shown(c)) << c;
}

// Replies that differ from the full set in one point, and what the widgets then show.
TEST_F(Q2ViewFixture, fillCases)
{
    struct Case {
        const char *name;
        std::function<void(TQ2Replies &)> change;
        std::function<void(Q2ViewFixture &)> check;
    };
    const Case cases[] = {
        {"baud not in the list goes into item 0", [](TQ2Replies &r) { r.SetBaud(250000); },
         [](Q2ViewFixture &f) {
             auto *baud = f.ctl<QComboBox>("cbb_BaudRate0");
             EXPECT_EQ(baud->currentIndex(), 0);
             EXPECT_EQ(baud->itemText(0), "250000");
             EXPECT_EQ(baud->count(), 16);
         }},
        {"IsT0 offers four work modes; mode 4 then selects none",
         [](TQ2Replies &r) {
             r.SetIsT0(true);
             r.SetWorkMode(4);
         },
         [](Q2ViewFixture &f) {
             auto *mode = f.ctl<QComboBox>("cbb_WorkMode0");
             EXPECT_EQ(mode->count(), 4);
             EXPECT_EQ(mode->currentIndex(), -1);
             EXPECT_TRUE(f.checked("chkisT0"));
             EXPECT_FALSE(f.shown("RzGroupBoxHttpd"));
             EXPECT_FALSE(f.shown("chkMulticast"));
         }},
        {"work mode 5 is UDP Client with multicast", [](TQ2Replies &r) { r.SetWorkMode(5); },
         [](Q2ViewFixture &f) {
             EXPECT_EQ(f.index("cbb_WorkMode0"), 0);
             EXPECT_TRUE(f.checked("chkMulticast"));
             EXPECT_TRUE(f.shown("chkMulticast"));
         }},
        {"CloudEnable leaves the register list without a selection",
         [](TQ2Replies &r) {
             r.SetUserRegister(false);
             r.SetPortOption(0x10, true);
         },
         [](Q2ViewFixture &f) {
             EXPECT_EQ(f.ctl<QComboBox>("RzComboBox2")->count(), 3);
             EXPECT_EQ(f.index("RzComboBox2"), -1);
             EXPECT_EQ(f.ctl<QComboBox>("RzComboBox2")->currentText(), QString());
         }},
        {"data without the hex bit shows as characters",
         [](TQ2Replies &r) { r.SetHeart(0x01 | 0x80, 30, "ping", "AB"); },
         [](Q2ViewFixture &f) {
             EXPECT_FALSE(f.checked("rzchckbxHeartDtHex"));
             EXPECT_EQ(f.text("edtHeartDt"), "ping");
             EXPECT_TRUE(f.checked("rzchckbxRegDtHex"));
             EXPECT_EQ(f.text("edtRegDt"), "4142");
             EXPECT_EQ(f.index("cbbRegType"), 0) << "neither register bit leaves the list at its first entry";
         }},
        {"the 1-byte Modbus block shows the box alone", [](TQ2Replies &r) { r.Modbus = Hex("01"); },
         [](Q2ViewFixture &f) {
             EXPECT_TRUE(f.shown("rzchckbxmodbustcp"));
             EXPECT_TRUE(f.checked("rzchckbxmodbustcp"));
             EXPECT_FALSE(f.shown("rzchckbxmodbuspool") || f.shown("edtwaittime") || f.shown("lblhearttime"));
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        model = TQ2Page();
        SetUp();
        model.HideModbusGroups(); // a row click: the Modbus groups wait for their blocks
        TQ2Replies r = TQ2Replies::Full();
        c.change(r);
        feed(r);
        c.check(*this);
    }
}

TEST_F(Q2ViewFixture, fillInChineseKeepsTheListsInChinese)
{
    UseLanguage(true);
    ApplyTextRows(view.get(), MainTextRows);
    view->AfterTextsApplied();
    feed(TQ2Replies::Full());
    EXPECT_EQ(ctl<QComboBox>("cbb_AddrType")->currentText(), GetLangText("lang_Cbb_StaticIP"));
    EXPECT_EQ(ctl<QComboBox>("RzComboBox1")->currentText(), GetLangText("lang_RzComboBox1_2"));
    EXPECT_EQ(ctl<QComboBox>("cbb_BaudRate0")->itemText(1), GetLangText("lang_BaudRate_Custom"));
    EXPECT_NE(ctl<QComboBox>("cbb_BaudRate0")->itemText(1), "Custom");
}

// Each display rule, driven by the list the user changes; steps run in order on one page.
TEST_F(Q2ViewFixture, displayRulesOnTheWidgets)
{
    feed(TQ2Replies::Full());
    using S = TShows;
    struct Step {
        const char *list;
        int index;
    };
    struct Case {
        std::vector<Step> steps;
        std::vector<TShows> shows;
    };
    const std::vector<Case> cases = {
        {{{"cbb_AddrType", 0}},
         {{"edt_StaticIP", S::Enabled, false},
          {"edt_GatewayIP", S::Enabled, false},
          {"edt_SubnetMask", S::Enabled, false},
          {"edtDns", S::Enabled, false},
          {"lbl_StaticIP", S::Grey, true},
          {"lbl_GatewayIP", S::Grey, true},
          {"lbl_SubnetMask", S::Grey, true},
          {"lblDns", S::Grey, true},
          {"edt_HTTPServerPort", S::Enabled, true}}},
        {{{"cbb_AddrType", 1}},
         {{"edt_StaticIP", S::Enabled, true},
          {"edtDns", S::Enabled, true},
          {"lbl_StaticIP", S::Grey, false},
          {"lbl_GatewayIP", S::Grey, false},
          {"lbl_SubnetMask", S::Grey, false},
          {"lblDns", S::Grey, false}}},
        {{{"cbb_WorkMode0", 1}},
         {{"cbb_ModbusTCP0", S::Enabled, true},
          {"lbl_ModbusTCP0", S::Grey, false},
          {"cbb_TCPSvrCount0", S::Enabled, false},
          {"lbl_TCPSvrCount0", S::Grey, true},
          {"cbb_TCPStyle0", S::Enabled, false},
          {"edt_RemoteIP0", S::Enabled, true},
          {"lbl_RemoteIP0", S::Grey, false},
          {"cbbGetPost", S::Enabled, false},
          {"lblGetPost", S::Grey, true},
          {"RzGroupBoxHttpd", S::Visible, false},
          {"chkMulticast", S::Visible, false}}},
        {{{"cbb_WorkMode0", 3}},
         {{"cbb_ModbusTCP0", S::Enabled, true},
          {"cbb_TCPSvrCount0", S::Enabled, true},
          {"lbl_TCPSvrCount0", S::Grey, false},
          {"cbb_TCPStyle0", S::Enabled, true},
          {"lbl_TCPStyle0", S::Grey, false},
          {"edt_RemoteIP0", S::Enabled, false},
          {"lbl_RemoteIP0", S::Grey, true}}},
        {{{"cbb_WorkMode0", 4}},
         {{"cbb_ModbusTCP0", S::Enabled, false},
          {"lbl_ModbusTCP0", S::Grey, true},
          {"cbbGetPost", S::Enabled, true},
          {"lblGetPost", S::Grey, false},
          {"RzGroupBoxHttpd", S::Visible, true},
          {"edt_RemoteIP0", S::Enabled, true}}},
        {{{"cbb_WorkMode0", 0}},
         {{"chkMulticast", S::Visible, true},
          {"RzGroupBoxHttpd", S::Visible, false},
          {"cbb_ModbusTCP0", S::Enabled, false}}},
        {{{"RzComboBox1", 0}},
         {{"lblHeartPackType", S::Visible, false},
          {"cbbHeartPackType", S::Visible, false},
          {"lblHeartTm", S::Visible, false},
          {"edtHeartTm", S::Visible, false},
          {"lblHeartDt", S::Visible, false},
          {"edtHeartDt", S::Visible, false},
          {"rzchckbxHeartDtHex", S::Visible, false}}},
        {{{"cbbHeartPackType", 0}, {"RzComboBox1", 1}},
         {{"cbbHeartPackType", S::Visible, true},
          {"lblHeartPackType", S::Visible, true},
          {"edtHeartTm", S::Visible, true},
          {"lblHeartTm", S::Visible, true},
          {"edtHeartDt", S::Visible, false},
          {"lblHeartDt", S::Visible, false},
          {"rzchckbxHeartDtHex", S::Visible, false}}},
        {{{"cbbHeartPackType", 1}},
         {{"edtHeartDt", S::Visible, true},
          {"lblHeartDt", S::Visible, true},
          {"rzchckbxHeartDtHex", S::Visible, true}}},
        {{{"RzComboBox2", 0}},
         {{"lblRegSnd", S::Visible, false},
          {"cbbRegType", S::Visible, false},
          {"lblRegTp", S::Visible, false},
          {"edtRegDt", S::Visible, false},
          {"rzchckbxRegDtHex", S::Visible, false}}},
        {{{"RzComboBox2", 1}},
         {{"lblRegSnd", S::Visible, true}, {"cbbRegType", S::Visible, true}, {"edtRegDt", S::Visible, false}}},
        {{{"RzComboBox2", 2}},
         {{"cbbRegType", S::Visible, true},
          {"lblRegTp", S::Visible, true},
          {"edtRegDt", S::Visible, true},
          {"rzchckbxRegDtHex", S::Visible, true}}},
        {{{"cbbModbusType", 0}},
         {{"lblReportProto", S::Visible, false},
          {"cbbReporproto", S::Visible, false},
          {"lblModbusTimeout", S::Visible, false},
          {"edtModbusTimeout", S::Visible, false},
          {"edtModbusInterval", S::Visible, false},
          {"cbbModbusException", S::Visible, false},
          {"lblModbusException", S::Visible, false}}},
        {{{"cbbModbusType", 1}},
         {{"cbbReporproto", S::Visible, false},
          {"edtModbusTimeout", S::Visible, true},
          {"lblModbusInterval", S::Visible, true},
          {"cbbModbusException", S::Visible, true}}},
        {{{"cbbModbusType", 2}},
         {{"lblReportProto", S::Visible, true},
          {"cbbReporproto", S::Visible, true},
          {"edtModbusTimeout", S::Visible, true}}},
        {{{"cmbModbusEnable1", 1}},
         {{"lblModbusTimeout1", S::Visible, false},
          {"edtModbusTimeout1", S::Visible, false},
          {"edtModbusInterval1", S::Visible, false},
          {"cmbModbusException1", S::Visible, false}}},
        {{{"cmbModbusEnable1", 2}},
         {{"lblModbusTimeout1", S::Visible, true},
          {"edtModbusTimeout1", S::Visible, true},
          {"lblModbusInterval1", S::Visible, true},
          {"edtModbusInterval1", S::Visible, true},
          {"lblModbusException1", S::Visible, true},
          {"cmbModbusException1", S::Visible, true}}},
    };
    for (const Case &c : cases) {
        std::string context;
        for (const Step &s : c.steps) {
            auto *list = ctl<QComboBox>(s.list);
            ASSERT_NE(list->currentIndex(), s.index) << s.list << " must change";
            list->setCurrentIndex(s.index);
            context += std::string(s.list) + "=" + std::to_string(s.index) + " ";
        }
        for (const TShows &e : c.shows)
            ExpectShows(view.get(), e, context);
    }
}

TEST_F(Q2ViewFixture, hiddenGroupTakesNoSpace)
{
    feed(TQ2Replies::Full());
    QWidget *stack = view->ScrollBox()->widget();
    auto *httpd = ctl("RzGroupBoxHttpd");
    ASSERT_TRUE(shown("RzGroupBoxHttpd"));
    const int withHttpd = stack->sizeHint().height();
    const int groupHeight = httpd->sizeHint().height();
    ctl<QComboBox>("cbb_WorkMode0")->setCurrentIndex(1);
    ASSERT_FALSE(shown("RzGroupBoxHttpd"));
    EXPECT_LE(stack->sizeHint().height(), withHttpd - groupHeight);
    ctl<QComboBox>("cbb_WorkMode0")->setCurrentIndex(4);
    EXPECT_EQ(stack->sizeHint().height(), withHttpd);
}

TEST_F(Q2ViewFixture, comTabHidesTheNetworkOnlyControlsAndSwapsTheButtons)
{
    feed(TQ2Replies::Full());
    QSignalSpy net(view.get(), &TQ2PageView::SaveNetClicked);
    QSignalSpy com(view.get(), &TQ2PageView::SaveComClicked);
    EXPECT_TRUE(shown("btn_Q2NetSet"));
    EXPECT_FALSE(shown("btn_Q2ComSet"));
    view->SetComTab(true);
    for (const char *c : {"RzGroupBoxHeart", "rzgrpbxRegHeart", "RzGroupBoxHttpd", "RzGroupBox1", "rzgrpbxModbusNew",
                          "rzgrpbxModbus", "rzchckbxComSetEnable", "edt_UARTTime0", "lbl_UARTTime0", "edtUartPackLEN",
                          "lblUartPackLEN", "rzchbUdpFrom", "btn_Q2NetSet"})
        EXPECT_FALSE(shown(c)) << c;
    EXPECT_TRUE(shown("btn_Q2ComSet"));
    ctl<QPushButton>("btn_Q2ComSet")->click();
    view->SetComTab(false);
    EXPECT_TRUE(shown("RzGroupBoxHeart") && shown("edt_UARTTime0") && shown("btn_Q2NetSet"));
    ctl<QPushButton>("btn_Q2NetSet")->click();
    EXPECT_EQ(net.count(), 1);
    EXPECT_EQ(com.count(), 1);
}

TEST_F(Q2ViewFixture, hexBoxesToggledTwiceGiveBackTheText)
{
    feed(TQ2Replies::Full());
    struct Case {
        const char *edit, *box, *start, *hex;
    } cases[] = {
        {"edtHeartDt", "rzchckbxHeartDtHex", "AB", "4142"},
        {"edtRegDt", "rzchckbxRegDtHex", "REG:1", "5245473A31"},
    };
    for (const auto &c : cases) {
        auto *box = ctl<QCheckBox>(c.box);
        box->setChecked(false);
        ctl<QLineEdit>(c.edit)->setText(c.start);
        box->setChecked(true);
        EXPECT_EQ(text(c.edit), c.hex) << c.edit;
        box->setChecked(false);
        EXPECT_EQ(text(c.edit), c.start) << c.edit;
        box->setChecked(true);
        box->setChecked(false);
        EXPECT_EQ(text(c.edit), c.start) << c.edit;
    }
    EXPECT_EQ(model.edtHeartDt.Text, "AB") << "the model holds what the page shows";
}

// A scripted input box: records what it was asked and answers as told.
struct ScriptedPrompt {
    explicit ScriptedPrompt(std::optional<QString> a) : answer(std::move(a)) {}
    std::optional<QString> answer;
    QString title, prompt, prefill;
    int asked = 0;
    TBaudPrompt Hook()
    {
        return [this](QWidget *, const QString &t, const QString &p, const QString &text) {
            ++asked;
            title = t;
            prompt = p;
            prefill = text;
            return answer;
        };
    }
};

TEST_F(Q2ViewFixture, customBaudRate)
{
    struct Case {
        std::optional<QString> answer;
        int index;
        QString item0;
    } cases[] = {
        {QStringLiteral("abc"), 6, "115200"},
        {QString(), 6, "115200"},
        {std::nullopt, 0, "115200"},
        {QStringLiteral("250000"), 0, "250000"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.answer ? c.answer->toStdString() : "cancel");
        TQ2Page page;
        TQ2PageView v(page);
        ScriptedPrompt p{c.answer};
        SetBaudPrompt(p.Hook());
        auto *baud = Ctl<QComboBox>(&v, "cbb_BaudRate0");
        baud->setCurrentIndex(1);
        EXPECT_EQ(p.asked, 1);
        EXPECT_EQ(p.title, "Diy Baud Rate");
        EXPECT_EQ(p.prompt, "Please Input your Baud Rate :");
        EXPECT_EQ(p.prefill, "115200");
        EXPECT_EQ(baud->currentIndex(), c.index);
        EXPECT_EQ(baud->itemText(0), c.item0);
        EXPECT_EQ(page.cbb_BaudRate0.Index, c.index) << "the model has the answer too";
        EXPECT_EQ(page.cbb_BaudRate0.Items[0], c.item0);
        // Any other item asks nothing.
        baud->setCurrentIndex(5);
        EXPECT_EQ(p.asked, 1);
    }
}

TEST(BaudInput, plainListWidgetTakesTheAnswer)
{
    UseLanguage(false);
    ScriptedPrompt p{QStringLiteral("31250")};
    SetBaudPrompt(p.Hook());
    QComboBox list;
    list.addItems({"115200", "Custom", "4800", "9600", "115200"});
    list.setCurrentIndex(2);
    EXPECT_FALSE(AskCustomBaud(&list));
    list.setCurrentIndex(1);
    EXPECT_TRUE(AskCustomBaud(&list));
    EXPECT_EQ(p.prefill, "115200");
    EXPECT_EQ(list.currentIndex(), 0);
    EXPECT_EQ(list.itemText(0), "31250");
    p.answer = QStringLiteral("fast");
    list.setCurrentIndex(1);
    EXPECT_TRUE(AskCustomBaud(&list));
    EXPECT_EQ(list.currentText(), "9600");
    EXPECT_EQ(p.prefill, "31250");
    SetBaudPrompt({});
    FreeLanguage();
}

// The wheel scrolls the page one line per notch, whatever is under the cursor or focused, also
// when the page sits in a tab widget.
TEST_F(Q2ViewFixture, wheelOverThePageScrollsOneLine)
{
    view.reset();
    window = std::make_unique<QWidget>();
    auto *tabs = new QTabWidget(window.get());
    auto *host = new QWidget;
    tabs->addTab(host, "Q2");
    view = std::make_unique<TQ2PageView>(model, host);
    auto *hostLayout = new QVBoxLayout(host);
    hostLayout->addWidget(view.get());
    tabs->setGeometry(0, 0, 540, 420);
    window->resize(540, 420);
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    feed(TQ2Replies::Full());
    QApplication::processEvents();

    QScrollBar *bar = view->ScrollBox()->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 3 * bar->singleStep()) << "the page must be taller than its view";
    ctl<QLineEdit>("edt_ModName")->setFocus();
    ASSERT_TRUE(ctl<QLineEdit>("edt_ModName")->hasFocus());
    auto *mode = ctl<QComboBox>("cbb_WorkMode0");
    auto *addr = ctl<QComboBox>("cbb_AddrType");
    const int modeIndex = mode->currentIndex();

    auto turn = [](QWidget *target, int delta) {
        const QPointF local(target->width() / 2.0, target->height() / 2.0);
        QWheelEvent e(local, target->mapToGlobal(local), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
        QApplication::sendEvent(target, &e);
    };
    const int step = bar->singleStep();
    turn(mode, -120);
    EXPECT_EQ(bar->value(), step);
    turn(mode, -120);
    EXPECT_EQ(bar->value(), 2 * step);
    turn(addr, 120);
    EXPECT_EQ(bar->value(), step);
    EXPECT_EQ(mode->currentIndex(), modeIndex) << "the list under the cursor does not take the turn";
    EXPECT_EQ(addr->currentIndex(), 1);
    EXPECT_TRUE(ctl<QLineEdit>("edt_ModName")->hasFocus());

    // Outside the scroll box (the button bar) the wheel is left alone.
    turn(ctl("btn_Q2NetSet"), -120);
    EXPECT_EQ(bar->value(), step);
}

// The user's edits reach the model, so the core's validation sees them, in its order.
TEST_F(Q2ViewFixture, userEditsReachValidationInOrder)
{
    feed(TQ2Replies::Full());
    QString message;
    EXPECT_TRUE(model.ValidateQ2Page(message)) << message.toStdString();

    const QString isNull = GetLangText("lang_IsNull");
    auto *name = ctl<QLineEdit>("edt_ModName");
    name->selectAll();
    QTest::keyClick(name, Qt::Key_Backspace);
    ctl<QLineEdit>("edtHeartDt")->clear();
    ctl<QComboBox>("RzComboBox1")->setCurrentIndex(0); // heartbeat off: the field hides
    EXPECT_FALSE(shown("edtHeartDt"));
    EXPECT_FALSE(model.ValidateQ2Page(message));
    EXPECT_EQ(message, GetLangText("lang_Lbl_DevName") + isNull) << "the device name comes first";

    QTest::keyClicks(name, "Lab");
    EXPECT_EQ(model.edt_ModName.Text, "Lab");
    EXPECT_TRUE(model.ValidateQ2Page(message)) << "a hidden heartbeat field is not checked: " << message.toStdString();
    ctl<QComboBox>("RzComboBox1")->setCurrentIndex(2); // the network heartbeat shows it again
    ASSERT_TRUE(shown("edtHeartDt"));
    EXPECT_FALSE(model.ValidateQ2Page(message));
    EXPECT_EQ(message, GetLangText("lang_lblHeartDt") + isNull) << "shown, it is checked";
    EXPECT_EQ(GetLangText("lang_lblHeartDt"), "Heartbeat Packet");

    ctl<QLineEdit>("edtHeartDt")->setText("x");
    QTest::keyClicks(ctl<QLineEdit>("edtModbusTimeout1"), "a");
    EXPECT_FALSE(model.ValidateQ2Page(message));
    EXPECT_EQ(message, GetLangText("lang_lblModbusTimeout1") + GetLangText("lang_IsNotNum"));
}

TEST_F(Q2ViewFixture, lengthLimitsBoundTypingOnly)
{
    struct Case {
        const char *edit;
        int limit;
    } cases[] = {{"edt_StaticIP", 15}, {"edtDns", 17},        {"edt_username", 5},
                 {"edt_ModName", 14},  {"edt_LocalPort0", 5}, {"edt_RemoteIP0", 30},
                 {"edt_UARTTime0", 3}, {"edtUartPackLEN", 4}, {"edtModbusTimeout", 5}};
    for (const auto &c : cases) {
        auto *e = ctl<QLineEdit>(c.edit);
        e->clear();
        QTest::keyClicks(e, QString(40, u'7'));
        EXPECT_EQ(e->text().size(), c.limit) << c.edit;
    }
    // A longer name from the module shows whole.
    model.edt_ModName.Text = QStringLiteral("sixteen-chars-xy");
    view->ShowModel();
    EXPECT_EQ(text("edt_ModName"), "sixteen-chars-xy");
}

} // namespace

namespace {

// The header editor shows line breaks as LF; what goes back to the model keeps the module's own
// bytes when untouched, and typed lines end in CR LF. Typing never moves the cursor.
TEST_F(Q2ViewFixture, httpdHeaderKeepsItsLineBreaks)
{
    auto *header = ctl<QPlainTextEdit>("RzRichEdit1");
    for (const char *sent : {"Accept: text/html\r\nX-Node: lab", "one\ntwo", "a\r\n\r\nb", ""}) {
        model.RzRichEdit1.Text = QString::fromLatin1(sent);
        view->ShowModel();
        view->ReadModel();
        EXPECT_EQ(model.RzRichEdit1.Text, QString::fromLatin1(sent)) << "untouched text goes back as read";
    }
    model.RzRichEdit1.Text = QStringLiteral("Accept: text/html\r\nX-Node: lab");
    view->ShowModel();
    header->setFocus();
    header->moveCursor(QTextCursor::End);
    QTest::keyClick(header, Qt::Key_Return);
    QTest::keyClicks(header, "Host: q2");
    EXPECT_EQ(header->toPlainText(), QStringLiteral("Accept: text/html\nX-Node: lab\nHost: q2"));
    EXPECT_EQ(model.RzRichEdit1.Text, QStringLiteral("Accept: text/html\r\nX-Node: lab\r\nHost: q2"));
}

} // namespace
