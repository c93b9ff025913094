// TDataSession: the client side of one conversation with a KORVEL server over one TCP connection. It frames
// requests (zlib in Internet mode), sends them in pieces, reads and unpacks replies, turns error replies into
// engine errors, connects, logs in, re-connects transparently after a broken connection with one resend,
// traces every exchange, and offers one operation per administrative request.
//
// A TDataSession serves one caller at a time and takes no lock; the session component serialises all calls.
// Only its call limits' interrupt is touched by other threads: a cancel ends the call under way at once.
#pragma once

#include "engine/CallLimits.h"
#include "engine/LogText.h"
#include "engine/SshSettings.h"
#include "engine/Transport.h"
#include "engine/wire/AdminTypes.h"
#include "engine/wire/Message.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace korvel
{

class TunnelError;

// Receives each trace line. A sink that throws does not disturb the exchange.
using TraceSink = std::function<void(const std::string& line)>;
// The facts of one trace line as numbers, emitted beside it, so tables and machine-readable traces never
// parse the text.
struct TraceRecord
{
    enum class Kind
    {
        Connection, // a connection or re-connection was opened
        Request,    // a request was sent
        Reply       // a reply was received
    };
    std::chrono::system_clock::time_point Time;
    Kind Direction = Kind::Request;
    std::uint16_t Code = 0;      // the request sent or answered (0 for a connection)
    std::uint16_t ReplyCode = 0; // replies only: the reply's code
    std::int64_t WireBytes = 0;  // as sent or received: compressed in Internet mode
    std::int64_t PlainBytes = 0; // uncompressed
    // Connection: its opening; request: its sending; reply: since its request began to be sent.
    std::uint32_t ElapsedMs = 0;
};
// Receives each trace record, on the thread of the exchange. A sink that throws does not disturb it.
using TraceRecordSink = std::function<void(const TraceRecord& record)>;
// Asked for a user name and password (each in/out, at most 255 bytes); returns false to cancel the login.
using CredentialProvider = std::function<bool(std::string& userName, std::string& password)>;

class TDataSession
{
public:
    static constexpr std::int32_t DefaultTimeoutSeconds = 300;
    static constexpr std::int32_t DefaultConnectTimeoutMs = korvel::DefaultConnectTimeoutMs;

    // Tests may pass a shorter wait to show that a slow server is waited for across several waits.
    explicit TDataSession(std::int32_t timeoutSeconds = DefaultTimeoutSeconds);
    // Disconnects; does not log out (the owner calls Logout first).
    ~TDataSession();
    TDataSession(const TDataSession&) = delete;
    TDataSession& operator=(const TDataSession&) = delete;

    // --- Settings ---
    bool Remote() const { return remote_; }
    void SetRemote(bool remote); // ignored while connected
    bool Uncompressed() const { return uncompressed_; }
    void SetUncompressed(bool uncompressed); // ignored while connected
    bool Connected() const { return connected_; }
    bool LoggedIn() const { return loggedIn_; }

    // Where, how and through what the next connection goes, all at once (an SSH route through a transport
    // asking `ask`; a direct one keeps the transports set). Uncompressed as other settings: ignored while
    // connected.
    void SetConnection(const ConnectionDescription& connection, SshAsk ask = {});
    const std::string& HostName() const { return endpoint_.Host; }
    void SetHostName(std::string_view hostName);
    const std::string& Address() const { return endpoint_.Address; }
    void SetAddress(std::string_view address);
    std::int32_t Port() const { return endpoint_.Port; }
    void SetPort(std::int32_t port) { endpoint_.Port = port; }
    const std::string& ServiceName() const { return endpoint_.Service; }
    void SetServiceName(std::string_view serviceName);
    const std::string& UserName() const { return userName_; }
    void SetUserName(std::string_view userName);
    const std::string& Password() const { return password_; }
    void SetPassword(std::string_view password);
    const std::string& PrivateDir() const { return privateDir_; }
    void SetPrivateDir(std::string_view dir) { privateDir_ = dir; } // kept for local work; never sent

    // The six session settings. A change while Remote and LoggedIn sends SESSIONPARAMS at once (LockProtocol
    // only to servers of version 3.04 or later); setting the current value does nothing.
    std::uint16_t ProgressSteps() const { return progressSteps_; }
    void SetProgressSteps(std::uint16_t value);
    bool ForceBufferFlush() const { return forceBufferFlush_; }
    void SetForceBufferFlush(bool value);
    bool StrictChangeDetection() const { return strictChangeDetection_; }
    void SetStrictChangeDetection(bool value);
    std::uint8_t LockRetryCount() const { return lockRetryCount_; }
    void SetLockRetryCount(std::uint8_t value);
    std::uint16_t LockWaitTime() const { return lockWaitTime_; }
    void SetLockWaitTime(std::uint16_t value);
    std::uint8_t LockProtocol() const { return lockProtocol_; } // 0 pessimistic, 1 optimistic
    void SetLockProtocol(std::uint8_t value);

    bool Trace() const { return trace_; }
    void SetTrace(bool trace) { trace_ = trace; }
    void SetTraceSink(TraceSink sink) { traceSink_ = std::move(sink); }
    void SetTraceRecordSink(TraceRecordSink sink) { traceRecordSink_ = std::move(sink); }
    void SetCredentialProvider(CredentialProvider provider) { credentialProvider_ = std::move(provider); }

    // Replies (and inflated payloads) larger than this are treated as a lost connection.
    void SetMaxMessageSize(std::int32_t bytes) { maxMessageSize_ = bytes; }
    void SetTransportFactory(TransportFactory factory) { transportFactory_ = std::move(factory); }
    // How long opening the connection may take before it fails as any connect failure does. The system's
    // own limit, minutes of handshake retries, is too long for anyone waiting on a host that never answers.
    std::int32_t ConnectTimeoutMs() const { return connectTimeoutMs_; }
    void SetConnectTimeoutMs(std::int32_t milliseconds) { connectTimeoutMs_ = std::max(milliseconds, 1); }

    // What ends a call early (see CallLimits). A call is one public operation: an administrative request, a
    // Connect, Login, Logout or SESSIONPARAMS, with the re-connection and resend inside it. A call that is
    // cancelled or runs out ends like a lost connection (11276, or 11280 while connecting), leaves the
    // session not connected, and is not retried: the next call re-connects. Set between calls.
    void SetCallLimits(CallLimits limits) { callLimits_ = std::move(limits); }
    // Why the last call ended early; None when it was not cut short.
    Interruption LastInterruption() const { return lastInterruption_; }

    std::int32_t SessionId() const { return sessionId_; }
    std::int64_t ServerVersion() const { return serverVersion_; }
    // "3.04" for 30400, whatever the locale.
    std::string ServerVersionText() const;
    // The host name, else the address, else empty: the server value of every connection error.
    std::string RemoteName() const;

    // --- Connection and login ---
    void Connect();
    void Reconnect();
    // True after a Reconnect (also the one inside Call) failed because the server answered the RECONNECT
    // with an error: it is reachable but no longer knows the session, after a restart for example. False
    // after a server that could not be reached; cleared by every successful Connect, Reconnect and Login.
    // Both failures raise the same 11280.
    bool ReconnectRefused() const { return reconnectRefused_; }
    void EnsureConnected();
    void Login();
    void Logout();
    void SendSessionParams();
    void Disconnect();

    // --- One exchange ---
    void SetRequestCode(std::uint16_t code) { request_.SetCode(code); }
    void BeginRequest() { request_.Begin(); }
    MessageWriter& Request() { return request_; }
    void FinishRequest();
    void SendRequest();
    void ReceiveReply();
    // SendRequest and ReceiveReply with one Reconnect and one resend of the same bytes on failure.
    void Call();
    std::uint16_t ReplyCode() const { return replyHeader_.Code; }
    MessageReader& Reply() { return reply_; }
    bool HasMoreValues() const { return reply_.HasMoreValues(); }
    // Raises the error of a reply with a non-zero code, reading its six context strings.
    void CheckReply();

    // --- Users ---
    void GetUserNames(StringList& names);
    void GetUser(const std::string& userName, std::string& password, std::string& description,
                 bool& administrator);
    void AddUser(const std::string& userName, const std::string& password, const std::string& description,
                 bool administrator);
    void ModifyUser(const std::string& userName, const std::string& password, const std::string& description,
                    bool administrator);
    void DeleteUser(const std::string& userName);

    // --- Databases and database users ---
    void GetDatabaseNames(StringList& names);
    void GetDatabase(const std::string& databaseName, std::string& description, std::string& directory);
    void AddDatabase(const std::string& databaseName, const std::string& description,
                     const std::string& directory);
    void ModifyDatabase(const std::string& databaseName, const std::string& description,
                        const std::string& directory);
    void DeleteDatabase(const std::string& databaseName);
    void GetDatabaseUserNames(const std::string& databaseName, StringList& names);
    void GetDatabaseUser(const std::string& databaseName, const std::string& userName, std::uint8_t& rights);
    void AddDatabaseUser(const std::string& databaseName, const std::string& userName, std::uint8_t rights);
    void ModifyDatabaseUser(const std::string& databaseName, const std::string& userName,
                            std::uint8_t rights);
    void DeleteDatabaseUser(const std::string& databaseName, const std::string& userName);

    // --- Configuration, control and status ---
    // Values 1 to 7 are written; the two lists are appended to (the caller empties them).
    void GetConfig(ServerConfig& config);
    void ModifyConfig(const ServerConfig& config);
    void GetLog(StringList& lines);
    // The same log handed over whole: the reply's block becomes `log`'s, nothing is copied.
    void GetLogText(LogText& log);
    void StartServer();
    void StopServer();
    std::int32_t GetUpTime();
    double GetMemoryUsage();
    std::string GetServerName();
    std::string GetMainAddress();
    std::int32_t GetMainPort();
    std::string GetAdminAddress();
    std::int32_t GetAdminPort();
    std::int32_t GetSessionCount();
    std::int32_t GetConnectedSessionCount();
    // False (info untouched) when the server has no session at that position.
    bool GetSessionInfo(std::int32_t sessionNumber, SessionInfo& info);
    bool DisconnectSession(std::int32_t serverSessionId);
    bool RemoveSession(std::int32_t serverSessionId);

private:
    // Marks one call: the outermost one fixes the limits its waits obey; the ones nested in it (the
    // re-connection inside Call) share them.
    class CallScope
    {
    public:
        explicit CallScope(TDataSession& session);
        ~CallScope() { --session_.callDepth_; }
        CallScope(const CallScope&) = delete;
        CallScope& operator=(const CallScope&) = delete;

    private:
        TDataSession& session_;
    };

    // Fixes the limits of the call that begins now: its interrupt, and its deadline from TimeoutMs and
    // Deadline.
    void StartCallClock();
    bool Compressing() const { return !uncompressed_ && !handshaking_; }
    // Notes why a failure ended the call, when its limits ended it.
    void NoteInterruption(const std::exception& failure);
    // A 32-bit millisecond tick that wraps; elapsed times are differences modulo 2^32.
    static std::uint32_t Ticks();
    void EmitTrace(const std::string& line);
    void EmitTraceRecord(TraceRecord::Kind direction, std::uint16_t code, std::uint16_t replyCode,
                         std::int64_t wireBytes, std::int64_t plainBytes, std::uint32_t elapsedMs);
    // Opens the transport, traces the connection line and runs the handshake; any failure becomes 11280
    // (worded as the SSH hop's failure when that is where it failed); a cancelled prompt of the transport
    // stays EAbort.
    void Establish(const char* traceVerb, void (TDataSession::*handshake)());
    // The engine error of `code` for this server, worded as the SSH hop's failure.
    [[noreturn]] void RaiseTunnelError(std::uint16_t code, const TunnelError& failure) const;
    void ConnectParamsExchange();
    void ReconnectExchange();
    // Sends the finished handshake and takes its reply; a refusal closes the connection and is raised.
    void HandshakeExchange();
    // The credential provider's answer; false without one. A provider that throws leaves the connection
    // closed.
    bool AskForCredentials();
    void SendMessage(MessageWriter& message);
    void SessionSettingChanged(bool isLockProtocol);
    // EnsureConnected, the request code and BeginRequest: the start of every administrative request, each of
    // which is one call (a CallScope around it).
    void StartAdminRequest(std::uint16_t code);
    // FinishRequest, Call and CheckReply: the end of every administrative request.
    void Exchange();
    // An argument-less request answered by one 32-bit number (0 when not remote).
    std::int32_t Int32Request(std::uint16_t code);
    // A string request sent only to servers of version 3.11 or later (empty otherwise).
    std::string VersionGatedString(std::uint16_t code);
    // DISCONNECTSESSION and REMOVESESSION: the server session id, answered by a boolean.
    bool SessionCommand(std::uint16_t code, std::int32_t serverSessionId);

    bool remote_ = false;
    bool uncompressed_ = true;
    bool connected_ = false;
    bool loggedIn_ = false;
    bool handshaking_ = false;
    bool reconnectRefused_ = false;
    ConnectionDescription endpoint_{.Address = "127.0.0.1", .Port = 12005};
    std::string userName_;
    std::string password_;
    std::string privateDir_;
    std::int32_t sessionId_ = 0;
    std::int64_t serverVersion_ = 0;
    std::uint16_t progressSteps_ = 20;
    bool forceBufferFlush_ = false;
    bool strictChangeDetection_ = false;
    std::uint8_t lockRetryCount_ = 15;
    std::uint16_t lockWaitTime_ = 100;
    std::uint8_t lockProtocol_ = 0;
    bool trace_ = false;
    TraceSink traceSink_;
    TraceRecordSink traceRecordSink_;
    std::uint16_t lastRequestCode_ = 0;  // what the next reply answers
    std::uint32_t lastRequestStart_ = 0; // in Ticks()
    CredentialProvider credentialProvider_;

    CallLimits callLimits_;
    WaitLimits waitLimits_; // of the call under way; the transport holds a pointer to it
    int callDepth_ = 0;
    Interruption lastInterruption_ = Interruption::None;

    const std::int32_t timeoutSeconds_;
    std::int32_t connectTimeoutMs_ = DefaultConnectTimeoutMs;
    std::int32_t maxMessageSize_ = DefaultMaxMessageSize;
    TransportFactory transportFactory_;
    std::unique_ptr<Transport> transport_;

    MessageBuffer requestBuffer_;
    MessageWriter request_{requestBuffer_};
    // CONNECTPARAMS and RECONNECT are built here, so a finished request survives a re-connection in Call.
    MessageBuffer handshakeBuffer_;
    MessageWriter handshake_{handshakeBuffer_};
    MessageBuffer replyBuffer_;
    MessageHeader replyHeader_;
    MessageReader reply_;
    std::vector<std::uint8_t> scratch_;
};

} // namespace korvel
