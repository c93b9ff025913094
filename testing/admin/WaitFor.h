// Waiting in a GoogleTest test for something the event loop brings (Qt's QTRY_ macros report to QTest, not to
// GoogleTest, so a timeout there would pass unseen).
#pragma once

#include <QDeadlineTimer>
#include <QTest>

namespace korvel::test
{

// Turns the event loop until `condition` holds or `milliseconds` have passed; whether it holds.
template <typename Condition> bool WaitFor(Condition condition, int milliseconds = 5000)
{
    QDeadlineTimer deadline(milliseconds);
    while (!condition())
    {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(5);
    }
    return true;
}

} // namespace korvel::test
