// The "Databases" page: the server's databases in a sorted list beside one database's details; adds, changes
// and deletes databases. Filling the list also fills the database selector of the Database Users page, and
// every change refreshes that page.
#pragma once

#include "admin/common/AdminPage.h"
#include "admin/pages/lists/ListDetail.h"
#include "admin/pages/lists/ListPages.h"

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace korvel::admin
{

class DescriptionText;
class DatabaseUsersPage;

// What the Databases page shows of one database.
struct DatabaseRecord
{
    std::string Description;
    std::string Directory;
};

class DatabasesPage : public AdminPage, public EditablePage
{
public:
    DatabasesPage(const PageContext& context, DatabaseUsersPage& databaseUsers, QWidget* parent);

    QString Caption() const override { return QCoreApplication::translate("DatabasesPage", "Databases"); }
    std::function<void()> ReadAtLogin(JobContext& job, LoginReads& reads) override;
    EditablePage* Editable() override { return this; }
    // F5: the list read again, the selected row kept.
    void RefreshPage() override;

    TEditState EditState() const override { return DatabaseEditState; }
    QString PendingEditsQuestion() const override;
    void SaveEdits(std::function<void()> saved) override { Save(std::move(saved)); }
    void CancelEdits() override { CancelDatabaseButtonClick(); }
    void ResetEditState() override;

    void ClearDatabaseFields();
    void SetDatabaseEditMode(bool nameEditable, QWidget* focus);
    void SetDatabaseViewMode();

    void DatabasesListBoxClick();
    void AddDatabaseButtonClick();
    void EditDatabaseButtonClick();
    void DeleteDatabaseButtonClick();
    void SaveDatabaseButtonClick() { Save({}); }
    void CancelDatabaseButtonClick();
    void SelectDatabaseDirButtonClick();

private:
    using Commands = ListDetailCommands<DatabaseRecord>;

    void CreateControls();
    Commands::Readers Readers() const;
    void ShowDatabase(const QString& name, const DatabaseRecord& database);
    void Save(std::function<void()> saved);
    // After a change: the Database Users page's selector takes the list and shows its first database's users.
    void ListChanged();

    TKORVELSession& session_;
    BackgroundRunner& runner_;
    WindowJournal& journal_;
    DatabaseUsersPage& databaseUsers_;
    QString dialogStartDir_;
    TEditState DatabaseEditState = esViewing;
    // DatabasesListBox with AddDatabaseButton, EditDatabaseButton and DeleteDatabaseButton.
    NameListFrame listFrame_;
    // SaveDatabaseButton and CancelDatabaseButton.
    DetailFrame detailFrame_;
    std::unique_ptr<Commands> commands_;

    NameListView* DatabasesListBox = nullptr;
    QLineEdit* DatabaseNameEdit = nullptr;
    QPlainTextEdit* DatabaseDescriptionMemo = nullptr;
    DescriptionText* DatabaseDescription = nullptr; // owned by DatabaseDescriptionMemo
    QLineEdit* ServerDirectoryEdit = nullptr;
    QPushButton* SelectDatabaseDirButton = nullptr;
};

} // namespace korvel::admin
