#include "netconfig/PageFields.h"
#include "app/cli/CliLan.h"

#include "core/ProFun.h"
#include "core/Public.h"
#include "lang/LangList.h"
#include "netconfig/Q2Write.h"

#include <QThread>

namespace {

QString writeHelp()
{
    return QStringLiteral("usage: bexo-z0-cli [global options] write MAC [--dry-run] NAME=VALUE...\n"
                          "Reads the module, applies the values to its page, validates, writes every block and\n"
                          "restarts it. Exit 0 when every frame sent was acknowledged.\n"
                          "  --dry-run   print what would change and the frames, send nothing\n"
                          "Lists take an index or the item's English text; check boxes 0 or 1.\n"
                          "Fields:\n") +
           PageFieldsHelp(TQ2Page(), Q2PageFields());
}

int writeCommand(const TCliOptions &opt, const QStringList &argsIn)
{
    QStringList args = argsIn;
    if (args.contains(QLatin1String("--help"))) {
        Out(writeHelp());
        return 0;
    }
    const bool dryRun = args.removeAll(QStringLiteral("--dry-run")) > 0;
    if (args.isEmpty())
        throw TUsageError{QStringLiteral("write needs a MAC and NAME=VALUE pairs")};
    const QString mac = NormalizeMacArg(args.takeFirst());
    // Names are checked before anything is sent; values need the page the module fills.
    for (const QString &a : args) {
        const qsizetype eq = a.indexOf(u'=');
        if (eq <= 0)
            throw TUsageError{QStringLiteral("expected NAME=VALUE, got '%1'").arg(a)};
        if (!FindPageField(Q2PageFields(), a.left(eq)))
        {
            TQ2Page probe;
            ApplyPageField(probe, Q2PageFields(), a); // raises with the list of names
        }
    }

    TCliLan lan(opt);
    TQ2Page page;
    lan.Page = &page;
    const TDeviceRow *row = lan.SearchFor(mac);
    if (!row)
        return 1;
    if (row->Model != ModelQ2) {
        Err(QStringLiteral("bexo-z0-cli: only Q2 modules are written over the network; use 'serial write'"));
        return 1;
    }
    const TDeviceRow target = *row;
    lan.ReadRow(target);
    if (!lan.Read.Base) {
        if (!lan.Read.Statuses.contains(StsPswdErr))
            lan.Log.AddLog(GetLangText(QStringLiteral("lang_Hint_OverTime")), TLogColor::Red);
        return 1;
    }

    QList<std::pair<QString, std::pair<QString, QString>>> changes;
    for (const QString &a : args) {
        const auto field = FindPageField(Q2PageFields(), a.left(a.indexOf(u'=')));
        changes.append({field->Name, ApplyPageField(page, Q2PageFields(), a)});
    }

    const TQ2WritePlan plan = PlanQ2Write(page, lan.Svr, &target);
    if (plan.Status == TQ2WriteStatus::Invalid) {
        Err(QStringLiteral("bexo-z0-cli: ") + plan.Message);
        return 1;
    }
    if (plan.Status == TQ2WriteStatus::NotConverted) {
        lan.Log.AddLog(QStringLiteral("Error: %1").arg(plan.Message), TLogColor::Red);
        return 1;
    }

    if (dryRun) {
        for (const auto &c : changes)
            Out(QStringLiteral("%1: %2 -> %3").arg(c.first, c.second.first, c.second.second));
        for (const TPlannedFrame &f : plan.Frames) {
            const QByteArray frame = BuildCmdFrame(f.Cmd, f.Mac, LoginName, LoginPswd,
                                                   reinterpret_cast<const uint8_t *>(f.Payload.constData()),
                                                   int(f.Payload.size()));
            Out(QStringLiteral("frame 0x%1 (%2 bytes): %3")
                    .arg(f.Cmd, 2, 16, QLatin1Char('0'))
                    .arg(frame.size())
                    .arg(BytesToHexSpaced(frame).trimmed()));
        }
        return 0;
    }

    const int before = int(lan.Statuses.size());
    WriteQ2Network(page, lan.Svr, &target, lan.Log, [](int ms) { QThread::msleep(ulong(ms)); });
    const int expected = int(plan.Frames.size());
    int answers = 0, acks = 0;
    lan.Listen(opt.WaitMs, [&] {
        answers = acks = 0;
        for (int i = before; i < lan.Statuses.size(); ++i) {
            const int s = lan.Statuses[i];
            if (IsModuleAnswer(s))
                ++answers;
            if (s == StsAck)
                ++acks;
        }
        return answers >= expected;
    });
    // Each answer is already in the log, once; the result is the count.
    Out(QStringLiteral("%1 of %2 frames acknowledged").arg(acks).arg(expected));
    return acks == expected ? 0 : 1;
}

TCliRegistrar writeReg({QStringLiteral("write"), QStringLiteral("MAC [--dry-run] NAME=VALUE..."),
                        QStringLiteral("read a Q2 module, change the named fields and write it back (write --help "
                                       "lists the fields)"),
                        writeCommand});

} // namespace
