// The SSH server's host key against the known_hosts files, decided by us and never by libssh's option: a
// known key goes on; a changed or revoked one is always refused, whatever StrictHostKeyChecking says; an
// unknown one goes on only when the person trusts it or the settings or config accept new keys, and is then
// remembered in the first UserKnownHostsFile.
#pragma once

#include "engine/SshSettings.h"
#include "engine/ssh/SshConfig.h"

#include <libssh/libssh.h>
#include <string>

namespace korvel
{

class SshConnection;

// A key's fingerprint as OpenSSH writes it: "SHA256:" and the unpadded base64 of its SHA-256 hash.
std::string Sha256Fingerprint(ssh_key key);

// Raises TunnelError (HostKeyUnknown, HostKeyChanged, HostKeyRefused) when `key`, offered by `server`
// (named so for messages), may not be used for the host `config` describes. `acceptNew`: the person trusts
// an unknown key beforehand. A key added is told through `ask` (SshQuestion::Kind::HostKeyAdded).
void CheckHostKey(ssh_key key, const std::string& server, const SshHostConfig& config, bool acceptNew,
                  const SshAsk& ask);
// The same for the key the connection's server offered.
void CheckHostKey(SshConnection& connection, const SshSettings& settings, const SshAsk& ask);

} // namespace korvel
