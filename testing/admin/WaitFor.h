// Waiting in a GoogleTest test or a benchmark for something the event loop brings (Qt's QTRY_ macros report
// to QTest, not to GoogleTest, so a timeout there would pass unseen). The loop wakes for each event rather
// than napping as QTest::qWait does: a benchmark would count those naps as its own time and as gaps in the
// event loop, and a test would only be slower.
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>

namespace korvel::test
{

// Turns the event loop until `condition` holds or `milliseconds` have passed; whether it holds.
template <typename Condition> bool WaitFor(Condition condition, int milliseconds = 5000)
{
    const QDeadlineTimer deadline(milliseconds);
    // A condition that no event announces (another thread's work) is still looked at now and then.
    QTimer wake;
    wake.start(std::clamp(milliseconds, 1, 10));
    while (!condition())
    {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        // deleteLater() from this loop level waits for a loop to return, which this one never does
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

} // namespace korvel::test
