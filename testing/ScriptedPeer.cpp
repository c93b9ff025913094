#include "testing/ScriptedPeer.h"

#include "engine/wire/RequestCodes.h"
#include "testing/LoopbackSocket.h"

#include <cstring>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace korvel::test
{
namespace
{

constexpr int PollMs = 20;

std::int32_t LengthOf(const Bytes& bytes)
{
    return static_cast<std::int32_t>(bytes[0] | bytes[1] << 8 | bytes[2] << 16 |
                                     static_cast<std::uint32_t>(bytes[3]) << 24);
}

} // namespace

// --- PeerConnection ---

PeerConnection::PeerConnection(int fd, int number, ScriptedPeer& peer) : fd_(fd), number_(number), peer_(peer)
{
}

PeerConnection::~PeerConnection()
{
    Close();
}

bool PeerConnection::WaitReadable()
{
    while (!peer_.stopping_ && fd_ >= 0)
    {
        pollfd entry{fd_, POLLIN, 0};
        if (poll(&entry, 1, PollMs) > 0)
            return true;
    }
    return false;
}

Bytes PeerConnection::ReadBytes(std::size_t count)
{
    Bytes bytes(count);
    std::size_t got = 0;
    while (got < count && WaitReadable())
    {
        const ssize_t n = recv(fd_, bytes.data() + got, count - got, 0);
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    return bytes;
}

std::optional<ReceivedRequest> PeerConnection::ReadRequest()
{
    Bytes wire = ReadBytes(4);
    if (wire.size() < 4)
        return std::nullopt;
    const std::int32_t total = LengthOf(wire);
    if (total < HeaderSize)
        return std::nullopt;
    const Bytes rest = ReadBytes(static_cast<std::size_t>(total - 4));
    wire.insert(wire.end(), rest.begin(), rest.end());
    if (wire.size() != static_cast<std::size_t>(total))
        return std::nullopt;

    ReceivedRequest request;
    request.Connection = number_;
    request.Wire = wire;
    const std::uint16_t code = DecodeHeader(wire.data()).Code;
    const bool handshake = code == REQUEST_CONNECTPARAMS || code == REQUEST_RECONNECT;
    answeringHandshake_ = handshake;
    MessageBuffer buffer;
    buffer.Reserve(total);
    std::memcpy(buffer.Data(), wire.data(), wire.size());
    Bytes scratch;
    request.Header = UnpackMessage(buffer, compressed_ && !handshake, DefaultMaxMessageSize, scratch);
    request.Message.assign(buffer.Data(), buffer.Data() + request.Header.TotalSize);
    if (handshake)
    {
        // The Uncompressed byte of the handshake sets the mode of the rest of the connection.
        MessageReader reader = request.Reader();
        std::int64_t version = 0;
        std::int32_t sessionId = 0;
        bool uncompressed = true;
        reader.Read(version);
        if (code == REQUEST_RECONNECT)
            reader.Read(sessionId);
        reader.Read(uncompressed);
        compressed_ = !uncompressed;
    }
    peer_.Record(request);
    return request;
}

void PeerConnection::Send(const Bytes& bytes)
{
    std::size_t sent = 0;
    while (fd_ >= 0 && sent < bytes.size())
    {
        const ssize_t n = send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            break;
        sent += static_cast<std::size_t>(n);
    }
}

Bytes PeerConnection::BuildReply(std::uint16_t code, const std::function<void(MessageWriter&)>& fill)
{
    MessageWriter writer(replyBuffer_);
    writer.SetCode(code);
    writer.Begin();
    if (fill)
        fill(writer);
    writer.Finish(compressed_ && !answeringHandshake_); // handshake replies travel plain
    return Bytes(replyBuffer_.Data(), replyBuffer_.Data() + writer.Header().TotalSize);
}

void PeerConnection::Reply(std::uint16_t code, const std::function<void(MessageWriter&)>& fill)
{
    Send(BuildReply(code, fill));
}

void PeerConnection::ReplyError(std::uint16_t code, const std::vector<std::string>& context)
{
    Reply(code,
          [&](MessageWriter& writer)
          {
              for (std::size_t i = 0; i < 6; ++i)
                  writer.AppendString(i < context.size() ? context[i] : std::string());
          });
}

void PeerConnection::Close()
{
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
}

// --- ScriptedPeer ---

ScriptedPeer::ScriptedPeer()
{
    listenFd_ = ListenOnLoopback(port_);
    thread_ = std::thread([this] { Serve(); });
}

ScriptedPeer::~ScriptedPeer()
{
    stopping_ = true;
    thread_.join();
    close(listenFd_);
}

void ScriptedPeer::SetServerVersion(std::optional<std::int64_t> version)
{
    std::lock_guard guard(mutex_);
    serverVersion_ = version;
}

void ScriptedPeer::Then(Step step)
{
    std::lock_guard guard(mutex_);
    script_.push_back(std::move(step));
}

std::optional<ScriptedPeer::Step> ScriptedPeer::NextStep()
{
    std::lock_guard guard(mutex_);
    if (script_.empty())
        return std::nullopt;
    Step step = std::move(script_.front());
    script_.pop_front();
    return step;
}

void ScriptedPeer::Serve()
{
    std::vector<std::thread> connections;
    while (!stopping_)
    {
        pollfd entry{listenFd_, POLLIN, 0};
        if (poll(&entry, 1, PollMs) <= 0)
            continue;
        const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0)
            connections.emplace_back([this, fd, number = ++connections_] { ServeConnection(fd, number); });
    }
    for (std::thread& connection : connections)
        connection.join();
}

void ScriptedPeer::ServeConnection(int fd, int number)
{
    PeerConnection connection(fd, number, *this);
    // A step is taken only once the client has sent something, so a closed connection consumes none.
    while (!connection.Closed() && connection.WaitReadable())
    {
        char probe;
        if (recv(fd, &probe, 1, MSG_PEEK) <= 0)
            break;
        const std::optional<Step> step = NextStep();
        (step ? *step : Automatic())(connection);
    }
}

void ScriptedPeer::Record(ReceivedRequest request)
{
    {
        std::lock_guard guard(mutex_);
        requests_.push_back(std::move(request));
    }
    recorded_.notify_all();
}

std::vector<ReceivedRequest> ScriptedPeer::Requests() const
{
    std::lock_guard guard(mutex_);
    return requests_;
}

std::vector<std::uint16_t> ScriptedPeer::RequestCodes() const
{
    std::vector<std::uint16_t> codes;
    for (const ReceivedRequest& request : Requests())
        codes.push_back(request.Code());
    return codes;
}

bool ScriptedPeer::WaitForRequests(std::size_t count)
{
    std::unique_lock lock(mutex_);
    return recorded_.wait_for(lock, std::chrono::seconds(1), [&] { return requests_.size() >= count; });
}

ScriptedPeer::Step ScriptedPeer::Automatic()
{
    return [this](PeerConnection& connection)
    {
        const std::optional<ReceivedRequest> request = connection.ReadRequest();
        if (!request)
            return connection.Close();
        if (request->Code() == REQUEST_LOGOUT)
            return; // the client closes without reading a reply
        if (request->Code() != REQUEST_CONNECTPARAMS)
            return connection.Reply(0);
        std::optional<std::int64_t> version;
        {
            std::lock_guard guard(mutex_);
            version = serverVersion_;
        }
        connection.Reply(0,
                         [&](MessageWriter& writer)
                         {
                             writer.AppendInt32(sessionId_);
                             if (version)
                                 writer.AppendInt64(*version);
                         });
    };
}

ScriptedPeer::Step ScriptedPeer::Answer(std::uint16_t code, std::function<void(MessageWriter&)> fill)
{
    return [code, fill = std::move(fill)](PeerConnection& connection)
    {
        if (connection.ReadRequest())
            connection.Reply(code, fill);
    };
}

ScriptedPeer::Step ScriptedPeer::AnswerError(std::uint16_t code, std::vector<std::string> context)
{
    return [code, context = std::move(context)](PeerConnection& connection)
    {
        if (connection.ReadRequest())
            connection.ReplyError(code, context);
    };
}

ScriptedPeer::Step ScriptedPeer::AnswerAfter(std::chrono::milliseconds delay,
                                             std::function<void(MessageWriter&)> fill)
{
    return [delay, fill = std::move(fill)](PeerConnection& connection)
    {
        if (!connection.ReadRequest())
            return;
        std::this_thread::sleep_for(delay);
        connection.Reply(0, fill);
    };
}

ScriptedPeer::Step ScriptedPeer::CloseAfterBytes(std::size_t count)
{
    return [count](PeerConnection& connection)
    {
        connection.ReadBytes(count);
        connection.Close();
    };
}

ScriptedPeer::Step ScriptedPeer::SendRawThenClose(Bytes bytes)
{
    return [bytes = std::move(bytes)](PeerConnection& connection)
    {
        if (connection.ReadRequest())
            connection.Send(bytes);
        connection.Close();
    };
}

} // namespace korvel::test
