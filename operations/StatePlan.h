// What applying a state file to a server changes, worked out from what the server holds (ServerState) and
// what the file wants (StateFile), in the order the changes are sent, so each finds what it needs:
//
//   1. users added or changed, by name;
//   2. databases added or changed;
//   3. rights, by database and user (RightsPlan's order), removals included: a user or database to be deleted
//      loses its rights here first;
//   4. databases deleted, 5. users deleted (only with Prune: what a section present in the file leaves out);
//   6. the configuration;
//   7. the logged-in account's demotion or deletion: after it this login can do nothing more.
//
// A name cannot change: a user or database whose name changed in the file is a deletion and an addition, and
// the plan warns about it.
#pragma once

#include "operations/Records.h"
#include "operations/RightsMatrix.h"
#include "operations/ServerState.h"
#include "operations/StateFile.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace korvel::operations
{

// No Before: an addition; no After: a deletion. Wanted is the file's entry (null for a deletion by Prune).
struct UserStep
{
    std::optional<UserValues> Before;
    std::optional<UserValues> After;
    const WantedUser* Wanted = nullptr;
};

struct DatabaseStep
{
    std::optional<DatabaseValues> Before;
    std::optional<DatabaseValues> After;
    const WantedDatabase* Wanted = nullptr;
};

struct ConfigStep
{
    ServerConfig Before;
    ServerConfig After;
    const WantedConfig* Wanted = nullptr;
};

// The name of the user or database a step is about.
template <typename Step> const std::string& StepName(const Step& step)
{
    return step.After ? step.After->Name : step.Before->Name;
}

// One line of a plan: "+ user carol: administrator true; description \"\"; password set",
// "~ user bob: administrator false -> true", "- database Old", "~ rights bob@Sales: RI -> RIU",
// "~ config max_connections: 100 -> 50". A new user or database shows every value it gets, so a reviewer
// sees a new administrator as such.
struct PlanLine
{
    char Action = '~';  // '+', '~' or '-'
    std::string Kind;   // user, database, rights, config
    std::string Object; // the name; the user for rights; the value's name for config
    std::string Field;  // a user's or database's field that changes; empty otherwise
    std::string Before; // shown values (see Records.h); letters for rights
    std::string After;
    std::string Database = {}; // for rights
    // A user or database added (its values after) or deleted (before) as UserJson or DatabaseJson.
    nlohmann::ordered_json Values = {};
    // Names as ShownName shows them; for rights user@database, an "@" of the user's name as \x40.
    std::string Text() const;
};

class StatePlan
{
public:
    std::vector<UserStep> Users;         // 1
    std::vector<DatabaseStep> Databases; // 2
    RightsPlan Rights;                   // 3
    std::vector<DatabaseStep> DatabaseDeletions;
    std::vector<UserStep> UserDeletions;
    std::optional<ConfigStep> Config;
    std::optional<UserStep> OwnAccount;

    StringList Warnings;                // renames, new users without a password
    std::optional<std::string> Refusal; // the last administrator would go: nothing may be sent
    std::optional<std::string> OwnAccountQuestion;

    bool Empty() const { return Requests() == 0; }
    // One per request to send.
    std::size_t Requests() const;
    // "2 additions, 1 change, 1 removal", or "no changes".
    std::string Summary() const;
    // In the order of sending; a user's or database's change takes a line per field.
    std::vector<PlanLine> Lines() const;
};

struct PlanOptions
{
    bool Prune = false;
    std::string LoginUser; // the account this login uses
    // A password variable set to nothing may empty an existing user's password; without this the plan is
    // refused (a variable left empty by mistake would open the account).
    bool AllowEmptyPasswords = false;
};

struct Planning
{
    StatePlan Plan;
    // What only the server's state shows: rights naming a user or database that neither the server nor the
    // file has (or that Prune deletes), a new user whose password variable is not set.
    std::vector<Mistake> Mistakes;
};

Planning MakePlan(const ServerState& state, const StateFile& file, const PlanOptions& options);

// One object planned again from what the server holds now (`now`); nothing when it already is as wanted.
// A null `wanted` deletes.
std::optional<UserStep> PlanUser(const std::optional<UserValues>& now, const WantedUser* wanted);
std::optional<DatabaseStep> PlanDatabase(const std::optional<DatabaseValues>& now,
                                         const WantedDatabase* wanted);
std::optional<ConfigStep> PlanConfig(const ServerConfig& now, const WantedConfig& wanted);

// The lines of one step, as Lines() gives them.
std::vector<PlanLine> UserLines(const UserStep& step);
std::vector<PlanLine> DatabaseLines(const DatabaseStep& step);
PlanLine RightsLine(const PairChange& change);
std::vector<PlanLine> ConfigLines(const ConfigStep& step);

} // namespace korvel::operations
