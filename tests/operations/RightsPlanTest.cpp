// A rights plan checked against what another administrator did meanwhile: which pairs are kept, which are
// conflicts, which need nothing any more, and what an overwrite sends for each; and the conflict list's cap.
#include "operations/RightsMatrix.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>

namespace korvel::operations
{
namespace
{

const PairRights None;
const PairRights Read = TUserRights{urRead};
const PairRights ReadInsert = TUserRights{urRead, urInsert};
const PairRights ReadDelete = TUserRights{urRead, urDelete};

// "user: before -> after" for each change in the order it is sent; before decides the request (no value: an
// addition; no value after: a removal).
std::vector<std::string> Changes(const RightsPlan& plan)
{
    std::vector<std::string> lines;
    for (const PairChange& change : plan.Changes())
        lines.push_back(change.User + ": " + RightsLetters(change.Before) + " -> " +
                        RightsLetters(change.After));
    return lines;
}

TEST(RightsPlan, AnOverwriteSendsWhatFitsEachPairAsTheServerHoldsItNow)
{
    RightsPlan plan;
    plan.Put({"kept", "db", Read, ReadInsert});    // untouched meanwhile
    plan.Put({"added", "db", None, ReadInsert});   // another administrator added it as R
    plan.Put({"removed", "db", Read, ReadInsert}); // ... removed it
    plan.Put({"gone", "db", Read, None});          // ... removed it, as wanted here
    plan.Put({"same", "db", None, ReadInsert});    // ... added it exactly as wanted here
    plan.Put({"changed", "db", Read, None});       // ... changed it to RD
    const std::map<std::string, PairRights> now{{"kept", Read},       {"added", Read},
                                                {"removed", None},    {"gone", None},
                                                {"same", ReadInsert}, {"changed", ReadDelete}};

    const CheckedPlan checked =
        CheckPlan(plan, [&](const PairChange& change) { return now.at(change.User); });

    EXPECT_EQ(Changes(checked.Kept), std::vector<std::string>{"kept: R -> RI"});
    EXPECT_EQ(ConflictList(checked.Conflicts), "'added' on 'db': read as -, now R\n"
                                               "'changed' on 'db': read as R, now RD\n"
                                               "'removed' on 'db': read as R, now -\n")
        << "a pair already as wanted is no conflict";
    EXPECT_EQ(Changes(Overwriting(checked)), (std::vector<std::string>{"added: R -> RI", "changed: RD -> -",
                                                                       "kept: R -> RI", "removed: - -> RI"}));
}

TEST(RightsPlan, TheConflictListEndsInHowManyMoreBeyondTwenty)
{
    auto conflicts = [](int count)
    {
        std::vector<Conflict> list;
        for (int i = 0; i < count; ++i)
            list.push_back({{"u" + std::to_string(i), "db", Read, None}, ReadInsert});
        return list;
    };
    const std::string twenty = ConflictList(conflicts(20));
    EXPECT_EQ(std::count(twenty.begin(), twenty.end(), '\n'), 20);
    EXPECT_TRUE(twenty.ends_with("'u19' on 'db': read as R, now RI\n")) << twenty;

    const std::string many = ConflictList(conflicts(879));
    EXPECT_EQ(std::count(many.begin(), many.end(), '\n'), 21);
    EXPECT_TRUE(many.ends_with("'u19' on 'db': read as R, now RI\nand 859 more\n")) << many;
}

} // namespace
} // namespace korvel::operations
