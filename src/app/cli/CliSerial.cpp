#include "app/cli/Cli.h"
#include "netconfig/PageFields.h"
#include "app/cli/CliLan.h"

#include "core/ProFun.h"
#include "core/Public.h"
#include "core/VisibleText.h"
#include "core/Wait.h"
#include "netconfig/Codecs.h"
#include "netconfig/ModelInfo.h"
#include "netconfig/Q1Page.h"
#include "netconfig/Q2Page.h"
#include "serial/Comm.h"
#include "serial/SerialProtocol.h"
#include "serial/SerialSession.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <numeric>

namespace {

QString serialHelp()
{
    return QStringLiteral(
               "usage: bexo-z0-cli [global options] serial (ports | read PORT [options] | write PORT [options] "
               "NAME=VALUE...)\n"
               "Talks to a module whose configuration pin is grounded, over a serial port. PORT is a name\n"
               "from 'serial ports' (ttyUSB0) or a path (/dev/pts/3). Each exchange opens the port, sends,\n"
               "listens for at most 2000 ms and closes it again.\n"
               "  serial ports                 list the serial ports of this machine\n"
               "  serial read PORT             read the module; prints the Q2 records (the keys of 'read')\n"
               "                               or the Q1/Q3 page fields (the names 'serial write' takes)\n"
               "  serial write PORT NAME=VALUE...\n"
               "                               read the module, change the named fields, write it back;\n"
               "                               exit 0 when the module acknowledged every block (Q2: base\n"
               "                               and port; an answer to the closing frame is not needed)\n"
               "Options:\n"
               "  --model q1|q2|q3   the module's model (default q2)\n"
               "  --baud N           the port's baud rate (default 9600)\n"
               "  --dry-run          (write) print what would change and the frames, send nothing\n"
               "  --json             (read) machine-readable output\n"
               "Lists take an index or the item's English text; check boxes 0 or 1.\n"
               "Q2 fields: those of 'write' that the base and port blocks carry; Q1/Q3 fields:\n") +
           PageFieldsHelp(TQ1Page(), Q1PageFields());
}

// Q2 page fields that live in blocks the serial line does not carry.
const QSet<QString> &networkOnlyFields()
{
    static const QSet<QString> names = {
        "ComSetEnable", "HeartMode", "HeartTime",     "HeartData",       "HeartHex",   "RegType",
        "RegData",      "RegHex",    "RemoveHttpdHead", "HttpdUrl",      "HttpdHeader", "ModbusTcpEnable",
        "ModbusPoll",   "ModbusWaitTime", "ModbusType", "ReportProto",   "ModbusTimeout", "ModbusInterval",
        "ModbusException", "PollMode", "PollTimeout", "PollInterval",    "PollException"};
    return names;
}

// The Q1 page control a field that did not convert names, as the CLI calls it.
QString q1FieldName(const QString &control)
{
    static const QHash<QString, QString> names = {
        {"edt_DeIP", "DestIP"},     {"edt_DePort", "DestPort"},     {"edt_ModuleIP", "ModuleIP"},
        {"edt_ModulePort", "ModulePort"}, {"edt_Gateway", "Gateway"}, {"edt_Mask", "Mask"},
        {"cbb_BaudRate", "Baudrate"}, {"edt_ID", "DeviceID"}};
    return names.value(control, control);
}

int parseModel(const QString &text)
{
    const TModelInfo *m = ModelByName(text);
    if (!m || m->SerialPage == PageNone)
        throw TUsageError{QStringLiteral("--model takes q1, q2 or q3, not '%1'").arg(text)};
    return m->Code;
}

QString modelName(int model) { return ModelInfo(model).Name; }

// Over the serial line a Q2 module carries the Q2 blocks; the others the Q1 field group.
bool carriesQ2Blocks(int model) { return ModelInfo(model).SerialPage == PageQ2; }

// The path TComm opens for a port name.
QString portPath(const QString &name)
{
    if (name.startsWith(u'/') || name.startsWith(QLatin1String("./")) || name.startsWith(QLatin1String("../")))
        return name;
    return QStringLiteral("/dev/") + name;
}

struct TSerialArgs {
    QString Port;
    int Model = ModelQ2;
    QString Baud = QStringLiteral("9600");
    bool DryRun = false;
    bool Json = false;
    QStringList Assignments;
};

TSerialArgs parseArgs(const QStringList &args, bool write, bool json)
{
    TSerialArgs a;
    a.Json = json;
    for (int i = 0; i < args.size(); ++i) {
        const QString &x = args[i];
        const auto value = [&]() -> QString {
            if (i + 1 >= args.size())
                throw TUsageError{QStringLiteral("%1 needs a value").arg(x)};
            return args[++i];
        };
        if (x == QLatin1String("--model"))
            a.Model = parseModel(value());
        else if (x == QLatin1String("--baud")) {
            const QString v = value();
            int n = 0;
            if (!TryStrToInt(v, n) || n <= 0)
                throw TUsageError{QStringLiteral("--baud needs a baud rate in decimal, not '%1'").arg(v)};
            a.Baud = QString::number(n);
        } else if (x == QLatin1String("--json") && !write)
            a.Json = true;
        else if (x == QLatin1String("--dry-run") && write)
            a.DryRun = true;
        else if (x.startsWith(QLatin1String("--")))
            throw TUsageError{QStringLiteral("unknown option %1").arg(x)};
        else if (a.Port.isEmpty())
            a.Port = x;
        else if (write)
            a.Assignments << x;
        else
            throw TUsageError{QStringLiteral("serial read takes one PORT")};
    }
    if (a.Port.isEmpty())
        throw TUsageError{QStringLiteral("serial %1 needs a PORT").arg(write ? "write" : "read")};
    if (write && a.Assignments.isEmpty())
        throw TUsageError{QStringLiteral("serial write needs NAME=VALUE pairs")};
    return a;
}

// One port, its session and the protocol with both pages, wired to the terminal.
struct TCliSerial {
    TCliLogSink Log;
    TComm Comm;
    TSerialSession Session;
    TQ2Page Q2;
    TQ1Page Q1;
    TSerialProtocol Proto;
    bool Opened = false;            // the last session opened its port
    std::function<bool()> Done;     // the session may stop listening early

    TCliSerial(const TCliOptions &opt, const TSerialArgs &a) : Log(opt.Hex), Session(Comm, Log), Proto(Session, Q2, Q1)
    {
        ApplyCm1Properties(Comm);
        Session.PortName = a.Port;
        Session.BaudText = a.Baud;
        Q2.SetLanTab(false); // the serial page is in front
        // Listen as a session does, but not for a port that did not open and not after the answer.
        Session.Wait = [this](int ms) {
            Opened = Session.SerialOpened();
            if (!Opened)
                return;
            WaitUntil(ms, Done);
        };
    }

    // A port that is not there gets its own message; false then.
    static bool PortExists(const QString &port)
    {
        if (QFileInfo::exists(portPath(port)))
            return true;
        Err(QStringLiteral("bexo-z0-cli: there is no serial port %1 ('serial ports' lists them)").arg(port));
        return false;
    }
    bool ReportBusy(const QString &port) const
    {
        // A port this user may not open has had its own red line, with what to do.
        if (!Opened && !Session.OpenDenied())
            Err(QStringLiteral("bexo-z0-cli: %1 could not be opened: another program is using it, or it is not a "
                               "serial port")
                    .arg(port));
        return !Opened;
    }

    // Reads the module; true when its reply (for Q2: the base and port blocks) came.
    bool Read(int model)
    {
        if (carriesQ2Blocks(model))
            Done = [this] { return !Proto.LastExtra.isEmpty(); };
        else
            Done = [this] { return !Proto.LastQ1Reply.isEmpty() || Proto.RefusedQ1Replies > 0; };
        Proto.ComRead(model);
        Done = nullptr;
        const bool got = carriesQ2Blocks(model) ? !Proto.LastRead.isEmpty() : !Proto.LastQ1Reply.isEmpty();
        // A reply with a wrong head or checksum has had its red line: it was no silence.
        if (Opened && !got && Proto.RefusedQ1Replies == 0)
            ReportNoReply(model);
        return got;
    }

    void ReportNoReply(int model) const
    {
        if (Proto.Unrecognised.isEmpty()) {
            Err(QStringLiteral("bexo-z0-cli: no reply from a %1 module on %2 (is its configuration pin grounded, "
                               "and the model and baud rate right?)")
                    .arg(modelName(model), Session.PortName));
            return;
        }
        QStringList lengths;
        for (int n : Proto.Unrecognised)
            lengths << QString::number(n);
        Err(QStringLiteral("bexo-z0-cli: no reply recognised from the %1 module on %2: it sent %3 byte(s) in "
                           "pieces of %4; a reply is recognised only when it arrives without a pause of 50 ms or "
                           "more inside it")
                .arg(modelName(model), Session.PortName)
                .arg(std::accumulate(Proto.Unrecognised.begin(), Proto.Unrecognised.end(), 0))
                .arg(lengths.join(QStringLiteral(", "))));
    }

    TReadResult Q2Records() const
    {
        TReadResult r;
        const auto *read = reinterpret_cast<const uint8_t *>(Proto.LastRead.constData());
        const auto *extra = reinterpret_cast<const uint8_t *>(Proto.LastExtra.constData());
        if (Proto.LastRead.size() == LenBase + LenPort) {
            r.Base = DecodeBaseParam(read);
            r.Port = DecodePortParam(read + LenBase);
        }
        if (Proto.LastExtra.size() == LenComQ2Extra) {
            r.Cloud = DecodeCloudParam(extra);
            r.HeartReg = DecodeHeartRegParam(extra + 30);
        }
        return r;
    }
};

QJsonValue fieldJson(TQ1Page &page, const TPageField<TQ1Page> &f)
{
    using F = TPageField<TQ1Page>;
    switch (f.FieldKind) {
    case F::Text:
    case F::Number: return f.Edit(page).Text;
    case F::Check: return f.Box(page).Checked;
    case F::List:
    case F::Baud: {
        const TComboState &c = f.Combo(page);
        return c.Index < 0 ? QJsonValue() : QJsonValue(c.Text());
    }
    }
    return {};
}

void printQ1Page(TQ1Page &page, bool json)
{
    QJsonObject o;
    for (const auto &f : Q1PageFields())
        o.insert(f.Name, fieldJson(page, f));
    if (json) {
        Out(JsonText(o));
        return;
    }
    for (const auto &f : Q1PageFields()) {
        const QJsonValue v = o.value(f.Name);
        Out(QStringLiteral("%1 = %2").arg(f.Name, v.isBool() ? (v.toBool() ? QStringLiteral("1") : QStringLiteral("0"))
                                                   : v.isNull() ? QStringLiteral("(none)")
                                                                : VisibleText(v.toString())));
    }
}

int portsCommand(const TCliOptions &opt, const QStringList &args)
{
    if (!args.isEmpty())
        throw TUsageError{QStringLiteral("serial ports takes no arguments")};
    const QStringList ports = ListSerialPorts();
    if (opt.Json)
        Out(JsonText(QJsonArray::fromStringList(ports)));
    else
        for (const QString &p : ports)
            Out(p);
    return 0;
}

int readCommand(const TCliOptions &opt, const QStringList &args)
{
    const TSerialArgs a = parseArgs(args, false, opt.Json);
    if (!TCliSerial::PortExists(a.Port))
        return 1;
    TCliSerial s(opt, a);
    const bool got = s.Read(a.Model);
    if (s.ReportBusy(a.Port))
        return 1;
    if (!carriesQ2Blocks(a.Model)) {
        if (!got)
            return 1;
        printQ1Page(s.Q1, a.Json);
        return 0;
    }
    if (!got)
        return 1;
    PrintReadResult(s.Q2Records(), a.Json);
    if (s.Proto.LastExtra.isEmpty()) {
        Err(QStringLiteral("bexo-z0-cli: the module did not send its second reply (cloud, heartbeat and registration)"));
        return 1;
    }
    return 0;
}

int writeCommand(const TCliOptions &opt, const QStringList &args)
{
    const TSerialArgs a = parseArgs(args, true, opt.Json);
    // Names and values are checked on a page of the model before anything is sent.
    for (const QString &x : a.Assignments) {
        if (carriesQ2Blocks(a.Model)) {
            TQ2Page probe;
            ApplyPageField(probe, Q2PageFields(), x);
            const QString name = FindPageField(Q2PageFields(), x.left(x.indexOf(u'=')))->Name;
            if (networkOnlyFields().contains(name))
                throw TUsageError{QStringLiteral("%1 is not carried over the serial line (use 'write' over the LAN)")
                                      .arg(name)};
        } else {
            TQ1Page probe;
            ApplyPageField(probe, Q1PageFields(), x);
        }
    }
    if (!TCliSerial::PortExists(a.Port))
        return 1;
    TCliSerial s(opt, a);
    const bool got = s.Read(a.Model);
    if (s.ReportBusy(a.Port) || !got)
        return 1;

    QList<std::pair<QString, std::pair<QString, QString>>> changes;
    for (const QString &x : a.Assignments) {
        if (carriesQ2Blocks(a.Model))
            changes.append({FindPageField(Q2PageFields(), x.left(x.indexOf(u'=')))->Name,
                            ApplyPageField(s.Q2, Q2PageFields(), x)});
        else
            changes.append({FindPageField(Q1PageFields(), x.left(x.indexOf(u'=')))->Name,
                            ApplyPageField(s.Q1, Q1PageFields(), x)});
    }

    QStringList named;
    for (const auto &c : changes)
        named << c.first;
    const TSerialWritePlan plan = PlanSerialWrite(a.Model, s.Q2, s.Q1, s.Proto.LastRead, named);
    if (plan.Status == TSerialWriteStatus::Invalid) {
        // The page's own check, as the window shows it.
        Err(QStringLiteral("bexo-z0-cli: ") + plan.Message);
        return 1;
    }
    if (plan.Status != TSerialWriteStatus::Ready) {
        s.Log.AddLog(QStringLiteral("Error"), TLogColor::Red);
        const QString field = carriesQ2Blocks(a.Model) ? TQ2Page::FieldLabel(plan.Field) : q1FieldName(plan.Field);
        Err(QStringLiteral("bexo-z0-cli: %1 does not hold a value the module takes; nothing was sent").arg(field));
        return 1;
    }
    if (a.DryRun) {
        for (const auto &c : changes)
            Out(QStringLiteral("%1: %2 -> %3").arg(c.first, VisibleText(c.second.first), VisibleText(c.second.second)));
        for (const QByteArray &f : plan.Frames)
            Out(QStringLiteral("frame (%1 bytes): %2").arg(f.size()).arg(BytesToHexSpaced(f).trimmed()));
        return 0;
    }

    s.Proto.AckCount = 0;
    // Listen for an answer to every frame, the Q2 closing frame's included, but need only those of
    // the frames that carry parameters.
    const int frames = int(plan.Frames.size());
    s.Done = [&] { return s.Proto.AckCount >= frames; };
    s.Proto.ComWrite(a.Model);
    s.Done = nullptr;
    if (s.ReportBusy(a.Port))
        return 1;
    const int acks = s.Proto.AckCount;
    QString line = QStringLiteral("%1 of %2 blocks acknowledged").arg(std::min(acks, plan.AcksNeeded)).arg(plan.AcksNeeded);
    if (frames > plan.AcksNeeded && plan.Acknowledged(acks))
        line += acks >= frames ? QStringLiteral(", and the closing frame") : QStringLiteral("; the closing frame had no answer");
    Out(line);
    return plan.Acknowledged(acks) ? 0 : 1;
}

int serialCommand(const TCliOptions &opt, const QStringList &argsIn)
{
    QStringList args = argsIn;
    if (args.contains(QLatin1String("--help"))) {
        Out(serialHelp());
        return 0;
    }
    if (args.isEmpty())
        throw TUsageError{QStringLiteral("serial needs ports, read or write (serial --help)")};
    const QString sub = args.takeFirst();
    if (sub == QLatin1String("ports"))
        return portsCommand(opt, args);
    if (sub == QLatin1String("read"))
        return readCommand(opt, args);
    if (sub == QLatin1String("write"))
        return writeCommand(opt, args);
    throw TUsageError{QStringLiteral("serial takes ports, read or write, not '%1'").arg(sub)};
}

TCliRegistrar serialReg({QStringLiteral("serial"),
                         QStringLiteral("ports | read PORT [--model q1|q2|q3] [--baud N] [--json] | write PORT "
                                        "[--model q1|q2|q3] [--baud N] [--dry-run] NAME=VALUE..."),
                         QStringLiteral("list the serial ports, or read or write a module over one (serial --help)"),
                         serialCommand});

} // namespace
