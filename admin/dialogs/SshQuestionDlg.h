// TSshQuestionDlg: what the way through an SSH server asks the person. An unknown host key shows the server,
// the key type and the SHA256 fingerprint with "Trust and remember" and Cancel (Cancel is the default, so a
// stray Enter trusts nothing); a key's passphrase, an SSH password or a keyboard-interactive prompt is typed
// into an edit that hides it unless the server allows it to show.
#pragma once

#include "engine/SshSettings.h"

#include <QDialog>

#include <string>

class QLineEdit;

namespace korvel::admin
{

class TSshQuestionDlg : public QDialog
{
public:
    TSshQuestionDlg(QWidget* parent, const SshQuestion& question);

    // The typed answer (empty for a host key).
    std::string Answer() const;

private:
    void BuildHostKeyQuestion(const SshQuestion& question);
    void BuildSecretPrompt(const SshQuestion& question);

    QLineEdit* answerEdit_ = nullptr;
};

// Asks `question` modally over `parent` on the user-interface thread: true when the person trusted the key or
// typed an answer (in `answer`), false on Cancel.
bool AskSshQuestion(QWidget* parent, const SshQuestion& question, std::string& answer);

} // namespace korvel::admin
