#include "operations/ServerChanges.h"

#include "engine/wire/EngineError.h"
#include "operations/ConfigFields.h"
#include "session/KORVELSession.h"

#include <exception>

namespace korvel::operations
{

namespace
{

// A database user, journaled as its two names (a text joining them could name two different pairs).
ChangedObject PairName(const std::string& user, const std::string& database)
{
    return {user, database};
}

} // namespace

journal::Origin LoginOrigin(const TKORVELSession& session, std::string program, std::string profile)
{
    const std::string host = session.RemoteHost().empty() ? session.RemoteAddress() : session.RemoteHost();
    const std::string port =
        session.RemoteService().empty() ? std::to_string(session.RemotePort()) : session.RemoteService();
    // The name the login used: typed at a prompt, it need not be the RemoteUser setting.
    const TDataSession* remote = session.DataSession();
    return {host + ":" + port, std::move(profile), remote ? remote->UserName() : session.RemoteUser(),
            std::move(program)};
}

ServerChanges::ServerChanges(TKORVELSession& session, journal::Journal& journal, journal::Origin origin)
    : session_(session), journal_(journal), origin_(std::move(origin))
{
}

template <typename Send>
bool ServerChanges::Record(const char* operation, ChangedObject object, std::string change, Send send)
{
    journal_.Open();
    journal::Entry entry;
    entry.Time = journal::Now();
    entry.From = origin_;
    entry.Operation = operation;
    entry.Object = std::move(object.Name);
    entry.Database = std::move(object.Database);
    entry.Change = std::move(change);
    auto failed = [&](int code, const char* message)
    {
        entry.Ok = false;
        // Cut short by our own deadline or cancel: the request may have reached the server.
        entry.Unknown = session_.LastInterruption() != Interruption::None;
        entry.ErrorCode = code;
        entry.ErrorMessage = message;
        journal_.Append(entry);
        if (entry.Unknown)
            std::throw_with_nested(OutcomeUnknown(std::string(message) + ": " + MayHaveBeenMade));
    };
    bool done = false;
    try
    {
        done = send();
    }
    catch (const EKORVELEngineError& error)
    {
        failed(error.ErrorCode, error.what());
        throw;
    }
    catch (const std::exception& error)
    {
        failed(0, error.what());
        throw;
    }
    if (!done)
        failed(0, "the server answered no");
    else
        journal_.Append(entry);
    return done;
}

void ServerChanges::AddUser(const UserValues& user)
{
    Record("add user", user.Name, UserText(user),
           [&]
           {
               session_.AddServerUser(user.Name, user.Password, user.Description, user.Administrator);
               return true;
           });
}

void ServerChanges::ModifyUser(const UserValues& before, const UserValues& after)
{
    Record("modify user", after.Name, ChangeText(UserFieldChanges(before, after)),
           [&]
           {
               session_.ModifyServerUser(after.Name, after.Password, after.Description, after.Administrator);
               return true;
           });
}

void ServerChanges::DeleteUser(const std::string& name)
{
    Record("delete user", name, {},
           [&]
           {
               session_.DeleteServerUser(name);
               return true;
           });
}

void ServerChanges::AddDatabase(const DatabaseValues& database)
{
    Record("add database", database.Name, DatabaseText(database),
           [&]
           {
               session_.AddServerDatabase(database.Name, database.Description, database.Directory);
               return true;
           });
}

void ServerChanges::ModifyDatabase(const DatabaseValues& before, const DatabaseValues& after)
{
    Record("modify database", after.Name, ChangeText(DatabaseFieldChanges(before, after)),
           [&]
           {
               session_.ModifyServerDatabase(after.Name, after.Description, after.Directory);
               return true;
           });
}

void ServerChanges::DeleteDatabase(const std::string& name)
{
    Record("delete database", name, {},
           [&]
           {
               session_.DeleteServerDatabase(name);
               return true;
           });
}

void ServerChanges::ChangeRights(const PairChange& change)
{
    const ChangedObject object = PairName(change.User, change.Database);
    const std::string text = RightsLetters(change.Before) + " -> " + RightsLetters(change.After);
    if (!change.Before)
        Record("add database user", object, text,
               [&]
               {
                   session_.AddServerDatabaseUser(change.Database, change.User, *change.After);
                   return true;
               });
    else if (!change.After)
        Record("delete database user", object, text,
               [&]
               {
                   session_.DeleteServerDatabaseUser(change.Database, change.User);
                   return true;
               });
    else
        Record("modify database user", object, text,
               [&]
               {
                   session_.ModifyServerDatabaseUser(change.Database, change.User, *change.After);
                   return true;
               });
}

void ServerChanges::ModifyDatabaseUser(const std::string& database, const std::string& user,
                                       TUserRights rights)
{
    Record("modify database user", PairName(user, database), "? -> " + RightsLetters(rights),
           [&]
           {
               session_.ModifyServerDatabaseUser(database, user, rights);
               return true;
           });
}

void ServerChanges::DeleteDatabaseUser(const std::string& database, const std::string& user)
{
    Record("delete database user", PairName(user, database), "? -> " + RightsLetters(std::nullopt),
           [&]
           {
               session_.DeleteServerDatabaseUser(database, user);
               return true;
           });
}

ApplyReport ServerChanges::ApplyRightsPlan(const RightsPlan& plan, const BeforeRequest& beforeRequest)
{
    ApplyReport report;
    for (const PairChange& change : plan.Changes())
    {
        try
        {
            if (beforeRequest)
                beforeRequest();
            ChangeRights(change);
        }
        catch (const std::exception& error)
        {
            report.Error = error.what();
            report.Unknown = dynamic_cast<const OutcomeUnknown*>(&error) != nullptr;
            return report;
        }
        ++report.Done;
    }
    return report;
}

void ServerChanges::ModifyConfig(const ServerConfig& before, const ServerConfig& after)
{
    Record("modify config", {}, ChangeText(ConfigFieldChanges(before, after)),
           [&]
           {
               session_.ModifyServerConfig(after);
               return true;
           });
}

void ServerChanges::StartServer()
{
    Record("start server", {}, {},
           [&]
           {
               session_.StartServer();
               return true;
           });
}

void ServerChanges::StopServer()
{
    Record("stop server", {}, {},
           [&]
           {
               session_.StopServer();
               return true;
           });
}

bool ServerChanges::DisconnectSession(std::int32_t serverSessionId)
{
    return Record("disconnect session", std::to_string(serverSessionId), {},
                  [&] { return session_.DisconnectServerSession(serverSessionId); });
}

bool ServerChanges::RemoveSession(std::int32_t serverSessionId)
{
    return Record("remove session", std::to_string(serverSessionId), {},
                  [&] { return session_.RemoveServerSession(serverSessionId); });
}

} // namespace korvel::operations
