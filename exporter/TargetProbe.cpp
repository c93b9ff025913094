#include "exporter/TargetProbe.h"

#include "engine/TunnelError.h"
#include "engine/wire/Utf8.h"

#include <algorithm>
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

// The module's route to where the target is.
ConnectionDescription ConnectionOf(const ConnectionDescription& target, const Module& module)
{
    ConnectionDescription connection = module.Route;
    connection.Host = target.Host;
    connection.Address = target.Address;
    connection.Port = target.Port;
    connection.Service = target.Service;
    return connection;
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

TargetProbe::TargetProbe(ConnectionDescription target, Module module, ProbeSettings settings)
    : target_(std::move(target)), module_(std::move(module)), settings_(std::move(settings))
{
    Prepare(session_);
    Prepare(walkSession_);
    thread_ = std::thread([this] { RunWalks(); });
    // An SSH hop (libssh, the known-hosts files) wants more stack than the web server's threads have (100 KB
    // in Debian's civetweb), so such a probe is made on a thread of its own; so is a profile's, whose keyring
    // lookup has no deadline of its own, so that a keyring that never answers holds no scrape past its own.
    if (module_.Route.Ssh.Enabled() || module_.Profile)
        probeThread_ = std::thread([this] { RunProbes(); });
}

void TargetProbe::Report(const std::exception& failure)
{
    // A failure of the SSH hop or a missing password is the operator's to fix (a host key to check, a key not
    // taken, a password to keep): it is told on stderr, once until it changes, rather than at every scrape.
    const bool theirs =
        dynamic_cast<const ETunnelError*>(&failure) || dynamic_cast<const MissingPassword*>(&failure);
    const std::string message = theirs ? failure.what() : "";
    if (message != lastReported_ && !message.empty())
        std::cerr << "korvel-exporter: "
                  << (module_.Profile ? "profile " + ShownName(module_.Profile->Name) : target_.Endpoint())
                  << ": " << message << std::endl;
    lastReported_ = message;
}

TargetProbe::~TargetProbe()
{
    RequestStop();
    if (probeThread_.joinable())
        probeThread_.join();
    thread_.join();
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
    probeWake_.notify_all();
    walkWake_.notify_all();
    finished_.notify_all();
}

ServerStatus TargetProbe::Probe(Clock::time_point deadline)
{
    const Clock::time_point start = Clock::now();
    ServerStatus status;
    std::unique_lock lock(mutex_);
    if (!stop_ && !probing_)
    {
        StartProbe(deadline);
        if (!probeThread_.joinable())
        {
            lock.unlock();
            ServerStatus fresh = Collect();
            lock.lock();
            FinishProbe(std::move(fresh));
            status = stop_ ? ServerStatus{} : Answer();
            status.ScrapeSeconds = SecondsSince(start);
            return status;
        }
        probeWake_.notify_one();
    }
    if (!stop_)
    {
        const std::uint64_t awaited = probesFinished_ + 1;
        if (finished_.wait_until(lock, deadline, [&] { return stop_ || probesFinished_ >= awaited; }) &&
            !stop_)
            status = Answer();
    }
    status.ScrapeSeconds = SecondsSince(start);
    return status;
}

void TargetProbe::StartProbe(Clock::time_point deadline)
{
    probing_ = true;
    if (!work_ || work_->Cancelled())
        work_ = NewInterrupt();
    session_.SetCallLimits({.Interrupt = work_, .Deadline = deadline});
}

void TargetProbe::FinishProbe(ServerStatus status)
{
    const bool walk = status.Up && WalkDue();
    walkWanted_ = walkWanted_ || walk;
    last_ = std::move(status);
    probing_ = false;
    ++probesFinished_;
    finished_.notify_all();
    if (walk)
        walkWake_.notify_one();
}

void TargetProbe::RunProbes()
{
    std::unique_lock lock(mutex_);
    while (!stop_)
    {
        if (!probing_)
        {
            probeWake_.wait(lock);
            continue;
        }
        lock.unlock();
        ServerStatus status = Collect();
        lock.lock();
        FinishProbe(std::move(status));
    }
    // A probe asked for as the stop came is never made; the walk's thread waits for none.
    probing_ = false;
    finished_.notify_all();
}

ServerStatus TargetProbe::Answer() const
{
    ServerStatus status = last_;
    if (status.Up && byMode_)
    {
        status.ByMode = byMode_;
        status.ByMode->AgeSeconds = SecondsSince(walkEnded_);
    }
    return status;
}

void TargetProbe::Prepare(TDataSession& session)
{
    // Set once: every login goes to the same place, and a test's own transport stays.
    session.SetConnection(ConnectionOf(target_, module_));
    if (settings_.PrepareSession)
        settings_.PrepareSession(session);
}

void TargetProbe::RunWalks()
{
    std::unique_lock lock(mutex_);
    for (;;)
    {
        walkWake_.wait(lock, [this] { return stop_ || walkWanted_; });
        if (stop_)
            break;
        walkWanted_ = false;
        walking_ = true;
        const auto timeoutMs = std::min<std::int64_t>(settings_.WalkCallTimeout.count(), INT32_MAX);
        walkWork_ = NewInterrupt();
        walkSession_.SetCallLimits(
            {.Interrupt = walkWork_, .TimeoutMs = static_cast<std::int32_t>(timeoutMs)});
        lock.unlock();
        std::optional<SessionsByMode> counts = WalkSessions();
        lock.lock();
        walking_ = false;
        if (counts)
        {
            byMode_ = counts;
            walkEnded_ = Clock::now();
        }
    }
    // The probe's session is free once the scrape running it has let go; none starts after the stop.
    finished_.wait(lock, [this] { return !probing_; });
    lock.unlock();
    // The server need not keep dead sessions for the exporter, but stopping waits for nobody.
    const Clock::time_point deadline = Clock::now() + LogoutLimit;
    if (loggedIn_)
        LogOut(session_, deadline);
    if (walkLoggedIn_)
        LogOut(walkSession_, deadline);
}

void TargetProbe::LogOut(TDataSession& session, Clock::time_point deadline)
{
    session.SetCallLimits({.Deadline = deadline});
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
    // A refused login clears the session's credentials, so they are set before every attempt.
    session.SetUserName(module_.User);
    session.SetPassword(module_.Profile ? module_.Profile->Password() : module_.Password);
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
