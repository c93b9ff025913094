// The window title while logged in: ProductName + " (Connected to H P - N)".
#pragma once

#include <QString>

#include <string>

namespace korvel
{
class TKORVELSession;
}

namespace korvel::admin
{

// H is the session's host name, or its address when there is none; P is "on service S" when a service is set,
// else "on port N"; N is the server's name (empty for servers before 3.11).
QString ConnectedTitle(const QString& productName, const TKORVELSession& session,
                       const std::string& serverName);

// "H P" as in the title: where the session's server is.
QString ServerPlace(const TKORVELSession& session);

} // namespace korvel::admin
