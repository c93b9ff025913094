#include "engine/ssh/SshAuthentication.h"

#include "engine/TunnelError.h"
#include "engine/ssh/SshConnection.h"
#include "engine/wire/EngineError.h"

#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace korvel
{
namespace
{

constexpr int PassphraseAttempts = 3;
constexpr int PasswordAttempts = 3;
constexpr int PromptRounds = 10; // keyboard-interactive rounds before giving up on a server that never ends

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

// A key file as the config names it: "%d/" is the SSH directory, "~" is $HOME.
std::string Expand(const std::string& path, const std::string& sshDir)
{
    return path.rfind("%d/", 0) == 0 ? sshDir + path.substr(2) : ExpandHome(path);
}

class Authentication
{
public:
    Authentication(SshConnection& connection, const SshSettings& settings, const SshAsk& ask, int timeoutMs,
                   const WaitLimits* limits)
        : connection_(connection), session_(connection.Session()), settings_(settings), ask_(ask),
          timeoutMs_(timeoutMs), limits_(limits)
    {
        user_ = SshOption(session_, SSH_OPTIONS_USER);
    }

    void Run()
    {
        if (Done(Step([this] { return ssh_userauth_none(session_, nullptr); })))
            return;
        const int methods = ssh_userauth_list(session_, nullptr);
        if ((methods & SSH_AUTH_METHOD_PUBLICKEY) != 0)
        {
            if (settings_.UseAgent && Agent())
                return;
            for (const std::string& file : KeyFiles())
                if (KeyFile(file))
                    return;
        }
        if ((methods & SSH_AUTH_METHOD_INTERACTIVE) != 0 && ask_ && KeyboardInteractive())
            return;
        if ((methods & SSH_AUTH_METHOD_PASSWORD) != 0 && ask_ && Password())
            return;
        Refuse(methods);
    }

private:
    template <typename Call> int Step(Call call)
    {
        const std::optional<int> result = connection_.Drive(call, SSH_AUTH_AGAIN, timeoutMs_, limits_);
        if (!result)
            throw TunnelError(TunnelFailure::Unreachable, "The SSH server " + connection_.ServerName() +
                                                              " did not answer within " +
                                                              std::to_string(timeoutMs_ / 1000) + " s");
        if (*result == SSH_AUTH_ERROR)
            throw TunnelError(TunnelFailure::Unreachable,
                              "Lost the SSH server " + connection_.ServerName() +
                                  " while logging in: " + ssh_get_error(session_));
        return *result;
    }

    static bool Done(int result) { return result == SSH_AUTH_SUCCESS; }

    bool Agent()
    {
        const char* agent = std::getenv("SSH_AUTH_SOCK");
        if (!agent || !*agent)
            return false;
        tried_.push_back("agent");
        return Done(Step([this] { return ssh_userauth_agent(session_, nullptr); }));
    }

    // The given key alone; else the config's IdentityFile and the usual keys in the SSH directory.
    std::vector<std::string> KeyFiles() const
    {
        if (!settings_.IdentityFile.empty())
            return {Expand(settings_.IdentityFile, "")};
        const std::string sshDir = SshOption(session_, SSH_OPTIONS_SSH_DIR);
        std::vector<std::string> files;
        if (const std::string first = SshOption(session_, SSH_OPTIONS_IDENTITY); !first.empty())
            files.push_back(Expand(first, sshDir));
        for (const char* name : {"/id_ed25519", "/id_ecdsa", "/id_rsa"})
            if (files.empty() || files.front() != sshDir + name)
                files.push_back(sshDir + name);
        // Only the explicitly named key is reported when missing; absent default keys are simply not there.
        std::erase_if(files, [](const std::string& file) { return access(file.c_str(), F_OK) != 0; });
        return files;
    }

    bool KeyFile(const std::string& file)
    {
        ssh_key publicKey = nullptr;
        if (ssh_pki_import_pubkey_file((file + ".pub").c_str(), &publicKey) == SSH_OK)
        {
            // The server is asked first, so no passphrase is asked for a key it would not take.
            const KeyPtr owned(publicKey);
            if (!Done(Step([&] { return ssh_userauth_try_publickey(session_, nullptr, publicKey); })))
            {
                tried_.push_back("key " + file);
                return false;
            }
        }
        KeyPtr key = Import(file);
        if (!key)
            return false;
        tried_.push_back("key " + file);
        ssh_key privateKey = key.get();
        return Done(Step([&] { return ssh_userauth_publickey(session_, nullptr, privateKey); }));
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
        SshQuestion question;
        question.What = SshQuestion::Kind::Passphrase;
        question.Server = request.Self->connection_.ServerName();
        question.User = request.Self->user_;
        question.KeyFile = *request.File;
        question.Text = "Passphrase for the key " + *request.File + ": ";
        question.Attempt = request.Attempt;
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
                tried_.push_back("key " + file +
                                 (request.Asked ? " (needs its passphrase)" : " (unreadable)"));
                return nullptr;
            }
        }
        tried_.push_back("key " + file + " (wrong passphrase)");
        return nullptr;
    }

    bool KeyboardInteractive()
    {
        tried_.push_back("keyboard-interactive");
        for (int round = 0; round < PromptRounds; ++round)
        {
            const int result = Step([this] { return ssh_userauth_kbdint(session_, nullptr, nullptr); });
            if (result != SSH_AUTH_INFO)
                return Done(result);
            const std::string name = ssh_userauth_kbdint_getname(session_);
            const std::string instruction = ssh_userauth_kbdint_getinstruction(session_);
            const int prompts = ssh_userauth_kbdint_getnprompts(session_);
            for (int i = 0; i < prompts; ++i)
            {
                char echo = 0;
                SshQuestion question;
                question.What = SshQuestion::Kind::Prompt;
                question.Server = connection_.ServerName();
                question.User = user_;
                question.Instruction = name.empty() ? instruction : name + "\n" + instruction;
                question.Text = ssh_userauth_kbdint_getprompt(session_, static_cast<unsigned>(i), &echo);
                question.Echo = echo != 0;
                question.Attempt = round + 1;
                Secret answer;
                if (!ask_(question, answer.Text))
                    Abort();
                ssh_userauth_kbdint_setanswer(session_, static_cast<unsigned>(i), answer.Text.c_str());
            }
        }
        return false;
    }

    bool Password()
    {
        tried_.push_back("password");
        for (int attempt = 1; attempt <= PasswordAttempts; ++attempt)
        {
            SshQuestion question;
            question.What = SshQuestion::Kind::Password;
            question.Server = connection_.ServerName();
            question.User = user_;
            question.Text = user_ + "@" + connection_.ServerName() + "'s SSH password: ";
            question.Attempt = attempt;
            Secret answer;
            if (!ask_(question, answer.Text))
                Abort();
            const char* password = answer.Text.c_str();
            if (Done(Step([&] { return ssh_userauth_password(session_, nullptr, password); })))
                return true;
        }
        return false;
    }

    [[noreturn]] void Refuse(int methods) const
    {
        std::string tried;
        for (const std::string& method : tried_)
            tried += (tried.empty() ? "" : ", ") + method;
        std::string accepted;
        for (auto [flag, name] : {std::pair{SSH_AUTH_METHOD_PUBLICKEY, "publickey"},
                                  std::pair{SSH_AUTH_METHOD_INTERACTIVE, "keyboard-interactive"},
                                  std::pair{SSH_AUTH_METHOD_PASSWORD, "password"},
                                  std::pair{SSH_AUTH_METHOD_GSSAPI_MIC, "gssapi-with-mic"},
                                  std::pair{SSH_AUTH_METHOD_HOSTBASED, "hostbased"}})
            if ((methods & flag) != 0)
                accepted += std::string(accepted.empty() ? "" : ", ") + name;
        throw TunnelError(TunnelFailure::AuthenticationRefused,
                          "The SSH server " + connection_.ServerName() + " refused user " + user_ +
                              " (tried: " + (tried.empty() ? "nothing it accepts" : tried) +
                              "; it accepts: " + (accepted.empty() ? "none" : accepted) + ")");
    }

    SshConnection& connection_;
    ssh_session session_;
    const SshSettings& settings_;
    const SshAsk& ask_;
    const int timeoutMs_;
    const WaitLimits* limits_;
    std::string user_;
    std::vector<std::string> tried_;
};

} // namespace

void Authenticate(SshConnection& connection, const SshSettings& settings, const SshAsk& ask, int timeoutMs,
                  const WaitLimits* limits)
{
    Authentication(connection, settings, ask, timeoutMs, limits).Run();
}

} // namespace korvel
