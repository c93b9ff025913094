// The Servers view: every profile with the state of its server, checked in the background by a sweep of its
// own (engine sessions on the sweep's pool, never the window's session, its worker or this thread). Reports
// arrive on the pool's threads and are handed to this thread queued. It repeats at the chosen interval and on
// F5; Enter or a double-click logs in to the row's profile the usual way. Shown while logged out too, in
// place of the page control.
#pragma once

#include "admin/common/AdminPage.h"
#include "fleet/Sweep.h"
#include "settings/Profiles.h"

#include <QCoreApplication>

#include <memory>

class QComboBox;
class QLineEdit;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;
class QTimer;

namespace korvel::admin
{

class ServersModel;

class ServersPage : public AdminPage
{
    Q_DECLARE_TR_FUNCTIONS(ServersPage)

public:
    ServersPage(const PageContext& context, QWidget* parent);
    ~ServersPage() override;

    QString Caption() const override { return tr("Servers"); }
    bool ShownLoggedOut() const override { return true; }
    void LoggedInChanged(bool loggedIn) override;
    std::string ChosenProfile() const override;
    void RefreshPage() override { CheckNow(); }
    QWidget* SearchBox() override;

    // How each server is checked (its deadline, where its password comes from); a sweep under way ends.
    void SetCheckSettings(fleet::CheckSettings settings);
    // Reads the profiles again and checks every one that may be checked.
    void CheckNow();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void CreateControls();
    void ServersTableViewActivated(const QModelIndex& index);
    void IntervalChanged();
    // The profiles as the store has them now, keeping the current row where it was.
    void ReadProfiles();

    PageContext context_;
    settings::ProfileStore store_;
    fleet::CheckSettings checkSettings_;
    std::unique_ptr<fleet::Sweep> sweep_; // made at the first check; ends before the page does
    ServersModel* model_ = nullptr;
    QSortFilterProxyModel* shown_ = nullptr;
    QLineEdit* searchEdit_ = nullptr;
    QComboBox* intervalComboBox_ = nullptr;
    QPushButton* checkButton_ = nullptr;
    QTableView* tableView_ = nullptr;
    QTimer* repeat_ = nullptr;
    bool checkedOnce_ = false;
};

} // namespace korvel::admin
