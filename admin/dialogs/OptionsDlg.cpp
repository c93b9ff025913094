#include "admin/dialogs/OptionsDlg.h"

#include "admin/common/Command.h"
#include "admin/common/Dialogs.h"
#include "admin/common/Help.h"
#include "admin/dialogs/TraceLogDlg.h"
#include "session/KORVELSession.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <exception>
#include <stdexcept>

namespace korvel::admin
{

namespace
{

constexpr int MaxPort = 65535;

template <typename Widget> Widget* Named(Widget* widget, const char* name, int helpContext)
{
    widget->setObjectName(name);
    SetHelpContext(widget, helpContext);
    return widget;
}

QLineEdit* MakeEdit(QWidget* parent, const char* name, int helpContext)
{
    auto* edit = Named(new QLineEdit(parent), name, helpContext);
    edit->setMaxLength(MaxSettingBytes);
    return edit;
}

QLabel* MakeLabel(const QString& caption, QWidget* buddy, int helpContext)
{
    auto* label = new QLabel(caption, buddy->parentWidget());
    label->setBuddy(buddy);
    SetHelpContext(label, helpContext);
    return label;
}

} // namespace

int OptionsValues::PortNumber() const
{
    if (Port.isEmpty() && !Service.isEmpty())
        return 0;
    bool ok = false;
    int port = Port.toInt(&ok);
    if (!ok)
        throw std::runtime_error("'" + Port.toStdString() + "' is not a valid integer value");
    return port;
}

TOptionsDlg::TOptionsDlg(TTraceLogDlg& traceLog, TraceFile& trace) : traceLog_(traceLog), trace_(trace)
{
    setObjectName("OptionsDlg");
    setWindowTitle("Options");
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setModal(true);

    pageControl_ = new QTabWidget(this);
    pageControl_->setObjectName("PageControl");
    auto* defaults = new QWidget(pageControl_);
    defaults->setObjectName("DefaultsSheet");
    pageControl_->addTab(defaults, "Defaults");

    auto* frame = new QGroupBox("Remote Session Settings", defaults);
    frame->setObjectName("RemoteSessionSettingsGroupBox");
    lanRadioButton_ = Named(new QRadioButton("Local Area Network", frame), "LANRadioButton", 1);
    internetRadioButton_ = Named(new QRadioButton("Internet", frame), "InternetRadioButton", 1);
    hostNameEdit_ = MakeEdit(frame, "HostNameEdit", 2);
    ipAddressEdit_ = MakeEdit(frame, "IPAddressEdit", 5);
    portEdit_ = MakeEdit(frame, "PortEdit", 4);
    portEdit_->installEventFilter(this);
    serviceEdit_ = MakeEdit(frame, "ServiceEdit", 2);
    enableTracingCheckbox_ = Named(new QCheckBox("Enable Tracing", frame), "EnableTracingCheckbox", 8);
    keepTraceFileCheckbox_ =
        Named(new QCheckBox("Keep trace file after exit", frame), "KeepTraceFileCheckbox", 8);
    auto* viewTraceLog = Named(new QPushButton("View Trace Log...", frame), "ViewTraceLogButton", 9);
    viewTraceLog->setAutoDefault(false);
    connect(viewTraceLog, &QPushButton::clicked, this,
            [this] { RunCommand(this, [this] { ViewTraceLogButtonClick(); }); });

    auto* remoteTypeLabel = new QLabel("Remote Type", frame);
    SetHelpContext(remoteTypeLabel, 1);
    auto* grid = new QGridLayout(frame);
    grid->addWidget(remoteTypeLabel, 0, 0);
    grid->addWidget(lanRadioButton_, 0, 1);
    grid->addWidget(internetRadioButton_, 0, 2);
    grid->addWidget(MakeLabel("Host Name", hostNameEdit_, 2), 1, 0);
    grid->addWidget(hostNameEdit_, 1, 1, 1, 2);
    grid->addWidget(MakeLabel("IP Address", ipAddressEdit_, 5), 2, 0);
    grid->addWidget(ipAddressEdit_, 2, 1, 1, 2);
    grid->addWidget(MakeLabel("Port", portEdit_, 4), 3, 0);
    grid->addWidget(portEdit_, 3, 1);
    grid->addWidget(MakeLabel("Service", serviceEdit_, 2), 4, 0);
    grid->addWidget(serviceEdit_, 4, 1, 1, 2);
    grid->addWidget(enableTracingCheckbox_, 5, 0, 1, 2);
    grid->addWidget(viewTraceLog, 5, 2, Qt::AlignRight);
    grid->addWidget(keepTraceFileCheckbox_, 6, 0, 1, 3);
    grid->setColumnMinimumWidth(1, fontMetrics().horizontalAdvance('0') * 18);
    grid->setColumnStretch(2, 1);
    auto* sheetLayout = new QVBoxLayout(defaults);
    sheetLayout->addWidget(frame);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = Named(buttons->addButton("&OK", QDialogButtonBox::AcceptRole), "OKButton", 6);
    ok->setDefault(true);
    Named(buttons->addButton("&Cancel", QDialogButtonBox::RejectRole), "CancelButton", 7); // Escape rejects
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pageControl_);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TOptionsDlg::Load(const RemoteSettings& settings, const TraceSettings& trace)
{
    keepTraceFileCheckbox_->setChecked(trace.KeepTraceFile);
    (settings.RemoteType != 0 ? internetRadioButton_ : lanRadioButton_)->setChecked(true);
    hostNameEdit_->setText(settings.RemoteHost);
    ipAddressEdit_->setText(settings.RemoteAddress);
    portEdit_->setText(QString::number(settings.RemotePort));
    serviceEdit_->setText(settings.RemoteService);
    enableTracingCheckbox_->setChecked(settings.RemoteTracing);
}

OptionsValues TOptionsDlg::Values() const
{
    return {lanRadioButton_->isChecked(),
            hostNameEdit_->text(),
            ipAddressEdit_->text(),
            portEdit_->text(),
            serviceEdit_->text(),
            enableTracingCheckbox_->isChecked(),
            keepTraceFileCheckbox_->isChecked()};
}

void TOptionsDlg::showEvent(QShowEvent* event)
{
    pageControl_->setCurrentIndex(0);
    (lanRadioButton_->isChecked() ? lanRadioButton_ : internetRadioButton_)->setFocus();
    QDialog::showEvent(event);
}

QString TOptionsDlg::ValidationMessage() const
{
    OptionsValues values = Values();
    if (values.Host.isEmpty() && values.Address.isEmpty())
        return "You must specify a host name or IP address for a remote connection";
    if (values.Port.isEmpty() && values.Service.isEmpty())
        return "You must specify a port or service for a remote connection";
    int port = values.PortNumber();
    if (port < 0 || port > MaxPort)
        return "The port must be between 0 and " + QString::number(MaxPort);
    return {};
}

void TOptionsDlg::done(int result)
{
    if (result == QDialog::Accepted && isVisible())
    {
        QString message;
        if (!RunCommand(this, [&] { message = ValidationMessage(); }))
            return;
        if (!message.isEmpty())
        {
            CurrentDialogs().ShowError(this, message);
            return;
        }
    }
    QDialog::done(result);
}

bool TOptionsDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == portEdit_ && event->type() == QEvent::KeyPress)
    {
        // Only typed characters are filtered; editing and navigation keys carry no text.
        auto* key = static_cast<QKeyEvent*>(event);
        QString text = key->text();
        bool keep = text.isEmpty() || !text.at(0).isPrint() ||
                    (text.size() == 1 && text.at(0) >= '0' && text.at(0) <= '9');
        if (!keep)
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TOptionsDlg::ViewTraceLogButtonClick()
{
    // Tracing goes on while the dialog is open: new exchanges appear in its table and in the trace file.
    traceLog_.Attach(trace_);
    ExecModal(traceLog_);
}

} // namespace korvel::admin
