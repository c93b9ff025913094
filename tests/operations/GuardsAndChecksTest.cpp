// The account guards and the configuration checks on plain values: which change of which account is refused
// or asked about, and what a save of address lists warns of.
#include "operations/AccountGuards.h"
#include "operations/ConfigChecks.h"

#include <gtest/gtest.h>

namespace korvel::operations
{
namespace
{

TEST(AccountGuards, TheLastAdministratorIsRefusedAndTheOwnAccountAsked)
{
    using enum AccountRisk;
    using enum AccountChange;
    struct Row
    {
        AccountFacts facts;
        AccountChange change;
        AccountRisk expected;
    };
    // administrator, another administrator, own account
    const Row rows[] = {
        {{true, false, false}, Delete, LastAdministrator},
        {{true, false, false}, Demote, LastAdministrator},
        {{true, false, true}, Delete, LastAdministrator}, // refused even when it is one's own
        {{true, false, true}, Demote, LastAdministrator},
        {{true, true, true}, Delete, OwnAccount},
        {{true, true, true}, Demote, OwnAccount},
        {{true, true, false}, Delete, None},
        {{true, true, false}, Demote, None},
        {{false, false, true}, Delete, OwnAccount}, // deleting oneself logs out
        {{false, false, true}, Demote, None},       // nothing to take away
    };
    for (const Row& row : rows)
        EXPECT_EQ(AccountRiskOf(row.facts, row.change), row.expected)
            << row.facts.Administrator << row.facts.AnotherAdministrator << row.facts.Own
            << (row.change == Delete ? " delete" : " demote");
}

TEST(ConfigChecks, BadEntriesOfAChangedListAndConnectedSessionsTheNewListsRefuse)
{
    ServerConfig current;
    ServerConfig changed = current;
    changed.BlockedAddresses = {"10.0.0.*", "not an address"};
    // A dead session has no address: it is no connected session to refuse.
    const StringList warnings = ConfigWarnings(current, changed, {"", "10.0.0.5", "192.168.1.2"});
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_NE(warnings[0].find("not an address"), std::string::npos) << warnings[0];
    EXPECT_EQ(warnings[1], "1 connected session from 10.0.0.5 would be refused at their next login.");

    EXPECT_TRUE(ConfigWarnings(changed, changed, {"10.0.0.5"}).empty())
        << "unchanged lists were accepted before";
}

} // namespace
} // namespace korvel::operations
