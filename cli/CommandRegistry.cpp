#include "cli/Commands.h"

namespace korvel::cli
{

CLI::App* AddCommand(CLI::App& parent, const std::string& name, const std::string& description,
                     CommandAction& chosen, CommandAction action)
{
    return AddCheckedCommand(parent, name, description, chosen,
                             [action = std::move(action)] { return action; });
}

CLI::App* AddCheckedCommand(CLI::App& parent, const std::string& name, const std::string& description,
                            CommandAction& chosen, std::function<CommandAction()> prepare)
{
    CLI::App* command = parent.add_subcommand(name, description);
    command->callback([&chosen, prepare = std::move(prepare)] { chosen = prepare(); });
    return command;
}

CLI::App* AddGroup(CLI::App& parent, const std::string& name, const std::string& description)
{
    CLI::App* group = parent.add_subcommand(name, description);
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
