// The "Rights" page: every user's rights on every database in one grid (users × databases, or the transpose),
// read in the background with a progress bar and Cancel, filtered by name, sorted by a click on a column
// header (rows by their rights there) or on the corner button (rows by name), and edited in place: select
// cells, then set, grant or revoke rights, make them not database users, or copy one user's rights to the
// selected users, from the buttons below the grid, the cells' context menu or the editor that a double-click
// or Enter opens in a cell. Every edit shows what it will send and asks once; pairs another administrator
// changed since the grid was read are listed and skipped unless confirmed (then overwritten from what the
// server holds now).
//
// Everything goes through the runner the window shares with every page. The read is background work, one job
// that posts each column as it arrives: a user command on any page goes first and interrupts it (the page
// says so and reads again when shown next or on Refresh), and it waits while the runner is busy. Changes are
// user commands.
#pragma once

#include "admin/common/AdminPage.h"
#include "admin/common/BackgroundRunner.h"
#include "admin/pages/rights/RightsGrid.h"
#include "operations/RightsMatrix.h"

#include <array>
#include <exception>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableView;
class QTimer;

namespace korvel::admin
{

class DatabaseUsersPage;

class RightsPage : public AdminPage
{
public:
    RightsPage(const PageContext& context, DatabaseUsersPage& databaseUsers, QWidget* parent);
    ~RightsPage() override;

    QString Caption() const override { return QCoreApplication::translate("RightsPage", "Rights"); }
    // The grid is read when the page is first shown, not at login: a large server must not slow the login.
    // Nothing to read at login: the grid is read when the page is first shown.
    std::function<void()> ReadAtLogin(JobContext&, LoginReads&) override
    {
        return [this] { MarkStale(); };
    }
    // Logout: the read stops, and the grid is read again when shown after the next login.
    void StopRepeatedWork() override;
    void RefreshPage() override;
    QWidget* SearchBox() override;

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
    // The corner button: rows by name, reversed at each click.
    void SortByNameClick();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override; // Enter on a cell opens its editor

private:
    void CreateControls();
    QWidget* CreateEditBox();
    void ConnectControls();
    // Each column as wide as its name in bold (a selected cell's headers are bold), up to a limit.
    void FitColumnsToNames();

    // Reading (RightsPage.cpp)
    void StartLoading();
    bool Reading() const;
    void CancelRead();
    void ReadSoon();
    void ShowReading(const QString& status);
    void NamesRead(const operations::RightsMatrix& names);
    void ColumnRead(operations::DatabaseColumn column);
    void ReadInterrupted();
    void ReadFailed(std::exception_ptr error);
    void LoadingEnded(const QString& status);
    QString ReadCount() const;
    void ShowCounts();
    void ShowCommandRunning(bool running);

    // Changing (RightsPageEdits.cpp)
    void EditSelection(operations::RightsEdit edit, const operations::PairRights& rights);
    void CopyRightsFrom(const std::string& from);
    void CellEdited(const operations::PairRights& rights);
    void ShowCellMenu(const QPoint& position);
    TUserRights CheckedRights() const;
    // The summary question, the conflict check, the changes, then a fresh read.
    void Send(const operations::RightsPlan& plan);
    // "<each change as plan lists it>\n\n<summary>. Send these changes?"
    static QString SendQuestion(const operations::RightsPlan& plan);
    // On the user-interface thread: whether to overwrite the pairs changed meanwhile.
    bool Overwrite(const std::vector<operations::Conflict>& conflicts);
    void ChangesSent(const operations::RightsPlan& plan, const operations::ApplyReport& report);
    // The error box (if any) is the command's; the grid is read again.
    void ChangeFailed();

    TKORVELSession& session_;
    BackgroundRunner& runner_;
    WindowJournal& journal_;
    DatabaseUsersPage& databaseUsers_;
    RightsGridModel model_;
    RightsFilterProxy proxy_;
    std::shared_ptr<Job> read_;
    QTimer* readRetry_ = nullptr; // a read waits while the runner is busy
    bool stale_ = true;
    bool sending_ = false;

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
};

} // namespace korvel::admin
