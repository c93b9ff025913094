// BackgroundRunner: the one road from the window to the server while logged in. Every session call takes the
// process-wide session lock, so a user-interface thread that made one would freeze for as long as the slowest
// request (up to the 300 s time-out). The rules:
// - One worker thread, one queue: jobs run one at a time, so two requests never conflict and the
// user-interface
//   thread never takes the session lock.
// - A job's result or error comes back on the user-interface thread by a queued call, exactly once. Nothing
// is
//   delivered after Cancel() for the jobs it cancelled, nor after the runner is destroyed.
// - Cancellation is checked between requests: a job calls token.Check() before each request it makes.
// - User commands go before background work: they are queued ahead of it, and a running background job is
//   pre-empted: it stops at its next request and its error handler gets EAbort, so that its owner can try
//   again later. A background job is skipped (Submit returns false) while anything is queued or running, so
//   a slow server never piles up ticks.
// - While the session is inactive the runner refuses work (Submit returns false, and a queued job fails with
//   SessionInactiveError): activating on the worker would open the login prompt off the user-interface
//   thread.
// - Trace lines a job produces are written on the worker, so the trace writer must be guarded (TraceFile is).
// - A command that reads on as if it called the session itself uses Await: the call runs as a user command
//   while the caller waits in a local event loop that paints, resizes and runs timers but holds the person's
//   clicks and keys back until the call is done, so no command ever starts inside another.
//
// Use:
//   runner.Submit<int>(Priority::User,
//       [&session](CancelToken& token) { token.Check(); return session.GetServerSessionCount(); },
//       [this](int count) { ... on the UI thread ... },
//       [this](std::exception_ptr error) { ... on the UI thread ... });
#pragma once

#include <QObject>
#include <QPointer>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

namespace korvel
{
class TKORVELSession;
}

namespace korvel::admin
{

enum class Priority
{
    User,      // a command the user gave: queued ahead of background work
    Background // a repeated refresh: skipped while the queue is busy
};

// Raised by CancelToken::Check (and for a queued job) when the session is no longer active.
class SessionInactiveError : public std::runtime_error
{
public:
    SessionInactiveError() : std::runtime_error("Not logged in to a server") {}
};

// Whether `error` is the cancellation EAbort (a pre-empted or cancelled job, a cancelled prompt).
bool IsAbort(std::exception_ptr error);

// What a job polls between its requests.
class CancelToken
{
public:
    explicit CancelToken(std::function<bool()> sessionActive) : sessionActive_(std::move(sessionActive)) {}
    bool Cancelled() const { return cancelled_; }
    void Cancel() { cancelled_ = true; }
    // Raises EAbort when cancelled and SessionInactiveError when the session went inactive.
    void Check() const;

private:
    std::atomic<bool> cancelled_ = false;
    std::function<bool()> sessionActive_;
};

class BackgroundRunner : public QObject
{
public:
    using ErrorHandler = std::function<void(std::exception_ptr error)>;

    // `session` is used only to ask whether it is active; jobs capture what they call themselves.
    explicit BackgroundRunner(TKORVELSession& session, QObject* parent = nullptr);
    // Cancels everything, waits for the running job's current request to end, and delivers nothing more.
    ~BackgroundRunner() override;
    BackgroundRunner(const BackgroundRunner&) = delete;
    BackgroundRunner& operator=(const BackgroundRunner&) = delete;

    // Queues `work`; `onDone(result)` or `onError(error)` runs later on this object's thread, once. Returns
    // false, running nothing, when the session is inactive or when background work finds the queue busy.
    template <typename Result>
    bool Submit(Priority priority, std::function<Result(CancelToken&)> work,
                std::function<void(Result)> onDone, ErrorHandler onError);
    // As above for work without a result.
    bool Submit(Priority priority, std::function<void(CancelToken&)> work, std::function<void()> onDone,
                ErrorHandler onError);

    // Runs `call` as a user command and returns its result once it is back, turning the event loop meanwhile
    // (see the rules above). Raises the call's error, SessionInactiveError when the session is inactive, and
    // EAbort when Cancel() dropped the call. Only from this object's thread.
    template <typename Call> auto Await(Call call) -> decltype(call());

    // Cancels the running job (at its next Check) and drops the queued ones; none of them delivers anything.
    void Cancel();
    // A job is queued or running (until its delivery has run).
    bool Busy() const { return pending_[0] + pending_[1] > 0; }
    // A user command is queued or running: pages disable their command controls meanwhile.
    bool CommandRunning() const { return pending_[int(Priority::User)] > 0; }
    // Calls `changed(CommandRunning())` on this object's thread each time it changes, for as long as
    // `receiver` lives. Several pages and the window watch the same runner.
    void WatchCommands(QObject* receiver, std::function<void(bool running)> changed);

private:
    struct Job
    {
        Priority JobPriority;
        int Generation; // the Cancel() count when queued: a later Cancel() drops the delivery
        // Runs on the worker; returns the delivery to run on this object's thread.
        std::function<std::function<void()>(CancelToken&)> Run;
        std::shared_ptr<CancelToken> Token;
    };

    void RunAndWait(std::function<void()> call);
    bool Enqueue(Priority priority, std::function<std::function<void()>(CancelToken&)> run);
    void WorkerLoop();
    void Deliver(Priority priority, int generation, std::function<void()> delivery);
    void CountPending(Priority priority, int change);

    TKORVELSession& session_;
    // On this object's thread only.
    int pending_[2] = {0, 0}; // by priority: queued, running or awaiting delivery
    int generation_ = 0;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> queue_;
    std::vector<std::pair<QPointer<QObject>, std::function<void(bool)>>> commandWatchers_;
    std::shared_ptr<CancelToken> running_;
    Priority runningPriority_ = Priority::User;
    bool stopping_ = false;
    std::thread worker_;
};

template <typename Result>
bool BackgroundRunner::Submit(Priority priority, std::function<Result(CancelToken&)> work,
                              std::function<void(Result)> onDone, ErrorHandler onError)
{
    return Enqueue(priority,
                   [work = std::move(work), onDone = std::move(onDone),
                    onError = std::move(onError)](CancelToken& token) -> std::function<void()>
                   {
                       try
                       {
                           token.Check(); // refuses a job whose session went inactive while it waited
                           auto result = std::make_shared<Result>(work(token));
                           return [onDone, result] { onDone(std::move(*result)); };
                       }
                       catch (...)
                       {
                           return [onError, error = std::current_exception()] { onError(error); };
                       }
                   });
}

template <typename Call> auto BackgroundRunner::Await(Call call) -> decltype(call())
{
    using Result = decltype(call());
    if constexpr (std::is_void_v<Result>)
        RunAndWait(std::move(call));
    else
    {
        std::optional<Result> result;
        RunAndWait([&result, &call] { result.emplace(call()); });
        return std::move(*result);
    }
}

} // namespace korvel::admin
