#include "admin/pages/lists/DatabaseUsersPage.h"

#include "admin/common/Accessible.h"
#include "admin/common/Command.h"
#include "admin/common/Dialogs.h"
#include "admin/common/Help.h"
#include "admin/common/WindowJournal.h"
#include "admin/pages/PageFields.h"
#include "admin/pages/lists/ListPages.h"
#include "operations/RightsMatrix.h"
#include "session/KORVELSession.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
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
constexpr RightBox rightBoxes[] = {{"ReadCheckBox", QT_TRANSLATE_NOOP("DatabaseUsersPage", "Read"), 66},
                                   {"InsertCheckBox", QT_TRANSLATE_NOOP("DatabaseUsersPage", "Insert"), 67},
                                   {"UpdateCheckBox", QT_TRANSLATE_NOOP("DatabaseUsersPage", "Update"), 68},
                                   {"DeleteCheckBox", QT_TRANSLATE_NOOP("DatabaseUsersPage", "Delete"), 69},
                                   {"CreateCheckBox", QT_TRANSLATE_NOOP("DatabaseUsersPage", "Create"), 70},
                                   {"AlterCheckBox", QT_TRANSLATE_NOOP("DatabaseUsersPage", "Alter"), 71},
                                   {"DropCheckBox", QT_TRANSLATE_NOOP("DatabaseUsersPage", "Drop"), 72}};

} // namespace

DatabaseUsersPage::DatabaseUsersPage(const PageContext& context, QWidget* parent)
    : AdminPage(parent), session_(context.Session), runner_(context.Runner), journal_(context.Journal)
{
    CreateControls();
    commands_ = std::make_unique<Commands>(
        this, runner_, DatabaseUsersListBox, [this] { return Readers(ToStd(currentDatabase_)); },
        [this](const QString& name, TUserRights rights) { ShowDatabaseUser(name, rights); });
    ConnectListAndDetail<DatabaseUsersPage>(
        listFrame_, detailFrame_, this,
        {&DatabaseUsersPage::DatabaseUsersListBoxClick, &DatabaseUsersPage::AddDatabaseUserButtonClick,
         &DatabaseUsersPage::EditDatabaseUserButtonClick, &DatabaseUsersPage::DeleteDatabaseUserButtonClick,
         &DatabaseUsersPage::SaveDatabaseUserButtonClick, &DatabaseUsersPage::CancelDatabaseUserButtonClick},
        runner_);
    // activated: the user's choice only, not the copies the Databases page makes.
    ConnectCommand(DatabasesComboBox, &QComboBox::activated, this,
                   &DatabaseUsersPage::DatabasesComboBoxChange);
    SetDatabaseUserViewMode();
}

void DatabaseUsersPage::CreateControls()
{
    listFrame_ =
        MakeNameListFrame(this, QCoreApplication::translate("DatabaseUsersPage", "Available Database Users"),
                          {"DatabaseUsersListBox", "AddDatabaseUserButton", "EditDatabaseUserButton",
                           "DeleteDatabaseUserButton"},
                          61);
    DatabaseUsersListBox = listFrame_.List;
    DatabasesComboBox = new QComboBox(listFrame_.Frame);
    DatabasesComboBox->setObjectName(QStringLiteral("DatabasesComboBox"));
    SetHelpContext(DatabasesComboBox, 60);
    auto* selectorRow = new QHBoxLayout;
    selectorRow->addWidget(MakeLabel(listFrame_.Frame,
                                     QCoreApplication::translate("DatabaseUsersPage", "Database"),
                                     DatabasesComboBox, 60));
    selectorRow->addWidget(DatabasesComboBox, 1);
    listFrame_.Layout->insertLayout(0, selectorRow);
    // The chooser stands above the list it fills: Tab reaches it first.
    QWidget::setTabOrder(DatabasesComboBox, DatabaseUsersListBox);
    QWidget::setTabOrder(DatabaseUsersListBox, listFrame_.AddButton);
    QWidget::setTabOrder(listFrame_.AddButton, listFrame_.EditButton);
    QWidget::setTabOrder(listFrame_.EditButton, listFrame_.DeleteButton);

    detailFrame_ =
        MakeDetailFrame(this, QCoreApplication::translate("DatabaseUsersPage", "Database User Information"),
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
    NameByLabel(UserComboBox, QCoreApplication::translate("DatabaseUsersPage", "User Name"));
    auto* userRow = new QHBoxLayout;
    userRow->addWidget(MakeLabel(detailFrame, QCoreApplication::translate("DatabaseUsersPage", "User Name"),
                                 DatabaseUserEdit, 65));
    userRow->addWidget(DatabaseUserEdit, 1);
    userRow->addWidget(UserComboBox, 1);

    auto* rights = new QGridLayout;
    rights->addWidget(
        new QLabel(QCoreApplication::translate("DatabaseUsersPage", "Rights to Grant"), detailFrame), 0, 0, 1,
        2);
    std::array<CheckBoxRow, std::tuple_size_v<decltype(RightCheckBoxes)>> rows;
    for (std::size_t bit = 0; bit < rows.size(); ++bit)
    {
        const RightBox& box = rightBoxes[bit];
        rows[bit] =
            MakeCheckBoxRow(detailFrame, box.Name,
                            QCoreApplication::translate("DatabaseUsersPage", box.Caption), box.HelpContext);
        RightCheckBoxes[bit] = rows[bit].Box;
        RightLabels[bit] = rows[bit].Label;
        const int index = static_cast<int>(bit);
        rights->addWidget(rows[bit].Row, 1 + index % 4, index / 4, Qt::AlignLeft);
    }
    // Equal label widths line the boxes up in view mode.
    int labelWidth = 0;
    for (const QLabel* label : RightLabels)
        labelWidth = std::max(labelWidth, label->sizeHint().width());
    for (const CheckBoxRow& row : rows)
    {
        row.Label->setMinimumWidth(labelWidth);
        row.KeepSize();
    }

    auto* fields = new QVBoxLayout;
    fields->addLayout(userRow);
    fields->addLayout(rights);
    fields->addStretch();
    detailFrame_.AddFields(fields, 1);
    PlaceListAndDetail(this, listFrame_, detailFrame_);
}

std::function<void()> DatabaseUsersPage::ReadAtLogin(JobContext& job, LoginReads& reads)
{
    job.Check();
    auto listed = commands_->Read(Readers(reads.SelectedDatabase));
    return [this, listed]
    {
        commands_->Show(listed);
        SetDatabaseUserViewMode();
    };
}

QString DatabaseUsersPage::PendingEditsQuestion() const
{
    return QCoreApplication::translate("DatabaseUsersPage",
                                       "You are currently editing the database user information. Would you "
                                       "like to save this information before continuing ?");
}

void DatabaseUsersPage::ResetEditState()
{
    SetDatabaseUserViewMode();
    DatabaseUserEditState = esViewing;
}

void DatabaseUsersPage::ReplaceDatabases(const NameListView* databases)
{
    ShareRows(DatabasesComboBox, databases, databases->count() > 0 ? 0 : -1);
    currentDatabase_ = ChosenName(DatabasesComboBox);
    RightsChanged();
}

void DatabaseUsersPage::ShowUsersOfSelectedDatabase()
{
    currentDatabase_ = ChosenName(DatabasesComboBox);
    DatabaseUserEditState = esViewing;
    SetDatabaseUserViewMode();
    commands_->Refill();
}

void DatabaseUsersPage::ReplaceUsers(const NameListView* users)
{
    ShareRows(UserComboBox, users, users->currentRow());
    RightsChanged();
}

DatabaseUsersPage::Commands::Readers DatabaseUsersPage::Readers(const std::string& database) const
{
    if (database.empty())
        return {};
    TKORVELSession& session = session_;
    return {[&session, database]
            {
                StringList names;
                session.GetServerDatabaseUserNames(database, names);
                return names;
            },
            [&session, database](const std::string& name)
            {
                TUserRights rights;
                session.GetServerDatabaseUser(database, name, rights);
                return rights;
            }};
}

void DatabaseUsersPage::ShowDatabaseUser(const QString& name, TUserRights rights)
{
    if (name.isEmpty())
        return ClearDatabaseUserFields();
    ShowName(DatabaseUserEdit, name);
    ShowRights(rights);
}

void DatabaseUsersPage::ClearDatabaseUserFields()
{
    DatabaseUserEdit->clear();
    ShowRights({});
}

void DatabaseUsersPage::ShowRights(TUserRights rights)
{
    for (std::size_t bit = 0; bit < RightCheckBoxes.size(); ++bit)
        RightCheckBoxes[bit]->setChecked(rights.Contains(static_cast<TUserRight>(bit)));
}

TUserRights DatabaseUsersPage::CheckedRights() const
{
    TUserRights rights;
    for (std::size_t bit = 0; bit < RightCheckBoxes.size(); ++bit)
        if (RightCheckBoxes[bit]->isChecked())
            rights.Include(static_cast<TUserRight>(bit));
    return rights;
}

void DatabaseUsersPage::SetRightsEditable(bool editable)
{
    for (std::size_t bit = 0; bit < RightCheckBoxes.size(); ++bit)
        SetCheckBoxEditable(RightCheckBoxes[bit], RightLabels[bit], editable);
}

void DatabaseUsersPage::SetDatabaseUserEditMode(bool adding)
{
    DatabaseUserEdit->setVisible(!adding);
    UserComboBox->setVisible(adding);
    if (adding)
        UserComboBox->setCurrentIndex(UserComboBox->count() > 0 ? 0 : -1);
    SetRightsEditable(true);
    listFrame_.StartEditing(adding ? static_cast<QWidget*>(UserComboBox) : RightCheckBoxes[urRead]);
    detailFrame_.SetEditing(true);
}

void DatabaseUsersPage::SetDatabaseUserViewMode()
{
    DatabaseUserEdit->setVisible(true);
    UserComboBox->setVisible(false);
    SetRightsEditable(false);
    listFrame_.SetEditing(false, DatabasesComboBox->count() > 0);
    detailFrame_.SetEditing(false);
}

void DatabaseUsersPage::DatabasesComboBoxChange()
{
    if (DatabaseUserEditState != esViewing)
        CancelDatabaseUserButtonClick();
    currentDatabase_ = ChosenName(DatabasesComboBox);
    SetDatabaseUserViewMode();
    commands_->Refill();
}

void DatabaseUsersPage::DatabaseUsersListBoxClick()
{
    commands_->ShowSelected();
}

void DatabaseUsersPage::AddDatabaseUserButtonClick()
{
    DatabaseUserEditState = esAdding;
    ClearDatabaseUserFields();
    SetDatabaseUserEditMode(true);
    RightCheckBoxes[urRead]->setChecked(true);
    UserComboBox->lineEdit()->selectAll(); // what the person types replaces the name offered
}

void DatabaseUsersPage::EditDatabaseUserButtonClick()
{
    DatabaseUserEditState = esEditing;
    SetDatabaseUserEditMode(false);
    // The rights as the server holds them now are what the person edits.
    commands_->ShowSelected();
}

void DatabaseUsersPage::DeleteDatabaseUserButtonClick()
{
    if (DialogsFor(this).AskWarningYesNo(
            this,
            QCoreApplication::translate("DatabaseUsersPage",
                                        "Are you sure you want to delete the selected database user ?"),
            Answer::No) != Answer::Yes)
        return;
    const QString name = NameIn(DatabaseUserEdit);
    const std::string database = ToStd(currentDatabase_);
    const std::string user = ToStd(name);
    TKORVELSession& session = session_;
    commands_->Change(
        {.Changes = true},
        [&session, changes = journal_.Sender(), database, user](JobContext&)
        { changes.Through(session).DeleteDatabaseUser(database, user); },
        {name, DatabaseUsersListBox->currentRow()}, [this] { ListChanged(); });
}

void DatabaseUsersPage::Save(std::function<void()> saved)
{
    const TUserRights rights = CheckedRights();
    const bool adding = DatabaseUserEditState == esAdding;
    const QString savedName = adding ? ComboName(UserComboBox) : NameIn(DatabaseUserEdit);
    const std::string database = ToStd(currentDatabase_);
    const std::string name = ToStd(savedName);
    TKORVELSession& session = session_;
    auto send = [&session, changes = journal_.Sender(), database, name, rights,
                 adding](JobContext&, const std::optional<TUserRights>& before)
    {
        operations::ServerChanges sender = changes.Through(session);
        if (adding)
            sender.ChangeRights({name, database, std::nullopt, rights});
        else if (before)
            sender.ChangeRights({name, database, *before, rights});
        else
            sender.ModifyDatabaseUser(database, name, rights);
    };
    auto done = [this, saved = std::move(saved)]
    {
        ListChanged();
        if (saved)
            saved();
    };
    commands_->Save(
        adding, savedName,
        [](TUserRights shown, TUserRights now)
        {
            QStringList changes;
            if (!(shown == now))
                changes << QCoreApplication::translate("DatabaseUsersPage", "Rights were %1, now %2")
                               .arg(FromStd(operations::RightsLetters(shown)),
                                    FromStd(operations::RightsLetters(now)));
            return changes;
        },
        send, done);
}

void DatabaseUsersPage::ListChanged()
{
    RightsChanged();
    SetDatabaseUserViewMode();
    DatabaseUserEditState = esViewing;
}

void DatabaseUsersPage::CancelDatabaseUserButtonClick()
{
    commands_->ShowSelected();
    SetDatabaseUserViewMode();
    DatabaseUserEditState = esViewing;
}

void DatabaseUsersPage::RefreshPage()
{
    commands_->Refill({SelectedName(DatabaseUsersListBox), DatabaseUsersListBox->currentRow()},
                      [this] { ListChanged(); });
}

} // namespace korvel::admin
