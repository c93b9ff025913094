#include "exporter/TargetProbe.h"

#include "engine/SshTransport.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstdint>
#include <exception>
#include <iostream>

namespace korvel::exporter
{
namespace
{

constexpr double BytesPerMegabyte = 1024.0 * 1024.0;
// How long the LOGOUT of a stopping probe may take.
constexpr std::chrono::milliseconds LogoutLimit(500);

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

bool IsIpv4Address(const std::string& host)
{
    in_addr address{};
    return inet_pton(AF_INET, host.c_str(), &address) == 1;
}

// A fresh interrupt for a thread's next piece of work; null when none can be made (no descriptor left): the
// deadline and time-outs still end the work.
std::shared_ptr<CallInterrupt> NewInterrupt()
{
    try
    {
        return std::make_shared<CallInterrupt>();
    }
    catch (const std::exception&)
    {
        return nullptr;
    }
}

} // namespace

TargetProbe::TargetProbe(Target target, Module module, ProbeSettings settings)
    : target_(std::move(target)), module_(std::move(module)), settings_(std::move(settings)),
      thread_([this] { Run(); }), walkThread_([this] { RunWalks(); })
{
}

void TargetProbe::Report(const std::exception& failure)
{
    // A failure of the SSH hop is the operator's to fix (a host key to check, a key not taken): it is told
    // on stderr, once until it changes, rather than at every scrape.
    const auto* tunnel = dynamic_cast<const ETunnelError*>(&failure);
    const std::string message = tunnel ? tunnel->what() : "";
    if (message != lastReported_ && !message.empty())
        std::cerr << "korvel-exporter: " << target_.Host << ":" << target_.Port << ": " << message
                  << std::endl;
    lastReported_ = message;
}

TargetProbe::~TargetProbe()
{
    RequestStop();
    thread_.join();
    walkThread_.join();
}

void TargetProbe::RequestStop()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        if (work_)
            work_->Cancel();
        if (walkWork_)
            walkWork_->Cancel();
    }
    wake_.notify_all();
    walkWake_.notify_all();
    finished_.notify_all();
}

ServerStatus TargetProbe::Probe(Clock::time_point deadline)
{
    const Clock::time_point start = Clock::now();
    ServerStatus status;
    std::unique_lock lock(mutex_);
    std::uint64_t awaited = probesStarted_;
    if (probesStarted_ == probesFinished_)
    {
        // A scrape that asked earlier may have given up already: the probe gets the latest deadline.
        wantedBy_ = wanted_ ? std::max(wantedBy_, deadline) : deadline;
        wanted_ = true;
        awaited = probesFinished_ + 1;
        wake_.notify_one();
    }
    if (finished_.wait_until(lock, deadline, [&] { return stop_ || probesFinished_ >= awaited; }))
    {
        if (!stop_)
        {
            status = last_;
            if (status.Up && byMode_)
            {
                status.ByMode = byMode_;
                status.ByMode->AgeSeconds = SecondsSince(walkEnded_);
            }
        }
    }
    else if (work_)
        work_->Cancel(); // whatever still holds the thread, so that the next scrape finds it free
    status.ScrapeSeconds = SecondsSince(start);
    return status;
}

void TargetProbe::Prepare(TDataSession& session)
{
    if (module_.Ssh.Enabled())
        session.SetTransportFactory(SshTransportFactory(module_.Ssh, {}));
    if (settings_.PrepareSession)
        settings_.PrepareSession(session);
}

void TargetProbe::Run()
{
    Prepare(session_);
    for (;;)
    {
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stop_ || wanted_; });
            if (stop_)
                break;
            wanted_ = false;
            // Asked for by a scrape that gave up while the thread was busy (a walk cut off at its deadline):
            // nobody waits for it, and a probe started now would only meet the passed deadline. The next
            // scrape asks afresh.
            if (wantedBy_ <= Clock::now())
                continue;
            ++probesStarted_;
            work_ = NewInterrupt();
            session_.SetCallLimits({.Interrupt = work_, .Deadline = wantedBy_});
        }
        ServerStatus status = Collect();
        bool walk = false;
        {
            std::lock_guard lock(mutex_);
            walk = status.Up && WalkDue();
            walkWanted_ = walkWanted_ || walk;
            last_ = std::move(status);
            ++probesFinished_;
        }
        finished_.notify_all();
        if (walk)
            walkWake_.notify_one();
    }
    if (loggedIn_)
        LogOut(session_);
}

void TargetProbe::RunWalks()
{
    Prepare(walkSession_);
    for (;;)
    {
        {
            std::unique_lock lock(mutex_);
            walkWake_.wait(lock, [this] { return stop_ || walkWanted_; });
            if (stop_)
                break;
            walkWanted_ = false;
            walking_ = true;
            const auto timeoutMs = std::min<std::int64_t>(settings_.WalkCallTimeout.count(), INT32_MAX);
            walkWork_ = NewInterrupt();
            walkSession_.SetCallLimits(
                {.Interrupt = walkWork_, .TimeoutMs = static_cast<std::int32_t>(timeoutMs)});
        }
        std::optional<SessionsByMode> counts = WalkSessions();
        std::lock_guard lock(mutex_);
        walking_ = false;
        if (counts)
        {
            byMode_ = counts;
            walkEnded_ = Clock::now();
        }
    }
    if (walkLoggedIn_)
        LogOut(walkSession_);
}

void TargetProbe::LogOut(TDataSession& session)
{
    // The server need not keep a dead session for the exporter, but stopping waits for nobody.
    session.SetCallLimits({.Deadline = Clock::now() + LogoutLimit});
    try
    {
        session.Logout();
    }
    catch (const std::exception&)
    {
        // The server is gone already.
    }
}

void TargetProbe::LogIn(TDataSession& session)
{
    session.Disconnect();
    session.SetRemote(true);
    session.SetUncompressed(!module_.Internet);
    if (IsIpv4Address(target_.Host))
    {
        session.SetHostName("");
        session.SetAddress(target_.Host);
    }
    else
        session.SetHostName(target_.Host);
    session.SetPort(target_.Port);
    // A refused login clears the session's credentials, so they are set before every attempt.
    session.SetUserName(module_.User);
    session.SetPassword(module_.Password);
    session.Connect();
    session.Login();
}

ServerStatus TargetProbe::Collect()
{
    ServerStatus status;
    try
    {
        if (!loggedIn_)
        {
            LogIn(session_);
            serverName_ = session_.GetServerName();
            loggedIn_ = true;
        }
        status.Version = session_.ServerVersionText();
        status.ServerName = serverName_;
        status.UptimeSeconds = session_.GetUpTime();
        status.MemoryBytes = session_.GetMemoryUsage() * BytesPerMegabyte;
        status.Sessions = session_.GetSessionCount();
        status.ConnectedSessions = session_.GetConnectedSessionCount();
        ServerConfig config;
        session_.GetConfig(config);
        status.DenyLogins = config.DenyLogins;
        status.MaxConnections = config.MaxConnections;
        status.ConnectionTimeoutSeconds = config.ConnectionTimeout;
        StringList names;
        session_.GetUserNames(names);
        status.Users = static_cast<std::int64_t>(names.size());
        session_.GetDatabaseNames(names);
        status.Databases = static_cast<std::int64_t>(names.size());
        status.Up = true;
        lastReported_.clear();
    }
    catch (const std::exception& failure)
    {
        Report(failure);
        // Down for this scrape; the next one starts with a fresh connection and login.
        session_.Disconnect();
        loggedIn_ = false;
        status = ServerStatus{};
    }
    return status;
}

bool TargetProbe::WalkDue() const
{
    return !walking_ && (!byMode_ || Clock::now() - walkEnded_ >= settings_.DetailInterval);
}

std::optional<SessionsByMode> TargetProbe::WalkSessions()
{
    SessionsByMode counts;
    try
    {
        if (!walkLoggedIn_)
        {
            LogIn(walkSession_);
            walkLoggedIn_ = true;
        }
        SessionInfo info;
        const std::int32_t total = walkSession_.GetSessionCount();
        for (std::int32_t position = 1; position <= total; ++position)
        {
            if (!walkSession_.GetSessionInfo(position, info))
                break; // sessions that ended during the walk are simply not counted
            ++(info.LanSession ? counts.Lan : counts.Internet);
        }
    }
    catch (const std::exception&)
    {
        walkSession_.Disconnect();
        walkLoggedIn_ = false;
        return std::nullopt;
    }
    return counts;
}

} // namespace korvel::exporter
