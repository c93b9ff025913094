#include "engine/ssh/SshAuthentication.h"

#include "engine/TunnelError.h"
#include "engine/ssh/SshAgent.h"
#include "engine/ssh/SshConnection.h"
#include "engine/wire/EngineError.h"

#include <libssh/callbacks.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace korvel
{
namespace
{

constexpr int PassphraseAttempts = 3;
constexpr int PromptRounds = 10; // keyboard-interactive rounds before giving up on a server that never ends
constexpr int MethodRounds = 4;  // partial successes followed before giving up on a server that never ends
// Agent keys no key file names, offered at most: OpenSSH servers end the login after 6 failures.
constexpr std::size_t OtherAgentKeys = 5;
constexpr std::size_t BannerLimit = 500;

enum class Outcome
{
    Refused,
    Partial, // the method was taken, the server wants another one too
    Accepted
};

Outcome OutcomeOf(int result)
{
    return result == SSH_AUTH_SUCCESS   ? Outcome::Accepted
           : result == SSH_AUTH_PARTIAL ? Outcome::Partial
                                        : Outcome::Refused;
}

struct KeyFree
{
    void operator()(ssh_key key) const { ssh_key_free(key); }
};
using KeyPtr = std::unique_ptr<std::remove_pointer_t<ssh_key>, KeyFree>;

// A typed secret is wiped once used.
struct Secret
{
    std::string Text;
    ~Secret() { explicit_bzero(Text.data(), Text.size()); }
};

// A path as a person reads it: $HOME written `~`.
std::string Tilde(const std::string& path)
{
    const std::string home = HomeDirectory();
    return !home.empty() && path.rfind(home + "/", 0) == 0 ? "~" + path.substr(home.size()) : path;
}

// One of the files OpenSSH tries when no IdentityFile is configured: a missing one is simply not there.
bool IsDefaultKeyFile(const std::string& path)
{
    const std::string dir = HomeDirectory() + "/.ssh/id_";
    return path.rfind(dir, 0) == 0 &&
           std::ranges::count(
               std::vector<std::string>{"rsa", "ecdsa", "ecdsa_sk", "ed25519", "ed25519_sk", "xmss", "dsa"},
               path.substr(dir.size())) != 0;
}

// "Password: " from the server, for root at bastion: "Password for root@bastion (SSH): ".
std::string HopPrompt(std::string prompt, const std::string& hop)
{
    while (!prompt.empty() &&
           (std::isspace(static_cast<unsigned char>(prompt.back())) || prompt.back() == ':'))
        prompt.pop_back();
    return (prompt.empty() ? "Answer" : prompt) + " for " + hop + " (SSH): ";
}

// The server's banner for a message on one line: control characters become spaces, the length is bounded.
std::string BannerLine(ssh_session session)
{
    char* banner = ssh_get_issue_banner(session);
    std::string text = banner ? banner : "";
    ssh_string_free_char(banner);
    std::ranges::replace_if(
        text, [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }, ' ');
    text.erase(0, text.find_first_not_of(' '));
    text.erase(text.find_last_not_of(' ') + 1);
    return text.size() > BannerLimit ? text.substr(0, BannerLimit) + "..." : text;
}

std::string Joined(const std::vector<std::string>& items)
{
    std::string text;
    for (const std::string& item : items)
        text += (text.empty() ? "" : ", ") + item;
    return text;
}

// The reason a server gives when it ends the connection. libssh keeps it in its error text only until the
// next failed write on the closed socket replaces it (as it does when more keys are offered); its log line
// of the packet is where it stays. libssh's logging is per thread: this thread's is borrowed for the login.
class Farewell
{
public:
    Farewell() : level_(ssh_get_log_level()), callback_(ssh_get_log_callback()), data_(ssh_get_log_userdata())
    {
        ssh_set_log_userdata(this);
        ssh_set_log_callback(&Log);
        ssh_set_log_level(std::max(level_, static_cast<int>(SSH_LOG_PACKET)));
    }
    ~Farewell()
    {
        ssh_set_log_level(level_);
        ssh_set_log_callback(callback_);
        ssh_set_log_userdata(data_);
    }
    Farewell(const Farewell&) = delete;
    Farewell& operator=(const Farewell&) = delete;

    const std::string& Reason() const { return reason_; }

private:
    static void Log(int priority, const char* function, const char* text, void* data)
    {
        auto& self = *static_cast<Farewell*>(data);
        constexpr std::string_view Disconnect = "Received SSH_MSG_DISCONNECT ";
        const std::string_view line = text;
        if (const std::size_t at = line.find(Disconnect); at != std::string_view::npos)
        {
            const std::string_view rest = line.substr(at + Disconnect.size()); // "<code>:<reason>"
            self.reason_ = rest.substr(std::min(rest.find(':') + 1, rest.size()));
        }
        if (self.callback_ && priority <= self.level_)
            self.callback_(priority, function, text, self.data_);
    }

    const int level_;
    const ssh_logging_callback callback_;
    void* const data_;
    std::string reason_;
};

struct KeyFile
{
    std::string Path;
    bool Default = false; // not configured: tried after the agent's keys, never reported missing
    KeyPtr PublicKey;     // from Path.pub, when there is one
    std::string Base64;   // for finding it among the agent's keys
    bool InAgent = false;
};

class Authentication
{
public:
    Authentication(SshConnection& connection, const SshSettings& settings, const SshAsk& ask, int timeoutMs,
                   const WaitLimits* limits)
        : connection_(connection), session_(connection.Session()), config_(connection.Config()),
          settings_(settings), ask_(config_.BatchMode ? SshAsk() : ask), timeoutMs_(timeoutMs),
          limits_(limits)
    {
        user_ = SshOption(session_, SSH_OPTIONS_USER);
        hop_ = user_ + "@" + settings_.Host;
    }

    void Run()
    {
        if (OutcomeOf(Step([this] { return ssh_userauth_none(session_, nullptr); })) == Outcome::Accepted)
            return;
        std::vector<std::string> partial; // methods the server took, wanting another one too
        for (int round = 0; round < MethodRounds; ++round)
        {
            accepted_ = ssh_userauth_list(session_, nullptr);
            const Outcome outcome = TryMethods(partial);
            if (outcome == Outcome::Accepted)
                return;
            if (outcome == Outcome::Refused)
                break;
        }
        Refuse("");
    }

private:
    Outcome TryMethods(std::vector<std::string>& partial)
    {
        static const std::vector<std::pair<std::string, int>> Flags{
            {"publickey", SSH_AUTH_METHOD_PUBLICKEY},
            {"keyboard-interactive", SSH_AUTH_METHOD_INTERACTIVE},
            {"password", SSH_AUTH_METHOD_PASSWORD}};
        const std::vector<std::string> preferred =
            config_.PreferredAuthentications.empty()
                ? std::vector<std::string>{"publickey", "keyboard-interactive", "password"}
                : config_.PreferredAuthentications;
        for (const std::string& method : preferred)
        {
            const auto flag = std::ranges::find(Flags, method, &std::pair<std::string, int>::first);
            if (flag == Flags.end() || (accepted_ & flag->second) == 0 || std::ranges::count(partial, method))
                continue;
            const Outcome outcome = Try(method);
            if (outcome == Outcome::Partial)
            {
                partial.push_back(method);
                methods_.back() += " (partial success)";
            }
            if (outcome != Outcome::Refused)
                return outcome;
        }
        return Outcome::Refused;
    }

    Outcome Try(const std::string& method)
    {
        const bool allowed = method == "publickey"              ? config_.PubkeyAuthentication
                             : method == "keyboard-interactive" ? config_.KbdInteractiveAuthentication && ask_
                                                                : config_.PasswordAuthentication && ask_;
        if (!allowed)
            return Outcome::Refused;
        methods_.push_back(method);
        return method == "publickey"              ? PublicKey()
               : method == "keyboard-interactive" ? KeyboardInteractive()
                                                  : Password();
    }

    template <typename Call> int Step(Call call)
    {
        std::optional<int> result;
        try
        {
            result = connection_.Drive(call, SSH_AUTH_AGAIN, timeoutMs_, limits_);
        }
        catch (const TunnelError&)
        {
            RefuseWithReason(); // the server ended the connection, saying why
            throw;
        }
        if (!result)
            throw TunnelError(TunnelFailure::Unreachable, "The SSH server " + connection_.ServerName() +
                                                              " did not answer within " +
                                                              std::to_string(timeoutMs_ / 1000) + " s");
        if (*result == SSH_AUTH_ERROR)
        {
            RefuseWithReason();
            throw TunnelError(TunnelFailure::Unreachable,
                              "Lost the SSH server " + connection_.ServerName() +
                                  " while logging in: " + ssh_get_error(session_));
        }
        return *result;
    }

    // A server that ends the login says why ("Too many authentication failures"): that is a refusal.
    void RefuseWithReason() const
    {
        if (!farewell_.Reason().empty())
            Refuse(farewell_.Reason());
    }

    // Agent keys of the key files first, then the key files, then the agent's other keys (none with
    // IdentitiesOnly, a few otherwise), then the usual key files nobody configured.
    Outcome PublicKey()
    {
        std::vector<KeyFile> files = KeyFiles();
        std::optional<SshAgentKeys> agent;
        if (const std::string socket = AgentSocket(); !socket.empty())
            agent.emplace(socket);
        const std::vector<AgentKey> agentKeys = agent ? agent->Keys() : std::vector<AgentKey>{};
        std::vector<AgentKey> named, others;
        for (KeyFile& file : files)
            if (const auto key = std::ranges::find(agentKeys, file.Base64, &AgentKey::Base64);
                !file.Base64.empty() && key != agentKeys.end())
            {
                file.InAgent = true;
                if (std::ranges::find(named, file.Base64, &AgentKey::Base64) == named.end())
                    named.push_back(*key);
            }
        for (const AgentKey& key : agentKeys)
            if (!config_.IdentitiesOnly && others.size() < OtherAgentKeys &&
                std::ranges::find(named, key.Blob, &AgentKey::Blob) == named.end())
                others.push_back(key);
        Outcome outcome = Agent(agent, named);
        if (outcome == Outcome::Refused)
            outcome = Files(files, false);
        if (outcome == Outcome::Refused)
            outcome = Agent(agent, others);
        if (outcome == Outcome::Refused)
            outcome = Files(files, true);
        return outcome;
    }

    std::string AgentSocket() const
    {
        const std::string& agent = config_.IdentityAgent;
        if (!settings_.UseAgent || agent == "none")
            return {};
        if (agent.empty() || agent == "SSH_AUTH_SOCK" || agent == "$SSH_AUTH_SOCK")
            return std::getenv("SSH_AUTH_SOCK") ? std::getenv("SSH_AUTH_SOCK") : "";
        if (agent.starts_with("$"))
            return std::getenv(agent.c_str() + 1) ? std::getenv(agent.c_str() + 1) : "";
        return ExpandHome(agent);
    }

    // The given key alone; else the config's key files in order.
    std::vector<KeyFile> KeyFiles() const
    {
        std::vector<KeyFile> files;
        for (const std::string& path :
             settings_.IdentityFile.empty() ? config_.IdentityFiles : std::vector{settings_.IdentityFile})
        {
            KeyFile& file = files.emplace_back();
            file.Path = ExpandHome(path);
            file.Default = settings_.IdentityFile.empty() && IsDefaultKeyFile(file.Path);
            ssh_key key = nullptr;
            if (ssh_pki_import_pubkey_file((file.Path + ".pub").c_str(), &key) == SSH_OK)
                file.PublicKey.reset(key);
            file.Base64 = PublicKeyBase64(key);
        }
        return files;
    }

    Outcome Agent(std::optional<SshAgentKeys>& agent, const std::vector<AgentKey>& keys)
    {
        if (keys.empty())
            return Outcome::Refused;
        for (const AgentKey& key : keys)
            keys_.push_back("agent key " + key.Fingerprint);
        agent->Offer(session_, keys);
        return OutcomeOf(Step([this] { return ssh_userauth_agent(session_, nullptr); }));
    }

    Outcome Files(const std::vector<KeyFile>& files, bool defaults)
    {
        for (const KeyFile& file : files)
            if (file.Default == defaults && !file.InAgent)
                if (const Outcome outcome = TryKeyFile(file); outcome != Outcome::Refused)
                    return outcome;
        return Outcome::Refused;
    }

    Outcome TryKeyFile(const KeyFile& file)
    {
        if (access(file.Path.c_str(), F_OK) != 0)
        {
            if (!file.Default)
                keys_.push_back(Tilde(file.Path) + " (missing)");
            return Outcome::Refused;
        }
        if (file.PublicKey)
        {
            // The server is asked first, so no passphrase is asked for a key it would not take.
            ssh_key publicKey = file.PublicKey.get();
            if (OutcomeOf(Step([&] { return ssh_userauth_try_publickey(session_, nullptr, publicKey); })) !=
                Outcome::Accepted)
            {
                keys_.push_back(Tilde(file.Path));
                return Outcome::Refused;
            }
        }
        KeyPtr key = Import(file.Path);
        if (!key)
            return Outcome::Refused;
        keys_.push_back(Tilde(file.Path));
        ssh_key privateKey = key.get();
        return OutcomeOf(Step([&] { return ssh_userauth_publickey(session_, nullptr, privateKey); }));
    }

    struct PassphraseRequest
    {
        Authentication* Self;
        const std::string* File;
        int Attempt;
        bool Asked = false;
        bool Cancelled = false;
        std::exception_ptr Failure = {}; // raised by the prompt: carried past libssh's C frames, raised after
    };

    // libssh calls this only for a key that is encrypted.
    static int AskPassphrase(const char*, char* buffer, size_t size, int, int, void* data)
    {
        auto& request = *static_cast<PassphraseRequest*>(data);
        request.Asked = true;
        if (!request.Self->ask_)
            return -1;
        SshQuestion question = request.Self->Question(SshQuestion::Kind::Passphrase, request.Attempt);
        question.KeyFile = *request.File;
        question.Text = "Passphrase for " + Tilde(*request.File) + ": ";
        Secret answer;
        try
        {
            if (!request.Self->ask_(question, answer.Text))
            {
                request.Cancelled = true;
                return -1;
            }
        }
        catch (...)
        {
            request.Failure = std::current_exception();
            return -1;
        }
        if (answer.Text.size() >= size)
            return -1;
        std::memcpy(buffer, answer.Text.c_str(), answer.Text.size() + 1);
        return 0;
    }

    KeyPtr Import(const std::string& file)
    {
        for (int attempt = 1; attempt <= PassphraseAttempts; ++attempt)
        {
            PassphraseRequest request{this, &file, attempt};
            ssh_key key = nullptr;
            const int result =
                ssh_pki_import_privkey_file(file.c_str(), nullptr, &AskPassphrase, &request, &key);
            if (result == SSH_OK)
                return KeyPtr(key);
            if (request.Failure)
                std::rethrow_exception(request.Failure);
            if (request.Cancelled)
                Abort();
            if (!request.Asked || !ask_)
            {
                keys_.push_back(Tilde(file) + (request.Asked ? " (needs its passphrase)" : " (unreadable)"));
                return nullptr;
            }
        }
        keys_.push_back(Tilde(file) + " (wrong passphrase)");
        return nullptr;
    }

    SshQuestion Question(SshQuestion::Kind kind, int attempt) const
    {
        SshQuestion question;
        question.What = kind;
        question.Server = connection_.ServerName();
        question.User = user_;
        question.Attempt = attempt;
        return question;
    }

    // The server's banner goes before the first secret it is asked for, as OpenSSH shows it.
    std::string WithBanner(const std::string& instruction)
    {
        if (bannerShown_)
            return instruction;
        bannerShown_ = true;
        const std::string banner = BannerLine(session_);
        return banner.empty() ? instruction : instruction.empty() ? banner : banner + "\n" + instruction;
    }

    Outcome KeyboardInteractive()
    {
        for (int round = 0; round < PromptRounds; ++round)
        {
            const int result = Step([this] { return ssh_userauth_kbdint(session_, nullptr, nullptr); });
            if (result != SSH_AUTH_INFO)
                return OutcomeOf(result);
            const std::string name = ssh_userauth_kbdint_getname(session_);
            const std::string instruction = ssh_userauth_kbdint_getinstruction(session_);
            const int prompts = ssh_userauth_kbdint_getnprompts(session_);
            for (int i = 0; i < prompts; ++i)
            {
                char echo = 0;
                SshQuestion question = Question(SshQuestion::Kind::Prompt, round + 1);
                question.Instruction = WithBanner(name.empty() ? instruction : name + "\n" + instruction);
                question.Text =
                    HopPrompt(ssh_userauth_kbdint_getprompt(session_, static_cast<unsigned>(i), &echo), hop_);
                question.Echo = echo != 0;
                Secret answer;
                if (!ask_(question, answer.Text))
                    Abort();
                ssh_userauth_kbdint_setanswer(session_, static_cast<unsigned>(i), answer.Text.c_str());
            }
        }
        return Outcome::Refused;
    }

    Outcome Password()
    {
        for (int attempt = 1; attempt <= std::max(config_.NumberOfPasswordPrompts, 1); ++attempt)
        {
            SshQuestion question = Question(SshQuestion::Kind::Password, attempt);
            question.Text = "Password for " + hop_ + " (SSH): ";
            question.Instruction = WithBanner("");
            Secret answer;
            if (!ask_(question, answer.Text))
                Abort();
            const char* password = answer.Text.c_str();
            if (const Outcome outcome =
                    OutcomeOf(Step([&] { return ssh_userauth_password(session_, nullptr, password); }));
                outcome != Outcome::Refused)
                return outcome;
        }
        return Outcome::Refused;
    }

    [[noreturn]] void Refuse(const std::string& reason) const
    {
        std::vector<std::string> accepted;
        for (auto [flag, name] : {std::pair{SSH_AUTH_METHOD_PUBLICKEY, "publickey"},
                                  std::pair{SSH_AUTH_METHOD_INTERACTIVE, "keyboard-interactive"},
                                  std::pair{SSH_AUTH_METHOD_PASSWORD, "password"},
                                  std::pair{SSH_AUTH_METHOD_GSSAPI_MIC, "gssapi-with-mic"},
                                  std::pair{SSH_AUTH_METHOD_HOSTBASED, "hostbased"}})
            if ((accepted_ & flag) != 0)
                accepted.emplace_back(name);
        const std::string banner = BannerLine(session_);
        throw TunnelError(TunnelFailure::AuthenticationRefused,
                          "The SSH server " + connection_.ServerName() + " refused user " + user_ +
                              (reason.empty() ? "" : ": " + reason) +
                              " (tried: " + (methods_.empty() ? "nothing it accepts" : Joined(methods_)) +
                              (keys_.empty() ? "" : "; keys tried: " + Joined(keys_)) +
                              "; it accepts: " + (accepted.empty() ? "none" : Joined(accepted)) + ")" +
                              (banner.empty() ? "" : ". Its banner: \"" + banner + "\""));
    }

    SshConnection& connection_;
    ssh_session session_;
    const SshHostConfig& config_;
    const SshSettings& settings_;
    const SshAsk ask_; // none in BatchMode
    const int timeoutMs_;
    const WaitLimits* limits_;
    std::string user_;
    std::string hop_;                  // "root@bastion", as prompts name it
    int accepted_ = 0;                 // the methods the server accepts now
    std::vector<std::string> methods_; // tried, in order
    std::vector<std::string> keys_;    // tried or missing, in order
    bool bannerShown_ = false;
    Farewell farewell_;
};

} // namespace

void Authenticate(SshConnection& connection, const SshSettings& settings, const SshAsk& ask, int timeoutMs,
                  const WaitLimits* limits)
{
    Authentication(connection, settings, ask, timeoutMs, limits).Run();
}

} // namespace korvel
