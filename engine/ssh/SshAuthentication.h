// Logging in to the SSH server: the agent's keys, then the key files (a key the server does not take is
// skipped before its passphrase is asked), then keyboard-interactive or password through the person. A
// refusal names each method tried and those the server accepts.
#pragma once

#include "engine/CallLimits.h"
#include "engine/SshSettings.h"

namespace korvel
{

class SshConnection;

// Raises TunnelError(AuthenticationRefused), EAbort when the person cancelled a prompt.
void Authenticate(SshConnection& connection, const SshSettings& settings, const SshAsk& ask, int timeoutMs,
                  const WaitLimits* limits);

} // namespace korvel
