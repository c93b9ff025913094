#include "admin/pages/LogListModel.h"

#include <utility>

namespace korvel::admin
{

void LogListModel::SetLog(LogText& log)
{
    beginResetModel();
    std::swap(log_, log);
    endResetModel();
}

void LogListModel::Clear()
{
    beginResetModel();
    log_.Clear();
    endResetModel();
}

void LogListModel::AppendLines(LogText& latest, std::size_t firstLine)
{
    const auto oldCount = static_cast<int>(log_.LineCount());
    const auto added = static_cast<int>(latest.LineCount()) - static_cast<int>(firstLine);
    if (added <= 0)
        return;
    beginInsertRows({}, oldCount, oldCount + added - 1);
    log_.AppendLines(latest, firstLine);
    endInsertRows();
}

QString LogListModel::LineText(int row) const
{
    const std::string_view line = log_.Line(static_cast<std::size_t>(row));
    return QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
}

int LogListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(log_.LineCount());
}

QVariant LogListModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount())
        return {};
    return LineText(index.row());
}

} // namespace korvel::admin
