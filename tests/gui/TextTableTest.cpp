#include "gui/TextTable.h"
#include "lang/LangList.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <gtest/gtest.h>

namespace {

// One control of every kind the rows name, under a root window.
struct TextFixture : ::testing::Test {
    QWidget root;
    QComboBox *combo = new QComboBox(&root);
    QTableView *view = new QTableView(&root);
    QStandardItemModel model{0, 4};

    void SetUp() override
    {
        delete LangList;
        LangList = new TLangList;
        FillDefaultTable();
        auto *tabs = new QTabWidget(&root);
        auto *page = new QWidget;
        page->setObjectName("rztbsht_Net");
        tabs->addTab(page, "x");
        auto *edit = new QLineEdit(&root);
        edit->setObjectName("LabeledEdit1");
        auto *buddy = new QLabel("x", &root);
        buddy->setBuddy(edit);
        auto *star = new QLabel(&root);
        star->setObjectName("lbl_StaticIP");
        combo->setObjectName("cbb_AddrType");
        combo->addItems({"a", "b"});
        combo->setCurrentIndex(1);
        view->setObjectName("lv_Dev");
        view->setModel(&model);
    }
    void TearDown() override { FreeLanguage(); }
};

const TTextRow Rows[] = {
    {"", TTextProp::Title, "lang_About_Title"},
    {"rztbsht_Net", TTextProp::Caption, "lang_rztbsht_Net"},
    {"LabeledEdit1", TTextProp::BuddyCaption, "lang_LabeledEdit1"},
    {"lbl_StaticIP", TTextProp::StarCaption, "lang_Lbl_StaticIP"},
    {"cbb_AddrType", TTextProp::Item, "lang_Cbb_StaticIP", 1},
    {"cbb_AddrType", TTextProp::Hint, "lang_lbl_H_AddrType"},
    {"lv_Dev", TTextProp::Column, "lang_Lv_MAC", 2},
    {"cbb_AddrType", TTextProp::Item, "JSON", 0, true},
};

TEST_F(TextFixture, everyKindOfRowReachesItsControl_inBothLanguages)
{
    for (bool chinese : {false, true}) {
        LangList->IsChinese = chinese;
        EXPECT_TRUE(ApplyTextRows(&root, Rows).isEmpty());
        for (const TTextRow &row : Rows)
            EXPECT_EQ(ShownText(&root, row), RowText(row)) << row.Control << " " << row.Key;
    }
    EXPECT_EQ(ShownText(&root, Rows[3]), GetLangText("lang_Lbl_StaticIP") + " *");
    EXPECT_EQ(combo->currentIndex(), 1) << "items are replaced in place";
    EXPECT_EQ(ShownText(&root, Rows[7]), "JSON");
}

TEST_F(TextFixture, missingControlOrIndex_isReported)
{
    const TTextRow bad[] = {
        {"no_such_control", TTextProp::Caption, "lang_Menu_File"},
        {"cbb_AddrType", TTextProp::Item, "lang_Cbb_DHCP", 5},
        {"lv_Dev", TTextProp::Column, "lang_Lv_MAC", 9},
        {"cbb_AddrType", TTextProp::BuddyCaption, "lang_Lv_MAC"},
    };
    EXPECT_EQ(ApplyTextRows(&root, bad).size(), 4);
}

} // namespace
