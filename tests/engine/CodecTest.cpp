#include "CaptureError.h"

#include "engine/wire/ErrorCodes.h"
#include "engine/wire/OleDate.h"
#include "engine/wire/RequestCodes.h"
#include "engine/wire/Utf8.h"
#include "engine/wire/Zlib.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace korvel
{
namespace
{

using test::EngineErrorCode;
using Bytes = std::vector<std::uint8_t>;

TEST(Zlib, RoundTripsAndRefusesBrokenStreams)
{
    Bytes text;
    for (int i = 0; i < 200000; ++i)
        text.push_back(static_cast<std::uint8_t>("log line\n"[i % 9] + (i / 9 % 7)));
    Bytes stream;
    CompressPayload(text.data(), text.size(), stream);
    EXPECT_EQ(stream[0], 0x78); // zlib wrapper
    EXPECT_EQ(stream[1], 0xDA); // level 9
    Bytes plain;
    DecompressPayload(stream.data(), stream.size(), plain, text.size());
    EXPECT_EQ(plain, text);

    EXPECT_EQ(EngineErrorCode([&] { DecompressPayload(stream.data(), stream.size() - 5, plain, 1 << 20); }),
              KORVEL_UNCOMPRESS); // truncated
    EXPECT_EQ(
        EngineErrorCode([&] { DecompressPayload(stream.data(), stream.size(), plain, text.size() - 1); }),
        KORVEL_UNCOMPRESS); // past the limit
    const Bytes presetDictionary{0x78, 0xBB, 0x00, 0x00, 0x00, 0x01, 0x03, 0x00};
    EXPECT_EQ(EngineErrorCode(
                  [&] { DecompressPayload(presetDictionary.data(), presetDictionary.size(), plain, 100); }),
              KORVEL_UNCOMPRESS);

    CompressPayload(nullptr, 0, stream);
    DecompressPayload(stream.data(), stream.size(), plain, 100);
    EXPECT_TRUE(plain.empty());
}

TEST(Zlib, InflatesIntoACallersBlockWithinTheLimitWhateverTheBlocksSize)
{
    Bytes text(300000);
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<std::uint8_t>(i * 7 % 251);
    Bytes stream;
    CompressPayload(text.data(), text.size(), stream);

    // A block that starts small and is then handed out larger than asked.
    Bytes block(16);
    std::vector<std::size_t> asked;
    const GrowOutput grow = [&](std::size_t wanted)
    {
        asked.push_back(wanted);
        if (block.size() < wanted)
            block.resize(wanted + 100000);
        return std::span<std::uint8_t>(block);
    };
    const std::size_t produced = DecompressPayload(stream.data(), stream.size(), grow, text.size());
    ASSERT_EQ(produced, text.size());
    EXPECT_TRUE(std::equal(text.begin(), text.end(), block.begin()));
    EXPECT_GE(asked.size(), 1u);

    // The limit holds even when the block has room beyond it.
    EXPECT_EQ(
        EngineErrorCode([&] { DecompressPayload(stream.data(), stream.size(), grow, text.size() - 1); }),
        KORVEL_UNCOMPRESS);
}

TEST(Utf8, CutsOnCharacterBoundaries)
{
    EXPECT_EQ(CutUtf8("short"), "short");
    const std::string twoByte = std::string(254, 'a') + "\xC3\xA9";
    EXPECT_EQ(CutUtf8(twoByte), std::string(254, 'a'));
    const std::string fourByte = "ab\xF0\x9F\x98\x80";
    EXPECT_EQ(CutUtf8(fourByte, 5), "ab");
    EXPECT_EQ(CutUtf8(fourByte, 6), fourByte);
    // Bytes that are not UTF-8 are cut where the limit falls rather than dropped.
    const std::string latin1(300, '\xA9');
    EXPECT_EQ(CutUtf8(latin1).size(), 255u);
}

// Printable ASCII shows as it is without a look at each character: every byte on either side of that range,
// and the backslash inside it, must still be escaped.
TEST(Utf8, ShownNamesEscapeWhatCouldMisleadAtEitherEdgeOfPlainAscii)
{
    const struct
    {
        std::string Name;
        std::string Shown;
    } rows[] = {
        {"", ""},
        {" bob~", " bob~"},
        {"a\\b", "a\\\\b"},
        {std::string("a\x1F", 2), "a\\x1F"},
        {"a\x7F", "a\\x7F"},
        {"a\xFE", "a\\xFE"},
        {"caf\xC3\xA9", "caf\xC3\xA9"},
        {"a\xE2\x80\xAE", "a\\u202E"},
        {std::string("a\0b", 3), "a\\x00b"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ShownName(row.Name), row.Shown) << row.Shown;
}

TEST(OleDate, ConvertsToTheNearestMillisecond)
{
    EXPECT_EQ(EncodeOleDate({2000, 1, 1, 0, 0, 0, 0}), 36526.0);
    EXPECT_EQ(EncodeOleDate({1899, 12, 30, 12, 0, 0, 0}), 0.5);
    EXPECT_EQ(EncodeOleDate({1899, 12, 29, 6, 0, 0, 0}), -1.25);

    const DateTimeParts parts{2024, 2, 29, 23, 59, 59, 0};
    const DateTimeParts back = DecodeOleDate(std::nextafter(EncodeOleDate(parts), 0.0)); // a hair below
    EXPECT_EQ(back.Year, 2024);
    EXPECT_EQ(back.Month, 2);
    EXPECT_EQ(back.Day, 29);
    EXPECT_EQ(back.Hour, 23);
    EXPECT_EQ(back.Minute, 59);
    EXPECT_EQ(back.Second, 59);
    EXPECT_EQ(back.Millisecond, 0);

    const DateTimeParts before = DecodeOleDate(-1.25);
    EXPECT_EQ(before.Day, 29);
    EXPECT_EQ(before.Hour, 6);

    const DateTimeParts nan = DecodeOleDate(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(nan.Year, 1899);
    EXPECT_EQ(DecodeOleDate(1e300).Year, 1899);
}

TEST(RequestCodes, NamesForTraceLines)
{
    EXPECT_EQ(RequestCodeName(0), "REQUEST_RECONNECT");
    EXPECT_EQ(RequestCodeName(82), "REQUEST_CONNECTPARAMS");
    EXPECT_EQ(RequestCodeName(116), "REQUEST_EXPORTTABLE");
    EXPECT_EQ(RequestCodeName(118), "");
    EXPECT_EQ(RequestCodeName(120), "REQUEST_TEXTINDEXPARAMS");
    EXPECT_EQ(RequestCodeName(127), "REQUEST_GETSERVERNAME");
    EXPECT_EQ(RequestCodeName(138), "REQUEST_DELETERECORDBLOCK");
    EXPECT_EQ(RequestCodeName(139), "");
    EXPECT_EQ(RequestCodeName(65535), "");
}

} // namespace
} // namespace korvel
