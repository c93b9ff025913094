#include "cli/Commands.h"
#include "cli/Confirm.h"
#include "cli/Journaling.h"
#include "cli/Names.h"
#include "cli/Terminal.h"
#include "cli/UsageError.h"
#include "engine/wire/Utf8.h"
#include "operations/FreshRead.h"

#include <iostream>
#include <memory>
#include <optional>

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
    bool Force = false;         // no question for the logged-in account
    bool PasswordStdin = false; // user add: the password is the first line of standard input
    // Given on the command line at all (an empty text clears the value).
    const CLI::Option* PasswordOption = nullptr;
    const CLI::Option* DescriptionOption = nullptr;
    const CLI::Option* NewPasswordOption = nullptr; // user add's --password
};

using Arguments = std::shared_ptr<UserArguments>;

void AddName(CLI::App* command, const Arguments& args)
{
    command->add_option("NAME", args->Name, "User name")->required()->check(NameCheck());
}

std::string PasswordFromStandardInput()
{
    std::string line;
    if (!std::getline(std::cin, line))
        throw UsageError("--password-stdin: standard input holds no line; nothing was changed");
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

// Asked twice on the terminal, so a typing mistake that nobody saw does not become the password.
std::string PasswordFromTerminal(Terminal& terminal, const std::string& user)
{
    std::optional<std::string> first = terminal.Ask("Password for the new user '" + user + "': ", true);
    std::optional<std::string> second =
        first ? terminal.Ask("The same password again: ", true) : std::nullopt;
    if (!second)
        throw UsageError("no password was given; nothing was changed");
    if (*first != *second)
        throw UsageError("the two passwords differ; nothing was changed");
    return *first;
}

// --password, --password-stdin, or asked on the terminal; without any of them, an empty password.
std::string NewUserPassword(const UserArguments& args)
{
    if (args.NewPasswordOption->count())
        return args.Password;
    if (args.PasswordStdin)
        return PasswordFromStandardInput();
    if (std::unique_ptr<Terminal> terminal = Terminal::Open())
        return PasswordFromTerminal(*terminal, args.Name);
    return {};
}

CommandResult ListUsers(TKORVELSession& session)
{
    StringList names;
    session.GetServerUserNames(names);
    return {Json(names), 0, false, EmptyListText(Json(names), "No users.")};
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

// The values not given on the command line are read from the server, after the last question answered, and
// sent back unchanged; a user changed while the question was open is asked about again.
void ModifyUser(TKORVELSession& session, const UserArguments& args)
{
    using operations::Asked;
    const std::optional<operations::UserValues> read = operations::ReadAfterQuestions<operations::UserValues>(
        std::nullopt,
        [&]
        {
            operations::UserValues user{args.Name, {}, {}, false};
            session.GetServerUser(args.Name, user.Password, user.Description, user.Administrator);
            return user;
        },
        [&](const std::optional<operations::UserValues>& asked, const operations::UserValues& now)
        {
            if (asked)
            {
                const auto meanwhile = operations::UserFieldChanges(*asked, now);
                if (meanwhile.empty())
                    return Asked::Nothing;
                Confirm("'" + args.Name +
                            "' changed on the server while asking: " + operations::ChangeText(meanwhile),
                        "Save anyway?", args.Force);
                return Asked::Agreed;
            }
            const bool guarded =
                now.Administrator && args.NoAdmin &&
                GuardAccountChange(session, args.Name, operations::AccountChange::Demote, args.Force);
            return guarded ? Asked::Agreed : Asked::Nothing;
        });
    const operations::UserValues& before = *read;
    Changes(session).ModifyUser(before,
                                {args.Name, args.PasswordOption->count() ? args.Password : before.Password,
                                 args.DescriptionOption->count() ? args.Description : before.Description,
                                 args.Admin || (before.Administrator && !args.NoAdmin)});
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

    CLI::App* add = AddCommand(*group, "add", "Add a user", chosen,
                               Silent(
                                   [args](TKORVELSession& session) {
                                       Changes(session).AddUser({args->Name, NewUserPassword(*args),
                                                                 args->Description, args->Admin});
                                   }));
    AddName(add, args);
    CLI::Option* password = add->add_option(
        "--password", args->Password,
        "Password (others on this machine can see it in the process list; see --password-stdin)");
    args->NewPasswordOption = password;
    add->add_flag(
           "--password-stdin", args->PasswordStdin,
           "Read the password from the first line of standard input (without either, it is asked on the "
           "terminal)")
        ->excludes(password);
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

    CLI::App* remove = AddCommand(
        *group, "delete", "Delete a user", chosen,
        Silent(
            [args](TKORVELSession& session)
            {
                // The logged-in account's own question says enough.
                if (!GuardAccountChange(session, args->Name, operations::AccountChange::Delete, args->Force))
                    ConfirmOnTerminal("Delete the user '" + ShownName(args->Name) + "'?", args->Force);
                Changes(session).DeleteUser(args->Name);
            }));
    AddName(remove, args);
    remove->add_flag("--force", args->Force, "Delete without asking, the logged-in account too");
}

} // namespace korvel::cli
