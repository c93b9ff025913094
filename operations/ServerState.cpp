#include "operations/ServerState.h"

#include "engine/wire/EngineError.h"
#include "engine/wire/ErrorCodes.h"
#include "session/KORVELSession.h"

namespace korvel::operations
{

namespace
{

void Before(const BeforeRequest& beforeRequest)
{
    if (beforeRequest)
        beforeRequest();
}

// Runs `read`; nothing when the server answers that the object does not exist (`missing`).
template <typename Read> auto UnlessMissing(ErrorCode missing, Read read) -> std::optional<decltype(read())>
{
    try
    {
        return read();
    }
    catch (const EKORVELEngineError& error)
    {
        if (error.ErrorCode == missing)
            return std::nullopt;
        throw;
    }
}

} // namespace

const UserValues* ServerState::FindUser(const std::string& name) const
{
    auto found = Users.find(name);
    return found == Users.end() ? nullptr : &found->second;
}

const DatabaseValues* ServerState::FindDatabase(const std::string& name) const
{
    auto found = Databases.find(name);
    return found == Databases.end() ? nullptr : &found->second;
}

std::optional<UserValues> ReadUser(TKORVELSession& session, const std::string& name)
{
    return UnlessMissing(KORVEL_REMOTENOUSER,
                         [&]
                         {
                             UserValues user{name, {}, {}, false};
                             session.GetServerUser(name, user.Password, user.Description, user.Administrator);
                             return user;
                         });
}

std::optional<DatabaseValues> ReadDatabase(TKORVELSession& session, const std::string& name)
{
    return UnlessMissing(KORVEL_REMOTENODB,
                         [&]
                         {
                             DatabaseValues database{name, {}, {}};
                             session.GetServerDatabase(name, database.Description, database.Directory);
                             return database;
                         });
}

PairRights ReadPairRights(TKORVELSession& session, const std::string& user, const std::string& database)
{
    return UnlessMissing(KORVEL_REMOTENODBUSER,
                         [&]
                         {
                             TUserRights rights;
                             session.GetServerDatabaseUser(database, user, rights);
                             return rights;
                         });
}

ServerState ReadServerState(TKORVELSession& session, const BeforeRequest& beforeRequest)
{
    ServerState state;
    Before(beforeRequest);
    state.Rights = RightsMatrix::ReadNames(session);
    for (const std::string& name : state.Rights.Users)
    {
        Before(beforeRequest);
        if (auto user = ReadUser(session, name))
            state.Users.emplace(name, std::move(*user));
    }
    for (const std::string& name : state.Rights.Databases)
    {
        Before(beforeRequest);
        auto database = ReadDatabase(session, name);
        if (!database)
            continue;
        state.Databases.emplace(name, std::move(*database));
        state.Rights.SetColumn(ReadDatabaseColumn(session, name, beforeRequest));
    }
    Before(beforeRequest);
    session.GetServerConfig(state.Config);
    return state;
}

} // namespace korvel::operations
