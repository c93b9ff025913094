// The address lists' rules on the shared table, and the warnings built from them.
#include "addresses/AddressRules.h"
#include "addresses/AddressChecks.h"
#include "testing/AddressPatternTable.h"

#include <gtest/gtest.h>

namespace korvel::addresses
{
namespace
{

TEST(AddressRules, TheTableMatchesAndRecognisesAsListed)
{
    for (const auto& row : test::AddressPatternTable())
    {
        EXPECT_EQ(AddressMatches(row.Pattern, row.Address), row.Matches)
            << row.Pattern << " / " << row.Address;
        EXPECT_EQ(RecognisedPattern(row.Pattern), row.Recognised) << row.Pattern;
        ServerConfig config;
        config.AuthorizedAddresses = {row.Pattern};
        EXPECT_EQ(AddressBlocked(config, row.Address), !row.Matches) << row.Pattern << " / " << row.Address;
    }
}

TEST(AddressRules, ListsIgnoreBlanksAndBlockedWins)
{
    ServerConfig config;
    EXPECT_FALSE(AddressBlocked(config, "1.2.3.4"));
    config.AuthorizedAddresses = {"", "  "};
    EXPECT_FALSE(AddressBlocked(config, "1.2.3.4")) << "blank entries are ignored";
    config.AuthorizedAddresses.push_back("1.2.*");
    EXPECT_FALSE(AddressBlocked(config, "1.2.3.4"));
    EXPECT_TRUE(AddressBlocked(config, "5.6.7.8"));
    config.BlockedAddresses = {"1.2.3.*"};
    EXPECT_TRUE(AddressBlocked(config, "1.2.3.4")) << "blocked wins over authorized";
    EXPECT_FALSE(AddressBlocked(config, "1.2.4.4"));
}

TEST(AddressChecks, BadEntriesCountBlankLinesAndSkipThem)
{
    auto bad = BadEntries({"127.0.0.1", "", "hello world", "10.*", "10.0.0"});
    ASSERT_EQ(bad.size(), 2u);
    EXPECT_EQ(BadEntryWarning(bad[0]), "Line 3 \"hello world\" is not a recognised address pattern.");
    EXPECT_EQ(bad[1].Line, 5);
}

TEST(AddressChecks, LockoutWarningNamesEachAddressOnceAndAtMostTen)
{
    ServerConfig config;
    config.AuthorizedAddresses = {"127.0.0.1"};
    StringList sessions = {"127.0.0.1", "127.0.0.2", "127.0.0.2", "127.0.0.1"};
    auto refused = RefusedSessionAddresses(config, sessions);
    EXPECT_EQ(LockoutWarning(refused),
              "2 connected sessions from 127.0.0.2 would be refused at their next login.");
    config.AuthorizedAddresses.clear();
    EXPECT_TRUE(RefusedSessionAddresses(config, sessions).empty());
    config.DenyLogins = true;
    EXPECT_EQ(RefusedSessionAddresses(config, sessions).size(), 4u) << "deny refuses every address";

    StringList many;
    for (int i = 1; i <= 13; ++i)
        many.push_back("10.0.0." + std::to_string(i));
    EXPECT_EQ(LockoutWarning(many),
              "13 connected sessions from 10.0.0.1, 10.0.0.2, 10.0.0.3, 10.0.0.4, 10.0.0.5, "
              "10.0.0.6, 10.0.0.7, 10.0.0.8, 10.0.0.9, 10.0.0.10 and 3 more would be "
              "refused at their next login.");
    EXPECT_EQ(LockoutWarning({}), "");
}

TEST(AddressChecks, OnlyListChangesOrDenyingCanLockOut)
{
    ServerConfig current;
    current.DenyLogins = true;
    ServerConfig changed = current;
    changed.MaxConnections = 5;
    EXPECT_FALSE(MayLockOut(current, changed)) << "deny was already on";
    changed.BlockedAddresses = {"10.*"};
    EXPECT_TRUE(MayLockOut(current, changed));
    current.DenyLogins = false;
    changed = current;
    changed.DenyLogins = true;
    EXPECT_TRUE(MayLockOut(current, changed));
}

} // namespace
} // namespace korvel::addresses
