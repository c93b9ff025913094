// The sessions model's row-level updates, its slices of new rows, and the auto-refresh delay rule, without a
// server.
#include "admin/pages/status/SessionTableModel.h"
#include "admin/pages/status/AutoRefresh.h"
#include "testing/admin/WaitFor.h"

#include <QSignalSpy>
#include <QWidget>

#include <gtest/gtest.h>

namespace korvel::test
{
namespace
{

using admin::SessionRow;
using admin::SessionTableModel;

SessionRow Session(std::int32_t id, const char* user, const char* address = "10.0.0.1")
{
    SessionRow row;
    row.Id = id;
    row.UserName = QString::fromLatin1(user);
    row.Address = QString::fromLatin1(address);
    row.CreatedOn = 45293.5; // 2 January 2024, noon
    return row;
}

std::vector<std::int32_t> Ids(const SessionTableModel& model)
{
    std::vector<std::int32_t> ids;
    for (int row = 0; row < model.rowCount(); ++row)
        ids.push_back(model.Row(row).Id);
    return ids;
}

TEST(SessionTableModelTest, UpdatesOnlyWhatChangedRowByRow)
{
    SessionTableModel model({}, nullptr);
    model.Update(
        {Session(1, "ann"), Session(2, "bob"), Session(3, "cy"), Session(4, "dee"), Session(5, "eve")});
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);

    // The same list again: not one notification.
    model.Update(
        {Session(1, "ann"), Session(2, "bob"), Session(3, "cy"), Session(4, "dee"), Session(5, "eve")});
    EXPECT_EQ(changed.count() + inserted.count() + removed.count() + reset.count(), 0);

    // 2 and 3 go, 4 loses its connection, 7 and 6 arrive (in that server order).
    SessionRow dead = Session(4, "dee", "");
    dead.Detail = QStringLiteral("timed out");
    model.Update({Session(1, "ann"), dead, Session(5, "eve"), Session(7, "gus"), Session(6, "fay")});
    EXPECT_EQ(Ids(model), (std::vector<std::int32_t>{1, 4, 5, 7, 6}));
    ASSERT_EQ(removed.count(), 1) << "one run of neighbouring rows, one removal";
    EXPECT_EQ(removed[0][1].toInt(), 1);
    EXPECT_EQ(removed[0][2].toInt(), 2);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].toModelIndex().row(), 1);
    EXPECT_EQ(changed[0][1].toModelIndex().row(), 1);
    ASSERT_EQ(inserted.count(), 1);
    EXPECT_EQ(inserted[0][1].toInt(), 3);
    EXPECT_EQ(inserted[0][2].toInt(), 4);
    EXPECT_EQ(reset.count(), 0);

    EXPECT_EQ(model.index(1, SessionTableModel::Number(SessionTableModel::Column::Address)).data().toString(),
              "Disconnected (timed out)");
    EXPECT_EQ(model.index(1, SessionTableModel::Number(SessionTableModel::Column::State)).data().toString(),
              "Dead (timed out)");
    EXPECT_EQ(model.index(0, SessionTableModel::Number(SessionTableModel::Column::State)).data().toString(),
              "Connected");
    EXPECT_EQ(model.index(0, SessionTableModel::Number(SessionTableModel::Column::Mode)).data().toString(),
              "LAN");
    EXPECT_EQ(model.index(3, SessionTableModel::Number(SessionTableModel::Column::SessionId))
                  .data(SessionTableModel::SortRole)
                  .toInt(),
              7);
    EXPECT_EQ(model.ConnectedCount(), 4);

    // Everything gone.
    model.Update({});
    EXPECT_EQ(model.rowCount(), 0);
}

std::vector<SessionRow> Sessions(std::int32_t first, std::int32_t last)
{
    std::vector<SessionRow> rows;
    for (std::int32_t id = first; id <= last; ++id)
        rows.push_back(Session(id, "load"));
    return rows;
}

std::vector<std::int32_t> Range(std::int32_t first, std::int32_t last)
{
    std::vector<std::int32_t> ids;
    for (std::int32_t id = first; id <= last; ++id)
        ids.push_back(id);
    return ids;
}

TEST(SessionTableModelTest, AppendsThousandsOfNewSessionsASliceATurn)
{
    SessionTableModel model({}, nullptr);
    const auto slice = static_cast<std::int32_t>(SessionTableModel::SliceRows);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    model.Update(Sessions(1, 2 * slice + 500));
    EXPECT_EQ(model.rowCount(), slice) << "one slice at once";
    EXPECT_TRUE(model.Appending());
    ASSERT_TRUE(WaitFor([&] { return !model.Appending(); }));
    EXPECT_EQ(Ids(model), Range(1, 2 * slice + 500));
    EXPECT_EQ(inserted.count(), 3);

    // A new list while slices wait: waiting sessions that have gone never appear, the others keep server
    // order, and the rows already shown change in place.
    model.Update({});
    model.Update(Sessions(1, 2 * slice));
    ASSERT_TRUE(model.Appending());
    std::vector<SessionRow> next = Sessions(1, slice);
    next[0].UserName = QStringLiteral("renamed");
    for (SessionRow& row : Sessions(slice + 501, 2 * slice + 200))
        next.push_back(std::move(row));
    model.Update(std::move(next));
    ASSERT_TRUE(WaitFor([&] { return !model.Appending(); }));
    std::vector<std::int32_t> expected = Range(1, slice);
    for (std::int32_t id : Range(slice + 501, 2 * slice + 200))
        expected.push_back(id);
    EXPECT_EQ(Ids(model), expected);
    EXPECT_EQ(model.Row(0).UserName, "renamed");

    // Fewer new rows than a slice arrive at once.
    model.Update(Sessions(1, 10));
    model.Update(Sessions(1, 20));
    EXPECT_FALSE(model.Appending());
    EXPECT_EQ(model.rowCount(), 20);
}

TEST(AutoRefreshTest, WaitsTheIntervalOrThreeTimesTheLastRefreshWhicheverIsLonger)
{
    EXPECT_EQ(admin::AutoRefresh::DelayMs(2, 0.1), 2000);
    EXPECT_EQ(admin::AutoRefresh::DelayMs(2, 0.9), 2700)
        << "10,000 sessions every 2 s would flood the server";
    EXPECT_EQ(admin::AutoRefresh::DelayMs(60, 5), 60000);

    QWidget page;
    int ticks = 0;
    admin::AutoRefresh refresh(&page, [&] { ++ticks; });
    refresh.SetSeconds(7); // not a choice: off
    EXPECT_EQ(refresh.Seconds(), 0);
    EXPECT_FALSE(refresh.Scheduled());
    refresh.SetSeconds(5);
    EXPECT_TRUE(refresh.Scheduled());
    refresh.Finished(2.5);
    EXPECT_EQ(refresh.NextDelayMs(), 7500);
    refresh.Stop();
    EXPECT_FALSE(refresh.Scheduled());
    refresh.Resume();
    EXPECT_TRUE(refresh.Scheduled());
    EXPECT_EQ(ticks, 0);
}

} // namespace
} // namespace korvel::test
