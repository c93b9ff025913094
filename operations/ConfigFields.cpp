#include "operations/ConfigFields.h"

namespace korvel::operations
{

const std::array<ConfigField, 9>& ConfigFields()
{
    static const std::array<ConfigField, 9> fields = {
        ConfigField{"deny_logins", &ServerConfig::DenyLogins},
        ConfigField{"max_connections", &ServerConfig::MaxConnections},
        ConfigField{"connection_timeout", &ServerConfig::ConnectionTimeout},
        ConfigField{"dead_session_interval", &ServerConfig::DeadSessionInterval},
        ConfigField{"dead_session_expires", &ServerConfig::DeadSessionExpires},
        ConfigField{"max_dead_sessions", &ServerConfig::MaxDeadSessions},
        ConfigField{"temp_directory", &ServerConfig::TempDirectory},
        ConfigField{"authorized_addresses", &ServerConfig::AuthorizedAddresses},
        ConfigField{"blocked_addresses", &ServerConfig::BlockedAddresses},
    };
    return fields;
}

const ConfigField* FindConfigField(std::string_view name)
{
    for (const ConfigField& field : ConfigFields())
        if (field.Name == name)
            return &field;
    return nullptr;
}

std::string ConfigFieldNames()
{
    std::string names;
    for (const ConfigField& field : ConfigFields())
        names += (names.empty() ? "" : ", ") + std::string(field.Name);
    return names;
}

bool SameValue(const ConfigField& field, const ServerConfig& a, const ServerConfig& b)
{
    return std::visit([&](auto member) { return a.*member == b.*member; }, field.Member);
}

void CopyValue(const ConfigField& field, const ServerConfig& from, ServerConfig& to)
{
    std::visit([&](auto member) { to.*member = from.*member; }, field.Member);
}

std::string ValueText(const ConfigField& field, const ServerConfig& config)
{
    struct Show
    {
        const ServerConfig& Config;
        std::string operator()(bool ServerConfig::*member) const { return FlagText(Config.*member); }
        std::string operator()(std::uint16_t ServerConfig::*member) const
        {
            return std::to_string(Config.*member);
        }
        std::string operator()(std::string ServerConfig::*member) const { return QuotedText(Config.*member); }
        std::string operator()(StringList ServerConfig::*member) const { return ListText(Config.*member); }
    };
    return std::visit(Show{config}, field.Member);
}

std::vector<FieldChange> ConfigFieldChanges(const ServerConfig& before, const ServerConfig& after)
{
    std::vector<FieldChange> changes;
    for (const ConfigField& field : ConfigFields())
        if (!SameValue(field, before, after))
            changes.push_back({std::string(field.Name), ValueText(field, before), ValueText(field, after)});
    return changes;
}

} // namespace korvel::operations
