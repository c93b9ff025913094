// What keeps an installation administrable and its secrets its owner's: the last administrator cannot be
// deleted or demoted, a session loses its rights with its administrator, one server at a time holds a data
// directory, --reset-admin recovers an administrator offline, and the data directory is private and opens no
// planted link.
#include "engine/wire/ErrorCodes.h"
#include "testing/TempDir.h"
#include "tests/server/ServerTestSupport.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace korvel::test
{
namespace
{

struct ProgramRun
{
    int Status = -1;
    std::string Output; // stdout and stderr
};

// Runs korvel-refserver to its end; one that starts serving instead is stopped after a minute (status 124).
ProgramRun RunServerProgram(const std::string& arguments)
{
    ProgramRun run;
    FILE* pipe =
        popen(("timeout 60 " + RefServer::ServerExecutable() + " " + arguments + " 2>&1").c_str(), "r");
    std::array<char, 256> buffer{};
    while (std::size_t n = fread(buffer.data(), 1, buffer.size(), pipe))
        run.Output.append(buffer.data(), n);
    int status = pclose(pipe);
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

mode_t ModeOf(const std::filesystem::path& path)
{
    struct stat info
    {
    };
    return lstat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

std::string Contents(const std::filesystem::path& path)
{
    std::ifstream file(path);
    return {std::istreambuf_iterator<char>(file), {}};
}

struct Refused
{
    std::uint16_t Code = 0;
    std::string User;
    std::string Database;
};

Refused Refusal(const std::function<void()>& action)
{
    try
    {
        action();
    }
    catch (const EKORVELEngineError& error)
    {
        return {error.ErrorCode, error.ErrorUserName, error.ErrorDatabaseName};
    }
    return {};
}

TEST(Guards, TheLastAdministratorIsNeitherDeletedNorDemoted)
{
    RefServer server;
    auto admin = OpenSession(server);
    admin->AddUser("bob", "pw", "", false);

    auto refused = Refusal([&] { admin->DeleteUser("admin"); });
    EXPECT_EQ(refused.Code, KORVEL_REMOTENOTAUTH);
    EXPECT_EQ(refused.User, "admin") << "names the administrator who asked";
    EXPECT_EQ(refused.Database, "");
    refused = Refusal([&] { admin->ModifyUser("admin", "other", "changed", false); });
    EXPECT_EQ(refused.Code, KORVEL_REMOTENOTAUTH);

    std::string password, description;
    bool administrator = false;
    admin->GetUser("admin", password, description, administrator);
    EXPECT_EQ(password, "secret") << "nothing changed";
    EXPECT_TRUE(administrator);

    // A non-administrator is deleted as before, and so is an administrator who is not the last.
    admin->ModifyUser("admin", "secret", "kept", true); // staying an administrator is allowed
    admin->DeleteUser("bob");
    admin->AddUser("carol", "pw", "", true);
    auto carol = OpenSession(server, true, true, "carol", "pw");
    carol->ModifyUser("admin", "secret", "", false);
    refused = Refusal([&] { carol->DeleteUser("carol"); });
    EXPECT_EQ(refused.Code, KORVEL_REMOTENOTAUTH);
    EXPECT_EQ(refused.User, "carol");
    carol->DeleteUser("admin");
    StringList names;
    carol->GetUserNames(names);
    EXPECT_EQ(names, StringList{"carol"});
}

TEST(Guards, AnOpenSessionLosesItsRightsWithItsAdministrator)
{
    RefServer server;
    auto admin = OpenSession(server);
    admin->AddUser("carol", "pw", "", true);
    admin->AddUser("dave", "pw", "", true);
    auto carol = OpenSession(server, true, true, "carol", "pw");
    auto dave = OpenSession(server, true, true, "dave", "pw");
    admin->ModifyUser("carol", "pw", "", false);
    admin->DeleteUser("dave");

    auto expectRefused = [](TDataSession& session, const std::string& name)
    {
        SCOPED_TRACE(name);
        auto refused = Refusal([&] { session.AddUser("mallory", "pw", "", true); });
        EXPECT_EQ(refused.Code, KORVEL_REMOTENOTADMIN);
        EXPECT_EQ(refused.User, name) << "names the user, as a refused LOGIN does";
        EXPECT_EQ(Refusal([&] { session.ModifyUser("admin", "locked-out", "", true); }).Code,
                  KORVEL_REMOTENOTADMIN);
        StringList names;
        EXPECT_EQ(Refusal([&] { session.GetUserNames(names); }).Code, KORVEL_REMOTENOTADMIN);
    };
    expectRefused(*carol, "carol");
    expectRefused(*dave, "dave");
    StringList names;
    admin->GetUserNames(names);
    EXPECT_EQ(names, (StringList{"admin", "carol"})) << "nothing was added";
    std::string password, description;
    bool administrator = false;
    admin->GetUser("admin", password, description, administrator);
    EXPECT_EQ(password, "secret") << "nor changed";
}

TEST(Guards, ASecondServerOnTheSameDataDirectoryStops)
{
    RefServer server;
    auto run = RunServerProgram("--data-dir " + server.DataDir() + " --admin-port 0 --main-port 0");
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Output.find("data directory in use"), std::string::npos) << run.Output;
    EXPECT_NO_THROW(OpenSession(server)) << "the first server is untouched";

    // Renaming files cannot get round the lock: it is held on the directory itself.
    const std::filesystem::path dir = server.DataDir();
    const auto aside = dir / "aside";
    std::filesystem::create_directory(aside);
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        if (entry.path() != aside)
            files.push_back(entry.path().filename());
    for (const auto& name : files)
        std::filesystem::rename(dir / name, aside / name);
    run = RunServerProgram("--data-dir " + dir.string() + " --reset-admin admin");
    for (const auto& name : files)
        std::filesystem::rename(aside / name, dir / name);
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Output.find("data directory in use"), std::string::npos) << run.Output;
    EXPECT_NO_THROW(OpenSession(server));
}

TEST(Guards, ResetAdminRefusesWhatCouldNeverWorkAndCreatesNothing)
{
    test::TempDir scratch("korvel-guards");
    const auto mistyped = std::filesystem::path(scratch.Path()) / "mistyped";
    const auto empty = std::filesystem::path(scratch.Path()) / "empty";
    std::filesystem::create_directory(empty);

    auto run = RunServerProgram("--data-dir " + mistyped.string() + " --reset-admin ''");
    EXPECT_EQ(run.Status, 2) << "not a normal start";
    EXPECT_NE(run.Output.find("a user name is needed"), std::string::npos) << run.Output;
    run = RunServerProgram("--data-dir " + mistyped.string() + " --reset-admin " + std::string(256, 'u'));
    EXPECT_EQ(run.Status, 2) << "a name LOGIN cannot carry";
    for (const auto& dir : {mistyped, empty})
    {
        run = RunServerProgram("--data-dir " + dir.string() + " --reset-admin bob");
        EXPECT_EQ(run.Status, 1);
        EXPECT_NE(run.Output.find("no KORVEL data in " + dir.string()), std::string::npos) << run.Output;
        EXPECT_EQ(run.Output.find("password"), std::string::npos) << run.Output;
    }
    EXPECT_FALSE(std::filesystem::exists(mistyped));
    EXPECT_TRUE(std::filesystem::is_empty(empty));
}

TEST(Guards, TheDataDirectoryIsTheOwnersAloneWhateverTheUmask)
{
    test::TempDir scratch("korvel-guards");
    RefServerOptions options;
    options.DataDir = (std::filesystem::path(scratch.Path()) / "new")
                          .string(); // a normal start makes a new installation there
    const std::filesystem::path dir = options.DataDir;
    auto expectPrivate = [&]
    {
        EXPECT_EQ(ModeOf(dir), 0700u);
        StringList names;
        for (const auto& entry : std::filesystem::directory_iterator(dir))
        {
            names.push_back(entry.path().filename().string());
            EXPECT_EQ(ModeOf(entry.path()), 0600u) << names.back();
        }
        return names;
    };
    const mode_t umaskBefore = umask(0);
    RefServer server(options);
    auto admin = OpenSession(server);
    admin->AddUser("bob", "pw", "", false); // the password goes through the WAL
    StringList names = expectPrivate();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (StringList{"korvel.db", "korvel.db-shm", "korvel.db-wal", "server.log"}));

    // An installation left readable by an earlier server is tightened at start, and says so.
    admin.reset();
    EXPECT_EQ(server.Stop(), 0); // no early return: the umask is restored below
    std::filesystem::permissions(dir, std::filesystem::perms(0755));
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        std::filesystem::permissions(entry.path(), std::filesystem::perms(0644));
    server.Start();
    umask(umaskBefore);
    expectPrivate();
    StringList log;
    OpenSession(server)->GetLog(log);
    const std::string said = "Tightened " + (dir / "korvel.db").string() + " from mode 0644 to 0600";
    EXPECT_TRUE(std::any_of(log.begin(), log.end(),
                            [&](const std::string& line) { return line.find(said) != std::string::npos; }));
}

TEST(Guards, NoFileIsOpenedThroughAPlantedLink)
{
    RefServer server;
    auto admin = OpenSession(server);
    admin->AddUser("bob", "pw", "", false);
    admin.reset();
    ASSERT_EQ(server.Stop(), 0);
    const std::filesystem::path dir = server.DataDir();
    const auto victim = dir / "victim";
    std::ofstream(victim) << "keep\n";
    std::filesystem::permissions(victim, std::filesystem::perms(0644));
    for (const char* name : {"korvel.db", "korvel.db-wal", "korvel.db-shm", "server.log"})
    {
        SCOPED_TRACE(name);
        const auto file = dir / name;
        const auto aside = dir / "aside";
        const bool existed = std::filesystem::exists(std::filesystem::symlink_status(file));
        if (existed)
            std::filesystem::rename(file, aside);
        std::filesystem::create_symlink(victim, file);
        EXPECT_THROW(server.Start(), std::runtime_error) << "the server refuses to start";
        EXPECT_EQ(Contents(victim), "keep\n");
        EXPECT_EQ(ModeOf(victim), 0644u);
        std::filesystem::remove(file);
        if (existed)
            std::filesystem::rename(aside, file);
    }
    server.Start();
    EXPECT_NO_THROW(OpenSession(server, /*adminPort=*/false, true, "bob", "pw"))
        << "the installation is intact";
}

// A data directory the server cannot call its own is refused by name before anything in it is changed,
// whether the server would start there or recover an administrator.
TEST(Guards, ADataDirectoryNotOursIsRefusedUntouched)
{
    struct Case
    {
        const char* Name;
        const char* Said;
        bool NeedsRoot;
        // Prepares `target` and returns the path to give as --data-dir.
        std::function<std::filesystem::path(const std::filesystem::path& target)> Plant;
    };
    const Case cases[] = {
        {"a link to one of ours", "is a symbolic link", false,
         [](const std::filesystem::path& target)
         {
             auto link = target.parent_path() / "link";
             std::filesystem::create_directory_symlink(target, link);
             return link;
         }},
        {"writable by others", "is writable by other users", false,
         [](const std::filesystem::path& target)
         {
             std::filesystem::permissions(target, std::filesystem::perms(0777));
             return target;
         }},
        {"another user's", "belongs to another user", true,
         [](const std::filesystem::path& target)
         {
             EXPECT_EQ(chown(target.c_str(), 65534, 65534), 0);
             return target;
         }},
    };
    for (const Case& c : cases)
        for (const char* action : {" --admin-port 0 --main-port 0", " --reset-admin admin"})
        {
            SCOPED_TRACE(std::string(c.Name) + action);
            if (c.NeedsRoot && geteuid() != 0)
                continue; // only root can give a directory away
            test::TempDir scratch("korvel-guards");
            const auto target = std::filesystem::path(scratch.Path()) / "target";
            std::filesystem::create_directory(target);
            std::filesystem::permissions(target, std::filesystem::perms(0755));
            const auto given = c.Plant(target);
            const mode_t before = ModeOf(target);
            auto run = RunServerProgram("--data-dir " + given.string() + action);
            EXPECT_EQ(run.Status, 1);
            EXPECT_NE(run.Output.find(given.string() + " " + c.Said), std::string::npos) << run.Output;
            EXPECT_EQ(ModeOf(target), before);
            EXPECT_TRUE(std::filesystem::is_empty(target));
        }
}

TEST(Guards, ResetAdminRecoversAStoppedInstallationOnly)
{
    RefServer server;
    auto admin = OpenSession(server);
    admin->AddUser("bob", "old", "Bob's account", false);
    admin.reset();

    auto running = RunServerProgram("--data-dir " + server.DataDir() + " --reset-admin bob");
    EXPECT_EQ(running.Status, 1);
    EXPECT_NE(running.Output.find("data directory in use"), std::string::npos) << running.Output;

    ASSERT_EQ(server.Stop(), 0);
    auto passwordFile = std::filesystem::path(server.DataDir()) / "initial-admin-password";
    std::filesystem::remove(passwordFile);
    std::ofstream(passwordFile.string() + ".stale") << "left over\n"; // must not get in the way
    auto reset = RunServerProgram("--data-dir " + server.DataDir() + " --reset-admin bob");
    ASSERT_EQ(reset.Status, 0) << reset.Output;
    std::string password;
    std::ifstream(passwordFile) >> password;
    EXPECT_EQ(password.size(), 20u);
    EXPECT_NE(reset.Output.find(password), std::string::npos) << "printed once";
    struct stat info
    {
    };
    ASSERT_EQ(lstat(passwordFile.c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(server.DataDir()))
        files += entry.path().filename().string().rfind("initial-admin-password.", 0) == 0;
    EXPECT_EQ(files, 1u) << "only the stale file: the new one was renamed into place";

    // A link planted at the final name is replaced, never written through.
    auto victim = std::filesystem::path(server.DataDir()) / "victim";
    std::ofstream(victim) << "keep\n";
    std::filesystem::remove(passwordFile);
    std::filesystem::create_symlink(victim, passwordFile);
    ASSERT_EQ(RunServerProgram("--data-dir " + server.DataDir() + " --reset-admin admin").Status, 0);
    std::string kept;
    std::ifstream(victim) >> kept;
    EXPECT_EQ(kept, "keep");
    EXPECT_FALSE(std::filesystem::is_symlink(passwordFile));
    std::string adminPassword;
    std::ifstream(passwordFile) >> adminPassword;

    server.Start();
    auto bob = OpenSession(server, true, true, "bob", password);
    std::string stored, description;
    bool administrator = false;
    bob->GetUser("bob", stored, description, administrator);
    EXPECT_TRUE(administrator);
    EXPECT_EQ(description, "Bob's account") << "an existing user keeps the rest";
    EXPECT_NO_THROW(OpenSession(server, true, true, "admin", adminPassword));
}

} // namespace
} // namespace korvel::test
