#include "admin/pages/lists/DatabasesPage.h"

#include "admin/common/Command.h"
#include "admin/common/Dialogs.h"
#include "admin/common/WindowJournal.h"
#include "admin/pages/PageFields.h"
#include "admin/pages/lists/DatabaseUsersPage.h"
#include "admin/pages/lists/DescriptionText.h"
#include "admin/pages/lists/ListPages.h"
#include "session/KORVELSession.h"

#include <QCoreApplication>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace korvel::admin
{

DatabasesPage::DatabasesPage(const PageContext& context, DatabaseUsersPage& databaseUsers, QWidget* parent)
    : AdminPage(parent), session_(context.Session), runner_(context.Runner), journal_(context.Journal),
      databaseUsers_(databaseUsers), dialogStartDir_(context.DialogStartDir)
{
    CreateControls();
    commands_ = std::make_unique<Commands>(
        this, runner_, DatabasesListBox, [this] { return Readers(); },
        [this](const QString& name, const DatabaseRecord& database) { ShowDatabase(name, database); });
    ConnectListAndDetail<DatabasesPage>(
        listFrame_, detailFrame_, this,
        {&DatabasesPage::DatabasesListBoxClick, &DatabasesPage::AddDatabaseButtonClick,
         &DatabasesPage::EditDatabaseButtonClick, &DatabasesPage::DeleteDatabaseButtonClick,
         &DatabasesPage::SaveDatabaseButtonClick, &DatabasesPage::CancelDatabaseButtonClick},
        runner_);
    ConnectCommand(SelectDatabaseDirButton, this, &DatabasesPage::SelectDatabaseDirButtonClick);
    SetDatabaseViewMode();
}

void DatabasesPage::CreateControls()
{
    listFrame_ = MakeNameListFrame(
        this, QCoreApplication::translate("DatabasesPage", "Available Databases"),
        {"DatabasesListBox", "AddDatabaseButton", "EditDatabaseButton", "DeleteDatabaseButton"}, 51);
    DatabasesListBox = listFrame_.List;

    detailFrame_ = MakeDetailFrame(this, QCoreApplication::translate("DatabasesPage", "Database Information"),
                                   {"SaveDatabaseButton", "CancelDatabaseButton"}, 58);
    QGroupBox* detailFrame = detailFrame_.Frame;
    DatabaseNameEdit = MakeLineEdit(detailFrame, "DatabaseNameEdit", 55);
    LimitToProtocolString(DatabaseNameEdit);
    DatabaseDescriptionMemo = MakeMemo(detailFrame, "DatabaseDescriptionMemo", 56);
    DatabaseDescriptionMemo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    DatabaseDescription = new DescriptionText(DatabaseDescriptionMemo);
    ServerDirectoryEdit = MakeLineEdit(detailFrame, "ServerDirectoryEdit", 57);
    LimitToProtocolString(ServerDirectoryEdit);
    // Select keeps its room while hidden in view mode: showing it moves nothing else.
    auto* selectBar = new QWidget(detailFrame);
    SelectDatabaseDirButton = MakeButton(selectBar, "SelectDatabaseDirButton",
                                         QCoreApplication::translate("DatabasesPage", "Se&lect..."), 79);
    LayOutButtonBar(selectBar, {{SelectDatabaseDirButton}});

    auto* fields = new QGridLayout;
    fields->addWidget(
        MakeLabel(detailFrame, QCoreApplication::translate("DatabasesPage", "Name"), DatabaseNameEdit, 55), 0,
        0);
    fields->addWidget(DatabaseNameEdit, 0, 1);
    fields->addWidget(MakeLabel(detailFrame, QCoreApplication::translate("DatabasesPage", "Description"),
                                DatabaseDescriptionMemo, 56),
                      1, 0, Qt::AlignTop);
    fields->addWidget(DatabaseDescriptionMemo, 1, 1);
    fields->addWidget(MakeLabel(detailFrame, QCoreApplication::translate("DatabasesPage", "Directory"),
                                ServerDirectoryEdit, 57),
                      2, 0);
    auto* directoryRow = new QHBoxLayout;
    directoryRow->addWidget(ServerDirectoryEdit, 1);
    directoryRow->addWidget(selectBar);
    fields->addLayout(directoryRow, 2, 1);
    detailFrame_.AddFields(fields, 1);
    PlaceListAndDetail(this, listFrame_, detailFrame_);
}

std::function<void()> DatabasesPage::ReadAtLogin(JobContext& job, LoginReads& reads)
{
    job.Check();
    auto listed = commands_->Read(Readers());
    reads.SelectedDatabase = ToStd(listed.Listing.SelectedName());
    return [this, listed]
    {
        commands_->Show(listed);
        databaseUsers_.ReplaceDatabases(DatabasesListBox);
        SetDatabaseViewMode();
    };
}

QString DatabasesPage::PendingEditsQuestion() const
{
    return QCoreApplication::translate("DatabasesPage",
                                       "You are currently editing the database information. Would you like "
                                       "to save this information before continuing ?");
}

void DatabasesPage::ResetEditState()
{
    SetDatabaseViewMode();
    DatabaseEditState = esViewing;
}

DatabasesPage::Commands::Readers DatabasesPage::Readers() const
{
    TKORVELSession& session = session_;
    return {[&session]
            {
                StringList names;
                session.GetServerDatabaseNames(names);
                return names;
            },
            [&session](const std::string& name)
            {
                DatabaseRecord database;
                session.GetServerDatabase(name, database.Description, database.Directory);
                return database;
            }};
}

void DatabasesPage::ShowDatabase(const QString& name, const DatabaseRecord& database)
{
    if (name.isEmpty())
        return ClearDatabaseFields();
    ShowName(DatabaseNameEdit, name);
    DatabaseDescription->Show(database.Description);
    ServerDirectoryEdit->setText(FromStd(database.Directory));
}

void DatabasesPage::ListChanged()
{
    SetDatabaseViewMode();
    DatabaseEditState = esViewing;
    databaseUsers_.ReplaceDatabases(DatabasesListBox);
    databaseUsers_.ShowUsersOfSelectedDatabase();
}

void DatabasesPage::ClearDatabaseFields()
{
    DatabaseNameEdit->clear();
    DatabaseDescription->Clear();
    ServerDirectoryEdit->clear();
}

void DatabasesPage::SetDatabaseEditMode(bool nameEditable, QWidget* focus)
{
    SetFieldEditable(DatabaseNameEdit, nameEditable);
    SetFieldEditable(DatabaseDescriptionMemo, true);
    SetFieldEditable(ServerDirectoryEdit, true);
    listFrame_.StartEditing(focus);
    detailFrame_.SetEditing(true);
    SelectDatabaseDirButton->setVisible(true);
}

void DatabasesPage::SetDatabaseViewMode()
{
    for (QWidget* field :
         std::initializer_list<QWidget*>{DatabaseNameEdit, DatabaseDescriptionMemo, ServerDirectoryEdit})
        SetFieldEditable(field, false);
    listFrame_.SetEditing(false);
    detailFrame_.SetEditing(false);
    SelectDatabaseDirButton->setVisible(false);
}

void DatabasesPage::DatabasesListBoxClick()
{
    commands_->ShowSelected();
}

void DatabasesPage::AddDatabaseButtonClick()
{
    DatabaseEditState = esAdding;
    ClearDatabaseFields();
    SetDatabaseEditMode(true, DatabaseNameEdit);
}

void DatabasesPage::EditDatabaseButtonClick()
{
    DatabaseEditState = esEditing;
    SetDatabaseEditMode(false, DatabaseDescriptionMemo);
}

void DatabasesPage::DeleteDatabaseButtonClick()
{
    if (DialogsFor(this).AskWarningYesNo(
            this,
            QCoreApplication::translate("DatabasesPage",
                                        "Are you sure you want to delete the selected database ?"),
            Answer::No) != Answer::Yes)
        return;
    const QString name = NameIn(DatabaseNameEdit);
    const std::string database = ToStd(name);
    TKORVELSession& session = session_;
    commands_->Change(
        {.Changes = true},
        [&session, changes = journal_.Sender(), database](JobContext&)
        { changes.Through(session).DeleteDatabase(database); },
        {name, DatabasesListBox->currentRow()}, [this] { ListChanged(); });
}

void DatabasesPage::Save(std::function<void()> saved)
{
    const QString savedName = NameIn(DatabaseNameEdit);
    const operations::DatabaseValues database{ToStd(savedName), DatabaseDescription->Bytes(),
                                              ToStd(ServerDirectoryEdit->text())};
    const bool adding = DatabaseEditState == esAdding;
    TKORVELSession& session = session_;
    auto send = [&session, changes = journal_.Sender(), database,
                 adding](JobContext&, const std::optional<DatabaseRecord>& before)
    {
        if (adding)
            return changes.Through(session).AddDatabase(database);
        const DatabaseRecord held = before.value_or(DatabaseRecord{});
        changes.Through(session).ModifyDatabase({database.Name, held.Description, held.Directory}, database);
    };
    auto done = [this, saved = std::move(saved)]
    {
        ListChanged();
        if (saved)
            saved();
    };
    commands_->Save(
        adding, savedName,
        [](const DatabaseRecord& shown, const DatabaseRecord& now)
        {
            QStringList changes;
            DescribeChange(changes, QCoreApplication::translate("DatabasesPage", "Description"),
                           FromStd(shown.Description), FromStd(now.Description));
            DescribeChange(changes, QCoreApplication::translate("DatabasesPage", "Directory"),
                           FromStd(shown.Directory), FromStd(now.Directory));
            return changes;
        },
        send, done);
}

void DatabasesPage::CancelDatabaseButtonClick()
{
    commands_->ShowSelected();
    SetDatabaseViewMode();
    DatabaseEditState = esViewing;
}

void DatabasesPage::SelectDatabaseDirButtonClick()
{
    const QString typed = ServerDirectoryEdit->text();
    const QString start = !typed.isEmpty() && QDir(typed).exists() ? typed : dialogStartDir_;
    if (const std::optional<QString> chosen = DialogsFor(this).BrowseForDirectory(this, start))
        ServerDirectoryEdit->setText(*chosen);
}

void DatabasesPage::RefreshPage()
{
    commands_->Refill({SelectedName(DatabasesListBox), DatabasesListBox->currentRow()},
                      [this] { ListChanged(); });
}

} // namespace korvel::admin
