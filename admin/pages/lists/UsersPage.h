// The "Users" page: the server's users in a sorted list beside one user's details; adds, changes and deletes
// users. Filling the list also fills the user chooser of the Database Users page.
#pragma once

#include "admin/common/AdminPage.h"
#include "admin/pages/lists/AccountGuard.h"
#include "admin/pages/lists/ListDetail.h"
#include "admin/pages/lists/ListPages.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace korvel::admin
{

class DescriptionText;
class DatabaseUsersPage;

// What the Users page shows of one user.
struct UserRecord
{
    std::string Password;
    std::string Description;
    bool Administrator = false;
};

class UsersPage : public AdminPage, public EditablePage
{
public:
    UsersPage(const PageContext& context, DatabaseUsersPage& databaseUsers, QWidget* parent);

    QString Caption() const override { return QCoreApplication::translate("UsersPage", "Users"); }
    std::function<void()> ReadAtLogin(JobContext& job, LoginReads& reads) override;
    EditablePage* Editable() override { return this; }
    // F5: the list read again, the selected row kept.
    void RefreshPage() override;

    TEditState EditState() const override { return UserEditState; }
    QString PendingEditsQuestion() const override;
    void SaveEdits(std::function<void()> saved) override { Save(std::move(saved)); }
    void CancelEdits() override { CancelUserButtonClick(); }
    void ResetEditState() override;

    void ClearUserFields();
    void SetUserEditMode(bool nameEditable, QWidget* focus);
    void SetUserViewMode();

    void UsersListBoxClick();
    void AddUserButtonClick();
    void EditUserButtonClick();
    void DeleteUserButtonClick();
    void SaveUserButtonClick() { Save({}); }
    void CancelUserButtonClick();

private:
    using Commands = ListDetailCommands<UserRecord>;

    void CreateControls();
    Commands::Readers Readers() const;
    void ShowUser(const QString& name, const UserRecord& user);
    // Sends the add or modify; `saved` runs once it is done. `guard`: what the account guard allowed, none
    // while it was not asked.
    void Save(std::function<void()> saved);
    void SendSave(std::optional<AccountGuardResult> guard, std::function<void()> saved);
    // The guard before clearing an administrator's flag, then the save again unless refused.
    void GuardDemotion(std::function<void()> saved);
    // What another administrator changed since the user was shown.
    static QStringList DescribeChanges(const UserRecord& shown, const UserRecord& now);
    // The Database Users page's user chooser follows the list, and the page is back to viewing.
    void ListShown();

    TKORVELSession& session_;
    BackgroundRunner& runner_;
    WindowJournal& journal_;
    std::function<void()> logOut_;
    DatabaseUsersPage& databaseUsers_;
    TEditState UserEditState = esViewing;
    // UsersListBox with AddUserButton, EditUserButton and DeleteUserButton.
    NameListFrame listFrame_;
    // SaveUserButton and CancelUserButton.
    DetailFrame detailFrame_;
    std::unique_ptr<Commands> commands_;

    NameListView* UsersListBox = nullptr;
    QLineEdit* UserNameEdit = nullptr;
    QLineEdit* PasswordEdit = nullptr;
    QPlainTextEdit* UserDescriptionMemo = nullptr;
    DescriptionText* UserDescription = nullptr; // owned by UserDescriptionMemo
    QCheckBox* AdministratorCheckBox = nullptr;
    QLabel* AdministratorLabel = nullptr;
};

} // namespace korvel::admin
