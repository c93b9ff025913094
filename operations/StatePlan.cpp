#include "operations/StatePlan.h"

#include "engine/wire/Utf8.h"

#include "operations/AccountGuards.h"
#include "operations/ConfigFields.h"

#include <algorithm>
#include <map>
#include <set>

namespace korvel::operations
{

namespace
{

// A name inside a message, as a person can tell it from any other.
std::string Quoted(const std::string& name)
{
    return "'" + ShownName(name) + "'";
}

std::string QuotedList(const StringList& names)
{
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : ", ") + Quoted(name);
    return text;
}

// Fields of `fields` from `before` to `after` as lines of `kind` `name`.
std::vector<PlanLine> FieldLines(const char* kind, const std::string& name,
                                 const std::vector<FieldChange>& fields)
{
    std::vector<PlanLine> lines;
    for (const FieldChange& field : fields)
        lines.push_back({'~', kind, name, field.Field, field.Before, field.After});
    return lines;
}

template <typename Step, typename Fields, typename Text, typename Values>
std::vector<PlanLine> StepLines(const char* kind, const Step& step, Fields fields, Text text, Values values)
{
    if (!step.Before)
        return {{'+', kind, step.After->Name, {}, {}, text(*step.After), {}, values(*step.After)}};
    if (!step.After)
        return {{'-', kind, step.Before->Name, {}, {}, {}, {}, values(*step.Before)}};
    return FieldLines(kind, step.After->Name, fields(*step.Before, *step.After));
}

// Works out the plan; the helpers below share what the server holds and what the file wants.
class Planner
{
public:
    Planner(const ServerState& state, const StateFile& file, const PlanOptions& options)
        : state_(state), file_(file), options_(options)
    {
    }

    Planning Make()
    {
        PlanUsers();
        PlanDatabases();
        PlanRights();
        if (file_.Config)
            result_.Plan.Config = PlanConfig(state_.Config, *file_.Config);
        GuardAdministrators();
        GuardEmptiedPasswords();
        WarnAboutRenames();
        std::stable_sort(result_.Mistakes.begin(), result_.Mistakes.end(),
                         [](const Mistake& a, const Mistake& b) { return a.Line < b.Line; });
        return std::move(result_);
    }

private:
    void PlanUsers()
    {
        StatePlan& plan = result_.Plan;
        std::set<std::string>& listed = listedUsers_;
        if (file_.Users)
            for (const WantedUser& wanted : *file_.Users)
            {
                listed.insert(wanted.Name);
                const UserValues* now = state_.FindUser(wanted.Name);
                if (!now && wanted.Password.From == PasswordSource::Kind::Environment &&
                    !wanted.Password.Value)
                    result_.Mistakes.push_back(
                        {wanted.Line, "user " + Quoted(wanted.Name) +
                                          " is new and needs a password, but the variable " +
                                          wanted.Password.Reference + " is not set"});
                else if (!now && wanted.Password.From == PasswordSource::Kind::None)
                    plan.Warnings.push_back("user " + Quoted(wanted.Name) +
                                            " is new and no password is given for it: it gets an empty one");
                else if (wanted.Password.Value && wanted.Password.Value->empty())
                {
                    plan.Warnings.push_back("user " + Quoted(wanted.Name) + " gets an empty password from " +
                                            wanted.Password.Reference);
                    if (now && !now->Password.empty() && emptied_.empty())
                        emptied_ = "the password of user " + Quoted(wanted.Name) + " would be emptied (" +
                                   wanted.Password.Reference +
                                   " is empty); --allow-empty-passwords allows it";
                }
                if (auto step = PlanUser(now ? std::optional(*now) : std::nullopt, &wanted))
                    plan.Users.push_back(std::move(*step));
            }
        std::sort(plan.Users.begin(), plan.Users.end(),
                  [](const UserStep& a, const UserStep& b) { return StepName(a) < StepName(b); });
        if (options_.Prune && file_.Users)
            for (const auto& [name, user] : state_.Users)
                if (!listed.count(name))
                {
                    plan.UserDeletions.push_back({user, std::nullopt, nullptr});
                    deletedUsers_.insert(name);
                }
    }

    void PlanDatabases()
    {
        StatePlan& plan = result_.Plan;
        std::set<std::string>& listed = listedDatabases_;
        if (file_.Databases)
            for (const WantedDatabase& wanted : *file_.Databases)
            {
                listed.insert(wanted.Name);
                const DatabaseValues* now = state_.FindDatabase(wanted.Name);
                if (auto step = PlanDatabase(now ? std::optional(*now) : std::nullopt, &wanted))
                    plan.Databases.push_back(std::move(*step));
            }
        std::sort(plan.Databases.begin(), plan.Databases.end(),
                  [](const DatabaseStep& a, const DatabaseStep& b) { return StepName(a) < StepName(b); });
        if (options_.Prune && file_.Databases)
            for (const auto& [name, database] : state_.Databases)
                if (!listed.count(name))
                {
                    plan.DatabaseDeletions.push_back({database, std::nullopt, nullptr});
                    deletedDatabases_.insert(name);
                }
    }

    // Whether a rights entry may name `name` of `kind`; a mistake on `line` when not.
    bool Known(const char* kind, const std::string& name, bool onServer, bool inFile, bool deleted, int line,
               const std::string& what)
    {
        if (deleted)
            result_.Mistakes.push_back({line, what + ": " + kind + " " + Quoted(name) +
                                                  " is deleted (--prune: the file's " + kind +
                                                  "s leave it out)"});
        else if (!onServer && !inFile)
            result_.Mistakes.push_back({line, what + ": there is no " + kind + " " + Quoted(name) +
                                                  " on the server or in the file"});
        return !deleted && (onServer || inFile);
    }

    void PlanRights()
    {
        // By database, then user: the order RightsPlan sends in, so each Set appends.
        std::map<std::pair<std::string, std::string>, PairRights> wanted;
        if (file_.Rights)
            for (const WantedPair& pair : *file_.Rights)
            {
                // Not being a database user of a database that does not exist is so already.
                if (!pair.Rights && (!state_.FindUser(pair.User) || !state_.FindDatabase(pair.Database)))
                    continue;
                const std::string what = "rights of " + Quoted(pair.User) + " on " + Quoted(pair.Database);
                const bool userKnown = Known("user", pair.User, state_.FindUser(pair.User) != nullptr,
                                             listedUsers_.count(pair.User) > 0,
                                             deletedUsers_.count(pair.User) > 0, pair.Line, what);
                const bool databaseKnown =
                    Known("database", pair.Database, state_.FindDatabase(pair.Database) != nullptr,
                          listedDatabases_.count(pair.Database) > 0,
                          deletedDatabases_.count(pair.Database) > 0, pair.Line, what);
                if (userKnown && databaseKnown)
                    wanted[{pair.Database, pair.User}] = pair.Rights;
            }
        const bool pruneRights = options_.Prune && file_.Rights;
        if (!pruneRights && deletedUsers_.empty() && deletedDatabases_.empty())
            return PlanPairs(wanted);
        for (const std::string& database : state_.Rights.Databases)
            for (const std::string& user : state_.Rights.Users)
            {
                if (!state_.Rights.Rights(user, database))
                    continue;
                const bool goes = deletedUsers_.count(user) || deletedDatabases_.count(database);
                if (goes || (pruneRights && !wanted.count({database, user})))
                    wanted[{database, user}] = std::nullopt;
            }
        PlanPairs(wanted);
    }

    // Into the plan, in its order.
    void PlanPairs(const std::map<std::pair<std::string, std::string>, PairRights>& wanted)
    {
        for (const auto& [pair, rights] : wanted)
            result_.Plan.Rights.Set(state_.Rights, pair.second, pair.first, rights);
    }

    // The last administrator is never deleted or demoted; the logged-in account's change is asked about and
    // goes last.
    // After the administrators' guard: its refusal is the one to read first.
    void GuardEmptiedPasswords()
    {
        if (!emptied_.empty() && !options_.AllowEmptyPasswords && !result_.Plan.Refusal)
            result_.Plan.Refusal = emptied_;
    }

    void GuardAdministrators()
    {
        StatePlan& plan = result_.Plan;
        std::set<std::string> administrators;
        for (const auto& [name, user] : state_.Users)
            if (user.Administrator)
                administrators.insert(name);
        const UserStep* lastToGo = nullptr;
        for (const auto* steps : {&plan.Users, &plan.UserDeletions})
            for (const UserStep& step : *steps)
            {
                const bool after = step.After && step.After->Administrator;
                if (after)
                    administrators.insert(StepName(step));
                else if (administrators.erase(StepName(step)))
                    lastToGo = &step;
            }
        if (administrators.empty() && lastToGo)
        {
            plan.Refusal = LastAdministratorMessage(
                StepName(*lastToGo), lastToGo->After ? AccountChange::Demote : AccountChange::Delete);
            return;
        }
        for (auto* steps : {&plan.Users, &plan.UserDeletions})
        {
            auto own = std::find_if(steps->begin(), steps->end(),
                                    [&](const UserStep& step)
                                    {
                                        return StepName(step) == options_.LoginUser && step.Before &&
                                               (!step.After ||
                                                (step.Before->Administrator && !step.After->Administrator));
                                    });
            if (own == steps->end())
                continue;
            plan.OwnAccountQuestion = OwnAccountQuestion(
                options_.LoginUser, own->After ? AccountChange::Demote : AccountChange::Delete);
            plan.OwnAccount = std::move(*own);
            steps->erase(own);
        }
    }

    void WarnAboutRenames()
    {
        StatePlan& plan = result_.Plan;
        StringList addedUsers, addedDatabases, deletedUsers(deletedUsers_.begin(), deletedUsers_.end()),
            deletedDatabases(deletedDatabases_.begin(), deletedDatabases_.end());
        for (const UserStep& step : plan.Users)
            if (!step.Before)
                addedUsers.push_back(step.After->Name);
        for (const DatabaseStep& step : plan.Databases)
            if (!step.Before)
                addedDatabases.push_back(step.After->Name);
        if (!addedUsers.empty() && !deletedUsers.empty())
            plan.Warnings.push_back("users " + QuotedList(deletedUsers) + " are deleted and " +
                                    QuotedList(addedUsers) +
                                    " added: a rename cannot be expressed, so this is a deletion and an "
                                    "addition, and nothing of a "
                                    "deleted user (its password, its rights) carries over");
        if (!addedDatabases.empty() && !deletedDatabases.empty())
            plan.Warnings.push_back("databases " + QuotedList(deletedDatabases) + " are deleted and " +
                                    QuotedList(addedDatabases) +
                                    " added: a rename cannot be expressed, so this is a deletion and an "
                                    "addition, and nothing of a "
                                    "deleted database (its users' rights) carries over");
    }

    const ServerState& state_;
    const StateFile& file_;
    const PlanOptions& options_;
    Planning result_;
    std::set<std::string> listedUsers_;
    std::set<std::string> listedDatabases_;
    std::set<std::string> deletedUsers_;
    std::set<std::string> deletedDatabases_;
    std::string emptied_; // the first existing password the file would empty, as a refusal says it
};

} // namespace

std::string PlanLine::Text() const
{
    std::string shown = ShownName(Object);
    if (Kind == "rights")
    {
        for (std::size_t at = shown.find('@'); at != std::string::npos; at = shown.find('@', at))
            shown.replace(at, 1, "\\x40");
        shown += "@" + ShownName(Database);
    }
    std::string text = std::string(1, Action) + " " + Kind + " " + shown;
    if (Action == '-')
        return Kind == "rights" ? text + ": " + Before : text;
    if (Action == '+')
        return text + ": " + ShownName(After);
    if (Field.empty())
        return text + ": " + ShownName(Before) + " -> " + ShownName(After);
    return text + ": " + ShownName(FieldChangeText({Field, Before, After}));
}

std::size_t StatePlan::Requests() const
{
    return Users.size() + Databases.size() + Rights.Changes().size() + DatabaseDeletions.size() +
           UserDeletions.size() + (Config ? 1 : 0) + (OwnAccount ? 1 : 0);
}

std::string StatePlan::Summary() const
{
    std::size_t additions = 0, changes = 0, removals = 0;
    auto count = [&](bool before, bool after) { (!before ? additions : !after ? removals : changes) += 1; };
    for (const auto* steps : {&Users, &UserDeletions})
        for (const UserStep& step : *steps)
            count(step.Before.has_value(), step.After.has_value());
    if (OwnAccount)
        count(true, OwnAccount->After.has_value());
    for (const auto* steps : {&Databases, &DatabaseDeletions})
        for (const DatabaseStep& step : *steps)
            count(step.Before.has_value(), step.After.has_value());
    for (const PairChange& change : Rights.Changes())
        count(change.Before.has_value(), change.After.has_value());
    if (Config)
        count(true, true);
    std::string text;
    auto add = [&text](std::size_t n, const char* one, const char* many)
    {
        if (n)
            text += (text.empty() ? "" : ", ") + std::to_string(n) + " " + (n == 1 ? one : many);
    };
    add(additions, "addition", "additions");
    add(changes, "change", "changes");
    add(removals, "removal", "removals");
    return text.empty() ? "no changes" : text;
}

std::vector<PlanLine> StatePlan::Lines() const
{
    std::vector<PlanLine> lines;
    auto append = [&lines](std::vector<PlanLine> more)
    { lines.insert(lines.end(), more.begin(), more.end()); };
    for (const UserStep& step : Users)
        append(UserLines(step));
    for (const DatabaseStep& step : Databases)
        append(DatabaseLines(step));
    for (const PairChange& change : Rights.Changes())
        lines.push_back(RightsLine(change));
    for (const DatabaseStep& step : DatabaseDeletions)
        append(DatabaseLines(step));
    for (const UserStep& step : UserDeletions)
        append(UserLines(step));
    if (Config)
        append(ConfigLines(*Config));
    if (OwnAccount)
        append(UserLines(*OwnAccount));
    return lines;
}

Planning MakePlan(const ServerState& state, const StateFile& file, const PlanOptions& options)
{
    return Planner(state, file, options).Make();
}

std::optional<UserStep> PlanUser(const std::optional<UserValues>& now, const WantedUser* wanted)
{
    if (!wanted)
        return now ? std::optional(UserStep{now, std::nullopt, nullptr}) : std::nullopt;
    // Fields the file leaves out keep the server's values; a new user starts from empty ones.
    UserValues after = now.value_or(UserValues{wanted->Name, {}, {}, false});
    after.Description = wanted->Description.value_or(after.Description);
    after.Administrator = wanted->Administrator.value_or(after.Administrator);
    after.Password = wanted->Password.Value.value_or(after.Password);
    if (now && *now == after)
        return std::nullopt;
    return UserStep{now, after, wanted};
}

std::optional<DatabaseStep> PlanDatabase(const std::optional<DatabaseValues>& now,
                                         const WantedDatabase* wanted)
{
    if (!wanted)
        return now ? std::optional(DatabaseStep{now, std::nullopt, nullptr}) : std::nullopt;
    DatabaseValues after = now.value_or(DatabaseValues{wanted->Name, {}, {}});
    after.Directory = wanted->Directory;
    after.Description = wanted->Description.value_or(after.Description);
    if (now && *now == after)
        return std::nullopt;
    return DatabaseStep{now, after, wanted};
}

std::optional<ConfigStep> PlanConfig(const ServerConfig& now, const WantedConfig& wanted)
{
    ServerConfig after = now;
    for (const ConfigField* field : wanted.Fields)
        CopyValue(*field, wanted.Values, after);
    if (ConfigFieldChanges(now, after).empty())
        return std::nullopt;
    return ConfigStep{now, after, &wanted};
}

std::vector<PlanLine> UserLines(const UserStep& step)
{
    return StepLines("user", step, UserFieldChanges, UserText, UserJson);
}

std::vector<PlanLine> DatabaseLines(const DatabaseStep& step)
{
    return StepLines("database", step, DatabaseFieldChanges, DatabaseText, DatabaseJson);
}

PlanLine RightsLine(const PairChange& change)
{
    const char action = !change.Before ? '+' : !change.After ? '-' : '~';
    return {
        action,         "rights", change.User, {}, RightsLetters(change.Before), RightsLetters(change.After),
        change.Database};
}

std::vector<PlanLine> ConfigLines(const ConfigStep& step)
{
    std::vector<PlanLine> lines;
    for (const FieldChange& field : ConfigFieldChanges(step.Before, step.After))
        lines.push_back({'~', "config", field.Field, {}, field.Before, field.After});
    return lines;
}

} // namespace korvel::operations
