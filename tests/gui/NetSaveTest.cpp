// btn_Q2NetSet on the whole program: the refusals before anything is sent, and writes to simulated
// modules (bexo-z0-sim lan on a loopback address of its own) that take exactly the blocks the
// core's plan names, for both firmware generations and every Modbus group, with the module's
// answers logged after the sequence.
#include "AppFixture.h"
#include "LanSim.h"
#include "netconfig/LanSession.h"
#include "netconfig/Q2Write.h"

#include <QComboBox>
#include <QLineEdit>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>

namespace {

using NetSave = AppFixture;

int countOf(const QStringList &lines, const QString &text) { return int(lines.count(text)); }

// The recorded module read and shown, its row selected.
void ReadRecordedModule(AppFixture &f)
{
    f.FeedRows();
    f.ClickRow(0); // a click also names the module the later blocks go to
    f.FeedReplies(TQ2Replies::Full());
    ASSERT_EQ(f.w->CurrentPage(), PageQ2);
    f.DrainReceivers();
}

TEST_F(NetSave, withoutARowThePageClosesAndTheLogSaysSo)
{
    ReadRecordedModule(*this);
    // A search empties the list; the page stays until the save.
    w->rzpgcntrl_Srch->setCurrentIndex(0);
    Click("btn_Search");
    DrainReceivers();
    ASSERT_EQ(w->DevModel->rowCount(), 0);
    ASSERT_EQ(w->CurrentPage(), PageQ2);
    Click("btn_Q2NetSet");
    EXPECT_EQ(w->CurrentPage(), PageNone);
    const QList<TShownLine> log = Log();
    EXPECT_EQ(log.last().Text, QStringLiteral(" Please select the module in the search list."));
    EXPECT_EQ(log.last().Color, Rgb(TLogColor::Red));
    EXPECT_TRUE(Received(q2rx, 200).isEmpty());
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(NetSave, aRowOfAnotherModelDoesNothing)
{
    ReadRecordedModule(*this);
    w->lv_Dev->SelectRow(1); // the Q3 module; the Q2 page still shows
    const int lines = int(Log().size());
    Click("btn_Q2NetSet");
    EXPECT_EQ(Log().size(), lines);
    EXPECT_EQ(w->CurrentPage(), PageQ2);
    EXPECT_TRUE(Received(q2rx, 200).isEmpty());
    EXPECT_TRUE(Received(q3rx, 50).isEmpty());
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_TRUE(pauses.isEmpty());
}

// The first failing check, in the order of the checks, is the one message box; nothing goes out.
// Once every check passes, the frames go.
TEST_F(NetSave, aFailingCheckShowsOneMessageAndSendsNothing)
{
    ReadRecordedModule(*this);
    struct Case {
        const char *what;
        std::function<void(AppFixture &)> edit;
        const char *message;
    } cases[] = {
        {"port not a number before an empty user name",
         [](AppFixture &f) {
             f.C<QLineEdit>("edt_HTTPServerPort")->setText(QStringLiteral("8o"));
             f.C<QLineEdit>("edt_username")->clear();
         },
         "HTTP Portnot legitimate, please enter a number!"},
        {"user name before password",
         [](AppFixture &f) {
             f.C<QLineEdit>("edt_HTTPServerPort")->setText(QStringLiteral("80"));
             f.C<QLineEdit>("edt_password")->clear();
         },
         "User Nameis null, please write data!"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        messages.clear();
        const int lines = int(Log().size());
        c.edit(*this);
        Click("btn_Q2NetSet");
        EXPECT_EQ(messages, QStringList{QString::fromLatin1(c.message)});
        EXPECT_EQ(Log().size(), lines) << "nothing sent, nothing logged";
        EXPECT_TRUE(Received(q2rx, 100).isEmpty());
        EXPECT_TRUE(pauses.isEmpty());
    }
    // A heartbeat packet the page hides is not checked: the heartbeat is off, nothing to mend.
    messages.clear();
    C<QLineEdit>("edt_username")->setText(QStringLiteral("admin"));
    C<QLineEdit>("edt_password")->setText(QStringLiteral("12345"));
    C<QLineEdit>("edtHeartDt")->clear();
    C<QComboBox>("RzComboBox1")->setCurrentIndex(0);
    EXPECT_FALSE(Shows("edtHeartDt"));
    Click("btn_Q2NetSet");
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();
    QList<uint8_t> commands;
    for (QByteArray f = Received(q2rx); !f.isEmpty(); f = Received(q2rx, 300))
        commands << uint8_t(f[2]);
    // Version 4017 with work mode HTTPD Client and every Modbus group.
    EXPECT_EQ(commands, (QList<uint8_t>{CmdWriteBase, CmdWritePort, CmdWriteHeartReg, CmdWriteHttpdUrl,
                                        CmdWriteHttpdHead, CmdWriteModbus, CmdWriteModbus, CmdWriteModbus,
                                        CmdRestart}));
}

// An address or number the module's bytes cannot carry is refused with its message box, and
// nothing goes out; typed back as it was, the save goes through.
TEST_F(NetSave, aValueTheModuleCannotCarryIsRefusedAndNothingIsSent)
{
    ReadRecordedModule(*this);
    const QString notIPv4 =
        QStringLiteral(" is not a valid IPv4 address, please enter four numbers from 0 to 255 separated by dots!");
    const QString word = QStringLiteral(" is out of range, please enter a number from 0 to 65535!");
    const struct {
        const char *control;
        const char *text;
        QString message;
    } cases[] = {
        {"edt_StaticIP", "999.1.1.1", "ModuleStaticIP" + notIPv4},
        {"edt_GatewayIP", "10.77.5", "Gateway" + notIPv4},
        {"edt_SubnetMask", "255.255.255.0.0", "SubnetMask" + notIPv4},
        {"edtDns", "8.8.8.888", "DNS Address" + notIPv4},
        {"edt_HTTPServerPort", "70000", "HTTP Port" + word},
        {"edt_LocalPort0", "99999", "Local Port" + word},
        {"edt_RemotePort0", "65536", "Remote Port" + word},
        {"LabeledEditShortTime", "300",
         QStringLiteral("Short Connection time is out of range, please enter a number from 0 to 255!")},
        {"edtHeartTm", "65536", "Heartbeat Time(s)" + word},
        {"edtModbusTimeout1", "99999", "Poll Timeout" + word},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.control);
        ASSERT_TRUE(Shows(c.control)) << "the recorded module shows every field of the table";
        auto *edit = C<QLineEdit>(c.control);
        const QString was = edit->text();
        edit->setText(QString::fromLatin1(c.text));
        messages.clear();
        const int lines = int(Log().size());
        Click("btn_Q2NetSet");
        EXPECT_EQ(messages, QStringList{c.message});
        EXPECT_EQ(Log().size(), lines) << "nothing sent, nothing logged";
        EXPECT_TRUE(Received(q2rx, 100).isEmpty());
        EXPECT_TRUE(pauses.isEmpty());
        edit->setText(was);
    }
    messages.clear();
    Click("btn_Q2NetSet");
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();
    EXPECT_FALSE(Received(q2rx).isEmpty());
}

// ---------------------------------------------------------------------------------------------
// Against simulated modules

// How the simulated module names the block of a frame.
QString BlockName(uint8_t cmd)
{
    switch (cmd) {
    case CmdWriteBase: return QStringLiteral("base block");
    case CmdWritePort: return QStringLiteral("port block");
    case CmdWriteHeartReg: return QStringLiteral("heartbeat/register block");
    case CmdWriteHttpdUrl: return QStringLiteral("Httpd URL block");
    case CmdWriteHttpdHead: return QStringLiteral("Httpd header block");
    case CmdWriteModbus: return QStringLiteral("Modbus block");
    default: return QStringLiteral("command %1").arg(cmd);
    }
}

struct NetSaveSim : AppFixture {
    TLanSim Sim;

    void SetUp() override
    {
        if (qgetenv("BEXO_IN_NETNS") != "1")
            GTEST_SKIP() << "searches and writes simulated modules: run inside a private network namespace "
                            "(bash scripts/netns-run.sh ...), which sets BEXO_IN_NETNS=1";
        AppFixture::SetUp();
    }

    void StartSim(const QStringList &modules, const QStringList &extra = {})
    {
        ASSERT_TRUE(Sim.Start(modules, extra)) << Sim.Out.toStdString();
        AimEndpoint(Sim.Address, DevPortQ2, Sim.PortQ3);
        Click("btn_Search");
        ASSERT_TRUE(QTest::qWaitFor([&] { return w->DevModel->rowCount() == modules.size(); }, 5000))
            << w->DevModel->rowCount() << " rows";
    }

    int RowOf(const QString &mac)
    {
        for (int i = 0; i < w->DevModel->rowCount(); ++i)
            if (w->DevModel->Row(i)->MacDigits() == mac)
                return i;
        return -1;
    }

    // A click on the module's row and its answers shown on the page.
    void Read(const QString &mac, const QStringList &groups)
    {
        const int before = countOf(LogTexts(), QStringLiteral("Read OK "));
        ClickRow(RowOf(mac));
        ASSERT_TRUE(QTest::qWaitFor([&] { return countOf(LogTexts(), QStringLiteral("Read OK ")) > before; }, 5000));
        for (const QString &g : groups) {
            const QByteArray name = g.toLatin1();
            ASSERT_TRUE(QTest::qWaitFor([&] { return Shows(name.constData()); }, 5000)) << name.constData();
        }
        QTest::qWait(150); // the rest of the module's blocks
        ASSERT_EQ(w->CurrentPage(), PageQ2);
    }

    void TypeName(const QString &name)
    {
        auto *e = C<QLineEdit>("edt_ModName");
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Backspace);
        QTest::keyClicks(e, name);
    }
};

TEST_F(NetSaveSim, writesExactlyThePlannedBlocksForEachGenerationAndModbusGroup)
{
    struct Case {
        const char *what;
        const char *module;
        QStringList groups; // the Modbus groups the module's answer shows
        bool httpd;         // work mode HTTPD Client chosen on the page
        QList<QPair<QString, int>> blocks;
    };
    const QPair<QString, int> base{"base block", 67}, port{"port block", 63}, heart{"heartbeat/register block", 85};
    // A 4016 module comes first: it sends no heartbeat block, so the page's heartbeat fields are
    // still empty; its write does not carry them, and they are not checked.
    const Case cases[] = {
        {"4016 first, heartbeat fields empty", "mac=02BE00000009,version=4016", {}, false, {base, port}},
        {"4017 without Modbus", "mac=02BE00000001,version=4017,blocks=heart", {}, false, {base, port, heart}},
        {"4017 HTTPD Client",
         "mac=02BE00000002,version=4017,blocks=heart+httpd",
         {},
         true,
         {base, port, heart, {"Httpd URL block", 101}, {"Httpd header block", 201}}},
        {"4017 1-byte Modbus", "mac=02BE00000003,version=4017,blocks=heart+mb1", {"rzgrpbxModbus"}, false,
         {base, port, heart, {"Modbus block", 1}}},
        {"4017 4-byte Modbus", "mac=02BE00000004,version=4017,blocks=heart+mb4", {"rzgrpbxModbus"}, false,
         {base, port, heart, {"Modbus block", 4}}},
        {"4017 packing group", "mac=02BE00000005,version=4017,blocks=heart+mbpack", {"RzGroupBox1"}, false,
         {base, port, heart, {"Modbus block", 87}}},
        {"4017 newer group", "mac=02BE00000006,version=4017,blocks=heart+mbnew", {"rzgrpbxModbusNew"}, false,
         {base, port, heart, {"Modbus block", 100}}},
        {"4016 without Modbus", "mac=02BE00000007,version=4016", {}, false, {base, port}},
        {"4016 every Modbus group",
         "mac=02BE00000008,version=4016,blocks=mb4+mbpack+mbnew",
         {"rzgrpbxModbus", "RzGroupBox1", "rzgrpbxModbusNew"},
         false,
         {base, port, {"Modbus block", 4}, {"Modbus block", 87}, {"Modbus block", 100}}},
    };
    QStringList modules;
    for (const Case &c : cases)
        modules << QString::fromLatin1(c.module);
    StartSim(modules);

    int n = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const QString mac = QString::fromLatin1(c.module).section(u',', 0, 0).section(u'=', 1);
        Read(mac, c.groups);
        for (const char *g : {"rzgrpbxModbus", "RzGroupBox1", "rzgrpbxModbusNew"})
            EXPECT_EQ(Shows(g), c.groups.contains(QLatin1String(g))) << g;
        const QString name = QStringLiteral("Saved-%1").arg(++n);
        TypeName(name);
        if (c.httpd)
            C<QComboBox>("cbb_WorkMode0")->setCurrentIndex(4);

        w->ReadPages();
        const TQ2WritePlan plan = PlanQ2Write(w->Q2Model, w->Session->Record(w->SelectedDevice()->Mac));
        ASSERT_EQ(plan.Status, TQ2WriteStatus::Ready) << plan.Message.toStdString();
        QList<QPair<QString, int>> planned;
        QList<int> plannedPauses;
        for (const TPlannedFrame &f : plan.Frames) {
            if (f.Cmd != CmdRestart)
                planned.append({BlockName(f.Cmd), int(f.Payload.size())});
            if (f.PauseAfterMs > 0)
                plannedPauses << f.PauseAfterMs;
        }
        ASSERT_EQ(planned, c.blocks) << "the core's plan for this module";

        pauses.clear();
        const int lines = int(Log().size());
        Click("btn_Q2NetSet");
        EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();
        EXPECT_EQ(pauses, plannedPauses);
        // 500 ms after each block but the Modbus ones, 1500 ms before the restart.
        int total = 0, pausing = 0;
        for (int p : pauses)
            total += p;
        for (const auto &b : c.blocks)
            pausing += b.first != QLatin1String("Modbus block");
        EXPECT_EQ(total, 500 * pausing + 1500);

        // Every block and the restart acknowledged; the answers come after the whole sequence.
        const int frames = int(plan.Frames.size());
        ASSERT_TRUE(QTest::qWaitFor([&] { return countOf(LogTexts().mid(lines), QStringLiteral(" ACK.")) == frames; },
                                    5000))
            << LogTexts().mid(lines).join(u'\n').toStdString();
        const QStringList after = LogTexts().mid(lines);
        EXPECT_EQ(after.indexOf(QStringLiteral(" ACK.")), after.lastIndexOf(QStringLiteral(" Data has been sent")) + 1);
        EXPECT_EQ(countOf(after, QStringLiteral(" Data has been sent")), frames);
        ASSERT_TRUE(Sim.Said(mac + QStringLiteral(": restarting")));

        // The module took exactly the planned bytes, the new name among them.
        QList<QPair<QString, QByteArray>> expected;
        for (const TPlannedFrame &f : plan.Frames)
            if (f.Cmd != CmdRestart)
                expected.append({BlockName(f.Cmd), f.Payload});
        const QList<QPair<QString, QByteArray>> written = Sim.Written(mac);
        EXPECT_EQ(written, expected);
        ASSERT_FALSE(written.isEmpty());
        EXPECT_EQ(written[0].second.mid(21, name.size()), name.toLatin1());
    }
}

TEST_F(NetSaveSim, passwordErrorOpensTheLoginDialog)
{
    StartSim({QStringLiteral("mac=02BE00000011,version=4017")},
             {QStringLiteral("--refuse-writes"), QStringLiteral("P")});
    Read(QStringLiteral("02BE00000011"), {"rzgrpbxModbus", "RzGroupBox1", "rzgrpbxModbusNew"});
    TModalWatcher watcher;
    const int lines = int(Log().size());
    Click("btn_Q2NetSet");
    const int frames = 7; // base, port, heartbeat, three Modbus blocks, restart
    const QString refused = QStringLiteral(" UsrName or Password Error!");
    ASSERT_TRUE(QTest::qWaitFor([&] { return countOf(LogTexts().mid(lines), refused) == frames; }, 5000))
        << LogTexts().mid(lines).join(u'\n').toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !watcher.Opened.isEmpty(); }, 2000));
    EXPECT_EQ(watcher.Opened.first(), QStringLiteral("Frm_Pswd"));
    for (const TShownLine &l : Log().mid(lines)) {
        if (l.Text == refused) {
            EXPECT_EQ(l.Color, Rgb(TLogColor::Red));
        }
    }
    EXPECT_TRUE(Sim.Written(QStringLiteral("02BE00000011")).isEmpty());
}

} // namespace
