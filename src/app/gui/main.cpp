#include "gui/App.h"
#include "gui/MainWindow.h"
#include "gui/SingleInstance.h"

#include <QApplication>

// The desktop program: one copy per user session; a second copy brings the first to the front.
int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("bexo-z0"));
    // The installed desktop entry's name: a Wayland desktop finds the icon and the entry by it.
    QApplication::setDesktopFileName(QStringLiteral(BEXO_APP_ID));

    TSingleInstance instance;
    if (!instance.Claim()) {
        instance.AskFirstToRestore();
        return 0;
    }

    const std::unique_ptr<TAppWindows> windows = CreateAppWindows();
    TFrm_Main *mainWindow = windows->Main.get();
    instance.OnRestoreRequest = [mainWindow] { RestoreWindow(mainWindow); };
    mainWindow->show();
    return app.exec();
}
