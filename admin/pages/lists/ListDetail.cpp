#include "admin/pages/lists/ListDetail.h"

#include "engine/wire/EngineError.h"
#include "engine/wire/ErrorCodes.h"

#include <QCollator>
#include <QSignalBlocker>

#include <algorithm>

namespace korvel::admin
{

NameListing ListNames(const StringList& names, const RowPick& pick)
{
    NameListing listing;
    listing.Names.reserve(static_cast<qsizetype>(names.size()));
    for (const std::string& name : names)
        listing.Names << FromStd(name);
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(listing.Names.begin(), listing.Names.end(),
                     [&collator](const QString& a, const QString& b) { return collator.compare(a, b) < 0; });
    const int count = static_cast<int>(listing.Names.size());
    listing.Selected = count - 1;
    for (int i = 0; i < count; ++i)
        if (i >= pick.FormerIndex || QString::compare(listing.Names[i], pick.Name, Qt::CaseInsensitive) == 0)
        {
            listing.Selected = i;
            break;
        }
    return listing;
}

void ShowListing(QListWidget* list, const NameListing& listing)
{
    const QSignalBlocker block(list);
    list->clear();
    for (const QString& name : listing.Names)
    {
        auto* item = new QListWidgetItem(ShownText(name), list);
        item->setData(Qt::UserRole, name);
    }
    list->setCurrentRow(listing.Selected);
}

bool IsNotFound(std::exception_ptr error)
{
    try
    {
        std::rethrow_exception(error);
    }
    catch (const EKORVELEngineError& failure)
    {
        return failure.ErrorCode == KORVEL_REMOTENOUSER || failure.ErrorCode == KORVEL_REMOTENODB ||
               failure.ErrorCode == KORVEL_REMOTENODBUSER;
    }
    catch (...)
    {
        return false;
    }
}

QString OverwriteQuestion(const QString& name, const QStringList& changes)
{
    return name + QStringLiteral(": ") + changes.join(QStringLiteral("; ")) +
           QStringLiteral(
               "\n\nAnother administrator changed this while you were editing it. Save your values "
               "over theirs?");
}

QString DeletedMeanwhileText(const QString& name)
{
    return name +
           QStringLiteral(" was deleted by another administrator while you were editing it; nothing was "
                          "saved. Cancel shows the list as the server holds it now.");
}

void DescribeChange(QStringList& changes, const QString& field, const QString& shown, const QString& now)
{
    if (shown == now)
        return;
    constexpr int Longest = 40;
    auto quoted = [](const QString& text)
    {
        const QString oneLine =
            QString(text).replace(QLatin1Char('\r'), QString()).replace(QLatin1Char('\n'), QLatin1Char(' '));
        return QLatin1Char('"') +
               (oneLine.size() > Longest ? oneLine.left(Longest) + QChar(0x2026) : oneLine) +
               QLatin1Char('"');
    };
    changes << QStringLiteral("%1 was %2, now %3").arg(field, quoted(shown), quoted(now));
}

} // namespace korvel::admin
