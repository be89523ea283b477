// The COM tab and the serial buttons: the tab's widgets reach the serial session and protocol of
// the core, and what those report comes back into both panes and the page views. Against the
// simulated module (bexo-z0-sim serial) on a pseudo-terminal; the listening wait ends as soon as
// the answers a test waits for are in.
#include "DialogTestUtil.h"
#include "MainFixture.h"
#include "PtyFixture.h"
#include "SimSerialProcess.h"
#include "TestUtil.h"
#include "gui/BaudInput.h"
#include "gui/Q1PageView.h"
#include "gui/Q2PageView.h"
#include "gui/SerialTab.h"
#include "serial/Comm.h"
#include "serial/SerialProtocol.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <QProcess>
#include <optional>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString Opened = QStringLiteral("green: Serial is Open");
const QString Closed = QStringLiteral("green: Serial is Close");
const QString SendOk = QStringLiteral("green: send OK ");
const QString ReadOk = QStringLiteral("green: Read OK ");
const QString SetupOk = QStringLiteral("green: setup success");
const QString Occupied = QStringLiteral("red: Serial is Occupied");
const QString NoReply = QStringLiteral("red: No module answered on the serial line: check that its CFG pin is "
                                       "connected to GND, the cable, the port and the baud rate.");
const QString SendFailure = QStringLiteral("red: Serial Send Failure\uFF0Cplease try again");
const QString SendDir = QStringLiteral("blue: [ PC ] \u2192 [ Device ]");
const QString RecvDir = QStringLiteral("green: [ PC ] \u2190 [ Device ]");

QString SendLen(int n) { return QStringLiteral("blue: [ Length : %1 ]").arg(n); }
QString RecvLen(int n) { return QStringLiteral("green: [ Length : %1 ]").arg(n); }

QString ColourName(const QColor &c)
{
    for (auto [colour, name] : {std::pair{TLogColor::Green, "green"}, std::pair{TLogColor::Red, "red"},
                                std::pair{TLogColor::Blue, "blue"}, std::pair{TLogColor::Maroon, "maroon"}})
        if (c == Rgb(colour))
            return QLatin1String(name);
    return QStringLiteral("?");
}

// A pane's lines as "colour: text".
QStringList PaneLines(TLogPanes *panes, QPlainTextEdit *memo)
{
    QStringList out;
    for (const TShownLine &l : ShownLines(panes, memo))
        out << ColourName(l.Color) + QStringLiteral(": ") + l.Text;
    return out;
}

// The hex lines of a trace stand for bytes the core's tests check; here only their place counts.
QStringList WithoutDumps(QStringList lines)
{
    for (int i = 2; i < lines.size(); i += 3)
        lines[i] = lines[i].section(u' ', 0, 2).trimmed(); // "green: 55 BD"
    return lines;
}

// The COM tab as the main window has it: the search column, both panes, the two page views (on the
// COM tab) and the controller, with the window's page hooks played by the fixture.
struct SerialTabFixture : ::testing::Test {
    TLangScope lang {false};
    TQ1Page q1;
    TQ2Page q2;
    TComm comm;
    std::unique_ptr<QWidget> root = std::make_unique<QWidget>();
    TSearchColumn *column = new TSearchColumn(root.get());
    TLogPanes *panes = new TLogPanes(root.get());
    TQ1PageView *q1View = nullptr;
    TQ2PageView *q2View = nullptr;
    std::unique_ptr<TSerialTab> tab;

    QList<int> shown;          // ShowPage calls
    int pageReads = 0;         // ReadPages calls
    QList<bool> readButtonInWait; // btn_ComRead's enabled state while each session listens
    std::function<bool()> done = [] { return true; }; // ends the listening wait early
    std::function<void()> duringWait;                  // runs once inside the next wait

    void SetUp() override
    {
        q1View = new TQ1PageView(q1, root.get());
        q2View = new TQ2PageView(q2, root.get());
        auto *layout = new QVBoxLayout(root.get());
        for (QWidget *w : std::initializer_list<QWidget *>{column, panes, q1View, q2View})
            layout->addWidget(w);
        q1View->SetComTab(true);
        q2View->SetComTab(true);

        ApplyCm1Properties(comm);
        tab = std::make_unique<TSerialTab>(comm, *panes, q2, q1, column);
        tab->ShowPage = [this](int mode) { shown << mode; };
        tab->RefreshPages = [this] {
            q1View->ShowModel();
            q2View->ShowModel();
        };
        tab->ReadPages = [this] {
            ++pageReads;
            q1View->ReadModel();
            q2View->ReadModel();
        };
        tab->ClearPanes = [this] { panes->Clear(); };
        // The window's btn_Click: every button reaches the controller.
        for (QPushButton *b : {column->btn_ComRead, q1View->ComSetButton(), q2View->ComSetButton()})
            QObject::connect(b, &QPushButton::clicked, tab.get(), [this, b] { tab->Click(b); });
        tab->Session().Wait = [this](int ms) {
            readButtonInWait << column->btn_ComRead->isEnabled();
            if (auto once = std::exchange(duringWait, nullptr))
                once();
            PumpUntil(done, ms);
        };
        // Still a blocking pause (the acknowledgements wait for the listening wait), only shorter.
        tab->Protocol().Pause = [](int) { QThread::msleep(20); };
    }
    void TearDown() override
    {
        tab.reset();
        SetSerialPortsProvider({});
        SetBaudPrompt({});
    }

    // The port list offers this port and the COM tab is chosen: it is selected.
    void UsePort(const QString &port)
    {
        SetSerialPortsProvider([port] { return QStringList{port}; });
        tab->TabChosen();
        ASSERT_EQ(column->cbb_SelectCom->currentText(), port);
    }
    // The wait ends once n more acknowledgements came.
    void WaitForAcks(int n)
    {
        const int start = tab->Protocol().AckCount;
        done = [this, start, n] { return tab->Protocol().AckCount >= start + n; };
    }

    QStringList Log() { return PaneLines(panes, panes->Memo1()); }
    QStringList Hex() { return PaneLines(panes, panes->Memo2()); }
    template <typename T = QLineEdit>
    T *Q1(const char *name) { return Ctl<T>(q1View, name); }
    template <typename T = QLineEdit>
    T *Q2(const char *name) { return Ctl<T>(q2View, name); }
};

TEST_F(SerialTabFixture, aQ1OrQ3ReadFillsTheQ1PageAndTracesBothPanes)
{
    const struct {
        QRadioButton *TSearchColumn::*radio;
        const char *model;
        const char *moduleIP;
    } cases[] = {{&TSearchColumn::rbQ1, "q1", "192.168.0.7"}, {&TSearchColumn::rbQ3, "q3", "192.168.0.8"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.model);
        SimSerialProcess sim;
        ASSERT_TRUE(sim.start({QStringLiteral("--model"), QLatin1String(c.model)})) << sim.log().toStdString();
        UsePort(sim.port);
        (column->*c.radio)->setChecked(true);
        q1 = TQ1Page();
        q1View->ShowModel();
        shown.clear();
        readButtonInWait.clear();
        panes->AddLog(QStringLiteral("before the read"), TLogColor::Maroon);
        done = [this] { return !tab->Protocol().LastQ1Reply.isEmpty(); };
        tab->Protocol().LastQ1Reply.clear();

        column->btn_ComRead->click();

        EXPECT_EQ(Log(), QStringList({Opened, SendOk, ReadOk, Closed})) << "the panes were cleared first";
        EXPECT_EQ(WithoutDumps(Hex()), QStringList({SendDir, SendLen(2), QStringLiteral("green: 55 BC"), RecvDir,
                                                    RecvLen(32), QStringLiteral("green: 55 BC")}));
        EXPECT_EQ(readButtonInWait, QList<bool>({false}));
        EXPECT_TRUE(column->btn_ComRead->isEnabled());
        EXPECT_EQ(shown, QList<int>({PageQ1}));
        EXPECT_EQ(Q1<QComboBox>("cbb_ModuleWork")->currentText(), QStringLiteral("TCP Client"));
        EXPECT_EQ(Q1("edt_ModuleIP")->text(), QLatin1String(c.moduleIP));
        EXPECT_EQ(Q1("edt_ModulePort")->text(), QStringLiteral("20108"));
        EXPECT_EQ(Q1("edt_DeIP")->text(), QStringLiteral("192.168.0.201"));
        EXPECT_EQ(Q1("edt_DePort")->text(), QStringLiteral("8234"));
        EXPECT_TRUE(Q1("edt_DeIP")->isEnabled()) << "TCP Client sends to the destination";
        EXPECT_EQ(Q1<QComboBox>("cbb_BaudRate")->currentText(), QStringLiteral("115200"));
        EXPECT_TRUE(Q1<QCheckBox>("chk_RS485")->isChecked());
        EXPECT_FALSE(Q1<QCheckBox>("chk_RS422")->isChecked());
        EXPECT_TRUE(sim.log().contains(QStringLiteral("read request: %1 parameters").arg(QLatin1String(c.model))));
    }
}

TEST_F(SerialTabFixture, aQ1WriteSendsTheEditedWidgetsAndAnEmptyIdGoesOutAsZero)
{
    SimSerialProcess sim;
    ASSERT_TRUE(sim.start({QStringLiteral("--model"), QStringLiteral("q1")})) << sim.log().toStdString();
    UsePort(sim.port);
    column->rbQ1->setChecked(true);
    done = [this] { return !tab->Protocol().LastQ1Reply.isEmpty(); };
    column->btn_ComRead->click();
    ASSERT_EQ(shown, QList<int>({PageQ1}));

    Q1("edt_DePort")->setText(QStringLiteral("9000"));
    Q1<QComboBox>("cbb_ModuleWork")->setCurrentIndex(2); // UDP Server
    Q1("edt_ID")->clear();
    panes->AddLog(QStringLiteral("kept"), TLogColor::Maroon);
    readButtonInWait.clear();
    WaitForAcks(1);
    q1View->ComSetButton()->click();

    EXPECT_EQ(pageReads, 1);
    EXPECT_EQ(Log().mid(4), QStringList({QStringLiteral("maroon: kept"), Opened, SendOk, SetupOk, Closed}))
        << "a write keeps the panes";
    EXPECT_EQ(WithoutDumps(Hex()).mid(6), QStringList({SendDir, SendLen(31), QStringLiteral("green: 55 BA"), RecvDir,
                                                       RecvLen(1), QStringLiteral("green: 4B")}));
    EXPECT_EQ(readButtonInWait, QList<bool>({true})) << "only the read button is disabled for its session";
    EXPECT_EQ(Q1("edt_ID")->text(), QStringLiteral("0"));
    EXPECT_TRUE(sim.log().contains(QLatin1String("wrote fields")));

    // What the module kept comes back into the page.
    q1 = TQ1Page();
    q1View->ShowModel();
    tab->Protocol().LastQ1Reply.clear();
    done = [this] { return !tab->Protocol().LastQ1Reply.isEmpty(); };
    column->btn_ComRead->click();
    EXPECT_EQ(Q1("edt_DePort")->text(), QStringLiteral("9000"));
    EXPECT_EQ(Q1<QComboBox>("cbb_ModuleWork")->currentText(), QStringLiteral("UDP Server"));
    EXPECT_FALSE(Q1("edt_DeIP")->isEnabled()) << "a server has no destination";
    EXPECT_EQ(Q1("edt_ID")->text(), QStringLiteral("0"));
}

// Save with a value the module's bytes cannot carry: the message box says which and why, the port
// is not even opened, and the module receives nothing; both serial pages.
TEST_F(SerialTabFixture, aValueTheModuleCannotCarryIsRefusedBeforeThePortOpens)
{
    QStringList boxes;
    tab->ShowMessage = [&](const QString &m) { boxes << m; };
    const QString notIPv4 =
        QStringLiteral(" is not a valid IPv4 address, please enter four numbers from 0 to 255 separated by dots!");
    const struct {
        const char *model;
        QRadioButton *TSearchColumn::*radio;
        bool q2;
        const char *control;
        const char *text;
        QString message;
    } cases[] = {
        {"q1", &TSearchColumn::rbQ1, false, "edt_ModuleIP", "999.1.1.1", "Module IP" + notIPv4},
        {"q1", &TSearchColumn::rbQ1, false, "edt_DePort", "99999",
         QStringLiteral("Remote Port is out of range, please enter a number from 0 to 65535!")},
        {"q2", &TSearchColumn::rbQ2, true, "edt_GatewayIP", "10.77.5", "Gateway" + notIPv4},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.control);
        SimSerialProcess sim;
        ASSERT_TRUE(sim.start({QStringLiteral("--model"), QLatin1String(c.model)})) << sim.log().toStdString();
        UsePort(sim.port);
        (column->*c.radio)->setChecked(true);
        done = [this, q2 = c.q2] {
            return q2 ? !tab->Protocol().LastExtra.isEmpty() : !tab->Protocol().LastQ1Reply.isEmpty();
        };
        tab->Protocol().LastQ1Reply.clear();
        tab->Protocol().LastExtra.clear();
        column->btn_ComRead->click();
        ASSERT_FALSE(c.q2 ? tab->Protocol().LastExtra.isEmpty() : tab->Protocol().LastQ1Reply.isEmpty());

        (c.q2 ? Q2(c.control) : Q1(c.control))->setText(QString::fromLatin1(c.text));
        boxes.clear();
        const QStringList logBefore = Log(), hexBefore = Hex();
        (c.q2 ? q2View->ComSetButton() : q1View->ComSetButton())->click();
        EXPECT_EQ(boxes, QStringList{c.message});
        EXPECT_EQ(Log(), logBefore) << "the port was not opened";
        EXPECT_EQ(Hex(), hexBefore) << "nothing was sent";
        QTest::qWait(300);
        EXPECT_FALSE(sim.log().contains(QLatin1String("wrote"))) << sim.log().toStdString();
    }
}

TEST_F(SerialTabFixture, aQ2ReadAndWriteGoThroughTheQ2Page)
{
    SimSerialProcess sim;
    ASSERT_TRUE(sim.start({QStringLiteral("--model"), QStringLiteral("q2")})) << sim.log().toStdString();
    UsePort(sim.port);
    ASSERT_TRUE(column->rbQ2->isChecked()) << "the serial page starts on Q2";
    done = [this] { return !tab->Protocol().LastExtra.isEmpty(); };
    column->btn_ComRead->click();

    EXPECT_EQ(Log(), QStringList({Opened, SendOk, ReadOk, SendOk, Closed}));
    EXPECT_EQ(WithoutDumps(Hex()),
              QStringList({SendDir, SendLen(2), QStringLiteral("green: 55 BD"), RecvDir, RecvLen(137),
                           QStringLiteral("green: 55 BD"), SendDir, SendLen(2), QStringLiteral("green: 55 C1"), RecvDir,
                           RecvLen(115), QStringLiteral("green: 55 C1")}));
    EXPECT_EQ(shown, QList<int>({PageQ2}));
    EXPECT_EQ(Q2("edt_ModName")->text(), QStringLiteral("Serial-Q2"));
    EXPECT_EQ(Q2("edt_LocalPort0")->text(), QStringLiteral("20108"));
    EXPECT_EQ(Q2<QComboBox>("cbb_BaudRate0")->currentText(), QStringLiteral("115200"));
    EXPECT_EQ(Q2("edtDid")->text(), QStringLiteral("00000000000000000001"));
    EXPECT_EQ(Q2("edtHeartTm")->text(), QStringLiteral("30"));

    Q2("edt_ModName")->setText(QStringLiteral("Renamed"));
    Q2("edt_LocalPort0")->setText(QStringLiteral("6002"));
    WaitForAcks(3);
    q2View->ComSetButton()->click();
    EXPECT_EQ(pageReads, 1);
    EXPECT_EQ(Log().mid(5), QStringList({Opened, SendOk, SendOk, SendOk, SetupOk, SetupOk, SetupOk, Closed}));
    const QStringList hex = WithoutDumps(Hex()).mid(12, 9);
    EXPECT_EQ(hex, QStringList({SendDir, SendLen(70), QStringLiteral("green: 55 BE"), SendDir, SendLen(66),
                                QStringLiteral("green: 55 BF"), SendDir, SendLen(3), QStringLiteral("green: 55 B1")}));
    EXPECT_TRUE(sim.log().contains(QLatin1String("write finished, settings kept")));

    Q2("edt_ModName")->clear();
    tab->Protocol().LastExtra.clear();
    done = [this] { return !tab->Protocol().LastExtra.isEmpty(); };
    column->btn_ComRead->click();
    EXPECT_EQ(Q2("edt_ModName")->text(), QStringLiteral("Renamed"));
    EXPECT_EQ(Q2("edt_LocalPort0")->text(), QStringLiteral("6002"));
}

TEST_F(SerialTabFixture, aBusyPortOrNoPortReportsTheFailuresAndGivesTheButtonBack)
{
    TPtyPair pty;
    QString error;
    ASSERT_TRUE(pty.Open(&error)) << error.toStdString();
    TComm holder; // another program has the port
    holder.SetCommName(pty.SlavePath());
    ASSERT_NO_THROW(holder.OpenPort());

    const struct {
        const char *what;
        QStringList ports;
    } cases[] = {{"busy port", {pty.SlavePath()}}, {"no port", {}}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        SetSerialPortsProvider([&c] { return c.ports; });
        tab->TabChosen();
        EXPECT_EQ(column->cbb_SelectCom->currentText(), c.ports.value(0));
        panes->AddHex(QStringLiteral("before"), TLogColor::Green);
        readButtonInWait.clear();
        column->btn_ComRead->click();
        EXPECT_EQ(Log(), QStringList({Occupied, SendFailure, Closed}));
        EXPECT_TRUE(Hex().isEmpty());
        EXPECT_EQ(readButtonInWait, QList<bool>({false}));
        EXPECT_TRUE(column->btn_ComRead->isEnabled());
        EXPECT_TRUE(shown.isEmpty());
    }
    EXPECT_TRUE(pty.ReadAvailable().isEmpty()) << "nothing reached the port";
}

TEST_F(SerialTabFixture, theCustomBaudEntryAsksAndTheSessionOpensAtTheChosenRate)
{
    TPtyPair pty;
    QString error;
    ASSERT_TRUE(pty.Open(&error)) << error.toStdString();
    UsePort(pty.SlavePath());
    QComboBox *baud = column->cbbSoftBitRate;
    EXPECT_EQ(baud->currentText(), QStringLiteral("9600"));
    EXPECT_EQ(baud->count(), 16);
    EXPECT_EQ(baud->itemText(1), QStringLiteral("Custom"));

    const struct {
        std::optional<QString> answer;
        int index;
        const char *item0;
        uint32_t opened;
    } cases[] = {{QStringLiteral("250000"), 0, "250000", 250000},
                 {QStringLiteral("abc"), 6, "115200", 9600},
                 {std::nullopt, 0, "115200", 115200},
                 {QString(), 6, "115200", 9600}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.answer.value_or(QStringLiteral("(cancelled)")).toStdString());
        baud->setItemText(0, QStringLiteral("115200"));
        baud->setCurrentIndex(6);
        QStringList asked;
        SetBaudPrompt([&](QWidget *, const QString &title, const QString &prompt, const QString &text) {
            asked << title << prompt << text;
            return c.answer;
        });
        baud->setCurrentIndex(1);
        EXPECT_EQ(asked, QStringList({QStringLiteral("Diy Baud Rate"), QStringLiteral("Please Input your Baud Rate :"),
                                      QStringLiteral("115200")}));
        EXPECT_EQ(baud->currentIndex(), c.index);
        EXPECT_EQ(baud->itemText(0), QLatin1String(c.item0));
        EXPECT_EQ(baud->itemText(1), QStringLiteral("Custom"));

        column->btn_ComRead->click();
        EXPECT_EQ(comm.BaudRate(), c.opened);
        EXPECT_EQ(Log().first(), Opened);
    }
}

TEST_F(SerialTabFixture, thePortListIsRefilledOnDropDownAndTheFirstPortTakenOnCloseUp)
{
    TDropDownComboBox *ports = column->cbb_SelectCom;
    auto items = [ports] {
        QStringList l;
        for (int i = 0; i < ports->count(); ++i)
            l << ports->itemText(i);
        return l;
    };
    SetSerialPortsProvider([] { return QStringList{"ttyS0", "ttyUSB1"}; });
    tab->TabChosen();
    EXPECT_EQ(items(), QStringList({"ttyS0", "ttyUSB1"}));
    EXPECT_EQ(ports->currentText(), QStringLiteral("ttyS0"));

    ports->setCurrentIndex(1);
    ports->showPopup();
    EXPECT_EQ(items(), QStringList({"ttyS0", "ttyUSB1"})) << "each port once";
    EXPECT_EQ(ports->currentIndex(), -1) << "refilled without a selection";
    ports->hidePopup();
    EXPECT_EQ(ports->currentText(), QStringLiteral("ttyS0"));

    // A port unplugged in between is gone; with no port at all nothing is selected.
    SetSerialPortsProvider([] { return QStringList{"ttyUSB1"}; });
    ports->showPopup();
    ports->hidePopup();
    EXPECT_EQ(items(), QStringList({"ttyUSB1"}));
    EXPECT_EQ(ports->currentText(), QStringLiteral("ttyUSB1"));
    SetSerialPortsProvider([] { return QStringList(); });
    ports->showPopup();
    ports->hidePopup();
    EXPECT_EQ(ports->count(), 0);
    EXPECT_EQ(ports->currentIndex(), -1);
}

TEST_F(SerialTabFixture, aSerialButtonClickedWhileAnExchangeListensIsIgnored)
{
    TPtyPair pty;
    QString error;
    ASSERT_TRUE(pty.Open(&error)) << error.toStdString();
    UsePort(pty.SlavePath());
    duringWait = [this] {
        EXPECT_TRUE(tab->Busy());
        q1View->ComSetButton()->click();
        q2View->ComSetButton()->click();
        EXPECT_TRUE(tab->Click(column->btn_ComRead));
    };
    QByteArray heard;
    done = [&] {
        heard += pty.ReadAvailable();
        return heard.size() >= 2 * readButtonInWait.size(); // each wait ends on its request
    };
    column->btn_ComRead->click();
    // Nothing answers on the bare pseudo-terminal: both kinds of module are asked, in one session.
    EXPECT_EQ(Log(), QStringList({Opened, SendOk, SendOk, NoReply, Closed}));
    EXPECT_EQ(readButtonInWait.size(), 2);
    EXPECT_EQ(pageReads, 0);
    EXPECT_FALSE(tab->Busy());
    EXPECT_EQ(heard.toHex(' '), QByteArray("55 bd 55 bc")) << "the read requests only";

    QObject other;
    other.setObjectName(QStringLiteral("btn_Q2NetSet"));
    EXPECT_FALSE(tab->Click(&other));
    EXPECT_FALSE(tab->Click(nullptr));
}

// A port of a group this user is not in: the COM tab says so, names the group and how to join it,
// instead of calling the port occupied. Root opens every port, so the read runs again as nobody.
TEST_F(SerialTabFixture, aPortOfAGroupTheUserIsNotInIsNotCalledOccupied)
{
    const char *portVariable = "BEXO_TEST_DENIED_PORT";
    if (geteuid() != 0) {
        const QString port = qEnvironmentVariable(portVariable);
        if (port.isEmpty())
            GTEST_SKIP() << "runs as root, which repeats it as a user";
        UsePort(port);
        column->btn_ComRead->click();
        const QStringList log = Log();
        ASSERT_FALSE(log.isEmpty());
        EXPECT_EQ(log.first(), QStringLiteral("red: No permission to open the serial port %1: it belongs to the group "
                                              "dialout, which this user is not in. Add the user to it with \"sudo "
                                              "adduser $USER dialout\", then log in again.")
                                   .arg(port));
        EXPECT_FALSE(log.contains(Occupied));
        EXPECT_EQ(log.last(), Closed);
        return;
    }
    TPtyPair pty;
    QString error;
    ASSERT_TRUE(pty.Open(&error)) << error.toStdString();
    const group *dialout = getgrnam("dialout");
    ASSERT_NE(dialout, nullptr);
    const QByteArray slave = QFile::encodeName(pty.SlavePath());
    ASSERT_EQ(chown(slave.constData(), 0, dialout->gr_gid), 0);
    ASSERT_EQ(chmod(slave.constData(), 0660), 0);
    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QLatin1String(portVariable), pty.SlavePath());
    child.setProcessEnvironment(env);
    child.start(QStringLiteral("setpriv"),
                {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups"),
                 QStringLiteral("--"), QCoreApplication::applicationFilePath(),
                 QStringLiteral("--gtest_filter=SerialTabFixture.aPortOfAGroupTheUserIsNotInIsNotCalledOccupied")});
    ASSERT_TRUE(child.waitForFinished(60000));
    const QString out = QString::fromLocal8Bit(child.readAll());
    EXPECT_EQ(child.exitCode(), 0) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("[  PASSED  ] 1 test."))) << out.toStdString();
}

// ---- In the main window

using SerialTabInMainWindow = MainFixture;

TEST_F(SerialTabInMainWindow, theComTabAndTheSerialButtonsReachTheController)
{
    SimSerialProcess sim;
    ASSERT_TRUE(sim.start({QStringLiteral("--model"), QStringLiteral("q2")})) << sim.log().toStdString();
    SetSerialPortsProvider([&sim] { return QStringList{sim.port}; });
    w->rzpgcntrl_Srch->setCurrentIndex(TSearchColumn::TabCom);
    ASSERT_EQ(w->rzpgcntrl_Srch->cbb_SelectCom->currentText(), sim.port);
    TSerialProtocol &proto = w->SerialTab->Protocol();
    w->SerialTab->Session().Wait = [&proto](int ms) { PumpUntil([&] { return !proto.LastExtra.isEmpty(); }, ms); };

    QTest::mouseClick(w->rzpgcntrl_Srch->btn_ComRead, Qt::LeftButton);
    QStringList log;
    for (const TShownLine &l : Log())
        log << l.Text;
    EXPECT_EQ(log, QStringList({"Serial is Open", "send OK ", "Read OK ", "send OK ", "Serial is Close"}))
        << "the tab's maroon line went with the cleared panes";
    EXPECT_EQ(Hex().size(), 12);
    EXPECT_EQ(w->CurrentPage(), PageQ2);
    EXPECT_EQ(w->Q2Model.edt_ModName.Text, QStringLiteral("Serial-Q2"));

    // The write buttons come through btn_Click by name, with what the user typed on the page.
    w->findChild<QLineEdit *>(QStringLiteral("edt_ModName"))->setText(QStringLiteral("From-Hub"));
    const int acks = proto.AckCount;
    w->SerialTab->Session().Wait = [&](int ms) { PumpUntil([&] { return proto.AckCount >= acks + 3; }, ms); };
    QObject q2ComSet;
    q2ComSet.setObjectName(QStringLiteral("btn_Q2ComSet"));
    w->btn_Click(&q2ComSet);
    EXPECT_EQ(proto.AckCount, acks + 3);
    EXPECT_TRUE(sim.log().contains(QString::fromLatin1(QByteArray("From-Hub").toHex(' ').toUpper())))
        << sim.log().toStdString();
}

// Pictures for people to look at (build/screenshots): both panes after a serial read and a busy
// port, in both languages.
TEST_F(SerialTabInMainWindow, shotsOfBothPanesAfterSerialExchanges)
{
    for (bool chinese : {false, true}) {
        Create(chinese ? "Language=1\r\n" : "Language=0\r\n");
        SimSerialProcess sim;
        ASSERT_TRUE(sim.start({QStringLiteral("--model"), QStringLiteral("q1")})) << sim.log().toStdString();
        SetSerialPortsProvider([&sim] { return QStringList{sim.port}; });
        w->rzpgcntrl_Srch->setCurrentIndex(TSearchColumn::TabCom);
        w->rzpgcntrl_Srch->rbQ1->setChecked(true);
        TSerialProtocol &proto = w->SerialTab->Protocol();
        w->SerialTab->Session().Wait = [&proto](int ms) {
            PumpUntil([&] { return !proto.LastQ1Reply.isEmpty(); }, ms);
        };
        QTest::mouseClick(w->rzpgcntrl_Srch->btn_ComRead, Qt::LeftButton);
        ASSERT_EQ(w->CurrentPage(), PageQ1);
        // The same port held elsewhere: the red lines after the green ones.
        TComm holder;
        holder.SetCommName(sim.port);
        ASSERT_NO_THROW(holder.OpenPort());
        w->SerialTab->Session().Wait = [](int) {};
        QObject comSet;
        comSet.setObjectName(QStringLiteral("btn_ComSet"));
        w->btn_Click(&comSet);
        const QString lang = chinese ? QStringLiteral("zh") : QStringLiteral("en");
        for (int pane : {0, 1}) {
            w->rzpgcntrl_Logs->setCurrentIndex(pane);
            QApplication::processEvents();
            w->rzpgcntrl_Logs->Flush();
            EXPECT_FALSE(SaveShot(w.get(), QStringLiteral("serial_%1_%2").arg(pane ? "hex" : "log", lang)).isEmpty());
        }
    }
}

} // namespace
