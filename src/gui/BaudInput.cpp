#include "gui/BaudInput.h"

#include "lang/LangList.h"

#include <QComboBox>
#include <QInputDialog>

namespace {

std::optional<QString> inputBox(QWidget *parent, const QString &title, const QString &prompt, const QString &text)
{
    bool ok = false;
    const QString answer = QInputDialog::getText(parent, title, prompt, QLineEdit::Normal, text, &ok);
    if (!ok) return std::nullopt;
    return answer;
}

TBaudPrompt &prompt()
{
    static TBaudPrompt p = inputBox;
    return p;
}

} // namespace

void SetBaudPrompt(TBaudPrompt p)
{
    prompt() = p ? std::move(p) : TBaudPrompt(inputBox);
}

bool AskCustomBaud(QWidget *parent, TComboState &list)
{
    if (list.Index != 1 || list.Items.isEmpty()) return false;
    const std::optional<QString> answer = prompt()(parent, GetLangText(QStringLiteral("lang_InputBdTitle")),
                                                   GetLangText(QStringLiteral("lang_PlsInputBd")), list.Items[0]);
    ApplyCustomBaud(list, answer ? &*answer : nullptr);
    return true;
}

bool AskCustomBaud(QComboBox *list)
{
    TComboState state;
    for (int i = 0; i < list->count(); ++i)
        state.Items << list->itemText(i);
    state.Index = list->currentIndex();
    if (!AskCustomBaud(list, state)) return false;
    // The answer changes only item 0 and the selection; a handler that runs again on the new
    // selection finds item 1 no longer selected.
    list->setItemText(0, state.Items[0]);
    list->setCurrentIndex(state.Index);
    return true;
}
