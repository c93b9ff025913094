#include "admin/pages/status/AutoRefresh.h"

#include "admin/common/TimerSecond.h"

#include <QWidget>

#include <algorithm>
#include <cmath>

namespace korvel::admin
{

AutoRefresh::AutoRefresh(QWidget* page, std::function<void()> tick)
    : page_(page), tick_(std::move(tick)), timer_(new QTimer(page))
{
    timer_->setObjectName(QStringLiteral("AutoRefreshTimer"));
    timer_->setSingleShot(true);
    QObject::connect(timer_, &QTimer::timeout, page_, [this] { Tick(); });
}

int AutoRefresh::DelayMs(int intervalSeconds, double lastRefreshSeconds)
{
    return std::max(TimerMs(intervalSeconds), static_cast<int>(std::ceil(lastRefreshSeconds * 3000)));
}

void AutoRefresh::SetSeconds(int seconds)
{
    seconds_ = std::find(Choices.begin(), Choices.end(), seconds) != Choices.end() ? seconds : 0;
    Schedule();
}

void AutoRefresh::Finished(double seconds)
{
    lastSeconds_ = seconds;
    Schedule();
}

void AutoRefresh::Stop()
{
    stopped_ = true;
    timer_->stop();
}

void AutoRefresh::Resume()
{
    stopped_ = false;
    Schedule();
}

void AutoRefresh::PageShown()
{
    if (!paused_)
        return;
    paused_ = false;
    Schedule();
}

void AutoRefresh::Schedule()
{
    timer_->stop();
    if (seconds_ == 0 || stopped_)
        return;
    timer_->start(DelayMs(seconds_, lastSeconds_));
}

void AutoRefresh::Tick()
{
    if (!page_->isVisible() || page_->window()->isMinimized())
    {
        paused_ = true;
        return;
    }
    tick_();
}

} // namespace korvel::admin
