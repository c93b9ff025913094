// The "Database Users" page: for the database chosen in its selector, the users with rights on it and their
// rights; grants, changes and revokes them. The database selector is filled by the Databases page and the
// user chooser by the Users page.
#pragma once

#include "admin/common/AdminPage.h"
#include "admin/pages/lists/ListDetail.h"
#include "admin/pages/lists/ListPages.h"
#include "session/UserRights.h"

#include <array>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace korvel::admin
{

class DatabaseUsersPage : public AdminPage, public EditablePage
{
public:
    DatabaseUsersPage(const PageContext& context, QWidget* parent);

    QString Caption() const override
    {
        return QCoreApplication::translate("DatabaseUsersPage", "Database Users");
    }
    std::function<void()> ReadAtLogin(JobContext& job, LoginReads& reads) override;
    EditablePage* Editable() override { return this; }
    // F5: the list read again, the selected row kept.
    void RefreshPage() override;

    TEditState EditState() const override { return DatabaseUserEditState; }
    QString PendingEditsQuestion() const override;
    void SaveEdits(std::function<void()> saved) override { Save(std::move(saved)); }
    void CancelEdits() override { CancelDatabaseUserButtonClick(); }
    void ResetEditState() override;

    // Called by the Databases page: the selector offers its list with the first database selected.
    void ReplaceDatabases(const NameListView* databases);
    // Shows the users of the database the selector names (any edit here is dropped).
    void ShowUsersOfSelectedDatabase();
    // Called by the Users page: the user chooser offers its list with its selection.
    void ReplaceUsers(const NameListView* users);
    const QString& CurrentDatabase() const { return currentDatabase_; }
    // Called after this page changed a database user, and when the users or databases were listed again (the
    // Rights page then reads its grid again).
    void SetRightsChangedHandler(std::function<void()> handler) { rightsChanged_ = std::move(handler); }

    void ClearDatabaseUserFields();
    void SetDatabaseUserEditMode(bool adding);
    void SetDatabaseUserViewMode();

    void DatabasesComboBoxChange();
    void DatabaseUsersListBoxClick();
    void AddDatabaseUserButtonClick();
    void EditDatabaseUserButtonClick();
    void DeleteDatabaseUserButtonClick();
    void SaveDatabaseUserButtonClick() { Save({}); }
    void CancelDatabaseUserButtonClick();

private:
    using Commands = ListDetailCommands<TUserRights>;

    void CreateControls();
    // The readers of `database`'s users (none when it is empty).
    Commands::Readers Readers(const std::string& database) const;
    void ShowDatabaseUser(const QString& name, TUserRights rights);
    void Save(std::function<void()> saved);
    void ListChanged();
    void ShowRights(TUserRights rights);
    TUserRights CheckedRights() const;
    void SetRightsEditable(bool editable);

    void RightsChanged() const
    {
        if (rightsChanged_)
            rightsChanged_();
    }

    TKORVELSession& session_;
    BackgroundRunner& runner_;
    WindowJournal& journal_;
    std::function<void()> rightsChanged_;
    QString currentDatabase_;
    TEditState DatabaseUserEditState = esViewing;
    // DatabaseUsersListBox with AddDatabaseUserButton, EditDatabaseUserButton and DeleteDatabaseUserButton.
    NameListFrame listFrame_;
    // SaveDatabaseUserButton and CancelDatabaseUserButton.
    DetailFrame detailFrame_;
    std::unique_ptr<Commands> commands_;

    QComboBox* DatabasesComboBox = nullptr;
    NameListView* DatabaseUsersListBox = nullptr;
    QLineEdit* DatabaseUserEdit = nullptr;
    QComboBox* UserComboBox = nullptr;
    // Read, Insert, Update, Delete, Create, Alter, Drop: box n holds the right with bit n.
    std::array<QCheckBox*, 7> RightCheckBoxes{};
    std::array<QLabel*, 7> RightLabels{};
};

} // namespace korvel::admin
