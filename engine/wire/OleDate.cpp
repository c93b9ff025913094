#include "engine/wire/OleDate.h"

#include <cmath>
#include <cstdint>

namespace korvel
{
namespace
{

constexpr std::int64_t MsPerDay = 86'400'000;
// 1 January 100 to 31 December 9999, the range OLE dates cover.
constexpr double MinOleDate = -657434.0;
constexpr double MaxOleDate = 2958466.0;

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's algorithm).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, DateTimeParts& parts)
{
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    parts.Day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    parts.Month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    parts.Year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (parts.Month <= 2));
}

const std::int64_t OleEpochDays = DaysFromCivil(1899, 12, 30);

} // namespace

double EncodeOleDate(const DateTimeParts& parts)
{
    const std::int64_t days =
        DaysFromCivil(parts.Year, static_cast<unsigned>(parts.Month), static_cast<unsigned>(parts.Day)) -
        OleEpochDays;
    const std::int64_t ms =
        ((std::int64_t{parts.Hour} * 60 + parts.Minute) * 60 + parts.Second) * 1000 + parts.Millisecond;
    const double fraction = static_cast<double>(ms) / MsPerDay;
    // Before the epoch the time of day still counts forward: -1.25 is 29 December 1899, 06:00.
    return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

DateTimeParts DecodeOleDate(double oleDate)
{
    DateTimeParts parts;
    if (!std::isfinite(oleDate) || oleDate < MinOleDate || oleDate > MaxOleDate)
        return parts; // no calendar date: the epoch
    const double wholeDays = std::trunc(oleDate);
    const std::int64_t timeMs = std::llround(std::fabs(oleDate - wholeDays) * MsPerDay);
    const std::int64_t totalMs = static_cast<std::int64_t>(wholeDays) * MsPerDay + timeMs;
    const std::int64_t days = (totalMs >= 0 ? totalMs : totalMs - (MsPerDay - 1)) / MsPerDay;
    std::int64_t msOfDay = totalMs - days * MsPerDay;
    CivilFromDays(days + OleEpochDays, parts);
    parts.Millisecond = static_cast<int>(msOfDay % 1000);
    msOfDay /= 1000;
    parts.Second = static_cast<int>(msOfDay % 60);
    msOfDay /= 60;
    parts.Minute = static_cast<int>(msOfDay % 60);
    parts.Hour = static_cast<int>(msOfDay / 60);
    return parts;
}

double OleDateFromLocalTime(std::time_t when)
{
    std::tm local{};
    localtime_r(&when, &local);
    return EncodeOleDate(DateTimeParts{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                                       local.tm_min, local.tm_sec, 0});
}

} // namespace korvel
