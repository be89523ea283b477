// The firmware upgrade window: its inputs, refusals and hand-over, and whole attempts against the
// simulated boot loader on loopback, with the ports moved to free ones so that parallel tests never
// meet.

#include "DialogTestUtil.h"
#include "GuiTestUtil.h"
#include "core/LogSink.h"
#include "core/ProFun.h"
#include "core/Settings.h"
#include "gui/Frm_Upgrade.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>
#include <memory>
#include <sys/stat.h>

namespace {

const QString Loop = QStringLiteral("127.0.0.1");
const QString Mac = QStringLiteral("02 00 00 00 13 01");
const QByteArray HwId = QByteArray::fromHex("51320001");
const QString Success = QStringLiteral(" Upgrade successful.please restore factory default.");

class TRecordingLog : public ILogSink {
public:
    QStringList Lines;
    void AddLog(const QString &text, TLogColor) override { Lines << text; }
    void AddHex(const QString &, TLogColor) override {}
};

struct UpgradeWindowTest : ::testing::Test {
    TLangScope Lang{false};
    QTemporaryDir Dir;
    TRecordingLog Log;
    QStringList Messages;
    std::unique_ptr<Tfrm_Upgrade> W;

    void SetUp() override { Make(TAppSettings{}); }
    void TearDown() override { SetLocalIPv4Provider({}); }

    void Make(const TAppSettings &settings)
    {
        W = std::make_unique<Tfrm_Upgrade>(settings);
        W->ShowMessage = [this](QWidget *, const QString &, const QString &text) { Messages << text; };
        W->SetLog(&Log);
    }

    template <typename T = QWidget> T *C(const char *name) { return Ctl<T>(W.get(), name); }
    QString Info() { return C<QLabel>("lbl_Info")->text(); }
    bool ButtonsEnabled() { return C("btn_Program")->isEnabled() && C("btn_Exit")->isEnabled(); }

    QString WriteBin(const QByteArray &content)
    {
        const QString path = Dir.filePath(QStringLiteral("fw.bin"));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
        return path;
    }

    void Inputs(const QString &ip, const QString &mac, const QString &local, const QString &file)
    {
        C<QLineEdit>("edt_IP")->setText(ip);
        C<QLineEdit>("edt_MAC")->setText(mac);
        C<QComboBox>("cbbSvrIP")->setEditText(local);
        C<QLineEdit>("edt_BinFileName")->setText(file);
    }

    void ClickProgram() { QTest::mouseClick(C<QPushButton>("btn_Program"), Qt::LeftButton); }
};

} // namespace

TEST_F(UpgradeWindowTest, editsComeFromTheSettingsAndGoBackToThem)
{
    TAppSettings in;
    in.UpgradeIP = QStringLiteral("192.168.0.7");
    in.UpgradeMAC = QStringLiteral("00 1A 2B 3C 4D 5E");
    in.UpgradeFileName = QStringLiteral("/srv/fw/q2.bin");
    Make(in);
    EXPECT_EQ(C<QLineEdit>("edt_IP")->text(), in.UpgradeIP);
    EXPECT_EQ(C<QLineEdit>("edt_MAC")->text(), in.UpgradeMAC);
    EXPECT_EQ(C<QLineEdit>("edt_BinFileName")->text(), in.UpgradeFileName);
    EXPECT_EQ(W->LocalIP(), "");

    C<QLineEdit>("edt_IP")->setText(QStringLiteral("10.0.0.9"));
    TAppSettings out;
    W->StoreSettings(out);
    EXPECT_EQ(out.UpgradeIP, "10.0.0.9");
    EXPECT_EQ(out.UpgradeMAC, in.UpgradeMAC);
    EXPECT_EQ(out.UpgradeFileName, in.UpgradeFileName);
}

TEST_F(UpgradeWindowTest, controlsLimitsAndBuddies)
{
    EXPECT_EQ(C<QLineEdit>("edt_IP")->maxLength(), 15);
    EXPECT_EQ(C<QLineEdit>("edt_MAC")->maxLength(), 17);
    EXPECT_EQ(C<QLabel>("lbl_IP")->buddy(), C("edt_IP"));
    EXPECT_EQ(C<QLabel>("lbl_MAC")->buddy(), C("edt_MAC"));
    EXPECT_EQ(C<QLabel>("lblLocalIP")->buddy(), C("cbbSvrIP"));
    EXPECT_TRUE(C<QComboBox>("cbbSvrIP")->isEditable());
    EXPECT_EQ(C<QPushButton>("btn_Browse")->text(), "...");
    auto *pb1 = C<QProgressBar>("pb1");
    EXPECT_EQ(pb1->minimum(), 0);
    EXPECT_EQ(pb1->maximum(), 100);
    EXPECT_FALSE(W->windowFlags() & Qt::WindowCloseButtonHint) << "the title bar has no close button";
}

TEST_F(UpgradeWindowTest, handOverFillsTheRowOnlyWhenItHasAnAddress)
{
    Inputs(QStringLiteral("10.1.1.1"), QStringLiteral("AABBCCDDEEFF"), QString(), QString());
    W->HandOver(QString(), QStringLiteral("001122334455"), QString(), QByteArray());
    EXPECT_EQ(C<QLineEdit>("edt_IP")->text(), "10.1.1.1");
    EXPECT_EQ(C<QLineEdit>("edt_MAC")->text(), "AABBCCDDEEFF");
    EXPECT_EQ(W->LocalIP(), "");

    const QByteArray reply(36, '\x5A');
    W->HandOver(QStringLiteral("192.168.1.20"), QStringLiteral("001A2B3C4D5E"), QStringLiteral("192.168.1.2"), reply);
    EXPECT_EQ(C<QLineEdit>("edt_IP")->text(), "192.168.1.20");
    EXPECT_EQ(C<QLineEdit>("edt_MAC")->text(), "001A2B3C4D5E");
    EXPECT_EQ(W->LocalIP(), "192.168.1.2");
    EXPECT_EQ(C<QComboBox>("cbbSvrIP")->currentText(), "192.168.1.2");
    EXPECT_EQ(W->SearchReply(), reply);
}

TEST_F(UpgradeWindowTest, localAddressListIsRefilledEachTimeItDropsDown)
{
    QStringList addresses{QStringLiteral("192.168.1.2"), QStringLiteral("10.0.0.5")};
    SetLocalIPv4Provider([&] { return addresses; });
    W->show();
    auto *combo = C<QComboBox>("cbbSvrIP");
    combo->setEditText(QStringLiteral("172.16.0.1"));
    combo->showPopup();
    combo->hidePopup();
    ASSERT_EQ(combo->count(), 2);
    EXPECT_EQ(combo->itemText(1), "10.0.0.5");
    EXPECT_EQ(combo->currentText(), "172.16.0.1") << "what the user typed stays";

    addresses = {QStringLiteral("192.168.7.7")};
    combo->showPopup();
    combo->hidePopup();
    ASSERT_EQ(combo->count(), 1) << "replaced, not added to";
    EXPECT_EQ(combo->itemText(0), "192.168.7.7");
}

TEST_F(UpgradeWindowTest, browseAsksForABinFileStartingInTheCurrentFolder)
{
    QString startedIn;
    QString answer = Dir.filePath(QStringLiteral("new.bin"));
    W->ChooseBinFile = [&](QWidget *, const QString &folder) {
        startedIn = folder;
        return answer;
    };
    C<QLineEdit>("edt_BinFileName")->setText(QStringLiteral("/srv/fw/old.bin"));
    QTest::mouseClick(C<QPushButton>("btn_Browse"), Qt::LeftButton);
    EXPECT_EQ(startedIn, "/srv/fw");
    EXPECT_EQ(C<QLineEdit>("edt_BinFileName")->text(), answer);

    answer.clear(); // cancelled
    QTest::mouseClick(C<QPushButton>("btn_Browse"), Qt::LeftButton);
    EXPECT_EQ(C<QLineEdit>("edt_BinFileName")->text(), Dir.filePath(QStringLiteral("new.bin")));
}

// Refused before anything is bound or sent, so these need no private namespace.
TEST_F(UpgradeWindowTest, refusalsBeforeAnAttemptStarts)
{
    const QString bin = WriteBin(HwId + "x");
    struct Case {
        const char *ip, *mac, *local;
        bool file;
        const char *info;    // lbl_Info afterwards, or
        const char *message; // the start of the message box text
    } cases[] = {
        {"", "001A2B3C4D5E", "192.168.1.2", true, " Please Select Client first.", nullptr},
        {"192.168.1.5", "", "192.168.1.2", true, " Please Select Client first.", nullptr},
        {"192.168.1.5", "001A2B3C4D5E", "", true, " Please Select Client first.", nullptr},
        {"192.168.1.5", "001A2B3C4D5E", "192.168.1.2", false, " Please Select .bin file first.", nullptr},
        {"192.168.1.5", "001A2B3C4D5E", "192.168.0.2", true, nullptr,
         "Please set the module and the computer on the same network segment"},
        {"192.168.1.x", "001A2B3C4D5E", "192.168.1.2", true, nullptr, "'192.168.1.x'"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.ip) + " / " + c.mac + " / " + c.local);
        Messages.clear();
        C<QLabel>("lbl_Info")->clear();
        Inputs(QString::fromLatin1(c.ip), QString::fromLatin1(c.mac), QString::fromLatin1(c.local),
               c.file ? bin : QString());
        ClickProgram();
        EXPECT_FALSE(W->AttemptRunning());
        EXPECT_TRUE(ButtonsEnabled());
        if (c.info) {
            EXPECT_EQ(Info(), QString::fromLatin1(c.info));
            EXPECT_TRUE(Messages.isEmpty());
        } else {
            ASSERT_EQ(Messages.size(), 1);
            EXPECT_TRUE(Messages[0].contains(QString::fromLatin1(c.message))) << Messages[0].toStdString();
            EXPECT_EQ(Info(), "");
        }
        EXPECT_EQ(W->LocalIP(), QString::fromLatin1(c.local)) << "Program takes the local address from cbbSvrIP";
    }
}

TEST_F(UpgradeWindowTest, aFileThatIsNoFirmwareIsAMessageBoxAndNothingStarts)
{
    const QString fifo = Dir.filePath(QStringLiteral("pipe.bin"));
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString huge = Dir.filePath(QStringLiteral("huge.bin"));
    {
        QFile f(huge);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.resize(UpMaxImageBytes + 1));
    }
    for (const auto &[file, text] : {std::pair{fifo, " Not a regular file (a pipe, a device or a folder): "},
                                     std::pair{huge, " Larger than 16 MiB, more firmware than a module holds: "}}) {
        Messages.clear();
        Log.Lines.clear();
        Inputs(QStringLiteral("192.168.1.5"), QStringLiteral("001A2B3C4D5E"), QStringLiteral("192.168.1.2"), file);
        ClickProgram();
        EXPECT_FALSE(W->AttemptRunning());
        EXPECT_TRUE(ButtonsEnabled());
        ASSERT_EQ(Messages.size(), 1);
        EXPECT_EQ(Messages[0], QString::fromUtf8(text) + file);
        ASSERT_EQ(Log.Lines.size(), 1) << "and the reason in the operation log";
        EXPECT_TRUE(Log.Lines[0].startsWith(file));
    }
}

TEST_F(UpgradeWindowTest, infoIsReTranslatedFromWhatItShowsAndAnEmptyOneStaysEmpty)
{
    W->ApplyUpgradeTexts();
    EXPECT_EQ(Info(), "");
    C<QLabel>("lbl_Info")->setText(Success);
    LangList->IsChinese = true;
    W->ApplyUpgradeTexts();
    EXPECT_EQ(Info(), QStringLiteral(" 升级已完成，请恢复出厂默认。"));
    LangList->IsChinese = false;
    W->ApplyUpgradeTexts();
    EXPECT_EQ(Info(), Success);
}

// ---------------------------------------------------------------------------------------------
// Whole attempts against the simulated boot loader

namespace {

struct UpgradeLoaderTest : UpgradeWindowTest {
    QProcess Loader;
    QByteArray LoaderOut;
    uint16_t TriggerPort = 0, BootpServer = 0, BootpClient = 0, TftpPort = 0, DataPort = 0;

    void SetUp() override
    {
        // The trigger and the BOOTP reply go to 255.255.255.255: only where nothing else listens.
        if (qgetenv("BEXO_IN_NETNS") != "1")
            GTEST_SKIP() << "sends broadcasts: run inside a private network namespace "
                            "(bash scripts/netns-run.sh ...), which sets BEXO_IN_NETNS=1";
        UpgradeWindowTest::SetUp();
        uint16_t *ports[] = {&TriggerPort, &BootpServer, &BootpClient, &TftpPort, &DataPort};
        QUdpSocket probes[5];
        for (int i = 0; i < 5; ++i) {
            ASSERT_TRUE(probes[i].bind(QHostAddress(Loop), 0));
            *ports[i] = probes[i].localPort();
        }
        W->Attempt().Ports = {0, TriggerPort, BootpServer, BootpClient, TftpPort, 0, DataPort};
        W->show();
    }

    void TearDown() override
    {
        if (Loader.state() != QProcess::NotRunning) {
            Loader.terminate();
            if (!Loader.waitForFinished(3000))
                Loader.kill();
            Loader.waitForFinished(3000);
        }
        UpgradeWindowTest::TearDown();
    }

    void StartLoader(const QStringList &extra)
    {
        QStringList args{QStringLiteral("bootloader"), QStringLiteral("--ip"), Loop, QStringLiteral("--mac"), Mac,
                         QStringLiteral("--trigger-port"), QString::number(TriggerPort),
                         QStringLiteral("--bootp-server-port"), QString::number(BootpServer),
                         QStringLiteral("--bootp-client-port"), QString::number(BootpClient),
                         QStringLiteral("--tftp-port"), QString::number(TftpPort),
                         QStringLiteral("--data-port"), QString::number(DataPort)};
        Loader.setProcessChannelMode(QProcess::MergedChannels);
        Loader.start(QStringLiteral(BEXO_SIM_PATH), args + extra);
        ASSERT_TRUE(LoaderSaid("waiting for the trigger")) << LoaderOut.toStdString();
    }

    bool LoaderSaid(const char *text, int ms = 10000)
    {
        return QTest::qWaitFor(
            [&] {
                LoaderOut += Loader.readAll();
                return LoaderOut.contains(text);
            },
            ms);
    }

    // Clicks Program and lets the attempt run to its end.
    void Program(int ms = 30000)
    {
        ClickProgram();
        ASSERT_TRUE(W->AttemptRunning() || !Log.Lines.isEmpty()) << Info().toStdString();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !W->AttemptRunning(); }, ms)) << "the attempt did not end";
    }

    QByteArray Image(int size) const
    {
        QByteArray d(size, '\0');
        for (int i = 0; i < size; ++i)
            d[i] = char(i * 31 + 7);
        return d;
    }
};

} // namespace

TEST_F(UpgradeLoaderTest, wholeUpgradeEndsSuccessfulWithTheBarAtZeroAndTheButtonsBack)
{
    const QString bin = WriteBin(HwId + Image(150000));
    StartLoader({QStringLiteral("--expect"), bin});
    Inputs(Loop, Mac, Loop, bin);

    // While the blocks go: both buttons off, and neither Esc nor a close gets the window away.
    bool sawRunning = false, buttonsOffWhileRunning = true, stayedOpen = true;
    auto *pb1 = C<QProgressBar>("pb1");
    QObject::connect(pb1, &QProgressBar::valueChanged, W.get(), [&](int value) {
        if (value < 40 || value >= 100 || sawRunning || !W->AttemptRunning())
            return;
        sawRunning = true;
        buttonsOffWhileRunning = !C("btn_Program")->isEnabled() && !C("btn_Exit")->isEnabled();
        QTest::keyClick(W.get(), Qt::Key_Escape);
        W->close();
        stayedOpen = W->isVisible();
        SaveShot(W.get(), QStringLiteral("upgrade-transfer-en"));
    });

    Program();
    EXPECT_EQ(Info(), Success) << Log.Lines.join(u'\n').toStdString();
    EXPECT_EQ(pb1->value(), 0);
    EXPECT_TRUE(ButtonsEnabled());
    EXPECT_TRUE(sawRunning) << "no progress between 0 and 100 was shown";
    EXPECT_TRUE(buttonsOffWhileRunning);
    EXPECT_TRUE(stayedOpen);
    EXPECT_TRUE(LoaderSaid("image matches")) << LoaderOut.toStdString();
    SaveShot(W.get(), QStringLiteral("upgrade-done-en"));

    // A switch while the success text shows translates it.
    LangList->IsChinese = true;
    W->ApplyUpgradeTexts();
    EXPECT_EQ(Info(), QStringLiteral(" 升级已完成，请恢复出厂默认。"));
    EXPECT_EQ(ClippedControls(W.get()), "");
    SaveShot(W.get(), QStringLiteral("upgrade-done-zh"));

    // Idle again: Exit closes the window.
    QTest::mouseClick(C<QPushButton>("btn_Exit"), Qt::LeftButton);
    EXPECT_FALSE(W->isVisible());
}

TEST_F(UpgradeLoaderTest, endsOtherThanSuccessShowTheirTextWithTheButtonsBack)
{
    struct Case {
        const char *name;
        QStringList loader; // empty: no boot loader at all
        TUpgradeTimes times;
        const char *info;
    } cases[] = {
        {"identifier mismatch", {QStringLiteral("--wrong-id")}, {}, " Firmware does not match with hardware!"},
        {"nobody answers", {}, {300, 2000}, " Upgrade time out!"},
        {"acknowledgements stop", {QStringLiteral("--drop-acks"), QStringLiteral("1000")}, {10000, 40},
         " Upgrade time out!"},
    };
    const QString bin = WriteBin(HwId + Image(3000));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.loader.isEmpty())
            StartLoader(c.loader + QStringList{QStringLiteral("--expect"), bin});
        W->Attempt().Times = c.times;
        Inputs(Loop, Mac, Loop, bin);
        Program();
        EXPECT_EQ(Info(), QString::fromLatin1(c.info));
        EXPECT_EQ(C<QProgressBar>("pb1")->value(), 0);
        EXPECT_TRUE(ButtonsEnabled());
        if (Loader.state() != QProcess::NotRunning) {
            Loader.terminate();
            Loader.waitForFinished(3000);
        }
        LoaderOut.clear();
    }
}

TEST_F(UpgradeLoaderTest, portHeldByAnotherServerFailsAndTheLogSaysWhy)
{
    struct Case {
        const char *name;
        uint16_t TUpgradePorts::*port;
        const char *why;
    } cases[] = {
        {"BOOTP", &TUpgradePorts::Bootp, "DHCP"},
        {"TFTP", &TUpgradePorts::Tftp, "TFTP server"},
    };
    const QString bin = WriteBin(HwId + Image(3000));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QUdpSocket holder; // another server's socket, as Qt binds it
        ASSERT_TRUE(holder.bind(QHostAddress(Loop), W->Attempt().Ports.*c.port));
        Log.Lines.clear();
        Inputs(Loop, Mac, Loop, bin);
        ClickProgram();
        EXPECT_FALSE(W->AttemptRunning());
        EXPECT_EQ(Info(), " Upgrade failed!");
        EXPECT_EQ(C<QProgressBar>("pb1")->value(), 0);
        EXPECT_TRUE(ButtonsEnabled());
        ASSERT_EQ(Log.Lines.size(), 1);
        const QString line = Log.Lines[0];
        EXPECT_TRUE(line.contains(QString::number(W->Attempt().Ports.*c.port))) << line.toStdString();
        EXPECT_TRUE(line.contains(QLatin1String(c.why))) << line.toStdString();
    }
}

// Why an attempt failed shows in the window itself, with what to do, in the current language; a new
// attempt takes it away.
TEST_F(UpgradeLoaderTest, aFailureSaysWhyInTheWindowInTheCurrentLanguage)
{
    const QString bin = WriteBin(HwId + Image(3000));
    const QString shortBin = Dir.filePath(QStringLiteral("short.bin"));
    {
        QFile f(shortBin);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("Q2");
    }
    const QString missing = Dir.filePath(QStringLiteral("gone.bin"));
    const QString bootp = QString::number(W->Attempt().Ports.Bootp);
    const QString tftp = QString::number(W->Attempt().Ports.Tftp);
    struct Case {
        const char *what;
        uint16_t TUpgradePorts::*held; // nullptr: none
        QString file;
        QString english, chinese;
    } cases[] = {
        {"BOOTP port held", &TUpgradePorts::Bootp, bin,
         QStringLiteral("Port %1 of 255.255.255.255 is held by another program, probably a DHCP/BOOTP server. Stop that "
                        "server during the upgrade, then try again.")
             .arg(bootp),
         QStringLiteral("255.255.255.255的端口%1已被另一个程序占用，可能是DHCP/BOOTP服务器。请在升级期间停止该服务器，"
                        "然后重试。")
             .arg(bootp)},
        {"TFTP port held", &TUpgradePorts::Tftp, bin,
         QStringLiteral("Port %1 of %2 is held by another program, probably a TFTP server. Stop that server during the "
                        "upgrade, then try again.")
             .arg(tftp, Loop),
         QStringLiteral("%2的端口%1已被另一个程序占用，可能是TFTP服务器。请在升级期间停止该服务器，然后重试。").arg(tftp, Loop)},
        {"file missing", nullptr, missing,
         QStringLiteral("The firmware file %1 cannot be read (No such file or directory). Choose a .bin file this user "
                        "may read.")
             .arg(missing),
         QStringLiteral("无法读取固件文件%1（No such file or directory）。请选择当前用户可以读取的.bin文件。").arg(missing)},
        {"file too short", nullptr, shortBin,
         QStringLiteral("The firmware file %1 is too short for a firmware image. Choose the right .bin file.").arg(shortBin),
         QStringLiteral("固件文件%1太短，不是固件映像。请选择正确的.bin文件。").arg(shortBin)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        QUdpSocket holder; // another server's socket, as Qt binds it
        if (c.held) {
            const QHostAddress on(c.held == &TUpgradePorts::Bootp ? QStringLiteral("255.255.255.255") : Loop);
            ASSERT_TRUE(holder.bind(on, W->Attempt().Ports.*c.held, QUdpSocket::ShareAddress));
        }
        Inputs(Loop, Mac, Loop, c.file);
        ClickProgram();
        EXPECT_EQ(Info(), " Upgrade failed!");
        EXPECT_EQ(W->ReasonShown(), c.english);
        const bool shot = c.held == &TUpgradePorts::Tftp;
        if (shot)
            SaveShot(W.get(), QStringLiteral("upgrade_reason_en"));
        LangList->IsChinese = true;
        W->ApplyUpgradeTexts();
        EXPECT_EQ(W->ReasonShown(), c.chinese);
        if (shot)
            SaveShot(W.get(), QStringLiteral("upgrade_reason_zh"));
        LangList->IsChinese = false;
        W->ApplyUpgradeTexts();
        EXPECT_EQ(W->ReasonShown(), c.english);
        const QRect reason = C<QLabel>("lbl_UpReason")->geometry();
        EXPECT_TRUE(W->rect().contains(reason)) << "the reason fits the window";
    }
    // Refused before a start (no file named): the earlier reason goes with the click.
    Inputs(Loop, Mac, Loop, QString());
    ClickProgram();
    EXPECT_TRUE(W->ReasonShown().isEmpty());
}
