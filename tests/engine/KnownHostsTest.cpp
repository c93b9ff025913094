// Host keys decided by us from the known_hosts files, for a real sshd's key, and the same files given to
// OpenSSH's own client (`ssh -W`), which must take or refuse the server alike.
#include "engine/ssh/KnownHosts.h"
#include "engine/TunnelError.h"
#include "engine/ssh/SshHostKey.h"
#include "testing/SshServer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sys/stat.h>

namespace korvel::test
{
namespace
{

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string KeyText(const std::string& publicKeyFile)
{
    const std::string key = ReadFile(publicKeyFile);
    return key.substr(0, key.find(' ', key.find(' ') + 1)); // type and key, without the comment
}

enum class Outcome
{
    Accepted, // known: goes on
    Added,    // unknown, accepted and remembered
    Unknown,  // unknown and refused
    Changed,
    Refused // revoked, a certificate authority, or a file that cannot be used
};

struct Case
{
    const char* Name;
    std::string Known1{}, Known2{},
        Global{}; // {host}: "[127.0.0.1]:port", {key}/{other}: the server's / another key
    StrictHostKeys Strict = StrictHostKeys::Ask;
    std::string Alias{};
    bool Hash = false;       // HashKnownHosts yes
    bool HashKnown1 = false; // known1 hashed by ssh-keygen -H first
    Outcome Expected = Outcome::Accepted;
    std::string Says{}; // in the message: a file:line, say
    bool OpenSshToo = true;
};

const char* StrictText(StrictHostKeys strict)
{
    switch (strict)
    {
    case StrictHostKeys::Yes:
        return "yes";
    case StrictHostKeys::AcceptNew:
        return "accept-new";
    case StrictHostKeys::No:
        return "no";
    case StrictHostKeys::Ask:
        break;
    }
    return "ask";
}

class KnownHostsTest : public ::testing::Test
{
protected:
    KnownHostsTest()
    {
        GenerateKey(home / "id");
        GenerateKey(home / "other");
        SshServerOptions options;
        options.AuthorizedKeys = {home / "id.pub"};
        options.Record = false;
        bastion = std::make_unique<SshServer>(options);
        hostName = "[127.0.0.1]:" + std::to_string(bastion->Port());
    }

    std::string Expand(std::string text) const
    {
        text = std::regex_replace(text, std::regex("\\{host\\}"), hostName);
        text = std::regex_replace(text, std::regex("\\{key\\}"), KeyText(bastion->HostPublicKeyFile()));
        return std::regex_replace(text, std::regex("\\{other\\}"), KeyText(home / "other.pub"));
    }

    // The case's files in a directory of their own: each client may add to them.
    std::string WriteFiles(const Case& row, const std::string& name) const
    {
        const std::string dir = home / name;
        std::filesystem::create_directory(dir);
        std::ofstream(dir + "/known1") << Expand(row.Known1);
        std::ofstream(dir + "/known2") << Expand(row.Known2);
        std::ofstream(dir + "/global") << Expand(row.Global);
        if (row.HashKnown1)
        {
            RunProgram({"ssh-keygen", "-q", "-H", "-f", dir + "/known1"});
            std::filesystem::remove(dir + "/known1.old");
        }
        return dir;
    }

    bool OpenSshForwards(const Case& row) const
    {
        const std::string dir = WriteFiles(row, std::string(row.Name) + "-openssh");
        const std::string port = std::to_string(bastion->Port());
        std::vector<std::string> args{"ssh",
                                      "-F",
                                      "/dev/null",
                                      "-o",
                                      "BatchMode=yes",
                                      "-o",
                                      "LogLevel=QUIET",
                                      "-o",
                                      "UpdateHostKeys=no",
                                      "-o",
                                      "IdentitiesOnly=yes",
                                      "-i",
                                      home / "id"};
        for (const std::string& option : {std::string("StrictHostKeyChecking=") + StrictText(row.Strict),
                                          "UserKnownHostsFile=" + dir + "/known1 " + dir + "/known2",
                                          "GlobalKnownHostsFile=" + dir + "/global",
                                          std::string("HashKnownHosts=") + (row.Hash ? "yes" : "no")})
            args.insert(args.end(), {"-o", option});
        if (!row.Alias.empty())
            args.insert(args.end(), {"-o", "HostKeyAlias=" + row.Alias});
        args.insert(args.end(), {"-p", port, "-W", "127.0.0.1:" + port, "127.0.0.1"});
        try
        {
            RunProgram(args); // exits with 255 when it refuses the host or the forwarding
            return true;
        }
        catch (const std::runtime_error&)
        {
            return false;
        }
    }

    TempDir home{"korvel-known-hosts"};
    std::unique_ptr<SshServer> bastion;
    std::string hostName;
};

TEST_F(KnownHostsTest, TheHostKeyIsDecidedFromTheFilesAsOpenSshDecides)
{
    const std::string longLine(70 * 1024, 'a');
    const std::vector<Case> cases{
        {.Name = "known", .Known1 = "{host} {key}\n"},
        {.Name = "changed-no",
         .Known1 = "# old\n{host} {other}\n",
         .Strict = StrictHostKeys::No,
         .Expected = Outcome::Changed,
         .Says = "known1:2"},
        {.Name = "changed-accept-new",
         .Known1 = "# old\n{host} {other}\n",
         .Strict = StrictHostKeys::AcceptNew,
         .Expected = Outcome::Changed,
         .Says = "known1:2"},
        {.Name = "changed-yes",
         .Known1 = "{host} {other}\n",
         .Strict = StrictHostKeys::Yes,
         .Expected = Outcome::Changed,
         .Says = "known1:1"},
        {.Name = "changed-in-global",
         .Global = "{host} {other}\n",
         .Strict = StrictHostKeys::No,
         .Expected = Outcome::Changed,
         .Says = "global:1"},
        {.Name = "revoked-alone",
         .Known1 = "@revoked * {key}\n",
         .Strict = StrictHostKeys::AcceptNew,
         .Expected = Outcome::Refused,
         .Says = "revoked in "},
        {.Name = "revoked-beside-valid",
         .Known1 = "{host} {key}\n",
         .Known2 = "\n@revoked {host} {key}\n",
         .Expected = Outcome::Refused,
         .Says = "known2:2"},
        {.Name = "negated-line-left-out",
         .Known1 = "*,!{host} {other}\n",
         .Strict = StrictHostKeys::AcceptNew,
         .Expected = Outcome::Added},
        {.Name = "hashed", .Known1 = "{host} {key}\n", .Strict = StrictHostKeys::Yes, .HashKnown1 = true},
        {.Name = "hashed-changed",
         .Known1 = "{host} {other}\n",
         .Strict = StrictHostKeys::No,
         .HashKnown1 = true,
         .Expected = Outcome::Changed,
         .Says = "known1:1"},
        {.Name = "port-22-line-is-another-host",
         .Known1 = "127.0.0.1 {other}\n",
         .Strict = StrictHostKeys::Yes,
         .Expected = Outcome::Unknown},
        {.Name = "second-user-file",
         .Known1 = "other.example {other}\n",
         .Known2 = "{host} {key}\n",
         .Strict = StrictHostKeys::Yes},
        {.Name = "host-key-alias",
         .Known1 = "{host} {other}\nbastion-alias {key}\n",
         .Strict = StrictHostKeys::Yes,
         .Alias = "bastion-alias"},
        {.Name = "cert-authority",
         .Known1 = "\n@cert-authority * {other}\n",
         .Expected = Outcome::Refused,
         .Says = "known1:2 names a certificate authority"},
        {.Name = "unknown-refused-by-batch", .Expected = Outcome::Unknown},
        {.Name = "unknown-accept-new-hashed",
         .Known1 = "other.example {other}",
         .Strict = StrictHostKeys::AcceptNew,
         .Hash = true,
         .Expected = Outcome::Added},
        {.Name = "line-too-long",
         .Known1 = "x " + longLine + "\n",
         .Expected = Outcome::Refused,
         .Says = "known1:1 has a line longer than 64 KiB",
         .OpenSshToo = false},
    };
    const auto key = std::unique_ptr<std::remove_pointer_t<ssh_key>, decltype(&ssh_key_free)>(
        [&]
        {
            ssh_key loaded = nullptr;
            ssh_pki_import_pubkey_file(bastion->HostPublicKeyFile().c_str(), &loaded);
            return loaded;
        }(),
        &ssh_key_free);
    ASSERT_TRUE(key);
    for (const Case& row : cases)
    {
        SCOPED_TRACE(row.Name);
        const std::string dir = WriteFiles(row, row.Name);
        SshHostConfig config;
        config.HostName = "127.0.0.1";
        config.Port = bastion->Port();
        config.UserKnownHostsFiles = {dir + "/known1", dir + "/known2"};
        config.GlobalKnownHostsFiles = {dir + "/global"};
        config.StrictHostKeyChecking = row.Strict;
        config.HostKeyAlias = row.Alias;
        config.HashKnownHosts = row.Hash;
        std::vector<SshQuestion> notices;
        const SshAsk ask = [&](const SshQuestion& question, std::string&)
        {
            if (question.What == SshQuestion::Kind::HostKeyAdded)
                notices.push_back(question);
            return false; // as BatchMode: nobody trusts an unknown key
        };
        const std::string before = ReadFile(dir + "/known1");
        std::optional<TunnelError> refusal;
        try
        {
            CheckHostKey(key.get(), "bastion", config, false, ask);
        }
        catch (const TunnelError& error)
        {
            refusal = error;
        }
        const Outcome outcome = !refusal ? (notices.empty() ? Outcome::Accepted : Outcome::Added)
                                : refusal->Kind() == TunnelFailure::HostKeyChanged ? Outcome::Changed
                                : refusal->Kind() == TunnelFailure::HostKeyUnknown ? Outcome::Unknown
                                                                                   : Outcome::Refused;
        EXPECT_EQ(outcome, row.Expected) << (refusal ? refusal->what() : "taken");
        const std::string message = refusal ? refusal->what() : notices.empty() ? "" : notices[0].Text;
        EXPECT_NE(message.find(row.Says), std::string::npos) << message;
        if (outcome == Outcome::Changed)
        {
            EXPECT_NE(message.find(KeyFingerprint(home / "other.pub")), std::string::npos) << message;
            EXPECT_NE(message.find(bastion->HostKeyFingerprint()), std::string::npos) << message;
        }
        if (outcome == Outcome::Added)
        {
            const std::string added = ReadFile(dir + "/known1").substr(before.size());
            const std::string start =
                (before.empty() || before.ends_with('\n') ? "" : "\n") + (row.Hash ? "|1|" : hostName + " ");
            EXPECT_TRUE(added.starts_with(start)) << added;
            EXPECT_EQ(added.find(hostName) == std::string::npos, row.Hash) << added;
            // OpenSSH finds the line we wrote, hashed or not.
            EXPECT_NO_THROW(RunProgram({"ssh-keygen", "-F", hostName, "-f", dir + "/known1"}));
        }
        else
            EXPECT_EQ(ReadFile(dir + "/known1"), before) << "nothing is added";
        if (row.OpenSshToo)
        {
            EXPECT_EQ(OpenSshForwards(row), outcome == Outcome::Accepted || outcome == Outcome::Added);
        }
    }
}

TEST_F(KnownHostsTest, PatternsAreMatchedAsOpenSshMatchesThem)
{
    struct Row
    {
        const char* Patterns;
        std::string Name;
        bool Matches;
    };
    const std::vector<Row> rows{
        {"*.corp,!bad.corp", "good.corp", true},
        {"*.corp,!bad.corp", "bad.corp", false},
        {"!bad.corp,*.corp", "bad.corp", false},
        {"!bad.corp", "good.corp", false},
        {"BASTION", "bastion", true},
        {"bast?on", "bastion", true},
        {"bast?on", "bastin", false},
        {"[h]:2222", KnownHostsName("H", 2222), true},
        {"h", KnownHostsName("h", 2222), false},
        {"a*b*c", "aXbYbZc", true},
        {"a*b*c", "aXbYbZ", false},
        {"", "", false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(KnownHostsPatternsMatch(row.Patterns, row.Name), row.Matches)
            << row.Patterns << " against " << row.Name;
}

TEST_F(KnownHostsTest, FilesOthersMayWriteAndOversizedFilesAreRefusedNamingTheFile)
{
    const std::string writable = home.WriteFile("writable", "", 0600);
    chmod(writable.c_str(), 0664); // past the umask
    const std::string big = home.WriteFile("big", "");
    std::filesystem::resize_file(big, 17 * 1024 * 1024);
    struct Row
    {
        std::string File;
        std::string Says;
        bool Unsafe = true; // refused for writing too
    };
    std::vector<Row> rows{{writable, "may be written by others"}, {big, "larger than 16 MiB", false}};
    if (const std::string foreign = home.WriteFile("foreign", ""); chown(foreign.c_str(), 65534, 65534) == 0)
        rows.push_back({foreign, "belongs to another user"}); // only root can give a file away
    for (const Row& row : rows)
    {
        try
        {
            FindKnownHosts({row.File}, "bastion", true);
            ADD_FAILURE() << row.File << " was read";
        }
        catch (const KnownHostsError& error)
        {
            EXPECT_NE(std::string(error.what()).find(row.File + " "), std::string::npos) << error.what();
            EXPECT_NE(std::string(error.what()).find(row.Says), std::string::npos) << error.what();
        }
        if (row.Unsafe)
        {
            EXPECT_THROW(AppendKnownHostsLine(row.File, "bastion ssh-ed25519 AAAA"), KnownHostsError);
        }
    }
}

} // namespace
} // namespace korvel::test
