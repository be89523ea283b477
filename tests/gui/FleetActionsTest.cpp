// The window's writes over several modules: btn_ApplySelected and the File menu's profile, verify
// and backup items, their enabled states, the preview's rows, the option kept in Cfg.ini, and runs
// against simulated modules that check what each module took.
#include "AppFixture.h"
#include "LanSim.h"
#include "gui/FleetActions.h"
#include "gui/Frm_FleetPreview.h"
#include "gui/SearchColumn.h"
#include "netconfig/Fleet.h"
#include "lang/LangList.h"
#include "netconfig/LanSession.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>

namespace {

QStringList rowTexts(const TFrm_FleetPreview &p)
{
    QStringList out;
    for (int i = 0; i < p.tv_Preview->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *it = p.tv_Preview->topLevelItem(i);
        QStringList cells;
        for (int c = 0; c < TFrm_FleetPreview::ColumnCount; ++c)
            cells << it->text(c);
        out << cells.join(QStringLiteral(" | "));
    }
    return out;
}

void select(TFrm_Main *w, const QList<int> &rows)
{
    QItemSelection s;
    for (int r : rows)
        s.select(w->DevModel->index(r, 0), w->DevModel->index(r, w->DevModel->columnCount() - 1));
    w->lv_Dev->selectionModel()->select(s, QItemSelectionModel::ClearAndSelect);
}

using FleetControls = AppFixture;

// Each control is enabled exactly when it has something to act on.
TEST_F(FleetControls, enabledByPageAndSelection)
{
    TFleetActions *f = w->Fleet;
    ASSERT_TRUE(f);
    auto *apply = C<QPushButton>("btn_ApplySelected");
    ASSERT_EQ(apply, f->btn_ApplySelected);
    for (QAction *a : {f->mni_SaveProfile, f->mni_ApplyProfile, f->mni_VerifyWrites, f->mni_BackupListed,
                       f->mni_RestoreBackup}) {
        EXPECT_TRUE(w->mni_File->actions().contains(a)) << a->objectName().toStdString();
        EXPECT_FALSE(a->text().isEmpty());
    }
    const auto state = [&] {
        return QStringLiteral("%1%2%3%4%5")
            .arg(apply->isEnabled())
            .arg(f->mni_SaveProfile->isEnabled())
            .arg(f->mni_ApplyProfile->isEnabled())
            .arg(f->mni_BackupListed->isEnabled())
            .arg(f->mni_RestoreBackup->isEnabled());
    };
    EXPECT_EQ(state(), QStringLiteral("00000")) << "nothing listed";
    FeedRows(); // row 0: the recorded Q2 module, row 1: a Q3
    Arrive(SearchReplyBytes("192.168.0.9", QByteArray::fromHex("001A2B3C4D61"), 4017, "Lab-Q2b"),
           QStringLiteral("192.168.0.9"));
    ASSERT_EQ(w->DevModel->rowCount(), 3);
    EXPECT_EQ(state(), QStringLiteral("00011")) << "rows listed, none selected";
    ClickRow(0);
    FeedReplies(TQ2Replies::Full());
    ASSERT_EQ(w->CurrentPage(), PageQ2);
    EXPECT_EQ(state(), QStringLiteral("01111")) << "the page's own module alone";

    struct Case {
        QList<int> rows;
        const char *expected;
    } cases[] = {
        {{0, 2}, "11111"}, // the page's module and another Q2
        {{2}, "11111"},    // another Q2 only
        {{0, 1}, "01111"}, // the page's module and a Q3
        {{1}, "01011"},    // a Q3 alone: no profile applies to it
    };
    for (const Case &c : cases) {
        select(w, c.rows);
        EXPECT_EQ(state(), QString::fromLatin1(c.expected)) << QStringLiteral("%1").arg(c.rows.size()).toStdString();
    }
    // On the COM tab the button is not there, and the LAN page is gone.
    select(w, {0, 2});
    w->rzpgcntrl_Srch->setCurrentIndex(TSearchColumn::TabCom);
    EXPECT_FALSE(apply->isVisibleTo(w->Q2View));
    EXPECT_FALSE(apply->isEnabled());
    EXPECT_FALSE(f->mni_SaveProfile->isEnabled());
}

// The option is off by default, kept in Cfg.ini when it changes, read back at the next start, and
// the preview's read-back tick starts from it.
TEST_F(FleetControls, verifyWritesKeptInCfgIni)
{
    EXPECT_FALSE(w->Fleet->VerifyWrites());
    w->Fleet->mni_VerifyWrites->trigger();
    ASSERT_TRUE(QTest::qWaitFor([] { return MainFixture::ReadCfg().contains(QLatin1String("VerifyWrites=1")); },
                                3000))
        << MainFixture::ReadCfg().toStdString();
    const QString kept = MainFixture::ReadCfg();
    Create(kept.toLatin1());
    EXPECT_TRUE(w->Fleet->VerifyWrites());
    EXPECT_TRUE(w->Fleet->mni_VerifyWrites->isChecked());
    w->Fleet->mni_VerifyWrites->trigger();
    w->close(); // the close writes what changed
    EXPECT_TRUE(MainFixture::ReadCfg().contains(QLatin1String("VerifyWrites=0")));
}

// The preview lists what each module would get: real changes only, fields left out with their
// reason, modules that cannot be written with their result; identity fields carry one tick per
// field; the texts follow the language.
TEST_F(FleetControls, previewRowsAndTicks)
{
    TFleetModuleResult a, b, gone;
    a.Mac = QStringLiteral("00 1A 2B 3C 4D 01");
    a.Result = TFleetResult::DryRun;
    a.Changes = {{QStringLiteral("LocalPort"), QStringLiteral("20108"), QStringLiteral("6001")},
                 {QStringLiteral("Parity"), QStringLiteral("NONE"), QStringLiteral("NONE")},
                 {QStringLiteral("ModName"), QStringLiteral("Pump-1"), QStringLiteral("Pump")}};
    a.Skipped = {{QStringLiteral("HttpdUrl"), QStringLiteral("written only with work mode \"HTTPD Client\"")}};
    a.Frames = {TPlannedFrame{}};
    b = a;
    b.Mac = QStringLiteral("00 1A 2B 3C 4D 02");
    b.Skipped.clear();
    gone.Mac = QStringLiteral("00 1A 2B 3C 4D 03");
    gone.Result = TFleetResult::NotFound;
    gone.Answer = QStringLiteral("did not answer the search");

    TFrm_FleetPreview p(w);
    p.SetResults(QStringLiteral("info"), {a, b, gone}, {{QStringLiteral("StaticIP"), QStringLiteral("identity of the module")}},
                 IdentityFields());
    EXPECT_EQ(rowTexts(p), (QStringList{
                               "every module | StaticIP |  | skipped: identity of the module",
                               "00 1A 2B 3C 4D 01 | LocalPort | 20108 | 6001",
                               "00 1A 2B 3C 4D 01 | ModName | Pump-1 | Pump",
                               "00 1A 2B 3C 4D 01 | HttpdUrl |  | skipped: written only with work mode \"HTTPD Client\"",
                               "00 1A 2B 3C 4D 02 | LocalPort | 20108 | 6001",
                               "00 1A 2B 3C 4D 02 | ModName | Pump-1 | Pump",
                               "00 1A 2B 3C 4D 03 |  |  | not found: did not answer the search",
                           }));
    EXPECT_TRUE(p.Ticked().isEmpty());
    EXPECT_TRUE(p.CanWrite());
    // One tick on one module's row ticks the field for every module; LocalPort has none.
    QTreeWidgetItem *nameA = p.tv_Preview->topLevelItem(2);
    EXPECT_EQ(nameA->checkState(TFrm_FleetPreview::ColField), Qt::Unchecked);
    EXPECT_FALSE(p.tv_Preview->topLevelItem(1)->data(TFrm_FleetPreview::ColField, Qt::CheckStateRole).isValid());
    nameA->setCheckState(TFrm_FleetPreview::ColField, Qt::Checked);
    EXPECT_EQ(p.tv_Preview->topLevelItem(5)->checkState(TFrm_FleetPreview::ColField), Qt::Checked);
    EXPECT_EQ(p.Ticked(), QStringList{QStringLiteral("ModName")});

    w->SwitchLanguage(true);
    p.ApplyTexts();
    EXPECT_EQ(p.tv_Preview->headerItem()->text(TFrm_FleetPreview::ColOld), QStringLiteral("原值"));
    EXPECT_EQ(p.btn_PreviewWrite->text(), QStringLiteral("写入"));
    EXPECT_EQ(p.tv_Preview->topLevelItem(6)->text(TFrm_FleetPreview::ColNew),
              QStringLiteral("未找到: did not answer the search"));
    EXPECT_EQ(p.Ticked(), QStringList{QStringLiteral("ModName")}) << "a language switch keeps the ticks";
    w->SwitchLanguage(false);

    // Nothing planned: the Write button is off.
    p.SetResults(QStringLiteral("info"), {gone});
    EXPECT_FALSE(p.CanWrite());
    EXPECT_FALSE(p.btn_PreviewWrite->isEnabled());
}

// ---------------------------------------------------------------------------------------------
// Against simulated modules

struct FleetSim : AppFixture {
    TLanSim Sim;
    QTemporaryDir Dir;
    QList<QStringList> Previews; // each preview's rows
    bool Write = true, Verify = false, Finished = false;
    bool KeepVerifyTick = false; // the preview's read-back tick as the window set it
    QStringList NextFile;
    QList<TFleetModuleResult> Results;

    void SetUp() override
    {
        if (qgetenv("BEXO_IN_NETNS") != "1")
            GTEST_SKIP() << "writes simulated modules: run inside a private network namespace "
                            "(bash scripts/netns-run.sh ...), which sets BEXO_IN_NETNS=1";
        AppFixture::SetUp();
        TFleetActions *f = w->Fleet;
        f->Times.AnswerWaitMs = 1000;
        f->Times.BlockPauseMs = 5;
        f->Times.RestartPauseMs = 5;
        f->Times.VerifyTimeoutMs = 5000;
        f->Times.VerifyPollMs = 100;
        f->ConfirmPreview = [this](TFrm_FleetPreview &p) {
            Previews << rowTexts(p);
            if (KeepVerifyTick)
                Verify = p.Verify();
            else
                p.SetVerify(Verify);
            return Write;
        };
        f->ConfirmSaveProfile = [](TFrm_SaveProfile &) { return true; };
        f->ChooseFile = [this](const QString &, bool) { return NextFile.isEmpty() ? QString() : NextFile.takeFirst(); };
        f->ChooseFolder = [this](const QString &) { return NextFile.isEmpty() ? QString() : NextFile.takeFirst(); };
        f->OnModuleResult = [this](const TFleetModuleResult &r) { Results << r; };
        f->OnRunFinished = [this] { Finished = true; };
    }

    void StartSim(const QStringList &modules)
    {
        ASSERT_TRUE(Sim.Start(modules)) << Sim.Out.toStdString();
        AimEndpoint(Sim.Address, DevPortQ2, Sim.PortQ3);
        Click("btn_Search");
        ASSERT_TRUE(QTest::qWaitFor([&] { return w->DevModel->rowCount() == modules.size(); }, 5000));
    }
    int RowOf(const QString &mac)
    {
        for (int i = 0; i < w->DevModel->rowCount(); ++i)
            if (w->DevModel->Row(i)->MacDigits() == mac)
                return i;
        return -1;
    }
    void Read(const QString &mac)
    {
        const int before = int(LogTexts().count(QStringLiteral("Read OK ")));
        ClickRow(RowOf(mac));
        ASSERT_TRUE(QTest::qWaitFor([&] { return LogTexts().count(QStringLiteral("Read OK ")) > before; }, 5000));
        QTest::qWait(200); // the rest of the module's blocks
        ASSERT_EQ(w->CurrentPage(), PageQ2);
    }
    void SetText(const char *name, const QString &text)
    {
        auto *e = C<QLineEdit>(name);
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Backspace);
        QTest::keyClicks(e, text);
    }
    void Run(const std::function<void()> &start)
    {
        Finished = false;
        Results.clear();
        start();
        ASSERT_TRUE(QTest::qWaitFor([&] { return Finished; }, 20000)) << LogTexts().join(u'\n').toStdString();
    }
};

// The page read from A, two fields changed (the name among them), A and B selected: the preview
// shows both modules' old and new values with the name unticked; after the write each of A and B
// reads back the new port and keeps its own name, and C was never written.
TEST_F(FleetSim, changedFieldsGoToTheSelectedModulesOnly)
{
    StartSim({QStringLiteral("mac=02BE000000A1,name=Pump-A"), QStringLiteral("mac=02BE000000B2,name=Pump-B"),
              QStringLiteral("mac=02BE000000C3,name=Pump-C")});
    Read(QStringLiteral("02BE000000A1"));
    const QString oldPort = C<QLineEdit>("edt_LocalPort0")->text();
    SetText("edt_LocalPort0", QStringLiteral("6001"));
    SetText("edt_ModName", QStringLiteral("Renamed"));
    select(w, {RowOf(QStringLiteral("02BE000000A1")), RowOf(QStringLiteral("02BE000000B2"))});
    ASSERT_TRUE(w->Fleet->btn_ApplySelected->isEnabled());
    Verify = true;
    Run([&] { Click("btn_ApplySelected"); });

    ASSERT_EQ(Previews.size(), 1);
    EXPECT_EQ(Previews[0], (QStringList{
                               QStringLiteral("02 BE 00 00 00 A1 | ModName | Pump-A | Renamed"),
                               QStringLiteral("02 BE 00 00 00 A1 | LocalPort | %1 | 6001").arg(oldPort),
                               QStringLiteral("02 BE 00 00 00 B2 | ModName | Pump-B | Renamed"),
                               QStringLiteral("02 BE 00 00 00 B2 | LocalPort | %1 | 6001").arg(oldPort),
                           }));
    ASSERT_EQ(Results.size(), 2);
    for (const TFleetModuleResult &r : Results) {
        EXPECT_EQ(r.Result, TFleetResult::Ok) << r.Mac.toStdString() << ": " << r.Answer.toStdString();
        EXPECT_TRUE(r.Verified);
        EXPECT_EQ(r.Written, QStringList{QStringLiteral("LocalPort")});
    }
    EXPECT_TRUE(LogTexts().contains(QStringLiteral("Apply changed fields: 2 of 2 modules ok")))
        << LogTexts().join(u'\n').toStdString();
    EXPECT_TRUE(Sim.Written(QStringLiteral("02BE000000C3")).isEmpty());
    ASSERT_FALSE(Sim.Written(QStringLiteral("02BE000000B2")).isEmpty());
    // Each written row shows its result in the list; the other row shows none.
    for (const char *mac : {"02BE000000A1", "02BE000000B2"}) {
        const TFleetModuleResult *r = w->DevModel->Result(QLatin1String(mac));
        ASSERT_TRUE(r) << mac;
        EXPECT_EQ(r->Result, TFleetResult::Ok) << mac;
    }
    EXPECT_FALSE(w->DevModel->Result(QStringLiteral("02BE000000C3")));

    // B as it is now: the new port, its own name.
    select(w, {});
    Read(QStringLiteral("02BE000000B2"));
    EXPECT_EQ(C<QLineEdit>("edt_LocalPort0")->text(), QStringLiteral("6001"));
    EXPECT_EQ(C<QLineEdit>("edt_ModName")->text(), QStringLiteral("Pump-B"));
}

// With Verify Writes on, every written module is read back after its restart: a module that
// acknowledges but keeps its old settings is a mismatch, its field named in its row and the log.
TEST_F(FleetSim, verifyWritesNamesTheFieldsAModuleDidNotKeep)
{
    StartSim({QStringLiteral("mac=02BE000000A1,name=Pump-A"),
              QStringLiteral("mac=02BE000000B2,name=Pump-B,ignore-writes=1")});
    w->Fleet->mni_VerifyWrites->trigger();
    ASSERT_TRUE(w->Fleet->VerifyWrites());
    Read(QStringLiteral("02BE000000A1"));
    const QString oldPort = C<QLineEdit>("edt_LocalPort0")->text();
    SetText("edt_LocalPort0", QStringLiteral("6001"));
    select(w, {0, 1});
    KeepVerifyTick = true;
    Run([&] { Click("btn_ApplySelected"); });
    EXPECT_TRUE(Verify) << "the preview's tick starts from the option";
    ASSERT_EQ(Results.size(), 2);
    for (const TFleetModuleResult &r : Results) {
        if (r.Mac.endsWith(QLatin1String("A1"))) {
            EXPECT_EQ(r.Result, TFleetResult::Ok) << r.Answer.toStdString();
            EXPECT_TRUE(r.Verified);
            continue;
        }
        EXPECT_EQ(r.Result, TFleetResult::Mismatch) << r.Answer.toStdString();
        ASSERT_EQ(r.Mismatches.size(), 1);
        EXPECT_EQ(r.Mismatches[0].Field, QStringLiteral("LocalPort"));
    }
    const TFleetModuleResult *row = w->DevModel->Result(QStringLiteral("02BE000000B2"));
    ASSERT_TRUE(row);
    EXPECT_EQ(row->Result, TFleetResult::Mismatch);
    EXPECT_TRUE(row->Answer.contains(QLatin1String("LocalPort"))) << row->Answer.toStdString();
    EXPECT_TRUE(LogTexts().contains(QStringLiteral("  LocalPort: wrote \"6001\", module has \"%1\"").arg(oldPort)))
        << LogTexts().join(u'\n').toStdString();
    EXPECT_TRUE(LogTexts().contains(QStringLiteral("Apply changed fields: 1 of 2 modules ok")));
}

// A ticked name travels; a static IP for two modules is refused before anything is sent; a
// cancelled preview sends nothing.
TEST_F(FleetSim, identityTravelsOnlyWhenTickedAndNeverOneAddressToTwo)
{
    StartSim({QStringLiteral("mac=02BE000000A1,name=Pump-A"), QStringLiteral("mac=02BE000000B2,name=Pump-B")});
    Read(QStringLiteral("02BE000000A1"));
    SetText("edt_ModName", QStringLiteral("Renamed"));
    select(w, {0, 1});
    Write = false;
    Run([&] { Click("btn_ApplySelected"); });
    EXPECT_TRUE(Results.isEmpty());
    EXPECT_TRUE(Sim.Written(QStringLiteral("02BE000000B2")).isEmpty()) << "cancelled";

    // Every tick the preview offers is ticked.
    w->Fleet->ConfirmPreview = [this](TFrm_FleetPreview &p) {
        Previews << rowTexts(p);
        for (int i = 0; i < p.tv_Preview->topLevelItemCount(); ++i) {
            QTreeWidgetItem *it = p.tv_Preview->topLevelItem(i);
            if (it->data(TFrm_FleetPreview::ColField, Qt::CheckStateRole).isValid())
                it->setCheckState(TFrm_FleetPreview::ColField, Qt::Checked);
        }
        return true;
    };
    Run([&] { Click("btn_ApplySelected"); });
    ASSERT_EQ(Results.size(), 2);
    for (const TFleetModuleResult &r : Results)
        EXPECT_EQ(r.Written, QStringList{QStringLiteral("ModName")}) << r.Mac.toStdString();

    // The same static IP for both: refused after the tick, nothing written.
    SetText("edt_StaticIP", QStringLiteral("10.9.9.9"));
    const int before = int(Sim.Written(QStringLiteral("02BE000000B2")).size());
    messages.clear();
    Run([&] { Click("btn_ApplySelected"); });
    EXPECT_TRUE(Results.isEmpty());
    EXPECT_EQ(Sim.Written(QStringLiteral("02BE000000B2")).size(), before);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0], QStringLiteral("StaticIP would give all 2 modules the same address; nothing was sent"));
}

// A profile saved in the window is the CLI's file: identity left out unless ticked, the page's
// values in it; applied to two modules each gets exactly its fields; a refused file sends nothing.
TEST_F(FleetSim, profileSavedInTheWindowAppliesToOtherModules)
{
    StartSim({QStringLiteral("mac=02BE000000A1,name=Pump-A"), QStringLiteral("mac=02BE000000B2,name=Pump-B"),
              QStringLiteral("mac=02BE000000C3,name=Pump-C")});
    Read(QStringLiteral("02BE000000A1"));
    SetText("edt_LocalPort0", QStringLiteral("7007"));
    ASSERT_TRUE(w->Fleet->mni_SaveProfile->isEnabled());
    const QString path = Dir.filePath(QStringLiteral("p.json"));
    NextFile = {path};
    w->Fleet->mni_SaveProfile->trigger();
    TProfile p;
    QString error;
    ASSERT_TRUE(ReadProfileFile(path, p, error)) << error.toStdString();
    EXPECT_EQ(p.SavedFrom, QStringLiteral("02 BE 00 00 00 A1"));
    EXPECT_EQ(p.Firmware, 4017);
    for (const char *n : {"StaticIP", "ModName", "UserName", "Password"})
        EXPECT_FALSE(p.FieldNames().contains(QLatin1String(n))) << n;
    ASSERT_TRUE(p.FieldNames().contains(QStringLiteral("LocalPort")));
    for (const TProfileField &f : p.Fields) {
        if (f.Name == QLatin1String("LocalPort")) {
            EXPECT_EQ(f.Value.toInt(), 7007);
        }
    }
    EXPECT_TRUE(LogTexts().contains(QStringLiteral("Saved %1 fields to %2").arg(p.Fields.size()).arg(path)));

    select(w, {RowOf(QStringLiteral("02BE000000B2")), RowOf(QStringLiteral("02BE000000C3"))});
    NextFile = {path};
    Run([&] { w->Fleet->mni_ApplyProfile->trigger(); });
    ASSERT_EQ(Previews.size(), 1);
    EXPECT_TRUE(Previews[0].contains(QStringLiteral("02 BE 00 00 00 B2 | LocalPort | 20108 | 7007")))
        << Previews[0].join(u'\n').toStdString();
    ASSERT_EQ(Results.size(), 2);
    for (const TFleetModuleResult &r : Results) {
        EXPECT_EQ(r.Result, TFleetResult::Ok) << r.Answer.toStdString();
        EXPECT_EQ(r.Written, p.FieldNames());
    }
    EXPECT_TRUE(LogTexts().contains(QStringLiteral("Apply profile: 2 of 2 modules ok")));
    select(w, {});
    Read(QStringLiteral("02BE000000C3"));
    EXPECT_EQ(C<QLineEdit>("edt_LocalPort0")->text(), QStringLiteral("7007"));
    EXPECT_EQ(C<QLineEdit>("edt_ModName")->text(), QStringLiteral("Pump-C"));

    // A file that is not a profile: refused before anything is sent.
    const QString bad = Dir.filePath(QStringLiteral("bad.json"));
    QFile b(bad);
    ASSERT_TRUE(b.open(QIODevice::WriteOnly));
    b.write("{\"format\": \"something else\"}");
    b.close();
    const int written = int(Sim.Written(QStringLiteral("02BE000000B2")).size());
    select(w, {RowOf(QStringLiteral("02BE000000B2"))});
    NextFile = {bad};
    Previews.clear();
    messages.clear();
    w->Fleet->mni_ApplyProfile->trigger();
    EXPECT_TRUE(Previews.isEmpty());
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith(QStringLiteral("Profile %1 refused: ").arg(bad))) << messages[0].toStdString();
    EXPECT_EQ(Sim.Written(QStringLiteral("02BE000000B2")).size(), written);
    EXPECT_FALSE(w->Fleet->Running());
}

// Back up the listed modules into a folder, then restore: the preview names a module whose file
// is gone and a file whose module is not listed; the modules with a file get it back.
TEST_F(FleetSim, backupThenRestoreReportsMissingFilesAndModules)
{
    StartSim({QStringLiteral("mac=02BE000000A1,name=Pump-A"), QStringLiteral("mac=02BE000000B2,name=Pump-B")});
    const QString folder = Dir.filePath(QStringLiteral("backup"));
    NextFile = {folder};
    Run([&] { w->Fleet->mni_BackupListed->trigger(); });
    ASSERT_EQ(Results.size(), 2);
    for (const TFleetModuleResult &r : Results)
        EXPECT_EQ(r.Result, TFleetResult::Ok) << r.Answer.toStdString();
    for (const char *f : {"index.csv", "02BE000000A1.json", "02BE000000B2.json"})
        EXPECT_TRUE(QFile::exists(folder + QLatin1Char('/') + QLatin1String(f))) << f;
    EXPECT_TRUE(LogTexts().contains(QStringLiteral("Backup: 2 of 2 modules ok")));
    EXPECT_TRUE(LogTexts().contains(QStringLiteral("Index written to %1/index.csv").arg(folder)))
        << LogTexts().join(u'\n').toStdString();

    // B's file gone; a file of a module that is not listed.
    ASSERT_TRUE(QFile::remove(folder + QStringLiteral("/02BE000000B2.json")));
    TProfile stray;
    QString error;
    ASSERT_TRUE(ReadProfileFile(folder + QStringLiteral("/02BE000000A1.json"), stray, error)) << error.toStdString();
    stray.SavedFrom = QStringLiteral("02 BE 00 00 00 FF");
    ASSERT_TRUE(WriteProfileFile(folder + QStringLiteral("/02BE000000FF.json"), stray, error));

    NextFile = {folder};
    const int beforeA = int(Sim.Written(QStringLiteral("02BE000000A1")).size());
    Run([&] { w->Fleet->mni_RestoreBackup->trigger(); });
    ASSERT_EQ(Previews.size(), 1);
    const QString rows = Previews[0].join(u'\n');
    EXPECT_TRUE(rows.contains(QStringLiteral("02 BE 00 00 00 B2 |  |  | no file"))) << rows.toStdString();
    EXPECT_TRUE(rows.contains(QStringLiteral("02 BE 00 00 00 FF |  |  | not found"))) << rows.toStdString();
    ASSERT_EQ(Results.size(), 3);
    for (const TFleetModuleResult &r : Results) {
        const TFleetResult want = r.Mac.endsWith(QLatin1String("A1"))   ? TFleetResult::Ok
                                  : r.Mac.endsWith(QLatin1String("B2")) ? TFleetResult::NoFile
                                                                        : TFleetResult::NotFound;
        EXPECT_EQ(r.Result, want) << r.Mac.toStdString() << ": " << r.Answer.toStdString();
    }
    EXPECT_GT(Sim.Written(QStringLiteral("02BE000000A1")).size(), beforeA);
    EXPECT_TRUE(LogTexts().contains(QStringLiteral("Restore: 1 of 3 modules ok")));
}

} // namespace

namespace {

// Pictures for people to look at: the preview, the save-profile dialog and the File menu, in
// both languages, with the Q2 page read and two rows selected.
TEST_F(FleetControls, shotsOfThePreviewTheSaveDialogAndTheMenu)
{
    FeedRows();
    Arrive(SearchReplyBytes("192.168.0.9", QByteArray::fromHex("001A2B3C4D61"), 4017, "Lab-Q2b"),
           QStringLiteral("192.168.0.9"));
    ClickRow(0);
    FeedReplies(TQ2Replies::Full());
    select(w, {0, 2});
    TFleetModuleResult a;
    a.Mac = QStringLiteral("00 1A 2B 3C 4D 5E");
    a.Result = TFleetResult::DryRun;
    a.Changes = {{QStringLiteral("ModName"), QStringLiteral("Lab-Q2"), QStringLiteral("Pump hall 3")},
                 {QStringLiteral("LocalPort"), QStringLiteral("20108"), QStringLiteral("6001")},
                 {QStringLiteral("Parity"), QStringLiteral("NONE"), QStringLiteral("EVEN")}};
    a.Skipped = {{QStringLiteral("HttpdUrl"), QStringLiteral("written only with work mode \"HTTPD Client\"")}};
    a.Frames = {TPlannedFrame{}};
    TFleetModuleResult b = a;
    b.Mac = QStringLiteral("00 1A 2B 3C 4D 61");
    b.Changes[0].Old = QStringLiteral("Lab-Q2b");
    TFleetModuleResult gone;
    gone.Mac = QStringLiteral("00 1A 2B 3C 4D 62");
    gone.Result = TFleetResult::NoAnswer;
    gone.Answer = QStringLiteral("no answer");
    for (bool chinese : {false, true}) {
        const QString lang = chinese ? QStringLiteral("zh") : QStringLiteral("en");
        w->SwitchLanguage(chinese);
        TFrm_FleetPreview p(w);
        p.SetResults(GetLangText(QStringLiteral("lang_Hint_PreviewInfo")).arg(2), {a, b, gone}, {}, IdentityFields());
        p.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&p));
        EXPECT_FALSE(SaveShot(&p, QStringLiteral("fleet_preview_") + lang).isEmpty());
        TFrm_SaveProfile s(w);
        s.SetModule(QStringLiteral("00 1A 2B 3C 4D 5E"));
        s.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&s));
        EXPECT_FALSE(SaveShot(&s, QStringLiteral("fleet_save_profile_") + lang).isEmpty());
        w->mni_File->popup(w->mapToGlobal(QPoint(0, 0)));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w->mni_File));
        EXPECT_FALSE(SaveShot(w->mni_File, QStringLiteral("fleet_file_menu_") + lang).isEmpty());
        w->mni_File->hide();
        EXPECT_FALSE(SaveShot(w, QStringLiteral("fleet_main_q2_") + lang).isEmpty());
    }
    w->SwitchLanguage(false);
}

} // namespace
