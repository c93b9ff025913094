#include "engine/ssh/KnownHosts.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace korvel
{
namespace
{

constexpr std::size_t MaxFileBytes = 16 * 1024 * 1024;
constexpr std::size_t MaxLineBytes = 64 * 1024;
constexpr std::size_t SaltBytes = 20; // SHA-1's size, as OpenSSH salts its hashed names

class Descriptor
{
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

std::string Lower(std::string_view text)
{
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return lower;
}

// OpenSSH's wildcards: `*` any run of characters, `?` one character.
bool Glob(std::string_view pattern, std::string_view text)
{
    std::size_t p = 0, t = 0, star = std::string_view::npos, resume = 0;
    while (t < text.size())
    {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t]))
            ++p, ++t;
        else if (p < pattern.size() && pattern[p] == '*')
            star = p++, resume = t;
        else if (star != std::string_view::npos)
            p = star + 1, t = ++resume;
        else
            return false;
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

std::string Base64(const unsigned char* bytes, std::size_t size)
{
    std::string text(4 * ((size + 2) / 3), '\0');
    EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), bytes, static_cast<int>(size));
    return text;
}

// Nothing when `text` is not base64.
std::optional<std::string> Unbase64(std::string_view text)
{
    if (text.empty() || text.size() % 4 != 0)
        return std::nullopt;
    std::string bytes(text.size() / 4 * 3, '\0');
    const int size =
        EVP_DecodeBlock(reinterpret_cast<unsigned char*>(bytes.data()),
                        reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
    if (size < 0)
        return std::nullopt;
    bytes.resize(static_cast<std::size_t>(size) - (text.ends_with("==") ? 2 : text.ends_with("=") ? 1 : 0));
    return bytes;
}

std::string HashName(const std::string& salt, const std::string& name)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    HMAC(EVP_sha1(), salt.data(), static_cast<int>(salt.size()),
         reinterpret_cast<const unsigned char*>(name.data()), name.size(), digest, &size);
    return std::string(reinterpret_cast<const char*>(digest), size);
}

// "|1|salt|hash": the name whose HMAC-SHA1 under the salt is the hash.
bool HashedNameIs(std::string_view field, const std::string& name)
{
    field.remove_prefix(3);
    const std::size_t bar = field.find('|');
    if (bar == std::string_view::npos)
        return false;
    const std::optional<std::string> salt = Unbase64(field.substr(0, bar));
    const std::optional<std::string> hash = Unbase64(field.substr(bar + 1));
    return salt && hash && salt->size() == SaltBytes && HashName(*salt, name) == *hash;
}

std::vector<std::string_view> Words(std::string_view line)
{
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (words.size() < 4)
    {
        at = line.find_first_not_of(" \t\r", at);
        if (at == std::string_view::npos)
            break;
        const std::size_t end = std::min(line.find_first_of(" \t\r", at), line.size());
        words.push_back(line.substr(at, end - at));
        at = end;
    }
    return words;
}

// The line's entry when it names `name`. Lines that cannot be read are passed over, as OpenSSH does.
std::optional<KnownHostsEntry> ParseLine(std::string_view line, const std::string& name)
{
    std::vector<std::string_view> words = Words(line);
    if (words.empty() || words[0].starts_with('#'))
        return std::nullopt;
    KnownHostsEntry entry;
    if (words[0].starts_with('@'))
    {
        if (words[0] == "@revoked")
            entry.Marker = KnownHostsMarker::Revoked;
        else if (words[0] == "@cert-authority")
            entry.Marker = KnownHostsMarker::CertAuthority;
        else
            return std::nullopt;
        words.erase(words.begin());
    }
    if (words.size() < 3 || !KnownHostsPatternsMatch(std::string(words[0]), name))
        return std::nullopt;
    entry.KeyType = words[1];
    entry.KeyBase64 = words[2];
    return entry;
}

// A user's file (or its directory) that someone else could have written: OpenSSH's rule for its own files.
void RefuseUnsafe(const std::string& what, const struct stat& status)
{
    if (status.st_uid != 0 && status.st_uid != getuid())
        throw KnownHostsError(what + " belongs to another user");
    if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        throw KnownHostsError(what + " may be written by others (chmod go-w it)");
}

// The file's own checks, then its directory's: the directory of the file a symlink leads to.
void RefuseUnsafeFile(const std::string& file, const struct stat& status)
{
    if (S_ISCHR(status.st_mode))
        return; // /dev/null: nothing is kept
    RefuseUnsafe("The known_hosts file " + file, status);
    char resolved[PATH_MAX];
    std::string real = realpath(file.c_str(), resolved) ? resolved : file;
    const std::size_t slash = real.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : slash == 0 ? "/" : real.substr(0, slash);
    struct stat dirStatus
    {
    };
    if (stat(directory.c_str(), &dirStatus) != 0)
        throw KnownHostsError("The directory " + directory + " of " + file +
                              " cannot be read: " + std::strerror(errno));
    RefuseUnsafe("The directory " + directory + " of the known_hosts file " + file, dirStatus);
}

// The whole file, at most MaxFileBytes; nothing when it does not exist.
std::optional<std::string> ReadFile(const std::string& file, bool checkOwner)
{
    // Non-blocking: a FIFO planted as the file is refused below instead of waiting for a writer.
    const Descriptor fd(open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.Get() < 0)
    {
        if (errno == ENOENT || errno == ENOTDIR)
            return std::nullopt;
        throw KnownHostsError("Cannot read the known_hosts file " + file + ": " + std::strerror(errno));
    }
    struct stat status
    {
    };
    fstat(fd.Get(), &status);
    if (!S_ISREG(status.st_mode) && !S_ISCHR(status.st_mode))
        throw KnownHostsError("The known_hosts file " + file + " is not a file");
    if (checkOwner)
        RefuseUnsafeFile(file, status);
    std::string text;
    char chunk[65536];
    for (ssize_t got; (got = read(fd.Get(), chunk, sizeof chunk)) != 0;)
    {
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw KnownHostsError("Cannot read the known_hosts file " + file + ": " + std::strerror(errno));
        if (text.size() + static_cast<std::size_t>(got) > MaxFileBytes)
            throw KnownHostsError("The known_hosts file " + file + " is larger than 16 MiB: refused");
        text.append(chunk, static_cast<std::size_t>(got));
    }
    return text;
}

void WriteAll(int fd, const std::string& text, const std::string& file)
{
    for (std::size_t done = 0; done < text.size();)
    {
        const ssize_t wrote = write(fd, text.data() + done, text.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            throw KnownHostsError("Cannot write to the known_hosts file " + file + ": " +
                                  std::strerror(errno));
        done += static_cast<std::size_t>(wrote);
    }
}

} // namespace

std::string KnownHostsName(const std::string& host, int port)
{
    // OpenSSH lowers the host name before it looks it up (a HostKeyAlias is taken as written).
    return port == 22 || port == 0 ? Lower(host) : "[" + Lower(host) + "]:" + std::to_string(port);
}

bool KnownHostsPatternsMatch(const std::string& patterns, const std::string& name)
{
    if (patterns.starts_with("|1|"))
        return HashedNameIs(patterns, name);
    const std::string lowerName = Lower(name);
    bool matched = false;
    for (std::size_t at = 0; at <= patterns.size();)
    {
        const std::size_t end = std::min(patterns.find(',', at), patterns.size());
        std::string_view pattern = std::string_view(patterns).substr(at, end - at);
        const bool negated = pattern.starts_with('!');
        if (negated)
            pattern.remove_prefix(1);
        if (!pattern.empty() && Glob(Lower(pattern), lowerName))
        {
            if (negated)
                return false;
            matched = true;
        }
        at = end + 1;
    }
    return matched;
}

std::vector<KnownHostsEntry> FindKnownHosts(const std::vector<std::string>& files, const std::string& name,
                                            bool checkOwner)
{
    std::vector<KnownHostsEntry> found;
    for (const std::string& file : files)
    {
        const std::optional<std::string> text = ReadFile(file, checkOwner);
        if (!text)
            continue;
        std::string_view rest = *text;
        for (int number = 1; !rest.empty(); ++number)
        {
            const std::size_t end = std::min(rest.find('\n'), rest.size());
            if (end > MaxLineBytes)
                throw KnownHostsError("The known_hosts file " + file + ":" + std::to_string(number) +
                                      " has a line longer than 64 KiB: refused");
            if (std::optional<KnownHostsEntry> entry = ParseLine(rest.substr(0, end), name))
            {
                entry->File = file;
                entry->Line = number;
                found.push_back(std::move(*entry));
            }
            rest.remove_prefix(std::min(end + 1, rest.size()));
        }
    }
    return found;
}

std::string KnownHostsLine(const std::string& name, const std::string& keyType, const std::string& keyBase64,
                           bool hashed)
{
    // A space or a line break in the name would forge another pattern or another line.
    if (name.empty() || std::any_of(name.begin(), name.end(),
                                    [](unsigned char c) { return c <= ' ' || c == ',' || c == 127; }))
        throw KnownHostsError("the host name cannot be written to known_hosts as it is");
    if (!hashed)
        return name + " " + keyType + " " + keyBase64;
    unsigned char salt[SaltBytes];
    if (RAND_bytes(salt, sizeof salt) != 1)
        throw KnownHostsError("No random salt for a hashed known_hosts line");
    const std::string hash = HashName(std::string(reinterpret_cast<const char*>(salt), sizeof salt), name);
    return "|1|" + Base64(salt, sizeof salt) + "|" +
           Base64(reinterpret_cast<const unsigned char*>(hash.data()), hash.size()) + " " + keyType + " " +
           keyBase64;
}

void AppendKnownHostsLine(const std::string& file, const std::string& line)
{
    const std::size_t slash = file.rfind('/');
    if (slash != std::string::npos && slash > 0)
    {
        const std::string directory = file.substr(0, slash);
        if (mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST)
            throw KnownHostsError("Cannot make the directory " + directory + ": " + std::strerror(errno));
    }
    const Descriptor fd(
        open(file.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644));
    if (fd.Get() < 0)
        throw KnownHostsError("Cannot open the known_hosts file " + file + ": " + std::strerror(errno));
    struct stat status
    {
    };
    fstat(fd.Get(), &status);
    if (!S_ISREG(status.st_mode) && !S_ISCHR(status.st_mode))
        throw KnownHostsError("The known_hosts file " + file + " is not a file");
    RefuseUnsafeFile(file, status);
    // A last line without its newline would otherwise run into ours.
    char last = '\n';
    if (S_ISREG(status.st_mode) && status.st_size > 0 && pread(fd.Get(), &last, 1, status.st_size - 1) != 1)
        last = '\n';
    // One write: O_APPEND keeps it whole beside another client's line.
    WriteAll(fd.Get(), (last == '\n' ? "" : "\n") + line + "\n", file);
}

} // namespace korvel
