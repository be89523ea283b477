#include "PageRecords.h"
#include "PageViewUtil.h"
#include "gui/Q1PageView.h"
#include "gui/Q2PageView.h"
#include "gui/TextTable.h"
#include "netconfig/Q1Page.h"

#include <QComboBox>
#include <QLabel>
#include <QSet>
#include <QVBoxLayout>
#include <iostream>

namespace {

QString rowName(const TTextRow &row)
{
    static const char *props[] = {"Caption", "StarCaption", "BuddyCaption", "Title", "Hint", "Item", "Column"};
    QString s = QString::fromLatin1(row.Control) + u' ' + QString::fromLatin1(props[int(row.Prop)]);
    if (row.Index >= 0) s += u' ' + QString::number(row.Index);
    return s;
}

struct PagesUnderOneRoot : ::testing::Test {
    TQ2Page q2;
    TQ1Page q1;
    QWidget root;
    TQ2PageView *q2View = nullptr;
    TQ1PageView *q1View = nullptr;

    void SetUp() override
    {
        UseLanguage(false);
        auto *layout = new QVBoxLayout(&root);
        q1View = new TQ1PageView(q1, &root);
        q2View = new TQ2PageView(q2, &root);
        layout->addWidget(q1View);
        layout->addWidget(q2View);
    }
    void TearDown() override { FreeLanguage(); }

    // ApplyMainTexts as far as the pages go.
    QList<const TTextRow *> applyTexts()
    {
        const QList<const TTextRow *> missing = ApplyTextRows(&root, MainTextRows);
        q1View->AfterTextsApplied();
        q2View->AfterTextsApplied();
        return missing;
    }
};

// The rows the pages cannot serve belong to the main window itself: menus, the device list,
// the search column and its tabs, the log tabs, the hidden data debugger button.
TEST_F(PagesUnderOneRoot, onlyTheMainWindowsOwnControlsAreMissing)
{
    const QSet<QString> mainWindowOwn = {
        "mni_File Caption",       "mni_Pswd Caption",       "mniExporDevs Caption", "mni_Exit Caption",
        "mni_Lang Caption",       "mni_Cn Caption",         "mni_En Caption",       "mni_Help Caption",
        "mni_About Caption",      "mni_Hint Caption",       "mni_Up Caption",       "mni_OpenWeb Caption",
        "mni_Restart Caption",    "mni_FirmwareUp Caption", "mni_Reset Caption",    "mni_CopyTheMac Caption",
        "mni_CopeAllMac Caption", "lv_Dev Column 0",        "lv_Dev Column 1",      "lv_Dev Column 2",
        "lv_Dev Column 3",        "lbl_SelectCom Caption",  "lbl1 Caption",         "lblQNum Caption",
        "btn_Search Caption",     "btn_ComRead Caption",    "rztbsht_Net Caption",  "rztbsht_Com Caption",
        "rztbsht_Log Caption",    "rztbsht_Hex Caption",    "btnDataDebug Caption", "cbbSoftBitRate Item 1",
        "btn_Search Hint",        "btn_ComRead Hint",       "lv_Dev Hint",          "cbb_SelectCom Hint",
        "lv_Dev Column 6",        "lbl_SearchRange Caption", "edt_SearchRange Caption", "edt_SearchRange Hint",
        "chk_KeepSearch Caption", "chk_KeepSearch Hint",    "lbl_KeepSearchCount Caption",
        "edt_KeepSearchCount Caption", "edt_KeepSearchCount Hint",
        "mni_SaveProfile Caption", "mni_ApplyProfile Caption", "mni_VerifyWrites Caption", "mni_BackupListed Caption",
        "mni_RestoreBackup Caption"};
    for (bool chinese : {false, true}) {
        UseLanguage(chinese);
        QSet<QString> missing;
        QStringList listed;
        for (const TTextRow *row : applyTexts()) {
            missing << rowName(*row);
            listed << rowName(*row);
        }
        if (!chinese)
            std::cout << "Rows for the main window's own controls (" << listed.size()
                      << "): " << listed.join(QStringLiteral(", ")).toStdString() << "\n";
        EXPECT_EQ(missing, mainWindowOwn);
        for (const TTextRow &row : MainTextRows)
            if (!missing.contains(rowName(row))) {
                EXPECT_EQ(ShownText(&root, row), RowText(row)) << rowName(row).toStdString();
            }
    }
}

// Each control name exists once, so a row reaches the one control it means.
TEST_F(PagesUnderOneRoot, controlNamesAreUnique)
{
    QHash<QString, int> count;
    for (QObject *o : root.findChildren<QObject *>())
        if (!o->objectName().isEmpty() && !o->objectName().startsWith(QLatin1String("qt_"))) ++count[o->objectName()];
    for (auto it = count.cbegin(); it != count.cend(); ++it)
        EXPECT_EQ(it.value(), 1) << it.key().toStdString();
}

TEST_F(PagesUnderOneRoot, languageSwitchKeepsSelectionsAndTheirDependentControls)
{
    applyTexts();
    TQ2Replies::Full().FeedInto(q2);
    q2View->ShowModel();
    Ctl<QComboBox>(&root, "cbbModbusType")->setCurrentIndex(1);
    Ctl<QComboBox>(&root, "cmbModbusEnable1")->setCurrentIndex(2);

    UseLanguage(true);
    applyTexts();
    auto *type = Ctl<QComboBox>(&root, "cbbModbusType");
    EXPECT_EQ(type->currentIndex(), 1);
    EXPECT_EQ(type->currentText(), GetLangText("lang_cbbModbusType_1"));
    EXPECT_EQ(Ctl<QComboBox>(&root, "cbb_AddrType")->currentText(), QString::fromUtf8("静态IP"));
    EXPECT_FALSE(Ctl(&root, "cbbReporproto")->isVisibleTo(&root));
    EXPECT_TRUE(Ctl(&root, "edtModbusTimeout")->isVisibleTo(&root));
    EXPECT_TRUE(Ctl(&root, "edtModbusTimeout1")->isVisibleTo(&root));
    EXPECT_EQ(Ctl<QLabel>(&root, "lbl_StaticIP")->text(), GetLangText("lang_Lbl_StaticIP") + " *");
    EXPECT_EQ(Ctl<QLabel>(&root, "LabeledEdit1Label")->text(), GetLangText("lang_LabeledEdit1"));
    // The model's lists stay as they were: only what the widgets show is translated.
    EXPECT_EQ(q2.cbbModbusType.Items[1], "Modbus TCP/RTU");
    EXPECT_EQ(q2.cbbModbusType.Index, 1);
}

} // namespace
