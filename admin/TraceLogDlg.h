// TTraceLogDlg: shows the lines of the trace file, one per row, and clears them.
#pragma once

#include <QDialog>

class QListView;
class QStringListModel;

namespace korvel::admin
{

class TraceFile;

class TTraceLogDlg : public QDialog
{
public:
    TTraceLogDlg();

    // Empties the list and fills it with the trace file's lines. Raises std::runtime_error when the file
    // cannot be read. The file is kept for Clear.
    void LoadTraceFile(TraceFile& file);
    QStringList Lines() const;

    void ClearTraceLogButtonClick();

protected:
    void showEvent(QShowEvent* event) override; // FormShow

private:
    TraceFile* traceFile_ = nullptr;
    QListView* traceMessagesListBox_;
    QStringListModel* traceMessages_;
};

} // namespace korvel::admin
