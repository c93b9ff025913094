// The commands of korvel-admin-cli. Each group registers its subcommands on the parser; the one named on the
// command line checks its arguments once parsing is done (raising UsageError before anything is sent) and
// leaves the action to run on the logged-in session.
#pragma once

#include "cli/Output.h"
#include "session/KORVELSession.h"

#include <CLI/CLI.hpp>

#include <functional>
#include <optional>
#include <string>

namespace korvel::cli
{

struct GlobalOptions;

struct CommandResult
{
    Json Output;
    int ExitStatus = 0;
    // Ctrl-C was the command's way to end (log --follow): its result stands and the program exits as usual.
    bool EndedByCtrlC = false;
    // The readable form, when the one made from Output would not do.
    std::optional<std::string> Text = {};
};

using CommandAction = std::function<CommandResult(TKORVELSession& session)>;
// A command that needs no server: it runs without connecting.
using LocalAction = std::function<CommandResult()>;

// The option rules every command follows, shown in its help.
inline constexpr const char* GlobalOptionsRule =
    "Global options may also follow the command. After the command name, an option of the command itself wins"
    " over a global option of the same name: `user add bob --password PW` sets bob's password.";

// AddCommand, AddCheckedCommand and AddGroup register a command that follows these rules: the global options
// are accepted after it, and its own options are looked up first.

// Adds `name` under `parent`; when it is the command given, `action` becomes `chosen`.
CLI::App* AddCommand(CLI::App& parent, const std::string& name, const std::string& description,
                     CommandAction& chosen, CommandAction action);
// As AddCommand, for a command whose arguments need checking: `prepare` runs once parsing is done, raises
// UsageError for a bad argument, and returns the action.
CLI::App* AddCheckedCommand(CLI::App& parent, const std::string& name, const std::string& description,
                            CommandAction& chosen, std::function<CommandAction()> prepare);
// As AddCommand, for a command that needs no server (the profiles file).
CLI::App* AddLocalCommand(CLI::App& parent, const std::string& name, const std::string& description,
                          LocalAction& chosen, LocalAction action);
// A CommandAction for an operation that prints nothing ({} in JSON).
CommandAction Silent(std::function<void(TKORVELSession& session)> operation);
// A command that only groups subcommands, one of which is required.
CLI::App* AddGroup(CLI::App& parent, const std::string& name, const std::string& description);

// version, status, sessions [--user NAME], session disconnect|remove ID..., server start|stop, log
void AddServerCommands(CLI::App& app, CommandAction& chosen);
// log [--tail N] [--grep PATTERN [--regex]] [--follow [--interval S]] [--output FILE]
void AddLogCommand(CLI::App& app, CommandAction& chosen);
// config show|set
void AddConfigCommands(CLI::App& app, CommandAction& chosen);
// user list|show|add|modify|delete
void AddUserCommands(CLI::App& app, CommandAction& chosen);
// database list|show|add|modify|delete, dbuser list|show|add|modify|delete
void AddDatabaseCommands(CLI::App& app, CommandAction& chosen);
// profile list|show|add|edit|remove
void AddProfileCommands(CLI::App& app, LocalAction& chosen);
// rights [--user U] [--database D], rights copy|grant|revoke|set
void AddRightsCommands(CLI::App& app, CommandAction& chosen);
// export [--output FILE], plan FILE [--prune] [--detailed-exitcode] [--out PLAN], apply FILE|PLAN [--prune]
// [--force]
void AddStateCommands(CLI::App& app, CommandAction& chosen);
// servers [--profile NAME...] [--timeout S]; a global --profile and --timeout count too
void AddServersCommand(CLI::App& app, const GlobalOptions& options, LocalAction& chosen);
// history [--server H] [--since TIME] [--run ID]
void AddHistoryCommand(CLI::App& app, LocalAction& chosen);

} // namespace korvel::cli
