// TKORVELSession: the component through which a program reaches a KORVEL server. It holds the connection
// settings and session parameters as properties, owns (or, as the "Default" session, borrows) the remote
// session while it is active, serialises every use of the engine behind the process-wide session lock, and
// turns the remote session's credential provider and trace sink into events. The administration methods take
// the lock, convert their arguments, call one TDataSession operation and release the lock.
#pragma once

#include "engine/ConnectionDescription.h"
#include "engine/DataSession.h"
#include "engine/SshSettings.h"
#include "session/Component.h"
#include "session/UserRights.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace korvel
{

enum TSessionType
{
    stLocal,
    stRemote
};
enum TRemoteType
{
    rtLAN,
    rtInternet
};
enum TLockProtocol
{
    lpPessimistic,
    lpOptimistic
};

class TKORVELSession;
class TKORVELSessionList;

using TNotifyEvent = std::function<void(TKORVELSession& sender)>;
using TKORVELPasswordEvent = std::function<void(TKORVELSession& sender, bool& continueLogin)>;
using TLoginEvent = std::function<void(TKORVELSession& sender, std::string& userName, std::string& password,
                                       bool& continueLogin)>;
using TTraceEvent = std::function<void(TKORVELSession& sender, const std::string& traceMessage)>;
// Beside each trace line: its facts as numbers (see TraceRecord). Called on the thread of the exchange.
using TTraceRecordEvent = std::function<void(TKORVELSession& sender, const TraceRecord& record)>;

// The remote login prompt, asked when a session needs credentials and has no OnRemoteLogin handler. The
// window replaces it with its Qt dialog; by default it cancels. Returns true on OK (both strings then hold
// the entered values); on false both are left unchanged.
using RemoteLoginDialogFunction = std::function<bool(std::string& userName, std::string& password)>;
void SetRemoteLoginDialog(RemoteLoginDialogFunction dialog);
bool RemoteLoginDialog(std::string& userName, std::string& password);

// What a session asks the person while it connects through an SSH server (see TKORVELSession::SetSshPrompt).
using SshPromptFunction = std::function<bool(const SshQuestion& question, std::string& answer)>;

class TKORVELSession : public TComponent
{
public:
    // Registers with Sessions(), which must exist (CreateSessions). Raises "This auto-session already
    // exists." when the owner holds an auto-session. A session with an owner must be allocated with new: the
    // owner frees it.
    explicit TKORVELSession(TComponent* owner = nullptr);
    ~TKORVELSession() override;

    // --- Published properties (defaults as constructed) --------------------------------------------------
    std::string EngineVersion() const { return "3.21"; }
    bool Active() const { return dataSession_ != nullptr; }
    void SetActive(bool active);
    bool AutoSessionName() const { return autoSessionName_; }
    void SetAutoSessionName(bool on);
    bool ForceBufferFlush() const { return forceBufferFlush_; }
    void SetForceBufferFlush(bool value);
    bool KeepConnections() const { return keepConnections_; }
    void SetKeepConnections(bool value) { keepConnections_ = value; }
    std::uint8_t LockRetryCount() const { return lockRetryCount_; }
    void SetLockRetryCount(std::uint8_t value);
    std::uint16_t LockWaitTime() const { return lockWaitTime_; }
    void SetLockWaitTime(std::uint16_t value);
    TLockProtocol LockProtocol() const { return lockProtocol_; }
    void SetLockProtocol(TLockProtocol value);
    const std::string& PrivateDir() const { return privateDir_; }
    void SetPrivateDir(const std::string& value);
    std::uint16_t ProgressSteps() const { return progressSteps_; }
    void SetProgressSteps(std::uint16_t value); // above 100: ignored
    std::string SessionName() const;
    void SetSessionName(const std::string& name);
    bool StrictChangeDetection() const { return strictChangeDetection_; }
    void SetStrictChangeDetection(bool value);
    TSessionType SessionType() const { return sessionType_; }
    void SetSessionType(TSessionType value);
    // Where, how and through what a remote session connects, taken whole; stored only while inactive, like
    // each of the published properties over it below.
    const ConnectionDescription& Connection() const { return connection_; }
    void SetConnection(const ConnectionDescription& value);
    TRemoteType RemoteType() const { return connection_.Internet ? rtInternet : rtLAN; }
    void SetRemoteType(TRemoteType value);
    const std::string& RemoteHost() const { return connection_.Host; }
    void SetRemoteHost(const std::string& value);
    const std::string& RemoteAddress() const { return connection_.Address; }
    void SetRemoteAddress(const std::string& value);
    std::int32_t RemotePort() const { return connection_.Port; }
    void SetRemotePort(std::int32_t value);
    const std::string& RemoteService() const { return connection_.Service; }
    void SetRemoteService(const std::string& value);
    bool RemoteTrace() const { return remoteTrace_; }
    void SetRemoteTrace(bool value);
    const std::string& RemoteUser() const { return remoteUser_; }
    void SetRemoteUser(const std::string& value);
    const std::string& RemotePassword() const { return remotePassword_; }
    void SetRemotePassword(const std::string& value);
    // The SSH server to reach the remote server through (a bastion); not Enabled() for a direct connection.
    // RemoteHost, RemoteAddress and RemotePort (or RemoteService, resolved here) are then as the SSH server
    // sees them, often 127.0.0.1. Stored only while inactive.
    const SshSettings& Ssh() const { return connection_.Ssh; }
    void SetSsh(const SshSettings& value);

    // The events and the names are read and written under the session lock, so a handler is never replaced
    // while another thread runs it. A handler runs with the lock held.
    TNotifyEvent OnStartup() const;
    void SetOnStartup(TNotifyEvent handler);
    TKORVELPasswordEvent OnPassword() const; // stored only
    void SetOnPassword(TKORVELPasswordEvent handler);
    TLoginEvent OnRemoteLogin() const;
    void SetOnRemoteLogin(TLoginEvent handler);
    TTraceEvent OnRemoteTrace() const;
    void SetOnRemoteTrace(TTraceEvent handler);
    TTraceRecordEvent OnRemoteTraceRecord() const;
    void SetOnRemoteTraceRecord(TTraceRecordEvent handler);

    // The SSH prompt, the third way a session reaches the person beside the login prompt: asked while the
    // session connects through an SSH server (its Ssh settings) when the SSH layer needs someone. For an
    // unknown host key (SshQuestion::Kind::UnknownHostKey: show the server, KeyType and Fingerprint) true
    // means "trust and remember it" in known_hosts; for a key's passphrase, an SSH password or a
    // keyboard-interactive prompt it returns the typed text in `answer`, or false to cancel the login (the
    // activation then ends in EAbort). Set by the session's owner: the window a Qt dialog, the CLI a terminal
    // prompt. Without one, an unknown host key is refused and no secret is asked (the methods that need one
    // are not tried). Read when the session activates; asked on the thread that activates or re-connects it,
    // with the session lock held.
    SshPromptFunction SshPrompt() const;
    void SetSshPrompt(SshPromptFunction prompt);

    std::string Name() const override;
    void SetName(const std::string& name) override;
    void Close() { SetActive(false); }

    // The session lock: re-entrant per thread; the first hold enters SessionListLock and activates an
    // inactive session.
    void LockSession();
    void UnlockSession();

    // The remote session in use, or null while inactive.
    TDataSession* DataSession() const { return dataSession_; }
    // True when the last administration method ended because the server refused to re-connect the active
    // remote session (it no longer knows it, after a restart for example), not because it could not be
    // reached. Safe to read from any thread without the session lock.
    bool RemoteSessionLost() const { return remoteSessionLost_; }
    bool IsDefault() const { return isDefault_; }

    // What ends this session's calls early (a cancel from another thread, a limit per call, a deadline; see
    // CallLimits): handed to the remote session now and at every activation, so it covers connecting and
    // logging in too. Set by the thread that makes the calls, between calls.
    void SetCallLimits(CallLimits limits);
    // Why the last administration method or activation ended early (None when it was not cut short). Safe to
    // read from any thread without the session lock.
    Interruption LastInterruption() const { return lastInterruption_; }

    // --- Administration methods ---------------------------------------------------------------------------
    void GetServerUserNames(StringList& list);
    void GetServerUser(const std::string& userName, std::string& password, std::string& description,
                       bool& administrator);
    void AddServerUser(const std::string& userName, const std::string& password,
                       const std::string& description, bool administrator);
    void ModifyServerUser(const std::string& userName, const std::string& password,
                          const std::string& description, bool administrator);
    void DeleteServerUser(const std::string& userName);

    void GetServerDatabaseNames(StringList& list);
    void GetServerDatabase(const std::string& databaseName, std::string& description, std::string& directory);
    void AddServerDatabase(const std::string& databaseName, const std::string& description,
                           const std::string& directory);
    void ModifyServerDatabase(const std::string& databaseName, const std::string& description,
                              const std::string& directory);
    void DeleteServerDatabase(const std::string& databaseName);

    void GetServerDatabaseUserNames(const std::string& databaseName, StringList& list);
    void GetServerDatabaseUser(const std::string& databaseName, const std::string& userName,
                               TUserRights& rights);
    void AddServerDatabaseUser(const std::string& databaseName, const std::string& userName,
                               TUserRights rights);
    void ModifyServerDatabaseUser(const std::string& databaseName, const std::string& userName,
                                  TUserRights rights);
    void DeleteServerDatabaseUser(const std::string& databaseName, const std::string& userName);

    // The nine configuration values as one record; the directory and both lists are emptied first, even when
    // the server refuses or the session is local.
    void GetServerConfig(ServerConfig& config);
    void ModifyServerConfig(const ServerConfig& config);
    void GetServerLog(StringList& lines);
    // The log as one block with its line positions, handed over without a copy; `log` is emptied first.
    void GetServerLogText(LogText& log);
    void StartServer();
    void StopServer();
    void GetServerEngineVersion(std::string& version);
    std::int32_t GetServerUpTime();
    double GetServerMemoryUsage();
    void GetServerName(std::string& name);
    void GetServerMainAddress(std::string& address);
    std::int32_t GetServerMainPort();
    void GetServerAdminAddress(std::string& address);
    std::int32_t GetServerAdminPort();
    std::int32_t GetServerSessionCount();
    std::int32_t GetServerConnectedSessionCount();
    // When not found, no out argument is changed. `internet` is the negation of the server's LAN flag.
    bool GetServerSessionInfo(std::int32_t sessionNumber, std::int32_t& serverSessionId, double& createdOn,
                              double& lastConnected, std::string& userName, std::string& userAddress,
                              bool& internet, std::string& disconnectedDetail);
    bool DisconnectServerSession(std::int32_t serverSessionId);
    bool RemoveServerSession(std::int32_t serverSessionId);

protected:
    void Loaded() override;

private:
    friend class TKORVELSessionList; // marks the session registered into an empty list as the default one

    void Activate();
    void ActivateDataSession(TDataSession& dataSession);
    void LoginRemote(TDataSession& dataSession);
    void Deactivate();
    void CheckInactive() const;
    bool OwnerHoldsOtherSession(bool autoSessionsOnly) const;
    void ApplyAutoSessionName();
    void StoreSessionName(const std::string& name);
    bool ProvideCredentials(std::string& userName, std::string& password);
    void DeliverTrace(const std::string& line);
    template <typename Handler> Handler ReadEvent(const Handler& handler) const;
    template <typename Handler> void WriteEvent(Handler& handler, Handler value);
    // Holds the session lock around `operation`, which is given the active remote session. Raises when the
    // session is not active although the lock is held (closed while locked, or called while activating).
    template <typename Operation> auto Locked(Operation&& operation);
    // "Refused": stores the value only while inactive.
    template <typename T> void StoreIfInactive(T& stored, T value);
    // "Passed on at once" / "applied at once": while active, a changed value is also handed to the remote
    // session by `apply`.
    template <typename T, typename Apply> void PassOn(T& stored, T value, Apply apply);

    TKORVELSessionList* list_ = nullptr;
    std::atomic<TDataSession*> dataSession_ = nullptr;
    std::atomic<bool> remoteSessionLost_ = false;
    std::atomic<Interruption> lastInterruption_ = Interruption::None;
    CallLimits callLimits_;
    std::unique_ptr<TDataSession>
        ownDataSession_; // null for the default session, whose remote session is the engine's
    bool isDefault_ = false;
    bool streamedActive_ = false;
    bool activating_ = false; // between OnStartup and the end of activation
    int autoSessionNumber_ = -1;
    // The thread holding the session lock through this session, and how often it holds it.
    std::atomic<std::thread::id> lockOwner_;
    int lockCount_ = 0;

    bool autoSessionName_ = false;
    bool forceBufferFlush_ = false;
    bool keepConnections_ = true;
    std::uint8_t lockRetryCount_ = 15;
    std::uint16_t lockWaitTime_ = 100;
    TLockProtocol lockProtocol_ = lpPessimistic;
    std::string privateDir_;
    std::uint16_t progressSteps_ = 20;
    std::string sessionName_;
    TNotifyEvent onStartup_;
    TKORVELPasswordEvent onPassword_;
    TLoginEvent onRemoteLogin_;
    TTraceEvent onRemoteTrace_;
    TTraceRecordEvent onRemoteTraceRecord_;
    SshPromptFunction sshPrompt_;
    bool strictChangeDetection_ = false;
    TSessionType sessionType_ = stLocal;
    ConnectionDescription connection_{.Address = "127.0.0.1", .Port = 12005};
    bool remoteTrace_ = false;
    std::string remoteUser_;
    std::string remotePassword_;
};

} // namespace korvel
