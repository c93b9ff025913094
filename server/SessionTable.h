// The server's sessions, in memory: one per login on either port, kept after its connection drops so that
// RECONNECT can re-attach it, until the dead-session rules remove it.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace korvel::server
{

using Clock = std::chrono::steady_clock;

enum class PortKind
{
    Admin,
    Main
};

struct Session
{
    std::int32_t Id = 0;
    PortKind Port = PortKind::Main;
    std::string UserName;
    double CreatedOn = 0;
    double LastConnected = 0;
    std::string Address; // empty while dead
    bool LanSession = true;
    std::string DisconnectedDetail;
    std::uint64_t ConnectionSerial = 0; // 0 while dead
    Clock::time_point DiedAt{};
    // The last request that changed state and its reply, replayed to a byte-identical resend after RECONNECT.
    std::vector<std::uint8_t> LastChangeRequest;
    std::vector<std::uint8_t> LastChangeReply;

    bool Connected() const { return ConnectionSerial != 0; }
};

class SessionTable
{
public:
    // A random positive id from the system's cryptographic source, reserved until ReleaseUnused: it is never
    // handed out twice, and the id of a session that logged in is never handed out again during this run.
    std::int32_t NewSessionId();
    // Gives back an id whose connection closed before LOGIN (no session was made under it).
    void ReleaseUnused(std::int32_t id);

    // Creates a connected session under an id from NewSessionId.
    Session& Create(std::int32_t id, PortKind port, std::string userName, std::string address, bool lan,
                    std::uint64_t connectionSerial);
    Session* Find(std::int32_t id);
    void Remove(std::int32_t id);
    // Marks the session dead; then drops the oldest dead sessions of its port beyond `maxDead`.
    void MarkDead(Session& session, std::string detail, Clock::time_point now, std::size_t maxDead);
    // Removes the dead sessions that died `expiresAfter` or longer ago, and the oldest beyond `maxDead` per
    // port (the limit may have been lowered since they died).
    void ExpireDead(Clock::time_point now, std::chrono::seconds expiresAfter, std::size_t maxDead);

    std::int32_t MainCount() const { return static_cast<std::int32_t>(mainOrder_.size()); }
    std::int32_t ConnectedMainCount() const;
    // The main-port session at a 1-based position in creation order, or null.
    Session* MainAt(std::int32_t position);
    const std::vector<Session*>& MainSessions() const { return mainOrder_; }

private:
    void DropOldestDead(PortKind port, std::size_t maxDead);

    std::unordered_map<std::int32_t, std::unique_ptr<Session>> sessions_;
    std::vector<Session*> mainOrder_;
    std::unordered_set<std::int32_t> issued_;
};

} // namespace korvel::server
