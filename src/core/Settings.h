#pragma once
// The values Cfg.ini keeps, read into a plain struct that a front end applies, and written from one.

#include "core/AppPaths.h"
#include "core/IniFile.h"

#include <QString>

inline const QString IniSection = QStringLiteral("System");

struct TAppSettings {
    bool CustomBuild = false;          // Custom: hides the maker-related Help items
    bool IsChinese = false;            // Language
    bool RealTimeHelp = true;          // RealTimeHelp: hints shown at all
    bool VerifyWrites = false;         // VerifyWrites: every fleet write read back after the restart
    QString LocalCom = QStringLiteral("COM1");
    int QNum = 1;                      // model radio button: 1 Q1, 2 Q2, 3 Q3
    QString UserName;                  // written at close, never read back
    QString Password;                  // written at close, never read back
    QString UpgradeIP;
    QString UpgradeMAC;
    QString UpgradeFileName;
    QString FilePath;                  // CmdFilePath
};

// The one settings object; lives from ReadSettings to FreeSettings.
extern TIniFile *IniFile;

// Opens IniFile on the given path and reads the start-up values. The language defaults to
// isChineseDefault (the system's language); FilePath defaults to the current CmdFilePath.
TAppSettings ReadSettings(const QString &fileName, bool isChineseDefault);
// The same on the program's Cfg.ini: the user's copy, or the copy beside the program (CfgIniPlace).
TAppSettings ReadSettings(const TDataFilePlace &place, bool isChineseDefault);
// Reads the start-up values from an open settings object.
TAppSettings ReadSettingsFrom(const TIniFile &ini, bool isChineseDefault);
// Fills the three upgrade-window values.
void ReadUpgradeSettings(const TIniFile &ini, TAppSettings &settings);
// Writes every written key in order; raises EIniFileError at the first refused write, leaving the
// later keys as they were in the file.
void WriteSettings(TIniFile &ini, const TAppSettings &settings);
void WriteLanguage(TIniFile &ini, bool isChinese);
// Writes, in the order of WriteSettings, only the keys whose value differs from written (what the
// file was last given), and records each one in written as it succeeds. Raises EIniFileError at
// the first refused write. Lets a front end write a change when it happens, not only at close.
void WriteChangedSettings(TIniFile &ini, const TAppSettings &now, TAppSettings &written);
void FreeSettings();
