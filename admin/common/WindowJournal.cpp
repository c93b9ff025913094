#include "admin/common/WindowJournal.h"

namespace korvel::admin
{

ChangeSender::ChangeSender(journal::Journal& journal, std::string profile)
    : journal_(&journal), profile_(std::move(profile))
{
}

operations::ServerChanges ChangeSender::Through(TKORVELSession& session) const
{
    return {session, *journal_, operations::LoginOrigin(session, "korvel-admin", profile_)};
}

WindowJournal::WindowJournal(std::string path, std::function<QString()> profile)
    : journal_(std::move(path)), profile_(std::move(profile))
{
}

ChangeSender WindowJournal::Sender()
{
    return {journal_, profile_ ? profile_().toStdString() : std::string()};
}

} // namespace korvel::admin
