#include "engine/ssh/SshHostKey.h"

#include "engine/TunnelError.h"
#include "engine/ssh/KnownHosts.h"
#include "engine/ssh/SshConnection.h"

#include <memory>
#include <optional>

namespace korvel
{
namespace
{

struct KeyFree
{
    void operator()(ssh_key key) const { ssh_key_free(key); }
};
using KeyPtr = std::unique_ptr<std::remove_pointer_t<ssh_key>, KeyFree>;

// The key a line holds; nothing for a line libssh cannot read (passed over, as OpenSSH does).
KeyPtr LineKey(const KnownHostsEntry& entry)
{
    ssh_key key = nullptr;
    if (ssh_pki_import_pubkey_base64(entry.KeyBase64.c_str(), ssh_key_type_from_name(entry.KeyType.c_str()),
                                     &key) != SSH_OK)
        return nullptr;
    return KeyPtr(key);
}

// What known_hosts says about a key for one host.
struct Verdict
{
    bool Known = false;
    std::optional<KnownHostsEntry> Revoked;
    std::optional<KnownHostsEntry> Changed; // the first line with another key for the host
    std::string ChangedFingerprint;
    std::optional<KnownHostsEntry> Authority;
};

Verdict Judge(ssh_key key, const std::vector<KnownHostsEntry>& entries)
{
    Verdict verdict;
    for (const KnownHostsEntry& entry : entries)
    {
        const KeyPtr known = LineKey(entry);
        if (!known)
            continue;
        const bool same = ssh_key_cmp(known.get(), key, SSH_KEY_CMP_PUBLIC) == 0;
        if (entry.Marker == KnownHostsMarker::Revoked && same && !verdict.Revoked)
            verdict.Revoked = entry;
        else if (entry.Marker == KnownHostsMarker::CertAuthority && !verdict.Authority)
            verdict.Authority = entry;
        else if (entry.Marker == KnownHostsMarker::None && same)
            verdict.Known = true;
        else if (entry.Marker == KnownHostsMarker::None && !verdict.Changed)
        {
            // Another type as well: a host known by any key that offers a new one is as suspicious.
            verdict.Changed = entry;
            verdict.ChangedFingerprint = entry.KeyType + " " + Sha256Fingerprint(known.get());
        }
    }
    return verdict;
}

std::vector<KnownHostsEntry> Entries(const std::string& server, const SshHostConfig& config,
                                     const std::string& name)
{
    try
    {
        std::vector<KnownHostsEntry> entries = FindKnownHosts(config.UserKnownHostsFiles, name, true);
        std::vector<KnownHostsEntry> global = FindKnownHosts(config.GlobalKnownHostsFiles, name, false);
        entries.insert(entries.end(), global.begin(), global.end());
        return entries;
    }
    catch (const KnownHostsError& error)
    {
        throw TunnelError(TunnelFailure::HostKeyRefused,
                          "The host key of the SSH server " + server + " cannot be checked: " + error.what());
    }
}

bool TrustedByPerson(const std::string& server, const std::string& type, const std::string& fingerprint,
                     const SshAsk& ask)
{
    if (!ask)
        return false;
    SshQuestion question;
    question.What = SshQuestion::Kind::UnknownHostKey;
    question.Server = server;
    question.KeyType = type;
    question.Fingerprint = fingerprint;
    question.Text = "The SSH server " + server + " is not known. Its " + type +
                    " host key has the fingerprint " + fingerprint + ".";
    std::string unused;
    return ask(question, unused);
}

void Remember(ssh_key key, const std::string& server, const SshHostConfig& config, const std::string& name,
              const SshAsk& ask)
{
    const std::string type = ssh_key_type_to_char(ssh_key_type(key));
    const std::string file = config.UserKnownHostsFiles.empty() ? "" : config.UserKnownHostsFiles.front();
    char* base64 = nullptr;
    try
    {
        if (file.empty())
            throw KnownHostsError("no UserKnownHostsFile is set");
        if (ssh_pki_export_pubkey_base64(key, &base64) != SSH_OK)
            throw KnownHostsError("the key cannot be written");
        const std::string line = KnownHostsLine(name, type, base64, config.HashKnownHosts);
        ssh_string_free_char(base64);
        base64 = nullptr;
        AppendKnownHostsLine(file, line);
    }
    catch (const KnownHostsError& error)
    {
        ssh_string_free_char(base64);
        throw TunnelError(TunnelFailure::HostKeyRefused, "The host key of the SSH server " + server +
                                                             " cannot be remembered: " + error.what());
    }
    if (!ask)
        return;
    SshQuestion notice;
    notice.What = SshQuestion::Kind::HostKeyAdded;
    notice.Server = server;
    notice.KeyType = type;
    notice.Fingerprint = Sha256Fingerprint(key);
    notice.Text = "Permanently added " + name + " (" + type + " " + notice.Fingerprint + ") to " + file + ".";
    std::string unused;
    ask(notice, unused);
}

} // namespace

std::string Sha256Fingerprint(ssh_key key)
{
    unsigned char* hash = nullptr;
    size_t size = 0;
    if (ssh_get_publickey_hash(key, SSH_PUBLICKEY_HASH_SHA256, &hash, &size) != SSH_OK)
        return {};
    char* text = ssh_get_fingerprint_hash(SSH_PUBLICKEY_HASH_SHA256, hash, size);
    ssh_clean_pubkey_hash(&hash);
    if (!text)
        return {};
    std::string fingerprint = text;
    ssh_string_free_char(text);
    return fingerprint;
}

void CheckHostKey(ssh_key key, const std::string& server, const SshHostConfig& config, bool acceptNew,
                  const SshAsk& ask)
{
    // As OpenSSH: a HostKeyAlias stands for the host without a port.
    const std::string name =
        config.HostKeyAlias.empty() ? KnownHostsName(config.HostName, config.Port) : config.HostKeyAlias;
    const std::string offered =
        std::string(ssh_key_type_to_char(ssh_key_type(key))) + " " + Sha256Fingerprint(key);
    const Verdict verdict = Judge(key, Entries(server, config, name));
    const std::string intro = "The host key of the SSH server " + server + " (" + offered + ")";
    if (verdict.Revoked)
        throw TunnelError(TunnelFailure::HostKeyRefused,
                          intro + " is revoked in " + verdict.Revoked->Where() + ". Refused");
    if (verdict.Known)
        return;
    if (verdict.Changed)
        throw TunnelError(TunnelFailure::HostKeyChanged,
                          "WARNING: the host key of the SSH server " + server +
                              " has changed: " + verdict.Changed->Where() + " holds " +
                              verdict.ChangedFingerprint + " for " + name + ", the server offers " + offered +
                              ". Refused: someone may be listening in; if the server's key was replaced, "
                              "remove its old line from that file");
    if (verdict.Authority)
        throw TunnelError(
            TunnelFailure::HostKeyRefused,
            intro + " is not known: " + verdict.Authority->Where() +
                " names a certificate authority for it, and host certificates cannot be checked "
                "here. Refused: add the server's own key to known_hosts");
    const StrictHostKeys strict = config.StrictHostKeyChecking;
    const bool trusted =
        acceptNew || strict == StrictHostKeys::AcceptNew || strict == StrictHostKeys::No ||
        (strict == StrictHostKeys::Ask && !config.BatchMode &&
         TrustedByPerson(server, ssh_key_type_to_char(ssh_key_type(key)), Sha256Fingerprint(key), ask));
    if (!trusted)
        throw TunnelError(TunnelFailure::HostKeyUnknown,
                          "The host key of the SSH server " + server + " is not known: " + offered +
                              (strict == StrictHostKeys::Yes ? ". Refused: StrictHostKeyChecking yes"
                                                             : ". Refused: nobody confirmed it"));
    Remember(key, server, config, name, ask);
}

void CheckHostKey(SshConnection& connection, const SshSettings& settings, const SshAsk& ask)
{
    ssh_session session = connection.Session();
    ssh_key offered = nullptr;
    if (ssh_get_server_publickey(session, &offered) != SSH_OK)
        throw TunnelError(TunnelFailure::Unreachable, "The SSH server " + connection.ServerName() +
                                                          " sent no host key: " + ssh_get_error(session));
    const KeyPtr key(offered);
    CheckHostKey(key.get(), connection.ServerName(), connection.Config(), settings.AcceptNewHostKey, ask);
}

} // namespace korvel
