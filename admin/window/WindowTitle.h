// The window title while logged in: ProductName + " (Connected to H P - N)".
#pragma once

#include <QString>

#include <string>

namespace korvel::admin
{

struct RemoteSettings;

// H is the connection's host name, or its address when there is none; P is "on service S" when a service is
// set, else "on port N"; N is the server's name (empty for servers before 3.11).
QString ConnectedTitle(const QString& productName, const RemoteSettings& connection,
                       const std::string& serverName);

// "H P" as in the title: where the connection's server is.
QString ServerPlace(const RemoteSettings& connection);
// "H:P", shorter, for what the window waits for ("db1:12006").
QString ServerEndpoint(const RemoteSettings& connection);

} // namespace korvel::admin
