#include "admin/window/WindowTitle.h"

#include "admin/window/Settings.h"

namespace korvel::admin
{
namespace
{

QString Host(const RemoteSettings& connection)
{
    return connection.RemoteHost.isEmpty() ? connection.RemoteAddress : connection.RemoteHost;
}

} // namespace

QString ServerPlace(const RemoteSettings& connection)
{
    QString via = connection.RemoteService.isEmpty() ? "on port " + QString::number(connection.RemotePort)
                                                     : "on service " + connection.RemoteService;
    return Host(connection) + " " + via;
}

QString ServerEndpoint(const RemoteSettings& connection)
{
    return Host(connection) + QLatin1Char(':') +
           (connection.RemoteService.isEmpty() ? QString::number(connection.RemotePort)
                                               : connection.RemoteService);
}

QString ConnectedTitle(const QString& productName, const RemoteSettings& connection,
                       const std::string& serverName)
{
    return productName + " (Connected to " + ServerPlace(connection) + " - " +
           QString::fromStdString(serverName) + ")";
}

} // namespace korvel::admin
