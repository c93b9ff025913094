// The text forms of the CLI on values alone.
#include "cli/Conversions.h"
#include "cli/Output.h"
#include "cli/UsageError.h"
#include "engine/wire/OleDate.h"

#include <gtest/gtest.h>

namespace korvel::cli
{
namespace
{

TEST(CliConversions, DatesAreRoundedToTheNearestSecondWithEveryFieldCarried)
{
    DateTimeParts parts{2024, 12, 31, 23, 59, 59, 600};
    EXPECT_EQ(FormatOleDate(EncodeOleDate(parts)), "2025-01-01T00:00:00");
    parts.Millisecond = 400;
    EXPECT_EQ(FormatOleDate(EncodeOleDate(parts)), "2024-12-31T23:59:59");
    EXPECT_EQ(FormatOleDate(EncodeOleDate({2024, 2, 29, 12, 30, 5, 0})), "2024-02-29T12:30:05");
    EXPECT_EQ(FormatOleDate(0.0), "1899-12-30T00:00:00");
    EXPECT_EQ(FormatOleDate(-1.25), "1899-12-29T06:00:00");
}

TEST(CliConversions, RightsListsNumbersAndFlagsAreParsedStrictly)
{
    EXPECT_EQ(ParseRights("read,update"), (TUserRights{urRead, urUpdate}));
    EXPECT_EQ(ParseRights("ALL").ToByte(), 0x7F);
    EXPECT_TRUE(ParseRights("none").Empty());
    EXPECT_THROW(ParseRights("read,,update"), UsageError);
    EXPECT_THROW(ParseRights("reading"), UsageError);
    EXPECT_THROW(ParseRights(""), UsageError);
    EXPECT_EQ(RightNames(TUserRights::FromByte(0x41)), (StringList{"read", "drop"}));

    EXPECT_EQ(ParseUInt16("65535", "x"), 65535);
    EXPECT_EQ(ParseUInt16("0", "x"), 0);
    for (const char* bad : {"65536", "-1", "", " 1", "1x", "+1"})
        EXPECT_THROW(ParseUInt16(bad, "x"), UsageError) << bad;
    EXPECT_TRUE(ParseFlag("Yes", "x"));
    EXPECT_FALSE(ParseFlag("0", "x"));
    EXPECT_THROW(ParseFlag("maybe", "x"), UsageError);
}

TEST(CliConversions, ListItemsAreTrimmedAlikeAndAnEmptyAddressIsRefused)
{
    EXPECT_EQ(SplitList(""), StringList{});
    EXPECT_EQ(SplitList("  "), StringList{});
    EXPECT_EQ(SplitList("a,,b"), (StringList{"a", "", "b"}));
    EXPECT_EQ(SplitList(" a ,\tb"), (StringList{"a", "b"}));
    EXPECT_EQ(ParseRights(" Read, update "), (TUserRights{urRead, urUpdate}));
    EXPECT_TRUE(ParseRights(" none ").Empty());
}

TEST(CliConversions, TextOutputIsLinesOrATableOfShownNamesAndJsonKeepsBytes)
{
    Json rows = Json::array({Json{{"id", 1}, {"user", "bob"}}, Json{{"id", 22}, {"user", "al"}}});
    EXPECT_EQ(ToReadableText(rows), "id  user\n1   bob\n22  al\n");
    EXPECT_EQ(ToReadableText(Json{{"a", Json::array({"x", "y"})}, {"b", true}}), "a: x,y\nb: true\n");
    EXPECT_EQ(ToReadableText(Json::array({"one", "two"})), "one\ntwo\n");
    EXPECT_EQ(ToReadableText(Json::object()), "");
    EXPECT_EQ(ToReadableText(Json::array({"a\nb", "c\\d"})), "a\\x0Ab\nc\\\\d\n");
    EXPECT_EQ(ToJsonText(Json{{"b", "\xff"}, {"a", 1}}), "{\"b\":\"\\udcff\",\"a\":1}");
}

} // namespace
} // namespace korvel::cli
