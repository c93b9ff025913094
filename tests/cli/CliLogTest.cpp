// korvel-admin-cli log: tail, grep, follow (stopped with Ctrl-C), and the JSONL trace, against a real server.
#include "CliTest.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
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
};

// The program running in the background, its standard output collected as it arrives.
class BackgroundCli
{
public:
    explicit BackgroundCli(const std::vector<std::string>& args)
    {
        int out[2];
        if (pipe(out) != 0)
            throw std::runtime_error("pipe");
        pid_ = fork();
        if (pid_ == 0)
        {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            close(out[1]);
            setsid(); // no controlling terminal: the password comes from the options
            std::vector<char*> argv{const_cast<char*>(KORVEL_ADMIN_CLI_PATH)};
            for (const std::string& arg : args)
                argv.push_back(const_cast<char*>(arg.c_str()));
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        out_ = out[0];
    }
    ~BackgroundCli()
    {
        if (pid_ > 0 && status_ < -1)
        {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(out_);
    }
    // Waits until the output holds `text` (or 10 seconds passed).
    bool WaitFor(const std::string& text)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (output_.find(text) == std::string::npos && std::chrono::steady_clock::now() < end)
        {
            pollfd poller{out_, POLLIN, 0};
            if (poll(&poller, 1, 100) > 0)
            {
                char buffer[4096];
                const ssize_t got = read(out_, buffer, sizeof buffer);
                if (got <= 0)
                    break;
                output_.append(buffer, static_cast<std::size_t>(got));
            }
        }
        return output_.find(text) != std::string::npos;
    }
    // Ctrl-C, then the exit status (-1 when it did not exit normally).
    int Interrupt()
    {
        kill(pid_, SIGINT);
        int status = 0;
        waitpid(pid_, &status, 0);
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return status_;
    }
    const std::string& Output() const { return output_; }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    int status_ = -2;
    std::string output_;
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
    BackgroundCli cli(Args({"log", "--follow", "--interval", "0.2", "--grep", "watch"}));
    ASSERT_TRUE(cli.WaitFor("watch start\n")) << cli.Output();
    AppendToServerLog("2024-01-01 00:00:01 watch one\n2024-01-01 00:00:02 other\n");
    ASSERT_TRUE(cli.WaitFor("watch one\n")) << cli.Output();
    AppendToServerLog("2024-01-01 00:00:03 watch two\n");
    ASSERT_TRUE(cli.WaitFor("watch two\n")) << cli.Output();
    std::this_thread::sleep_for(std::chrono::milliseconds(500)); // a few more reads find nothing new
    EXPECT_EQ(cli.Interrupt(), 0);
    EXPECT_EQ(cli.Output(), "2024-01-01 00:00:00 watch start\n2024-01-01 00:00:01 watch one\n"
                            "2024-01-01 00:00:03 watch two\n");

    // The server saw the logout after Ctrl-C.
    nlohmann::json log = Json({"log", "--grep", "Logout of user 'admin'"});
    EXPECT_EQ(log.size(), 1u) << log.dump();
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
