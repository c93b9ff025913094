// TOptionsDlg: where and how to reach the server (remote type, host name or IP address, port or service) and
// whether to trace the exchanges. It keeps no state of its own: every opening starts from the settings.
#pragma once

#include "settings/Connection.h"

#include <QDialog>

class QCheckBox;
class QTabWidget;

namespace korvel::admin
{

class ConnectionFields;
class TraceFile;
class TTraceLogDlg;

// What the dialog holds when it closes with OK.
struct OptionsValues
{
    settings::Connection Connection;
    bool Tracing = false;
    bool KeepTraceFile = false;
};

class TOptionsDlg : public QDialog
{
public:
    // "View Trace Log" shows `traceLog` attached to `trace`.
    TOptionsDlg(TTraceLogDlg& traceLog, TraceFile& trace);

    void Load(const OptionsValues& values);
    // Raises settings::ConnectionError while the fields cannot reach a server; OK refuses to close then.
    OptionsValues Values() const;

    void ViewTraceLogButtonClick();

    // FormCloseQuery: closing with OK is refused while the values are not usable.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override; // FormShow

private:
    TTraceLogDlg& traceLog_;
    TraceFile& trace_;
    QTabWidget* pageControl_;
    ConnectionFields* connection_;
    QCheckBox* enableTracingCheckbox_;
    QCheckBox* keepTraceFileCheckbox_;
};

} // namespace korvel::admin
