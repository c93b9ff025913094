#include "engine/SshTransport.h"

#include "engine/ssh/SshConnection.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>

namespace korvel
{
namespace
{

// The SSH session the transports of one remote session share, opened again when it died.
class SshTunnel
{
public:
    SshTunnel(SshSettings settings, SshAsk ask, std::shared_ptr<Resolver> resolver)
        : settings_(std::move(settings)), ask_(std::move(ask)), resolver_(std::move(resolver))
    {
    }

    const std::shared_ptr<Resolver>& NameResolver() const { return resolver_; }

    // A channel to `host`:`port` as the SSH server sees them, on the live session or, when it died, a new
    // one; `connection` keeps the session alive for the channel.
    ssh_channel OpenChannel(const std::string& host, int port, int timeoutMs, const WaitLimits* limits,
                            std::shared_ptr<SshConnection>& connection)
    {
        const bool reused = connection_ && connection_->Alive();
        if (!reused)
            connection_ = std::make_shared<SshConnection>(settings_, ask_, resolver_, timeoutMs, limits);
        ssh_channel channel = TryOpen(host, port, timeoutMs, limits);
        if (!channel && reused)
        {
            // The kept session died unnoticed (its server restarted, say): one new session, one new try.
            connection_ = std::make_shared<SshConnection>(settings_, ask_, resolver_, timeoutMs, limits);
            channel = TryOpen(host, port, timeoutMs, limits);
        }
        if (!channel)
            throw TunnelError(TunnelFailure::Lost,
                              "Lost the SSH server " + connection_->ServerName() +
                                  " while opening a channel: " + ssh_get_error(connection_->Session()));
        connection = connection_;
        return channel;
    }

private:
    // The open channel; null when the session died meanwhile. Raises TunnelError when the server refuses.
    ssh_channel TryOpen(const std::string& host, int port, int timeoutMs, const WaitLimits* limits)
    {
        ssh_session session = connection_->Session();
        ssh_channel channel = ssh_channel_new(session);
        if (!channel)
            return nullptr;
        try
        {
            const std::optional<int> result = connection_->Drive(
                [&] { return ssh_channel_open_forward(channel, host.c_str(), port, "127.0.0.1", 0); },
                SSH_AGAIN, timeoutMs, limits);
            const std::string target = SshTargetText("", host, port);
            if (!result)
                throw TunnelError(TunnelFailure::TargetRefused,
                                  "The SSH server " + connection_->ServerName() +
                                      " opened no channel to the KORVEL server " + target + " within " +
                                      std::to_string(timeoutMs / 1000) + " s");
            if (*result == SSH_OK)
                return channel;
            if (connection_->Alive() && ssh_get_error_code(session) == SSH_REQUEST_DENIED)
                Refused(target, ssh_get_error(session));
        }
        catch (...)
        {
            ssh_channel_free(channel);
            throw;
        }
        ssh_channel_free(channel);
        return nullptr;
    }

    // libssh words a refusal "Channel opening failure: channel N error (REASON) TEXT"; reason 1 is the
    // server's own refusal to forward, the others come from the connection it tried.
    [[noreturn]] void Refused(const std::string& target, const std::string& error) const
    {
        const auto at = error.find("error (");
        const int reason = at == std::string::npos ? 0 : std::atoi(error.c_str() + at + 7);
        const auto close = error.find(") ", at);
        const std::string text = close == std::string::npos ? error : error.substr(close + 2);
        if (reason == 1)
            throw TunnelError(TunnelFailure::ForwardingRefused,
                              "The SSH server " + connection_->ServerName() +
                                  " refused to forward a connection to " + target + " (" + text +
                                  "; it may have AllowTcpForwarding off)");
        throw TunnelError(TunnelFailure::TargetRefused, "Behind the SSH server " + connection_->ServerName() +
                                                            ", the KORVEL server " + target +
                                                            " cannot be reached: " + text);
    }

    const SshSettings settings_;
    const SshAsk ask_;
    const std::shared_ptr<Resolver> resolver_;
    std::shared_ptr<SshConnection> connection_;
};

class SshChannelTransport final : public Transport
{
public:
    explicit SshChannelTransport(std::shared_ptr<SshTunnel> tunnel) : tunnel_(std::move(tunnel)) {}
    ~SshChannelTransport() override { Close(); }

    void Open(const ConnectionDescription& endpoint, int connectTimeoutMs, int streamTimeoutMs,
              const WaitLimits* limits) override
    {
        Close();
        limits_ = limits;
        streamTimeoutMs_ = streamTimeoutMs;
        const std::string& host = endpoint.HostOrAddress();
        int port = endpoint.Port;
        if (!endpoint.Service.empty())
            port = tunnel_->NameResolver()->ResolveService(endpoint.Service);
        if (host.empty())
            throw TransportError("no host name or address");
        if (port < 0 || port > 65535)
            throw TransportError("port out of range");
        channel_ = tunnel_->OpenChannel(host, port, connectTimeoutMs, limits, connection_);
    }

    void Close() override
    {
        if (!channel_)
            return;
        ssh_channel_close(channel_);
        ssh_channel_free(channel_);
        channel_ = nullptr;
        connection_.reset();
        aheadStart_ = aheadEnd_ = 0;
    }

    bool IsOpen() const override { return channel_ != nullptr; }

    bool WaitForData(int timeoutMs) override
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        if (aheadEnd_ > aheadStart_)
            return true;
        for (;;)
        {
            const int available = ssh_channel_poll(channel_, 0);
            if (available != 0) // data, end of stream, or an error the next read reports
                return true;
            if (!connection_->WaitForInput(Left(end, timeoutMs), limits_))
                return false;
        }
    }

    std::int32_t Write(const std::uint8_t* data, std::int32_t size) override
    {
        try
        {
            if (limits_)
                limits_->Check(); // a cancelled call sends nothing more
        }
        catch (const TransportInterrupted&)
        {
            connection_->GiveUp(); // as any step cut short: the bastion may be what froze
            throw;
        }
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(streamTimeoutMs_);
        for (;;)
        {
            const int written = ssh_channel_write(channel_, data, static_cast<std::uint32_t>(size));
            if (written > 0)
                return written;
            if (written < 0 || ssh_channel_is_closed(channel_))
                Lost();
            // The server's window is full: wait for it to grow.
            if (!connection_->WaitForInput(Left(end, streamTimeoutMs_), limits_))
                return 0;
            if (ssh_channel_poll(channel_, 0) == SSH_ERROR)
                Lost();
        }
    }

    std::int32_t Read(std::uint8_t* data, std::int32_t size) override
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(streamTimeoutMs_);
        for (;;)
        {
            if (aheadEnd_ > aheadStart_)
            {
                const std::int32_t count = std::min(size, aheadEnd_ - aheadStart_);
                std::memcpy(data, ahead_.get() + aheadStart_, static_cast<std::size_t>(count));
                aheadStart_ += count;
                return count;
            }
            const int got = ssh_channel_read_timeout(channel_, ahead_.get(), AheadSize, 0, 0);
            if (got > 0)
            {
                aheadStart_ = 0;
                aheadEnd_ = got;
                continue;
            }
            if (got == SSH_EOF || ssh_channel_is_eof(channel_))
                return 0;
            if (got < 0 && got != SSH_AGAIN)
                Lost();
            if (!connection_->WaitForInput(Left(end, streamTimeoutMs_), limits_))
                return 0;
        }
    }

private:
    // What is left of a wait of `timeoutMs` (negative: none) that ends at `end`.
    static int Left(std::chrono::steady_clock::time_point end, int timeoutMs)
    {
        if (timeoutMs < 0)
            return -1;
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        return static_cast<int>(std::max<std::int64_t>(left.count(), 0));
    }

    [[noreturn]] void Lost() const
    {
        throw TunnelError(TunnelFailure::Lost, "Lost the SSH server " + connection_->ServerName() + ": " +
                                                   ssh_get_error(connection_->Session()));
    }

    // libssh grows the channel's window to what a read asks for (by itself, to 1.25 MB only when half of it
    // is used up), so a large read keeps the server sending while replies are read in pieces: a 10 MB log
    // came in at half the speed of OpenSSH's own forward without it.
    static constexpr std::int32_t AheadSize = 2 * 1024 * 1024;
    std::unique_ptr<std::uint8_t[]> ahead_ = std::make_unique<std::uint8_t[]>(AheadSize);
    std::int32_t aheadStart_ = 0;
    std::int32_t aheadEnd_ = 0;
    std::shared_ptr<SshTunnel> tunnel_;
    std::shared_ptr<SshConnection> connection_;
    ssh_channel channel_ = nullptr;
    const WaitLimits* limits_ = nullptr;
    int streamTimeoutMs_ = -1;
};

} // namespace

TransportFactory SshTransportFactory(SshSettings settings, SshAsk ask, std::shared_ptr<Resolver> resolver)
{
    auto tunnel = std::make_shared<SshTunnel>(std::move(settings), std::move(ask), std::move(resolver));
    return [tunnel]() -> std::unique_ptr<Transport> { return std::make_unique<SshChannelTransport>(tunnel); };
}

} // namespace korvel
