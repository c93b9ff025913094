// The nine configuration values by the names the CLI (`config show`, `config set`), state files and the
// Ansible collection use: deny_logins, max_connections, connection_timeout, dead_session_interval,
// dead_session_expires, max_dead_sessions, temp_directory, authorized_addresses, blocked_addresses.
#pragma once

#include "engine/wire/AdminTypes.h"
#include "operations/Records.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace korvel::operations
{

struct ConfigField
{
    std::string_view Name;
    std::variant<bool ServerConfig::*, std::uint16_t ServerConfig::*, std::string ServerConfig::*,
                 StringList ServerConfig::*>
        Member;
};

// In wire order.
const std::array<ConfigField, 9>& ConfigFields();
// Null for an unknown name.
const ConfigField* FindConfigField(std::string_view name);
// "deny_logins, max_connections, ..." for messages.
std::string ConfigFieldNames();

bool SameValue(const ConfigField& field, const ServerConfig& a, const ServerConfig& b);
void CopyValue(const ConfigField& field, const ServerConfig& from, ServerConfig& to);
// As a plan line shows it: true, 100, "/tmp", ["10.0.0.*"].
std::string ValueText(const ConfigField& field, const ServerConfig& config);
// The fields that differ, in wire order.
std::vector<FieldChange> ConfigFieldChanges(const ServerConfig& before, const ServerConfig& after);

} // namespace korvel::operations
