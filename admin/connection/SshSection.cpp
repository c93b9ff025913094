#include "admin/connection/SshSection.h"
#include "admin/common/Help.h"

#include "admin/common/Dialogs.h"
#include "engine/wire/Utf8.h"
#include "settings/IniFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <stdexcept>

namespace korvel::admin
{

namespace
{

QLineEdit* MakeEdit(QWidget* parent, const char* name, const QString& placeholder)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setMaxLength(settings::MaxSettingBytes);
    edit->setPlaceholderText(placeholder);
    SetHelpContext(edit, 85);
    return edit;
}

std::string Text(const QLineEdit* edit)
{
    return edit->text().trimmed().toStdString();
}

QString Headline(TunnelFailure kind)
{
    switch (kind)
    {
    case TunnelFailure::Unreachable:
        return QCoreApplication::translate("SshSection", "SSH server unreachable");
    case TunnelFailure::HostKeyUnknown:
        return QCoreApplication::translate("SshSection", "SSH host key unknown");
    case TunnelFailure::HostKeyChanged:
        return QCoreApplication::translate("SshSection", "SSH host key changed");
    case TunnelFailure::HostKeyRefused:
        return QCoreApplication::translate("SshSection", "SSH host key refused");
    case TunnelFailure::AuthenticationRefused:
        return QCoreApplication::translate("SshSection", "SSH authentication refused");
    case TunnelFailure::ForwardingRefused:
        return QCoreApplication::translate("SshSection", "Forwarding refused by the SSH server");
    case TunnelFailure::TargetRefused:
        return QCoreApplication::translate("SshSection", "KORVEL server refused behind the bastion");
    case TunnelFailure::Lost:
        return QCoreApplication::translate("SshSection", "SSH server lost");
    }
    return QCoreApplication::translate("SshSection", "SSH failure");
}

} // namespace

SshSection::SshSection(QWidget* parent)
    : QGroupBox(QCoreApplication::translate("SshSection", "Connect through SSH"), parent)
{
    setObjectName("SshSection");
    hostEdit_ =
        MakeEdit(this, "SshHostEdit", QCoreApplication::translate("SshSection", "none: a direct connection"));
    portEdit_ = MakeEdit(this, "SshPortEdit", "22");
    userEdit_ =
        MakeEdit(this, "SshUserEdit", QCoreApplication::translate("SshSection", "your local user name"));
    // Short enough to show whole at the smallest width; the tool tip says it in full.
    identityFileEdit_ = MakeEdit(this, "SshIdentityFileEdit",
                                 QCoreApplication::translate("SshSection", "agent, ~/.ssh/id_*"));
    identityFileEdit_->setToolTip(
        QCoreApplication::translate("SshSection", "Empty: the agent's keys, then ~/.ssh/id_*"));
    hostEdit_->setToolTip(QCoreApplication::translate(
        "SshSection",
        "The SSH server (bastion) to connect through: a host name, an address or a Host of ~/.ssh/config"));
    auto* browse = new QPushButton("...", this);
    browse->setObjectName("SshIdentityBrowseButton");
    browse->setToolTip(QCoreApplication::translate("SshSection", "Choose the private key file"));
    browse->setAccessibleName(QCoreApplication::translate("SshSection", "Choose the private key file"));
    browse->setAutoDefault(false);
    browse->setFixedWidth(browse->fontMetrics().horizontalAdvance("...") * 3);
    connect(browse, &QPushButton::clicked, this, [this] { BrowseIdentityFile(); });
    // The edit with a browse button is a layout: its label needs the buddy for its mnemonic. The letters are
    // those the dialog leaves free.
    auto* identityLabel = new QLabel(QCoreApplication::translate("SshSection", "SSH Identity &File"), this);
    identityLabel->setBuddy(identityFileEdit_);
    // One short line: a wrapped label in a form inside a group box may be given too little height.
    auto* note = new QLabel(
        QCoreApplication::translate("SshSection", "Host and port above: as the SSH server sees them."), this);
    note->setToolTip(QCoreApplication::translate(
        "SshSection",
        "Through SSH, the KORVEL server's host name or IP address and port are as the SSH server sees them, "
        "often 127.0.0.1 when the KORVEL server runs on the SSH server itself"));

    auto* identity = new QHBoxLayout;
    identity->addWidget(identityFileEdit_, 1);
    identity->addWidget(browse);
    auto* form = new QFormLayout(this);
    form->addRow(QCoreApplication::translate("SshSection", "SSH H&ost"), hostEdit_);
    form->addRow(QCoreApplication::translate("SshSection", "SSH Po&rt"), portEdit_);
    form->addRow(QCoreApplication::translate("SshSection", "SSH Us&er"), userEdit_);
    form->addRow(identityLabel, identity);
    form->addRow(note);
}

void SshSection::Load(const settings::Profile& profile)
{
    hostEdit_->setText(QString::fromStdString(profile.Server.Ssh.Host));
    portEdit_->setText(profile.Server.Ssh.Port == 0 ? QString() : QString::number(profile.Server.Ssh.Port));
    userEdit_->setText(QString::fromStdString(profile.Server.Ssh.User));
    identityFileEdit_->setText(QString::fromStdString(profile.Server.Ssh.IdentityFile));
}

void SshSection::CopyTo(settings::Profile& profile) const
{
    profile.Server.Ssh.Host = Text(hostEdit_);
    profile.Server.Ssh.User = Text(userEdit_);
    profile.Server.Ssh.IdentityFile = Text(identityFileEdit_);
    const QString port = portEdit_->text().trimmed();
    bool ok = true;
    const int number = port.isEmpty() ? 0 : port.toInt(&ok);
    if (!ok || number < 0 || number > 65535)
        throw std::runtime_error(
            QCoreApplication::translate("SshSection", "The SSH port must be between 0 and 65535")
                .toStdString());
    profile.Server.Ssh.Port = static_cast<std::uint16_t>(number);
    // What is saved must read back as the same server ("bastion:", "[fe80::1" or "user@" would not).
    if (!profile.Server.Ssh.Host.empty())
    {
        const auto read =
            ParseSshTarget(SshTargetText(profile.Server.Ssh.User, profile.Server.Ssh.Host, number));
        if (!read || read->Host != profile.Server.Ssh.Host || read->User != profile.Server.Ssh.User)
            throw std::runtime_error(
                QCoreApplication::translate("SshSection", "The SSH Host must be a host name or address alone "
                                                          "(the port and user have fields of their own): %1")
                    .arg(QString::fromStdString(ShownName(profile.Server.Ssh.Host)))
                    .toStdString());
    }
}

void SshSection::BrowseIdentityFile()
{
    const QString current = identityFileEdit_->text().trimmed();
    QFileDialog chooser(this, QCoreApplication::translate("SshSection", "Select the SSH private key"),
                        current.isEmpty() ? QDir::home().filePath(".ssh") : current);
    chooser.setFileMode(QFileDialog::ExistingFile);
    chooser.setFilter(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    if (ExecModal(chooser) == QDialog::Accepted && !chooser.selectedFiles().isEmpty())
        identityFileEdit_->setText(chooser.selectedFiles().front());
}

QString TunnelFailureText(std::exception_ptr error)
{
    try
    {
        std::rethrow_exception(error);
    }
    catch (const ETunnelError& failure)
    {
        return QCoreApplication::translate("SshSection", "%1: %2")
            .arg(Headline(failure.Kind), QString::fromUtf8(failure.what()));
    }
    catch (...)
    {
        return {};
    }
}

} // namespace korvel::admin
