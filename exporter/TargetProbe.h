// The probe of one server: its own TDataSession, logged in once and re-used for every scrape, logging in
// again after a failure. Each probe makes a fixed handful of requests (counts come from GETSESSIONS and
// GETCONNECTEDSESSIONS), on the thread of the scrape that asked for it: a hand-off to a thread of the
// probe's own and back cost a scrape about as much as its requests did. Only a probe through an SSH hop has
// a thread for it. Scrapes that come while a probe is under way wait for its answer instead of starting
// another. The walk of the session list for the split by mode
// runs on a second session and the probe's thread, at most once per detail interval, started by the probe
// that found it due once that probe has been answered: a scrape never waits for a walk, and a slow walk
// never makes a healthy server read down. Scrapes report the last complete walk with its age.
//
// Nothing waits for ever: a probe's requests end by the deadline of the scrape that runs it, a waiting
// scrape gives up at its own deadline, and each request of the walk ends by its own time-out.
#pragma once

#include "engine/ConnectionDescription.h"
#include "engine/DataSession.h"
#include "exporter/ModuleConfig.h"
#include "exporter/ServerStatus.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace korvel::exporter
{

using Clock = std::chrono::steady_clock;

struct ProbeSettings
{
    std::chrono::milliseconds DetailInterval = std::chrono::seconds(60);
    // How long one request of the walk may take; a probe's own requests end by its scrape's deadline.
    std::chrono::milliseconds WalkCallTimeout = std::chrono::seconds(10);
    // Called on each new session before it connects; tests and benchmarks watch the exchanges through it.
    std::function<void(TDataSession&)> PrepareSession;
};

class TargetProbe
{
public:
    // `target` is where the server is; `module` says how to reach it and log in.
    TargetProbe(ConnectionDescription target, Module module, ProbeSettings settings);
    // Stops and joins the thread; whatever it was waiting for is cancelled first. No scrape may hold the
    // probe any more.
    ~TargetProbe();
    TargetProbe(const TargetProbe&) = delete;
    TargetProbe& operator=(const TargetProbe&) = delete;

    // The server's status by `deadline`: from a probe made now on the caller's thread, or from the one
    // already under way when it was asked for. A probe that has not ended by the deadline reports the server
    // down.
    ServerStatus Probe(Clock::time_point deadline);
    // Cancels the exchanges under way and lets the thread end, without waiting for it; scrapes under way
    // answer at once, and later ones report the server down.
    void RequestStop();

private:
    // Before and after the requests of a probe, with mutex_ held.
    void StartProbe(Clock::time_point deadline);
    void FinishProbe(ServerStatus status);
    // The latest answer with the latest walk; with mutex_ held.
    ServerStatus Answer() const;
    void RunProbes(); // probes through an SSH hop
    void RunWalks();
    // The transport and the caller's own preparation, for either session.
    void Prepare(TDataSession& session);
    // The fixed requests; logs in first when needed. Never raises: a failure reports the server down.
    ServerStatus Collect();
    void LogIn(TDataSession& session);
    void LogOut(TDataSession& session, Clock::time_point deadline);
    // Called with mutex_ held.
    bool WalkDue() const;
    // Tells the operator why a probe failed, when it is theirs to act on.
    void Report(const std::exception& failure);
    // Counts the sessions by mode; nothing when the walk failed (it logs in afresh next time).
    std::optional<SessionsByMode> WalkSessions();

    const ConnectionDescription target_;
    const Module module_;
    const ProbeSettings settings_;
    TDataSession session_; // used by the scrape running the probe alone
    bool loggedIn_ = false;
    std::string serverName_;   // asked once per login
    std::string lastReported_; // the failure told last, until a probe succeeds
    TDataSession walkSession_; // used by the walk's thread alone
    bool walkLoggedIn_ = false;

    std::mutex mutex_; // guards everything below
    std::condition_variable probeWake_;
    std::condition_variable walkWake_;
    std::condition_variable finished_;
    bool stop_ = false;
    bool probing_ = false; // a scrape is making the probe
    std::uint64_t probesFinished_ = 0;
    std::shared_ptr<CallInterrupt> work_; // ends the probe under way; kept until it is cancelled
    ServerStatus last_;
    std::shared_ptr<CallInterrupt> walkWork_; // ends the walk under way, when stopping
    bool walkWanted_ = false;
    bool walking_ = false;
    std::optional<SessionsByMode> byMode_; // the latest complete walk
    Clock::time_point walkEnded_;
    Clock::time_point walkStarted_; // of the last walk tried, complete or not

    std::thread thread_;      // the walks, then the logouts
    std::thread probeThread_; // the probes, when they go through an SSH hop
};

} // namespace korvel::exporter
