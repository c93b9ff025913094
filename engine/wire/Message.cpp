#include "engine/wire/Message.h"

#include "engine/wire/ErrorCodes.h"
#include "engine/wire/Utf8.h"
#include "engine/wire/Zlib.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace korvel
{
namespace
{

constexpr std::int32_t LengthSize = 4;

void PutLittleEndian(std::uint64_t value, int width, std::uint8_t* bytes)
{
    for (int i = 0; i < width; ++i)
        bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint64_t GetLittleEndian(const std::uint8_t* bytes, int width)
{
    std::uint64_t value = 0;
    for (int i = 0; i < width; ++i)
        value |= std::uint64_t{bytes[i]} << (8 * i);
    return value;
}

std::int32_t GetInt32(const std::uint8_t* bytes)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(GetLittleEndian(bytes, 4)));
}

[[noreturn]] void RaiseMalformed()
{
    RaiseEngineError(KORVEL_UNCOMPRESS);
}

// A message that cannot be built, like one that cannot be compressed.
[[noreturn]] void RaiseUnbuildable()
{
    RaiseEngineError(KORVEL_COMPRESS);
}

} // namespace

MessageHeader DecodeHeader(const std::uint8_t* bytes)
{
    return MessageHeader{GetInt32(bytes), static_cast<std::uint16_t>(GetLittleEndian(bytes + 4, 2)),
                         GetInt32(bytes + 6)};
}

void EncodeHeader(const MessageHeader& header, std::uint8_t* bytes)
{
    PutLittleEndian(static_cast<std::uint32_t>(header.TotalSize), 4, bytes);
    PutLittleEndian(header.Code, 2, bytes + 4);
    PutLittleEndian(static_cast<std::uint32_t>(header.PayloadSize), 4, bytes + 6);
}

// --- MessageBuffer ---

void MessageBuffer::Reserve(std::int64_t size)
{
    if (size <= 0)
    {
        data_.reset();
        capacity_ = 0;
        return;
    }
    const std::int64_t rounded = (size + BufferGranule - 1) / BufferGranule * BufferGranule;
    if (rounded <= capacity_)
        return;
    if (rounded > std::numeric_limits<std::int32_t>::max())
        throw std::length_error("message buffer larger than 2 GiB");
    auto grown = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(rounded)); // zero-filled
    if (capacity_ > 0)
        std::memcpy(grown.get(), data_.get(), static_cast<std::size_t>(capacity_));
    data_ = std::move(grown);
    capacity_ = static_cast<std::int32_t>(rounded);
}

// --- MessageWriter ---

void MessageWriter::Begin()
{
    writePosition_ = HeaderSize;
    buffer_.Reserve(HeaderSize);
    header_.PayloadSize = 0;
}

void MessageWriter::Reserve(std::int64_t size)
{
    try
    {
        buffer_.Reserve(size);
    }
    catch (const std::length_error&)
    {
        RaiseUnbuildable();
    }
}

std::uint8_t* MessageWriter::Grow(std::int64_t size)
{
    Reserve(std::int64_t{writePosition_} + size);
    std::uint8_t* at = buffer_.Data() + writePosition_;
    writePosition_ += static_cast<std::int32_t>(size);
    header_.PayloadSize += static_cast<std::int32_t>(size);
    return at;
}

void MessageWriter::AppendValue(const void* bytes, std::int32_t size)
{
    if (size < 0)
        RaiseUnbuildable();
    std::uint8_t* at = Grow(std::int64_t{LengthSize} + size);
    PutLittleEndian(static_cast<std::uint32_t>(size), LengthSize, at);
    if (size > 0)
        std::memcpy(at + LengthSize, bytes, static_cast<std::size_t>(size));
}

void MessageWriter::AppendBool(bool value)
{
    AppendByte(value ? 1 : 0);
}

void MessageWriter::AppendByte(std::uint8_t value)
{
    AppendValue(&value, 1);
}

void MessageWriter::AppendUInt16(std::uint16_t value)
{
    std::uint8_t bytes[2];
    PutLittleEndian(value, 2, bytes);
    AppendValue(bytes, 2);
}

void MessageWriter::AppendInt32(std::int32_t value)
{
    std::uint8_t bytes[4];
    PutLittleEndian(static_cast<std::uint32_t>(value), 4, bytes);
    AppendValue(bytes, 4);
}

void MessageWriter::AppendInt64(std::int64_t value)
{
    std::uint8_t bytes[8];
    PutLittleEndian(static_cast<std::uint64_t>(value), 8, bytes);
    AppendValue(bytes, 8);
}

void MessageWriter::AppendDouble(double value)
{
    AppendInt64(std::bit_cast<std::int64_t>(value));
}

void MessageWriter::AppendString(std::string_view text)
{
    const std::string_view cut = CutUtf8(text);
    AppendValue(cut.data(), static_cast<std::int32_t>(cut.size()));
}

void MessageWriter::AppendStringList(const StringList& items)
{
    AppendInt32(static_cast<std::int32_t>(items.size()));
    for (const std::string& item : items)
        AppendString(item);
}

void MessageWriter::AppendText(std::string_view text)
{
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max() - 64))
        RaiseUnbuildable();
    const auto size = static_cast<std::int32_t>(text.size());
    AppendInt32(size);
    AppendValue(text.data(), size);
}

void MessageWriter::Finish(bool compress)
{
    plainSize_ = header_.PayloadSize + HeaderSize;
    if (compress)
    {
        CompressPayload(buffer_.Data() + HeaderSize, static_cast<std::size_t>(header_.PayloadSize), scratch_);
        header_.PayloadSize = static_cast<std::int32_t>(scratch_.size());
        Reserve(std::int64_t{HeaderSize} + header_.PayloadSize);
        std::memcpy(buffer_.Data() + HeaderSize, scratch_.data(), scratch_.size());
        writePosition_ = HeaderSize + header_.PayloadSize;
    }
    header_.TotalSize = header_.PayloadSize + HeaderSize;
    EncodeHeader(header_, buffer_.Data());
}

// --- Unpacking ---

MessageHeader UnpackMessage(MessageBuffer& buffer, bool compressed, std::int32_t maxSize,
                            std::vector<std::uint8_t>& scratch)
{
    if (buffer.Capacity() < HeaderSize)
        RaiseMalformed();
    MessageHeader header = DecodeHeader(buffer.Data());
    if (header.TotalSize < HeaderSize || header.TotalSize > maxSize || header.TotalSize > buffer.Capacity())
        RaiseMalformed();
    if (!compressed)
        return header; // PayloadSize is not consulted: the values run to TotalSize
    if (header.PayloadSize != header.TotalSize - HeaderSize)
        RaiseMalformed();
    // The compressed bytes move aside, usually far fewer than the plain ones, and the payload inflates
    // straight into the buffer, which keeps its size from message to message.
    const std::uint8_t* payload = buffer.Data() + HeaderSize;
    scratch.assign(payload, payload + header.PayloadSize);
    const GrowOutput grow = [&buffer](std::size_t wanted)
    {
        buffer.Reserve(static_cast<std::int64_t>(HeaderSize + wanted));
        return std::span<std::uint8_t>(buffer.Data() + HeaderSize,
                                       static_cast<std::size_t>(buffer.Capacity() - HeaderSize));
    };
    header.PayloadSize = static_cast<std::int32_t>(DecompressPayload(
        scratch.data(), scratch.size(), grow, static_cast<std::size_t>(maxSize - HeaderSize)));
    header.TotalSize = header.PayloadSize + HeaderSize;
    EncodeHeader(header, buffer.Data());
    return header;
}

// --- MessageReader ---

MessageReader::MessageReader(const std::uint8_t* message, std::int32_t totalSize, Fit fit)
    : message_(message), totalSize_(totalSize), fit_(fit)
{
}

bool MessageReader::HasMoreValues() const
{
    return std::int64_t{position_} + LengthSize <= totalSize_;
}

std::int32_t MessageReader::ReadValue(void* destination, std::int32_t capacity)
{
    const std::uint8_t* bytes = nullptr;
    const std::int32_t size = NextValue(bytes);
    if (size > capacity)
        RaiseMalformed();
    if (size > 0)
        std::memcpy(destination, bytes, static_cast<std::size_t>(size));
    return size;
}

std::int32_t MessageReader::NextValue(const std::uint8_t*& bytes)
{
    if (!HasMoreValues())
        RaiseMalformed();
    const std::int32_t size = GetInt32(message_ + position_);
    if (size < 0 || std::int64_t{position_} + LengthSize + size > totalSize_)
        RaiseMalformed();
    bytes = message_ + position_ + LengthSize;
    position_ += LengthSize + size;
    return size;
}

std::uint64_t MessageReader::ReadNumber(std::uint64_t current, int width)
{
    const std::uint8_t* bytes = nullptr;
    const std::int32_t size = NextValue(bytes);
    if (size > width || (fit_ == Fit::Exact && size != width))
        RaiseMalformed();
    // A shorter value replaces only the low bytes, as a copy into a little-endian variable would.
    const std::uint64_t mask = size == 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * size)) - 1;
    return (current & ~mask) | GetLittleEndian(bytes, size);
}

void MessageReader::Read(bool& value)
{
    value = ReadNumber(value ? 1 : 0, 1) != 0;
}

void MessageReader::Read(std::uint8_t& value)
{
    value = static_cast<std::uint8_t>(ReadNumber(value, 1));
}

void MessageReader::Read(std::uint16_t& value)
{
    value = static_cast<std::uint16_t>(ReadNumber(value, 2));
}

void MessageReader::Read(std::int32_t& value)
{
    value = static_cast<std::int32_t>(
        static_cast<std::uint32_t>(ReadNumber(static_cast<std::uint32_t>(value), 4)));
}

void MessageReader::Read(std::int64_t& value)
{
    value = static_cast<std::int64_t>(ReadNumber(static_cast<std::uint64_t>(value), 8));
}

void MessageReader::Read(double& value)
{
    value = std::bit_cast<double>(ReadNumber(std::bit_cast<std::uint64_t>(value), 8));
}

void MessageReader::Read(std::string& value)
{
    const std::uint8_t* bytes = nullptr;
    const std::int32_t size = NextValue(bytes);
    if (fit_ == Fit::Exact && size > static_cast<std::int32_t>(MaxProtocolString))
        RaiseMalformed();
    value.assign(
        CutUtf8(std::string_view(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(size))));
}

void MessageReader::ReadStringList(StringList& items)
{
    std::int32_t count = 0;
    Read(count);
    // Each string takes at least its 4-byte length: a larger count is a short reply, refused before
    // anything is allocated.
    if (count > (totalSize_ - position_) / LengthSize)
        RaiseMalformed();
    for (std::int32_t i = 0; i < count; ++i)
    {
        std::string item;
        Read(item);
        items.push_back(std::move(item));
    }
}

std::string MessageReader::ReadText()
{
    return std::string(ReadTextView());
}

std::string_view MessageReader::ReadTextView()
{
    const std::string_view text = ReadTextBlockView();
    return text.substr(0, text.find('\0'));
}

std::string_view MessageReader::ReadTextBlockView()
{
    std::int32_t size = 0;
    Read(size);
    if (size < 0)
        RaiseMalformed();
    const std::uint8_t* bytes = nullptr;
    const std::int32_t length = std::min(NextValue(bytes), size);
    return {reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length)};
}

void SplitLines(std::string_view text, StringList& lines)
{
    text = text.substr(0, text.find('\0'));
    std::size_t count = 0;
    auto add = [&](std::string_view line)
    {
        // Reuse the strings already in the list: a reloaded log then costs few allocations.
        if (count < lines.size())
            lines[count].assign(line);
        else
            lines.emplace_back(line);
        ++count;
    };
    // The next CR and the next LF are each found with one fast search and kept until the scan passes them.
    std::size_t nextCr = text.find('\r');
    std::size_t nextLf = text.find('\n');
    std::size_t start = 0;
    while (start < text.size())
    {
        if (nextCr < start)
            nextCr = text.find('\r', start);
        if (nextLf < start)
            nextLf = text.find('\n', start);
        const std::size_t end = std::min(nextCr, nextLf);
        if (end == std::string_view::npos)
        {
            add(text.substr(start));
            break;
        }
        add(text.substr(start, end - start));
        start = end + (end == nextCr && nextLf == end + 1 ? 2 : 1);
    }
    lines.resize(count);
}

} // namespace korvel
