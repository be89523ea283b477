#include "gui/App.h"

#include "core/Public.h"
#include "core/Settings.h"
#include "gui/AppLook.h"
#include "gui/Frm_About.h"
#include "gui/Frm_Pswd.h"
#include "gui/Frm_Upgrade.h"
#include "gui/MainWindow.h"

#include <QApplication>

TAppWindows::TAppWindows() = default;

TAppWindows::~TAppWindows()
{
    // Nothing may reach a dialog, or the main window's log, while they go.
    if (Main)
        Main->Hooks = {};
    if (Upgrade) {
        Upgrade->SetLog(nullptr);
        Upgrade->FleetSearch = nullptr;
        Upgrade->FleetReset = nullptr;
    }
    Upgrade.reset();
    Pswd.reset();
    About.reset();
    Main.reset();
}

std::unique_ptr<TAppWindows> CreateAppWindows()
{
    auto app = std::make_unique<TAppWindows>();
    // The main window first: its creation loads the language table and reads Cfg.ini, which the
    // others take their texts and values from. Every dialog is a window of its own, centred on the
    // screen, living for the whole run and only hidden when closed.
    app->Main = std::make_unique<TFrm_Main>();
    app->About = std::make_unique<TFrm_About>();
    app->Pswd = std::make_unique<TFrm_Pswd>();
    app->Upgrade = std::make_unique<Tfrm_Upgrade>(app->Main->Settings);
    app->Upgrade->SetLog(app->Main.get());

    TFrm_Main::THooks &hooks = app->Main->Hooks;
    TFrm_About *about = app->About.get();
    TFrm_Pswd *pswd = app->Pswd.get();
    Tfrm_Upgrade *upgrade = app->Upgrade.get();
    hooks.OpenLogin = [pswd] { pswd->OpenFromMenu(); };
    hooks.OpenAbout = [about] { about->OpenFromMenu(); };
    hooks.OpenUpgrade = [upgrade](const QString &ip, const QString &mac, const QString &localIP,
                                  const QByteArray &searchReply) { upgrade->OpenFor(ip, mac, localIP, searchReply); };
    hooks.OpenFleetUpgrade = [upgrade](const QList<TUpFleetTarget> &modules, const QString &localIP) {
        upgrade->OpenForFleet(modules, localIP);
    };
    hooks.SearchReplySeen = [upgrade](const QString &mac, const QString &version) {
        upgrade->FleetModuleSeen(mac, version);
    };
    hooks.ModuleAnswered = [upgrade](int code, const QString &line) {
        upgrade->FleetModuleAnswered(code == StsAck, line);
    };
    TFrm_Main *main = app->Main.get();
    upgrade->FleetSearch = [main] { main->SearchAgain(); };
    upgrade->FleetReset = [main](const QString &mac) { return main->ResetModule(mac); };
    hooks.ApplyDialogTexts = [about, pswd, upgrade] {
        about->ApplyAboutTexts();
        pswd->ApplyPswdTexts();
        upgrade->ApplyUpgradeTexts();
    };
    // What the login dialog and the upgrade window changed is written when they close.
    QObject::connect(pswd, &QDialog::finished, main, [main] { main->StoreSettingsSoon(); });
    QObject::connect(upgrade, &QDialog::finished, main, [main] { main->StoreSettingsSoon(); });
    hooks.StoreDialogSettings = [upgrade](TAppSettings &s) {
        upgrade->StoreSettings(s);
        s.UserName = LoginName;
        s.Password = LoginPswd;
    };

    QApplication::setWindowIcon(AppIcon());
    return app;
}
