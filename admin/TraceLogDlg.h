// TTraceLogDlg: shows the lines of the trace file, one per row, and clears them.
#pragma once

#include <QDialog>

class QListView;
class QStringListModel;

namespace korvel::admin
{

class TTraceLogDlg : public QDialog
{
public:
    TTraceLogDlg();

    // Empties the list and, when `fileName` exists, fills it with the file's lines. Raises std::runtime_error
    // when the file cannot be read. The file name is kept for Clear.
    void LoadTraceFile(const QString& fileName);
    QStringList Lines() const;

    void ClearTraceLogButtonClick();

protected:
    void showEvent(QShowEvent* event) override; // FormShow

private:
    QString fileName_;
    QListView* traceMessagesListBox_;
    QStringListModel* traceMessages_;
};

} // namespace korvel::admin
