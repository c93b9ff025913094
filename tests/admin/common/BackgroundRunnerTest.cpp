// The background runner against a real korvel-refserver: where results arrive, in what order jobs run, how
// cancellation and errors come back (also while a call waits on a server that says nothing), when the busy
// look shows, and that an inactive session is never activated off the UI thread.
#include "admin/common/BackgroundRunner.h"

#include "engine/wire/EngineError.h"
#include "session/KORVELSession.h"
#include "testing/AdminLogin.h"
#include "testing/PausedServer.h"
#include "testing/RefServer.h"
#include "testing/admin/PaintRecorder.h"
#include "testing/admin/WaitFor.h"

#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace korvel::test
{
namespace
{

using admin::BackgroundRunner;
using admin::JobContext;
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
    void WaitUntilIdle(int milliseconds = 10000)
    {
        ASSERT_TRUE(WaitFor([&] { return !runner->Busy(); }, milliseconds));
    }

    // Waits for the delivery of a job submitted now: the runner posts deliveries in order, so whatever the
    // jobs before it were to deliver has arrived by then.
    void WaitForLaterDeliveries()
    {
        bool delivered = false;
        ASSERT_TRUE(runner->Submit(
            &receiver, {.Kind = Priority::Background}, [](JobContext&) {}, [&] { delivered = true; },
            [](std::exception_ptr) { ADD_FAILURE() << "the later job failed"; }));
        ASSERT_TRUE(WaitFor([&] { return delivered; }));
    }

    // A job that asks the server `requests` times, checking for cancellation before each, and counts them.
    std::function<int(JobContext&)> Requests(int requests, std::atomic<int>& made)
    {
        return [this, requests, &made](JobContext& job)
        {
            for (int i = 0; i < requests; ++i)
            {
                job.Check();
                session->GetServerUpTime();
                ++made;
            }
            return requests;
        };
    }

    // Submits one request that the paused server never answers; `started` is set once it is on its way.
    std::shared_ptr<admin::Job> SubmitUnanswered(admin::JobOptions options, std::atomic<bool>& started,
                                                 std::exception_ptr& error)
    {
        return runner->Submit(
            &receiver, options,
            [&](JobContext&)
            {
                started = true;
                session->GetServerUpTime();
            },
            [] { ADD_FAILURE() << "a silent server answered"; },
            [&](std::exception_ptr failure) { error = failure; });
    }

    RefServer server;
    std::unique_ptr<TKORVELSession> session;
    std::unique_ptr<BackgroundRunner> runner;
    QObject receiver;
};

TEST_F(BackgroundRunnerTest, RunsOnTheWorkerAndDeliversOnTheUiThreadOnce)
{
    QThread* uiThread = QThread::currentThread();
    std::atomic<QThread*> workedOn = nullptr;
    std::vector<std::int32_t> results;
    std::vector<QThread*> deliveredOn;
    std::vector<bool> commandRunning;
    QObject::connect(runner.get(), &BackgroundRunner::commandRunningChanged, &receiver,
                     [&](bool running) { commandRunning.push_back(running); });

    ASSERT_TRUE(runner->Submit<std::int32_t>(
        &receiver, {},
        [&](JobContext&)
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
    WaitForLaterDeliveries(); // a second delivery would have arrived before it

    EXPECT_NE(workedOn.load(), uiThread);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0], server.MainPort());
    EXPECT_EQ(deliveredOn[0], uiThread);
    EXPECT_EQ(commandRunning, (std::vector<bool>{true, false}));
    // Nothing reaches a receiver that is gone.
    int lateDeliveries = 0;
    auto gone = std::make_unique<QObject>();
    ASSERT_TRUE(runner->Submit<int>(
        gone.get(), {}, [](JobContext&) { return 1; }, [&](int) { ++lateDeliveries; },
        [&](std::exception_ptr) { ++lateDeliveries; }));
    gone.reset();
    WaitUntilIdle();
    EXPECT_EQ(lateDeliveries, 0);
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
        &receiver, {},
        [&](JobContext&)
        {
            std::string password, description;
            bool administrator = false;
            session->GetServerUser("no-such-user", password, description, administrator);
        },
        [&] { ++done; }, collect));
    ASSERT_TRUE(runner->Submit<int>(
        &receiver, {}, [](JobContext&) -> int { throw std::runtime_error("job failed"); },
        [&](int) { ++done; }, collect));
    WaitUntilIdle();
    WaitForLaterDeliveries();

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
            &receiver, {},
            [&, job](JobContext&)
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

TEST_F(BackgroundRunnerTest, ACancelledJobLetsGoOfASilentServerAtOnceAndDeliversNothing)
{
    auto paused = std::make_unique<PausedServer>(server.Pid());
    std::atomic<bool> started = false;
    std::exception_ptr error;
    auto job = SubmitUnanswered({}, started, error);
    std::atomic<int> made = 0;
    int queuedDelivered = 0;
    auto queued = runner->Submit<int>(
        &receiver, {}, Requests(1, made), [&](int) { ++queuedDelivered; },
        [&](std::exception_ptr) { ++queuedDelivered; });
    ASSERT_TRUE(job && queued);
    ASSERT_TRUE(WaitFor([&] { return started.load(); }));

    job->Cancel();
    queued->Cancel();
    // The server still says nothing: only the cancel can have freed the worker.
    WaitUntilIdle(20000);
    WaitForLaterDeliveries();
    EXPECT_FALSE(error) << "a cancelled job delivered its error";
    EXPECT_EQ(queuedDelivered, 0);
    EXPECT_EQ(made.load(), 0) << "a cancelled job that was still queued ran";

    // The session survives: the next job re-connects once the server answers again.
    paused.reset();
    std::int32_t port = 0;
    ASSERT_TRUE(runner->Submit<std::int32_t>(
        &receiver, {}, [&](JobContext&) { return session->GetServerAdminPort(); },
        [&](std::int32_t value) { port = value; }, [](std::exception_ptr) { ADD_FAILURE() << "no answer"; }));
    WaitUntilIdle();
    EXPECT_EQ(port, server.AdminPort());
}

TEST_F(BackgroundRunnerTest, UserCommandsCutOffBackgroundWorkThatWaitsOnASilentServer)
{
    std::vector<bool> commandRunning;
    QObject::connect(runner.get(), &BackgroundRunner::commandRunningChanged, &receiver,
                     [&](bool running) { commandRunning.push_back(running); });
    auto paused = std::make_unique<PausedServer>(server.Pid());
    std::atomic<bool> started = false;
    std::exception_ptr backgroundError;
    ASSERT_TRUE(SubmitUnanswered({.Kind = Priority::Background}, started, backgroundError));
    ASSERT_TRUE(WaitFor([&] { return started.load(); }));
    // A second tick while the first waits is skipped.
    std::atomic<int> made = 0;
    EXPECT_FALSE(runner->Submit<int>(
        &receiver, {.Kind = Priority::Background}, Requests(1, made), [](int) {}, [](std::exception_ptr) {}));

    int userDone = 0;
    ASSERT_TRUE(runner->Submit<int>(
        &receiver, {}, [](JobContext&) { return 1; }, [&](int) { ++userDone; },
        [](std::exception_ptr) { ADD_FAILURE() << "user command failed"; }));
    WaitUntilIdle(20000);

    EXPECT_EQ(userDone, 1);
    // The pre-empted job says so, so that its owner tries again later.
    EXPECT_TRUE(admin::IsPreempted(backgroundError));
    EXPECT_EQ(commandRunning, (std::vector<bool>{true, false}));
    // Once idle, background work is taken again.
    paused.reset();
    EXPECT_TRUE(runner->Submit<int>(
        &receiver, {.Kind = Priority::Background}, Requests(1, made), [](int) {}, [](std::exception_ptr) {}));
    WaitUntilIdle();
    EXPECT_EQ(made.load(), 1);
}

TEST_F(BackgroundRunnerTest, ThePersonsCancelEndsTheWaitingCommandAndIsHeardOf)
{
    std::vector<admin::RunningCommand> heard;
    QObject::connect(runner.get(), &BackgroundRunner::cancelled, &receiver,
                     [&](const admin::RunningCommand& command) { heard.push_back(command); });
    PausedServer paused(server.Pid());
    std::atomic<bool> started = false;
    std::exception_ptr error;
    ASSERT_TRUE(SubmitUnanswered({.Waiting = "Saving bob", .Changes = true}, started, error));
    ASSERT_TRUE(WaitFor([&] { return started.load(); }));
    EXPECT_EQ(runner->CurrentCommand()->Waiting, "Saving bob");

    EXPECT_TRUE(runner->CancelCommands());
    WaitUntilIdle(20000);
    EXPECT_TRUE(admin::IsCancelledByPerson(error));
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].Waiting, "Saving bob");
    EXPECT_TRUE(heard[0].Changes);
    EXPECT_FALSE(runner->CancelCommands()) << "nothing left to cancel";
}

// The busy look (greyed buttons, the wait cursor) waits for a command that lasts: nothing the moment a
// command starts, the wait cursor once it has waited a while, and a repaint asked for meanwhile is never
// lost.
TEST_F(BackgroundRunnerTest, TheBusyLookComesOnlyWithACommandThatLastsAndNoRepaintIsLost)
{
    QWidget window;
    window.show();
    PaintRecorder::Flush();
    PaintRecorder painted(&window);
    for (const bool silentServer : {false, true})
    {
        SCOPED_TRACE(silentServer ? "a command that waits" : "a short command");
        auto paused = silentServer ? std::make_unique<PausedServer>(server.Pid()) : nullptr;
        bool ended = false;
        ASSERT_TRUE(runner->Submit(
            &receiver, {}, [&](JobContext&) { session->GetServerUpTime(); }, [&] { ended = true; },
            [&](std::exception_ptr) { ended = true; }));
        EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "a wait cursor the moment the command started";
        painted.Clear();
        window.update();
        if (silentServer)
        {
            EXPECT_TRUE(WaitFor(
                []
                {
                    const QCursor* cursor = QApplication::overrideCursor();
                    return cursor && cursor->shape() == Qt::WaitCursor;
                },
                10000));
            EXPECT_TRUE(WaitFor([&] { return painted.Paints() > 0; }, 10000)) << "no paint while it waits";
            EXPECT_FALSE(ended);
            runner->CancelCommands();
        }
        WaitUntilIdle(20000);
        EXPECT_TRUE(ended);
        EXPECT_TRUE(WaitFor([&] { return painted.Paints() > 0; })) << "the repaint asked for was lost";
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }
}

TEST_F(BackgroundRunnerTest, AJobAsksThePersonOnTheUiThread)
{
    QThread* uiThread = QThread::currentThread();
    std::atomic<QThread*> askedOn = nullptr;
    bool answer = false;
    ASSERT_TRUE(runner->Submit<bool>(
        &receiver, {.NeedsLogin = false},
        [&](JobContext& job)
        {
            return job.AskOwner(
                [&]
                {
                    askedOn = QThread::currentThread();
                    return true;
                });
        },
        [&](bool given) { answer = given; }, [](std::exception_ptr) { ADD_FAILURE() << "asking failed"; }));
    WaitUntilIdle();
    EXPECT_TRUE(answer);
    EXPECT_EQ(askedOn.load(), uiThread);
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
    // A job that logs out makes the job queued behind it fail instead of logging in again. It logs out only
    // once the second is queued: a worker quicker than this thread would otherwise find nothing behind it.
    int secondRan = 0;
    std::vector<std::string> errors;
    std::promise<void> secondQueued;
    ASSERT_TRUE(runner->Submit(
        &receiver, {},
        [&, queued = secondQueued.get_future().share()](JobContext&)
        {
            queued.wait_for(std::chrono::seconds(30));
            session->SetActive(false);
        },
        [] {}, [](std::exception_ptr) { ADD_FAILURE() << "logout failed"; }));
    ASSERT_TRUE(runner->Submit(
        &receiver, {}, [&](JobContext&) { ++secondRan; }, [] {},
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
    secondQueued.set_value();
    WaitUntilIdle();
    EXPECT_EQ(secondRan, 0);
    EXPECT_EQ(errors, (std::vector<std::string>{"Not logged in to a server"}));

    // Nothing that needs a login is taken while inactive.
    EXPECT_FALSE(runner->Submit(
        &receiver, {}, [&](JobContext&) { session->GetServerUpTime(); }, [] {}, [](std::exception_ptr) {}));
    EXPECT_FALSE(runner->Submit(
        &receiver, {.Kind = Priority::Background}, [&](JobContext&) { session->GetServerUpTime(); }, [] {},
        [](std::exception_ptr) {}));
    EXPECT_FALSE(runner->Busy());
    EXPECT_FALSE(session->Active());
    EXPECT_EQ(prompts, 0);
}

} // namespace
} // namespace korvel::test
