// The journal of changes: writers killed at any moment leave only whole lines, the directory and the file are
// the account's alone, and the history is read back through its filters.
#include "journal/History.h"
#include "testing/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace korvel::journal
{
namespace
{

class JournalTest : public ::testing::Test
{
protected:
    JournalTest() { path = dir / "state/korvel-admin/journal.jsonl"; }

    std::string Text() const
    {
        std::ifstream file(path, std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }

    // The file's last byte; 0 when it is empty or missing.
    char LastByte() const
    {
        std::ifstream file(path, std::ios::binary | std::ios::ate);
        char last = 0;
        if (file && file.tellg() > 0 && file.seekg(-1, std::ios::end))
            file.get(last);
        return last;
    }

    std::size_t Lines() const
    {
        const std::string text = Text();
        return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    }

    static Entry Change(const std::string& time, const std::string& server, const std::string& user,
                        const std::string& object)
    {
        Entry entry;
        entry.Time = time;
        entry.From = {server, "", user, "test"};
        entry.Operation = "modify user";
        entry.Object = object;
        return entry;
    }

    test::TempDir dir{"korvel-journal-test"};
    std::string path;
};

pid_t StartWriter(const std::string& path, const std::string& name)
{
    const pid_t child = fork();
    if (child == 0)
    {
        execl(KORVEL_JOURNAL_WRITER_PATH, KORVEL_JOURNAL_WRITER_PATH, path.c_str(), name.c_str(), nullptr);
        _exit(127);
    }
    return child;
}

TEST_F(JournalTest, WritersKilledMidLineLeaveOnlyWholeLines)
{
    // Two writers at once, ten times over, each time killed as soon as the file shows a line half written
    // (its end is not a line break): the kill lands in the middle of a write of many pages.
    int cut = 0;
    for (int round = 0; round < 10; ++round)
    {
        const auto size = [&]
        { return std::filesystem::exists(path) ? std::filesystem::file_size(path) : 0; };
        const auto before = size();
        const pid_t a = StartWriter(path, "a" + std::to_string(round));
        const pid_t b = StartWriter(path, "b" + std::to_string(round));
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        while ((size() == before || LastByte() != 'x') && std::chrono::steady_clock::now() < deadline)
        {
        }
        kill(a, SIGKILL);
        kill(b, SIGKILL);
        waitpid(a, nullptr, 0);
        waitpid(b, nullptr, 0);
        cut += LastByte() != '\n';
    }
    EXPECT_GT(cut, 0) << "no kill landed in the middle of a line: nothing was tried";
    Journal journal(path);
    journal.Append(Change(Now(), "db1:12006", "admin", "after"));

    const std::string text = Text();
    ASSERT_EQ(text.back(), '\n');
    History history = ReadHistory(path);
    EXPECT_EQ(history.Unreadable, 0u);
    EXPECT_EQ(history.Entries.size(), Lines()) << "every line is an entry";
    // Each writer's lines are its numbers in order: none lost or cut between two others.
    std::map<std::string, long> next;
    for (const Entry& entry : history.Entries)
    {
        if (entry.Object == "after")
            continue;
        const long number = std::stol(entry.Change);
        EXPECT_EQ(number, next[entry.Object]++) << entry.Object;
        EXPECT_EQ(entry.Change.size(), std::to_string(number).size() + 1 + 262144)
            << entry.Object << " " << number;
    }
    EXPECT_EQ(history.Entries.back().Object, "after");
}

TEST_F(JournalTest, ALineCutShortIsSkippedAndThenDroppedByTheNextAppend)
{
    Journal journal(path);
    journal.Append(Change(Now(), "db1:12006", "admin", "first"));
    const std::string whole = Text();
    std::ofstream(path, std::ios::app) << R"({"time":"2024-05-01T10:00:00.000+00:00","server":"db1:1)";
    History cut = ReadHistory(path);
    EXPECT_EQ(cut.Entries.size(), 1u);
    EXPECT_EQ(cut.Unreadable, 0u) << "an unfinished last line is no mistake";

    journal.Append(Change(Now(), "db1:12006", "admin", "second"));
    const std::string text = Text();
    EXPECT_EQ(text.substr(0, whole.size()), whole);
    EXPECT_EQ(text.find("db1:1\""), std::string::npos) << "the cut line is gone";
    History history = ReadHistory(path);
    ASSERT_EQ(history.Entries.size(), 2u);
    EXPECT_EQ(history.Entries[1].Object, "second");
    EXPECT_EQ(Lines(), 2u);
}

TEST_F(JournalTest, TheDirectoryAndTheFileAreTheAccountsAlone)
{
    const mode_t mask = umask(0);
    Journal(path).Append(Change(Now(), "db1:12006", "admin", "bob"));
    struct stat file
    {
    }, directory{};
    ASSERT_EQ(stat(path.c_str(), &file), 0);
    ASSERT_EQ(stat((dir.Path() + "/state/korvel-admin").c_str(), &directory), 0);
    EXPECT_EQ(file.st_mode & 0777, 0600u);
    EXPECT_EQ(directory.st_mode & 0777, 0700u);

    chmod(path.c_str(), 0644);
    chmod((dir.Path() + "/state/korvel-admin").c_str(), 0755);
    Journal(path).Append(Change(Now(), "db1:12006", "admin", "bob"));
    ASSERT_EQ(stat(path.c_str(), &file), 0);
    ASSERT_EQ(stat((dir.Path() + "/state/korvel-admin").c_str(), &directory), 0);
    EXPECT_EQ(file.st_mode & 0777, 0600u) << "tightened";
    EXPECT_EQ(directory.st_mode & 0777, 0700u) << "tightened";
    umask(mask);

    EXPECT_THROW(Journal("/proc/korvel/journal.jsonl").Open(), JournalError);
}

TEST_F(JournalTest, HistoryFiltersByServerUserObjectAndTime)
{
    Journal journal(path);
    journal.Append(Change("2024-05-01T10:00:00.000+00:00", "db1:12006", "admin", "bob"));
    journal.Append(Change("2024-05-01T11:00:00.000+00:00", "db1:12010", "root", "bob@Sales"));
    journal.Append(Change("2024-05-02T09:30:00.500+00:00", "db2:12006", "admin", "carol"));
    Entry failed = Change("2024-05-03T00:00:00.000+00:00", "db2:12006", "admin", "carol");
    failed.Ok = false;
    failed.ErrorCode = 11292;
    failed.ErrorMessage = "KORVEL Engine Error # 11292 The user 'carol' already exists";
    journal.Append(failed);
    Entry applied = Change("2024-05-04T00:00:00.000+00:00", "db2:12006", "admin", "dave");
    applied.From.Run = journal::Run{"0123456789abcdef", "state.yaml", std::string(64, 'e')};
    journal.Append(applied);

    auto objects = [&](const Filter& filter)
    {
        std::vector<std::string> found;
        for (const Entry& entry : ReadHistory(path, filter).Entries)
            found.push_back(entry.Object);
        return found;
    };
    using Names = std::vector<std::string>;
    EXPECT_EQ(objects({}), (Names{"bob", "bob@Sales", "carol", "carol", "dave"}));
    EXPECT_EQ(objects({.Run = "0123456789abcdef"}), (Names{"dave"})) << "lines of no run are in none";
    EXPECT_EQ(objects({.Run = "0123456789abcde"}), (Names{})) << "the id exactly";
    EXPECT_EQ(objects({.Server = "db1"}), (Names{"bob", "bob@Sales"}));
    EXPECT_EQ(objects({.Server = "db1:12010"}), (Names{"bob@Sales"}));
    EXPECT_EQ(objects({.User = "root"}), (Names{"bob@Sales"}));
    EXPECT_EQ(objects({.Object = "bob"}), (Names{"bob", "bob@Sales"}));
    // 2024-05-01T12:00+02:00 is 10:00 UTC; until is exclusive.
    EXPECT_EQ(
        objects({.Since = ParseTime("2024-05-01T12:00+02:00"), .Until = ParseTime("2024-05-02T09:30:00.5Z")}),
        (Names{"bob", "bob@Sales"}));
    EXPECT_EQ(objects({.Since = ParseTime("2024-05-02"), .Until = ParseTime("2024-05-04")}),
              (Names{"carol", "carol"}));

    const std::vector<Entry> entries = ReadHistory(path).Entries;
    EXPECT_EQ(EntryText(entries[3]),
              "2024-05-03T00:00:00.000+00:00 db2:12006 admin (test): modify user carol -- "
              "failed: KORVEL Engine Error # 11292 The user 'carol' already exists");
    EXPECT_EQ(entries[3].ErrorCode, 11292);
    EXPECT_FALSE(entries[3].From.Run);
    ASSERT_TRUE(entries[4].From.Run);
    EXPECT_EQ(entries[4].From.Run->File, "state.yaml");
    EXPECT_EQ(entries[4].From.Run->Sha256, std::string(64, 'e'));
    EXPECT_EQ(EntryText(entries[4]),
              "2024-05-04T00:00:00.000+00:00 db2:12006 admin (test, run 0123456789abcdef): modify user dave");

    for (const char* bad : {"", "2024-13-01", "2024-02-30", "2024-05-01T25:00", "2024-05-01T10:00+2",
                            "yesterday", "2024-05-01T10:00:00.Z"})
        EXPECT_FALSE(ParseTime(bad)) << bad;
    EXPECT_EQ(ParseTime("2024-05-01T10:00:00-0130"), ParseTime("2024-05-01T11:30Z"));
}

} // namespace
} // namespace korvel::journal
