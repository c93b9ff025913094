// The journal as the CLI writes it against a real korvel-refserver: one line per change, none for a read,
// failures with the server's code, never a password; and `history` reading it back.
#include "CliStateTest.h"

#include "testing/LoadClients.h"

#include <sys/stat.h>

namespace korvel::test
{
namespace
{

std::vector<nlohmann::json> Lines(const std::string& text)
{
    std::vector<nlohmann::json> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(nlohmann::json::parse(line, nullptr, false));
    return lines;
}

TEST_F(CliStateTest, OneLinePerChangeFromTheCommandsAndApply)
{
    const std::vector<std::vector<std::string>> changes = {
        {"user", "add", "bob", "--password", "first-secret"},
        {"user", "modify", "bob", "--admin", "--password", "second-secret"},
        {"database", "add", "Sales", "--directory", "/data/sales"},
        {"dbuser", "add", "Sales", "bob", "--rights", "read"},
        {"rights", "grant", "U", "--users", "bob", "--databases", "Sales", "--force"},
        {"config", "set", "max_connections=9"},
        {"server", "stop"},
        {"server", "start"},
    };
    for (const auto& change : changes)
        ASSERT_EQ(Run(change).Status, 0) << change[0] << " " << change[1];
    {
        LoadClients load(server, 1);
        const int id = Json({"sessions"})[0]["id"];
        ASSERT_EQ(Run({"session", "disconnect", std::to_string(id)}).Status, 0);
        EXPECT_EQ(Run({"session", "disconnect", std::to_string(id)}).Status, 1) << "no longer connected";
    }
    for (const auto& read :
         std::vector<std::vector<std::string>>{{"status"}, {"user", "list"}, {"rights"}, {"export"}})
        ASSERT_EQ(Run(read).Status, 0) << read[0];
    EXPECT_EQ(Run({"user", "add", "bob", "--password", "x"}).Status, 1) << "a duplicate";
    ASSERT_EQ(RunWith({"apply", Write("s.yaml", "users:\n  - name: bob\n    description: desk\n"), "--force"},
                      {"KORVEL_ADMIN_CALLER=korvel.admin.korvel_user"})
                  .Status,
              0);

    const std::string text = Read(JournalPath());
    std::vector<nlohmann::json> lines = Lines(text);
    ASSERT_EQ(lines.size(), changes.size() + 4) << text;
    const std::string address = "127.0.0.1:" + std::to_string(server.AdminPort());
    for (const nlohmann::json& line : lines)
    {
        EXPECT_EQ(line["server"], address);
        EXPECT_EQ(line["user"], "admin");
        EXPECT_EQ(line["profile"], "");
        EXPECT_TRUE(line["time"].get<std::string>().ends_with("+00:00")) << line;
    }
    auto expect = [&](std::size_t at, const char* operation, const nlohmann::json& object, const char* change)
    {
        EXPECT_EQ(lines[at]["operation"], operation) << at;
        EXPECT_EQ(lines[at]["object"], object) << at;
        EXPECT_EQ(lines[at]["change"], change) << at;
    };
    expect(0, "add user", "bob", "administrator false; description \"\"; password set");
    expect(1, "modify user", "bob", "administrator false -> true; password changed");
    expect(2, "add database", "Sales", "directory \"/data/sales\"; description \"\"");
    const nlohmann::json pair{{"user", "bob"}, {"database", "Sales"}};
    expect(3, "add database user", pair, "- -> R");
    expect(4, "modify database user", pair, "R -> RU");
    expect(5, "modify config", "", "max_connections 0 -> 9");
    expect(6, "stop server", "", "");
    expect(7, "start server", "", "");
    EXPECT_EQ(lines[7]["result"], "ok");
    expect(8, "disconnect session", lines[8]["object"].get<std::string>().c_str(), "");
    EXPECT_EQ(lines[8]["result"], "ok");
    EXPECT_EQ(lines[9]["result"], "error") << "the server said no";
    expect(10, "add user", "bob", "administrator false; description \"\"; password set");
    EXPECT_EQ(lines[10]["result"], "error");
    EXPECT_EQ(lines[10]["code"], 11292);
    EXPECT_NE(lines[10]["message"].get<std::string>().find("already exists"), std::string::npos) << lines[10];
    expect(11, "modify user", "bob", "description \"\" -> \"desk\"");
    EXPECT_EQ(lines[11]["program"], "korvel-admin-cli (korvel.admin.korvel_user)");
    EXPECT_EQ(lines[0]["program"], "korvel-admin-cli");
    EXPECT_EQ(text.find("secret"), std::string::npos);

    struct stat file
    {
    }, directory{};
    ASSERT_EQ(stat(JournalPath().c_str(), &file), 0);
    ASSERT_EQ(stat((dir + "/state/korvel-admin").c_str(), &directory), 0);
    EXPECT_EQ(file.st_mode & 0777, 0600u);
    EXPECT_EQ(directory.st_mode & 0777, 0700u);

    nlohmann::json history = Json({"history", "--server", address});
    ASSERT_EQ(history.size(), lines.size());
    EXPECT_EQ(history[4], lines[4]);
    EXPECT_EQ(Json({"history", "--server", "127.0.0.1"}).size(), lines.size()) << "every port of the host";
    EXPECT_EQ(Json({"history", "--server", "127.0.0.1:1"}), nlohmann::json::array());
    EXPECT_EQ(Json({"history", "--since", lines[11]["time"].get<std::string>()}).size(), 1u);
    EXPECT_EQ(Json({"history", "--since", "2999-01-01T00:00+02:00"}), nlohmann::json::array());
    CliRun readable = Run({"history", "--since", "2000-01-01"});
    EXPECT_NE(
        readable.Out.find(address + " admin (korvel-admin-cli): modify config: max_connections 0 -> 9\n"),
        std::string::npos)
        << readable.Out;
    CliRun bad = Run({"history", "--since", "yesterday"});
    EXPECT_EQ(bad.Status, 2);
    EXPECT_NE(bad.Err.find("'yesterday' is not an ISO 8601 time"), std::string::npos) << bad.Err;
}

TEST_F(CliStateTest, AChangeThatCannotBeJournaledIsNotSent)
{
    setenv("XDG_STATE_HOME", "/proc/korvel", 1);
    CliRun refused = Run({"user", "add", "bob", "--password", "b"});
    CliRun read = Run({"user", "list"});
    setenv("XDG_STATE_HOME", (dir + "/state").c_str(), 1);
    EXPECT_EQ(refused.Status, 1);
    EXPECT_NE(refused.Err.find("Cannot open the journal: /proc/korvel: "), std::string::npos) << refused.Err;
    EXPECT_EQ(read.Status, 0) << "reads need no journal";
    EXPECT_EQ(Json({"user", "list"}), nlohmann::json({"admin"}));
}

} // namespace
} // namespace korvel::test
