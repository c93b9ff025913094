// rights: the users × databases matrix, and bulk changes to it (copy, grant, revoke, set).
#include "cli/Commands.h"
#include "cli/Confirm.h"
#include "cli/Conversions.h"
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

struct RightsArguments
{
    StringList Users;
    StringList Databases;
    std::string Rights;
    std::string From;
    StringList To;
    bool Force = false;
    const CLI::App* Root = nullptr;
};

using Arguments = std::shared_ptr<RightsArguments>;

// The global --json of the program.
bool JsonWanted(const RightsArguments& args)
{
    const CLI::Option* json = args.Root->get_option_no_throw("--json");
    return json && json->count() > 0;
}

StringList Filtered(const StringList& all, const StringList& wanted)
{
    if (wanted.empty())
        return all;
    StringList kept;
    std::copy_if(all.begin(), all.end(), std::back_inserter(kept),
                 [&](const std::string& name)
                 { return std::find(wanted.begin(), wanted.end(), name) != wanted.end(); });
    return kept;
}

CommandResult ShowMatrix(TKORVELSession& session, const RightsArguments& args)
{
    RightsMatrix matrix = RightsMatrix::Read(session);
    StringList users = Filtered(matrix.Users, args.Users);
    StringList databases = Filtered(matrix.Databases, args.Databases);
    if (JsonWanted(args))
    {
        Json rights = Json::object();
        for (const std::string& user : users)
        {
            Json row = Json::object();
            for (const std::string& database : databases)
                if (PairRights pair = matrix.Rights(user, database))
                    row[database] = RightNames(*pair);
            rights[user] = row;
        }
        return {Json{{"users", users}, {"databases", databases}, {"rights", rights}}};
    }
    Json rows = Json::array();
    for (const std::string& user : users)
    {
        Json row{{"user", user}};
        for (const std::string& database : databases)
            row[database] = operations::RightsLetters(matrix.Rights(user, database));
        rows.push_back(row);
    }
    return {rows};
}

// Every name must exist on the server; "*" stands for all of them.
StringList Named(const StringList& given, const StringList& known, const char* what)
{
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

// The summary, one question, the conflicts, the changes, the report. A failure ends with status 1.
CommandResult SendPlan(TKORVELSession& session, const RightsPlan& planned, bool force)
{
    if (planned.Empty())
        return {Json{{"summary", "no changes"}, {"done", 0}}};
    Confirm(planned.Summary() + " to send.", "Send them?", force);
    auto conflicts = operations::ReadConflicts(session, planned);
    RightsPlan plan = planned;
    if (!conflicts.empty())
    {
        std::cerr << "korvel-admin-cli: changed on the server since they were read:\n"
                  << operations::ConflictList(conflicts);
        if (!AskYesNo("Overwrite these too?", force))
        {
            std::cerr << "korvel-admin-cli: skipping them\n";
            plan = operations::Without(planned, conflicts);
        }
    }
    auto report = operations::ApplyPlan(session, plan);
    if (!report.Error.empty())
        throw std::runtime_error(operations::ReportText(plan, report));
    return {Json{{"summary", plan.Summary()},
                 {"done", report.Done},
                 {"skipped", planned.Changes().size() - plan.Changes().size()}}};
}

CommandAction PrepareEdit(const Arguments& args, RightsEdit edit)
{
    PairRights rights = ParseRightsArgument(args->Rights, edit == RightsEdit::Set);
    return [args, edit, rights](TKORVELSession& session)
    {
        RightsMatrix matrix = RightsMatrix::Read(session);
        RightsPlan plan;
        operations::PlanEdit(plan, matrix, Named(args->Users, matrix.Users, "user"),
                             Named(args->Databases, matrix.Databases, "database"), edit, rights);
        return SendPlan(session, plan, args->Force);
    };
}

CommandResult CopyRights(TKORVELSession& session, const RightsArguments& args)
{
    RightsMatrix matrix = RightsMatrix::Read(session);
    Named({args.From}, matrix.Users, "user");
    RightsPlan plan;
    operations::PlanCopy(plan, matrix, args.From, Named(args.To, matrix.Users, "user"));
    return SendPlan(session, plan, args.Force);
}

} // namespace

void AddRightsCommands(CLI::App& app, CommandAction& chosen)
{
    auto args = std::make_shared<RightsArguments>();
    args->Root = &app;
    CLI::App* group = AddGroup(app, "rights", "The rights of every user on every database");
    group->require_subcommand(0, 1); // alone, it shows the matrix
    CLI::Option* userFilter = group->add_option("--user", args->Users, "Only these users")->delimiter(',');
    CLI::Option* databaseFilter =
        group->add_option("--database", args->Databases, "Only these databases")->delimiter(',');
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
            if (group->get_subcommands().empty())
                chosen = [args](TKORVELSession& session) { return ShowMatrix(session, *args); };
        });

    CLI::App* copy =
        AddCommand(*group, "copy", "Make users' rights equal to another user's on every database", chosen,
                   [args](TKORVELSession& session) { return CopyRights(session, *args); });
    copy->add_option("FROM", args->From, "The user whose rights are copied")->required();
    copy->add_option("TO", args->To, "The users who get them")->required();
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
        command->add_option("--users", args->Users, "Users (comma-separated, * for all)")
            ->delimiter(',')
            ->required();
        command->add_option("--databases", args->Databases, "Databases (comma-separated, * for all)")
            ->delimiter(',')
            ->required();
        command->add_flag("--force", args->Force, "Send without asking");
        command->preparse_callback(withoutFilters);
    }
}

} // namespace korvel::cli
