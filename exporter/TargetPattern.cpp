#include "exporter/TargetPattern.h"

#include "exporter/Target.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <charconv>
#include <fnmatch.h>

namespace korvel::exporter
{
namespace
{

// A whole decimal number from `min` to `max`, without a sign or a leading zero (010 could be read as octal).
std::optional<int> Number(std::string_view text, int min, int max)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < min ||
        value > max || (text.size() > 1 && text[0] == '0'))
        return std::nullopt;
    return value;
}

std::vector<std::string> Labels(std::string_view host)
{
    std::vector<std::string> labels;
    for (std::size_t start = 0;;)
    {
        const std::size_t dot = host.find('.', start);
        std::string label(host.substr(start, dot - start));
        std::transform(label.begin(), label.end(), label.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        labels.push_back(std::move(label));
        if (dot == std::string_view::npos)
            return labels;
        start = dot + 1;
    }
}

std::optional<std::uint32_t> NumericAddress(const std::string& host)
{
    in_addr address{};
    if (host.find('\0') != std::string::npos) // inet_pton would stop at it
        return std::nullopt;
    if (inet_pton(AF_INET, host.c_str(), &address) != 1)
        return std::nullopt;
    return ntohl(address.s_addr);
}

} // namespace

std::optional<TargetPattern> TargetPattern::Parse(std::string_view text)
{
    const auto colon = text.rfind(':');
    if (colon == std::string_view::npos || colon == 0)
        return std::nullopt;
    const std::string_view host = text.substr(0, colon), port = text.substr(colon + 1);
    TargetPattern pattern;
    if (port != "*")
    {
        const auto number = Number(port, 1, 65535);
        if (!number)
            return std::nullopt;
        pattern.port_ = *number;
    }
    if (const auto slash = host.find('/'); slash != std::string_view::npos)
    {
        const auto network = NumericAddress(std::string(host.substr(0, slash)));
        const auto prefix = Number(host.substr(slash + 1), 0, 32);
        if (!network || !prefix)
            return std::nullopt;
        pattern.kind_ = Kind::Block;
        pattern.mask_ = *prefix == 0 ? 0 : ~std::uint32_t{0} << (32 - *prefix);
        pattern.network_ = *network & pattern.mask_;
        return pattern;
    }
    pattern.labels_ = Labels(host);
    const auto numeric = [](const std::string& label)
    { return label.find_first_not_of("0123456789*") == std::string::npos; };
    if (std::all_of(pattern.labels_.begin(), pattern.labels_.end(), numeric))
    {
        // Looks numeric, so it must be a whole address: "127.*" or "127.0.0.1*" would read as host names.
        if (pattern.labels_.size() != 4)
            return std::nullopt;
        for (std::size_t i = 0; i < 4; ++i)
        {
            const std::string& part = pattern.labels_[i];
            const auto number = Number(part, 0, 255);
            if (part != "*" && !number)
                return std::nullopt;
            pattern.parts_[i] = part == "*" ? -1 : *number;
        }
        pattern.kind_ = Kind::Parts;
        pattern.labels_.clear();
        return pattern;
    }
    for (const std::string& label : pattern.labels_)
        if (label.empty() ||
            label.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-_*") != std::string::npos)
            return std::nullopt;
    return pattern;
}

bool TargetPattern::Matches(const ConnectionDescription& target) const
{
    return (port_ == 0 || port_ == target.Port) && HostMatches(target.HostOrAddress());
}

std::optional<ConnectionDescription> TargetPattern::Literal() const
{
    if (port_ == 0 || kind_ == Kind::Block)
        return std::nullopt;
    std::string host;
    if (kind_ == Kind::Parts)
    {
        if (std::find(parts_.begin(), parts_.end(), -1) != parts_.end())
            return std::nullopt;
        for (const int part : parts_)
            host += (host.empty() ? "" : ".") + std::to_string(part);
    }
    for (const std::string& label : labels_)
    {
        if (label.find('*') != std::string::npos)
            return std::nullopt;
        host += (host.empty() ? "" : ".") + label;
    }
    return TargetAt(std::move(host), port_);
}

bool TargetPattern::HostMatches(const std::string& host) const
{
    const auto address = NumericAddress(host);
    switch (kind_)
    {
    case Kind::Parts:
        for (int i = 0; address && i < 4; ++i)
        {
            const int part = static_cast<int>((*address >> (24 - 8 * i)) & 0xff);
            if (parts_[i] != -1 && parts_[i] != part)
                return false;
        }
        return address.has_value();
    case Kind::Block:
        return address && (*address & mask_) == network_;
    case Kind::Name:
        break;
    }
    if (address)
        return false;
    const std::vector<std::string> labels = Labels(host);
    if (labels.size() != labels_.size())
        return false;
    // Only `*` can be special in a label pattern, and it cannot cross a dot between labels.
    for (std::size_t i = 0; i < labels.size(); ++i)
        if (fnmatch(labels_[i].c_str(), labels[i].c_str(), 0) != 0)
            return false;
    return true;
}

} // namespace korvel::exporter
