#pragma once
// The program's windows, created and wired in the order the program starts them: the main window
// (which reads the language and the settings), the about box, the login dialog and the upgrade
// window, then the main window's hooks into the three dialogs. main() and the widget tests build
// the program alike.

#include <memory>

class TFrm_About;
class TFrm_Main;
class TFrm_Pswd;
class Tfrm_Upgrade;

struct TAppWindows {
    // Destroyed in the reverse order: the dialogs go before the main window they report into.
    std::unique_ptr<TFrm_Main> Main;
    std::unique_ptr<TFrm_About> About;
    std::unique_ptr<TFrm_Pswd> Pswd;
    std::unique_ptr<Tfrm_Upgrade> Upgrade;

    TAppWindows();
    ~TAppWindows();
    TAppWindows(const TAppWindows &) = delete;
    TAppWindows &operator=(const TAppWindows &) = delete;
};

// Every window created and wired, the main window not shown yet.
std::unique_ptr<TAppWindows> CreateAppWindows();
