// Files we write are ours: each writer (journal, profiles, settings, exports, the window's trace file)
// refuses a symbolic link planted where its file goes, leaving the link's target as it was, and a directory
// that others can write or that another user owns; without HOME nothing lands in the working directory. The
// readers of settings and the journal take hostile files whole or refuse them, never crash.
#include "cli/Output.h"
#include "journal/History.h"
#include "settings/IniFile.h"
#include "settings/Profiles.h"
#include "testing/TempDir.h"
#ifdef KORVEL_WITH_TRACE_FILE
#include "admin/trace/TraceFile.h"
#endif

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace korvel
{
namespace
{

using test::TempDir;

struct Writer
{
    std::string Name;
    std::function<void(const std::string& path)> Write;
};

void PrintTo(const Writer& writer, std::ostream* out)
{
    *out << writer.Name;
}

void AppendJournal(const std::string& path)
{
    journal::Entry entry;
    entry.Time = journal::Now();
    entry.Operation = "modify user";
    entry.Object = "bob";
    journal::Journal(path).Append(entry);
}

void SaveProfile(const std::string& path)
{
    settings::ProfileStore(path).Save(settings::Profile{"Office", {}, "ops"});
}

void UpdateSettings(const std::string& path)
{
    settings::UpdateIniFile(path,
                            [](settings::IniFile& ini)
                            {
                                ini.WriteString("Remote", "Remote Host", "db1");
                                return true;
                            });
}

void Export(const std::string& path)
{
    cli::WriteOutputFile(path, "users: []\n");
}

#ifdef KORVEL_WITH_TRACE_FILE
void Trace(const std::string& path)
{
    admin::TraceFile trace(QString::fromStdString(path));
    trace.Open();
    trace.WriteLine("trace");
}
#endif

std::string Read(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

class FileSafetyTest : public ::testing::TestWithParam<Writer>
{
protected:
    // The writer's file in a directory of its own, so a refusal of the directory is the writer's alone.
    FileSafetyTest() : dir(home / "dir"), path(dir + "/file") { mkdir(dir.c_str(), 0700); }

    TempDir home;
    TempDir elsewhere;
    std::string dir;
    std::string path;
};

TEST_P(FileSafetyTest, WritesAPrivateFileInAPrivateDirectory)
{
    ASSERT_NO_THROW(GetParam().Write(path));
    struct stat status
    {
    };
    ASSERT_EQ(lstat(path.c_str(), &status), 0);
    EXPECT_TRUE(S_ISREG(status.st_mode));
    EXPECT_EQ(status.st_mode & 022, 0u) << "nobody else can write it";
    EXPECT_NO_THROW(GetParam().Write(path)) << "and can be written again";
}

TEST_P(FileSafetyTest, RefusesASymbolicLinkAndLeavesItsTargetAlone)
{
    // No line break at the end: a writer that followed the link would cut it as a torn journal line.
    const std::string victim = elsewhere.WriteFile("victim", "[Remote]\nkeep=1\nno line end", 0644);
    ASSERT_EQ(symlink(victim.c_str(), path.c_str()), 0);
    EXPECT_THROW(GetParam().Write(path), std::runtime_error);
    EXPECT_EQ(Read(victim), "[Remote]\nkeep=1\nno line end");
    struct stat status
    {
    };
    ASSERT_EQ(stat(victim.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0644u) << "its mode too";
    ASSERT_EQ(lstat(path.c_str(), &status), 0);
    EXPECT_TRUE(S_ISLNK(status.st_mode)) << "the link is not replaced either";
}

TEST_P(FileSafetyTest, RefusesADirectoryOthersCanWrite)
{
    for (mode_t mode : {0777, 0770, 0702})
    {
        ASSERT_EQ(chmod(dir.c_str(), mode), 0);
        EXPECT_THROW(GetParam().Write(path), std::runtime_error) << std::oct << mode;
        EXPECT_NE(access(path.c_str(), F_OK), 0) << std::oct << mode;
    }
}

TEST_P(FileSafetyTest, RefusesADirectoryOrFileOfAnotherUser)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "giving a file to another user takes root";
    const uid_t nobodyElse = 4242424; // no account has it
    ASSERT_EQ(chown(dir.c_str(), nobodyElse, nobodyElse), 0);
    EXPECT_THROW(GetParam().Write(path), std::runtime_error);
    EXPECT_NE(access(path.c_str(), F_OK), 0);

    ASSERT_EQ(chown(dir.c_str(), 0, 0), 0);
    const std::string theirs = "[Remote]\ntheirs=1\n";
    std::ofstream(path) << theirs;
    ASSERT_EQ(chown(path.c_str(), nobodyElse, nobodyElse), 0);
    EXPECT_THROW(GetParam().Write(path), std::runtime_error);
    EXPECT_EQ(Read(path), theirs);
}

std::vector<Writer> Writers()
{
    std::vector<Writer> writers{{"Journal", AppendJournal},
                                {"Profiles", SaveProfile},
                                {"Settings", UpdateSettings},
                                {"Export", Export}};
#ifdef KORVEL_WITH_TRACE_FILE
    writers.push_back({"TraceFile", Trace});
#endif
    return writers;
}

INSTANTIATE_TEST_SUITE_P(Writers, FileSafetyTest, ::testing::ValuesIn(Writers()),
                         [](const auto& info) { return info.param.Name; });

TEST(FileSafety, WithoutHomeNothingLandsInTheWorkingDirectory)
{
    TempDir work;
    ASSERT_EQ(chdir(work.Path().c_str()), 0);
    for (const char* name : {"HOME", "XDG_STATE_HOME", "XDG_CONFIG_HOME"})
        unsetenv(name);
    journal::Entry entry;
    entry.Operation = "modify user";
    EXPECT_THROW(journal::Journal().Append(entry), journal::JournalError);
    EXPECT_THROW(settings::ProfileStore().Save(settings::Profile{"Office", {}, "ops"}), std::runtime_error);
    EXPECT_TRUE(std::filesystem::is_empty(work.Path()));
}

// The hostile INI and journal files read whole or refused with a message, in bounded memory (the journal's
// 100,000-brace line is skipped, not parsed into a tree).
TEST(FileSafety, HostileSettingsAndJournalFilesAreReadOrRefused)
{
    TempDir files;
    ASSERT_EQ(
        std::system(("python3 " KORVEL_HOSTILE_DIR "/make-files " + files.Path() + " >/dev/null").c_str()),
        0);
    const std::string ini = files / "profiles-hostile.ini";
    std::vector<settings::Profile> profiles = settings::ProfileStore(ini).List();
    std::vector<std::string> names;
    for (const settings::Profile& profile : profiles)
        names.push_back(profile.Name);
    EXPECT_EQ(names, (std::vector<std::string>{"", "a]", std::string(70000, 'x'), "p", "q", "r", "s"}));

    journal::History history = journal::ReadHistory(files / "journal-hostile.jsonl");
    ASSERT_EQ(history.Entries.size(), 0u);
    EXPECT_EQ(history.Unreadable, 6u);
}

} // namespace
} // namespace korvel
