// The keys of ssh-agent offered as we choose, not as libssh would: libssh offers every key the agent holds,
// which spends the server's MaxAuthTries on wrong ones before the key files and ignores IdentitiesOnly. The
// agent is asked for its list here, and libssh's session is handed a private agent of ours on a socket pair
// that lists only the keys chosen and passes their signing requests on to the real one.
#pragma once

#include <libssh/libssh.h>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace korvel
{

struct AgentKey
{
    std::string Blob;        // the public key in the wire format the agent sends
    std::string Base64;      // the same as a .pub file writes it
    std::string Fingerprint; // "SHA256:<base64>"
};

// The public key of `key` as a .pub file writes it (without its type); empty when it cannot be written.
std::string PublicKeyBase64(ssh_key key);

class SshAgentKeys
{
public:
    // Reads the keys of the agent listening at `socketPath`; none when it cannot be reached.
    explicit SshAgentKeys(const std::string& socketPath);
    ~SshAgentKeys();
    SshAgentKeys(const SshAgentKeys&) = delete;
    SshAgentKeys& operator=(const SshAgentKeys&) = delete;

    const std::vector<AgentKey>& Keys() const { return keys_; }
    // From now on libssh's agent in `session` lists `offered` alone (a subset of Keys()).
    void Offer(ssh_session session, std::vector<AgentKey> offered);

private:
    void Serve();
    std::string Answer(const std::string& request);

    int agent_ = -1;  // the real agent
    int served_ = -1; // our end of libssh's agent socket
    std::vector<AgentKey> keys_;
    std::mutex mutex_; // guards offered_
    std::vector<AgentKey> offered_;
    std::thread server_;
};

} // namespace korvel
