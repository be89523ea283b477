#pragma once
#include <QString>

// The folder that holds Cfg.ini, Lang.txt and the export file: the program's folder, or the user's
// configuration folder when the program's folder cannot be written (an installed program).
QString DataFolder();
// Same decision, for given folders (tests).
QString ChooseDataFolder(const QString &programFolder, const QString &configFolder);
// Tests and the simulator's demo point the data folder elsewhere; empty restores the default.
void SetDataFolderOverride(const QString &folder);
// Full path of a file in the data folder.
QString DataFile(const QString &name);
