// The window's thread for local work: what a cancelled run handed over never arrives.
#include "testing/admin/WaitFor.h"

#include "admin/common/LocalWorker.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace korvel::test
{
namespace
{

TEST(LocalWorkerTest, WhatATaskHandedOverIsDroppedWhenANewRunBeganBeforeItArrived)
{
    admin::LocalWorker worker;
    std::atomic<bool> handedOver = false;
    int arrived = 0;
    worker.Queue(
        [&](const admin::LocalWorker::Deliver& deliver)
        {
            deliver([&] { ++arrived; });
            handedOver = true;
        });
    while (!handedOver)
        std::this_thread::yield();
    worker.NewRun(); // the handed-over call is queued for the user-interface thread by now
    QCoreApplication::sendPostedEvents(&worker);
    EXPECT_EQ(arrived, 0);

    worker.Queue([&](const admin::LocalWorker::Deliver& deliver) { deliver([&] { ++arrived; }); });
    EXPECT_TRUE(WaitFor([&] { return arrived == 1; }, 5000)) << "a task of the new run delivers";
}

} // namespace
} // namespace korvel::test
