// Everything a state file manages, as a server holds it now: its users (with their passwords, which are
// compared but never shown), databases, the rights of every user on every database, and the configuration.
#pragma once

#include "engine/wire/AdminTypes.h"
#include "operations/Records.h"
#include "operations/RightsMatrix.h"

#include <map>
#include <string>

namespace korvel::operations
{

struct ServerState
{
    std::map<std::string, UserValues> Users;         // by name
    std::map<std::string, DatabaseValues> Databases; // by name
    RightsMatrix Rights;
    ServerConfig Config;

    const UserValues* FindUser(const std::string& name) const;
    const DatabaseValues* FindDatabase(const std::string& name) const;
};

// GETUSERNAMES and GETDBNAMES, one GETUSER per user and GETDB per database, the rights as RightsMatrix reads
// them, and GETCONFIG: nothing that changes the server. A user or database deleted between the list and its
// read is left out.
ServerState ReadServerState(TKORVELSession& session, const BeforeRequest& beforeRequest = {});

// The user as the server holds it now; nothing when it does not exist.
std::optional<UserValues> ReadUser(TKORVELSession& session, const std::string& name);
std::optional<DatabaseValues> ReadDatabase(TKORVELSession& session, const std::string& name);
// No value when `user` is not a database user of `database`.
PairRights ReadPairRights(TKORVELSession& session, const std::string& user, const std::string& database);

} // namespace korvel::operations
