// The server's parts on their own: address patterns, message assembly from pieces, the login throttle's
// delays.
#include "engine/wire/Message.h"
#include "server/FrameAssembler.h"
#include "server/LoginThrottle.h"
#include "server/ServerLog.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>

namespace korvel::server
{
namespace
{

// Feeds `bytes` to the assembler in pieces of at most `piece` bytes; returns the statuses seen and collects
// the complete messages.
std::vector<FrameAssembler::Status> Feed(FrameAssembler& assembler, const std::vector<std::uint8_t>& bytes,
                                         std::size_t piece, std::int32_t limit,
                                         std::vector<std::vector<std::uint8_t>>* messages = nullptr)
{
    std::vector<FrameAssembler::Status> seen;
    std::size_t at = 0;
    while (at < bytes.size())
    {
        auto space = assembler.Space();
        std::size_t n = std::min({piece, space.size(), bytes.size() - at});
        std::memcpy(space.data(), bytes.data() + at, n);
        at += n;
        seen.push_back(assembler.Received(n, limit));
        if (seen.back() == FrameAssembler::Status::Complete)
        {
            if (messages)
                messages->push_back(assembler.Message());
            assembler.Reset();
        }
        if (seen.back() == FrameAssembler::Status::Invalid)
            break;
    }
    return seen;
}

std::vector<std::uint8_t> Message(std::int32_t payloadSize, std::uint16_t code)
{
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(HeaderSize + payloadSize));
    for (std::size_t i = HeaderSize; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i);
    EncodeHeader({HeaderSize + payloadSize, code, payloadSize}, bytes.data());
    return bytes;
}

TEST(FrameAssembler, AssemblesMessagesFromAnyPieces)
{
    using Status = FrameAssembler::Status;
    auto small = Message(5, 7);
    auto large = Message(200000, 8); // beyond the first buffer step
    std::vector<std::uint8_t> stream = small;
    stream.insert(stream.end(), large.begin(), large.end());
    for (std::size_t piece : {std::size_t{1}, std::size_t{3}, std::size_t{10}, std::size_t{65536}})
    {
        SCOPED_TRACE(piece);
        FrameAssembler assembler;
        std::vector<std::vector<std::uint8_t>> messages;
        auto seen = Feed(assembler, stream, piece, 1 << 20, &messages);
        EXPECT_EQ(std::count(seen.begin(), seen.end(), Status::Invalid), 0);
        ASSERT_EQ(messages.size(), 2u);
        EXPECT_EQ(messages[0], small);
        EXPECT_EQ(messages[1], large);
        EXPECT_TRUE(assembler.Empty());
    }
}

TEST(FrameAssembler, FeedStopsAtTheEndOfAMessage)
{
    auto first = Message(3, 1);
    auto second = Message(4, 2);
    std::vector<std::uint8_t> both = first;
    both.insert(both.end(), second.begin(), second.end());
    FrameAssembler assembler;
    std::size_t used = 0;
    EXPECT_EQ(assembler.Feed(both.data(), both.size(), 1024, used), FrameAssembler::Status::Complete);
    EXPECT_EQ(used, first.size());
    EXPECT_EQ(assembler.Message(), first);
    assembler.Reset();
    EXPECT_EQ(assembler.Feed(both.data() + used, 5, 1024, used), FrameAssembler::Status::NeedMore);
    EXPECT_EQ(used, 5u);
}

TEST(FrameAssembler, RejectsSizesOutsideTheLimit)
{
    using Status = FrameAssembler::Status;
    for (std::int32_t total : {0, 9, -5, 1025})
    {
        FrameAssembler assembler;
        std::vector<std::uint8_t> header(HeaderSize);
        EncodeHeader({total, 1, 0}, header.data());
        EXPECT_EQ(Feed(assembler, header, 4, 1024).back(), Status::Invalid) << total;
    }
    FrameAssembler assembler;
    EXPECT_EQ(Feed(assembler, Message(1014, 1), 4096, 1024).back(), Status::Complete);
    // A header claiming a large message holds only what has arrived.
    FrameAssembler liar;
    std::vector<std::uint8_t> header(HeaderSize);
    EncodeHeader({64 << 20, 1, 0}, header.data());
    EXPECT_EQ(Feed(liar, header, HeaderSize, 64 << 20).back(), Status::NeedMore);
    EXPECT_LE(liar.Space().size(), 64u * 1024);
}

TEST(LoginThrottle, DelaysDoubleAfterThreeFailuresUpToThirtySeconds)
{
    LoginThrottle throttle;
    auto now = Clock::now();
    std::vector<long> delays;
    for (int attempt = 0; attempt < 10; ++attempt)
    {
        delays.push_back(static_cast<long>(throttle.DelayFor("bob", "10.0.0.1").count()));
        throttle.Failed("bob", "10.0.0.1", now);
    }
    EXPECT_EQ(delays, (std::vector<long>{0, 0, 0, 1000, 2000, 4000, 8000, 16000, 30000, 30000}));
    // Per user name and address.
    EXPECT_EQ(throttle.DelayFor("bob", "10.0.0.2").count(), 0);
    EXPECT_EQ(throttle.DelayFor("alice", "10.0.0.1").count(), 0);
    throttle.Prune(now + std::chrono::minutes{5});
    EXPECT_EQ(throttle.DelayFor("bob", "10.0.0.1").count(), 30000);
    throttle.Succeeded("bob", "10.0.0.1");
    EXPECT_EQ(throttle.DelayFor("bob", "10.0.0.1").count(), 0);
    throttle.Failed("carol", "10.0.0.1", now);
    throttle.Failed("carol", "10.0.0.1", now);
    throttle.Failed("carol", "10.0.0.1", now);
    throttle.Prune(now + std::chrono::hours{2});
    EXPECT_EQ(throttle.DelayFor("carol", "10.0.0.1").count(), 0) << "old counts are forgotten";
}

TEST(LoginThrottle, ASuccessEndsTheRunOfFailedReconnectsButNotTheHourlyBudget)
{
    LoginThrottle throttle;
    const auto start = Clock::now();
    for (int i = 0; i < 5; ++i)
        throttle.ReconnectFailed("10.0.0.1", start);
    throttle.Failed("bob", "10.0.0.1", start);
    EXPECT_EQ(throttle.ReconnectDelayFor("10.0.0.1").count(), 4000);
    EXPECT_EQ(throttle.ReconnectDelayFor("10.0.0.2").count(), 0);
    throttle.AddressSucceeded("10.0.0.1");
    EXPECT_EQ(throttle.ReconnectDelayFor("10.0.0.1").count(), 0);
    EXPECT_EQ(throttle.DelayFor("bob", "10.0.0.1").count(), 0); // bob's one failure stays counted
    throttle.Failed("bob", "10.0.0.1", start);
    throttle.Failed("bob", "10.0.0.1", start);
    EXPECT_EQ(throttle.DelayFor("bob", "10.0.0.1").count(), 1000);

    // Failures mixed with successes still spend the budget: 100 within the hour stop the address.
    for (int i = 5; i < 100; ++i)
    {
        EXPECT_FALSE(throttle.ReconnectBudgetSpent("10.0.0.1", start + std::chrono::seconds{i}));
        throttle.ReconnectFailed("10.0.0.1", start + std::chrono::seconds{i});
        throttle.AddressSucceeded("10.0.0.1");
    }
    EXPECT_TRUE(throttle.ReconnectBudgetSpent("10.0.0.1", start + std::chrono::minutes{59}));
    EXPECT_FALSE(throttle.ReconnectBudgetSpent("10.0.0.2", start + std::chrono::minutes{59}));
    throttle.Prune(start + std::chrono::minutes{59});
    EXPECT_TRUE(throttle.ReconnectBudgetSpent("10.0.0.1", start + std::chrono::minutes{59}));
    EXPECT_FALSE(throttle.ReconnectBudgetSpent("10.0.0.1", start + std::chrono::hours{1}));

    // The next hour starts a new budget.
    const auto later = start + std::chrono::hours{1};
    for (int i = 0; i < 99; ++i)
        throttle.ReconnectFailed("10.0.0.1", later);
    EXPECT_FALSE(throttle.ReconnectBudgetSpent("10.0.0.1", later));
    throttle.ReconnectFailed("10.0.0.1", later);
    EXPECT_TRUE(throttle.ReconnectBudgetSpent("10.0.0.1", later));
}

TEST(LoginThrottle, AFloodOfGuessedNamesForgetsTheOldestCountsOnly)
{
    LoginThrottle throttle(8);
    auto now = Clock::now();
    for (int i = 0; i < 3; ++i)
        throttle.Failed("bob", "10.0.0.1", now);
    EXPECT_EQ(throttle.DelayFor("bob", "10.0.0.1").count(), 1000);
    for (int name = 0; name < 20; ++name)
        for (int i = 0; i < 3; ++i)
            throttle.Failed("guess" + std::to_string(name), "10.0.0.9", now + std::chrono::seconds{name + 1});
    EXPECT_EQ(throttle.DelayFor("bob", "10.0.0.1").count(), 0) << "the oldest count went first";
    EXPECT_EQ(throttle.DelayFor("guess19", "10.0.0.9").count(), 1000) << "the newest is kept";
    EXPECT_EQ(throttle.DelayFor("guess18", "10.0.0.9").count(), 1000);
}

TEST(ServerLog, ControlCharactersFromClientsCannotForgeOrHideLines)
{
    ServerLog log("");
    log.Write(std::string("Failed login of user 'a\nb\r") + '\0' + "c\x1b'");
    log.Write("Main service started");
    const std::string tail = log.Tail(1 << 20);
    EXPECT_EQ(std::count(tail.begin(), tail.end(), '\n'), 2);
    EXPECT_EQ(tail.find('\0'), std::string::npos);
    EXPECT_EQ(tail.find('\r'), std::string::npos);
    EXPECT_NE(tail.find("Failed login of user 'a b  c '\n"), std::string::npos);
    EXPECT_NE(tail.find("Main service started\n"), std::string::npos);
}

} // namespace
} // namespace korvel::server
