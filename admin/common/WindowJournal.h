// The window's journal of changes (journal/Journal.h): one per program, reached by the pages through their
// context. A page's command takes a ChangeSender on the user-interface thread, where the login's profile is
// known, and sends its changes on the worker through the sender's ServerChanges, which records each one.
#pragma once

#include "journal/Journal.h"
#include "operations/ServerChanges.h"

#include <QString>

#include <functional>
#include <string>

namespace korvel
{
class TKORVELSession;
}

namespace korvel::admin
{

// What a work function needs to send journaled changes; copied into it.
class ChangeSender
{
public:
    ChangeSender(journal::Journal& journal, std::string profile);
    // On the worker: the session's origin is read there, as every session property is.
    operations::ServerChanges Through(TKORVELSession& session) const;

private:
    journal::Journal* journal_;
    std::string profile_;
};

class WindowJournal
{
public:
    // `profile` names the profile the window is logged in through (empty for none); asked on the
    // user-interface thread.
    WindowJournal(std::string path, std::function<QString()> profile);

    // On the user-interface thread.
    ChangeSender Sender();
    const std::string& Path() const { return journal_.Path(); }

private:
    journal::Journal journal_;
    std::function<QString()> profile_;
};

} // namespace korvel::admin
