#include "admin/window/ProfileLogin.h"
#include "admin/connection/SshSection.h"

#include "admin/common/Command.h"
#include "admin/common/Dialogs.h"
#include "admin/connection/ProfilesDialog.h"
#include "admin/window/LoginController.h"
#include "admin/window/Settings.h"
#include "session/KORVELSession.h"

#include <QCoreApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QStatusBar>

namespace korvel::admin
{

using settings::Profile;

namespace
{

credentials::CredentialKey KeyOf(const Profile& profile)
{
    return credentials::CredentialKey::ForProfile(profile.Name, profile.User);
}

} // namespace

ProfileLogin::ProfileLogin(LoginController& login, QMenu* fileMenu, QAction* before)
    : QObject(&login.Window()), login_(login), mainForm_(login.Window())
{
    connectToMenu_ = new QMenu(QCoreApplication::translate("ProfileLogin", "Connect &to"), fileMenu);
    fileMenu->insertMenu(before, connectToMenu_);
    connectToMenu_->setObjectName("ConnectToMenu");
    connectToMenu_->menuAction()->setObjectName("ConnectToItem");
    connectToMenu_->menuAction()->setStatusTip(
        QCoreApplication::translate("ProfileLogin", "Login to the server of a saved profile"));
    // Filled as it opens, so profiles the CLI or another window saved meanwhile are there.
    connect(connectToMenu_, &QMenu::aboutToShow, this, [this] { FillConnectToMenu(); });
    FillConnectToMenu();

    auto* profilesItem = new QAction(QCoreApplication::translate("ProfileLogin", "&Profiles..."), fileMenu);
    fileMenu->insertAction(before, profilesItem);
    profilesItem->setObjectName("ProfilesItem");
    profilesItem->setStatusTip(
        QCoreApplication::translate("ProfileLogin", "Add, change, test or delete connection profiles"));
    connect(profilesItem, &QAction::triggered, this,
            [this] { RunCommand(&mainForm_, [this] { ProfilesItemClick(); }); });

    profileLabel_ = new QLabel(&mainForm_);
    profileLabel_->setObjectName("ProfileLabel");
    profileLabel_->hide();
    // Right of the wait indicator, left of the connection's sections.
    mainForm_.statusBar()->insertPermanentWidget(1, profileLabel_);
}

ProfileLogin::~ProfileLogin() = default;

QAction* ProfileLogin::ConnectToItem() const
{
    return connectToMenu_->menuAction();
}

void ProfileLogin::FillConnectToMenu()
{
    connectToMenu_->clear();
    for (const Profile& profile : store_.List())
    {
        QString name = QString::fromStdString(profile.Name);
        // "&" would mark a shortcut letter: doubled, it shows as itself.
        QAction* item = connectToMenu_->addAction(QString(name).replace("&", "&&"));
        item->setData(name);
        connect(item, &QAction::triggered, this,
                [this, name] { RunCommand(&mainForm_, [this, name] { ConnectToItemClick(name); }); });
    }
    if (connectToMenu_->isEmpty())
        connectToMenu_
            ->addAction(
                QCoreApplication::translate("ProfileLogin", "(no profiles: File, Profiles... adds one)"))
            ->setEnabled(false);
}

void ProfileLogin::ConnectTo(const std::string& profileName)
{
    std::optional<Profile> profile = store_.Find(profileName);
    if (!profile)
        throw std::runtime_error(QCoreApplication::translate("ProfileLogin", "There is no profile named %1")
                                     .arg(QString::fromStdString(profileName))
                                     .toStdString());
    // Logged in: out first (cancelled at a pending-edit question, nothing more happens).
    if (login_.LoggedIn())
        return login_.Logout([this, profile = *profile] { LookUpAndLogin(profile); });
    LookUpAndLogin(*profile);
}

void ProfileLogin::LookUpAndLogin(const Profile& profile)
{
    credentials::Availability keyring = credentials::SecretServiceAvailability();
    if (!profile.KeepPassword || !keyring.Available)
        return LoginWith(profile, std::nullopt);
    // The keyring may ask to be unlocked: the window keeps working and logs in when the answer comes.
    connectToMenu_->setEnabled(false);
    const QString name = QString::fromStdString(profile.Name);
    mainForm_.statusBar()->showMessage(
        QLatin1Char(' ') +
        QCoreApplication::translate("ProfileLogin", "Looking up the password of %1 in the keyring...")
            .arg(name));
    lookup_ = credentials::LookupPasswordAsync(
        KeyOf(profile),
        [this, profile](const credentials::LookupResult& result)
        {
            lookup_.reset();
            connectToMenu_->setEnabled(true);
            mainForm_.statusBar()->clearMessage();
            if (!result.Error.empty())
                DialogsFor(&mainForm_)
                    .ShowError(&mainForm_,
                               QCoreApplication::translate(
                                   "ProfileLogin",
                                   "The keyring could not be read (the password is asked instead): %1")
                                   .arg(QString::fromStdString(result.Error)));
            RunCommand(&mainForm_, [&] { LoginWith(profile, result.Password); });
        });
}

void ProfileLogin::LoginWith(const Profile& profile, const std::optional<std::string>& keptPassword)
{
    // The profile's settings serve this login only; the Options settings stay for File > Login.
    AdminInfo connection = login_.Options();
    connection.Server = CutToSettingBytes(profile.Server);
    LoginRequest request{connection, profile.User, keptPassword.value_or("")};
    const bool kept = keptPassword.has_value();
    request.KeepsSshSecrets = profile.KeepPassword && credentials::SecretServiceAvailability().Available;
    // Only what was typed into the prompt is offered to the keyring.
    request.Typed = [this, profile, kept](const std::string& typed)
    {
        if (profile.KeepPassword && credentials::SecretServiceAvailability().Available)
            OfferToKeyring(profile, typed, kept);
    };
    loggingIn_ = QString::fromStdString(profile.Name);
    login_.Login(std::move(request), [this, name = profile.Name] { store_.MarkUsed(name); });
}

void ProfileLogin::OfferToKeyring(const Profile& profile, const std::string& password, bool keptWasRefused)
{
    QString name = QString::fromStdString(profile.Name);
    QString question =
        keptWasRefused
            ? QCoreApplication::translate("ProfileLogin",
                                          "The server refused the password kept in the keyring for %1. Keep "
                                          "the password you entered instead?")
                  .arg(name)
            : QCoreApplication::translate("ProfileLogin", "Keep the password for %1 in the keyring?")
                  .arg(name);
    if (DialogsFor(&mainForm_).AskConfirmationYesNo(&mainForm_, question) != Answer::Yes)
        return;
    keyringStore_ = credentials::StorePasswordAsync(
        KeyOf(profile), password,
        [this](const std::string& error)
        {
            if (!error.empty())
                DialogsFor(&mainForm_)
                    .ShowError(&mainForm_,
                               QCoreApplication::translate(
                                   "ProfileLogin", "The password could not be kept in the keyring: %1")
                                   .arg(QString::fromStdString(error)));
        });
}

void ProfileLogin::ProfilesItemClick()
{
    ProfilesDialog dialog(&mainForm_, store_, credentials::SecretServiceAvailability(), login_.Runner());
    dialog.exec();
}

void ProfileLogin::LoggedInChanged(bool loggedIn)
{
    // A login of any kind settles what a pending lookup was for.
    if (loggingIn_.isEmpty() && lookup_)
    {
        lookup_.reset();
        connectToMenu_->setEnabled(true);
    }
    connectedProfile_ = loggedIn ? loggingIn_ : QString();
    loggingIn_.clear();
    profileLabel_->setText(
        connectedProfile_.isEmpty()
            ? QString()
            : QLatin1Char(' ') +
                  QCoreApplication::translate("ProfileLogin", "Profile: %1").arg(connectedProfile_) +
                  QLatin1Char(' '));
    profileLabel_->setVisible(!connectedProfile_.isEmpty());
}

} // namespace korvel::admin
