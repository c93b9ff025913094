// ProfilesDialog: File > Profiles... The saved connection profiles in a list beside one editor: Add and
// Duplicate start a new profile in the editor, Save stores it (a renamed one keeps its kept password), Delete
// removes the selected one (and its kept password), Test Connection logs in with the editor's values (through
// the SSH server of its "Connect through SSH" section, naming the hop that failed) and out again. "Keep the
// password in the keyring" is greyed, with the reason beside it, when no Secret Service is running.
#pragma once

#include "credentials/Keyring.h"
#include "settings/Profiles.h"

#include <QDialog>
#include <QStringList>

#include <memory>
#include <optional>

class QCheckBox;
class QDialogButtonBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace korvel::admin
{

class BackgroundRunner;
class ConnectionFields;
class Job;
class SshSection;

class ProfilesDialog : public QDialog
{
public:
    // The test connection runs on `runner` with a session of its own, so a silent server keeps nothing else
    // waiting but the test, which the dialog's Cancel (or Esc) ends.
    ProfilesDialog(QWidget* parent, settings::ProfileStore& store, const credentials::Availability& keyring,
                   BackgroundRunner& runner);
    ~ProfilesDialog() override;

    void AddButtonClick();
    void DuplicateButtonClick();
    void SaveButtonClick();
    void DeleteButtonClick();
    void TestConnectionButtonClick();
    // Close and Esc: edits not saved are offered for saving first (Yes saves, No drops them, Cancel stays).
    void reject() override;

private:
    // What the editor's fields hold, to tell an edited profile from the one loaded.
    QStringList FieldValues() const;
    QGridLayout* CreateEditor();
    QDialogButtonBox* CreateButtons();
    void FillList(const QString& select);
    void ProfileSelected();
    void Load(const settings::Profile& profile, bool isNew);
    // The editor's profile; raises with a message naming the field when it is not usable.
    settings::Profile Edited() const;
    QString UnusedName(const QString& base) const;
    void TestWith(const settings::Profile& profile, std::string password);
    void ForgetPassword(const settings::Profile& profile);
    // After a rename: the kept password goes to the new name; where it cannot, it stays and the user is told.
    void MovePassword(const settings::Profile& from, const settings::Profile& to);

    settings::ProfileStore& store_;
    credentials::Availability keyring_;
    BackgroundRunner& runner_;
    std::shared_ptr<Job> test_;
    // The profile in the editor as stored, or nothing for a new one.
    std::optional<settings::Profile> stored_;
    QStringList loaded_; // FieldValues() when the profile was loaded or saved
    std::unique_ptr<credentials::PendingRequest> keyringRequest_;

    QListWidget* profilesList_;
    QLineEdit* nameEdit_;
    ConnectionFields* connection_;
    QLineEdit* userNameEdit_;
    SshSection* sshSection_;
    QCheckBox* keepPasswordCheckbox_;
    QLabel* keyringReasonLabel_;
    QLabel* testResultLabel_;
    QPushButton* testButton_;
    QPushButton* duplicateButton_;
    QPushButton* deleteButton_;
};

} // namespace korvel::admin
