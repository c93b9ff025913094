// The window title while logged in: ProductName + " (Connected to H P - N)".
#pragma once

#include "settings/Connection.h"

#include <QString>

#include <string>

namespace korvel::admin
{

// "H P" is where the connection's server is (settings::Connection::Place); N is the server's name (empty for
// servers before 3.11).
QString ConnectedTitle(const QString& productName, const settings::Connection& connection,
                       const std::string& serverName);

// "H P" as in the title: where the connection's server is.
QString ServerPlace(const settings::Connection& connection);
// "H:P", shorter, for what the window waits for ("db1:12006").
QString ServerEndpoint(const settings::Connection& connection);

} // namespace korvel::admin
