// korvel-admin-cli against a server that stops answering: --timeout gives up naming the server, and SIGINT or
// SIGTERM end a command that waits, logging out where the server still takes it.
#include "CliProcess.h"
#include "testing/ScriptedPeer.h"
#include "testing/TempDir.h"

#include "engine/wire/RequestCodes.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace korvel::test
{
namespace
{

// Reads the request and never answers.
void Silent(PeerConnection& connection)
{
    connection.ReadRequest();
}

class CliSilentServerTest : public ::testing::Test
{
protected:
    // Answers the connect, the login and the session settings, then the command's request is met with
    // silence.
    void AnswerTheLoginOnly()
    {
        for (int i = 0; i < 3; ++i)
            peer.Then(peer.Automatic());
        peer.Then(Silent);
    }
    std::vector<std::string> Args(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"--port", Port(), "--user", "admin", "--password", "secret"});
        return args;
    }
    std::string Port() const { return std::to_string(peer.Port()); }
    // Waits until the peer has received `count` requests, so the program is waiting on its reply.
    bool Received(std::size_t count)
    {
        for (int second = 0; second < 30; ++second)
            if (peer.WaitForRequests(count))
                return true;
        return false;
    }

    ScriptedPeer peer;
};

TEST_F(CliSilentServerTest, TimeoutNamesTheServerWhenTheConnectOrALaterExchangeIsNotAnswered)
{
    peer.Then(Silent);
    BackgroundCli connecting(Args({"--timeout", "2", "version"}));
    CliRun run = connecting.Wait();
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Err, "Could not connect to 127.0.0.1 port " + Port() + " within 2 seconds (--timeout)\n");
}

TEST_F(CliSilentServerTest, TimeoutOfAnExchangeAfterTheLoginLogsOutOnAFreshConnection)
{
    AnswerTheLoginOnly();
    BackgroundCli command(Args({"status", "--timeout", "2"}));
    CliRun run = command.Wait();
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Err, "No answer from 127.0.0.1 port " + Port() + " within 2 seconds (--timeout)\n");
    EXPECT_EQ(run.Out, "");
    // The server still knows the session: it is re-attached and logged out.
    const std::vector<std::uint16_t> codes = peer.RequestCodes();
    ASSERT_GE(codes.size(), 2u);
    EXPECT_EQ(std::vector<std::uint16_t>(codes.end() - 2, codes.end()),
              (std::vector<std::uint16_t>{REQUEST_RECONNECT, REQUEST_LOGOUT}));
}

TEST_F(CliSilentServerTest, SigintOrSigtermEndAWaitingCommandWith128PlusTheSignal)
{
    // While connecting: nothing to log out.
    peer.Then(Silent);
    BackgroundCli connecting(Args({"version"}));
    ASSERT_TRUE(Received(1));
    CliRun interrupted = connecting.Stop(SIGINT);
    EXPECT_EQ(interrupted.Status, 128 + SIGINT);
    EXPECT_EQ(interrupted.Err, "korvel-admin-cli: interrupted\n");

    // While waiting for a reply after the login: logged out on a fresh connection.
    AnswerTheLoginOnly();
    BackgroundCli waiting(Args({"user", "list"}));
    ASSERT_TRUE(Received(5));
    CliRun terminated = waiting.Stop(SIGTERM);
    EXPECT_EQ(terminated.Status, 128 + SIGTERM);
    EXPECT_EQ(terminated.Err, "korvel-admin-cli: interrupted\n");
    EXPECT_EQ(terminated.Out, "");
    Received(7); // the peer may take the last request in after the program ended
    const std::vector<std::uint16_t> codes = peer.RequestCodes();
    EXPECT_EQ(codes, (std::vector<std::uint16_t>{REQUEST_CONNECTPARAMS, REQUEST_CONNECTPARAMS, REQUEST_LOGIN,
                                                 REQUEST_SESSIONPARAMS, REQUEST_GETUSERNAMES,
                                                 REQUEST_RECONNECT, REQUEST_LOGOUT}));
}

TEST_F(CliSilentServerTest, AChangeWithoutAReplyIsJournaledAsUnknownAndSaidSo)
{
    AnswerTheLoginOnly();
    const test::TempDir scratch("korvel-unknown");
    const std::string& state = scratch.Path();
    CliRun run = RunCli(Args({"--timeout", "2", "database", "delete", "Sales"}), {"XDG_STATE_HOME=" + state});
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Err.find("No answer from 127.0.0.1 port " + Port() + " within 2 seconds (--timeout). "), 0u)
        << run.Err;
    EXPECT_NE(run.Err.find("the change may have been made; check before retrying"), std::string::npos)
        << run.Err;
    std::ifstream journal(state + "/korvel-admin/journal.jsonl");
    std::string line;
    ASSERT_TRUE(std::getline(journal, line));
    const nlohmann::json entry = nlohmann::json::parse(line, nullptr, false);
    EXPECT_EQ(entry["operation"], "delete database");
    EXPECT_EQ(entry["result"], "unknown") << line;
    EXPECT_FALSE(std::getline(journal, line)) << "one line";
    std::filesystem::remove_all(state);
}

} // namespace
} // namespace korvel::test
