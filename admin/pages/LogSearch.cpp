#include "admin/pages/LogSearch.h"

#include "engine/LogText.h"

#include <QElapsedTimer>
#include <QTimer>

namespace korvel::admin
{

LogSearch::LogSearch(const std::shared_ptr<const LogText>& log, Progress progress, QObject* parent)
    : QObject(parent), log_(log), progress_(std::move(progress)), timer_(new QTimer(this))
{
    timer_->setSingleShot(true);
    timer_->setInterval(0);
    connect(timer_, &QTimer::timeout, this, [this] { RunSlice(); });
}

void LogSearch::Start(std::shared_ptr<const LogLineMatcher> matcher)
{
    matcher_ = std::move(matcher);
    matches_.clear();
    nextLine_ = 0;
    Continue();
}

void LogSearch::Continue()
{
    if (matcher_ && !matcher_->Empty() && matcher_->Error().isEmpty() && nextLine_ < log_->LineCount())
        timer_->start();
}

void LogSearch::Cancel()
{
    timer_->stop();
}

void LogSearch::Reset()
{
    timer_->stop();
    matcher_.reset();
    matches_.clear();
    nextLine_ = 0;
}

bool LogSearch::Running() const
{
    return timer_->isActive();
}

bool LogSearch::Complete() const
{
    return matcher_ && nextLine_ >= log_->LineCount();
}

void LogSearch::RunSlice()
{
    QElapsedTimer clock;
    clock.start();
    const std::size_t count = log_->LineCount();
    constexpr std::size_t linesBetweenClockReads = 2048;
    while (nextLine_ < count)
    {
        const std::size_t end = std::min(count, nextLine_ + linesBetweenClockReads);
        for (; nextLine_ < end; ++nextLine_)
            if (matcher_->Matches(log_->Line(nextLine_)))
                matches_.push_back(static_cast<std::uint32_t>(nextLine_));
        if (clock.elapsed() >= SliceMilliseconds)
            break;
    }
    const bool finished = nextLine_ >= count;
    if (!finished)
        timer_->start();
    progress_(finished);
}

} // namespace korvel::admin
