// How the Status page writes the server's numbers: up time in calendar-like units, memory in megabytes and
// session times in the locale's formats.
#pragma once

#include <QLocale>
#include <QString>

#include <cstdint>

namespace korvel::admin
{

// "1 Day, 2 Hours, 3 Minutes, 4 Seconds": months of 31 days, weeks, days, hours, minutes and seconds,
// starting at the first unit that is not zero; empty for 0 (and for negative input).
QString FormatUpTime(std::int64_t seconds);

// Six significant digits, written with two decimals and the locale's separator, then " Mb"; a value that
// rounds to a million or more comes out in exponent form.
QString FormatMemoryUsage(double megabytes, const QLocale& locale = QLocale());

// The locale's short date, a blank and its long time (without a time zone); only the date at midnight. The
// formats are looked up once, as a refresh writes two times for each of thousands of sessions.
class SessionTimeFormat
{
public:
    explicit SessionTimeFormat(const QLocale& locale = QLocale());
    QString operator()(double oleDate) const;

private:
    QLocale locale_;
    QString dateFormat_;
    QString timeFormat_;
};

} // namespace korvel::admin
