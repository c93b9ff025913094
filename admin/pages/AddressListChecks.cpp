#include "admin/pages/AddressListChecks.h"

#include "addresses/AddressChecks.h"
#include "addresses/AddressRules.h"
#include "admin/common/Command.h"
#include "admin/common/Dialogs.h"
#include "admin/common/RecentSessionWalk.h"
#include "admin/pages/PageFields.h"
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

void ConfirmConfigSave(QWidget* parent, const ConfigSaveSources& sources, const ServerConfig& changed,
                       std::function<void()> confirmed)
{
    TKORVELSession& session = sources.Session;
    const std::optional<StringList> recentAddresses = sources.SessionWalk.Fresh();
    SubmitCommand<std::vector<std::string>>(
        parent, sources.Runner, {},
        [&session, changed, recentAddresses](JobContext& job)
        {
            job.Check();
            ServerConfig current;
            session.GetServerConfig(current);
            StringList sessionAddresses;
            if (addresses::MayLockOut(current, changed))
            {
                job.Check();
                sessionAddresses =
                    recentAddresses ? *recentAddresses : operations::ReadSessionAddresses(session);
            }
            return operations::ConfigWarnings(current, changed, sessionAddresses);
        },
        [parent, confirmed = std::move(confirmed)](std::vector<std::string> warnings)
        {
            for (const std::string& warning : warnings)
                if (CurrentDialogs().AskWarningYesNo(
                        parent, FromStd(warning) + QStringLiteral(" Save anyway?")) != Answer::Yes)
                    return;
            confirmed();
        });
}

} // namespace korvel::admin
