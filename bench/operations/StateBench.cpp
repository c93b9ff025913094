// State files at scale: a server of 200 users × 50 databases (about 4,000 database users).
// - plan of a state file that matches the server: reading the file, the server's state and working out the
//   plan, against the same requests made raw on the same session (goal: within 1.2x), and how many of plan's
//   requests change the server (goal: none);
// - apply of a state file that changes every database user's rights: reading, checking each pair again and
//   sending the changes with their journal lines, against the same reads and writes made raw (goal: within
//   1.2x), the checking read after the last change included in both;
// - apply of the same change from a saved plan (reading it, checking each object, sending, reading each
//   again), against apply of the state file (goal: within 1.2x);
// - for information, the korvel-admin-cli program's plan of the same file (its start, login and logout
//   included) against the raw floor.
// - a state file over the 64 MiB limit: the program's refusal, its time and peak memory (goal: within 1 s,
//   under 100 MB).
// Floor and case alternate in each round; one line per goal follows the table.
#include "engine/wire/RequestCodes.h"
#include "operations/SavedPlan.h"
#include "operations/StateApply.h"
#include "session/KORVELSession.h"
#include "session/SessionList.h"
#include "testing/AdminLogin.h"
#include "testing/RefServer.h"
#include "testing/TempDir.h"
#include "testing/bench/BenchSupport.h"
#include "testing/bench/RightsSeed.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iomanip>
#include <set>
#include <sys/resource.h>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>

namespace korvel::bench
{
namespace
{

using operations::StateFile;

// The requests that change a server.
const std::set<std::uint16_t> ChangeRequests = {
    REQUEST_ADDUSER,           REQUEST_MODIFYUSER,   REQUEST_DELETEUSER,  REQUEST_ADDDB,
    REQUEST_MODIFYDB,          REQUEST_DELETEDB,     REQUEST_ADDDBUSER,   REQUEST_MODIFYDBUSER,
    REQUEST_DELETEDBUSER,      REQUEST_MODIFYCONFIG, REQUEST_STARTSERVER, REQUEST_STOPSERVER,
    REQUEST_DISCONNECTSESSION, REQUEST_REMOVESESSION};

struct StateFixture
{
    int users = Smoke() ? 20 : 200;
    int databases = Smoke() ? 5 : 50;
    test::RefServer server;
    test::TempDir scratch{"korvel-state-bench"};
    std::string dir = scratch.Path();
    TKORVELSession session;
    std::string held;    // the state file of what the server holds at first
    std::string flipped; // every database user's read right the other way round
    bool holdsFlipped = false;
    journal::Journal journal;

    StateFixture() : journal(dir + "/journal.jsonl")
    {
        test::LogInAsAdministrator(session, server, "StateBench");
        Populate();
        nlohmann::ordered_json document = operations::ExportDocument(operations::ReadServerState(session));
        held = operations::YamlText(document);
        for (auto& [user, databases] : document["rights"].items())
            for (auto& [database, letters] : databases.items())
            {
                const auto rights = *operations::ParseRightsLetters(letters.get<std::string>());
                letters = operations::RightsLetters(TUserRights::FromByte(rights->ToByte() ^ 0x01));
            }
        flipped = operations::YamlText(document);
    }
    ~StateFixture() { session.SetActive(false); }

    // Two users in five on each database, with rights that vary.
    void Populate()
    {
        for (int u = 0; u < users; ++u)
            session.AddServerUser("user" + std::to_string(u), "pw" + std::to_string(u), "", u % 50 == 0);
        SeedRights(session, users, databases);
    }

    static StateFile Parse(const std::string& text)
    {
        auto reading = operations::ReadStateFile(text, "");
        if (!reading.Mistakes.empty())
            throw std::runtime_error(reading.Mistakes.front().Message);
        return std::move(reading.State);
    }

    operations::StatePlan Plan(const std::string& text)
    {
        const StateFile file = Parse(text);
        return operations::MakePlan(operations::ReadServerState(session), file, {.LoginUser = "admin"}).Plan;
    }

    // What plan reads, made raw: every list, user, database, database user and the configuration.
    void RawReads()
    {
        StringList userNames, databaseNames;
        session.GetServerUserNames(userNames);
        session.GetServerDatabaseNames(databaseNames);
        for (const std::string& user : userNames)
        {
            std::string password, description;
            bool administrator = false;
            session.GetServerUser(user, password, description, administrator);
        }
        for (const std::string& database : databaseNames)
        {
            std::string description, directory;
            session.GetServerDatabase(database, description, directory);
            StringList names;
            session.GetServerDatabaseUserNames(database, names);
            for (const std::string& user : names)
            {
                TUserRights rights;
                session.GetServerDatabaseUser(database, user, rights);
            }
        }
        ServerConfig config;
        session.GetServerConfig(config);
    }

    double TimedPlan()
    {
        const auto start = Clock::now();
        if (!Plan(holdsFlipped ? flipped : held).Empty())
            throw std::runtime_error("the plan of what the server holds is not empty");
        return Ms(Clock::now() - start);
    }

    double TimedRawPlan()
    {
        const auto start = Clock::now();
        RawReads();
        return Ms(Clock::now() - start);
    }

    // Sends `plan` as apply does, its checking read (`verify`) included.
    void Send(const operations::StatePlan& plan, std::function<StringList()> verify)
    {
        operations::ServerChanges changes(session, journal, operations::LoginOrigin(session, "bench", ""));
        auto outcome =
            operations::ApplyStatePlan(session, changes, plan,
                                       {[](const std::string&, const std::string&) {},
                                        [](const std::string&) { return false; }, std::move(verify)});
        if (!outcome.Error.empty() || outcome.Done != plan.Requests() || !outcome.Unmatched.empty())
            throw std::runtime_error("apply failed: " + outcome.Error);
        holdsFlipped = !holdsFlipped;
    }

    // Applies the other state: every database user changes; then plans it again, as the checking read.
    double TimedApply()
    {
        const auto start = Clock::now();
        const std::string& wanted = holdsFlipped ? held : flipped;
        Send(Plan(wanted),
             [&]
             {
                 StringList left;
                 for (const operations::PlanLine& line : Plan(wanted).Lines())
                     left.push_back(line.Text());
                 return left;
             });
        return Ms(Clock::now() - start);
    }

    // The same change from a plan saved before (not timed): reading it, filling its passwords, sending it
    // and reading each object again.
    double TimedSavedApply()
    {
        const std::string text =
            operations::SavedPlanText(Plan(holdsFlipped ? held : flipped), "state.yaml", "", "admin", "");
        const auto start = Clock::now();
        operations::SavedPlanReading reading = operations::ReadSavedPlan(text);
        if (!reading.Mistake.empty() || !operations::ResolvePasswords(session, reading.Plan).empty())
            throw std::runtime_error("the saved plan cannot be applied: " + reading.Mistake);
        const operations::StatePlan& plan = reading.Plan.Plan;
        Send(plan, [&] { return operations::Unmatched(session, plan); });
        return Ms(Clock::now() - start);
    }

    // The same reads, each pair read again, then written, raw, and the reads once more.
    double TimedRawApply()
    {
        const auto start = Clock::now();
        RawReads();
        std::vector<std::tuple<std::string, std::string, TUserRights>> pairs;
        for (int d = 0; d < databases; ++d)
            for (int u = 0; u < users; ++u)
                if ((u + d) % 5 < 2)
                {
                    auto& [database, user, rights] = pairs.emplace_back(
                        "db" + std::to_string(d), "user" + std::to_string(u), TUserRights{});
                    session.GetServerDatabaseUser(database, user, rights);
                }
        for (const auto& [database, user, rights] : pairs)
            session.ModifyServerDatabaseUser(database, user, TUserRights::FromByte(rights.ToByte() ^ 0x01));
        RawReads();
        holdsFlipped = !holdsFlipped;
        return Ms(Clock::now() - start);
    }

    // The requests a plan sends that change the server, counted from the session's trace records.
    int PlanChangeRequests()
    {
        int changing = 0;
        session.SetOnRemoteTraceRecord(
            [&](TKORVELSession&, const TraceRecord& record)
            {
                if (record.Direction == TraceRecord::Kind::Request && ChangeRequests.count(record.Code))
                    ++changing;
            });
        session.SetRemoteTrace(true);
        Plan(holdsFlipped ? held : flipped); // a plan with changes: none of them is sent
        session.SetRemoteTrace(false);
        session.SetOnRemoteTraceRecord({});
        return changing;
    }

    // `korvel-admin-cli ... plan FILE [extra]` as a program, its output (and errors, with `quiet`) dropped:
    // its exit status, and its resources in `usage`.
    int RunProgramPlan(const std::string& file, const char* extra, bool quiet, rusage& usage)
    {
        const std::string port = std::to_string(server.AdminPort());
        const pid_t child = fork();
        if (child == 0)
        {
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, STDOUT_FILENO);
            if (quiet)
                dup2(null, STDERR_FILENO);
            execl(KORVEL_ADMIN_CLI_PATH, KORVEL_ADMIN_CLI_PATH, "--port", port.c_str(), "--user", "admin",
                  "--password", server.Options().AdminPassword.c_str(), "plan", file.c_str(), extra, nullptr);
            _exit(127);
        }
        int status = 0;
        wait4(child, &status, 0, &usage);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // korvel-admin-cli plan FILE, as a program.
    double TimedProgramPlan()
    {
        const std::string file = dir + "/state.yaml";
        std::ofstream(file) << (holdsFlipped ? flipped : held);
        const auto start = Clock::now();
        rusage usage{};
        if (RunProgramPlan(file, "--detailed-exitcode", false, usage) != 0)
            throw std::runtime_error("korvel-admin-cli plan did not exit 0");
        return Ms(Clock::now() - start);
    }

    // The program's plan of a file of real entries just over the limit: its time in ms and peak memory in MB.
    std::pair<double, double> TimedOversizedRefusal()
    {
        const std::string file = dir + "/oversized.yaml";
        if (!std::filesystem::exists(file))
        {
            std::ofstream out(file);
            out << "users:\n";
            for (std::size_t written = 7; written <= 65u * 1024 * 1024; written += 40)
                out << "  - {name: u" << std::setw(12) << std::setfill('0') << written
                    << ", description: x}\n";
        }
        const auto start = Clock::now();
        rusage usage{};
        if (RunProgramPlan(file, nullptr, true, usage) != 2)
            throw std::runtime_error("korvel-admin-cli plan did not refuse the oversized file with exit 2");
        return {Ms(Clock::now() - start), static_cast<double>(usage.ru_maxrss) / 1024};
    }
};

std::string RatioRange(const std::vector<double>& ratios)
{
    char text[64];
    std::snprintf(text, sizeof text, "%zu rounds, %.2fx to %.2fx", ratios.size(),
                  *std::min_element(ratios.begin(), ratios.end()),
                  *std::max_element(ratios.begin(), ratios.end()));
    return text;
}

// Runs `measure` and `floor` alternately, first one then the other.
template <typename Case, typename Floor>
void Alternate(benchmark::State& state, Case measure, Floor floor, std::vector<double>& cases,
               std::vector<double>& floors, std::vector<double>& ratios)
{
    for (auto _ : state)
    {
        const bool floorFirst = floors.size() % 2 == 0;
        double floorMs = floorFirst ? floor() : 0;
        const double caseMs = measure();
        if (!floorFirst)
            floorMs = floor();
        floors.push_back(floorMs);
        cases.push_back(caseMs);
        ratios.push_back(caseMs / floorMs);
    }
    state.counters["floor_ms"] = Median(floors);
    state.counters["case_ms"] = Median(cases);
    state.counters["x_floor"] = Median(cases) / Median(floors);
}

StateFixture* fixture = nullptr;

void BM_Plan_AgainstRawReads(benchmark::State& state)
{
    std::vector<double> cases, floors, ratios;
    Alternate(
        state, [] { return fixture->TimedPlan(); }, [] { return fixture->TimedRawPlan(); }, cases, floors,
        ratios);
    const int changing = fixture->PlanChangeRequests();
    AddGoalLine(
        "plan %d users x %d databases: %.1f ms = %.2fx the floor of the same reads made raw (%.1f ms; %s; "
        "goal: within 1.2x)",
        fixture->users, fixture->databases, Median(cases), Median(cases) / Median(floors), Median(floors),
        RatioRange(ratios).c_str());
    AddGoalLine("plan: %d requests that change the server (goal: none)", changing);
}

void BM_Apply_AgainstRawReadsAndWrites(benchmark::State& state)
{
    std::vector<double> cases, floors, ratios;
    Alternate(
        state, [] { return fixture->TimedApply(); }, [] { return fixture->TimedRawApply(); }, cases, floors,
        ratios);
    AddGoalLine(
        "apply of every database user's rights, %d users x %d databases: %.1f ms = %.2fx the floor of the "
        "same reads and writes made raw (%.1f ms; %s; goal: within 1.2x)",
        fixture->users, fixture->databases, Median(cases), Median(cases) / Median(floors), Median(floors),
        RatioRange(ratios).c_str());
}

void BM_SavedPlanApply_AgainstApply(benchmark::State& state)
{
    std::vector<double> cases, floors, ratios;
    Alternate(
        state, [] { return fixture->TimedSavedApply(); }, [] { return fixture->TimedApply(); }, cases, floors,
        ratios);
    AddGoalLine("apply FILE of a saved plan of the same change: %.1f ms = %.2fx apply (%.1f ms; %s; goal: "
                "within 1.2x of apply)",
                Median(cases), Median(cases) / Median(floors), Median(floors), RatioRange(ratios).c_str());
}

void BM_ProgramPlan_ForInformation(benchmark::State& state)
{
    std::vector<double> cases, floors, ratios;
    Alternate(
        state, [] { return fixture->TimedProgramPlan(); }, [] { return fixture->TimedRawPlan(); }, cases,
        floors, ratios);
    AddGoalLine(
        "korvel-admin-cli plan, for information: %.1f ms = %.2fx the raw floor (%.1f ms; the program's "
        "start, login, file and logout included)",
        Median(cases), Median(cases) / Median(floors), Median(floors));
}

void BM_OversizedStateFile(benchmark::State& state)
{
    std::vector<double> times, megabytes;
    for (auto _ : state)
    {
        const auto [ms, mb] = fixture->TimedOversizedRefusal();
        times.push_back(ms);
        megabytes.push_back(mb);
    }
    const double slowest = *std::max_element(times.begin(), times.end());
    const double largest = *std::max_element(megabytes.begin(), megabytes.end());
    AddGoalLine(
        "a 65 MiB state file refused in %.0f ms (slowest %.0f ms) using %.1f MB at most (goal: within 1 s, "
        "under 100 MB: %s)",
        Median(times), slowest, largest, slowest < 1000 && largest < 100 ? "reached" : "not reached");
}

BENCHMARK(BM_Plan_AgainstRawReads)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(Smoke() ? 2 : 15);
BENCHMARK(BM_Apply_AgainstRawReadsAndWrites)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(Smoke() ? 2 : 8);
BENCHMARK(BM_SavedPlanApply_AgainstApply)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(Smoke() ? 2 : 8);
BENCHMARK(BM_ProgramPlan_ForInformation)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(Smoke() ? 2 : 15);
BENCHMARK(BM_OversizedStateFile)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(Smoke() ? 1 : 5);

} // namespace
} // namespace korvel::bench

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    korvel::CreateSessions();
    {
        korvel::bench::StateFixture fixture;
        korvel::bench::fixture = &fixture;
        benchmark::RunSpecifiedBenchmarks();
    }
    korvel::DestroySessions();
    korvel::bench::PrintGoals();
    benchmark::Shutdown();
    return 0;
}
