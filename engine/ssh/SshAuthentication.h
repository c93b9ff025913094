// Logging in to the SSH server as OpenSSH does with the same config: the methods in the preferred order, a
// partial success followed to the next method the server asks for (AuthenticationMethods), the key files in
// their order, the agent's keys limited to those of the key files with IdentitiesOnly and capped otherwise
// (so MaxAuthTries is not spent on wrong ones), a key the server does not take skipped before its passphrase
// is asked. The prompts name the hop they are for. A refusal names the server's reason, the methods and keys
// tried, those it accepts and its banner.
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
