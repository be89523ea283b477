#include "core/AppPaths.h"

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    // Widget tests never need a display; a real one would only make them slower and flakier.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("bexo-z0-gui-tests"));
    // Cfg.ini, Lang.txt and exports of the windows under test stay out of the build folder.
    QTemporaryDir data;
    SetDataFolderOverride(data.path());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
