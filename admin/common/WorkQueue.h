// WorkQueue: the core of the window's one road to the server, without Qt. One worker thread runs jobs one at
// a time; each job's outcome comes back exactly once on the owner's thread through the poster it was given.
// The rules:
// - User commands go before background work. A user command pre-empts background work: the running job's call
//   is cut off at once and every background job, running or queued, ends with JobPreempted, so its owner can
//   try again later. Background work is refused while anything is queued or running.
// - Each job has its own interrupt: cancelling a job ends the server call it waits in at once (the session
//   re-connects on the next call). Job::Cancel() and CancelAll() deliver nothing for the jobs they end;
//   CancelCommands() (the person's Cancel) ends the user commands with CommandCancelled.
// - Jobs that need a login are refused while the session is inactive, and end with SessionInactiveError
//   when it went inactive while they waited.
// - The work may post partial results (Post) and ask the person (AskOwner) on the owner's thread; neither
//   arrives once the job has ended.
// Everything but the work itself, Post and AskOwner runs on the owner's thread.
#pragma once

#include "engine/CallLimits.h"
#include "engine/wire/EngineError.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

namespace korvel::admin
{

enum class Priority
{
    User,      // a command the person gave
    Background // a repeated or long read: pre-empted by any command, refused while the queue is busy
};

// A job that needed a login found the session inactive.
class SessionInactiveError : public std::runtime_error
{
public:
    SessionInactiveError()
        : std::runtime_error("Not logged in to a server") {} // untranslated: shown through Command.cpp
};

// Background work stopped by a user command.
class JobPreempted : public EAbort
{
};

// A user command the person cancelled.
class CommandCancelled : public EAbort
{
};

// Whether `error` is one of the silent ends (EAbort and its kinds).
bool IsAbort(std::exception_ptr error);
bool IsPreempted(std::exception_ptr error);
bool IsCancelledByPerson(std::exception_ptr error);

// A job's own cancellation: a flag for the work's checks and an interrupt for the call under way.
class CancelToken
{
public:
    CancelToken() : interrupt_(std::make_shared<CallInterrupt>()) {}
    bool Cancelled() const { return interrupt_->Cancelled(); }
    void Cancel() { interrupt_->Cancel(); }
    const std::shared_ptr<CallInterrupt>& Interrupt() const { return interrupt_; }

private:
    std::shared_ptr<CallInterrupt> interrupt_;
};

class WorkQueue;
struct JobState;

// What the work sees on the worker thread.
class JobContext
{
public:
    JobContext(WorkQueue& queue, std::shared_ptr<JobState> job) : queue_(queue), job_(std::move(job)) {}
    // Before each request: raises EAbort when the job was cancelled or pre-empted, SessionInactiveError when
    // it needs a login and the session went inactive.
    void Check() const;
    // Runs `onOwnerThread` later on the owner's thread, in order, before the job's outcome, unless the job
    // has ended by then.
    void Post(std::function<void()> onOwnerThread) const;
    // Runs `ask` on the owner's thread and waits for its answer; false when the job is cancelled meanwhile.
    bool AskOwner(std::function<bool()> ask) const;
    // For a session of the job's own (not the window's): the job's cancel ends its calls too.
    CallLimits Limits() const;

private:
    WorkQueue& queue_;
    std::shared_ptr<JobState> job_;
};

// The owner's handle on a submitted job.
class Job
{
public:
    explicit Job(std::shared_ptr<JobState> state) : state_(std::move(state)) {}
    // Ends the job at once (its call is cut off) and drops everything it would deliver.
    void Cancel();
    // Drops what it would deliver and lets a running call finish; a queued job does not start.
    void Drop();
    // Queued or running, and neither delivered nor dropped.
    bool Pending() const;

private:
    std::shared_ptr<JobState> state_;
};

struct JobOptions
{
    Priority Kind = Priority::User;
    bool NeedsLogin = true;
    // User commands: what the person waits for ("Logging in to db1:12006..."); empty: the server.
    std::string Waiting = {};
    // A user command that changes the server: when cancelled, it may have been made.
    bool Changes = false;
    // On the worker: the work; returns what to run on the owner's thread when it succeeded. Raises on
    // failure.
    std::function<std::function<void()>(JobContext&)> Run = {};
    // On the owner's thread: the failure (JobPreempted, CommandCancelled, SessionInactiveError, or what the
    // work raised).
    std::function<void(std::exception_ptr)> Failed = {};
};

// What the person's wait indicator shows about the command that runs.
struct RunningCommand
{
    std::string Waiting = {};
    bool Changes = false;
    std::chrono::steady_clock::time_point Since;
};

class WorkQueue
{
public:
    using Poster = std::function<void(std::function<void()>)>;
    // `post` runs a call later on the owner's thread. `sessionActive` tells whether the session is logged in;
    // `useLimits` hands a job's limits to the session before the job runs (on the worker).
    WorkQueue(Poster post, std::function<bool()> sessionActive,
              std::function<void(const CallLimits&)> useLimits);
    // Cancels everything, waits for the worker to let go, and delivers nothing more.
    ~WorkQueue();
    WorkQueue(const WorkQueue&) = delete;
    WorkQueue& operator=(const WorkQueue&) = delete;

    // Queues the job; null (nothing runs) when refused: a job that needs a login while the session is
    // inactive, or background work while the queue is busy.
    std::shared_ptr<Job> Submit(JobOptions options);
    // Ends every job; none delivers anything (logout, exit).
    void CancelAll();
    // The person's Cancel: the running user command ends at once and queued ones are dropped, each ending
    // with CommandCancelled. Whether one was running.
    bool CancelCommands();

    bool Busy() const { return pending_[0] + pending_[1] > 0; }
    bool CommandRunning() const { return pending_[int(Priority::User)] > 0; }
    // The user command on the worker now, or the next one queued; empty when none.
    std::optional<RunningCommand> CurrentCommand() const;
    // On the worker: asks the person through the user command running now, as its JobContext::AskOwner does;
    // false when background work runs (it never asks) or the command is cancelled meanwhile. For a question
    // the session raises deep inside a call, such as an SSH secret needed again on re-connecting.
    bool AskThroughRunningCommand(std::function<bool()> ask);
    // Called with CommandRunning() each time it changes; one watcher (the owner), which may submit or cancel.
    void SetCommandWatch(std::function<void(bool running)> changed) { commandsChanged_ = std::move(changed); }

private:
    friend class JobContext;

    void WorkerLoop();
    void Finish(const std::shared_ptr<JobState>& job, std::function<void()> delivery);
    void EndQueued(const std::shared_ptr<JobState>& job, std::exception_ptr error);
    void CountPending(Priority priority, int change);
    bool AskOwner(const std::shared_ptr<JobState>& job, std::function<bool()> ask);

    Poster post_;
    std::function<bool()> sessionActive_;
    std::function<void(const CallLimits&)> useLimits_;
    // On the owner's thread only.
    int pending_[2] = {0, 0}; // by priority: queued, running or awaiting delivery
    std::function<void(bool)> commandsChanged_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::shared_ptr<JobState>> queue_;
    std::shared_ptr<JobState> running_;
    bool stopping_ = false;
    std::thread worker_;
};

} // namespace korvel::admin
