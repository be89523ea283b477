#pragma once
#include <QString>
#include <QStringList>

// The program's version, major.minor.release.build, as compiled in from the project version.
QString GetAppVersion();
