// The remote session through a real OpenSSH server: its requests on a channel of an SSH session, the
// re-connection through a new SSH session, the waits that a cancel, a deadline or the keepalive end, and the
// failures of each hop in words a person can act on.
#include "CaptureError.h"

#include "engine/DataSession.h"
#include "engine/SshTransport.h"
#include "engine/wire/ErrorCodes.h"
#include "testing/Eventually.h"
#include "testing/PausedServer.h"
#include "testing/RefServer.h"
#include "testing/SshServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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
    // ~/.ssh/config of a $HOME of the test's own: a ProxyJump becomes such a command in libssh.
    const std::string marker = "korvel-proxy-" + std::to_string(getpid());
    std::filesystem::create_directory(home / ".ssh");
    const std::string proxy =
        home.WriteFile("proxy", "#!/bin/bash\nexec -a " + marker + " sleep 86399\n", 0700);
    home.WriteFile(".ssh/config", "Host proxied\n  ProxyCommand " + proxy + "\n");
    const char* oldHome = std::getenv("HOME");
    const std::string kept = oldHome ? oldHome : "";
    setenv("HOME", home.Path().c_str(), 1);

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
    if (oldHome)
        setenv("HOME", kept.c_str(), 1);
    else
        unsetenv("HOME");
    ASSERT_TRUE(error);
    EXPECT_EQ(session.LastInterruption(), Interruption::Cancelled);
    EXPECT_TRUE(Eventually([&] { return !ProcessRuns(marker); }));
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
    EXPECT_EQ(ReadFile(knownHosts), bastion->KnownHostsLine() + "\n");
    // And told where it went, as OpenSSH tells it.
    EXPECT_EQ(asked[1].What, SshQuestion::Kind::HostKeyAdded);
    EXPECT_NE(asked[1].Text.find(knownHosts), std::string::npos) << asked[1].Text;
}

} // namespace
} // namespace korvel::test
