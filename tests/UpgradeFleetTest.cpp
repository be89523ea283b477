// The fleet upgrade driven datagram by datagram through a recording net: which module each request
// reaches, how many run at once, the one-at-a-time fallback, the look for each module afterwards.

#include "RecorderSink.h"
#include "TestUtil.h"
#include "core/ProFun.h"
#include "core/Public.h"
#include "lang/LangList.h"
#include "upgrade/UpgradeFleet.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString LocalIP = QStringLiteral("192.168.0.2");
const QByteArray HwId = Hex("51 32 00 01");

struct TSent {
    TUpBinding From;
    QByteArray Bytes;
    QString Host;
    uint16_t Port;
};

class TFleetNet : public IUpgradeNet {
public:
    QList<TSent> Sends;
    bool Opened = false;
    int Opens = 0;
    QString FailOpen;
    bool Open(const QString &, TUpgradePorts &, QString &reason) override
    {
        ++Opens;
        if (!FailOpen.isEmpty()) {
            reason = FailOpen;
            return false;
        }
        return Opened = true;
    }
    void Close() override { Opened = false; }
    bool IsOpen() const override { return Opened; }
    bool Send(TUpBinding from, const QByteArray &bytes, const QString &host, uint16_t port, QString &) override
    {
        Sends.append({from, bytes, host, port});
        return true;
    }
    QList<TSent> From(TUpBinding b) const
    {
        QList<TSent> out;
        for (const TSent &s : Sends)
            if (s.From == b)
                out << s;
        return out;
    }
};

// Module n: 192.168.0.(10 + n), MAC 02 00 00 00 00 (10 + n).
QString Ip(int n) { return QStringLiteral("192.168.0.%1").arg(10 + n); }
QByteArray MacBytes(int n) { return Hex("02 00 00 00 00") + QByteArray(1, char(10 + n)); }
QString Mac(int n) { return QString::fromLatin1(MacBytes(n).toHex(' ').toUpper()); }

QByteArray Bootp(const QByteArray &hw, const QByteArray &xid, const QByteArray &id = HwId, uint8_t byte26 = 1)
{
    QByteArray r(UpBootpLen, '\0');
    r[0] = 1;
    r[1] = 1;
    r[2] = 6;
    r.replace(4, 4, xid);
    r[26] = char(byte26);
    r.replace(28, 6, hw);
    r.replace(UpHwIdOffset, 4, id);
    return r;
}
QByteArray Xid(int n) { return Hex("A0 B0 C0") + QByteArray(1, char(n)); }

class UpgradeFleetTest : public ::testing::Test {
public:
    QTemporaryDir Dir;
    TFleetNet Net;
    TRecorderSink Log;
    std::unique_ptr<TUpgradeFleet> F;
    int Searches = 0;
    QList<int> Resets;
    bool Finished = false;

    void SetUp() override
    {
        delete LangList;
        LangList = new TLangList;
        FillDefaultTable();
        LangList->IsChinese = false;
        UpMask.clear();
        F = std::make_unique<TUpgradeFleet>(&Net);
        F->Log = &Log;
        F->Options.LookBack = false;
        F->Options.SettleMs = 0;
        F->OnSearch = [this] { ++Searches; };
        F->OnReset = [this](int i) { Resets << i; };
        F->OnFinished = [this] { Finished = true; };
    }
    void TearDown() override
    {
        F.reset();
        FreeLanguage();
        UpMask.clear();
    }

    // A .bin of the identifier and dataSize bytes.
    QString Bin(int dataSize, const QString &name = QStringLiteral("fw.bin"))
    {
        const QString path = Dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QByteArray data(dataSize, '\0');
        for (int i = 0; i < dataSize; ++i)
            data[i] = char((i * 13 + 5) & 0xFF);
        f.write(HwId + data);
        return path;
    }
    static QList<TUpFleetTarget> Targets(int count)
    {
        QList<TUpFleetTarget> t;
        for (int n = 0; n < count; ++n)
            t.append({Ip(n), Mac(n), QStringLiteral("4017")});
        return t;
    }
    void Start(int count, int dataSize = 1000)
    {
        QString reason;
        ASSERT_TRUE(F->Start(Targets(count), LocalIP, Bin(dataSize), reason)) << reason.toStdString();
    }
    // Lets the fleet's deferred work run.
    static void Settle() { QCoreApplication::processEvents(); QCoreApplication::processEvents(); }

    void Rx(uint16_t port, const QByteArray &bytes, const QString &sender = QString())
    {
        Net.OnDatagram(port, bytes, sender);
        Settle();
    }
    void RxBootp(const QByteArray &r) { Rx(F->Ports.Bootp, r); }
    void RxRead(int n) { Rx(F->Ports.Tftp, UpBuildReadRequest(), Ip(n)); }
    void RxAck(int n, int block) { Rx(F->Ports.Data, UpBuildAck(block), Ip(n)); }

    // The MACs the triggers were sent for, in order.
    QList<int> Triggered() const
    {
        QList<int> out;
        for (const TSent &s : Net.From(TUpBinding::Trigger))
            out << (uint8_t(s.Bytes[11]) - 10);
        return out;
    }
    // The module address each BOOTP reply gave, in order.
    QStringList RepliedAddresses() const
    {
        QStringList out;
        for (const TSent &s : Net.From(TUpBinding::Bootp))
            out << QStringLiteral("%1.%2.%3.%4").arg(uint8_t(s.Bytes[16])).arg(uint8_t(s.Bytes[17]))
                       .arg(uint8_t(s.Bytes[18])).arg(uint8_t(s.Bytes[19]));
        return out;
    }
    QList<int> DataBlocksTo(int n) const
    {
        QList<int> out;
        for (const TSent &s : Net.From(TUpBinding::Data))
            if (s.Host == Ip(n))
                out << ((uint8_t(s.Bytes[2]) << 8) | uint8_t(s.Bytes[3]));
        return out;
    }
    const TUpFleetModule &M(int n) const { return F->Modules()[size_t(n)]; }

    // Module n answered by its MAC, then its read request and every acknowledgement.
    void Serve(int n, int blocks)
    {
        RxBootp(Bootp(MacBytes(n), Xid(n)));
        RxRead(n);
        for (int b = 1; b <= blocks; ++b)
            RxAck(n, b);
    }
};

} // namespace

TEST_F(UpgradeFleetTest, refusedBeforeAnythingIsBoundOrSent)
{
    QFile big(Dir.filePath(QStringLiteral("big.bin")));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    ASSERT_TRUE(big.resize(16 * 1024 * 1024 + 1));
    big.close();
    const QString fine = Bin(100);
    QFile shortFile(Dir.filePath(QStringLiteral("short.bin")));
    ASSERT_TRUE(shortFile.open(QIODevice::WriteOnly));
    shortFile.write(Hex("51 32 00"));
    shortFile.close();
    using K = TUpFailureKind;
    struct {
        const char *name;
        int modules;
        QString local;
        QString file;
        const char *reason;
        K kind; // what the window and the CLI put in words
    } cases[] = {
        {"no module", 0, LocalIP, fine, "no module", K::Other},
        {"not an address", 2, QStringLiteral("192.168.0"), fine, "not an IPv4 address", K::Other},
        {"no file name", 2, LocalIP, QString(), "Please Select .bin file first.", K::Other},
        {"missing file", 2, LocalIP, Dir.filePath(QStringLiteral("none.bin")), "does not exist", K::FileUnreadable},
        {"a folder", 2, LocalIP, Dir.path(), "not a regular file", K::FileUnreadable},
        {"too big for a module", 2, LocalIP, big.fileName(), "more than the 16777216 bytes", K::FileUnreadable},
        {"no identifier", 2, LocalIP, shortFile.fileName(), "too few", K::FileTooShort},
    };
    for (const auto &c : cases) {
        QString reason;
        EXPECT_FALSE(F->Start(Targets(c.modules), c.local, c.file, reason)) << c.name;
        EXPECT_TRUE(reason.contains(QLatin1String(c.reason))) << c.name << ": " << reason.toStdString();
        EXPECT_EQ(F->Failure.Kind, c.kind) << c.name;
        EXPECT_FALSE(UpgradeFailureText(F->Failure).isEmpty()) << c.name;
    }
    EXPECT_EQ(Net.Opens, 0);
    Net.FailOpen = QStringLiteral("cannot bind 192.168.0.2 port 67: Address already in use");
    QString reason;
    EXPECT_FALSE(F->Start(Targets(2), LocalIP, fine, reason));
    EXPECT_EQ(reason, Net.FailOpen);
    EXPECT_TRUE(UpgradeFailureText(F->Failure).contains(Net.FailOpen)) << "the net's own words when it has no kind";
    EXPECT_TRUE(Net.Sends.isEmpty());
    EXPECT_FALSE(F->Running());
}

TEST_F(UpgradeFleetTest, atMostParallelModulesRunAndEachEndStartsTheNext)
{
    F->Options.Parallel = 2;
    Start(5, 100); // one block each
    EXPECT_EQ(Triggered(), (QList<int>{0, 1}));
    Serve(1, 1);
    EXPECT_EQ(M(1).Result, TUpFleetResult::Ok);
    EXPECT_EQ(Triggered(), (QList<int>{0, 1, 2}));
    Serve(0, 1);
    Serve(2, 1);
    EXPECT_EQ(Triggered(), (QList<int>{0, 1, 2, 3, 4}));
    EXPECT_FALSE(Finished);
    Serve(3, 1);
    Serve(4, 1);
    EXPECT_TRUE(Finished);
    for (int n = 0; n < 5; ++n) {
        EXPECT_EQ(M(n).Result, TUpFleetResult::Ok) << n;
        EXPECT_EQ(M(n).Blocks, 1) << n;
        EXPECT_EQ(M(n).TotalBlocks, 1) << n;
    }
    EXPECT_FALSE(Net.Opened);
}

TEST_F(UpgradeFleetTest, requestsArrivingTogetherAreEachAnsweredWithTheirOwnModulesAddress)
{
    Start(3, 1500); // blocks of 512, 512, 476
    // Every module's request before any reply, in another order than the triggers.
    RxBootp(Bootp(MacBytes(2), Xid(2)));
    RxBootp(Bootp(MacBytes(0), Xid(0)));
    RxBootp(Bootp(MacBytes(1), Xid(1)));
    EXPECT_EQ(RepliedAddresses(), (QStringList{Ip(2), Ip(0), Ip(1)}));
    for (const TSent &s : Net.From(TUpBinding::Bootp)) {
        EXPECT_EQ(s.Host, BroadcastIP);
        EXPECT_EQ(HexOf(s.Bytes.mid(20, 4)), "C0 A8 00 02"); // our address
    }
    // Transaction ID and hardware address go back as received: each loader takes only its own.
    EXPECT_EQ(Net.From(TUpBinding::Bootp)[0].Bytes.mid(4, 4), Xid(2));
    EXPECT_EQ(Net.From(TUpBinding::Bootp)[0].Bytes.mid(28, 6), MacBytes(2));

    // Interleaved transfers, each with its own block counter and its own data address.
    RxRead(0);
    RxRead(2);
    RxAck(0, 1);
    RxRead(1);
    RxAck(2, 1);
    RxAck(0, 2);
    RxAck(1, 1);
    EXPECT_EQ(DataBlocksTo(0), (QList<int>{1, 2, 3}));
    EXPECT_EQ(DataBlocksTo(1), (QList<int>{1, 2}));
    EXPECT_EQ(DataBlocksTo(2), (QList<int>{1, 2}));
    for (const TSent &s : Net.From(TUpBinding::Data))
        EXPECT_EQ(s.Port, 13633);
    // An acknowledgement from a module's address never moves another module's transfer.
    RxAck(1, 2);
    EXPECT_EQ(DataBlocksTo(0), (QList<int>{1, 2, 3}));
    EXPECT_EQ(DataBlocksTo(1), (QList<int>{1, 2, 3}));
    RxAck(0, 3);
    EXPECT_EQ(M(0).Result, TUpFleetResult::Ok);
    EXPECT_EQ(M(1).Result, TUpFleetResult::Waiting);
    EXPECT_EQ(M(1).Phase, TUpFleetPhase::Serving);
    EXPECT_EQ(M(1).Blocks, 2);
}

TEST_F(UpgradeFleetTest, aForeignIdentifierEndsOnlyItsOwnModuleAndItsRepeatsChangeNothing)
{
    Start(2, 100);
    const QByteArray wrong = Hex("51 32 00 09");
    RxBootp(Bootp(MacBytes(0), Xid(0), wrong));
    EXPECT_EQ(M(0).Result, TUpFleetResult::Mismatch);
    EXPECT_EQ(M(0).StatusText(), QStringLiteral(" Firmware does not match with hardware!"));
    EXPECT_TRUE(M(0).Reason.contains(QLatin1String("51 32 00 01")));
    EXPECT_EQ(M(1).Phase, TUpFleetPhase::Searching);
    for (int repeat = 0; repeat < 3; ++repeat)
        RxBootp(Bootp(MacBytes(0), Xid(0), wrong));
    EXPECT_EQ(M(1).Phase, TUpFleetPhase::Searching);
    EXPECT_TRUE(Net.From(TUpBinding::Bootp).isEmpty());
    Serve(1, 1);
    EXPECT_EQ(M(1).Result, TUpFleetResult::Ok);
    EXPECT_TRUE(Finished);
    EXPECT_TRUE(Log.LogTexts().contains(QStringLiteral("02 00 00 00 00 0A: ") + M(0).Reason));
}

TEST_F(UpgradeFleetTest, requestsThatNoAttemptWouldTakeDoNotChangeTheMode)
{
    Start(2, 100);
    // A computer asking for an address: another hardware address, no identifier, byte 26 clear.
    RxBootp(Bootp(Hex("3C 52 82 00 00 01"), Hex("11 22 33 44"), QByteArray(4, '\0'), 0));
    // Fixed fields of something else (a reply, a relayed request).
    QByteArray reply = Bootp(Hex("3C 52 82 00 00 02"), Hex("11 22 33 45"));
    reply[0] = 2;
    RxBootp(reply);
    QByteArray hops = Bootp(Hex("3C 52 82 00 00 03"), Hex("11 22 33 46"));
    hops[3] = 1;
    RxBootp(hops);
    EXPECT_FALSE(F->OneAtATime());
    EXPECT_EQ(M(0).Phase, TUpFleetPhase::Searching);
    EXPECT_EQ(M(1).Phase, TUpFleetPhase::Searching);
    EXPECT_TRUE(Net.From(TUpBinding::Bootp).isEmpty());
    // Read requests and acknowledgements from an address that is no running module's.
    Rx(F->Ports.Tftp, UpBuildReadRequest(), QStringLiteral("192.168.0.99"));
    Rx(F->Ports.Data, UpBuildAck(1), QStringLiteral("192.168.0.99"));
    EXPECT_TRUE(Net.From(TUpBinding::Data).isEmpty());
}

TEST_F(UpgradeFleetTest, aForeignHardwareAddressFallsBackToOneModuleAtATimeBetweenTriggerAndReadRequest)
{
    Start(3, 1000); // two blocks each
    const QByteArray foreign = Hex("00 00 00 00 00 00");
    // Any of the three may have sent it: none is answered, each gets a turn of its own.
    RxBootp(Bootp(foreign, Xid(0x50)));
    EXPECT_TRUE(F->OneAtATime());
    EXPECT_TRUE(Net.From(TUpBinding::Bootp).isEmpty());
    EXPECT_TRUE(Log.LogTexts().join(u'\n').contains(QLatin1String("from now on the modules start one at a time")));
    QTest::qWait(20);
    EXPECT_EQ(Triggered(), (QList<int>{0, 1, 2, 0}));
    for (int n = 1; n < 3; ++n)
        EXPECT_EQ(M(n).Phase, TUpFleetPhase::Queued) << n;
    // The first burst's transaction stays nobody's; a new one is the searching module's.
    RxBootp(Bootp(foreign, Xid(0x50)));
    EXPECT_TRUE(Net.From(TUpBinding::Bootp).isEmpty());
    RxBootp(Bootp(foreign, Xid(0x60)));
    EXPECT_EQ(RepliedAddresses(), QStringList{Ip(0)});
    RxBootp(Bootp(foreign, Xid(0x60))); // its repeat, answered again for the same module
    EXPECT_EQ(RepliedAddresses(), (QStringList{Ip(0), Ip(0)}));
    EXPECT_EQ(Triggered(), (QList<int>{0, 1, 2, 0}));
    // Its read request ends its turn; the next module is triggered while it is served.
    RxRead(0);
    EXPECT_EQ(Triggered(), (QList<int>{0, 1, 2, 0, 1}));
    RxBootp(Bootp(foreign, Xid(0x61)));
    EXPECT_EQ(RepliedAddresses(), (QStringList{Ip(0), Ip(0), Ip(1)}));
    RxAck(0, 1);
    RxRead(1);
    EXPECT_EQ(Triggered(), (QList<int>{0, 1, 2, 0, 1, 2}));
    // A module that does report its own MAC is matched by it as before.
    RxBootp(Bootp(MacBytes(2), Xid(0x62)));
    EXPECT_EQ(RepliedAddresses().last(), Ip(2));
    RxRead(2);
    for (int n : {0, 1, 2})
        RxAck(n, n == 0 ? 2 : 1);
    for (int n : {1, 2})
        RxAck(n, 2);
    EXPECT_TRUE(Finished);
    for (int n = 0; n < 3; ++n)
        EXPECT_EQ(M(n).Result, TUpFleetResult::Ok) << n;
}

TEST_F(UpgradeFleetTest, afterFallingBackTheNextTurnWaitsForTheStraysToDieDown)
{
    F->Options.SettleMs = 60;
    Start(2, 100);
    RxBootp(Bootp(Hex("00 00 00 00 00 00"), Xid(0x50)));
    QTest::qWait(20);
    EXPECT_EQ(Triggered(), (QList<int>{0, 1}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Triggered().size() == 3; }, 2000));
    EXPECT_EQ(Triggered(), (QList<int>{0, 1, 0}));
}

TEST_F(UpgradeFleetTest, inTurnsARepeatedRequestOfAModuleWithTheWrongIdentifierNeverEndsTheNextOne)
{
    F->Options.Parallel = 1;
    Start(2, 100);
    const QByteArray foreign = Hex("00 00 00 00 00 00");
    const QByteArray wrong = Hex("51 32 00 09");
    // One module searching: the request is its own.
    RxBootp(Bootp(foreign, Xid(1), wrong));
    EXPECT_TRUE(F->OneAtATime());
    EXPECT_EQ(M(0).Result, TUpFleetResult::Mismatch);
    EXPECT_EQ(Triggered(), (QList<int>{0, 1}));
    // Its boot loader goes on asking while the next module has its turn.
    for (int repeat = 0; repeat < 3; ++repeat)
        RxBootp(Bootp(foreign, Xid(1), wrong));
    EXPECT_EQ(M(1).Phase, TUpFleetPhase::Searching);
    EXPECT_EQ(M(1).Result, TUpFleetResult::Waiting);
    RxBootp(Bootp(foreign, Xid(2)));
    EXPECT_EQ(RepliedAddresses(), QStringList{Ip(1)});
    RxRead(1);
    RxAck(1, 1);
    EXPECT_EQ(M(1).Result, TUpFleetResult::Ok);
}

TEST_F(UpgradeFleetTest, inTurnsBootLoadersThatAllAskAlikeAreServedOneAfterTheOther)
{
    // Every boot loader reports the same hardware address and transaction ID: a request can only
    // be the searching module's once the module before it has sent its read request.
    F->Options.Parallel = 1;
    Start(3, 100);
    const QByteArray same = Bootp(Hex("00 00 00 00 00 00"), Xid(7));
    RxBootp(same);
    EXPECT_EQ(RepliedAddresses(), QStringList{Ip(0)});
    RxRead(0);
    RxAck(0, 1);
    EXPECT_EQ(M(0).Result, TUpFleetResult::Ok);
    EXPECT_EQ(Triggered(), (QList<int>{0, 1}));
    RxBootp(same);
    EXPECT_EQ(RepliedAddresses(), (QStringList{Ip(0), Ip(1)}));
    // Module 1 has other hardware: its boot loader goes on asking, and the next module's request,
    // alike, is not answered for it (nor does it end the next module): it waits, then times out.
    RxBootp(Bootp(Hex("00 00 00 00 00 00"), Xid(7), Hex("51 32 00 09")));
    EXPECT_EQ(M(1).Result, TUpFleetResult::Mismatch);
    EXPECT_EQ(Triggered(), (QList<int>{0, 1, 2}));
    RxBootp(same);
    EXPECT_EQ(RepliedAddresses(), (QStringList{Ip(0), Ip(1)}));
    EXPECT_EQ(M(2).Phase, TUpFleetPhase::Searching);
}

TEST_F(UpgradeFleetTest, eachModuleHasItsOwnTimeOutsAndRetransmissions)
{
    F->Times.SearchMs = 60;
    F->Times.BlockMs = 15;
    Start(3, 2000);
    RxBootp(Bootp(MacBytes(1), Xid(1)));
    RxRead(1);             // module 1 is served, then stops acknowledging
    RxBootp(Bootp(MacBytes(2), Xid(2))); // module 2 never sends its read request
    ASSERT_TRUE(QTest::qWaitFor([&] { return Finished; }, 3000));
    EXPECT_EQ(M(0).Result, TUpFleetResult::TimedOut);
    EXPECT_TRUE(M(0).Reason.contains(QLatin1String("no BOOTP request within 60 ms"))) << M(0).Reason.toStdString();
    EXPECT_EQ(M(1).Result, TUpFleetResult::TimedOut);
    EXPECT_TRUE(M(1).Reason.contains(QLatin1String("block 1 was not acknowledged after 9 retransmissions")));
    EXPECT_EQ(DataBlocksTo(1), QList<int>(10, 1));
    EXPECT_EQ(M(1).Blocks, 0);
    EXPECT_EQ(M(2).Result, TUpFleetResult::TimedOut);
    EXPECT_TRUE(M(2).Reason.contains(QLatin1String("no read request")));
    EXPECT_TRUE(DataBlocksTo(0).isEmpty());
    EXPECT_TRUE(DataBlocksTo(2).isEmpty());
    for (int n = 0; n < 3; ++n)
        EXPECT_EQ(M(n).StatusText(), QStringLiteral(" Upgrade time out!")) << n;
}

TEST_F(UpgradeFleetTest, modulesSharingAnAddressRunOneAfterTheOther)
{
    QList<TUpFleetTarget> t = Targets(3);
    t[2].IP = Ip(0);
    QString reason;
    ASSERT_TRUE(F->Start(t, LocalIP, Bin(100), reason));
    EXPECT_EQ(Triggered(), (QList<int>{0, 1}));
    Serve(0, 1);
    EXPECT_EQ(Triggered(), (QList<int>{0, 1, 2}));
}

TEST_F(UpgradeFleetTest, aModuleRefusedAtItsStartFailsAloneWithTheReason)
{
    QList<TUpFleetTarget> t = Targets(3);
    t[0].IP = QStringLiteral("10.1.2.3");  // another network
    t[1].MAC = QStringLiteral("00 1A 2B"); // not a MAC
    QString reason;
    ASSERT_TRUE(F->Start(t, LocalIP, Bin(100), reason));
    EXPECT_EQ(M(0).Result, TUpFleetResult::Failed);
    EXPECT_EQ(M(0).Reason, GetLangText(QStringLiteral("lang_Hint_UpNoSamNetwork")));
    EXPECT_EQ(M(1).Result, TUpFleetResult::Failed);
    EXPECT_FALSE(M(1).Reason.isEmpty());
    EXPECT_EQ(Triggered(), QList<int>{2});
    Serve(2, 1);
    EXPECT_EQ(M(2).Result, TUpFleetResult::Ok);
    EXPECT_TRUE(Finished);
}

TEST_F(UpgradeFleetTest, afterItsSuccessEachModuleIsLookedForAndItsFirmwareShown)
{
    F->Options.LookBack = true;
    F->Options.SearchEveryMs = 10;
    F->Options.BackTimeoutMs = 150;
    Start(2, 100);
    Serve(0, 1);
    EXPECT_EQ(M(0).Phase, TUpFleetPhase::LookingBack);
    EXPECT_EQ(M(0).Result, TUpFleetResult::Waiting);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Searches > 0; }, 1000));
    F->ModuleSeen(QStringLiteral("02 00 00 00 00 0B"), QStringLiteral("4100")); // another module: not it
    EXPECT_EQ(M(0).Phase, TUpFleetPhase::LookingBack);
    F->ModuleSeen(QStringLiteral("02000000000a"), QStringLiteral("4100"));
    EXPECT_EQ(M(0).Result, TUpFleetResult::Ok);
    EXPECT_EQ(M(0).VersionAfter, QStringLiteral("4100"));
    EXPECT_EQ(M(0).StatusText(), QStringLiteral(" Upgrade successful, the module is back with firmware 4100"));
    Serve(1, 1);
    EXPECT_FALSE(F->BindingsOpen()); // no transfer left: the ports are given back while it looks
    ASSERT_TRUE(QTest::qWaitFor([&] { return Finished; }, 2000));
    EXPECT_EQ(M(1).Result, TUpFleetResult::NotBack);
    EXPECT_TRUE(M(1).VersionAfter.isEmpty());
}

TEST_F(UpgradeFleetTest, factoryResetsOnceBackGoOneAtATimeAndTheirAnswersCount)
{
    F->Options.LookBack = true;
    F->Options.ResetAfter = true;
    F->Options.SearchEveryMs = 10;
    F->Options.ResetWaitMs = 50;
    Start(3, 100);
    for (int n = 0; n < 3; ++n)
        Serve(n, 1);
    for (int n = 0; n < 3; ++n)
        F->ModuleSeen(Mac(n), QStringLiteral("4100"));
    EXPECT_EQ(Resets, QList<int>{0});
    EXPECT_EQ(F->PendingReset(), 0);
    F->ResetAnswered(1, true, QStringLiteral(" ACK.")); // not the one asked for
    EXPECT_EQ(Resets, QList<int>{0});
    F->ResetAnswered(0, true, QStringLiteral(" ACK."));
    EXPECT_EQ(Resets, (QList<int>{0, 1}));
    F->ResetAnswered(1, false, QStringLiteral(" UsrName or Password Error!"));
    EXPECT_EQ(Resets, (QList<int>{0, 1, 2}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Finished; }, 2000)); // the third never answers
    EXPECT_EQ(M(0).Result, TUpFleetResult::Ok);
    EXPECT_EQ(M(0).StatusText(), QStringLiteral(" Upgrade successful, factory settings restored, firmware 4100"));
    EXPECT_EQ(M(1).Result, TUpFleetResult::Failed);
    EXPECT_TRUE(M(1).Reason.contains(QLatin1String("UsrName or Password Error!")));
    EXPECT_EQ(M(2).Result, TUpFleetResult::Failed);
    EXPECT_TRUE(M(2).Reason.contains(QLatin1String("no answer")));
}

TEST_F(UpgradeFleetTest, aCanaryGoesAloneAndTheRestFollowOnlyOnceItIsBack)
{
    struct {
        const char *name;
        bool fails;
    } cases[] = {{"back", false}, {"mismatch", true}};
    for (const auto &c : cases) {
        TearDown();
        Net = TFleetNet();
        Searches = 0;
        Finished = false;
        SetUp();
        F->Options.Canary = true;
        F->Options.LookBack = true;
        F->Options.SearchEveryMs = 10;
        Start(3, 100);
        EXPECT_EQ(Triggered(), QList<int>{0}) << c.name;
        if (c.fails) {
            RxBootp(Bootp(MacBytes(0), Xid(0), Hex("00 00 00 07")));
            EXPECT_TRUE(Finished) << c.name;
            EXPECT_EQ(Triggered(), QList<int>{0}) << c.name;
            for (int n : {1, 2}) {
                EXPECT_EQ(M(n).Result, TUpFleetResult::Skipped) << c.name;
                EXPECT_EQ(M(n).StatusText(), QStringLiteral(" Not started: the first module did not succeed."));
            }
            continue;
        }
        Serve(0, 1);
        QTest::qWait(30);
        EXPECT_EQ(Triggered(), QList<int>{0}) << c.name; // upgraded, not yet back
        F->ModuleSeen(Mac(0), QStringLiteral("4017"));
        Settle();
        EXPECT_EQ(Triggered(), (QList<int>{0, 1, 2})) << c.name;
    }
}

TEST_F(UpgradeFleetTest, stopEndsTransfersCleanlyAndReportsEachModule)
{
    F->Options.Parallel = 2;
    F->Options.LookBack = true;
    Start(4, 2000);
    Serve(0, 4);                         // done, being looked for
    RxBootp(Bootp(MacBytes(1), Xid(1)));
    RxRead(1);
    RxAck(1, 1);                         // mid-transfer
    EXPECT_EQ(M(2).Phase, TUpFleetPhase::Searching);
    const int sent = int(Net.Sends.size());
    F->Stop();
    EXPECT_TRUE(Finished);
    EXPECT_FALSE(Net.Opened);
    EXPECT_EQ(M(0).Result, TUpFleetResult::Ok);
    EXPECT_EQ(M(1).Result, TUpFleetResult::Stopped);
    EXPECT_TRUE(M(1).Reason.contains(QLatin1String("during the transfer, after 1 blocks")));
    EXPECT_EQ(M(1).StatusText(), QStringLiteral(" Stopped."));
    EXPECT_EQ(M(2).Result, TUpFleetResult::Stopped);
    EXPECT_EQ(M(3).Result, TUpFleetResult::Stopped);
    EXPECT_TRUE(M(3).Reason.contains(QLatin1String("before it started")));
    // Nothing more goes out: no retransmission, no answer to late datagrams.
    RxAck(1, 2);
    QTest::qWait(30);
    EXPECT_EQ(int(Net.Sends.size()), sent);
}
