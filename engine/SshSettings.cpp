#include "engine/SshSettings.h"

#include <charconv>

namespace korvel
{

std::optional<SshSettings> ParseSshTarget(const std::string& text)
{
    SshSettings settings;
    std::string_view rest = text;
    if (const auto at = rest.rfind('@'); at != std::string_view::npos)
    {
        settings.User = rest.substr(0, at);
        rest.remove_prefix(at + 1);
        if (settings.User.empty())
            return std::nullopt;
    }
    std::string_view port;
    if (rest.starts_with('['))
    {
        const auto close = rest.find(']');
        if (close == std::string_view::npos)
            return std::nullopt;
        settings.Host = rest.substr(1, close - 1);
        rest.remove_prefix(close + 1);
        if (!rest.empty() && !rest.starts_with(':'))
            return std::nullopt;
        port = rest.empty() ? rest : rest.substr(1);
    }
    else if (const auto colon = rest.find(':');
             colon != std::string_view::npos && rest.find(':', colon + 1) == std::string_view::npos)
    {
        settings.Host = rest.substr(0, colon);
        port = rest.substr(colon + 1);
    }
    else
        settings.Host = rest; // a name, or an IPv6 address without a port
    if (settings.Host.empty())
        return std::nullopt;
    if (!port.empty() || rest.ends_with(':'))
    {
        int number = 0;
        const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), number);
        if (error != std::errc() || end != port.data() + port.size() || number < 1 || number > 65535)
            return std::nullopt;
        settings.Port = number;
    }
    return settings;
}

std::string SshTargetText(const std::string& user, const std::string& host, int port)
{
    std::string text = user.empty() ? "" : user + "@";
    const bool bracket = port > 0 && host.find(':') != std::string::npos;
    text += bracket ? "[" + host + "]" : host;
    if (port > 0)
        text += ":" + std::to_string(port);
    return text;
}

} // namespace korvel
