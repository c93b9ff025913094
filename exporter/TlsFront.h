// TLS for the exporter's listener, ended here with OpenSSL and relayed in clear to the web server on
// loopback. Debian's civetweb cannot do it itself: built for OpenSSL 1.1, it looks up
// SSL_get_peer_certificate in libssl at run time, which OpenSSL 3 no longer exports, and with the TLS
// feature initialised beforehand it calls that missing function on every connection and crashes.
//
// Each connection has a thread of its own, from the handshake until either side closes; the web server
// ends idle and dawdling connections as it does for plain ones. The certificate, key and client CA are
// read again when they or the web configuration file change, so a renewed certificate needs no restart; a
// renewal that cannot be used is told on stderr and the last good one stays in use.
#pragma once

#include "exporter/WebConfig.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

typedef struct ssl_ctx_st SSL_CTX;

namespace korvel::exporter
{

class TlsFront
{
public:
    // Listens on `listen` (HOST:PORT, port 0 picks one). Raises std::runtime_error when the certificate or
    // key cannot be used or the address cannot be listened on.
    TlsFront(const std::string& listen, std::string webConfigFile, const WebTls& tls, int maxConnections);
    // Takes the connections, relaying them to 127.0.0.1:`backendPort`; those that came before wait for it.
    void Start(int backendPort);
    ~TlsFront();
    TlsFront(const TlsFront&) = delete;
    TlsFront& operator=(const TlsFront&) = delete;

    int Port() const { return port_; }
    // Whether the web server's peer is one of the front's relays: the plain port on loopback is reachable by
    // local users, who must not pass by the TLS and its client certificates.
    bool Relays(const char* remoteAddress, int remotePort);

private:
    void Accept();
    void Serve(int client);
    // The context for the next handshake: read again when a file changed, at most once a second.
    std::shared_ptr<SSL_CTX> Context();

    const std::string webConfigFile_;
    int backendPort_ = 0;
    const int maxConnections_;
    int listener_ = -1;
    int stopFd_ = -1; // readable once the front stops
    int port_ = 0;

    std::mutex mutex_; // guards everything below
    std::condition_variable changed_;
    std::shared_ptr<SSL_CTX> context_;
    WebTls tls_;
    std::vector<struct stat> seen_; // of the web configuration file and the files it names
    std::chrono::steady_clock::time_point lastLook_;
    std::string lastComplaint_;
    int connections_ = 0;
    bool stopping_ = false;
    std::set<int> relayPorts_; // local ports of the relays' connections to the web server

    std::thread acceptor_; // from Start on
};

} // namespace korvel::exporter
