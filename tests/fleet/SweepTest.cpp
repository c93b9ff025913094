// Sweeps of the shared fleet: every row reaches its own state without anybody being asked, a silent server
// reports last and holds up nobody, and a cancel ends the checks under way.
#include "fleet/Sweep.h"
#include "testing/FleetProfiles.h"
#include "testing/HomeAt.h"
#include "testing/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <mutex>
#include <set>
#include <thread>

namespace korvel::test
{
namespace
{

using fleet::ServerReport;
using fleet::ServerState;

class SweepTest : public ::testing::Test
{
protected:
    // No ~/.ssh/config or known_hosts of the account's own decides the SSH row.
    TempDir home{"korvel-sweep-home"};
    HomeAt at{home.Path()};
    FleetProfiles fleet;
};

TEST_F(SweepTest, EveryProfileReportsItsOwnStateWithoutAskingAnybody)
{
    std::mutex mutex;
    std::set<std::string> prepared; // the profiles whose check made a session
    // A check asks for the password and prepares its session on one thread: the name noted by the one tells
    // the other whose session it is.
    thread_local const std::string* checking = nullptr; // the sweep's own copy of the profile's name
    fleet::CheckSettings settings = fleet.Settings();
    settings.Password = [&](const settings::Profile& profile)
    {
        checking = &profile.Name;
        return fleet.PasswordOf(profile);
    };
    settings.PrepareSession = [&](TDataSession&)
    {
        const std::lock_guard lock(mutex);
        prepared.insert(*checking);
    };
    fleet::Sweep sweep(settings);
    const std::vector<ServerReport> reports = sweep.RunAll(fleet.Profiles());
    ASSERT_EQ(reports.size(), fleet.Rows().size());
    for (std::size_t at = 0; at < reports.size(); ++at)
    {
        const FleetRow& row = fleet.Rows()[at];
        const ServerReport& report = reports[at];
        SCOPED_TRACE(fleet::WhereText(row.Profile));
        EXPECT_EQ(report.Profile, row.Profile.Name);
        EXPECT_EQ(fleet::StateText(report), fleet.ExpectedText(row)) << report.Detail;
        EXPECT_NE(report.CheckedAt, std::chrono::system_clock::time_point{});
        if (row.Expected == ServerState::Up)
        {
            EXPECT_EQ(report.Version, "3.21");
            EXPECT_EQ(report.Sessions, row.Sessions);
            EXPECT_EQ(report.Connected, row.Sessions);
        }
        // A profile that keeps no password is not even connected to.
        EXPECT_EQ(prepared.contains(row.Profile.Name), row.Expected != ServerState::PasswordNeeded);
    }
}

TEST_F(SweepTest, EveryOtherRowReportsWhileASilentServerIsStillAwaited)
{
    std::mutex mutex;
    std::vector<ServerReport> arrived;
    std::promise<void> othersIn;
    std::vector<settings::Profile> profiles = fleet.Profiles();
    // The silent peer first, on a pool of two: one thread waits on it while the other checks every other row.
    std::stable_partition(profiles.begin(), profiles.end(),
                          [](const settings::Profile& profile) { return profile.Name == "silent"; });
    fleet::CheckSettings settings = fleet.Settings();
    settings.Deadline = std::chrono::minutes(10); // still awaited when the others are in, whatever the load
    fleet::Sweep sweep(settings, 2);
    sweep.Start(profiles,
                [&](const ServerReport& report)
                {
                    const std::lock_guard lock(mutex);
                    arrived.push_back(report);
                    if (arrived.size() == profiles.size() - 1)
                        othersIn.set_value();
                });
    ASSERT_EQ(othersIn.get_future().wait_for(std::chrono::minutes(1)), std::future_status::ready);
    EXPECT_TRUE(sweep.Running());
    const std::lock_guard lock(mutex);
    for (const ServerReport& report : arrived)
        EXPECT_NE(report.Profile, "silent");
}

TEST_F(SweepTest, AServerSilentInTheLastSweepIsCheckedAfterTheOthersInTheNext)
{
    std::vector<settings::Profile> profiles;
    for (const FleetRow& row : fleet.Rows())
        if (row.Expected == ServerState::NoAnswer || row.Expected == ServerState::Up)
            profiles.push_back(row.Profile);
    std::stable_partition(profiles.begin(), profiles.end(),
                          [](const settings::Profile& profile) { return profile.Name == "silent"; });
    fleet::Sweep sweep(fleet.Settings(), 1); // one at a time: the order of the reports is the order of checks
    EXPECT_EQ(sweep.RunAll(profiles).front().State, ServerState::NoAnswer);
    std::vector<std::string> order;
    std::promise<void> allIn;
    sweep.Start(profiles,
                [&](const ServerReport& report)
                {
                    order.push_back(report.Profile);
                    if (order.size() == profiles.size())
                        allIn.set_value();
                });
    allIn.get_future().wait();
    EXPECT_EQ(order.back(), "silent");
    // The reports of a whole sweep keep the order of the profiles given.
    EXPECT_EQ(sweep.RunAll(profiles).front().Profile, "silent");
}

TEST_F(SweepTest, CancelEndsTheChecksUnderWayAndTheirProfilesReportNothing)
{
    std::vector<settings::Profile> silent;
    for (const FleetRow& row : fleet.Rows())
        if (row.Expected == ServerState::NoAnswer)
            silent.assign(3, row.Profile);
    fleet::CheckSettings settings = fleet.Settings();
    settings.Deadline = std::chrono::minutes(10); // only the cancel ends these checks
    std::promise<void> underWay;
    std::once_flag once;
    settings.PrepareSession = [&](TDataSession&) { std::call_once(once, [&] { underWay.set_value(); }); };
    fleet::Sweep sweep(settings);
    std::thread canceller(
        [&]
        {
            underWay.get_future().wait();
            sweep.Cancel();
        });
    const std::vector<ServerReport> reports = sweep.RunAll(silent);
    canceller.join();
    ASSERT_EQ(reports.size(), silent.size());
    for (const ServerReport& report : reports)
        EXPECT_EQ(fleet::StateText(report), "Not checked");
    EXPECT_FALSE(sweep.Running());

    // A cancelled sweep leaves its pool ready for the next.
    EXPECT_EQ(sweep.RunAll({fleet.Rows().front().Profile}).front().State, ServerState::Up);
}

} // namespace
} // namespace korvel::test
