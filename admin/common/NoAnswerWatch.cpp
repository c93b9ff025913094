#include "admin/common/NoAnswerWatch.h"

#include "admin/common/TimerSecond.h"
#include "admin/common/WorkQueue.h"
#include "session/KORVELSession.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace korvel::admin
{

NoAnswerWatch::NoAnswerWatch(QObject* owner, std::function<QString()> serverEndpoint, TKORVELSession& session,
                             std::function<void(const QString& text)> gaveUp)
    : serverEndpoint_(std::move(serverEndpoint)), session_(session), gaveUp_(std::move(gaveUp)),
      timer_(new QTimer(owner))
{
    timer_->setObjectName(QStringLiteral("NoAnswerTimer"));
    timer_->setSingleShot(true);
    QObject::connect(timer_, &QTimer::timeout, owner, [this] { Expired(); });
}

void NoAnswerWatch::Start(std::shared_ptr<Job> job, int intervalSeconds)
{
    job_ = std::move(job);
    if (!job_)
        return timer_->stop();
    timer_->start(TimerMs(std::max(LeastSeconds, 2 * intervalSeconds)));
}

void NoAnswerWatch::Stop()
{
    timer_->stop();
    job_.reset();
}

void NoAnswerWatch::Expired()
{
    const std::shared_ptr<Job> job = std::exchange(job_, nullptr);
    if (!job || !job->Pending())
        return;
    job->Cancel(); // cuts the exchange off; the next round connects again
    QString endpoint = serverEndpoint_ ? serverEndpoint_() : QString();
    if (endpoint.isEmpty())
    {
        const std::string& host =
            session_.RemoteHost().empty() ? session_.RemoteAddress() : session_.RemoteHost();
        endpoint = QString::fromStdString(host) + QLatin1Char(':') +
                   (session_.RemoteService().empty() ? QString::number(session_.RemotePort())
                                                     : QString::fromStdString(session_.RemoteService()));
    }
    gaveUp_(QCoreApplication::translate("NoAnswerWatch", "No answer from %1; retrying").arg(endpoint));
}

} // namespace korvel::admin
