#include "SerialFixture.h"
#include "TestUtil.h"
#include "core/Wait.h"

#include <QFile>
#include <QTemporaryDir>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString Occupied = QStringLiteral("log red: Serial is Occupied");
const QString SendFailure = QStringLiteral("log red: Serial Send Failure\uFF0Cplease try again");
const QString Opened = QStringLiteral("log green: Serial is Open");
const QString Closed = QStringLiteral("log green: Serial is Close");
const QString SendOk = QStringLiteral("log green: send OK ");

using SessionFixture = SerialSessionFixture;

} // namespace

TEST_F(SessionFixture, aSessionWithoutAUsablePortReportsOccupiedThenTheSendFailureThenClose)
{
    for (const QString &name : {QString(), QStringLiteral("/dev/bexo-no-such-port")}) {
        log.lines.clear();
        session.PortName = name;
        session.RunSession(Hex("55 BD"));
        EXPECT_EQ(log.lines, QStringList({Occupied, SendFailure, QStringLiteral("wait 2000"), Closed}))
            << name.toStdString();
        EXPECT_FALSE(session.SerialOpened());
        EXPECT_FALSE(comm.IsOpen());
    }
}

TEST_F(SessionFixture, aTwoByteSendTracesThreeStreamLinesAndOneLogLine)
{
    session.StartSerial();
    ASSERT_TRUE(session.SerialOpened());
    EXPECT_EQ(log.lines, QStringList({Opened}));
    log.lines.clear();

    session.SendSerialFrame(Hex("55 BD"));
    EXPECT_EQ(log.lines, QStringList({
                             QStringLiteral("hex blue: [ PC ] \u2192 [ Device ]"),
                             QStringLiteral("hex blue: [ Length : 2 ]"),
                             QStringLiteral("hex green: 55 BD "),
                             SendOk,
                         }));
    EXPECT_EQ(HexOf(fromTool(2)), "55 BD");
}

TEST_F(SessionFixture, aFrameThatCannotBeQueuedLogsTheFailureWithoutATrace)
{
    session.SendSerialFrame(Hex("55 BD")); // not opened
    ASSERT_TRUE(session.OpenSerialPort()); // silent
    session.SendSerialFrame(QByteArray());                // nothing to queue
    session.SendSerialFrame(QByteArray(70000, '\x55'));   // more than one send carries: never cut short
    EXPECT_EQ(log.lines, QStringList({SendFailure, SendFailure, SendFailure}));
    EXPECT_TRUE(fromTool(1, 300).isEmpty());
}

TEST_F(SessionFixture, stopReportsCloseAlsoWhenNothingWasOpen)
{
    session.StopSerial();
    EXPECT_EQ(log.lines, QStringList({Closed}));
    EXPECT_FALSE(session.SerialOpened());
}

TEST_F(SessionFixture, openUsesFixedLineSettingsAndReopensAnOpenPort)
{
    comm.SetStopBits(TStopBits::_2);
    comm.SetParity(TParity::Even);
    comm.SetByteSize(TByteSize::_7);
    session.BaudText = QStringLiteral("115200");
    ASSERT_TRUE(session.OpenSerialPort());
    ASSERT_TRUE(session.OpenSerialPort()); // closes first
    EXPECT_EQ(comm.StopBits(), TStopBits::_1);
    EXPECT_EQ(comm.Parity(), TParity::None);
    EXPECT_EQ(comm.ByteSize(), TByteSize::_8);
    EXPECT_FALSE(comm.ParityCheck());
    const termios t = lineSettings();
    EXPECT_EQ(cfgetospeed(&t), speed_t(B115200));
    EXPECT_FALSE(t.c_cflag & CSTOPB);
    EXPECT_FALSE(t.c_cflag & CRTSCTS); // cm1's flow control stays off
    EXPECT_TRUE(log.lines.isEmpty());
}

TEST_F(SessionFixture, anEmptyPortNameChangesNothing)
{
    ASSERT_TRUE(session.OpenSerialPort());
    session.PortName.clear();
    EXPECT_FALSE(session.OpenSerialPort());
    EXPECT_TRUE(session.SerialOpened());
    EXPECT_TRUE(comm.IsOpen());
}

TEST(SerialSessionBaud, baudTextIsADecimalNumberOr9600)
{
    const struct {
        const char *text;
        uint32_t baud;
    } cases[] = {
        {"115200", 115200}, {"1200", 1200}, {" 9600 ", 9600}, {"Custom", 9600},
        {"", 9600},         {"12a", 9600},  {"-5", 9600},     {"0", 9600},
    };
    for (const auto &c : cases)
        EXPECT_EQ(TSerialSession::BaudFromText(QString::fromLatin1(c.text)), c.baud) << c.text;
}

TEST_F(SessionFixture, repliesDuringTheWaitReachTheReceiveHandlerWhichCanSendAFollowUp)
{
    session.Wait = WaitWithMessages;
    QList<QByteArray> chunks;
    session.OnReceiveData = [&](const uint8_t *buffer, uint16_t length) {
        chunks.append(QByteArray(reinterpret_cast<const char *>(buffer), length));
        EXPECT_EQ(buffer[length], 0);
        if (length == 137)
            session.SendSerialFrame(Hex("55 C1"));
    };
    // The module: a reply to each request, in one go.
    const QByteArray first(137, '\x11'), second(115, '\x22');
    playModule({{2, {first}}, {2, {second}}});
    session.RunSession(Hex("55 BD"));
    finishModule();

    EXPECT_EQ(HexOf(heard), "55 BD 55 C1");
    ASSERT_EQ(chunks.size(), 2);
    EXPECT_EQ(chunks[0], first);
    EXPECT_EQ(chunks[1], second);
    EXPECT_EQ(log.pane(QStringLiteral("log")), QStringList({Opened, SendOk, SendOk, Closed}));
    EXPECT_FALSE(comm.IsOpen());
}

TEST_F(SessionFixture, theWaitAndTheCloseRunAlsoWhenTheSendStepRaises)
{
    EXPECT_THROW(session.RunSession([] { throw std::runtime_error("boom"); }), std::runtime_error);
    EXPECT_EQ(log.lines, QStringList({Opened, QStringLiteral("wait 2000"), Closed}));
    EXPECT_FALSE(comm.IsOpen());
}

// ---- the port list

namespace {

struct PortListFixture : ::testing::Test {
    QStringList ports;
    TSerialPortList list;
    void SetUp() override
    {
        SetSerialPortsProvider([this] { return ports; });
    }
    void TearDown() override { SetSerialPortsProvider(nullptr); }
};

} // namespace

TEST_F(PortListFixture, refreshListsEachPortOnceDropsAVanishedOneAndClearsTheSelection)
{
    ports = {QStringLiteral("ttyUSB0"), QStringLiteral("ttyS0"), QStringLiteral("ttyUSB1")};
    RefreshSerialPorts(list);
    list.ItemIndex = 2;
    RefreshSerialPorts(list);
    EXPECT_EQ(list.Items, ports);
    EXPECT_EQ(list.ItemIndex, -1);
    EXPECT_EQ(list.Text(), QString());

    ports.removeAt(1); // unplugged
    RefreshSerialPorts(list);
    EXPECT_EQ(list.Items, QStringList({QStringLiteral("ttyUSB0"), QStringLiteral("ttyUSB1")}));
}

TEST_F(PortListFixture, closeUpSelectsTheFirstPortOnlyWhenNothingIsSelected)
{
    CloseUpSerialPorts(list); // empty list: nothing to select
    EXPECT_EQ(list.ItemIndex, -1);

    ports = {QStringLiteral("ttyUSB0"), QStringLiteral("ttyUSB1")};
    RefreshSerialPorts(list);
    CloseUpSerialPorts(list);
    EXPECT_EQ(list.Text(), QStringLiteral("ttyUSB0"));

    list.ItemIndex = 1;
    CloseUpSerialPorts(list);
    EXPECT_EQ(list.Text(), QStringLiteral("ttyUSB1"));
}

TEST_F(PortListFixture, choosingTheSerialPageKeepsThePortChosenBeforeWhileItIsListed)
{
    ports = {QStringLiteral("ttyUSB0"), QStringLiteral("ttyUSB1"), QStringLiteral("/dev/pts/7")};
    const struct {
        const char *keep;
        const char *chosen;
    } cases[] = {
        {"ttyUSB1", "ttyUSB1"},   {"/dev/pts/7", "/dev/pts/7"}, {"COM1", "ttyUSB0"}, // gone: the first
        {"", "ttyUSB0"},          {"ttyusb1", "ttyUSB0"},      // names are exact
    };
    for (const auto &c : cases) {
        ChooseSerialPort(list, QLatin1String(c.keep));
        EXPECT_EQ(list.Items, ports);
        EXPECT_EQ(list.Text(), QLatin1String(c.chosen)) << c.keep;
    }
    ports.clear();
    ChooseSerialPort(list, QStringLiteral("ttyUSB0"));
    EXPECT_EQ(list.ItemIndex, -1);
}

TEST_F(PortListFixture, theListedNamesAreNamesThePortOpens)
{
    SetSerialPortsProvider(nullptr); // the system's own list
    for (const QString &name : ListSerialPorts()) {
        EXPECT_FALSE(name.isEmpty());
        EXPECT_FALSE(name.startsWith(QLatin1String("/dev/"))) << name.toStdString(); // the short form
        EXPECT_TRUE(QFile::exists(QStringLiteral("/dev/") + name)) << name.toStdString();
    }
}

TEST_F(PortListFixture, portsNamedInTheEnvironmentFollowTheSystemsOwnWhileTheyExist)
{
    SetSerialPortsProvider(nullptr);
    const QByteArray saved = qgetenv(ExtraSerialPortsVariable);
    const bool wasSet = qEnvironmentVariableIsSet(ExtraSerialPortsVariable);
    qunsetenv(ExtraSerialPortsVariable);
    const QStringList system = ListSerialPorts();

    QTemporaryDir dir;
    const QString a = dir.filePath(QStringLiteral("ttyA")), b = dir.filePath(QStringLiteral("ttyB"));
    for (const QString &path : {a, b}) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    // Empty entries, a missing path and a repeated one are left out.
    const QString missing = dir.filePath(QStringLiteral("gone"));
    qputenv(ExtraSerialPortsVariable, (a + "::" + missing + ':' + a + ':' + b).toUtf8());
    EXPECT_EQ(ListSerialPorts(), system + QStringList({a, b}));
    // A port whose simulator has ended (its link removed) leaves the list.
    QFile::remove(a);
    EXPECT_EQ(ListSerialPorts(), system + QStringList({b}));

    if (wasSet)
        qputenv(ExtraSerialPortsVariable, saved);
    else
        qunsetenv(ExtraSerialPortsVariable);
}

// The words for a port this user may not open: the group and how to join it, or that only the owner
// may open it. (The open itself is refused only for a user; the e2e and widget tests run as one.)
TEST(SerialPermission, theTextNamesTheDevicesGroupAndTheCommandThatAddsTheUser)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "gives the file to a group: root only";
    InitLanguage(QString());
    LangList->IsChinese = false;
    QTemporaryDir dir;
    const QString port = dir.filePath(QStringLiteral("ttyFake"));
    {
        QFile f(port);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    const group *dialout = getgrnam("dialout");
    ASSERT_NE(dialout, nullptr);
    const QByteArray path = QFile::encodeName(port);
    const struct {
        gid_t group;
        mode_t mode;
        QString text;
    } cases[] = {
        {dialout->gr_gid, 0660,
         QStringLiteral("No permission to open the serial port %1: it belongs to the group dialout, which this user is "
                        "not in. Add the user to it with \"sudo adduser $USER dialout\", then log in again.")
             .arg(port)},
        {dialout->gr_gid, 0600, QStringLiteral("No permission to open the serial port %1: only its owner root may open it.").arg(port)},
    };
    for (const auto &c : cases) {
        ASSERT_EQ(chown(path.constData(), 0, c.group), 0);
        ASSERT_EQ(chmod(path.constData(), c.mode), 0);
        EXPECT_EQ(SerialPermissionText(port), c.text);
    }
    LangList->IsChinese = true;
    ASSERT_EQ(chmod(path.constData(), 0660), 0);
    EXPECT_TRUE(SerialPermissionText(port).contains(QStringLiteral("sudo adduser $USER dialout")));
    // A port that is gone: the usual group of serial ports is named.
    EXPECT_TRUE(SerialPermissionText(dir.filePath(QStringLiteral("gone"))).contains(QStringLiteral("dialout")));
    FreeLanguage();
}
