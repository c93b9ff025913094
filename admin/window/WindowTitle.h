// The window title while logged in: ProductName + " (Connected to H P - N)".
#pragma once

#include <QString>

#include <string>

namespace korvel::admin
{

struct RemoteSettings;

// "H P" is where the connection's server is (settings::Connection::Place); N is the server's name (empty for
// servers before 3.11).
QString ConnectedTitle(const QString& productName, const RemoteSettings& connection,
                       const std::string& serverName);

// "H P" as in the title: where the connection's server is.
QString ServerPlace(const RemoteSettings& connection);
// "H:P", shorter, for what the window waits for ("db1:12006").
QString ServerEndpoint(const RemoteSettings& connection);

} // namespace korvel::admin
