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
    for (AccountChange change : {AccountChange::Delete, AccountChange::Demote})
    {
        EXPECT_EQ(AccountRiskOf(true, false, false, change), LastAdministrator);
        EXPECT_EQ(AccountRiskOf(true, false, true, change), LastAdministrator)
            << "refused even when it is one's own";
        EXPECT_EQ(AccountRiskOf(true, true, true, change), OwnAccount);
        EXPECT_EQ(AccountRiskOf(true, true, false, change), None);
    }
    EXPECT_EQ(AccountRiskOf(false, false, true, AccountChange::Delete), OwnAccount)
        << "deleting oneself logs out";
    EXPECT_EQ(AccountRiskOf(false, false, true, AccountChange::Demote), None) << "nothing to take away";
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
