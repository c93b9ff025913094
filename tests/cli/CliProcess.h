// Runs the built korvel-admin-cli as a separate process, in a session of its own without a controlling
// terminal (so /dev/tty cannot be opened), or with a pseudo-terminal as its controlling terminal.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace korvel::test
{

struct CliRun
{
    int Status = -1; // the exit status; -1 when the program did not exit normally
    std::string Out;
    std::string Err;
};

// KORVEL_PASSWORD is removed from the environment unless `environment` sets it ("NAME=value" entries, which
// replace inherited ones of the same name).
CliRun RunCli(const std::vector<std::string>& args, const std::vector<std::string>& environment = {});
// As RunCli, with `input` as the program's standard input.
CliRun RunCliReading(const std::vector<std::string>& args, const std::string& input);
// As RunCli, with `stdoutFd` as the program's standard output (CliRun::Out stays empty).
CliRun RunCliWritingTo(const std::vector<std::string>& args, int stdoutFd);

// The terminal side of a run on a pseudo-terminal: waits for `text` to appear on the terminal (or gives up
// after some seconds), runs `Meanwhile` when given (another session's change while the program waits), and
// then types `answer`, or sends the program `signal` when that is not 0.
struct TerminalExchange
{
    std::string Expect;
    std::string Answer;
    int Signal = 0;
    std::function<void()> Meanwhile = {};
};

struct TerminalRun
{
    CliRun Run;
    std::string Text;         // everything the program wrote to the terminal
    std::vector<bool> EchoOn; // the terminal's echo when each exchange's text had appeared
    bool EchoOnAtEnd = false; // the terminal's echo once the program has ended
};

// With `outputOnTerminal`, the program's standard output is the terminal too (Run.Out stays empty).
TerminalRun RunCliOnTerminal(const std::vector<std::string>& args,
                             const std::vector<TerminalExchange>& exchanges,
                             const std::vector<std::string>& environment = {}, bool outputOnTerminal = false);

// As RunCli, with a pseudo-terminal as the controlling terminal (stdin, stdout and stderr stay apart from
// it). `terminalText` receives everything the program wrote to the terminal.
CliRun RunCliOnTerminal(const std::vector<std::string>& args, const std::vector<TerminalExchange>& exchanges,
                        std::string& terminalText);

// The program running in the background, as RunCli starts it: its standard output collected through a pipe
// as it arrives, its standard error kept. Killed when destroyed while still running.
class BackgroundCli
{
public:
    explicit BackgroundCli(const std::vector<std::string>& args);
    ~BackgroundCli();
    BackgroundCli(const BackgroundCli&) = delete;
    BackgroundCli& operator=(const BackgroundCli&) = delete;

    // Waits until the output holds `text` (or 10 seconds passed).
    bool WaitFor(const std::string& text);
    // Sends `signal`, then waits for the exit as Wait does.
    CliRun Stop(int signal);
    // Waits for the exit, a minute at most (then kills it: Status -1): the exit status and what it wrote.
    CliRun Wait();
    // The reader goes away: the pipe's reading end is closed.
    void CloseOutput();
    const std::string& Output() const { return output_; }

private:
    // Reads what arrived within the time; false when nothing did.
    bool Read(int timeoutMs);

    std::unique_ptr<struct Prepared> prepared_;
    pid_t pid_ = -1;
    int out_ = -1;
    std::string output_;
    std::optional<CliRun> ended_;
};

} // namespace korvel::test
