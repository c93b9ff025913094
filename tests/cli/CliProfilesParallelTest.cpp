// Four shell loops adding profiles with the CLI at once, as scripts do: each change reads and writes the file
// under its lock, so all of them are kept.
#include "settings/Profiles.h"
#include "testing/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace korvel::test
{
namespace
{

TEST(CliProfilesParallel, FourLoopsAddingAtOnceKeepEveryProfile)
{
    TempDir config;
    ::setenv("XDG_CONFIG_HOME", config.Path().c_str(), 1); // the loops inherit it
    std::vector<pid_t> loops;
    for (int loop = 0; loop < 4; ++loop)
    {
        const std::string script = "for i in $(seq 1 25); do \"$0\" profile add \"loop" +
                                   std::to_string(loop) +
                                   "-$i\" --address 127.0.0.1 --port 12006 || exit 1; done";
        const pid_t child = fork();
        if (child == 0)
        {
            execl("/bin/sh", "sh", "-c", script.c_str(), KORVEL_ADMIN_CLI_PATH, nullptr);
            _exit(127);
        }
        ASSERT_GT(child, 0);
        loops.push_back(child);
    }
    for (pid_t child : loops)
    {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    EXPECT_EQ(settings::ProfileStore(config / "korvel-admin/profiles.ini").List().size(), 100u);
}

} // namespace
} // namespace korvel::test
