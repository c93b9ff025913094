// The hops of a ProxyJump list, reached by us in the order given: the first as any SSH server (its own
// ProxyCommand or ProxyJump still counts, as with OpenSSH), each next one over a direct-tcpip channel of the
// hop before it. Every hop is resolved from the same config as `ssh -G hop` would (its own User, Port,
// IdentityFile, HostKeyAlias), its host key is checked against known_hosts by our rules, and its login
// asks in its own name; a refusal names the hop. The limits of the call end every step on the way.
#pragma once

#include "engine/CallLimits.h"
#include "engine/SshSettings.h"
#include "engine/Transport.h"
#include "engine/ssh/SshConfig.h"

#include <memory>
#include <string>
#include <vector>

namespace korvel
{

class ChannelPump;
class SshConnection;

// More hops than this in chains inside chains is taken for a loop of ProxyJumps.
constexpr int MaxJumpDepth = 8;

class JumpChain
{
public:
    // Logs in to every hop of `jumps`. `settings` are the destination's: their known_hosts file, agent
    // use, keepalive and trust of new keys hold for the hops too; the user, port and key file are each
    // hop's own. `depth`: hops already under way. Raises TunnelError, TransportInterrupted.
    JumpChain(const std::vector<SshJump>& jumps, const SshSettings& settings, const SshAsk& ask,
              const std::shared_ptr<Resolver>& resolver, int timeoutMs, const WaitLimits* limits, int depth);
    // Ends the hops last to first, each one's pump before its session.
    ~JumpChain();
    JumpChain(const JumpChain&) = delete;
    JumpChain& operator=(const JumpChain&) = delete;

    // A socket to `host`:`port` as the last hop sees them: the caller's. Raises TunnelError.
    int Open(const std::string& host, int port, int timeoutMs, const WaitLimits* limits);
    // False once a hop's session or channel ended.
    bool Alive() const;

private:
    void Clear();
    // A socket to the next hop through the last one reached.
    int Through(const std::string& host, int port, int timeoutMs, const WaitLimits* limits);

    struct Hop
    {
        std::unique_ptr<SshConnection> Session;
        std::unique_ptr<ChannelPump> Pump; // its channel to the next hop (or the destination)
    };
    std::vector<Hop> hops_;
};

} // namespace korvel
