#include "admin/pages/server/AddressListChecks.h"

#include "addresses/AddressChecks.h"
#include "addresses/AddressRules.h"
#include "admin/common/Command.h"
#include "admin/common/Dialogs.h"
#include "admin/common/RecentSessionWalk.h"
#include "admin/pages/PageFields.h"
#include "admin/pages/lists/ListDetail.h"
#include "operations/ConfigChecks.h"
#include "session/KORVELSession.h"

#include <QPlainTextEdit>
#include <QTextBlock>

namespace korvel::admin
{

namespace
{

void UnderlineBadLines(QPlainTextEdit* memo)
{
    QList<QTextEdit::ExtraSelection> marks;
    for (QTextBlock block = memo->document()->begin(); block.isValid(); block = block.next())
    {
        const std::string entry = ToStd(block.text());
        if (addresses::BlankEntry(entry) || addresses::RecognisedPattern(entry))
            continue;
        QTextEdit::ExtraSelection mark;
        mark.cursor = QTextCursor(block);
        mark.cursor.select(QTextCursor::LineUnderCursor);
        mark.format.setUnderlineStyle(QTextCharFormat::WaveUnderline);
        mark.format.setUnderlineColor(Qt::red);
        mark.format.setToolTip(QStringLiteral("Not a recognised address pattern"));
        marks << mark;
    }
    memo->setExtraSelections(marks);
}

} // namespace

void MarkBadAddressLines(QPlainTextEdit* memo)
{
    QObject::connect(memo, &QPlainTextEdit::textChanged, memo, [memo] { UnderlineBadLines(memo); });
    UnderlineBadLines(memo);
}

QStringList DescribeConfigChanges(const ServerConfig& before, const ServerConfig& now)
{
    QStringList changes;
    auto number = [&](const QString& field, auto ServerConfig::*value)
    { DescribeChange(changes, field, QString::number(before.*value), QString::number(now.*value)); };
    auto list = [&](const QString& field, StringList ServerConfig::*value)
    {
        auto joined = [](const StringList& entries)
        {
            QStringList texts;
            for (const std::string& entry : entries)
                texts << FromStd(entry);
            return texts.join(QStringLiteral(", "));
        };
        DescribeChange(changes, field, joined(before.*value), joined(now.*value));
    };
    DescribeChange(changes, QStringLiteral("Deny New Connections"),
                   before.DenyLogins ? QStringLiteral("Yes") : QStringLiteral("No"),
                   now.DenyLogins ? QStringLiteral("Yes") : QStringLiteral("No"));
    number(QStringLiteral("Max # of Connections"), &ServerConfig::MaxConnections);
    number(QStringLiteral("Connection Timeout"), &ServerConfig::ConnectionTimeout);
    number(QStringLiteral("Dead Session Cleanup Interval"), &ServerConfig::DeadSessionInterval);
    number(QStringLiteral("Dead Session Expiration"), &ServerConfig::DeadSessionExpires);
    number(QStringLiteral("Maximum # of Dead Sessions"), &ServerConfig::MaxDeadSessions);
    DescribeChange(changes, QStringLiteral("Temp Files Directory"), FromStd(before.TempDirectory),
                   FromStd(now.TempDirectory));
    list(QStringLiteral("Authorized Addresses"), &ServerConfig::AuthorizedAddresses);
    list(QStringLiteral("Blocked Addresses"), &ServerConfig::BlockedAddresses);
    return changes;
}

void ConfirmConfigSave(QWidget* parent, const ConfigSaveSources& sources,
                       const std::optional<ServerConfig>& shown, const ServerConfig& changed,
                       std::function<void(const ServerConfig& current)> confirmed)
{
    struct Checked
    {
        ServerConfig Current;
        QStringList ChangedMeanwhile;
        std::vector<std::string> Warnings;
    };
    TKORVELSession& session = sources.Session;
    const std::optional<StringList> recentAddresses = sources.SessionWalk.Fresh();
    SubmitCommand<Checked>(
        parent, sources.Runner, {},
        [&session, shown, changed, recentAddresses](JobContext& job)
        {
            job.Check();
            Checked checked;
            ServerConfig& current = checked.Current;
            session.GetServerConfig(current);
            if (shown)
                checked.ChangedMeanwhile = DescribeConfigChanges(*shown, current);
            StringList sessionAddresses;
            if (addresses::MayLockOut(current, changed))
            {
                job.Check();
                sessionAddresses =
                    recentAddresses ? *recentAddresses : operations::ReadSessionAddresses(session);
            }
            checked.Warnings = operations::ConfigWarnings(current, changed, sessionAddresses);
            return checked;
        },
        [parent, confirmed = std::move(confirmed)](Checked checked)
        {
            if (!checked.ChangedMeanwhile.isEmpty() &&
                CurrentDialogs().AskWarningYesNo(parent,
                                                 OverwriteQuestion(QStringLiteral("Server configuration"),
                                                                   checked.ChangedMeanwhile)) != Answer::Yes)
                return;
            for (const std::string& warning : checked.Warnings)
                if (CurrentDialogs().AskWarningYesNo(
                        parent, FromStd(warning) + QStringLiteral(" Save anyway?")) != Answer::Yes)
                    return;
            confirmed(checked.Current);
        });
}

} // namespace korvel::admin
