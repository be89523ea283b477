#pragma once
// The custom baud rate entry of the three baud lists (item 0 a free slot, item 1 "Custom").

#include "netconfig/PageControls.h"

#include <QString>
#include <functional>
#include <optional>

class QComboBox;
class QWidget;

// Shows an input box: the answer, or nothing when the user cancels.
using TBaudPrompt = std::function<std::optional<QString>(QWidget *parent, const QString &title, const QString &prompt,
                                                         const QString &text)>;

// Tests put a scripted answer here so that no modal box waits for a user; an empty function
// restores the input box.
void SetBaudPrompt(TBaudPrompt prompt);

// When item 1 is selected: asks for a rate (title lang_InputBdTitle, prompt lang_PlsInputBd,
// pre-filled with item 0) and applies the answer to the list. Returns false, asking nothing, for
// any other selection.
bool AskCustomBaud(QWidget *parent, TComboState &list);

// The same for a list widget without a page model: its items and selection go through a
// TComboState and come back into the widget.
bool AskCustomBaud(QComboBox *list);
