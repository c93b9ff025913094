// The rights of every user on every database as one table, and bulk changes to it. Reading costs one
// GETDBUSERNAMES per database and one GETDBUSER per database user; a bulk change becomes a plan of
// single-pair requests (ADDDBUSER, MODIFYDBUSER, DELETEDBUSER) sent in a stable order, checked first against
// what the server holds now so another administrator's change is not silently overwritten.
#pragma once

#include "engine/wire/Message.h"
#include "session/UserRights.h"

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvel
{
class TKORVELSession;
}

namespace korvel::operations
{

// No value: the user is not a database user of that database.
using PairRights = std::optional<TUserRights>;

// "RIUDCAX" letters of the rights held ("·" for none, "-" for no value).
std::string RightsLetters(const PairRights& rights);
// Letters in any order and case, "-" for no value, "" or "·" for no rights. Nothing when a letter is unknown.
std::optional<PairRights> ParseRightsLetters(std::string_view text);

// Called before each request; raises to stop (a cancelled load, an inactive session).
using BeforeRequest = std::function<void()>;

// One database's users and their rights.
struct DatabaseColumn
{
    std::string Database;
    std::map<std::string, TUserRights> Users;
};
DatabaseColumn ReadDatabaseColumn(TKORVELSession& session, const std::string& database,
                                  const BeforeRequest& beforeRequest);

class RightsMatrix
{
public:
    StringList Users;     // as the server lists them
    StringList Databases; // as the server lists them

    // GETUSERNAMES and GETDBNAMES; the columns are then read one by one.
    static RightsMatrix ReadNames(TKORVELSession& session);
    // Names and every column.
    static RightsMatrix Read(TKORVELSession& session, const BeforeRequest& beforeRequest = {});

    void SetColumn(DatabaseColumn column);
    bool HasColumn(const std::string& database) const { return columns_.count(database) > 0; }
    PairRights Rights(const std::string& user, const std::string& database) const;

private:
    std::map<std::string, std::map<std::string, TUserRights>> columns_;
};

// One pair to change: what the grid showed and what is wanted.
struct PairChange
{
    std::string User;
    std::string Database;
    PairRights Before;
    PairRights After;
};

// The changes in the order they are sent: by database, then by user.
class RightsPlan
{
public:
    // Adds a change unless Before equals After; a later change of the same pair replaces the earlier one.
    void Put(PairChange change);
    // Put with Before as the matrix holds it.
    void Set(const RightsMatrix& matrix, const std::string& user, const std::string& database,
             PairRights after);
    const std::vector<PairChange>& Changes() const { return changes_; }
    bool Empty() const { return changes_.empty(); }
    // "12 additions, 3 changes, 2 removals" (only the kinds present; "no changes" when empty).
    std::string Summary() const;

private:
    std::vector<PairChange> changes_;
};

// Bulk edits of the pairs `users` × `databases`.
enum class RightsEdit
{
    Grant,  // add these rights (a user who is not a database user becomes one)
    Revoke, // take these rights away (database users only)
    Set     // exactly these rights; no value makes them not database users
};
void PlanEdit(RightsPlan& plan, const RightsMatrix& matrix, const StringList& users,
              const StringList& databases, RightsEdit edit, const PairRights& rights);
// Makes each target's rights equal to the source's on every database, removals included.
void PlanCopy(RightsPlan& plan, const RightsMatrix& matrix, const std::string& from, const StringList& to);

// A change whose pair the server now holds differently from what the grid showed (another administrator
// changed it since), and not yet as wanted.
struct Conflict
{
    PairChange Change;
    PairRights Now;
};
// A plan checked against what the server holds now.
struct CheckedPlan
{
    RightsPlan Kept; // the pairs the server still holds as they were read
    std::vector<Conflict> Conflicts;
};
// Reads each pair of the plan again. A pair another administrator already set as wanted is neither kept nor
// a conflict: there is nothing left to send for it.
CheckedPlan CheckPlan(TKORVELSession& session, const RightsPlan& plan,
                      const BeforeRequest& beforeRequest = {});
// The same, with `readNow` giving what the server holds for each change's pair.
CheckedPlan CheckPlan(const RightsPlan& plan, const std::function<PairRights(const PairChange&)>& readNow);
// The kept changes and the conflicts overwritten: each conflict becomes the request that fits what the server
// holds now (an addition where the pair was removed meanwhile, a change or a removal where it was added).
RightsPlan Overwriting(const CheckedPlan& checked);
// The plan to send once the person has answered about its conflicts. After each answer the plan is checked
// again against what the server holds then, so an overwrite is built from a read made after the question and
// a pair that moved while it was open is asked about again. `overwrite` shows the conflicts and answers (true
// overwrites them, false skips them); the pairs without conflict are sent either way.
struct SettledPlan
{
    RightsPlan Plan;
    std::size_t Skipped = 0; // conflicts left as the server holds them
};
SettledPlan SettlePlan(const RightsPlan& planned, const std::function<PairRights(const PairChange&)>& readNow,
                       const std::function<bool(const std::vector<Conflict>&)>& overwrite);
SettledPlan SettlePlan(TKORVELSession& session, const RightsPlan& planned,
                       const std::function<bool(const std::vector<Conflict>&)>& overwrite,
                       const BeforeRequest& beforeRequest = {});
// One line per conflict: "'bob' on 'sales': read as R, now RI"; a long list ends in "and N more", as the
// report does.
std::string ConflictList(const std::vector<Conflict>& conflicts);

// What ServerChanges::ApplyRightsPlan did: it sends the changes in order and stops at the first failure.
struct ApplyReport
{
    std::size_t Done = 0;
    std::string Error;    // empty when every change was made
    bool Unknown = false; // the failed change may have been made: its reply never came
};
// "All 17 changes were made." or what was done, what failed and what was not sent.
std::string ReportText(const RightsPlan& plan, const ApplyReport& report);

} // namespace korvel::operations
