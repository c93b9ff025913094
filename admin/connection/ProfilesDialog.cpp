#include "admin/connection/ProfilesDialog.h"
#include "admin/common/Help.h"
#include "admin/connection/SshQuestionDialog.h"
#include "admin/connection/SshSection.h"

#include "admin/common/Accessible.h"
#include "admin/common/BackgroundRunner.h"
#include "admin/common/Command.h"
#include "admin/common/Dialogs.h"
#include "admin/common/WaitIndicator.h"
#include "admin/connection/ConnectionFields.h"
#include "session/ConnectionTest.h"
#include "settings/IniFile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>

#include <stdexcept>

namespace korvel::admin
{

namespace
{

using settings::Profile;

template <typename Widget> Widget* Named(Widget* widget, const char* name)
{
    widget->setObjectName(name);
    return widget;
}

QLineEdit* MakeEdit(QWidget* parent, const char* name)
{
    auto* edit = Named(new QLineEdit(parent), name);
    edit->setMaxLength(settings::MaxSettingBytes);
    return edit;
}

QPushButton* MakeButton(QDialogButtonBox* box, const QString& caption, const char* name)
{
    auto* button = Named(box->addButton(caption, QDialogButtonBox::ActionRole), name);
    button->setAutoDefault(false);
    return button;
}

std::string Text(const QLineEdit* edit)
{
    return edit->text().trimmed().toStdString();
}

} // namespace

ProfilesDialog::ProfilesDialog(QWidget* parent, settings::ProfileStore& store,
                               const credentials::Availability& keyring, BackgroundRunner& runner)
    : QDialog(parent), store_(store), keyring_(keyring), runner_(runner)
{
    setObjectName("ProfilesDialog");
    setWindowTitle(QCoreApplication::translate("ProfilesDialog", "Connection Profiles"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setModal(true);

    profilesList_ = Named(new QListWidget(this), "ProfilesListBox");
    SetHelpContext(profilesList_, 83);
    profilesList_->setAccessibleName(QCoreApplication::translate("ProfilesDialog", "Profiles"));
    connect(profilesList_, &QListWidget::currentRowChanged, this, [this] { ProfileSelected(); });

    // The fields scroll on a screen too small for them (800x600, or scaled); elsewhere the dialog opens tall
    // enough for every row, the wrapped keyring reason and the test's wait included.
    auto* editor = new QWidget(this);
    editor->setLayout(CreateEditor());
    auto* editorScroller = new QScrollArea(this);
    editorScroller->setObjectName("ProfileEditorScroller");
    editorScroller->setFrameShape(QFrame::NoFrame);
    editorScroller->setFocusPolicy(Qt::NoFocus); // no Tab stop of its own: Tab goes through its fields
    editorScroller->setWidgetResizable(true);
    editorScroller->setWidget(editor);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(profilesList_, 1);
    layout->addWidget(editorScroller, 2);
    layout->addWidget(CreateButtons());
    const QSize wanted = sizeHint().expandedTo(QSize(0, editor->sizeHint().height() + 24));
    resize(screen() ? wanted.boundedTo(screen()->availableGeometry().size() - QSize(16, 48)) : wanted);

    FillList({});
    if (profilesList_->count() == 0)
        AddButtonClick();
    NameControlsByLabels(this);
}

ProfilesDialog::~ProfilesDialog()
{
    // Closed while a test waits: the test ends with the dialog.
    if (test_)
        test_->Cancel();
}

QGridLayout* ProfilesDialog::CreateEditor()
{
    auto* grid = new QGridLayout;
    int row = 0;
    auto addRow = [&](const QString& caption, QWidget* field)
    {
        auto* label = new QLabel(caption, this);
        label->setBuddy(field);
        grid->addWidget(label, row, 0);
        grid->addWidget(field, row++, 1, 1, 2);
    };
    auto addWide = [&](QWidget* widget) { grid->addWidget(widget, row++, 0, 1, 3); };

    nameEdit_ = MakeEdit(this, "ProfileNameEdit");
    addRow(QCoreApplication::translate("ProfilesDialog", "&Name"), nameEdit_);
    connection_ = new ConnectionFields(this, grid, row, {.Shortcuts = true});
    row += ConnectionFields::Rows;
    userNameEdit_ = MakeEdit(this, "UserNameEdit");
    addRow(QCoreApplication::translate("ProfilesDialog", "&User Name"), userNameEdit_);
    keepPasswordCheckbox_ =
        Named(new QCheckBox(QCoreApplication::translate("ProfilesDialog", "Keep the password in the keyring"),
                            this),
              "KeepPasswordCheckbox");
    addWide(keepPasswordCheckbox_);
    keyringReasonLabel_ =
        Named(new QLabel(QString::fromStdString(keyring_.Reason), this), "KeyringReasonLabel");
    keyringReasonLabel_->setWordWrap(true);
    keyringReasonLabel_->setVisible(!keyring_.Available);
    keepPasswordCheckbox_->setEnabled(keyring_.Available);
    keepPasswordCheckbox_->setToolTip(QString::fromStdString(keyring_.Reason));
    addWide(keyringReasonLabel_);
    sshSection_ = new SshSection(this);
    addWide(sshSection_);
    testResultLabel_ = Named(new QLabel(this), "TestResultLabel");
    testResultLabel_->setWordWrap(true);
    addWide(testResultLabel_);
    // What the test waits for, with its Cancel (Esc cancels too while it waits).
    addWide(new WaitIndicator(
        runner_, [] { return QString(); }, this, this));
    grid->setRowStretch(row, 1); // the room left goes below the fields
    return grid;
}

QDialogButtonBox* ProfilesDialog::CreateButtons()
{
    auto* actions = new QDialogButtonBox(Qt::Vertical, this);
    connect(MakeButton(actions, QCoreApplication::translate("ProfilesDialog", "&Add"), "AddButton"),
            &QPushButton::clicked, this, [this] { RunCommand(this, [this] { AddButtonClick(); }); });
    duplicateButton_ =
        MakeButton(actions, QCoreApplication::translate("ProfilesDialog", "D&uplicate"), "DuplicateButton");
    connect(duplicateButton_, &QPushButton::clicked, this,
            [this] { RunCommand(this, [this] { DuplicateButtonClick(); }); });
    connect(MakeButton(actions, QCoreApplication::translate("ProfilesDialog", "Sa&ve"), "SaveButton"),
            &QPushButton::clicked, this, [this] { RunCommand(this, [this] { SaveButtonClick(); }); });
    deleteButton_ =
        MakeButton(actions, QCoreApplication::translate("ProfilesDialog", "&Delete"), "DeleteButton");
    connect(deleteButton_, &QPushButton::clicked, this,
            [this] { RunCommand(this, [this] { DeleteButtonClick(); }); });
    testButton_ = MakeButton(actions, QCoreApplication::translate("ProfilesDialog", "&Test Connection"),
                             "TestConnectionButton");
    connect(testButton_, &QPushButton::clicked, this,
            [this] { RunCommand(this, [this] { TestConnectionButtonClick(); }); });
    QPushButton* close = Named(actions->addButton(QCoreApplication::translate("ProfilesDialog", "&Close"),
                                                  QDialogButtonBox::RejectRole),
                               "CloseButton");
    close->setAutoDefault(false);
    connect(actions, &QDialogButtonBox::rejected, this, &QDialog::reject);
    return actions;
}

void ProfilesDialog::FillList(const QString& select)
{
    QSignalBlocker quiet(profilesList_);
    profilesList_->clear();
    for (const Profile& profile : store_.List())
        profilesList_->addItem(QString::fromStdString(profile.Name));
    QList<QListWidgetItem*> found = profilesList_->findItems(select, Qt::MatchFixedString);
    profilesList_->setCurrentRow(found.isEmpty() ? 0 : profilesList_->row(found.front()));
    quiet.unblock();
    ProfileSelected();
}

void ProfilesDialog::ProfileSelected()
{
    QListWidgetItem* item = profilesList_->currentItem();
    std::optional<Profile> profile = item ? store_.Find(item->text().toStdString()) : std::nullopt;
    if (profile)
        Load(*profile, false);
    duplicateButton_->setEnabled(profile.has_value());
    deleteButton_->setEnabled(profile.has_value());
}

void ProfilesDialog::Load(const Profile& profile, bool isNew)
{
    stored_ = isNew ? std::nullopt : std::optional(profile);
    nameEdit_->setText(QString::fromStdString(profile.Name));
    connection_->Load(profile.Server);
    userNameEdit_->setText(QString::fromStdString(profile.User));
    sshSection_->Load(profile);
    keepPasswordCheckbox_->setChecked(profile.KeepPassword && keyring_.Available);
    testResultLabel_->clear();
    loaded_ = FieldValues();
}

QStringList ProfilesDialog::FieldValues() const
{
    QStringList values;
    for (const QLineEdit* edit : findChildren<QLineEdit*>())
        values << edit->text();
    for (const QAbstractButton* box : findChildren<QAbstractButton*>())
        if (box->isCheckable())
            values << QString::number(box->isChecked());
    for (const QComboBox* chooser : findChildren<QComboBox*>())
        values << chooser->currentText();
    return values;
}

void ProfilesDialog::reject()
{
    if (FieldValues() != loaded_)
    {
        const Answer answer = DialogsFor(this).AskWarningYesNoCancel(
            this,
            QCoreApplication::translate("ProfilesDialog", "The profile %1 has changes that are not saved. "
                                                          "Would you like to save them?")
                .arg(nameEdit_->text()));
        if (answer == Answer::Cancel ||
            (answer == Answer::Yes && !RunCommand(this, [this] { SaveButtonClick(); })))
            return;
    }
    QDialog::reject();
}

QString ProfilesDialog::UnusedName(const QString& base) const
{
    QString name = base;
    for (int n = 2; store_.Find(name.toStdString()); ++n)
        name = QCoreApplication::translate("ProfilesDialog", "%1 %2").arg(base, QString::number(n));
    return name;
}

void ProfilesDialog::AddButtonClick()
{
    Profile profile;
    profile.Name = UnusedName(QCoreApplication::translate("ProfilesDialog", "New profile")).toStdString();
    profile.Server.Address = "127.0.0.1";
    profilesList_->clearSelection();
    Load(profile, true);
    nameEdit_->setFocus();
    nameEdit_->selectAll();
}

void ProfilesDialog::DuplicateButtonClick()
{
    Profile profile = Edited();
    profile.Name = UnusedName(QCoreApplication::translate("ProfilesDialog", "%1 copy")
                                  .arg(QString::fromStdString(profile.Name)))
                       .toStdString();
    Load(profile, true);
    nameEdit_->setFocus();
    nameEdit_->selectAll();
}

Profile ProfilesDialog::Edited() const
{
    Profile profile;
    profile.Name = Text(nameEdit_);
    if (std::optional<std::string> problem = settings::ProfileNameProblem(profile.Name))
        throw std::runtime_error(*problem);
    profile.User = Text(userNameEdit_);
    sshSection_->CopyTo(profile);
    // Without a Secret Service the box is greyed and unticked: the profile keeps its choice for a desktop
    // that has one.
    profile.KeepPassword =
        keyring_.Available ? keepPasswordCheckbox_->isChecked() : stored_ && stored_->KeepPassword;
    const SshSettings ssh = profile.Server.Ssh; // the SSH section's part of the description
    profile.Server = connection_->Checked();
    profile.Server.Ssh = ssh;
    return profile;
}

void ProfilesDialog::SaveButtonClick()
{
    Profile profile = Edited();
    if (stored_)
        store_.Replace(stored_->Name, profile);
    else if (store_.Find(profile.Name))
        throw std::runtime_error(
            QCoreApplication::translate("ProfilesDialog", "A profile named %1 already exists")
                .arg(QString::fromStdString(profile.Name))
                .toStdString());
    else
        store_.Save(profile);
    // A kept password belongs to the profile's name and user. A renamed profile takes it along; another user
    // has another password, so the old entry goes, as it does when the profile stops keeping it.
    if (stored_ && stored_->KeepPassword)
    {
        if (!profile.KeepPassword || stored_->User != profile.User)
            ForgetPassword(*stored_);
        else if (stored_->Name != profile.Name)
            MovePassword(*stored_, profile);
    }
    FillList(QString::fromStdString(profile.Name));
}

void ProfilesDialog::DeleteButtonClick()
{
    if (!stored_)
        return;
    Profile profile = *stored_;
    if (DialogsFor(this).AskConfirmationYesNo(
            this, QCoreApplication::translate("ProfilesDialog", "Delete the profile %1?")
                      .arg(QString::fromStdString(profile.Name))) != Answer::Yes)
        return;
    store_.Remove(profile.Name);
    if (profile.KeepPassword)
        ForgetPassword(profile);
    FillList({});
    if (profilesList_->count() == 0)
        AddButtonClick();
}

void ProfilesDialog::ForgetPassword(const Profile& profile)
{
    if (!keyring_.Available)
        return;
    keyringRequest_ = credentials::DeletePasswordAsync(
        credentials::CredentialKey::ForProfile(profile.Name, profile.User),
        [this](const std::string& error)
        {
            if (!error.empty())
                DialogsFor(this).ShowError(
                    this, QCoreApplication::translate(
                              "ProfilesDialog", "The kept password could not be removed from the keyring: %1")
                              .arg(QString::fromStdString(error)));
        });
}

void ProfilesDialog::MovePassword(const Profile& from, const Profile& to)
{
    if (!keyring_.Available)
        return;
    keyringRequest_ = credentials::MovePasswordAsync(
        credentials::CredentialKey::ForProfile(from.Name, from.User),
        credentials::CredentialKey::ForProfile(to.Name, to.User),
        [this, from = from.Name, to = to.Name](const credentials::MoveResult& result)
        {
            if (!result.Error.empty())
                DialogsFor(this).ShowError(
                    this, QCoreApplication::translate("ProfilesDialog", "Renamed %1 to %2. %3")
                              .arg(QString::fromStdString(from), QString::fromStdString(to),
                                   QString::fromStdString(result.Error)));
        });
}

void ProfilesDialog::TestConnectionButtonClick()
{
    Profile profile = Edited();
    if (!(stored_ && stored_->KeepPassword && keyring_.Available))
    {
        TestWith(profile, {});
        return;
    }
    // The keyring may show an unlock prompt: the dialog keeps working meanwhile.
    keyringRequest_ = credentials::LookupPasswordAsync(
        credentials::CredentialKey::ForProfile(stored_->Name, stored_->User),
        [this, profile](const credentials::LookupResult& result)
        { RunCommand(this, [&] { TestWith(profile, result.Password.value_or("")); }); });
}

void ProfilesDialog::TestWith(const Profile& profile, std::string password)
{
    testResultLabel_->setText(QCoreApplication::translate("ProfilesDialog", "Testing..."));
    testButton_->setEnabled(false);
    struct Outcome
    {
        std::string ServerName;
        std::string UserName;
        std::string Via; // the SSH server gone through, or nothing
    };
    QPointer<ProfilesDialog> dialog(this);
    test_ = runner_.Submit<Outcome>(
        this,
        {.NeedsLogin = false,
         .Waiting = QCoreApplication::translate("ProfilesDialog", "Testing %1")
                        .arg(QString::fromStdString(profile.Name))
                        .toStdString()},
        [dialog, profile, password, place = QString::fromStdString(profile.Server.Place())](JobContext& job)
        {
            const SshSettings& ssh = profile.Server.Ssh;
            ConnectionTestAsks asks;
            asks.Ssh = [dialog, &job](const SshQuestion& question, std::string& answer)
            {
                auto typed = std::make_shared<std::string>();
                if (!job.AskOwner([dialog, question, typed]
                                  { return dialog && AskSshQuestion(dialog, question, *typed); }))
                    return false;
                answer = std::move(*typed);
                return true;
            };
            asks.Login = [dialog, &job, place](std::string& userName, std::string& typed)
            {
                auto asked = std::make_shared<std::pair<std::string, std::string>>(userName, typed);
                if (!job.AskOwner(
                        [dialog, asked, place] {
                            return dialog &&
                                   DialogsFor(dialog).RemoteLogin(dialog, place, asked->first, asked->second);
                        }))
                    return false;
                userName = asked->first;
                typed = asked->second;
                return true;
            };
            const ConnectionTestAnswer answer =
                TestConnection(profile.Server, profile.User, password, job.Limits(), std::move(asks));
            return Outcome{answer.ServerName, answer.UserName,
                           ssh.Enabled() ? SshTargetText(ssh.User, ssh.Host, ssh.Port) : std::string()};
        },
        [this](Outcome outcome)
        {
            testButton_->setEnabled(true);
            testResultLabel_->setText(
                (outcome.Via.empty()
                     ? QCoreApplication::translate("ProfilesDialog", "Connected to the server %1 as %2.")
                     : QCoreApplication::translate(
                           "ProfilesDialog", "Connected to the server %1 as %2 through the SSH server %3."))
                    .arg(QString::fromStdString(outcome.ServerName), QString::fromStdString(outcome.UserName),
                         QString::fromStdString(outcome.Via)));
        },
        [this](std::exception_ptr error)
        {
            testButton_->setEnabled(true);
            // A failure on the way through SSH says which hop failed.
            testResultLabel_->setText(IsCancelledByPerson(error)
                                          ? QCoreApplication::translate("ProfilesDialog", "Test cancelled.")
                                          : TunnelFailureText(error));
            ShowCommandError(this, error);
        });
}

} // namespace korvel::admin
