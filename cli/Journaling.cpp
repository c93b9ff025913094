#include "cli/Journaling.h"

#include <cstdlib>

namespace korvel::cli
{

namespace
{

std::string& Profile()
{
    static std::string profile;
    return profile;
}

journal::Journal& RunJournal()
{
    static journal::Journal journal;
    return journal;
}

std::string Program()
{
    const char* caller = std::getenv("KORVEL_ADMIN_CALLER");
    return caller && *caller ? std::string("korvel-admin-cli (") + caller + ")" : "korvel-admin-cli";
}

} // namespace

void SetJournalProfile(const std::string& profile)
{
    Profile() = profile;
}

operations::ServerChanges Changes(TKORVELSession& session, std::optional<journal::Run> run)
{
    journal::Origin origin = operations::LoginOrigin(session, Program(), Profile());
    origin.Run = std::move(run);
    return {session, RunJournal(), std::move(origin)};
}

} // namespace korvel::cli
