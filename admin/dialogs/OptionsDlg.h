// TOptionsDlg: where and how to reach the server (remote type, host name or IP address, port or service) and
// whether to trace the exchanges. It keeps no state of its own: every opening starts from the settings.
#pragma once

#include "admin/window/Settings.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace korvel::admin
{

class TraceFile;
class TTraceLogDlg;

// What the dialog holds when it closes with OK.
struct OptionsValues
{
    bool Lan = true;
    QString Host;
    QString Address;
    QString Port; // digits, or empty when a service is given
    QString Service;
    bool Tracing = false;
    bool KeepTraceFile = false;

    // The port as a number: empty with a service gives 0 (the service decides the port). Raises
    // "'%s' is not a valid integer value" for anything else that is not a number.
    int PortNumber() const;
};

class TOptionsDlg : public QDialog
{
public:
    // "View Trace Log" shows `traceLog` attached to `trace`.
    TOptionsDlg(TTraceLogDlg& traceLog, TraceFile& trace);

    void Load(const RemoteSettings& settings, const TraceSettings& trace);
    OptionsValues Values() const;

    void ViewTraceLogButtonClick();

    // FormCloseQuery: closing with OK is refused while the values are not usable.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;                 // FormShow
    bool eventFilter(QObject* watched, QEvent* event) override; // PortEditKeyPress

private:
    // The first failed check's message, or an empty string. Raises for a port that is not a number.
    QString ValidationMessage() const;

    TTraceLogDlg& traceLog_;
    TraceFile& trace_;
    QTabWidget* pageControl_;
    QRadioButton* lanRadioButton_;
    QRadioButton* internetRadioButton_;
    QLineEdit* hostNameEdit_;
    QLineEdit* ipAddressEdit_;
    QLineEdit* portEdit_;
    QLineEdit* serviceEdit_;
    QCheckBox* enableTracingCheckbox_;
    QCheckBox* keepTraceFileCheckbox_;
};

} // namespace korvel::admin
