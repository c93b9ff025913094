// Logging in to an SSH server as OpenSSH does with the same files: the key files in their order, the agent's
// keys under IdentitiesOnly and MaxAuthTries, a partial success followed to the password, the prompts naming
// their hop and a refusal naming the server's reason, the methods and keys tried and its banner. The server
// is built on libssh's, so no system account is needed for passwords; MaxAuthTries is met at a real sshd,
// which ends the login in place of answering the last failure, as a libssh server cannot.
#include "engine/TunnelError.h"
#include "engine/ssh/SshConnection.h"
#include "testing/LibsshTestServer.h"
#include "testing/SshAgentProcess.h"
#include "testing/SshServer.h"
#include "testing/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <pwd.h>
#include <unistd.h>

namespace korvel::test
{
namespace
{

struct Case
{
    const char* Name;
    std::vector<std::string> Methods; // the server's, in order
    int MaxAuthTries;
    std::vector<std::string> IdentityFiles; // of ~/.ssh: "right", "wrong", "missing"
    bool IdentitiesOnly;
    int WrongAgentKeys;               // held by the agent
    bool AgentHoldsRight;             // added after the wrong ones; its file then keeps only its .pub
    std::vector<std::string> Answers; // typed, in order
    bool LogsIn;
    std::vector<std::string> Words; // in the refusal, or else in the questions asked
    std::string RightKey = "right"; // its file in ~/.ssh: "id_ed25519" is found without being configured
};

void PrintTo(const Case& c, std::ostream* out)
{
    *out << c.Name;
}

const std::string Password = "Bastion-Secret-17";

const Case Cases[] = {
    {"PasswordPromptNamesTheHop",
     {"password"},
     6,
     {},
     false,
     0,
     false,
     {"nope", Password},
     true,
     {"Authorized use only\nPassword for tester@127.0.0.1 (SSH): "}},
    {"KeyboardInteractivePromptNamesTheHop",
     {"keyboard-interactive"},
     6,
     {},
     false,
     0,
     false,
     {Password},
     true,
     {"Authorized use only\nPassword for tester@127.0.0.1 (SSH): "}},
    {"PartialSuccessGoesOnToThePassword",
     {"publickey", "password"},
     6,
     {"right"},
     false,
     0,
     false,
     {Password},
     true,
     {"Password for tester@127.0.0.1 (SSH): "}},
    {"PartialSuccessGoesOnToKeyboardInteractive",
     {"publickey", "keyboard-interactive"},
     6,
     {"right"},
     false,
     0,
     false,
     {Password},
     true,
     {"Password for tester@127.0.0.1 (SSH): "}},
    {"RightKeyFileFirst", {"publickey"}, 6, {"right", "wrong"}, false, 0, false, {}, true, {}},
    {"RightKeyFileSecond", {"publickey"}, 6, {"wrong", "right"}, false, 0, false, {}, true, {}},
    {"KeyFilesComeBeforeTheAgentsOtherKeys", {"publickey"}, 6, {"right"}, false, 8, false, {}, true, {}},
    {"IdentitiesOnlyTakesTheAgentsKeyOfAKeyFile", {"publickey"}, 3, {"right"}, true, 7, true, {}, true, {}},
    {"IdentitiesOnlyOffersNoOtherAgentKey",
     {"publickey"},
     6,
     {"wrong"},
     true,
     2,
     true,
     {},
     false,
     {"(tried: publickey; keys tried: ~/.ssh/wrong; it accepts: publickey)"}},
    {"AMissingKeyFileIsReported",
     {"publickey"},
     6,
     {"missing", "wrong"},
     false,
     0,
     false,
     {},
     false,
     {"keys tried: ~/.ssh/missing (missing), ~/.ssh/wrong;", "Its banner: \"Authorized use only\""}},
    {"AgentKeysAreCappedBeforeTheUsualKeyFiles",
     {"publickey"},
     6,
     {},
     false,
     8,
     false,
     {},
     true,
     {},
     "id_ed25519"},
    {"WrongPasswordsAreRefusedNamingTheMethod",
     {"password"},
     6,
     {},
     false,
     0,
     false,
     {"a", "b", "c"},
     false,
     {"refused user tester (tried: password; it accepts: password)"}},
};

class SshAuthenticationTest : public ::testing::TestWithParam<Case>
{
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(home / ".ssh");
        savedHome_ = Saved("HOME");
        savedAgent_ = Saved("SSH_AUTH_SOCK");
        setenv("HOME", home.Path().c_str(), 1);
        unsetenv("SSH_AUTH_SOCK");
    }
    void TearDown() override
    {
        Restore("HOME", savedHome_);
        Restore("SSH_AUTH_SOCK", savedAgent_);
    }

    static std::optional<std::string> Saved(const char* name)
    {
        const char* value = std::getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    }
    static void Restore(const char* name, const std::optional<std::string>& value)
    {
        value ? setenv(name, value->c_str(), 1) : unsetenv(name);
    }

    std::string Key(const std::string& name) const { return home / (".ssh/" + name); }

    TempDir home{"korvel-ssh-auth"};

private:
    std::optional<std::string> savedHome_, savedAgent_;
};

TEST_P(SshAuthenticationTest, LogsInOrRefusesAsOpenSshWould)
{
    const Case& c = GetParam();
    const std::string right = Key(c.RightKey);
    GenerateKey(right);
    GenerateKey(Key("wrong"));
    LibsshServerOptions options;
    options.Methods = c.Methods;
    options.Password = Password;
    options.AuthorizedKeys = {right + ".pub"};
    options.MaxAuthTries = c.MaxAuthTries;
    options.Banner = "Authorized use only\n";
    LibsshTestServer server(options);

    std::ofstream config(Key("config"));
    for (const std::string& file : c.IdentityFiles)
        config << "IdentityFile ~/.ssh/" << file << "\n";
    config << "IdentitiesOnly " << (c.IdentitiesOnly ? "yes" : "no") << "\n";
    config.close();
    std::unique_ptr<SshAgentProcess> agent;
    if (c.WrongAgentKeys > 0 || c.AgentHoldsRight)
    {
        agent = std::make_unique<SshAgentProcess>(home / "agent.socket");
        for (int i = 0; i < c.WrongAgentKeys; ++i)
        {
            GenerateKey(Key("agent" + std::to_string(i)));
            agent->Add(Key("agent" + std::to_string(i)));
        }
        setenv("SSH_AUTH_SOCK", agent->Socket().c_str(), 1);
    }
    if (c.AgentHoldsRight)
    {
        agent->Add(right);
        std::filesystem::remove(right); // its .pub names it; only the agent can sign
    }
    std::ofstream(home / "known_hosts") << server.KnownHostsLine() << "\n";

    SshSettings settings;
    settings.Host = "127.0.0.1";
    settings.Port = server.Port();
    settings.User = "tester";
    settings.KnownHostsFile = home / "known_hosts";
    std::vector<std::string> answers = c.Answers;
    std::string asked;
    const SshAsk ask = [&](const SshQuestion& question, std::string& answer)
    {
        asked += question.Instruction + "\n" + question.Text + "\n";
        if (answers.empty())
            return false;
        answer = answers.front();
        answers.erase(answers.begin());
        return true;
    };
    std::string refusal;
    try
    {
        SshConnection connection(settings, ask, SystemResolver(), 20000, nullptr);
    }
    catch (const TunnelError& error)
    {
        refusal = error.what();
    }
    EXPECT_EQ(refusal.empty(), c.LogsIn) << refusal;
    for (const std::string& word : c.Words)
        EXPECT_NE((c.LogsIn ? asked : refusal).find(word), std::string::npos)
            << "\"" << word << "\" in: " << refusal << asked;
    EXPECT_TRUE(answers.empty()) << "every answer was asked for";
}

INSTANTIATE_TEST_SUITE_P(Cases, SshAuthenticationTest, ::testing::ValuesIn(Cases),
                         [](const ::testing::TestParamInfo<Case>& info)
                         { return std::string(info.param.Name); });

TEST_F(SshAuthenticationTest, MaxAuthTriesIsNamedWithTheKeysTried)
{
    SshServerOptions options;
    options.MaxAuthTries = 3;
    SshServer server(options); // it knows none of the agent's keys
    SshAgentProcess agent(home / "agent.socket");
    for (int i = 0; i < 8; ++i)
    {
        GenerateKey(Key("agent" + std::to_string(i)));
        agent.Add(Key("agent" + std::to_string(i)));
    }
    setenv("SSH_AUTH_SOCK", agent.Socket().c_str(), 1);
    std::ofstream(home / "known_hosts") << server.KnownHostsLine() << "\n";

    SshSettings settings;
    settings.Host = "127.0.0.1";
    settings.Port = server.Port();
    settings.User = getpwuid(getuid())->pw_name;
    settings.KnownHostsFile = home / "known_hosts";
    std::string refusal;
    try
    {
        SshConnection connection(settings, {}, SystemResolver(), 20000, nullptr);
    }
    catch (const TunnelError& error)
    {
        refusal = error.what();
    }
    EXPECT_NE(
        refusal.find(": Too many authentication failures (tried: publickey; keys tried: agent key SHA256:"),
        std::string::npos)
        << refusal;
}

} // namespace
} // namespace korvel::test
