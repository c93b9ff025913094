// The requests that change a server, each recorded in the journal (journal/Journal.h): when, by whom, what
// was sent, what it changed (before -> after, as far as the caller read the before) and how it ended. The CLI
// sends every change through it, the state apply included, and so does the window, from its worker:
//
//     journal::Journal journal; // one per program
//     ServerChanges changes(session, journal, LoginOrigin(session, "korvel-admin", profileName));
//     changes.ModifyUser(asRead, edited);
//
// Each method opens the journal first, so a change that could not be recorded is not sent; then it sends
// the one request, appends the entry with the result and raises the request's failure, if any, unchanged;
// but a request whose reply never came (a deadline or a cancel cut it short) is journaled as unknown and
// raises OutcomeUnknown.
// Read-only requests are not journaled: they are called on the session directly.
//
// In the window (admin/common/WindowJournal.h), each session call that changes the server is one of these:
// the Users, Databases and Database Users pages' saves and deletions (ChangeRights with the rights as read),
// the Rights page's plan (ApplyRightsPlan, with the job's check as BeforeRequest), the Server page's save
// (ModifyConfig) and the Status page's start, stop, disconnect and remove. File > Change History reads the
// journal with journal/History.h.
#pragma once

#include "engine/wire/AdminTypes.h"
#include "journal/Journal.h"
#include "operations/OutcomeUnknown.h"
#include "operations/Records.h"
#include "operations/RightsMatrix.h"

#include <cstdint>
#include <optional>
#include <string>

namespace korvel::operations
{

// The login's server ("host:port", or "host:service"), user and the given program and profile.
journal::Origin LoginOrigin(const TKORVELSession& session, std::string program, std::string profile);

// What a change is made to, as journaled: a user, database or session by its name, or a database user by
// both (Database set).
struct ChangedObject
{
    ChangedObject(std::string name = {}, std::optional<std::string> database = std::nullopt)
        : Name(std::move(name)), Database(std::move(database))
    {
    }
    std::string Name;
    std::optional<std::string> Database;
};

class ServerChanges
{
public:
    ServerChanges(TKORVELSession& session, journal::Journal& journal, journal::Origin origin);

    void AddUser(const UserValues& user);
    void ModifyUser(const UserValues& before, const UserValues& after);
    void DeleteUser(const std::string& name);

    void AddDatabase(const DatabaseValues& database);
    void ModifyDatabase(const DatabaseValues& before, const DatabaseValues& after);
    void DeleteDatabase(const std::string& name);

    // The request that fits Before and After: ADDDBUSER when Before has no value, DELETEDBUSER when After has
    // none, MODIFYDBUSER otherwise.
    void ChangeRights(const PairChange& change);
    // When the rights held before were not read (the entry says "?" for them).
    void ModifyDatabaseUser(const std::string& database, const std::string& user, TUserRights rights);
    void DeleteDatabaseUser(const std::string& database, const std::string& user);
    // Sends the plan's changes in order, each pair journaled, and stops at the first failure.
    ApplyReport ApplyRightsPlan(const RightsPlan& plan, const BeforeRequest& beforeRequest = {});

    void ModifyConfig(const ServerConfig& before, const ServerConfig& after);

    void StartServer();
    void StopServer();
    // The server's answer; false is journaled as a failure.
    bool DisconnectSession(std::int32_t serverSessionId);
    bool RemoveSession(std::int32_t serverSessionId);

private:
    // Opens the journal, runs `send` (false: the server said no) and appends the entry.
    template <typename Send>
    bool Record(const char* operation, ChangedObject object, std::string change, Send send);

    TKORVELSession& session_;
    journal::Journal& journal_;
    journal::Origin origin_;
};

} // namespace korvel::operations
