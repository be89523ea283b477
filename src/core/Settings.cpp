#include "core/Settings.h"

#include "core/Public.h"

TIniFile *IniFile = nullptr;

TAppSettings ReadSettingsFrom(const TIniFile &ini, bool isChineseDefault)
{
    TAppSettings s;
    s.CustomBuild = ini.ReadBool(IniSection, QStringLiteral("Custom"), false);
    s.IsChinese = ini.ReadBool(IniSection, QStringLiteral("Language"), isChineseDefault);
    s.RealTimeHelp = ini.ReadBool(IniSection, QStringLiteral("RealTimeHelp"), true);
    s.VerifyWrites = ini.ReadBool(IniSection, QStringLiteral("VerifyWrites"), false);
    s.LocalCom = ini.ReadString(IniSection, QStringLiteral("LocalCom"), QStringLiteral("COM1"));
    const int q = ini.ReadInteger(IniSection, QStringLiteral("QNum"), 1);
    s.QNum = (q >= 1 && q <= 3) ? q : 1;
    s.FilePath = ini.ReadString(IniSection, QStringLiteral("FilePath"), CmdFilePath);
    ReadUpgradeSettings(ini, s);
    return s;
}

TAppSettings ReadSettings(const TDataFilePlace &place, bool isChineseDefault)
{
    delete IniFile;
    IniFile = new TIniFile(place.Path, place.Seed);
    TAppSettings s = ReadSettingsFrom(*IniFile, isChineseDefault);
    CmdFilePath = s.FilePath;
    return s;
}

TAppSettings ReadSettings(const QString &fileName, bool isChineseDefault)
{
    return ReadSettings(TDataFilePlace{fileName, QString()}, isChineseDefault);
}

void ReadUpgradeSettings(const TIniFile &ini, TAppSettings &settings)
{
    settings.UpgradeIP = ini.ReadString(IniSection, QStringLiteral("UpgradeIP"), QString());
    settings.UpgradeMAC = ini.ReadString(IniSection, QStringLiteral("UpgradeMAC"), QString());
    settings.UpgradeFileName = ini.ReadString(IniSection, QStringLiteral("UpgradeFileName"), QString());
}

void WriteLanguage(TIniFile &ini, bool isChinese)
{
    ini.WriteBool(IniSection, QStringLiteral("Language"), isChinese);
}

void WriteSettings(TIniFile &ini, const TAppSettings &s)
{
    WriteLanguage(ini, s.IsChinese);
    ini.WriteBool(IniSection, QStringLiteral("RealTimeHelp"), s.RealTimeHelp);
    ini.WriteString(IniSection, QStringLiteral("LocalCom"), s.LocalCom);
    ini.WriteInteger(IniSection, QStringLiteral("QNum"), (s.QNum >= 1 && s.QNum <= 3) ? s.QNum : 1);
    ini.WriteString(IniSection, QStringLiteral("UserName"), s.UserName);
    ini.WriteString(IniSection, QStringLiteral("Password"), s.Password);
    ini.WriteString(IniSection, QStringLiteral("UpgradeIP"), s.UpgradeIP);
    ini.WriteString(IniSection, QStringLiteral("UpgradeMAC"), s.UpgradeMAC);
    ini.WriteString(IniSection, QStringLiteral("UpgradeFileName"), s.UpgradeFileName);
    ini.WriteString(IniSection, QStringLiteral("FilePath"), s.FilePath);
    // A later key: a file that never had it (and keeps the default) stays as it was.
    if (s.VerifyWrites || ini.ReadBool(IniSection, QStringLiteral("VerifyWrites"), false))
        ini.WriteBool(IniSection, QStringLiteral("VerifyWrites"), s.VerifyWrites);
}

void WriteChangedSettings(TIniFile &ini, const TAppSettings &now, TAppSettings &written)
{
    const auto text = [&](const char *key, const QString &value, QString &was) {
        if (value == was)
            return;
        ini.WriteString(IniSection, QLatin1String(key), value);
        was = value;
    };
    const auto flag = [&](const char *key, bool value, bool &was) {
        if (value == was)
            return;
        ini.WriteBool(IniSection, QLatin1String(key), value);
        was = value;
    };
    flag("Language", now.IsChinese, written.IsChinese);
    flag("RealTimeHelp", now.RealTimeHelp, written.RealTimeHelp);
    text("LocalCom", now.LocalCom, written.LocalCom);
    const int q = (now.QNum >= 1 && now.QNum <= 3) ? now.QNum : 1;
    if (q != written.QNum) {
        ini.WriteInteger(IniSection, QStringLiteral("QNum"), q);
        written.QNum = q;
    }
    text("UserName", now.UserName, written.UserName);
    text("Password", now.Password, written.Password);
    text("UpgradeIP", now.UpgradeIP, written.UpgradeIP);
    text("UpgradeMAC", now.UpgradeMAC, written.UpgradeMAC);
    text("UpgradeFileName", now.UpgradeFileName, written.UpgradeFileName);
    text("FilePath", now.FilePath, written.FilePath);
    flag("VerifyWrites", now.VerifyWrites, written.VerifyWrites);
}

void FreeSettings()
{
    delete IniFile;
    IniFile = nullptr;
}
