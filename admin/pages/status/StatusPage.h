// The "Status" page: the server's version, memory, up time, addresses and ports, and one row per server
// session; starts and stops the main listener and disconnects or removes sessions. Its server work runs on
// the background runner; the list is a model that changes row by row, so a refresh keeps selection, scroll
// and sort. It refreshes by itself when asked to, and charts the last hour of its refreshes.
#pragma once

#include "admin/common/AdminPage.h"
#include "admin/pages/status/SessionTableModel.h"

#include <QIcon>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeView;

namespace korvel::operations
{
class ServerChanges;
}

namespace korvel::admin
{

class AutoRefresh;
class JobContext;
struct JobOptions;
class HistoryChart;
class NoAnswerWatch;
class SessionFilterModel;
struct StatusSnapshot;

class StatusPage : public AdminPage
{
public:
    StatusPage(const PageContext& context, QWidget* parent);
    ~StatusPage() override;

    QString Caption() const override { return QCoreApplication::translate("StatusPage", "Status"); }
    // The login's own refresh, read before the window counts as logged in. Raises on failure.
    std::function<void()> RefreshAtLogin(JobContext& job) override;
    QWidget* LoginFocusWidget() override;
    void ApplyViewSettings(const ViewSettings& settings) override;
    void StoreViewSettings(ViewSettings& settings) const override;
    void StopRepeatedWork() override;
    void RefreshPage() override;
    QWidget* SearchBox() override;
    // The sessions list greys while the server is away.
    void ShowConnectionLost(bool lost) override;

    void UpdateSessionButtons();

    // The commands; each sends its requests through the runner and shows the result when it comes back.
    void RefreshButtonClick();
    void StartButtonClick();
    void StopButtonClick();
    void SessionsListViewClick();
    void RemoveButtonClick();
    void DisconnectButtonClick();

    // Row data of the sessions list.
    static constexpr int SessionIdRole = SessionTableModel::SessionIdRole;
    static constexpr int ConnectedRole = SessionTableModel::ConnectedRole;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Selected
    {
        std::int32_t Id;
        bool Connected;
    };
    using StatusWork = std::function<StatusSnapshot(JobContext&)>;

    void CreateControls();
    QLayout* CreateFilterBar(QWidget* frame);
    void CreateHeaderMenu();
    // Submits `work` as a user command; `then` runs after the snapshot is shown.
    void SubmitStatusCommand(JobOptions options, StatusWork work,
                             std::function<void(const StatusSnapshot&)> then = {});
    void AutoRefreshTick();
    // The server went away during an auto-refresh: it stops, and its control says so until an interval is
    // chosen again.
    void ShowAutoRefreshStopped(bool stopped);
    void AutoRefreshChosen();
    // What the auto-refresh waits for when the server gave no answer; empty hides it.
    void ShowNoAnswer(const QString& text);
    // Shows what was read; raises the refresh's failure after showing what came before it. A refresh without
    // failure goes into the history chart and the status bar.
    // Both take the rows out of `status`, which saves copying thousands of them on the user-interface thread.
    void ShowStatus(StatusSnapshot& status);
    void ShowValues(StatusSnapshot& status);
    void ShowTotals();
    std::vector<Selected> SelectedSessions() const;
    void ClearSelection();
    void CommandRunningChanged(bool running);
    // The bulk actions: one request per session, then a fresh status and a report.
    struct BulkResult;
    void RunBulk(std::vector<std::int32_t> ids, bool (operations::ServerChanges::*action)(std::int32_t),
                 std::function<QString(const BulkResult&)> report);

    TKORVELSession& session_;
    BackgroundRunner& runner_;
    WindowJournal& journal_;
    std::shared_ptr<RecentSessionWalk> sessionWalk_;
    bool commandRunning_ = false;
    bool stopped_ = false;

    SessionTableModel* sessions_ = nullptr;
    SessionFilterModel* shownSessions_ = nullptr;
    std::unique_ptr<AutoRefresh> autoRefresh_;
    std::unique_ptr<NoAnswerWatch> noAnswer_;

    QTreeView* SessionsListView = nullptr;
    QLineEdit* SessionFilterEdit = nullptr;
    QCheckBox* HideDeadCheckBox = nullptr;
    QLabel* ShownSessionsLabel = nullptr;
    HistoryChart* History = nullptr;
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
    QComboBox* AutoRefreshComboBox = nullptr;
    QLabel* AutoRefreshStateLabel = nullptr;
    QPushButton* StartButton = nullptr;
    QPushButton* StopButton = nullptr;
};

} // namespace korvel::admin
