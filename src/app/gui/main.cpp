#include "gui/App.h"
#include "gui/MainWindow.h"
#include "gui/SingleInstance.h"

#include <QApplication>

// The desktop program: one copy per user session; a second copy brings the first to the front.
int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("bexo-z0"));

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
