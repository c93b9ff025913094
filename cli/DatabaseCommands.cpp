#include "cli/Commands.h"
#include "cli/Confirm.h"
#include "cli/Conversions.h"
#include "cli/Journaling.h"
#include "cli/Names.h"
#include "engine/wire/Utf8.h"

#include <memory>

namespace korvel::cli
{

namespace
{

struct DatabaseArguments
{
    std::string Name;
    std::string Directory;
    std::string Description;
    bool Force = false; // delete without asking on the terminal
    // Given on the command line at all (an empty text clears the value).
    const CLI::Option* DirectoryOption = nullptr;
    const CLI::Option* DescriptionOption = nullptr;
};

struct DatabaseUserArguments
{
    std::string Database;
    std::string User;
    std::string Rights;
    const CLI::Option* RightsOption = nullptr;
};

const char* const rightsHelp =
    "Comma-separated: read, insert, update, delete, create, alter, drop; or all, none";

CommandResult ListDatabases(TKORVELSession& session)
{
    StringList names;
    session.GetServerDatabaseNames(names);
    return {Json(names), 0, false, EmptyListText(Json(names), "No databases.")};
}

CommandResult ShowDatabase(TKORVELSession& session, const DatabaseArguments& args)
{
    std::string description, directory;
    session.GetServerDatabase(args.Name, description, directory);
    return {Json{{"name", args.Name}, {"description", description}, {"directory", directory}}};
}

// The values not given on the command line are read from the server first and sent back unchanged.
void ModifyDatabase(TKORVELSession& session, const DatabaseArguments& args)
{
    operations::DatabaseValues before{args.Name, {}, {}};
    session.GetServerDatabase(args.Name, before.Description, before.Directory);
    Changes(session).ModifyDatabase(
        before, {args.Name, args.DescriptionOption->count() ? args.Description : before.Description,
                 args.DirectoryOption->count() ? args.Directory : before.Directory});
}

CommandResult ShowDatabaseUser(TKORVELSession& session, const DatabaseUserArguments& args)
{
    TUserRights rights;
    session.GetServerDatabaseUser(args.Database, args.User, rights);
    return {Json{{"database", args.Database}, {"user", args.User}, {"rights", RightNames(rights)}}};
}

void AddDatabaseNameCommands(CLI::App& app, CommandAction& chosen)
{
    CLI::App* group = AddGroup(app, "database", "The server's databases");
    auto args = std::make_shared<DatabaseArguments>();
    auto addName = [&args](CLI::App* command)
    { command->add_option("NAME", args->Name, "Database name")->required()->check(NameCheck()); };

    AddCommand(*group, "list", "List the database names", chosen, ListDatabases);
    addName(AddCommand(*group, "show", "Show a database", chosen,
                       [args](TKORVELSession& session) { return ShowDatabase(session, *args); }));

    CLI::App* add =
        AddCommand(*group, "add", "Add a database", chosen,
                   Silent(
                       [args](TKORVELSession& session) {
                           Changes(session).AddDatabase({args->Name, args->Description, args->Directory});
                       }));
    addName(add);
    add->add_option("--directory", args->Directory, "Directory of the database's files")->required();
    add->add_option("--description", args->Description, "Description");

    CLI::App* modify =
        AddCommand(*group, "modify", "Change a database; values not given are kept", chosen,
                   Silent([args](TKORVELSession& session) { ModifyDatabase(session, *args); }));
    addName(modify);
    args->DirectoryOption = modify->add_option("--directory", args->Directory, "New directory");
    args->DescriptionOption = modify->add_option("--description", args->Description, "New description");

    CLI::App* remove = AddCommand(
        *group, "delete", "Delete a database", chosen,
        Silent(
            [args](TKORVELSession& session)
            {
                ConfirmOnTerminal("Delete the database '" + ShownName(args->Name) + "'?", args->Force);
                Changes(session).DeleteDatabase(args->Name);
            }));
    addName(remove);
    remove->add_flag("--force", args->Force, "Delete without asking");
}

void AddDatabaseUserCommands(CLI::App& app, CommandAction& chosen)
{
    CLI::App* group = AddGroup(app, "dbuser", "The rights of users on a database");
    auto args = std::make_shared<DatabaseUserArguments>();
    auto addNames = [&args](CLI::App* command)
    {
        command->add_option("DB", args->Database, "Database name")->required()->check(NameCheck());
        command->add_option("USER", args->User, "User name")->required()->check(NameCheck());
    };

    AddCommand(*group, "list", "List the users of a database", chosen,
               [args](TKORVELSession& session)
               {
                   StringList names;
                   session.GetServerDatabaseUserNames(args->Database, names);
                   return CommandResult{Json(names), 0, false,
                                        EmptyListText(Json(names), "No users on this database.")};
               })
        ->add_option("DB", args->Database, "Database name")
        ->required()
        ->check(NameCheck());
    addNames(AddCommand(*group, "show", "Show the rights of a user on a database", chosen,
                        [args](TKORVELSession& session) { return ShowDatabaseUser(session, *args); }));

    // The rights are checked once parsing is done, before anything is sent.
    CLI::App* add = AddCheckedCommand(
        *group, "add", "Give a user rights on a database (read only by default)", chosen,
        [args]
        {
            TUserRights rights =
                args->RightsOption->count() ? ParseRights(args->Rights) : TUserRights{urRead};
            return Silent(
                [args, rights](TKORVELSession& session) {
                    Changes(session).ChangeRights({args->User, args->Database, std::nullopt, rights});
                });
        });
    addNames(add);
    args->RightsOption = add->add_option("--rights", args->Rights, rightsHelp);

    CLI::App* modify = AddCheckedCommand(
        *group, "modify", "Change the rights of a user on a database", chosen,
        [args]
        {
            TUserRights rights = ParseRights(args->Rights);
            return Silent([args, rights](TKORVELSession& session)
                          { Changes(session).ModifyDatabaseUser(args->Database, args->User, rights); });
        });
    addNames(modify);
    modify->add_option("--rights", args->Rights, rightsHelp)->required();

    addNames(AddCommand(*group, "delete", "Take a user off a database", chosen,
                        Silent([args](TKORVELSession& session)
                               { Changes(session).DeleteDatabaseUser(args->Database, args->User); })));
}

} // namespace

void AddDatabaseCommands(CLI::App& app, CommandAction& chosen)
{
    AddDatabaseNameCommands(app, chosen);
    AddDatabaseUserCommands(app, chosen);
}

} // namespace korvel::cli
