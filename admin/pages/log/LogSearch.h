// Searches the held log on a thread of its own, so a million lines never keep the window from painting or
// typing: the matching lines come back to the user-interface thread in batches, in line order. Lines appended
// later (follow) are searched by Continue. A search started again or cancelled never delivers anything more
// of the old one.
#pragma once

#include "admin/common/LocalWorker.h"
#include "admin/pages/log/LogLineMatcher.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace korvel
{
class LogText;
}

namespace korvel::admin
{

class LogSearch : public QObject
{
public:
    // Called after every batch: `finished` once the last line was searched.
    using Progress = std::function<void(bool finished)>;

    // `log` is the list's held text, which is replaced as the list changes; each search reads the one held
    // when it was started or continued.
    LogSearch(const std::shared_ptr<const LogText>& log, Progress progress, QObject* parent);

    // Forgets the old matches and searches the whole log for `matcher` (an empty one matches nothing).
    void Start(std::shared_ptr<const LogLineMatcher> matcher);
    // Searches the lines added since the search was started or last continued, and after Cancel the lines it
    // had not reached.
    void Continue();
    // Stops at once; the matches delivered so far stay.
    void Cancel();
    // Forgets the matches and the pattern.
    void Reset();

    bool Running() const { return nextLine_ < queuedTo_; }
    // Every line of the log was searched for the current pattern.
    bool Complete() const;
    const std::vector<std::uint32_t>& Matches() const { return matches_; }
    const std::shared_ptr<const LogLineMatcher>& Matcher() const { return matcher_; }

    // How long the search collects matches before it hands them over.
    static constexpr int BatchMilliseconds = 20;

private:
    void Delivered(const std::vector<std::uint32_t>& found, std::size_t searchedTo);

    const std::shared_ptr<const LogText>& log_;
    Progress progress_;
    std::shared_ptr<const LogLineMatcher> matcher_;
    std::size_t nextLine_ = 0; // the lines before it were searched and their matches delivered
    std::size_t queuedTo_ = 0; // the lines before it are searched or queued to be
    std::vector<std::uint32_t> matches_;
    LocalWorker worker_; // last, so its thread has ended before the rest goes
};

} // namespace korvel::admin
