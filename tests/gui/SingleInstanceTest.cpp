// One copy per user session: the lock, the restore request, and two real programs.
#include "GuiTestUtil.h"
#include "gui/SingleInstance.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <unistd.h>

namespace {

TEST(SingleInstance, secondClaimFailsAndItsRequestReachesTheFirst)
{
    QTemporaryDir dir;
    TSingleInstance first(dir.path()), second(dir.path());
    int restores = 0;
    first.OnRestoreRequest = [&] { ++restores; };
    ASSERT_TRUE(first.Claim());
    EXPECT_TRUE(first.ServerName().contains(SingleInstanceName));
    EXPECT_TRUE(first.ServerName().contains(QString::number(getuid())));
    EXPECT_FALSE(second.Claim());
    EXPECT_TRUE(second.AskFirstToRestore(2000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return restores == 1; }, 2000));

    // Nobody listening: the request gives up within its time.
    QTemporaryDir empty;
    TSingleInstance lonely(empty.path());
    EXPECT_FALSE(lonely.AskFirstToRestore(200));
    // A folder where no lock can be made: run as a first copy rather than not at all.
    TSingleInstance nowhere(dir.filePath(QStringLiteral("no/such/folder")));
    EXPECT_TRUE(nowhere.Claim());
}

TEST(SingleInstance, restoreUnminimisesAndBringsTheOpenDialogToTheFront)
{
    QWidget window;
    window.resize(300, 200);
    window.showMinimized();
    QApplication::processEvents();
    ASSERT_TRUE(window.isMinimized());
    QDialog dialog(&window);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.show();
    QApplication::processEvents();

    RestoreWindow(&window);
    EXPECT_FALSE(window.isMinimized());
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), &dialog);
    EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog, 2000));
    dialog.close();
}

// Two real programs in a folder of their own (their Cfg.ini and Lang.txt stay there).
struct TwoPrograms : ::testing::Test {
    QTemporaryDir dir;
    QString exe, run;
    QList<QProcess *> started;

    void SetUp() override
    {
        exe = dir.filePath(QStringLiteral("bexo-z0"));
        ASSERT_TRUE(QFile::copy(QStringLiteral(BEXO_GUI_PATH), exe));
        run = dir.filePath(QStringLiteral("run"));
        ASSERT_TRUE(QDir().mkpath(run));
        QFile::setPermissions(run, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    void TearDown() override
    {
        for (QProcess *p : started) {
            p->kill();
            p->waitForFinished(5000);
            delete p;
        }
    }
    QProcess *Start()
    {
        auto *p = new QProcess;
        started << p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), run);
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("bexo.instance.info=true"));
        p->setProcessEnvironment(env);
        p->setWorkingDirectory(dir.path());
        p->start(exe, {});
        EXPECT_TRUE(p->waitForStarted(10000));
        return p;
    }
    // The first copy listens before it makes its window.
    bool WaitListening(QProcess *p)
    {
        const QString sock = QDir(run).filePath(SingleInstanceName + u'-' + QString::number(getuid()) + ".sock");
        return QTest::qWaitFor([&] { return p->state() == QProcess::Running && QFile::exists(sock); }, 20000);
    }
    QHash<QProcess *, QByteArray> err;
    bool Said(QProcess *p, const char *text)
    {
        return QTest::qWaitFor(
            [&] {
                err[p] += p->readAllStandardError();
                return err[p].contains(text);
            },
            10000);
    }
};

TEST_F(TwoPrograms, secondCopyRaisesTheFirstAndExitsAKilledFirstLeavesNothingStuck)
{
    QProcess *first = Start();
    ASSERT_TRUE(WaitListening(first));
    QProcess *second = Start();
    ASSERT_TRUE(second->waitForFinished(20000));
    EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second->exitCode(), 0);
    EXPECT_TRUE(Said(first, "window restored: was minimised 0, now visible 1, minimised 0")) << err[first].toStdString();
    EXPECT_EQ(first->state(), QProcess::Running);

    // Killed without a chance to clean up: the next copy runs as the first one.
    ::kill(pid_t(first->processId()), SIGKILL);
    ASSERT_TRUE(first->waitForFinished(5000));
    QProcess *third = Start();
    EXPECT_FALSE(third->waitForFinished(1500)) << "a copy after a killed first copy is the first itself";
    QProcess *fourth = Start();
    ASSERT_TRUE(fourth->waitForFinished(20000));
    EXPECT_EQ(fourth->exitCode(), 0);
    EXPECT_TRUE(Said(third, "restore requested"));
}

} // namespace
