#pragma once
// What the two parameter page views share: making their controls, laying them out in rows of
// label + field, and copying the page model's control states to the widgets and back.

#include "netconfig/PageControls.h"

#include <QColor>
#include <QList>
#include <QString>
#include <QStringList>

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QWidget;

// The font colour of a label whose field is disabled.
inline QColor GreyLabelColor()
{
    return QColor(192, 192, 192);
}

// Silver when grey, else the colour the palette gives labels.
void SetLabelGrey(QLabel *label, bool grey);
bool IsLabelGrey(const QLabel *label);

// What a list shows for its items: the language's text where the text table names the item (so a
// fill or a rebuilt list never brings back the English design text), the model's text elsewhere.
QStringList ShownItems(const QString &listName, const QStringList &items);

// A field takes its width from the layout, at least minimum pixels.
void SetFieldWidth(QWidget *field, int minimum);
// The label columns (0 and 3) of every field grid of the page get the width of the widest label
// (up to a limit; longer captions wrap), so that the groups line up.
void AlignLabelColumns(QWidget *page);

// Controls with their objectName; a label names its field through the buddy.
QLineEdit *MakeEdit(QWidget *parent, const char *name);
QComboBox *MakeCombo(QWidget *parent, const char *name);
QCheckBox *MakeCheck(QWidget *parent, const char *name, const QString &caption);
QLabel *MakeLabel(QWidget *parent, const char *name, const QString &caption, QWidget *buddy);
QGroupBox *MakeGroup(QWidget *parent, const char *name, const QString &title);

// Rows of a group: two columns of label + field, or one control across a column or the whole row.
// Hidden controls take no space.
class TFieldGrid {
public:
    explicit TFieldGrid(QGroupBox *group);
    // Column 0 or 1 of the current row.
    void Field(int column, QLabel *label, QWidget *field);
    // A field from the first field column to the second label column (label in column 0), with
    // an optional control in the last column.
    void WideField(QLabel *label, QWidget *field, QWidget *after = nullptr);
    // A field across the whole row after its label.
    void FullField(QLabel *label, QWidget *field);
    // A control without a label, in one column or across both.
    void Single(int column, QWidget *w);
    void Span(QWidget *w);
    void NextRow() { ++FRow; }
    QGridLayout *Layout() const { return FGrid; }

private:
    QGridLayout *FGrid;
    int FRow = 0;
};

// The link between a page model and its widgets. Show copies every state into the widgets, Read
// copies what the user can change back (texts, indexes, check marks); list items and the
// visibility and enabled state belong to the model and are only shown.
class TPageBinder {
public:
    void Edit(QLineEdit *w, TEditState *s);
    void Memo(QPlainTextEdit *w, TEditState *s);
    void Text(QLineEdit *w, QString *s); // a hidden field that only carries a text
    void Check(QAbstractButton *w, TCheckState *s);
    void Combo(QComboBox *w, TComboState *s);
    // A label shows only together with its field; s may be null for a label without rules.
    void Label(QLabel *w, const TLabelState *s, const bool *fieldVisible);
    void Group(QWidget *w, const TGroupState *s);

    void Show() const;
    void Read() const;

private:
    template <class W, class S> struct Pair {
        W *Widget;
        S *State;
    };
    struct LabelLink {
        QLabel *Widget;
        const TLabelState *State;
        const bool *FieldVisible;
    };
    QList<Pair<QLineEdit, TEditState>> FEdits;
    QList<Pair<QPlainTextEdit, TEditState>> FMemos;
    QList<Pair<QLineEdit, QString>> FTexts;
    QList<Pair<QAbstractButton, TCheckState>> FChecks;
    QList<Pair<QComboBox, TComboState>> FCombos;
    QList<LabelLink> FLabels;
    QList<Pair<QWidget, const TGroupState>> FGroups;
};
