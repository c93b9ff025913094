// SshQuestionDialog: what the way through an SSH server asks the person. An unknown host key shows the
// server, the key type and the SHA256 fingerprint with "Trust and remember" and Cancel (Cancel is the
// default, so a stray Enter trusts nothing); a key's passphrase, an SSH password or a keyboard-interactive
// prompt is typed into an edit that hides it unless the server allows it to show. Where the login keeps its
// secrets in the keyring, a passphrase or an SSH password prompt offers "Keep in the keyring" (off until the
// person ticks it).
#pragma once

#include "engine/SshSettings.h"

#include <QDialog>

#include <string>

class QCheckBox;
class QLineEdit;

namespace korvel::admin
{

class SshQuestionDialog : public QDialog
{
public:
    SshQuestionDialog(QWidget* parent, const SshQuestion& question, bool offerKeyring = false);

    // The typed answer (empty for a host key).
    std::string Answer() const;
    // Whether the person asked for the typed secret to be kept in the keyring.
    bool KeepInKeyring() const;

private:
    void BuildHostKeyQuestion(const SshQuestion& question);
    void BuildSecretPrompt(const SshQuestion& question, bool offerKeyring);

    QLineEdit* answerEdit_ = nullptr;
    QCheckBox* keepBox_ = nullptr;
};

// Asks `question` modally over `parent` on the user-interface thread: true when the person trusted the key or
// typed an answer (in `answer`), false on Cancel. With `keepInKeyring`, a secret's prompt offers to keep it
// and the person's choice is written there.
bool AskSshQuestion(QWidget* parent, const SshQuestion& question, std::string& answer,
                    bool* keepInKeyring = nullptr);

} // namespace korvel::admin
