// korvel-admin-cli against a real korvel-refserver.
#pragma once

#include "CliProcess.h"

#include "testing/RefServer.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace korvel::test
{

class CliTest : public ::testing::Test
{
protected:
    // The global options that reach the server as its administrator, then `args`.
    std::vector<std::string> Args(const std::vector<std::string>& args,
                                  const std::string& password = "secret")
    {
        std::vector<std::string> all{"--port", std::to_string(server.AdminPort()), "--user", "admin"};
        if (!password.empty())
            all.insert(all.end(), {"--password", password});
        all.insert(all.end(), args.begin(), args.end());
        return all;
    }

    CliRun Run(const std::vector<std::string>& args) { return RunCli(Args(args)); }

    // Runs a command that must succeed and returns its JSON output.
    nlohmann::json Json(std::vector<std::string> args)
    {
        args.insert(args.begin(), "--json");
        CliRun run = Run(args);
        EXPECT_EQ(run.Status, 0) << run.Err;
        EXPECT_EQ(run.Err, "");
        return nlohmann::json::parse(run.Out, nullptr, false);
    }

    RefServer server;
};

} // namespace korvel::test
