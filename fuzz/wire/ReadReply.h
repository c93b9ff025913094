// Reads a received message the way the remote session reads its replies, choosing the sequence of values by
// the reply code, so the fuzzers reach every reader path. Malformed input must end in an engine error, never
// in a crash or a read outside the message.
#pragma once

#include "engine/wire/AdminTypes.h"
#include "engine/wire/EngineError.h"
#include "engine/wire/Message.h"

#include <cstring>
#include <memory>
#include <vector>

namespace korvel::fuzz
{

inline void ReadValues(MessageReader& reader, std::uint16_t code)
{
    switch (code % 5)
    {
    case 0:
    { // a status reply
        std::int32_t number = 0;
        double megabytes = 0;
        std::int64_t version = 0;
        reader.Read(number);
        reader.Read(megabytes);
        if (reader.HasMoreValues())
            reader.Read(version);
        break;
    }
    case 1:
    { // an error reply: six strings
        std::string value;
        for (int i = 0; i < 6; ++i)
            reader.Read(value);
        break;
    }
    case 2:
    { // the configuration
        ServerConfig config;
        ReadConfig(reader, config);
        break;
    }
    case 3:
    { // the log
        StringList lines;
        SplitLines(reader.ReadText(), lines);
        break;
    }
    default:
    { // session information
        SessionInfo info;
        bool found = false;
        std::uint8_t rights = 0;
        reader.Read(found);
        reader.Read(info.ServerSessionId);
        reader.Read(info.CreatedOn);
        reader.Read(info.UserName);
        reader.Read(rights);
        break;
    }
    }
}

// Unpacks `data` as a received message and reads it. Small limits keep each run fast. The reader gets the
// message's bytes in a block of exactly their size, not the buffer's zero-filled granules, so that a read
// past the message is caught by the sanitizer.
inline void UnpackAndRead(const std::uint8_t* data, std::size_t size, bool compressed)
{
    constexpr std::int32_t MaxSize = 1 << 20;
    if (size < static_cast<std::size_t>(HeaderSize) || size > static_cast<std::size_t>(MaxSize))
        return;
    if (DecodeHeader(data).TotalSize > static_cast<std::int32_t>(size))
        return; // a transport would still be waiting for the rest
    MessageBuffer buffer;
    buffer.Reserve(static_cast<std::int64_t>(size));
    std::memcpy(buffer.Data(), data, size);
    std::vector<std::uint8_t> scratch;
    try
    {
        const MessageHeader header = UnpackMessage(buffer, compressed, MaxSize, scratch);
        const auto exact = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(header.TotalSize));
        std::memcpy(exact.get(), buffer.Data(), static_cast<std::size_t>(header.TotalSize));
        MessageReader reader(exact.get(), header.TotalSize);
        ReadValues(reader, header.Code);
    }
    catch (const EKORVELEngineError&)
    {
        // malformed input is refused: that is the expected outcome
    }
}

} // namespace korvel::fuzz
