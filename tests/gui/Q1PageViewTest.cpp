#include "gui/Q1PageView.h"
#include "PageViewUtil.h"
#include "TestUtil.h"
#include "gui/BaudInput.h"
#include "netconfig/Q1Page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <memory>

namespace {

struct Q1ViewFixture : ::testing::Test {
    TQ1Page model;
    std::unique_ptr<TQ1PageView> view;

    void SetUp() override
    {
        UseLanguage(false);
        view = std::make_unique<TQ1PageView>(model);
    }
    void TearDown() override
    {
        view.reset();
        SetBaudPrompt({});
        FreeLanguage();
    }
    template <typename T = QWidget> T *ctl(const char *name) { return Ctl<T>(view.get(), name); }
    QString text(const char *name) { return ctl<QLineEdit>(name)->text(); }
    int index(const char *name) { return ctl<QComboBox>(name)->currentIndex(); }
};

TEST_F(Q1ViewFixture, startsWithTheModelsValues)
{
    EXPECT_EQ(text("edt_ModuleIP"), "192.168.0.7");
    EXPECT_EQ(text("edt_Mask"), "255.255.255.0");
    EXPECT_EQ(text("edt_Gateway"), "192.168.0.201");
    EXPECT_EQ(text("edt_ModulePort"), "201108") << "longer than may be typed, shown whole";
    EXPECT_EQ(text("edt_DeIP"), "192.168.0.201");
    EXPECT_EQ(text("edt_DePort"), "8234");
    EXPECT_EQ(text("edt_ID"), "0");
    EXPECT_EQ(index("cbb_BaudRate"), 12);
    EXPECT_EQ(ctl<QComboBox>("cbb_BaudRate")->currentText(), "115200");
    EXPECT_EQ(ctl<QComboBox>("cbb_P")->currentText(), "NONE");
    EXPECT_EQ(ctl<QComboBox>("cbb_D")->currentText(), "8");
    EXPECT_EQ(ctl<QComboBox>("cbb_S")->currentText(), "1");
    EXPECT_EQ(ctl<QComboBox>("cbb_ModuleWork")->count(), 4);
    EXPECT_TRUE(ctl("btn_Q1Set")->isVisibleTo(view.get()));
    EXPECT_FALSE(ctl("btn_ComSet")->isVisibleTo(view.get()));

    // Typing is bounded: once the long port text is gone, five digits at most.
    auto *port = ctl<QLineEdit>("edt_ModulePort");
    port->clear();
    QTest::keyClicks(port, "123456");
    EXPECT_EQ(port->text(), "12345");
}

TEST_F(Q1ViewFixture, fieldGroupReadFillsTheWidgets)
{
    // Work mode 1, module 192.168.0.7:20108, gateway and destination 192.168.0.201:8234, baud
    // 250000 (not in the list), 8N1, ID 258, RS485 and RFC2217.
    const QByteArray fields =
        Hex("C9 00 A8 C0 2A 20 07 00 A8 C0 8C 4E C9 00 A8 C0 01 90 D0 03 03 01 02 84 00 FF FF FF");
    ReadQ1Fields(reinterpret_cast<const uint8_t *>(fields.constData()), model);
    view->ShowModel();
    EXPECT_EQ(index("cbb_ModuleWork"), 1);
    EXPECT_EQ(text("edt_ModulePort"), "20108");
    EXPECT_EQ(text("edt_DePort"), "8234");
    EXPECT_EQ(text("edt_ID"), "258");
    EXPECT_EQ(index("cbb_BaudRate"), 0);
    EXPECT_EQ(ctl<QComboBox>("cbb_BaudRate")->itemText(0), "250000");
    EXPECT_EQ(index("cbb_D"), 3);
    EXPECT_TRUE(ctl<QCheckBox>("chk_RS485")->isChecked());
    EXPECT_TRUE(ctl<QCheckBox>("chk_RFC2217")->isChecked());
    EXPECT_FALSE(ctl<QCheckBox>("chk_RS422")->isChecked() || ctl<QCheckBox>("chk_ConnSendId")->isChecked());
}

TEST_F(Q1ViewFixture, workModeRule)
{
    using S = TShows;
    struct Case {
        int mode;
        bool on;
    } cases[] = {{2, false}, {0, true}, {3, false}, {1, true}};
    for (const auto &c : cases) {
        ctl<QComboBox>("cbb_ModuleWork")->setCurrentIndex(c.mode);
        const std::string context = "mode " + std::to_string(c.mode);
        for (const TShows &e :
             {S{"edt_DeIP", S::Enabled, c.on}, S{"edt_DePort", S::Enabled, c.on}, S{"lbl_DeIP", S::Grey, !c.on},
              S{"lbl_DePort", S::Grey, !c.on}, S{"edt_ModuleIP", S::Enabled, true}})
            ExpectShows(view.get(), e, context);
    }
}

TEST_F(Q1ViewFixture, customBaudRateOnTheQ1List)
{
    QString prefill;
    SetBaudPrompt([&](QWidget *, const QString &, const QString &, const QString &text) -> std::optional<QString> {
        prefill = text;
        return QStringLiteral("abc");
    });
    ctl<QComboBox>("cbb_BaudRate")->setCurrentIndex(1);
    EXPECT_EQ(prefill, "115200");
    EXPECT_EQ(ctl<QComboBox>("cbb_BaudRate")->currentText(), "9600");
    EXPECT_EQ(model.cbb_BaudRate.Text(), "9600");
}

// What the user sets reaches the field group the serial write sends.
TEST_F(Q1ViewFixture, userEditsReachTheFieldGroup)
{
    ctl<QComboBox>("cbb_ModuleWork")->setCurrentIndex(1);
    auto *port = ctl<QLineEdit>("edt_ModulePort");
    port->clear();
    QTest::keyClicks(port, "20108");
    ctl<QLineEdit>("edt_ID")->clear();
    QTest::keyClicks(ctl<QLineEdit>("edt_ID"), "258");
    ctl<QCheckBox>("chk_RS485")->setChecked(true);
    ctl<QCheckBox>("chk_RFC2217")->setChecked(true);
    uint8_t out[Q1FieldsSize] = {};
    ASSERT_TRUE(WriteQ1Fields(model, out));
    EXPECT_EQ(HexOf(QByteArray(reinterpret_cast<const char *>(out), Q1FieldsSize)),
              HexOf(Hex("C9 00 A8 C0 2A 20 07 00 A8 C0 8C 4E C9 00 A8 C0 01 00 C2 01 03 01 02 84 00 FF FF FF")));
}

TEST_F(Q1ViewFixture, oneWriteButtonPerTab)
{
    QSignalSpy q1(view.get(), &TQ1PageView::Q1SetClicked);
    QSignalSpy com(view.get(), &TQ1PageView::ComSetClicked);
    view->SetComTab(true);
    EXPECT_TRUE(ctl("btn_ComSet")->isVisibleTo(view.get()));
    EXPECT_FALSE(ctl("btn_Q1Set")->isVisibleTo(view.get()));
    ctl<QPushButton>("btn_ComSet")->click();
    view->SetComTab(false);
    EXPECT_FALSE(ctl("btn_ComSet")->isVisibleTo(view.get()));
    ctl<QPushButton>("btn_Q1Set")->click();
    EXPECT_EQ(q1.count(), 1);
    EXPECT_EQ(com.count(), 1);
}

} // namespace
