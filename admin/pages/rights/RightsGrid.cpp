#include "admin/pages/rights/RightsGrid.h"

#include "engine/wire/Utf8.h"

#include "admin/pages/PageFields.h"

#include <QBrush>
#include <QCoreApplication>
#include <QPalette>

#include <algorithm>
#include <bit>

namespace korvel::admin
{

namespace
{

StringList SortedWithoutCase(StringList names)
{
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b)
              { return FromStd(a).compare(FromStd(b), Qt::CaseInsensitive) < 0; });
    return names;
}

const char* const RightNames[] = {
    QT_TRANSLATE_NOOP("RightsGrid", "read"),   QT_TRANSLATE_NOOP("RightsGrid", "insert"),
    QT_TRANSLATE_NOOP("RightsGrid", "update"), QT_TRANSLATE_NOOP("RightsGrid", "delete"),
    QT_TRANSLATE_NOOP("RightsGrid", "create"), QT_TRANSLATE_NOOP("RightsGrid", "alter"),
    QT_TRANSLATE_NOOP("RightsGrid", "drop")};

QString RightsDescription(const operations::PairRights& rights)
{
    if (!rights)
        return QCoreApplication::translate("RightsGrid", "not a database user");
    QStringList names;
    for (int bit = 0; bit < 7; ++bit)
        if (rights->Contains(static_cast<TUserRight>(bit)))
            names << QCoreApplication::translate("RightsGrid", RightNames[bit]);
    return names.isEmpty() ? QCoreApplication::translate("RightsGrid", "a database user with no rights")
                           : names.join(", ");
}

// Orders "?" < "-" < "·" < one right < two rights ...; sets of the same size by their bits (Read lowest).
int SortKey(bool read, const operations::PairRights& rights)
{
    if (!read)
        return -2;
    if (!rights)
        return -1;
    const std::uint8_t byte = rights->ToByte();
    return std::popcount(byte) * 256 + byte;
}

} // namespace

void RightsGridModel::SetNames(const StringList& users, const StringList& databases)
{
    beginResetModel();
    matrix_ = {};
    matrix_.Users = SortedWithoutCase(users);
    matrix_.Databases = SortedWithoutCase(databases);
    read_.clear();
    endResetModel();
}

void RightsGridModel::SetColumn(operations::DatabaseColumn column)
{
    auto position = std::find(matrix_.Databases.begin(), matrix_.Databases.end(), column.Database);
    if (position == matrix_.Databases.end())
        return;
    const int section = static_cast<int>(position - matrix_.Databases.begin());
    read_.insert(column.Database);
    matrix_.SetColumn(std::move(column));
    if (transposed_)
        emit dataChanged(index(section, 0), index(section, columnCount() - 1));
    else
        emit dataChanged(index(0, section), index(rowCount() - 1, section));
}

void RightsGridModel::SetTransposed(bool transposed)
{
    if (transposed == transposed_)
        return;
    beginResetModel();
    transposed_ = transposed;
    endResetModel();
}

QModelIndex RightsGridModel::IndexOf(const std::string& user, const std::string& database) const
{
    const auto& [row, column] = transposed_ ? std::pair{database, user} : std::pair{user, database};
    const auto rowAt = std::find(RowNames().begin(), RowNames().end(), row);
    const auto columnAt = std::find(ColumnNames().begin(), ColumnNames().end(), column);
    if (rowAt == RowNames().end() || columnAt == ColumnNames().end())
        return {};
    return index(static_cast<int>(rowAt - RowNames().begin()),
                 static_cast<int>(columnAt - ColumnNames().begin()));
}

std::pair<std::string, std::string> RightsGridModel::PairAt(const QModelIndex& index) const
{
    const std::string& row = RowNames().at(static_cast<std::size_t>(index.row()));
    const std::string& column = ColumnNames().at(static_cast<std::size_t>(index.column()));
    return transposed_ ? std::pair{column, row} : std::pair{row, column};
}

int RightsGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(RowNames().size());
}

int RightsGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(ColumnNames().size());
}

QVariant RightsGridModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    auto [user, database] = PairAt(index);
    const bool read = read_.count(database) > 0;
    switch (role)
    {
    case Qt::DisplayRole:
        return read ? FromStd(operations::RightsLetters(matrix_.Rights(user, database)))
                    : QStringLiteral("?");
    case Qt::AccessibleTextRole: // "bob on Sales: read, insert, update", as a screen reader says it
        return QCoreApplication::translate("RightsGrid", "%1 on %2: %3")
            .arg(ShownText(FromStd(user)), ShownText(FromStd(database)),
                 read ? RightsDescription(matrix_.Rights(user, database))
                      : QCoreApplication::translate("RightsGrid", "not read yet"));
    case Qt::ToolTipRole:
        return QCoreApplication::translate("RightsGrid", "'%1' on '%2': %3")
            .arg(FromStd(ShownName(user)), FromStd(ShownName(database)),
                 read ? RightsDescription(matrix_.Rights(user, database))
                      : QCoreApplication::translate("RightsGrid", "not read yet"));
    case SortKeyRole:
        return SortKey(read, matrix_.Rights(user, database));
    case Qt::TextAlignmentRole:
        return int(Qt::AlignCenter);
    case Qt::ForegroundRole:
        if (!read || !matrix_.Rights(user, database))
            return QPalette().brush(QPalette::Disabled, QPalette::Text);
        return {};
    default:
        return {};
    }
}

Qt::ItemFlags RightsGridModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    // Cells of a database read so far can be edited in place.
    if (index.isValid() && read_.count(PairAt(index).second) > 0)
        flags |= Qt::ItemIsEditable;
    return flags;
}

QVariant RightsGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    // The tooltip shows a name that its header elides whole.
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    const StringList& names = orientation == Qt::Vertical ? RowNames() : ColumnNames();
    if (section < 0 || section >= static_cast<int>(names.size()))
        return {};
    return ShownText(FromStd(names[static_cast<std::size_t>(section)]));
}

RightsFilterProxy::RightsFilterProxy()
{
    setSortRole(RightsGridModel::SortKeyRole);
}

void RightsFilterProxy::SortByName(Qt::SortOrder order)
{
    byName_ = true;
    QSortFilterProxyModel::sort(0, order); // any column: lessThan compares the rows' names
}

void RightsFilterProxy::sort(int column, Qt::SortOrder order)
{
    byName_ = false;
    QSortFilterProxyModel::sort(column, order);
}

bool RightsFilterProxy::lessThan(const QModelIndex& left, const QModelIndex& right) const
{
    // The model keeps its rows in name order. Qt sorts the rows as they are shown, not as the model has
    // them: equal rights go back to name order by the rows' places in the model, whichever the direction
    // (a descending sort asks lessThan(right, left)).
    if (byName_)
        return left.row() < right.row();
    const int leftKey = left.data(RightsGridModel::SortKeyRole).toInt();
    const int rightKey = right.data(RightsGridModel::SortKeyRole).toInt();
    if (leftKey != rightKey)
        return leftKey < rightKey;
    return sortOrder() == Qt::AscendingOrder ? left.row() < right.row() : left.row() > right.row();
}

void RightsFilterProxy::SetFilterText(const QString& text)
{
    text_ = text.trimmed();
    invalidateFilter();
}

bool RightsFilterProxy::Accepts(Qt::Orientation orientation, int section) const
{
    if (text_.isEmpty() || !AnyMatches(orientation))
        return true;
    return sourceModel()
        ->headerData(section, orientation, Qt::DisplayRole)
        .toString()
        .contains(text_, Qt::CaseInsensitive);
}

bool RightsFilterProxy::AnyMatches(Qt::Orientation orientation) const
{
    const int count = orientation == Qt::Vertical ? sourceModel()->rowCount() : sourceModel()->columnCount();
    for (int section = 0; section < count; ++section)
        if (sourceModel()
                ->headerData(section, orientation, Qt::DisplayRole)
                .toString()
                .contains(text_, Qt::CaseInsensitive))
            return true;
    return false;
}

bool RightsFilterProxy::filterAcceptsRow(int sourceRow, const QModelIndex&) const
{
    return Accepts(Qt::Vertical, sourceRow);
}

bool RightsFilterProxy::filterAcceptsColumn(int sourceColumn, const QModelIndex&) const
{
    return Accepts(Qt::Horizontal, sourceColumn);
}

} // namespace korvel::admin
