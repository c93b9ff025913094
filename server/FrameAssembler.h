// Collects the bytes of one incoming message, whatever pieces they arrive in. It does no I/O: the caller asks
// where the next bytes go and how many are wanted, reads at most that many, and reports them. It holds only
// what the current message needs, so an idle connection costs a few bytes.
#pragma once

#include "engine/wire/Message.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace korvel::server
{

class FrameAssembler
{
public:
    enum class Status
    {
        NeedMore,
        Complete,
        // TotalSize below 10 or above the limit: the connection must be closed.
        Invalid
    };

    // Where the next bytes go: never past the end of the current message, never empty before it is complete.
    std::span<std::uint8_t> Space();

    // Reports `count` bytes written at the start of Space(). `limit` bounds TotalSize.
    Status Received(std::size_t count, std::int32_t limit);

    // Copies bytes from `data` until the message is complete, invalid, or the bytes run out; `used` tells how
    // many were taken (the rest belong to the next message).
    Status Feed(const std::uint8_t* data, std::size_t size, std::int32_t limit, std::size_t& used);

    // The whole raw message once Complete (header included, as received).
    const std::vector<std::uint8_t>& Message() const { return message_; }
    std::int32_t TotalSize() const { return header_.TotalSize; }
    // Starts on the next message; a large buffer is given back.
    void Reset();
    bool Empty() const { return headerGot_ == 0; }

private:
    std::uint8_t headerBytes_[HeaderSize] = {};
    std::size_t headerGot_ = 0;
    MessageHeader header_;
    std::vector<std::uint8_t> message_;
    std::size_t got_ = 0;
};

} // namespace korvel::server
