#include "cli/CommandLine.h"

#include <algorithm>

#include "cli/ProfileOptions.h"
#include "cli/Suggestion.h"
#include "cli/UsageError.h"

#include "KorvelVersion.h" // generated

#include <algorithm>

namespace korvel::cli
{

namespace
{

// The command given last on the line: a group when its subcommand is missing.
CLI::App& ChosenCommand(CLI::App& app)
{
    CLI::App* command = &app;
    while (!command->get_subcommands().empty())
        command = command->get_subcommands().front();
    return *command;
}

std::vector<std::string> SubcommandNames(const CLI::App& command)
{
    std::vector<std::string> names;
    for (const CLI::App* subcommand : command.get_subcommands([](const CLI::App*) { return true; }))
        names.push_back(subcommand->get_name());
    return names;
}

// The options an option typed after `command` may be: its own and, by fallthrough, those of every command
// above it.
std::vector<std::string> OptionNames(CLI::App& command)
{
    std::vector<std::string> names;
    for (CLI::App* at = &command; at != nullptr; at = at->get_parent())
        for (const CLI::Option* option : at->get_options())
        {
            for (const std::string& name : option->get_lnames())
                names.push_back("--" + name);
            for (const std::string& name : option->get_snames())
                names.push_back("-" + name);
        }
    return names;
}

// "korvel-admin-cli user": the words that lead to `command`.
std::string CommandPath(const CLI::App& command)
{
    const CLI::App* parent = command.get_parent();
    return parent == nullptr ? command.get_name() : CommandPath(*parent) + " " + command.get_name();
}

// "unknown command usr (did you mean user?)"
UsageError UnknownCommand(const std::string& typed, const CLI::App& group)
{
    return UsageError("unknown command " + typed + DidYouMean(typed, SubcommandNames(group)));
}

// Arguments no command took fall through to the top of the parser; the first one names the mistake.
void RaiseUnknownArgument(CLI::App& app)
{
    std::vector<std::string> left = app.remaining(true);
    if (left.empty())
        return;
    const std::string& first = left.front();
    CLI::App& command = ChosenCommand(app);
    if (first.size() > 1 && first.front() == '-')
    {
        const std::string option = first.substr(0, first.find('='));
        throw UsageError("unknown option " + option + DidYouMean(option, OptionNames(command)));
    }
    if (command.get_require_subcommand_min() > 0)
        throw UnknownCommand(first, command);
    throw UsageError("unexpected argument " + first);
}

// The subcommands of `command`, one a line with what each does.
std::string SubcommandList(const CLI::App& command)
{
    const auto subcommands = command.get_subcommands([](const CLI::App*) { return true; });
    std::size_t width = 0;
    for (const CLI::App* subcommand : subcommands)
        width = std::max(width, subcommand->get_name().size());
    std::string text;
    for (const CLI::App* subcommand : subcommands)
        text += "\n  " + subcommand->get_name() +
                std::string(width - subcommand->get_name().size() + 2, ' ') + subcommand->get_description();
    return text;
}

// A group named without one of its commands: which ones there are.
void RaiseMissingSubcommand(CLI::App& app, const CLI::ParseError& error)
{
    const CLI::App& command = ChosenCommand(app);
    if (dynamic_cast<const CLI::RequiredError*>(&error) == nullptr ||
        command.get_require_subcommand_min() == 0)
        return;
    const std::string what = command.get_parent() == nullptr ? "a command is needed"
                                                             : "'" + command.get_name() + "' needs a command";
    throw UsageError(what + ", one of:" + SubcommandList(command));
}

// The help of the command `words` name (the program's own when none): the text --help prints.
std::string HelpOf(const CLI::App& app, const std::vector<std::string>& words)
{
    const CLI::App* command = &app;
    for (const std::string& word : words)
    {
        const auto found = command->get_subcommands([&word](const CLI::App* subcommand)
                                                    { return subcommand->check_name(word); });
        if (found.empty())
            throw UnknownCommand(word, *command);
        command = found.front();
    }
    return command->get_formatter()->make_help(command, CommandPath(*command), CLI::AppFormatMode::Normal);
}

void AddHelpCommand(CLI::App& app, LocalAction& chosen)
{
    auto words = std::make_shared<std::vector<std::string>>();
    CLI::App* help = AddLocalCommand(app, "help", "Show the help of the program or of a command", chosen,
                                     [&app, words]
                                     {
                                         std::string text = HelpOf(app, *words);
                                         return CommandResult{Json{{"help", text}}, 0, false, text};
                                     });
    help->add_option("COMMAND", *words, "The command (and subcommand) to show the help of");
}

} // namespace

CommandLine::CommandLine()
    : App("Administers a KORVEL database server: one command per run.", "korvel-admin-cli")
{
    App.require_subcommand(1);
    App.footer(GlobalOptionsRule);
    App.set_version_flag("--version", "korvel-admin-cli " KORVEL_VERSION, "Print the version and exit");
    AddGlobalOptions(App, Options);
    AddProfileOption(App, Options);
    AddServerCommands(App, Action);
    AddConfigCommands(App, Action);
    AddUserCommands(App, Action);
    AddDatabaseCommands(App, Action);
    AddRightsCommands(App, Action);
    AddStateCommands(App, Action);
    AddProfileCommands(App, Local);
    AddServersCommand(App, Options, Local);
    AddHistoryCommand(App, Local);
    AddHelpCommand(App, Local);
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
        if (error.get_exit_code() != 0) // not a call for help or the version
        {
            RaiseUnknownArgument(App);
            RaiseMissingSubcommand(App, error);
        }
        throw;
    }
}

bool CommandLine::JsonWanted() const
{
    const CLI::Option* json = App.get_option_no_throw("--json");
    return json != nullptr && json->count() > 0;
}

} // namespace korvel::cli
