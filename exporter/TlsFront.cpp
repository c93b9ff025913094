#include "exporter/TlsFront.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace korvel::exporter
{
namespace
{

using Clock = std::chrono::steady_clock;

// How long a client may take over its handshake, or over taking in one piece of an answer: as long as the
// web server gives it for each read or write of a plain request.
constexpr std::chrono::seconds ClientTimeout(5);
constexpr std::chrono::seconds LookInterval(1);
constexpr std::size_t RelayBuffer = 16 * 1024;
constexpr std::chrono::milliseconds RetryAccept(100);

struct ContextFree
{
    void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};
struct SslFree
{
    void operator()(SSL* ssl) const { SSL_free(ssl); }
};

std::string OpenSslError()
{
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0)
        return "unknown error";
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

[[noreturn]] void Fail(const std::string& what)
{
    throw std::runtime_error(what + ": " + OpenSslError());
}

std::shared_ptr<SSL_CTX> BuildContext(const WebTls& tls)
{
    std::shared_ptr<SSL_CTX> context(SSL_CTX_new(TLS_server_method()), ContextFree{});
    if (!context)
        Fail("cannot make a TLS context");
    SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION); // the toolkit's own lowest version
    if (SSL_CTX_use_certificate_chain_file(context.get(), tls.CertFile.c_str()) != 1)
        Fail("cannot use the cert_file " + tls.CertFile);
    if (SSL_CTX_use_PrivateKey_file(context.get(), tls.KeyFile.c_str(), SSL_FILETYPE_PEM) != 1)
        Fail("cannot use the key_file " + tls.KeyFile);
    if (SSL_CTX_check_private_key(context.get()) != 1)
        Fail("the key_file " + tls.KeyFile + " does not belong to the cert_file " + tls.CertFile);
    if (!tls.ClientCaFile.empty())
    {
        if (SSL_CTX_load_verify_locations(context.get(), tls.ClientCaFile.c_str(), nullptr) != 1)
            Fail("cannot use the client_ca_file " + tls.ClientCaFile);
        SSL_CTX_set_client_CA_list(context.get(), SSL_load_client_CA_file(tls.ClientCaFile.c_str()));
        SSL_CTX_set_verify(context.get(),
                           SSL_VERIFY_PEER | (tls.RequireClientCert ? SSL_VERIFY_FAIL_IF_NO_PEER_CERT : 0),
                           nullptr);
    }
    return context;
}

// What is watched for changes: the web configuration file and the files its TLS section names.
std::vector<struct stat> Look(const std::string& webConfigFile, const WebTls& tls)
{
    std::vector<struct stat> seen;
    for (const std::string* file : {&webConfigFile, &tls.CertFile, &tls.KeyFile, &tls.ClientCaFile})
    {
        struct stat status
        {
        };
        if (!file->empty())
            stat(file->c_str(), &status);
        seen.push_back(status);
    }
    return seen;
}

bool Same(const std::vector<struct stat>& a, const std::vector<struct stat>& b)
{
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].st_ino != b[i].st_ino || a[i].st_dev != b[i].st_dev || a[i].st_size != b[i].st_size ||
            a[i].st_mtim.tv_sec != b[i].st_mtim.tv_sec || a[i].st_mtim.tv_nsec != b[i].st_mtim.tv_nsec)
            return false;
    return true;
}

int Listen(const std::string& listen)
{
    const auto colon = listen.rfind(':');
    std::string host = colon == std::string::npos ? "" : listen.substr(0, colon);
    const std::string port = colon == std::string::npos ? listen : listen.substr(colon + 1);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.empty() ? nullptr : host.c_str(), port.c_str(), &hints, &found) != 0 || !found)
        throw std::runtime_error("cannot listen on " + listen + ": not an address");
    const int fd = socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    const bool ok = fd >= 0 && setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0 &&
                    bind(fd, found->ai_addr, found->ai_addrlen) == 0 && ::listen(fd, SOMAXCONN) == 0;
    const std::string why = std::strerror(errno);
    freeaddrinfo(found);
    if (!ok)
    {
        if (fd >= 0)
            close(fd);
        throw std::runtime_error("cannot listen on " + listen + ": " + why);
    }
    return fd;
}

// Waits for `events` on `fd` until `deadline`; false when it passed or the front stops.
bool Wait(int fd, short events, int stopFd, Clock::time_point deadline)
{
    for (;;)
    {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return false;
        pollfd entries[2] = {{fd, events, 0}, {stopFd, POLLIN, 0}};
        const int result = poll(entries, 2, static_cast<int>(left));
        if (result < 0 && errno == EINTR)
            continue;
        return result > 0 && entries[1].revents == 0;
    }
}

// Waits for what OpenSSL needs before `result`'s call can go on; false when it cannot.
bool AwaitSsl(SSL* ssl, int result, int fd, int stopFd, Clock::time_point deadline)
{
    switch (SSL_get_error(ssl, result))
    {
    case SSL_ERROR_WANT_READ:
        return Wait(fd, POLLIN, stopFd, deadline);
    case SSL_ERROR_WANT_WRITE:
        return Wait(fd, POLLOUT, stopFd, deadline);
    default:
        return false;
    }
}

bool WriteAll(SSL* ssl, int fd, int stopFd, const char* data, std::size_t size)
{
    const auto deadline = Clock::now() + ClientTimeout;
    while (size > 0)
    {
        const int written = SSL_write(ssl, data, static_cast<int>(size));
        if (written > 0)
        {
            data += written;
            size -= static_cast<std::size_t>(written);
        }
        else if (!AwaitSsl(ssl, written, fd, stopFd, deadline))
            return false;
    }
    return true;
}

bool SendAll(int fd, const char* data, std::size_t size)
{
    while (size > 0)
    {
        const ssize_t sent = send(fd, data, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

int ConnectToBackend(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int on = 1;
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) != 0)
    {
        if (fd >= 0)
            close(fd);
        return -1;
    }
    return fd;
}

int LocalPort(int fd)
{
    sockaddr_in address{};
    socklen_t size = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    return ntohs(address.sin_port);
}

// Carries the decrypted request to the web server and its answer back until either side closes.
void Relay(SSL* ssl, int client, int backend, int stopFd)
{
    std::vector<char> buffer(RelayBuffer);
    for (;;)
    {
        int read = 0;
        while ((read = SSL_read(ssl, buffer.data(), static_cast<int>(buffer.size()))) > 0)
            if (!SendAll(backend, buffer.data(), static_cast<std::size_t>(read)))
                return;
        const int error = SSL_get_error(ssl, read);
        if (error == SSL_ERROR_WANT_WRITE && !Wait(client, POLLOUT, stopFd, Clock::now() + ClientTimeout))
            return;
        if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE)
            return; // closed, or broken
        // Waits without a time-out of its own: the web server ends idle and dawdling connections.
        pollfd entries[3] = {{client, POLLIN, 0}, {backend, POLLIN, 0}, {stopFd, POLLIN, 0}};
        if (poll(entries, 3, -1) < 0 && errno != EINTR)
            return;
        if (entries[2].revents != 0)
            return;
        if (entries[1].revents != 0)
        {
            const ssize_t got = recv(backend, buffer.data(), buffer.size(), 0);
            if (got <= 0 || !WriteAll(ssl, client, stopFd, buffer.data(), static_cast<std::size_t>(got)))
                return;
        }
    }
}

} // namespace

TlsFront::TlsFront(const std::string& listen, std::string webConfigFile, const WebTls& tls,
                   int maxConnections)
    : webConfigFile_(std::move(webConfigFile)), maxConnections_(maxConnections), context_(BuildContext(tls)),
      tls_(tls), seen_(Look(webConfigFile_, tls)), lastLook_(Clock::now())
{
    listener_ = Listen(listen);
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                                                : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
    stopFd_ = eventfd(0, EFD_CLOEXEC);
    if (stopFd_ < 0)
    {
        close(listener_);
        throw std::runtime_error(std::string("eventfd: ") + std::strerror(errno));
    }
}

void TlsFront::Start(int backendPort)
{
    backendPort_ = backendPort;
    acceptor_ = std::thread([this] { Accept(); });
}

TlsFront::~TlsFront()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(stopFd_, &one, sizeof one);
    if (acceptor_.joinable())
        acceptor_.join();
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return connections_ == 0; });
    lock.unlock();
    close(listener_);
    close(stopFd_);
}

bool TlsFront::Relays(const char* remoteAddress, int remotePort)
{
    std::lock_guard lock(mutex_);
    return remoteAddress && std::strcmp(remoteAddress, "127.0.0.1") == 0 && relayPorts_.count(remotePort) > 0;
}

std::shared_ptr<SSL_CTX> TlsFront::Context()
{
    std::lock_guard lock(mutex_);
    const auto now = Clock::now();
    if (now - lastLook_ < LookInterval)
        return context_;
    lastLook_ = now;
    const std::vector<struct stat> current = Look(webConfigFile_, tls_);
    if (Same(current, seen_))
        return context_;
    std::string complaint;
    try
    {
        const std::optional<WebTls> tls = WebConfig::Load(webConfigFile_).Tls;
        if (!tls)
            throw std::runtime_error("web config " + webConfigFile_ +
                                     ": tls_server_config is gone; TLS stays on until a restart");
        context_ = BuildContext(*tls);
        tls_ = *tls;
        seen_ = Look(webConfigFile_, tls_);
    }
    catch (const std::exception& error)
    {
        complaint = error.what();
        seen_ = current; // told once until the files change again
    }
    if (!complaint.empty() && complaint != lastComplaint_)
        std::cerr << "korvel-exporter: " << complaint << "; the certificate in use stays" << std::endl;
    lastComplaint_ = complaint;
    return context_;
}

void TlsFront::Accept()
{
    for (;;)
    {
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return stopping_ || connections_ < maxConnections_; });
            if (stopping_)
                return;
        }
        pollfd entries[2] = {{listener_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        if (poll(entries, 2, -1) < 0 && errno != EINTR)
            return;
        if (entries[1].revents != 0)
            return;
        const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (client < 0)
        {
            // Out of descriptors or memory, the waiting client stays queued: look again a little later
            // rather than spin on it.
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
                Wait(stopFd_, POLLIN, -1, Clock::now() + RetryAccept);
            continue;
        }
        std::lock_guard lock(mutex_);
        ++connections_;
        try
        {
            std::thread([this, client] { Serve(client); }).detach();
        }
        catch (const std::system_error&)
        {
            --connections_; // no thread to be had: the client is let go
            close(client);
        }
    }
}

void TlsFront::Serve(int client)
{
    const int on = 1;
    setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    std::unique_ptr<SSL, SslFree> ssl(SSL_new(Context().get()));
    int backend = -1;
    int relayPort = 0;
    if (ssl && SSL_set_fd(ssl.get(), client) == 1)
    {
        const auto deadline = Clock::now() + ClientTimeout;
        int result = 0;
        while ((result = SSL_accept(ssl.get())) != 1 &&
               AwaitSsl(ssl.get(), result, client, stopFd_, deadline))
        {
        }
        if (result == 1)
            backend = ConnectToBackend(backendPort_);
    }
    if (backend >= 0)
    {
        relayPort = LocalPort(backend);
        {
            std::lock_guard lock(mutex_);
            relayPorts_.insert(relayPort);
        }
        Relay(ssl.get(), client, backend, stopFd_);
        SSL_shutdown(ssl.get());
        std::lock_guard lock(mutex_);
        relayPorts_.erase(relayPort); // before the port is let go, so that no one else's can match it
    }
    ssl.reset();
    ERR_clear_error();
    if (backend >= 0)
        close(backend);
    close(client);
    std::lock_guard lock(mutex_);
    --connections_;
    changed_.notify_all(); // under the lock: the front may be destroyed once it is let go
}

} // namespace korvel::exporter
