// $HOME set to a test's own directory while this lives: the SSH layer reads ~/.ssh/config from there.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace korvel::test
{

class HomeAt
{
public:
    explicit HomeAt(const std::string& path)
    {
        if (const char* old = std::getenv("HOME"))
            old_ = old;
        setenv("HOME", path.c_str(), 1);
    }
    ~HomeAt()
    {
        if (old_)
            setenv("HOME", old_->c_str(), 1);
        else
            unsetenv("HOME");
    }
    HomeAt(const HomeAt&) = delete;
    HomeAt& operator=(const HomeAt&) = delete;

private:
    std::optional<std::string> old_;
};

} // namespace korvel::test
