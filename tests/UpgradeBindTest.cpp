// The binding helper: what its command line accepts, what it refuses as a running program, and how
// a program finds it and reads its answer. Nothing here binds a port: the successful hand-over is
// an upgrade as an unprivileged user (tests/e2e/upgrade_unprivileged.sh).

#include "TestUtil.h"
#include "upgrade/BindHelper.h"
#include "upgrade/UpgradeBind.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <arpa/inet.h>
#include <vector>

namespace {

TUpHelperArgs Parse(const std::vector<const char *> &args, const char **why)
{
    TUpHelperArgs out;
    *why = UpParseHelperArgs(int(args.size()), args.data(), out);
    return out;
}

std::string AddressOf(const TUpHelperArgs &a)
{
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a.Address, text, sizeof text);
    return text;
}

// Sets or clears an environment variable for one test.
class TEnvGuard {
public:
    explicit TEnvGuard(const char *name) : FName(name), FWasSet(qEnvironmentVariableIsSet(name)), FOld(qgetenv(name)) {}
    ~TEnvGuard()
    {
        if (FWasSet)
            qputenv(FName, FOld);
        else
            qunsetenv(FName);
    }

private:
    const char *FName;
    bool FWasSet;
    QByteArray FOld;
};

QString WriteScript(const QTemporaryDir &dir, const char *name, const QByteArray &text, bool executable)
{
    const QString path = dir.filePath(QLatin1String(name));
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
    f.close();
    f.setPermissions(executable ? QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner : QFile::ReadOwner);
    return path;
}

} // namespace

TEST(UpgradeBindArgs, acceptsTheUpgradesBindingsOnAnAddress)
{
    const char *why = nullptr;
    TUpHelperArgs a = Parse({"3", "10.77.0.1", "9", "67", "69", "40300", "broadcast:67"}, &why);
    ASSERT_EQ(why, nullptr) << why;
    EXPECT_EQ(a.Fd, 3);
    EXPECT_EQ(AddressOf(a), "10.77.0.1");
    ASSERT_EQ(a.Count, 5);
    const uint16_t ports[] = {9, 67, 69, 40300, 67};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(a.Bindings[i].Port, ports[i]) << i;
        EXPECT_EQ(a.Bindings[i].Broadcast, i == 4) << i;
    }

    a = Parse({"65535", "192.168.1.5", "broadcast:67"}, &why);
    ASSERT_EQ(why, nullptr) << why;
    EXPECT_EQ(a.Fd, 65535);
    ASSERT_EQ(a.Count, 1);
    EXPECT_TRUE(a.Bindings[0].Broadcast);

    // What a program asks for reads back as the same binding.
    for (const TUpBindRequest req : {TUpBindRequest{9, false}, TUpBindRequest{40300, false}, TUpBindRequest{67, true}}) {
        char text[16];
        UpFormatBinding(req, text);
        a = Parse({"3", "127.0.0.1", text}, &why);
        ASSERT_EQ(why, nullptr) << text;
        EXPECT_EQ(a.Bindings[0].Port, req.Port);
        EXPECT_EQ(a.Bindings[0].Broadcast, req.Broadcast);
    }
}

TEST(UpgradeBindArgs, refusesEverythingElse)
{
    const std::string longArg(40, '1');
    const struct {
        std::vector<const char *> Args;
        const char *Why;
    } cases[] = {
        {{}, "too few"},
        {{"3", "127.0.0.1"}, "too few"},
        {{"3", "127.0.0.1", "9", "67", "69", "40300", "broadcast:67", "9"}, "too many"},
        {{"3", "127.0.0.1", longArg.c_str()}, "too long"},
        // FD
        {{"2", "127.0.0.1", "9"}, "FD"},
        {{"0", "127.0.0.1", "9"}, "FD"},
        {{"03", "127.0.0.1", "9"}, "FD"},
        {{"-3", "127.0.0.1", "9"}, "FD"},
        {{"+3", "127.0.0.1", "9"}, "FD"},
        {{"3x", "127.0.0.1", "9"}, "FD"},
        {{"65536", "127.0.0.1", "9"}, "FD"},
        {{"", "127.0.0.1", "9"}, "FD"},
        // ADDRESS
        {{"3", "127.1", "9"}, "ADDRESS"},
        {{"3", "127.0.0.01", "9"}, "ADDRESS"},
        {{"3", "256.0.0.1", "9"}, "ADDRESS"},
        {{"3", "1.2.3.4.5", "9"}, "ADDRESS"},
        {{"3", " 127.0.0.1", "9"}, "ADDRESS"},
        {{"3", "localhost", "9"}, "ADDRESS"},
        {{"3", "::1", "9"}, "ADDRESS"},
        {{"3", "0.0.0.0", "9"}, "unicast"},
        {{"3", "255.255.255.255", "9"}, "unicast"},
        {{"3", "224.0.0.1", "9"}, "unicast"},
        // BINDING
        {{"3", "127.0.0.1", "80"}, "none of"},
        {{"3", "127.0.0.1", "68"}, "none of"},
        {{"3", "127.0.0.1", "0"}, "none of"},
        {{"3", "127.0.0.1", "09"}, "none of"},
        {{"3", "127.0.0.1", "67 "}, "none of"},
        {{"3", "127.0.0.1", "9,67"}, "none of"},
        {{"3", "127.0.0.1", "broadcast:69"}, "none of"},
        {{"3", "127.0.0.1", "Broadcast:67"}, "none of"},
        {{"3", "127.0.0.1", ""}, "none of"},
        {{"3", "127.0.0.1", "67", "69", "67"}, "twice"},
        {{"3", "127.0.0.1", "broadcast:67", "broadcast:67"}, "twice"},
    };
    for (const auto &c : cases) {
        std::string line;
        for (const char *a : c.Args)
            line += std::string("'") + a + "' ";
        const char *why = nullptr;
        Parse(c.Args, &why);
        ASSERT_NE(why, nullptr) << line;
        EXPECT_NE(std::string(why).find(c.Why), std::string::npos) << line << "-> " << why;
    }
}

TEST(UpgradeBindArgs, answersAreReadStrictly)
{
    const auto parse = [](const char *text, TUpHelperReply &r) { return UpParseHelperReply(text, strlen(text), r); };
    TUpHelperReply r;
    ASSERT_TRUE(parse("ok 5", r));
    EXPECT_EQ(r.Answer, TUpHelperAnswer::Ok);
    EXPECT_EQ(r.Count, 5);
    ASSERT_TRUE(parse("error 4 13", r));
    EXPECT_EQ(r.Answer, TUpHelperAnswer::Error);
    EXPECT_EQ(r.Index, 4);
    EXPECT_EQ(r.Errno, 13);
    ASSERT_TRUE(parse("refused ADDRESS is not an address of this machine", r));
    EXPECT_EQ(r.Answer, TUpHelperAnswer::Refused);
    EXPECT_STREQ(r.Text, "ADDRESS is not an address of this machine");

    for (const char *bad : {"", "ok", "ok ", "ok 0", "ok 6", "ok 1 ", "ok 01", "OK 1", "error 5 13", "error 1",
                            "error 1 0", "error 1 13 2", "error -1 13", "refused ", "refused a\nb", "okay 1"})
        EXPECT_FALSE(parse(bad, r)) << '"' << bad << '"';
}

// The helper as a program, given the socket on 3: a refusal binds nothing and hands nothing over.
TEST(UpgradeBindHelper, refusesOtherPortsForeignAddressesGarbageAndAMissingSocket)
{
    const QString helper = QStringLiteral(BEXO_BIND_HELPER_PATH);
    const struct {
        QStringList Args;
        const char *Refusal; // sent over the socket when it is one, else nullptr
    } cases[] = {
        {{"3", "127.0.0.1", "80"}, nullptr},
        {{"3", "127.0.0.1", "68"}, nullptr},
        {{"3", "127.0.0.1", "1024"}, nullptr},
        {{"3", "127.0.0.1", "broadcast:69"}, nullptr},
        {{"3", "127.0.0.1", "nine"}, nullptr},
        {{"3", "127.0.0.1"}, nullptr},
        {{"3", "127.0.0.1", "67", "--verbose"}, nullptr},
        {{"3", "127.0.0.1; true", "67"}, nullptr},
        {{"3", "10.99.99.99", "67"}, "ADDRESS is not an address of this machine"},
        {{"3", "127.0.0.2", "9"}, "ADDRESS is not an address of this machine"},
        {{"9", "127.0.0.1", "67"}, nullptr}, // no descriptor 9: ours is on 3
        {{"4", "127.0.0.1", "9"}, nullptr},
    };
    for (const auto &c : cases) {
        const TBindHelperRun run = ExchangeWithBindHelper(helper, c.Args);
        const std::string line = c.Args.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(run.StartError.isEmpty()) << line;
        EXPECT_EQ(run.ExitCode, 2) << line;
        EXPECT_TRUE(run.Fds.empty()) << line;
        if (c.Refusal) {
            ASSERT_TRUE(run.Answered) << line;
            EXPECT_EQ(run.Reply.Answer, TUpHelperAnswer::Refused) << line;
            EXPECT_STREQ(run.Reply.Text, c.Refusal) << line;
        } else {
            EXPECT_FALSE(run.Answered) << line;
        }
    }
}

TEST(UpgradeBindHelper, isLookedForInTheOverrideBesideTheProgramThenWhereThePackagePutsIt)
{
    TEnvGuard guard("BEXO_BIND_HELPER");
    qunsetenv("BEXO_BIND_HELPER");
    EXPECT_EQ(BindHelperCandidates(),
              (QStringList{QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("bexo-z0-bind")),
                           QStringLiteral(BEXO_BIND_HELPER_INSTALLED_PATH)}));
    qputenv("BEXO_BIND_HELPER", "");
    EXPECT_TRUE(BindHelperCandidates().isEmpty());
    EXPECT_TRUE(FindBindHelper().isEmpty());

    // Only an executable file counts.
    QTemporaryDir dir;
    const QString plain = WriteScript(dir, "plain", "#!/bin/sh\n", false);
    qputenv("BEXO_BIND_HELPER", QFile::encodeName(plain));
    EXPECT_TRUE(FindBindHelper().isEmpty());
    qputenv("BEXO_BIND_HELPER", QFile::encodeName(dir.path()));
    EXPECT_TRUE(FindBindHelper().isEmpty());
    const QString runnable = WriteScript(dir, "runnable", "#!/bin/sh\n", true);
    qputenv("BEXO_BIND_HELPER", QFile::encodeName(runnable));
    EXPECT_EQ(FindBindHelper(), runnable);
}

TEST(UpgradeBindHelper, aHelperWithoutASoundAnswerGivesNoSocketsAndAReason)
{
    QTemporaryDir dir;
    const TUpBindRequest specs[] = {{9, false}, {67, true}};
    in_addr addr{};
    addr.s_addr = htonl(INADDR_LOOPBACK);
    const struct {
        const char *Script;
        const char *Reason;
    } cases[] = {
        {"#!/bin/sh\nexit 3\n", "ended with status 3 without a sound answer"},
        {"#!/bin/sh\nkill -9 $$\n", "ended by signal 9"},
        {"#!/bin/sh\nprintf 'ok 2' >&3\n", "ended with status 0 without a sound answer"}, // no sockets with it
        {"#!/bin/sh\nexec 3>&-; sleep 0.1\n", "without a sound answer"},
    };
    for (const auto &c : cases) {
        const QString path = WriteScript(dir, "helper", c.Script, true);
        int fds[2] = {7, 7};
        const TBindHelperOutcome o = RunBindHelper(path, addr, specs, 2, fds);
        EXPECT_FALSE(o.Ok) << c.Script;
        EXPECT_EQ(fds[0], -1);
        EXPECT_EQ(fds[1], -1);
        EXPECT_TRUE(o.Reason.contains(QLatin1String(c.Reason))) << c.Script << " -> " << o.Reason.toStdString();
        EXPECT_TRUE(o.Reason.contains(path)) << o.Reason.toStdString();
        QFile::remove(path);
    }
}
