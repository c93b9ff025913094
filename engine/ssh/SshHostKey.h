// The SSH server's host key against known_hosts, strictly: a known key goes on, a changed one is always
// refused, an unknown one only goes on when the person trusts it (or the settings accept new keys), and is
// then remembered.
#pragma once

#include "engine/SshSettings.h"

#include <libssh/libssh.h>
#include <string>

namespace korvel
{

class SshConnection;

// A key's fingerprint as OpenSSH writes it: "SHA256:" and the unpadded base64 of its SHA-256 hash.
std::string Sha256Fingerprint(ssh_key key);

// Raises TunnelError (HostKeyUnknown, HostKeyChanged) when the key may not be used.
void CheckHostKey(SshConnection& connection, const SshSettings& settings, const SshAsk& ask);

} // namespace korvel
