#include "admin/pages/UsersPage.h"

#include "admin/common/Command.h"
#include "admin/common/Dialogs.h"
#include "admin/pages/AccountGuard.h"
#include "admin/pages/DatabaseUsersPage.h"
#include "admin/pages/DescriptionText.h"
#include "admin/pages/ListPages.h"
#include "admin/pages/PageFields.h"
#include "session/KORVELSession.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>

namespace korvel::admin
{

TUsersPage::TUsersPage(const PageContext& context, TDatabaseUsersPage& databaseUsers, QWidget* parent)
    : AdminPage(parent), session_(context.Session), runner_(context.Runner), logOut_(context.LogOut),
      databaseUsers_(databaseUsers)
{
    CreateControls();
    ConnectListAndDetail<TUsersPage>(listFrame_, detailFrame_, this,
                                     {&TUsersPage::UsersListBoxClick, &TUsersPage::AddUserButtonClick,
                                      &TUsersPage::EditUserButtonClick, &TUsersPage::DeleteUserButtonClick,
                                      &TUsersPage::SaveUserButtonClick, &TUsersPage::CancelUserButtonClick});
    SetUserViewMode();
}

void TUsersPage::CreateControls()
{
    listFrame_ =
        MakeNameListFrame(this, QStringLiteral("Available Users"),
                          {"UsersListBox", "AddUserButton", "EditUserButton", "DeleteUserButton"}, 41);
    UsersListBox = listFrame_.List;

    detailFrame_ =
        MakeDetailFrame(this, QStringLiteral("User Information"), {"SaveUserButton", "CancelUserButton"}, 49);
    QGroupBox* detailFrame = detailFrame_.Frame;
    UserNameEdit = MakeLineEdit(detailFrame, "UserNameEdit", 45);
    LimitToProtocolString(UserNameEdit);
    PasswordEdit = MakeLineEdit(detailFrame, "PasswordEdit", 46);
    PasswordEdit->setEchoMode(QLineEdit::Password);
    LimitToProtocolString(PasswordEdit);
    UserDescriptionMemo = MakeMemo(detailFrame, "UserDescriptionMemo", 47);
    UserDescriptionMemo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    UserDescription = new DescriptionText(UserDescriptionMemo);
    AdministratorCheckBox = MakeCheckBox(detailFrame, "AdministratorCheckBox", 48);
    AdministratorLabel = MakeLabel(detailFrame, QStringLiteral("Administrator"), AdministratorCheckBox, 48);

    auto* fields = new QGridLayout;
    fields->addWidget(MakeLabel(detailFrame, QStringLiteral("User Name"), UserNameEdit, 45), 0, 0);
    fields->addWidget(UserNameEdit, 0, 1);
    fields->addWidget(MakeLabel(detailFrame, QStringLiteral("Password"), PasswordEdit, 46), 1, 0);
    fields->addWidget(PasswordEdit, 1, 1);
    fields->addWidget(MakeLabel(detailFrame, QStringLiteral("Description"), UserDescriptionMemo, 47), 2, 0,
                      Qt::AlignTop);
    fields->addWidget(UserDescriptionMemo, 2, 1);
    auto* administratorRow = new QHBoxLayout;
    administratorRow->addWidget(AdministratorLabel);
    administratorRow->addWidget(AdministratorCheckBox);
    administratorRow->addStretch();
    fields->addLayout(administratorRow, 3, 1);
    fields->setRowMinimumHeight(3, CaptionedCheckBoxHeight(AdministratorCheckBox, AdministratorLabel));
    detailFrame_.AddFields(fields, 1);
    PlaceListAndDetail(this, listFrame_, detailFrame_);
}

void TUsersPage::FillAtLogin()
{
    FillUserList();
    ShowSelectedUser();
    SetUserViewMode();
}

QString TUsersPage::PendingEditsQuestion() const
{
    return QStringLiteral(
        "You are currently editing the user information. Would you like to save this information "
        "before continuing ?");
}

void TUsersPage::ResetEditState()
{
    SetUserViewMode();
    UserEditState = esViewing;
}

void TUsersPage::FillUserList()
{
    ClearNameList(UsersListBox);
    StringList names;
    runner_.Await([&] { session_.GetServerUserNames(names); });
    FillNameList(UsersListBox, names);
    databaseUsers_.ReplaceUsers(UsersListBox);
}

void TUsersPage::ShowSelectedUser()
{
    const QString name = SelectedName(UsersListBox);
    if (name.isEmpty())
    {
        ClearUserFields();
        return;
    }
    const std::string user = ToStd(name);
    std::string password, description;
    bool administrator = false;
    runner_.Await([&] { session_.GetServerUser(user, password, description, administrator); });
    UserNameEdit->setText(name);
    PasswordEdit->setText(FromStd(password));
    UserDescription->Show(description);
    AdministratorCheckBox->setChecked(administrator);
}

void TUsersPage::ClearUserFields()
{
    UserNameEdit->clear();
    PasswordEdit->clear();
    UserDescription->Clear();
    AdministratorCheckBox->setChecked(false);
}

void TUsersPage::SetUserEditMode(bool nameEditable)
{
    SetFieldEditable(UserNameEdit, nameEditable);
    SetFieldEditable(PasswordEdit, true);
    SetFieldEditable(UserDescriptionMemo, true);
    SetCheckBoxEditable(AdministratorCheckBox, AdministratorLabel, true);
    listFrame_.SetEditing(true);
    detailFrame_.SetEditing(true);
}

void TUsersPage::SetUserViewMode()
{
    for (QWidget* field : std::initializer_list<QWidget*>{UserNameEdit, PasswordEdit, UserDescriptionMemo})
        SetFieldEditable(field, false);
    SetCheckBoxEditable(AdministratorCheckBox, AdministratorLabel, false);
    listFrame_.SetEditing(false);
    detailFrame_.SetEditing(false);
}

void TUsersPage::UsersListBoxClick()
{
    ShowSelectedUser();
}

void TUsersPage::AddUserButtonClick()
{
    UserEditState = esAdding;
    ClearUserFields();
    SetUserEditMode(true);
    UserNameEdit->setFocus();
}

void TUsersPage::EditUserButtonClick()
{
    UserEditState = esEditing;
    SetUserEditMode(false);
    PasswordEdit->setFocus();
}

void TUsersPage::DeleteUserButtonClick()
{
    const QString name = UserNameEdit->text();
    const auto guard = GuardAccountChange(this, runner_, session_, name, operations::AccountChange::Delete);
    if (guard == AccountGuardResult::Refused ||
        CurrentDialogs().AskWarningYesNo(
            this, QStringLiteral("Are you sure you want to delete the selected user ?")) != Answer::Yes)
        return;
    const int formerIndex = UsersListBox->currentRow();
    const std::string user = ToStd(name);
    runner_.Await([&] { session_.DeleteServerUser(user); });
    if (guard == AccountGuardResult::AllowedLogOut && logOut_)
        return logOut_();
    FillUserList();
    ReselectListItem(UsersListBox, formerIndex, name);
    ShowSelectedUser();
    SetUserViewMode();
}

void TUsersPage::SaveUserButtonClick()
{
    const std::string name = ToStd(UserNameEdit->text());
    const std::string password = ToStd(PasswordEdit->text());
    const std::string description = UserDescription->Bytes();
    auto guard = AccountGuardResult::Allowed;
    if (UserEditState == esEditing && !AdministratorCheckBox->isChecked())
        guard = GuardAccountChange(this, runner_, session_, UserNameEdit->text(),
                                   operations::AccountChange::Demote);
    if (guard == AccountGuardResult::Refused)
        return; // still editing: the user may tick the box again or cancel
    const bool administrator = AdministratorCheckBox->isChecked();
    const bool adding = UserEditState == esAdding;
    runner_.Await(
        [&]
        {
            if (adding)
                session_.AddServerUser(name, password, description, administrator);
            else
                session_.ModifyServerUser(name, password, description, administrator);
        });
    if (guard == AccountGuardResult::AllowedLogOut && logOut_)
    {
        UserEditState = esViewing;
        return logOut_();
    }
    const QString savedName = UserNameEdit->text();
    FillUserList();
    ReselectListItem(UsersListBox, UsersListBox->count() - 1, savedName);
    ShowSelectedUser();
    SetUserViewMode();
    UserEditState = esViewing;
}

void TUsersPage::CancelUserButtonClick()
{
    ShowSelectedUser();
    SetUserViewMode();
    UserEditState = esViewing;
}

} // namespace korvel::admin
