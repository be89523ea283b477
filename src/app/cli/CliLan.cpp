#include "app/cli/CliLan.h"

#include "core/ProFun.h"
#include "core/Public.h"
#include "core/Wait.h"
#include "core/VisibleText.h"
#include "lang/LangList.h"
#include "netconfig/Fleet.h"

#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <limits>

QString NormalizeMacArg(const QString &text)
{
    QString t = text;
    t.remove(u' ').remove(u':').remove(u'-');
    uint8_t probe[6];
    try {
        MacToBytes(t, probe);
    } catch (const EConvertError &) {
        throw TUsageError{QStringLiteral("not a MAC address: '%1' (12 hex digits, spaces allowed)").arg(text)};
    }
    return t.toUpper();
}

bool IsModuleAnswer(int status)
{
    return status == StsAck || status == StsPswdErr || status == StsOtherErr || status == StsCheckErr;
}

TCliLan::TCliLan(const TCliOptions &opt) : Opt(opt), Log(opt.Hex), Session(Log), Svr(Session.Svr()), Devices(Session.Devices())
{
    for (const QString &ip : Opt.Interfaces) {
        QHostAddress a;
        if (!a.setAddress(ip) || a.protocol() != QAbstractSocket::IPv4Protocol)
            throw TUsageError{QStringLiteral("--interface needs an IPv4 address of this machine: %1").arg(ip)};
    }
    Svr.AddressOverride = Opt.Interfaces;
    Svr.UnknownSummaryMs = UnknownSummaryPeriodMs;
    Session.PageResult = &Read;
    Session.LogsStatus = [this](int code) {
        return !(AnswerIsResult && IsModuleAnswer(code)) && !(code == StsSearchSent && QuietSearch);
    };
    QObject::connect(&Session, &TLanSession::StatusReported, [this](const TLanStatus &s) {
        if (AnswerIsResult && IsModuleAnswer(s.Code))
            AnswerLines << s.Reaction.Line;
        if (IsModuleAnswer(s.Code))
            Answers.append({s.Code, s.Reaction.Line});
        Statuses << s.Code;
        if (OnStatus)
            OnStatus(s.Code);
    });
}

void TCliLan::Search(int expect, const QStringList &wanted)
{
    Session.ClearList();
    const auto done = [&] {
        if (expect > 0)
            return Devices.Count() >= expect;
        if (wanted.isEmpty())
            return false;
        return std::all_of(wanted.begin(), wanted.end(), [&](const QString &m) { return Devices.IndexOfMac(m) >= 0; });
    };
    for (int round = 0; round < std::max(1, Opt.Repeat) && !done(); ++round) {
        if (Opt.RangeAddresses.isEmpty()) {
            Session.Search(false);
        } else {
            // Sent at a bounded rate: the wait for answers starts after the last one, and a search
            // that has found what it was for stops sending.
            Session.SearchAddresses(Opt.RangeAddresses, false, round > 0);
            WaitUntil(std::numeric_limits<int>::max(), [&] { return !Session.SearchingAddresses() || done(); });
            Session.StopSearchingAddresses();
        }
        QuietSearch = true; // the search hint once per command
        WaitUntil(Opt.WaitMs, done);
    }
}

const TDeviceRow *TCliLan::FindRow(const QString &mac)
{
    const int i = Devices.IndexOfMac(NormalizeMacArg(mac));
    return i < 0 ? nullptr : &Devices.Rows[i];
}

const TDeviceRow *TCliLan::SearchFor(const QString &mac)
{
    const QString wanted = NormalizeMacArg(mac);
    Search(0, {wanted});
    const TDeviceRow *row = FindRow(wanted);
    if (!row)
        Err(QStringLiteral("bexo-z0-cli: no module with MAC %1 answered the search").arg(wanted));
    return row;
}

bool TCliLan::ReadRow(const TDeviceRow &row)
{
    Read = {};
    const TReadOutcome r = Session.Read(row);
    if (r != TReadOutcome::SentQ2 && r != TReadOutcome::SentQ3)
        return false;
    WaitWithMessages(Opt.WaitMs);
    return true;
}

namespace {

QString shown(const QString &s) { return UpToZero(s); }

QJsonObject heartJson(const THeartRegParam &p)
{
    return {{QStringLiteral("HeartMode"), p.HeartMode},   {QStringLiteral("RegMode"), p.RegMode},
            {QStringLiteral("RemoveHttpdHead"), p.RemoveHttpdHead}, {QStringLiteral("ComSetEnable"), p.ComSetEnable},
            {QStringLiteral("HeartHex"), p.HeartHex},     {QStringLiteral("RegHex"), p.RegHex},
            {QStringLiteral("HeartTime"), p.HeartTime},   {QStringLiteral("HeartData"), shown(p.HeartData)},
            {QStringLiteral("RegData"), shown(p.RegData)}};
}

void printObject(const QString &prefix, const QJsonObject &o)
{
    for (auto it = o.begin(); it != o.end(); ++it) {
        const QJsonValue v = it.value();
        const QString text = v.isString() ? v.toString()
                             : v.isBool() ? (v.toBool() ? QStringLiteral("true") : QStringLiteral("false"))
                                          : QString::number(v.toInteger());
        Out(QStringLiteral("%1.%2 = %3").arg(prefix, it.key(), VisibleText(text)));
    }
}

} // namespace

QJsonObject BaseJson(const TBaseParam &p)
{
    return {{QStringLiteral("Flag1"), p.Flag1},
            {QStringLiteral("AddrType"), p.AddrType},
            {QStringLiteral("IsT0"), p.IsT0},
            {QStringLiteral("RegSnd"), p.RegSnd},
            {QStringLiteral("UpnpPort"), p.UpnpPort},
            {QStringLiteral("HttpPort"), p.HttpPort},
            {QStringLiteral("StaticIP"), p.StaticIP},
            {QStringLiteral("GatewayIP"), p.GatewayIP},
            {QStringLiteral("SubnetMask"), p.SubnetMask},
            {QStringLiteral("ModName"), shown(p.ModName)},
            {QStringLiteral("UserName"), shown(p.UserName)},
            {QStringLiteral("Password"), shown(p.Password)},
            {QStringLiteral("Options"), p.Options},
            {QStringLiteral("ClearBuffer"), p.ClearBuffer},
            {QStringLiteral("ShortConn"), p.ShortConn},
            {QStringLiteral("UserMAC"), p.UserMAC},
            {QStringLiteral("Dns"), p.Dns},
            {QStringLiteral("ShortConnTime"), p.ShortConnTime}};
}

QJsonObject PortJson(const TPortParam &p)
{
    return {{QStringLiteral("Baudrate"), p.Baudrate},
            {QStringLiteral("DataBits"), p.DataBits},
            {QStringLiteral("Parity"), p.Parity},
            {QStringLiteral("StopBits"), p.StopBits},
            {QStringLiteral("FlowControl"), p.FlowControl},
            {QStringLiteral("LocalPort"), p.LocalPort},
            {QStringLiteral("RemotePort"), p.RemotePort},
            {QStringLiteral("RemoteIP"), shown(p.RemoteIP)},
            {QStringLiteral("ModbusTcp"), p.ModbusTcp},
            {QStringLiteral("Rfc2217"), p.Rfc2217},
            {QStringLiteral("CloudEnable"), p.CloudEnable},
            {QStringLiteral("WorkMode"), p.WorkMode},
            {QStringLiteral("PackLen"), p.PackLen},
            {QStringLiteral("PackTime"), p.PackTime},
            {QStringLiteral("TcpSvrCount"), p.TcpSvrCount},
            {QStringLiteral("ResetTimeout"), p.ResetTimeout},
            {QStringLiteral("TcpStyle"), p.TcpStyle},
            {QStringLiteral("GetPost"), p.GetPost},
            {QStringLiteral("MacRegister"), p.MacRegister},
            {QStringLiteral("KickOld"), p.KickOld},
            {QStringLiteral("UserRegister"), p.UserRegister},
            {QStringLiteral("MacHeart"), p.MacHeart},
            {QStringLiteral("UdpFrom"), p.UdpFrom}};
}

QJsonObject ReadResultJson(const TReadResult &r)
{
    const auto opt = [](bool have, const QJsonObject &o) { return have ? QJsonValue(o) : QJsonValue(); };
    QJsonObject modbus;
    if (r.Modbus)
        modbus = {{QStringLiteral("TcpEnable"), r.Modbus->TcpEnable},
                  {QStringLiteral("PollEnable"), r.Modbus->PollEnable},
                  {QStringLiteral("WaitTime"), r.Modbus->WaitTime},
                  {QStringLiteral("Length"), r.ModbusLen}};
    QJsonObject pack, fresh, cloud, httpd;
    if (r.ModbusPack)
        pack = {{QStringLiteral("ModbusType"), r.ModbusPack->ModbusType},
                {QStringLiteral("Exception"), r.ModbusPack->Exception},
                {QStringLiteral("ReportProto"), r.ModbusPack->ReportProto},
                {QStringLiteral("Timeout"), r.ModbusPack->Timeout},
                {QStringLiteral("Interval"), r.ModbusPack->Interval}};
    if (r.ModbusNew)
        fresh = {{QStringLiteral("PollMode"), r.ModbusNew->PollMode},
                 {QStringLiteral("Exception"), r.ModbusNew->Exception},
                 {QStringLiteral("Timeout"), r.ModbusNew->Timeout},
                 {QStringLiteral("Interval"), r.ModbusNew->Interval}};
    if (r.Cloud)
        cloud = {{QStringLiteral("DeviceId"), shown(r.Cloud->DeviceId)},
                 {QStringLiteral("CommCode"), shown(r.Cloud->CommCode)}};
    if (r.Httpd)
        httpd = {{QStringLiteral("Url"), r.Httpd->Url}, {QStringLiteral("Header"), r.Httpd->Header}};
    return {{QStringLiteral("base"), opt(bool(r.Base), r.Base ? BaseJson(*r.Base) : QJsonObject())},
            {QStringLiteral("port"), opt(bool(r.Port), r.Port ? PortJson(*r.Port) : QJsonObject())},
            {QStringLiteral("cloud"), opt(bool(r.Cloud), cloud)},
            {QStringLiteral("heartReg"), opt(bool(r.HeartReg), r.HeartReg ? heartJson(*r.HeartReg) : QJsonObject())},
            {QStringLiteral("httpd"), opt(bool(r.Httpd), httpd)},
            {QStringLiteral("modbus"), opt(bool(r.Modbus), modbus)},
            {QStringLiteral("modbusPack"), opt(bool(r.ModbusPack), pack)},
            {QStringLiteral("modbusNew"), opt(bool(r.ModbusNew), fresh)}};
}

void PrintReadResult(const TReadResult &r, bool json)
{
    const QJsonObject o = ReadResultJson(r);
    if (json) {
        Out(JsonText(o));
        return;
    }
    for (const char *key : {"base", "port", "cloud", "heartReg", "httpd", "modbus", "modbusPack", "modbusNew"})
        if (o.value(QLatin1String(key)).isObject())
            printObject(QLatin1String(key), o.value(QLatin1String(key)).toObject());
}

namespace {

int searchCommand(const TCliOptions &opt, const QStringList &args)
{
    int expect = 0;
    for (int i = 0; i < args.size(); ++i) {
        bool ok = false;
        if (args[i] == QLatin1String("--expect") && i + 1 < args.size())
            expect = args[++i].toInt(&ok);
        if (!ok || expect < 1)
            throw TUsageError{QStringLiteral("search takes only --expect COUNT (a number of modules, 1 or more)")};
    }
    TCliLan lan(opt);
    lan.Search(expect);
    const QList<TDeviceRow> &rows = lan.Devices.Rows;
    const auto warnings =
        FindSearchConflicts(rows, [&](int binding) { return InterfaceSubnets(lan.Svr.BindingIP(binding)); });
    if (opt.Json) {
        QJsonArray out;
        for (int i = 0; i < rows.size(); ++i) {
            const TDeviceRow &r = rows[i];
            QJsonArray w;
            for (const TRowWarning &x : warnings[i]) {
                QJsonObject o{{QStringLiteral("kind"), x.WarningKind == TRowWarning::DuplicateIP
                                                          ? QStringLiteral("duplicate-ip")
                                                          : QStringLiteral("foreign-subnet")},
                              {QStringLiteral("text"), x.Text}};
                if (x.WarningKind == TRowWarning::DuplicateIP) {
                    o.insert(QStringLiteral("macs"), QJsonArray::fromStringList(x.OtherMacs));
                    o.insert(QStringLiteral("more"), x.MoreMacs);
                }
                w.append(o);
            }
            out.append(QJsonObject{{QStringLiteral("ip"), r.IP},
                                   {QStringLiteral("name"), r.ShownName()},
                                   {QStringLiteral("mac"), r.Mac},
                                   {QStringLiteral("version"), r.Version},
                                   {QStringLiteral("model"), r.Model},
                                   {QStringLiteral("bindingIndex"), r.BindingIndex},
                                   {QStringLiteral("byAddress"), !r.SearchedAt.isEmpty()},
                                   {QStringLiteral("warnings"), w}});
        }
        Out(JsonText(out));
    } else {
        for (int i = 0; i < rows.size(); ++i) {
            const TDeviceRow &r = rows[i];
            QString line = QStringLiteral("%1  %2  %3  %4  %5")
                               .arg(r.IP, -15)
                               .arg(VisibleText(r.ShownName()), -16)
                               .arg(r.Mac)
                               .arg(r.Version, 5)
                               .arg(ModelInfo(r.Model).Name);
            if (!r.SearchedAt.isEmpty())
                line += QStringLiteral("  ") + GetLangText(QStringLiteral("lang_ts_ByAddress"));
            Out(line);
            for (const TRowWarning &x : warnings[i])
                Out(QStringLiteral("  warning: ") + VisibleText(x.Text));
        }
    }
    lan.Log.AddLogInfo(GetLangText(QStringLiteral("lang_Hint_DevNum")) + QString::number(lan.Devices.Count()));
    if (expect > 0 && lan.Devices.Count() < expect) {
        Err(QStringLiteral("bexo-z0-cli: %1 of %2 modules answered").arg(lan.Devices.Count()).arg(expect));
        return 1;
    }
    return 0;
}

const TDeviceRow *searchFor(TCliLan &lan, const QString &mac) { return lan.SearchFor(mac); }

int readCommand(const TCliOptions &opt, const QStringList &args)
{
    if (args.size() != 1)
        throw TUsageError{QStringLiteral("read needs exactly one MAC")};
    TCliLan lan(opt);
    const TDeviceRow *row = searchFor(lan, args[0]);
    if (!row)
        return 1;
    if (!lan.ReadRow(*row))
        return 1;
    PrintReadResult(lan.Read, opt.Json);
    if (!lan.Read.Base) {
        if (!lan.Read.Statuses.contains(StsPswdErr))
            lan.Log.AddLog(GetLangText(QStringLiteral("lang_Hint_OverTime")), TLogColor::Red);
        return 1;
    }
    lan.Log.AddLogInfo(GetLangText(QStringLiteral("lang_Hint_BeenRead")));
    return 0;
}

int exportCommand(const TCliOptions &opt, const QStringList &args)
{
    if (args.size() > 1)
        throw TUsageError{QStringLiteral("export takes at most one folder")};
    TCliLan lan(opt);
    lan.Search();
    if (lan.Devices.Count() == 0) {
        Err(QStringLiteral("bexo-z0-cli: no module answered; nothing exported"));
        return 1;
    }
    try {
        const QDateTime now = QDateTime::currentDateTime();
        const QString path = args.isEmpty() ? ExportDevices(lan.Devices, now) : ExportDevices(lan.Devices, args[0], now);
        Out(path); // the result, once: not also as a log line
        return 0;
    } catch (const EExportError &e) {
        Err(QStringLiteral("bexo-z0-cli: ") + e.Message());
        return 1;
    }
}

TCliRegistrar searchReg({QStringLiteral("search"), QStringLiteral("[--expect COUNT]"),
                         QStringLiteral("find the modules on the LAN (ip, name, mac, version, model; \"by address\" "
                                        "after those found by --range) and warn about address conflicts; with "
                                        "--repeat N, stop once COUNT modules answered (exit 1 when fewer did)"),
                         searchCommand});
TCliRegistrar readReg({QStringLiteral("read"), QStringLiteral("MAC"),
                       QStringLiteral("search, then read a module's parameters and print every record received"),
                       readCommand});
TCliRegistrar exportReg({QStringLiteral("export"), QStringLiteral("[DIR]"),
                         QStringLiteral("search, then write the device list as CSV into DIR (default: the "
                                        "program folder, or ~/Documents when that cannot be written); print "
                                        "its path"),
                         exportCommand});

} // namespace
