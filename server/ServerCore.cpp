#include "server/ServerCore.h"

#include "addresses/AddressRules.h"
#include "engine/wire/EngineError.h"
#include "engine/wire/ErrorCodes.h"
#include "engine/wire/OleDate.h"
#include "engine/wire/RequestCodes.h"
#include "server/AdminRequests.h"

#include <cstring>
#include <sys/random.h>

namespace korvel::server
{

namespace
{

// Before LOGIN a peer may send no more than this: strangers cannot make the server hold or inflate much.
constexpr std::int32_t UnauthenticatedLimit = 16 * 1024;
const char* PortName(PortKind port)
{
    return port == PortKind::Admin ? "administration" : "main";
}

} // namespace

std::string RandomPassword()
{
    static const char alphabet[] = "ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz23456789";
    std::uint8_t bytes[20];
    if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes))
        throw std::runtime_error("no random source");
    std::string password;
    for (auto byte : bytes)
        password.push_back(alphabet[byte % (sizeof alphabet - 1)]);
    return password;
}

ServerCore::ServerCore(ServerOptions options, Store& store, ServerLog& log, ConnectionControl& control)
    : options_(std::move(options)), store_(store), log_(log), control_(control), config_(store.LoadConfig()),
      mainStartedAt_(Clock::now()), lastDeadCheck_(Clock::now())
{
}

std::string ServerCore::EnsureAdministrator()
{
    if (store_.HasUsers())
        return {};
    UserRecord admin{options_.AdminUser.empty() ? "admin" : options_.AdminUser, options_.AdminPassword,
                     "Administrator", true};
    bool generated = options_.AdminPassword.empty();
    if (generated)
        admin.Password = RandomPassword();
    store_.AddUser(admin);
    log_.Write("Created the administrator '" + admin.Name + "'");
    return generated ? admin.Password : std::string{};
}

std::int32_t ServerCore::MessageLimit(const Connection& connection) const
{
    return connection.State == Phase::LoggedIn ? options_.MaxMessage : UnauthenticatedLimit;
}

bool ServerCore::HandleMessage(Connection& connection, const std::vector<std::uint8_t>& raw)
{
    compressReply_ = connection.State != Phase::Handshake && !connection.Uncompressed;
    requestBuffer_.Reserve(static_cast<std::int64_t>(raw.size()));
    std::memcpy(requestBuffer_.Data(), raw.data(), raw.size());
    MessageHeader header;
    try
    {
        header = UnpackMessage(requestBuffer_, compressReply_, MessageLimit(connection), scratch_);
    }
    catch (const EKORVELEngineError&)
    {
        log_.Write("Malformed message from " + connection.PeerAddress + "; connection closed");
        return false;
    }
    if (connection.Reattached)
    {
        connection.Reattached = false;
        Session* session = sessions_.Find(connection.SessionId);
        if (session && ReplayIfResend(connection, *session, raw))
            return true;
    }
    // A request value that does not fit its kind is refused: a string longer than the protocol allows is
    // never cut into another name, and a number of the wrong width is never half read.
    MessageReader request(requestBuffer_.Data(), header.TotalSize, MessageReader::Fit::Exact);
    try
    {
        return Dispatch(connection, header.Code, request, raw);
    }
    catch (const Refusal& refusal)
    {
        WriteRefusal(refusal);
    }
    catch (const EKORVELEngineError&)
    {
        WriteRefusal({KORVEL_REMOTEINVREQUEST, {}, {}, {}});
    }
    catch (const StoreError& error)
    {
        log_.Write(std::string("Storage failure: ") + error.what());
        WriteRefusal({KORVEL_REMOTEINVREQUEST, {}, {}, "The server could not store the change"});
    }
    SendReply(connection, ReplayTarget(connection, header.Code, raw));
    return true;
}

Session* ServerCore::ReplayTarget(const Connection& connection, std::uint16_t code,
                                  const std::vector<std::uint8_t>& raw)
{
    Session* session = connection.State == Phase::LoggedIn ? sessions_.Find(connection.SessionId) : nullptr;
    if (!session)
        return nullptr;
    if (!ChangesState(code))
    {
        session->LastChangeRequest.clear();
        return nullptr;
    }
    session->LastChangeRequest = raw;
    return session;
}

bool ServerCore::Dispatch(Connection& connection, std::uint16_t code, MessageReader& request,
                          const std::vector<std::uint8_t>& raw)
{
    if (connection.State == Phase::Handshake)
    {
        if (code == REQUEST_CONNECTPARAMS)
            ConnectParams(connection, request);
        else if (code == REQUEST_RECONNECT)
            Reconnect(connection, request);
        else
        {
            log_.Write("Request " + std::to_string(code) + " before the handshake from " +
                       connection.PeerAddress + "; connection closed");
            return false;
        }
        return true;
    }
    if (code == REQUEST_LOGOUT)
    {
        Logout(connection);
        return false;
    }
    if (code == REQUEST_LOGIN)
    {
        Login(connection, request);
        return true;
    }
    if (code == REQUEST_SESSIONPARAMS)
    {
        SessionParams(request);
        reply_.SetCode(KORVEL_NONE);
        reply_.Begin();
        SendReply(connection);
        return true;
    }
    if (connection.State != Phase::LoggedIn || connection.Port == PortKind::Main)
        throw Refusal{
            connection.Port == PortKind::Admin ? KORVEL_REMOTENOTADMIN : KORVEL_REMOTEINVREQUEST, {}, {}, {}};
    std::string admin = CurrentAdministrator(connection);
    reply_.SetCode(KORVEL_NONE);
    reply_.Begin();
    HandleAdminRequest(*this, admin, code, request, reply_);
    SendReply(connection, ReplayTarget(connection, code, raw));
    return true;
}

std::string ServerCore::CurrentAdministrator(const Connection& connection)
{
    // Rights are those of the user as stored now: another administrator may have deleted or demoted the
    // user since LOGIN, and a session kept open must not outlive that.
    const Session* session = sessions_.Find(connection.SessionId);
    std::string user = session ? session->UserName : std::string{};
    if (!session || !store_.IsAdministrator(user))
    {
        log_.Write("Request of user '" + user + "' from " + connection.PeerAddress +
                   " refused: not an administrator any more");
        throw Refusal{KORVEL_REMOTENOTADMIN, user, {}, {}};
    }
    return user;
}

void ServerCore::ConnectParams(Connection& connection, MessageReader& request)
{
    std::int64_t clientVersion = 0;
    std::uint8_t uncompressed = 1;
    request.Read(clientVersion);
    request.Read(uncompressed);
    connection.Uncompressed = uncompressed != 0;
    connection.SessionId = sessions_.NewSessionId();
    connection.State = Phase::Login;
    connection.HandshakeAt = Clock::now();
    reply_.SetCode(KORVEL_NONE);
    reply_.Begin();
    reply_.AppendInt32(connection.SessionId);
    if (options_.EngineVersion)
        reply_.AppendInt64(*options_.EngineVersion);
    SendReply(connection);
}

void ServerCore::Reconnect(Connection& connection, MessageReader& request)
{
    std::int64_t clientVersion = 0;
    std::int32_t sessionId = 0;
    std::uint8_t uncompressed = 1;
    request.Read(clientVersion);
    request.Read(sessionId);
    request.Read(uncompressed);
    if (throttle_.ReconnectBudgetSpent(connection.PeerAddress, Clock::now()))
    {
        // Refused without looking the id up, so that guessing learns nothing more this hour.
        log_.Write("Re-connection from " + connection.PeerAddress +
                   " refused after too many failed re-connections within the hour");
        WriteRefusal({KORVEL_REMOTECONNECT, {}, {}, {}});
        SendReply(connection);
        return;
    }
    // The address lists apply as at LOGIN, before the id is looked up: a blocked address learns nothing of
    // which sessions exist. Denying new logins does not stop a session coming back after a network blip.
    if (connection.Port == PortKind::Main && addresses::AddressBlocked(config_, connection.PeerAddress))
    {
        log_.Write("Re-connection from " + connection.PeerAddress + " refused: the address is blocked");
        WriteRefusal({KORVEL_REMOTEADDRESSBLOCK, {}, {}, {}});
        SendReply(connection);
        return;
    }
    Session* session = sessions_.Find(sessionId);
    if (!session || session->Port != connection.Port)
    {
        // The failure pays, not the next one to come back from the same address.
        auto delay = throttle_.ReconnectDelayFor(connection.PeerAddress);
        throttle_.ReconnectFailed(connection.PeerAddress, Clock::now());
        log_.Write("Re-connection to an unknown session from " + connection.PeerAddress +
                   (delay.count() > 0 ? ", answered after " + std::to_string(delay.count()) + " ms" : ""));
        WriteRefusal({KORVEL_REMOTECONNECT, {}, {}, {}});
        SendReply(connection, nullptr, delay);
        return;
    }
    if (session->Connected())
        control_.Close(session->ConnectionSerial); // the client gave up on that connection
    connection.Uncompressed = uncompressed != 0;
    connection.SessionId = sessionId;
    connection.State = Phase::LoggedIn;
    connection.Reattached = true;
    session->ConnectionSerial = connection.Serial;
    session->Address = connection.PeerAddress;
    session->LanSession = connection.Uncompressed;
    session->DisconnectedDetail.clear();
    session->LastConnected = OleDateFromLocalTime(std::time(nullptr));
    throttle_.AddressSucceeded(connection.PeerAddress);
    log_.Write("Session " + std::to_string(sessionId) + " of user '" + session->UserName +
               "' re-attached from " + connection.PeerAddress);
    reply_.SetCode(KORVEL_NONE);
    reply_.Begin();
    SendReply(connection);
}

void ServerCore::Login(Connection& connection, MessageReader& request)
{
    std::string user;
    std::string password;
    request.Read(user);
    request.Read(password);
    if (connection.State != Phase::Login)
        throw Refusal{KORVEL_REMOTEINVREQUEST, user, {}, {}};
    std::uint16_t code = CheckLogin(connection, user, password);
    // Only a wrong password waits: the right one is answered at once, even from an address where someone
    // keeps guessing the same name.
    std::chrono::milliseconds delay{0};
    if (code == KORVEL_REMOTEINVLOGIN)
    {
        delay = throttle_.DelayFor(user, connection.PeerAddress);
        throttle_.Failed(user, connection.PeerAddress, Clock::now());
        log_.Write("Failed login of user '" + user + "' from " + connection.PeerAddress + " on the " +
                   PortName(connection.Port) + " port" +
                   (delay.count() > 0 ? ", answered after " + std::to_string(delay.count()) + " ms" : ""));
    }
    if (code != KORVEL_NONE)
    {
        if (code != KORVEL_REMOTEINVLOGIN)
            log_.Write("Login of user '" + user + "' from " + connection.PeerAddress + " refused with " +
                       std::to_string(code));
        WriteRefusal({code, user, {}, {}});
        SendReply(connection, nullptr, delay);
        return;
    }
    throttle_.Succeeded(user, connection.PeerAddress);
    throttle_.AddressSucceeded(connection.PeerAddress);
    sessions_.Create(connection.SessionId, connection.Port, user, connection.PeerAddress,
                     connection.Uncompressed, connection.Serial);
    connection.State = Phase::LoggedIn;
    log_.Write("Login of user '" + user + "' from " + connection.PeerAddress + " on the " +
               PortName(connection.Port) + " port (session " + std::to_string(connection.SessionId) + ")");
    reply_.SetCode(KORVEL_NONE);
    reply_.Begin();
    SendReply(connection);
}

std::uint16_t ServerCore::CheckLogin(const Connection& connection, const std::string& user,
                                     const std::string& password)
{
    auto record = store_.FindUser(user);
    bool valid = record && record->Password == password;
    if (connection.Port == PortKind::Admin)
    {
        if (!valid)
            return KORVEL_REMOTEINVLOGIN;
        return record->Administrator ? KORVEL_NONE : KORVEL_REMOTENOTADMIN;
    }
    if (addresses::AddressBlocked(config_, connection.PeerAddress))
        return KORVEL_REMOTEADDRESSBLOCK;
    if (config_.DenyLogins)
        return KORVEL_REMOTENOLOGIN;
    if (!valid)
        return KORVEL_REMOTEINVLOGIN;
    if (config_.MaxConnections > 0 && sessions_.ConnectedMainCount() >= config_.MaxConnections)
        return KORVEL_REMOTEMAXCONNECT;
    return KORVEL_NONE;
}

void ServerCore::Logout(Connection& connection)
{
    if (connection.State == Phase::Login)
        sessions_.ReleaseUnused(connection.SessionId);
    Session* session = connection.State == Phase::LoggedIn ? sessions_.Find(connection.SessionId) : nullptr;
    if (session && session->ConnectionSerial == connection.Serial)
    {
        log_.Write("Logout of user '" + session->UserName + "' (session " + std::to_string(session->Id) +
                   ")");
        sessions_.Remove(session->Id);
    }
    connection.State = Phase::Handshake; // nothing is left to mark dead when the socket closes
}

void ServerCore::SessionParams(MessageReader& request)
{
    // ForceBufferFlush, StrictChangeDetection, LockRetryCount, LockWaitTime, LockProtocol (sent only to a
    // server that states 3.04 or later), ProgressSteps. The reference server holds no data, so the values are
    // only checked for their shape.
    bool flag = false;
    std::uint8_t byte = 0;
    std::uint16_t number = 0;
    request.Read(flag);
    request.Read(flag);
    request.Read(byte);
    request.Read(number);
    if (options_.EffectiveVersion() >= VersionLockProtocol)
        request.Read(byte);
    request.Read(number);
}

void ServerCore::WriteRefusal(const Refusal& refusal)
{
    reply_.SetCode(refusal.Code);
    reply_.Begin();
    reply_.AppendString(refusal.User);
    reply_.AppendString(refusal.Database);
    reply_.AppendString({});
    reply_.AppendString({});
    reply_.AppendString({});
    reply_.AppendString(refusal.Detail);
}

void ServerCore::SendReply(Connection& connection, Session* keepFor, std::chrono::milliseconds delay)
{
    reply_.Finish(compressReply_);
    const std::uint8_t* bytes = replyBuffer_.Data();
    auto size = static_cast<std::size_t>(reply_.Header().TotalSize);
    if (keepFor)
        keepFor->LastChangeReply.assign(bytes, bytes + size);
    if (delay.count() > 0)
        control_.SendLater(connection, std::vector<std::uint8_t>(bytes, bytes + size), Clock::now() + delay);
    else
        control_.Send(connection, bytes, size);
}

bool ServerCore::ReplayIfResend(Connection& connection, Session& session,
                                const std::vector<std::uint8_t>& raw)
{
    if (session.LastChangeRequest.empty() || session.LastChangeRequest != raw)
        return false;
    log_.Write("Session " + std::to_string(session.Id) +
               " resent its last request; its reply was sent again");
    control_.Send(connection, session.LastChangeReply.data(), session.LastChangeReply.size());
    return true;
}

void ServerCore::ConnectionLost(Connection& connection, std::string_view detail)
{
    if (connection.State == Phase::Login)
        sessions_.ReleaseUnused(connection.SessionId);
    if (connection.State != Phase::LoggedIn)
        return;
    Session* session = sessions_.Find(connection.SessionId);
    if (!session || session->ConnectionSerial != connection.Serial)
        return;
    log_.Write("Session " + std::to_string(session->Id) + " of user '" + session->UserName +
               "' disconnected: " + std::string(detail));
    sessions_.MarkDead(*session, std::string(detail), Clock::now(), config_.MaxDeadSessions);
}

void ServerCore::Detach(Session& session, std::string_view detail)
{
    std::uint64_t serial = session.ConnectionSerial;
    log_.Write("Session " + std::to_string(session.Id) + " of user '" + session.UserName +
               "' disconnected: " + std::string(detail));
    sessions_.MarkDead(session, std::string(detail), Clock::now(), config_.MaxDeadSessions);
    control_.Close(serial);
}

void ServerCore::Tick(Clock::time_point now)
{
    auto interval = std::chrono::seconds{config_.DeadSessionInterval};
    if (now - lastDeadCheck_ >= interval)
    {
        lastDeadCheck_ = now;
        sessions_.ExpireDead(now, std::chrono::seconds{config_.DeadSessionExpires}, config_.MaxDeadSessions);
    }
    throttle_.Prune(now);
}

const char* ServerCore::TimeoutReason(const Connection& connection, Clock::time_point now) const
{
    switch (connection.State)
    {
    case Phase::Handshake:
        return now - connection.AcceptedAt >= std::chrono::seconds{options_.HandshakeTimeout}
                   ? "Handshake timed out"
                   : nullptr;
    case Phase::Login:
        return now - connection.HandshakeAt >= std::chrono::seconds{options_.LoginTimeout} ? "Login timed out"
                                                                                           : nullptr;
    case Phase::LoggedIn:
        break;
    }
    bool silent = connection.Port == PortKind::Main && config_.ConnectionTimeout > 0 &&
                  now - connection.LastActivity >= std::chrono::seconds{config_.ConnectionTimeout};
    return silent ? "Connection timed out" : nullptr;
}

void ServerCore::SetConfig(const ServerConfig& config)
{
    store_.SaveConfig(config);
    config_ = config;
}

std::int32_t ServerCore::UpTimeSeconds() const
{
    if (!mainRunning_)
        return -1;
    return static_cast<std::int32_t>(
        std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - mainStartedAt_).count());
}

bool ServerCore::DisconnectSession(std::int32_t id, std::string_view detail)
{
    Session* session = sessions_.Find(id);
    if (!session || session->Port != PortKind::Main || !session->Connected())
        return false;
    Detach(*session, detail);
    return true;
}

bool ServerCore::RemoveSession(std::int32_t id)
{
    Session* session = sessions_.Find(id);
    if (!session || session->Port != PortKind::Main)
        return false;
    if (session->Connected())
        control_.Close(session->ConnectionSerial);
    log_.Write("Session " + std::to_string(id) + " of user '" + session->UserName + "' removed");
    sessions_.Remove(id);
    return true;
}

void ServerCore::StopMain()
{
    if (!mainRunning_)
        return;
    std::vector<std::int32_t> ids;
    for (const Session* session : sessions_.MainSessions())
        ids.push_back(session->Id);
    // Marking one dead may drop the oldest dead ones, so each is looked up again.
    for (auto id : ids)
        if (Session* session = sessions_.Find(id); session && session->Connected())
            Detach(*session, "Server stopped");
    control_.StopMainListener();
    mainRunning_ = false;
    log_.Write("Main service stopped");
}

void ServerCore::StartMain()
{
    if (mainRunning_)
        return;
    if (!control_.StartMainListener())
        throw Refusal{KORVEL_REMOTEINVREQUEST, {}, {}, "The main port could not be opened"};
    mainRunning_ = true;
    mainStartedAt_ = Clock::now();
    log_.Write("Main service started");
}

} // namespace korvel::server
