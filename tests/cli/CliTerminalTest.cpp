// The password prompt on a real pseudo-terminal, in this process.
#include "cli/Terminal.h"
#include "testing/Eventually.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <future>
#include <pthread.h>
#include <pty.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace korvel::cli
{
namespace
{

std::atomic<int> handled = 0;

void Count(int)
{
    ++handled;
}

TEST(CliTerminal, AReadInterruptedByAnotherSignalIsRetriedAndTheEchoComesBack)
{
    int master = -1, slave = -1;
    char name[256] = {};
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    std::unique_ptr<Terminal> terminal = Terminal::Open(name);
    ASSERT_TRUE(terminal);

    // A handler without SA_RESTART: the blocked read returns EINTR.
    struct sigaction action
    {
    }, previous{};
    action.sa_handler = Count;
    sigemptyset(&action.sa_mask);
    sigaction(SIGUSR1, &action, &previous);

    std::promise<pthread_t> asking;
    auto answer = std::async(std::launch::async,
                             [&]
                             {
                                 asking.set_value(pthread_self());
                                 return terminal->Ask("Password: ", true);
                             });
    pthread_t reader = asking.get_future().get();
    char prompt[16] = {};
    ASSERT_GT(read(master, prompt, sizeof prompt - 1), 0); // the prompt is out: the echo is off by now
    termios settings{};
    ASSERT_EQ(tcgetattr(slave, &settings), 0);
    EXPECT_EQ(settings.c_lflag & ECHO, 0u);
    for (int signals = 1; signals <= 3; ++signals)
    {
        pthread_kill(reader, SIGUSR1);
        ASSERT_TRUE(test::Eventually([&] { return handled >= signals; }, std::chrono::seconds(10)));
    }
    ASSERT_EQ(write(master, "secret\n", 7), 7);
    std::optional<std::string> password = answer.get();
    sigaction(SIGUSR1, &previous, nullptr);

    ASSERT_TRUE(password.has_value());
    EXPECT_EQ(*password, "secret");
    ASSERT_EQ(tcgetattr(slave, &settings), 0);
    EXPECT_NE(settings.c_lflag & ECHO, 0u);
    terminal.reset();
    close(slave);
    close(master);
}

} // namespace
} // namespace korvel::cli
