// One accepted TCP connection on either port: where it stands in its conversation, the message coming in, the
// reply that could not leave at once, and the session it carries.
#pragma once

#include "server/FrameAssembler.h"
#include "server/SessionTable.h"

#include <cstdint>
#include <string>
#include <vector>

namespace korvel::server
{

enum class Phase
{
    Handshake, // waiting for CONNECTPARAMS or RECONNECT
    Login,     // waiting for LOGIN
    LoggedIn
};

struct Connection
{
    std::uint64_t Serial = 0; // never reused; events and sessions refer to connections by it
    int Fd = -1;
    PortKind Port = PortKind::Main;
    std::string PeerAddress;
    Phase State = Phase::Handshake;
    bool Uncompressed = true;
    std::int32_t SessionId = 0;
    // Set by RECONNECT: the next request may be the client's resend of one whose reply it lost.
    bool Reattached = false;
    Clock::time_point AcceptedAt{};
    Clock::time_point HandshakeAt{};
    Clock::time_point LastActivity{};

    FrameAssembler Incoming;
    // Bytes read past the end of the last message (a client that sent its next request early).
    std::vector<std::uint8_t> Pending;
    std::size_t PendingAt = 0;
    std::vector<std::uint8_t> Outgoing; // the unsent rest of a reply
    std::size_t OutgoingSent = 0;
    // A reply held back by the login throttle; the connection reads nothing until it has left.
    std::vector<std::uint8_t> DelayedReply;
    bool ReplyDelayed = false;
    Clock::time_point ReplyAt{};
};

} // namespace korvel::server
