#include "engine/ssh/JumpChain.h"

#include "engine/TunnelError.h"
#include "engine/ssh/ChannelPump.h"
#include "engine/ssh/SshConnection.h"

namespace korvel
{
namespace
{

SshSettings HopSettings(const SshJump& jump, const SshSettings& destination)
{
    SshSettings hop = destination;
    hop.Host = jump.Host;
    hop.User = jump.User;
    hop.Port = jump.Port;
    hop.IdentityFile.clear(); // a key given for the destination is not offered to every hop
    return hop;
}

} // namespace

JumpChain::JumpChain(const std::vector<SshJump>& jumps, const SshSettings& settings, const SshAsk& ask,
                     const std::shared_ptr<Resolver>& resolver, int timeoutMs, const WaitLimits* limits,
                     int depth)
{
    if (depth + static_cast<int>(jumps.size()) > MaxJumpDepth)
        throw TunnelError(TunnelFailure::Unreachable,
                          "ProxyJump: more than " + std::to_string(MaxJumpDepth) +
                              " hops, one config host jumping through another in a loop?");
    hops_.reserve(jumps.size());
    try
    {
        for (const SshJump& jump : jumps)
        {
            SshRoute route;
            route.Depth = depth + static_cast<int>(hops_.size()) + 1;
            if (!hops_.empty())
                route.Through = [this, timeoutMs, limits](const std::string& host, int port)
                { return Through(host, port, timeoutMs, limits); };
            auto session = std::make_unique<SshConnection>(HopSettings(jump, settings), ask, resolver,
                                                           timeoutMs, limits, std::move(route));
            hops_.push_back({std::move(session), nullptr});
        }
    }
    catch (...)
    {
        Clear();
        throw;
    }
}

JumpChain::~JumpChain()
{
    Clear();
}

void JumpChain::Clear()
{
    // A hop's session runs over the pump of the hop before it: it ends first, then that pump, then the
    // session the pump used.
    while (!hops_.empty())
    {
        hops_.back().Pump.reset();
        hops_.pop_back();
    }
}

int JumpChain::Open(const std::string& host, int port, int timeoutMs, const WaitLimits* limits)
{
    return Through(host, port, timeoutMs, limits);
}

bool JumpChain::Alive() const
{
    // The hops' sessions are their pumps' now: only the pumps are asked.
    for (const Hop& hop : hops_)
        if (!hop.Pump || !hop.Pump->Running())
            return false;
    return true;
}

int JumpChain::Through(const std::string& host, int port, int timeoutMs, const WaitLimits* limits)
{
    Hop& last = hops_.back();
    SshConnection& hop = *last.Session;
    ssh_session session = hop.Session();
    ssh_channel channel = ssh_channel_new(session);
    if (!channel)
        throw TunnelError(TunnelFailure::Unreachable,
                          "Cannot open a channel on the SSH server " + hop.ServerName() + ": out of memory");
    const std::string target = SshTargetText("", host, port);
    std::optional<int> result;
    try
    {
        result =
            hop.Drive([&] { return ssh_channel_open_forward(channel, host.c_str(), port, "127.0.0.1", 0); },
                      SSH_AGAIN, timeoutMs, limits);
    }
    catch (...)
    {
        ssh_channel_free(channel);
        throw;
    }
    if (!result || *result != SSH_OK)
    {
        const std::string problem =
            result ? ssh_get_error(session) : "no answer within " + std::to_string(timeoutMs / 1000) + " s";
        ssh_channel_free(channel);
        throw TunnelError(TunnelFailure::Unreachable, "The jump host " + hop.ServerName() +
                                                          " opened no channel to " + target + ": " + problem);
    }
    try
    {
        last.Pump = std::make_unique<ChannelPump>(session, channel);
    }
    catch (const TransportError& error)
    {
        throw TunnelError(TunnelFailure::Unreachable, error.what());
    }
    return last.Pump->TakeSocket();
}

} // namespace korvel
