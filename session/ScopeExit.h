// Runs a function when the scope is left, by return or by exception.
#pragma once

#include <utility>

namespace korvel
{

template <typename Function> class ScopeExit
{
public:
    explicit ScopeExit(Function function) : function_(std::move(function)) {}
    ~ScopeExit() { function_(); }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;

private:
    Function function_;
};

} // namespace korvel
