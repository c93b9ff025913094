#include "admin/pages/log/LogListModel.h"

#include <utility>

namespace korvel::admin
{

LogListModel::LogListModel(QObject* parent)
    : QAbstractListModel(parent), log_(std::make_shared<const LogText>())
{
}

void LogListModel::SetLog(LogText log)
{
    beginResetModel();
    log_ = std::make_shared<const LogText>(std::move(log));
    endResetModel();
}

void LogListModel::Clear()
{
    SetLog(LogText());
}

void LogListModel::AppendLines(LogText longer)
{
    const auto oldCount = static_cast<int>(log_->LineCount());
    const auto newCount = static_cast<int>(longer.LineCount());
    if (newCount <= oldCount)
        return;
    beginInsertRows({}, oldCount, newCount - 1);
    log_ = std::make_shared<const LogText>(std::move(longer));
    endInsertRows();
}

QString LogListModel::LineText(int row) const
{
    const std::string_view line = log_->Line(static_cast<std::size_t>(row));
    return QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
}

int LogListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(log_->LineCount());
}

QVariant LogListModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount())
        return {};
    return LineText(index.row());
}

} // namespace korvel::admin
