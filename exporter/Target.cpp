#include "exporter/Target.h"

#include <charconv>

namespace korvel::exporter
{

std::optional<Target> ParseTarget(std::string_view text)
{
    const auto colon = text.rfind(':');
    if (colon == std::string_view::npos || colon == 0)
        return std::nullopt;
    const std::string_view host = text.substr(0, colon);
    const std::string_view port = text.substr(colon + 1);
    if (host.find_first_of(":/ ") != std::string_view::npos || host.size() > 255)
        return std::nullopt;
    Target target{std::string(host), 0};
    const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), target.Port);
    if (error != std::errc() || end != port.data() + port.size() || target.Port < 1 || target.Port > 65535)
        return std::nullopt;
    return target;
}

} // namespace korvel::exporter
