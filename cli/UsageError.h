// A mistake on the command line found before anything is sent: the program ends with status 2 and a hint.
#pragma once

#include <stdexcept>

namespace korvel::cli
{

class UsageError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

} // namespace korvel::cli
