// Work on a thread of its own while the window waits in a local event loop: the loop turns, the work's error
// comes back to the caller, and a step that asks the person runs on the user-interface thread.
#include "admin/common/OffThread.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <stdexcept>

namespace korvel::test
{
namespace
{

TEST(OffThread, TheLoopTurnsWhileTheWorkRunsAndItsErrorComesBack)
{
    QThread* uiThread = QThread::currentThread();
    QThread* workedOn = nullptr;
    QThread* askedOn = nullptr;
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(5);

    admin::RunOffThreadAndWait(
        [&]
        {
            workedOn = QThread::currentThread();
            admin::RunOnUiThread([&] { askedOn = QThread::currentThread(); });
            QThread::msleep(100);
        });

    EXPECT_NE(workedOn, uiThread);
    EXPECT_EQ(askedOn, uiThread);
    EXPECT_GE(ticks, 3) << "the event loop stood still while the work ran";
    EXPECT_THROW(admin::RunOffThreadAndWait([] { throw std::runtime_error("no server there"); }),
                 std::runtime_error);
}

} // namespace
} // namespace korvel::test
