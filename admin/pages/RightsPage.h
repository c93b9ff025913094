// The "Rights" page: every user's rights on every database in one grid (users × databases, or the transpose),
// read in the background with a progress bar and Cancel, filtered by name, and edited in place: select cells,
// then set, grant or revoke rights, make them not database users, or copy one user's rights to the selected
// users. Every edit shows what it will send and asks once; pairs another administrator changed since the grid
// was read are listed and skipped unless confirmed. The page reads and sends through its own background
// runner (a load queues one job per database), so the window keeps answering.
#pragma once

#include "admin/common/AdminPage.h"
#include "admin/pages/RightsGrid.h"
#include "operations/RightsMatrix.h"

#include <array>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableView;

namespace korvel::admin
{

class BackgroundRunner;
class TDatabaseUsersPage;

class TRightsPage : public AdminPage
{
public:
    TRightsPage(const PageContext& context, TDatabaseUsersPage& databaseUsers, QWidget* parent);
    ~TRightsPage() override;

    QString Caption() const override { return QStringLiteral("Rights"); }
    // The grid is read when the page is first shown, not at login: a large server must not slow the login.
    void FillAtLogin() override { MarkStale(); }

    // The server's rights changed elsewhere (the Database Users, Users or Databases page): read again when
    // shown.
    void MarkStale();
    // Reading or sending is under way.
    bool Busy() const;
    const RightsGridModel& Model() const { return model_; }

    void RefreshRightsButtonClick();
    void CancelRightsButtonClick();
    void SetRightsButtonClick();
    void GrantRightsButtonClick();
    void RevokeRightsButtonClick();
    void NotDatabaseUserButtonClick();
    void CopyRightsButtonClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void CreateControls();
    void StartLoading();
    void ColumnRead(operations::DatabaseColumn column);
    void LoadingEnded(const QString& status);
    void ShowCounts();
    void JobFailed(std::exception_ptr error);
    void EditSelection(operations::RightsEdit edit, const operations::PairRights& rights);
    TUserRights CheckedRights() const;
    // The summary question, the conflict check, the changes, then a fresh read.
    void Send(const operations::RightsPlan& plan);
    void SendChecked(operations::RightsPlan plan, const std::vector<operations::Conflict>& conflicts);
    void ChangesSent(const operations::RightsPlan& plan, const operations::ApplyReport& report);
    void ShowCommandRunning(bool running);

    TKORVELSession& session_;
    TDatabaseUsersPage& databaseUsers_;
    RightsGridModel model_;
    RightsFilterProxy proxy_;
    bool stale_ = true;
    int databasesToRead_ = 0;

    QLineEdit* RightsFilterEdit = nullptr;
    QCheckBox* TransposeRightsCheckBox = nullptr;
    QPushButton* RefreshRightsButton = nullptr;
    QTableView* RightsGrid = nullptr;
    QProgressBar* RightsProgressBar = nullptr;
    QPushButton* CancelRightsButton = nullptr;
    QLabel* RightsStatusLabel = nullptr;
    // Read ... Drop: box n holds the right with bit n.
    std::array<QCheckBox*, 7> RightsCheckBoxes{};
    QPushButton* SetRightsButton = nullptr;
    QPushButton* GrantRightsButton = nullptr;
    QPushButton* RevokeRightsButton = nullptr;
    QPushButton* NotDatabaseUserButton = nullptr;
    QComboBox* CopyFromComboBox = nullptr;
    QPushButton* CopyRightsButton = nullptr;

    // Last: destroyed first, so no job outlives what its delivery touches.
    std::unique_ptr<BackgroundRunner> runner_;
};

} // namespace korvel::admin
