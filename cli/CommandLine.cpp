#include "cli/CommandLine.h"

#include <algorithm>

#include "cli/ProfileOptions.h"
#include "cli/UsageError.h"

namespace korvel::cli
{

namespace
{

// The command given last on the line: a group when its subcommand is missing.
const CLI::App& ChosenCommand(CLI::App& app)
{
    CLI::App* command = &app;
    while (!command->get_subcommands().empty())
        command = command->get_subcommands().front();
    return *command;
}

// Arguments no command took fall through to the top of the parser; the first one names the mistake.
void RaiseUnknownArgument(CLI::App& app)
{
    std::vector<std::string> left = app.remaining(true);
    if (left.empty())
        return;
    const std::string& first = left.front();
    if (first.size() > 1 && first.front() == '-')
        throw UsageError("unknown option " + first.substr(0, first.find('=')));
    const CLI::App& command = ChosenCommand(app);
    if (command.get_require_subcommand_min() > 0)
        throw UsageError("unknown command " + first);
    throw UsageError("unexpected argument " + first);
}

} // namespace

CommandLine::CommandLine()
    : App("Administers a KORVEL database server: one command per run.", "korvel-admin-cli")
{
    App.require_subcommand(1);
    App.footer(GlobalOptionsRule);
    AddGlobalOptions(App, Options);
    AddProfileOption(App, Options);
    AddServerCommands(App, Action);
    AddConfigCommands(App, Action);
    AddUserCommands(App, Action);
    AddDatabaseCommands(App, Action);
    AddRightsCommands(App, Action);
    AddStateCommands(App, Action);
    AddProfileCommands(App, Local);
    AddHistoryCommand(App, Local);
}

void CommandLine::Parse(int argc, const char* const* argv)
{
    // plan's -out FILE, as Terraform users type it, is --out: the parser knows no long option with one dash.
    std::vector<std::string> args(argv + 1, argv + argc);
    const auto plan = std::find(args.begin(), args.end(), "plan");
    for (auto arg = plan; arg != args.end() && *arg != "--"; ++arg)
        if (*arg == "-out" || arg->starts_with("-out="))
            arg->insert(0, "-");
    std::reverse(args.begin(), args.end()); // CLI11 takes the arguments last first
    try
    {
        App.parse(args);
    }
    catch (const CLI::ParseError& error)
    {
        if (error.get_exit_code() != 0) // not a call for help
            RaiseUnknownArgument(App);
        throw;
    }
}

} // namespace korvel::cli
