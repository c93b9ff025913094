// The process-wide list of sessions, its re-entrant SessionListLock, and the "Default" session. Programs create
// them with CreateSessions() at start and destroy them with DestroySessions() at the end; nothing here is a
// static object whose destruction order matters.
#pragma once

#include <bitset>
#include <mutex>
#include <string>
#include <vector>

namespace korvel {

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
    void RemoveSession(TKORVELSession* session);
    // An empty name gives the default session; otherwise the first session whose name matches without regard
    // to case; null when none does.
    TKORVELSession* FindSession(const std::string& name);
    // As FindSession, but raises "Session name %s is not valid." instead of returning null.
    TKORVELSession& GetSession(const std::string& name);
    // Destroys all registered sessions, the last registered first.
    void FreeAllSessions();
    std::size_t Count();

    // Serialises activation, deactivation, auto-session numbering and every administration call.
    std::recursive_mutex& SessionListLock() { return sessionListLock_; }
    // The lowest free auto-session number, now taken; and its release.
    int TakeAutoSessionNumber();
    void ReleaseAutoSessionNumber(int number);

private:
    std::mutex listLock_; // guards sessions_ only; taken outside SessionListLock when both are held
    std::vector<TKORVELSession*> sessions_;
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
