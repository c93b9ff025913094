// The controlling terminal (/dev/tty), where credentials are asked for: never stdout, so a command's output
// stays clean for pipes and scripts.
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace korvel::cli
{

class Terminal
{
public:
    // Null when the process has no controlling terminal (or `path` cannot be opened).
    static std::unique_ptr<Terminal> Open(const char* path = "/dev/tty");
    ~Terminal();
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    // Writes the prompt and reads one line (without its line break); the echo is off when `hidden` and is
    // restored on every way out. Nothing at the end of input. A read interrupted by a signal is retried,
    // unless it was SIGINT or SIGTERM (see Interrupt.h): then StoppedBySignal is raised.
    std::optional<std::string> Ask(const std::string& prompt, bool hidden);
    void Say(const std::string& line);

private:
    explicit Terminal(int fd) : fd_(fd) {}
    void Write(const std::string& text);

    int fd_;
};

} // namespace korvel::cli
