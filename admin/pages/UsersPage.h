// The "Users" page: the server's users in a sorted list beside one user's details; adds, changes and deletes
// users. Filling the list also fills the user chooser of the Database Users page.
#pragma once

#include "admin/common/AdminPage.h"
#include "admin/pages/ListPages.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;

namespace korvel::admin
{

class DescriptionText;
class TDatabaseUsersPage;

class TUsersPage : public AdminPage, public EditablePage
{
public:
    TUsersPage(const PageContext& context, TDatabaseUsersPage& databaseUsers, QWidget* parent);

    QString Caption() const override { return QStringLiteral("Users"); }
    void FillAtLogin() override;
    EditablePage* Editable() override { return this; }

    TEditState EditState() const override { return UserEditState; }
    QString PendingEditsQuestion() const override;
    void SaveEdits() override { SaveUserButtonClick(); }
    void CancelEdits() override { CancelUserButtonClick(); }
    void ResetEditState() override;

    void FillUserList();
    void ShowSelectedUser();
    void ClearUserFields();
    void SetUserEditMode(bool nameEditable);
    void SetUserViewMode();

    void UsersListBoxClick();
    void AddUserButtonClick();
    void EditUserButtonClick();
    void DeleteUserButtonClick();
    void SaveUserButtonClick();
    void CancelUserButtonClick();

private:
    void CreateControls();

    TKORVELSession& session_;
    BackgroundRunner& runner_;
    std::function<void()> logOut_;
    TDatabaseUsersPage& databaseUsers_;
    TEditState UserEditState = esViewing;
    // UsersListBox with AddUserButton, EditUserButton and DeleteUserButton.
    NameListFrame listFrame_;
    // SaveUserButton and CancelUserButton.
    DetailFrame detailFrame_;

    QListWidget* UsersListBox = nullptr;
    QLineEdit* UserNameEdit = nullptr;
    QLineEdit* PasswordEdit = nullptr;
    QPlainTextEdit* UserDescriptionMemo = nullptr;
    DescriptionText* UserDescription = nullptr; // owned by UserDescriptionMemo
    QCheckBox* AdministratorCheckBox = nullptr;
    QLabel* AdministratorLabel = nullptr;
};

} // namespace korvel::admin
