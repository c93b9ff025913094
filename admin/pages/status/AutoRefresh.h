// When the Status page refreshes by itself: every 2, 5, 10, 30 or 60 seconds, or never. The next refresh is
// scheduled once the last one has finished, no sooner than the interval or three times the last refresh's
// duration, whichever is later (10,000 sessions every 2 s would otherwise be 5,000 requests a second). While
// the page is hidden or its window minimised nothing runs; showing the page again resumes.
#pragma once

#include <QTimer>

#include <array>
#include <functional>

class QWidget;

namespace korvel::admin
{

class AutoRefresh
{
public:
    static constexpr std::array<int, 6> Choices = {0, 2, 5, 10, 30, 60}; // seconds; 0 is off

    // `tick` starts a refresh and, once it has ended, calls Finished.
    AutoRefresh(QWidget* page, std::function<void()> tick);

    int Seconds() const { return seconds_; }
    // Schedules from now on, or stops with 0. A value not among the choices counts as off.
    void SetSeconds(int seconds);
    // A refresh of `seconds` ended: schedules the next one.
    void Finished(double seconds);
    // Nothing more until Resume (logout, a server gone away).
    void Stop();
    void Resume();
    // The page became visible again.
    void PageShown();

    bool Scheduled() const { return timer_->isActive(); }
    int NextDelayMs() const { return timer_->interval(); }
    static int DelayMs(int intervalSeconds, double lastRefreshSeconds);

private:
    void Tick();
    void Schedule();

    QWidget* page_;
    std::function<void()> tick_;
    QTimer* timer_; // the page's child "AutoRefreshTimer": tests watch whether a tick is scheduled
    int seconds_ = 0;
    double lastSeconds_ = 0;
    bool stopped_ = false;
    bool paused_ = false;
};

} // namespace korvel::admin
