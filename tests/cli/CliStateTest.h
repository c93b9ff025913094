// korvel-admin-cli's state files and journal against a real korvel-refserver: each test has a directory of
// its own for its files and for the journal ($XDG_STATE_HOME).
#pragma once

#include "CliTest.h"
#include "testing/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

namespace korvel::test
{

// The names of testing/hostile/names.json, as bytes.
inline std::vector<std::string> HostileNames()
{
    std::vector<std::string> names;
    for (const auto& entry : nlohmann::json::parse(std::ifstream(KORVEL_HOSTILE_DIR "/names.json")))
    {
        const std::string hex = entry["hex"];
        std::string bytes;
        for (std::size_t at = 0; at + 1 < hex.size(); at += 2)
            bytes += static_cast<char>(std::stoi(hex.substr(at, 2), nullptr, 16));
        names.push_back(bytes);
    }
    return names;
}

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
