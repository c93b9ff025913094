// The requests of the administration port after a successful LOGIN: users, databases, database users,
// configuration, log, server control, status and sessions.
#pragma once

#include "engine/wire/Message.h"

#include <cstdint>
#include <string>

namespace korvel::server
{

class ServerCore;

// Whether a request changes the server's state (its reply is kept for a resend after RECONNECT).
bool ChangesState(std::uint16_t code);

// Reads the request's values and writes the reply's (after the caller began a reply with code 0). A refusal
// is thrown as Refusal; values that run short raise the engine's 15002.
void HandleAdminRequest(ServerCore& server, const std::string& adminUser, std::uint16_t code,
                        MessageReader& request, MessageWriter& reply);

} // namespace korvel::server
