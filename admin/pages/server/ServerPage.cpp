#include "admin/pages/server/ServerPage.h"

#include "addresses/AddressRules.h"

#include "admin/common/Command.h"
#include "admin/common/Dialogs.h"
#include "admin/common/Help.h"
#include "admin/common/WindowJournal.h"
#include "admin/pages/PageFields.h"
#include "admin/pages/server/AddressListChecks.h"
#include "engine/wire/Utf8.h"
#include "session/KORVELSession.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <limits>

namespace korvel::admin
{

std::uint16_t ConvertConfigNumber(const QString& text, const QString& fieldCaption)
{
    bool ok = false;
    const qlonglong value = text.trimmed().toLongLong(&ok);
    if (!ok)
        throw EConvertError(
            QCoreApplication::translate("ServerPage", "'%1' is not a valid integer value").arg(text));
    if (value < 0 || value > std::numeric_limits<std::uint16_t>::max())
        throw EConvertError(
            QCoreApplication::translate("ServerPage",
                                        "'%1' is out of range for \"%2\": enter a number from 0 to 65535")
                .arg(text, fieldCaption));
    return static_cast<std::uint16_t>(value);
}

namespace
{

// The lines of an address list; a line the server could not hold whole is refused rather than cut.
StringList AddressLines(const QPlainTextEdit* memo, const QString& listCaption)
{
    StringList lines = MemoLines(memo);
    for (const std::string& line : lines)
        if (line.size() > MaxProtocolString)
            throw EConvertError(
                QCoreApplication::translate("ServerPage", "A line of \"%1\" is longer than 255 bytes: '%2'")
                    .arg(listCaption, FromStd(line)));
    return lines;
}

} // namespace

ServerPage::ServerPage(const PageContext& context, QWidget* parent)
    : AdminPage(parent), session_(context.Session), runner_(context.Runner), journal_(context.Journal),
      sessionWalk_(context.SessionWalk), dialogStartDir_(context.DialogStartDir)
{
    CreateControls();
    ConnectCommand(EditServerButton, this, &ServerPage::EditServerButtonClick);
    ConnectCommand(SaveServerButton, this, &ServerPage::SaveServerButtonClick);
    ConnectCommand(CancelServerButton, this, &ServerPage::CancelServerButtonClick);
    ConnectCommand(SelectTempFilesDirButton, this, &ServerPage::SelectTempFilesDirButtonClick);
    connect(&runner_, &BackgroundRunner::commandRunningChanged, this,
            [this](bool running)
            {
                for (QWidget* button :
                     std::initializer_list<QWidget*>{EditServerButton, SaveServerButton, CancelServerButton})
                    button->setEnabled(!running);
            });
    SetServerViewMode();
}

void ServerPage::CreateControls()
{
    QGroupBox* frame = MakePageFrame(this, QCoreApplication::translate("ServerPage", "Server Information"));

    // Nothing outside the check box row and the button bars moves between view and edit mode: a widget that
    // can change size makes Qt lay the whole page out again, and the tab widget then repaints the whole
    // window.
    const CheckBoxRow denyLogins = MakeCheckBoxRow(
        frame, "DenyLoginsCheckBox", QCoreApplication::translate("ServerPage", "Deny New Connections"), 29);
    DenyLoginsCheckBox = denyLogins.Box;
    DenyLoginsLabel = denyLogins.Label;
    MaxConnectionsEdit = MakeLineEdit(frame, "MaxConnectionsEdit", 30);
    TimeoutEdit = MakeLineEdit(frame, "TimeoutEdit", 31);
    DeadSessionIntervalEdit = MakeLineEdit(frame, "DeadSessionIntervalEdit", 32);
    DeadSessionExpiresEdit = MakeLineEdit(frame, "DeadSessionExpiresEdit", 33);
    MaxDeadSessionsEdit = MakeLineEdit(frame, "MaxDeadSessionsEdit", 34);
    TempDirectoryEdit = MakeLineEdit(frame, "TempDirectoryEdit", 35);
    LimitToProtocolString(TempDirectoryEdit);
    auto* selectBar = new QWidget(frame);
    SelectTempFilesDirButton = MakeButton(selectBar, "SelectTempFilesDirButton",
                                          QCoreApplication::translate("ServerPage", "Se&lect..."), 78);
    LayOutButtonBar(selectBar, {{SelectTempFilesDirButton}});
    AuthorizedAddressesMemo = MakeMemo(frame, "AuthorizedAddressesMemo", 36);
    BlockedAddressesMemo = MakeMemo(frame, "BlockedAddressesMemo", 37);
    MarkBadAddressLines(AuthorizedAddressesMemo);
    MarkBadAddressLines(BlockedAddressesMemo);
    auto* buttonBar = new QWidget(frame);
    EditServerButton =
        MakeButton(buttonBar, "EditServerButton", QCoreApplication::translate("ServerPage", "&Edit"), 38);
    SaveServerButton =
        MakeButton(buttonBar, "SaveServerButton", QCoreApplication::translate("ServerPage", "&Save"), 39);
    CancelServerButton =
        MakeButton(buttonBar, "CancelServerButton", QCoreApplication::translate("ServerPage", "Cancel"), 40);
    // Edit stands where Cancel does, at the right.
    LayOutButtonBar(buttonBar, {{SaveServerButton}, {EditServerButton, CancelServerButton}});

    auto* fields = new QGridLayout;
    fields->addWidget(denyLogins.Row, 0, 0, 1, 3, Qt::AlignLeft);
    struct NumberRow
    {
        const char* Caption;
        QLineEdit* Field;
        int HelpContext;
        bool Seconds;
    };
    const NumberRow rows[] = {
        {QT_TRANSLATE_NOOP("ServerPage", "Max # of Connections"), MaxConnectionsEdit, 30, false},
        {QT_TRANSLATE_NOOP("ServerPage", "Connection Timeout"), TimeoutEdit, 31, true},
        {QT_TRANSLATE_NOOP("ServerPage", "Dead Session Cleanup Interval"), DeadSessionIntervalEdit, 32, true},
        {QT_TRANSLATE_NOOP("ServerPage", "Dead Session Expiration"), DeadSessionExpiresEdit, 33, true},
        {QT_TRANSLATE_NOOP("ServerPage", "Maximum # of Dead Sessions"), MaxDeadSessionsEdit, 34, false}};
    int row = 1;
    for (const NumberRow& number : rows)
    {
        number.Field->installEventFilter(this);
        number.Field->setMaximumWidth(80);
        fields->addWidget(MakeLabel(frame, QCoreApplication::translate("ServerPage", number.Caption),
                                    number.Field, number.HelpContext),
                          row, 0);
        fields->addWidget(number.Field, row, 1);
        if (number.Seconds)
            fields->addWidget(MakeLabel(frame, QCoreApplication::translate("ServerPage", "secs"),
                                        number.Field, number.HelpContext),
                              row, 2);
        ++row;
    }
    fields->addWidget(MakeLabel(frame, QCoreApplication::translate("ServerPage", "Temp Files Directory"),
                                TempDirectoryEdit, 35),
                      row++, 0, 1, 3);
    auto* directoryRow = new QHBoxLayout;
    directoryRow->addWidget(TempDirectoryEdit, 1);
    directoryRow->addWidget(selectBar);
    fields->addLayout(directoryRow, row++, 0, 1, 3);
    fields->setRowStretch(row, 1);
    fields->setColumnStretch(2, 1);

    auto* lists = new QGridLayout;
    lists->addWidget(MakeLabel(frame, QCoreApplication::translate("ServerPage", "Authorized Addresses"),
                               AuthorizedAddressesMemo, 36),
                     0, 0);
    lists->addWidget(AuthorizedAddressesMemo, 1, 0);
    lists->addWidget(MakeLabel(frame, QCoreApplication::translate("ServerPage", "Blocked Addresses"),
                               BlockedAddressesMemo, 37),
                     0, 1);
    lists->addWidget(BlockedAddressesMemo, 1, 1);

    auto* columns = new QHBoxLayout;
    columns->addLayout(fields, 1);
    columns->addSpacing(12);
    columns->addLayout(lists, 1);
    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->addLayout(columns, 1);
    frameLayout->addWidget(buttonBar, 0, Qt::AlignRight);
}

std::function<void()> ServerPage::ReadAtLogin(JobContext& job, LoginReads&)
{
    job.Check();
    ServerConfig config;
    session_.GetServerConfig(config);
    return [this, config]
    {
        ResetEditState();
        ShowConfig(config);
    };
}

QString ServerPage::PendingEditsQuestion() const
{
    return QCoreApplication::translate("ServerPage",
                                       "You are currently editing the server information. Would you like to "
                                       "save this information before continuing ?");
}

void ServerPage::ResetEditState()
{
    SetServerViewMode();
    ServerEditState = esViewing;
}

void ServerPage::LoadServerConfig()
{
    TKORVELSession& session = session_;
    SubmitCommand<ServerConfig>(
        this, runner_, {},
        [&session](JobContext& job)
        {
            job.Check();
            ServerConfig config;
            session.GetServerConfig(config);
            return config;
        },
        [this](ServerConfig config) { ShowConfig(config); });
}

void ServerPage::ShowConfig(const ServerConfig& config)
{
    shownConfig_ = config;
    DenyLoginsCheckBox->setChecked(config.DenyLogins);
    MaxConnectionsEdit->setText(QString::number(config.MaxConnections));
    TimeoutEdit->setText(QString::number(config.ConnectionTimeout));
    DeadSessionIntervalEdit->setText(QString::number(config.DeadSessionInterval));
    DeadSessionExpiresEdit->setText(QString::number(config.DeadSessionExpires));
    MaxDeadSessionsEdit->setText(QString::number(config.MaxDeadSessions));
    TempDirectoryEdit->setText(FromStd(config.TempDirectory));
    SetMemoLines(AuthorizedAddressesMemo, config.AuthorizedAddresses);
    SetMemoLines(BlockedAddressesMemo, config.BlockedAddresses);
}

void ServerPage::SetEditable(bool editable)
{
    for (QWidget* field : std::initializer_list<QWidget*>{
             MaxConnectionsEdit, TimeoutEdit, DeadSessionIntervalEdit, DeadSessionExpiresEdit,
             MaxDeadSessionsEdit, TempDirectoryEdit, AuthorizedAddressesMemo, BlockedAddressesMemo})
        SetFieldEditable(field, editable);
    SetCheckBoxEditable(DenyLoginsCheckBox, DenyLoginsLabel, editable);
    // The first field takes the focus before Edit is hidden: a hidden button that holds it passes it on down
    // the chain, each control on the way repainted and announced to a screen reader.
    if (editable)
        MaxConnectionsEdit->setFocus();
    SelectTempFilesDirButton->setVisible(editable);
    EditServerButton->setVisible(!editable);
    SaveServerButton->setVisible(editable);
    CancelServerButton->setVisible(editable);
}

void ServerPage::SetServerEditMode()
{
    SetEditable(true);
}

void ServerPage::SetServerViewMode()
{
    SetEditable(false);
}

void ServerPage::EditServerButtonClick()
{
    ServerEditState = esEditing;
    SetServerEditMode();
}

ServerConfig ServerPage::EditedConfig() const
{
    ServerConfig config;
    config.ConnectionTimeout = ConvertConfigNumber(
        TimeoutEdit->text(), QCoreApplication::translate("ServerPage", "Connection Timeout"));
    config.DeadSessionInterval =
        ConvertConfigNumber(DeadSessionIntervalEdit->text(),
                            QCoreApplication::translate("ServerPage", "Dead Session Cleanup Interval"));
    config.DeadSessionExpires = ConvertConfigNumber(
        DeadSessionExpiresEdit->text(), QCoreApplication::translate("ServerPage", "Dead Session Expiration"));
    config.MaxDeadSessions = ConvertConfigNumber(
        MaxDeadSessionsEdit->text(), QCoreApplication::translate("ServerPage", "Maximum # of Dead Sessions"));
    config.TempDirectory = ToStd(TempDirectoryEdit->text());
    config.MaxConnections = ConvertConfigNumber(
        MaxConnectionsEdit->text(), QCoreApplication::translate("ServerPage", "Max # of Connections"));
    config.DenyLogins = DenyLoginsCheckBox->isChecked();
    config.AuthorizedAddresses = AddressLines(
        AuthorizedAddressesMemo, QCoreApplication::translate("ServerPage", "Authorized Addresses"));
    config.BlockedAddresses =
        AddressLines(BlockedAddressesMemo, QCoreApplication::translate("ServerPage", "Blocked Addresses"));
    return config;
}

ServerConfig ServerPage::WithoutTypedBlankLines(ServerConfig config) const
{
    // A blank line the person left in a list they changed is not an entry; a list left as read goes back as
    // it came.
    for (auto list : {&ServerConfig::AuthorizedAddresses, &ServerConfig::BlockedAddresses})
        if (!shownConfig_ || config.*list != (*shownConfig_).*list)
            std::erase_if(config.*list,
                          [](const std::string& entry) { return addresses::BlankEntry(entry); });
    return config;
}

void ServerPage::Save(std::function<void()> saved)
{
    // The checks name lines as the person sees them in the lists; what is sent leaves typed blank lines out.
    const ServerConfig edited = EditedConfig();
    const ServerConfig config = WithoutTypedBlankLines(edited);
    // Still editing until the checks are answered and the save is done.
    TKORVELSession& session = session_;
    ConfirmConfigSave(
        this, {session_, runner_, *sessionWalk_}, shownConfig_, edited,
        [&session, changes = journal_.Sender(), config](JobContext& job, const ServerConfig& current)
        {
            changes.Through(session).ModifyConfig(current, config);
            job.Check();
            ServerConfig stored;
            session.GetServerConfig(stored);
            return stored;
        },
        [this, saved = std::move(saved)](const ServerConfig& stored)
        {
            ShowConfig(stored);
            ResetEditState();
            if (saved)
                saved();
        });
}

void ServerPage::CancelServerButtonClick()
{
    LoadServerConfig();
    ResetEditState();
}

void ServerPage::SelectTempFilesDirButtonClick()
{
    const QString typed = TempDirectoryEdit->text();
    const QString start = !typed.isEmpty() && QDir(typed).exists() ? typed : dialogStartDir_;
    if (const std::optional<QString> chosen = DialogsFor(this).BrowseForDirectory(this, start))
        TempDirectoryEdit->setText(*chosen);
}

bool ServerPage::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && MaxConnectionsEditKeyPress(event))
        return true;
    return AdminPage::eventFilter(watched, event);
}

bool ServerPage::MaxConnectionsEditKeyPress(QEvent* event)
{
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Backspace || key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
        return false;
    const QString typed = key->text();
    const bool typesCharacter = !typed.isEmpty() && typed.at(0).isPrint();
    return typesCharacter &&
           !(typed.size() == 1 && typed.at(0) >= QLatin1Char('0') && typed.at(0) <= QLatin1Char('9'));
}

} // namespace korvel::admin
