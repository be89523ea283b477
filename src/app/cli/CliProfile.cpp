#include "app/cli/CliBatch.h"

#include "core/Public.h"
#include "core/VisibleText.h"
#include "lang/LangList.h"
#include "netconfig/PageFields.h"
#include "netconfig/Q2Write.h"

#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QString profileHelp()
{
    return QStringLiteral(
        "usage: bexo-z0-cli [global options] profile save MAC FILE [--with-identity] [--with-credentials]\n"
        "                                            [--comment TEXT]\n"
        "       bexo-z0-cli [global options] profile apply FILE (MAC... | --all) [--dry-run] [--verify]\n"
        "                                            [--verify-timeout MS] [--parallel N] [NAME=VALUE...]\n"
        "save: reads a Q2 module and writes the settings its write carries as a JSON profile. The module's\n"
        "  identity (StaticIP, ModName) and login (UserName, Password) are left out unless asked for.\n"
        "apply: checks the whole file first (a malformed or foreign file sends nothing), then reads each\n"
        "  module (--all: every Q2 module that answers the search), applies the profile and the NAME=VALUE\n"
        "  values after it, validates and writes, up to --parallel modules at once. Fields a module's write does\n"
        "  not carry (older firmware, blocks it lacks, settings that leave them out) are named as skipped.\n"
        "  Ends with a table (or --json) of module, result and answer; exit 0 when every module succeeded.\n"
        "  --dry-run, --verify, --verify-timeout MS and --parallel N work as for write.\n"
        "Profile file (format version 1):\n"
        "  {\"format\": \"bexo-z0-profile\", \"formatVersion\": 1, \"model\": \"Q2\", \"firmware\": 4017,\n"
        "   \"savedFrom\": MAC, \"savedAt\": TIME, \"comment\": TEXT,\n"
        "   \"fields\": {\"WorkMode\": \"TCP Server\", \"LocalPort\": 20108, \"ClearBuffer\": false, ...}}\n"
        "  Field names as for write; lists take the item's English text, numbers and baud rates integers,\n"
        "  check boxes true/false. Nothing else is allowed; the file may hold at most 65536 bytes.");
}

QString hint(const QString &field)
{
    if (IdentityFields().contains(field))
        return QStringLiteral("; --with-identity keeps it");
    if (CredentialFields().contains(field))
        return QStringLiteral("; --with-credentials keeps it");
    return {};
}

int saveCommand(const TCliOptions &opt, const QStringList &args)
{
    TProfileSaveOptions so;
    QString comment;
    QStringList positional;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (a == QLatin1String("--with-identity"))
            so.Identity = true;
        else if (a == QLatin1String("--with-credentials"))
            so.Credentials = true;
        else if (a == QLatin1String("--comment")) {
            if (i + 1 >= args.size())
                throw TUsageError{QStringLiteral("--comment needs a text")};
            comment = args[++i];
        }
        else if (a.startsWith(QLatin1String("--")))
            throw TUsageError{QStringLiteral("profile save does not take %1").arg(a)};
        else
            positional << a;
    }
    if (positional.size() != 2)
        throw TUsageError{QStringLiteral("profile save needs a MAC and a FILE")};
    if (comment.size() > ProfileMaxText)
        throw TUsageError{QStringLiteral("--comment takes at most %1 characters").arg(ProfileMaxText)};
    const QString mac = NormalizeMacArg(positional[0]), path = positional[1];

    TCliLan lan(opt);
    const TDeviceRow *found = lan.SearchFor(mac);
    if (!found)
        return 1;
    const TDeviceRow row = *found;
    if (!ModelInfo(row.Model).LanWrite) {
        Err(QStringLiteral("bexo-z0-cli: profiles are saved from Q2 modules"));
        return 1;
    }
    TQ2Page page;
    lan.Session.Page = &page;
    lan.ReadRow(row);
    lan.Session.Page = nullptr;
    if (!lan.Read.Base) {
        if (!lan.Read.Statuses.contains(StsPswdErr))
            lan.Log.AddLog(GetLangText(QStringLiteral("lang_Hint_OverTime")), TLogColor::Red);
        return 1;
    }
    QList<TSkippedField> left;
    TProfile p = ProfileFromPage(page, RowVersion(row), so, &left);
    p.SavedFrom = row.Mac;
    p.SavedAt = QDateTime::currentDateTime().toString(Qt::ISODate);
    p.Comment = comment;
    if (p.Fields.isEmpty()) {
        Err(QStringLiteral("bexo-z0-cli: the module holds no field a profile can keep"));
        return 1;
    }
    QString error;
    if (!WriteProfileFile(path, p, error)) {
        Err(QStringLiteral("bexo-z0-cli: ") + error);
        return 1;
    }
    const QString full = QFileInfo(path).absoluteFilePath();
    if (opt.Json) {
        QJsonArray leftOut;
        for (const TSkippedField &s : left)
            leftOut.append(QJsonObject{{QStringLiteral("field"), s.Name}, {QStringLiteral("reason"), s.Reason}});
        const QJsonObject o{{QStringLiteral("file"), full},
                            {QStringLiteral("mac"), row.Mac},
                            {QStringLiteral("firmware"), p.Firmware},
                            {QStringLiteral("fields"), QJsonArray::fromStringList(p.FieldNames())},
                            {QStringLiteral("leftOut"), leftOut}};
        Out(JsonText(o));
        return 0;
    }
    Out(QStringLiteral("saved %1 fields of %2 to %3").arg(p.Fields.size()).arg(row.Mac, full));
    for (const TSkippedField &s : left)
        Out(QStringLiteral("  left out: %1 (%2%3)").arg(s.Name, s.Reason, hint(s.Name)));
    return 0;
}

int applyCommand(const TCliOptions &opt, const QStringList &argsIn)
{
    QStringList args = argsIn;
    if (args.isEmpty() || args.first().startsWith(QLatin1String("--")))
        throw TUsageError{QStringLiteral("profile apply needs a FILE, then MACs or --all")};
    const QString path = args.takeFirst();
    TQ2RunOptions o;
    TakeWriteOptions(args, o);
    const TTargets t = TakeTargets(args, QStringLiteral("profile apply"));
    QStringList names = TakeAssignments(args, o);

    // The whole file is checked before anything is sent.
    TProfile profile;
    QString error;
    if (!ReadProfileFile(path, profile, error)) {
        Err(QStringLiteral("bexo-z0-cli: profile %1 refused: %2; nothing was sent").arg(path, error));
        return 2;
    }
    names += profile.FieldNames();
    o.Profile = &profile;
    return RunQ2WriteCommand(opt, t, names, o);
}

int profileCommand(const TCliOptions &opt, const QStringList &argsIn)
{
    QStringList args = argsIn;
    if (args.contains(QLatin1String("--help"))) {
        Out(profileHelp());
        return 0;
    }
    const QString sub = args.isEmpty() ? QString() : args.takeFirst();
    if (sub == QLatin1String("save"))
        return saveCommand(opt, args);
    if (sub == QLatin1String("apply"))
        return applyCommand(opt, args);
    throw TUsageError{QStringLiteral("profile takes save or apply (profile --help)")};
}

TCliRegistrar profileReg({QStringLiteral("profile"),
                          QStringLiteral("save MAC FILE [--with-identity] [--with-credentials] [--comment TEXT] | "
                                         "apply FILE (MAC... | --all) [--dry-run] [--verify] [--verify-timeout MS] [--parallel N] "
                                         "[NAME=VALUE...]"),
                          QStringLiteral("save a Q2 module's settings as a JSON profile, or apply one to modules "
                                         "(profile --help)"),
                          profileCommand});

} // namespace
