// TDataSession's connection: the transport opened (TCP, or through the SSH route) and the handshake that
// starts or resumes the server's session.
#include "engine/DataSession.h"

#include "engine/TunnelError.h"
#include "engine/wire/ErrorCodes.h"
#include "engine/wire/RequestCodes.h"
#include "engine/wire/Utf8.h"

#include <cstring>
#include <string>
#include <unistd.h>

namespace korvel
{
namespace
{

constexpr std::size_t MaxComputerName = 15;

// The computer name (at most 15 characters) followed by the process id, as the server records the client.
std::string ClientIdentity()
{
    char host[256] = {};
    std::string name;
    if (gethostname(host, sizeof host - 1) == 0)
        name.assign(host, strnlen(host, MaxComputerName));
    return std::string(CutUtf8(name + std::to_string(getpid())));
}

} // namespace

void TDataSession::Connect()
{
    if (connected_)
        return;
    const CallScope call(*this);
    sessionId_ = 0;
    Establish("Connection", &TDataSession::ConnectParamsExchange);
}

void TDataSession::Reconnect()
{
    if (connected_)
        return;
    const CallScope call(*this);
    Establish("Re-connection", &TDataSession::ReconnectExchange);
}

void TDataSession::EnsureConnected()
{
    if (!connected_)
        Reconnect();
}

void TDataSession::Establish(const char* traceVerb, void (TDataSession::*handshake)())
{
    const std::uint32_t start = Ticks();
    reconnectRefused_ = false;
    try
    {
        transport_ = transportFactory_ ? transportFactory_() : CreateTcpTransport();
        transport_->Open(endpoint_, connectTimeoutMs_, timeoutSeconds_ * 1000, &waitLimits_);
        connected_ = true;
        if (trace_)
        {
            const std::string& host = endpoint_.HostOrAddress();
            const std::string target = endpoint_.Service.empty()
                                           ? " to port " + std::to_string(endpoint_.Port)
                                           : " to service " + endpoint_.Service;
            const std::uint32_t elapsed = Ticks() - start;
            EmitTrace(traceVerb + target + " at host " + host + " completed in " + std::to_string(elapsed) +
                      " msecs");
            EmitTraceRecord(TraceRecord::Kind::Connection, 0, 0, 0, 0, elapsed);
        }
        handshaking_ = true;
        struct HandshakeEnd
        {
            bool& flag;
            ~HandshakeEnd() { flag = false; }
        } handshakeEnd{handshaking_};
        (this->*handshake)();
    }
    catch (const EAbort&)
    {
        Disconnect(); // a prompt of the transport was cancelled: as a cancelled login
        throw;
    }
    catch (const std::exception& failure)
    {
        NoteInterruption(failure);
        Disconnect();
        if (const auto* tunnel = dynamic_cast<const TunnelError*>(&failure))
            RaiseTunnelError(KORVEL_REMOTECONNECT, *tunnel);
        RaiseEngineError(KORVEL_REMOTECONNECT, RemoteName());
    }
}

void TDataSession::RaiseTunnelError(std::uint16_t code, const TunnelError& failure) const
{
    try
    {
        RaiseEngineError(code, RemoteName());
    }
    catch (const EKORVELEngineError& error)
    {
        throw ETunnelError(error, failure);
    }
}

void TDataSession::ConnectParamsExchange()
{
    handshake_.SetCode(REQUEST_CONNECTPARAMS);
    handshake_.Begin();
    handshake_.AppendInt64(ClientEngineVersion);
    handshake_.AppendBool(uncompressed_);
    handshake_.AppendString(ClientIdentity());
    HandshakeExchange();
    reply_.Read(sessionId_);
    serverVersion_ = 0;
    if (reply_.HasMoreValues())
        reply_.Read(serverVersion_);
    else
        serverVersion_ = VersionWithoutValue;
}

void TDataSession::ReconnectExchange()
{
    handshake_.SetCode(REQUEST_RECONNECT);
    handshake_.Begin();
    handshake_.AppendInt64(ClientEngineVersion);
    handshake_.AppendInt32(sessionId_);
    handshake_.AppendBool(uncompressed_);
    HandshakeExchange();
}

void TDataSession::HandshakeExchange()
{
    handshake_.Finish(false);
    SendMessage(handshake_);
    ReceiveReply();
    if (ReplyCode() != KORVEL_NONE)
    {
        reconnectRefused_ = handshake_.Header().Code == REQUEST_RECONNECT;
        Disconnect();
        RaiseEngineError(ReplyCode(), RemoteName());
    }
}

void TDataSession::Disconnect()
{
    if (connected_ && transport_)
        transport_->Close();
    connected_ = false;
    transport_.reset();
}

} // namespace korvel
