// Searches the held log in slices on the user-interface thread: each slice stops after a few milliseconds and
// the next one is queued behind the events that arrived meanwhile, so a million lines never keep the window
// from painting or typing for long. Matching lines are collected in line order; lines appended later (follow)
// are searched by Continue.
#pragma once

#include "admin/pages/LogLineMatcher.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QTimer;

namespace korvel
{
class LogText;
}

namespace korvel::admin
{

class LogSearch : public QObject
{
public:
    // Called after every slice: `finished` once the last line was searched.
    using Progress = std::function<void(bool finished)>;

    // `log` is the list's held text, which is replaced as the list changes.
    LogSearch(const std::shared_ptr<const LogText>& log, Progress progress, QObject* parent);

    // Forgets the old matches and searches the whole log for `matcher` (an empty one matches nothing).
    void Start(std::shared_ptr<const LogLineMatcher> matcher);
    // Searches the lines added since the last slice.
    void Continue();
    // Stops after the current slice; the matches found so far stay.
    void Cancel();
    // Forgets the matches and the pattern.
    void Reset();

    bool Running() const;
    // Every line of the log was searched for the current pattern.
    bool Complete() const;
    const std::vector<std::uint32_t>& Matches() const { return matches_; }
    const std::shared_ptr<const LogLineMatcher>& Matcher() const { return matcher_; }

    static constexpr int SliceMilliseconds = 15;

private:
    void RunSlice();

    const std::shared_ptr<const LogText>& log_;
    Progress progress_;
    QTimer* timer_;
    std::shared_ptr<const LogLineMatcher> matcher_;
    std::size_t nextLine_ = 0;
    std::vector<std::uint32_t> matches_;
};

} // namespace korvel::admin
