// The reference server's behaviour, apart from sockets: the handshake, logins on both ports, the session
// rules and the dispatch of every request. The event loop hands it each complete message and carries out what
// it asks through ConnectionControl, so the whole of it also runs without a network (fuzzing).
#pragma once

#include "engine/wire/AdminTypes.h"
#include "server/Connection.h"
#include "server/LoginThrottle.h"
#include "server/ServerLog.h"
#include "server/ServerOptions.h"
#include "server/SessionTable.h"
#include "server/Store.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvel::server
{

// What the core needs from the event loop.
class ConnectionControl
{
public:
    virtual ~ConnectionControl() = default;
    // Sends a finished reply with one write; what does not fit is sent as the socket drains.
    virtual void Send(Connection& connection, const std::uint8_t* bytes, std::size_t size) = 0;
    // Holds a reply back until `at`; the connection reads nothing meanwhile.
    virtual void SendLater(Connection& connection, std::vector<std::uint8_t> reply, Clock::time_point at) = 0;
    // Closes a connection (now, or after the current message when it is the one being served).
    virtual void Close(std::uint64_t serial) = 0;
    virtual bool StartMainListener() = 0;
    virtual void StopMainListener() = 0;
    virtual int BoundPort(PortKind port) const = 0;
};

// A refusal: the reply code and the context it names. Of the six context strings of an error reply (user,
// database, table, field, index, detail) the server fills user, database and detail.
struct Refusal
{
    std::uint16_t Code;
    std::string User;
    std::string Database;
    std::string Detail;
};

// Twenty letters and digits from the system's random source (easily confused ones left out).
std::string RandomPassword();

class ServerCore
{
public:
    ServerCore(ServerOptions options, Store& store, ServerLog& log, ConnectionControl& control);

    // Creates the first administrator on an empty store. Returns the generated password, empty when the
    // options named one or when users already exist.
    std::string EnsureAdministrator();

    // The largest message this connection may send now.
    std::int32_t MessageLimit(const Connection& connection) const;
    // Serves one complete raw message. Returns false when the connection must be closed (malformed input,
    // a request out of place in the handshake, LOGOUT).
    bool HandleMessage(Connection& connection, const std::vector<std::uint8_t>& raw);
    // The connection is gone (peer closed, error, time-out): its session becomes dead with that detail.
    void ConnectionLost(Connection& connection, std::string_view detail);
    // Periodic work: dead-session expiry and throttle pruning.
    void Tick(Clock::time_point now);
    // Why a connection must be closed now (too long in the handshake, before LOGIN, or silent on the main
    // port beyond ConnectionTimeout), or null.
    const char* TimeoutReason(const Connection& connection, Clock::time_point now) const;

    // --- Used by the administration requests -------------------------------------------------------------
    Store& Data() { return store_; }
    ServerLog& Log() { return log_; }
    SessionTable& Sessions() { return sessions_; }
    const ServerOptions& Options() const { return options_; }
    const ServerConfig& Config() const { return config_; }
    void SetConfig(const ServerConfig& config);
    int BoundPort(PortKind port) const { return control_.BoundPort(port); }
    std::int32_t UpTimeSeconds() const;
    bool DisconnectSession(std::int32_t id, std::string_view detail);
    bool RemoveSession(std::int32_t id);
    void StopMain();
    void StartMain();

private:
    // Returns false when the connection must be closed.
    bool Dispatch(Connection& connection, std::uint16_t code, MessageReader& request,
                  const std::vector<std::uint8_t>& raw);
    void ConnectParams(Connection& connection, MessageReader& request);
    void Reconnect(Connection& connection, MessageReader& request);
    // The user of the connection's session while it is still an administrator; otherwise refuses the request
    // as LOGIN would.
    std::string CurrentAdministrator(const Connection& connection);
    void Login(Connection& connection, MessageReader& request);
    std::uint16_t CheckLogin(const Connection& connection, const std::string& user,
                             const std::string& password);
    void Logout(Connection& connection);
    void SessionParams(MessageReader& request);
    void WriteRefusal(const Refusal& refusal);
    // Finishes the reply and sends it (or holds it back by `delay`); keeps it for a replay when asked.
    void SendReply(Connection& connection, Session* keepFor = nullptr,
                   std::chrono::milliseconds delay = std::chrono::milliseconds{0});
    // The logged-in session whose replay record a request updates: kept for a change, cleared for a read.
    Session* ReplayTarget(const Connection& connection, std::uint16_t code,
                          const std::vector<std::uint8_t>& raw);
    bool ReplayIfResend(Connection& connection, Session& session, const std::vector<std::uint8_t>& raw);
    void Detach(Session& session, std::string_view detail);

    ServerOptions options_;
    Store& store_;
    ServerLog& log_;
    ConnectionControl& control_;
    ServerConfig config_;
    SessionTable sessions_;
    LoginThrottle throttle_;
    bool mainRunning_ = true;
    bool compressReply_ = false;
    Clock::time_point mainStartedAt_;
    Clock::time_point lastDeadCheck_;

    MessageBuffer requestBuffer_;
    std::vector<std::uint8_t> scratch_;
    MessageBuffer replyBuffer_;
    MessageWriter reply_{replyBuffer_};
};

} // namespace korvel::server
