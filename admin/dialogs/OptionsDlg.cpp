#include "admin/dialogs/OptionsDlg.h"

#include "admin/common/Accessible.h"
#include "admin/common/Command.h"
#include "admin/common/Dialogs.h"
#include "admin/common/Help.h"
#include "admin/connection/ConnectionFields.h"
#include "admin/trace/TraceLogDlg.h"
#include "session/KORVELSession.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace korvel::admin
{

namespace
{

template <typename Widget> Widget* Named(Widget* widget, const char* name, int helpContext)
{
    widget->setObjectName(name);
    SetHelpContext(widget, helpContext);
    return widget;
}

} // namespace

TOptionsDlg::TOptionsDlg(TTraceLogDlg& traceLog, TraceFile& trace) : traceLog_(traceLog), trace_(trace)
{
    setObjectName("OptionsDlg");
    setWindowTitle(QCoreApplication::translate("TOptionsDlg", "Options"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setModal(true);

    pageControl_ = new QTabWidget(this);
    pageControl_->setObjectName("PageControl");
    auto* defaults = new QWidget(pageControl_);
    defaults->setObjectName("DefaultsSheet");
    pageControl_->addTab(defaults, QCoreApplication::translate("TOptionsDlg", "Defaults"));

    auto* frame =
        new QGroupBox(QCoreApplication::translate("TOptionsDlg", "Remote Session Settings"), defaults);
    frame->setObjectName("RemoteSessionSettingsGroupBox");
    auto* grid = new QGridLayout(frame);
    connection_ = new ConnectionFields(frame, grid, 0, {.HelpTopics = true});
    enableTracingCheckbox_ =
        Named(new QCheckBox(QCoreApplication::translate("TOptionsDlg", "Enable Tracing"), frame),
              "EnableTracingCheckbox", 8);
    keepTraceFileCheckbox_ =
        Named(new QCheckBox(QCoreApplication::translate("TOptionsDlg", "Keep trace file after exit"), frame),
              "KeepTraceFileCheckbox", 8);
    auto* viewTraceLog =
        Named(new QPushButton(QCoreApplication::translate("TOptionsDlg", "View Trace Log..."), frame),
              "ViewTraceLogButton", 9);
    viewTraceLog->setAutoDefault(false);
    connect(viewTraceLog, &QPushButton::clicked, this,
            [this] { RunCommand(this, [this] { ViewTraceLogButtonClick(); }); });

    const int row = ConnectionFields::Rows;
    grid->addWidget(enableTracingCheckbox_, row, 0, 1, 2);
    grid->addWidget(viewTraceLog, row, 2, Qt::AlignRight);
    grid->addWidget(keepTraceFileCheckbox_, row + 1, 0, 1, 3);
    auto* sheetLayout = new QVBoxLayout(defaults);
    sheetLayout->addWidget(frame);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = Named(
        buttons->addButton(QCoreApplication::translate("TOptionsDlg", "&OK"), QDialogButtonBox::AcceptRole),
        "OKButton", 6);
    ok->setDefault(true);
    Named(buttons->addButton(QCoreApplication::translate("TOptionsDlg", "&Cancel"),
                             QDialogButtonBox::RejectRole),
          "CancelButton", 7); // Escape rejects
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pageControl_);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    NameControlsByLabels(this);
}

void TOptionsDlg::Load(const OptionsValues& values)
{
    keepTraceFileCheckbox_->setChecked(values.KeepTraceFile);
    connection_->Load(values.Connection);
    enableTracingCheckbox_->setChecked(values.Tracing);
}

OptionsValues TOptionsDlg::Values() const
{
    return {connection_->Checked(), enableTracingCheckbox_->isChecked(), keepTraceFileCheckbox_->isChecked()};
}

void TOptionsDlg::showEvent(QShowEvent* event)
{
    pageControl_->setCurrentIndex(0);
    connection_->FocusRemoteType();
    QDialog::showEvent(event);
}

void TOptionsDlg::done(int result)
{
    // The error box names the first problem; the dialog stays open with what was typed.
    if (result == QDialog::Accepted && isVisible() && !RunCommand(this, [this] { connection_->Checked(); }))
        return;
    QDialog::done(result);
}

void TOptionsDlg::ViewTraceLogButtonClick()
{
    // Tracing goes on while the dialog is open: new exchanges appear in its table and in the trace file.
    traceLog_.Attach(trace_);
    ExecModal(traceLog_);
}

} // namespace korvel::admin
