#include "session/SessionList.h"

#include "engine/wire/EngineError.h"
#include "session/KORVELSession.h"
#include "session/SessionErrors.h"

#include <algorithm>
#include <cctype>

namespace korvel
{

namespace
{

TKORVELSessionList* sessionList = nullptr;

bool SameNameIgnoringCase(const std::string& a, const std::string& b)
{
    return std::ranges::equal(
        a, b, [](unsigned char x, unsigned char y) { return std::tolower(x) == std::tolower(y); });
}

} // namespace

TKORVELSessionList::~TKORVELSessionList()
{
    FreeAllSessions();
}

void TKORVELSessionList::AddSession(TKORVELSession* session)
{
    std::lock_guard guard(listLock_);
    if (sessions_.empty())
    {
        session->isDefault_ = true;
        defaultSession_ = session;
    }
    sessions_.push_back(session);
}

void TKORVELSessionList::RemoveSession(TKORVELSession* session)
{
    std::lock_guard guard(listLock_);
    std::erase(sessions_, session);
    if (defaultSession_ == session)
        defaultSession_ = nullptr;
}

TKORVELSession* TKORVELSessionList::Default()
{
    std::lock_guard guard(listLock_);
    return defaultSession_;
}

TKORVELSession* TKORVELSessionList::FindSession(const std::string& name)
{
    // Names change only inside SessionListLock, so holding it keeps them still while they are compared.
    std::lock_guard names(sessionListLock_);
    std::lock_guard guard(listLock_);
    if (name.empty())
        return defaultSession_;
    auto found = std::ranges::find_if(sessions_, [&name](TKORVELSession* session)
                                      { return SameNameIgnoringCase(session->SessionName(), name); });
    return found == sessions_.end() ? nullptr : *found;
}

TKORVELSession& TKORVELSessionList::GetSession(const std::string& name)
{
    if (TKORVELSession* session = FindSession(name))
        return *session;
    throw EDatabaseError(SessionError::WithName(SessionError::NameNotValid, name));
}

void TKORVELSessionList::FreeAllSessions()
{
    // The list lock is not held while a session is destroyed: its destructor deactivates it (which takes
    // SessionListLock) and unregisters it (which takes the list lock).
    for (;;)
    {
        TKORVELSession* last = nullptr;
        {
            std::lock_guard guard(listLock_);
            if (sessions_.empty())
                return;
            last = sessions_.back();
        }
        delete last;
    }
}

std::size_t TKORVELSessionList::Count()
{
    std::lock_guard guard(listLock_);
    return sessions_.size();
}

int TKORVELSessionList::TakeAutoSessionNumber()
{
    std::lock_guard guard(sessionListLock_);
    for (std::size_t number = 0; number < autoSessionNumbers_.size(); ++number)
    {
        if (!autoSessionNumbers_.test(number))
        {
            autoSessionNumbers_.set(number);
            return static_cast<int>(number);
        }
    }
    throw EDatabaseError(std::string(SessionError::NoAutoSessionNumber));
}

void TKORVELSessionList::ReleaseAutoSessionNumber(int number)
{
    std::lock_guard guard(sessionListLock_);
    if (number >= 0 && static_cast<std::size_t>(number) < autoSessionNumbers_.size())
        autoSessionNumbers_.reset(static_cast<std::size_t>(number));
}

void CreateSessions()
{
    if (sessionList)
        return;
    sessionList = new TKORVELSessionList;
    auto* defaultSession = new TKORVELSession;
    defaultSession->SetSessionName("Default");
}

void DestroySessions()
{
    delete sessionList;
    sessionList = nullptr;
}

TKORVELSessionList* Sessions()
{
    return sessionList;
}

TKORVELSession* DefaultSession()
{
    return sessionList ? sessionList->Default() : nullptr;
}

} // namespace korvel
