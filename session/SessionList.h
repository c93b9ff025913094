// The process-wide list of sessions, its re-entrant SessionListLock, and the "Default" session. Programs
// create them with CreateSessions() at start and destroy them with DestroySessions() at the end; nothing here
// is a static object whose destruction order matters.
#pragma once

#include <bitset>
#include <mutex>
#include <string>
#include <vector>

namespace korvel
{

class TKORVELSession;

class TKORVELSessionList
{
public:
    TKORVELSessionList() = default;
    // Frees every session still registered.
    ~TKORVELSessionList();
    TKORVELSessionList(const TKORVELSessionList&) = delete;
    TKORVELSessionList& operator=(const TKORVELSessionList&) = delete;

    // A session registered into an empty list becomes the default session.
    void AddSession(TKORVELSession* session);
    // The session registered into the empty list, while it is registered; else null.
    TKORVELSession* Default();
    void RemoveSession(TKORVELSession* session);
    // An empty name gives the default session; otherwise the first session whose name matches without regard
    // to case; null when none does.
    TKORVELSession* FindSession(const std::string& name);
    // As FindSession, but raises "Session name %s is not valid." instead of returning null.
    TKORVELSession& GetSession(const std::string& name);
    // Destroys all registered sessions, the last registered first. A session still registered here must have
    // been created with new; a program destroys the sessions it holds itself before DestroySessions.
    void FreeAllSessions();
    std::size_t Count();

    // Serialises activation, deactivation, auto-session numbering and every administration call.
    std::recursive_mutex& SessionListLock() { return sessionListLock_; }
    // The lowest free auto-session number, now taken; and its release. Raises an EDatabaseError when all are
    // taken.
    int TakeAutoSessionNumber();
    void ReleaseAutoSessionNumber(int number);

private:
    // Guards sessions_ and defaultSession_ only. Never held while a session runs code of its own, so it can
    // nest inside SessionListLock without any risk of a lock-order inversion.
    std::mutex listLock_;
    std::vector<TKORVELSession*> sessions_;
    TKORVELSession* defaultSession_ = nullptr;
    std::recursive_mutex sessionListLock_;
    std::bitset<1024> autoSessionNumbers_;
};

// Creates Sessions and then the session named "Default" (no owner).
void CreateSessions();
// Destroys Sessions, which destroys every session still registered and so deactivates the default session,
// which stops the engine.
void DestroySessions();

TKORVELSessionList* Sessions();
TKORVELSession* DefaultSession();

} // namespace korvel
