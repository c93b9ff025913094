// What the exporter's tests and benchmarks share: an HTTP client (libcurl, one re-used connection), a child
// process that announces itself on its first output line, and a private module file.
#pragma once

#include <map>
#include <string>
#include <sys/types.h>
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

private:
    void* curl_;
};

// "%XX" escapes for a URL query value.
std::string UrlEncoded(const std::string& text);

// A program started with `args` (args[0] is its path or a name found in PATH), its stdout read up to its
// first line, its stderr sent to `errorLog` when given. Stopped with SIGTERM and waited for when destroyed.
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

private:
    pid_t pid_ = -1;
    int output_ = -1;
};

// A new temporary directory, removed with everything in it when destroyed.
class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    // Writes `text` to a file of the directory with the given permission bits; returns its path.
    std::string WriteFile(const std::string& name, const std::string& text, unsigned mode = 0600) const;

private:
    std::string path_;
};

// The samples of a text exposition by series ("name{label=\"value\"}" as written) with their values.
std::map<std::string, double> Samples(const std::string& exposition);

// A loopback port nothing listens on (bound once, then released).
int DeadLoopbackPort();

} // namespace korvel::test
