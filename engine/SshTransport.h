// Transports through an SSH server (a bastion): each connection of a remote session is a direct-tcpip
// channel of one SSH session shared by the factory's transports, so the protocol above is unchanged and no
// local port is opened for others to use. A re-connection opens a new channel, and a new SSH session when
// the old one died. The KORVEL host name is sent to the SSH server unresolved (it resolves it, as `ssh -L`
// does); a service name is resolved here.
#pragma once

#include "engine/SshSettings.h"
#include "engine/Transport.h"
#include "engine/TunnelError.h"

#include <memory>

namespace korvel
{

// The transports of one remote session. Failures a person can act on raise TunnelError naming the hop.
TransportFactory SshTransportFactory(SshSettings settings, SshAsk ask,
                                     std::shared_ptr<Resolver> resolver = SystemResolver());

} // namespace korvel
