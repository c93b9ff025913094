#include "engine/LogText.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace korvel
{
namespace
{

LogText Make(const std::string& text)
{
    MessageBuffer buffer;
    buffer.Reserve(static_cast<std::int64_t>(text.size()) + 3);
    std::memcpy(buffer.Data() + 3, text.data(), text.size()); // the text need not start the block
    LogText log;
    log.Adopt(buffer, 3, text.size());
    return log;
}

std::vector<std::string> Lines(const LogText& log)
{
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < log.LineCount(); ++i)
        lines.emplace_back(log.Line(i));
    return lines;
}

TEST(LogTextTest, SplitsAtCrLfLfOrCrAndKeepsALastLineWithoutBreak)
{
    EXPECT_EQ(Lines(Make("a\r\nb\nc\rd")), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(Lines(Make("a\n\r\n\rb\r\r\n")), (std::vector<std::string>{"a", "", "", "b", ""}));
    EXPECT_EQ(Make("").LineCount(), 0u);
    const LogText one = Make("only\r\n");
    EXPECT_EQ(one.LineCount(), 1u);
    EXPECT_EQ(one.LineStart(1), 6u);
}

TEST(LogTextTest, FindsTheNewLinesOfAGrownLogAndTakesThemWithoutCopying)
{
    LogText held = Make("one\ntwo\n");
    LogText grown = Make("one\ntwo\nthree\nfour\n");
    const char* grownBytes = grown.Text().data();
    const auto first = FindNewLines(held, grown);
    ASSERT_EQ(first, 2u);
    held = held.Appended(grown, *first);
    EXPECT_EQ(Lines(held), (std::vector<std::string>{"one", "two", "three", "four"}));
    EXPECT_EQ(held.Text().data(), grownBytes) << "the grown block was taken over";

    LogText same = Make("one\ntwo\nthree\nfour\n");
    EXPECT_EQ(FindNewLines(held, same), 4u) << "nothing new";
}

TEST(LogTextTest, AppendsCopiesWhenTheFrontWasCutAndReportsALostTail)
{
    std::string big;
    for (int i = 0; i < 20000; ++i)
        big += "line " + std::to_string(i) + "\n"; // more than the 64 KiB searched for
    LogText held = Make(big);
    // The server dropped the first 100 lines and wrote two more.
    const std::size_t cut = held.LineStart(100);
    LogText latest = Make(big.substr(cut) + "new A\nnew B\n");
    const auto first = FindNewLines(held, latest);
    ASSERT_EQ(first, 19900u);
    held = held.Appended(latest, *first);
    ASSERT_EQ(held.LineCount(), 20002u);
    EXPECT_EQ(held.Line(0), "line 0");
    EXPECT_EQ(held.Line(20000), "new A");
    EXPECT_EQ(held.Line(20001), "new B");

    LogText restarted = Make("a fresh log\n");
    EXPECT_FALSE(FindNewLines(held, restarted).has_value());
    EXPECT_EQ(FindNewLines(LogText(), restarted), 0u) << "an empty held log takes everything";
}

TEST(LogTextTest, NewLinesAfterARunOfIdenticalLinesLongerThanTheSearchAreFound)
{
    std::string repeated;
    while (repeated.size() < 2 * LogOverlapBytes)
        repeated += "same line\n";
    LogText held = Make("start\n" + repeated);
    // More of the same, then something else: the held end is found where it is, not at the last copy.
    LogText latest = Make("start\n" + repeated + "same line\nsame line\nnew\n");
    const auto first = FindNewLines(held, latest);
    ASSERT_EQ(first, held.LineCount());
    EXPECT_EQ(latest.LineCount() - *first, 3u);
    EXPECT_EQ(latest.Line(latest.LineCount() - 1), "new");
}

TEST(LogTextTest, AZeroByteHidesNothingAndIsFoundByLine)
{
    const LogText log = Make(std::string("a\nb\0c\nd\n", 8));
    EXPECT_EQ(Lines(log), (std::vector<std::string>{"a", std::string("b\0c", 3), "d"}));
    EXPECT_EQ(log.ZeroByteLine(), 1u);
    EXPECT_EQ(log.ZeroByteLine(1), 1u);
    EXPECT_FALSE(log.ZeroByteLine(2).has_value()) << "none from the line after it on";
}

} // namespace
} // namespace korvel
