#include "admin/window/WindowTitle.h"

#include "admin/window/Settings.h"

#include <QCoreApplication>

namespace korvel::admin
{

QString ServerPlace(const RemoteSettings& connection)
{
    return QString::fromStdString(ConnectionOf(connection).Place());
}

QString ServerEndpoint(const RemoteSettings& connection)
{
    return QString::fromStdString(ConnectionOf(connection).Endpoint());
}

QString ConnectedTitle(const QString& productName, const RemoteSettings& connection,
                       const std::string& serverName)
{
    return QCoreApplication::translate("WindowTitle", "%1 (Connected to %2 - %3)")
        .arg(productName, ServerPlace(connection), QString::fromStdString(serverName));
}

} // namespace korvel::admin
