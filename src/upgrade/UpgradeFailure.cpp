#include "upgrade/UpgradeFailure.h"

#include "lang/LangList.h"

namespace {
QString text(const char *key) { return GetLangText(QLatin1String(key)); }
} // namespace

TUpgradeFailure UpFailure(TUpFailureKind kind, const QString &path, const QString &detail)
{
    TUpgradeFailure f;
    f.Kind = kind;
    f.Path = path;
    f.Detail = detail;
    return f;
}

TUpgradeFailure UpPortHeld(const QString &address, uint16_t port, const QString &server, const QString &detail)
{
    TUpgradeFailure f = UpFailure(TUpFailureKind::PortHeld, {}, detail);
    f.Address = address;
    f.Port = port;
    f.Server = server;
    return f;
}

QString UpgradeFailureText(const TUpgradeFailure &f)
{
    const QString port = QString::number(f.Port);
    switch (f.Kind) {
    case TUpFailureKind::None: return {};
    case TUpFailureKind::PortHeld:
        if (f.Server.isEmpty())
            return text("lang_Hint_UpPortBusy").replace(QStringLiteral("%1"), port).replace(QStringLiteral("%2"), f.Address);
        return text("lang_Hint_UpPortHeld")
            .replace(QStringLiteral("%1"), port)
            .replace(QStringLiteral("%2"), f.Address)
            .replace(QStringLiteral("%3"), f.Server);
    case TUpFailureKind::NoHelper: return text("lang_Hint_UpNoHelper").replace(QStringLiteral("%1"), f.Path);
    case TUpFailureKind::HelperDenied:
        // Without a group of its own the package's is meant.
        return text("lang_Hint_UpHelperDenied")
            .replace(QStringLiteral("%1"), f.Path)
            .replace(QStringLiteral("%2"), f.Group.isEmpty() ? QStringLiteral("bexo-z0") : f.Group);
    case TUpFailureKind::HelperNoCap: return text("lang_Hint_UpHelperNoCap").replace(QStringLiteral("%1"), f.Path);
    case TUpFailureKind::FileUnreadable:
        return text("lang_Hint_UpFileUnreadable").replace(QStringLiteral("%1"), f.Path).replace(QStringLiteral("%2"), f.Detail);
    case TUpFailureKind::FileTooShort: return text("lang_Hint_UpFileTooShort").replace(QStringLiteral("%1"), f.Path);
    case TUpFailureKind::Other: return text("lang_Hint_UpOther").replace(QStringLiteral("%1"), f.Detail);
    }
    return {};
}
