#include "engine/ssh/SshConfigText.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <netdb.h>
#include <openssl/evp.h>
#include <stdexcept>

namespace korvel::sshconfig
{

namespace
{

constexpr std::string_view Blanks = " \t\r\n";

void SkipBlanks(std::string_view& rest)
{
    const std::size_t start = rest.find_first_not_of(Blanks);
    rest.remove_prefix(start == std::string_view::npos ? rest.size() : start);
}

} // namespace

std::optional<std::string> NextWord(std::string_view& rest)
{
    if (rest.data() == nullptr)
        return std::nullopt;
    const std::size_t stop = rest.find_first_of(" \t\r\n\"=");
    if (stop == std::string_view::npos)
    {
        std::string word(rest);
        rest = {};
        return word;
    }
    std::string word(rest.substr(0, stop));
    const char separator = rest[stop];
    rest.remove_prefix(stop + 1);
    if (separator == '"')
    {
        const std::size_t close = rest.find('"');
        if (close == std::string_view::npos)
            throw std::invalid_argument("a quote is not closed");
        word += rest.substr(0, close);
        rest.remove_prefix(close + 1);
        SkipBlanks(rest);
        return word;
    }
    SkipBlanks(rest);
    // One `=` may stand between the words, with blanks around it.
    if (separator != '=' && !rest.empty() && rest.front() == '=')
    {
        rest.remove_prefix(1);
        SkipBlanks(rest);
    }
    return word;
}

std::vector<std::string> SplitArguments(std::string_view text)
{
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < text.size())
    {
        if (text[i] == ' ' || text[i] == '\t')
        {
            ++i;
            continue;
        }
        if (text[i] == '#')
            break;
        std::string word;
        char quote = 0;
        for (; i < text.size(); ++i)
        {
            const char c = text[i];
            const char next = i + 1 < text.size() ? text[i + 1] : '\0';
            if (c == '\\' && (next == '\'' || next == '"' || next == '\\' || (quote == 0 && next == ' ')))
                word += text[++i];
            else if (quote == 0 && (c == ' ' || c == '\t'))
                break;
            else if (quote == 0 && (c == '"' || c == '\''))
                quote = c;
            else if (quote != 0 && c == quote)
                quote = 0;
            else
                word += c;
        }
        if (quote != 0)
            throw std::invalid_argument("a quote is not closed");
        words.push_back(std::move(word));
    }
    return words;
}

bool MatchPattern(std::string_view text, std::string_view pattern)
{
    std::size_t t = 0;
    std::size_t p = 0;
    std::size_t star = std::string_view::npos;
    std::size_t resume = 0;
    while (t < text.size())
    {
        if (p < pattern.size() && pattern[p] == '*')
        {
            star = p++;
            resume = t;
        }
        else if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t]))
        {
            ++t;
            ++p;
        }
        else if (star != std::string_view::npos)
        {
            p = star + 1;
            t = ++resume;
        }
        else
            return false;
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

std::string Lowered(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

int MatchPatternList(std::string_view text, std::string_view patterns, bool lower)
{
    constexpr std::size_t longest = 1022; // OpenSSH gives up on longer ones: no match
    bool positive = false;
    std::size_t i = 0;
    while (i < patterns.size())
    {
        const bool negated = patterns[i] == '!';
        if (negated)
            ++i;
        const std::size_t comma = std::min(patterns.find(',', i), patterns.size());
        const std::string_view one = patterns.substr(i, comma - i);
        if (one.size() > longest)
            return 0;
        i = comma + 1;
        if (MatchPattern(text, lower ? std::string_view(Lowered(one)) : one))
        {
            if (negated)
                return -1;
            positive = true;
        }
    }
    return positive ? 1 : 0;
}

std::string ExpandTokens(std::string_view text, const Tokens& tokens, bool environment)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        if (environment && text[i] == '$' && i + 1 < text.size() && text[i + 1] == '{')
        {
            const std::size_t close = text.find('}', i + 2);
            if (close == std::string_view::npos)
                throw std::invalid_argument("${ without }");
            const std::string name(text.substr(i + 2, close - i - 2));
            const char* value = name.empty() ? nullptr : std::getenv(name.c_str());
            if (!value)
                throw std::invalid_argument("the environment variable " + Shown(name) + " is not set");
            out += value;
            i = close;
            continue;
        }
        if (text[i] != '%')
        {
            out += text[i];
            continue;
        }
        if (++i == text.size())
            throw std::invalid_argument("a % at the end");
        if (text[i] == '%')
        {
            out += '%';
            continue;
        }
        const auto token = std::find_if(tokens.begin(), tokens.end(),
                                        [&](const auto& entry) { return entry.first == text[i]; });
        if (token == tokens.end())
            throw std::invalid_argument("unknown token " + Shown(text.substr(i - 1, 2)));
        out += token->second;
    }
    return out;
}

std::string ExpandCommand(std::string_view command, const Tokens& tokens)
{
    static const std::pair<char, const char*> checked[] = {{'r', "the SSH user"},
                                                           {'h', "the host name"},
                                                           {'n', "the host name"},
                                                           {'k', "the host key alias"},
                                                           {'p', "the port"}};
    for (std::size_t i = 0; i + 1 < command.size(); ++i)
    {
        if (command[i] != '%' || command[++i] == '%')
            continue;
        for (const auto& [letter, what] : checked)
        {
            if (letter != command[i])
                continue;
            for (const auto& [name, value] : tokens)
                if (name == letter && !ShellSafe(value))
                    throw std::invalid_argument(std::string(what) + " " + Shown(value) +
                                                " holds characters a shell would act on");
        }
    }
    return ExpandTokens(command, tokens, false);
}

std::string ConnectionHash(const std::string& text)
{
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int size = 0;
    EVP_Digest(text.data(), text.size(), digest.data(), &size, EVP_sha1(), nullptr);
    static constexpr char hex[] = "0123456789abcdef";
    std::string out;
    for (unsigned int i = 0; i < size; ++i)
        out += std::string{hex[digest[i] >> 4], hex[digest[i] & 15]};
    return out;
}

std::optional<int> ParseTime(std::string_view text)
{
    if (text.empty())
        return std::nullopt;
    long long total = 0;
    std::size_t i = 0;
    while (i < text.size())
    {
        long long value = 0;
        const std::size_t start = i;
        for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
            if ((value = value * 10 + (text[i] - '0')) > INT_MAX)
                return std::nullopt;
        if (i == start)
            return std::nullopt;
        long long unit = 1;
        if (i < text.size())
        {
            switch (std::tolower(static_cast<unsigned char>(text[i++])))
            {
            case 's':
                break;
            case 'm':
                unit = 60;
                break;
            case 'h':
                unit = 3600;
                break;
            case 'd':
                unit = 86400;
                break;
            case 'w':
                unit = 604800;
                break;
            default:
                return std::nullopt;
            }
        }
        if ((total += value * unit) > INT_MAX)
            return std::nullopt;
    }
    return static_cast<int>(total);
}

std::optional<int> ParseCount(std::string_view text)
{
    if (text.empty() || text.size() > 10)
        return std::nullopt;
    long long value = 0;
    for (const char c : text)
    {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value > INT_MAX ? std::nullopt : std::optional<int>(static_cast<int>(value));
}

std::optional<int> ParsePort(const std::string& text)
{
    if (const auto number = ParseCount(text))
        return *number >= 1 && *number <= 65535 ? number : std::nullopt;
    servent entry{};
    servent* found = nullptr;
    std::array<char, 1024> buffer{};
    if (getservbyname_r(text.c_str(), "tcp", &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return std::nullopt;
    return static_cast<int>(ntohs(static_cast<std::uint16_t>(found->s_port)));
}

bool ShellSafe(std::string_view value)
{
    if (!value.empty() && value.front() == '-')
        return false;
    for (const char c : value)
        if (static_cast<unsigned char>(c) <= ' ' || c == 0x7f ||
            std::string_view("'\"`$\\;&|<>()*?[]{}~").find(c) != std::string_view::npos)
            return false;
    return true;
}

std::string Shown(std::string_view text)
{
    static constexpr char hex[] = "0123456789abcdef";
    std::string out = "\"";
    for (const char c : text)
    {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7f)
            out += std::string("\\x") + hex[byte >> 4] + hex[byte & 15];
        else if (c == '"' || c == '\\')
            out += std::string("\\") + c;
        else
            out += c;
    }
    return out + "\"";
}

const std::unordered_map<std::string_view, Key>& Keywords()
{
    static const std::unordered_map<std::string_view, Key> table = []
    {
        std::unordered_map<std::string_view, Key> keys = {
            {"host", Key::Host},
            {"match", Key::Match},
            {"include", Key::Include},
            {"hostname", Key::HostName},
            {"user", Key::User},
            {"port", Key::Port},
            {"identityfile", Key::IdentityFile},
            {"identityfile2", Key::IdentityFile},
            {"identitiesonly", Key::IdentitiesOnly},
            {"identityagent", Key::IdentityAgent},
            {"proxycommand", Key::ProxyCommand},
            {"proxyjump", Key::ProxyJump},
            {"stricthostkeychecking", Key::StrictHostKeyChecking},
            {"userknownhostsfile", Key::UserKnownHostsFile},
            {"globalknownhostsfile", Key::GlobalKnownHostsFile},
            {"hostkeyalias", Key::HostKeyAlias},
            {"hashknownhosts", Key::HashKnownHosts},
            {"checkhostip", Key::CheckHostIP},
            {"serveraliveinterval", Key::ServerAliveInterval},
            {"protocolkeepalives", Key::ServerAliveInterval},
            {"serveralivecountmax", Key::ServerAliveCountMax},
            {"connecttimeout", Key::ConnectTimeout},
            {"setuptimeout", Key::ConnectTimeout},
            {"addressfamily", Key::AddressFamily},
            {"preferredauthentications", Key::PreferredAuthentications},
            {"pubkeyauthentication", Key::PubkeyAuthentication},
            {"dsaauthentication", Key::PubkeyAuthentication},
            {"passwordauthentication", Key::PasswordAuthentication},
            {"kbdinteractiveauthentication", Key::KbdInteractiveAuthentication},
            {"challengeresponseauthentication", Key::KbdInteractiveAuthentication},
            {"numberofpasswordprompts", Key::NumberOfPasswordPrompts},
            {"batchmode", Key::BatchMode},
            {"canonicalizehostname", Key::CanonicalizeHostname},
            {"ignoreunknown", Key::IgnoreUnknown}};
        for (const std::string_view other : {"addkeystoagent",
                                             "afstokenpassing",
                                             "bindaddress",
                                             "bindinterface",
                                             "canonicaldomains",
                                             "canonicalizefallbacklocal",
                                             "canonicalizemaxdots",
                                             "canonicalizepermittedcnames",
                                             "casignaturealgorithms",
                                             "certificatefile",
                                             "channeltimeout",
                                             "cipher",
                                             "ciphers",
                                             "clearallforwardings",
                                             "compression",
                                             "compressionlevel",
                                             "controlmaster",
                                             "controlpath",
                                             "controlpersist",
                                             "dynamicforward",
                                             "enableescapecommandline",
                                             "enablesshkeysign",
                                             "escapechar",
                                             "exitonforwardfailure",
                                             "fallbacktorsh",
                                             "fingerprinthash",
                                             "forkafterauthentication",
                                             "forwardagent",
                                             "forwardx11",
                                             "forwardx11timeout",
                                             "forwardx11trusted",
                                             "gatewayports",
                                             "globalknownhostsfile2",
                                             "gssapiauthentication",
                                             "gssapiclientidentity",
                                             "gssapidelegatecredentials",
                                             "gssapikexalgorithms",
                                             "gssapikeyexchange",
                                             "gssapirenewalforcesrekey",
                                             "gssapiserveridentity",
                                             "gssapitrustdns",
                                             "hostbasedacceptedalgorithms",
                                             "hostbasedauthentication",
                                             "hostbasedkeytypes",
                                             "hostkeyalgorithms",
                                             "ipqos",
                                             "kbdinteractivedevices",
                                             "keepalive",
                                             "kerberosauthentication",
                                             "kerberostgtpassing",
                                             "kexalgorithms",
                                             "knownhostscommand",
                                             "localcommand",
                                             "localforward",
                                             "loglevel",
                                             "logverbose",
                                             "macs",
                                             "nohostauthenticationforlocalhost",
                                             "obscurekeystroketiming",
                                             "permitlocalcommand",
                                             "permitremoteopen",
                                             "pkcs11provider",
                                             "protocol",
                                             "proxyusefdpass",
                                             "pubkeyacceptedalgorithms",
                                             "pubkeyacceptedkeytypes",
                                             "rekeylimit",
                                             "remotecommand",
                                             "remoteforward",
                                             "requesttty",
                                             "requiredrsasize",
                                             "revokedhostkeys",
                                             "rhostsauthentication",
                                             "rhostsrsaauthentication",
                                             "rsaauthentication",
                                             "securitykeyprovider",
                                             "sendenv",
                                             "sessiontype",
                                             "setenv",
                                             "skeyauthentication",
                                             "smartcarddevice",
                                             "stdinnull",
                                             "streamlocalbindmask",
                                             "streamlocalbindunlink",
                                             "syslogfacility",
                                             "tag",
                                             "tcpkeepalive",
                                             "tisauthentication",
                                             "tunnel",
                                             "tunneldevice",
                                             "updatehostkeys",
                                             "useprivilegedport",
                                             "userknownhostsfile2",
                                             "useroaming",
                                             "usersh",
                                             "verifyhostkeydns",
                                             "visualhostkey",
                                             "xauthlocation"})
            keys.emplace(other, Key::Other);
        return keys;
    }();
    return table;
}

namespace
{

// One hop: `[user@]host[:port]` (an IPv6 address in brackets) or `ssh://[user@]host[:port]`.
SshJump ParseHop(std::string_view hop)
{
    SshJump jump;
    const bool url = hop.substr(0, 6) == "ssh://";
    if (url)
    {
        hop.remove_prefix(6);
        if (!hop.empty() && hop.back() == '/')
            hop.remove_suffix(1);
    }
    const std::size_t at = url ? hop.find('@') : hop.rfind('@');
    if (at != std::string_view::npos)
    {
        jump.User = hop.substr(0, at);
        hop.remove_prefix(at + 1);
        if (jump.User.empty() || (url && jump.User.find(';') != std::string::npos))
            throw std::invalid_argument("a hop's user is empty");
    }
    std::size_t end = hop.find_first_of(url ? ":/" : ":/");
    if (!hop.empty() && hop.front() == '[')
    {
        const std::size_t close = hop.find(']');
        if (close == std::string_view::npos)
            throw std::invalid_argument("a [ without ]");
        jump.Host = hop.substr(1, close - 1);
        end = close + 1 == hop.size() ? std::string_view::npos : close + 1;
        if (end != std::string_view::npos && hop[end] != ':' && hop[end] != '/')
            throw std::invalid_argument("text after ]");
    }
    else
        jump.Host = hop.substr(0, end);
    if (jump.Host.empty() || (url && end != std::string_view::npos && hop[end] == '/'))
        throw std::invalid_argument("a hop without a host");
    if (end != std::string_view::npos && end + 1 < hop.size())
    {
        const auto port = ParsePort(std::string(hop.substr(end + 1)));
        if (!port)
            throw std::invalid_argument("a hop's port is not a port");
        jump.Port = *port;
    }
    return jump;
}

} // namespace

std::vector<SshJump> ParseJumps(std::string_view text)
{
    text = text.substr(0, text.find('#'));
    text = text.substr(0, text.find_last_not_of(" \t") + 1);
    std::vector<SshJump> hops;
    if (Lowered(text) == "none")
        return hops;
    for (std::size_t start = 0;;)
    {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        hops.push_back(ParseHop(text.substr(start, comma - start)));
        if (comma == text.size())
            return hops;
        start = comma + 1;
    }
}

} // namespace korvel::sshconfig
