#include "netconfig/Fleet.h"

#include "core/ProFun.h"
#include "netconfig/ModelInfo.h"
#include "lang/LangList.h"

#include <QHash>
#include <QHostAddress>
#include <QNetworkInterface>
#include <bit>

namespace {

const QStringList ipFields = {QStringLiteral("StaticIP"), QStringLiteral("SubnetMask"), QStringLiteral("GatewayIP"),
                              QStringLiteral("Dns")};

QString text(const char *key) { return GetLangText(QLatin1String(key)); }

// what: the language key of the setting's name.
QString onlyWith(const TComboState &list, std::initializer_list<int> indexes, const char *what)
{
    QStringList names;
    for (int i : indexes)
        if (i >= 0 && i < list.Items.size())
            names << QStringLiteral("\"%1\"").arg(list.Items[i]);
    return text("lang_Hint_FieldOnlyWith").arg(text(what), names.join(text("lang_ts_Or")));
}

bool sameNumber(const QString &a, const QString &b)
{
    int x = 0, y = 0;
    return TryStrToInt(a, x) && TryStrToInt(b, y) ? x == y : a == b;
}

bool sameAddress(const QString &a, const QString &b)
{
    uint8_t x[4] = {}, y[4] = {};
    try {
        IPToBytesRev(a, x);
        IPToBytesRev(b, y);
    } catch (const EConvertError &) {
        return a == b;
    }
    return std::equal(x, x + 4, y);
}

int prefixLength(const QString &mask)
{
    try {
        return std::popcount(IPStrToInt(mask));
    } catch (const EConvertError &) {
        return 0;
    }
}

} // namespace

QString Q2FieldNotWritten(const TQ2Page &page, int version, const TPageField<TQ2Page> &field)
{
    const QString &name = field.Name;
    const bool newer = ModelInfo(ModelQ2).HasHeartHttpd(version);
    const QString noBlock = text("lang_Hint_FieldNoBlock").arg(version);
    switch (field.Block) {
    case TQ2Block::None: return text("lang_Hint_FieldNotQ2");
    case TQ2Block::Base: return {};
    case TQ2Block::Port: {
        const int mode = page.cbb_WorkMode0.Index;
        if (name == QLatin1String("Multicast") && mode != 0)
            return onlyWith(page.cbb_WorkMode0, {0}, "lang_ts_FieldWorkMode");
        if (name == QLatin1String("ModbusTcp") && mode != 1 && mode != 3)
            return onlyWith(page.cbb_WorkMode0, {1, 3}, "lang_ts_FieldWorkMode");
        return {};
    }
    case TQ2Block::HeartReg: return newer ? QString() : noBlock.arg(QStringLiteral("heartbeat/register"));
    case TQ2Block::Httpd:
        if (!newer)
            return noBlock.arg(QStringLiteral("Httpd"));
        return page.RzGroupBoxHttpd.Visible ? QString() : onlyWith(page.cbb_WorkMode0, {4}, "lang_ts_FieldWorkMode");
    case TQ2Block::Modbus:
        return page.rzgrpbxModbus.Visible ? QString() : text("lang_Hint_FieldNoModbus");
    case TQ2Block::ModbusPoll:
        if (!page.rzgrpbxModbus.Visible)
            return text("lang_Hint_FieldNoModbus");
        return page.rzchckbxmodbuspool.Visible ? QString()
                                               : text("lang_Hint_FieldNoModbusPoll");
    case TQ2Block::ModbusPack: {
        if (!page.RzGroupBox1.Visible)
            return text("lang_Hint_FieldNoModbusPack");
        const int type = page.cbbModbusType.Index;
        if (name == QLatin1String("ReportProto") && type != 2)
            return onlyWith(page.cbbModbusType, {2}, "lang_ts_FieldModbusType");
        if (name != QLatin1String("ModbusType") && name != QLatin1String("ReportProto") && type != 1 && type != 2)
            return onlyWith(page.cbbModbusType, {1, 2}, "lang_ts_FieldModbusType");
        return {};
    }
    case TQ2Block::ModbusNew: {
        if (!page.rzgrpbxModbusNew.Visible)
            return text("lang_Hint_FieldNoModbusNew");
        const int mode = page.cmbModbusEnable1.Index;
        if (name != QLatin1String("PollMode") && mode != 2 && mode != 3)
            return onlyWith(page.cmbModbusEnable1, {2}, "lang_ts_FieldPollMode");
        return {};
    }
    }
    return {};
}

QString Q2FieldNotWritten(const TQ2Page &page, int version, const QString &name)
{
    const TPageField<TQ2Page> *f = FindPageField(Q2PageFields(), name);
    return f ? Q2FieldNotWritten(page, version, *f) : QStringLiteral("no such field");
}

QList<TFieldMismatch> CompareQ2Fields(const TQ2Page &written, const TQ2Page &readBack, const QStringList &names)
{
    using F = TPageField<TQ2Page>;
    TQ2Page w = written, g = readBack; // the accessors hand out references to change
    QList<TFieldMismatch> out;
    for (const QString &name : names) {
        const F *f = FindPageField(Q2PageFields(), name);
        if (!f)
            continue;
        const QString want = PageFieldText(w, *f), got = PageFieldText(g, *f);
        bool same = want == got;
        if (f->FieldKind == F::Number || f->FieldKind == F::Baud)
            same = sameNumber(want, got);
        else if (ipFields.contains(f->Name))
            same = sameAddress(want, got);
        else if ((f->Name == QLatin1String("HeartData") && w.rzchckbxHeartDtHex.Checked) ||
                 (f->Name == QLatin1String("RegData") && w.rzchckbxRegDtHex.Checked))
            same = want.compare(got, Qt::CaseInsensitive) == 0;
        if (!same)
            out.append({f->Name, want, got});
    }
    return out;
}

bool ApplyToSelectedAllowed(const TPageBinding &page, const QList<TDeviceRow> &selected)
{
    if (page.Source != TPageSource::Lan || !ModelInfo(page.Model).LanWrite)
        return false;
    int q2 = 0;
    bool other = false;
    for (const TDeviceRow &r : selected) {
        if (!ModelInfo(r.Model).LanWrite)
            continue;
        ++q2;
        other = other || r.MacDigits() != page.Mac;
    }
    return q2 >= 2 || (q2 == 1 && other);
}

const QStringList &IdentityFields()
{
    static const QStringList names = {QStringLiteral("StaticIP"), QStringLiteral("ModName")};
    return names;
}

const QStringList &CredentialFields()
{
    static const QStringList names = {QStringLiteral("UserName"), QStringLiteral("Password")};
    return names;
}

QString SharedValueProblem(const QStringList &fieldNames, int count)
{
    if (count < 2)
        return {};
    for (const QString &n : fieldNames)
        if (n.compare(QLatin1String("StaticIP"), Qt::CaseInsensitive) == 0)
            return QStringLiteral("StaticIP would give all %1 modules the same address").arg(count);
    return {};
}

QList<TSubnet> InterfaceSubnets(const QString &localIP)
{
    const QHostAddress want(localIP);
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &ifc : interfaces) {
        const auto entries = ifc.addressEntries();
        const bool holds =
            std::any_of(entries.begin(), entries.end(), [&](const QNetworkAddressEntry &e) { return e.ip() == want; });
        if (!holds)
            continue;
        QList<TSubnet> out;
        for (const QNetworkAddressEntry &e : entries)
            if (e.ip().protocol() == QAbstractSocket::IPv4Protocol)
                out.append({e.ip().toString(), e.netmask().toString()});
        return out;
    }
    return {};
}

QList<QList<TRowWarning>> FindSearchConflicts(const QList<TDeviceRow> &rows,
                                              const std::function<QList<TSubnet>(int)> &subnetsOf)
{
    QList<QList<TRowWarning>> out(rows.size());
    QHash<QString, QList<int>> byIP;
    for (int i = 0; i < rows.size(); ++i)
        byIP[rows[i].IP].append(i);
    QHash<int, QList<TSubnet>> subnets; // by binding, asked once each
    for (int i = 0; i < rows.size(); ++i) {
        const TDeviceRow &row = rows[i];
        const QList<int> &same = byIP[row.IP];
        if (same.size() > 1) {
            TRowWarning w;
            w.WarningKind = TRowWarning::DuplicateIP;
            for (int j : same) {
                if (w.OtherMacs.size() == DuplicateMacsListed)
                    break;
                if (j != i)
                    w.OtherMacs << rows[j].Mac;
            }
            w.MoreMacs = int(same.size()) - 1 - int(w.OtherMacs.size());
            QString macs = w.OtherMacs.join(QLatin1String(", "));
            if (w.MoreMacs > 0)
                macs = GetLangText(QStringLiteral("lang_Hint_DupIPMore")).arg(macs, QString::number(w.MoreMacs));
            w.Text = text("lang_Hint_DupIP").arg(row.IP, macs);
            w.Advice = text("lang_Hint_DupIPDo");
            out[i].append(w);
        }
        // A module found by a search to its address is reached through a router: being outside
        // the interface's subnet is what it is expected to be.
        if (!subnetsOf || !row.SearchedAt.isEmpty())
            continue;
        if (!subnets.contains(row.BindingIndex))
            subnets.insert(row.BindingIndex, subnetsOf(row.BindingIndex));
        const QList<TSubnet> &nets = subnets[row.BindingIndex];
        if (nets.isEmpty())
            continue;
        bool inside = false;
        QStringList shown;
        for (const TSubnet &n : nets) {
            try {
                inside = inside || SameSubnet(row.IP, n.IP, n.Mask);
            } catch (const EConvertError &) {
            }
            shown << QStringLiteral("%1/%2").arg(n.IP).arg(prefixLength(n.Mask));
        }
        if (!inside) {
            TRowWarning w;
            w.WarningKind = TRowWarning::ForeignSubnet;
            w.Text = text("lang_Hint_ForeignSubnet").arg(row.IP, shown.join(QLatin1String(", ")));
            w.Advice = text("lang_Hint_ForeignSubnetDo");
            out[i].append(w);
        }
    }
    return out;
}

QString FleetResultName(TFleetResult r)
{
    switch (r) {
    case TFleetResult::Ok: return QStringLiteral("ok");
    case TFleetResult::DryRun: return QStringLiteral("dry run");
    case TFleetResult::NotFound: return QStringLiteral("not found");
    case TFleetResult::WrongModel: return QStringLiteral("wrong model");
    case TFleetResult::NoAnswer: return QStringLiteral("no answer");
    case TFleetResult::Refused: return QStringLiteral("refused");
    case TFleetResult::Invalid: return QStringLiteral("invalid");
    case TFleetResult::NotBack: return QStringLiteral("not back");
    case TFleetResult::Mismatch: return QStringLiteral("mismatch");
    case TFleetResult::NoFile: return QStringLiteral("no file");
    case TFleetResult::NotSaved: return QStringLiteral("not saved");
    }
    return {};
}

QString FleetResultText(TFleetResult r)
{
    switch (r) {
    case TFleetResult::Ok: return text("lang_ts_FleetOk");
    case TFleetResult::DryRun: return text("lang_ts_FleetDryRun");
    case TFleetResult::NotFound: return text("lang_ts_FleetNotFound");
    case TFleetResult::WrongModel: return text("lang_ts_FleetWrongModel");
    case TFleetResult::NoAnswer: return text("lang_ts_FleetNoAnswer");
    case TFleetResult::Refused: return text("lang_ts_FleetRefused");
    case TFleetResult::Invalid: return text("lang_ts_FleetInvalid");
    case TFleetResult::NotBack: return text("lang_ts_FleetNotBack");
    case TFleetResult::Mismatch: return text("lang_ts_FleetMismatch");
    case TFleetResult::NoFile: return text("lang_ts_FleetNoFile");
    case TFleetResult::NotSaved: return text("lang_ts_FleetNotSaved");
    }
    return {};
}
