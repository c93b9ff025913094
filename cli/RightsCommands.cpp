// rights: the users × databases matrix, and bulk changes to it (copy, grant, revoke, set).
#include "cli/Commands.h"
#include "cli/Confirm.h"
#include "cli/Conversions.h"
#include "cli/Journaling.h"
#include "cli/Names.h"
#include "cli/UsageError.h"
#include "operations/RightsMatrix.h"

#include <algorithm>
#include <iostream>
#include <memory>

namespace korvel::cli
{

namespace
{

using operations::PairRights;
using operations::RightsEdit;
using operations::RightsMatrix;
using operations::RightsPlan;

// The names as given on the command line: each option may be repeated (see ListedNames).
struct RightsArguments
{
    std::vector<std::string> Users;
    std::vector<std::string> Databases;
    std::string Rights;
    std::string From;
    StringList To;
    bool Force = false;
};

using Arguments = std::shared_ptr<RightsArguments>;

// The names of `all` that `occurrences` of `option` name; all of them without the option.
StringList Filtered(const StringList& all, const std::vector<std::string>& occurrences,
                    const std::string& option)
{
    if (occurrences.empty())
        return all;
    RefuseAmbiguousList(occurrences, all, option);
    const StringList wanted = ListedNames(occurrences, option);
    StringList kept;
    std::copy_if(all.begin(), all.end(), std::back_inserter(kept),
                 [&](const std::string& name)
                 { return std::find(wanted.begin(), wanted.end(), name) != wanted.end(); });
    return kept;
}

// JSON: the names and each user's rights by database. Text: a table whose first column is headed "user"
// apart from the databases' names, so a database named user cannot take its place.
CommandResult ShowMatrix(TKORVELSession& session, const RightsArguments& args)
{
    RightsMatrix matrix = RightsMatrix::Read(session);
    StringList users = Filtered(matrix.Users, args.Users, "--user");
    StringList databases = Filtered(matrix.Databases, args.Databases, "--database");
    Json rights = Json::object();
    std::vector<StringList> table{{"user"}};
    table.front().insert(table.front().end(), databases.begin(), databases.end());
    for (const std::string& user : users)
    {
        Json row = Json::object();
        StringList& line = table.emplace_back(StringList{user});
        for (const std::string& database : databases)
        {
            const PairRights pair = matrix.Rights(user, database);
            if (pair)
                row[database] = RightNames(*pair);
            line.push_back(operations::RightsLetters(pair));
        }
        rights[user] = row;
    }
    CommandResult result{Json{{"users", users}, {"databases", databases}, {"rights", rights}}};
    result.Text = users.empty() ? "" : TextTable(table);
    return result;
}

// Every name must exist on the server; "*" stands for all of them.
StringList Named(const std::vector<std::string>& occurrences, const StringList& known, const char* what,
                 const std::string& option)
{
    RefuseAmbiguousList(occurrences, known, option);
    StringList given = ListedNames(occurrences, option);
    if (given.size() == 1 && given[0] == "*")
        return known;
    for (const std::string& name : given)
        if (std::find(known.begin(), known.end(), name) == known.end())
            throw std::runtime_error(std::string("there is no ") + what + " '" + name + "' on the server");
    return given;
}

// Letters (RIU, "-" for not a database user) or names (read,insert, all, none).
PairRights ParseRightsArgument(const std::string& text, bool allowNoValue)
{
    auto letters = operations::ParseRightsLetters(text);
    if (letters && (*letters || allowNoValue))
        return *letters;
    if (text == "-")
        throw UsageError("'-' (not a database user) is only for rights set");
    return ParseRights(text);
}

// The summary, one question, the conflicts (asked again while they move), the changes, the report. A failure
// ends with status 1.
CommandResult SendPlan(TKORVELSession& session, const RightsPlan& planned, bool force)
{
    if (planned.Empty())
        return {Json{{"summary", "no changes"}, {"done", 0}}};
    Confirm(planned.Summary() + " to send.", "Send them?", force);
    // Checked again after each answer, so what is sent is built from what the server held then.
    const operations::SettledPlan settled =
        operations::SettlePlan(session, planned,
                               [force](const std::vector<operations::Conflict>& conflicts)
                               {
                                   std::cerr
                                       << "korvel-admin-cli: changed on the server since they were read:\n"
                                       << operations::ConflictList(conflicts);
                                   if (AskYesNo("Overwrite these too?", force))
                                       return true;
                                   std::cerr << "korvel-admin-cli: skipping them\n";
                                   return false;
                               });
    const RightsPlan& plan = settled.Plan;
    auto report = Changes(session).ApplyRightsPlan(plan);
    if (report.Unknown)
        throw operations::OutcomeUnknown(operations::ReportText(plan, report));
    if (!report.Error.empty())
        throw std::runtime_error(operations::ReportText(plan, report));
    return {Json{{"summary", plan.Summary()}, {"done", report.Done}, {"skipped", settled.Skipped}}};
}

CommandAction PrepareEdit(const Arguments& args, RightsEdit edit)
{
    PairRights rights = ParseRightsArgument(args->Rights, edit == RightsEdit::Set);
    ListedNames(args->Users, "--users"); // a name too long is refused before anything is sent
    ListedNames(args->Databases, "--databases");
    return [args, edit, rights](TKORVELSession& session)
    {
        RightsMatrix matrix = RightsMatrix::Read(session);
        RightsPlan plan;
        operations::PlanEdit(plan, matrix, Named(args->Users, matrix.Users, "user", "--users"),
                             Named(args->Databases, matrix.Databases, "database", "--databases"), edit,
                             rights);
        return SendPlan(session, plan, args->Force);
    };
}

CommandResult CopyRights(TKORVELSession& session, const RightsArguments& args)
{
    RightsMatrix matrix = RightsMatrix::Read(session);
    Named({args.From}, matrix.Users, "user", "FROM");
    RightsPlan plan;
    // Each TO is one name: a list of them is given as several arguments already.
    StringList to;
    for (const std::string& name : args.To)
        to.push_back(Named({name}, matrix.Users, "user", "TO").front());
    operations::PlanCopy(plan, matrix, args.From, to);
    return SendPlan(session, plan, args.Force);
}

} // namespace

void AddRightsCommands(CLI::App& app, CommandAction& chosen)
{
    auto args = std::make_shared<RightsArguments>();
    CLI::App* group = AddGroup(app, "rights", "The rights of every user on every database");
    group->require_subcommand(0, 1); // alone, it shows the matrix
    CLI::Option* userFilter = AddNamesOption(*group, "--user", args->Users,
                                             "Only these users (repeat it, or separate them by commas)");
    CLI::Option* databaseFilter =
        AddNamesOption(*group, "--database", args->Databases,
                       "Only these databases (repeat it, or separate them by commas)");
    // The filters belong to the matrix alone: after copy, grant, revoke or set, --user and --database are the
    // global login options again, and never add to the users a change is sent for.
    auto withoutFilters = [group, userFilter, databaseFilter](std::size_t)
    {
        group->remove_option(userFilter);
        group->remove_option(databaseFilter);
    };
    group->callback(
        [group, &chosen, args]
        {
            if (!group->get_subcommands().empty())
                return;
            ListedNames(args->Users, "--user");
            ListedNames(args->Databases, "--database");
            chosen = [args](TKORVELSession& session) { return ShowMatrix(session, *args); };
        });

    CLI::App* copy =
        AddCommand(*group, "copy", "Make users' rights equal to another user's on every database", chosen,
                   [args](TKORVELSession& session) { return CopyRights(session, *args); });
    copy->add_option("FROM", args->From, "The user whose rights are copied")->required()->check(NameCheck());
    copy->add_option("TO", args->To, "The users who get them")->required()->check(NameCheck());
    copy->add_flag("--force", args->Force, "Send without asking");
    copy->preparse_callback(withoutFilters);

    struct EditCommand
    {
        const char* Name;
        const char* Description;
        RightsEdit Edit;
    };
    for (auto [name, description, edit] :
         {EditCommand{"grant", "Add rights (users become database users where needed)", RightsEdit::Grant},
          EditCommand{"revoke", "Take rights away", RightsEdit::Revoke},
          EditCommand{"set", "Set exactly these rights ('-': not a database user)", RightsEdit::Set}})
    {
        CLI::App* command = AddCheckedCommand(*group, name, description, chosen,
                                              [args, edit] { return PrepareEdit(args, edit); });
        command->add_option("RIGHTS", args->Rights, "Letters RIUDCAX, or read,insert,... all, none")
            ->required();
        AddNamesOption(
            *command, "--users", args->Users,
            "Users: repeat it for one name each, or separate names without commas by commas; * for all")
            ->required();
        AddNamesOption(*command, "--databases", args->Databases,
                       "Databases: repeat it for one name each, or separate names without commas by commas; "
                       "* for all")
            ->required();
        command->add_flag("--force", args->Force, "Send without asking");
        command->preparse_callback(withoutFilters);
    }
}

} // namespace korvel::cli
