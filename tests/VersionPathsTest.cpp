#include "TestUtil.h"
#include "core/AppPaths.h"
#include "core/Version.h"

#include <QDir>
#include <QTemporaryDir>

TEST(Version, fourPartsFromTheProjectVersion) { EXPECT_EQ(GetAppVersion(), QStringLiteral("2.2.6.2")); }

TEST(DataFolder, programFolderWhenWritableElseConfigFolder)
{
    QTemporaryDir dir;
    const QString config = dir.filePath(QStringLiteral("config/bexo-z0"));
    EXPECT_EQ(ChooseDataFolder(dir.path(), config), dir.path());
    // A program folder that cannot be written (here: one that does not exist).
    EXPECT_EQ(ChooseDataFolder(dir.filePath(QStringLiteral("missing")), config), config);
    EXPECT_TRUE(QDir(config).exists());
}
