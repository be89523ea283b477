#pragma once
// Where the program's files live.
//
// Cfg.ini and Lang.txt: beside the program file when its folder can be written (and the file
// there, if any, too). An installed program's folder cannot be written; then the user's own copy
// in the configuration folder (~/.config/bexo-z0) is read and written once it exists, and until
// then the copy beside the program, if any, is read: for Cfg.ini it is also the starting point of
// the user's copy, which the first write creates; Lang.txt beside the program is read as long as
// the user has no copy. Without either, Lang.txt is written from the built-in table into the
// configuration folder.
//
// The device-list export goes into the program's folder when it can be written, else into the
// user's documents folder (~/Documents), which is created when missing.

#include <QString>

// Where one file is read and written.
struct TDataFilePlace {
    QString Path; // written here; read from here once it exists
    QString Seed; // the copy beside the program, read until Path exists; empty when there is none
    // The file to read now.
    QString ReadPath() const;
};

// The place of Cfg.ini or Lang.txt for this program.
TDataFilePlace DataFilePlace(const QString &name);
// The same rule for given folders (tests). The user folder is created when it is needed.
TDataFilePlace ChooseDataFilePlace(const QString &name, const QString &programFolder, const QString &userFolder);
inline TDataFilePlace CfgIniPlace() { return DataFilePlace(QStringLiteral("Cfg.ini")); }
// The Lang.txt to load (written from the built-in table when it does not exist).
inline QString LangFilePath() { return DataFilePlace(QStringLiteral("Lang.txt")).ReadPath(); }

// The folder the device-list export goes into.
QString ExportFolder();
// The same rule for given folders (tests); the documents folder is created when it is chosen.
QString ChooseExportFolder(const QString &programFolder, const QString &documentsFolder);

// Tests point every file, exports included, into one folder; empty restores the rules above.
void SetDataFolderOverride(const QString &folder);
