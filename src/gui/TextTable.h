#pragma once
// Every text the windows take from the language table, as data: which control (by objectName),
// which of its properties, which key. The four Apply*Texts walk these rows at creation and on every
// language switch; the rules that are not a plain copy live beside them in the windows.

#include <QList>
#include <QString>
#include <span>

class QWidget;

enum class TTextProp {
    Caption,     // label, button, check box, group box title, tab of a tab page, menu, action;
                 // an edit's placeholder, a spin box's text at its least value
    StarCaption, // caption followed by " *" (the address fields the base group's caption refers to)
    BuddyCaption,// the caption of the label whose buddy is the control (a labelled edit)
    Title,       // window title of the root window (Control is empty)
    Hint,        // tool tip
    Item,        // drop-down list item at Index, replaced in place
    Column,      // column header at Index of a list view's model
};

struct TTextRow {
    const char *Control; // objectName under the window; empty for the window itself
    TTextProp Prop;
    const char *Key;     // language key, or the literal text when Literal
    int Index = -1;      // Item and Column only
    bool Literal = false;
};

extern const std::span<const TTextRow> MainTextRows;
extern const std::span<const TTextRow> AboutTextRows;
extern const std::span<const TTextRow> PswdTextRows;
extern const std::span<const TTextRow> UpgradeTextRows;
extern const std::span<const TTextRow> FleetPreviewTextRows;
extern const std::span<const TTextRow> SaveProfileTextRows;

// The text a row gives in the current language.
QString RowText(const TTextRow &row);
// Puts the row's text into its control under root. False when the control is missing or of a kind
// the property does not fit.
bool ApplyTextRow(QWidget *root, const TTextRow &row);
// Applies every row; returns the rows that could not be applied (an empty list when all fit).
QList<const TTextRow *> ApplyTextRows(QWidget *root, std::span<const TTextRow> rows);
// What the control shows now for the row's property (tests compare it with RowText).
QString ShownText(QWidget *root, const TTextRow &row);
