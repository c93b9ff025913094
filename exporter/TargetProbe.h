// The probe of one server: its own TDataSession on its own thread, logged in once and re-used for every
// scrape, logging in again after a failure. Each probe makes a fixed handful of requests (counts come from
// GETSESSIONS and GETCONNECTEDSESSIONS); the walk of the session list for the split by mode runs at most once
// per detail interval, after the probe that found it due has been answered.
#pragma once

#include "engine/DataSession.h"
#include "exporter/ModuleConfig.h"
#include "exporter/ServerStatus.h"
#include "exporter/Target.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace korvel::exporter
{

using Clock = std::chrono::steady_clock;

struct ProbeSettings
{
    std::chrono::milliseconds DetailInterval = std::chrono::seconds(60);
    // How long one read or write may wait: a hung server frees the probe's thread after this.
    std::int32_t IoTimeoutSeconds = 10;
    // Called on each new session before it connects; tests and benchmarks watch the exchanges through it.
    std::function<void(TDataSession&)> PrepareSession;
};

class TargetProbe
{
public:
    TargetProbe(Target target, Module module, ProbeSettings settings);
    // Stops the thread once its current exchange ends, logging out.
    ~TargetProbe();
    TargetProbe(const TargetProbe&) = delete;
    TargetProbe& operator=(const TargetProbe&) = delete;

    // The server's status by `deadline`: from a new probe, or from the one already under way when it was
    // asked for. A probe that has not ended by the deadline reports the server down and goes on in the
    // background, so a slow server costs no more than the deadline.
    ServerStatus Probe(Clock::time_point deadline);

private:
    void Run();
    // The fixed requests; logs in first when needed. Any connect gives up by `deadline` (the scrape's).
    // Never raises: a failure reports the server down.
    ServerStatus Collect(Clock::time_point deadline);
    void LogIn();
    void LogOut();
    bool WalkDue() const;
    void WalkSessions();
    bool Stopping();

    const Target target_;
    const Module module_;
    const ProbeSettings settings_;
    TDataSession session_; // used by the probe's thread alone
    bool loggedIn_ = false;
    std::string serverName_; // asked once per login

    std::mutex mutex_; // guards everything below
    std::condition_variable wake_;
    std::condition_variable finished_;
    bool stop_ = false;
    bool wanted_ = false;
    Clock::time_point wantedBy_; // the deadline of the scrape that asked for the probe
    std::uint64_t probesStarted_ = 0;
    std::uint64_t probesFinished_ = 0;
    ServerStatus last_;
    std::optional<SessionsByMode> byMode_; // the latest walk
    Clock::time_point walkEnded_;
    // The walk `last_` reports: the one known when it was collected, not one that ended since.
    std::optional<SessionsByMode> lastByMode_;
    Clock::time_point lastWalkEnded_;

    std::thread thread_; // last: starts once everything else exists
};

} // namespace korvel::exporter
