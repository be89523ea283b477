// The upgrade window's fleet view: what it shows for several modules, its refusals, and whole runs
// against simulated boot loaders on loopback addresses of their own (127.0.0.2, 127.0.0.3), with
// the ports moved to free ones.

#include "DialogTestUtil.h"
#include "GuiTestUtil.h"
#include "core/LogSink.h"
#include "core/Settings.h"
#include "gui/Frm_Upgrade.h"
#include "gui/UpgradeFleetView.h"

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QUdpSocket>
#include <memory>

namespace {

const QByteArray HwId = QByteArray::fromHex("51320001");

class TLines : public ILogSink {
public:
    QStringList Lines;
    void AddLog(const QString &text, TLogColor) override { Lines << text; }
    void AddHex(const QString &, TLogColor) override {}
};

QList<TUpFleetTarget> Two()
{
    return {{QStringLiteral("127.0.0.2"), QStringLiteral("020000001402"), QStringLiteral("4017")},
            {QStringLiteral("127.0.0.3"), QStringLiteral("020000001403"), QStringLiteral("4017")}};
}

struct FleetViewTest : ::testing::Test {
    TLangScope Lang{false};
    QTemporaryDir Dir;
    TLines Log;
    std::unique_ptr<Tfrm_Upgrade> W;

    void SetUp() override
    {
        W = std::make_unique<Tfrm_Upgrade>(TAppSettings{});
        W->SetLog(&Log);
    }
    template <typename T = QWidget> T *C(const char *name) { return Ctl<T>(W.get(), name); }
    QString Info() { return C<QLabel>("lbl_Info")->text(); }
    QString Cell(int row, int column) { return W->FleetView()->Model()->index(row, column).data().toString(); }
    QString WriteBin(int size)
    {
        QByteArray d(size, '\0');
        for (int i = 0; i < size; ++i)
            d[i] = char(i * 31 + 7);
        const QString path = Dir.filePath(QStringLiteral("fw.bin"));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(HwId + d);
        return path;
    }
    void OpenFleet(const QList<TUpFleetTarget> &targets)
    {
        W->SetFleetMode(true);
        W->FleetView()->SetTargets(targets);
    }
};

} // namespace

TEST_F(FleetViewTest, severalModulesReplaceTheAddressFieldsAndOneModuleBringsTheWindowBack)
{
    W->show();
    const QSize single = W->size();
    OpenFleet(Two());
    for (const char *hidden : {"edt_IP", "edt_MAC", "lbl_IP", "lbl_MAC"})
        EXPECT_FALSE(C(hidden)->isVisible()) << hidden;
    for (const char *shown : {"lv_UpModules", "grp_UpOptions", "btn_UpStop", "cbbSvrIP", "edt_BinFileName"})
        EXPECT_TRUE(C(shown)->isVisible()) << shown;
    EXPECT_FALSE(C("btn_UpStop")->isEnabled()) << "nothing runs yet";
    EXPECT_EQ(C<QSpinBox>("edt_UpParallel")->value(), 8);
    EXPECT_EQ(C<QSpinBox>("edt_UpBlockTimeOut")->value(), 2000);
    EXPECT_FALSE(C<QCheckBox>("chk_UpCanary")->isChecked());
    EXPECT_FALSE(C<QCheckBox>("chk_UpResetAfter")->isChecked());
    ASSERT_EQ(W->FleetView()->Model()->rowCount(), 2);
    EXPECT_EQ(Cell(0, TUpgradeFleetModel::ColMac), QStringLiteral("02 00 00 00 14 02"));
    EXPECT_EQ(Cell(1, TUpgradeFleetModel::ColIP), QStringLiteral("127.0.0.3"));
    EXPECT_EQ(Cell(1, TUpgradeFleetModel::ColVersion), QStringLiteral("4017"));
    EXPECT_EQ(Cell(0, TUpgradeFleetModel::ColProgress), QStringLiteral("0%"));
    EXPECT_GT(W->width(), single.width());
    EXPECT_EQ(ClippedControls(W.get()), "");

    // The main window opens it so before it is shown: the same size, no room left by the fields.
    Tfrm_Upgrade early{TAppSettings{}};
    early.SetFleetMode(true);
    early.show();
    EXPECT_EQ(early.size(), W->size());

    W->SetFleetMode(false);
    EXPECT_TRUE(C("edt_IP")->isVisible());
    EXPECT_FALSE(C("lv_UpModules")->isVisible());
    EXPECT_FALSE(C("btn_UpStop")->isVisible());
    EXPECT_EQ(W->size(), single);
}

TEST_F(FleetViewTest, textsAndNamesComeInTheCurrentLanguage)
{
    OpenFleet(Two());
    W->show();
    auto *list = C<QTreeView>("lv_UpModules");
    const auto header = [&](int c) { return list->model()->headerData(c, Qt::Horizontal).toString(); };
    EXPECT_EQ(header(TUpgradeFleetModel::ColStatus), QStringLiteral("Status"));
    EXPECT_EQ(C<QPushButton>("btn_UpStop")->text(), QStringLiteral("Stop"));
    EXPECT_EQ(C("edt_UpParallel")->accessibleName(), QStringLiteral("Modules at once:"));
    EXPECT_EQ(list->accessibleName(), QStringLiteral("Modules"));
    SaveShot(W.get(), QStringLiteral("upgrade-fleet-ready-en"));
    LangList->IsChinese = true;
    W->ApplyUpgradeTexts();
    EXPECT_EQ(header(TUpgradeFleetModel::ColStatus), QStringLiteral("状态"));
    EXPECT_EQ(header(TUpgradeFleetModel::ColMac), QStringLiteral("MAC地址"));
    EXPECT_EQ(C<QPushButton>("btn_UpStop")->text(), QStringLiteral("停止"));
    EXPECT_EQ(C("edt_UpParallel")->accessibleName(), QStringLiteral("同时升级台数："));
    EXPECT_EQ(C<QCheckBox>("chk_UpResetAfter")->text(), QStringLiteral("设备上线后恢复出厂设置"));
    EXPECT_EQ(ClippedControls(W.get()), "");
    SaveShot(W.get(), QStringLiteral("upgrade-fleet-ready-zh"));
}

TEST_F(FleetViewTest, refusalsBeforeTheStartLeaveTheButtonsAsTheyAre)
{
    OpenFleet(Two());
    const QString bin = WriteBin(100);
    struct {
        const char *name;
        QString local, file;
        const char *info;
    } cases[] = {
        {"no local address", QString(), bin, " Please Select Client first."},
        {"no file", QStringLiteral("127.0.0.1"), QString(), " Please Select .bin file first."},
        {"a folder", QStringLiteral("127.0.0.1"), Dir.path(), " Upgrade failed!"},
    };
    for (const auto &c : cases) {
        Log.Lines.clear();
        C<QComboBox>("cbbSvrIP")->setEditText(c.local);
        C<QLineEdit>("edt_BinFileName")->setText(c.file);
        QTest::mouseClick(C<QPushButton>("btn_Program"), Qt::LeftButton);
        EXPECT_EQ(Info(), QString::fromLatin1(c.info)) << c.name;
        EXPECT_FALSE(W->FleetRunning()) << c.name;
        EXPECT_TRUE(C("btn_Program")->isEnabled() && C("btn_Exit")->isEnabled()) << c.name;
    }
    ASSERT_EQ(Log.Lines.size(), 1);
    EXPECT_TRUE(Log.Lines[0].contains(QLatin1String("not a regular file")));
}

TEST_F(FleetViewTest, theModulesModelIsSound)
{
    TUpgradeFleetModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    std::vector<TUpFleetModule> modules(3);
    modules[1].Target = Two()[1];
    modules[1].Percent = 45;
    modules[1].StatusKey = QStringLiteral("lang_Hint_UpProgress");
    modules[1].StatusSuffix = QStringLiteral("45%");
    modules[2].Target = Two()[0];
    modules[2].VersionAfter = QStringLiteral("4100");
    modules[2].Reason = QStringLiteral("why");
    model.SetModules(&modules);
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.index(1, TUpgradeFleetModel::ColProgress).data(TUpgradeFleetModel::PercentRole).toInt(), 45);
    EXPECT_EQ(model.index(1, TUpgradeFleetModel::ColStatus).data().toString(), QStringLiteral("Upgrade progress...45%"));
    EXPECT_EQ(model.index(2, TUpgradeFleetModel::ColVersion).data().toString(), QStringLiteral("4017 \u2192 4100"));
    EXPECT_TRUE(model.index(2, TUpgradeFleetModel::ColStatus).data(Qt::ToolTipRole).toString().endsWith(QLatin1String("\nwhy")));
    model.RowChanged(2);
    model.SetModules(nullptr);
    EXPECT_EQ(model.rowCount(), 0);
}

// ---------------------------------------------------------------------------------------------
// Whole runs against the simulated boot loaders

namespace {

struct FleetLoaderTest : FleetViewTest {
    QProcess Loaders;
    QByteArray Out;
    uint16_t TriggerPort = 0, BootpServer = 0, BootpClient = 0, TftpPort = 0, DataPort = 0;

    void SetUp() override
    {
        if (qgetenv("BEXO_IN_NETNS") != "1")
            GTEST_SKIP() << "sends broadcasts: run inside a private network namespace "
                            "(bash scripts/netns-run.sh ...), which sets BEXO_IN_NETNS=1";
        FleetViewTest::SetUp();
        uint16_t *ports[] = {&TriggerPort, &BootpServer, &BootpClient, &TftpPort, &DataPort};
        QUdpSocket probes[5];
        for (int i = 0; i < 5; ++i) {
            ASSERT_TRUE(probes[i].bind(QHostAddress::LocalHost, 0));
            *ports[i] = probes[i].localPort();
        }
        W->FleetView()->Fleet().Ports = {0, TriggerPort, BootpServer, BootpClient, TftpPort, 0, DataPort};
        W->show();
    }
    void TearDown() override
    {
        if (Loaders.state() != QProcess::NotRunning) {
            Loaders.terminate();
            if (!Loaders.waitForFinished(3000))
                Loaders.kill();
            Loaders.waitForFinished(3000);
        }
    }
    void StartLoaders(const QString &bin, const QStringList &loaders)
    {
        QStringList args{QStringLiteral("bootloader"), QStringLiteral("--expect"), bin,
                         QStringLiteral("--trigger-port"), QString::number(TriggerPort),
                         QStringLiteral("--bootp-server-port"), QString::number(BootpServer),
                         QStringLiteral("--bootp-client-port"), QString::number(BootpClient),
                         QStringLiteral("--tftp-port"), QString::number(TftpPort),
                         QStringLiteral("--data-port"), QString::number(DataPort)};
        for (const QString &s : loaders)
            args << QStringLiteral("--loader") << s;
        Loaders.setProcessChannelMode(QProcess::MergedChannels);
        Loaders.start(QStringLiteral(BEXO_SIM_PATH), args);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                Out += Loaders.readAll();
                return Out.count("waiting for the trigger") == loaders.size();
            },
            10000))
            << Out.toStdString();
    }
    void Program(const QString &bin)
    {
        C<QComboBox>("cbbSvrIP")->setEditText(QStringLiteral("127.0.0.1"));
        C<QLineEdit>("edt_BinFileName")->setText(bin);
        QTest::mouseClick(C<QPushButton>("btn_Program"), Qt::LeftButton);
        ASSERT_TRUE(W->FleetRunning()) << Info().toStdString() << Log.Lines.join(u'\n').toStdString();
    }
    QString Status(int row) { return Cell(row, TUpgradeFleetModel::ColStatus); }
};

} // namespace

TEST_F(FleetLoaderTest, twoModulesSideBySideEachWithItsOwnEndAndTheWindowShut)
{
    const QString bin = WriteBin(60000);
    StartLoaders(bin, {QStringLiteral("ip=127.0.0.2,mac=020000001402,delay=2"),
                       QStringLiteral("ip=127.0.0.3,mac=020000001403,stop-after=40")});
    OpenFleet(Two());
    C<QSpinBox>("edt_UpBlockTimeOut")->setValue(100);
    Program(bin);
    EXPECT_FALSE(C("btn_Program")->isEnabled());
    EXPECT_FALSE(C("btn_Exit")->isEnabled());
    EXPECT_TRUE(C("btn_UpStop")->isEnabled());
    EXPECT_FALSE(C("grp_UpOptions")->isEnabled());
    // Mid-transfer: both lines move, and neither Esc nor a close gets the window away.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return W->FleetView()->Fleet().Modules()[0].Percent >= 30 && W->FleetView()->Fleet().Modules()[1].Blocks >= 20;
        },
        20000));
    EXPECT_TRUE(Status(0).startsWith(QLatin1String("Upgrade progress..."))) << Status(0).toStdString();
    EXPECT_TRUE(Info().startsWith(QLatin1String(" Modules finished: 0/2"))) << Info().toStdString();
    QTest::keyClick(W.get(), Qt::Key_Escape);
    W->close();
    EXPECT_TRUE(W->isVisible());
    SaveShot(W.get(), QStringLiteral("upgrade-fleet-transfer-en"));
    LangList->IsChinese = true;
    W->ApplyUpgradeTexts();
    EXPECT_TRUE(Status(0).startsWith(QStringLiteral("升级进度..."))) << Status(0).toStdString();
    SaveShot(W.get(), QStringLiteral("upgrade-fleet-transfer-zh"));
    LangList->IsChinese = false;
    W->ApplyUpgradeTexts();

    ASSERT_TRUE(QTest::qWaitFor([&] { return !W->FleetRunning(); }, 30000)) << Status(0).toStdString();
    EXPECT_EQ(Status(0), QStringLiteral("Upgrade successful.please restore factory default."));
    EXPECT_EQ(Cell(0, TUpgradeFleetModel::ColProgress), QStringLiteral("100%"));
    EXPECT_EQ(Status(1), QStringLiteral("Upgrade time out!"));
    EXPECT_TRUE(W->FleetView()->Model()->index(1, TUpgradeFleetModel::ColStatus).data(Qt::ToolTipRole).toString().contains(
        QLatin1String("block 41 was not acknowledged")));
    EXPECT_EQ(Info(), QStringLiteral(" Not every module was upgraded: see the list."));
    EXPECT_TRUE(C("btn_Program")->isEnabled() && C("btn_Exit")->isEnabled());
    EXPECT_FALSE(C("btn_UpStop")->isEnabled());
    EXPECT_TRUE(QTest::qWaitFor([&] { return (Out += Loaders.readAll()).contains("127.0.0.2: image matches"); }, 5000));
    EXPECT_TRUE(Log.Lines.join(u'\n').contains(QLatin1String("02 00 00 00 14 03: block 41 was not acknowledged")));
    SaveShot(W.get(), QStringLiteral("upgrade-fleet-done-en"));
    LangList->IsChinese = true;
    W->ApplyUpgradeTexts();
    EXPECT_EQ(Info(), QStringLiteral(" 并非所有设备都已升级，请查看列表。"));
    EXPECT_EQ(Status(1), QStringLiteral("升级超时！"));
    EXPECT_EQ(ClippedControls(W.get()), "");
    SaveShot(W.get(), QStringLiteral("upgrade-fleet-done-zh"));
    QTest::mouseClick(C<QPushButton>("btn_Exit"), Qt::LeftButton);
    EXPECT_FALSE(W->isVisible());
}

TEST_F(FleetLoaderTest, aPortHeldByAnotherServerIsSaidInTheWindowInItsLanguage)
{
    QUdpSocket holder; // another server's socket, as Qt binds it
    ASSERT_TRUE(holder.bind(QHostAddress::LocalHost, W->FleetView()->Fleet().Ports.Tftp));
    OpenFleet(Two());
    C<QComboBox>("cbbSvrIP")->setEditText(QStringLiteral("127.0.0.1"));
    C<QLineEdit>("edt_BinFileName")->setText(WriteBin(100));
    QTest::mouseClick(C<QPushButton>("btn_Program"), Qt::LeftButton);
    EXPECT_FALSE(W->FleetRunning());
    EXPECT_EQ(Info(), QStringLiteral(" Upgrade failed!"));
    const QString port = QString::number(W->FleetView()->Fleet().Ports.Tftp);
    EXPECT_TRUE(W->ReasonShown().contains(port)) << W->ReasonShown().toStdString();
    EXPECT_TRUE(C("btn_Program")->isEnabled() && C("btn_Exit")->isEnabled());
    const QString english = W->ReasonShown();
    LangList->IsChinese = true;
    W->ApplyUpgradeTexts();
    EXPECT_NE(W->ReasonShown(), english);
    EXPECT_TRUE(W->ReasonShown().contains(port));
    EXPECT_EQ(ClippedControls(W.get()), "");
    SaveShot(W.get(), QStringLiteral("upgrade-fleet-port-held-zh"));
    // The next click starts afresh: the old reason goes.
    holder.close();
    StartLoaders(C<QLineEdit>("edt_BinFileName")->text(), {QStringLiteral("ip=127.0.0.2,mac=020000001402")});
    W->FleetView()->SetTargets({Two()[0]});
    Program(C<QLineEdit>("edt_BinFileName")->text());
    EXPECT_EQ(W->ReasonShown(), QString());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !W->FleetRunning(); }, 10000));
}

TEST_F(FleetLoaderTest, stopEndsTheTransfersCleanlyAndSaysSoForEachModule)
{
    const QString bin = WriteBin(200000);
    StartLoaders(bin, {QStringLiteral("ip=127.0.0.2,mac=020000001402,delay=5"),
                       QStringLiteral("ip=127.0.0.3,mac=020000001403,delay=5")});
    OpenFleet(Two() + QList<TUpFleetTarget>{{QStringLiteral("127.0.0.4"), QStringLiteral("020000001404"), {}}});
    C<QSpinBox>("edt_UpParallel")->setValue(2);
    Program(bin);
    ASSERT_TRUE(QTest::qWaitFor([&] { return W->FleetView()->Fleet().Modules()[1].Blocks >= 5; }, 20000));
    QTest::mouseClick(C<QPushButton>("btn_UpStop"), Qt::LeftButton);
    EXPECT_FALSE(W->FleetRunning());
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(Status(row), QStringLiteral("Stopped.")) << row;
    EXPECT_FALSE(W->FleetView()->Fleet().BindingsOpen());
    EXPECT_TRUE(C("btn_Program")->isEnabled() && C("btn_Exit")->isEnabled());
    EXPECT_TRUE(C("grp_UpOptions")->isEnabled());
    // Nothing more reaches the loaders: their last line stays what it was.
    Out += Loaders.readAll();
    const qsizetype before = Out.size();
    QTest::qWait(300);
    Out += Loaders.readAll();
    EXPECT_EQ(Out.size(), before) << Out.mid(before).toStdString();
}
