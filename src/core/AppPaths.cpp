#include "core/AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace {
QString &overrideFolder()
{
    static QString folder;
    return folder;
}

[[maybe_unused]] bool canWrite(const QString &folder)
{
    if (folder.isEmpty() || !QDir(folder).exists())
        return false;
    // Asking for permission bits lies for root; trying is the honest check.
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".bexo-probe-XXXXXX")));
    return probe.open();
}

QString programFolder() { return QCoreApplication::applicationDirPath(); }

// An installed program's folder (/usr/bin) belongs to the package manager, root or not: files
// shipped there are only read, and nothing is written there.
bool programFolderWritable(const QString &folder)
{
#ifdef BEXO_INSTALLED_LAYOUT
    Q_UNUSED(folder);
    return false;
#else
    return canWrite(folder);
#endif
}
QString userConfigFolder() { return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation); }
} // namespace

QString TDataFilePlace::ReadPath() const
{
    return Seed.isEmpty() || QFileInfo::exists(Path) ? Path : Seed;
}

TDataFilePlace ChooseDataFilePlace(const QString &name, const QString &programFolder, const QString &userFolder)
{
    const QString beside = QDir(programFolder).filePath(name);
    const QFileInfo besideInfo(beside);
    // A file shipped read-only in a writable folder is a copy the user must not lose changes to
    // either: it seeds the user's copy like one in a read-only folder.
    if (programFolderWritable(programFolder) && (!besideInfo.exists() || (besideInfo.isFile() && besideInfo.isWritable())))
        return {beside, QString()};
    QDir().mkpath(userFolder);
    return {QDir(userFolder).filePath(name), besideInfo.isFile() ? beside : QString()};
}

TDataFilePlace DataFilePlace(const QString &name)
{
    if (!overrideFolder().isEmpty())
        return {QDir(overrideFolder()).filePath(name), QString()};
    return ChooseDataFilePlace(name, programFolder(), userConfigFolder());
}

QString ChooseExportFolder(const QString &programFolder, const QString &documentsFolder)
{
    if (programFolderWritable(programFolder))
        return programFolder;
    QDir().mkpath(documentsFolder);
    return documentsFolder;
}

QString ExportFolder()
{
    if (!overrideFolder().isEmpty())
        return overrideFolder();
    return ChooseExportFolder(programFolder(), QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
}

void SetDataFolderOverride(const QString &folder) { overrideFolder() = folder; }
