// Failures of the way through an SSH server that a person can act on, each naming the hop that failed.
#pragma once

#include "engine/Transport.h"
#include "engine/wire/EngineError.h"

#include <string>

namespace korvel
{

enum class TunnelFailure
{
    Unreachable,           // the SSH server could not be reached, or did not answer
    HostKeyUnknown,        // its host key is not in known_hosts and nobody trusted it
    HostKeyChanged,        // its host key differs from the one in known_hosts
    HostKeyRefused,        // its host key is revoked, or known_hosts cannot vouch for it at all
    AuthenticationRefused, // no method that was tried let the user in
    ForwardingRefused,     // the SSH server forwards no connections (AllowTcpForwarding no)
    TargetRefused,         // behind the SSH server, the KORVEL server refused or could not be reached
    Lost                   // the SSH session died under an open connection
};

// Raised by the SSH transport; its message is for the person.
class TunnelError : public TransportError
{
public:
    TunnelError(TunnelFailure kind, const std::string& message) : TransportError(message), kind_(kind) {}
    TunnelFailure Kind() const { return kind_; }

private:
    TunnelFailure kind_;
};

// The engine error of a call that failed on the SSH hop: the code and context of the connection failure
// (11280 while connecting), with the hop's own message instead of the code's text.
class ETunnelError : public EKORVELEngineError
{
public:
    ETunnelError(const EKORVELEngineError& error, const TunnelError& failure)
        : EKORVELEngineError(error), Kind(failure.Kind()), message_(failure.what())
    {
    }
    const char* what() const noexcept override { return message_.c_str(); }

    TunnelFailure Kind;

private:
    std::string message_;
};

} // namespace korvel
