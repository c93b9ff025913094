#include "admin/pages/log/LogSearch.h"

#include "engine/LogText.h"

#include <QElapsedTimer>

#include <algorithm>

namespace korvel::admin
{

LogSearch::LogSearch(const std::shared_ptr<const LogText>& log, Progress progress, QObject* parent)
    : QObject(parent), log_(log), progress_(std::move(progress))
{
}

void LogSearch::Start(std::shared_ptr<const LogLineMatcher> matcher)
{
    worker_.NewRun();
    matcher_ = std::move(matcher);
    matches_.clear();
    nextLine_ = 0;
    queuedTo_ = 0;
    Continue();
}

void LogSearch::Continue()
{
    const std::size_t count = log_->LineCount();
    if (!matcher_ || matcher_->Empty() || !matcher_->Error().isEmpty() || queuedTo_ >= count)
        return;
    // The task has its own copies of the text and the pattern: the list may replace its text meanwhile.
    worker_.Queue(
        [this, log = log_, matcher = *matcher_, from = queuedTo_,
         to = count](const LocalWorker::Deliver& deliver)
        {
            std::vector<std::uint32_t> found;
            QElapsedTimer clock;
            clock.start();
            constexpr std::size_t linesBetweenClockReads = 2048;
            for (std::size_t line = from; line < to;)
            {
                const std::size_t end = std::min(to, line + linesBetweenClockReads);
                for (; line < end; ++line)
                    if (matcher.Matches(log->Line(line)))
                        found.push_back(static_cast<std::uint32_t>(line));
                if (line < to && clock.elapsed() < BatchMilliseconds)
                    continue;
                if (!deliver([this, batch = std::move(found), line] { Delivered(batch, line); }))
                    return;
                found.clear();
                clock.restart();
            }
        });
    queuedTo_ = count;
}

void LogSearch::Cancel()
{
    worker_.NewRun();
    queuedTo_ = nextLine_;
}

void LogSearch::Reset()
{
    worker_.NewRun();
    matcher_.reset();
    matches_.clear();
    nextLine_ = 0;
    queuedTo_ = 0;
}

bool LogSearch::Complete() const
{
    return matcher_ && nextLine_ >= log_->LineCount();
}

void LogSearch::Delivered(const std::vector<std::uint32_t>& found, std::size_t searchedTo)
{
    matches_.insert(matches_.end(), found.begin(), found.end());
    nextLine_ = searchedTo;
    progress_(nextLine_ >= log_->LineCount());
}

} // namespace korvel::admin
