#include "admin/pages/DatabasesPage.h"

#include "admin/common/Command.h"
#include "admin/common/Dialogs.h"
#include "admin/pages/DatabaseUsersPage.h"
#include "admin/pages/DescriptionText.h"
#include "admin/pages/ListPages.h"
#include "admin/pages/PageFields.h"
#include "session/KORVELSession.h"

#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

namespace korvel::admin
{

TDatabasesPage::TDatabasesPage(const PageContext& context, TDatabaseUsersPage& databaseUsers, QWidget* parent)
    : AdminPage(parent), session_(context.Session), runner_(context.Runner), databaseUsers_(databaseUsers),
      programDir_(context.ProgramDir)
{
    CreateControls();
    ConnectListAndDetail<TDatabasesPage>(
        listFrame_, detailFrame_, this,
        {&TDatabasesPage::DatabasesListBoxClick, &TDatabasesPage::AddDatabaseButtonClick,
         &TDatabasesPage::EditDatabaseButtonClick, &TDatabasesPage::DeleteDatabaseButtonClick,
         &TDatabasesPage::SaveDatabaseButtonClick, &TDatabasesPage::CancelDatabaseButtonClick});
    ConnectCommand(SelectDatabaseDirButton, this, &TDatabasesPage::SelectDatabaseDirButtonClick);
    SetDatabaseViewMode();
}

void TDatabasesPage::CreateControls()
{
    listFrame_ = MakeNameListFrame(
        this, QStringLiteral("Available Databases"),
        {"DatabasesListBox", "AddDatabaseButton", "EditDatabaseButton", "DeleteDatabaseButton"}, 51);
    DatabasesListBox = listFrame_.List;

    detailFrame_ = MakeDetailFrame(this, QStringLiteral("Database Information"),
                                   {"SaveDatabaseButton", "CancelDatabaseButton"}, 58);
    QGroupBox* detailFrame = detailFrame_.Frame;
    DatabaseNameEdit = MakeLineEdit(detailFrame, "DatabaseNameEdit", 55);
    LimitToProtocolString(DatabaseNameEdit);
    DatabaseDescriptionMemo = MakeMemo(detailFrame, "DatabaseDescriptionMemo", 56);
    DatabaseDescriptionMemo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    DatabaseDescription = new DescriptionText(DatabaseDescriptionMemo);
    ServerDirectoryEdit = MakeLineEdit(detailFrame, "ServerDirectoryEdit", 57);
    LimitToProtocolString(ServerDirectoryEdit);
    SelectDatabaseDirButton =
        MakeButton(detailFrame, "SelectDatabaseDirButton", QStringLiteral("Se&lect..."), 79);

    auto* fields = new QGridLayout;
    fields->addWidget(MakeLabel(detailFrame, QStringLiteral("Name"), DatabaseNameEdit, 55), 0, 0);
    fields->addWidget(DatabaseNameEdit, 0, 1);
    fields->addWidget(MakeLabel(detailFrame, QStringLiteral("Description"), DatabaseDescriptionMemo, 56), 1,
                      0, Qt::AlignTop);
    fields->addWidget(DatabaseDescriptionMemo, 1, 1);
    fields->addWidget(MakeLabel(detailFrame, QStringLiteral("Directory"), ServerDirectoryEdit, 57), 2, 0);
    // One row, so the field spans the whole width while the button is hidden in view mode.
    auto* directoryRow = new QHBoxLayout;
    directoryRow->addWidget(ServerDirectoryEdit, 1);
    directoryRow->addWidget(SelectDatabaseDirButton);
    fields->addLayout(directoryRow, 2, 1);
    detailFrame_.AddFields(fields, 1);
    PlaceListAndDetail(this, listFrame_, detailFrame_);
}

void TDatabasesPage::FillAtLogin()
{
    FillDatabaseList();
    ShowSelectedDatabase();
    SetDatabaseViewMode();
}

QString TDatabasesPage::PendingEditsQuestion() const
{
    return QStringLiteral("You are currently editing the database information. Would you like to save this "
                          "information before continuing ?");
}

void TDatabasesPage::ResetEditState()
{
    SetDatabaseViewMode();
    DatabaseEditState = esViewing;
}

void TDatabasesPage::FillDatabaseList()
{
    ClearNameList(DatabasesListBox);
    StringList names;
    runner_.Await([&] { session_.GetServerDatabaseNames(names); });
    FillNameList(DatabasesListBox, names);
    databaseUsers_.ReplaceDatabases(DatabasesListBox);
}

void TDatabasesPage::ShowSelectedDatabase()
{
    const QString name = SelectedName(DatabasesListBox);
    if (name.isEmpty())
    {
        ClearDatabaseFields();
        return;
    }
    std::string description, directory;
    const std::string database = ToStd(name);
    runner_.Await([&] { session_.GetServerDatabase(database, description, directory); });
    DatabaseNameEdit->setText(name);
    DatabaseDescription->Show(description);
    ServerDirectoryEdit->setText(FromStd(directory));
}

void TDatabasesPage::ClearDatabaseFields()
{
    DatabaseNameEdit->clear();
    DatabaseDescription->Clear();
    ServerDirectoryEdit->clear();
}

void TDatabasesPage::SetDatabaseEditMode(bool nameEditable)
{
    SetFieldEditable(DatabaseNameEdit, nameEditable);
    SetFieldEditable(DatabaseDescriptionMemo, true);
    SetFieldEditable(ServerDirectoryEdit, true);
    listFrame_.SetEditing(true);
    detailFrame_.SetEditing(true);
    SelectDatabaseDirButton->setVisible(true);
}

void TDatabasesPage::SetDatabaseViewMode()
{
    for (QWidget* field :
         std::initializer_list<QWidget*>{DatabaseNameEdit, DatabaseDescriptionMemo, ServerDirectoryEdit})
        SetFieldEditable(field, false);
    listFrame_.SetEditing(false);
    detailFrame_.SetEditing(false);
    SelectDatabaseDirButton->setVisible(false);
}

void TDatabasesPage::DatabasesListBoxClick()
{
    ShowSelectedDatabase();
}

void TDatabasesPage::AddDatabaseButtonClick()
{
    DatabaseEditState = esAdding;
    ClearDatabaseFields();
    SetDatabaseEditMode(true);
    DatabaseNameEdit->setFocus();
}

void TDatabasesPage::EditDatabaseButtonClick()
{
    DatabaseEditState = esEditing;
    SetDatabaseEditMode(false);
    DatabaseDescriptionMemo->setFocus();
}

void TDatabasesPage::DeleteDatabaseButtonClick()
{
    if (CurrentDialogs().AskWarningYesNo(
            this, QStringLiteral("Are you sure you want to delete the selected database ?")) != Answer::Yes)
        return;
    const QString name = DatabaseNameEdit->text();
    const int formerIndex = DatabasesListBox->currentRow();
    const std::string database = ToStd(name);
    runner_.Await([&] { session_.DeleteServerDatabase(database); });
    FillDatabaseList();
    ReselectListItem(DatabasesListBox, formerIndex, name);
    ShowSelectedDatabase();
    SetDatabaseViewMode();
    databaseUsers_.ShowUsersOfSelectedDatabase();
}

void TDatabasesPage::SaveDatabaseButtonClick()
{
    const std::string name = ToStd(DatabaseNameEdit->text());
    const std::string description = DatabaseDescription->Bytes();
    const std::string directory = ToStd(ServerDirectoryEdit->text());
    const bool adding = DatabaseEditState == esAdding;
    runner_.Await(
        [&]
        {
            if (adding)
                session_.AddServerDatabase(name, description, directory);
            else
                session_.ModifyServerDatabase(name, description, directory);
        });
    const QString savedName = DatabaseNameEdit->text();
    FillDatabaseList();
    ReselectListItem(DatabasesListBox, DatabasesListBox->count() - 1, savedName);
    ShowSelectedDatabase();
    SetDatabaseViewMode();
    databaseUsers_.ShowUsersOfSelectedDatabase();
    DatabaseEditState = esViewing;
}

void TDatabasesPage::CancelDatabaseButtonClick()
{
    ShowSelectedDatabase();
    SetDatabaseViewMode();
    DatabaseEditState = esViewing;
}

void TDatabasesPage::SelectDatabaseDirButtonClick()
{
    const QString typed = ServerDirectoryEdit->text();
    const QString start = !typed.isEmpty() && QDir(typed).exists() ? typed : programDir_;
    if (const std::optional<QString> chosen = CurrentDialogs().BrowseForDirectory(this, start))
        ServerDirectoryEdit->setText(*chosen);
}

} // namespace korvel::admin
