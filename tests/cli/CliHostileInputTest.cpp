// Names and files that lie or exhaust (testing/hostile): every name the server takes is shown by the CLI so
// that no two look alike and nothing reaches the terminal raw, JSON keeps its exact bytes, the journal keeps
// a database user's two names apart; every hostile state file is refused clearly (exit 2) or read as it is.
#include "CliStateTest.h"

#include "journal/JsonText.h"

#include <cstdio>
#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace korvel::test
{
namespace
{

using journal::ParseJson;
using JsonValue = nlohmann::ordered_json;

// Text a person reads: no byte that moves the cursor, starts a line or turns the text around.
void ExpectNothingRaw(const std::string& text, const std::string& what)
{
    for (unsigned char c : text)
        if ((c < 0x20 && c != '\n') || c == 0x7F)
            ADD_FAILURE() << what << " holds the raw byte " << int(c) << ":\n" << text;
    EXPECT_EQ(text.find("\xe2\x80\xae"), std::string::npos) << what << " holds a raw right-to-left override";
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Every line distinct, `count` of them.
void ExpectDistinctLines(const std::string& text, std::size_t count, const std::string& what)
{
    const std::vector<std::string> lines = Lines(text);
    EXPECT_EQ(lines.size(), count) << what << ":\n" << text;
    EXPECT_EQ(std::set<std::string>(lines.begin(), lines.end()).size(), lines.size()) << what << ":\n"
                                                                                      << text;
    ExpectNothingRaw(text, what);
}

TEST_F(CliStateTest, HostileNamesShowApartAndKeepTheirBytesInJson)
{
    // A NUL cannot be passed as an argument, and the server takes no empty name.
    std::set<std::string> taken;
    std::size_t tried = 0;
    for (const std::string& name : HostileNames())
        if (!name.empty() && name.find('\0') == std::string::npos && ++tried &&
            Run({"user", "add", "--password", "p", "--", name}).Status == 0)
            taken.insert(name);
    ASSERT_GE(taken.size(), tried - 2); // the one over 255 bytes, and the one cut inside a character
    for (const char* lying : {"bad\xfe"
                              "name",
                              "bad\xef\xbf\xbdname", "Secret\x1b[2K\rSafe", "\xe2\x80\xaenimda"})
        ASSERT_EQ(taken.count(lying), 1u) << lying;
    taken.insert("x");
    ASSERT_EQ(Run({"user", "add", "--password", "p", "--", "x"}).Status, 0);
    ASSERT_EQ(Run({"database", "add", "--directory", "/d", "--", "z"}).Status, 0);
    ASSERT_EQ(Run({"database", "add", "--directory", "/d", "--", "y@z"}).Status, 0);
    ASSERT_EQ(Run({"dbuser", "add", "--", "z", "x@y"}).Status, 0);
    ASSERT_EQ(Run({"dbuser", "add", "--", "y@z", "x"}).Status, 0);

    std::set<std::string> listed;
    for (const auto& user : ParseJson(Run({"--json", "user", "list"}).Out))
        listed.insert(user.get<std::string>());
    listed.erase("admin");
    EXPECT_EQ(listed, taken);
    ExpectDistinctLines(Run({"user", "list"}).Out, taken.size() + 1, "user list");

    const std::string keepAdmin = Write("keep-admin.yaml", "users:\n  - name: admin\n");
    const CliRun planJson = Run({"--json", "plan", keepAdmin, "--prune"});
    std::set<std::string> planned;
    std::size_t changes = 0;
    const JsonValue plan = ParseJson(planJson.Out);
    for (const auto& change : plan["changes"])
        if (++changes && change["kind"] == "user")
            planned.insert(change["object"].get<std::string>());
    EXPECT_EQ(planned, taken) << planJson.Out << planJson.Err;
    ExpectDistinctLines(Run({"plan", keepAdmin, "--prune"}).Out, changes, "plan");

    const CliRun history = Run({"history"});
    const JsonValue entries = ParseJson(Run({"--json", "history"}).Out);
    ExpectDistinctLines(history.Out, entries.size(), "history");
    std::set<std::string> added;
    std::set<JsonValue> pairs;
    for (const auto& entry : entries)
        if (entry["operation"] == "add user")
            added.insert(entry["object"].get<std::string>());
        else if (entry["operation"] == "add database user")
            pairs.insert(entry["object"]);
    EXPECT_EQ(added, taken);
    EXPECT_EQ(pairs, (std::set<JsonValue>{JsonValue{{"user", "x@y"}, {"database", "z"}},
                                          JsonValue{{"user", "x"}, {"database", "y@z"}}}));
}

struct HostileFile
{
    std::string Name; // of a file make-files writes, or one the test makes
    int Status;
    std::string Says; // a part of the message (stderr) or of the plan (stdout)
    std::vector<std::string> Environment = {};
};

TEST_F(CliStateTest, HostileStateFilesAreRefusedClearlyOrReadAsTheyAre)
{
    const std::string files = dir + "/files";
    ASSERT_EQ(std::system(("python3 " KORVEL_HOSTILE_DIR "/make-files " + files + " >/dev/null").c_str()), 0);
    ASSERT_EQ(truncate(Write("huge.yaml", "").c_str(), (64 << 20) + 1), 0);
    Write("empty-variable.yaml", "users:\n  - name: bob\n    password_env: KORVEL_TEST_EMPTY\n");
    Write("login-variable.yaml", "users:\n  - name: bob\n    password_env: KORVEL_PASSWORD\n");
    const std::vector<HostileFile> table = {
        {"files/alias-bomb.yaml", 2, "aliases here copy more than 1000000 nodes"},
        {"files/alias-bomb-in-description.yaml", 2, "aliases here copy more than 1000000 nodes"},
        {"files/deep.yaml", 2, ":1: nested deeper than 64 levels"},
        {"files/deep.json", 2, ":1: nested deeper than 64 levels"},
        {"files/two-documents.yaml", 2, ":3: a second YAML document starts here"},
        {"files/duplicate-keys.yaml", 2, ":3: 'name' is given twice"},
        {"files/duplicate-keys.json", 2, ":1: 'name' is given twice"},
        {"files/merge-key.yaml", 2, "unknown section 'base'"},
        {"files/python-tag.yaml", 2,
         ":1: the tag tag:yaml.org,2002:python/object/apply:os.system is not read"},
        {"files/binary-name.yaml", 2, ":2: the tag tag:yaml.org,2002:binary is not read"},
        {"files/nul-inside.yaml", 0, "+ user bo\\x00b: "},
        {"files/control-chars.yaml", 0, "+ user Secret\\x1B[2K\\x0DSafe: "},
        {"files/invalid-utf8.yaml", 0, "+ user bad\\xFEname: "},
        {"files/utf16-bom.yaml", 2, ":1: unknown section '\\uFEFFusers'"},
        {"files/empty.yaml", 0, "No changes."},
        {"files", 2, "files: a directory"},
        {"huge.yaml", 2, "huge.yaml: over 64 MiB"},
        {"empty-variable.yaml",
         2,
         ":3: password_env: KORVEL_TEST_EMPTY is set but empty",
         {"KORVEL_TEST_EMPTY="}},
        {"login-variable.yaml",
         2,
         ":3: password_env: KORVEL_PASSWORD holds the password",
         {"KORVEL_PASSWORD=x"}},
    };
    // A hand-edited profile's SSH server that is no [USER@]HOST[:PORT] is a usage error, not a crash.
    std::filesystem::create_directories(dir + "/config/korvel-admin");
    Write("config/korvel-admin/profiles.ini",
          "[p]\nHost=127.0.0.1\nSSH Host=bastion:\n[q]\nHost=127.0.0.1\nSSH Host=[fe80::1\n[r]\n"
          "Host=127.0.0.1\nSSH Host=user@\n");
    for (const char* profile : {"p", "q", "r"})
    {
        const CliRun run = RunCli({"--profile", profile, "--user", "admin", "--password", "secret", "status"},
                                  {"XDG_CONFIG_HOME=" + dir + "/config"});
        EXPECT_EQ(run.Status, 2) << profile << ": " << run.Err;
        EXPECT_NE(run.Err.find("SSH Host"), std::string::npos) << profile << ": " << run.Err;
    }
    for (const HostileFile& row : table)
    {
        const CliRun run = RunWith({"plan", dir + "/" + row.Name}, row.Environment);
        EXPECT_EQ(run.Status, row.Status) << row.Name << "\n" << run.Err;
        EXPECT_NE((row.Status == 0 ? run.Out : run.Err).find(row.Says), std::string::npos)
            << row.Name << "\nout: " << run.Out << "\nerr: " << run.Err;
    }
}

} // namespace
} // namespace korvel::test
