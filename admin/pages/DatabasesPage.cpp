#include "admin/pages/DatabasesPage.h"

#include "admin/common/Command.h"
#include "admin/common/Dialogs.h"
#include "admin/pages/DatabaseUsersPage.h"
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
#include <QVBoxLayout>

namespace korvel::admin
{

TDatabasesPage::TDatabasesPage(const PageContext& context, TDatabaseUsersPage& databaseUsers, QWidget* parent)
    : AdminPage(parent), session_(context.Session), databaseUsers_(databaseUsers),
      programDir_(context.ProgramDir)
{
    CreateControls();
    ConnectCommand(AddDatabaseButton, this, &TDatabasesPage::AddDatabaseButtonClick);
    ConnectCommand(EditDatabaseButton, this, &TDatabasesPage::EditDatabaseButtonClick);
    ConnectCommand(DeleteDatabaseButton, this, &TDatabasesPage::DeleteDatabaseButtonClick);
    ConnectCommand(SaveDatabaseButton, this, &TDatabasesPage::SaveDatabaseButtonClick);
    ConnectCommand(CancelDatabaseButton, this, &TDatabasesPage::CancelDatabaseButtonClick);
    ConnectCommand(SelectDatabaseDirButton, this, &TDatabasesPage::SelectDatabaseDirButtonClick);
    ConnectCommand(DatabasesListBox, &QListWidget::currentRowChanged, this,
                   &TDatabasesPage::DatabasesListBoxClick);
    SetDatabaseViewMode();
}

void TDatabasesPage::CreateControls()
{
    auto* listFrame = new QGroupBox(QStringLiteral("Available Databases"), this);
    DatabasesListBox = MakeNameList(listFrame, "DatabasesListBox", 51);
    AddDatabaseButton = MakeButton(listFrame, "AddDatabaseButton", QStringLiteral("&Add"), 52);
    EditDatabaseButton = MakeButton(listFrame, "EditDatabaseButton", QStringLiteral("&Edit"), 53);
    DeleteDatabaseButton = MakeButton(listFrame, "DeleteDatabaseButton", QStringLiteral("&Delete"), 54);
    auto* listButtons = new QHBoxLayout;
    listButtons->addWidget(AddDatabaseButton);
    listButtons->addWidget(EditDatabaseButton);
    listButtons->addWidget(DeleteDatabaseButton);
    auto* listLayout = new QVBoxLayout(listFrame);
    listLayout->addWidget(DatabasesListBox, 1);
    listLayout->addLayout(listButtons);

    auto* detailFrame = new QGroupBox(QStringLiteral("Database Information"), this);
    DatabaseNameEdit = MakeLineEdit(detailFrame, "DatabaseNameEdit", 55);
    LimitToProtocolString(DatabaseNameEdit);
    DatabaseDescriptionMemo = MakeMemo(detailFrame, "DatabaseDescriptionMemo", 56);
    DatabaseDescriptionMemo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    LimitToProtocolString(DatabaseDescriptionMemo);
    ServerDirectoryEdit = MakeLineEdit(detailFrame, "ServerDirectoryEdit", 57);
    LimitToProtocolString(ServerDirectoryEdit);
    SelectDatabaseDirButton =
        MakeButton(detailFrame, "SelectDatabaseDirButton", QStringLiteral("Se&lect..."), 79);
    SaveDatabaseButton = MakeButton(detailFrame, "SaveDatabaseButton", QStringLiteral("&Save"), 58);
    CancelDatabaseButton = MakeButton(detailFrame, "CancelDatabaseButton", QStringLiteral("Cancel"), 59);

    auto* fields = new QGridLayout;
    fields->addWidget(MakeLabel(detailFrame, QStringLiteral("Name"), DatabaseNameEdit, 55), 0, 0);
    fields->addWidget(DatabaseNameEdit, 0, 1, 1, 2);
    fields->addWidget(MakeLabel(detailFrame, QStringLiteral("Description"), DatabaseDescriptionMemo, 56), 1,
                      0, Qt::AlignTop);
    fields->addWidget(DatabaseDescriptionMemo, 1, 1, 1, 2);
    fields->addWidget(MakeLabel(detailFrame, QStringLiteral("Directory"), ServerDirectoryEdit, 57), 2, 0);
    fields->addWidget(ServerDirectoryEdit, 2, 1);
    fields->addWidget(SelectDatabaseDirButton, 2, 2);
    auto* editButtons = new QHBoxLayout;
    editButtons->addStretch();
    editButtons->addWidget(SaveDatabaseButton);
    editButtons->addWidget(CancelDatabaseButton);
    auto* detailLayout = new QVBoxLayout(detailFrame);
    detailLayout->addLayout(fields, 1);
    detailLayout->addLayout(editButtons);

    auto* pageLayout = new QHBoxLayout(this);
    pageLayout->addWidget(listFrame, 2);
    pageLayout->addWidget(detailFrame, 3);
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
    session_.GetServerDatabaseNames(names);
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
    session_.GetServerDatabase(ToStd(name), description, directory);
    DatabaseNameEdit->setText(name);
    DatabaseDescriptionMemo->setPlainText(FromStd(description));
    ServerDirectoryEdit->setText(FromStd(directory));
}

void TDatabasesPage::ClearDatabaseFields()
{
    DatabaseNameEdit->clear();
    DatabaseDescriptionMemo->clear();
    ServerDirectoryEdit->clear();
}

void TDatabasesPage::SetDatabaseEditMode(bool nameEditable)
{
    SetFieldEditable(DatabaseNameEdit, nameEditable);
    SetFieldEditable(DatabaseDescriptionMemo, true);
    SetFieldEditable(ServerDirectoryEdit, true);
    for (QWidget* control : std::initializer_list<QWidget*>{DatabasesListBox, AddDatabaseButton,
                                                            EditDatabaseButton, DeleteDatabaseButton})
        control->setEnabled(false);
    for (QWidget* button :
         std::initializer_list<QWidget*>{SelectDatabaseDirButton, SaveDatabaseButton, CancelDatabaseButton})
        button->setVisible(true);
}

void TDatabasesPage::SetDatabaseViewMode()
{
    for (QWidget* field :
         std::initializer_list<QWidget*>{DatabaseNameEdit, DatabaseDescriptionMemo, ServerDirectoryEdit})
        SetFieldEditable(field, false);
    const bool hasDatabases = DatabasesListBox->count() > 0;
    DatabasesListBox->setEnabled(true);
    AddDatabaseButton->setEnabled(true);
    EditDatabaseButton->setEnabled(hasDatabases);
    DeleteDatabaseButton->setEnabled(hasDatabases);
    for (QWidget* button :
         std::initializer_list<QWidget*>{SelectDatabaseDirButton, SaveDatabaseButton, CancelDatabaseButton})
        button->setVisible(false);
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
    session_.DeleteServerDatabase(ToStd(name));
    FillDatabaseList();
    ReselectListItem(DatabasesListBox, formerIndex, name);
    ShowSelectedDatabase();
    SetDatabaseViewMode();
    databaseUsers_.ShowUsersOfSelectedDatabase();
}

void TDatabasesPage::SaveDatabaseButtonClick()
{
    const std::string name = ToStd(DatabaseNameEdit->text());
    const std::string description = ToStd(DatabaseDescriptionMemo->toPlainText());
    const std::string directory = ToStd(ServerDirectoryEdit->text());
    if (DatabaseEditState == esAdding)
        session_.AddServerDatabase(name, description, directory);
    else
        session_.ModifyServerDatabase(name, description, directory);
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
