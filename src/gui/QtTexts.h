#pragma once
// Qt's own texts (message-box buttons, the file dialog, edit menus) in the program's language:
// Qt's translations for Chinese are installed while Chinese is selected; English needs none.

// Installs or removes Qt's Chinese translations; safe to call again on every language switch.
// False when Chinese was asked for and Qt's translation files are not there (the texts stay English).
bool ApplyQtTexts(bool chinese);
