// The "Databases" page: the server's databases in a sorted list beside one database's details; adds, changes
// and deletes databases. Filling the list also fills the database selector of the Database Users page, and
// every change refreshes that page.
#pragma once

#include "admin/common/AdminPage.h"
#include "admin/pages/ListPages.h"

class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace korvel::admin
{

class DescriptionText;
class TDatabaseUsersPage;

class TDatabasesPage : public AdminPage, public EditablePage
{
public:
    TDatabasesPage(const PageContext& context, TDatabaseUsersPage& databaseUsers, QWidget* parent);

    QString Caption() const override { return QStringLiteral("Databases"); }
    void FillAtLogin() override;
    EditablePage* Editable() override { return this; }

    TEditState EditState() const override { return DatabaseEditState; }
    QString PendingEditsQuestion() const override;
    void SaveEdits() override { SaveDatabaseButtonClick(); }
    void CancelEdits() override { CancelDatabaseButtonClick(); }
    void ResetEditState() override;

    void FillDatabaseList();
    void ShowSelectedDatabase();
    void ClearDatabaseFields();
    void SetDatabaseEditMode(bool nameEditable);
    void SetDatabaseViewMode();

    void DatabasesListBoxClick();
    void AddDatabaseButtonClick();
    void EditDatabaseButtonClick();
    void DeleteDatabaseButtonClick();
    void SaveDatabaseButtonClick();
    void CancelDatabaseButtonClick();
    void SelectDatabaseDirButtonClick();

private:
    void CreateControls();

    TKORVELSession& session_;
    BackgroundRunner& runner_;
    TDatabaseUsersPage& databaseUsers_;
    QString programDir_;
    TEditState DatabaseEditState = esViewing;
    // DatabasesListBox with AddDatabaseButton, EditDatabaseButton and DeleteDatabaseButton.
    NameListFrame listFrame_;
    // SaveDatabaseButton and CancelDatabaseButton.
    DetailFrame detailFrame_;

    QListWidget* DatabasesListBox = nullptr;
    QLineEdit* DatabaseNameEdit = nullptr;
    QPlainTextEdit* DatabaseDescriptionMemo = nullptr;
    DescriptionText* DatabaseDescription = nullptr; // owned by DatabaseDescriptionMemo
    QLineEdit* ServerDirectoryEdit = nullptr;
    QPushButton* SelectDatabaseDirButton = nullptr;
};

} // namespace korvel::admin
