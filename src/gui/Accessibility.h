#pragma once
// The names a screen reader announces for the controls a user acts on. Qt names a button by its
// caption and a check box by its text; an edit, a list or a pane has no name of its own, and on
// Linux a drop-down announces its current item (its label reaches the reader as a relation). The
// names come from what a sighted user reads beside the control, in the current language: the label
// whose buddy it is, the tab page it fills, the group box it sits in.

#include <QString>

class QWidget;

// Names every control under root (root included). Runs after each Apply*Texts of a window, so the
// names follow a language switch.
void ApplyAccessibleNames(QWidget *root);

// A control a user acts on or reads (edit, pane, list, drop-down, button, check box, spin box,
// slider); not a part that belongs to another control (a drop-down's own list or edit, a scroll
// bar, Qt's own helpers such as the menu bar's overflow button).
bool IsUserControl(const QWidget *w);

// A caption as a reader should say it: without mnemonic marks, on one line.
QString SpokenText(const QString &caption);
