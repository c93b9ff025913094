// An SSH server for authentication tests, built on libssh's server API: password, keyboard-interactive and
// partial-success logins need no system account this way. It listens on a port of 127.0.0.1 the kernel
// picks, with a host key of its own made at start; it refuses every channel.
#pragma once

#include <libssh/server.h>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace korvel::test
{

struct LibsshServerOptions
{
    // The methods a login must pass, in order, like sshd's AuthenticationMethods: {"publickey", "password"}
    // answers the key with a partial success. Each is "publickey", "password" or "keyboard-interactive".
    std::vector<std::string> Methods{"password"};
    std::string Password;                    // for "password" and the one prompt of "keyboard-interactive"
    std::string Prompt = "Password: ";       // that prompt
    std::vector<std::string> AuthorizedKeys; // public key files
    int MaxAuthTries = 6;                    // failures before it ends the connection, as sshd says it
    std::string Banner;                      // sent before the login; empty: none
};

class LibsshTestServer
{
public:
    explicit LibsshTestServer(LibsshServerOptions options);
    ~LibsshTestServer();
    LibsshTestServer(const LibsshTestServer&) = delete;
    LibsshTestServer& operator=(const LibsshTestServer&) = delete;

    int Port() const { return port_; }
    // The line known_hosts holds for it: "[127.0.0.1]:PORT ssh-ed25519 AAAA...".
    std::string KnownHostsLine() const { return knownHostsLine_; }

    const LibsshServerOptions& Options() const { return options_; }
    const std::vector<std::string>& Authorized() const { return authorized_; } // the keys' base64
    struct Login;

private:
    void Accept();
    void Connection(int socket);
    void Serve(ssh_session session);

    LibsshServerOptions options_;
    std::vector<std::string> authorized_;
    ssh_bind bind_ = nullptr;
    std::string knownHostsLine_;
    int listener_ = -1;
    int stopFd_ = -1;
    int port_ = 0;
    std::mutex mutex_;         // guards what follows
    std::vector<int> sockets_; // of sessions still served
    std::vector<std::thread> sessions_;
    std::thread acceptor_; // last: starts once everything else exists
};

} // namespace korvel::test
