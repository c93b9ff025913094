// The config resolution against OpenSSH's own client: each case's files are given to `ssh -G` and to
// ResolveSshConfig, and what both make of the host must agree. OpenSSH takes `~` and `%d` from the password
// database where we take $HOME, so those cases state our result instead of ssh's.
#include "engine/ssh/SshConfig.h"
#include "testing/TempDir.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <pwd.h>
#include <sstream>
#include <unistd.h>

namespace korvel::test
{
namespace
{

using Settings = std::map<std::string, std::string>;

struct Case
{
    const char* Name;
    const char* Config; // the user file; {dir} is the test's directory, {me} the local user
    const char* Host;
    const char* User = "";
    int Port = 0;
    const char* Stated = ""; // "key value" lines where our rule, not ssh -G, decides
};

const Case Cases[] = {
    {"NegationFirst", "Host !bad.corp *.corp\n  User c\n", "bad.corp"},
    {"NegationInTheMiddle", "Host a.corp !bad.corp *.corp\n  User c\n", "bad.corp"},
    {"NegationLast", "Host *.corp !bad.corp\n  User c\n", "bad.corp"},
    {"NegationLastOtherHost", "Host *.corp !bad.corp\n  User c\n", "ok.corp"},
    {"QuestionMarkAndCommaIsLiteral", "Host db? a,b\n  Port 2222\nHost db1,x\n  User no\n", "db1"},
    {"FirstValueWins", "Host x\n  Port 1\n  User a\nHost *\n  Port 2\n  User b\n  HostName other\n", "x"},
    {"CommandLineWins", "Host x\n  Port 1\n  User a\n", "x", "cli", 2200},
    {"HostNameTokenAndCase", "Host X\n  HostName %h.Example.COM\n", "X"},
    {"MatchHostSeesHostName", "Host x\n  HostName real.example\nMatch host real.*\n  User m\n", "x"},
    {"MatchOriginalHost", "Host x\n  HostName real\nMatch originalhost x\n  Port 2022\n", "x"},
    {"MatchUserList", "Match user bob,!root\n  Port 3\nMatch user alice\n  Port 4\n", "x", "bob"},
    {"MatchLocalUser", "Match localuser {me}\n  IdentitiesOnly yes\n", "x"},
    {"MatchExec",
     "Match exec \"test %h = x\"\n  ServerAliveInterval 1m5\nMatch !exec false\n"
     "  ServerAliveCountMax 9\nMatch exec false\n  Port 7\n",
     "x"},
    {"MatchFinalSeesHostName",
     "Match final host real\n  User fin\nHost x\n  HostName real\nHost real\n  Port 99\n", "x"},
    {"IncludeGlobInPlace", "Host x\n  Include {dir}/inc/*.conf\n  HashKnownHosts yes\nHost *\n  User late\n",
     "x"},
    {"IncludeFromAnInactiveBlockNeverApplies", "Host other\n  Include {dir}/inc/a.conf\nHost *\n  Port 5\n",
     "x"},
    {"IgnoreUnknown", "IgnoreUnknown Foo*\nFooBar 1\nHost x\n  ServerAliveInterval 2m\n", "x"},
    {"CanonicalPassAndMatchAll",
     "Match canonical\n  User canon\nHost x\n  CanonicalizeHostname yes\nMatch all\n  Port 8\n", "x"},
    {"AddressKeepsItsCase", "Host x\n  HostName FE80::A\n", "x"},
    {"IncludeRelativeToHome", "Include rel.conf\n", "x", "", 0, "hostkeyalias rel-alias"},
    {"TokensInKnownHostsFile",
     "Host x\n  User u\n  Port 2200\n  HostKeyAlias ka\n"
     "  UserKnownHostsFile {dir}/%h_%p_%r_%u_%n_%l_%L_%C_%i_%k_%%\n",
     "x"},
    {"TildeAndHomeToken", "IdentityFile ~/.ssh/k1\nIdentityFile %d/k2\nUserKnownHostsFile ~/kh %d/kh2\n", "x",
     "", 0, "identityfile {home}/.ssh/k1 {home}/k2\nuserknownhostsfile {home}/kh {home}/kh2"},
    {"IdentityFilesInOrderOnce",
     "Host x\n  IdentityFile /keys/first\n  IdentityFile /keys/second\nHost *\n  IdentityFile /keys/first\n"
     "  IdentityFile /keys/third\n",
     "x"},
    {"ProxyJumpFirstHopFirst", "Host x\n  ProxyJump a@j1:2222,j2,u@[::1]:2200\n  ProxyCommand ignored\n",
     "x"},
    {"ProxyJumpUrl", "Host x\n  ProxyJump j1,ssh://u@j2:2022\n", "x", "", 0, ""},
    {"ProxyJumpNoneLeavesProxyCommand",
     "Host x\n  ProxyJump none\nHost *\n  ProxyJump j9\n  ProxyCommand nc %h %p\n"
     "  StrictHostKeyChecking accept-new\n",
     "x", "", 0, "proxycommand nc x 22"},
    {"ProxyCommandFirstBlocksProxyJump",
     "Host x\n  ProxyCommand none\n  ProxyJump j1\n  StrictHostKeyChecking no\n", "x"},
    {"SyntaxForms",
     "HOST=x\n  user = \"quoted name\"\n  PORT=2022\n  identityfile \"/path with/key\" # note\n"
     "  stricthostkeychecking=YES\n",
     "x"},
};

std::string Replaced(std::string text, const std::map<std::string, std::string>& values)
{
    for (const auto& [from, to] : values)
        for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
            text.replace(at, from.size(), to);
    return text;
}

std::string LocalUser()
{
    return getpwuid(getuid())->pw_name;
}

// The settings compared, as `ssh -G` prints them.
Settings Ours(const SshHostConfig& config)
{
    static const char* strict[] = {"ask", "true", "accept-new", "false"};
    auto joined = [](const std::vector<std::string>& items)
    {
        std::string text;
        for (const std::string& item : items)
            text += (text.empty() ? "" : " ") + item;
        return text;
    };
    std::string jumps;
    for (const SshJump& hop : config.ProxyJump)
        jumps += (jumps.empty() ? "" : ",") + (hop.User.empty() ? "" : hop.User + "@") +
                 (hop.Host.find(':') != std::string::npos ? "[" + hop.Host + "]" : hop.Host) +
                 (hop.Port ? ":" + std::to_string(hop.Port) : "");
    return {{"hostname", config.HostName},
            {"port", std::to_string(config.Port)},
            {"user", config.User},
            {"identityfile", joined(config.IdentityFiles)},
            {"identitiesonly", config.IdentitiesOnly ? "yes" : "no"},
            {"proxycommand", config.ProxyCommand},
            {"proxyjump", jumps},
            {"stricthostkeychecking", strict[static_cast<int>(config.StrictHostKeyChecking)]},
            {"userknownhostsfile",
             config.UserKnownHostsFiles.empty() ? "none" : joined(config.UserKnownHostsFiles)},
            {"hashknownhosts", config.HashKnownHosts ? "yes" : "no"},
            {"hostkeyalias", config.HostKeyAlias},
            {"serveraliveinterval", std::to_string(config.ServerAliveInterval)},
            {"serveralivecountmax", std::to_string(config.ServerAliveCountMax)}};
}

class SshConfigTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (std::system("ssh -G localhost >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "OpenSSH's client (ssh -G) is not installed";
        std::filesystem::create_directories(dir / "inc");
        std::filesystem::create_directories(dir / ".ssh");
        dir.WriteFile("inc/a.conf", "User from-a\n", 0644);
        dir.WriteFile("inc/b.conf", "Match host nomatch\n  Port 2201\n", 0644);
        dir.WriteFile(".ssh/rel.conf", "HostKeyAlias rel-alias\n", 0644);
        sources = {dir / "config", "/dev/null", dir.Path(), LocalUser(), {}};
    }

    std::string WriteConfig(const std::string& text)
    {
        return dir.WriteFile("config", Replaced(text, {{"{dir}", dir.Path()}, {"{me}", LocalUser()}}), 0644);
    }

    // What `ssh -G` makes of the host with the same files; OpenSSH's default known_hosts are under the
    // password database's home, so ours are handed to it unless the config names its own.
    Settings Theirs(const Case& row, const std::string& config)
    {
        std::string command = "ssh -G -F '" + config + "'";
        if (*row.User)
            command += " -l '" + std::string(row.User) + "'";
        if (row.Port)
            command += " -p " + std::to_string(row.Port);
        if (std::string(row.Config).find("KnownHostsFile") == std::string::npos)
            command += " -o 'UserKnownHostsFile=" + (dir / ".ssh/known_hosts") + " " +
                       (dir / ".ssh/known_hosts2") + "'";
        command += " '" + std::string(row.Host) + "' 2>&1";
        Settings settings = Ours(SshHostConfig{});
        for (auto& [key, value] : settings)
            value.clear();
        FILE* output = popen(command.c_str(), "r");
        std::string all;
        for (std::array<char, 4096> chunk{}; fgets(chunk.data(), chunk.size(), output);)
            all += chunk.data();
        EXPECT_EQ(pclose(output), 0) << all;
        std::istringstream lines(all);
        for (std::string line; std::getline(lines, line);)
        {
            const std::string key = line.substr(0, line.find(' '));
            std::string value = line.substr(std::min(line.size(), key.size() + 1));
            if (!settings.contains(key) || (key == "identityfile" && value == "none"))
                continue;
            if (key == "identityfile" && value.rfind("~/", 0) == 0)
                value = dir.Path() + value.substr(1); // printed unexpanded: our `~` is $HOME
            std::string& slot = settings[key];
            slot += (slot.empty() || key != "identityfile" ? "" : " ") + value;
        }
        std::istringstream stated(Replaced(row.Stated, {{"{home}", dir.Path()}}));
        for (std::string line; std::getline(stated, line);)
            settings[line.substr(0, line.find(' '))] = line.substr(line.find(' ') + 1);
        return settings;
    }

    TempDir dir;
    SshConfigSources sources;
};

TEST_F(SshConfigTest, ResolvesEachHostAsOpenSshDoes)
{
    for (const Case& row : Cases)
    {
        SCOPED_TRACE(row.Name);
        const std::string config = WriteConfig(row.Config);
        EXPECT_EQ(Ours(ResolveSshConfig(row.Host, row.User, row.Port, sources)), Theirs(row, config));
    }
}

// A file we cannot read as OpenSSH would, or a value a shell would act on, is refused naming the place,
// and no command has run.
TEST_F(SshConfigTest, RefusesWhatItCannotReadOrHandToAShell)
{
    const std::string big = "# " + std::string(1 << 20, 'x') + "\n";
    struct Refusal
    {
        std::string Config;
        const char* Host;
        const char* User;
        const char* Place;
    } refusals[] = {
        {"Host x\nMatch exec \"touch {dir}/ran-%r\"\n", "x", "a$(id)b", "config:2"},
        {"Host *\n  ProxyCommand touch {dir}/ran-%r\n", "x", "a;b", "config:2"},
        {"Match exec \"touch {dir}/ran-%h\"\n", "a b", "", "config:1"},
        {"Match exec \"touch {dir}/ran-%n\"\n", "-oProxyCommand=x", "", "config:1"},
        {"ProxyCommand nc %h %Z\n", "x", "", "config:1"},
        {"Host x\n\nMatch address 10.0.0.1\n", "x", "", "config:3"},
        {"Host y\n  Port 0\n", "x", "", "config:2"},
        {"Host x\n  NoSuchKeyword yes\n", "x", "", "config:2"},
        {"Host x\n  User \"open\n", "x", "", "config:2"},
        {"Include {dir}/config\n", "x", "", "config:1"},
        {std::string("Host x\n  User a") + '\0' + "b\n", "x", "", "config:2"},
        {big, "x", "", "config"},
    };
    for (const Refusal& row : refusals)
    {
        SCOPED_TRACE(row.Config.substr(0, 60));
        WriteConfig(row.Config);
        try
        {
            ResolveSshConfig(row.Host, row.User, 0, sources);
            ADD_FAILURE() << "accepted";
        }
        catch (const SshConfigError& error)
        {
            EXPECT_NE(std::string(error.what()).find(dir / row.Place), std::string::npos) << error.what();
        }
    }
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        EXPECT_EQ(entry.path().filename().string().rfind("ran-", 0), std::string::npos) << entry.path();
}

} // namespace
} // namespace korvel::test
