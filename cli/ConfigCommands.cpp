#include "addresses/AddressChecks.h"
#include "cli/Commands.h"
#include "cli/Confirm.h"
#include "cli/Conversions.h"
#include "cli/Journaling.h"
#include "cli/UsageError.h"
#include "operations/ConfigChecks.h"
#include "operations/ConfigFields.h"

#include <memory>
#include <vector>

namespace korvel::cli
{

namespace
{

using operations::ConfigField;

Json ShowValue(const ConfigField& field, const ServerConfig& config)
{
    return std::visit([&](auto member) { return Json(config.*member); }, field.Member);
}

// Sets one value from its text as `config set` takes it.
void SetValue(const ConfigField& field, ServerConfig& config, std::string_view text)
{
    struct Set
    {
        ServerConfig& Config;
        std::string_view Text;
        std::string_view Key;
        void operator()(bool ServerConfig::*member) const { Config.*member = ParseFlag(Text, Key); }
        void operator()(std::uint16_t ServerConfig::*member) const
        {
            Config.*member = ParseUInt16(Text, Key);
        }
        void operator()(std::string ServerConfig::*member) const { Config.*member = Text; }
        // An empty entry is kept, as the window keeps a blank line: what `config show` prints is taken back
        // as it is.
        void operator()(StringList ServerConfig::*member) const { Config.*member = SplitList(Text); }
    };
    std::visit(Set{config, text, field.Name}, field.Member);
}

struct Assignment
{
    const ConfigField* Field;
    std::string Value;
};

// KEY=VALUE with a known key and a value of the right kind.
Assignment ParseAssignment(const std::string& text)
{
    std::size_t equals = text.find('=');
    if (equals == std::string::npos)
        throw UsageError("expected KEY=VALUE, got '" + text + "'");
    std::string_view name = std::string_view(text).substr(0, equals);
    const ConfigField* field = operations::FindConfigField(name);
    if (!field)
        throw UsageError("unknown configuration key '" + std::string(name) + "': use " +
                         operations::ConfigFieldNames());
    Assignment assignment{field, text.substr(equals + 1)};
    ServerConfig scratch;
    SetValue(*field, scratch, assignment.Value); // checks the value before anything is sent
    return assignment;
}

CommandResult ShowConfig(TKORVELSession& session)
{
    ServerConfig config;
    session.GetServerConfig(config);
    Json out;
    for (const ConfigField& field : operations::ConfigFields())
        out[std::string(field.Name)] = ShowValue(field, config);
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
                SetValue(*assignment.Field, config, assignment.Value);
            ConfirmConfig(session, current, config, force);
            Changes(session).ModifyConfig(current, config);
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
