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

} // namespace

TargetProbe::TargetProbe(Target target, Module module, ProbeSettings settings)
    : target_(std::move(target)), module_(std::move(module)), settings_(std::move(settings)),
      thread_([this] { Run(); })
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
}

void TargetProbe::RequestStop()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        if (work_)
            work_->Cancel();
    }
    wake_.notify_all();
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
            if (lastByMode_)
            {
                status.ByMode = lastByMode_;
                status.ByMode->AgeSeconds = SecondsSince(lastWalkEnded_);
            }
        }
    }
    else if (work_)
        work_->Cancel(); // whatever still holds the thread, so that the next scrape finds it free
    status.ScrapeSeconds = SecondsSince(start);
    return status;
}

std::shared_ptr<CallInterrupt> TargetProbe::NewWork()
{
    try
    {
        work_ = std::make_shared<CallInterrupt>();
    }
    catch (const std::exception&)
    {
        work_ = nullptr; // no descriptor left: the deadline and time-outs still end the work
    }
    return work_;
}

bool TargetProbe::BeginWalk()
{
    std::lock_guard lock(mutex_);
    if (stop_)
        return false;
    const auto timeoutMs = std::min<std::int64_t>(settings_.WalkCallTimeout.count(), INT32_MAX);
    session_.SetCallLimits({.Interrupt = NewWork(), .TimeoutMs = static_cast<std::int32_t>(timeoutMs)});
    return true;
}

void TargetProbe::Run()
{
    if (module_.Ssh.Enabled())
        session_.SetTransportFactory(SshTransportFactory(module_.Ssh, {}));
    if (settings_.PrepareSession)
        settings_.PrepareSession(session_);
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
            session_.SetCallLimits({.Interrupt = NewWork(), .Deadline = wantedBy_});
        }
        ServerStatus status = Collect();
        {
            std::lock_guard lock(mutex_);
            last_ = std::move(status);
            // A walk that starts below is for the next scrape, however soon the waiting one wakes.
            lastByMode_ = byMode_;
            lastWalkEnded_ = walkEnded_;
            ++probesFinished_;
        }
        finished_.notify_all();
        if (loggedIn_ && WalkDue() && BeginWalk())
            WalkSessions();
    }
    LogOut();
}

void TargetProbe::LogOut()
{
    if (!loggedIn_)
        return;
    // The server need not keep a dead session for the exporter, but stopping waits for nobody.
    session_.SetCallLimits({.Deadline = Clock::now() + LogoutLimit});
    try
    {
        session_.Logout();
    }
    catch (const std::exception&)
    {
        // The server is gone already.
    }
}

void TargetProbe::LogIn()
{
    session_.Disconnect();
    session_.SetRemote(true);
    session_.SetUncompressed(!module_.Internet);
    if (IsIpv4Address(target_.Host))
    {
        session_.SetHostName("");
        session_.SetAddress(target_.Host);
    }
    else
        session_.SetHostName(target_.Host);
    session_.SetPort(target_.Port);
    // A refused login clears the session's credentials, so they are set before every attempt.
    session_.SetUserName(module_.User);
    session_.SetPassword(module_.Password);
    session_.Connect();
    session_.Login();
    serverName_ = session_.GetServerName();
    loggedIn_ = true;
}

ServerStatus TargetProbe::Collect()
{
    ServerStatus status;
    try
    {
        if (!loggedIn_)
            LogIn();
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
    return !byMode_ || Clock::now() - walkEnded_ >= settings_.DetailInterval;
}

void TargetProbe::WalkSessions()
{
    SessionsByMode counts;
    try
    {
        SessionInfo info;
        const std::int32_t total = session_.GetSessionCount();
        for (std::int32_t position = 1; position <= total; ++position)
        {
            if (!session_.GetSessionInfo(position, info))
                break; // sessions that ended during the walk are simply not counted
            ++(info.LanSession ? counts.Lan : counts.Internet);
        }
    }
    catch (const std::exception&)
    {
        session_.Disconnect();
        loggedIn_ = false;
        return;
    }
    std::lock_guard lock(mutex_);
    byMode_ = counts;
    walkEnded_ = Clock::now();
}

} // namespace korvel::exporter
