#include "addresses/AddressChecks.h"
#include "cli/Commands.h"
#include "cli/Confirm.h"
#include "cli/Conversions.h"
#include "cli/Journaling.h"
#include "cli/UsageError.h"
#include "operations/ConfigChecks.h"
#include "operations/ConfigFields.h"
#include "operations/FreshRead.h"

#include <algorithm>
#include <iostream>
#include <memory>
#include <optional>
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
        // A blank item would be sent as an address entry that matches nothing: it is dropped (ParseAssignment
        // warns).
        void operator()(StringList ServerConfig::*member) const
        {
            StringList items = SplitList(Text);
            std::erase(items, std::string());
            Config.*member = std::move(items);
        }
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
    if (std::holds_alternative<StringList ServerConfig::*>(field->Member))
    {
        const StringList items = SplitList(assignment.Value);
        if (std::find(items.begin(), items.end(), std::string()) != items.end())
            std::cerr << "korvel-admin-cli: a blank item of " << name << " is dropped\n";
    }
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

ServerConfig Assigned(ServerConfig config, const std::vector<Assignment>& assignments)
{
    for (const Assignment& assignment : assignments)
        SetValue(*assignment.Field, config, assignment.Value);
    return config;
}

// Warns about address entries that are not patterns and about sessions the change would lock out, and asks;
// after an answer, a configuration changed on the server meanwhile is asked about again, naming the change.
operations::Asked ConfirmConfig(TKORVELSession& session, const std::optional<ServerConfig>& asked,
                                const ServerConfig& current, const ServerConfig& changed, bool force)
{
    std::string text;
    if (asked)
    {
        const auto meanwhile = operations::ConfigFieldChanges(*asked, current);
        if (meanwhile.empty())
            return operations::Asked::Nothing;
        text = "changed on the server while asking: " + operations::ChangeText(meanwhile);
    }
    StringList sessionAddresses;
    if (addresses::MayLockOut(current, changed))
        sessionAddresses = operations::ReadSessionAddresses(session);
    for (const std::string& warning : operations::ConfigWarnings(current, changed, sessionAddresses))
        text += (text.empty() ? "" : "\nkorvel-admin-cli: ") + warning;
    if (text.empty())
        return operations::Asked::Nothing;
    Confirm(text, "Save anyway?", force);
    return force ? operations::Asked::Nothing : operations::Asked::Agreed;
}

// Every assignment is checked before anything is sent; the values not assigned keep what the server has, as
// read after the last answer.
CommandAction SetConfig(const std::vector<std::string>& texts, bool force)
{
    std::vector<Assignment> assignments;
    for (const std::string& text : texts)
        assignments.push_back(ParseAssignment(text));
    return Silent(
        [assignments, force](TKORVELSession& session)
        {
            const std::optional<ServerConfig> current = operations::ReadAfterQuestions<ServerConfig>(
                std::nullopt,
                [&]
                {
                    ServerConfig config;
                    session.GetServerConfig(config);
                    return config;
                },
                [&](const std::optional<ServerConfig>& asked, const ServerConfig& now)
                { return ConfirmConfig(session, asked, now, Assigned(now, assignments), force); });
            Changes(session).ModifyConfig(*current, Assigned(*current, assignments));
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
