#include "app/cli/Cli.h"

#include "core/AppPaths.h"
#include "core/ProFun.h"
#include "core/Public.h"
#include "core/Settings.h"
#include "core/Version.h"
#include "lang/LangList.h"
#include "netconfig/AddressRange.h"
#include "netconfig/PageFields.h"

#include "core/Console.h"
#include "core/VisibleText.h"

#include <QCoreApplication>
#include <cstdio>
#include <unistd.h>

// Whatever a line holds, no control character of it reaches the terminal: only our own line
// breaks, and our own colours, do.
void Out(const QString &text) { WriteLine(stdout, VisibleLines(text)); }

void Err(const QString &text) { WriteLine(stderr, VisibleLines(text)); }

TCliLogSink::TCliLogSink(bool showHex) : FShowHex(showHex), FColour(isatty(STDERR_FILENO)) {}

namespace {
QString paint(const QString &text, TLogColor color, bool colour)
{
    if (!colour)
        return text;
    const char *code = "32";
    switch (color) {
    case TLogColor::Green: code = "32"; break;
    case TLogColor::Red: code = "31"; break;
    case TLogColor::Blue: code = "34"; break;
    case TLogColor::Maroon: code = "33"; break;
    }
    return QStringLiteral("\x1b[%1m%2\x1b[0m").arg(QLatin1String(code), text);
}
} // namespace

void TCliLogSink::AddLog(const QString &text, TLogColor color)
{
    WriteLine(stderr, paint(VisibleLines(text), color, FColour));
}

void TCliLogSink::AddHex(const QString &text, TLogColor color)
{
    if (FShowHex)
        WriteLine(stderr, paint(VisibleLines(text), color, FColour));
}

QList<TCliCommandInfo> &CliCommands()
{
    static QList<TCliCommandInfo> commands;
    return commands;
}

QString UsageLine()
{
    QStringList names;
    for (const auto &c : CliCommands())
        names << c.Name;
    return QStringLiteral("usage: bexo-z0-cli [--lang en|zh] [--interface IP]... [--range ADDRESSES]... [--user NAME] "
                          "[--password PW] [--wait MS] [--repeat N] [--json] [--hex] (--version | --help | %1) ...")
        .arg(names.join(QLatin1String(" | ")));
}

namespace {

void printHelp()
{
    Out(UsageLine());
    Out(QString());
    Out(QStringLiteral("Commands:"));
    for (const auto &c : CliCommands())
        Out(QStringLiteral("  %1 %2\n      %3").arg(c.Name, c.Usage, c.Summary));
    Out(QString());
    Out(QStringLiteral("Global options:"));
    Out(QStringLiteral("  --lang en|zh      language of this run (default: the Language setting)"));
    Out(QStringLiteral("  --interface IP    bind only this address of this machine (repeatable; loopback allowed)"));
    Out(QStringLiteral("  --range ADDRESSES search by address instead of the broadcast (modules behind a router): each "
                       "search goes to every address of ADDRESSES, an address, a range A-B or a network A/N, "
                       "comma separated, repeatable, at most %1 in all, %2 a second; the modules found so are "
                       "marked \"by address\" and every command to them goes to their address")
            .arg(MaxSearchAddresses)
            .arg(SearchByAddressRate));
    Out(QStringLiteral("  --user NAME       user name sent with every command (default %1)").arg(LoginName));
    Out(QStringLiteral("  --password PW     password sent with every command (default %1)").arg(LoginPswd));
    Out(QStringLiteral("  --wait MS         how long to listen for replies (default 1500)"));
    Out(QStringLiteral("  --repeat N        search up to N times, each listening --wait MS, until every module asked "
                       "for has answered (search: until --expect COUNT; default 1)"));
    Out(QStringLiteral("  --json            machine-readable output"));
    Out(QStringLiteral("  --hex             also show the data-stream lines"));
}

int textCommand(const TCliOptions &, const QStringList &args)
{
    if (args.size() != 1)
        throw TUsageError{QStringLiteral("text needs exactly one KEY")};
    Out(GetLangText(args[0]));
    return 0;
}

TCliRegistrar textReg({QStringLiteral("text"), QStringLiteral("KEY"),
                       QStringLiteral("print the text of a language key (or of a text in either language)"),
                       textCommand});

int run(const QStringList &argv)
{
    TCliOptions opt;
    QStringList rest;
    bool version = false, help = false;
    for (int i = 0; i < argv.size(); ++i) {
        const QString &a = argv[i];
        const auto value = [&](const QString &name) -> QString {
            if (i + 1 >= argv.size())
                throw TUsageError{QStringLiteral("%1 needs a value").arg(name)};
            return argv[++i];
        };
        // Global options may stand before or after the command; other options after the command
        // belong to it.
        const auto global = [&]() {
            if (a == QLatin1String("--json")) opt.Json = true;
            else if (a == QLatin1String("--hex")) opt.Hex = true;
            else if (a == QLatin1String("--lang")) opt.Lang = value(a);
            else if (a == QLatin1String("--interface")) opt.Interfaces << value(a);
            else if (a == QLatin1String("--range")) opt.Ranges << value(a);
            else if (a == QLatin1String("--user")) { opt.User = value(a); opt.HaveUser = true; }
            else if (a == QLatin1String("--password")) { opt.Password = value(a); opt.HavePassword = true; }
            else if (a == QLatin1String("--repeat")) {
                bool ok = false;
                opt.Repeat = value(a).toInt(&ok);
                if (!ok || opt.Repeat < 1 || opt.Repeat > 100)
                    throw TUsageError{QStringLiteral("--repeat needs a number of searches from 1 to 100")};
            } else if (a == QLatin1String("--wait")) {
                bool ok = false;
                opt.WaitMs = value(a).toInt(&ok);
                if (!ok || opt.WaitMs < 0)
                    throw TUsageError{QStringLiteral("--wait needs a number of milliseconds")};
            } else
                return false;
            return true;
        };
        if (global())
            continue;
        if (!rest.isEmpty())
            rest << a;
        else if (a == QLatin1String("--version"))
            version = true;
        else if (a == QLatin1String("--help") || a == QLatin1String("-h"))
            help = true;
        else if (a.startsWith(QLatin1String("--")))
            throw TUsageError{QStringLiteral("unknown option %1").arg(a)};
        else
            rest << a;
    }
    if (!opt.Lang.isEmpty() && opt.Lang != QLatin1String("en") && opt.Lang != QLatin1String("zh"))
        throw TUsageError{QStringLiteral("--lang must be en or zh")};

    // Start as the GUI does: the language table first, then the settings.
    InitLanguage();
    if (LangList && !LangList->WriteError.isEmpty())
        Err(QStringLiteral("bexo-z0-cli: warning: ") + LangList->WriteError + QStringLiteral("; the built-in texts are used"));
    const TAppSettings settings = ReadSettings(CfgIniPlace(), TLangList::IsChineseSystem());
    LangList->IsChinese = settings.IsChinese;
    if (!opt.Lang.isEmpty())
        LangList->IsChinese = opt.Lang == QLatin1String("zh");
    if (!opt.Ranges.isEmpty()) {
        TRangeError e;
        if (!ParseAddressRanges(opt.Ranges, opt.RangeAddresses, e))
            throw TUsageError{QStringLiteral("--range: ") + RangeErrorText(e)};
    }
    if (opt.HaveUser)
        LoginName = opt.User;
    if (opt.HavePassword)
        LoginPswd = opt.Password;

    if (help) {
        printHelp();
        return 0;
    }
    if (version) {
        if (!rest.isEmpty())
            throw TUsageError{QStringLiteral("--version takes no command")};
        Out(GetLangText(QStringLiteral("lang_Main_Title")) + QStringLiteral(" V") + GetAppVersion());
        return 0;
    }
    if (rest.isEmpty())
        throw TUsageError{QStringLiteral("no command given")};
    const QString name = rest.takeFirst();
    for (const auto &c : CliCommands())
        if (c.Name == name)
            return c.Run(opt, rest);
    throw TUsageError{QStringLiteral("unknown command %1").arg(name)};
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("bexo-z0"));
    int rc = 0;
    try {
        rc = run(app.arguments().mid(1));
    } catch (const TUsageError &e) {
        Err(QStringLiteral("bexo-z0-cli: %1").arg(e.Message));
        Err(UsageLine());
        rc = 2;
    } catch (const EPageFieldError &e) {
        // A NAME=VALUE argument is part of the command line.
        Err(QStringLiteral("bexo-z0-cli: %1").arg(e.Message()));
        Err(UsageLine());
        rc = 2;
    } catch (const std::exception &e) {
        Err(QStringLiteral("bexo-z0-cli: %1").arg(QString::fromLocal8Bit(e.what())));
        rc = 1;
    }
    FreeSettings();
    FreeLanguage();
    return rc;
}
