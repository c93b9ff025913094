#include "cli/Pattern.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

namespace korvel::cli
{

namespace
{

// Limits far above what a sensible pattern needs on a log line, far below what would hang or exhaust memory.
constexpr std::uint32_t MatchLimit = 10'000'000;
constexpr std::uint32_t DepthLimit = MatchLimit; // memory is bounded by the heap limit
constexpr std::uint32_t HeapLimitKiB = 64 * 1024;

std::string ErrorText(int code)
{
    PCRE2_UCHAR text[256] = {};
    pcre2_get_error_message(code, text, sizeof text);
    return reinterpret_cast<const char*>(text);
}

} // namespace

void Pattern::Free::operator()(pcre2_code* code) const
{
    pcre2_code_free(code);
}

void Pattern::Free::operator()(pcre2_match_data* data) const
{
    pcre2_match_data_free(data);
}

void Pattern::Free::operator()(pcre2_match_context* context) const
{
    pcre2_match_context_free(context);
}

Pattern::Pattern(const std::string& pattern)
{
    int error = 0;
    PCRE2_SIZE offset = 0;
    code_.reset(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                              PCRE2_UTF | PCRE2_MATCH_INVALID_UTF, &error, &offset, nullptr));
    if (!code_)
        throw PatternError(ErrorText(error) + " at offset " + std::to_string(offset));
    // Without the JIT (not on every machine) the interpreter does the same work, only slower.
    pcre2_jit_compile(code_.get(), PCRE2_JIT_COMPLETE);
    matchData_.reset(pcre2_match_data_create_from_pattern(code_.get(), nullptr));
    context_.reset(pcre2_match_context_create(nullptr));
    if (!matchData_ || !context_)
        throw std::bad_alloc();
    pcre2_set_match_limit(context_.get(), MatchLimit);
    pcre2_set_depth_limit(context_.get(), DepthLimit);
    pcre2_set_heap_limit(context_.get(), HeapLimitKiB);
}

Pattern::~Pattern() = default;

bool Pattern::Search(std::string_view line) const
{
    auto match = [&](std::uint32_t options)
    {
        return pcre2_match(code_.get(), reinterpret_cast<PCRE2_SPTR>(line.data()), line.size(), 0, options,
                           matchData_.get(), context_.get());
    };
    int result = match(0);
    // The JIT's own stack is small; the interpreter keeps its backtracking on the heap, within HeapLimitKiB.
    if (result == PCRE2_ERROR_JIT_STACKLIMIT)
        result = match(PCRE2_NO_JIT);
    if (result >= 0)
        return true;
    if (result == PCRE2_ERROR_NOMATCH)
        return false;
    throw PatternError(ErrorText(result));
}

} // namespace korvel::cli
