#include "operations/RightsMatrix.h"

#include "engine/wire/EngineError.h"
#include "engine/wire/ErrorCodes.h"
#include "session/KORVELSession.h"

#include <algorithm>
#include <cctype>
#include <tuple>

namespace korvel::operations
{

namespace
{

constexpr std::string_view Letters = "RIUDCAX"; // in bit order: read ... drop
constexpr std::string_view NoRights = "\u00b7"; // middle dot

void Before(const BeforeRequest& beforeRequest)
{
    if (beforeRequest)
        beforeRequest();
}

PairRights ReadPair(TKORVELSession& session, const std::string& user, const std::string& database)
{
    try
    {
        TUserRights rights;
        session.GetServerDatabaseUser(database, user, rights);
        return rights;
    }
    catch (const EKORVELEngineError& error)
    {
        if (error.ErrorCode == KORVEL_REMOTENODBUSER)
            return std::nullopt;
        throw;
    }
}

std::string Quoted(const std::string& name)
{
    return "'" + name + "'";
}

std::string Describe(const PairChange& change)
{
    return Quoted(change.User) + " on " + Quoted(change.Database);
}

// The lines of the first `Listed` of `count` items, then "and N more": a question or a report about a
// thousand pairs still fits on the screen.
std::vector<std::string> Capped(std::size_t count, const std::function<std::string(std::size_t)>& line)
{
    constexpr std::size_t Listed = 20;
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < std::min(count, Listed); ++i)
        lines.push_back(line(i));
    if (count > Listed)
        lines.push_back("and " + std::to_string(count - Listed) + " more");
    return lines;
}

} // namespace

std::string RightsLetters(const PairRights& rights)
{
    if (!rights)
        return "-";
    if (rights->Empty())
        return std::string(NoRights);
    std::string text;
    for (std::size_t bit = 0; bit < Letters.size(); ++bit)
        if (rights->Contains(static_cast<TUserRight>(bit)))
            text.push_back(Letters[bit]);
    return text;
}

std::optional<PairRights> ParseRightsLetters(std::string_view text)
{
    if (text == "-")
        return PairRights{};
    if (text == NoRights)
        return PairRights{TUserRights{}};
    TUserRights rights;
    for (char c : text)
    {
        auto bit = Letters.find(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
        if (bit == std::string_view::npos)
            return std::nullopt;
        rights.Include(static_cast<TUserRight>(bit));
    }
    return PairRights{rights};
}

DatabaseColumn ReadDatabaseColumn(TKORVELSession& session, const std::string& database,
                                  const BeforeRequest& beforeRequest)
{
    DatabaseColumn column{database, {}};
    StringList users;
    Before(beforeRequest);
    session.GetServerDatabaseUserNames(database, users);
    for (const std::string& user : users)
    {
        Before(beforeRequest);
        // A pair removed between the two requests is simply not a database user any more.
        if (auto rights = ReadPair(session, user, database))
            column.Users.emplace(user, *rights);
    }
    return column;
}

RightsMatrix RightsMatrix::ReadNames(TKORVELSession& session)
{
    RightsMatrix matrix;
    session.GetServerUserNames(matrix.Users);
    session.GetServerDatabaseNames(matrix.Databases);
    return matrix;
}

RightsMatrix RightsMatrix::Read(TKORVELSession& session, const BeforeRequest& beforeRequest)
{
    RightsMatrix matrix = ReadNames(session);
    for (const std::string& database : matrix.Databases)
        matrix.SetColumn(ReadDatabaseColumn(session, database, beforeRequest));
    return matrix;
}

void RightsMatrix::SetColumn(DatabaseColumn column)
{
    columns_[column.Database] = std::move(column.Users);
}

PairRights RightsMatrix::Rights(const std::string& user, const std::string& database) const
{
    auto column = columns_.find(database);
    if (column == columns_.end())
        return std::nullopt;
    auto found = column->second.find(user);
    if (found == column->second.end())
        return std::nullopt;
    return found->second;
}

void RightsPlan::Put(PairChange change)
{
    auto key = [](const PairChange& c) { return std::tie(c.Database, c.User); };
    auto position =
        std::lower_bound(changes_.begin(), changes_.end(), change,
                         [&](const PairChange& a, const PairChange& b) { return key(a) < key(b); });
    bool same = position != changes_.end() && key(*position) == key(change);
    if (change.Before == change.After)
    {
        if (same)
            changes_.erase(position);
    }
    else if (same)
        *position = std::move(change);
    else
        changes_.insert(position, std::move(change));
}

void RightsPlan::Set(const RightsMatrix& matrix, const std::string& user, const std::string& database,
                     PairRights after)
{
    Put({user, database, matrix.Rights(user, database), std::move(after)});
}

std::string RightsPlan::Summary() const
{
    int additions = 0, changes = 0, removals = 0;
    for (const PairChange& change : changes_)
        (!change.Before ? additions : !change.After ? removals : changes) += 1;
    std::string text;
    auto add = [&text](int count, const char* one, const char* many)
    {
        if (count)
            text += (text.empty() ? "" : ", ") + std::to_string(count) + " " + (count == 1 ? one : many);
    };
    add(additions, "addition", "additions");
    add(changes, "change", "changes");
    add(removals, "removal", "removals");
    return text.empty() ? "no changes" : text;
}

void PlanEdit(RightsPlan& plan, const RightsMatrix& matrix, const StringList& users,
              const StringList& databases, RightsEdit edit, const PairRights& rights)
{
    for (const std::string& database : databases)
        for (const std::string& user : users)
        {
            PairRights now = matrix.Rights(user, database);
            PairRights wanted = now;
            if (edit == RightsEdit::Set)
                wanted = rights;
            else if (rights)
            {
                if (edit == RightsEdit::Grant)
                    wanted = TUserRights::FromByte(
                        static_cast<std::uint8_t>((now ? now->ToByte() : 0) | rights->ToByte()));
                else if (now)
                    wanted =
                        TUserRights::FromByte(static_cast<std::uint8_t>(now->ToByte() & ~rights->ToByte()));
            }
            plan.Set(matrix, user, database, wanted);
        }
}

void PlanCopy(RightsPlan& plan, const RightsMatrix& matrix, const std::string& from, const StringList& to)
{
    for (const std::string& database : matrix.Databases)
        for (const std::string& user : to)
            if (user != from)
                plan.Set(matrix, user, database, matrix.Rights(from, database));
}

CheckedPlan CheckPlan(TKORVELSession& session, const RightsPlan& plan, const BeforeRequest& beforeRequest)
{
    return CheckPlan(plan,
                     [&](const PairChange& change)
                     {
                         Before(beforeRequest);
                         return ReadPair(session, change.User, change.Database);
                     });
}

CheckedPlan CheckPlan(const RightsPlan& plan, const std::function<PairRights(const PairChange&)>& readNow)
{
    CheckedPlan checked;
    for (const PairChange& change : plan.Changes())
    {
        PairRights now = readNow(change);
        if (now == change.Before)
            checked.Kept.Put(change);
        else if (now != change.After)
            checked.Conflicts.push_back({change, now});
    }
    return checked;
}

RightsPlan Overwriting(const CheckedPlan& checked)
{
    RightsPlan plan = checked.Kept;
    for (const Conflict& conflict : checked.Conflicts)
        plan.Put({conflict.Change.User, conflict.Change.Database, conflict.Now, conflict.Change.After});
    return plan;
}

SettledPlan SettlePlan(const RightsPlan& planned, const std::function<PairRights(const PairChange&)>& readNow,
                       const std::function<bool(const std::vector<Conflict>&)>& overwrite)
{
    SettledPlan settled;
    RightsPlan candidate = planned;
    for (;;)
    {
        CheckedPlan checked = CheckPlan(candidate, readNow);
        if (checked.Conflicts.empty())
        {
            settled.Plan = std::move(checked.Kept);
            return settled;
        }
        if (overwrite(checked.Conflicts))
            candidate = Overwriting(checked);
        else
        {
            settled.Skipped += checked.Conflicts.size();
            candidate = std::move(checked.Kept);
        }
    }
}

SettledPlan SettlePlan(TKORVELSession& session, const RightsPlan& planned,
                       const std::function<bool(const std::vector<Conflict>&)>& overwrite,
                       const BeforeRequest& beforeRequest)
{
    return SettlePlan(
        planned,
        [&](const PairChange& change)
        {
            Before(beforeRequest);
            return ReadPair(session, change.User, change.Database);
        },
        overwrite);
}

std::string ConflictList(const std::vector<Conflict>& conflicts)
{
    auto line = [&](std::size_t i)
    {
        const Conflict& conflict = conflicts[i];
        return Describe(conflict.Change) + ": read as " + RightsLetters(conflict.Change.Before) + ", now " +
               RightsLetters(conflict.Now);
    };
    std::string text;
    for (const std::string& listed : Capped(conflicts.size(), line))
        text += listed + "\n";
    return text;
}

std::string ReportText(const RightsPlan& plan, const ApplyReport& report)
{
    const auto& changes = plan.Changes();
    if (report.Error.empty())
        return "All " + std::to_string(changes.size()) + " changes were made.";
    std::string text = std::to_string(report.Done) + " of " + std::to_string(changes.size()) +
                       " changes were made. The change of " + Describe(changes[report.Done]) +
                       " failed: " + report.Error;
    std::size_t notSent = changes.size() - report.Done - 1;
    if (notSent)
        text += "\n" + std::to_string(notSent) + " further " +
                (notSent == 1 ? "change was" : "changes were") + " not sent:";
    auto line = [&](std::size_t i)
    {
        const PairChange& change = changes[report.Done + 1 + i];
        return Describe(change) + " -> " + RightsLetters(change.After);
    };
    for (const std::string& listed : Capped(notSent, line))
        text += "\n  " + listed;
    return text;
}

} // namespace korvel::operations
