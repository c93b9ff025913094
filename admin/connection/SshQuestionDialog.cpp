#include "admin/connection/SshQuestionDialog.h"

#include "admin/common/Dialogs.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QVBoxLayout>

namespace korvel::admin
{

namespace
{

QLabel* Selectable(const QString& text, QWidget* parent, const char* name)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

// The engine words its prompts for a terminal ("...: "); a label needs no trailing blank.
QString PromptText(const std::string& text)
{
    return QString::fromStdString(text).trimmed();
}

} // namespace

SshQuestionDialog::SshQuestionDialog(QWidget* parent, const SshQuestion& question, bool offerKeyring)
    : QDialog(parent)
{
    setObjectName("SshQuestionDialog");
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setModal(true);
    if (question.What == SshQuestion::Kind::UnknownHostKey)
        BuildHostKeyQuestion(question);
    else
        BuildSecretPrompt(question, offerKeyring);
}

void SshQuestionDialog::BuildHostKeyQuestion(const SshQuestion& question)
{
    setWindowTitle(QCoreApplication::translate("SshQuestionDialog", "Unknown SSH Host Key"));
    auto* icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop);

    auto* intro =
        new QLabel(QCoreApplication::translate(
                       "SshQuestionDialog",
                       "The SSH server %1 is not known yet: its host key is not in your known_hosts file.")
                       .arg(QString::fromStdString(question.Server)),
                   this);
    intro->setWordWrap(true);
    auto* fingerprint = Selectable(QString::fromStdString(question.Fingerprint), this, "FingerprintLabel");
    fingerprint->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* facts = new QFormLayout;
    facts->addRow(QCoreApplication::translate("SshQuestionDialog", "Server:"),
                  Selectable(QString::fromStdString(question.Server), this, "ServerLabel"));
    facts->addRow(QCoreApplication::translate("SshQuestionDialog", "Key type:"),
                  Selectable(QString::fromStdString(question.KeyType), this, "KeyTypeLabel"));
    facts->addRow(QCoreApplication::translate("SshQuestionDialog", "Fingerprint:"), fingerprint);
    auto* advice = new QLabel(
        QCoreApplication::translate("SshQuestionDialog",
                                    "Trust it only if this fingerprint is the one the server's administrator "
                                    "gave you. \"Trust and remember\" adds the key to known_hosts; should "
                                    "the server ever offer another key, the connection is refused."),
        this);
    advice->setWordWrap(true);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* trust = buttons->addButton(
        QCoreApplication::translate("SshQuestionDialog", "Trust and remember"), QDialogButtonBox::AcceptRole);
    trust->setObjectName("TrustButton");
    trust->setAutoDefault(false);
    QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
    cancel->setObjectName("CancelButton");
    cancel->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* text = new QVBoxLayout;
    text->addWidget(intro);
    text->addLayout(facts);
    text->addWidget(advice);
    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addLayout(text, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
    // Wide enough for the fingerprint and a few lines of advice, not one long line.
    setMinimumWidth(fingerprint->sizeHint().width() + 160);
    cancel->setFocus();
}

void SshQuestionDialog::BuildSecretPrompt(const SshQuestion& question, bool offerKeyring)
{
    const bool passphrase = question.What == SshQuestion::Kind::Passphrase;
    setWindowTitle(passphrase ? QCoreApplication::translate("SshQuestionDialog", "SSH Key Passphrase")
                   : question.What == SshQuestion::Kind::Password
                       ? QCoreApplication::translate("SshQuestionDialog", "SSH Password")
                       : QCoreApplication::translate("SshQuestionDialog", "SSH Login"));
    auto* layout = new QVBoxLayout(this);
    if (question.Attempt > 1)
    {
        auto* again = new QLabel(
            passphrase ? QCoreApplication::translate("SshQuestionDialog", "Wrong passphrase, try again.")
                       : QCoreApplication::translate("SshQuestionDialog", "Refused, try again."),
            this);
        again->setObjectName("TryAgainLabel");
        layout->addWidget(again);
    }
    if (!question.Instruction.empty())
    {
        auto* instruction = new QLabel(QString::fromStdString(question.Instruction), this);
        instruction->setWordWrap(true);
        layout->addWidget(instruction);
    }
    auto* prompt = new QLabel(PromptText(question.Text), this);
    prompt->setWordWrap(true);
    layout->addWidget(prompt);
    answerEdit_ = new QLineEdit(this);
    answerEdit_->setObjectName("AnswerEdit");
    answerEdit_->setEchoMode(question.Echo ? QLineEdit::Normal : QLineEdit::Password);
    prompt->setBuddy(answerEdit_);
    layout->addWidget(answerEdit_);
    if (offerKeyring && question.What != SshQuestion::Kind::Prompt)
    {
        keepBox_ =
            new QCheckBox(QCoreApplication::translate("SshQuestionDialog", "&Keep in the keyring"), this);
        keepBox_->setObjectName("KeepInKeyringCheckBox");
        layout->addWidget(keepBox_);
    }

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("OKButton");
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("CancelButton");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    setMinimumWidth(360);
    answerEdit_->setFocus();
}

std::string SshQuestionDialog::Answer() const
{
    return answerEdit_ ? answerEdit_->text().toStdString() : std::string();
}

bool SshQuestionDialog::KeepInKeyring() const
{
    return keepBox_ && keepBox_->isChecked();
}

bool AskSshQuestion(QWidget* parent, const SshQuestion& question, std::string& answer, bool* keepInKeyring)
{
    if (question.What == SshQuestion::Kind::HostKeyAdded)
    {
        // A notice: on the status bar of the window the question would have come from.
        for (QWidget* widget = parent; widget; widget = widget->parentWidget())
            if (auto* window = qobject_cast<QMainWindow*>(widget))
            {
                window->statusBar()->showMessage(" " + QString::fromStdString(question.Text));
                break;
            }
        return true;
    }
    SshQuestionDialog dialog(parent, question, keepInKeyring != nullptr);
    if (ExecModal(dialog) != QDialog::Accepted)
        return false;
    answer = dialog.Answer();
    if (keepInKeyring)
        *keepInKeyring = dialog.KeepInKeyring();
    return true;
}

} // namespace korvel::admin
