#include "admin/pages/server/AddressListChecks.h"

#include "addresses/AddressChecks.h"
#include "addresses/AddressRules.h"
#include "admin/common/Command.h"
#include "admin/common/Dialogs.h"
#include "admin/common/RecentSessionWalk.h"
#include "admin/pages/PageFields.h"
#include "admin/pages/lists/ListDetail.h"
#include "operations/ConfigChecks.h"
#include "operations/FreshRead.h"
#include "session/KORVELSession.h"

#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QTextBlock>

#include <set>

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
        mark.format.setToolTip(QCoreApplication::translate("ServerPage", "Not a recognised address pattern"));
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
    const auto yesNo = [](bool value)
    {
        return value ? QCoreApplication::translate("ServerPage", "Yes")
                     : QCoreApplication::translate("ServerPage", "No");
    };
    DescribeChange(changes, QCoreApplication::translate("ServerPage", "Deny New Connections"),
                   yesNo(before.DenyLogins), yesNo(now.DenyLogins));
    number(QCoreApplication::translate("ServerPage", "Max # of Connections"), &ServerConfig::MaxConnections);
    number(QCoreApplication::translate("ServerPage", "Connection Timeout"), &ServerConfig::ConnectionTimeout);
    number(QCoreApplication::translate("ServerPage", "Dead Session Cleanup Interval"),
           &ServerConfig::DeadSessionInterval);
    number(QCoreApplication::translate("ServerPage", "Dead Session Expiration"),
           &ServerConfig::DeadSessionExpires);
    number(QCoreApplication::translate("ServerPage", "Maximum # of Dead Sessions"),
           &ServerConfig::MaxDeadSessions);
    DescribeChange(changes, QCoreApplication::translate("ServerPage", "Temp Files Directory"),
                   FromStd(before.TempDirectory), FromStd(now.TempDirectory));
    list(QCoreApplication::translate("ServerPage", "Authorized Addresses"),
         &ServerConfig::AuthorizedAddresses);
    list(QCoreApplication::translate("ServerPage", "Blocked Addresses"), &ServerConfig::BlockedAddresses);
    return changes;
}

void ConfirmConfigSave(QWidget* parent, const ConfigSaveSources& sources,
                       const std::optional<ServerConfig>& shown, const ServerConfig& changed,
                       std::function<ServerConfig(JobContext& job, const ServerConfig& current)> send,
                       std::function<void(const ServerConfig& stored)> sent)
{
    using operations::Asked;
    TKORVELSession& session = sources.Session;
    const std::optional<StringList> recentAddresses = sources.SessionWalk.Fresh();
    SubmitCommand<std::optional<ServerConfig>>(
        parent, sources.Runner, {.Changes = true},
        [parent, &session, shown, changed, recentAddresses,
         send](JobContext& job) -> std::optional<ServerConfig>
        {
            auto yes = [&](const QString& question)
            {
                return job.AskOwner(
                    [parent, question] {
                        return DialogsFor(parent).AskWarningYesNo(parent, question, Answer::No) ==
                               Answer::Yes;
                    });
            };
            std::set<std::string> answered; // warnings said yes to are not asked again
            auto ask = [&](const std::optional<ServerConfig>& asked, const ServerConfig& now)
            {
                bool askedAny = false;
                const QStringList meanwhile = asked ? DescribeConfigChanges(*asked, now) : QStringList();
                if (!meanwhile.isEmpty())
                {
                    if (!yes(OverwriteQuestion(
                            QCoreApplication::translate("ServerPage", "Server configuration"), meanwhile)))
                        return Asked::Declined;
                    askedAny = true;
                }
                StringList sessionAddresses;
                if (addresses::MayLockOut(now, changed))
                {
                    job.Check();
                    sessionAddresses =
                        recentAddresses ? *recentAddresses : operations::ReadSessionAddresses(session);
                }
                for (const std::string& warning : operations::ConfigWarnings(now, changed, sessionAddresses))
                    if (answered.insert(warning).second)
                    {
                        if (!yes(FromStd(warning) + QLatin1Char(' ') +
                                 QCoreApplication::translate("ServerPage", "Save anyway?")))
                            return Asked::Declined;
                        askedAny = true;
                    }
                return askedAny ? Asked::Agreed : Asked::Nothing;
            };
            const std::optional<ServerConfig> current = operations::ReadAfterQuestions<ServerConfig>(
                shown,
                [&]
                {
                    job.Check();
                    ServerConfig config;
                    session.GetServerConfig(config);
                    return config;
                },
                ask);
            if (!current)
                return std::nullopt;
            job.Check();
            return send(job, *current);
        },
        [sent = std::move(sent)](const std::optional<ServerConfig>& stored)
        {
            if (stored)
                sent(*stored);
        });
}

} // namespace korvel::admin
