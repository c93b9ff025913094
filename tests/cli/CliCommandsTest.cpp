// Every command of korvel-admin-cli against a real server, in text and JSON.
#include "CliTest.h"

#include "testing/Eventually.h"

#include <chrono>
#include <csignal>
#include <fstream>
#include <regex>
#include <sstream>
#include <sys/wait.h>
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
    Eventually(
        [&]
        {
            sessions = Json({"sessions"});
            return sessions.size() >= 2;
        },
        std::chrono::seconds(5));
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

    EXPECT_EQ(Json({"sessions", "--user", "admin"}), sessions);
    EXPECT_EQ(Json({"sessions", "--user", "nobody"}), nlohmann::json::array());

    // Several ids, one report; an id that fails says why, and the exit status says that one did.
    const std::string first = std::to_string(sessions[0]["id"].get<int>());
    const std::string second = std::to_string(sessions[1]["id"].get<int>());
    CliRun disconnected = Run({"--json", "session", "disconnect", first, second});
    EXPECT_EQ(disconnected.Status, 0) << disconnected.Err;
    EXPECT_EQ(nlohmann::json::parse(disconnected.Out),
              nlohmann::json({{{"id", sessions[0]["id"]}, {"result", true}, {"reason", ""}},
                              {{"id", sessions[1]["id"]}, {"result", true}, {"reason", ""}}}));
    CliRun again = Run({"--json", "session", "disconnect", first});
    EXPECT_EQ(again.Status, 1);
    EXPECT_EQ(nlohmann::json::parse(again.Out)[0]["reason"], "the session is not connected");
    CliRun removed = Run({"session", "remove", first, "12345"});
    EXPECT_EQ(removed.Status, 1) << removed.Err;
    EXPECT_EQ(removed.Out.rfind("id ", 0), 0u) << removed.Out;
    EXPECT_NE(removed.Out.find("\n" + first + " "), std::string::npos) << removed.Out;
    EXPECT_NE(removed.Out.find("\n12345 "), std::string::npos) << removed.Out;
    EXPECT_NE(removed.Out.find(" false   the server holds no session with this id\n"), std::string::npos)
        << removed.Out;
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

TEST_F(CliCommandsTest, ANewUsersPasswordFromStandardInputOrAskedTwiceOnTheTerminal)
{
    CliRun piped =
        RunCliReading(Args({"user", "add", "dave", "--password-stdin"}), "from stdin\nnext line\n");
    EXPECT_EQ(piped.Status, 0) << piped.Err;
    EXPECT_EQ(Json({"user", "show", "dave", "--show-password"})["password"], "from stdin");
    EXPECT_EQ(RunCliReading(Args({"user", "add", "erin", "--password-stdin"}), "").Status, 2);
    EXPECT_EQ(Run({"user", "add", "erin", "--password", "x", "--password-stdin"}).Status, 2);

    std::string terminal;
    CliRun asked = RunCliOnTerminal(
        Args({"user", "add", "fay"}),
        {{"Password for the new user 'fay': ", "typed\n"}, {"The same password again: ", "typed\n"}},
        terminal);
    EXPECT_EQ(asked.Status, 0) << asked.Err << terminal;
    EXPECT_EQ(terminal.find("typed"), std::string::npos) << "not echoed: " << terminal;
    EXPECT_EQ(Json({"user", "show", "fay", "--show-password"})["password"], "typed");

    CliRun differ = RunCliOnTerminal(
        Args({"user", "add", "gil"}),
        {{"Password for the new user 'gil': ", "one\n"}, {"The same password again: ", "two\n"}}, terminal);
    EXPECT_EQ(differ.Status, 2);
    EXPECT_NE(differ.Err.find("the two passwords differ"), std::string::npos) << differ.Err;
    EXPECT_EQ(Json({"user", "list"}), nlohmann::json({"admin", "dave", "fay"}));
}

TEST_F(CliCommandsTest, NamesWithCommasLongNamesAndADatabaseNamedUser)
{
    for (const char* user : {"a", "b", "a,b", "zo\xc3\xab"})
        ASSERT_EQ(Run({"user", "add", user, "--password", "pw"}).Status, 0) << user;
    for (const char* database : {"caf\xc3\xa9", "user"})
        ASSERT_EQ(Run({"database", "add", database, "--directory", "/data/x"}).Status, 0) << database;

    // One --users with a comma that is also a user's name: which was meant cannot be told.
    CliRun ambiguous = Run({"rights", "grant", "R", "--users", "a,b", "--databases", "user", "--force"});
    EXPECT_EQ(ambiguous.Status, 1);
    EXPECT_NE(ambiguous.Err.find("'a,b' is a name on the server and also a list of names"), std::string::npos)
        << ambiguous.Err;
    // Repeated, each is one name as it is.
    ASSERT_EQ(
        Run({"rights", "grant", "R", "--users", "a,b", "--users", "b", "--databases", "user", "--force"})
            .Status,
        0);
    nlohmann::json rights = Json({"rights", "--user", "a", "--user", "a,b", "--user", "b"});
    EXPECT_EQ(rights["users"], nlohmann::json({"a", "a,b", "b"}));
    EXPECT_EQ(rights["rights"]["a,b"]["user"], nlohmann::json({"read"}));
    EXPECT_EQ(rights["rights"]["b"]["user"], nlohmann::json({"read"}));
    EXPECT_EQ(rights["rights"]["a"], nlohmann::json::object());

    // The table keeps its user column beside a database named user, and pads by what the terminal shows.
    CliRun table = Run({"rights"});
    ASSERT_EQ(table.Status, 0) << table.Err;
    std::istringstream lines(table.Out);
    std::vector<std::string> rows;
    for (std::string line; std::getline(lines, line);)
        rows.push_back(line);
    const nlohmann::json users = Json({"user", "list"});
    ASSERT_EQ(rows.size(), users.size() + 1) << table.Out;
    EXPECT_EQ(rows[0].rfind("user ", 0), 0u) << rows[0];
    for (std::size_t i = 0; i < users.size(); ++i)
        EXPECT_EQ(rows[i + 1].rfind(users[i].get<std::string>() + " ", 0), 0u) << rows[i + 1];
    auto lastColumn = [](const std::string& row)
    {
        const std::string before = row.substr(0, row.find_last_of(' ') + 1);
        return std::count_if(before.begin(), before.end(), [](char c) { return (c & 0xC0) != 0x80; });
    };
    for (const std::string& row : rows)
        EXPECT_EQ(lastColumn(row), lastColumn(rows[0])) << table.Out;

    // A name over 255 bytes is refused before anything is sent, never cut to reach another user.
    const std::string longName(300, 'n');
    ASSERT_EQ(Run({"user", "add", longName.substr(0, 255), "--password", "pw"}).Status, 0);
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"user", "delete", longName},
             {"user", "show", longName},
             {"dbuser", "add", "user", longName},
             {"rights", "grant", "R", "--users", longName, "--databases", "user", "--force"},
             {"rights", "--database", longName},
             {"sessions", "--user", longName}})
    {
        CliRun run = Run(args);
        EXPECT_EQ(run.Status, 2) << args[0] << " " << args[1] << ": " << run.Err;
        EXPECT_NE(run.Err.find("a name has at most 255"), std::string::npos) << run.Err;
    }
    EXPECT_EQ(Json({"user", "list"}).size(), 6u) << "nobody was deleted";
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

    // Spaces around items are dropped.
    EXPECT_EQ(Run({"config", "set", "authorized_addresses=10.0.0.3, 10.0.0.4 "}).Status, 0);
    EXPECT_EQ(Json({"config", "show"})["authorized_addresses"], nlohmann::json({"10.0.0.3", "10.0.0.4"}));
    // A blank item would be an address entry that matches nothing: it is dropped, with a warning.
    CliRun blank = Run({"config", "set", "authorized_addresses=10.0.0.5,,10.0.0.6"});
    EXPECT_EQ(blank.Status, 0) << blank.Err;
    EXPECT_NE(blank.Err.find("a blank item of authorized_addresses is dropped"), std::string::npos)
        << blank.Err;
    EXPECT_EQ(Json({"config", "show"})["authorized_addresses"], nlohmann::json({"10.0.0.5", "10.0.0.6"}));

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
