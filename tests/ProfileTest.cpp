#include "ModuleFixture.h"
#include "TestUtil.h"
#include "netconfig/Fleet.h"
#include "netconfig/Profile.h"

#include <QFile>
#include <QTemporaryDir>
#include <sys/stat.h>

namespace {

QStringList names(const QList<TSkippedField> &l)
{
    QStringList out;
    for (const TSkippedField &s : l)
        out << s.Name;
    return out;
}

QString reasonOf(const QList<TSkippedField> &l, const char *name)
{
    for (const TSkippedField &s : l)
        if (s.Name == QLatin1String(name))
            return s.Reason;
    return QStringLiteral("(not skipped)");
}

// A small valid profile with one extra piece of text spliced in.
QByteArray profileWith(const char *fields, const char *extraTop = "")
{
    return QByteArray("{\"format\": \"bexo-z0-profile\", \"formatVersion\": 1, \"model\": \"Q2\"") + extraTop +
           ", \"fields\": {" + fields + "}}";
}

} // namespace

TEST(Profile, saveLeavesOutIdentityLoginAndWhatTheWriteWouldNotCarry)
{
    TLangScope lang;
    TModuleFixture m;
    QList<TSkippedField> left;
    const TProfile p = ProfileFromPage(m.Page, 4017, {}, &left);
    const QStringList saved = p.FieldNames();
    for (const char *n : {"StaticIP", "ModName", "UserName", "Password", "HttpdUrl", "ModbusTimeout", "PollTimeout",
                          "Multicast"}) {
        EXPECT_FALSE(saved.contains(QLatin1String(n))) << n;
        EXPECT_TRUE(names(left).contains(QLatin1String(n))) << n;
    }
    EXPECT_EQ(reasonOf(left, "StaticIP"), QStringLiteral("identity of the module"));
    EXPECT_EQ(reasonOf(left, "Password"), QStringLiteral("login of the module"));
    EXPECT_EQ(reasonOf(left, "HttpdUrl"), QStringLiteral("written only with work mode \"HTTPD Client\""));
    for (const char *n : {"LocalPort", "Parity", "WorkMode", "HeartData", "ModbusWaitTime", "ModbusType", "PollMode",
                          "Baudrate", "ClearBuffer", "SubnetMask", "ModbusTcp"})
        EXPECT_TRUE(saved.contains(QLatin1String(n))) << n;
    EXPECT_EQ(p.Firmware, 4017);

    const TProfile all = ProfileFromPage(m.Page, 4017, {true, true});
    for (const char *n : {"StaticIP", "ModName", "UserName", "Password"})
        EXPECT_TRUE(all.FieldNames().contains(QLatin1String(n))) << n;

    // The file reads back as the same profile, values typed by kind.
    TProfile back;
    QString error;
    TProfile named = all;
    named.SavedFrom = m.Mac;
    named.Comment = QStringLiteral("lab \"A\" \u00e9");
    ASSERT_TRUE(ParseProfile(ProfileToJson(named), back, error)) << error.toStdString();
    EXPECT_EQ(back, named);
    const QByteArray text = ProfileToJson(named);
    EXPECT_TRUE(text.contains("\n    \"LocalPort\": 20108,\n")) << text.constData();
    EXPECT_TRUE(text.contains("\n    \"Parity\": \"NONE\",\n"));
    EXPECT_TRUE(text.contains("\n    \"ClearBuffer\": false,\n"));
}

// Applying a profile saved from one module makes every field it carries equal on another module,
// keeps that module's identity, and handles a hex box whose state differs between the two.
TEST(Profile, applyCopiesTheWrittenFieldsAndKeepsIdentity)
{
    TLangScope lang;
    TModuleFixture source, target;
    for (const char *a : {"LocalPort=6001", "Parity=EVEN", "HeartHex=1", "ModbusPoll=1", "ModbusWaitTime=900",
                          "WorkMode=TCP Client", "ModbusTcp=ModbusTCP", "PackTime=25"})
        ApplyPageField(source.Page, Q2PageFields(), QString::fromLatin1(a));
    for (const char *a : {"ModName=Other", "StaticIP=10.0.0.8", "RegData=other", "LocalPort=7000"})
        ApplyPageField(target.Page, Q2PageFields(), QString::fromLatin1(a));
    const TProfile p = ProfileFromPage(source.Page, 4017, {});
    const TProfileApplied r = ApplyProfile(target.Page, 4017, &p, {});
    EXPECT_TRUE(r.Skipped.isEmpty()) << names(r.Skipped).join(u' ').toStdString();
    EXPECT_EQ(r.Written, p.FieldNames());
    const auto diff = CompareQ2Fields(source.Page, target.Page, r.Written);
    for (const TFieldMismatch &d : diff)
        ADD_FAILURE() << d.Field.toStdString() << ": " << d.Wanted.toStdString() << " / " << d.Got.toStdString();
    EXPECT_EQ(target.Page.edtHeartDt.Text, QStringLiteral("70696E67")); // converted once, on the source
    EXPECT_EQ(target.Page.edt_ModName.Text, QStringLiteral("Other"));
    EXPECT_EQ(target.Page.edt_StaticIP.Text, QStringLiteral("10.0.0.8"));
}

TEST(Profile, applyToOtherFirmwareSkipsWhatTheModuleLacks)
{
    TLangScope lang;
    TModuleFixture source;
    const TProfile p = ProfileFromPage(source.Page, 4017, {});
    TModuleFixture old({4016, 3, 1, false, false, false, false, false, 0, 0});
    const TProfileApplied r = ApplyProfile(old.Page, 4016, &p, {QStringLiteral("HeartTime=60")});
    EXPECT_EQ(reasonOf(r.Skipped, "HeartTime"), QStringLiteral("firmware 4016 has no heartbeat/register block"));
    EXPECT_EQ(reasonOf(r.Skipped, "ModbusWaitTime"), QStringLiteral("the module's Modbus block has no poll settings"));
    EXPECT_EQ(reasonOf(r.Skipped, "ModbusType"), QStringLiteral("the module sent no Modbus packing block"));
    EXPECT_TRUE(r.Written.contains(QLatin1String("ModbusTcpEnable")));
    EXPECT_TRUE(r.Written.contains(QLatin1String("LocalPort")));
    for (const TSkippedField &s : r.Skipped) {
        EXPECT_FALSE(r.Written.contains(s.Name)) << s.Name.toStdString();
        // What the module will not receive is not reported as a change either.
        for (const TFieldChange &c : r.Changes)
            EXPECT_NE(c.Name, s.Name);
    }

    // A list value this module does not offer is skipped; an explicit value takes its place.
    TModuleFixture t0({4017, 3, 4, true, true, true, true, true, 0, 0});
    TProfile httpd;
    httpd.Fields = {{"WorkMode", "HTTPD Client"}, {"LocalPort", 6001}};
    TQ2Page page = t0.Page;
    TProfileApplied a = ApplyProfile(page, 4017, &httpd, {});
    EXPECT_TRUE(reasonOf(a.Skipped, "WorkMode").startsWith(QLatin1String("this module does not take the value")));
    EXPECT_EQ(a.Written, QStringList{"LocalPort"});
    page = t0.Page;
    a = ApplyProfile(page, 4017, &httpd, {QStringLiteral("WorkMode=UDP Server")});
    EXPECT_TRUE(a.Skipped.isEmpty());
    EXPECT_EQ(a.Written, (QStringList{"WorkMode", "LocalPort"}));
    EXPECT_THROW(ApplyProfile(page, 4017, &httpd, {QStringLiteral("Parity=PURPLE")}), EPageFieldError);
}

TEST(Profile, refusedFiles)
{
    struct Case {
        QByteArray bytes;
        const char *error;
    } cases[] = {
        {profileWith("\"LocalPort\": 6001").left(60), "not valid JSON"},
        {"", "not valid JSON"},
        {"[1, 2]", "not a Bexo-Z0 profile (no JSON object)"},
        {"{\"base\": {\"ModName\": \"x\"}}", "not a Bexo-Z0 profile (\"format\" is not \"bexo-z0-profile\")"},
        {"{\"format\": \"other\", \"formatVersion\": 1}", "not a Bexo-Z0 profile"},
        {"{\"format\": \"bexo-z0-profile\", \"formatVersion\": 2, \"model\": \"Q2\", \"fields\": {\"LocalPort\": 1}}",
         "profile format version 2 is not supported; this program reads version 1"},
        {"{\"format\": \"bexo-z0-profile\", \"formatVersion\": \"1\", \"model\": \"Q2\", \"fields\": {}}",
         "profile format version \"1\" is not supported"},
        {"{\"format\": \"bexo-z0-profile\", \"model\": \"Q2\", \"fields\": {}}", "\"formatVersion\" is missing"},
        {profileWith("\"LocalPort\": 1", ", \"extra\": 1"), "unknown key \"extra\""},
        {profileWith("\"LocalPort\": 1").replace("\"Q2\"", "\"Q1\""), "profiles of model \"Q1\" are not supported"},
        {profileWith("\"Colour\": \"red\""), "unknown field \"Colour\""},
        {profileWith("\"localport\": 1"), "unknown field \"localport\" (did you mean LocalPort?)"},
        {profileWith(""), "\"fields\" is empty"},
        {profileWith("\"LocalPort\": 1, \"LocalPort\": 2"), "the key \"LocalPort\" appears twice"},
        {profileWith("\"LocalPort\": 1", ", \"model\": \"Q2\""), "the key \"model\" appears twice"},
        {profileWith("\"LocalPort\": \"6001\""), "LocalPort must be a whole number from 0 to 65535"},
        {profileWith("\"LocalPort\": 100000"), "LocalPort must be a whole number from 0 to 65535"},
        // Numbers and addresses the module's bytes cannot carry: the same rules as the page's checks.
        {profileWith("\"LocalPort\": 65536"), "LocalPort must be a whole number from 0 to 65535"},
        {profileWith("\"HeartTime\": 65536"), "HeartTime must be a whole number from 0 to 65535"},
        {profileWith("\"ModbusTimeout\": 99999"), "ModbusTimeout must be a whole number from 0 to 65535"},
        {profileWith("\"ShortConnTime\": 256"), "ShortConnTime must be a whole number from 0 to 255"},
        {profileWith("\"StaticIP\": \"999.1.1.1\""), "StaticIP is not an IPv4 address: \"999.1.1.1\""},
        {profileWith("\"LocalPort\": -1"), "LocalPort must be a whole number"},
        {profileWith("\"LocalPort\": 1.5"), "LocalPort must be a whole number"},
        {profileWith("\"PackTime\": 1000"), "PackTime must be a whole number from 0 to 999"},
        {profileWith("\"Baudrate\": 0"), "Baudrate must be a baud rate"},
        {profileWith("\"ClearBuffer\": 1"), "ClearBuffer must be true or false"},
        {profileWith("\"Parity\": \"even\""), "Parity must be one of: \"NONE\", \"ODD\", \"EVEN\", \"MARK\", \"SPACE\""},
        {profileWith("\"Parity\": 2"), "Parity must be one of"},
        {profileWith("\"ModName\": \"   \""), "ModName may not be empty"},
        {profileWith("\"ModName\": \"fifteen-chars-x\""), "ModName takes at most 14 characters"},
        {profileWith("\"RemoteIP\": \"a\\u0000b\""), "RemoteIP holds a zero character"},
        {profileWith("\"GatewayIP\": \"10.0.0\""), "GatewayIP is not an IPv4 address: \"10.0.0\""},
        {profileWith("\"HeartHex\": true, \"HeartData\": \"ping\""), "HeartData must be pairs of hex digits"},
        {profileWith("\"LocalPort\": [1]"), "LocalPort must be a whole number"},
        {profileWith("\"LocalPort\": {\"a\": [1]}"), "nested too deeply"},
        {profileWith("\"LocalPort\": 1", ", \"firmware\": 70000"), "\"firmware\" must be a version number"},
        {profileWith("\"LocalPort\": 1", ", \"comment\": 5"), "\"comment\" must be a text"},
        {QByteArray(ProfileMaxBytes + 1, ' '), "the file is larger than 65536 bytes"},
        {QByteArray(5000, '[') + QByteArray(5000, ']'), "nested too deeply"},
        {profileWith(("\"HttpdHeader\": \"" + QByteArray(ProfileMaxText + 1, 'h') + "\"").constData()),
         "HttpdHeader takes at most 1024 characters"},
    };
    for (const Case &c : cases) {
        TProfile p;
        QString error;
        EXPECT_FALSE(ParseProfile(c.bytes, p, error)) << c.error;
        EXPECT_TRUE(error.startsWith(QString::fromUtf8(c.error))) << "want: " << c.error << "\ngot:  " << error.toStdString();
        EXPECT_TRUE(p.Fields.isEmpty());
    }
    // A byte-order mark and a hex box with hex data are fine.
    TProfile p;
    QString error;
    EXPECT_TRUE(ParseProfile("\xEF\xBB\xBF" + profileWith("\"HeartHex\": true, \"HeartData\": \"0a0B\""), p, error))
        << error.toStdString();
    EXPECT_EQ(p.FieldNames(), (QStringList{"HeartData", "HeartHex"})); // table order
    // The largest values the module's bytes hold are taken.
    EXPECT_TRUE(ParseProfile(profileWith("\"LocalPort\": 65535, \"ShortConnTime\": 255, \"HeartTime\": 65535, "
                                         "\"PollInterval\": 0, \"SubnetMask\": \"255.255.255.255\""),
                             p, error))
        << error.toStdString();
    EXPECT_EQ(p.Fields.size(), 5);
}

TEST(Profile, fileReadingIsBounded)
{
    QTemporaryDir dir;
    TProfile p;
    QString error;
    const QString big = dir.filePath(QStringLiteral("big.json"));
    {
        QFile f(big);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(10 * 1024 * 1024, ' '));
    }
    EXPECT_FALSE(ReadProfileFile(big, p, error));
    EXPECT_EQ(error, QStringLiteral("the file is larger than 65536 bytes"));
    EXPECT_FALSE(ReadProfileFile(QStringLiteral("/dev/zero"), p, error)); // endless: not even opened for reading
    EXPECT_EQ(error, QStringLiteral("the file is a device, not a regular file"));
    // A pipe in place of the file: refused at once, where opening it used to wait for a writer.
    const QString fifo = dir.filePath(QStringLiteral("pipe.json"));
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_FALSE(ReadProfileFile(fifo, p, error));
    EXPECT_EQ(error, QStringLiteral("the file is a pipe, not a regular file"));
    EXPECT_FALSE(ReadProfileFile(dir.filePath(QStringLiteral("missing.json")), p, error));
    EXPECT_TRUE(error.startsWith(QLatin1String("cannot read the file"))) << error.toStdString();

    TProfile good;
    good.Fields = {{"LocalPort", 6001}};
    const QString path = dir.filePath(QStringLiteral("good.json"));
    ASSERT_TRUE(WriteProfileFile(path, good, error)) << error.toStdString();
    ASSERT_TRUE(ReadProfileFile(path, p, error)) << error.toStdString();
    EXPECT_EQ(p, good);
    EXPECT_FALSE(WriteProfileFile(dir.filePath(QStringLiteral("no/such/dir/x.json")), good, error));
}

// The page edited after its read: only what the user changed travels, identity only when asked
// for, and a changed field the write would not carry is named with its reason.
TEST(Profile, changedFieldsCarryOnlyTheEditsAndIdentityWhenAsked)
{
    TLangScope lang;
    TModuleFixture m;
    const TQ2Page read = m.Page;
    EXPECT_TRUE(ChangedQ2Fields(read, m.Page).isEmpty());
    EXPECT_TRUE(ChangedFieldsProfile(read, m.Page, 4017).Fields.isEmpty());

    for (const char *a : {"LocalPort=6001", "Parity=EVEN", "ClearBuffer=1", "ModName=Edited", "StaticIP=10.0.0.8",
                          "HttpdUrl=/x", "Password=newpw"})
        ApplyPageField(m.Page, Q2PageFields(), QString::fromLatin1(a));
    // Typing a value back to what was read is no change.
    ApplyPageField(m.Page, Q2PageFields(), QStringLiteral("LocalPort=") + read.edt_LocalPort0.Text);
    ApplyPageField(m.Page, Q2PageFields(), QStringLiteral("LocalPort=6001"));

    const QStringList changed = ChangedQ2Fields(read, m.Page);
    for (const char *n : {"LocalPort", "Parity", "ClearBuffer", "ModName", "StaticIP", "HttpdUrl", "Password"})
        EXPECT_TRUE(changed.contains(QLatin1String(n))) << n;
    EXPECT_EQ(changed.size(), 7) << changed.join(u' ').toStdString();

    QList<TSkippedField> left;
    const TProfile p = ChangedFieldsProfile(read, m.Page, 4017, {}, &left);
    for (const char *n : {"LocalPort", "Parity", "ClearBuffer", "Password"})
        EXPECT_TRUE(p.FieldNames().contains(QLatin1String(n))) << n;
    EXPECT_EQ(p.Fields.size(), 4) << p.FieldNames().join(u' ').toStdString();
    EXPECT_EQ(reasonOf(left, "StaticIP"), QStringLiteral("identity of the module"));
    EXPECT_EQ(reasonOf(left, "ModName"), QStringLiteral("identity of the module"));
    EXPECT_EQ(reasonOf(left, "HttpdUrl"), QStringLiteral("written only with work mode \"HTTPD Client\""));
    EXPECT_EQ(left.size(), 3);

    // The name ticked: it travels, the address still does not.
    left.clear();
    const TProfile named = ChangedFieldsProfile(read, m.Page, 4017, {QStringLiteral("ModName")}, &left);
    EXPECT_TRUE(named.FieldNames().contains(QStringLiteral("ModName")));
    EXPECT_FALSE(named.FieldNames().contains(QStringLiteral("StaticIP")));
    EXPECT_EQ(reasonOf(left, "StaticIP"), QStringLiteral("identity of the module"));

    // Applied to another module, exactly the changed fields are written.
    TModuleFixture other;
    const TProfileApplied r = ApplyProfile(other.Page, 4017, &named, {});
    EXPECT_EQ(r.Written, named.FieldNames());
    EXPECT_EQ(other.Page.edt_ModName.Text, QStringLiteral("Edited"));
    EXPECT_NE(other.Page.edt_StaticIP.Text, QStringLiteral("10.0.0.8"));
}
