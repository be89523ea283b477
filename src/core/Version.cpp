#include "core/Version.h"

#include "VersionInfo.h"

QString GetAppVersion()
{
    const unsigned parts[4] = {BEXO_VERSION_MAJOR, BEXO_VERSION_MINOR, BEXO_VERSION_PATCH, BEXO_VERSION_TWEAK};
    QStringList out;
    for (unsigned p : parts)
        out << QString::number(p & 0xFFFFu);
    return out.join(u'.');
}
