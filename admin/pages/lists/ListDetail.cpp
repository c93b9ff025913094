#include "admin/pages/lists/ListDetail.h"

#include "engine/wire/EngineError.h"
#include "engine/wire/ErrorCodes.h"
#include "engine/wire/Utf8.h"

#include <QCollator>
#include <QCoreApplication>
#include <QSignalBlocker>

#include <algorithm>
#include <numeric>
#include <vector>

namespace korvel::admin
{

namespace
{

// The names sorted as the list shows them, each with its shown text.
NameListing SortNames(const StringList& names)
{
    const auto count = static_cast<qsizetype>(names.size());
    QStringList texts;
    texts.reserve(count);
    for (const std::string& name : names)
        texts << FromStd(name);
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    auto before = [&](qsizetype a, qsizetype b) { return collator.compare(texts[a], texts[b]) < 0; };
    std::vector<qsizetype> order(names.size());
    std::iota(order.begin(), order.end(), qsizetype(0));
    // The server sends its names in byte order, often the list's own already: one pass tells.
    if (!std::is_sorted(order.begin(), order.end(), before))
        std::stable_sort(order.begin(), order.end(), before);
    NameListing listing;
    listing.Names.reserve(count);
    listing.Shown.reserve(count);
    for (const qsizetype at : order)
    {
        listing.Names << texts[at];
        const std::string& bytes = names[static_cast<std::size_t>(at)];
        const std::string shown = ShownName(bytes);
        listing.Shown << (shown == bytes ? texts[at] : QString::fromStdString(shown));
    }
    return listing;
}

} // namespace

NameListing SortedNames::Sort(StringList names)
{
    {
        const std::lock_guard lock(mutex_);
        if (names == names_)
            return listing_;
    }
    NameListing listing = SortNames(names);
    const std::lock_guard lock(mutex_);
    names_ = std::move(names);
    listing_ = listing;
    return listing;
}

NameListing ListNames(StringList names, const RowPick& pick, SortedNames& sorted)
{
    NameListing listing = sorted.Sort(std::move(names));
    const int count = static_cast<int>(listing.Names.size());
    listing.Selected = count - 1;
    // at(), not [], which would copy the names the sort keeps (and the list compares its rows with).
    for (int i = 0; i < count; ++i)
        if (i >= pick.FormerIndex ||
            QString::compare(listing.Names.at(i), pick.Name, Qt::CaseInsensitive) == 0)
        {
            listing.Selected = i;
            break;
        }
    return listing;
}

void ShowListing(NameListView* list, const NameListing& listing)
{
    const QSignalBlocker block(list);
    list->Rows()->SetRows(listing.Names, listing.Shown);
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
    return name + QStringLiteral(": ") + changes.join(QStringLiteral("; ")) + QStringLiteral("\n\n") +
           QCoreApplication::translate(
               "ListDetail",
               "Another administrator changed this while you were editing it. Save your values over theirs?");
}

QString DeletedMeanwhileText(const QString& name)
{
    return QCoreApplication::translate("ListDetail",
                                       "%1 was deleted by another administrator while you were editing it; "
                                       "nothing was saved. Cancel shows the list as the server holds it now.")
        .arg(name);
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
    changes << QCoreApplication::translate("ListDetail", "%1 was %2, now %3")
                   .arg(field, quoted(shown), quoted(now));
}

} // namespace korvel::admin
