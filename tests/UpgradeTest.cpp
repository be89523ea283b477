// The upgrade attempt driven datagram by datagram through a recording net, then over real loopback
// sockets.

#include "TestUtil.h"
#include "core/ProFun.h"
#include "core/Public.h"
#include "lang/LangList.h"
#include "upgrade/Upgrade.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QNetworkDatagram>
#include <QTemporaryDir>
#include <QTimer>
#include <QUdpSocket>
#include <functional>
#include <sys/stat.h>
#include <utility>

namespace {

const QString ModuleIP = QStringLiteral("192.168.0.7");
const QString LocalIP = QStringLiteral("192.168.0.2");
const QString Mac = QStringLiteral("00 1A 2B 3C 4D 5E");
const QByteArray HwId = Hex("51 32 00 01");

const QString TextSearching = QStringLiteral(" Searching device...");
const QString TextReady = QStringLiteral(" Find Device,Ready to upgrade...");
const QString TextNotMatch = QStringLiteral(" Firmware does not match with hardware!");
const QString TextSuccess = QStringLiteral(" Upgrade successful.please restore factory default.");
const QString TextFailed = QStringLiteral(" Upgrade failed!");
const QString TextTimeOut = QStringLiteral(" Upgrade time out!");

class TFakeNet : public IUpgradeNet {
public:
    struct TSent {
        TUpBinding From;
        QByteArray Bytes;
        QString Host;
        uint16_t Port;
        qint64 AtNs; // on Clock
    };
    QList<TSent> Sends;
    QElapsedTimer Clock;
    bool Opened = false;
    int Opens = 0;
    QString OpenedOn;
    QString FailOpen;  // reason to refuse Open with
    QString FailSends; // reason to refuse every send with

    bool Open(const QString &localIP, TUpgradePorts &, QString &reason) override
    {
        ++Opens;
        if (!FailOpen.isEmpty()) {
            reason = FailOpen;
            return false;
        }
        Opened = true;
        OpenedOn = localIP;
        return true;
    }
    void Close() override { Opened = false; }
    bool IsOpen() const override { return Opened; }
    bool Send(TUpBinding from, const QByteArray &bytes, const QString &host, uint16_t port, QString &reason) override
    {
        if (!FailSends.isEmpty()) {
            reason = FailSends;
            return false;
        }
        Sends.append({from, bytes, host, port, Clock.isValid() ? Clock.nsecsElapsed() : 0});
        return true;
    }
    QList<TSent> From(TUpBinding b) const
    {
        QList<TSent> out;
        for (const auto &s : Sends)
            if (s.From == b)
                out << s;
        return out;
    }
};

class TRecordingLog : public ILogSink {
public:
    QStringList Lines;
    void AddLog(const QString &text, TLogColor) override { Lines << text; }
    void AddHex(const QString &, TLogColor) override {}
};

// Frames as a module sends them.
QByteArray BootpRequest(const QByteArray &id, uint8_t byte26 = 1)
{
    QByteArray r(UpBootpLen, '\0');
    for (int i = 0; i < r.size(); ++i)
        r[i] = char((i * 7 + 3) & 0xFF); // every byte distinct from its neighbour: a reply must keep them
    r[0] = 1;
    r[1] = 1;
    r[2] = 6;
    r[3] = 0;
    r[10] = 0;
    r[11] = 0;
    r[26] = char(byte26);
    r.replace(UpHwIdOffset, 4, id);
    return r;
}

QByteArray ReadRequest(const char *opcode = "00 01", const QByteArray &name = "firmware.bin",
                       const QByteArray &mode = "octet")
{
    return Hex(opcode) + name + QByteArray(1, '\0') + mode + QByteArray(1, '\0');
}

QByteArray Ack(int block) { return UpBuildAck(block); }

QByteArray Pattern(int size, int seed = 7)
{
    QByteArray d(size, '\0');
    for (int i = 0; i < size; ++i)
        d[i] = char((i * 31 + seed + i / 251) & 0xFF);
    return d;
}

class UpgradeAttemptTest : public ::testing::Test {
public: // the case tables below reach in
    QTemporaryDir Dir;
    TFakeNet Net;
    TRecordingLog Log;
    std::unique_ptr<TUpgradeAttempt> A;
    QList<std::pair<QString, QString>> Statuses;
    QList<int> Progress;
    QList<std::pair<bool, bool>> Buttons;
    QList<std::pair<QString, QString>> Boxes;
    QList<TUpgradeState> Finished;

    void SetUp() override
    {
        delete LangList;
        LangList = new TLangList;
        FillDefaultTable();
        LangList->IsChinese = false;
        UpMask.clear();
        A = std::make_unique<TUpgradeAttempt>(&Net);
        A->Log = &Log;
        A->OnStatus = [this](const QString &k, const QString &t) { Statuses.append({k, t}); };
        A->OnProgress = [this](int p) { Progress << p; };
        A->OnButtons = [this](bool p, bool e) { Buttons.append({p, e}); };
        A->OnMessageBox = [this](const QString &k, const QString &t) { Boxes.append({k, t}); };
        A->OnFinished = [this](TUpgradeState s) { Finished << s; };
    }
    void TearDown() override
    {
        A.reset();
        FreeLanguage();
        UpMask.clear();
    }
    // A fresh attempt, net and record, for the next case of a table.
    void Reset()
    {
        TearDown();
        Statuses.clear(), Progress.clear(), Buttons.clear(), Boxes.clear(), Finished.clear(), Log.Lines.clear();
        Net = TFakeNet();
        SetUp();
    }

    QString WriteFile(const QByteArray &content, const QString &name = QStringLiteral("fw.bin"))
    {
        const QString path = Dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
        return path;
    }
    // A .bin with the identifier and dataSize bytes of image.
    QString WriteBin(int dataSize) { return WriteFile(HwId + Pattern(dataSize)); }

    TUpgradeInputs Inputs(const QString &file) const { return {ModuleIP, Mac, LocalIP, file}; }

    void Start(const QString &file)
    {
        ASSERT_TRUE(A->Program(Inputs(file)));
        ASSERT_EQ(A->State(), TUpgradeState::Searching);
    }
    void StartServing(int dataSize)
    {
        Start(WriteBin(dataSize));
        Rx(A->Ports.Tftp, ReadRequest());
        ASSERT_EQ(A->State(), TUpgradeState::Serving);
    }
    void Rx(uint16_t port, const QByteArray &bytes, const QString &sender = ModuleIP)
    {
        A->HandleDatagram(port, bytes, sender);
    }
    QList<TFakeNet::TSent> Data() const { return Net.From(TUpBinding::Data); }
    QByteArray LastData() const { return Data().isEmpty() ? QByteArray() : Data().last().Bytes; }
    QString LastStatus() const { return Statuses.isEmpty() ? QString() : Statuses.last().second; }

    void ExpectEndedIdle(TUpgradeState end, const QString &text)
    {
        EXPECT_EQ(A->State(), end);
        EXPECT_EQ(LastStatus(), text);
        ASSERT_FALSE(Buttons.isEmpty());
        EXPECT_EQ(Buttons.last(), std::make_pair(true, true));
        ASSERT_FALSE(Progress.isEmpty());
        EXPECT_EQ(Progress.last(), 0);
        EXPECT_FALSE(A->TimerActive());
        EXPECT_FALSE(A->FileOpen());
        EXPECT_EQ(Finished, QList<TUpgradeState>{end});
    }
};

} // namespace

// ---------------------------------------------------------------------------------------------
// Wire layouts

TEST(UpgradeWire, framesArePinned)
{
    const uint8_t mac[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    EXPECT_EQ(HexOf(UpBuildTrigger(mac)), "AA AA AA AA AA AA 00 1A 2B 3C 4D 5E 00 1A 2B 3C 4D 5E "
                                          "00 1A 2B 3C 4D 5E 00 1A 2B 3C 4D 5E");
    EXPECT_EQ(HexOf(UpBuildReadRequest()), "00 01 66 69 72 6D 77 61 72 65 2E 62 69 6E 00 6F 63 74 65 74 00");
    EXPECT_EQ(HexOf(UpBuildAck(300)), "00 04 01 2C");
    EXPECT_TRUE(UpReadRequestOk(UpBuildReadRequest()));
}

TEST(UpgradeWire, addressTextToBytesIsStrict)
{
    const auto b = UpAddressBytes(QStringLiteral(" 192.168. 0.7"));
    EXPECT_EQ(HexOf(QByteArray(reinterpret_cast<const char *>(b.data()), 4)), "C0 A8 00 07");
    EXPECT_EQ(UpAddressBytes(QStringLiteral("010.001.000.255"))[3], 255);
    for (const char *bad : {"", "1.2.3", "1.2.3.4.5", "256.1.1.1", "1.2.3.x", "1..2.3", "1.2.3.-4", "1.2.3.0004"})
        EXPECT_THROW(UpAddressBytes(QString::fromLatin1(bad)), EConvertError) << bad;
}

TEST(UpgradeWire, progressIsBlockOverWholeFileBlocksRoundedHalfUp)
{
    struct {
        int block;
        qint64 fileSize;
        int percent;
    } cases[] = {{1, 4 + 1024, 50}, {2, 4 + 1024, 100}, {1, 4 + 700, 100}, {1, 4 + 8 * 512, 13},
                 {3, 4 + 2044, 75}, {1, 4 + 3 * 512, 33}, {2, 4 + 3 * 512, 67}};
    for (const auto &c : cases)
        EXPECT_EQ(UpProgressPercent(c.block, c.fileSize), c.percent) << c.block << "/" << c.fileSize;
}

// ---------------------------------------------------------------------------------------------
// Checks before anything starts

TEST_F(UpgradeAttemptTest, refusalsBeforeTheStartLeaveEverythingIdle)
{
    const QString file = WriteBin(10);
    struct {
        const char *name;
        TUpgradeInputs in;
        const char *key;
        bool box;
    } cases[] = {
        {"no module IP", {"", Mac, LocalIP, file}, "lang_Hint_UpNoClient", false},
        {"no MAC", {ModuleIP, "", LocalIP, file}, "lang_Hint_UpNoClient", false},
        {"no local IP", {ModuleIP, Mac, "", file}, "lang_Hint_UpNoClient", false},
        {"no file", {ModuleIP, Mac, LocalIP, ""}, "lang_Hint_UpNoFileName", false},
        {"other network", {"192.168.1.5", Mac, LocalIP, file}, "lang_Hint_UpNoSamNetwork", true},
        {"not an address", {"abc", Mac, LocalIP, file}, "", true},
        // 300 carries into the third number, so the lenient network check alone would let it by.
        {"too big for a byte", {"192.168.0.300", Mac, "192.168.1.2", file}, "", true},
        {"five numbers", {"192.168.0.7.9", Mac, LocalIP, file}, "", true},
    };
    for (const auto &c : cases) {
        Statuses.clear();
        Boxes.clear();
        EXPECT_FALSE(A->Program(c.in)) << c.name;
        if (c.box) {
            ASSERT_EQ(Boxes.size(), 1) << c.name;
            EXPECT_EQ(Boxes[0].first, QString::fromLatin1(c.key)) << c.name;
            EXPECT_FALSE(Boxes[0].second.isEmpty()) << c.name;
            EXPECT_TRUE(Statuses.isEmpty()) << c.name;
        } else {
            ASSERT_EQ(Statuses.size(), 1) << c.name;
            EXPECT_EQ(Statuses[0].first, QString::fromLatin1(c.key)) << c.name;
        }
        EXPECT_EQ(A->State(), TUpgradeState::Idle) << c.name;
    }
    EXPECT_EQ(Net.Opens, 0);
    EXPECT_TRUE(Net.Sends.isEmpty());
    EXPECT_TRUE(Buttons.isEmpty());
    EXPECT_FALSE(A->TimerActive());
    EXPECT_EQ(UpMask, UpDefaultMask);
}

TEST_F(UpgradeAttemptTest, filesThatAreNoFirmwareAreRefusedBeforeAnyPortIsBound)
{
    const QString fifo = Dir.filePath(QStringLiteral("fw-pipe.bin"));
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const auto sparse = [&](const char *name, qint64 size) {
        const QString path = Dir.filePath(QString::fromLatin1(name));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(HwId) == 4 && f.resize(size));
        return path;
    };
    const QString tooLarge = sparse("huge.bin", UpMaxImageBytes + 1);
    struct {
        const char *name;
        QString file;
        const char *key;
    } cases[] = {
        // A pipe used to hang the attempt in the open, ports bound.
        {"a pipe", fifo, "lang_Hint_UpFileNotRegular"},
        {"a device", QStringLiteral("/dev/zero"), "lang_Hint_UpFileNotRegular"},
        {"a folder", Dir.path(), "lang_Hint_UpFileNotRegular"},
        {"more than a module holds", tooLarge, "lang_Hint_UpFileTooLarge"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Reset();
        EXPECT_FALSE(A->Program(Inputs(c.file)));
        EXPECT_TRUE(A->RefusedFile);
        ASSERT_EQ(Boxes.size(), 1);
        EXPECT_EQ(Boxes[0].first, QString::fromLatin1(c.key));
        EXPECT_TRUE(Boxes[0].second.endsWith(c.file)) << Boxes[0].second.toStdString();
        EXPECT_EQ(Net.Opens, 0);
        EXPECT_TRUE(Buttons.isEmpty());
        EXPECT_FALSE(A->FileOpen());
        EXPECT_EQ(A->State(), TUpgradeState::Idle);
    }
    Reset();
    EXPECT_TRUE(A->Program(Inputs(sparse("full.bin", UpMaxImageBytes)))) << "exactly the limit is taken";
    EXPECT_FALSE(A->RefusedFile);
}

TEST_F(UpgradeAttemptTest, theFileIsOpenedBeforeThePortsAreBound)
{
    // Both wrong: the file is what the attempt stops at, with nothing bound.
    Net.FailOpen = QStringLiteral("cannot bind 192.168.0.2 port 67: Address already in use");
    EXPECT_TRUE(A->Program(Inputs(Dir.filePath(QStringLiteral("none.bin")))));
    EXPECT_EQ(A->State(), TUpgradeState::Failed);
    EXPECT_EQ(Net.Opens, 0);
    ASSERT_FALSE(Log.Lines.isEmpty());
    EXPECT_TRUE(Log.Lines.last().contains(QLatin1String("cannot open"))) << Log.Lines.last().toStdString();
    EXPECT_FALSE(A->RefusedFile) << "a missing file ends the attempt as before";

    // A good file is open by the time the ports are.
    Reset();
    bool openAtBind = false;
    struct TWatchingNet : TFakeNet {
        std::function<void()> AtOpen;
        bool Open(const QString &ip, TUpgradePorts &p, QString &reason) override
        {
            AtOpen();
            return TFakeNet::Open(ip, p, reason);
        }
    } watching;
    watching.AtOpen = [&] { openAtBind = A->FileOpen(); };
    A = std::make_unique<TUpgradeAttempt>(&watching);
    EXPECT_TRUE(A->Program(Inputs(WriteBin(10))));
    EXPECT_TRUE(openAtBind);
    A.reset();
}

TEST_F(UpgradeAttemptTest, sameNetworkMessageHasTheSystemsText)
{
    EXPECT_FALSE(A->Program({"192.168.1.5", Mac, LocalIP, WriteBin(1)}));
    ASSERT_EQ(Boxes.size(), 1);
    EXPECT_EQ(Boxes[0].second, QStringLiteral("Please set the module and the computer on the same network segment, "
                                              "otherwise unable to upgrade."));
}

TEST_F(UpgradeAttemptTest, startBindsOnLocalIpSendsTheTriggerAndArmsTheSearchTimeOut)
{
    Start(WriteBin(100));
    EXPECT_EQ(Buttons, (QList<std::pair<bool, bool>>{{false, false}}));
    ASSERT_FALSE(Statuses.isEmpty());
    EXPECT_EQ(Statuses[0].second, TextSearching);
    EXPECT_EQ(Progress, QList<int>{0});
    EXPECT_EQ(Net.OpenedOn, LocalIP);
    ASSERT_EQ(Net.Sends.size(), 1);
    EXPECT_EQ(Net.Sends[0].From, TUpBinding::Trigger);
    EXPECT_EQ(Net.Sends[0].Host, BroadcastIP);
    EXPECT_EQ(Net.Sends[0].Port, 9);
    EXPECT_EQ(HexOf(Net.Sends[0].Bytes), "AA AA AA AA AA AA 00 1A 2B 3C 4D 5E 00 1A 2B 3C 4D 5E "
                                         "00 1A 2B 3C 4D 5E 00 1A 2B 3C 4D 5E");
    EXPECT_TRUE(A->TimerActive());
    EXPECT_EQ(A->TimerInterval(), 10000);
    EXPECT_EQ(A->UpRetries, -1);
    EXPECT_EQ(A->UpBlock, 0);
    EXPECT_EQ(A->UpHwId, HwId);
    EXPECT_EQ(UpMask, UpDefaultMask);
}

TEST_F(UpgradeAttemptTest, anErrorAfterTheStartEndsTheAttemptAsAFailure)
{
    struct {
        const char *name;
        std::function<QString(UpgradeAttemptTest &)> setUp; // returns the file to use
        const char *logged;
    } cases[] = {
        {"file missing", [](UpgradeAttemptTest &t) { return t.Dir.filePath("none.bin"); }, "cannot open"},
        {"empty file", [](UpgradeAttemptTest &t) { return t.WriteFile({}); }, "too few"},
        {"three bytes", [](UpgradeAttemptTest &t) { return t.WriteFile(Hex("51 32 00")); }, "too few"},
        {"port held",
         [](UpgradeAttemptTest &t) {
             t.Net.FailOpen = QStringLiteral("cannot bind 192.168.0.2 port 67: Address already in use");
             return t.WriteBin(10);
         },
         "Address already in use"},
        {"send refused",
         [](UpgradeAttemptTest &t) {
             t.Net.FailSends = QStringLiteral("cannot send: Network is unreachable");
             return t.WriteBin(10);
         },
         "unreachable"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Reset();
        const QString file = c.setUp(*this);
        EXPECT_TRUE(A->Program(Inputs(file)));
        ExpectEndedIdle(TUpgradeState::Failed, TextFailed);
        EXPECT_FALSE(Net.IsOpen());
        EXPECT_TRUE(Net.From(TUpBinding::Trigger).isEmpty());
        ASSERT_FALSE(Log.Lines.isEmpty());
        EXPECT_TRUE(Log.Lines.last().contains(QLatin1String(c.logged))) << Log.Lines.last().toStdString();
    }
}

TEST_F(UpgradeAttemptTest, badMacFailsAfterTheStartWithNothingSent)
{
    EXPECT_TRUE(A->Program({ModuleIP, QStringLiteral("00 1A 2B"), LocalIP, WriteBin(10)}));
    ExpectEndedIdle(TUpgradeState::Failed, TextFailed);
    EXPECT_TRUE(Net.Sends.isEmpty());
}

TEST_F(UpgradeAttemptTest, shortFileNeverBorrowsTheIdentifierOfAnEarlierFile)
{
    Start(WriteBin(10));
    A->Exit();
    EXPECT_TRUE(A->Program(Inputs(WriteFile(Hex("51 32"), QStringLiteral("short.bin")))));
    EXPECT_EQ(A->State(), TUpgradeState::Failed);
    EXPECT_TRUE(A->UpHwId.isEmpty());
    EXPECT_EQ(Net.From(TUpBinding::Trigger).size(), 1); // only the first attempt's
    EXPECT_EQ(LastStatus(), TextFailed);
}

// ---------------------------------------------------------------------------------------------
// BOOTP

TEST_F(UpgradeAttemptTest, matchingBootpRequestIsAnsweredWithItsBytesAndOurAddresses)
{
    Start(WriteBin(10));
    const QByteArray req = BootpRequest(HwId);
    Rx(A->Ports.Bootp, req, QStringLiteral("0.0.0.0")); // the boot loader has no address yet
    EXPECT_EQ(LastStatus(), TextReady);
    const auto replies = Net.From(TUpBinding::Bootp);
    ASSERT_EQ(replies.size(), 1);
    EXPECT_EQ(replies[0].Host, BroadcastIP);
    EXPECT_EQ(replies[0].Port, 68);
    const QByteArray r = replies[0].Bytes;
    ASSERT_EQ(r.size(), UpBootpLen);
    EXPECT_EQ(HexOf(r.mid(0, 1)), "02");
    EXPECT_EQ(HexOf(r.mid(16, 4)), "C0 A8 00 07");
    EXPECT_EQ(HexOf(r.mid(20, 4)), "C0 A8 00 02");
    EXPECT_EQ(r.mid(108, 12), QByteArray("firmware.bin"));
    for (int i = 0; i < UpBootpLen; ++i)
        if (i != 0 && !(i >= 16 && i < 24) && !(i >= 108 && i < 120)) {
            ASSERT_EQ(r[i], req[i]) << "byte " << i;
        }
    EXPECT_EQ(A->UpBootpBuf, req);
    EXPECT_EQ(A->State(), TUpgradeState::Searching); // still waiting for the read request
}

TEST_F(UpgradeAttemptTest, bootpRequestsWithOtherFixedFieldsOrSizesAreIgnored)
{
    Start(WriteBin(10));
    struct {
        const char *name;
        int offset;
        char value;
        int size;
    } cases[] = {
        {"op reply", 0, 2, UpBootpLen},     {"hardware type", 1, 6, UpBootpLen},
        {"address length", 2, 8, UpBootpLen}, {"hops", 3, 1, UpBootpLen},
        {"broadcast flag", 10, char(0x80), UpBootpLen}, {"flags low", 11, 1, UpBootpLen},
        {"one byte short", -1, 0, UpBootpLen - 1}, {"one byte long", -1, 0, UpBootpLen + 1},
    };
    for (const auto &c : cases) {
        QByteArray req = BootpRequest(HwId);
        if (c.offset >= 0)
            req[c.offset] = c.value;
        req.resize(c.size, '\0');
        Rx(A->Ports.Bootp, req);
        EXPECT_TRUE(Net.From(TUpBinding::Bootp).isEmpty()) << c.name;
    }
    Rx(A->Ports.Tftp, BootpRequest(HwId)); // right bytes, wrong binding
    EXPECT_TRUE(Net.From(TUpBinding::Bootp).isEmpty());
    EXPECT_EQ(LastStatus(), TextSearching);
    EXPECT_EQ(A->State(), TUpgradeState::Searching);
}

TEST_F(UpgradeAttemptTest, otherIdentifierEndsTheAttemptOnlyWhenByte26IsSet)
{
    Start(WriteBin(10));
    Rx(A->Ports.Bootp, BootpRequest(Hex("51 32 00 02"), 0));
    EXPECT_EQ(A->State(), TUpgradeState::Searching);
    EXPECT_TRUE(A->TimerActive());
    EXPECT_TRUE(Net.From(TUpBinding::Bootp).isEmpty());

    Rx(A->Ports.Bootp, BootpRequest(Hex("51 32 00 02"), 1));
    EXPECT_TRUE(Net.From(TUpBinding::Bootp).isEmpty());
    EXPECT_FALSE(Net.IsOpen());
    ExpectEndedIdle(TUpgradeState::Mismatch, TextNotMatch);

    // The message stays: a late timer event and late datagrams change nothing.
    A->TimerFired();
    Rx(A->Ports.Bootp, BootpRequest(HwId));
    EXPECT_EQ(LastStatus(), TextNotMatch);
    EXPECT_EQ(Finished.size(), 1);
}

// ---------------------------------------------------------------------------------------------
// Read requests

TEST_F(UpgradeAttemptTest, readRequestFromTheModuleStartsAtBlock1)
{
    StartServing(1024);
    ASSERT_EQ(Data().size(), 1);
    EXPECT_EQ(Data()[0].Host, ModuleIP);
    EXPECT_EQ(Data()[0].Port, 13633);
    EXPECT_EQ(HexOf(LastData().left(4)), "00 03 00 01");
    EXPECT_EQ(LastData().mid(4), Pattern(1024).left(512));
    EXPECT_EQ(A->UpRetries, 0);
    EXPECT_EQ(A->UpBlock, 1);
    EXPECT_EQ(A->TimerInterval(), 2000);
    EXPECT_TRUE(A->TimerActive());
}

TEST_F(UpgradeAttemptTest, readRequestChecks)
{
    struct {
        const char *name;
        QByteArray bytes;
        QString sender;
        bool accepted;
    } cases[] = {
        {"exact", ReadRequest(), ModuleIP, true},
        {"terminators not looked at", [] { QByteArray r = ReadRequest(); r[14] = 'x'; r[20] = 'y'; return r; }(),
         ModuleIP, true},
        {"other sender", ReadRequest(), QStringLiteral("192.168.0.8"), false},
        {"write request", ReadRequest("00 02"), ModuleIP, false},
        {"name in capitals", ReadRequest("00 01", "FIRMWARE.BIN"), ModuleIP, false},
        {"other name", ReadRequest("00 01", "firmware.biN"), ModuleIP, false},
        {"netascii", ReadRequest("00 01", "firmware.bin", "netas"), ModuleIP, false},
        {"mode in capitals", ReadRequest("00 01", "firmware.bin", "OCTET"), ModuleIP, false},
        {"one byte short", ReadRequest().left(20), ModuleIP, false},
        {"one byte long", ReadRequest() + '\0', ModuleIP, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Reset();
        Start(WriteBin(600));
        Rx(A->Ports.Tftp, c.bytes, c.sender);
        EXPECT_EQ(Data().size(), c.accepted ? 1 : 0);
        EXPECT_EQ(A->State(), c.accepted ? TUpgradeState::Serving : TUpgradeState::Searching);
        EXPECT_EQ(A->UpRetries, c.accepted ? 0 : -1);
        EXPECT_TRUE(A->TimerActive()); // a refused request leaves the search time-out running
    }
}

TEST_F(UpgradeAttemptTest, moduleAddressTypedWithLeadingZerosStillMatchesTheSender)
{
    ASSERT_TRUE(A->Program({QStringLiteral("192.168.000.007"), Mac, LocalIP, WriteBin(10)}));
    Rx(A->Ports.Tftp, ReadRequest(), QStringLiteral("192.168.0.7"));
    EXPECT_EQ(A->State(), TUpgradeState::Serving);
    EXPECT_EQ(Data().size(), 1);
    EXPECT_EQ(Data()[0].Host, ModuleIP);
}

// ---------------------------------------------------------------------------------------------
// Serving the image

TEST_F(UpgradeAttemptTest, imagesAreServedInBlocksWithTheirProgress)
{
    struct {
        int dataSize;
        QList<int> blockSizes;
        QList<int> percents;
    } cases[] = {
        {1024, {512, 512, 0}, {50, 100, 100}},
        {700, {512, 188}, {100, 100}},
        {0, {0}, {100}},
        {511, {511}, {100}},
        {3 * 512 + 508, {512, 512, 512, 508}, {25, 50, 75, 100}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.dataSize);
        Reset();
        StartServing(c.dataSize);
        const QByteArray image = Pattern(c.dataSize);
        QByteArray received;
        QList<int> sizes, percents;
        for (int b = 1; b <= c.blockSizes.size(); ++b) {
            ASSERT_EQ(Data().size(), b);
            const QByteArray d = LastData();
            EXPECT_EQ(HexOf(d.left(4)), HexOf(Hex("00 03") + char(b >> 8) + char(b & 0xFF)));
            sizes << int(d.size() - 4);
            received += d.mid(4);
            percents << Progress.last();
            EXPECT_EQ(LastStatus(), QStringLiteral(" Upgrade progress...%1%").arg(Progress.last()));
            if (b < c.blockSizes.size()) {
                EXPECT_EQ(A->State(), TUpgradeState::Serving);
            }
            Rx(A->Ports.Data, Ack(b));
        }
        EXPECT_EQ(sizes, c.blockSizes);
        EXPECT_EQ(percents, c.percents);
        EXPECT_EQ(received, image);
        ExpectEndedIdle(TUpgradeState::Done, TextSuccess);
        EXPECT_FALSE(Net.IsOpen()); // success gives the ports back too
    }
}

TEST_F(UpgradeAttemptTest, block300CarriesItsNumberInTwoBytes)
{
    StartServing(300 * 512 + 10);
    for (int b = 1; b < 300; ++b)
        Rx(A->Ports.Data, Ack(b));
    EXPECT_EQ(HexOf(LastData().left(4)), "00 03 01 2C");
    EXPECT_EQ(LastData().mid(4), Pattern(300 * 512 + 10).mid(299 * 512, 512));
}

TEST_F(UpgradeAttemptTest, blockNumbersGoOnPastTheSixteenBitWrap)
{
    // A sparse file of 65536 full blocks and a short one with known bytes at its end.
    const QString path = Dir.filePath(QStringLiteral("big.bin"));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(HwId);
        ASSERT_TRUE(f.resize(4 + 65536LL * 512));
        ASSERT_TRUE(f.seek(4 + 65536LL * 512));
        f.write(Pattern(100));
    }
    // More than a module holds, which only this test of the numbering needs.
    A->MaxImageBytes = 64LL * 1024 * 1024;
    Start(path);
    Rx(A->Ports.Tftp, ReadRequest());
    A->SendUpgradeData(65535);
    Rx(A->Ports.Data, Ack(65535));
    EXPECT_EQ(HexOf(LastData().left(4)), "00 03 00 00");
    EXPECT_EQ(A->UpBlock, 65536);
    Rx(A->Ports.Data, Ack(0)); // 65536 on the wire
    EXPECT_EQ(HexOf(LastData().left(4)), "00 03 00 01");
    EXPECT_EQ(A->UpBlock, 65537);
    EXPECT_EQ(LastData().mid(4), Pattern(100));
    Rx(A->Ports.Data, Ack(1));
    EXPECT_EQ(A->State(), TUpgradeState::Done);
}

TEST_F(UpgradeAttemptTest, acknowledgementsThatDoNotDriveTheTransfer)
{
    StartServing(1024);
    Rx(A->Ports.Data, Ack(1));
    ASSERT_EQ(Data().size(), 2);
    struct {
        const char *name;
        QByteArray bytes;
        QString sender;
        bool onReadRequestBinding;
    } cases[] = {
        {"other sender", Ack(2), QStringLiteral("192.168.0.9"), false},
        {"not an acknowledgement", Hex("00 05 00 02"), ModuleIP, false},
        {"ahead of what was sent", Ack(3), ModuleIP, false},
        {"far behind the wrap", Ack(0xFFFF), ModuleIP, false},
        {"too short", Hex("00 04 00"), ModuleIP, false},
        {"on the read-request binding", Ack(2), ModuleIP, true},
    };
    for (const auto &c : cases) {
        Rx(c.onReadRequestBinding ? A->Ports.Tftp : A->Ports.Data, c.bytes, c.sender);
        EXPECT_EQ(Data().size(), 2) << c.name;
        EXPECT_TRUE(A->TimerActive()) << c.name; // the time-out still guards the transfer
        EXPECT_EQ(A->UpBlock, 2) << c.name;
    }
    A->TimerFired(); // and still sends block 2 again
    EXPECT_EQ(Data().size(), 3);
    EXPECT_EQ(HexOf(LastData().left(4)), "00 03 00 02");
}

TEST_F(UpgradeAttemptTest, acknowledgementBeforeAnyReadRequestSendsNothing)
{
    Start(WriteBin(1024));
    Rx(A->Ports.Data, Ack(0));
    Rx(A->Ports.Data, Ack(1));
    EXPECT_TRUE(Data().isEmpty());
    EXPECT_EQ(A->State(), TUpgradeState::Searching);
}

TEST_F(UpgradeAttemptTest, lateAcknowledgementOfAnEarlierBlockIsNoSuccess)
{
    StartServing(1024);
    Rx(A->Ports.Data, Ack(1));
    Rx(A->Ports.Data, Ack(2)); // block 3, the empty final one, is out
    ASSERT_TRUE(A->UpLastSent);
    Rx(A->Ports.Data, Ack(2)); // a repeat of the previous acknowledgement
    EXPECT_EQ(A->State(), TUpgradeState::Serving);
    EXPECT_EQ(HexOf(LastData()), "00 03 00 03");
    Rx(A->Ports.Data, Ack(3));
    EXPECT_EQ(A->State(), TUpgradeState::Done);
}

TEST_F(UpgradeAttemptTest, lostFinalAcknowledgementIsRepairedByRetransmission)
{
    StartServing(700);
    Rx(A->Ports.Data, Ack(1));
    const QByteArray final = LastData();
    ASSERT_EQ(final.size(), 4 + 188);
    A->TimerFired();
    EXPECT_EQ(LastData(), final);
    EXPECT_TRUE(A->FileOpen());
    Rx(A->Ports.Data, Ack(2));
    EXPECT_EQ(A->State(), TUpgradeState::Done);
    EXPECT_EQ(LastStatus(), TextSuccess);
}

TEST_F(UpgradeAttemptTest, repeatedReadRequestStartsOverAtBlock1)
{
    StartServing(700);
    Rx(A->Ports.Data, Ack(1));
    A->TimerFired();
    ASSERT_TRUE(A->UpLastSent);
    ASSERT_EQ(A->UpRetries, 1);
    Rx(A->Ports.Tftp, ReadRequest());
    EXPECT_EQ(HexOf(LastData().left(4)), "00 03 00 01");
    EXPECT_EQ(A->UpRetries, 0);
    EXPECT_FALSE(A->UpLastSent);
    Rx(A->Ports.Data, Ack(1)); // acknowledges block 1 of the new run: no success yet
    EXPECT_EQ(A->State(), TUpgradeState::Serving);
    Rx(A->Ports.Data, Ack(2));
    EXPECT_EQ(A->State(), TUpgradeState::Done);
}

// ---------------------------------------------------------------------------------------------
// Time-outs

TEST_F(UpgradeAttemptTest, searchTimeOutEndsTheAttempt)
{
    Start(WriteBin(10));
    Rx(A->Ports.Bootp, BootpRequest(HwId)); // answered, but no read request follows
    A->TimerFired();
    ExpectEndedIdle(TUpgradeState::TimedOut, TextTimeOut);
    EXPECT_FALSE(Net.IsOpen());
    EXPECT_TRUE(Data().isEmpty());
}

TEST_F(UpgradeAttemptTest, nineRetransmissionsPerAttemptThenTheTimeOut)
{
    StartServing(4 * 512);
    for (int i = 0; i < 4; ++i)
        A->TimerFired(); // block 1 four more times
    Rx(A->Ports.Data, Ack(1));
    for (int i = 0; i < 5; ++i)
        A->TimerFired(); // block 2 five more times: the acknowledgement did not reset the count
    EXPECT_EQ(A->UpRetries, 9);
    EXPECT_EQ(A->State(), TUpgradeState::Serving);
    const auto d = Data();
    ASSERT_EQ(d.size(), 1 + 4 + 1 + 5);
    for (int i = 1; i < 5; ++i)
        EXPECT_EQ(d[i].Bytes, d[0].Bytes);
    for (int i = 6; i < d.size(); ++i)
        EXPECT_EQ(d[i].Bytes, d[5].Bytes);
    A->TimerFired();
    ExpectEndedIdle(TUpgradeState::TimedOut, TextTimeOut);
    EXPECT_EQ(Data().size(), d.size());
}

TEST_F(UpgradeAttemptTest, readRequestResetsTheRetransmissionCount)
{
    StartServing(4 * 512);
    for (int i = 0; i < 9; ++i)
        A->TimerFired();
    Rx(A->Ports.Tftp, ReadRequest());
    EXPECT_EQ(A->UpRetries, 0);
    A->TimerFired();
    EXPECT_EQ(A->State(), TUpgradeState::Serving);
}

TEST_F(UpgradeAttemptTest, realTimerEndsASilentSearchAndAStalledTransfer)
{
    for (bool serving : {false, true}) {
        SCOPED_TRACE(serving ? "stalled transfer" : "silent search");
        Reset();
        A->Times = {30, 10};
        QEventLoop loop;
        A->OnFinished = [&](TUpgradeState s) {
            Finished << s;
            loop.quit();
        };
        Start(WriteBin(2000));
        if (serving)
            Rx(A->Ports.Tftp, ReadRequest());
        QTimer::singleShot(20000, &loop, &QEventLoop::quit); // a generous limit for a loaded machine
        loop.exec();
        EXPECT_EQ(Finished, QList<TUpgradeState>{TUpgradeState::TimedOut});
        EXPECT_EQ(Data().size(), serving ? 1 + UpMaxRetries : 0);
        EXPECT_EQ(LastStatus(), TextTimeOut);
    }
}

TEST_F(UpgradeAttemptTest, timeOutsNeverFireBeforeTheirTime)
{
    // Short intervals in place of 10 s and 2 s. A timer that fires early, even by a few per cent,
    // shows in one of the eleven intervals measured here.
    constexpr int Ms = 200;
    constexpr qint64 Ns = qint64(Ms) * 1000000;
    for (bool serving : {false, true}) {
        SCOPED_TRACE(serving ? "block time-outs" : "search time-out");
        Reset();
        A->Times = {Ms, Ms};
        QEventLoop loop;
        qint64 endedAt = 0;
        A->OnFinished = [&](TUpgradeState s) {
            endedAt = Net.Clock.nsecsElapsed();
            Finished << s;
            loop.quit();
        };
        const QString file = WriteBin(2000);
        Net.Clock.start(); // before the attempt starts its timer
        Start(file);
        if (serving)
            Rx(A->Ports.Tftp, ReadRequest());
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        loop.exec();
        ASSERT_EQ(Finished, QList<TUpgradeState>{TUpgradeState::TimedOut});
        if (!serving) {
            EXPECT_GE(endedAt, Ns) << "the search ended after " << endedAt / 1000 << " us";
            continue;
        }
        const auto d = Data();
        ASSERT_EQ(d.size(), 1 + UpMaxRetries);
        for (int i = 1; i < d.size(); ++i)
            EXPECT_GE(d[i].AtNs - d[i - 1].AtNs, Ns) << "block sent again after " << (d[i].AtNs - d[i - 1].AtNs) / 1000 << " us";
        EXPECT_GE(endedAt - d.last().AtNs, Ns);
    }
}

// ---------------------------------------------------------------------------------------------
// Failures while serving, and leaving

TEST_F(UpgradeAttemptTest, failuresWhileServingEndTheAttempt)
{
    StartServing(2000);
    Net.FailSends = QStringLiteral("cannot send to 192.168.0.7 port 13633: Network is unreachable");
    Rx(A->Ports.Data, Ack(1));
    ExpectEndedIdle(TUpgradeState::Failed, TextFailed);
    EXPECT_TRUE(Log.Lines.last().contains(QLatin1String("unreachable")));
}

TEST_F(UpgradeAttemptTest, fileThatShrinksWhileServedFailsInsteadOfSendingShortData)
{
    const QString path = WriteBin(2000);
    Start(path);
    Rx(A->Ports.Tftp, ReadRequest());
    ASSERT_TRUE(QFile::resize(path, 4 + 600));
    Rx(A->Ports.Data, Ack(1)); // block 2 would need bytes 516..1027
    ExpectEndedIdle(TUpgradeState::Failed, TextFailed);
    EXPECT_EQ(Data().size(), 1);
    EXPECT_TRUE(Log.Lines.last().contains(QLatin1String("shorter")));
}

TEST_F(UpgradeAttemptTest, exitStopsEverything)
{
    StartServing(2000);
    A->Exit();
    EXPECT_FALSE(Net.IsOpen());
    EXPECT_FALSE(A->TimerActive());
    EXPECT_FALSE(A->FileOpen());
    EXPECT_EQ(Buttons.last(), std::make_pair(true, true));
    EXPECT_EQ(Progress.last(), 0);
    Rx(A->Ports.Data, Ack(1));
    EXPECT_EQ(Data().size(), 1);
}
