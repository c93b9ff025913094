#include "admin/window/StatusBarSections.h"

#include "admin/window/Settings.h"
#include "admin/window/WindowTitle.h"

#include <QCoreApplication>
#include <QLabel>
#include <QStatusBar>

namespace korvel::admin
{

StatusBarSections::StatusBarSections(QStatusBar* bar)
    : lost_(Add(bar, "ConnectionLostSection",
                QCoreApplication::translate(
                    "StatusBarSections",
                    "The server did not answer; the next refresh or command that succeeds clears this"))),
      endpoint_(
          Add(bar, "ServerEndpointSection",
              QCoreApplication::translate("StatusBarSections", "The server's host and administration port"))),
      mode_(Add(bar, "ConnectionModeSection",
                QCoreApplication::translate("StatusBarSections", "LAN, or compressed Internet mode"))),
      bastion_(Add(
          bar, "BastionSection",
          QCoreApplication::translate(
              "StatusBarSections",
              "The connection goes through an SSH server; the host and port are as that server sees them"))),
      exchange_(Add(bar, "LastExchangeSection",
                    QCoreApplication::translate("StatusBarSections",
                                                "How long the last exchange with the server took"))),
      refreshed_(Add(bar, "LastRefreshSection",
                     QCoreApplication::translate("StatusBarSections", "When the Status page last refreshed")))
{
}

QLabel* StatusBarSections::Add(QStatusBar* bar, const char* name, const QString& tip)
{
    auto* label = new QLabel(bar);
    label->setObjectName(QLatin1String(name));
    label->setToolTip(tip);
    label->setContentsMargins(4, 0, 4, 0);
    label->hide(); // an empty section would still show its frame
    bar->addPermanentWidget(label);
    return label;
}

void StatusBarSections::ShowConnection(const settings::Connection& connection)
{
    const bool viaBastion = connection.Ssh.Enabled();
    endpoint_->setText(ServerEndpoint(connection));
    mode_->setText(connection.Internet ? QCoreApplication::translate("StatusBarSections", "Internet")
                                       : QCoreApplication::translate("StatusBarSections", "LAN"));
    endpoint_->show();
    mode_->show();
    bastion_->setText(viaBastion ? QCoreApplication::translate("StatusBarSections", "via bastion")
                                 : QString());
    bastion_->setVisible(viaBastion);
}

void StatusBarSections::ShowRefresh(const QDateTime& when, double exchangeMs)
{
    exchange_->setText(QCoreApplication::translate("StatusBarSections", "%1 ms")
                           .arg(exchangeMs, 0, 'f',
                                exchangeMs < 1    ? 2
                                : exchangeMs < 10 ? 1
                                                  : 0));
    refreshed_->setText(QCoreApplication::translate("StatusBarSections", "Refreshed %1")
                            .arg(when.toString(QStringLiteral("HH:mm:ss")))); // untranslated: a time format
    exchange_->show();
    refreshed_->show();
}

void StatusBarSections::ShowConnectionLost(bool lost)
{
    lost_->setText(QCoreApplication::translate("StatusBarSections", "Connection lost"));
    lost_->setVisible(lost);
}

void StatusBarSections::Clear()
{
    for (QLabel* label : {lost_, endpoint_, mode_, bastion_, exchange_, refreshed_})
    {
        label->clear();
        label->hide();
    }
}

} // namespace korvel::admin
