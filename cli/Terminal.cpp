#include "cli/Terminal.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace korvel::cli
{

std::unique_ptr<Terminal> Terminal::Open()
{
    int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
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
    termios saved{};
    bool echoOff = hidden && ::tcgetattr(fd_, &saved) == 0;
    if (echoOff)
    {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(fd_, TCSANOW, &quiet);
    }
    Write(prompt);
    std::string line;
    bool ended = false;
    for (char c = 0;;)
    {
        if (::read(fd_, &c, 1) != 1)
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
        ::tcsetattr(fd_, TCSANOW, &saved);
        Write("\n"); // the Enter the user typed was not echoed
    }
    if (ended)
        return std::nullopt;
    return line;
}

} // namespace korvel::cli
