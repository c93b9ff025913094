#include "admin/pages/status/HistoryChart.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <functional>

namespace korvel::admin
{
namespace
{

// A round upper end for a scale, so the labels read well.
double NiceCeiling(double value)
{
    double step = 1;
    while (step * 10 <= value)
        step *= 10;
    for (double factor : {1.0, 2.0, 5.0, 10.0})
        if (value <= step * factor)
            return step * factor;
    return step * 10;
}

} // namespace

HistoryChart::HistoryChart(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("HistoryChart"));
    setToolTip(QCoreApplication::translate(
        "HistoryChart", "Connected sessions, total sessions and memory over the last hour"));
}

void HistoryChart::AddSample(const Sample& sample)
{
    // Kept in UTC: the axis's arithmetic on local times asked the time zone once per point at each paint.
    samples_.push_back(sample);
    samples_.back().When = sample.When.toUTC();
    const QDateTime oldest = samples_.back().When.addSecs(-SpanSeconds);
    while (!samples_.empty() && samples_.front().When < oldest)
        samples_.pop_front();
    update();
}

void HistoryChart::Clear()
{
    samples_.clear();
    update();
}

QSize HistoryChart::sizeHint() const
{
    return {400, fontMetrics().height() * 5};
}

QSize HistoryChart::minimumSizeHint() const
{
    return {200, fontMetrics().height() * 4};
}

void HistoryChart::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette& colours = palette();
    painter.fillRect(rect(), colours.base());
    const QFontMetrics metrics = fontMetrics();
    const int textHeight = metrics.height();

    double sessionTop = 1;
    double memoryTop = 1;
    for (const Sample& sample : samples_)
    {
        sessionTop = std::max(sessionTop, static_cast<double>(std::max(sample.Connected, sample.Total)));
        memoryTop = std::max(memoryTop, sample.MemoryMegabytes);
    }
    sessionTop = NiceCeiling(sessionTop);
    memoryTop = NiceCeiling(memoryTop);
    const QString sessionLabel = QString::number(sessionTop, 'g', 6);
    const QString memoryLabel =
        QCoreApplication::translate("HistoryChart", "%1 Mb").arg(QString::number(memoryTop, 'g', 6));
    const QRect plot = rect().adjusted(metrics.horizontalAdvance(sessionLabel) + 8, textHeight / 2 + 2,
                                       -(metrics.horizontalAdvance(memoryLabel) + 8), -(textHeight + 4));
    if (plot.width() < 10 || plot.height() < 10)
        return;

    painter.setPen(colours.color(QPalette::Mid));
    painter.drawRect(plot);
    painter.setPen(colours.color(QPalette::Text));
    painter.drawText(QRect(0, plot.top() - textHeight / 2, plot.left() - 4, textHeight),
                     Qt::AlignRight | Qt::AlignVCenter, sessionLabel);
    painter.drawText(QRect(0, plot.bottom() - textHeight / 2, plot.left() - 4, textHeight),
                     Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("0"));
    painter.drawText(QRect(plot.right() + 4, plot.top() - textHeight / 2, width(), textHeight),
                     Qt::AlignLeft | Qt::AlignVCenter, memoryLabel);

    // The time axis ends at the last sample and reaches back to the first one, five minutes at least and an
    // hour at most, in local time.
    const QDateTime end = samples_.empty() ? QDateTime::currentDateTimeUtc() : samples_.back().When;
    const qint64 covered = samples_.empty() ? 0 : samples_.front().When.secsTo(end);
    const qint64 span = std::clamp<qint64>((covered + 299) / 300 * 300, 300, SpanSeconds);
    const QDateTime start = end.addSecs(-span);
    auto xOf = [&](const QDateTime& when) {
        return plot.left() +
               plot.width() * static_cast<double>(start.secsTo(when)) / static_cast<double>(span);
    };
    for (qint64 offset = 0; offset <= span;
         offset += span / 5) // whole minutes: the span is in 5-minute steps
    {
        const QDateTime tick = start.addSecs(offset);
        const double x = xOf(tick);
        painter.setPen(colours.color(QPalette::Midlight));
        painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
        painter.setPen(colours.color(QPalette::Text));
        const QString label = tick.toLocalTime().toString(QStringLiteral("HH:mm"));
        const int labelWidth = metrics.horizontalAdvance(label);
        painter.drawText(QRectF(std::clamp(x - labelWidth / 2.0, 0.0, double(width() - labelWidth)),
                                plot.bottom() + 2, labelWidth, textHeight),
                         Qt::AlignCenter, label);
    }

    auto drawSeries = [&](const QColor& colour, double top, const std::function<double(const Sample&)>& value,
                          double penWidth = 1.5)
    {
        QPainterPath path;
        bool first = true;
        for (const Sample& sample : samples_)
        {
            const QPointF point(xOf(sample.When), plot.bottom() - plot.height() * value(sample) / top);
            if (first)
                path.moveTo(point);
            else
                path.lineTo(point);
            first = false;
        }
        painter.setPen(QPen(colour, penWidth));
        painter.drawPath(path);
        if (samples_.size() == 1)
            painter.drawEllipse(path.currentPosition(), 2, 2);
    };
    // Connected goes last, thin, over a broad Total: where the two are equal, Total still shows on both
    // sides.
    drawSeries(QColor(0xc6, 0x28, 0x28), memoryTop, [](const Sample& s) { return s.MemoryMegabytes; });
    drawSeries(
        QColor(0x15, 0x65, 0xc0), sessionTop, [](const Sample& s) { return double(s.Total); }, 5);
    drawSeries(QColor(0x2e, 0x7d, 0x32), sessionTop, [](const Sample& s) { return double(s.Connected); });

    // The legend, in the plot's top left corner.
    int x = plot.left() + 6;
    const int y = plot.top() + 2;
    for (const auto& [colour, name] :
         {std::pair{QColor(0x2e, 0x7d, 0x32), QCoreApplication::translate("HistoryChart", "Connected")},
          std::pair{QColor(0x15, 0x65, 0xc0), QCoreApplication::translate("HistoryChart", "Total")},
          std::pair{QColor(0xc6, 0x28, 0x28), QCoreApplication::translate("HistoryChart", "Memory")}})
    {
        painter.fillRect(QRect(x, y + textHeight / 2 - 2, 10, 4), colour);
        painter.setPen(colours.color(QPalette::Text));
        painter.drawText(QPoint(x + 14, y + metrics.ascent()), name);
        x += 14 + metrics.horizontalAdvance(name) + 12;
    }
}

} // namespace korvel::admin
