#include "core/AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace {
QString &overrideFolder()
{
    static QString folder;
    return folder;
}

bool canWrite(const QString &folder)
{
    if (folder.isEmpty() || !QDir(folder).exists())
        return false;
    // Asking for permission bits lies for root; trying is the honest check.
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".bexo-probe-XXXXXX")));
    return probe.open();
}
} // namespace

QString ChooseDataFolder(const QString &programFolder, const QString &configFolder)
{
    if (canWrite(programFolder))
        return programFolder;
    QDir().mkpath(configFolder);
    return configFolder;
}

QString DataFolder()
{
    if (!overrideFolder().isEmpty())
        return overrideFolder();
    static const QString chosen = ChooseDataFolder(
        QCoreApplication::applicationDirPath(), QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
    return chosen;
}

void SetDataFolderOverride(const QString &folder) { overrideFolder() = folder; }

QString DataFile(const QString &name) { return QDir(DataFolder()).filePath(name); }
