// The connection's state in permanent sections on the right of the status bar, while the left part keeps the
// menu hints: host and port, LAN or Internet, whether through an SSH server, how long the last exchange took
// and when the last refresh succeeded, and "Connection lost" while the server is away. Empty while logged
// out.
#pragma once

#include "settings/Connection.h"
#include <QDateTime>

#include <QString>

class QLabel;
class QStatusBar;

namespace korvel::admin
{

class StatusBarSections
{
public:
    explicit StatusBarSections(QStatusBar* bar);

    // Host (or address) and port, and the mode, of the connection just logged in through, and "via bastion"
    // when it goes through an SSH server.
    void ShowConnection(const settings::Connection& connection);
    void ShowRefresh(const QDateTime& when, double exchangeMs);
    // Shown from a failure to reach the server until the next success.
    void ShowConnectionLost(bool lost);
    void Clear();

private:
    QLabel* Add(QStatusBar* bar, const char* name, const QString& tip);

    QLabel* lost_;
    QLabel* endpoint_;
    QLabel* mode_;
    QLabel* bastion_;
    QLabel* exchange_;
    QLabel* refreshed_;
};

} // namespace korvel::admin
