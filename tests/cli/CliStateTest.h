// korvel-admin-cli's state files and journal against a real korvel-refserver: each test has a directory of
// its own for its files and for the journal ($XDG_STATE_HOME).
#pragma once

#include "CliTest.h"
#include "testing/HostileNames.h"
#include "testing/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

namespace korvel::test
{

class CliStateTest : public CliTest
{
protected:
    CliStateTest()
    {
        if (const char* state = std::getenv("XDG_STATE_HOME"))
            previousState = state;
        setenv("XDG_STATE_HOME", (dir + "/state").c_str(), 1);
    }
    ~CliStateTest() override
    {
        // The tests that follow journal where they did before.
        if (previousState)
            setenv("XDG_STATE_HOME", previousState->c_str(), 1);
        else
            unsetenv("XDG_STATE_HOME");
    }

    std::string Write(const std::string& name, const std::string& text)
    {
        const std::string path = dir + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    static std::string Read(const std::string& path)
    {
        std::ifstream file(path, std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }

    std::string JournalPath() const { return dir + "/state/korvel-admin/journal.jsonl"; }

    // Runs with extra environment entries ("NAME=value").
    CliRun RunWith(const std::vector<std::string>& args, const std::vector<std::string>& environment)
    {
        return RunCli(Args(args), environment);
    }

    test::TempDir scratch{"korvel-state-test"};
    std::string dir = scratch.Path();
    std::optional<std::string> previousState;
};

} // namespace korvel::test
