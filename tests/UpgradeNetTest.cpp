// The upgrade over real UDP sockets on loopback: broadcasts in both directions, bindings that cannot
// be made, and bindings given back. Free ports everywhere, so parallel test processes never meet.

#include "TestUtil.h"
#include "lang/LangList.h"
#include "upgrade/Upgrade.h"
#include "upgrade/UpgradeBind.h"

#include <QEventLoop>
#include <QFile>
#include <QNetworkDatagram>
#include <QTemporaryDir>
#include <QTimer>
#include <QUdpSocket>
#include <arpa/inet.h>
#include <cstring>
#include <unistd.h>

namespace {

const QString Loop = QStringLiteral("127.0.0.1");
const QByteArray HwId = Hex("51 32 00 01");

class TRecordingLog : public ILogSink {
public:
    QStringList Lines;
    void AddLog(const QString &text, TLogColor) override { Lines << text; }
    void AddHex(const QString &, TLogColor) override {}
};

// The module's side: sockets on free ports, the attempt's ports pointed at them.
class UpgradeNetTest : public ::testing::Test {
protected:
    QTemporaryDir Dir;
    QUdpSocket Trigger, BootpOut, BootpIn, Data;
    TRecordingLog Log;
    TUpgradeAttempt A;
    QEventLoop Loop_;
    QList<TUpgradeState> Finished;

    void SetUp() override
    {
        ASSERT_TRUE(Trigger.bind(QHostAddress(QHostAddress::Broadcast), 0));
        ASSERT_TRUE(BootpIn.bind(QHostAddress(QHostAddress::Broadcast), 0));
        ASSERT_TRUE(BootpOut.bind(QHostAddress(Loop), 0));
        ASSERT_TRUE(Data.bind(QHostAddress(Loop), 0));
        A.Ports = {0, Trigger.localPort(), 0, BootpIn.localPort(), 0, 0, Data.localPort()};
        A.Log = &Log;
        A.OnFinished = [this](TUpgradeState s) {
            Finished << s;
            Loop_.quit();
        };
    }

    QString WriteBin(const QByteArray &content)
    {
        const QString path = Dir.filePath(QStringLiteral("fw.bin"));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
        return path;
    }

    TUpgradeInputs Inputs(const QString &file) { return {Loop, QStringLiteral("001A2B3C4D5E"), Loop, file}; }

    QByteArray BootpRequest(const QByteArray &id) const
    {
        QByteArray r(UpBootpLen, '\0');
        r[0] = 1;
        r[1] = 1;
        r[2] = 6;
        r[26] = 1;
        r.replace(4, 4, Hex("DE AD BE EF"));
        r.replace(UpHwIdOffset, 4, id);
        return r;
    }

    void Run()
    {
        QTimer::singleShot(20000, &Loop_, &QEventLoop::quit); // generous: a loaded machine is slow, not wrong
        Loop_.exec();
    }
};

template <typename F> void OnEachDatagram(QUdpSocket &s, F handle)
{
    QObject::connect(&s, &QUdpSocket::readyRead, &s, [&s, handle] {
        while (s.hasPendingDatagrams())
            handle(s.receiveDatagram());
    });
}

} // namespace

TEST_F(UpgradeNetTest, wholeUpgradeOverLoopbackSockets)
{
    const QByteArray image = [] {
        QByteArray d(5000, '\0');
        for (int i = 0; i < d.size(); ++i)
            d[i] = char(i * 13 + 1);
        return d;
    }();
    QByteArray trigger, reply, received;
    OnEachDatagram(Trigger, [&](const QNetworkDatagram &d) {
        trigger = d.data();
        BootpOut.writeDatagram(BootpRequest(HwId), QHostAddress(QHostAddress::Broadcast), A.Ports.Bootp);
    });
    OnEachDatagram(BootpIn, [&](const QNetworkDatagram &d) {
        reply = d.data();
        Data.writeDatagram(UpBuildReadRequest(), QHostAddress(Loop), A.Ports.Tftp);
    });
    OnEachDatagram(Data, [&](const QNetworkDatagram &d) {
        const QByteArray b = d.data();
        received += b.mid(4);
        Data.writeDatagram(UpBuildAck((uint8_t(b[2]) << 8) | uint8_t(b[3])), d.senderAddress(),
                           quint16(d.senderPort()));
    });

    ASSERT_TRUE(A.Program(Inputs(WriteBin(HwId + image))));
    const TUpgradePorts bound = A.Ports;
    Run();
    EXPECT_EQ(Finished, QList<TUpgradeState>{TUpgradeState::Done});
    // Once done, the attempt holds none of its ports: each binds again without address reuse.
    in_addr loop{};
    loop.s_addr = htonl(INADDR_LOOPBACK);
    for (const uint16_t port : {bound.Trigger, bound.Bootp, bound.Tftp, bound.Data}) {
        int err = 0;
        const int fd = UpBindUdp(loop, port, nullptr, err);
        EXPECT_GE(fd, 0) << "port " << port << " still held: " << strerror(err);
        if (fd >= 0)
            ::close(fd);
    }
    in_addr all{};
    all.s_addr = htonl(INADDR_BROADCAST);
    int err = 0;
    const int receiver = UpBindUdp(all, bound.Bootp, "lo", err, true);
    EXPECT_GE(receiver, 0) << "the BOOTP broadcast receiver is still held: " << strerror(err);
    if (receiver >= 0)
        ::close(receiver);
    EXPECT_EQ(HexOf(trigger.left(12)), "AA AA AA AA AA AA 00 1A 2B 3C 4D 5E");
    ASSERT_EQ(reply.size(), UpBootpLen);
    EXPECT_EQ(HexOf(reply.mid(16, 8)), "7F 00 00 01 7F 00 00 01");
    EXPECT_EQ(received, image);
}

TEST_F(UpgradeNetTest, portHeldByAnotherSocketFailsWithTheSystemsReason)
{
    QUdpSocket holder;
    ASSERT_TRUE(holder.bind(QHostAddress(Loop), 0)); // Qt's default bind, address reuse included
    A.Ports.Tftp = holder.localPort();
    ASSERT_TRUE(A.Program(Inputs(WriteBin(HwId + "x"))));
    EXPECT_EQ(A.State(), TUpgradeState::Failed);
    ASSERT_FALSE(Log.Lines.isEmpty());
    EXPECT_TRUE(Log.Lines.last().contains(QLatin1String("Address already in use"))) << Log.Lines.last().toStdString();
    EXPECT_TRUE(Log.Lines.last().contains(QLatin1String("TFTP server")));
    EXPECT_TRUE(Trigger.waitForReadyRead(200) == false); // nothing was sent
}

TEST_F(UpgradeNetTest, addressOfAnotherMachineFailsWithTheReason)
{
    ASSERT_TRUE(A.Program({QStringLiteral("10.99.99.98"), QStringLiteral("001A2B3C4D5E"),
                           QStringLiteral("10.99.99.99"), WriteBin(HwId + "x")}));
    EXPECT_EQ(A.State(), TUpgradeState::Failed);
    ASSERT_FALSE(Log.Lines.isEmpty());
    EXPECT_TRUE(Log.Lines.last().contains(QLatin1String("not one of this machine's"))) << Log.Lines.last().toStdString();
}

TEST_F(UpgradeNetTest, endingInsideTheHandlerLeavesQueuedDatagramsAloneAndGivesThePortsBack)
{
    // Two mismatching requests arrive together: the first ends the attempt and closes the sockets
    // while their datagrams are being drained.
    OnEachDatagram(Trigger, [&](const QNetworkDatagram &) {
        for (int i = 0; i < 2; ++i)
            BootpOut.writeDatagram(BootpRequest(Hex("00 00 00 00")), QHostAddress(QHostAddress::Broadcast),
                                   A.Ports.Bootp);
    });
    ASSERT_TRUE(A.Program(Inputs(WriteBin(HwId + "x"))));
    const TUpgradePorts bound = A.Ports;
    Run();
    EXPECT_EQ(Finished, QList<TUpgradeState>{TUpgradeState::Mismatch});
    QEventLoop().processEvents(); // the closed sockets go away
    EXPECT_FALSE(BootpIn.waitForReadyRead(200)); // no reply went out

    // The same ports bind again for the next attempt.
    A.Ports = bound;
    A.Times.SearchMs = 20;
    ASSERT_TRUE(A.Program(Inputs(WriteBin(HwId + "x"))));
    EXPECT_EQ(A.State(), TUpgradeState::Searching) << (Log.Lines.isEmpty() ? "" : Log.Lines.last().toStdString());
    Run();
    EXPECT_EQ(Finished.last(), TUpgradeState::Mismatch); // the simulated module answers the same way
}
