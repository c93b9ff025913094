// A compact chart of this window's refreshes over the last hour: connected sessions and total sessions on the
// left scale, server memory on the right one, the time axis in local time. Drawn with QPainter in one widget;
// nothing is stored on disk.
#pragma once

#include <QDateTime>
#include <QWidget>

#include <deque>

namespace korvel::admin
{

class HistoryChart : public QWidget
{
public:
    struct Sample
    {
        QDateTime When;
        int Connected = 0;
        int Total = 0;
        double MemoryMegabytes = 0;
    };
    static constexpr qint64 SpanSeconds = 3600;

    explicit HistoryChart(QWidget* parent);

    // Adds a refresh's figures and forgets those older than an hour before `sample.When`.
    void AddSample(const Sample& sample);
    const std::deque<Sample>& Samples() const { return samples_; }
    void Clear();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::deque<Sample> samples_;
};

} // namespace korvel::admin
