// Turns the event loop until `done` holds, waking for each event. QTest::qWaitFor naps 10 ms between its
// turns, and a benchmark would count those naps as its own time and as gaps in the event loop.
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>

namespace korvel::bench
{

// False when `done` still does not hold after `timeoutMs`.
template <typename Done> bool TurnUntil(Done done, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QTimer wake; // a condition that no event announces is still looked at now and then
    wake.start(std::min(timeoutMs, 100));
    while (!done())
    {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

} // namespace korvel::bench
