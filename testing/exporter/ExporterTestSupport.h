// What the exporter's tests and benchmarks share: an HTTP client (libcurl, one re-used connection), a child
// process that announces itself on its first output line, a private module file, and a server that falls
// silent.
#pragma once

#include "testing/TempDir.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace korvel::test
{

struct HttpReply
{
    long Status = 0; // 0 when no answer came
    std::string Body;
};

class HttpClient
{
public:
    HttpClient();
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // GET with the given extra headers ("Name: value"); waits at most `timeoutSeconds`.
    HttpReply Get(const std::string& url, const std::vector<std::string>& headers = {},
                  long timeoutSeconds = 60);
    // For https: the CA the server's certificate must come from, and the client's own certificate and key
    // when it shows one.
    void UseTls(std::string caFile, std::string certFile = "", std::string keyFile = "");

private:
    void* curl_;
    std::string caFile_, certFile_, keyFile_;
};

// "%XX" escapes for a URL query value.
std::string UrlEncoded(const std::string& text);

// "Authorization: Basic ..." for a user and password.
std::string BasicAuthHeader(const std::string& user, const std::string& password);

// A file's whole text; empty when it cannot be read.
std::string ReadFile(const std::string& path);

// A program started with `args` (args[0] is its path or a name found in PATH), its stdout read up to its
// first line, its stderr sent to `errorLog` when given. Stopped with SIGTERM and waited for when destroyed;
// one that outlives SIGTERM by 30 s is killed, so a test that failed does not hang too.
class ChildProcess
{
public:
    explicit ChildProcess(const std::vector<std::string>& args, const std::string& errorLog = "");
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The first line the program wrote (without its newline); raises when none came within `seconds`.
    std::string FirstLine(int seconds = 15);
    pid_t Pid() const { return pid_; }
    // Waits for the program to end by itself; its exit status, or -1 when a signal ended it.
    int ExitStatus();
    // The same, waiting at most `limit`; nothing when the program still runs by then.
    std::optional<int> ExitStatusWithin(std::chrono::milliseconds limit);

private:
    pid_t pid_ = -1;
    int output_ = -1;
};

// The samples of a text exposition by series ("name{label=\"value\"}" as written) with their values.
std::map<std::string, double> Samples(const std::string& exposition);

// A server on 127.0.0.1 that can fall silent: it relays each request of each connection it accepts to a
// real server (the administration port given) and the reply back, until it falls silent. From then on it
// reads every request and answers none, and keeps the connection open: the client's wait can only end on
// its own side. Without a server to relay to it is silent from the start: a listener that accepts and never
// answers.
class SilentPeer
{
public:
    explicit SilentPeer(int serverPort = 0);
    ~SilentPeer();
    SilentPeer(const SilentPeer&) = delete;
    SilentPeer& operator=(const SilentPeer&) = delete;

    std::uint16_t Port() const { return port_; }
    // Every request from now on goes unanswered.
    void FallSilent();
    // The first request with this code, and every one after it, goes unanswered.
    void FallSilentAt(std::uint16_t requestCode);
    // New connections are relayed again; those that went silent stay silent and open.
    void Heal();
    // Waits until `count` requests in all went unanswered; false when `limit` passed first.
    bool WaitUntilUnanswered(int count, std::chrono::milliseconds limit);
    // Connections the client has not closed yet.
    int OpenConnections();
    // Closes every connection and stops listening, which ends whatever waits on them.
    void Close();

private:
    void Accept();
    void Serve(int client);
    // The next request or reply of `from`, whole; empty when it closed or the peer stops.
    std::vector<std::uint8_t> ReadMessage(int from);

    int serverPort_;
    std::uint16_t port_ = 0; // before listener_, which sets it
    int listener_ = -1;
    int stopFd_ = -1;
    std::mutex mutex_;
    std::condition_variable unansweredChanged_;
    bool silent_;
    std::optional<std::uint16_t> silentAt_;
    int unanswered_ = 0;
    int open_ = 0;
    std::vector<std::thread> connections_;
    std::thread acceptor_;
};

} // namespace korvel::test
