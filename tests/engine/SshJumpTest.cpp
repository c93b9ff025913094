// ProxyJump chains reached by us through real OpenSSH servers: each hop's own config, its host key judged
// by our known_hosts rules, its question and refusal in its own name; and SSH servers named by a name that
// stands for IPv6 addresses too.
#include "CaptureError.h"

#include "engine/DataSession.h"
#include "engine/SshTransport.h"
#include "testing/Eventually.h"
#include "testing/HomeAt.h"
#include "testing/RefServer.h"
#include "testing/SshServer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <thread>
#include <unistd.h>

namespace korvel::test
{
namespace
{

SshServerOptions Authorizing(const std::string& key, bool ipv6 = false, bool forwarding = true)
{
    SshServerOptions options;
    options.AuthorizedKeys = {key + ".pub"};
    options.Ipv6 = ipv6;
    options.AllowTcpForwarding = forwarding;
    return options;
}

std::string Generated(const std::string& key)
{
    GenerateKey(key);
    return key;
}

constexpr const char* LastLogLine = "the last line of a log of 2 MiB";

// A KORVEL server whose log is large enough to fill the hops' windows many times over.
RefServerOptions WithLog(const TempDir& home)
{
    RefServerOptions options;
    options.DataDir = home / "data";
    options.ExtraArgs = {"--max-log", "1000000000"};
    std::filesystem::create_directories(options.DataDir);
    std::ofstream log(options.DataDir + "/server.log", std::ios::binary);
    for (int i = 0; i < 32 * 1024; ++i)
        log << "2026-01-01 12:00:00 INFO session " << i << " read 64 bytes of this line, padded.\n";
    log << LastLogLine << "\n";
    return options;
}

// `server`'s known_hosts line with the key of `publicKeyFile` instead of its own.
std::string LineWithKey(const SshServer& server, const std::string& publicKeyFile)
{
    std::ifstream in(publicKeyFile);
    std::string type, key;
    in >> type >> key;
    const std::string own = server.KnownHostsLine();
    return own.substr(0, own.find(' ')) + " " + type + " " + key;
}

class SshJumpTest : public ::testing::Test
{
protected:
    // A remote session to the KORVEL server through the SSH server `host` of the config.
    void Configure(TDataSession& session, const std::string& host, SshAsk ask,
                   std::shared_ptr<Resolver> resolver = SystemResolver())
    {
        SshSettings settings;
        settings.Host = host;
        settings.UseAgent = false;
        session.SetRemote(true);
        session.SetPort(server.AdminPort());
        session.SetUserName(server.Options().AdminUser);
        session.SetPassword(server.Options().AdminPassword);
        session.SetTransportFactory(SshTransportFactory(settings, std::move(ask), std::move(resolver)));
    }

    std::string HostBlock(const std::string& name, const SshServer& server,
                          const std::string& extra = "") const
    {
        return "Host " + name + "\n  HostName " + server.Address() + "\n  Port " +
               std::to_string(server.Port()) + "\n" + extra;
    }

    // ~/.ssh/config: the servers by name, `bastion` through `jumps`, and the key and known_hosts for all.
    void WriteConfig(const std::string& jumps, const std::string& strict)
    {
        std::filesystem::create_directories(home / ".ssh");
        home.WriteFile(".ssh/config",
                       HostBlock("hop1", hop1) + HostBlock("hop6", hop6) + HostBlock("closed", closed) +
                           HostBlock("bastion", bastion, "  ProxyJump " + jumps + "\n") +
                           "Host *\n  IdentityFile " + key + "\n  IdentitiesOnly yes\n  UserKnownHostsFile " +
                           knownHosts + "\n  GlobalKnownHostsFile /dev/null\n  StrictHostKeyChecking " +
                           strict + "\n");
    }

    TempDir home{"korvel-jump-home"};
    const std::string key = Generated(home / "id_ed25519"); // before the servers that take it
    const std::string knownHosts = home / "known_hosts";
    RefServer server{WithLog(home)};
    SshServer hop1{Authorizing(key)};
    SshServer hop6{Authorizing(key, true)};
    SshServer closed{Authorizing(key, false, false)}; // forwards nothing
    SshServer bastion{Authorizing(key)};
};

TEST_F(SshJumpTest, EveryHopIsCheckedAndLoggedInToByUsInTheOrderGiven)
{
    GenerateKey(home / "impostor");
    const std::string impostor = home / "impostor.pub";
    const std::string hop1Name = "hop1 (127.0.0.1:" + std::to_string(hop1.Port()) + ")";
    struct Case
    {
        const char* Name;
        std::string Jumps;
        std::string Strict;
        std::vector<std::string> KnownHosts;
        std::vector<std::string> Says; // in the failure, in order; empty: the request goes through
        int BastionConnections;
        bool Asked = false; // whether the person was asked about hop1's key (and said no)
    };
    const Case cases[] = {
        {"two hops, keys known", "hop1", "yes", {hop1.KnownHostsLine(), bastion.KnownHostsLine()}, {}, 1},
        {"three hops, the second by IPv6",
         "hop1,hop6",
         "yes",
         {hop1.KnownHostsLine(), hop6.KnownHostsLine(), bastion.KnownHostsLine()},
         {},
         1},
        {"first hop's key changed, StrictHostKeyChecking no",
         "hop1",
         "no",
         {LineWithKey(hop1, impostor), bastion.KnownHostsLine()},
         {"WARNING", hop1Name, "has changed: " + knownHosts + ":1"},
         0},
        {"first hop's key revoked beside a valid line",
         "hop1",
         "yes",
         {"@revoked " + hop1.KnownHostsLine(), hop1.KnownHostsLine(), bastion.KnownHostsLine()},
         {hop1Name, "is revoked in " + knownHosts + ":1"},
         0},
        {"first hop unknown, the person says no",
         "hop1",
         "ask",
         {bastion.KnownHostsLine()},
         {hop1Name, "is not known"},
         0,
         true},
        {"last hop's key changed behind a known first hop",
         "hop1",
         "accept-new",
         {hop1.KnownHostsLine(), LineWithKey(bastion, impostor)},
         {"bastion (127.0.0.1:" + std::to_string(bastion.Port()) + ") has changed: " + knownHosts + ":2"},
         1},
        {"a hop that forwards nothing",
         "closed",
         "yes",
         {closed.KnownHostsLine(), bastion.KnownHostsLine()},
         {"The jump host closed (127.0.0.1:" + std::to_string(closed.Port()) +
          ") opened no channel to 127.0.0.1:" + std::to_string(bastion.Port())},
         0},
    };
    const HomeAt homeAt(home.Path());
    for (const Case& row : cases)
    {
        SCOPED_TRACE(row.Name);
        WriteConfig(row.Jumps, row.Strict);
        std::ofstream known(knownHosts, std::ios::trunc);
        for (const std::string& line : row.KnownHosts)
            known << line << "\n";
        known.close();
        const int before = bastion.Connections();
        std::vector<std::string> asked;
        TDataSession session;
        Configure(session, "bastion",
                  [&](const SshQuestion& question, std::string&)
                  {
                      asked.push_back(question.Server);
                      return false;
                  });
        const std::string failure = FailureOf(session);
        if (failure.empty())
        {
            LogText log;
            session.GetLogText(log);
            EXPECT_NE(log.Text().find(LastLogLine), std::string::npos) << "the whole log came through";
        }
        std::size_t at = 0;
        for (const std::string& part : row.Says)
        {
            at = failure.find(part, at);
            EXPECT_NE(at, std::string::npos) << "'" << part << "' in: " << failure;
        }
        EXPECT_EQ(failure.empty(), row.Says.empty()) << failure;
        EXPECT_EQ(bastion.Connections() - before, row.BastionConnections);
        EXPECT_EQ(asked, row.Asked ? std::vector<std::string>{hop1Name} : std::vector<std::string>{});
    }
}

// A cancel or the deadline while the last hop stays silent ends the setup, and the first hop's connection
// with it.
TEST_F(SshJumpTest, ACutOffChainSetupEndsItAndClosesEveryHop)
{
    const HomeAt homeAt(home.Path());
    WriteConfig("hop1", "yes");
    std::ofstream(knownHosts) << hop1.KnownHostsLine() << "\n" << bastion.KnownHostsLine() << "\n";
    bastion.SetSilent(true);
    for (const Interruption cut : {Interruption::Cancelled, Interruption::Expired})
    {
        SCOPED_TRACE(cut == Interruption::Cancelled ? "cancel" : "deadline");
        const int before = bastion.Connections();
        auto interrupt = std::make_shared<CallInterrupt>();
        CallLimits limits;
        limits.Interrupt = interrupt;
        if (cut == Interruption::Expired)
            limits.Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        TDataSession session;
        Configure(session, "bastion", {});
        session.SetConnectTimeoutMs(600'000);
        session.SetCallLimits(limits);
        std::thread canceller(
            [&]
            {
                if (cut == Interruption::Cancelled &&
                    Eventually([&] { return bastion.Connections() > before; }, std::chrono::seconds(60)))
                    interrupt->Cancel();
            });
        EXPECT_NE(FailureOf(session), "");
        canceller.join();
        EXPECT_EQ(session.LastInterruption(), cut);
        EXPECT_TRUE(Eventually([&] { return hop1.OpenConnections() == 0; }, std::chrono::seconds(60)));
    }
}

// A name standing for an IPv4 address nothing listens on and then [::1], where the SSH server listens.
class DualResolver final : public Resolver
{
public:
    explicit DualResolver(std::vector<std::string> addresses) : addresses_(std::move(addresses)) {}
    std::uint32_t ResolveHost(const std::string&) override { return htonl(INADDR_LOOPBACK); }
    std::uint16_t ResolveService(const std::string& name) override { throw TransportError(name); }
    std::vector<HostAddress> ResolveHostAll(const std::string&) override
    {
        std::vector<HostAddress> all;
        for (const std::string& text : addresses_)
        {
            HostAddress& address = all.emplace_back();
            auto* v6 = reinterpret_cast<sockaddr_in6*>(&address.Address);
            auto* v4 = reinterpret_cast<sockaddr_in*>(&address.Address);
            if (inet_pton(AF_INET6, text.c_str(), &v6->sin6_addr) == 1)
                address.Address.ss_family = AF_INET6, address.Size = sizeof(sockaddr_in6);
            else if (inet_pton(AF_INET, text.c_str(), &v4->sin_addr) == 1)
                address.Address.ss_family = AF_INET, address.Size = sizeof(sockaddr_in);
        }
        return all;
    }

private:
    std::vector<std::string> addresses_;
};

TEST_F(SshJumpTest, ANameStandingForIpv6ReachesAnIpv6OnlySshServer)
{
    // 127.0.0.1 at the same port is held bound and not listening: a connect there is refused for sure.
    const int refusing = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in taken{};
    taken.sin_family = AF_INET;
    taken.sin_port = htons(static_cast<std::uint16_t>(hop6.Port()));
    taken.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(refusing, reinterpret_cast<const sockaddr*>(&taken), sizeof taken), 0);
    std::filesystem::create_directories(home / ".ssh");
    home.WriteFile(".ssh/config", "Host *\n  Port " + std::to_string(hop6.Port()) + "\n  IdentityFile " +
                                      key + "\n  UserKnownHostsFile " + knownHosts + "\n");
    const std::string keyText = hop6.KnownHostsLine().substr(hop6.KnownHostsLine().find(' '));
    std::ofstream(knownHosts) << "[dual.test]:" << hop6.Port() << keyText << "\n";
    const HomeAt homeAt(home.Path());
    const std::vector<std::string> rows[] = {{"127.0.0.1", "::1"}, {"::1"}};
    for (const auto& addresses : rows)
    {
        SCOPED_TRACE(addresses.front());
        TDataSession session;
        Configure(session, "dual.test", {}, std::make_shared<DualResolver>(addresses));
        EXPECT_EQ(FailureOf(session), "");
    }
    EXPECT_EQ(hop6.Connections(), 2);
    close(refusing);
}

} // namespace
} // namespace korvel::test
