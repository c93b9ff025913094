#include "admin/pages/LogListModel.h"

namespace korvel::admin
{

void LogListModel::SetLines(StringList lines)
{
    beginResetModel();
    lines_ = std::move(lines);
    endResetModel();
}

int LogListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(lines_.size());
}

QVariant LogListModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || static_cast<std::size_t>(index.row()) >= lines_.size())
        return {};
    const std::string& line = lines_[static_cast<std::size_t>(index.row())];
    return QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
}

} // namespace korvel::admin
