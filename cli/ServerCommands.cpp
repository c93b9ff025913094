#include "cli/Commands.h"
#include "cli/Conversions.h"

#include <memory>
#include <stdexcept>

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

CommandResult ListSessions(TKORVELSession& session)
{
    Json rows = Json::array();
    std::int32_t count = session.GetServerSessionCount();
    for (std::int32_t number = 1; number <= count; ++number)
    {
        std::int32_t id = 0;
        double createdOn = 0;
        double lastConnected = 0;
        std::string user, address, detail;
        bool internet = false;
        // A session that ended since the count was taken is skipped.
        if (!session.GetServerSessionInfo(number, id, createdOn, lastConnected, user, address, internet,
                                          detail))
            continue;
        rows.push_back(Json{{"number", number},
                            {"id", id},
                            {"user", user},
                            {"address", address},
                            {"created_on", FormatOleDate(createdOn)},
                            {"last_connected", FormatOleDate(lastConnected)},
                            {"internet", internet},
                            {"disconnected_detail", detail}});
    }
    return {rows};
}

void AddSessionCommands(CLI::App& app, CommandAction& chosen)
{
    CLI::App* group = AddGroup(app, "session", "Disconnect or remove one server session");
    using Operation = bool (TKORVELSession::*)(std::int32_t);
    auto add = [&](const char* name, const char* description, Operation operation)
    {
        auto id = std::make_shared<std::int32_t>(0);
        AddCommand(*group, name, description, chosen,
                   [id, operation](TKORVELSession& session)
                   {
                       bool result = (session.*operation)(*id);
                       return CommandResult{Json{{"result", result}}, result ? 0 : 1};
                   })
            ->add_option("ID", *id, "Server session id (see: sessions)")
            ->required();
    };
    add("disconnect", "Disconnect a server session", &TKORVELSession::DisconnectServerSession);
    add("remove", "Remove a server session", &TKORVELSession::RemoveServerSession);
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
    AddCommand(app, "sessions", "List the server's sessions", chosen, ListSessions);
    AddSessionCommands(app, chosen);

    CLI::App* server = AddGroup(app, "server", "Start or stop the server's main listener");
    AddCommand(*server, "start", "Start the main listener", chosen,
               Silent([](TKORVELSession& session) { session.StartServer(); }));
    AddCommand(*server, "stop", "Stop the main listener", chosen,
               Silent([](TKORVELSession& session) { session.StopServer(); }));
    AddLogCommand(app, chosen);
}

} // namespace korvel::cli
