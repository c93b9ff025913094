// Messages of the remote protocol, for requests and replies alike: the 10-byte header, the growable buffer
// that holds a whole message, building a message value by value, unpacking a received message and reading its
// values. Nothing here does I/O, so the client and the reference server share it and it is tested on bytes
// alone.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace korvel
{

using StringList = std::vector<std::string>;

inline constexpr std::int32_t HeaderSize = 10;
inline constexpr std::int32_t BufferGranule = 32768;
inline constexpr std::int32_t ChunkSize = 65536;
inline constexpr std::int32_t DefaultMaxMessageSize = 256 * 1024 * 1024;

// TotalSize (signed 32-bit), Code (unsigned 16-bit), PayloadSize (signed 32-bit), little-endian.
struct MessageHeader
{
    std::int32_t TotalSize = 0;
    std::uint16_t Code = 0;
    std::int32_t PayloadSize = 0;
};

MessageHeader DecodeHeader(const std::uint8_t* bytes);
void EncodeHeader(const MessageHeader& header, std::uint8_t* bytes);

// A growable byte block. A request for n >= 1 bytes rounds n up to a multiple of BufferGranule and enlarges
// the block (new bytes zero-filled) only when it is smaller; it never shrinks. n <= 0 releases the block.
class MessageBuffer
{
public:
    void Reserve(std::int64_t size);
    std::uint8_t* Data() { return data_.get(); }
    const std::uint8_t* Data() const { return data_.get(); }
    std::int32_t Capacity() const { return capacity_; }

private:
    std::unique_ptr<std::uint8_t[]> data_;
    std::int32_t capacity_ = 0;
};

// Builds one message into a MessageBuffer: Begin, one Append per value, Finish.
class MessageWriter
{
public:
    explicit MessageWriter(MessageBuffer& buffer) : buffer_(buffer) {}

    void SetCode(std::uint16_t code) { header_.Code = code; }
    // Write position just past the header, PayloadSize 0; the code is not touched.
    void Begin();

    // A value: its length as 4 bytes, then the bytes. Every Append raises engine error 15001 when the value
    // cannot be written (a negative length, a message past 2 GiB).
    void AppendValue(const void* bytes, std::int32_t size);
    void AppendBool(bool value);
    void AppendByte(std::uint8_t value);
    void AppendUInt16(std::uint16_t value);
    void AppendInt32(std::int32_t value);
    void AppendInt64(std::int64_t value);
    void AppendDouble(double value);
    // At most 255 bytes, cut on a character boundary.
    void AppendString(std::string_view text);
    // The count as a 32-bit value, then each item as a string value.
    void AppendStringList(const StringList& items);
    // A text block: the size as a 32-bit value, then one value holding the text.
    void AppendText(std::string_view text);

    // Writes the header at offset 0; with `compress` the payload is first replaced by its zlib stream.
    // Raises engine error 15001 when compression fails.
    void Finish(bool compress);

    const MessageHeader& Header() const { return header_; }
    // The finished message's size before compression (its TotalSize when it was not compressed).
    std::int32_t PlainSize() const { return plainSize_; }
    MessageBuffer& Buffer() { return buffer_; }

private:
    // The buffer's Reserve, raising 15001 for a message past 2 GiB.
    void Reserve(std::int64_t size);
    std::uint8_t* Grow(std::int64_t size);

    MessageBuffer& buffer_;
    MessageHeader header_;
    std::int32_t writePosition_ = HeaderSize;
    std::int32_t plainSize_ = HeaderSize;
    std::vector<std::uint8_t> scratch_;
};

// Checks a whole received message (TotalSize bytes at the start of `buffer`) and, when `compressed`, inflates
// its payload in place so that TotalSize becomes 10 + the plain payload length; `scratch` holds the
// compressed bytes meanwhile, and after a failure the buffer's bytes mean nothing. Raises engine error 15002
// when the message is malformed: TotalSize below 10 or above `maxSize`, a compressed PayloadSize that is not
// TotalSize - 10, a bad zlib stream or one that inflates past `maxSize`.
MessageHeader UnpackMessage(MessageBuffer& buffer, bool compressed, std::int32_t maxSize,
                            std::vector<std::uint8_t>& scratch);

// Reads the values of an unpacked message in order. Every failure raises engine error 15002 with an empty
// context: a missing length, a negative length, a length running past TotalSize, a number wider than its
// destination. Leniently, a value shorter than a number fills its low bytes; a value of length 0 leaves it
// unchanged.
class MessageReader
{
public:
    // What a value that does not fit its kind does. The client is lenient (a server may send more or less
    // than it should): a string longer than 255 bytes is cut, a short number fills the low bytes. The
    // reference server is exact (a request that asks for one thing must not do another): both are refused.
    enum class Fit
    {
        Lenient,
        Exact
    };

    MessageReader() = default;
    MessageReader(const std::uint8_t* message, std::int32_t totalSize, Fit fit = Fit::Lenient);

    // Copies the next value into `destination` and returns its length; a value longer than `capacity` bytes
    // raises 15002.
    std::int32_t ReadValue(void* destination, std::int32_t capacity);
    bool HasMoreValues() const;

    void Read(bool& value);
    void Read(std::uint8_t& value);
    void Read(std::uint16_t& value);
    void Read(std::int32_t& value);
    void Read(std::int64_t& value);
    void Read(double& value);
    // A string value; one longer than 255 bytes is cut to 255 on a character boundary and reading goes on
    // after it, or with Fit::Exact raises 15002.
    void Read(std::string& value);
    // Appends: a 32-bit count, then that many strings. A count of zero or less reads nothing more; a count
    // larger than the values left could hold raises 15002 before anything is appended.
    void ReadStringList(StringList& items);
    // A text block: the 32-bit size S, then the text value (at most S bytes are kept; the text ends at its
    // first zero byte).
    std::string ReadText();
    // The same without a copy: the view points into the message.
    std::string_view ReadTextView();
    // As ReadTextView, with the bytes after a zero byte too.
    std::string_view ReadTextBlockView();

    std::int32_t Position() const { return position_; }

private:
    // The next value's bytes and length, after the bounds checks.
    std::int32_t NextValue(const std::uint8_t*& bytes);
    // The next value as a number at most `width` bytes wide, its bytes replacing the low bytes of `current`.
    std::uint64_t ReadNumber(std::uint64_t current, int width);

    const std::uint8_t* message_ = nullptr;
    std::int32_t totalSize_ = 0;
    std::int32_t position_ = HeaderSize;
    Fit fit_ = Fit::Lenient;
};

// Replaces `lines` by the lines of `text`, split at CR LF, LF or CR; the text ends at its first zero byte; a
// last line without a line break is kept.
void SplitLines(std::string_view text, StringList& lines);

} // namespace korvel
