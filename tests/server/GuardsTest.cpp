// What keeps an installation administrable: the last administrator cannot be deleted or demoted, one server
// at a time holds a data directory, and --reset-admin recovers an administrator offline.
#include "engine/wire/ErrorCodes.h"
#include "tests/server/ServerTestSupport.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

namespace korvel::test
{
namespace
{

struct ProgramRun
{
    int Status = -1;
    std::string Output; // stdout and stderr
};

ProgramRun RunServerProgram(const std::string& arguments)
{
    ProgramRun run;
    FILE* pipe = popen((RefServer::ServerExecutable() + " " + arguments + " 2>&1").c_str(), "r");
    std::array<char, 256> buffer{};
    while (std::size_t n = fread(buffer.data(), 1, buffer.size(), pipe))
        run.Output.append(buffer.data(), n);
    int status = pclose(pipe);
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
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
