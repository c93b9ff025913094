#include "engine/ssh/SshHostKey.h"

#include "engine/TunnelError.h"
#include "engine/ssh/SshConnection.h"

#include <fstream>
#include <memory>

namespace korvel
{
namespace
{

struct KeyFree
{
    void operator()(ssh_key key) const { ssh_key_free(key); }
};
using KeyPtr = std::unique_ptr<std::remove_pointer_t<ssh_key>, KeyFree>;

struct EntryFree
{
    void operator()(ssh_knownhosts_entry* entry) const { ssh_knownhosts_entry_free(entry); }
};

std::string KnownHostsFile(ssh_session session)
{
    const std::string file = SshOption(session, SSH_OPTIONS_KNOWNHOSTS);
    return file.empty() ? "known_hosts" : file;
}
// The fingerprints the known_hosts file holds for the server, as each of its lines that names the server is
// read by libssh (hashed names included).
std::string KnownFingerprints(ssh_session session, const std::string& file)
{
    char* ownLine = nullptr;
    if (ssh_session_export_known_hosts_entry(session, &ownLine) != SSH_OK || !ownLine)
        return "an unreadable key";
    const std::string own = ownLine;
    ssh_string_free_char(ownLine);
    const std::string host = own.substr(0, own.find(' ')); // as known_hosts names it: "[host]:port"
    std::string fingerprints;
    std::ifstream lines(file);
    for (std::string line; std::getline(lines, line);)
    {
        ssh_knownhosts_entry* parsed = nullptr;
        if (ssh_known_hosts_parse_line(host.c_str(), line.c_str(), &parsed) != SSH_OK)
            continue;
        const std::unique_ptr<ssh_knownhosts_entry, EntryFree> entry(parsed);
        if (entry && entry->publickey)
            fingerprints += (fingerprints.empty() ? "" : " and ") + Sha256Fingerprint(entry->publickey);
    }
    return fingerprints.empty() ? "another key" : fingerprints;
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

void CheckHostKey(SshConnection& connection, const SshSettings& settings, const SshAsk& ask)
{
    ssh_session session = connection.Session();
    const std::string& server = connection.ServerName();
    ssh_key offered = nullptr;
    if (ssh_get_server_publickey(session, &offered) != SSH_OK)
        throw TunnelError(TunnelFailure::Unreachable,
                          "The SSH server " + server + " sent no host key: " + ssh_get_error(session));
    const KeyPtr key(offered);
    const std::string fingerprint = Sha256Fingerprint(key.get());
    const std::string type = ssh_key_type_to_char(ssh_key_type(key.get()));

    switch (ssh_session_is_known_server(session))
    {
    case SSH_KNOWN_HOSTS_OK:
        return;
    case SSH_KNOWN_HOSTS_CHANGED:
    case SSH_KNOWN_HOSTS_OTHER: // a key of another type is known: as suspicious as a changed one
        throw TunnelError(TunnelFailure::HostKeyChanged,
                          "WARNING: the host key of the SSH server " + server +
                              " has changed: " + KnownHostsFile(session) + " holds " +
                              KnownFingerprints(session, KnownHostsFile(session)) + ", the server offers " +
                              type + " " + fingerprint +
                              ". Refused: someone may be listening in; if the server's key was replaced, "
                              "remove its old line from that file");
    case SSH_KNOWN_HOSTS_UNKNOWN:
    case SSH_KNOWN_HOSTS_NOT_FOUND:
        break;
    case SSH_KNOWN_HOSTS_ERROR:
        throw TunnelError(TunnelFailure::HostKeyUnknown, "The host key of the SSH server " + server +
                                                             " cannot be checked: " + ssh_get_error(session));
    }

    bool trusted = settings.AcceptNewHostKey;
    if (!trusted && ask)
    {
        SshQuestion question;
        question.What = SshQuestion::Kind::UnknownHostKey;
        question.Server = server;
        question.KeyType = type;
        question.Fingerprint = fingerprint;
        question.Text = "The SSH server " + server + " is not known. Its " + type +
                        " host key has the fingerprint " + fingerprint + ".";
        std::string unused;
        trusted = ask(question, unused);
    }
    if (!trusted)
        throw TunnelError(TunnelFailure::HostKeyUnknown, "The host key of the SSH server " + server +
                                                             " is not known: " + type + " " + fingerprint +
                                                             ". Refused: nobody confirmed it");
    if (ssh_session_update_known_hosts(session) != SSH_OK)
        throw TunnelError(TunnelFailure::HostKeyUnknown,
                          "The host key of the SSH server " + server + " cannot be remembered in " +
                              KnownHostsFile(session) + ": " + ssh_get_error(session));
}

} // namespace korvel
