#include "engine/DataSession.h"

#include "engine/SshTransport.h"
#include "engine/wire/ErrorCodes.h"
#include "engine/wire/RequestCodes.h"
#include "engine/wire/Utf8.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace korvel
{
namespace
{

constexpr std::size_t MaxTraceLine = 255;
constexpr int MaxLoginAttempts = 3;

// Stores `value` and tells whether it differs from what was there.
template <typename T> bool Change(T& setting, T value)
{
    if (setting == value)
        return false;
    setting = value;
    return true;
}

void CutInPlace(std::string& text)
{
    text.resize(CutUtf8(text).size());
}

std::int32_t LengthPrefix(const std::uint8_t* bytes)
{
    return static_cast<std::int32_t>(std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 |
                                     std::uint32_t{bytes[2]} << 16 | std::uint32_t{bytes[3]} << 24);
}

} // namespace

std::uint32_t TDataSession::Ticks()
{
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

TDataSession::TDataSession(std::int32_t timeoutSeconds) : timeoutSeconds_(timeoutSeconds) {}

TDataSession::~TDataSession()
{
    Disconnect();
}

// --- Settings ---

void TDataSession::SetRemote(bool remote)
{
    if (!connected_)
        remote_ = remote;
}

void TDataSession::SetUncompressed(bool uncompressed)
{
    if (!connected_)
        uncompressed_ = uncompressed;
}

void TDataSession::SetConnection(const ConnectionDescription& connection, SshAsk ask)
{
    SetUncompressed(!connection.Internet);
    SetHostName(connection.Host);
    SetAddress(connection.Address);
    SetPort(connection.Port);
    SetServiceName(connection.Service);
    SetConnectTimeoutMs(connection.ConnectTimeoutMs);
    if (connection.Ssh.Enabled())
        SetTransportFactory(SshTransportFactory(connection.Ssh, std::move(ask)));
}

void TDataSession::SetHostName(std::string_view hostName)
{
    endpoint_.Host.assign(CutUtf8(hostName));
}

void TDataSession::SetAddress(std::string_view address)
{
    endpoint_.Address.assign(CutUtf8(address));
}

void TDataSession::SetServiceName(std::string_view serviceName)
{
    endpoint_.Service.assign(CutUtf8(serviceName));
}

void TDataSession::SetUserName(std::string_view userName)
{
    userName_.assign(CutUtf8(userName));
}

void TDataSession::SetPassword(std::string_view password)
{
    password_.assign(CutUtf8(password));
}

void TDataSession::SetProgressSteps(std::uint16_t value)
{
    if (Change(progressSteps_, value))
        SessionSettingChanged(false);
}

void TDataSession::SetForceBufferFlush(bool value)
{
    if (Change(forceBufferFlush_, value))
        SessionSettingChanged(false);
}

void TDataSession::SetStrictChangeDetection(bool value)
{
    if (Change(strictChangeDetection_, value))
        SessionSettingChanged(false);
}

void TDataSession::SetLockRetryCount(std::uint8_t value)
{
    if (Change(lockRetryCount_, value))
        SessionSettingChanged(false);
}

void TDataSession::SetLockWaitTime(std::uint16_t value)
{
    if (Change(lockWaitTime_, value))
        SessionSettingChanged(false);
}

void TDataSession::SetLockProtocol(std::uint8_t value)
{
    if (Change(lockProtocol_, value))
        SessionSettingChanged(true);
}

void TDataSession::SessionSettingChanged(bool isLockProtocol)
{
    if (!remote_ || !loggedIn_)
        return;
    if (isLockProtocol && serverVersion_ < VersionLockProtocol)
        return; // older servers know no lock protocol
    SendSessionParams();
}

std::string TDataSession::ServerVersionText() const
{
    // Rounded to hundredths without overflow: the value comes from the server and may be anything.
    std::int64_t hundredths = serverVersion_ / 100;
    const std::int64_t rest = serverVersion_ % 100;
    hundredths += rest >= 50 ? 1 : rest <= -50 ? -1 : 0;
    const std::uint64_t magnitude =
        hundredths < 0 ? 0 - static_cast<std::uint64_t>(hundredths) : static_cast<std::uint64_t>(hundredths);
    char text[32];
    std::snprintf(text, sizeof text, "%s%llu.%02llu", hundredths < 0 ? "-" : "",
                  static_cast<unsigned long long>(magnitude / 100),
                  static_cast<unsigned long long>(magnitude % 100));
    return text;
}

std::string TDataSession::RemoteName() const
{
    return endpoint_.HostOrAddress();
}

void TDataSession::EmitTrace(const std::string& line)
{
    if (!traceSink_)
        return;
    try
    {
        traceSink_(std::string(CutUtf8(line, MaxTraceLine)));
    }
    catch (...)
    {
        // A failing trace sink must not disturb the exchange it describes.
    }
}

void TDataSession::EmitTraceRecord(TraceRecord::Kind direction, std::uint16_t code, std::uint16_t replyCode,
                                   std::int64_t wireBytes, std::int64_t plainBytes, std::uint32_t elapsedMs)
{
    if (!traceRecordSink_)
        return;
    try
    {
        traceRecordSink_(TraceRecord{std::chrono::system_clock::now(), direction, code, replyCode, wireBytes,
                                     plainBytes, elapsedMs});
    }
    catch (...)
    {
        // As with the trace lines: the exchange goes on.
    }
}

// --- Calls and their limits ---

TDataSession::CallScope::CallScope(TDataSession& session) : session_(session)
{
    if (session_.callDepth_++ > 0)
        return;
    session_.StartCallClock();
    session_.lastInterruption_ = Interruption::None;
}

void TDataSession::StartCallClock()
{
    waitLimits_.Interrupt = callLimits_.Interrupt.get();
    waitLimits_.Deadline = callLimits_.Deadline;
    if (callLimits_.TimeoutMs > 0)
    {
        const SteadyTime end =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(callLimits_.TimeoutMs);
        if (!callLimits_.Deadline || end < *callLimits_.Deadline)
            waitLimits_.Deadline = end;
    }
}

void TDataSession::NoteInterruption(const std::exception& failure)
{
    if (const auto* interrupted = dynamic_cast<const TransportInterrupted*>(&failure))
        lastInterruption_ = interrupted->Reason();
}

// --- Login ---

void TDataSession::Login()
{
    const CallScope call(*this);
    bool have = !userName_.empty() && !password_.empty();
    for (int attempts = 0;;)
    {
        if (!have)
        {
            if (!AskForCredentials())
            {
                Disconnect();
                Abort();
            }
            // The time a person took to answer is not the server's: the call's time-out starts again.
            StartCallClock();
            CutInPlace(userName_);
            CutInPlace(password_);
        }
        SetRequestCode(REQUEST_LOGIN);
        BeginRequest();
        request_.AppendString(userName_);
        request_.AppendString(password_);
        FinishRequest();
        SendRequest();
        ReceiveReply();
        if (ReplyCode() == KORVEL_NONE)
        {
            loggedIn_ = true;
            reconnectRefused_ = false;
            return;
        }
        if (ReplyCode() != KORVEL_REMOTEINVLOGIN)
        {
            Disconnect();
            RaiseEngineError(ReplyCode(), RemoteName(), userName_);
        }
        userName_.clear();
        password_.clear();
        have = false;
        if (++attempts == MaxLoginAttempts)
        {
            Disconnect();
            RaiseEngineError(KORVEL_REMOTEINVLOGIN, RemoteName(), userName_);
        }
    }
}

bool TDataSession::AskForCredentials()
{
    if (!credentialProvider_)
        return false;
    try
    {
        return credentialProvider_(userName_, password_);
    }
    catch (...)
    {
        Disconnect(); // as a cancel does; the provider's failure then reaches the caller
        throw;
    }
}

void TDataSession::Logout()
{
    if (!connected_)
        return;
    const CallScope call(*this);
    SetRequestCode(REQUEST_LOGOUT);
    BeginRequest();
    FinishRequest();
    try
    {
        SendRequest(); // no reply follows a logout
    }
    catch (const EKORVELEngineError&)
    {
        if (lastInterruption_ != Interruption::None)
            throw;
        Reconnect();
        SendRequest();
    }
    loggedIn_ = false;
    Disconnect();
}

void TDataSession::SendSessionParams()
{
    const CallScope call(*this);
    SetRequestCode(REQUEST_SESSIONPARAMS);
    BeginRequest();
    request_.AppendBool(forceBufferFlush_);
    request_.AppendBool(strictChangeDetection_);
    request_.AppendByte(lockRetryCount_);
    request_.AppendUInt16(lockWaitTime_);
    if (serverVersion_ >= VersionLockProtocol)
        request_.AppendByte(lockProtocol_);
    request_.AppendUInt16(progressSteps_);
    FinishRequest();
    Call();
    CheckReply();
}

// --- One exchange ---

void TDataSession::FinishRequest()
{
    request_.Finish(Compressing());
}

void TDataSession::SendRequest()
{
    SendMessage(request_);
}

void TDataSession::SendMessage(MessageWriter& message)
{
    const std::uint32_t start = Ticks();
    const std::int32_t totalSize = message.Header().TotalSize;
    const std::uint8_t* data = message.Buffer().Data();
    try
    {
        std::int32_t sent = 0;
        // A write that times out returns 0 and is simply tried again while the connection stays open.
        while (transport_ && transport_->IsOpen() && sent < totalSize)
            sent += transport_->Write(data + sent, std::min(totalSize - sent, ChunkSize));
        if (sent != totalSize)
            throw TransportError("Send request error");
        lastRequestCode_ = message.Header().Code;
        lastRequestStart_ = start;
        if (trace_)
        {
            const std::uint32_t elapsed = Ticks() - start;
            EmitTrace("Send request - Code: " + std::string(RequestCodeName(message.Header().Code)) +
                      " Size: " + std::to_string(totalSize) + " Total Time: " + std::to_string(elapsed) +
                      " msecs");
            EmitTraceRecord(TraceRecord::Kind::Request, lastRequestCode_, 0, totalSize, message.PlainSize(),
                            elapsed);
        }
    }
    catch (const std::exception& failure)
    {
        NoteInterruption(failure);
        Disconnect();
        RaiseEngineError(KORVEL_REMOTECOMMLOST, RemoteName());
    }
}

void TDataSession::ReceiveReply()
{
    const std::uint32_t start = Ticks();
    const int waitMs = timeoutSeconds_ * 1000;
    auto open = [this] { return transport_ && transport_->IsOpen(); };
    // The buffer may grow or hold a broken message below: the reader must not point into it until it is
    // whole.
    reply_ = MessageReader();
    replyHeader_ = MessageHeader();
    try
    {
        for (;;)
        {
            if (!open())
                throw TransportError("Receive reply error");
            if (!transport_->WaitForData(waitMs))
                continue; // no overall limit while the connection stays open
            std::uint8_t prefix[4];
            if (transport_->Read(prefix, 4) != 4)
                throw TransportError("Receive reply error");
            const std::int32_t totalSize = LengthPrefix(prefix);
            if (totalSize < HeaderSize || totalSize > maxMessageSize_)
                throw TransportError("Receive reply error");
            replyBuffer_.Reserve(totalSize);
            std::uint8_t* data = replyBuffer_.Data();
            std::memcpy(data, prefix, 4);
            std::int32_t got = 4;
            while (open() && got < totalSize)
            {
                if (!transport_->WaitForData(waitMs))
                    continue;
                const std::int32_t read = transport_->Read(data + got, std::min(totalSize - got, ChunkSize));
                if (read == 0)
                    throw TransportError("Receive reply error"); // readable but empty: the server closed
                got += read;
            }
            if (got != totalSize)
                throw TransportError("Receive reply error");
            break;
        }
        const std::uint32_t received = Ticks(); // decompression not included
        const std::int64_t wireBytes = LengthPrefix(replyBuffer_.Data());
        replyHeader_ = UnpackMessage(replyBuffer_, Compressing(), maxMessageSize_, scratch_);
        reply_ = MessageReader(replyBuffer_.Data(), replyHeader_.TotalSize);
        if (trace_)
        {
            EmitTrace("Receive reply - Code: " + std::string(ReplyCodeName(replyHeader_.Code)) +
                      " Size: " + std::to_string(replyHeader_.TotalSize) +
                      " Total Time: " + std::to_string(received - start) + " msecs");
            EmitTraceRecord(TraceRecord::Kind::Reply, lastRequestCode_, replyHeader_.Code, wireBytes,
                            replyHeader_.TotalSize, received - lastRequestStart_);
        }
    }
    catch (const std::exception& failure)
    {
        NoteInterruption(failure);
        Disconnect();
        RaiseEngineError(KORVEL_REMOTECOMMLOST, RemoteName());
    }
}

void TDataSession::Call()
{
    for (bool retried = false;; retried = true)
    {
        try
        {
            SendRequest();
            ReceiveReply();
            return;
        }
        catch (const EKORVELEngineError&)
        {
            // A cancelled or expired call is not resent: it would wait again, and could repeat a change.
            if (retried || lastInterruption_ != Interruption::None)
                throw;
        }
        Reconnect(); // the finished request is sent again as it is
    }
}

void TDataSession::CheckReply()
{
    if (ReplyCode() == KORVEL_NONE)
        return;
    std::string values[6]; // user, database, table, field, index, detail
    for (std::string& value : values)
        reply_.Read(value);
    RaiseEngineError(ReplyCode(), RemoteName(), values[0], values[1], values[2], values[3], values[4],
                     values[5]);
}

} // namespace korvel
