// The sessions model's row-level updates and the auto-refresh delay rule, without a server.
#include "admin/pages/SessionTableModel.h"
#include "admin/pages/AutoRefresh.h"

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

    EXPECT_EQ(model.index(1, SessionTableModel::AddressColumn).data().toString(), "Disconnected (timed out)");
    EXPECT_EQ(model.index(1, SessionTableModel::StateColumn).data().toString(), "Dead (timed out)");
    EXPECT_EQ(model.index(0, SessionTableModel::StateColumn).data().toString(), "Connected");
    EXPECT_EQ(model.index(0, SessionTableModel::ModeColumn).data().toString(), "LAN");
    EXPECT_EQ(model.index(3, SessionTableModel::SessionIdColumn).data(SessionTableModel::SortRole).toInt(),
              7);
    EXPECT_EQ(model.ConnectedCount(), 4);

    // Everything gone.
    model.Update({});
    EXPECT_EQ(model.rowCount(), 0);
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
