#include "admin/pages/AddressListChecks.h"

#include "addresses/AddressChecks.h"
#include "addresses/AddressRules.h"
#include "admin/common/BackgroundRunner.h"
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

bool ConfirmConfigSave(QWidget* parent, const ConfigSaveSources& sources, const ServerConfig& changed)
{
    TKORVELSession& session = sources.Session;
    ServerConfig current;
    sources.Runner.Await([&] { session.GetServerConfig(current); });
    StringList sessionAddresses;
    if (addresses::MayLockOut(current, changed))
    {
        if (std::optional<StringList> recent = sources.SessionWalk.Fresh())
            sessionAddresses = std::move(*recent);
        else
            sessionAddresses =
                sources.Runner.Await([&] { return operations::ReadSessionAddresses(session); });
    }
    for (const std::string& warning : operations::ConfigWarnings(current, changed, sessionAddresses))
        if (CurrentDialogs().AskWarningYesNo(parent, FromStd(warning) + QStringLiteral(" Save anyway?")) !=
            Answer::Yes)
            return false;
    return true;
}

} // namespace korvel::admin
