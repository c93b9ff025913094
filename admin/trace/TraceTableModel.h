// The exchanges of the remote session as table rows, built from the engine's trace records: time of day,
// direction, request name, bytes on the wire and uncompressed, reply code and the reply's time since its
// request.
#pragma once

#include "engine/DataSession.h"

#include <QAbstractTableModel>

#include <deque>

namespace korvel::admin
{

class TraceTableModel : public QAbstractTableModel
{
public:
    enum class Column
    {
        Time,
        Direction,
        Name,
        WireBytes,
        PlainBytes,
        ReplyCode,
        Elapsed
    };
    static constexpr int ColumnCount = static_cast<int>(Column::Elapsed) + 1;

    using QAbstractTableModel::QAbstractTableModel;

    // On this object's thread only.
    void Append(const TraceRecord& record);
    void Clear();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Oldest rows go beyond this many, so a long session keeps a bounded table.
    static constexpr std::size_t MaxRows = 100000;

private:
    std::deque<TraceRecord> records_;
};

} // namespace korvel::admin
