// The core of the window's runner without Qt, so the thread sanitizer can watch it: deliveries come back on
// the owner's thread only, a cancelled or pre-empted job that waits ends at once, and nothing is delivered
// twice. The owner's thread is the test's: it runs what the queue posted.
#include "admin/common/WorkQueue.h"

#include "engine/CallLimits.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace korvel::admin
{
namespace
{

class WorkQueueTest : public ::testing::Test
{
protected:
    WorkQueueTest()
        : queue_(
              [this](std::function<void()> call)
              {
                  std::lock_guard lock(mutex_);
                  posted_.push_back(std::move(call));
                  arrived_.notify_all();
              },
              [this] { return active_.load(); },
              [this](const CallLimits& limits) { interrupt_ = limits.Interrupt; })
    {
        if (pipe(never_) != 0)
            ADD_FAILURE() << "no pipe";
    }
    ~WorkQueueTest() override
    {
        close(never_[0]);
        close(never_[1]);
    }

    // Runs what was posted, as the owner's event loop does, until `done` holds (a minute at most).
    bool RunPostedUntil(const std::function<bool()>& done)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        while (!done())
        {
            std::unique_lock lock(mutex_);
            if (!arrived_.wait_until(lock, end, [this] { return !posted_.empty(); }))
                return false;
            auto call = std::move(posted_.front());
            posted_.pop_front();
            lock.unlock();
            call();
        }
        return true;
    }
    bool Idle()
    {
        return RunPostedUntil([this] { return !queue_.Busy(); });
    }

    // A job that waits, as a call on a silent server does, until its limits end the wait.
    JobOptions Waiting(Priority kind, std::atomic<bool>& started, std::exception_ptr& error)
    {
        JobOptions options{.Kind = kind};
        options.Run = [this, &started](JobContext& job) -> std::function<void()>
        {
            started = true;
            const CallLimits limits = job.Limits();
            const WaitLimits wait{limits.Interrupt.get()};
            PollWithin(never_[0], POLLIN, -1, &wait);
            return [] { ADD_FAILURE() << "a wait that nothing ends ended"; };
        };
        options.Failed = [&error](std::exception_ptr failure) { error = failure; };
        return options;
    }
    JobOptions Counting(std::vector<int>& order, int number)
    {
        JobOptions options;
        options.Run = [&order, number](JobContext&) -> std::function<void()>
        { return [&order, number] { order.push_back(number); }; };
        options.Failed = [](std::exception_ptr) { ADD_FAILURE() << "a counting job failed"; };
        return options;
    }

    std::atomic<bool> active_ = true;
    std::shared_ptr<const CallInterrupt> interrupt_; // the limits handed to the session, on the worker
    int never_[2] = {-1, -1};                        // a pipe nobody writes to
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<std::function<void()>> posted_;
    WorkQueue queue_; // last: its worker goes first
};

TEST_F(WorkQueueTest, JobsRunInOrderAndDeliverOnceOnTheOwnersThread)
{
    std::vector<int> order;
    for (int number = 0; number < 20; ++number)
        ASSERT_TRUE(queue_.Submit(Counting(order, number)));
    ASSERT_TRUE(Idle());
    std::vector<int> expected(20);
    for (int number = 0; number < 20; ++number)
        expected[number] = number;
    EXPECT_EQ(order, expected);
}

TEST_F(WorkQueueTest, ACommandCutsOffBackgroundWorkThatWaitsAndQueuedBackgroundWorkNeverStarts)
{
    std::atomic<bool> started = false;
    std::exception_ptr running;
    ASSERT_TRUE(queue_.Submit(Waiting(Priority::Background, started, running)));
    while (!started)
        std::this_thread::yield();
    std::vector<int> order;
    ASSERT_TRUE(queue_.Submit(Counting(order, 1)));
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(IsPreempted(running));
    EXPECT_EQ(order, std::vector<int>{1});
}

TEST_F(WorkQueueTest, ThePersonsCancelEndsTheWaitingCommandAndCancelAllDeliversNothing)
{
    std::atomic<bool> started = false;
    std::exception_ptr error;
    ASSERT_TRUE(queue_.Submit(Waiting(Priority::User, started, error)));
    while (!started)
        std::this_thread::yield();
    EXPECT_TRUE(queue_.CancelCommands());
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(IsCancelledByPerson(error));

    std::atomic<bool> startedAgain = false;
    std::exception_ptr dropped;
    std::vector<int> order;
    ASSERT_TRUE(queue_.Submit(Waiting(Priority::User, startedAgain, dropped)));
    ASSERT_TRUE(queue_.Submit(Counting(order, 1)));
    while (!startedAgain)
        std::this_thread::yield();
    queue_.CancelAll();
    ASSERT_TRUE(Idle());
    EXPECT_FALSE(dropped);
    EXPECT_TRUE(order.empty());
}

TEST_F(WorkQueueTest, AJobAsksTheOwnerAndItsInterruptIsTheSessionsOnlyWhileItRuns)
{
    JobOptions asking{.NeedsLogin = false};
    bool answer = false;
    std::thread::id askedOn;
    std::shared_ptr<const CallInterrupt> during;
    asking.Run = [&](JobContext& job) -> std::function<void()>
    {
        during = interrupt_;
        const bool given = job.AskOwner(
            [&]
            {
                askedOn = std::this_thread::get_id();
                return true;
            });
        return [&answer, given] { answer = given; };
    };
    ASSERT_TRUE(queue_.Submit(asking));
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(answer);
    EXPECT_EQ(askedOn, std::this_thread::get_id());
    EXPECT_NE(during, nullptr);
    EXPECT_EQ(interrupt_, nullptr) << "the job's interrupt outlived it";

    // Logged out: work that needs a login is refused, the rest is taken.
    active_ = false;
    std::vector<int> order;
    EXPECT_FALSE(queue_.Submit(Counting(order, 1)));
    JobOptions loggedOut = Counting(order, 2);
    loggedOut.NeedsLogin = false;
    EXPECT_TRUE(queue_.Submit(loggedOut));
    ASSERT_TRUE(Idle());
    EXPECT_EQ(order, std::vector<int>{2});
}

} // namespace
} // namespace korvel::admin
