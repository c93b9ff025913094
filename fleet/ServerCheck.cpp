#include "fleet/ServerCheck.h"

#include "credentials/SshSecret.h"
#include "engine/DataSession.h"
#include "engine/Transport.h"
#include "engine/TunnelError.h"
#include "engine/wire/EngineError.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sstream>

namespace korvel::fleet
{
namespace
{

using Clock = std::chrono::steady_clock;

// How long the LOGOUT at the end of a check may take: a server that answered a moment ago but not now costs
// the row no more than this.
constexpr std::chrono::milliseconds LogoutLimit(500);

// What a check saw on its way that the exception at its end no longer tells.
struct Noted
{
    bool Refused = false;        // the TCP connect was refused
    bool HostKeyUnknown = false; // the SSH hop asked to trust a host key
    bool SecretNeeded = false;   // the SSH hop asked for a passphrase or password nobody keeps
    bool LoginRefused = false;   // the server refused the user name and password
};

// The direct TCP transport, noting a refused connect: the engine reports every connect failure alike.
class RefusalNotingTransport : public Transport
{
public:
    explicit RefusalNotingTransport(Noted& noted) : inner_(CreateTcpTransport()), noted_(noted) {}

    void Open(const ConnectionDescription& endpoint, int connectTimeoutMs, int streamTimeoutMs,
              const WaitLimits* limits) override
    {
        try
        {
            inner_->Open(endpoint, connectTimeoutMs, streamTimeoutMs, limits);
        }
        catch (const TransportInterrupted&)
        {
            throw;
        }
        catch (const TransportError& failure)
        {
            noted_.Refused = std::string_view(failure.what()).ends_with(std::strerror(ECONNREFUSED));
            throw;
        }
    }
    void Close() override { inner_->Close(); }
    bool IsOpen() const override { return inner_->IsOpen(); }
    bool WaitForData(int timeoutMs) override { return inner_->WaitForData(timeoutMs); }
    std::int32_t Write(const std::uint8_t* data, std::int32_t size) override
    {
        return inner_->Write(data, size);
    }
    std::int32_t Read(std::uint8_t* data, std::int32_t size) override { return inner_->Read(data, size); }

private:
    std::unique_ptr<Transport> inner_;
    Noted& noted_;
};

// The keyring is asked only where a session bus exists: elsewhere (ssh, cron) it would start or wait.
bool SessionBusPresent()
{
    const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    return bus && *bus;
}

// One keyring question at a time: the pool's checks would otherwise each open their own connection to it. A
// locked keyring is never unlocked: its unlock prompt would ask the person.
std::optional<std::string> KeyringEntry(const credentials::CredentialKey& key)
{
    static std::mutex keyring;
    if (!SessionBusPresent())
        return std::nullopt;
    const std::lock_guard lock(keyring);
    try
    {
        return credentials::LookupUnlockedPassword(key);
    }
    catch (const credentials::KeyringError&)
    {
        return std::nullopt; // as if none were kept: the row says a password is needed
    }
}

std::optional<std::string> KeptPassword(const settings::Profile& profile)
{
    if (!profile.KeepPassword)
        return std::nullopt;
    return KeyringEntry(credentials::CredentialKey::ForProfile(profile.Name, profile.User));
}

// Answers the SSH hop's questions without a person: a host key is never trusted, a secret comes only from the
// keyring of a profile that keeps its secrets there. What was refused is noted for the report.
SshAsk NeverAsking(const settings::Profile& profile, Noted& noted)
{
    return [&noted, keeps = profile.KeepPassword](const SshQuestion& question, std::string& answer)
    {
        if (question.What == SshQuestion::Kind::HostKeyAdded)
            return true;
        if (question.What == SshQuestion::Kind::UnknownHostKey)
        {
            noted.HostKeyUnknown = true;
            return false;
        }
        const std::optional<credentials::SshSecret> secret = credentials::SshSecretOf(question);
        if (keeps && secret && question.Attempt == 1)
            if (std::optional<std::string> kept = KeyringEntry(secret->Key))
            {
                answer = std::move(*kept);
                return true;
            }
        noted.SecretNeeded = true;
        return false;
    };
}

bool IsIpv4Address(const std::string& host)
{
    in_addr address{};
    return inet_pton(AF_INET, host.c_str(), &address) == 1;
}

void Aim(TDataSession& session, const settings::Profile& profile, const std::string& password, Noted& noted)
{
    settings::Connection server = profile.Server;
    // The host wins over the address, as everywhere; a numeric host is an address.
    const std::string host = server.HostOrAddress();
    const bool address = IsIpv4Address(host);
    server.Host = address ? "" : host;
    server.Address = address ? host : server.Address;
    session.SetRemote(true);
    session.SetConnection(server, NeverAsking(profile, noted));
    session.SetUserName(profile.User);
    session.SetPassword(password);
    // Asked only when the server refused the credentials: nobody is asked, the refusal is noted.
    session.SetCredentialProvider(
        [&noted](std::string&, std::string&)
        {
            noted.LoginRefused = true;
            return false;
        });
    if (!server.Ssh.Enabled())
        session.SetTransportFactory([&noted] { return std::make_unique<RefusalNotingTransport>(noted); });
}

// The state of a check that failed with `failure`, from what it noted on the way.
ServerState FailedState(const TDataSession& session, const std::exception& failure, const Noted& noted)
{
    if (session.LastInterruption() == Interruption::Expired)
        return ServerState::NoAnswer;
    if (noted.HostKeyUnknown)
        return ServerState::HostKeyUnknown;
    if (noted.SecretNeeded)
        return ServerState::PasswordNeeded;
    if (noted.LoginRefused)
        return ServerState::LoginRefused;
    if (noted.Refused)
        return ServerState::Refused;
    if (const auto* tunnel = dynamic_cast<const ETunnelError*>(&failure))
    {
        if (tunnel->Kind == TunnelFailure::HostKeyUnknown)
            return ServerState::HostKeyUnknown;
        if (tunnel->Kind == TunnelFailure::TargetRefused)
            return ServerState::Refused;
    }
    return ServerState::Failed;
}

void Measure(TDataSession& session, ServerReport& report)
{
    report.Version = session.ServerVersionText();
    const Clock::time_point sent = Clock::now();
    report.Sessions = session.GetSessionCount();
    report.RoundTripMs = std::chrono::duration<double, std::milli>(Clock::now() - sent).count();
    report.Connected = session.GetConnectedSessionCount();
    report.State = ServerState::Up;
}

// Also after a cancel: the server need not keep the session, and the wait is short.
void LogOut(TDataSession& session)
{
    session.SetCallLimits({.Deadline = Clock::now() + LogoutLimit});
    try
    {
        session.Logout();
    }
    catch (const std::exception&)
    {
        // The server went away meanwhile: it drops the session itself.
    }
}

} // namespace

std::string WhereText(const settings::Profile& profile)
{
    std::string where = profile.Server.Endpoint();
    if (!profile.Server.Ssh.Host.empty())
        where += " via " + profile.Server.Ssh.Host;
    return where;
}

std::string StateText(const ServerReport& report)
{
    switch (report.State)
    {
    case ServerState::NotChecked:
        return "Not checked";
    case ServerState::Up:
        return "Up";
    case ServerState::Refused:
        return "Down: refused";
    case ServerState::NoAnswer:
    {
        std::ostringstream seconds;
        seconds << std::chrono::duration<double>(report.Deadline).count();
        return "No answer in " + seconds.str() + " s";
    }
    case ServerState::LoginRefused:
        return "Login refused";
    case ServerState::PasswordNeeded:
        return "Password needed";
    case ServerState::HostKeyUnknown:
        return "Host key unknown";
    case ServerState::Failed:
        break;
    }
    return "Down: " + report.Detail;
}

ServerReport CheckServer(const settings::Profile& profile, const CheckSettings& settings,
                         const std::shared_ptr<CallInterrupt>& cancel)
{
    const Clock::time_point deadline = Clock::now() + settings.Deadline;
    ServerReport report;
    report.Profile = profile.Name;
    report.Deadline = settings.Deadline;
    const std::optional<std::string> password =
        settings.Password ? settings.Password(profile) : KeptPassword(profile);
    // Without a user name the login would have to ask for one: the credentials are missing, as without a
    // password.
    if (!password || password->empty() || profile.User.empty())
    {
        report.State = ServerState::PasswordNeeded;
        report.CheckedAt = std::chrono::system_clock::now();
        return report;
    }
    Noted noted;
    TDataSession session;
    Aim(session, profile, *password, noted);
    const auto connectMs = std::chrono::duration_cast<std::chrono::milliseconds>(settings.Deadline).count();
    session.SetConnectTimeoutMs(static_cast<std::int32_t>(std::min<std::int64_t>(connectMs, INT32_MAX)));
    session.SetCallLimits({.Interrupt = cancel, .Deadline = deadline});
    if (settings.PrepareSession)
        settings.PrepareSession(session);
    try
    {
        session.Connect();
        session.Login();
        Measure(session, report);
    }
    catch (const std::exception& failure)
    {
        report.State = FailedState(session, failure, noted);
        if (report.State == ServerState::Failed)
            report.Detail = failure.what();
    }
    if (session.LoggedIn())
        LogOut(session);
    session.Disconnect();
    if (cancel && cancel->Cancelled())
    {
        ServerReport unchecked;
        unchecked.Profile = profile.Name;
        unchecked.Deadline = settings.Deadline;
        return unchecked;
    }
    report.CheckedAt = std::chrono::system_clock::now();
    return report;
}

} // namespace korvel::fleet
