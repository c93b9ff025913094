// Feeds arbitrary bytes to the reference server's request handling as one connection would send them: message
// assembly, unpacking (with zlib in Internet mode), the handshake, logins and every administration request.
// Each input runs twice on a fresh server, once in one piece and once split at random points; both runs must
// end the same way. The first input byte picks the port and whether a valid handshake and login come first.
#include "engine/wire/Message.h"
#include "engine/wire/RequestCodes.h"
#include "server/ServerCore.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

namespace
{

using namespace korvel;
using namespace korvel::server;

class NoSockets : public ConnectionControl
{
public:
    void Send(Connection&, const std::uint8_t*, std::size_t) override { ++Replies; }
    void SendLater(Connection&, std::vector<std::uint8_t>, Clock::time_point) override { ++Replies; }
    void Close(std::uint64_t) override {}
    bool StartMainListener() override { return true; }
    void StopMainListener() override {}
    int BoundPort(PortKind port) const override { return port == PortKind::Admin ? 12006 : 12005; }

    int Replies = 0;
};

std::vector<std::uint8_t> Request(std::uint16_t code, std::initializer_list<std::vector<std::uint8_t>> values)
{
    MessageBuffer buffer;
    MessageWriter writer(buffer);
    writer.SetCode(code);
    writer.Begin();
    for (const auto& value : values)
        writer.AppendValue(value.data(), static_cast<std::int32_t>(value.size()));
    writer.Finish(false);
    return {buffer.Data(), buffer.Data() + writer.Header().TotalSize};
}

std::vector<std::uint8_t> Text(const char* text)
{
    return {text, text + std::strlen(text)};
}

struct Outcome
{
    int Replies = 0;
    bool Closed = false;
    bool operator==(const Outcome&) const = default;
};

// Runs `stream` through a fresh server in pieces whose sizes `split` chooses (0: as large as wanted).
Outcome Run(PortKind port, const std::vector<std::uint8_t>& stream, std::uint32_t split)
{
    ServerOptions options;
    options.AdminUser = "admin";
    options.AdminPassword = "secret";
    options.MaxMessage = 1 << 20; // keeps the fuzzer's memory small
    Store store(":memory:");
    ServerLog log("");
    NoSockets control;
    ServerCore core(options, store, log, control);
    core.EnsureAdministrator();
    Connection connection;
    connection.Serial = 1;
    connection.Port = port;
    connection.PeerAddress = "127.0.0.1";

    std::minstd_rand pieces(split);
    Outcome outcome;
    for (std::size_t at = 0; at < stream.size() && !outcome.Closed;)
    {
        auto space = connection.Incoming.Space();
        std::size_t n = std::min(space.size(), stream.size() - at);
        if (split != 0)
            n = std::min<std::size_t>(n, 1 + pieces() % 64);
        std::memcpy(space.data(), stream.data() + at, n);
        at += n;
        auto status = connection.Incoming.Received(n, core.MessageLimit(connection));
        if (status == FrameAssembler::Status::Invalid)
            outcome.Closed = true;
        else if (status == FrameAssembler::Status::Complete)
        {
            outcome.Closed = !core.HandleMessage(connection, connection.Incoming.Message());
            connection.Incoming.Reset();
        }
    }
    outcome.Replies = control.Replies;
    return outcome;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    PortKind port = (data[0] & 1) ? PortKind::Main : PortKind::Admin;
    std::vector<std::uint8_t> stream;
    if (data[0] & 2)
    {
        std::uint8_t lan = 1;
        std::int64_t version = 32100;
        auto connect = Request(REQUEST_CONNECTPARAMS, {{reinterpret_cast<std::uint8_t*>(&version),
                                                        reinterpret_cast<std::uint8_t*>(&version) + 8},
                                                       {lan},
                                                       Text("fuzz")});
        auto login = Request(REQUEST_LOGIN, {Text("admin"), Text("secret")});
        stream.insert(stream.end(), connect.begin(), connect.end());
        stream.insert(stream.end(), login.begin(), login.end());
    }
    stream.insert(stream.end(), data + 1, data + size);

    std::uint32_t split = 1;
    for (std::size_t i = 0; i < size; ++i)
        split = split * 31 + data[i];
    if (!(Run(port, stream, 0) == Run(port, stream, split | 1)))
        std::abort(); // the outcome must not depend on how the bytes arrived
    return 0;
}
