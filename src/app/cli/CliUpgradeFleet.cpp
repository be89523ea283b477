// bexo-z0-cli upgrade FILE.bin (MAC... | --all): the firmware of several modules at once, their
// addresses and the local address taken from the search; live progress, then one row per module.

#include "app/cli/CliUpgradeFleet.h"

#include "app/cli/CliBatch.h"
#include "core/Console.h"
#include "core/ProFun.h"
#include "core/Public.h"
#include "core/Wait.h"
#include "lang/LangList.h"
#include "upgrade/UpgradeFleet.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

const QString KeyProgress = QStringLiteral("lang_Hint_UpProgress");

int numberOption(const QString &name, const QString &text, int min, int max, const QString &what)
{
    int v = 0;
    if (!TryStrToInt(text, v) || v < min || v > max)
        throw TUsageError{QStringLiteral("%1 needs %2 from %3 to %4").arg(name, what).arg(min).arg(max)};
    return v;
}

struct TFleetArgs {
    QString File;
    TTargets Targets;
    TUpgradeTimes Times;
    TUpFleetOptions Options;
};

TFleetArgs parseArgs(const QStringList &argsIn)
{
    TFleetArgs out;
    out.Options.BackTimeoutMs = 60000;
    QStringList rest;
    for (int i = 0; i < argsIn.size(); ++i) {
        const QString &a = argsIn[i];
        const auto value = [&]() -> QString {
            if (i + 1 >= argsIn.size())
                throw TUsageError{QStringLiteral("%1 needs a value").arg(a)};
            return argsIn[++i];
        };
        const QString ms = QStringLiteral("a number of milliseconds");
        if (a == QLatin1String("--parallel"))
            out.Options.Parallel = numberOption(a, value(), 1, 256, QStringLiteral("a number of modules"));
        else if (a == QLatin1String("--canary")) out.Options.Canary = true;
        else if (a == QLatin1String("--reset-after")) out.Options.ResetAfter = true;
        else if (a == QLatin1String("--block-timeout")) out.Times.BlockMs = numberOption(a, value(), 1, 600000, ms);
        else if (a == QLatin1String("--search-timeout")) out.Times.SearchMs = numberOption(a, value(), 1, 600000, ms);
        else if (a == QLatin1String("--back-timeout")) out.Options.BackTimeoutMs = numberOption(a, value(), 1, 3600000, ms);
        else if (a == QLatin1String("--all")) rest << a;
        else if (a.startsWith(QLatin1String("--")))
            throw TUsageError{QStringLiteral("upgrade: unknown option %1").arg(a)};
        else if (out.File.isEmpty()) out.File = a;
        else rest << a;
    }
    if (out.File.isEmpty())
        throw TUsageError{QStringLiteral("upgrade needs FILE.bin, then MACs or --all")};
    out.Targets = TakeTargets(rest, QStringLiteral("upgrade"));
    return out;
}

// The terminal's width, or 0 when stdout is no terminal.
int terminalWidth()
{
    winsize w{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &w) == 0 && w.ws_col > 0)
        return w.ws_col;
    return 80;
}

void rawOut(const QByteArray &bytes)
{
    fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    fflush(stdout);
}

// The modules' progress: on a terminal one line per module, redrawn in place; otherwise a line
// per change of status (progress every ten per cent).
class TFleetView {
public:
    explicit TFleetView(bool json) : FLive(!json && isatty(STDOUT_FILENO)), FQuiet(json) {}

    // The fleet's list; it fills when the fleet starts.
    void SetModules(const std::vector<TUpFleetModule> *modules)
    {
        FModules = modules;
        FShownTens.clear();
        FShownStatus.clear();
    }

    void Changed(int i)
    {
        if (FQuiet || !FModules)
            return;
        FShownTens.resize(FModules->size(), -1);
        FShownStatus.resize(FModules->size());
        if (FLive) {
            Redraw();
            return;
        }
        const TUpFleetModule &m = (*FModules)[size_t(i)];
        const QString text = m.StatusText();
        if (m.StatusKey == KeyProgress) {
            const int tens = m.Percent / 10;
            if (tens <= FShownTens[size_t(i)] || m.Percent < 10)
                return;
            FShownTens[size_t(i)] = tens;
        } else if (text == FShownStatus[size_t(i)]) {
            return;
        }
        FShownStatus[size_t(i)] = text;
        Out(QStringLiteral("%1  %2").arg(SpacedMac(RemoveSpaces(m.Target.MAC).toUpper()), text));
    }

    void Redraw()
    {
        if (!FLive || !FModules)
            return;
        const int width = terminalWidth();
        QByteArray bytes;
        if (FDrawn > 0)
            bytes += "\x1b[" + QByteArray::number(FDrawn) + "A";
        for (const TUpFleetModule &m : *FModules) {
            const int filled = m.Percent * 12 / 100;
            QString line = QStringLiteral("%1  %2  [%3]%4%  %5")
                               .arg(SpacedMac(RemoveSpaces(m.Target.MAC).toUpper()))
                               .arg(m.Target.IP, -15)
                               .arg(QString(filled, u'#') + QString(12 - filled, u'.'))
                               .arg(m.Percent, 4)
                               .arg(m.StatusText().trimmed());
            // A line that wraps would throw the count of lines to go back off.
            if (line.size() >= width)
                line = line.left(std::max(1, width - 1));
            bytes += "\r\x1b[2K" + line.toUtf8() + "\n";
        }
        FDrawn = int(FModules->size());
        rawOut(bytes);
    }

    // Before a log line: the block goes, to come back below it.
    void Hide()
    {
        if (!FLive || FDrawn == 0)
            return;
        rawOut("\x1b[" + QByteArray::number(FDrawn) + "A\r\x1b[J");
        FDrawn = 0;
    }
    void Done() { FDrawn = 0; }

private:
    bool FLive;
    bool FQuiet;
    int FDrawn = 0;
    const std::vector<TUpFleetModule> *FModules = nullptr;
    std::vector<int> FShownTens;
    std::vector<QString> FShownStatus;
};

// Log lines above the live block.
class TViewLog : public ILogSink {
public:
    TViewLog(ILogSink &inner, TFleetView &view, bool showHex) : Inner(inner), View(view), ShowHex(showHex) {}
    void AddLog(const QString &text, TLogColor color) override
    {
        View.Hide();
        Inner.AddLog(text, color);
        View.Redraw();
    }
    void AddHex(const QString &text, TLogColor color) override
    {
        if (!ShowHex)
            return;
        View.Hide();
        Inner.AddHex(text, color);
        View.Redraw();
    }

private:
    ILogSink &Inner;
    TFleetView &View;
    bool ShowHex;
};

QString blocksText(const TUpFleetModule &m)
{
    return m.TotalBlocks > 0 ? QStringLiteral("%1/%2").arg(m.Blocks).arg(m.TotalBlocks) : QStringLiteral("-");
}

void printRows(const QList<TUpFleetModule> &rows, bool json)
{
    const auto dash = [](const QString &s) { return s.isEmpty() ? QStringLiteral("-") : s; };
    if (json) {
        QJsonArray out;
        for (const TUpFleetModule &m : rows) {
            QJsonObject o{{QStringLiteral("mac"), SpacedMac(RemoveSpaces(m.Target.MAC).toUpper())},
                          {QStringLiteral("ip"), m.Target.IP},
                          {QStringLiteral("result"), UpFleetResultName(m.Result)},
                          {QStringLiteral("blocks"), m.Blocks},
                          {QStringLiteral("totalBlocks"), m.TotalBlocks},
                          {QStringLiteral("seconds"), qRound(m.Seconds * 1000) / 1000.0},
                          {QStringLiteral("firmwareBefore"), m.Target.Version},
                          {QStringLiteral("firmwareAfter"), m.VersionAfter},
                          {QStringLiteral("status"), m.StatusText().trimmed()},
                          {QStringLiteral("reason"), m.Reason}};
            if (!m.ResetAnswer.isEmpty())
                o.insert(QStringLiteral("reset"), m.ResetAnswer);
            out.append(o);
        }
        Out(QString::fromUtf8(QJsonDocument(out).toJson(QJsonDocument::Indented)).trimmed());
        return;
    }
    const auto line = [](const QStringList &c) {
        Out(QStringLiteral("%1  %2  %3  %4  %5  %6  %7")
                .arg(c[0], -17)
                .arg(c[1], -15)
                .arg(c[2], -9)
                .arg(c[3], -11)
                .arg(c[4], -7)
                .arg(c[5], -6)
                .arg(c[6])
                .trimmed());
    };
    line({QStringLiteral("MODULE"), QStringLiteral("IP"), QStringLiteral("RESULT"), QStringLiteral("BLOCKS"),
          QStringLiteral("SECONDS"), QStringLiteral("BEFORE"), QStringLiteral("AFTER")});
    for (const TUpFleetModule &m : rows) {
        line({SpacedMac(RemoveSpaces(m.Target.MAC).toUpper()), dash(m.Target.IP), UpFleetResultName(m.Result),
              blocksText(m), m.Seconds > 0 ? QString::number(m.Seconds, 'f', 2) : QStringLiteral("-"),
              dash(m.Target.Version), dash(m.VersionAfter)});
        if (!m.Reason.isEmpty())
            Out(QStringLiteral("  reason: ") + m.Reason);
        if (!m.ResetAnswer.isEmpty())
            Out(QStringLiteral("  reset: ") + m.ResetAnswer.trimmed());
    }
}

// One fleet on one local address, with the searches and resets it asks for done here, between
// the event loop's turns, so that they never run inside the fleet's own handlers.
QList<TUpFleetModule> runFleet(TCliLan &lan, const TFleetArgs &args, const QList<TUpFleetTarget> &targets,
                               const QString &localIP, bool canary, TFleetView &view, TViewLog &log)
{
    TUpgradeFleet fleet;
    fleet.Times = args.Times;
    fleet.Options = args.Options;
    fleet.Options.Canary = canary;
    // Our own wait for the reset's answer ends first and says what came.
    fleet.Options.ResetWaitMs = lan.Opt.WaitMs + 2000;
    fleet.Log = &log;
    fleet.LogTraffic = lan.Opt.Hex;
    QEventLoop loop;
    bool searchWanted = false;
    int resetWanted = -1;
    fleet.OnModuleChanged = [&](int i) { view.Changed(i); };
    fleet.OnSearch = [&] {
        searchWanted = true;
        loop.quit();
    };
    fleet.OnReset = [&](int i) {
        resetWanted = i;
        loop.quit();
    };
    fleet.OnFinished = [&] { loop.quit(); };
    view.SetModules(&fleet.Modules());

    QString reason;
    if (!fleet.Start(targets, localIP, args.File, reason)) {
        log.AddLog(reason, TLogColor::Red);
        // The reason and what to do, in the language of the run, as the window says it.
        if (!lan.Opt.Json)
            Out(UpgradeFailureText(fleet.Failure));
        QList<TUpFleetModule> failed;
        for (const TUpFleetTarget &t : targets) {
            TUpFleetModule m;
            m.Target = t;
            m.Result = TUpFleetResult::Failed;
            m.Reason = reason;
            m.StatusKey = QStringLiteral("lang_Hint_Upfailed");
            failed << m;
        }
        return failed;
    }
    view.Redraw();
    lan.QuietSearch = true;
    lan.AnswerIsResult = true;
    while (fleet.Running()) {
        if (searchWanted) {
            searchWanted = false;
            lan.Search();
            for (const TDeviceRow &r : lan.Devices.Rows)
                fleet.ModuleSeen(r.Mac, r.Version);
            continue;
        }
        if (resetWanted >= 0) {
            const int i = resetWanted;
            resetWanted = -1;
            const TDeviceRow *row = lan.FindRow(fleet.Modules()[size_t(i)].Target.MAC);
            const qsizetype before = lan.Answers.size();
            if (!row || !lan.Session.Reset(*row)) {
                fleet.ResetAnswered(i, false, QStringLiteral("factory settings could not be sent"));
                continue;
            }
            WaitUntil(lan.Opt.WaitMs, [&] { return lan.Answers.size() > before || !fleet.Running(); });
            lan.Svr.FlushUnknownSummary(); // what was held back of a flood is told first
            if (lan.Answers.size() > before) {
                const auto &[code, text] = lan.Answers[before];
                fleet.ResetAnswered(i, code == StsAck, text.trimmed());
            } else {
                fleet.ResetAnswered(i, false, GetLangText(QStringLiteral("lang_Hint_OverTime")).trimmed());
            }
            continue;
        }
        loop.exec();
    }
    view.Redraw();
    view.Done();
    return QList<TUpFleetModule>(fleet.Modules().begin(), fleet.Modules().end());
}

} // namespace

int FleetUpgradeCommand(const TCliOptions &opt, const QStringList &argsIn)
{
    const TFleetArgs args = parseArgs(argsIn);
    // A file that cannot be an image is refused before anything is sent.
    if (const QString problem = UpImageFileProblem(args.File); !problem.isEmpty()) {
        Err(QStringLiteral("bexo-z0-cli: ") + problem);
        return 2;
    }
    TCliLan lan(opt);
    const QList<TTarget> found =
        FindTargets(lan, args.Targets, [](int model) { return model == ModelQ2 || model == ModelQ3; });
    if (found.isEmpty())
        return 1;

    // The modules in the order given, grouped by the local address they answered on: each group
    // is one fleet on that address.
    QStringList locals;
    QList<QList<int>> groups;
    QList<TUpFleetModule> results(found.size());
    for (int k = 0; k < found.size(); ++k) {
        const TTarget &t = found[k];
        TUpFleetModule &r = results[k];
        r.Target.MAC = t.Mac;
        if (!t.Row) {
            r.Result = TUpFleetResult::NotFound;
            r.Reason = QStringLiteral("did not answer the search");
            continue;
        }
        r.Target = {t.Row->IP, t.Row->MacDigits(), t.Row->Version};
        const QString local = lan.Svr.BindingIP(t.Row->BindingIndex);
        qsizetype g = locals.indexOf(local);
        if (g < 0) {
            locals << local;
            groups << QList<int>();
            g = locals.size() - 1;
        }
        groups[g] << k;
    }

    TFleetView view(opt.Json);
    TViewLog log(lan.Log, view, opt.Hex);
    // The searches and resets while modules are upgraded write their lines above the live block.
    lan.Session.SetLog(log);
    struct TLogBack {
        TCliLan &Lan;
        ~TLogBack() { Lan.Session.SetLog(Lan.Log); }
    } logBack{lan};
    bool canaryFailed = false;
    for (int g = 0; g < groups.size(); ++g) {
        QList<TUpFleetTarget> targets;
        for (int k : groups[g])
            targets << results[k].Target;
        if (canaryFailed) {
            for (int k : groups[g]) {
                results[k].Result = TUpFleetResult::Skipped;
                results[k].Reason = QStringLiteral("not started: the first module did not succeed");
            }
            continue;
        }
        const bool canary = args.Options.Canary && g == 0;
        const QList<TUpFleetModule> ran = runFleet(lan, args, targets, locals[g], canary, view, log);
        for (int n = 0; n < groups[g].size(); ++n)
            results[groups[g][n]] = ran[n];
        if (canary && !ran.isEmpty() && ran.first().Result != TUpFleetResult::Ok)
            canaryFailed = true;
    }
    printRows(results, opt.Json);
    for (const TUpFleetModule &m : results)
        if (m.Result != TUpFleetResult::Ok)
            return 1;
    return 0;
}

QString FleetUpgradeHelp()
{
    return QStringLiteral(
        "usage: bexo-z0-cli [global options] upgrade FILE.bin (MAC... | --all) [--parallel N] [--canary]\n"
        "                   [--reset-after] [--block-timeout MS] [--search-timeout MS] [--back-timeout MS]\n"
        "Replaces the firmware of several modules at once. A search finds them (--all: every Q2 and Q3\n"
        "module that answers); each is upgraded from the local address it answered on, with its own\n"
        "trigger, BOOTP answer, identifier check, blocks, retransmissions and time-outs, at most N at once\n"
        "(--parallel, default 8). After its success a module is searched for again and its firmware\n"
        "shown (at most --back-timeout MS, default 60000); --reset-after then restores its factory\n"
        "settings. --canary upgrades the first module alone and the rest only once it is back. On a\n"
        "terminal one line per module shows its progress. Then a table (--json: an array) of module, IP,\n"
        "result (ok, mismatch, time-out, failed, not back, not found, skipped), blocks, seconds and\n"
        "firmware before and after. Exits 0 only when every module succeeded.");
}
