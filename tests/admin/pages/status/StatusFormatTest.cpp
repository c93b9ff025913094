#include "admin/pages/status/StatusFormat.h"
#include "engine/wire/OleDate.h"

#include <QDate>

#include <gtest/gtest.h>

namespace korvel::admin
{
namespace
{

TEST(StatusFormat, UpTimeStartsAtTheFirstUnitAndKeepsTheZerosAfterIt)
{
    EXPECT_EQ(FormatUpTime(0), "");
    EXPECT_EQ(FormatUpTime(59), "59 Seconds");
    EXPECT_EQ(FormatUpTime(60), "1 Minute, 0 Seconds");
    EXPECT_EQ(FormatUpTime(3600), "1 Hour, 0 Minutes, 0 Seconds");
    EXPECT_EQ(FormatUpTime(86400 + 2 * 3600 + 3 * 60 + 4), "1 Day, 2 Hours, 3 Minutes, 4 Seconds");
    EXPECT_EQ(FormatUpTime(2678400 + 7), "1 Month, 0 Weeks, 0 Days, 0 Hours, 0 Minutes, 7 Seconds");
    EXPECT_EQ(FormatUpTime(2 * 604800 + 1), "2 Weeks, 0 Days, 0 Hours, 0 Minutes, 1 Second");
    EXPECT_EQ(FormatUpTime(0x7FFFFFFF), "801 Months, 3 Weeks, 3 Days, 3 Hours, 14 Minutes, 7 Seconds");
}

TEST(StatusFormat, MemoryHasSixSignificantDigitsTwoDecimalsAndTheLocaleSeparator)
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    EXPECT_EQ(FormatMemoryUsage(0, english), "0.00 Mb");
    EXPECT_EQ(FormatMemoryUsage(12.3456, english), "12.35 Mb");
    EXPECT_EQ(FormatMemoryUsage(12345.678, english), "12345.70 Mb"); // six digits, then two decimals
    EXPECT_EQ(FormatMemoryUsage(999999.4, english), "999999.00 Mb");
    EXPECT_EQ(FormatMemoryUsage(0.004, english), "0.00 Mb");
    EXPECT_EQ(FormatMemoryUsage(12.5, QLocale(QLocale::German, QLocale::Germany)), "12,50 Mb");
}

TEST(StatusFormat, MemoryFromAMillionOnIsWrittenInExponentFormAfterRounding)
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    EXPECT_EQ(FormatMemoryUsage(2.5e6, english), "2.50000E+06 Mb");
    EXPECT_EQ(FormatMemoryUsage(1e6, english), "1.00000E+06 Mb");
    // Six significant digits make these a million: they take the same form as a million.
    EXPECT_EQ(FormatMemoryUsage(999999.7, english), "1.00000E+06 Mb");
    EXPECT_EQ(FormatMemoryUsage(-999999.9, english), "-1.00000E+06 Mb");
    EXPECT_EQ(FormatMemoryUsage(999999.7, QLocale(QLocale::German, QLocale::Germany)), "1,00000E+06 Mb");
}

TEST(StatusFormat, SessionTimeLeavesOutMidnight)
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const SessionTimeFormat format(english);
    EXPECT_EQ(format(EncodeOleDate({2024, 3, 5, 0, 0, 0, 0})),
              english.toString(QDate(2024, 3, 5), QLocale::ShortFormat));
    const QString withTime = format(EncodeOleDate({2024, 3, 5, 13, 4, 5, 0}));
    EXPECT_TRUE(withTime.startsWith(english.toString(QDate(2024, 3, 5), QLocale::ShortFormat) + " "));
    EXPECT_TRUE(withTime.contains("1:04:05")) << withTime.toStdString();
    EXPECT_FALSE(withTime.contains("UTC")) << withTime.toStdString();
}

} // namespace
} // namespace korvel::admin
