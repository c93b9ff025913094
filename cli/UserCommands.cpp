#include "cli/Commands.h"
#include "cli/Confirm.h"

#include <memory>

namespace korvel::cli
{

namespace
{

struct UserArguments
{
    std::string Name;
    std::string Password;
    std::string Description;
    bool ShowPassword = false;
    bool Admin = false;
    bool NoAdmin = false;
    bool Force = false; // no question for the logged-in account
    // Given on the command line at all (an empty text clears the value).
    const CLI::Option* PasswordOption = nullptr;
    const CLI::Option* DescriptionOption = nullptr;
};

using Arguments = std::shared_ptr<UserArguments>;

void AddName(CLI::App* command, const Arguments& args)
{
    command->add_option("NAME", args->Name, "User name")->required();
}

CommandResult ListUsers(TKORVELSession& session)
{
    StringList names;
    session.GetServerUserNames(names);
    return {Json(names)};
}

CommandResult ShowUser(TKORVELSession& session, const UserArguments& args)
{
    std::string password, description;
    bool administrator = false;
    session.GetServerUser(args.Name, password, description, administrator);
    Json out{{"name", args.Name}, {"description", description}, {"administrator", administrator}};
    if (args.ShowPassword)
        out["password"] = password;
    return {out};
}

// The values not given on the command line are read from the server first and sent back unchanged.
void ModifyUser(TKORVELSession& session, const UserArguments& args)
{
    std::string password, description;
    bool administrator = false;
    session.GetServerUser(args.Name, password, description, administrator);
    if (administrator && args.NoAdmin)
        GuardAccountChange(session, args.Name, operations::AccountChange::Demote, args.Force);
    session.ModifyServerUser(args.Name, args.PasswordOption->count() ? args.Password : password,
                             args.DescriptionOption->count() ? args.Description : description,
                             args.Admin || (administrator && !args.NoAdmin));
}

} // namespace

void AddUserCommands(CLI::App& app, CommandAction& chosen)
{
    CLI::App* group = AddGroup(app, "user", "The server's users");
    auto args = std::make_shared<UserArguments>();

    AddCommand(*group, "list", "List the user names", chosen, ListUsers);

    CLI::App* show = AddCommand(*group, "show", "Show a user", chosen,
                                [args](TKORVELSession& session) { return ShowUser(session, *args); });
    AddName(show, args);
    show->add_flag("--show-password", args->ShowPassword, "Also show the password");

    CLI::App* add = AddCommand(
        *group, "add", "Add a user", chosen,
        Silent([args](TKORVELSession& session)
               { session.AddServerUser(args->Name, args->Password, args->Description, args->Admin); }));
    AddName(add, args);
    add->add_option("--password", args->Password, "Password");
    add->add_option("--description", args->Description, "Description");
    add->add_flag("--admin", args->Admin, "An administrator");

    CLI::App* modify = AddCommand(*group, "modify", "Change a user; values not given are kept", chosen,
                                  Silent([args](TKORVELSession& session) { ModifyUser(session, *args); }));
    AddName(modify, args);
    args->PasswordOption = modify->add_option("--password", args->Password, "New password");
    args->DescriptionOption = modify->add_option("--description", args->Description, "New description");
    modify->add_flag("--admin", args->Admin, "Make an administrator")
        ->excludes(modify->add_flag("--no-admin", args->NoAdmin, "Make not an administrator"));
    modify->add_flag("--force", args->Force, "Demote the logged-in account without asking");

    CLI::App* remove = AddCommand(*group, "delete", "Delete a user", chosen,
                                  Silent(
                                      [args](TKORVELSession& session)
                                      {
                                          GuardAccountChange(session, args->Name,
                                                             operations::AccountChange::Delete, args->Force);
                                          session.DeleteServerUser(args->Name);
                                      }));
    AddName(remove, args);
    remove->add_flag("--force", args->Force, "Delete the logged-in account without asking");
}

} // namespace korvel::cli
