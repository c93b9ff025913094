// korvel-admin-cli log: tail, grep, follow (stopped with Ctrl-C), and the JSONL trace, against a real server.
#include "CliTest.h"

#include "testing/Eventually.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace korvel::test
{
namespace
{

class CliLogTest : public CliTest
{
protected:
    void AppendToServerLog(const std::string& text)
    {
        std::ofstream(server.DataDir() + "/server.log", std::ios::binary | std::ios::app) << text;
    }
    // The log reads answered so far, as a JSONL trace tells them.
    static int LogReads(const std::string& trace)
    {
        std::ifstream file(trace);
        int reads = 0;
        for (std::string line; std::getline(file, line);)
            reads += line.find("\"REQUEST_GETLOG\"") != std::string::npos &&
                     line.find("\"reply\"") != std::string::npos;
        return reads;
    }
};

TEST_F(CliLogTest, TailAndGrepSelectLinesAndOutputWritesThem)
{
    AppendToServerLog(
        "2024-01-01 00:00:00 alpha one\n2024-01-01 00:00:01 beta two\n2024-01-01 00:00:02 alpha "
        "three\n2024-01-01 00:00:03 gamma four\n");
    EXPECT_EQ(Json({"log", "--tail", "2"}).size(), 2u); // the server logs each login too
    EXPECT_EQ(Json({"log", "--grep", "2024-01-01", "--tail", "2"}),
              nlohmann::json({"2024-01-01 00:00:02 alpha three", "2024-01-01 00:00:03 gamma four"}));
    EXPECT_EQ(Json({"log", "--grep", "alpha"}),
              nlohmann::json({"2024-01-01 00:00:00 alpha one", "2024-01-01 00:00:02 alpha three"}));
    EXPECT_EQ(Json({"log", "--grep", "alpha", "--tail", "1"}),
              nlohmann::json({"2024-01-01 00:00:02 alpha three"}));
    EXPECT_EQ(Json({"log", "--grep", "(beta|gamma) [a-z]+$", "--regex"}),
              nlohmann::json({"2024-01-01 00:00:01 beta two", "2024-01-01 00:00:03 gamma four"}));
    EXPECT_EQ(Json({"log", "--grep", "ALPHA"}), nlohmann::json::array()) << "plain text matches case";

    const std::string path = server.DataDir() + "/grep.log";
    EXPECT_EQ(Run({"log", "--grep", "alpha", "--output", path}).Status, 0);
    std::ifstream file(path, std::ios::binary);
    const std::string saved((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_EQ(saved, "2024-01-01 00:00:00 alpha one\r\n2024-01-01 00:00:02 alpha three\r\n");

    EXPECT_EQ(Run({"log", "--grep", "(", "--regex"}).Status, 2);
    EXPECT_EQ(Run({"log", "--follow", "--output", path}).Status, 2);
}

TEST_F(CliLogTest, FollowPrintsOnlyNewMatchingLinesUntilCtrlCThenLogsOut)
{
    AppendToServerLog("2024-01-01 00:00:00 watch start\n");
    const std::string trace = server.DataDir() + "/follow.jsonl";
    BackgroundCli cli(Args({"--trace", trace, "--trace-format", "jsonl", "log", "--follow", "--interval",
                            "0.1", "--grep", "watch"}));
    ASSERT_TRUE(cli.WaitFor("watch start\n")) << cli.Output();
    AppendToServerLog("2024-01-01 00:00:01 watch one\n2024-01-01 00:00:02 other\n");
    ASSERT_TRUE(cli.WaitFor("watch one\n")) << cli.Output();
    AppendToServerLog("2024-01-01 00:00:03 watch two\n");
    ASSERT_TRUE(cli.WaitFor("watch two\n")) << cli.Output();
    const int reads = LogReads(trace);
    ASSERT_TRUE(Eventually([&] { return LogReads(trace) >= reads + 3; }, std::chrono::seconds(10)))
        << "a few more reads that find nothing new";
    EXPECT_EQ(cli.Stop(SIGINT).Status, 0);
    EXPECT_EQ(cli.Output(), "2024-01-01 00:00:00 watch start\n2024-01-01 00:00:01 watch one\n"
                            "2024-01-01 00:00:03 watch two\n");

    // The server saw the logout after Ctrl-C.
    nlohmann::json log = Json({"log", "--grep", "Logout of user 'admin'"});
    EXPECT_EQ(log.size(), 1u) << log.dump();
}

TEST_F(CliLogTest, FollowEndsOnSigtermWith143AndAtOnceWhenItsOutputIsClosed)
{
    AppendToServerLog("2024-01-01 00:00:00 watch start\n");
    BackgroundCli terminated(Args({"log", "--follow", "--interval", "0.2", "--grep", "watch"}));
    ASSERT_TRUE(terminated.WaitFor("watch start\n")) << terminated.Output();
    CliRun run = terminated.Stop(SIGTERM);
    EXPECT_EQ(run.Status, 128 + SIGTERM);
    EXPECT_EQ(run.Err, "korvel-admin-cli: interrupted\n");
    EXPECT_EQ(Json({"log", "--grep", "Logout of user 'admin'"}).size(), 1u) << "logged out";

    BackgroundCli unread(Args({"log", "--follow", "--interval", "3600", "--grep", "watch"}));
    ASSERT_TRUE(unread.WaitFor("watch start\n")) << unread.Output();
    // While the log is quiet too: nothing more to write, and still the reader's going ends it.
    unread.CloseOutput();
    CliRun closed = unread.Wait();
    EXPECT_EQ(closed.Status, 1);
    EXPECT_EQ(closed.Err, "Cannot write the output: Broken pipe\n");
}

TEST_F(CliLogTest, RegularExpressionsSurviveLongLinesAndSayWhereTheyGaveUp)
{
    const std::string longLine = std::string(50000, 'a') + "b";
    AppendToServerLog(longLine + "\nshort ab!\n");
    // std::regex recursed once per character here and overflowed the stack.
    EXPECT_TRUE(Json({"log", "--grep", "^(a|b)+$", "--regex"}) == nlohmann::json({longLine}));

    // Backtracking without end stops at the match limit, naming the line.
    AppendToServerLog(std::string(40, 'x') + "!\n");
    CliRun run = Run({"log", "--grep", "(x+x+)+$", "--regex"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Err.find("--grep: the regular expression gave up on line "), std::string::npos) << run.Err;
    EXPECT_NE(run.Err.find("match limit"), std::string::npos) << run.Err;

    EXPECT_EQ(Run({"log", "--tail", "0"}).Err, "korvel-admin-cli: --tail: give a number of lines, 1 or "
                                               "more\nRun with --help for more information.\n");
}

TEST_F(CliLogTest, AZeroByteIsReportedAndTheLinesAfterItAreShown)
{
    const std::string lines = "before\nzero " + std::string(1, '\0') + " byte\nafter\n";
    AppendToServerLog(lines);
    CliRun run = Run({"log"});
    EXPECT_EQ(run.Status, 0) << run.Err;
    // Shown as \x00, as every control character of the text output.
    EXPECT_NE(run.Out.find("before\nzero \\x00 byte\nafter\n"), std::string::npos) << run.Out;
    EXPECT_NE(run.Err.find("korvel-admin-cli: the log holds a zero byte at line "), std::string::npos)
        << run.Err;
    EXPECT_NE(run.Err.find("; the rest is shown after it\n"), std::string::npos) << run.Err;
}

TEST_F(CliLogTest, JsonlTraceHasOneObjectPerRequestAndReply)
{
    const std::string path = server.DataDir() + "/trace.jsonl";
    CliRun run = Run({"--trace", path, "--trace-format", "jsonl", "--internet", "status"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    std::ifstream file(path);
    std::vector<nlohmann::json> records;
    for (std::string line; std::getline(file, line);)
        records.push_back(nlohmann::json::parse(line));
    ASSERT_GE(records.size(), 4u);
    bool sawReply = false;
    for (const nlohmann::json& record : records)
    {
        ASSERT_TRUE(record.contains("time") && record.contains("direction")) << record.dump();
        if (record["direction"] != "reply")
            continue;
        sawReply = true;
        EXPECT_TRUE(record["request"].get<std::string>().starts_with("REQUEST_")) << record.dump();
        EXPECT_EQ(record["reply_code"], "KORVEL_NONE");
        EXPECT_GE(record["elapsed_ms"].get<int>(), 0);
        EXPECT_GT(record["uncompressed_bytes"].get<int>(), 0);
    }
    EXPECT_TRUE(sawReply);
    const auto login =
        std::find_if(records.begin(), records.end(),
                     [](const nlohmann::json& r) { return r.value("request", "") == "REQUEST_LOGIN"; });
    ASSERT_NE(login, records.end());
    EXPECT_NE((*login)["wire_bytes"], (*login)["uncompressed_bytes"]) << "Internet mode compresses the login";
}

} // namespace
} // namespace korvel::test
