#include "CaptureError.h"

#include "engine/wire/ErrorCodes.h"
#include "engine/wire/Message.h"
#include "engine/wire/Zlib.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace korvel
{
namespace
{

using test::EngineErrorCode;
using Bytes = std::vector<std::uint8_t>;

Bytes MessageBytes(MessageWriter& writer)
{
    const std::uint8_t* data = writer.Buffer().Data();
    return Bytes(data, data + writer.Header().TotalSize);
}

Bytes PayloadOf(MessageWriter& writer)
{
    Bytes all = MessageBytes(writer);
    return Bytes(all.begin() + HeaderSize, all.end());
}

// Copies a message into a fresh buffer as if it had been received.
MessageBuffer Received(const Bytes& bytes)
{
    MessageBuffer buffer;
    buffer.Reserve(static_cast<std::int64_t>(bytes.size()));
    std::memcpy(buffer.Data(), bytes.data(), bytes.size());
    return buffer;
}

TEST(Message, BuffersGrowInGranulesKeepTheirBytesAndZeroFillTheRest)
{
    MessageBuffer buffer;
    buffer.Reserve(1);
    EXPECT_EQ(buffer.Capacity(), 32768);
    buffer.Data()[0] = 0xAB;
    buffer.Reserve(32768);
    EXPECT_EQ(buffer.Capacity(), 32768);
    buffer.Reserve(32769);
    EXPECT_EQ(buffer.Capacity(), 65536);
    EXPECT_EQ(buffer.Data()[0], 0xAB);
    EXPECT_EQ(buffer.Data()[65535], 0);
    buffer.Reserve(100); // never shrinks
    EXPECT_EQ(buffer.Capacity(), 65536);
    buffer.Reserve(0);
    EXPECT_EQ(buffer.Capacity(), 0);
    EXPECT_EQ(buffer.Data(), nullptr);
}

TEST(Message, RequestsAreLaidOutByteForByte)
{
    MessageBuffer buffer;
    MessageWriter writer(buffer);
    writer.SetCode(2);
    writer.Begin();
    writer.Finish(false);
    EXPECT_EQ(MessageBytes(writer), (Bytes{0x0a, 0, 0, 0, 0x02, 0, 0, 0, 0, 0}));

    writer.SetCode(91);
    writer.Begin();
    writer.AppendString("ab");
    writer.AppendBool(true);
    writer.Finish(false);
    EXPECT_EQ(PayloadOf(writer), (Bytes{0x02, 0, 0, 0, 0x61, 0x62, 0x01, 0, 0, 0, 0x01}));
    EXPECT_EQ(writer.Header().TotalSize, 21);
    EXPECT_EQ(MessageBytes(writer)[4], 91);

    writer.Begin();
    writer.AppendString("");
    writer.Finish(false);
    EXPECT_EQ(PayloadOf(writer), (Bytes{0, 0, 0, 0}));

    writer.Begin();
    writer.AppendStringList({});
    writer.Finish(false);
    EXPECT_EQ(PayloadOf(writer), (Bytes{4, 0, 0, 0, 0, 0, 0, 0}));

    writer.Begin();
    writer.AppendUInt16(0x1234);
    writer.AppendInt32(-2);
    writer.AppendInt64(32100);
    writer.Finish(false);
    EXPECT_EQ(PayloadOf(writer), (Bytes{2,    0, 0, 0, 0x34, 0x12, 4,    0, 0, 0, 0xfe, 0xff, 0xff,
                                        0xff, 8, 0, 0, 0,    0x64, 0x7d, 0, 0, 0, 0,    0,    0}));

    // Strings are cut to 255 bytes without splitting a character.
    writer.Begin();
    writer.AppendString(std::string(254, 'a') + "\xC3\xA9");
    writer.Finish(false);
    EXPECT_EQ(writer.Header().PayloadSize, 4 + 254);
}

TEST(Message, CompressedMessagesCarryAZlibStreamAndUnpackToTheirValues)
{
    MessageBuffer buffer;
    MessageWriter writer(buffer);
    writer.SetCode(106);
    writer.Begin();
    writer.Finish(true);
    EXPECT_GT(writer.Header().TotalSize, HeaderSize); // even an empty payload is a zlib stream
    EXPECT_EQ(writer.Header().TotalSize, writer.Header().PayloadSize + HeaderSize);

    writer.Begin();
    writer.AppendString("hello");
    writer.AppendText(std::string(100000, 'z'));
    writer.Finish(true);
    EXPECT_LT(writer.Header().TotalSize, 2000);

    MessageBuffer received = Received(MessageBytes(writer));
    Bytes scratch;
    const MessageHeader header = UnpackMessage(received, true, DefaultMaxMessageSize, scratch);
    EXPECT_EQ(header.Code, 106);
    EXPECT_EQ(header.TotalSize, HeaderSize + 4 + 5 + 8 + 4 + 100000);
    EXPECT_EQ(DecodeHeader(received.Data()).TotalSize, header.TotalSize);
    MessageReader reader(received.Data(), header.TotalSize);
    std::string text;
    reader.Read(text);
    EXPECT_EQ(text, "hello");
    EXPECT_EQ(reader.ReadText(), std::string(100000, 'z'));
    EXPECT_FALSE(reader.HasMoreValues());

    // The same buffer then takes a smaller message: the stale bytes of the larger one do not show through.
    writer.Begin();
    writer.AppendString("next");
    writer.Finish(true);
    const Bytes next = MessageBytes(writer);
    std::copy(next.begin(), next.end(), received.Data());
    const MessageHeader nextHeader = UnpackMessage(received, true, DefaultMaxMessageSize, scratch);
    EXPECT_EQ(nextHeader.TotalSize, HeaderSize + 4 + 4);
    MessageReader nextReader(received.Data(), nextHeader.TotalSize);
    nextReader.Read(text);
    EXPECT_EQ(text, "next");
    EXPECT_FALSE(nextReader.HasMoreValues());
}

TEST(Message, MalformedMessagesAreRefused)
{
    Bytes scratch;
    auto unpack = [&](Bytes bytes, bool compressed, std::int32_t maxSize = DefaultMaxMessageSize)
    {
        MessageBuffer buffer = Received(bytes);
        return EngineErrorCode([&] { UnpackMessage(buffer, compressed, maxSize, scratch); });
    };
    EXPECT_EQ(unpack({9, 0, 0, 0, 0, 0, 0, 0, 0, 0}, false), KORVEL_UNCOMPRESS); // below the header
    EXPECT_EQ(unpack({0xff, 0xff, 0xff, 0xff, 0, 0, 0, 0, 0, 0}, false), KORVEL_UNCOMPRESS); // negative
    EXPECT_EQ(unpack({0, 0, 1, 0, 0, 0, 0, 0, 0, 0}, false, 1000), KORVEL_UNCOMPRESS); // above the limit
    EXPECT_EQ(unpack({12, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0x78, 0x9c}, true), KORVEL_UNCOMPRESS); // payload size
    EXPECT_EQ(unpack({12, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0x12, 0x34}, true), KORVEL_UNCOMPRESS); // not zlib
    EXPECT_EQ(unpack({10, 0, 0, 0, 0, 0, 77, 0, 0, 0}, false), 0); // PayloadSize is ignored in LAN mode

    // A small stream that would inflate past the limit is refused, not inflated.
    Bytes zeros(1 << 20, 0);
    Bytes stream;
    CompressPayload(zeros.data(), zeros.size(), stream);
    Bytes bomb{0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    bomb.insert(bomb.end(), stream.begin(), stream.end());
    const auto total = static_cast<std::int32_t>(bomb.size());
    EncodeHeader(MessageHeader{total, 0, total - HeaderSize}, bomb.data());
    EXPECT_EQ(unpack(bomb, true, 64 * 1024), KORVEL_UNCOMPRESS);
    EXPECT_EQ(unpack(bomb, true, (1 << 20) + HeaderSize), 0);
}

TEST(Message, ReaderChecksEveryValueAgainstTheMessage)
{
    MessageBuffer buffer;
    MessageWriter writer(buffer);
    writer.Begin();
    writer.AppendUInt16(0xBEEF);
    writer.AppendValue(nullptr, 0);
    writer.AppendString(std::string(300, 'q'));
    writer.AppendInt32(7);
    writer.Finish(false);
    MessageReader reader(buffer.Data(), writer.Header().TotalSize);

    std::int32_t number = 0x11223344;
    reader.Read(number); // a shorter value fills the low bytes
    EXPECT_EQ(number, 0x1122BEEF);
    reader.Read(number); // an empty value leaves the number alone
    EXPECT_EQ(number, 0x1122BEEF);
    std::string text;
    reader.Read(text); // cut to 255, reading goes on after the whole value
    EXPECT_EQ(text, std::string(255, 'q'));
    EXPECT_TRUE(reader.HasMoreValues());
    reader.Read(number);
    EXPECT_EQ(number, 7);
    EXPECT_FALSE(reader.HasMoreValues());
    EXPECT_EQ(EngineErrorCode([&] { reader.Read(number); }), KORVEL_UNCOMPRESS);

    writer.Begin();
    writer.AppendInt32(5);
    writer.Finish(false);
    MessageReader narrow(buffer.Data(), writer.Header().TotalSize);
    std::uint16_t small = 0;
    EXPECT_EQ(EngineErrorCode([&] { narrow.Read(small); }), KORVEL_UNCOMPRESS); // wider than its destination

    Bytes negative{14, 0, 0, 0, 0, 0, 4, 0, 0, 0, 0xff, 0xff, 0xff, 0xff};
    MessageReader bad(negative.data(), 14);
    EXPECT_EQ(EngineErrorCode([&] { bad.Read(text); }), KORVEL_UNCOMPRESS);
    Bytes overrun{16, 0, 0, 0, 0, 0, 6, 0, 0, 0, 3, 0, 0, 0, 'a', 'b'};
    MessageReader past(overrun.data(), 16);
    EXPECT_EQ(EngineErrorCode([&] { past.Read(text); }), KORVEL_UNCOMPRESS);
}

TEST(Message, LongStringsAreCutForTheClientAndRefusedForTheServer)
{
    MessageBuffer buffer;
    MessageWriter writer(buffer);
    writer.Begin();
    const std::string longName(300, 'n');
    writer.AppendValue(longName.data(), 300);
    writer.AppendValue(longName.data(), 255);
    writer.Finish(false);

    MessageReader client(buffer.Data(), writer.Header().TotalSize);
    std::string text;
    client.Read(text);
    EXPECT_EQ(text, std::string(255, 'n'));

    MessageReader server(buffer.Data(), writer.Header().TotalSize, MessageReader::Fit::Exact);
    text = "before";
    EXPECT_EQ(EngineErrorCode([&] { server.Read(text); }), KORVEL_UNCOMPRESS);
    EXPECT_EQ(text, "before");
    MessageReader exact(buffer.Data(), writer.Header().TotalSize, MessageReader::Fit::Exact);
    std::string skipped(300, '\0');
    exact.ReadValue(skipped.data(), 300);
    exact.Read(text);
    EXPECT_EQ(text, std::string(255, 'n')); // 255 bytes are allowed
}

TEST(Message, AStringListCountLargerThanTheRestIsShortBeforeAnythingIsRead)
{
    MessageBuffer buffer;
    MessageWriter writer(buffer);
    writer.Begin();
    writer.AppendInt32(3); // but only two strings follow: 10 bytes cannot hold three
    writer.AppendString("a");
    writer.AppendString("b");
    writer.Finish(false);
    MessageReader reader(buffer.Data(), writer.Header().TotalSize);
    StringList items{"kept"};
    EXPECT_EQ(EngineErrorCode([&] { reader.ReadStringList(items); }), KORVEL_UNCOMPRESS);
    EXPECT_EQ(items, StringList{"kept"});

    writer.Begin();
    writer.AppendInt32(0x7fffffff); // a count that would allocate gigabytes of empty strings
    writer.AppendValue(nullptr, 0);
    writer.Finish(false);
    MessageReader huge(buffer.Data(), writer.Header().TotalSize);
    EXPECT_EQ(EngineErrorCode([&] { huge.ReadStringList(items); }), KORVEL_UNCOMPRESS);
    EXPECT_EQ(items, StringList{"kept"});
}

TEST(Message, AValueThatCannotBeWrittenIsAnEngineError)
{
    MessageBuffer buffer;
    MessageWriter writer(buffer);
    writer.Begin();
    const char byte = 'x';
    EXPECT_EQ(EngineErrorCode([&] { writer.AppendValue(&byte, -1); }), KORVEL_COMPRESS);
    // A message past 2 GiB is refused before a byte is copied.
    EXPECT_EQ(EngineErrorCode([&] { writer.AppendValue(&byte, 0x7fffffff - 2); }), KORVEL_COMPRESS);
    EXPECT_EQ(EngineErrorCode([&] { writer.AppendText(std::string_view(&byte, std::size_t{0x80000000})); }),
              KORVEL_COMPRESS);
    // The writer still works and the failed values left nothing behind.
    writer.AppendInt32(7);
    writer.Finish(false);
    EXPECT_EQ(writer.Header().TotalSize, HeaderSize + 8);
}

TEST(Message, ListsTextBlocksAndLines)
{
    MessageBuffer buffer;
    MessageWriter writer(buffer);
    writer.Begin();
    writer.AppendStringList({"10.0.0.1", "", "host"});
    writer.AppendInt32(3);
    writer.AppendString("abcdef"); // longer than its announced size
    writer.AppendInt32(10);
    writer.AppendValue("ab\0cd", 5);
    writer.AppendInt32(-1);
    writer.Finish(false);
    MessageReader reader(buffer.Data(), writer.Header().TotalSize);

    StringList items{"kept"};
    reader.ReadStringList(items);
    EXPECT_EQ(items, (StringList{"kept", "10.0.0.1", "", "host"}));
    EXPECT_EQ(reader.ReadText(), "abc");
    EXPECT_EQ(reader.ReadText(), "ab");
    StringList none;
    reader.ReadStringList(none); // a negative count reads nothing more
    EXPECT_TRUE(none.empty());

    StringList lines{"old"};
    SplitLines("one\r\ntwo\nthree\rfour", lines);
    EXPECT_EQ(lines, (StringList{"one", "two", "three", "four"}));
    SplitLines(std::string_view("a\n\nb\n\0hidden", 13), lines);
    EXPECT_EQ(lines, (StringList{"a", "", "b"}));
    SplitLines("x\r\r\ny\n", lines); // a lone CR before a CR LF is a line of its own
    EXPECT_EQ(lines, (StringList{"x", "", "y"}));
    SplitLines("", lines);
    EXPECT_TRUE(lines.empty());
}

} // namespace
} // namespace korvel
