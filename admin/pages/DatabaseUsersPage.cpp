#include "admin/pages/DatabaseUsersPage.h"

#include "admin/common/Command.h"
#include "admin/common/Dialogs.h"
#include "admin/common/Help.h"
#include "admin/pages/ListPages.h"
#include "admin/pages/PageFields.h"
#include "session/KORVELSession.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace korvel::admin
{
namespace
{

struct RightBox
{
    const char* Name;
    const char* Caption;
    int HelpContext;
};
// In bit order: box n holds the right with bit n.
constexpr RightBox rightBoxes[] = {{"ReadCheckBox", "Read", 66},     {"InsertCheckBox", "Insert", 67},
                                   {"UpdateCheckBox", "Update", 68}, {"DeleteCheckBox", "Delete", 69},
                                   {"CreateCheckBox", "Create", 70}, {"AlterCheckBox", "Alter", 71},
                                   {"DropCheckBox", "Drop", 72}};

} // namespace

TDatabaseUsersPage::TDatabaseUsersPage(const PageContext& context, QWidget* parent)
    : AdminPage(parent), session_(context.Session), runner_(context.Runner)
{
    CreateControls();
    ConnectListAndDetail<TDatabaseUsersPage>(
        listFrame_, detailFrame_, this,
        {&TDatabaseUsersPage::DatabaseUsersListBoxClick, &TDatabaseUsersPage::AddDatabaseUserButtonClick,
         &TDatabaseUsersPage::EditDatabaseUserButtonClick, &TDatabaseUsersPage::DeleteDatabaseUserButtonClick,
         &TDatabaseUsersPage::SaveDatabaseUserButtonClick,
         &TDatabaseUsersPage::CancelDatabaseUserButtonClick});
    // activated: the user's choice only, not the copies the Databases page makes.
    ConnectCommand(DatabasesComboBox, &QComboBox::activated, this,
                   &TDatabaseUsersPage::DatabasesComboBoxChange);
    SetDatabaseUserViewMode();
}

void TDatabaseUsersPage::CreateControls()
{
    listFrame_ = MakeNameListFrame(this, QStringLiteral("Available Database Users"),
                                   {"DatabaseUsersListBox", "AddDatabaseUserButton", "EditDatabaseUserButton",
                                    "DeleteDatabaseUserButton"},
                                   61);
    DatabaseUsersListBox = listFrame_.List;
    DatabasesComboBox = new QComboBox(listFrame_.Frame);
    DatabasesComboBox->setObjectName(QStringLiteral("DatabasesComboBox"));
    SetHelpContext(DatabasesComboBox, 60);
    auto* selectorRow = new QHBoxLayout;
    selectorRow->addWidget(MakeLabel(listFrame_.Frame, QStringLiteral("Database"), DatabasesComboBox, 60));
    selectorRow->addWidget(DatabasesComboBox, 1);
    listFrame_.Layout->insertLayout(0, selectorRow);

    detailFrame_ = MakeDetailFrame(this, QStringLiteral("Database User Information"),
                                   {"SaveDatabaseUserButton", "CancelDatabaseUserButton"}, 73);
    QGroupBox* detailFrame = detailFrame_.Frame;
    DatabaseUserEdit = MakeLineEdit(detailFrame, "DatabaseUserEdit", 65);
    LimitToProtocolString(DatabaseUserEdit);
    SetFieldEditable(DatabaseUserEdit, false);
    UserComboBox = new QComboBox(detailFrame);
    UserComboBox->setObjectName(QStringLiteral("UserComboBox"));
    UserComboBox->setEditable(true);
    UserComboBox->setInsertPolicy(QComboBox::NoInsert);
    LimitToProtocolString(UserComboBox->lineEdit());
    auto* userRow = new QHBoxLayout;
    userRow->addWidget(MakeLabel(detailFrame, QStringLiteral("User Name"), DatabaseUserEdit, 65));
    userRow->addWidget(DatabaseUserEdit, 1);
    userRow->addWidget(UserComboBox, 1);

    auto* rights = new QGridLayout;
    rights->addWidget(new QLabel(QStringLiteral("Rights to Grant"), detailFrame), 0, 0, 1, 2);
    for (std::size_t bit = 0; bit < RightCheckBoxes.size(); ++bit)
    {
        const RightBox& box = rightBoxes[bit];
        RightCheckBoxes[bit] = MakeCheckBox(detailFrame, box.Name, box.HelpContext);
        RightLabels[bit] =
            MakeLabel(detailFrame, QLatin1String(box.Caption), RightCheckBoxes[bit], box.HelpContext);
        auto* row = new QHBoxLayout;
        row->addWidget(RightLabels[bit]);
        row->addWidget(RightCheckBoxes[bit]);
        row->addStretch();
        const int index = static_cast<int>(bit);
        rights->addLayout(row, 1 + index % 4, index / 4);
        rights->setRowMinimumHeight(1 + index % 4,
                                    CaptionedCheckBoxHeight(RightCheckBoxes[bit], RightLabels[bit]));
    }
    // Equal label widths line the boxes up in view mode.
    int labelWidth = 0;
    for (const QLabel* label : RightLabels)
        labelWidth = std::max(labelWidth, label->sizeHint().width());
    for (QLabel* label : RightLabels)
        label->setMinimumWidth(labelWidth);

    auto* fields = new QVBoxLayout;
    fields->addLayout(userRow);
    fields->addLayout(rights);
    fields->addStretch();
    detailFrame_.AddFields(fields, 1);
    PlaceListAndDetail(this, listFrame_, detailFrame_);
}

void TDatabaseUsersPage::FillAtLogin()
{
    FillDatabaseUserList();
    ShowSelectedDatabaseUser();
    SetDatabaseUserViewMode();
}

QString TDatabaseUsersPage::PendingEditsQuestion() const
{
    return QStringLiteral(
        "You are currently editing the database user information. Would you like to save this "
        "information before continuing ?");
}

void TDatabaseUsersPage::ResetEditState()
{
    SetDatabaseUserViewMode();
    DatabaseUserEditState = esViewing;
}

void TDatabaseUsersPage::ReplaceDatabases(const QListWidget* databases)
{
    CopyListToComboBox(databases, DatabasesComboBox);
    currentDatabase_ = DatabasesComboBox->currentText();
    RightsChanged();
}

void TDatabaseUsersPage::ShowUsersOfSelectedDatabase()
{
    currentDatabase_ = DatabasesComboBox->currentText();
    DatabaseUserEditState = esViewing;
    FillDatabaseUserList();
    ShowSelectedDatabaseUser();
    SetDatabaseUserViewMode();
}

void TDatabaseUsersPage::ReplaceUsers(const QListWidget* users)
{
    CopyListToComboBox(users, UserComboBox);
    RightsChanged();
}

void TDatabaseUsersPage::FillDatabaseUserList()
{
    ClearNameList(DatabaseUsersListBox);
    if (currentDatabase_.isEmpty())
        return;
    StringList names;
    const std::string database = ToStd(currentDatabase_);
    runner_.Await([&] { session_.GetServerDatabaseUserNames(database, names); });
    FillNameList(DatabaseUsersListBox, names);
}

void TDatabaseUsersPage::ShowSelectedDatabaseUser()
{
    const QString name = SelectedName(DatabaseUsersListBox);
    if (name.isEmpty())
    {
        ClearDatabaseUserFields();
        return;
    }
    DatabaseUserEdit->setText(name);
    ShowRights(ReadRights(name));
}

TUserRights TDatabaseUsersPage::ReadRights(const QString& user)
{
    const std::string database = ToStd(currentDatabase_);
    const std::string name = ToStd(user);
    TUserRights rights;
    runner_.Await([&] { session_.GetServerDatabaseUser(database, name, rights); });
    return rights;
}

void TDatabaseUsersPage::ClearDatabaseUserFields()
{
    DatabaseUserEdit->clear();
    ShowRights({});
}

void TDatabaseUsersPage::ShowRights(TUserRights rights)
{
    for (std::size_t bit = 0; bit < RightCheckBoxes.size(); ++bit)
        RightCheckBoxes[bit]->setChecked(rights.Contains(static_cast<TUserRight>(bit)));
}

TUserRights TDatabaseUsersPage::CheckedRights() const
{
    TUserRights rights;
    for (std::size_t bit = 0; bit < RightCheckBoxes.size(); ++bit)
        if (RightCheckBoxes[bit]->isChecked())
            rights.Include(static_cast<TUserRight>(bit));
    return rights;
}

void TDatabaseUsersPage::SetRightsEditable(bool editable)
{
    for (std::size_t bit = 0; bit < RightCheckBoxes.size(); ++bit)
        SetCheckBoxEditable(RightCheckBoxes[bit], RightLabels[bit], editable);
}

void TDatabaseUsersPage::SetDatabaseUserEditMode(bool adding)
{
    DatabaseUserEdit->setVisible(!adding);
    UserComboBox->setVisible(adding);
    if (adding)
        UserComboBox->setCurrentIndex(UserComboBox->count() > 0 ? 0 : -1);
    SetRightsEditable(true);
    listFrame_.SetEditing(true);
    detailFrame_.SetEditing(true);
}

void TDatabaseUsersPage::SetDatabaseUserViewMode()
{
    DatabaseUserEdit->setVisible(true);
    UserComboBox->setVisible(false);
    SetRightsEditable(false);
    listFrame_.SetEditing(false, DatabasesComboBox->count() > 0);
    detailFrame_.SetEditing(false);
}

void TDatabaseUsersPage::DatabasesComboBoxChange()
{
    if (DatabaseUserEditState != esViewing)
        CancelDatabaseUserButtonClick();
    currentDatabase_ = DatabasesComboBox->currentText();
    FillDatabaseUserList();
    ShowSelectedDatabaseUser();
    SetDatabaseUserViewMode();
}

void TDatabaseUsersPage::DatabaseUsersListBoxClick()
{
    ShowSelectedDatabaseUser();
}

void TDatabaseUsersPage::AddDatabaseUserButtonClick()
{
    DatabaseUserEditState = esAdding;
    ClearDatabaseUserFields();
    SetDatabaseUserEditMode(true);
    RightCheckBoxes[urRead]->setChecked(true);
    UserComboBox->setFocus();
}

void TDatabaseUsersPage::EditDatabaseUserButtonClick()
{
    DatabaseUserEditState = esEditing;
    SetDatabaseUserEditMode(false);
    ShowRights(ReadRights(SelectedName(DatabaseUsersListBox)));
    RightCheckBoxes[urRead]->setFocus();
}

void TDatabaseUsersPage::DeleteDatabaseUserButtonClick()
{
    if (CurrentDialogs().AskWarningYesNo(
            this, QStringLiteral("Are you sure you want to delete the selected database user ?")) !=
        Answer::Yes)
        return;
    const QString name = DatabaseUserEdit->text();
    const int formerIndex = DatabaseUsersListBox->currentRow();
    const std::string database = ToStd(currentDatabase_);
    const std::string user = ToStd(name);
    runner_.Await([&] { session_.DeleteServerDatabaseUser(database, user); });
    RightsChanged();
    FillDatabaseUserList();
    ReselectListItem(DatabaseUsersListBox, formerIndex, name);
    ShowSelectedDatabaseUser();
    SetDatabaseUserViewMode();
}

void TDatabaseUsersPage::SaveDatabaseUserButtonClick()
{
    const TUserRights rights = CheckedRights();
    const bool adding = DatabaseUserEditState == esAdding;
    const QString savedName = adding ? UserComboBox->currentText() : DatabaseUserEdit->text();
    const std::string database = ToStd(currentDatabase_);
    const std::string name = ToStd(savedName);
    runner_.Await(
        [&]
        {
            if (adding)
                session_.AddServerDatabaseUser(database, name, rights);
            else
                session_.ModifyServerDatabaseUser(database, name, rights);
        });
    RightsChanged();
    FillDatabaseUserList();
    ReselectListItem(DatabaseUsersListBox, DatabaseUsersListBox->count() - 1, savedName);
    ShowSelectedDatabaseUser();
    SetDatabaseUserViewMode();
    DatabaseUserEditState = esViewing;
}

void TDatabaseUsersPage::CancelDatabaseUserButtonClick()
{
    ShowSelectedDatabaseUser();
    SetDatabaseUserViewMode();
    DatabaseUserEditState = esViewing;
}

} // namespace korvel::admin
