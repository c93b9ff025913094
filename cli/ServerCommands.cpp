#include "cli/Commands.h"
#include "cli/Conversions.h"
#include "cli/Journaling.h"
#include "cli/Names.h"

#include <memory>
#include <stdexcept>
#include <vector>

namespace korvel::cli
{

namespace
{

CommandResult Status(TKORVELSession& session)
{
    // The requests of the window's status refresh, in its order, without the list of sessions.
    Json out;
    std::string text;
    session.GetServerEngineVersion(text);
    out["engine_version"] = text;
    out["memory_mb"] = session.GetServerMemoryUsage();
    session.GetServerName(text);
    out["server_name"] = text;
    session.GetServerMainAddress(text);
    out["main_address"] = text;
    out["main_port"] = session.GetServerMainPort();
    session.GetServerAdminAddress(text);
    out["admin_address"] = text;
    out["admin_port"] = session.GetServerAdminPort();
    std::int32_t totalSessions = session.GetServerSessionCount();
    std::int32_t upTime = session.GetServerUpTime();
    out["running"] = upTime != -1; // a stopped main listener has no up time
    out["up_time_seconds"] = upTime;
    out["total_sessions"] = totalSessions;
    // A stopped main listener has no connected sessions; the count is not asked for.
    out["connected_sessions"] = upTime == -1 ? 0 : session.GetServerConnectedSessionCount();
    return {out};
}

struct ServerSession
{
    std::int32_t Number = 0;
    std::int32_t Id = 0;
    double CreatedOn = 0;
    double LastConnected = 0;
    std::string User, Address, Detail;
    bool Internet = false;
};

// The sessions the server holds now; one that ended since the count was taken is skipped.
std::vector<ServerSession> ReadSessions(TKORVELSession& session)
{
    std::vector<ServerSession> sessions;
    const std::int32_t count = session.GetServerSessionCount();
    for (std::int32_t number = 1; number <= count; ++number)
    {
        ServerSession s;
        s.Number = number;
        if (session.GetServerSessionInfo(number, s.Id, s.CreatedOn, s.LastConnected, s.User, s.Address,
                                         s.Internet, s.Detail))
            sessions.push_back(std::move(s));
    }
    return sessions;
}

// Every session, or those of `user` when it is not empty.
CommandResult ListSessions(TKORVELSession& session, const std::string& user)
{
    Json rows = Json::array();
    for (const ServerSession& s : ReadSessions(session))
        if (user.empty() || s.User == user)
            rows.push_back(Json{{"number", s.Number},
                                {"id", s.Id},
                                {"user", s.User},
                                {"address", s.Address},
                                {"created_on", FormatOleDate(s.CreatedOn)},
                                {"last_connected", FormatOleDate(s.LastConnected)},
                                {"internet", s.Internet},
                                {"disconnected_detail", s.Detail}});
    return {rows, 0, false, EmptyListText(rows, "No sessions.")};
}

// Why the server answered false for a session id: it does not hold it, or (disconnecting) it is not
// connected.
std::string Refusal(TKORVELSession& session, std::int32_t id, bool disconnecting)
{
    for (const ServerSession& s : ReadSessions(session))
        if (s.Id == id)
            return disconnecting && s.Address.empty() ? "the session is not connected"
                                                      : "the server refused it";
    return "the server holds no session with this id";
}

void AddSessionCommands(CLI::App& app, CommandAction& chosen)
{
    CLI::App* group = AddGroup(app, "session", "Disconnect or remove server sessions");
    using Operation = bool (operations::ServerChanges::*)(std::int32_t);
    auto add = [&](const char* name, const char* description, Operation operation)
    {
        auto ids = std::make_shared<std::vector<std::int32_t>>();
        const bool disconnecting = operation == &operations::ServerChanges::DisconnectSession;
        AddCommand(*group, name, description, chosen,
                   [ids, operation, disconnecting](TKORVELSession& session)
                   {
                       // Each id is tried; one report says what became of each.
                       Json rows = Json::array();
                       bool all = true;
                       operations::ServerChanges changes = Changes(session);
                       for (std::int32_t id : *ids)
                       {
                           const bool done = (changes.*operation)(id);
                           all = all && done;
                           rows.push_back(Json{{"id", id},
                                               {"result", done},
                                               {"reason", done ? "" : Refusal(session, id, disconnecting)}});
                       }
                       return CommandResult{rows, all ? 0 : 1};
                   })
            ->add_option("ID", *ids, "Server session ids (see: sessions)")
            ->required();
    };
    add("disconnect", "Disconnect server sessions", &operations::ServerChanges::DisconnectSession);
    add("remove", "Remove server sessions", &operations::ServerChanges::RemoveSession);
}

} // namespace

void AddServerCommands(CLI::App& app, CommandAction& chosen)
{
    AddCommand(app, "version", "Engine version of the server", chosen,
               [](TKORVELSession& session)
               {
                   std::string version;
                   session.GetServerEngineVersion(version);
                   return CommandResult{Json{{"engine_version", version}}};
               });
    AddCommand(app, "status", "Server status", chosen, Status);
    auto user = std::make_shared<std::string>();
    AddCommand(app, "sessions", "List the server's sessions", chosen,
               [user](TKORVELSession& session) { return ListSessions(session, *user); })
        ->add_option("--user", *user, "Only the sessions of this user")
        ->check(NameCheck());
    AddSessionCommands(app, chosen);

    CLI::App* server = AddGroup(app, "server", "Start or stop the server's main listener");
    AddCommand(*server, "start", "Start the main listener", chosen,
               Silent([](TKORVELSession& session) { Changes(session).StartServer(); }));
    AddCommand(*server, "stop", "Stop the main listener", chosen,
               Silent([](TKORVELSession& session) { Changes(session).StopServer(); }));
    AddLogCommand(app, chosen);
}

} // namespace korvel::cli
