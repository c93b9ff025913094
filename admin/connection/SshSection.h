// SshSection: the "Connect through SSH" part of a connection profile: the SSH server (host, port, user) the
// connection goes through and the key file it logs in with, with a browse button for the key. An empty SSH
// Host means a direct connection; the KORVEL address and port are then as the SSH server sees them.
#pragma once

#include "engine/SshSettings.h"
#include "engine/TunnelError.h"
#include "settings/Profiles.h"

#include <QGroupBox>

#include <exception>

class QLineEdit;

namespace korvel::admin
{

class SshSection : public QGroupBox
{
public:
    explicit SshSection(QWidget* parent);

    void Load(const settings::Profile& profile);
    // Copies the four fields to `profile`; raises with a message naming the field when one is not usable.
    void CopyTo(settings::Profile& profile) const;

private:
    void BrowseIdentityFile();

    QLineEdit* hostEdit_;
    QLineEdit* portEdit_;
    QLineEdit* userEdit_;
    QLineEdit* identityFileEdit_;
};

// Which hop failed and why, for a test connection that failed on the way through SSH ("SSH server
// unreachable: ..."); empty when `error` is no failure of the SSH hop.
QString TunnelFailureText(std::exception_ptr error);

} // namespace korvel::admin
