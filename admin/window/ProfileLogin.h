// Logging in through a saved connection profile: File > Connect to (the profiles, the last used first) and
// File > Profiles.... A profile's login logs out first (with the pending-edit question), uses the profile's
// connection settings for that login only (the Options settings stay as they are for File > Login), and
// names the profile in the status bar. A password kept in the keyring is looked up without blocking the
// window; a password typed because there was none, or because the server refused the kept one, is offered to
// the keyring.
#pragma once

#include "credentials/Keyring.h"
#include "engine/SshSettings.h"
#include "settings/Profiles.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>
#include <string>

class QAction;
class QLabel;
class QMainWindow;
class QMenu;

namespace korvel::admin
{

class LoginController;

class ProfileLogin : public QObject
{
public:
    // Adds "Connect to" and "Profiles..." to `fileMenu`, before `before`.
    ProfileLogin(LoginController& login, QMenu* fileMenu, QAction* before);
    ~ProfileLogin() override;

    void ConnectToItemClick(const QString& profileName) { ConnectTo(profileName.toStdString()); }
    // Logs in to the profile of exactly that name (logged in, out first); raises when there is none.
    void ConnectTo(const std::string& profileName);
    void ProfilesItemClick();

    // Called by the window whenever it shows itself logged in or out.
    void LoggedInChanged(bool loggedIn);

    // The profile the window is logged in through; empty otherwise.
    const QString& ConnectedProfile() const { return connectedProfile_; }
    QAction* ConnectToItem() const;

private:
    void FillConnectToMenu();
    void LookUpAndLogin(const settings::Profile& profile);
    void LoginWith(const settings::Profile& profile, const std::optional<std::string>& keptPassword);
    void OfferToKeyring(const settings::Profile& profile, const std::string& password, bool keptWasRefused);

    LoginController& login_;
    QMainWindow& mainForm_; // the parent of its boxes and dialog
    settings::ProfileStore store_;
    QMenu* connectToMenu_;
    QLabel* profileLabel_;
    QString connectedProfile_;
    QString loggingIn_; // the profile whose login is under way
    std::unique_ptr<credentials::PendingRequest> lookup_;
    std::unique_ptr<credentials::PendingRequest> keyringStore_;
};

} // namespace korvel::admin
