// Pictures of both pages for people to look at: build/screenshots/q2_page_*.png (the visible part
// at the design size and the whole scroll box content) and q1_page_*.png, in English and Chinese.

#include "PageRecords.h"
#include "PageViewUtil.h"
#include "gui/Q1PageView.h"
#include "gui/Q2PageView.h"
#include "gui/TextTable.h"
#include "netconfig/Q1Page.h"

#include <QApplication>
#include <QFileInfo>
#include <QScrollArea>
#include <QTest>

namespace {

struct Shots : ::testing::TestWithParam<bool> {
    void TearDown() override { FreeLanguage(); }
    static QString suffix() { return GetParam() ? QStringLiteral("_zh") : QStringLiteral("_en"); }
    static void expectSaved(const QString &path) { EXPECT_GT(QFileInfo(path).size(), 1000) << path.toStdString(); }
};

TEST_P(Shots, q2PageWithEveryGroup)
{
    UseLanguage(GetParam());
    TQ2Page model;
    model.HideModbusGroups();
    TQ2Replies::Full().FeedInto(model);
    TQ2PageView view(model);
    ApplyTextRows(&view, MainTextRows);
    view.AfterTextsApplied();
    // The page area of the window in Q2 mode.
    view.resize(528, 580);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    QApplication::processEvents();
    QWidget *content = view.ScrollBox()->widget();
    EXPECT_LE(content->width(), view.ScrollBox()->viewport()->width()) << "nothing cut off at the right";
    EXPECT_GT(content->height(), view.ScrollBox()->viewport()->height()) << "the page scrolls";
    expectSaved(SaveShot(&view, "q2_page" + suffix()));
    expectSaved(SaveShot(view.ScrollBox()->widget(), "q2_page_full" + suffix()));
}

TEST_P(Shots, q1Page)
{
    UseLanguage(GetParam());
    TQ1Page model;
    model.cbb_ModuleWork.Select(1);
    model.ModuleWorkChange();
    model.chk_RS485.Checked = model.chk_RFC2217.Checked = true;
    TQ1PageView view(model);
    view.ShowModel();
    ApplyTextRows(&view, MainTextRows);
    view.AfterTextsApplied();
    view.resize(600, 420);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    QApplication::processEvents();
    EXPECT_LE(view.minimumSizeHint().width(), 600);
    expectSaved(SaveShot(&view, "q1_page" + suffix()));
}

INSTANTIATE_TEST_SUITE_P(Languages, Shots, ::testing::Values(false, true),
                         [](const auto &info) { return info.param ? "Chinese" : "English"; });

} // namespace
