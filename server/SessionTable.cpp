#include "server/SessionTable.h"

#include "engine/wire/OleDate.h"

#include <algorithm>
#include <stdexcept>
#include <sys/random.h>

namespace korvel::server
{

namespace
{

std::int32_t RandomPositive()
{
    for (;;)
    {
        std::uint32_t value = 0;
        if (getrandom(&value, sizeof value, 0) != static_cast<ssize_t>(sizeof value))
            throw std::runtime_error("no random source");
        value &= 0x7FFFFFFFu;
        if (value != 0)
            return static_cast<std::int32_t>(value);
    }
}

} // namespace

std::int32_t SessionTable::NewSessionId()
{
    for (;;)
    {
        std::int32_t id = RandomPositive();
        if (issued_.insert(id).second)
            return id;
    }
}

void SessionTable::ReleaseUnused(std::int32_t id)
{
    // An id that never got a login names nothing RECONNECT could attach to, so it may come round again;
    // keeping it would let a stream of bare handshakes grow the set without end.
    if (!sessions_.contains(id))
        issued_.erase(id);
}

Session& SessionTable::Create(std::int32_t id, PortKind port, std::string userName, std::string address,
                              bool lan, std::uint64_t connectionSerial)
{
    auto session = std::make_unique<Session>();
    session->Id = id;
    session->Port = port;
    session->UserName = std::move(userName);
    session->Address = std::move(address);
    session->LanSession = lan;
    session->CreatedOn = session->LastConnected = OleDateFromLocalTime(std::time(nullptr));
    session->ConnectionSerial = connectionSerial;
    Session& created = *session;
    sessions_[id] = std::move(session);
    if (port == PortKind::Main)
        mainOrder_.push_back(&created);
    return created;
}

Session* SessionTable::Find(std::int32_t id)
{
    auto found = sessions_.find(id);
    return found == sessions_.end() ? nullptr : found->second.get();
}

void SessionTable::Remove(std::int32_t id)
{
    auto found = sessions_.find(id);
    if (found == sessions_.end())
        return;
    if (found->second->Port == PortKind::Main)
        std::erase(mainOrder_, found->second.get());
    sessions_.erase(found);
}

void SessionTable::MarkDead(Session& session, std::string detail, Clock::time_point now, std::size_t maxDead)
{
    session.ConnectionSerial = 0;
    session.Address.clear();
    session.DisconnectedDetail = std::move(detail);
    session.DiedAt = now;
    DropOldestDead(session.Port, maxDead);
}

void SessionTable::DropOldestDead(PortKind port, std::size_t maxDead)
{
    std::vector<Session*> dead;
    for (auto& [id, session] : sessions_)
        if (session->Port == port && !session->Connected())
            dead.push_back(session.get());
    if (dead.size() <= maxDead)
        return;
    std::sort(dead.begin(), dead.end(), [](Session* a, Session* b) { return a->DiedAt < b->DiedAt; });
    for (std::size_t i = 0; i < dead.size() - maxDead; ++i)
        Remove(dead[i]->Id);
}

void SessionTable::ExpireDead(Clock::time_point now, std::chrono::seconds expiresAfter, std::size_t maxDead)
{
    std::vector<std::int32_t> expired;
    for (auto& [id, session] : sessions_)
        if (!session->Connected() && now - session->DiedAt >= expiresAfter)
            expired.push_back(id);
    for (auto id : expired)
        Remove(id);
    DropOldestDead(PortKind::Admin, maxDead);
    DropOldestDead(PortKind::Main, maxDead);
}

std::int32_t SessionTable::ConnectedMainCount() const
{
    return static_cast<std::int32_t>(
        std::count_if(mainOrder_.begin(), mainOrder_.end(), [](const Session* s) { return s->Connected(); }));
}

Session* SessionTable::MainAt(std::int32_t position)
{
    if (position < 1 || position > MainCount())
        return nullptr;
    return mainOrder_[static_cast<std::size_t>(position - 1)];
}

} // namespace korvel::server
