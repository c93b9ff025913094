#include "admin/trace/TraceTableModel.h"

#include "engine/wire/EngineError.h"
#include "engine/wire/RequestCodes.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QLocale>

namespace korvel::admin
{
namespace
{

QString Direction(TraceRecord::Kind kind)
{
    switch (kind)
    {
    case TraceRecord::Kind::Connection:
        return QCoreApplication::translate("TraceTableModel", "Connection");
    case TraceRecord::Kind::Request:
        return QCoreApplication::translate("TraceTableModel", "Request");
    case TraceRecord::Kind::Reply:
        return QCoreApplication::translate("TraceTableModel", "Reply");
    }
    return {};
}

QString Text(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QVariant Cell(const TraceRecord& record, TraceTableModel::Column column)
{
    const bool isReply = record.Direction == TraceRecord::Kind::Reply;
    const bool isConnection = record.Direction == TraceRecord::Kind::Connection;
    using Column = TraceTableModel::Column;
    switch (column)
    {
    case Column::Time:
    {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(record.Time.time_since_epoch());
        return QDateTime::fromMSecsSinceEpoch(ms.count()).toString(QStringLiteral("HH:mm:ss.zzz"));
    }
    case Column::Direction:
        return Direction(record.Direction);
    case Column::Name:
        return isConnection ? QString() : Text(RequestCodeName(record.Code));
    case Column::WireBytes:
        return isConnection ? QVariant() : QVariant::fromValue(record.WireBytes);
    case Column::PlainBytes:
        return isConnection ? QVariant() : QVariant::fromValue(record.PlainBytes);
    case Column::ReplyCode:
        return isReply ? Text(ReplyCodeName(record.ReplyCode)) : QString();
    case Column::Elapsed:
        return isReply || isConnection ? QVariant::fromValue(record.ElapsedMs) : QVariant();
    default:
        return {};
    }
}

} // namespace

void TraceTableModel::Append(const TraceRecord& record)
{
    if (records_.size() >= MaxRows)
    {
        beginRemoveRows({}, 0, 0);
        records_.erase(records_.begin());
        endRemoveRows();
    }
    const auto row = static_cast<int>(records_.size());
    beginInsertRows({}, row, row);
    records_.push_back(record);
    endInsertRows();
}

void TraceTableModel::Clear()
{
    beginResetModel();
    records_.clear();
    endResetModel();
}

int TraceTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(records_.size());
}

int TraceTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TraceTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const auto column = static_cast<Column>(index.column());
    if (role == Qt::TextAlignmentRole)
        return column >= Column::WireBytes && column != Column::ReplyCode
                   ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                   : QVariant();
    if (role != Qt::DisplayRole)
        return {};
    return Cell(records_[static_cast<std::size_t>(index.row())], column);
}

QVariant TraceTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char* const titles[ColumnCount] = {QT_TRANSLATE_NOOP("TraceTableModel", "Time"),
                                                    QT_TRANSLATE_NOOP("TraceTableModel", "Direction"),
                                                    QT_TRANSLATE_NOOP("TraceTableModel", "Request"),
                                                    QT_TRANSLATE_NOOP("TraceTableModel", "Wire bytes"),
                                                    QT_TRANSLATE_NOOP("TraceTableModel", "Uncompressed"),
                                                    QT_TRANSLATE_NOOP("TraceTableModel", "Reply code"),
                                                    QT_TRANSLATE_NOOP("TraceTableModel", "Reply ms")};
    return section >= 0 && section < ColumnCount
               ? QCoreApplication::translate("TraceTableModel", titles[section])
               : QVariant();
}

} // namespace korvel::admin
