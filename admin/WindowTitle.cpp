#include "admin/WindowTitle.h"

#include "session/KORVELSession.h"

namespace korvel::admin
{

QString ServerPlace(const TKORVELSession& session)
{
    QString host =
        QString::fromStdString(session.RemoteHost().empty() ? session.RemoteAddress() : session.RemoteHost());
    QString via = session.RemoteService().empty()
                      ? "on port " + QString::number(session.RemotePort())
                      : "on service " + QString::fromStdString(session.RemoteService());
    return host + " " + via;
}

QString ConnectedTitle(const QString& productName, const TKORVELSession& session,
                       const std::string& serverName)
{
    return productName + " (Connected to " + ServerPlace(session) + " - " +
           QString::fromStdString(serverName) + ")";
}

} // namespace korvel::admin
