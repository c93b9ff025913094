#include "addresses/AddressChecks.h"
#include "cli/Commands.h"
#include "cli/Confirm.h"
#include "cli/Conversions.h"
#include "cli/UsageError.h"
#include "operations/ConfigChecks.h"

#include <array>
#include <memory>
#include <vector>

namespace korvel::cli
{

namespace
{

// One configuration value: its key in JSON and in `config set`, how it is shown and how it is set from text.
struct ConfigKey
{
    std::string_view Name;
    Json (*Show)(const ServerConfig& config);
    void (*Set)(ServerConfig& config, std::string_view text, std::string_view key);
};

template <std::uint16_t ServerConfig::*Field> ConfigKey NumberKey(std::string_view name)
{
    return {name, [](const ServerConfig& c) { return Json(c.*Field); },
            [](ServerConfig& c, std::string_view text, std::string_view key)
            { c.*Field = ParseUInt16(text, key); }};
}

// An empty entry is kept, as the window keeps a blank line: what `config show` prints is taken back as it is.
template <StringList ServerConfig::*Field> ConfigKey AddressListKey(std::string_view name)
{
    return {name, [](const ServerConfig& c) { return Json(c.*Field); },
            [](ServerConfig& c, std::string_view text, std::string_view) { c.*Field = SplitList(text); }};
}

const std::array<ConfigKey, 9>& ConfigKeys()
{
    static const std::array<ConfigKey, 9> keys = {
        ConfigKey{"deny_logins", [](const ServerConfig& c) { return Json(c.DenyLogins); },
                  [](ServerConfig& c, std::string_view text, std::string_view key)
                  { c.DenyLogins = ParseFlag(text, key); }},
        NumberKey<&ServerConfig::MaxConnections>("max_connections"),
        NumberKey<&ServerConfig::ConnectionTimeout>("connection_timeout"),
        NumberKey<&ServerConfig::DeadSessionInterval>("dead_session_interval"),
        NumberKey<&ServerConfig::DeadSessionExpires>("dead_session_expires"),
        NumberKey<&ServerConfig::MaxDeadSessions>("max_dead_sessions"),
        ConfigKey{"temp_directory", [](const ServerConfig& c) { return Json(c.TempDirectory); },
                  [](ServerConfig& c, std::string_view text, std::string_view) { c.TempDirectory = text; }},
        AddressListKey<&ServerConfig::AuthorizedAddresses>("authorized_addresses"),
        AddressListKey<&ServerConfig::BlockedAddresses>("blocked_addresses"),
    };
    return keys;
}

struct Assignment
{
    const ConfigKey* Key;
    std::string Value;
};

// KEY=VALUE with a known key and a value of the right kind.
Assignment ParseAssignment(const std::string& text)
{
    std::size_t equals = text.find('=');
    if (equals == std::string::npos)
        throw UsageError("expected KEY=VALUE, got '" + text + "'");
    std::string_view name = std::string_view(text).substr(0, equals);
    for (const ConfigKey& key : ConfigKeys())
    {
        if (key.Name == name)
        {
            Assignment assignment{&key, text.substr(equals + 1)};
            ServerConfig scratch;
            key.Set(scratch, assignment.Value, key.Name); // checks the value before anything is sent
            return assignment;
        }
    }
    std::string known;
    for (const ConfigKey& key : ConfigKeys())
        known += (known.empty() ? "" : ", ") + std::string(key.Name);
    throw UsageError("unknown configuration key '" + std::string(name) + "': use " + known);
}

CommandResult ShowConfig(TKORVELSession& session)
{
    ServerConfig config;
    session.GetServerConfig(config);
    Json out;
    for (const ConfigKey& key : ConfigKeys())
        out[std::string(key.Name)] = key.Show(config);
    return {out};
}

// Every assignment is checked before anything is sent; the values not assigned keep what the server has.
// Warns about address entries that are not patterns and about sessions the change would lock out, and asks.
void ConfirmConfig(TKORVELSession& session, const ServerConfig& current, const ServerConfig& changed,
                   bool force)
{
    StringList sessionAddresses;
    if (addresses::MayLockOut(current, changed))
        sessionAddresses = operations::ReadSessionAddresses(session);
    StringList warnings = operations::ConfigWarnings(current, changed, sessionAddresses);
    if (warnings.empty())
        return;
    std::string text;
    for (const std::string& warning : warnings)
        text += (text.empty() ? "" : "\nkorvel-admin-cli: ") + warning;
    Confirm(text, "Save anyway?", force);
}

CommandAction SetConfig(const std::vector<std::string>& texts, bool force)
{
    std::vector<Assignment> assignments;
    for (const std::string& text : texts)
        assignments.push_back(ParseAssignment(text));
    return Silent(
        [assignments, force](TKORVELSession& session)
        {
            ServerConfig current;
            session.GetServerConfig(current);
            ServerConfig config = current;
            for (const Assignment& assignment : assignments)
                assignment.Key->Set(config, assignment.Value, assignment.Key->Name);
            ConfirmConfig(session, current, config, force);
            session.ModifyServerConfig(config);
        });
}

} // namespace

void AddConfigCommands(CLI::App& app, CommandAction& chosen)
{
    CLI::App* group = AddGroup(app, "config", "Show or change the server configuration");
    AddCommand(*group, "show", "Show the nine configuration values", chosen, ShowConfig);
    auto texts = std::make_shared<std::vector<std::string>>();
    auto force = std::make_shared<bool>(false);
    CLI::App* set = AddCheckedCommand(*group, "set", "Change configuration values; the others keep theirs",
                                      chosen, [texts, force] { return SetConfig(*texts, *force); });
    set->add_flag("--force", *force, "Save despite address warnings, without asking");
    set->add_option("KEY=VALUE", *texts,
                    "deny_logins, max_connections, connection_timeout, dead_session_interval, "
                    "dead_session_expires, max_dead_sessions, temp_directory, authorized_addresses, "
                    "blocked_addresses (lists comma-separated)")
        ->required();
}

} // namespace korvel::cli
