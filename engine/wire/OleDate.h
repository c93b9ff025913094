// Date-times on the wire: OLE Automation dates, a double counting days since 30 December 1899 in local time,
// the fraction being the time of day.
#pragma once

#include <ctime>

namespace korvel
{

struct DateTimeParts
{
    int Year = 1899;
    int Month = 12;
    int Day = 30;
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    int Millisecond = 0;
};

double EncodeOleDate(const DateTimeParts& parts);

// Converts to the nearest millisecond: a whole second stored as a double often reads a hair below it.
DateTimeParts DecodeOleDate(double oleDate);

// The local wall-clock time of a time_t (localtime_r) as an OLE date.
double OleDateFromLocalTime(std::time_t when);

} // namespace korvel
