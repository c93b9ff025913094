// A background round (an auto-refresh, a follow read) that the server leaves without an answer for
// max(10 s, two intervals) is cancelled, so that a silent server never leaves a page showing its last values
// as if nothing waited; the page says "No answer from host:port; retrying" and its next round comes as usual.
// The seconds are the window's timer seconds (TimerSecond.h), so tests shorten them.
#pragma once

#include "admin/common/AdminPage.h"

#include <QString>

#include <functional>
#include <memory>

class QTimer;

namespace korvel::admin
{

class Job;

class NoAnswerWatch
{
public:
    // `gaveUp(text)` runs on the owner's thread once a watched round was cancelled; the text names
    // `serverEndpoint()` (PageContext::ServerEndpoint).
    NoAnswerWatch(QObject* owner, std::function<QString()> serverEndpoint, TKORVELSession& session,
                  std::function<void(const QString& text)> gaveUp);

    static constexpr int LeastSeconds = 10;

    // Watches `job`, a round of a repetition every `intervalSeconds`; a null job is not watched.
    void Start(std::shared_ptr<Job> job, int intervalSeconds);
    // The round answered or ended otherwise.
    void Stop();

private:
    void Expired();

    std::function<QString()> serverEndpoint_;
    TKORVELSession& session_;
    std::function<void(const QString&)> gaveUp_;
    std::shared_ptr<Job> job_;
    QTimer* timer_;
};

} // namespace korvel::admin
