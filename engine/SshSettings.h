// How a remote session reaches its KORVEL server through an SSH server (a bastion), and what the SSH layer
// may ask a person on the way: whether to trust an unknown host key, a key's passphrase, a password, or the
// prompts of keyboard-interactive authentication.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace korvel
{

struct SshSettings
{
    // Host name, address or ~/.ssh/config alias of the SSH server; empty for a direct TCP connection.
    std::string Host;
    std::int32_t Port = 0; // 0: the config's Port, else 22
    std::string User;      // empty: the config's User, else the local user name
    // Empty: the config's IdentityFile, then ~/.ssh/id_ed25519, id_ecdsa and id_rsa. Given: this key alone.
    std::string IdentityFile;
    std::string KnownHostsFile; // empty: the config's UserKnownHostsFile, else ~/.ssh/known_hosts
    bool UseAgent = true;       // ssh-agent's keys (SSH_AUTH_SOCK) are tried before the key files
    // An unknown host key is trusted and remembered without asking (a changed one never is).
    bool AcceptNewHostKey = false;
    // Like ServerAliveInterval and ServerAliveCountMax: while a reply is awaited, a server silent for this
    // long is sent a keepalive; one that has not answered after this many is taken for dead.
    int KeepAliveSeconds = 15;
    int KeepAliveMisses = 3;

    bool Enabled() const { return !Host.empty(); }
    bool operator==(const SshSettings&) const = default;
};

struct SshQuestion
{
    enum class Kind
    {
        UnknownHostKey, // answer true to trust the key and remember it in known_hosts
        Passphrase,     // the passphrase of KeyFile
        Password,       // the SSH password of User
        Prompt,         // one prompt of keyboard-interactive authentication: Text, typed with Echo
        HostKeyAdded    // a notice, not a question: Text says which key was added to which file
    };
    Kind What = Kind::UnknownHostKey;
    std::string Server;      // the SSH server as the person named it: "bastion:22", "alias (host:22)"
    std::string User;        // the SSH user name
    std::string KeyType;     // UnknownHostKey: "ssh-ed25519", ...
    std::string Fingerprint; // UnknownHostKey: "SHA256:<base64>", as OpenSSH writes it
    std::string KeyFile;     // Passphrase
    std::string Instruction; // Prompt: the server's name and instruction for it (may be empty)
    std::string Text;        // the line to show before the answer
    bool Echo = false;       // whether the answer may be shown as it is typed
    int Attempt = 1;         // 2 and up after a wrong answer
};

// `[USER@]HOST[:PORT]`, as the CLI's --ssh and the exporter's `ssh` take it: nothing when it names no host or
// its port is not one. A host may be an alias of ~/.ssh/config; an IPv6 address stands in brackets when a
// port follows.
std::optional<SshSettings> ParseSshTarget(const std::string& text);
// The text ParseSshTarget reads back as the same user, host and port (0: none).
std::string SshTargetText(const std::string& user, const std::string& host, int port);

// Asked on the thread of the connection. Returns false to refuse (an unknown key) or to cancel (a secret);
// a secret typed is returned in `answer`. A notice (HostKeyAdded) is only shown; its result does not count.
using SshAsk = std::function<bool(const SshQuestion& question, std::string& answer)>;

} // namespace korvel
