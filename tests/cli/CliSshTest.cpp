// korvel-admin-cli through a real OpenSSH server: every page's read on a channel of the SSH session, `~` as
// $HOME for keys, known_hosts and ~/.ssh/config, the agent, key files and a passphrase asked on the terminal,
// and the refusals a person must act on (a wrong key, an unknown or changed host key, a silent bastion).
#include "CliProcess.h"

#include "testing/RefServer.h"
#include "testing/SshAgentProcess.h"
#include "testing/SshServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvel::test
{
namespace
{

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

SshServerOptions Authorizing(const std::vector<std::string>& keys)
{
    SshServerOptions options;
    for (const std::string& key : keys)
        options.AuthorizedKeys.push_back(key + ".pub");
    return options;
}

class CliSshTest : public ::testing::Test
{
protected:
    CliSshTest()
    {
        std::filesystem::create_directory(sshDir);
        chmod(sshDir.c_str(), 0700);
        GenerateKey(homeKey); // found in $HOME/.ssh without being named
        GenerateKey(agentKey);
        GenerateKey(lockedKey, "open sesame");
        GenerateKey(strangerKey);
        bastion = std::make_unique<SshServer>(Authorizing({homeKey, agentKey, lockedKey}));
        Trust(bastion->KnownHostsLine());
    }

    void Trust(const std::string& line) { std::ofstream(knownHosts, std::ios::trunc) << line << "\n"; }

    std::string Target() const { return "127.0.0.1:" + std::to_string(bastion->Port()); }

    // Through the bastion to the server's administration port as the bastion sees it.
    std::vector<std::string> Args(const std::vector<std::string>& command,
                                  const std::vector<std::string>& ssh = {}) const
    {
        std::vector<std::string> all{"--ssh",  Target(), "--port",     std::to_string(server.AdminPort()),
                                     "--user", "admin",  "--password", server.Options().AdminPassword};
        all.insert(all.end(), ssh.begin(), ssh.end());
        all.insert(all.end(), command.begin(), command.end());
        return all;
    }

    // $HOME is the test's directory (the password database names another), profiles are kept there, and
    // no agent of the caller's is used.
    std::vector<std::string> Environment(const std::vector<std::string>& more = {}) const
    {
        std::vector<std::string> all{"HOME=" + home.Path(), "XDG_CONFIG_HOME=" + (home / ".config")};
        all.insert(all.end(), more.begin(), more.end());
        if (std::none_of(more.begin(), more.end(),
                         [](const std::string& entry) { return entry.starts_with("SSH_AUTH_SOCK="); }))
            all.push_back("SSH_AUTH_SOCK=");
        return all;
    }

    CliRun Run(const std::vector<std::string>& command, const std::vector<std::string>& ssh = {},
               const std::vector<std::string>& environment = {}) const
    {
        return RunCli(Args(command, ssh), Environment(environment));
    }

    TempDir home{"korvel-ssh-home"};
    TempDir keys{"korvel-ssh-keys"};
    const std::string sshDir = home / ".ssh";
    const std::string knownHosts = home / ".ssh/known_hosts";
    const std::string homeKey = home / ".ssh/id_ed25519";
    const std::string agentKey = keys / "agent";
    const std::string lockedKey = keys / "locked";
    const std::string strangerKey = keys / "stranger";
    RefServer server{WithPassword("LoginPassword-4711")};
    std::unique_ptr<SshServer> bastion;
};

TEST_F(CliSshTest, EveryPageIsReadThroughTheTunnelAndTheLoginPasswordNeverCrossesTheSshHopInClear)
{
    ASSERT_EQ(Run({"database", "add", "Sales", "--directory", "/data/sales"}).Status, 0);
    for (const std::vector<std::string>& read : {std::vector<std::string>{"status"},
                                                 {"sessions"},
                                                 {"config", "show"},
                                                 {"user", "list"},
                                                 {"database", "list"},
                                                 {"dbuser", "list", "Sales"},
                                                 {"rights"},
                                                 {"log", "--tail", "5"}})
    {
        const CliRun run = Run(read);
        EXPECT_EQ(run.Status, 0) << read[0] << ": " << run.Err;
    }
    EXPECT_EQ(Run({"--json", "database", "list"}).Out, "[\"Sales\"]\n");

    const std::string hop = bastion->Recorded();
    EXPECT_NE(hop.find("SSH-2.0-"), std::string::npos) << "the recorder sees the SSH hop";
    EXPECT_EQ(hop.find("LoginPassword-4711"), std::string::npos);
}

TEST_F(CliSshTest, AHostAliasOfSshConfigGivesTheServerPortUserKeyAndKnownHostsFile)
{
    std::filesystem::rename(homeKey, keys / "aliased");
    std::filesystem::rename(knownHosts, home / ".ssh/bastion_hosts");
    std::ofstream(home / ".ssh/config")
        << "Host bastion\n  HostName 127.0.0.1\n  Port " << bastion->Port() << "\n  User "
        << getpwuid(geteuid())->pw_name << "\n  IdentityFile " << (keys / "aliased")
        << "\n  UserKnownHostsFile ~/.ssh/bastion_hosts\n";
    std::vector<std::string> args = Args({"status"});
    args[1] = "bastion";
    const CliRun run = RunCli(args, Environment());
    EXPECT_EQ(run.Status, 0) << run.Err;
}

TEST_F(CliSshTest, AProfileGoesThroughItsSshServerWithItsKey)
{
    std::filesystem::remove(homeKey);
    const CliRun added = RunCli({"profile", "add", "behind", "--address", "127.0.0.1", "--port",
                                 std::to_string(server.AdminPort()), "--user", "admin", "--ssh", Target(),
                                 "--ssh-identity", agentKey},
                                Environment());
    ASSERT_EQ(added.Status, 0) << added.Err;
    EXPECT_NE(ReadFile(home / ".config/korvel-admin/profiles.ini")
                  .find("SSH Host=127.0.0.1\nSSH Port=" + std::to_string(bastion->Port()) +
                        "\nSSH Identity File=" + agentKey + "\n"),
              std::string::npos);
    const CliRun run = RunCli({"--profile", "behind", "--password", server.Options().AdminPassword, "status"},
                              Environment());
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(bastion->Connections(), 1);
}

TEST_F(CliSshTest, AKeyHeldByTheAgentLogsIn)
{
    std::filesystem::remove(homeKey);
    SshAgentProcess agent(keys / "agent.socket");
    agent.Add(agentKey);
    const CliRun run = Run({"status"}, {}, {agent.Environment()});
    EXPECT_EQ(run.Status, 0) << run.Err;
}

TEST_F(CliSshTest, AKeyTheServerDoesNotTakeIsRefusedNamingWhatWasTried)
{
    const CliRun run = Run({"status"}, {"--ssh-identity", strangerKey});
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Err.find("The SSH server " + Target() + " refused user"), std::string::npos) << run.Err;
    EXPECT_NE(run.Err.find("(tried: publickey; keys tried: " + strangerKey + "; it accepts: publickey)"),
              std::string::npos)
        << run.Err;
}

TEST_F(CliSshTest, AKeysPassphraseIsAskedOnTheTerminalAndAskedAgainWhenWrong)
{
    const TerminalRun run = RunCliOnTerminal(
        Args({"status"}, {"--ssh-identity", lockedKey}),
        {{"Passphrase for " + lockedKey + ": ", "wrong\n"},
         {"Wrong passphrase, try again.\r\nPassphrase for " + lockedKey + ": ", "open sesame\n"}},
        Environment());
    EXPECT_EQ(run.Run.Status, 0) << run.Run.Err << run.Text;
    EXPECT_FALSE(run.EchoOn[0] || run.EchoOn[1]) << "a passphrase is not shown as it is typed";
    EXPECT_EQ(run.Text.find("open sesame"), std::string::npos);
}

TEST_F(CliSshTest, AnUnknownHostKeyIsRefusedNamingItsFingerprintUnlessTheCommandAcceptsIt)
{
    std::filesystem::remove(knownHosts);
    const CliRun refused = Run({"status"});
    EXPECT_EQ(refused.Status, 1);
    EXPECT_NE(refused.Err.find("The host key of the SSH server " + Target() + " is not known: ssh-ed25519 " +
                               bastion->HostKeyFingerprint()),
              std::string::npos)
        << refused.Err;
    EXPECT_NE(refused.Err.find("--ssh-accept-new-host-key"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(knownHosts));

    const CliRun accepted = Run({"status"}, {"--ssh-accept-new-host-key"});
    EXPECT_EQ(accepted.Status, 0) << accepted.Err;
    EXPECT_TRUE(bastion->OnlyKnownHostIn(ReadFile(knownHosts))) << ReadFile(knownHosts);
}

TEST_F(CliSshTest, AChangedHostKeyIsAlwaysRefusedNamingTheHostAndBothFingerprints)
{
    const std::string known = bastion->HostKeyFingerprint();
    const std::string knownLine = bastion->KnownHostsLine();
    bastion->ReplaceHostKey();
    const CliRun run = Run({"status"}, {"--ssh-accept-new-host-key"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Err.find("WARNING: the host key of the SSH server " + Target() +
                           " has changed: " + knownHosts + ":1 holds ssh-ed25519 " + known +
                           " for [127.0.0.1]:" + std::to_string(bastion->Port()) +
                           ", the server offers ssh-ed25519 " + bastion->HostKeyFingerprint()),
              std::string::npos)
        << run.Err;
    EXPECT_EQ(ReadFile(knownHosts), knownLine + "\n") << "the accepted key is not replaced";
}

TEST_F(CliSshTest, ARevokedHostKeyIsRefusedAndNeitherSuggestedNorTakenAsANewOne)
{
    const std::string line = bastion->KnownHostsLine();
    const std::string revoked = "@revoked * " + line.substr(line.find(' ') + 1) + "\n";
    std::ofstream(knownHosts) << revoked;
    for (const std::vector<std::string>& ssh : {std::vector<std::string>{}, {"--ssh-accept-new-host-key"}})
    {
        const CliRun run = Run({"status"}, ssh);
        EXPECT_EQ(run.Status, 1);
        EXPECT_NE(run.Err.find("is revoked in " + knownHosts + ":1"), std::string::npos) << run.Err;
        EXPECT_EQ(run.Err.find("--ssh-accept-new-host-key"), std::string::npos) << run.Err;
        EXPECT_EQ(ReadFile(knownHosts), revoked);
    }
}

TEST_F(CliSshTest, ASilentBastionEndsWithTheTimeOutNamingIt)
{
    bastion->SetSilent(true);
    const CliRun run = Run({"status"}, {"--timeout", "1"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Err, "Could not connect to 127.0.0.1 port " + std::to_string(server.AdminPort()) +
                           " through the SSH server " + Target() + " within 1 seconds (--timeout)\n");
}

} // namespace
} // namespace korvel::test
