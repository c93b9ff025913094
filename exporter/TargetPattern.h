// Which targets a module's credentials may be sent to: "host:port" patterns whose host and port are matched
// apart, since a pattern matched against the whole text let 127.0.0.*:21313 match the host name
// 127.0.0.5.attacker.example:21313. The port is a number or `*`. A numeric host is four parts, each a number
// or a `*` that stands for one part (10.0.0.*), or a CIDR block (10.0.0.0/24); it matches numeric addresses
// only. Any other host is a host-name pattern whose `*` stays within one label (db*.example.com), matched
// regardless of case; it matches host names only.
#pragma once

#include "engine/ConnectionDescription.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvel::exporter
{

class TargetPattern
{
public:
    // Nothing when `text` is not such a pattern (a numeric host of other than four parts, for one).
    static std::optional<TargetPattern> Parse(std::string_view text);

    // By where `target` is: its host name or address, and its port.
    bool Matches(const ConnectionDescription& target) const;
    // The one target a pattern without `*` and blocks names (host names in lower case); nothing for others.
    std::optional<ConnectionDescription> Literal() const;

private:
    TargetPattern() = default;
    bool HostMatches(const std::string& host) const;

    std::int32_t port_ = 0; // 0 for any
    enum class Kind
    {
        Parts, // numeric, `*` for one part
        Block, // numeric, CIDR
        Name
    } kind_ = Kind::Name;
    std::array<int, 4> parts_{}; // -1 for `*`
    std::uint32_t network_ = 0;  // host byte order
    std::uint32_t mask_ = 0;
    std::vector<std::string> labels_; // lower case
};

} // namespace korvel::exporter
