#include "admin/pages/status/SessionTableModel.h"

#include <QCoreApplication>
#include <QHash>

#include <algorithm>
#include <iterator>

namespace korvel::admin
{

SessionTableModel::SessionTableModel(std::array<QIcon, 3> icons, QObject* parent)
    : QAbstractTableModel(parent), icons_(std::move(icons))
{
    nextSlice_.setSingleShot(true);
    connect(&nextSlice_, &QTimer::timeout, this, &SessionTableModel::AppendSlice);
}

void SessionTableModel::Update(std::vector<SessionRow> rows)
{
    // Rows still waiting are in `rows` again if they still exist.
    waiting_.clear();
    nextSlice_.stop();
    QHash<std::int32_t, std::size_t> wanted;
    wanted.reserve(static_cast<qsizetype>(rows.size()));
    for (std::size_t i = 0; i < rows.size(); ++i)
        wanted.insert(rows[i].Id, i);

    // Gone sessions, in runs from the end so the rows before each run keep their numbers.
    for (int last = rowCount() - 1; last >= 0;)
    {
        if (wanted.contains(rows_[static_cast<std::size_t>(last)].Id))
        {
            --last;
            continue;
        }
        int first = last;
        while (first > 0 && !wanted.contains(rows_[static_cast<std::size_t>(first - 1)].Id))
            --first;
        beginRemoveRows({}, first, last);
        rows_.erase(rows_.begin() + first, rows_.begin() + last + 1);
        endRemoveRows();
        last = first - 1;
    }

    // Kept sessions: changed rows in place, in runs.
    std::vector<bool> kept(rows.size(), false);
    const int count = rowCount();
    for (int row = 0; row < count;)
    {
        const std::size_t from = wanted.value(rows_[static_cast<std::size_t>(row)].Id);
        kept[from] = true;
        if (rows_[static_cast<std::size_t>(row)] == rows[from])
        {
            ++row;
            continue;
        }
        int last = row;
        rows_[static_cast<std::size_t>(row)] = std::move(rows[from]);
        while (last + 1 < count)
        {
            const std::size_t next = wanted.value(rows_[static_cast<std::size_t>(last + 1)].Id);
            if (rows_[static_cast<std::size_t>(last + 1)] == rows[next])
                break;
            kept[next] = true;
            rows_[static_cast<std::size_t>(++last)] = std::move(rows[next]);
        }
        emit dataChanged(index(row, 0), index(last, ColumnCount - 1));
        row = last + 1;
    }

    // New sessions, appended in server order.
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (!kept[i])
            waiting_.push_back(std::move(rows[i]));
    AppendSlice();
}

void SessionTableModel::AppendSlice()
{
    const std::size_t added = std::min(waiting_.size(), SliceRows);
    if (added == 0)
        return;
    const int first = rowCount();
    beginInsertRows({}, first, first + static_cast<int>(added) - 1);
    std::move(waiting_.begin(), waiting_.begin() + static_cast<std::ptrdiff_t>(added),
              std::back_inserter(rows_));
    waiting_.erase(waiting_.begin(), waiting_.begin() + static_cast<std::ptrdiff_t>(added));
    endInsertRows();
    if (!waiting_.empty())
        nextSlice_.start(0);
}

int SessionTableModel::ConnectedCount() const
{
    return static_cast<int>(
        std::count_if(rows_.begin(), rows_.end(), [](const SessionRow& row) { return row.Connected(); }));
}

int SessionTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int SessionTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString SessionTableModel::Text(const SessionRow& row, Column column) const
{
    switch (column)
    {
    case Column::UserName:
        return row.UserName;
    case Column::Address:
        return row.Connected()
                   ? row.Address
                   : QCoreApplication::translate("SessionTableModel", "Disconnected (%1)").arg(row.Detail);
    case Column::CreatedOn:
        return formatTime_(row.CreatedOn);
    case Column::LastConnected:
        return formatTime_(row.LastConnected);
    case Column::SessionId:
        return QString::number(row.Id);
    case Column::Mode:
        return row.Internet ? QCoreApplication::translate("SessionTableModel", "Internet")
                            : QCoreApplication::translate("SessionTableModel", "LAN");
    case Column::State:
        return row.Connected()
                   ? QCoreApplication::translate("SessionTableModel", "Connected")
                   : QCoreApplication::translate("SessionTableModel", "Dead (%1)").arg(row.Detail);
    default:
        return {};
    }
}

QVariant SessionTableModel::SortKey(const SessionRow& row, Column column) const
{
    switch (column)
    {
    case Column::CreatedOn:
        return row.CreatedOn;
    case Column::LastConnected:
        return row.LastConnected;
    case Column::SessionId:
        return row.Id;
    default:
        return Text(row, column);
    }
}

QVariant SessionTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const SessionRow& row = Row(index.row());
    const auto column = static_cast<Column>(index.column());
    switch (role)
    {
    case Qt::DisplayRole:
        return Text(row, column);
    case Qt::DecorationRole:
        if (column != Column::UserName)
            return {};
        return icons_[row.Connected() ? (row.Internet ? 2 : 1) : 0];
    case SessionIdRole:
        return row.Id;
    case ConnectedRole:
        return row.Connected();
    case SortRole:
        return SortKey(row, column);
    default:
        return {};
    }
}

QVariant SessionTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const std::array<const char*, ColumnCount> captions = {
        QT_TRANSLATE_NOOP("SessionTableModel", "User Name"),
        QT_TRANSLATE_NOOP("SessionTableModel", "Address"),
        QT_TRANSLATE_NOOP("SessionTableModel", "Created On"),
        QT_TRANSLATE_NOOP("SessionTableModel", "Last Connected"),
        QT_TRANSLATE_NOOP("SessionTableModel", "Session ID"),
        QT_TRANSLATE_NOOP("SessionTableModel", "Mode"),
        QT_TRANSLATE_NOOP("SessionTableModel", "State")};
    return section >= 0 && section < ColumnCount
               ? QCoreApplication::translate("SessionTableModel", captions[static_cast<std::size_t>(section)])
               : QVariant();
}

} // namespace korvel::admin
