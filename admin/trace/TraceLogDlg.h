// TTraceLogDlg: the remote session's exchanges as a live table that fills while it is open (tracing goes on
// into the table and the trace file), with a filter, Copy as text, and Clear, which empties the table and the
// trace file.
#pragma once

#include "engine/DataSession.h"

#include <QDialog>

class QLineEdit;
class QSortFilterProxyModel;
class QTableView;

namespace korvel::admin
{

class TraceFile;
class TraceTableModel;

class TTraceLogDlg : public QDialog
{
public:
    TTraceLogDlg();

    // The file Clear empties.
    void Attach(TraceFile& file) { traceFile_ = &file; }
    // Adds a row; callable from any thread (trace records arrive on the background runner's worker).
    void AddRecord(const TraceRecord& record);
    // The shown rows (after the filter), one line each with tab-separated cells: what Copy puts on the
    // clipboard.
    QStringList Lines() const;

    void ClearTraceLogButtonClick();
    void CopyButtonClick();

protected:
    void showEvent(QShowEvent* event) override; // FormShow

private:
    TraceFile* traceFile_ = nullptr;
    TraceTableModel* table_;
    QSortFilterProxyModel* shown_;
    QTableView* traceTableView_;
    QLineEdit* filterEdit_;
};

} // namespace korvel::admin
