// A private OpenSSH server for tests, as a bastion: its own host key, authorized_keys and configuration, no
// PAM. The kernel picks its port: a listener here takes each connection and starts `sshd -i` (inetd mode) for
// it on a socket pair, relaying between the two, so no port is chosen before it is bound and the bytes of
// the SSH hop are recorded on the way. Killing the sshd of a connection is what a restarted server does to
// it; the listener's next connection gets a fresh sshd.
#pragma once

#include "testing/TempDir.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace korvel::test
{

// Runs a program to its end and returns its standard output; throws when it fails.
std::string RunProgram(const std::vector<std::string>& args,
                       const std::vector<std::string>& environment = {});

// A new ed25519 key pair at `path` (and `path`.pub), with `passphrase` (empty: none).
void GenerateKey(const std::string& path, const std::string& passphrase = "");
// "SHA256:<base64>" of a public key file, as ssh-keygen prints it.
std::string KeyFingerprint(const std::string& publicKeyFile);

struct SshServerOptions
{
    bool AllowTcpForwarding = true;
    std::vector<std::string> AuthorizedKeys; // public key files whose keys may log in
    bool Record = true;                      // keep the bytes of the hop for Recorded()
    bool Ipv6 = false;                       // listen on [::1] instead of 127.0.0.1
    int MaxAuthTries = 6;                    // failures before sshd ends the login, saying why
};

class SshServer
{
public:
    explicit SshServer(SshServerOptions options = {});
    ~SshServer();
    SshServer(const SshServer&) = delete;
    SshServer& operator=(const SshServer&) = delete;

    int Port() const { return port_; }
    std::string HostPublicKeyFile() const { return dir_ / "host_ed25519.pub"; }
    // Its address: "127.0.0.1", or "::1".
    std::string Address() const { return options_.Ipv6 ? "::1" : "127.0.0.1"; }
    // The line known_hosts holds for this server: "[127.0.0.1]:PORT ssh-ed25519 AAAA...".
    std::string KnownHostsLine() const;
    // Whether `knownHosts` holds one line, for this server's key, its host hashed or not (as the system's
    // HashKnownHosts has it).
    bool OnlyKnownHostIn(const std::string& knownHosts) const;
    std::string HostKeyFingerprint() const { return KeyFingerprint(HostPublicKeyFile()); }
    // A new host key for the connections from now on.
    void ReplaceHostKey();

    // SIGKILL to the sshd of every open connection; their clients see the connection end.
    void KillSessions();
    // SIGSTOP to the sshd of every open connection: a bastion that stops answering mid-session.
    void PauseSessions();
    // While silent, a new connection is accepted and never answered.
    void SetSilent(bool silent) { silent_ = silent; }
    // Every byte of the SSH hop so far, both ways.
    std::string Recorded() const;
    // How many connections were accepted.
    int Connections() const { return connections_; }
    // How many connections their clients have not closed yet; those held while silent that were closed
    // are let go.
    int OpenConnections();
    // What the sshd processes logged.
    std::string Log() const;

private:
    void Accept();
    void Relay(int client, int server, pid_t sshd);
    // One direction of a connection, until either side ends it.
    void Copy(int from, int to);
    pid_t StartSshd(int socket);
    void WriteConfig();
    void Signal(int signal);

    SshServerOptions options_;
    TempDir dir_;
    int listener_ = -1;
    int stopFd_ = -1;
    int port_ = 0;
    std::atomic<bool> silent_ = false;
    std::atomic<int> connections_ = 0;
    mutable std::mutex mutex_; // guards what follows
    std::string recorded_;
    std::vector<pid_t> sshds_;
    std::vector<int> heldSockets_; // connections accepted while silent
    int relaying_ = 0;
    std::vector<std::thread> relays_;
    std::thread acceptor_; // last: starts once everything else exists
};

} // namespace korvel::test
