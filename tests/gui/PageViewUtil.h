#pragma once
// Shared by the page view tests: the language set up, and checks of what a control shows.

#include "GuiTestUtil.h"
#include "gui/PageWidgets.h"
#include "lang/LangList.h"

#include <QLabel>
#include <QWidget>

// The built-in language table, English unless asked otherwise (no Lang.txt is read or written).
inline void UseLanguage(bool chinese)
{
    if (!LangList) {
        LangList = new TLangList;
        FillDefaultTable();
    }
    LangList->IsChinese = chinese;
}

// One expected state of a control of a page.
struct TShows {
    enum What { Visible, Enabled, Grey };
    const char *Name;
    What Is;
    bool Value;
};

inline const char *WhatName(TShows::What w)
{
    return w == TShows::Visible ? "visible" : w == TShows::Enabled ? "enabled" : "grey";
}

// Visible: would show when the page shows (its groups included). Grey: silver font; not grey
// means the colour the palette gives.
inline void ExpectShows(QWidget *page, const TShows &e, const std::string &context)
{
    QWidget *w = Ctl(page, e.Name);
    if (!w) return;
    bool actual = false;
    switch (e.Is) {
    case TShows::Visible:
        actual = w->isVisibleTo(page);
        break;
    case TShows::Enabled:
        actual = w->isEnabled();
        break;
    case TShows::Grey: {
        auto *l = qobject_cast<QLabel *>(w);
        ASSERT_NE(l, nullptr) << e.Name << " is not a label";
        const QColor c = l->palette().color(QPalette::WindowText);
        actual = c == GreyLabelColor();
        if (!e.Value) {
            EXPECT_EQ(c, page->palette().color(QPalette::WindowText)) << context << ": " << e.Name;
        }
        break;
    }
    }
    EXPECT_EQ(actual, e.Value) << context << ": " << e.Name << " " << WhatName(e.Is);
}
