// A regular expression for log lines, in PCRE2 (the engine behind the window's search). Lines may hold
// invalid UTF-8 and are still searched; a pattern that needs too much work on one line gives up with an
// error instead of running out of stack.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

struct pcre2_real_code_8;
struct pcre2_real_match_data_8;
struct pcre2_real_match_context_8;

namespace korvel::cli
{

// The pattern does not compile (the message names the place), or a line needed too much work.
class PatternError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

class Pattern
{
public:
    // Raises PatternError for a pattern that does not compile.
    explicit Pattern(const std::string& pattern);
    ~Pattern();
    Pattern(const Pattern&) = delete;
    Pattern& operator=(const Pattern&) = delete;

    // Whether the pattern matches somewhere in `line`. Raises PatternError when a limit of the match (its
    // steps, its depth, its memory) is reached.
    bool Search(std::string_view line) const;

private:
    struct Free
    {
        void operator()(pcre2_real_code_8* code) const;
        void operator()(pcre2_real_match_data_8* data) const;
        void operator()(pcre2_real_match_context_8* context) const;
    };
    std::unique_ptr<pcre2_real_code_8, Free> code_;
    std::unique_ptr<pcre2_real_match_data_8, Free> matchData_;
    std::unique_ptr<pcre2_real_match_context_8, Free> context_;
};

} // namespace korvel::cli
