// The Status page's sessions, one row per server session, keyed by session id. A refresh hands over the whole
// new list and the model changes only what differs: gone sessions are removed, changed rows are updated in
// place and new sessions are appended in server order. The view therefore keeps its selection, scroll
// position and sort order across refreshes, and an unchanged refresh sends no change notification at all.
// New sessions arrive in slices, one per event-loop turn, so that thousands of them never hold up the window.
// Times are kept as dates and put into words only for the rows a view asks for: a refresh of thousands of
// sessions formats none of them.
#pragma once

#include "admin/pages/status/StatusFormat.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <QString>
#include <QTimer>

#include <array>
#include <cstdint>
#include <deque>
#include <vector>

namespace korvel::admin
{

struct SessionRow
{
    std::int32_t Id = 0;
    QString UserName;
    QString Address; // empty for a session without a connection
    QString Detail;  // why it has no connection
    bool Internet = false;
    double CreatedOn = 0; // OLE dates
    double LastConnected = 0;

    bool Connected() const { return !Address.isEmpty(); }
    bool operator==(const SessionRow&) const = default;
};

class SessionTableModel : public QAbstractTableModel
{
public:
    // The four columns shown by default come first; the others are offered in the header's menu.
    enum class Column
    {
        UserName,
        Address,
        CreatedOn,
        LastConnected,
        SessionId,
        Mode,
        State
    };
    static constexpr int ColumnCount = static_cast<int>(Column::State) + 1;
    // The column's number in Qt's views and models.
    static constexpr int Number(Column column) { return static_cast<int>(column); }
    static constexpr int SessionIdRole = Qt::UserRole;
    static constexpr int ConnectedRole = Qt::UserRole + 1;
    static constexpr int SortRole = Qt::UserRole + 2;

    // Icons for a session without a connection, on a LAN and over the Internet.
    SessionTableModel(std::array<QIcon, 3> icons, QObject* parent);

    // At most this many new rows are appended in one event-loop turn.
    static constexpr std::size_t SliceRows = 1000;

    // Makes the rows equal to `rows` with the fewest changes: gone and changed sessions at once, new ones
    // appended one slice now and the others a slice per turn. A later Update drops the slices still waiting.
    void Update(std::vector<SessionRow> rows);
    // New rows of the last Update are still waiting for their turn.
    bool Appending() const { return !waiting_.empty(); }
    const SessionRow& Row(int row) const { return rows_[static_cast<std::size_t>(row)]; }
    int ConnectedCount() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    void AppendSlice();
    QString Text(const SessionRow& row, Column column) const;
    QVariant SortKey(const SessionRow& row, Column column) const;

    std::array<QIcon, 3> icons_;
    SessionTimeFormat formatTime_;
    std::vector<SessionRow> rows_;
    std::deque<SessionRow> waiting_; // new rows not yet appended, in server order
    QTimer nextSlice_;
};

} // namespace korvel::admin
