#include "admin/pages/lists/UsersPage.h"

#include "admin/common/Command.h"
#include "admin/common/Dialogs.h"
#include "admin/common/WindowJournal.h"
#include "admin/pages/PageFields.h"
#include "admin/pages/lists/AccountGuard.h"
#include "admin/pages/lists/DatabaseUsersPage.h"
#include "admin/pages/lists/DescriptionText.h"
#include "admin/pages/lists/ListPages.h"
#include "session/KORVELSession.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

namespace korvel::admin
{

UsersPage::UsersPage(const PageContext& context, DatabaseUsersPage& databaseUsers, QWidget* parent)
    : AdminPage(parent), session_(context.Session), runner_(context.Runner), journal_(context.Journal),
      logOut_(context.LogOut), databaseUsers_(databaseUsers)
{
    CreateControls();
    commands_ = std::make_unique<Commands>(
        this, runner_, UsersListBox, [this] { return Readers(); },
        [this](const QString& name, const UserRecord& user) { ShowUser(name, user); });
    ConnectListAndDetail<UsersPage>(listFrame_, detailFrame_, this,
                                    {&UsersPage::UsersListBoxClick, &UsersPage::AddUserButtonClick,
                                     &UsersPage::EditUserButtonClick, &UsersPage::DeleteUserButtonClick,
                                     &UsersPage::SaveUserButtonClick, &UsersPage::CancelUserButtonClick},
                                    runner_);
    SetUserViewMode();
}

void UsersPage::CreateControls()
{
    listFrame_ =
        MakeNameListFrame(this, QCoreApplication::translate("UsersPage", "Available Users"),
                          {"UsersListBox", "AddUserButton", "EditUserButton", "DeleteUserButton"}, 41);
    UsersListBox = listFrame_.List;

    detailFrame_ = MakeDetailFrame(this, QCoreApplication::translate("UsersPage", "User Information"),
                                   {"SaveUserButton", "CancelUserButton"}, 49);
    QGroupBox* detailFrame = detailFrame_.Frame;
    UserNameEdit = MakeLineEdit(detailFrame, "UserNameEdit", 45);
    LimitToProtocolString(UserNameEdit);
    PasswordEdit = MakeLineEdit(detailFrame, "PasswordEdit", 46);
    PasswordEdit->setEchoMode(QLineEdit::Password);
    LimitToProtocolString(PasswordEdit);
    UserDescriptionMemo = MakeMemo(detailFrame, "UserDescriptionMemo", 47);
    UserDescriptionMemo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    UserDescription = new DescriptionText(UserDescriptionMemo);
    const CheckBoxRow administrator = MakeCheckBoxRow(
        detailFrame, "AdministratorCheckBox", QCoreApplication::translate("UsersPage", "Administrator"), 48);
    AdministratorCheckBox = administrator.Box;
    AdministratorLabel = administrator.Label;

    auto* fields = new QGridLayout;
    fields->addWidget(
        MakeLabel(detailFrame, QCoreApplication::translate("UsersPage", "User Name"), UserNameEdit, 45), 0,
        0);
    fields->addWidget(UserNameEdit, 0, 1);
    fields->addWidget(
        MakeLabel(detailFrame, QCoreApplication::translate("UsersPage", "Password"), PasswordEdit, 46), 1, 0);
    fields->addWidget(PasswordEdit, 1, 1);
    fields->addWidget(MakeLabel(detailFrame, QCoreApplication::translate("UsersPage", "Description"),
                                UserDescriptionMemo, 47),
                      2, 0, Qt::AlignTop);
    fields->addWidget(UserDescriptionMemo, 2, 1);
    fields->addWidget(administrator.Row, 3, 1, Qt::AlignLeft);
    detailFrame_.AddFields(fields, 1);
    PlaceListAndDetail(this, listFrame_, detailFrame_);
}

std::function<void()> UsersPage::ReadAtLogin(JobContext& job, LoginReads&)
{
    job.Check();
    auto listed = commands_->Read(Readers());
    return [this, listed]
    {
        commands_->Show(listed);
        ListShown();
    };
}

QString UsersPage::PendingEditsQuestion() const
{
    return QCoreApplication::translate("UsersPage", "You are currently editing the user information. Would "
                                                    "you like to save this information before continuing ?");
}

void UsersPage::ResetEditState()
{
    SetUserViewMode();
    UserEditState = esViewing;
}

UsersPage::Commands::Readers UsersPage::Readers() const
{
    TKORVELSession& session = session_;
    return {[&session]
            {
                StringList names;
                session.GetServerUserNames(names);
                return names;
            },
            [&session](const std::string& name)
            {
                UserRecord user;
                session.GetServerUser(name, user.Password, user.Description, user.Administrator);
                return user;
            }};
}

void UsersPage::ShowUser(const QString& name, const UserRecord& user)
{
    if (name.isEmpty())
        return ClearUserFields();
    ShowName(UserNameEdit, name);
    PasswordEdit->setText(FromStd(user.Password));
    UserDescription->Show(user.Description);
    AdministratorCheckBox->setChecked(user.Administrator);
}

void UsersPage::ListShown()
{
    databaseUsers_.ReplaceUsers(UsersListBox);
    SetUserViewMode();
    UserEditState = esViewing;
}

void UsersPage::ClearUserFields()
{
    UserNameEdit->clear();
    PasswordEdit->clear();
    UserDescription->Clear();
    AdministratorCheckBox->setChecked(false);
}

void UsersPage::SetUserEditMode(bool nameEditable, QWidget* focus)
{
    SetFieldEditable(UserNameEdit, nameEditable);
    SetFieldEditable(PasswordEdit, true);
    SetFieldEditable(UserDescriptionMemo, true);
    SetCheckBoxEditable(AdministratorCheckBox, AdministratorLabel, true);
    listFrame_.StartEditing(focus);
    detailFrame_.SetEditing(true);
}

void UsersPage::SetUserViewMode()
{
    for (QWidget* field : std::initializer_list<QWidget*>{UserNameEdit, PasswordEdit, UserDescriptionMemo})
        SetFieldEditable(field, false);
    SetCheckBoxEditable(AdministratorCheckBox, AdministratorLabel, false);
    listFrame_.SetEditing(false);
    detailFrame_.SetEditing(false);
}

void UsersPage::UsersListBoxClick()
{
    commands_->ShowSelected();
}

void UsersPage::AddUserButtonClick()
{
    UserEditState = esAdding;
    ClearUserFields();
    SetUserEditMode(true, UserNameEdit);
}

void UsersPage::EditUserButtonClick()
{
    UserEditState = esEditing;
    SetUserEditMode(false, PasswordEdit);
}

void UsersPage::DeleteUserButtonClick()
{
    const QString name = NameIn(UserNameEdit);
    GuardAccountChange(
        this, runner_, session_, name, operations::AccountChange::Delete,
        [this, name](AccountGuardResult guard)
        {
            if (guard == AccountGuardResult::Refused ||
                DialogsFor(this).AskWarningYesNo(
                    this,
                    QCoreApplication::translate("UsersPage",
                                                "Are you sure you want to delete the selected user ?"),
                    Answer::No) != Answer::Yes)
                return;
            const std::string user = ToStd(name);
            TKORVELSession& session = session_;
            auto remove = [&session, changes = journal_.Sender(), user](JobContext&)
            { changes.Through(session).DeleteUser(user); };
            if (guard == AccountGuardResult::AllowedLogOut)
                return void(SubmitCommand(this, runner_, {.Changes = true}, remove, [this] { logOut_(); }));
            commands_->Change({.Changes = true}, remove, {name, UsersListBox->currentRow()},
                              [this] { ListShown(); });
        });
}

void UsersPage::Save(std::function<void()> saved)
{
    SendSave(std::nullopt, std::move(saved));
}

void UsersPage::GuardDemotion(std::function<void()> saved)
{
    GuardAccountChange(this, runner_, session_, NameIn(UserNameEdit), operations::AccountChange::Demote,
                       [this, saved](AccountGuardResult guard)
                       {
                           // Refused: still editing, the person may tick the box again or cancel.
                           if (guard != AccountGuardResult::Refused)
                               SendSave(guard, saved);
                       });
}

void UsersPage::SendSave(std::optional<AccountGuardResult> guard, std::function<void()> saved)
{
    const QString savedName = NameIn(UserNameEdit);
    const std::string name = ToStd(savedName);
    const operations::UserValues user{name, ToStd(PasswordEdit->text()), UserDescription->Bytes(),
                                      AdministratorCheckBox->isChecked()};
    const bool adding = UserEditState == esAdding;
    TKORVELSession& session = session_;
    auto send = [&session, changes = journal_.Sender(), user, adding](JobContext&,
                                                                      const std::optional<UserRecord>& before)
    {
        if (adding)
            return changes.Through(session).AddUser(user);
        const UserRecord held = before.value_or(UserRecord{});
        changes.Through(session).ModifyUser({user.Name, held.Password, held.Description, held.Administrator},
                                            user);
    };
    // Clearing the flag of a user the server holds as an administrator goes through the guard first; the
    // save's own fresh read tells whether it does.
    Commands::Recheck recheck;
    if (!guard && UserEditState == esEditing && !AdministratorCheckBox->isChecked())
        recheck = {[](const UserRecord& now) { return now.Administrator; },
                   [this, saved] { GuardDemotion(saved); }};
    // The account the window is logged in with is read again like any other before it is saved (a password
    // rotated meanwhile is not undone unasked); the list is not read after it: the login ends.
    const bool logOut = guard == AccountGuardResult::AllowedLogOut;
    auto done = [this, saved, logOut]
    {
        if (logOut)
            UserEditState = esViewing;
        else
            ListShown();
        if (saved)
            saved();
        if (logOut)
            logOut_();
    };
    commands_->Save(adding, savedName, DescribeChanges, send, done, !logOut, recheck);
}

QStringList UsersPage::DescribeChanges(const UserRecord& shown, const UserRecord& now)
{
    QStringList changes;
    if (shown.Password != now.Password)
        changes << QCoreApplication::translate("UsersPage", "Password changed");
    DescribeChange(changes, QCoreApplication::translate("UsersPage", "Description"),
                   FromStd(shown.Description), FromStd(now.Description));
    auto yesNo = [](bool value)
    {
        return value ? QCoreApplication::translate("UsersPage", "Yes")
                     : QCoreApplication::translate("UsersPage", "No");
    };
    if (shown.Administrator != now.Administrator)
        changes << QCoreApplication::translate("UsersPage", "Administrator was %1, now %2")
                       .arg(yesNo(shown.Administrator), yesNo(now.Administrator));
    return changes;
}

void UsersPage::CancelUserButtonClick()
{
    commands_->ShowSelected();
    SetUserViewMode();
    UserEditState = esViewing;
}

void UsersPage::RefreshPage()
{
    commands_->Refill({SelectedName(UsersListBox), UsersListBox->currentRow()}, [this] { ListShown(); });
}

} // namespace korvel::admin
