#include "server/AdminRequests.h"

#include "engine/wire/ErrorCodes.h"
#include "engine/wire/RequestCodes.h"
#include "server/ServerCore.h"

#include <fstream>
#include <unistd.h>

namespace korvel::server
{

namespace
{

// The reading and writing of one administration request.
struct Exchange
{
    ServerCore& Server;
    const std::string& Admin;
    MessageReader& In;
    MessageWriter& Out;

    std::string ReadString()
    {
        std::string text;
        In.Read(text);
        return text;
    }
    void LogChange(const std::string& what) { Server.Log().Write("Administrator '" + Admin + "' " + what); }
};

std::string Quoted(const std::string& name)
{
    return "'" + name + "'";
}

// Refuses a change that would leave the server without an administrator: nobody could then log in to the
// administration port again. The refusal names the administrator who asked.
void KeepAnAdministrator(Exchange& x, const std::string& name, bool staysAdministrator)
{
    Store& store = x.Server.Data();
    auto existing = store.FindUser(name);
    if (existing && existing->Administrator && !staysAdministrator && store.AdministratorCount() <= 1)
        throw Refusal{KORVEL_REMOTENOTAUTH, x.Admin, {}, {}};
}

bool HandleUserRequest(Exchange& x, std::uint16_t code)
{
    Store& store = x.Server.Data();
    switch (code)
    {
    case REQUEST_GETUSERNAMES:
        x.Out.AppendStringList(store.UserNames());
        return true;
    case REQUEST_GETUSER:
    {
        auto name = x.ReadString();
        auto user = store.FindUser(name);
        if (!user)
            throw Refusal{KORVEL_REMOTENOUSER, name, {}, {}};
        x.Out.AppendString(user->Password);
        x.Out.AppendString(user->Description);
        x.Out.AppendBool(user->Administrator);
        return true;
    }
    case REQUEST_ADDUSER:
    case REQUEST_MODIFYUSER:
    {
        UserRecord user{x.ReadString(), x.ReadString(), x.ReadString(), false};
        x.In.Read(user.Administrator);
        bool adding = code == REQUEST_ADDUSER;
        if (adding && user.Name.empty())
            throw Refusal{KORVEL_REMOTEINVUSER, {}, {}, {}};
        if (!adding)
            KeepAnAdministrator(x, user.Name, user.Administrator);
        if (!(adding ? store.AddUser(user) : store.ModifyUser(user)))
            throw Refusal{adding ? KORVEL_REMOTEDUPUSER : KORVEL_REMOTENOUSER, user.Name, {}, {}};
        x.LogChange((adding ? "added user " : "changed user ") + Quoted(user.Name));
        return true;
    }
    case REQUEST_DELETEUSER:
    {
        auto name = x.ReadString();
        KeepAnAdministrator(x, name, false);
        if (!store.DeleteUser(name))
            throw Refusal{KORVEL_REMOTENOUSER, name, {}, {}};
        x.LogChange("deleted user " + Quoted(name));
        return true;
    }
    default:
        return false;
    }
}

bool HandleDatabaseRequest(Exchange& x, std::uint16_t code)
{
    Store& store = x.Server.Data();
    switch (code)
    {
    case REQUEST_GETDBNAMES:
        x.Out.AppendStringList(store.DatabaseNames());
        return true;
    case REQUEST_GETDB:
    {
        auto name = x.ReadString();
        auto database = store.FindDatabase(name);
        if (!database)
            throw Refusal{KORVEL_REMOTENODB, {}, name, {}};
        x.Out.AppendString(database->Description);
        x.Out.AppendString(database->Directory);
        return true;
    }
    case REQUEST_ADDDB:
    case REQUEST_MODIFYDB:
    {
        DatabaseRecord database{x.ReadString(), x.ReadString(), x.ReadString()};
        bool adding = code == REQUEST_ADDDB;
        if (database.Name.empty() || database.Directory.empty())
            throw Refusal{KORVEL_REMOTEINVDB, {}, database.Name, {}};
        if (!(adding ? store.AddDatabase(database) : store.ModifyDatabase(database)))
            throw Refusal{adding ? KORVEL_REMOTEDUPDB : KORVEL_REMOTENODB, {}, database.Name, {}};
        x.LogChange((adding ? "added database " : "changed database ") + Quoted(database.Name));
        return true;
    }
    case REQUEST_DELETEDB:
    {
        auto name = x.ReadString();
        if (!store.DeleteDatabase(name))
            throw Refusal{KORVEL_REMOTENODB, {}, name, {}};
        x.LogChange("deleted database " + Quoted(name));
        return true;
    }
    default:
        return false;
    }
}

// Checks shared by the requests on one database user.
void CheckDatabaseUser(Store& store, const std::string& database, const std::string& user)
{
    if (user.empty())
        throw Refusal{KORVEL_REMOTEINVDBUSER, {}, database, {}};
    if (!store.FindDatabase(database))
        throw Refusal{KORVEL_REMOTENODB, {}, database, {}};
}

bool HandleDatabaseUserRequest(Exchange& x, std::uint16_t code)
{
    Store& store = x.Server.Data();
    if (code == REQUEST_GETDBUSERNAMES)
    {
        auto database = x.ReadString();
        if (!store.FindDatabase(database))
            throw Refusal{KORVEL_REMOTENODB, {}, database, {}};
        x.Out.AppendStringList(store.DatabaseUserNames(database));
        return true;
    }
    if (code < REQUEST_ADDDBUSER || code > REQUEST_GETDBUSER)
        return false;
    auto database = x.ReadString();
    auto user = x.ReadString();
    std::uint8_t rights = 0;
    if (code == REQUEST_ADDDBUSER || code == REQUEST_MODIFYDBUSER)
        x.In.Read(rights);
    rights &= AllRights;
    CheckDatabaseUser(store, database, user);
    Refusal unknown{KORVEL_REMOTENODBUSER, user, database, {}};
    switch (code)
    {
    case REQUEST_GETDBUSER:
    {
        auto found = store.FindDatabaseUser(database, user);
        if (!found)
            throw unknown;
        x.Out.AppendByte(*found);
        return true;
    }
    case REQUEST_ADDDBUSER:
        if (!store.FindUser(user))
            throw Refusal{KORVEL_REMOTENOUSER, user, {}, {}};
        if (!store.AddDatabaseUser(database, user, rights))
            throw Refusal{KORVEL_REMOTEDUPDBUSER, user, database, {}};
        x.LogChange("gave user " + Quoted(user) + " rights on database " + Quoted(database));
        return true;
    case REQUEST_MODIFYDBUSER:
        if (!store.ModifyDatabaseUser(database, user, rights))
            throw unknown;
        x.LogChange("changed the rights of user " + Quoted(user) + " on database " + Quoted(database));
        return true;
    default: // REQUEST_DELETEDBUSER
        if (!store.DeleteDatabaseUser(database, user))
            throw unknown;
        x.LogChange("removed user " + Quoted(user) + " from database " + Quoted(database));
        return true;
    }
}

double ResidentMegabytes()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// The requests that newer servers only answer.
void RequireVersion(const ServerCore& server, std::int64_t version)
{
    if (server.Options().EffectiveVersion() < version)
        throw Refusal{KORVEL_REMOTEINVREQUEST, {}, {}, {}};
}

bool HandleServerRequest(Exchange& x, std::uint16_t code)
{
    ServerCore& server = x.Server;
    const ServerOptions& options = server.Options();
    switch (code)
    {
    case REQUEST_GETCONFIG:
        WriteConfig(server.Config(), x.Out);
        return true;
    case REQUEST_MODIFYCONFIG:
    {
        ServerConfig config;
        ReadConfig(x.In, config);
        server.SetConfig(config);
        x.LogChange("changed the configuration");
        return true;
    }
    case REQUEST_GETLOG:
        x.Out.AppendText(server.Log().Tail(options.MaxLog));
        return true;
    case REQUEST_STARTSERVER:
        server.StartMain();
        x.LogChange("started the main service");
        return true;
    case REQUEST_STOPSERVER:
        server.StopMain();
        x.LogChange("stopped the main service");
        return true;
    case REQUEST_GETUPTIME:
        x.Out.AppendInt32(server.UpTimeSeconds());
        return true;
    case REQUEST_GETMEMORYUSAGE:
        x.Out.AppendDouble(ResidentMegabytes());
        return true;
    case REQUEST_GETMAINPORT:
    case REQUEST_GETADMINPORT:
        x.Out.AppendInt32(server.BoundPort(code == REQUEST_GETMAINPORT ? PortKind::Main : PortKind::Admin));
        return true;
    case REQUEST_GETSERVERNAME:
    case REQUEST_GETMAINADDRESS:
    case REQUEST_GETADMINADDRESS:
        RequireVersion(server, VersionServerNameAndAddresses);
        x.Out.AppendString(code == REQUEST_GETSERVERNAME    ? options.Name
                           : code == REQUEST_GETMAINADDRESS ? options.MainAddress
                                                            : options.AdminAddress);
        return true;
    default:
        return false;
    }
}

void WriteSessionInfo(const ServerCore& server, const Session& session, MessageWriter& out)
{
    out.AppendBool(true);
    out.AppendInt32(session.Id);
    out.AppendDouble(session.CreatedOn);
    out.AppendDouble(session.LastConnected);
    out.AppendString(session.UserName);
    out.AppendString(session.Address);
    out.AppendBool(session.LanSession);
    if (server.Options().EffectiveVersion() >= VersionDisconnectedDetail)
        out.AppendString(session.DisconnectedDetail);
}

bool HandleSessionRequest(Exchange& x, std::uint16_t code)
{
    SessionTable& sessions = x.Server.Sessions();
    switch (code)
    {
    case REQUEST_GETSESSIONS:
        x.Out.AppendInt32(sessions.MainCount());
        return true;
    case REQUEST_GETCONNECTEDSESSIONS:
        x.Out.AppendInt32(sessions.ConnectedMainCount());
        return true;
    case REQUEST_GETSESSIONINFO:
    {
        std::int32_t position = 0;
        x.In.Read(position);
        if (const Session* session = sessions.MainAt(position))
            WriteSessionInfo(x.Server, *session, x.Out);
        else
            x.Out.AppendBool(false);
        return true;
    }
    case REQUEST_DISCONNECTSESSION:
    case REQUEST_REMOVESESSION:
    {
        std::int32_t id = 0;
        x.In.Read(id);
        bool removing = code == REQUEST_REMOVESESSION;
        bool done = removing ? x.Server.RemoveSession(id)
                             : x.Server.DisconnectSession(id, "Disconnected by administrator");
        if (done)
            x.LogChange((removing ? "removed session " : "disconnected session ") + std::to_string(id));
        x.Out.AppendBool(done);
        return true;
    }
    default:
        return false;
    }
}

} // namespace

bool ChangesState(std::uint16_t code)
{
    switch (code)
    {
    case REQUEST_ADDUSER:
    case REQUEST_MODIFYUSER:
    case REQUEST_DELETEUSER:
    case REQUEST_ADDDB:
    case REQUEST_MODIFYDB:
    case REQUEST_DELETEDB:
    case REQUEST_ADDDBUSER:
    case REQUEST_MODIFYDBUSER:
    case REQUEST_DELETEDBUSER:
    case REQUEST_MODIFYCONFIG:
    case REQUEST_STARTSERVER:
    case REQUEST_STOPSERVER:
    case REQUEST_DISCONNECTSESSION:
    case REQUEST_REMOVESESSION:
        return true;
    default:
        return false;
    }
}

void HandleAdminRequest(ServerCore& server, const std::string& adminUser, std::uint16_t code,
                        MessageReader& request, MessageWriter& reply)
{
    Exchange x{server, adminUser, request, reply};
    if (!HandleUserRequest(x, code) && !HandleDatabaseRequest(x, code) &&
        !HandleDatabaseUserRequest(x, code) && !HandleServerRequest(x, code) &&
        !HandleSessionRequest(x, code))
        throw Refusal{KORVEL_REMOTEINVREQUEST, {}, {}, {}};
}

} // namespace korvel::server
