// ChangeHistoryDialog (File > Change History...): the journal of changes (journal/Journal.h) as a table, the
// window's, the CLI's and the Ansible modules' alike, narrowed by server, login user, object and a time, and
// copied as text in the form the CLI's `history` prints. The file is read on a thread of its own, so a long
// journal never holds up the window.
#pragma once

#include "admin/common/LocalWorker.h"
#include "journal/History.h"

#include <QDialog>

#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QTableView;

namespace korvel::admin
{

class ChangeHistoryModel;

class ChangeHistoryDialog : public QDialog
{
public:
    ChangeHistoryDialog(std::string journalPath, QWidget* parent);
    ~ChangeHistoryDialog() override;

    // True until the journal was read (or could not be).
    bool Reading() const { return reading_; }
    // What Copy puts on the clipboard: the selected rows, or every shown row when none is selected.
    QString CopyText() const;
    void CopyButtonClick();

private:
    void Read();
    void ShowHistory(journal::History history);
    void ShowReadError(const QString& message);
    void FillChoices(QComboBox* box, const std::vector<std::string>& values);
    void ApplyFilter();

    std::string path_;
    LocalWorker reader_;
    bool reading_ = false;
    std::size_t unreadable_ = 0;
    ChangeHistoryModel* model_;
    QTableView* table_;
    QComboBox* serverBox_;
    QComboBox* userBox_;
    QLineEdit* objectEdit_;
    QLineEdit* sinceEdit_;
    QLabel* countLabel_;
};

} // namespace korvel::admin
