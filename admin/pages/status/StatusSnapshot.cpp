#include "admin/pages/status/StatusSnapshot.h"

#include "admin/common/BackgroundRunner.h"
#include "admin/pages/PageFields.h"
#include "engine/wire/EngineError.h"
#include "session/KORVELSession.h"

#include <chrono>

namespace korvel::admin
{
namespace
{

using Clock = std::chrono::steady_clock;

void ReadSessions(TKORVELSession& session, const JobContext& job, std::int32_t count,
                  std::vector<SessionRow>& rows)
{
    rows.reserve(static_cast<std::size_t>(count));
    for (std::int32_t number = 1; number <= count; ++number)
    {
        job.Check();
        SessionRow row;
        std::string userName, address, detail;
        if (!session.GetServerSessionInfo(number, row.Id, row.CreatedOn, row.LastConnected, userName, address,
                                          row.Internet, detail))
            continue;
        // Sessions are acted on by their id: the texts are only shown.
        row.UserName = ShownText(FromStd(userName));
        row.Address = ShownText(FromStd(address));
        row.Detail = ShownText(FromStd(detail));
        rows.push_back(std::move(row));
    }
}

} // namespace

StatusSnapshot CollectStatus(TKORVELSession& session, const JobContext& job)
{
    StatusSnapshot status;
    const auto start = Clock::now();
    // Each request is timed, so the last one's duration is known however far the reading got.
    auto request = [&](auto&& call)
    {
        job.Check();
        const auto sent = Clock::now();
        auto result = call();
        status.ExchangeMs = std::chrono::duration<double, std::milli>(Clock::now() - sent).count();
        return result;
    };
    auto text = [&](void (TKORVELSession::*get)(std::string&))
    {
        return request(
            [&]
            {
                std::string value;
                (session.*get)(value);
                return FromStd(value);
            });
    };
    try
    {
        status.EngineVersion = text(&TKORVELSession::GetServerEngineVersion);
        status.MemoryMegabytes = request([&] { return session.GetServerMemoryUsage(); });
        status.MainAddress = text(&TKORVELSession::GetServerMainAddress);
        status.MainPort = request([&] { return session.GetServerMainPort(); });
        status.AdminAddress = text(&TKORVELSession::GetServerAdminAddress);
        status.AdminPort = request([&] { return session.GetServerAdminPort(); });
        status.SessionCount = request([&] { return session.GetServerSessionCount(); });
        status.Rows.emplace();
        ReadSessions(session, job, *status.SessionCount, *status.Rows);
        status.UpTime = request([&] { return session.GetServerUpTime(); });
        if (!status.Stopped())
            status.ConnectedCount = request([&] { return session.GetServerConnectedSessionCount(); });
    }
    catch (const EAbort&)
    {
        throw;
    }
    catch (...)
    {
        // A call cut off because the job was cancelled is no news about the server.
        job.Check();
        status.Failure = std::current_exception();
    }
    status.Seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return status;
}

} // namespace korvel::admin
