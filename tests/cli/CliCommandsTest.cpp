// Every command of korvel-admin-cli against a real server, in text and JSON.
#include "CliTest.h"

#include <csignal>
#include <fstream>
#include <regex>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace korvel::test
{
namespace
{

using CliCommandsTest = CliTest;

TEST_F(CliCommandsTest, VersionAndStatusFollowTheServer)
{
    CliRun version = Run({"version"});
    EXPECT_EQ(version.Status, 0);
    EXPECT_EQ(version.Out, "engine_version: 3.21\n");
    CliRun versionJson = Run({"--json", "version"});
    EXPECT_EQ(versionJson.Out, "{\"engine_version\":\"3.21\"}\n");

    nlohmann::json status = Json({"status"});
    std::vector<std::string> keys;
    for (const auto& item : status.items())
        keys.push_back(item.key());
    EXPECT_EQ(keys.size(), 11u);
    EXPECT_EQ(status["running"], true);
    EXPECT_EQ(status["engine_version"], "3.21");
    EXPECT_EQ(status["admin_port"], server.AdminPort());
    EXPECT_EQ(status["main_port"], server.MainPort());
    EXPECT_GE(status["up_time_seconds"].get<int>(), 0);
    EXPECT_GT(status["memory_mb"].get<double>(), 0.0);

    EXPECT_EQ(Json({"server", "stop"}), nlohmann::json::object());
    status = Json({"status"});
    EXPECT_EQ(status["running"], false);
    EXPECT_EQ(status["up_time_seconds"], -1);
    EXPECT_NE(Run({"status"}).Out.find("running: false\nup_time_seconds: -1\n"), std::string::npos);
    EXPECT_EQ(status["connected_sessions"], 0);
    CliRun start = Run({"server", "start"});
    EXPECT_EQ(start.Status, 0);
    EXPECT_EQ(start.Out, "");
    EXPECT_GE(Json({"status"})["up_time_seconds"].get<int>(), 0);

    // The global option after the command, as the README shows it.
    CliRun after = Run({"status", "--json"});
    EXPECT_EQ(after.Status, 0) << after.Err;
    EXPECT_EQ(nlohmann::json::parse(after.Out, nullptr, false)["running"], true) << after.Out;

    CliRun text = Run({"status"});
    EXPECT_NE(text.Out.find("admin_port: " + std::to_string(server.AdminPort()) + "\n"), std::string::npos)
        << text.Out;
}

TEST_F(CliCommandsTest, SessionsAreListedAndDisconnectedOrRemoved)
{
    pid_t load = fork();
    if (load == 0)
    {
        std::string port = std::to_string(server.MainPort());
        std::string program = RefServer::LoadExecutable();
        execl(program.c_str(), program.c_str(), "--port", port.c_str(), "--clients", "2", "--user", "admin",
              "--password", "secret", "--seconds", "60", static_cast<char*>(nullptr));
        _exit(127);
    }
    nlohmann::json sessions;
    for (int attempt = 0; attempt < 100 && sessions.size() < 2; ++attempt)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        sessions = Json({"sessions"});
    }
    struct StopLoad
    {
        pid_t Pid;
        ~StopLoad()
        {
            kill(Pid, SIGTERM);
            waitpid(Pid, nullptr, 0);
        }
    } stopLoad{load};
    ASSERT_EQ(sessions.size(), 2u) << sessions.dump();

    const std::regex isoDate(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d)");
    for (const auto& row : sessions)
    {
        EXPECT_EQ(row["user"], "admin");
        EXPECT_EQ(row["address"], "127.0.0.1");
        EXPECT_EQ(row["internet"], false);
        EXPECT_TRUE(std::regex_match(row["created_on"].get<std::string>(), isoDate)) << row.dump();
        EXPECT_TRUE(std::regex_match(row["last_connected"].get<std::string>(), isoDate)) << row.dump();
    }
    EXPECT_EQ(sessions[0]["number"], 1);

    std::string id = std::to_string(sessions[0]["id"].get<int>());
    CliRun disconnected = Run({"--json", "session", "disconnect", id});
    EXPECT_EQ(disconnected.Status, 0) << disconnected.Err;
    EXPECT_EQ(disconnected.Out, "{\"result\":true}\n");
    CliRun removed = Run({"session", "remove", id});
    EXPECT_EQ(removed.Status, 0) << removed.Err;
    EXPECT_EQ(removed.Out, "result: true\n");
    CliRun missing = Run({"session", "remove", id});
    EXPECT_EQ(missing.Status, 1);
    EXPECT_EQ(missing.Out, "result: false\n");
}

TEST_F(CliCommandsTest, UsersAreAddedShownModifiedAndDeleted)
{
    EXPECT_EQ(Run({"user", "add", "bob", "--password", "pw", "--description", "Bob B"}).Status, 0);
    CliRun duplicate = Run({"user", "add", "bob"});
    EXPECT_EQ(duplicate.Status, 1);
    EXPECT_EQ(
        duplicate.Err,
        "KORVEL Engine Error # 11292 The user 'bob' already exists on the database server at '127.0.0.1'\n");
    EXPECT_EQ(Json({"user", "list"}), nlohmann::json({"admin", "bob"}));

    nlohmann::json shown = Json({"user", "show", "bob"});
    EXPECT_EQ(shown, nlohmann::json({{"name", "bob"}, {"description", "Bob B"}, {"administrator", false}}));
    EXPECT_EQ(Json({"user", "show", "bob", "--show-password"})["password"], "pw");

    // Only what is given changes.
    EXPECT_EQ(Run({"user", "modify", "bob", "--admin"}).Status, 0);
    shown = Json({"user", "show", "bob", "--show-password"});
    EXPECT_EQ(shown["administrator"], true);
    EXPECT_EQ(shown["description"], "Bob B");
    EXPECT_EQ(shown["password"], "pw");
    EXPECT_EQ(Run({"user", "modify", "bob", "--no-admin", "--description", ""}).Status, 0);
    shown = Json({"user", "show", "bob", "--show-password"});
    EXPECT_EQ(shown["administrator"], false);
    EXPECT_EQ(shown["description"], "");
    EXPECT_EQ(shown["password"], "pw");

    // After the command name its own --password wins over the global one (the login still uses the global
    // one), and a global option there is still the global one.
    CliRun carol = Run({"user", "add", "carol", "--password", "cpw", "--json"});
    EXPECT_EQ(carol.Status, 0) << carol.Err;
    EXPECT_EQ(carol.Out, "{}\n");
    EXPECT_EQ(Json({"user", "show", "carol", "--show-password"})["password"], "cpw");

    CliRun text = Run({"user", "show", "bob"});
    EXPECT_EQ(text.Out, "name: bob\ndescription: \nadministrator: false\n");

    EXPECT_EQ(Run({"user", "delete", "bob"}).Status, 0);
    CliRun gone = Run({"user", "show", "bob"});
    EXPECT_EQ(gone.Status, 1);
    EXPECT_NE(gone.Err.find("KORVEL Engine Error # "), std::string::npos);
    EXPECT_EQ(gone.Err.find('\n'), gone.Err.size() - 1); // one line
}

TEST_F(CliCommandsTest, DatabasesAndTheRightsOfTheirUsers)
{
    EXPECT_EQ(
        Run({"database", "add", "sales", "--directory", "/data/sales", "--description", "Sales"}).Status, 0);
    EXPECT_EQ(Json({"database", "list"}), nlohmann::json({"sales"}));
    EXPECT_EQ(Run({"database", "modify", "sales", "--directory", "/data/sales2"}).Status, 0);
    EXPECT_EQ(Json({"database", "show", "sales"}),
              nlohmann::json({{"name", "sales"}, {"description", "Sales"}, {"directory", "/data/sales2"}}));

    EXPECT_EQ(Run({"user", "add", "bob"}).Status, 0);
    EXPECT_EQ(Run({"dbuser", "add", "sales", "bob"}).Status, 0); // read only
    EXPECT_EQ(Json({"dbuser", "show", "sales", "bob"}),
              nlohmann::json({{"database", "sales"}, {"user", "bob"}, {"rights", {"read"}}}));
    EXPECT_EQ(Run({"dbuser", "modify", "sales", "bob", "--rights", "insert,DROP,read"}).Status, 0);
    EXPECT_EQ(Json({"dbuser", "show", "sales", "bob"})["rights"], nlohmann::json({"read", "insert", "drop"}));
    EXPECT_EQ(Run({"dbuser", "modify", "sales", "bob", "--rights", "all"}).Status, 0);
    EXPECT_EQ(Json({"dbuser", "show", "sales", "bob"})["rights"].size(), 7u);
    EXPECT_EQ(Run({"dbuser", "modify", "sales", "bob", "--rights", "none"}).Status, 0);
    EXPECT_EQ(Json({"dbuser", "show", "sales", "bob"})["rights"], nlohmann::json::array());
    EXPECT_EQ(Json({"dbuser", "list", "sales"}), nlohmann::json({"bob"}));
    EXPECT_EQ(Run({"dbuser", "show", "sales", "bob"}).Out, "database: sales\nuser: bob\nrights: \n");

    EXPECT_EQ(Run({"dbuser", "delete", "sales", "bob"}).Status, 0);
    EXPECT_EQ(Json({"dbuser", "list", "sales"}), nlohmann::json::array());
    EXPECT_EQ(Run({"database", "delete", "sales"}).Status, 0);
    CliRun missing = Run({"dbuser", "list", "sales"});
    EXPECT_EQ(missing.Status, 1);
    EXPECT_NE(missing.Err.find("sales"), std::string::npos) << missing.Err;
}

TEST_F(CliCommandsTest, ConfigSetChangesOnlyTheGivenValues)
{
    nlohmann::json before = Json({"config", "show"});
    EXPECT_EQ(before.size(), 9u);
    EXPECT_EQ(Run({"config", "set", "max_connections=50", "deny_logins=true",
                   "blocked_addresses=10.0.0.1,10.0.0.2"})
                  .Status,
              0);
    nlohmann::json after = Json({"config", "show"});
    EXPECT_EQ(after["max_connections"], 50);
    EXPECT_EQ(after["deny_logins"], true);
    EXPECT_EQ(after["blocked_addresses"], nlohmann::json({"10.0.0.1", "10.0.0.2"}));
    EXPECT_EQ(after["dead_session_expires"], before["dead_session_expires"]);
    EXPECT_EQ(after["temp_directory"], before["temp_directory"]);

    // Spaces around items are dropped; an empty item is a usage error and nothing changes.
    EXPECT_EQ(Run({"config", "set", "authorized_addresses=10.0.0.3, 10.0.0.4 "}).Status, 0);
    EXPECT_EQ(Json({"config", "show"})["authorized_addresses"], nlohmann::json({"10.0.0.3", "10.0.0.4"}));
    CliRun emptyItem = Run({"config", "set", "authorized_addresses=10.0.0.5,,10.0.0.6"});
    EXPECT_EQ(emptyItem.Status, 2);
    EXPECT_NE(emptyItem.Err.find("empty address"), std::string::npos) << emptyItem.Err;
    EXPECT_EQ(Json({"config", "show"})["authorized_addresses"], nlohmann::json({"10.0.0.3", "10.0.0.4"}));

    EXPECT_EQ(Run({"config", "set", "blocked_addresses=", "deny_logins=false"}).Status, 0);
    after = Json({"config", "show"});
    EXPECT_EQ(after["blocked_addresses"], nlohmann::json::array());
    EXPECT_EQ(after["max_connections"], 50);
    EXPECT_NE(Run({"config", "show"}).Out.find("max_connections: 50\n"), std::string::npos);
}

TEST_F(CliCommandsTest, LogIsPrintedOrWrittenWithCrLf)
{
    nlohmann::json lines = Json({"log"});
    ASSERT_TRUE(lines.is_array());
    ASSERT_FALSE(lines.empty());

    std::string path = server.DataDir() + "/saved.log";
    CliRun saved = Run({"log", "--output", path});
    EXPECT_EQ(saved.Status, 0) << saved.Err;
    EXPECT_EQ(saved.Out, "");
    std::ifstream file(path, std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    std::string text = content.str();
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    EXPECT_EQ(text.find(lines[0].get<std::string>() + "\r\n"), 0u);
}

} // namespace
} // namespace korvel::test
