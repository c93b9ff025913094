// The background runner against a real korvel-refserver: where results arrive, in what order jobs run, how
// cancellation and errors come back, and that an inactive session is never activated off the UI thread.
#include "admin/common/BackgroundRunner.h"

#include "engine/EngineError.h"
#include "session/KORVELSession.h"
#include "tests/admin/support/WaitFor.h"
#include "tests/support/AdminLogin.h"
#include "tests/support/RefServer.h"

#include <QCoreApplication>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace korvel::test
{
namespace
{

using admin::BackgroundRunner;
using admin::CancelToken;
using admin::Priority;

class BackgroundRunnerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        session = std::make_unique<TKORVELSession>();
        LogInAsAdministrator(*session, server, "RunnerTest");
        runner = std::make_unique<BackgroundRunner>(*session);
    }
    void TearDown() override
    {
        runner.reset();
        session.reset();
        SetRemoteLoginDialog({});
    }

    // Keeps the event loop turning until the runner has delivered everything.
    void WaitUntilIdle()
    {
        ASSERT_TRUE(WaitFor([&] { return !runner->Busy(); }, 10000));
    }

    // A job that asks the server `requests` times, checking for cancellation before each, and counts them.
    std::function<int(CancelToken&)> Requests(int requests, std::atomic<int>& made)
    {
        return [this, requests, &made](CancelToken& token)
        {
            for (int i = 0; i < requests; ++i)
            {
                token.Check();
                session->GetServerUpTime();
                ++made;
            }
            return requests;
        };
    }

    RefServer server;
    std::unique_ptr<TKORVELSession> session;
    std::unique_ptr<BackgroundRunner> runner;
};

TEST_F(BackgroundRunnerTest, RunsOnTheWorkerAndDeliversOnTheUiThreadOnce)
{
    QThread* uiThread = QThread::currentThread();
    std::atomic<QThread*> workedOn = nullptr;
    std::vector<std::int32_t> results;
    std::vector<QThread*> deliveredOn;
    std::vector<bool> commandRunning;
    QObject watcher;
    runner->WatchCommands(&watcher, [&](bool running) { commandRunning.push_back(running); });

    ASSERT_TRUE(runner->Submit<std::int32_t>(
        Priority::User,
        [&](CancelToken&)
        {
            workedOn = QThread::currentThread();
            return session->GetServerMainPort();
        },
        [&](std::int32_t port)
        {
            results.push_back(port);
            deliveredOn.push_back(QThread::currentThread());
        },
        [](std::exception_ptr) { ADD_FAILURE() << "unexpected error"; }));
    EXPECT_TRUE(runner->Busy());
    EXPECT_TRUE(results.empty()) << "delivered before the event loop turned";
    WaitUntilIdle();
    QTest::qWait(50); // a second delivery would have arrived by now

    EXPECT_NE(workedOn.load(), uiThread);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0], server.MainPort());
    EXPECT_EQ(deliveredOn[0], uiThread);
    EXPECT_EQ(commandRunning, (std::vector<bool>{true, false}));
}

TEST_F(BackgroundRunnerTest, ErrorsComeBackOnceAndNeverAsAResult)
{
    int done = 0;
    std::vector<std::string> errors;
    auto collect = [&](std::exception_ptr error)
    {
        try
        {
            std::rethrow_exception(error);
        }
        catch (const std::exception& e)
        {
            errors.push_back(e.what());
        }
    };
    // A request the server refuses, then a failure of the job's own.
    ASSERT_TRUE(runner->Submit(
        Priority::User,
        [&](CancelToken&)
        {
            std::string password, description;
            bool administrator = false;
            session->GetServerUser("no-such-user", password, description, administrator);
        },
        [&] { ++done; }, collect));
    ASSERT_TRUE(runner->Submit<int>(
        Priority::User, [](CancelToken&) -> int { throw std::runtime_error("job failed"); },
        [&](int) { ++done; }, collect));
    WaitUntilIdle();
    QTest::qWait(50);

    EXPECT_EQ(done, 0);
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_FALSE(errors[0].empty());
    EXPECT_EQ(errors[1], "job failed");
    // The session still works after a refused request.
    EXPECT_TRUE(session->Active());
}

TEST_F(BackgroundRunnerTest, RunsOneJobAtATimeInTheOrderGiven)
{
    std::atomic<int> inside = 0;
    std::atomic<int> mostInside = 0;
    std::vector<int> order;
    for (int job = 0; job < 6; ++job)
        ASSERT_TRUE(runner->Submit<int>(
            Priority::User,
            [&, job](CancelToken&)
            {
                mostInside = std::max(mostInside.load(), ++inside);
                session->GetServerSessionCount();
                session->GetServerUpTime();
                --inside;
                return job;
            },
            [&](int finished) { order.push_back(finished); }, [](std::exception_ptr) {}));
    WaitUntilIdle();

    EXPECT_EQ(mostInside.load(), 1);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4, 5}));
}

TEST_F(BackgroundRunnerTest, CancelStopsTheJobBetweenRequestsAndDeliversNothing)
{
    std::atomic<int> made = 0;
    int delivered = 0;
    ASSERT_TRUE(runner->Submit<int>(
        Priority::User, Requests(1'000'000, made), [&](int) { ++delivered; },
        [&](std::exception_ptr) { ++delivered; }));
    ASSERT_TRUE(runner->Submit<int>(
        Priority::User, Requests(1, made), [&](int) { ++delivered; },
        [&](std::exception_ptr) { ++delivered; }));
    ASSERT_TRUE(WaitFor([&] { return made > 10; }, 5000));
    runner->Cancel();
    WaitUntilIdle();
    const int afterCancel = made;
    QTest::qWait(50);

    EXPECT_EQ(delivered, 0);
    EXPECT_LT(afterCancel, 1'000'000);
    EXPECT_EQ(made.load(), afterCancel) << "the job went on after its cancellation";
    // The runner takes new work after a cancellation.
    std::int32_t port = 0;
    ASSERT_TRUE(runner->Submit<std::int32_t>(
        Priority::User, [&](CancelToken&) { return session->GetServerAdminPort(); },
        [&](std::int32_t value) { port = value; }, [](std::exception_ptr) {}));
    WaitUntilIdle();
    EXPECT_EQ(port, server.AdminPort());
}

TEST_F(BackgroundRunnerTest, UserCommandsGoBeforeBackgroundWork)
{
    std::atomic<int> backgroundMade = 0;
    std::atomic<int> userMade = 0;
    int backgroundDone = 0;
    std::vector<bool> backgroundAborted; // one entry per error delivered
    int userDone = 0;
    // Only user commands disable the window's command controls.
    std::vector<bool> commandRunning;
    QObject watcher;
    runner->WatchCommands(&watcher, [&](bool running) { commandRunning.push_back(running); });
    ASSERT_TRUE(runner->Submit<int>(
        Priority::Background, Requests(1'000'000, backgroundMade), [&](int) { ++backgroundDone; },
        [&](std::exception_ptr error) { backgroundAborted.push_back(admin::IsAbort(error)); }));
    ASSERT_TRUE(WaitFor([&] { return backgroundMade > 10; }, 5000));
    // A second tick while the first runs is skipped.
    EXPECT_FALSE(runner->Submit<int>(
        Priority::Background, Requests(1, backgroundMade), [](int) {}, [](std::exception_ptr) {}));
    // The user's command stops the running background job at its next request.
    ASSERT_TRUE(runner->Submit<int>(
        Priority::User, Requests(3, userMade), [&](int) { ++userDone; },
        [](std::exception_ptr) { ADD_FAILURE() << "user command failed"; }));
    WaitUntilIdle();

    EXPECT_EQ(userDone, 1);
    EXPECT_EQ(userMade.load(), 3);
    // The pre-empted job says so once, so that its owner tries again later.
    EXPECT_EQ(backgroundDone, 0);
    EXPECT_EQ(backgroundAborted, (std::vector<bool>{true}));
    EXPECT_LT(backgroundMade.load(), 1'000'000);
    EXPECT_EQ(commandRunning, (std::vector<bool>{true, false}));
    // Once idle, background work is taken again.
    EXPECT_TRUE(runner->Submit<int>(
        Priority::Background, Requests(1, backgroundMade), [](int) {}, [](std::exception_ptr) {}));
    WaitUntilIdle();
}

TEST_F(BackgroundRunnerTest, RefusesWorkWhileTheSessionIsInactiveAndNeverPrompts)
{
    int prompts = 0;
    SetRemoteLoginDialog(
        [&](std::string&, std::string&)
        {
            ++prompts;
            return false;
        });
    // A job that logs out makes the job queued behind it fail instead of logging in again.
    int secondRan = 0;
    std::vector<std::string> errors;
    ASSERT_TRUE(runner->Submit(
        Priority::User, [&](CancelToken&) { session->SetActive(false); }, [] {},
        [](std::exception_ptr) { ADD_FAILURE() << "logout failed"; }));
    ASSERT_TRUE(runner->Submit(
        Priority::User, [&](CancelToken&) { ++secondRan; }, [] {},
        [&](std::exception_ptr error)
        {
            try
            {
                std::rethrow_exception(error);
            }
            catch (const admin::SessionInactiveError& e)
            {
                errors.push_back(e.what());
            }
        }));
    WaitUntilIdle();
    EXPECT_EQ(secondRan, 0);
    EXPECT_EQ(errors, (std::vector<std::string>{"Not logged in to a server"}));

    // Nothing is taken while inactive.
    EXPECT_FALSE(runner->Submit(
        Priority::User, [&](CancelToken&) { session->GetServerUpTime(); }, [] {}, [](std::exception_ptr) {}));
    EXPECT_FALSE(runner->Submit(
        Priority::Background, [&](CancelToken&) { session->GetServerUpTime(); }, [] {},
        [](std::exception_ptr) {}));
    EXPECT_FALSE(runner->Busy());
    EXPECT_FALSE(session->Active());
    EXPECT_EQ(prompts, 0);
}

TEST_F(BackgroundRunnerTest, AwaitReturnsTheResultWhileTheEventLoopTurns)
{
    QThread* uiThread = QThread::currentThread();
    QThread* workedOn = nullptr;
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(5);
    std::vector<bool> commandRunning;
    QObject watcher;
    runner->WatchCommands(&watcher, [&](bool running) { commandRunning.push_back(running); });

    const std::int32_t port = runner->Await(
        [&]
        {
            workedOn = QThread::currentThread();
            QThread::msleep(100); // a slow server
            return session->GetServerAdminPort();
        });

    EXPECT_EQ(port, server.AdminPort());
    EXPECT_NE(workedOn, uiThread);
    EXPECT_GE(ticks, 3) << "the event loop stood still while the call ran";
    EXPECT_EQ(commandRunning, (std::vector<bool>{true, false}));
    // An awaited call that fails raises its error to the caller, and the session goes on working.
    EXPECT_THROW(runner->Await([] { throw std::runtime_error("refused"); }), std::runtime_error);
    EXPECT_EQ(runner->Await([&] { return session->GetServerMainPort(); }), server.MainPort());
}

TEST_F(BackgroundRunnerTest, AwaitEndsInAnAbortWhenCancelledButOnlyAfterTheCallLetGo)
{
    // The caller's variable is written by the call until its very end: Await must not return before that.
    std::atomic<int> made = 0;
    int lastWritten = 0;
    QTimer::singleShot(50, [&] { runner->Cancel(); });
    EXPECT_THROW(runner->Await(
                     [&]
                     {
                         for (int i = 0; i < 20; ++i)
                         {
                             session->GetServerUpTime();
                             QThread::msleep(10);
                             lastWritten = ++made;
                         }
                     }),
                 EAbort);
    EXPECT_EQ(lastWritten, 20) << "Await returned while the call still used the caller's stack";
    // A queued call that Cancel() dropped unrun lets go too.
    bool ran = false;
    ASSERT_TRUE(runner->Submit(
        Priority::User, [](CancelToken&) { QThread::msleep(100); }, [] {}, [](std::exception_ptr) {}));
    QTimer::singleShot(20, [&] { runner->Cancel(); });
    EXPECT_THROW(runner->Await([&] { ran = true; }), EAbort);
    EXPECT_FALSE(ran);
}

TEST_F(BackgroundRunnerTest, AwaitRefusesAnInactiveSession)
{
    runner->Await([&] { session->SetActive(false); });
    bool ran = false;
    EXPECT_THROW(runner->Await([&] { ran = true; }), admin::SessionInactiveError);
    EXPECT_FALSE(ran);
}

} // namespace
} // namespace korvel::test
