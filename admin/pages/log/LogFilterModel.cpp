#include "admin/pages/log/LogFilterModel.h"

#include <algorithm>

namespace korvel::admin
{

void LogFilterModel::setSourceModel(QAbstractItemModel* source)
{
    beginResetModel();
    QAbstractProxyModel::setSourceModel(source);
    // Unfiltered, the rows are the source's: its resets and appended rows pass straight through.
    connect(source, &QAbstractItemModel::modelAboutToBeReset, this, [this] { beginResetModel(); });
    connect(source, &QAbstractItemModel::modelReset, this,
            [this]
            {
                shown_ = 0; // a new log: the search starts over and reports its lines again
                endResetModel();
            });
    connect(source, &QAbstractItemModel::rowsAboutToBeInserted, this,
            [this](const QModelIndex&, int first, int last)
            {
                if (!Filtering())
                    beginInsertRows({}, first, last);
            });
    connect(source, &QAbstractItemModel::rowsInserted, this,
            [this]
            {
                if (!Filtering())
                    endInsertRows();
            });
    endResetModel();
}

void LogFilterModel::SetLines(const std::vector<std::uint32_t>* lines)
{
    if (!lines && !Filtering())
        return; // every line stays shown: a reset would only lose the view's place
    beginResetModel();
    lines_ = lines;
    shown_ = lines ? static_cast<int>(lines->size()) : 0;
    endResetModel();
}

void LogFilterModel::LinesAppended()
{
    if (!Filtering())
        return;
    const auto count = static_cast<int>(lines_->size());
    if (count < shown_)
    {
        SetLines(lines_); // a new search started over
        return;
    }
    if (count == shown_)
        return;
    beginInsertRows({}, shown_, count - 1);
    shown_ = count;
    endInsertRows();
}

QModelIndex LogFilterModel::index(int row, int column, const QModelIndex& parent) const
{
    if (parent.isValid() || column != 0 || row < 0 || row >= rowCount())
        return {};
    return createIndex(row, column);
}

QModelIndex LogFilterModel::parent(const QModelIndex&) const
{
    return {};
}

int LogFilterModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() || !sourceModel())
        return 0;
    return Filtering() ? shown_ : sourceModel()->rowCount();
}

int LogFilterModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 1;
}

QModelIndex LogFilterModel::mapToSource(const QModelIndex& proxyIndex) const
{
    if (!proxyIndex.isValid() || !sourceModel())
        return {};
    const int row = Filtering() ? static_cast<int>((*lines_)[static_cast<std::size_t>(proxyIndex.row())])
                                : proxyIndex.row();
    return sourceModel()->index(row, 0);
}

QModelIndex LogFilterModel::mapFromSource(const QModelIndex& sourceIndex) const
{
    if (!sourceIndex.isValid())
        return {};
    if (!Filtering())
        return index(sourceIndex.row(), 0);
    const auto end = lines_->begin() + shown_;
    const auto found = std::lower_bound(lines_->begin(), end, static_cast<std::uint32_t>(sourceIndex.row()));
    if (found == end || *found != static_cast<std::uint32_t>(sourceIndex.row()))
        return {};
    return index(static_cast<int>(found - lines_->begin()), 0);
}

} // namespace korvel::admin
