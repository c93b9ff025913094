#include "admin/connection/ConnectionFields.h"

#include "admin/common/Help.h"
#include "settings/IniFile.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

namespace korvel::admin
{

namespace
{

// Help topics of the Options dialog.
constexpr int RemoteTypeTopic = 1;
constexpr int HostOrServiceTopic = 2;
constexpr int PortTopic = 4;
constexpr int AddressTopic = 5;

std::string Text(const QLineEdit* edit)
{
    return edit->text().trimmed().toStdString();
}

} // namespace

ConnectionFields::ConnectionFields(QWidget* parent, QGridLayout* grid, int firstRow, Look look)
    : QObject(parent)
{
    auto help = [look](QWidget* widget, int topic)
    {
        if (look.HelpTopics)
            SetHelpContext(widget, topic);
    };
    auto addLabel = [&](const char* caption, QWidget* buddy, int row, int topic)
    {
        const QString text = QCoreApplication::translate("ConnectionFields", caption);
        auto* label = new QLabel(look.Shortcuts ? QString("&") + text : text, parent);
        label->setBuddy(buddy);
        help(label, topic);
        grid->addWidget(label, firstRow + row, 0);
    };
    auto addEdit = [&](const char* name, const char* caption, int row, int topic, int columns = 2)
    {
        auto* edit = new QLineEdit(parent);
        edit->setObjectName(name);
        edit->setMaxLength(settings::MaxSettingBytes);
        help(edit, topic);
        addLabel(caption, edit, row, topic);
        grid->addWidget(edit, firstRow + row, 1, 1, columns);
        return edit;
    };

    auto* remoteType = new QLabel(QCoreApplication::translate("ConnectionFields", "Remote Type"), parent);
    help(remoteType, RemoteTypeTopic);
    grid->addWidget(remoteType, firstRow, 0);
    lanRadioButton_ =
        new QRadioButton(QCoreApplication::translate("ConnectionFields", "Local Area Network"), parent);
    lanRadioButton_->setObjectName("LANRadioButton");
    help(lanRadioButton_, RemoteTypeTopic);
    grid->addWidget(lanRadioButton_, firstRow, 1);
    internetRadioButton_ =
        new QRadioButton(QCoreApplication::translate("ConnectionFields", "Internet"), parent);
    internetRadioButton_->setObjectName("InternetRadioButton");
    help(internetRadioButton_, RemoteTypeTopic);
    grid->addWidget(internetRadioButton_, firstRow, 2);

    hostNameEdit_ =
        addEdit("HostNameEdit", QT_TRANSLATE_NOOP("ConnectionFields", "Host Name"), 1, HostOrServiceTopic);
    ipAddressEdit_ =
        addEdit("IPAddressEdit", QT_TRANSLATE_NOOP("ConnectionFields", "IP Address"), 2, AddressTopic);
    portEdit_ = addEdit("PortEdit", QT_TRANSLATE_NOOP("ConnectionFields", "Port"), 3, PortTopic,
                        1); // a port needs less room
    portEdit_->installEventFilter(this);
    serviceEdit_ =
        addEdit("ServiceEdit", QT_TRANSLATE_NOOP("ConnectionFields", "Service"), 4, HostOrServiceTopic);
    grid->setColumnMinimumWidth(1, parent->fontMetrics().horizontalAdvance('0') * 18);
    grid->setColumnStretch(2, 1);
}

void ConnectionFields::Load(const settings::Connection& connection)
{
    (connection.Internet ? internetRadioButton_ : lanRadioButton_)->setChecked(true);
    hostNameEdit_->setText(QString::fromStdString(connection.Host));
    ipAddressEdit_->setText(QString::fromStdString(connection.Address));
    // Port 0 is none: the service names it.
    portEdit_->setText(connection.Port == 0 ? QString() : QString::number(connection.Port));
    serviceEdit_->setText(QString::fromStdString(connection.Service));
}

settings::Connection ConnectionFields::Checked() const
{
    return settings::CheckedConnection(
        {internetRadioButton_->isChecked(), Text(hostNameEdit_), Text(ipAddressEdit_), 0, Text(serviceEdit_)},
        Text(portEdit_));
}

void ConnectionFields::FocusRemoteType()
{
    (lanRadioButton_->isChecked() ? lanRadioButton_ : internetRadioButton_)->setFocus();
}

bool ConnectionFields::eventFilter(QObject* watched, QEvent* event)
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
    return QObject::eventFilter(watched, event);
}

} // namespace korvel::admin
