#include "cli/Terminal.h"

#include "cli/Interrupt.h"

#include <cerrno>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace korvel::cli
{

namespace
{

// Turns the terminal's echo off for its lifetime.
class EchoOff
{
public:
    explicit EchoOff(int fd) : fd_(fd), saved_(), off_(::tcgetattr(fd, &saved_) == 0)
    {
        if (!off_)
            return;
        termios quiet = saved_;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(fd_, TCSANOW, &quiet);
    }
    ~EchoOff()
    {
        if (off_)
            ::tcsetattr(fd_, TCSANOW, &saved_);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    int fd_;
    termios saved_;
    bool off_;
};

} // namespace

std::unique_ptr<Terminal> Terminal::Open(const char* path)
{
    int fd = ::open(path, O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return nullptr;
    return std::unique_ptr<Terminal>(new Terminal(fd));
}

Terminal::~Terminal()
{
    ::close(fd_);
}

void Terminal::Write(const std::string& text)
{
    std::size_t written = 0;
    while (written < text.size())
    {
        ssize_t n = ::write(fd_, text.data() + written, text.size() - written);
        if (n <= 0)
            return; // a terminal that cannot be written to still gets its answer read
        written += static_cast<std::size_t>(n);
    }
}

void Terminal::Say(const std::string& line)
{
    Write(line + "\n");
}

std::optional<std::string> Terminal::Ask(const std::string& prompt, bool hidden)
{
    // The echo goes off before the prompt shows, so nothing typed after the prompt can appear; what was typed
    // ahead is kept.
    ThrowIfInterrupted();
    std::optional<EchoOff> echoOff;
    if (hidden)
        echoOff.emplace(fd_);
    Write(prompt);
    std::string line;
    bool ended = false;
    for (char c = 0;;)
    {
        if (WaitFor(fd_, -1) == Wait::Signalled)
            break;
        ssize_t got = ::read(fd_, &c, 1);
        if (got < 0 && errno == EINTR)
            continue; // another signal: read again
        if (got != 1)
        {
            ended = line.empty();
            break;
        }
        if (c == '\n')
            break;
        if (c != '\r')
            line += c;
    }
    if (echoOff)
    {
        echoOff.reset();
        Write("\n"); // the Enter the user typed was not echoed
    }
    ThrowIfInterrupted();
    if (ended)
        return std::nullopt;
    return line;
}

} // namespace korvel::cli
