#include "cli/Commands.h"

namespace korvel::cli
{

namespace
{

// An option the command does not know is looked up among the global options (fallthrough); its own are
// looked up first.
CLI::App* AddFollowingTheOptionRules(CLI::App& parent, const std::string& name,
                                     const std::string& description)
{
    CLI::App* command = parent.add_subcommand(name, description);
    command->fallthrough();
    command->footer(GlobalOptionsRule);
    return command;
}

} // namespace

CLI::App* AddCommand(CLI::App& parent, const std::string& name, const std::string& description,
                     CommandAction& chosen, CommandAction action)
{
    return AddCheckedCommand(parent, name, description, chosen,
                             [action = std::move(action)] { return action; });
}

CLI::App* AddCheckedCommand(CLI::App& parent, const std::string& name, const std::string& description,
                            CommandAction& chosen, std::function<CommandAction()> prepare)
{
    CLI::App* command = AddFollowingTheOptionRules(parent, name, description);
    command->callback([&chosen, prepare = std::move(prepare)] { chosen = prepare(); });
    return command;
}

CLI::App* AddLocalCommand(CLI::App& parent, const std::string& name, const std::string& description,
                          LocalAction& chosen, LocalAction action)
{
    CLI::App* command = AddFollowingTheOptionRules(parent, name, description);
    command->callback([&chosen, action = std::move(action)] { chosen = action; });
    return command;
}

CLI::App* AddGroup(CLI::App& parent, const std::string& name, const std::string& description)
{
    CLI::App* group = AddFollowingTheOptionRules(parent, name, description);
    group->require_subcommand(1);
    return group;
}

CommandAction Silent(std::function<void(TKORVELSession& session)> operation)
{
    return [operation = std::move(operation)](TKORVELSession& session)
    {
        operation(session);
        return CommandResult{Json::object()};
    };
}

} // namespace korvel::cli
