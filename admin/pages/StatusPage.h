// The "Status" page: the server's version, memory, up time, addresses and ports, and one row per server
// session; starts and stops the main listener and disconnects or removes single sessions. Nothing is cached
// between refreshes.
#pragma once

#include "admin/common/AdminPage.h"

#include <QIcon>

#include <array>

class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace korvel::admin
{

class TStatusPage : public AdminPage
{
public:
    TStatusPage(const PageContext& context, QWidget* parent);

    QString Caption() const override { return QStringLiteral("Status"); }
    void RefreshAfterLogin() override { RefreshStatus(); }
    QWidget* LoginFocusWidget() override;

    void RefreshStatus();
    void UpdateSessionButtons();

    void RefreshButtonClick();
    void StartButtonClick();
    void StopButtonClick();
    void SessionsListViewClick();
    void RemoveButtonClick();
    void DisconnectButtonClick();

    // Row data of the sessions list.
    static constexpr int SessionIdRole = Qt::UserRole;
    static constexpr int ConnectedRole = Qt::UserRole + 1;

private:
    void CreateControls();
    void FillSessionsList(int sessionCount);
    void ShowUpTime();

    enum SessionImage
    {
        siDisconnected, // a user alone: a session without a connection
        siLan,          // a user with a computer
        siInternet      // a user with a globe
    };

    TKORVELSession& session_;
    std::array<QIcon, 3> sessionIcons_;

    QTreeWidget* SessionsListView = nullptr;
    QLineEdit* TotalSessionsEdit = nullptr;
    QPushButton* RemoveButton = nullptr;
    QLineEdit* TotalConnectedSessionsEdit = nullptr;
    QPushButton* DisconnectButton = nullptr;
    QLineEdit* EngineVersionEdit = nullptr;
    QLineEdit* ServerMemoryEdit = nullptr;
    QLineEdit* MainAddressEdit = nullptr;
    QLineEdit* MainPortEdit = nullptr;
    QLineEdit* UpTimeEdit = nullptr;
    QLineEdit* AdminAddressEdit = nullptr;
    QLineEdit* AdminPortEdit = nullptr;
    QPushButton* RefreshButton = nullptr;
    QPushButton* StartButton = nullptr;
    QPushButton* StopButton = nullptr;
};

} // namespace korvel::admin
