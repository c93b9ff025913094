// Feeds arbitrary bytes to the exporter's target parsing and matching: the first line is a module's target
// pattern, the second the `target=` a scrape asks for. A target matched by a pattern must be one the pattern
// could name: a numeric pattern never lets a host name through, whatever the bytes.
#include "exporter/Target.h"
#include "exporter/TargetPattern.h"

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace
{

bool Numeric(std::string_view host)
{
    for (char c : host)
        if (!std::isdigit(static_cast<unsigned char>(c)) && c != '.')
            return false;
    return !host.empty();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace korvel::exporter;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t end = input.find('\n');
    const std::string_view patternText = input.substr(0, end);
    const std::string_view targetText =
        end == std::string_view::npos ? std::string_view() : input.substr(end + 1);
    const auto pattern = TargetPattern::Parse(patternText);
    const auto target = ParseTarget(targetText);
    if (pattern && target && pattern->Matches(*target))
    {
        const std::string_view host = patternText.substr(0, patternText.rfind(':'));
        if (Numeric(host) != Numeric(target->HostOrAddress()) &&
            host.find_first_of("*/") == std::string_view::npos)
            std::abort();
    }
    return 0;
}
