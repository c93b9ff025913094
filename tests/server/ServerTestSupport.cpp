#include "tests/server/ServerTestSupport.h"

#include "engine/wire/Message.h"
#include "testing/LoopbackSocket.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace korvel::test
{

std::unique_ptr<TDataSession> OpenSession(const RefServer& server, bool adminPort, bool lan,
                                          const std::string& user, const std::string& password)
{
    auto session = std::make_unique<TDataSession>(30);
    session->SetRemote(true);
    session->SetUncompressed(lan);
    session->SetAddress("127.0.0.1");
    session->SetPort(adminPort ? server.AdminPort() : server.MainPort());
    session->SetUserName(user);
    session->SetPassword(password);
    session->Connect();
    session->Login();
    return session;
}

RawClient::RawClient(int port, const char* source) : fd_(ConnectToLoopback(port, source)) {}

RawClient::~RawClient()
{
    if (fd_ >= 0)
        ::close(fd_);
}

void RawClient::Send(const std::vector<std::uint8_t>& bytes)
{
    // The server may close on us mid-way; the caller checks what it sees next.
    SendAll(fd_, bytes.data(), bytes.size());
}

namespace
{

// Reads exactly `size` bytes; false on close, error or silence.
bool ReadExactly(int fd, std::uint8_t* bytes, std::size_t size, std::chrono::milliseconds wait)
{
    std::size_t got = 0;
    while (got < size)
    {
        pollfd ready{fd, POLLIN, 0};
        if (poll(&ready, 1, static_cast<int>(wait.count())) <= 0)
            return false;
        ssize_t n = ::recv(fd, bytes + got, size - got, 0);
        if (n <= 0)
            return false;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

std::vector<std::uint8_t> RawClient::Receive(std::chrono::milliseconds wait)
{
    std::vector<std::uint8_t> message(HeaderSize);
    if (!ReadExactly(fd_, message.data(), HeaderSize, wait))
        return {};
    auto header = DecodeHeader(message.data());
    if (header.TotalSize < HeaderSize || header.TotalSize > (64 << 20))
        return {};
    message.resize(static_cast<std::size_t>(header.TotalSize));
    if (!ReadExactly(fd_, message.data() + HeaderSize, message.size() - HeaderSize, wait))
        return {};
    return message;
}

bool RawClient::ClosedByServer(std::chrono::milliseconds wait)
{
    auto end = std::chrono::steady_clock::now() + wait;
    for (;;)
    {
        auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        pollfd ready{fd_, POLLIN, 0};
        if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) <= 0)
            return false;
        std::uint8_t sink[4096];
        ssize_t n = ::recv(fd_, sink, sizeof sink, 0);
        if (n <= 0)
            return true;
    }
}

std::vector<std::uint8_t> RawValue(const std::string& text)
{
    return {text.begin(), text.end()};
}

std::vector<std::uint8_t> RawRequest(std::uint16_t code, const std::vector<std::vector<std::uint8_t>>& values)
{
    std::vector<std::uint8_t> message(HeaderSize);
    for (const auto& value : values)
    {
        auto length = RawNumber(static_cast<std::int32_t>(value.size()));
        message.insert(message.end(), length.begin(), length.end());
        message.insert(message.end(), value.begin(), value.end());
    }
    MessageHeader header;
    header.TotalSize = static_cast<std::int32_t>(message.size());
    header.Code = code;
    header.PayloadSize = header.TotalSize - HeaderSize;
    EncodeHeader(header, message.data());
    return message;
}

std::vector<std::uint8_t> RawConnectParams(bool uncompressed)
{
    return RawRequest(82, {RawNumber(std::int64_t{32100}),
                           RawNumber(static_cast<std::uint8_t>(uncompressed ? 1 : 0)),
                           {'t', 'e', 's', 't'}});
}

std::uint16_t ReplyCodeOf(const std::vector<std::uint8_t>& message)
{
    return message.size() >= HeaderSize ? DecodeHeader(message.data()).Code : 0xFFFF;
}

} // namespace korvel::test
