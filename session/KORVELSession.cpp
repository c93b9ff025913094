#include "session/KORVELSession.h"

#include "engine/Engine.h"
#include "engine/wire/EngineError.h"
#include "engine/wire/Utf8.h"
#include "session/ScopeExit.h"
#include "session/SessionErrors.h"
#include "session/SessionList.h"

#include <stdexcept>

namespace korvel
{

namespace
{

std::string Cut(const std::string& text)
{
    return std::string(CutUtf8(text));
}

// A failure while cleaning up after a failure must not hide the first one.
template <typename Cleanup> void IgnoringFailures(Cleanup&& cleanup)
{
    try
    {
        cleanup();
    }
    catch (...)
    {
    }
}

} // namespace

TKORVELSession::TKORVELSession(TComponent* owner) : TComponent(owner), list_(Sessions())
{
    if (!list_)
        throw std::logic_error("CreateSessions() must be called before a session is constructed");
    if (OwnerHoldsOtherSession(true))
        throw EDatabaseError(std::string(SessionError::AutoSessionExists));
    list_->AddSession(this);
}

TKORVELSession::~TKORVELSession()
{
    IgnoringFailures([this] { Deactivate(); });
    // The number is given back: a destroyed session no longer uses its name.
    if (autoSessionNumber_ >= 0)
        list_->ReleaseAutoSessionNumber(autoSessionNumber_);
    list_->RemoveSession(this);
}

// --- Activation -------------------------------------------------------------------------------------------

void TKORVELSession::SetActive(bool active)
{
    if (Reading())
    {
        streamedActive_ = active;
        return;
    }
    if (active)
        Activate();
    else
        Deactivate();
}

void TKORVELSession::Loaded()
{
    TComponent::Loaded();
    if (streamedActive_)
        SetActive(true);
}

void TKORVELSession::Activate()
{
    std::lock_guard guard(list_->SessionListLock());
    if (Active())
        return;
    // An OnStartup handler that uses the session would otherwise activate it again from inside itself.
    if (activating_)
        throw EDatabaseError(std::string(SessionError::InactiveSession));
    activating_ = true;
    ScopeExit activated([this] { activating_ = false; });
    if (onStartup_)
        onStartup_(*this);
    if (sessionName_.empty())
        throw EDatabaseError(std::string(SessionError::NameMissing));

    TDataSession* dataSession = nullptr;
    if (isDefault_)
    {
        StartEngine();
        dataSession = GetCurrentDataSession();
    }
    else
    {
        if (TKORVELSession* defaultSession = list_->Default())
            defaultSession->Activate();
        ownDataSession_ = std::make_unique<TDataSession>();
        dataSession = ownDataSession_.get();
    }
    dataSession_ = dataSession;
    remoteSessionLost_ = false;
    lastInterruption_ = Interruption::None;

    try
    {
        ActivateDataSession(*dataSession);
    }
    catch (...)
    {
        lastInterruption_ = dataSession->LastInterruption();
        IgnoringFailures([this] { Deactivate(); });
        throw;
    }
}

void TKORVELSession::ActivateDataSession(TDataSession& dataSession)
{
    dataSession.SetCallLimits(callLimits_);
    dataSession.SetPrivateDir(privateDir_);
    dataSession.SetStrictChangeDetection(strictChangeDetection_);
    dataSession.SetForceBufferFlush(forceBufferFlush_);
    dataSession.SetLockRetryCount(lockRetryCount_);
    dataSession.SetLockWaitTime(lockWaitTime_);
    dataSession.SetLockProtocol(static_cast<std::uint8_t>(lockProtocol_));
    dataSession.SetProgressSteps(progressSteps_);

    if (sessionType_ != stRemote)
    {
        dataSession.SetRemote(false);
        return;
    }
    // The remote session is new at each activation: without SSH it keeps its own (TCP) transports.
    dataSession.SetConnection(connection_, sshPrompt_);
    dataSession.SetTrace(remoteTrace_);
    dataSession.SetUserName(CutUtf8(remoteUser_));
    dataSession.SetPassword(CutUtf8(remotePassword_));
    dataSession.SetRemote(true);
    dataSession.Connect();
    // Attached after Connect: the lines of the connection and its CONNECTPARAMS exchange reach no handler.
    dataSession.SetTraceSink([this](const std::string& line) { DeliverTrace(line); });
    dataSession.SetTraceRecordSink(
        [this](const TraceRecord& record)
        {
            std::lock_guard guard(list_->SessionListLock());
            if (onRemoteTraceRecord_)
                onRemoteTraceRecord_(*this, record);
        });
    LoginRemote(dataSession);
}

void TKORVELSession::LoginRemote(TDataSession& dataSession)
{
    dataSession.SetCredentialProvider([this](std::string& userName, std::string& password)
                                      { return ProvideCredentials(userName, password); });
    ScopeExit detach([&dataSession] { dataSession.SetCredentialProvider(nullptr); });
    dataSession.Login();
    dataSession.SendSessionParams();
}

void TKORVELSession::Deactivate()
{
    std::lock_guard guard(list_->SessionListLock());
    TDataSession* dataSession = dataSession_;
    if (!dataSession)
        return;
    SetCurrentDataSession(dataSession);

    // The remote session is released even when LOGOUT fails, so the session never stays half active; the
    // failure is raised afterwards.
    std::exception_ptr logoutFailure;
    if (sessionType_ == stRemote)
    {
        try
        {
            dataSession->Logout();
        }
        catch (...)
        {
            logoutFailure = std::current_exception();
        }
        dataSession->SetTraceSink(nullptr);
        dataSession->SetTraceRecordSink(nullptr);
    }
    dataSession_ = nullptr;
    if (isDefault_)
    {
        StopEngine();
    }
    else
    {
        ownDataSession_.reset();
        TKORVELSession* defaultSession = list_->Default();
        SetCurrentDataSession(defaultSession ? defaultSession->DataSession() : nullptr);
    }
    if (logoutFailure)
        std::rethrow_exception(logoutFailure);
}

// --- Session lock -----------------------------------------------------------------------------------------

void TKORVELSession::LockSession()
{
    // The owner is compared per thread: a count above zero held by another thread must not let this one in.
    if (lockOwner_.load() == std::this_thread::get_id())
    {
        ++lockCount_;
        return;
    }
    std::recursive_mutex& sessionListLock = list_->SessionListLock();
    sessionListLock.lock();
    lockOwner_ = std::this_thread::get_id();
    lockCount_ = 1;
    try
    {
        if (TDataSession* dataSession = dataSession_)
            SetCurrentDataSession(dataSession);
        else
            Activate();
    }
    catch (...)
    {
        lockCount_ = 0;
        lockOwner_ = std::thread::id();
        sessionListLock.unlock();
        throw;
    }
}

void TKORVELSession::UnlockSession()
{
    if (lockOwner_.load() != std::this_thread::get_id() || lockCount_ == 0)
        return; // not held by this thread: nothing to release
    if (--lockCount_ == 0)
    {
        lockOwner_ = std::thread::id();
        list_->SessionListLock().unlock();
    }
}

// --- Properties -------------------------------------------------------------------------------------------

void TKORVELSession::SetCallLimits(CallLimits limits)
{
    std::lock_guard guard(list_->SessionListLock());
    callLimits_ = std::move(limits);
    if (TDataSession* dataSession = dataSession_)
        dataSession->SetCallLimits(callLimits_);
}

void TKORVELSession::CheckInactive() const
{
    if (Active())
        throw EDatabaseError(std::string(SessionError::ActiveSession));
}

template <typename T> void TKORVELSession::StoreIfInactive(T& stored, T value)
{
    std::lock_guard guard(list_->SessionListLock());
    CheckInactive();
    stored = std::move(value);
}

template <typename T, typename Apply> void TKORVELSession::PassOn(T& stored, T value, Apply apply)
{
    std::lock_guard guard(list_->SessionListLock());
    if (!Active())
    {
        stored = std::move(value);
        return;
    }
    LockSession();
    ScopeExit unlock([this] { UnlockSession(); });
    if (stored == value)
        return;
    stored = std::move(value);
    apply(*dataSession_.load(), stored);
}

void TKORVELSession::SetForceBufferFlush(bool value)
{
    PassOn(forceBufferFlush_, value, [](TDataSession& ds, bool v) { ds.SetForceBufferFlush(v); });
}

void TKORVELSession::SetLockRetryCount(std::uint8_t value)
{
    PassOn(lockRetryCount_, value, [](TDataSession& ds, std::uint8_t v) { ds.SetLockRetryCount(v); });
}

void TKORVELSession::SetLockWaitTime(std::uint16_t value)
{
    PassOn(lockWaitTime_, value, [](TDataSession& ds, std::uint16_t v) { ds.SetLockWaitTime(v); });
}

void TKORVELSession::SetLockProtocol(TLockProtocol value)
{
    PassOn(lockProtocol_, value,
           [](TDataSession& ds, TLockProtocol v) { ds.SetLockProtocol(static_cast<std::uint8_t>(v)); });
}

void TKORVELSession::SetPrivateDir(const std::string& value)
{
    PassOn(privateDir_, value, [](TDataSession& ds, const std::string& v) { ds.SetPrivateDir(v); });
}

void TKORVELSession::SetProgressSteps(std::uint16_t value)
{
    if (value > 100)
        return;
    PassOn(progressSteps_, value, [](TDataSession& ds, std::uint16_t v) { ds.SetProgressSteps(v); });
}

void TKORVELSession::SetStrictChangeDetection(bool value)
{
    PassOn(strictChangeDetection_, value, [](TDataSession& ds, bool v) { ds.SetStrictChangeDetection(v); });
}

void TKORVELSession::SetRemoteTrace(bool value)
{
    PassOn(remoteTrace_, value, [](TDataSession& ds, bool v) { ds.SetTrace(v); });
}

void TKORVELSession::SetSessionType(TSessionType value)
{
    StoreIfInactive(sessionType_, value);
}

void TKORVELSession::SetConnection(const ConnectionDescription& value)
{
    StoreIfInactive(connection_, value);
}

void TKORVELSession::SetRemoteType(TRemoteType value)
{
    StoreIfInactive(connection_.Internet, value == rtInternet);
}

void TKORVELSession::SetRemoteHost(const std::string& value)
{
    StoreIfInactive(connection_.Host, value);
}

void TKORVELSession::SetRemoteAddress(const std::string& value)
{
    StoreIfInactive(connection_.Address, value);
}

void TKORVELSession::SetRemotePort(std::int32_t value)
{
    StoreIfInactive(connection_.Port, value);
}

void TKORVELSession::SetRemoteService(const std::string& value)
{
    StoreIfInactive(connection_.Service, value);
}

void TKORVELSession::SetRemoteUser(const std::string& value)
{
    StoreIfInactive(remoteUser_, value);
}

void TKORVELSession::SetRemotePassword(const std::string& value)
{
    StoreIfInactive(remotePassword_, value);
}

void TKORVELSession::SetSsh(const SshSettings& value)
{
    StoreIfInactive(connection_.Ssh, value);
}

// --- Names ------------------------------------------------------------------------------------------------

bool TKORVELSession::OwnerHoldsOtherSession(bool autoSessionsOnly) const
{
    if (!Owner())
        return false;
    for (TComponent* component : Owner()->Components())
    {
        auto* session = dynamic_cast<TKORVELSession*>(component);
        if (session && session != this && (!autoSessionsOnly || session->autoSessionName_))
            return true;
    }
    return false;
}

std::string TKORVELSession::SessionName() const
{
    std::lock_guard guard(list_->SessionListLock());
    return sessionName_;
}

void TKORVELSession::SetSessionName(const std::string& name)
{
    if (autoSessionName_)
        throw EDatabaseError(std::string(SessionError::ActiveAutoSession));
    StoreSessionName(name);
}

void TKORVELSession::StoreSessionName(const std::string& name)
{
    std::lock_guard guard(list_->SessionListLock());
    CheckInactive();
    if (!name.empty())
    {
        TKORVELSession* other = list_->FindSession(name);
        if (other && other != this)
            throw EDatabaseError(SessionError::WithName(SessionError::NameExists, name));
    }
    sessionName_ = name;
}

void TKORVELSession::SetAutoSessionName(bool on)
{
    std::lock_guard guard(list_->SessionListLock());
    if (on == autoSessionName_)
        return;
    if (!on)
    {
        autoSessionName_ = false;
        list_->ReleaseAutoSessionNumber(autoSessionNumber_);
        autoSessionNumber_ = -1;
        return;
    }
    CheckInactive();
    if (OwnerHoldsOtherSession(false))
        throw EDatabaseError(std::string(SessionError::OnlyActiveAutoSession));
    autoSessionNumber_ = list_->TakeAutoSessionNumber();
    autoSessionName_ = true;
    try
    {
        ApplyAutoSessionName();
    }
    catch (...)
    {
        // A refused name leaves the session as it was, its number free again.
        list_->ReleaseAutoSessionNumber(autoSessionNumber_);
        autoSessionNumber_ = -1;
        autoSessionName_ = false;
        throw;
    }
}

void TKORVELSession::ApplyAutoSessionName()
{
    StoreSessionName(Name() + "_" + std::to_string(autoSessionNumber_ + 1));
}

std::string TKORVELSession::Name() const
{
    std::lock_guard guard(list_->SessionListLock());
    return TComponent::Name();
}

void TKORVELSession::SetName(const std::string& name)
{
    std::lock_guard guard(list_->SessionListLock());
    TComponent::SetName(name);
    if (autoSessionName_)
        ApplyAutoSessionName();
}

// --- Events -----------------------------------------------------------------------------------------------

bool TKORVELSession::ProvideCredentials(std::string& userName, std::string& password)
{
    // Whatever the handler or prompt leaves behind, also when it raises, goes back cut to the protocol's
    // size.
    ScopeExit cut(
        [&]
        {
            userName = Cut(userName);
            password = Cut(password);
        });
    std::lock_guard guard(list_->SessionListLock());
    bool continueLogin = true;
    if (onRemoteLogin_)
        onRemoteLogin_(*this, userName, password, continueLogin);
    else
        continueLogin = RemoteLoginDialog(userName, password);
    return continueLogin;
}

void TKORVELSession::DeliverTrace(const std::string& line)
{
    std::lock_guard guard(list_->SessionListLock());
    if (onRemoteTrace_)
        onRemoteTrace_(*this, line);
}

template <typename Handler> Handler TKORVELSession::ReadEvent(const Handler& handler) const
{
    std::lock_guard guard(list_->SessionListLock());
    return handler;
}

template <typename Handler> void TKORVELSession::WriteEvent(Handler& handler, Handler value)
{
    std::lock_guard guard(list_->SessionListLock());
    handler = std::move(value);
}

TNotifyEvent TKORVELSession::OnStartup() const
{
    return ReadEvent(onStartup_);
}

void TKORVELSession::SetOnStartup(TNotifyEvent handler)
{
    WriteEvent(onStartup_, std::move(handler));
}

TKORVELPasswordEvent TKORVELSession::OnPassword() const
{
    return ReadEvent(onPassword_);
}

void TKORVELSession::SetOnPassword(TKORVELPasswordEvent handler)
{
    WriteEvent(onPassword_, std::move(handler));
}

TLoginEvent TKORVELSession::OnRemoteLogin() const
{
    return ReadEvent(onRemoteLogin_);
}

void TKORVELSession::SetOnRemoteLogin(TLoginEvent handler)
{
    WriteEvent(onRemoteLogin_, std::move(handler));
}

TTraceEvent TKORVELSession::OnRemoteTrace() const
{
    return ReadEvent(onRemoteTrace_);
}

void TKORVELSession::SetOnRemoteTrace(TTraceEvent handler)
{
    WriteEvent(onRemoteTrace_, std::move(handler));
}

TTraceRecordEvent TKORVELSession::OnRemoteTraceRecord() const
{
    return ReadEvent(onRemoteTraceRecord_);
}

void TKORVELSession::SetOnRemoteTraceRecord(TTraceRecordEvent handler)
{
    WriteEvent(onRemoteTraceRecord_, std::move(handler));
}

SshPromptFunction TKORVELSession::SshPrompt() const
{
    return ReadEvent(sshPrompt_);
}

void TKORVELSession::SetSshPrompt(SshPromptFunction prompt)
{
    WriteEvent(sshPrompt_, std::move(prompt));
}

} // namespace korvel
