#include "PtyFixture.h"
#include "TestUtil.h"
#include "serial/Comm.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <atomic>

namespace {

// Removes the test hook when the test ends, however it ends.
struct HookGuard {
    explicit HookGuard(std::function<bool(TCommTestPoint)> hook) { TComm::SetTestHook(std::move(hook)); }
    ~HookGuard() { TComm::SetTestHook(nullptr); }
};

struct CommFixture : PtyFixture {
    TComm comm;
    QList<QByteArray> chunks;
    int zeroMissing = 0; // chunks whose byte after the last was not 0
    int empties = 0;
    int hangups = 0;

    void SetUp() override
    {
        PtyFixture::SetUp();
        ApplyCm1Properties(comm);
        comm.SetCommName(path());
        hook(comm);
    }
    void hook(TComm &c)
    {
        c.OnReceiveData = [this](TComm *, const uint8_t *buffer, uint16_t length) {
            chunks.append(QByteArray(reinterpret_cast<const char *>(buffer), length));
            if (buffer[length] != 0)
                ++zeroMissing;
        };
        c.OnSendDataEmpty = [this](TComm *) { ++empties; };
        c.OnRequestHangup = [this](TComm *) { ++hangups; };
    }
    void open()
    {
        ASSERT_NO_THROW(comm.OpenPort());
        ASSERT_TRUE(comm.IsOpen());
    }
    bool waitChunks(int n, int timeoutMs = 3000)
    {
        return PumpUntil([&] { return chunks.size() >= n; }, timeoutMs);
    }
    QString openError(TComm &c)
    {
        try {
            c.OpenPort();
        } catch (const ECommsError &e) {
            return e.Message();
        }
        return QStringLiteral("(opened)");
    }
};

QByteArray Filled(int n, char first)
{
    QByteArray b(n, '\0');
    for (int i = 0; i < n; ++i)
        b[i] = char(first + i % 23);
    return b;
}

} // namespace

TEST(CommProperties, constructorAndCm1Values)
{
    TComm comm;
    EXPECT_EQ(comm.ComHandle(), 0u);
    EXPECT_EQ(comm.CommName(), QStringLiteral("COM1"));
    EXPECT_EQ(comm.BaudRate(), 9600u);
    EXPECT_TRUE(comm.Outx_CtsFlow());
    EXPECT_TRUE(comm.Outx_DsrFlow());
    EXPECT_TRUE(comm.TxContinueOnXoff());
    EXPECT_EQ(comm.DtrControl(), TDtrControl::DtrEnable);
    EXPECT_EQ(comm.RtsControl(), TRtsControl::RtsEnable);
    EXPECT_EQ(comm.XonLimit(), 10);
    EXPECT_EQ(comm.XoffLimit(), 10);
    EXPECT_EQ(comm.XonChar(), 17);
    EXPECT_EQ(comm.XoffChar(), 19);
    EXPECT_EQ(comm.ReadIntervalTimeout(), 10u);
    EXPECT_FALSE(comm.OnReceiveData);

    ApplyCm1Properties(comm);
    EXPECT_FALSE(comm.Outx_CtsFlow());
    EXPECT_FALSE(comm.Outx_DsrFlow());
    EXPECT_FALSE(comm.TxContinueOnXoff());
    EXPECT_EQ(comm.ReadIntervalTimeout(), 50u);
    EXPECT_EQ(comm.BaudRate(), 9600u);
    EXPECT_EQ(comm.ByteSize(), TByteSize::_8);
    EXPECT_EQ(comm.Parity(), TParity::None);
    EXPECT_EQ(comm.StopBits(), TStopBits::_1);
    EXPECT_EQ(comm.ReadTotalTimeoutConstant(), 0u);
    EXPECT_EQ(comm.WriteTotalTimeoutConstant(), 0u);
}

// ---- opening and closing

TEST_F(CommFixture, openFailureNamesTheCauseLeavesItClosedAndAValidNameOpensAfterwards)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("plain"));
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    const struct {
        QString name;
        const char *message;
    } cases[] = {
        {QStringLiteral("/dev/bexo-no-such-port"), "Error opening serial port"},
        {QStringLiteral("bexo-no-such-port"), "Error opening serial port"},
        {QString(), "Error opening serial port"},
        {file, "File handle is not a comm handle "},
        {dir.path(), "File handle is not a comm handle "},
        {QStringLiteral("/dev/null"), "Cannot setup comm buffer"},
    };
    for (const auto &c : cases) {
        TComm bad;
        bad.SetCommName(c.name);
        EXPECT_EQ(openError(bad), QString::fromLatin1(c.message)) << c.name.toStdString();
        EXPECT_EQ(bad.ComHandle(), 0u);
        EXPECT_FALSE(bad.IsOpen());
        bad.ClosePort(); // harmless when closed

        bad.SetCommName(path());
        EXPECT_NO_THROW(bad.OpenPort()) << c.name.toStdString();
        EXPECT_NE(bad.ComHandle(), 0u);
        bad.ClosePort();
        EXPECT_EQ(bad.ComHandle(), 0u);
    }
}

TEST_F(CommFixture, openingAnOpenPortRaisesAndLeavesItWorking)
{
    open();
    const uint32_t handle = comm.ComHandle();
    EXPECT_EQ(openError(comm), QStringLiteral("This serial port already opened"));
    EXPECT_EQ(comm.ComHandle(), handle);
    ASSERT_TRUE(comm.SendData("\x55\xBD", 2));
    EXPECT_EQ(HexOf(fromTool(2)), "55 BD");
}

TEST_F(CommFixture, aPortInUseByAnotherComponentDoesNotOpenUntilItIsClosed)
{
    open();
    TComm other;
    other.SetCommName(path());
    EXPECT_EQ(openError(other), QStringLiteral("Error opening serial port"));
    EXPECT_EQ(other.ComHandle(), 0u);
    comm.ClosePort();
    EXPECT_NO_THROW(other.OpenPort());
}

TEST_F(CommFixture, theDestructorClosesAnOpenPort)
{
    {
        TComm scoped;
        scoped.SetCommName(path());
        ASSERT_NO_THROW(scoped.OpenPort());
    }
    EXPECT_NO_THROW(comm.OpenPort());
}

TEST_F(CommFixture, eachFailedOpenStepRaisesItsMessageAndFreesThePort)
{
    const struct {
        TCommTestPoint point;
        const char *message;
    } cases[] = {
        {TCommTestPoint::CreateEvent, "Unable to create event"},
        {TCommTestPoint::CreateReadThread, "Unable to create read thread"},
        {TCommTestPoint::CreateWriteThread, "Unable to create write thread"},
    };
    for (const auto &c : cases) {
        {
            HookGuard guard([&](TCommTestPoint p) { return p == c.point; });
            EXPECT_EQ(openError(comm), QString::fromLatin1(c.message));
            EXPECT_EQ(comm.ComHandle(), 0u);
            EXPECT_FALSE(comm.IsOpen());
        }
        // Nothing was left holding the device.
        TComm other;
        other.SetCommName(path());
        EXPECT_NO_THROW(other.OpenPort()) << c.message;
        other.ClosePort();
    }
    open();
}

TEST_F(CommFixture, closeReturnsWithinItsWaitWhenTheWorkerHangsAndReleasesItLater)
{
    std::atomic<bool> release {false};
    std::atomic<bool> stalled {false};
    HookGuard guard([&](TCommTestPoint p) {
        if (p == TCommTestPoint::WorkerShutdown && !stalled.exchange(true)) {
            while (!release)
                QThread::msleep(5);
        }
        return false;
    });
    comm.CloseWaitMs = 100;
    open();
    PumpUntil([&] { return empties == 1; }, 2000);
    QElapsedTimer clock;
    clock.start();
    comm.ClosePort();
    EXPECT_LT(clock.elapsed(), 5000); // far below the stall, which only ends when released
    EXPECT_FALSE(comm.IsOpen());
    EXPECT_TRUE(stalled);
    EXPECT_FALSE(comm.SendData("A", 1));

    release = true;
    // The hung worker still held the device; once it has ended, the port opens again.
    ASSERT_TRUE(PumpUntil([&] {
        try {
            comm.OpenPort();
            return true;
        } catch (const ECommsError &) {
            return false;
        }
    }, 5000));
    EXPECT_EQ(hangups, 0);
    ASSERT_TRUE(comm.SendData("B", 1));
    EXPECT_EQ(fromTool(1), QByteArray("B"));
}

// ---- sending

TEST_F(CommFixture, sendDataRefusesSizeZeroAndAClosedPort)
{
    EXPECT_FALSE(comm.SendData("\x55\xBD", 2)); // closed
    open();
    EXPECT_FALSE(comm.SendData("\x55\xBD", 0));
    EXPECT_FALSE(comm.SendData(nullptr, 2));
    comm.ClosePort();
    EXPECT_FALSE(comm.SendData("\x55\xBD", 2));
    EXPECT_TRUE(fromTool(1, 300).isEmpty());
}

TEST_F(CommFixture, sendDataCopiesTheBuffer)
{
    open();
    QByteArray frame = Hex("55 BE 01 02 03");
    ASSERT_TRUE(comm.SendData(frame.constData(), uint16_t(frame.size())));
    frame.fill('\xEE'); // the caller's buffer is free right after the call
    EXPECT_EQ(HexOf(fromTool(5)), "55 BE 01 02 03");
}

TEST_F(CommFixture, sendQueueEmptyFiresOnceAfterOpeningAndOnceWhenTheQueueRunsDry)
{
    open();
    PumpFor(300);
    EXPECT_EQ(empties, 1);

    ASSERT_TRUE(comm.SendData("\x55\xBD", 2));
    EXPECT_EQ(fromTool(2).size(), 2);
    ASSERT_TRUE(PumpUntil([&] { return empties == 2; }, 3000));
    PumpFor(300);
    EXPECT_EQ(empties, 2);

    // A series: at least one notice when it is through, at most one per buffer, and the bytes in order.
    const QByteArray a = Filled(300, 'a'), b = Filled(300, 'b'), c = Filled(300, 'c');
    for (const QByteArray *x : {&a, &b, &c})
        ASSERT_TRUE(comm.SendData(x->constData(), uint16_t(x->size())));
    EXPECT_EQ(fromTool(900), a + b + c);
    ASSERT_TRUE(PumpUntil([&] { return empties >= 3; }, 3000));
    PumpFor(300);
    EXPECT_LE(empties, 5);
}

TEST_F(CommFixture, closeDuringAPendingWriteEndsItWithoutAHangup)
{
    open();
    PumpUntil([&] { return empties == 1; }, 2000);
    // More than the pseudo-terminal holds, and the far end does not read.
    const QByteArray big(65535, 'x');
    ASSERT_TRUE(comm.SendData(big.constData(), uint16_t(big.size())));
    ASSERT_TRUE(comm.SendData(big.constData(), uint16_t(big.size())));
    PumpFor(200);
    EXPECT_EQ(empties, 1); // still pending
    QElapsedTimer clock;
    clock.start();
    comm.ClosePort();
    EXPECT_LT(clock.elapsed(), 8000); // did not run into the close wait
    PumpFor(300);
    EXPECT_EQ(hangups, 0);
    EXPECT_EQ(empties, 1);

    pty.ReadAvailable();
    open();
    ASSERT_TRUE(comm.SendData("Z", 1));
    const QByteArray after = fromTool(1);
    EXPECT_EQ(after, QByteArray("Z"));
}

// ---- receiving

TEST_F(CommFixture, repliesSeparatedByAGapArriveAsSeparateChunksWhileTheOwnerSleeps)
{
    open();
    const QByteArray first = Filled(32, 'A'), second = Filled(137, 'a');
    // The test thread owns the component and sleeps through both replies: the cut happens on
    // the port's own thread.
    replyInParts({first, second}, 250);
    QThread::msleep(300);
    ASSERT_TRUE(waitChunks(2));
    PumpFor(200);
    ASSERT_EQ(chunks.size(), 2);
    EXPECT_EQ(chunks[0], first);
    EXPECT_EQ(chunks[1], second);
    EXPECT_EQ(zeroMissing, 0);
}

TEST_F(CommFixture, aBurstIsCutIntoChunksOfAtMost1024Bytes)
{
    const struct {
        int size;
        QList<int> expected;
    } cases[] = {
        {1, {1}},
        {1024, {1024}},
        {1025, {1024, 1}},
        {2500, {1024, 1024, 452}},
    };
    open();
    for (const auto &c : cases) {
        chunks.clear();
        const QByteArray burst(c.size, '\xFF'); // no zero inside, so the zero after is the buffer's own
        reply(burst);
        ASSERT_TRUE(waitChunks(int(c.expected.size()))) << c.size;
        PumpFor(250);
        QList<int> sizes;
        QByteArray joined;
        for (const QByteArray &chunk : chunks) {
            sizes.append(int(chunk.size()));
            joined += chunk;
        }
        EXPECT_EQ(sizes, c.expected) << c.size;
        EXPECT_EQ(joined, burst) << c.size;
    }
    EXPECT_EQ(zeroMissing, 0);
}

TEST_F(CommFixture, chunksOfAPortThatWasClosedBeforeTheyWereHandledAreDropped)
{
    open();
    reply(Hex("4B"));
    QThread::msleep(300); // cut and posted, not yet handled
    comm.ClosePort();
    PumpFor(300);
    EXPECT_TRUE(chunks.isEmpty());
}

TEST_F(CommFixture, aVanishedDeviceRequestsAHangupAndStopsTakingData)
{
    open();
    PumpUntil([&] { return empties == 1; }, 2000);
    pty.Close();
    ASSERT_TRUE(PumpUntil([&] { return hangups == 1; }, 3000));
    EXPECT_TRUE(comm.IsOpen()); // the owner closes it
    EXPECT_FALSE(comm.SendData("A", 1));
    PumpFor(200);
    EXPECT_EQ(hangups, 1);
    comm.ClosePort();
    EXPECT_FALSE(comm.IsOpen());
}

// ---- setters

namespace {

struct LineCase {
    const char *name;
    std::function<void(TComm &)> set;
    std::function<bool(const termios &)> applied;
};

// Data bits and parity are not among them: a pseudo-terminal always reports 8 bits, no parity.
const LineCase LineCases[] = {
    {"BaudRate", [](TComm &c) { c.SetBaudRate(19200); }, [](const termios &t) { return cfgetospeed(&t) == B19200; }},
    {"StopBits", [](TComm &c) { c.SetStopBits(TStopBits::_2); }, [](const termios &t) { return (t.c_cflag & CSTOPB) != 0; }},
    {"Outx_CtsFlow", [](TComm &c) { c.SetOutx_CtsFlow(true); },
     [](const termios &t) { return (t.c_cflag & CRTSCTS) != 0; }},
    {"Inx_XonXoffFlow", [](TComm &c) { c.SetInx_XonXoffFlow(true); },
     [](const termios &t) { return (t.c_iflag & IXOFF) && !(t.c_iflag & IXON); }},
    {"XonChar", [](TComm &c) { c.SetXonChar(0x21); }, [](const termios &t) { return t.c_cc[VSTART] == 0x21; }},
    {"ParityCheck", [](TComm &c) { c.SetParityCheck(true); }, [](const termios &t) { return (t.c_iflag & INPCK) != 0; }},
};

} // namespace

TEST_F(CommFixture, aLineSettingWrittenWhileClosedIsStoredAndAppliedAtOpen)
{
    for (const LineCase &c : LineCases) {
        TComm other;
        ApplyCm1Properties(other);
        other.SetCommName(path());
        c.set(other);
        EXPECT_FALSE(c.applied(lineSettings())) << c.name;
        ASSERT_NO_THROW(other.OpenPort()) << c.name;
        EXPECT_TRUE(c.applied(lineSettings())) << c.name;
    }
}

TEST_F(CommFixture, aLineSettingWrittenWhileOpenIsAppliedAtOnce)
{
    for (const LineCase &c : LineCases) {
        TComm other;
        ApplyCm1Properties(other);
        other.SetCommName(path());
        ASSERT_NO_THROW(other.OpenPort()) << c.name;
        EXPECT_FALSE(c.applied(lineSettings())) << c.name;
        c.set(other);
        EXPECT_TRUE(PumpUntil([&] { return c.applied(lineSettings()); }, 3000)) << c.name;
    }
}

TEST_F(CommFixture, writingOneLineSettingWhileOpenReappliesTheWholeSet)
{
    open();
    termios t = lineSettings();
    // Changed behind the component's back.
    t.c_cflag |= CSTOPB;
    t.c_iflag |= IXON;
    cfsetospeed(&t, B1200);
    cfsetispeed(&t, B1200);
    ASSERT_EQ(tcsetattr(pty.SlaveFd(), TCSANOW, &t), 0);
    comm.SetXonChar(0x21);
    ASSERT_TRUE(PumpUntil([&] { return lineSettings().c_cc[VSTART] == 0x21; }, 3000));
    const termios now = lineSettings();
    EXPECT_EQ(cfgetospeed(&now), speed_t(B9600));
    EXPECT_FALSE(now.c_cflag & CSTOPB);
    EXPECT_FALSE(now.c_iflag & IXON);
}

TEST_F(CommFixture, aReadIntervalWrittenWhileOpenChangesWhereChunksAreCut)
{
    open();
    comm.SetReadIntervalTimeout(1500);
    replyInParts({Hex("55 BC"), Hex("01 02")}, 150);
    ASSERT_TRUE(waitChunks(1, 5000));
    PumpFor(200);
    ASSERT_EQ(chunks.size(), 1);
    EXPECT_EQ(HexOf(chunks[0]), "55 BC 01 02");

    chunks.clear();
    comm.SetReadIntervalTimeout(50);
    PumpFor(100);
    replyInParts({Hex("55 BC"), Hex("01 02")}, 300);
    ASSERT_TRUE(waitChunks(2));
    EXPECT_EQ(HexOf(chunks[0]), "55 BC");
    EXPECT_EQ(HexOf(chunks[1]), "01 02");
}

TEST_F(CommFixture, withoutAReadIntervalOnlyTheTotalTimeoutEndsAShortRead)
{
    comm.SetReadIntervalTimeout(0);
    open();
    reply(Hex("55 BC 01"));
    PumpFor(400);
    EXPECT_TRUE(chunks.isEmpty()); // neither a gap nor a full buffer ends the read
    comm.SetReadTotalTimeoutConstant(200);
    ASSERT_TRUE(waitChunks(1));
    EXPECT_EQ(HexOf(chunks[0]), "55 BC 01");
}

TEST_F(CommFixture, ignoreNullCharDropsReceivedZeroBytes)
{
    open();
    comm.SetIgnoreNullChar(true);
    PumpFor(100);
    reply(Hex("00 41 00 00 42 00"));
    ASSERT_TRUE(waitChunks(1));
    EXPECT_EQ(HexOf(chunks[0]), "41 42");
}

TEST_F(CommFixture, aHandlerThatThrowsDoesNotStopLaterNotices)
{
    comm.OnReceiveData = [this](TComm *, const uint8_t *buffer, uint16_t length) {
        chunks.append(QByteArray(reinterpret_cast<const char *>(buffer), length));
        throw std::runtime_error("handler failed");
    };
    open();
    replyInParts({Hex("01"), Hex("02")}, 250);
    ASSERT_TRUE(waitChunks(2));
    EXPECT_EQ(HexOf(chunks[1]), "02");
}

TEST_F(CommFixture, aNewCommNameTakesEffectAtTheNextOpen)
{
    TPtyPair second;
    ASSERT_TRUE(second.Open());
    open();
    comm.SetCommName(second.SlavePath());
    ASSERT_TRUE(comm.SendData("1", 1));
    EXPECT_EQ(fromTool(1), QByteArray("1"));
    comm.ClosePort();
    open();
    ASSERT_TRUE(comm.SendData("2", 1));
    EXPECT_EQ(second.Read(1, 3000), QByteArray("2"));
    EXPECT_TRUE(fromTool(1, 200).isEmpty());
}
