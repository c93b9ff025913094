#include "engine/ssh/SshAgent.h"

#include "engine/ssh/SshHostKey.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

namespace korvel
{
namespace
{

// The agent protocol's messages (draft-miller-ssh-agent).
constexpr char Failure = 5;
constexpr char RequestIdentities = 11;
constexpr char IdentitiesAnswer = 12;
constexpr char SignRequest = 13;
constexpr std::uint32_t MessageLimit = 256 * 1024;
constexpr std::uint32_t KeyLimit = 1024;
constexpr int AgentTimeoutSeconds = 10; // a stuck agent must not hold the login for ever

bool Transfer(int fd, char* data, std::size_t size, bool reading)
{
    for (std::size_t done = 0; done < size;)
    {
        // A peer that went away is an error here, not SIGPIPE.
        const ssize_t moved =
            reading ? read(fd, data + done, size - done) : send(fd, data + done, size - done, MSG_NOSIGNAL);
        if (moved > 0)
            done += static_cast<std::size_t>(moved);
        else if (moved == 0 || errno != EINTR)
            return false;
    }
    return true;
}

std::optional<std::string> ReadMessage(int fd)
{
    unsigned char length[4];
    if (!Transfer(fd, reinterpret_cast<char*>(length), sizeof length, true))
        return std::nullopt;
    const std::uint32_t size = std::uint32_t{length[0]} << 24 | std::uint32_t{length[1]} << 16 |
                               std::uint32_t{length[2]} << 8 | length[3];
    if (size == 0 || size > MessageLimit)
        return std::nullopt;
    std::string message(size, '\0');
    if (!Transfer(fd, message.data(), size, true))
        return std::nullopt;
    return message;
}

void PutNumber(std::string& out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>(value >> shift & 0xff);
}

void PutString(std::string& out, const std::string& text)
{
    PutNumber(out, static_cast<std::uint32_t>(text.size()));
    out += text;
}

bool WriteMessage(int fd, const std::string& message)
{
    std::string framed;
    PutString(framed, message);
    return Transfer(fd, framed.data(), framed.size(), false);
}

// Reads the agent protocol's fields from a message, each bounded by what is left of it.
class Reader
{
public:
    Reader(const std::string& text, std::size_t at) : text_(text), at_(at) {}
    std::optional<std::uint32_t> Number()
    {
        if (text_.size() - at_ < 4)
            return std::nullopt;
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i)
            value = value << 8 | static_cast<unsigned char>(text_[at_++]);
        return value;
    }
    std::optional<std::string> String()
    {
        const std::optional<std::uint32_t> size = Number();
        if (!size || text_.size() - at_ < *size)
            return std::nullopt;
        std::string value = text_.substr(at_, *size);
        at_ += *size;
        return value;
    }

private:
    const std::string& text_;
    std::size_t at_;
};

std::string Base64(const std::string& bytes)
{
    static constexpr char Digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (std::size_t at = 0; at < bytes.size(); at += 3)
    {
        std::uint32_t group = 0;
        for (std::size_t i = 0; i < 3; ++i)
            group = group << 8 | (at + i < bytes.size() ? static_cast<unsigned char>(bytes[at + i]) : 0u);
        const std::size_t digits = std::min<std::size_t>(bytes.size() - at, 3) + 1;
        for (std::size_t i = 0; i < 4; ++i)
            text += i < digits ? Digits[group >> (18 - 6 * i) & 0x3f] : '=';
    }
    return text;
}

// A key as the agent lists it: its wire format starts with its type's name.
AgentKey KeyOf(const std::string& blob)
{
    AgentKey key{blob, Base64(blob), {}};
    const std::optional<std::string> type = Reader(blob, 0).String();
    ssh_key parsed = nullptr;
    if (type && ssh_pki_import_pubkey_base64(key.Base64.c_str(), ssh_key_type_from_name(type->c_str()),
                                             &parsed) == SSH_OK)
    {
        key.Fingerprint = Sha256Fingerprint(parsed);
        ssh_key_free(parsed);
    }
    return key;
}

std::vector<AgentKey> ListKeys(int agent)
{
    std::vector<AgentKey> keys;
    if (!WriteMessage(agent, std::string(1, RequestIdentities)))
        return keys;
    const std::optional<std::string> answer = ReadMessage(agent);
    if (!answer || (*answer)[0] != IdentitiesAnswer)
        return keys;
    Reader reader(*answer, 1);
    const std::optional<std::uint32_t> count = reader.Number();
    for (std::uint32_t i = 0; count && i < std::min(*count, KeyLimit); ++i)
    {
        std::optional<std::string> blob = reader.String();
        if (!blob || !reader.String()) // the comment is the user's own word, not shown
            break;
        keys.push_back(KeyOf(*blob));
    }
    return keys;
}

int ConnectAgent(const std::string& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path)
        return -1;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    const timeval limit{AgentTimeoutSeconds, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
    {
        close(fd);
        return -1;
    }
    return fd;
}

} // namespace

std::string PublicKeyBase64(ssh_key key)
{
    char* text = nullptr;
    if (!key || ssh_pki_export_pubkey_base64(key, &text) != SSH_OK || !text)
        return {};
    std::string base64 = text;
    ssh_string_free_char(text);
    return base64;
}

SshAgentKeys::SshAgentKeys(const std::string& socketPath) : agent_(ConnectAgent(socketPath))
{
    if (agent_ >= 0)
        keys_ = ListKeys(agent_);
}

SshAgentKeys::~SshAgentKeys()
{
    if (served_ >= 0)
    {
        shutdown(served_, SHUT_RDWR); // ends Serve's read
        server_.join();
        close(served_);
    }
    if (agent_ >= 0)
        close(agent_);
}

void SshAgentKeys::Offer(ssh_session session, std::vector<AgentKey> offered)
{
    {
        std::lock_guard guard(mutex_);
        offered_ = std::move(offered);
    }
    if (served_ >= 0)
        return;
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        return;
    if (ssh_set_agent_socket(session, pair[1]) != SSH_OK) // on success libssh closes its end with the session
    {
        close(pair[0]);
        close(pair[1]);
        return;
    }
    served_ = pair[0];
    server_ = std::thread([this] { Serve(); });
}

void SshAgentKeys::Serve()
{
    // libssh talks to its agent in blocking calls on the connection's thread, so the answers come from here.
    while (const std::optional<std::string> request = ReadMessage(served_))
        if (!WriteMessage(served_, Answer(*request)))
            return;
}

std::string SshAgentKeys::Answer(const std::string& request)
{
    std::lock_guard guard(mutex_);
    if (request[0] == RequestIdentities)
    {
        std::string answer(1, IdentitiesAnswer);
        PutNumber(answer, static_cast<std::uint32_t>(offered_.size()));
        for (const AgentKey& key : offered_)
        {
            PutString(answer, key.Blob);
            PutString(answer, "");
        }
        return answer;
    }
    if (request[0] == SignRequest)
    {
        const std::optional<std::string> blob = Reader(request, 1).String();
        const bool offered = blob && std::any_of(offered_.begin(), offered_.end(),
                                                 [&](const AgentKey& key) { return key.Blob == *blob; });
        if (offered && WriteMessage(agent_, request))
            if (std::optional<std::string> signature = ReadMessage(agent_))
                return *signature;
    }
    return std::string(1, Failure);
}

} // namespace korvel
