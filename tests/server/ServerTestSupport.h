// Helpers shared by the reference server's integration tests: engine sessions on either port and a raw socket
// client for bytes that no well-behaved client would send.
#pragma once

#include "engine/DataSession.h"
#include "engine/wire/EngineError.h"
#include "testing/Eventually.h"
#include "testing/RefServer.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace korvel::test
{

// Options with further command-line arguments and an engine version.
inline RefServerOptions ServerWith(std::vector<std::string> extraArgs, std::string engineVersion = "3.21")
{
    RefServerOptions options;
    options.ExtraArgs = std::move(extraArgs);
    options.EngineVersion = std::move(engineVersion);
    return options;
}

// A logged-in session on the server's administration (or main) port.
std::unique_ptr<TDataSession> OpenSession(const RefServer& server, bool adminPort = true, bool lan = true,
                                          const std::string& user = "admin",
                                          const std::string& password = "secret");

// The engine error code that `action` raises, or 0 when it raises none.
template <typename Action> std::uint16_t ErrorCodeOf(Action&& action)
{
    try
    {
        action();
    }
    catch (const EKORVELEngineError& error)
    {
        return error.ErrorCode;
    }
    return 0;
}

// A blocking loopback TCP client that sends raw bytes and reads whole messages.
class RawClient
{
public:
    // From `source` (another 127.x.y.z address) when given.
    explicit RawClient(int port, const char* source = nullptr);
    ~RawClient();
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    void Send(const std::vector<std::uint8_t>& bytes);
    // One whole message (header included), or empty when the server closed the connection or stayed silent
    // for `wait`.
    std::vector<std::uint8_t> Receive(std::chrono::milliseconds wait = std::chrono::milliseconds{5000});
    // True when the server closes the connection within `wait`.
    bool ClosedByServer(std::chrono::milliseconds wait = std::chrono::milliseconds{5000});
    int Fd() const { return fd_; }

private:
    int fd_ = -1;
};

// A request with `code` and the given values (each sent length-prefixed), uncompressed.
std::vector<std::uint8_t> RawRequest(std::uint16_t code,
                                     const std::vector<std::vector<std::uint8_t>>& values = {});
// The bytes of a string value or of a number value.
std::vector<std::uint8_t> RawValue(const std::string& text);
template <typename Number> std::vector<std::uint8_t> RawNumber(Number number)
{
    std::vector<std::uint8_t> bytes(sizeof number);
    for (std::size_t i = 0; i < sizeof number; ++i)
        bytes[i] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(number) >> (8 * i));
    return bytes;
}
// CONNECTPARAMS as a client of version 3.21 in LAN (uncompressed) or Internet mode.
std::vector<std::uint8_t> RawConnectParams(bool uncompressed = true);
// The reply code of a whole message.
std::uint16_t ReplyCodeOf(const std::vector<std::uint8_t>& message);

} // namespace korvel::test
