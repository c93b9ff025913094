#include "admin/pages/status/StatusFormat.h"

#include "engine/wire/OleDate.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QRegularExpression>

#include <array>
#include <cmath>

namespace korvel::admin
{

QString FormatUpTime(std::int64_t seconds)
{
    struct Unit
    {
        std::int64_t Seconds;
        const char* One;
        const char* Many;
    };
    static constexpr std::array<Unit, 6> units{
        {{2678400, QT_TRANSLATE_NOOP("StatusFormat", "%1 Month"),
          QT_TRANSLATE_NOOP("StatusFormat", "%1 Months")},
         {604800, QT_TRANSLATE_NOOP("StatusFormat", "%1 Week"),
          QT_TRANSLATE_NOOP("StatusFormat", "%1 Weeks")},
         {86400, QT_TRANSLATE_NOOP("StatusFormat", "%1 Day"), QT_TRANSLATE_NOOP("StatusFormat", "%1 Days")},
         {3600, QT_TRANSLATE_NOOP("StatusFormat", "%1 Hour"), QT_TRANSLATE_NOOP("StatusFormat", "%1 Hours")},
         {60, QT_TRANSLATE_NOOP("StatusFormat", "%1 Minute"),
          QT_TRANSLATE_NOOP("StatusFormat", "%1 Minutes")},
         {1, QT_TRANSLATE_NOOP("StatusFormat", "%1 Second"),
          QT_TRANSLATE_NOOP("StatusFormat", "%1 Seconds")}}};
    QStringList parts;
    std::int64_t rest = seconds < 0 ? 0 : seconds;
    for (const Unit& unit : units)
    {
        const std::int64_t count = rest / unit.Seconds;
        rest %= unit.Seconds;
        if (count == 0 && parts.isEmpty())
            continue;
        parts << QCoreApplication::translate("StatusFormat", count == 1 ? unit.One : unit.Many).arg(count);
    }
    return parts.join(QStringLiteral(", "));
}

QString FormatMemoryUsage(double megabytes, const QLocale& locale)
{
    QLocale plain = locale;
    plain.setNumberOptions(plain.numberOptions() | QLocale::OmitGroupSeparator);
    // Rounded first, so a value that rounds up to a million is written as one.
    const double rounded = QString::number(megabytes, 'g', 6).toDouble();
    const QString number =
        std::fabs(rounded) >= 1e6 ? plain.toString(rounded, 'E', 5) : plain.toString(rounded, 'f', 2);
    return QCoreApplication::translate("StatusFormat", "%1 Mb").arg(number);
}

SessionTimeFormat::SessionTimeFormat(const QLocale& locale)
    : locale_(locale), dateFormat_(locale.dateFormat(QLocale::ShortFormat)),
      timeFormat_(locale.timeFormat(QLocale::LongFormat))
{
    // The long time format may name a time zone; a wire time has none.
    timeFormat_.remove(QRegularExpression(QStringLiteral("\\s*t+\\s*$|^\\s*t+\\s*")));
}

QString SessionTimeFormat::operator()(double oleDate) const
{
    const DateTimeParts parts = DecodeOleDate(oleDate);
    QString text = locale_.toString(QDate(parts.Year, parts.Month, parts.Day), dateFormat_);
    const QTime time(parts.Hour, parts.Minute, parts.Second, parts.Millisecond);
    if (time != QTime(0, 0))
        text += QLatin1Char(' ') + locale_.toString(time, timeFormat_);
    return text;
}

} // namespace korvel::admin
