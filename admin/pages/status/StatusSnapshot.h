// What one Status refresh reads from the server, gathered on the background runner's worker so the window
// keeps answering. The rows come with their texts converted and their times as dates, so the user-interface
// thread only compares them; the list formats the times of the rows it shows.
#pragma once

#include "admin/pages/status/SessionTableModel.h"

#include <QString>

#include <cstdint>
#include <exception>
#include <optional>
#include <vector>

namespace korvel
{
class TKORVELSession;
}

namespace korvel::admin
{

class JobContext;

struct StatusSnapshot
{
    // Each value is set once read; a failed request leaves the later ones unset and its error in Failure, so
    // what was read before it is still shown.
    std::optional<QString> EngineVersion;
    std::optional<double> MemoryMegabytes;
    std::optional<QString> MainAddress; // empty: all addresses
    std::optional<std::int32_t> MainPort;
    std::optional<QString> AdminAddress;
    std::optional<std::int32_t> AdminPort;
    std::optional<std::int32_t> SessionCount;
    std::optional<std::vector<SessionRow>> Rows; // the rows read so far, also after a failure among them
    std::optional<std::int32_t> UpTime;          // -1: the main listener is stopped
    std::optional<std::int32_t> ConnectedCount;  // read only while the listener runs
    std::exception_ptr Failure;

    double Seconds = 0;    // how long the whole refresh took
    double ExchangeMs = 0; // how long its last request took

    bool Stopped() const { return UpTime == -1; }
};

// Reads the status on the runner's worker, checking `job` between requests (a cancelled or pre-empted job
// raises EAbort); any other failure ends the reading and is kept in Failure.
StatusSnapshot CollectStatus(TKORVELSession& session, const JobContext& job);

} // namespace korvel::admin
