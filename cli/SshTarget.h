// `--ssh [USER@]HOST[:PORT]`: the SSH server (a bastion) the CLI reaches the KORVEL server through.
#pragma once

#include "engine/SshSettings.h"

#include <optional>
#include <string>

namespace korvel::cli
{

// The user, host and port of the text; nothing when it names no host or its port is not one. A host may be
// an alias of ~/.ssh/config; an IPv6 address stands in brackets when a port follows.
std::optional<SshSettings> ParseSshTarget(const std::string& text);

// The text ParseSshTarget reads back as the same user, host and port.
std::string SshTargetText(const std::string& user, const std::string& host, int port);

} // namespace korvel::cli
