// One table of address-list entries and client addresses, used against the reference server, the window and
// the CLI, so all three agree on what an entry means.
#pragma once

#include <string>
#include <vector>

namespace korvel::test
{

struct AddressPatternCase
{
    std::string Pattern;
    bool Recognised; // an IPv4 or IPv6 address, optionally with `*`
    std::string Address;
    bool Matches; // the server lets Address in when Pattern is the only authorized entry
};

inline const std::vector<AddressPatternCase>& AddressPatternTable()
{
    static const std::vector<AddressPatternCase> table = {
        {"127.0.0.1", true, "127.0.0.1", true},
        {"127.0.0.1", true, "127.0.0.2", false},
        {"127.0.0.*", true, "127.0.0.2", true},
        {"127.*", true, "127.0.0.2", true},
        {"127.0.0.1*", true, "127.0.0.15", true},
        {"*.2", true, "127.0.0.2", true},
        {"*", true, "127.0.0.1", true},
        {" 127.0.0.2 ", true, "127.0.0.2", true},
        {"127.0.0.?", false, "127.0.0.1", false}, // only * is a wildcard
        {"[1]27.0.0.1", false, "127.0.0.1", false},
        {"127.0.0", false, "127.0.0.1", false}, // a missing part
        {"127.0.0.256", false, "127.0.0.1", false},
        {"hello world", false, "127.0.0.1", false},
        {"localhost", false, "127.0.0.1", false},
        {"192.168.*", true, "192.169.1.1", false},
        {"10.*.*.1", true, "10.1.2.1", true},
        {"::1", true, "::1", true},
        {"fe80::*", true, "fe80::1", true},
        {"fe80::*", true, "fe81::1", false},
        {"2001:db8::zz", false, "2001:db8::1", false},
        {"::ffff:127.0.0.1", true, "::ffff:127.0.0.1", true},
    };
    return table;
}

} // namespace korvel::test
