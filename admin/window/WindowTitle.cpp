#include "admin/window/WindowTitle.h"

#include "admin/window/Settings.h"

#include <QCoreApplication>

namespace korvel::admin
{

QString ServerPlace(const settings::Connection& connection)
{
    return QString::fromStdString(connection.Place());
}

QString ServerEndpoint(const settings::Connection& connection)
{
    return QString::fromStdString(connection.Endpoint());
}

QString ConnectedTitle(const QString& productName, const settings::Connection& connection,
                       const std::string& serverName)
{
    return QCoreApplication::translate("WindowTitle", "%1 (Connected to %2 - %3)")
        .arg(productName, ServerPlace(connection), QString::fromStdString(serverName));
}

} // namespace korvel::admin
