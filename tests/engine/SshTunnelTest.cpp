// The remote session through a real OpenSSH server: its requests on a channel of an SSH session, the
// re-connection through a new SSH session, the waits that a cancel, a deadline or the keepalive end, and the
// failures of each hop in words a person can act on.
#include "CaptureError.h"

#include "engine/DataSession.h"
#include "engine/SshTransport.h"
#include "engine/ssh/SshLibraries.h"
#include "engine/wire/ErrorCodes.h"
#include "testing/Eventually.h"
#include "testing/HomeAt.h"
#include "testing/PausedServer.h"
#include "testing/RefServer.h"
#include "testing/SshServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

namespace korvel::test
{
namespace
{

using namespace std::chrono_literals;

// Waits for `condition`, a minute at most (a generous limit: this checks that it happens, not how fast).
template <typename Condition> bool Eventually(Condition condition)
{
    return test::Eventually(condition, 60s);
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

RefServerOptions WithPassword(const std::string& password)
{
    RefServerOptions options;
    options.AdminPassword = password;
    return options;
}

SshServerOptions Authorizing(const std::string& key, bool allowTcpForwarding = true)
{
    SshServerOptions options;
    options.AllowTcpForwarding = allowTcpForwarding;
    options.AuthorizedKeys = {key + ".pub"};
    return options;
}

class SshTunnelTest : public ::testing::Test
{
protected:
    SshTunnelTest()
    {
        GenerateKey(key);
        bastion = std::make_unique<SshServer>(Authorizing(key));
        std::ofstream(knownHosts) << bastion->KnownHostsLine() << "\n";
    }

    SshSettings Settings() const
    {
        SshSettings settings;
        settings.Host = "127.0.0.1";
        settings.Port = bastion->Port();
        settings.IdentityFile = key;
        settings.KnownHostsFile = knownHosts;
        settings.UseAgent = false;
        return settings;
    }

    // A remote session to `port` as seen from the bastion, logged in through it.
    void Configure(TDataSession& session, int port, SshSettings settings, SshAsk ask = {})
    {
        session.SetRemote(true);
        session.SetPort(port);
        session.SetUserName(server.Options().AdminUser);
        session.SetPassword(server.Options().AdminPassword);
        session.SetTransportFactory(SshTransportFactory(std::move(settings), std::move(ask)));
    }

    TempDir home{"korvel-ssh-home"};
    const std::string key = home / "id_ed25519";
    const std::string knownHosts = home / "known_hosts";
    RefServer server{WithPassword("LoginPassword-4711")};
    std::unique_ptr<SshServer> bastion;
};

TEST_F(SshTunnelTest, RequestsGoThroughTheChannelAndTheLoginPasswordNeverCrossesInClear)
{
    TDataSession session;
    Configure(session, server.AdminPort(), Settings());
    session.Connect();
    session.Login();
    StringList users;
    session.GetUserNames(users);
    EXPECT_EQ(users, StringList{"admin"});
    LogText log;
    session.GetLogText(log);
    EXPECT_GT(log.LineCount(), 0u);

    const std::string hop = bastion->Recorded();
    EXPECT_NE(hop.find("SSH-2.0-"), std::string::npos) << "the recorder sees the SSH hop";
    EXPECT_EQ(hop.find("LoginPassword-4711"), std::string::npos);
}

TEST_F(SshTunnelTest,
       AfterTheSshServerDiedTheNextRequestReconnectsThroughANewSshSessionToTheSameServerSession)
{
    TDataSession session;
    Configure(session, server.AdminPort(), Settings());
    session.Connect();
    session.Login();
    const std::int32_t sessionId = session.SessionId();
    session.GetUpTime();

    bastion->KillSessions();
    session.GetUpTime(); // a server that no longer knew the session would refuse the RECONNECT
    EXPECT_EQ(bastion->Connections(), 2);
    EXPECT_EQ(session.SessionId(), sessionId);
    EXPECT_FALSE(session.ReconnectRefused());
}

TEST_F(SshTunnelTest,
       ABastionThatStopsAnsweringIsTakenForDeadAfterItsKeepalivesAndTheRequestGoesThroughANewOne)
{
    SshSettings settings = Settings();
    settings.KeepAliveSeconds = 1;
    settings.KeepAliveMisses = 2;
    TDataSession session;
    Configure(session, server.AdminPort(), settings);
    session.Connect();
    session.Login();

    bastion->PauseSessions();
    session.GetUpTime(); // no limit set: only the keepalive ends the wait
    EXPECT_EQ(bastion->Connections(), 2);
}

TEST_F(SshTunnelTest, ASlowServerBehindABastionThatAnswersItsKeepalivesIsWaitedFor)
{
    SshSettings settings = Settings();
    settings.KeepAliveSeconds = 1;
    settings.KeepAliveMisses = 1;
    TDataSession session;
    Configure(session, server.AdminPort(), settings);
    session.Connect();
    session.Login();

    auto paused = std::make_unique<PausedServer>(server.Pid());
    std::thread request([&] { session.GetUpTime(); });
    // Several keepalive rounds on the hop, more than the misses allowed, while the KORVEL server is silent.
    std::size_t recorded = bastion->Recorded().size();
    int rounds = 0;
    EXPECT_TRUE(Eventually(
        [&]
        {
            const std::size_t now = bastion->Recorded().size();
            rounds += now != recorded;
            recorded = now;
            return rounds >= 6;
        }));
    paused.reset();
    request.join();
    EXPECT_EQ(bastion->Connections(), 1);
}

// A step on a frozen bastion cut short by a cancel or the deadline gives its SSH session up: the next
// request goes through a new one (new connections to the bastion still pass, as when it heals).
TEST_F(SshTunnelTest, AStepCutShortOnAFrozenBastionLeavesTheNextRequestToANewSshSession)
{
    enum class Cut
    {
        CancelDuringARead,
        DeadlineDuringARead,
        DeadlineWhileOpeningAChannel
    };
    const std::pair<Cut, const char*> cuts[] = {
        {Cut::CancelDuringARead, "cancel during a read"},
        {Cut::DeadlineDuringARead, "deadline during a read"},
        {Cut::DeadlineWhileOpeningAChannel, "deadline opening a channel"}};
    for (const auto& [cut, name] : cuts)
    {
        SCOPED_TRACE(name);
        SshServer frozen(Authorizing(key));
        std::ofstream(knownHosts, std::ios::app) << frozen.KnownHostsLine() << "\n";
        SshSettings settings = Settings();
        settings.Port = frozen.Port();
        TDataSession session;
        Configure(session, server.AdminPort(), settings);
        session.Connect();
        session.Login();
        if (cut == Cut::DeadlineWhileOpeningAChannel)
            session.Disconnect(); // the next request opens a channel on the kept SSH session
        frozen.PauseSessions();

        auto interrupt = std::make_shared<CallInterrupt>();
        CallLimits limits;
        if (cut == Cut::CancelDuringARead)
            limits.Interrupt = interrupt;
        else
            limits.TimeoutMs = 300;
        session.SetCallLimits(limits);
        const std::size_t recorded = frozen.Recorded().size();
        std::thread canceller(
            [&]
            {
                if (cut != Cut::CancelDuringARead)
                    return;
                Eventually([&] { return frozen.Recorded().size() > recorded; }); // the request went out
                interrupt->Cancel();
            });
        EXPECT_TRUE(CaptureEngineError([&] { session.GetUpTime(); }));
        canceller.join();

        session.SetCallLimits({});
        session.GetUpTime();
        EXPECT_EQ(frozen.Connections(), 2);
    }
}

// The descriptors of the process: sockets, pipes and files alike.
std::size_t OpenDescriptors()
{
    const auto entries = std::filesystem::directory_iterator("/proc/self/fd");
    return static_cast<std::size_t>(std::distance(entries, std::filesystem::directory_iterator()));
}

// Each way an SSH setup can be cut off closes the socket it opened, here and at the bastion.
TEST_F(SshTunnelTest, ACutOffSshSetupLeavesNoSocketOpen)
{
    enum class Cut
    {
        CancelDuringTheVersionExchange, // the bastion accepts and never answers
        DeadlineDuringAuthentication    // the bastion freezes once its host key is known
    };
    constexpr int Setups = 20;
    const std::pair<Cut, const char*> cuts[] = {
        {Cut::CancelDuringTheVersionExchange, "cancel during the version exchange"},
        {Cut::DeadlineDuringAuthentication, "deadline during authentication"}};
    for (const auto& [cut, name] : cuts)
    {
        SCOPED_TRACE(name);
        SshServer cutOff(Authorizing(key));
        cutOff.SetSilent(cut == Cut::CancelDuringTheVersionExchange);
        auto setUp = [&]
        {
            std::ofstream(knownHosts, std::ios::trunc).close();
            SshSettings settings = Settings();
            settings.Port = cutOff.Port();
            auto interrupt = std::make_shared<CallInterrupt>();
            CallLimits limits;
            if (cut == Cut::CancelDuringTheVersionExchange)
                limits.Interrupt = interrupt;
            else
                limits.TimeoutMs = 300;
            TDataSession session;
            Configure(session, server.AdminPort(), settings,
                      [&](const SshQuestion&, std::string&)
                      {
                          cutOff.PauseSessions();
                          return true;
                      });
            session.SetCallLimits(limits);
            const int connections = cutOff.Connections();
            std::thread canceller(
                [&]
                {
                    if (cut != Cut::CancelDuringTheVersionExchange)
                        return;
                    Eventually([&] { return cutOff.Connections() > connections; });
                    interrupt->Cancel();
                });
            EXPECT_TRUE(CaptureEngineError([&] { session.Connect(); }));
            canceller.join();
        };
        setUp(); // libssh's and the resolver's own first-use descriptors
        EXPECT_TRUE(Eventually([&] { return cutOff.OpenConnections() == 0; }));
        const std::size_t before = OpenDescriptors();
        for (int setup = 0; setup < Setups; ++setup)
            setUp();
        EXPECT_TRUE(Eventually([&] { return cutOff.OpenConnections() == 0; })) << cutOff.OpenConnections();
        EXPECT_EQ(OpenDescriptors(), before);
        EXPECT_EQ(cutOff.Connections(), Setups + 1);
    }
}

TEST_F(SshTunnelTest, ACancelEndsTheSshConnectToASilentBastion)
{
    bastion->SetSilent(true);
    auto interrupt = std::make_shared<CallInterrupt>();
    TDataSession session;
    Configure(session, server.AdminPort(), Settings());
    session.SetConnectTimeoutMs(600'000);
    CallLimits limits;
    limits.Interrupt = interrupt;
    session.SetCallLimits(limits);
    std::thread canceller(
        [&]
        {
            Eventually([&] { return bastion->Connections() == 1; });
            interrupt->Cancel();
        });
    const auto error = CaptureEngineError([&] { session.Connect(); });
    canceller.join();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->ErrorCode, KORVEL_REMOTECONNECT);
    EXPECT_EQ(session.LastInterruption(), Interruption::Cancelled);
}

// Whether a process whose command line starts with `name` runs.
bool ProcessRuns(const std::string& name)
{
    for (const auto& entry : std::filesystem::directory_iterator("/proc"))
        if (ReadFile(entry.path() / "cmdline").starts_with(name))
            return true;
    return false;
}

TEST_F(SshTunnelTest, ACancelEndsTheProxyCommandOfAnSshConfigHost)
{
    // ~/.ssh/config of a $HOME of the test's own.
    const std::string marker = "korvel-proxy-" + std::to_string(getpid());
    std::filesystem::create_directory(home / ".ssh");
    const std::string proxy =
        home.WriteFile("proxy", "#!/bin/bash\nexec -a " + marker + " sleep 86399\n", 0700);
    home.WriteFile(".ssh/config", "Host proxied\n  ProxyCommand " + proxy + "\n");
    const HomeAt homeAt(home.Path());

    SshSettings settings = Settings();
    settings.Host = "proxied";
    settings.Port = 0;
    auto interrupt = std::make_shared<CallInterrupt>();
    TDataSession session;
    Configure(session, server.AdminPort(), settings);
    session.SetConnectTimeoutMs(600'000);
    CallLimits limits;
    limits.Interrupt = interrupt;
    session.SetCallLimits(limits);
    std::thread canceller(
        [&]
        {
            Eventually([&] { return ProcessRuns(marker); });
            interrupt->Cancel();
        });
    const auto error = CaptureEngineError([&] { session.Connect(); });
    canceller.join();
    ASSERT_TRUE(error);
    EXPECT_EQ(session.LastInterruption(), Interruption::Cancelled);
    EXPECT_TRUE(Eventually([&] { return !ProcessRuns(marker); }));
}

// The ProxyCommand of a config host runs as our child: with our $HOME, its words in the failure, the user
// name checked before a shell sees it, and its process group ended with the setup, SIGTERM or not.
TEST_F(SshTunnelTest, AProxyCommandRunsAsOurChildAndEndsWithTheSetup)
{
    const std::string name = "korvel-stubborn-" + std::to_string(getpid());
    const std::string ran = home / "ran";
    const std::string stubborn =
        home.WriteFile("stubborn", "#!/bin/bash\ntrap '' TERM\nexec -a " + name + " sleep 86399\n", 0700);
    const std::string sshW = "ssh -F /dev/null -o BatchMode=yes -o IdentitiesOnly=yes -i " + key +
                             " -o UserKnownHostsFile=" + knownHosts +
                             " -o GlobalKnownHostsFile=/dev/null -p " + std::to_string(bastion->Port()) +
                             " 127.0.0.1 -W %h:%p";
    struct Case
    {
        const char* Name;
        std::string Command;
        std::string User;     // empty: the local user
        std::string Says;     // in the failure's message; empty: the request goes through
        bool Expires = false; // the deadline ends it
    };
    const Case cases[] = {
        {"ssh -W through the bastion", sshW, "", ""},
        {"its words name the failure", "echo \"$HOME: Could not resolve hostname j2\" >&2; exit 255", "",
         home.Path() + ": Could not resolve hostname j2"},
        {"a child ignoring SIGTERM", stubborn, "", "", true},
        {"a user name a shell would run", "echo %r", "a$(touch " + ran + ")b",
         "holds characters a shell would act on"},
    };
    std::filesystem::create_directory(home / ".ssh");
    const HomeAt homeAt(home.Path());
    for (const Case& row : cases)
    {
        SCOPED_TRACE(row.Name);
        home.WriteFile(".ssh/config", "Host proxied\n  HostName 127.0.0.1\n  Port " +
                                          std::to_string(bastion->Port()) + "\n  ProxyCommand " +
                                          row.Command + "\n");
        SshSettings settings = Settings();
        settings.Host = "proxied";
        settings.Port = 0;
        settings.User = row.User;
        TDataSession session;
        Configure(session, server.AdminPort(), settings);
        CallLimits limits;
        limits.TimeoutMs = row.Expires ? 300 : 0;
        session.SetCallLimits(limits);
        const std::string said = FailureOf(session);
        if (row.Says.empty() && !row.Expires)
            EXPECT_EQ(said, "");
        else
            EXPECT_NE(said.find(row.Says), std::string::npos) << said;
        EXPECT_EQ(session.LastInterruption(), row.Expires ? Interruption::Expired : Interruption::None);
        EXPECT_TRUE(Eventually([&] { return !ProcessRuns(name); }));
        EXPECT_FALSE(std::filesystem::exists(ran));
    }
}

TEST_F(SshTunnelTest, ADeadlineEndsAChannelReadWhileTheBastionIsStopped)
{
    TDataSession session;
    Configure(session, server.AdminPort(), Settings());
    session.Connect();
    session.Login();
    bastion->PauseSessions();
    CallLimits limits;
    limits.TimeoutMs = 300;
    session.SetCallLimits(limits);
    const auto error = CaptureEngineError([&] { session.GetUpTime(); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->ErrorCode, KORVEL_REMOTECOMMLOST);
    EXPECT_EQ(session.LastInterruption(), Interruption::Expired);
}

// The failure of each hop, raised as the connection failure with a message of its own.
std::optional<ETunnelError> CaptureTunnelError(TDataSession& session)
{
    try
    {
        session.Connect();
    }
    catch (const ETunnelError& error)
    {
        EXPECT_EQ(error.ErrorCode, KORVEL_REMOTECONNECT);
        return error;
    }
    catch (const std::exception& other)
    {
        ADD_FAILURE() << "not a failure of the SSH hop: " << other.what();
        return std::nullopt;
    }
    ADD_FAILURE() << "the connection did not fail";
    return std::nullopt;
}

TEST_F(SshTunnelTest, EachHopFailsWithItsOwnMessage)
{
    const std::string bastionName = "127.0.0.1:" + std::to_string(bastion->Port());
    {
        RefServer stopped;
        const int port = stopped.AdminPort();
        stopped.Stop();
        TDataSession session;
        Configure(session, port, Settings());
        const auto error = CaptureTunnelError(session);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->Kind, TunnelFailure::TargetRefused);
        EXPECT_EQ(std::string(error->what()), "Behind the SSH server " + bastionName +
                                                  ", the KORVEL server 127.0.0.1:" + std::to_string(port) +
                                                  " cannot be reached: Connection refused");
    }
    {
        SshServer noForwarding(Authorizing(key, false));
        std::ofstream(knownHosts, std::ios::app) << noForwarding.KnownHostsLine() << "\n";
        SshSettings settings = Settings();
        settings.Port = noForwarding.Port();
        TDataSession session;
        Configure(session, server.AdminPort(), settings);
        const auto error = CaptureTunnelError(session);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->Kind, TunnelFailure::ForwardingRefused);
        EXPECT_NE(
            std::string(error->what())
                .find("refused to forward a connection to 127.0.0.1:" + std::to_string(server.AdminPort())),
            std::string::npos)
            << error->what();
    }
    {
        SshSettings settings = Settings();
        settings.Port = std::make_unique<SshServer>()->Port(); // closed once that server is gone
        TDataSession session;
        Configure(session, server.AdminPort(), settings);
        const auto error = CaptureTunnelError(session);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->Kind, TunnelFailure::Unreachable);
        EXPECT_EQ(std::string(error->what()), "Cannot reach the SSH server 127.0.0.1:" +
                                                  std::to_string(settings.Port) + ": Connection refused");
    }
}

// libssh and libcrypto are opened at the first connection: without either, the SSH server cannot be reached,
// and the loader says why.
TEST(SshLibrariesTest, AMissingLibraryMakesTheSshServerUnreachableSayingWhy)
{
    const std::pair<const char*, const char*> libraries[] = {{"libssh-absent.so.4", "libcrypto.so.3"},
                                                             {"libssh.so.4", "libcrypto-absent.so.3"}};
    for (const auto& [sshName, cryptoName] : libraries)
    {
        SCOPED_TRACE(sshName);
        platform::OnDemandLibrary ssh(sshName);
        platform::OnDemandLibrary crypto(cryptoName);
        const std::string missing = ssh.Available() ? cryptoName : sshName;
        try
        {
            RequireSshLibraries(ssh, crypto, "bastion.example");
            ADD_FAILURE() << "no TunnelError";
        }
        catch (const TunnelError& error)
        {
            EXPECT_EQ(error.Kind(), TunnelFailure::Unreachable);
            EXPECT_EQ(std::string(error.what()),
                      "Cannot reach the SSH server bastion.example: SSH is not available on this computer (" +
                          missing + ": cannot open shared object file: No such file or directory)");
        }
    }
}

// IPv6 on either side of the bastion: its own address, and the KORVEL server's name it connects to.
TEST_F(SshTunnelTest, IPv6AddressesReachTheBastionAndNameTheServerBehindIt)
{
    SshServerOptions onIpv6 = Authorizing(key);
    onIpv6.Ipv6 = true;
    SshServer bastion6(onIpv6);
    std::ofstream(knownHosts, std::ios::app) << bastion6.KnownHostsLine() << "\n";
    struct Case
    {
        const char* Name;
        SshServer& Bastion;
        std::string Server; // the KORVEL server's address, as the bastion is to reach it
        std::string Says;   // in the failure's message; empty: the request goes through
    };
    const std::string port = std::to_string(server.AdminPort());
    const Case cases[] = {
        {"a bastion on [::1]", bastion6, "127.0.0.1", ""},
        {"a server at [::1] behind the bastion", *bastion, "::1",
         "the KORVEL server [::1]:" + port + " cannot be reached: Connection refused"},
    };
    for (const Case& row : cases)
    {
        SCOPED_TRACE(row.Name);
        SshSettings settings = Settings();
        settings.Host = row.Bastion.Address();
        settings.Port = row.Bastion.Port();
        TDataSession session;
        Configure(session, server.AdminPort(), settings);
        session.SetHostName(row.Server);
        const std::string said = FailureOf(session);
        if (row.Says.empty())
            EXPECT_EQ(said, "");
        else
            EXPECT_NE(said.find(row.Says), std::string::npos) << said;
        EXPECT_EQ(row.Bastion.Connections(), 1);
    }
}

TEST_F(SshTunnelTest, AnUnknownHostKeyTrustedByThePersonIsRememberedInKnownHosts)
{
    std::ofstream(knownHosts, std::ios::trunc).close();
    std::vector<SshQuestion> asked;
    TDataSession session;
    Configure(session, server.AdminPort(), Settings(),
              [&](const SshQuestion& question, std::string&)
              {
                  asked.push_back(question);
                  return true;
              });
    session.Connect();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].What, SshQuestion::Kind::UnknownHostKey);
    EXPECT_EQ(asked[0].KeyType, "ssh-ed25519");
    EXPECT_EQ(asked[0].Fingerprint, bastion->HostKeyFingerprint());
    EXPECT_TRUE(bastion->OnlyKnownHostIn(ReadFile(knownHosts))) << ReadFile(knownHosts);
    EXPECT_EQ(asked[1].What, SshQuestion::Kind::HostKeyAdded);
    EXPECT_NE(asked[1].Text.find(knownHosts), std::string::npos) << asked[1].Text;
}

} // namespace
} // namespace korvel::test
