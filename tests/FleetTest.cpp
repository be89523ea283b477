#include "ModuleFixture.h"
#include "TestUtil.h"
#include "netconfig/Fleet.h"
#include "netconfig/Q2Write.h"

namespace {

using F = TPageField<TQ2Page>;

// A valid value of the field that differs from the page's.
QString otherValue(TQ2Page &p, const F &f)
{
    const QString now = PageFieldText(p, f);
    switch (f.FieldKind) {
    case F::Text:
        if (f.Name == QLatin1String("StaticIP") || f.Name == QLatin1String("SubnetMask") ||
            f.Name == QLatin1String("GatewayIP") || f.Name == QLatin1String("Dns"))
            return QStringLiteral("10.1.2.3");
        if ((f.Name == QLatin1String("HeartData") && p.rzchckbxHeartDtHex.Checked) ||
            (f.Name == QLatin1String("RegData") && p.rzchckbxRegDtHex.Checked))
            return QStringLiteral("0A0B");
        return QStringLiteral("zq");
    case F::Number: return QString::number(now.toInt() + 1);
    case F::Baud: return QStringLiteral("19200");
    case F::Check: return now == QLatin1String("1") ? QStringLiteral("0") : QStringLiteral("1");
    case F::List: {
        const TComboState &c = f.Combo(p);
        // No selection writes like the first item in some lists: take the second then.
        return c.Items[c.Index < 0 ? 1 : (c.Index + 1) % int(c.Items.size())];
    }
    }
    return {};
}

QByteArray sent(const TQ2WritePlan &plan)
{
    QByteArray out;
    for (const TPlannedFrame &f : plan.Frames)
        out += char(f.Cmd) + f.Payload + '|';
    return out;
}

} // namespace

// The rule of which fields a write carries is checked against the write itself: changing a field
// changes the bytes sent exactly when the rule says the write carries it.
TEST(FleetRules, notWrittenAgreesWithTheWrite)
{
    TLangScope lang;
    struct Case {
        const char *name;
        TModuleShape shape;
    } cases[] = {
        {"4017 TCP Server, 4-byte Modbus", {4017, 3, 4, true, true, true, true, false, 0, 0}},
        {"4016 HTTPD Client, no Modbus", {4016, 4, 0, false, false, false, false, false, 0, 0}},
        {"4017 HTTPD Client, 1-byte Modbus, detailed types", {4017, 4, 1, true, true, true, true, false, 2, 2}},
        {"4017 UDP Client, Modbus type 1", {4017, 0, 4, true, true, true, true, false, 1, 0}},
        {"4017 TCP Client, no optional blocks sent", {4017, 1, 0, false, false, false, false, false, 0, 0}},
    };
    for (const Case &c : cases) {
        TModuleFixture m(c.shape);
        const TQ2WritePlan before = PlanQ2Write(m.Page, m.Module);
        ASSERT_EQ(before.Status, TQ2WriteStatus::Ready) << c.name << ": " << before.Message.toStdString();
        for (const F &f : Q2PageFields()) {
            TQ2Page p = m.Page;
            ApplyPageField(p, Q2PageFields(), f.Name + u'=' + otherValue(p, f));
            const TQ2WritePlan after = PlanQ2Write(p, m.Module);
            ASSERT_EQ(after.Status, TQ2WriteStatus::Ready) << c.name << " " << f.Name.toStdString();
            const QString why = Q2FieldNotWritten(p, c.shape.Version, f);
            EXPECT_EQ(sent(before) != sent(after), why.isEmpty())
                << c.name << ": " << f.Name.toStdString() << " (" << why.toStdString() << ")";
        }
    }
}

TEST(FleetRules, notWrittenNamesTheReason)
{
    TLangScope lang;
    TModuleFixture old({4016, 3, 1, false, false, false, false, false, 0, 0});
    EXPECT_EQ(Q2FieldNotWritten(old.Page, 4016, QStringLiteral("HeartTime")),
              QStringLiteral("firmware 4016 has no heartbeat/register block"));
    EXPECT_EQ(Q2FieldNotWritten(old.Page, 4016, QStringLiteral("ModbusWaitTime")),
              QStringLiteral("the module's Modbus block has no poll settings"));
    EXPECT_EQ(Q2FieldNotWritten(old.Page, 4016, QStringLiteral("PollMode")),
              QStringLiteral("the module sent no Modbus poll block"));
    EXPECT_EQ(Q2FieldNotWritten(old.Page, 4016, QStringLiteral("Multicast")),
              QStringLiteral("written only with work mode \"UDP Client\""));
    EXPECT_EQ(Q2FieldNotWritten(old.Page, 4016, QStringLiteral("LocalPort")), QString());
}

TEST(FleetRules, compareFieldsByKind)
{
    TLangScope lang;
    TModuleFixture m;
    struct Case {
        const char *field, *wanted, *got;
        bool same;
    } cases[] = {
        {"LocalPort", "0080", "80", true},    {"LocalPort", "6001", "6002", false},
        {"Baudrate", "19200", "19200", true}, {"StaticIP", "10.0.0.07", "10.0.0.7", true},
        {"Dns", "10.0.0.1", "10.0.0.2", false}, {"ModName", "Lab", "lab", false},
        {"ModName", "Lab", "Lab", true},      {"Parity", "EVEN", "ODD", false},
        {"ClearBuffer", "1", "0", false},     {"RemoteIP", "a.example", "a.example", true},
    };
    for (const Case &c : cases) {
        TQ2Page want = m.Page, got = m.Page;
        ApplyPageField(want, Q2PageFields(), QString::fromLatin1(c.field) + u'=' + QLatin1String(c.wanted));
        ApplyPageField(got, Q2PageFields(), QString::fromLatin1(c.field) + u'=' + QLatin1String(c.got));
        const auto mismatches = CompareQ2Fields(want, got, {QString::fromLatin1(c.field)});
        EXPECT_EQ(mismatches.isEmpty(), c.same) << c.field << " " << c.wanted << " / " << c.got;
        if (!c.same && !mismatches.isEmpty()) {
            EXPECT_EQ(mismatches[0].Field, QString::fromLatin1(c.field));
            EXPECT_EQ(mismatches[0].Got, PageFieldText(got, *FindPageField(Q2PageFields(), mismatches[0].Field)));
        }
    }
    // Hex data compares without regard to case; only named fields are compared.
    TQ2Page want = m.Page, got = m.Page;
    want.rzchckbxHeartDtHex.Checked = got.rzchckbxHeartDtHex.Checked = true;
    want.edtHeartDt.Text = QStringLiteral("0a0b");
    got.edtHeartDt.Text = QStringLiteral("0A0B");
    got.edt_ModName.Text = QStringLiteral("Changed");
    EXPECT_TRUE(CompareQ2Fields(want, got, {QStringLiteral("HeartData")}).isEmpty());
    EXPECT_EQ(CompareQ2Fields(want, got, {QStringLiteral("HeartData"), QStringLiteral("ModName")}).size(), 1);
}

TEST(FleetRules, searchConflicts)
{
    TLangScope lang;
    const auto row = [](const char *ip, const char *mac, int binding) {
        return TDeviceRow{QString::fromLatin1(ip), QStringLiteral("m"), QString::fromLatin1(mac), QStringLiteral("4017"),
                          ModelQ2, binding, {}};
    };
    QList<TDeviceRow> rows = {
        row("10.0.0.7", "00 00 00 00 00 01", 0),  row("10.0.0.7", "00 00 00 00 00 02", 0),
        row("10.0.0.8", "00 00 00 00 00 03", 0),  row("192.168.9.9", "00 00 00 00 00 04", 0),
        row("172.16.5.5", "00 00 00 00 00 05", 0), row("10.9.9.9", "00 00 00 00 00 06", 1),
        row("10.0.0.7", "00 00 00 00 00 07", 1),
        row("192.168.50.5", "00 00 00 00 00 08", 0), row("192.168.50.5", "00 00 00 00 00 09", 0),
    };
    // Found by a search to their address, behind a router: outside the subnet as expected, but
    // still two modules on one IP.
    rows[7].SearchedAt = rows[8].SearchedAt = QStringLiteral("192.168.50.5");
    int asked0 = 0;
    const auto subnets = [&](int binding) -> QList<TSubnet> {
        if (binding != 0)
            return {}; // unknown: no subnet warning
        ++asked0;
        return {{"10.0.0.1", "255.255.255.0"}, {"172.16.0.1", "255.255.0.0"}};
    };
    const auto w = FindSearchConflicts(rows, subnets);
    ASSERT_EQ(w.size(), rows.size());
    EXPECT_EQ(asked0, 1); // once per binding
    const auto kinds = [&](int i) {
        QStringList k;
        for (const TRowWarning &x : w[i])
            k << (x.WarningKind == TRowWarning::DuplicateIP ? QStringLiteral("dup") : QStringLiteral("subnet"));
        return k.join(u',');
    };
    EXPECT_EQ(kinds(0), QStringLiteral("dup"));
    EXPECT_EQ(w[0][0].OtherMacs, (QStringList{"00 00 00 00 00 02", "00 00 00 00 00 07"}));
    EXPECT_EQ(w[0][0].Text, QStringLiteral("IP 10.0.0.7 is also answered by 00 00 00 00 00 02, 00 00 00 00 00 07"));
    EXPECT_EQ(kinds(1), QStringLiteral("dup"));
    EXPECT_EQ(kinds(2), QString());
    EXPECT_EQ(kinds(3), QStringLiteral("subnet"));
    EXPECT_TRUE(w[3][0].Text.contains(QLatin1String("10.0.0.1/24, 172.16.0.1/16"))) << w[3][0].Text.toStdString();
    // Each warning also says what to do about it.
    EXPECT_TRUE(w[0][0].Advice.contains(QLatin1String("search again"))) << w[0][0].Advice.toStdString();
    EXPECT_TRUE(w[3][0].Advice.contains(QLatin1String("search by address"))) << w[3][0].Advice.toStdString();
    EXPECT_EQ(kinds(4), QString());
    EXPECT_EQ(kinds(5), QString());
    EXPECT_EQ(kinds(6), QStringLiteral("dup"));
    EXPECT_EQ(kinds(7), QStringLiteral("dup"));
    EXPECT_EQ(kinds(8), QStringLiteral("dup"));
}

TEST(FleetRules, loopbackSubnet)
{
    const QList<TSubnet> nets = InterfaceSubnets(QStringLiteral("127.0.0.1"));
    ASSERT_FALSE(nets.isEmpty());
    EXPECT_EQ(nets[0].Mask, QStringLiteral("255.0.0.0"));
    EXPECT_TRUE(InterfaceSubnets(QStringLiteral("203.0.113.77")).isEmpty());
}

TEST(FleetRules, sharedValuesAndAddresses)
{
    EXPECT_TRUE(SharedValueProblem({"StaticIP"}, 1).isEmpty());
    EXPECT_EQ(SharedValueProblem({"LocalPort", "staticip"}, 3),
              QStringLiteral("StaticIP would give all 3 modules the same address"));
    EXPECT_TRUE(SharedValueProblem({"ModName", "Password"}, 3).isEmpty());
    for (const char *ok : {"0.0.0.0", "255.255.255.255", "10.0.0.07"})
        EXPECT_TRUE(IsDottedQuad(QString::fromLatin1(ok))) << ok;
    for (const char *bad : {"", "1.2.3", "1.2.3.4.5", "256.1.1.1", "1..2.3", "a.b.c.d", "1.2.3.4 ", "1234.1.1.1"})
        EXPECT_FALSE(IsDottedQuad(QString::fromLatin1(bad))) << bad;
}

TEST(FleetRules, manyModulesOnOneAddressNameOnlyAFewOthersEach)
{
    // Before, every warning listed every other MAC: n rows, n - 1 MACs each.
    InitLanguage(QString());
    LangList->IsChinese = false;
    const auto mac = [](int i) { return QStringLiteral("02 00 00 00 %1 %2").arg(i / 256, 2, 16, QLatin1Char('0')).arg(i % 256, 2, 16, QLatin1Char('0')).toUpper(); };
    struct Case {
        int rows;
        int listed;
        int more;
    } cases[] = {{2, 1, 0}, {4, 3, 0}, {5, DuplicateMacsListed, 1}, {3000, DuplicateMacsListed, 2996}};
    for (const auto &c : cases) {
        QList<TDeviceRow> rows;
        for (int i = 0; i < c.rows; ++i)
            rows.append({QStringLiteral("10.0.0.66"), QStringLiteral("m"), mac(i), QStringLiteral("4017"), ModelQ2, 0, {}});
        rows.append({QStringLiteral("10.0.0.9"), QStringLiteral("alone"), mac(9999), QStringLiteral("4017"), ModelQ2, 0, {}});
        const auto w = FindSearchConflicts(rows, {});
        ASSERT_EQ(w.size(), rows.size());
        EXPECT_TRUE(w.last().isEmpty()) << c.rows;
        for (int i : {0, c.rows - 1}) {
            ASSERT_EQ(w[i].size(), 1) << c.rows;
            EXPECT_EQ(w[i][0].OtherMacs.size(), c.listed) << c.rows;
            EXPECT_EQ(w[i][0].MoreMacs, c.more) << c.rows;
            EXPECT_FALSE(w[i][0].OtherMacs.contains(rows[i].Mac)) << "a row is no other of itself";
        }
        if (c.more > 0) {
            EXPECT_TRUE(w[0][0].Text.endsWith(
                QStringLiteral("%1 and %2 more").arg(mac(DuplicateMacsListed), QString::number(c.more))))
                << w[0][0].Text.toStdString();
        }
    }
    LangList->IsChinese = true;
    QList<TDeviceRow> five;
    for (int i = 0; i < 5; ++i)
        five.append({QStringLiteral("10.0.0.66"), QStringLiteral("m"), mac(i), QStringLiteral("4017"), ModelQ2, 0, {}});
    const TRowWarning chinese = FindSearchConflicts(five, {})[0][0];
    EXPECT_TRUE(chinese.Text.contains(QStringLiteral("等另外 1 个"))) << chinese.Text.toStdString();
    EXPECT_TRUE(chinese.Text.startsWith(QStringLiteral("IP 10.0.0.66 同时由"))) << chinese.Text.toStdString();
    EXPECT_FALSE(chinese.Advice.isEmpty());
    FreeLanguage();
}

// The page's changed fields go to the selection only from a LAN read of a Q2 page, and only when
// the selection holds more than the page's own module.
TEST(Fleet, applyToSelectedNeedsALanQ2PageAndAnotherQ2Row)
{
    const auto row = [](const char *mac, int model) {
        return TDeviceRow{QStringLiteral("10.0.0.7"), QStringLiteral("m"), QString::fromLatin1(mac),
                          QStringLiteral("4017"), model, 0, {}};
    };
    const TDeviceRow own = row("00 00 00 00 00 01", ModelQ2), other = row("00 00 00 00 00 02", ModelQ2),
                     q3 = row("00 00 00 00 00 03", ModelQ3);
    const TPageBinding lan = TPageBinding::Lan(own.Mac, ModelQ2, 4017);
    struct Case {
        const char *what;
        TPageBinding page;
        QList<TDeviceRow> selected;
        bool allowed;
    } cases[] = {
        {"two Q2 rows", lan, {own, other}, true},
        {"one other Q2 row", lan, {other}, true},
        {"the page's own row alone", lan, {own}, false},
        {"nothing selected", lan, {}, false},
        {"own row and a Q3 row", lan, {own, q3}, false},
        {"page read over the serial line", TPageBinding::Serial(ModelQ2, QStringLiteral("000000000001")), {own, other},
         false},
        {"nothing read", TPageBinding{}, {own, other}, false},
        {"a Q3 page", TPageBinding::Lan(q3.Mac, ModelQ3, 4017), {own, other}, false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ApplyToSelectedAllowed(c.page, c.selected), c.allowed) << c.what;
}
