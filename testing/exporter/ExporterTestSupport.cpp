#include "testing/exporter/ExporterTestSupport.h"

#include "testing/LoopbackSocket.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <curl/curl.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <openssl/evp.h>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace korvel::test
{
namespace
{

std::size_t AppendBody(char* data, std::size_t size, std::size_t count, void* body)
{
    static_cast<std::string*>(body)->append(data, size * count);
    return size * count;
}

} // namespace

HttpClient::HttpClient() : curl_(curl_easy_init())
{
    if (!curl_)
        throw std::runtime_error("curl_easy_init failed");
}

HttpClient::~HttpClient()
{
    curl_easy_cleanup(static_cast<CURL*>(curl_));
}

HttpReply HttpClient::Get(const std::string& url, const std::vector<std::string>& headers,
                          long timeoutSeconds)
{
    CURL* curl = static_cast<CURL*>(curl_);
    HttpReply reply;
    curl_slist* list = nullptr;
    for (const std::string& header : headers)
        list = curl_slist_append(list, header.c_str());
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, timeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, AppendBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply.Body);
    curl_easy_setopt(curl, CURLOPT_CAINFO, caFile_.empty() ? nullptr : caFile_.c_str());
    curl_easy_setopt(curl, CURLOPT_SSLCERT, certFile_.empty() ? nullptr : certFile_.c_str());
    curl_easy_setopt(curl, CURLOPT_SSLKEY, keyFile_.empty() ? nullptr : keyFile_.c_str());
    if (curl_easy_perform(curl) == CURLE_OK)
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.Status);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
    curl_slist_free_all(list);
    return reply;
}

void HttpClient::UseTls(std::string caFile, std::string certFile, std::string keyFile)
{
    caFile_ = std::move(caFile);
    certFile_ = std::move(certFile);
    keyFile_ = std::move(keyFile);
}

std::string BasicAuthHeader(const std::string& user, const std::string& password)
{
    const std::string plain = user + ":" + password;
    std::string encoded(4 * ((plain.size() + 2) / 3) + 1, '\0');
    const int size =
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(encoded.data()),
                        reinterpret_cast<const unsigned char*>(plain.data()), static_cast<int>(plain.size()));
    encoded.resize(static_cast<std::size_t>(size));
    return "Authorization: Basic " + encoded;
}

std::string ReadFile(const std::string& path)
{
    std::stringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

std::string UrlEncoded(const std::string& text)
{
    char* escaped = curl_easy_escape(nullptr, text.c_str(), static_cast<int>(text.size()));
    std::string result = escaped ? escaped : "";
    curl_free(escaped);
    return result;
}

ChildProcess::ChildProcess(const std::vector<std::string>& args, const std::string& errorLog)
{
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        throw std::runtime_error("pipe failed");
    pid_ = fork();
    if (pid_ == 0)
    {
        dup2(pipeEnds[1], STDOUT_FILENO);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        if (!errorLog.empty())
        {
            const int log = open(errorLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(log, STDERR_FILENO);
        }
        std::vector<char*> argv;
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(pipeEnds[1]);
    output_ = pipeEnds[0];
}

ChildProcess::~ChildProcess()
{
    if (output_ >= 0)
        close(output_);
    if (pid_ > 0)
    {
        kill(pid_, SIGTERM);
        if (!ExitStatusWithin(std::chrono::seconds(30)))
        {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
}

std::string ChildProcess::FirstLine(int seconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    std::string line;
    char c = 0;
    while (c != '\n')
    {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd ready{output_, POLLIN, 0};
        if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) <= 0 ||
            read(output_, &c, 1) != 1)
            throw std::runtime_error("the program wrote no first line; so far: " + line);
        if (c != '\n')
            line += c;
    }
    return line;
}

int ChildProcess::ExitStatus()
{
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::optional<int> ChildProcess::ExitStatusWithin(std::chrono::milliseconds limit)
{
    // A pidfd becomes readable when the process ends, so the wait needs no polling loop.
    const int process = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
    if (process < 0)
        throw std::runtime_error("pidfd_open failed");
    pollfd ended{process, POLLIN, 0};
    const bool done = poll(&ended, 1, static_cast<int>(limit.count())) == 1;
    close(process);
    if (!done)
        return std::nullopt;
    return ExitStatus();
}

std::map<std::string, double> Samples(const std::string& exposition)
{
    std::map<std::string, double> samples;
    std::istringstream lines(exposition);
    for (std::string line; std::getline(lines, line);)
    {
        const auto space = line.rfind(' ');
        if (line.empty() || line[0] == '#' || space == std::string::npos)
            continue;
        samples[line.substr(0, space)] = std::stod(line.substr(space + 1));
    }
    return samples;
}

SilentPeer::SilentPeer(int serverPort)
    : serverPort_(serverPort), listener_(ListenOnLoopback(port_)), stopFd_(eventfd(0, EFD_CLOEXEC)),
      silent_(serverPort == 0)
{
    acceptor_ = std::thread([this] { Accept(); });
}

SilentPeer::~SilentPeer()
{
    Close();
    close(stopFd_);
}

void SilentPeer::Close()
{
    if (listener_ < 0)
        return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(stopFd_, &one, sizeof one);
    acceptor_.join();
    for (std::thread& connection : connections_)
        connection.join();
    close(listener_);
    listener_ = -1;
}

int SilentPeer::OpenConnections()
{
    std::lock_guard lock(mutex_);
    return open_;
}

void SilentPeer::FallSilent()
{
    std::lock_guard lock(mutex_);
    silent_ = true;
}

void SilentPeer::FallSilentAt(std::uint16_t requestCode)
{
    std::lock_guard lock(mutex_);
    silentAt_ = requestCode;
}

void SilentPeer::Heal()
{
    std::lock_guard lock(mutex_);
    silent_ = false;
    silentAt_.reset();
}

bool SilentPeer::WaitUntilUnanswered(int count, std::chrono::milliseconds limit)
{
    std::unique_lock lock(mutex_);
    return unansweredChanged_.wait_for(lock, limit, [&] { return unanswered_ >= count; });
}

void SilentPeer::Accept()
{
    for (;;)
    {
        pollfd ready[2] = {{listener_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        if (poll(ready, 2, -1) < 0 || ready[1].revents != 0)
            return;
        const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        {
            std::lock_guard lock(mutex_);
            ++open_;
        }
        connections_.emplace_back([this, client] { Serve(client); });
    }
}

std::vector<std::uint8_t> SilentPeer::ReadMessage(int from)
{
    std::vector<std::uint8_t> message;
    std::size_t wanted = 10; // the header, whose first four bytes give the whole size
    while (message.size() < wanted)
    {
        pollfd ready[2] = {{from, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        if (poll(ready, 2, -1) < 0 || ready[1].revents != 0)
            return {};
        std::uint8_t chunk[65536];
        const ssize_t got = recv(from, chunk, std::min(sizeof chunk, wanted - message.size()), 0);
        if (got <= 0)
            return {};
        message.insert(message.end(), chunk, chunk + got);
        if (message.size() == 10)
        {
            std::int32_t total = 0;
            std::memcpy(&total, message.data(), sizeof total);
            if (total < 10)
                return {};
            wanted = static_cast<std::size_t>(total);
        }
    }
    return message;
}

void SilentPeer::Serve(int client)
{
    int server = -1;
    bool silenced = false; // once a request went unanswered, so does every later one on this connection
    for (std::vector<std::uint8_t> request; !(request = ReadMessage(client)).empty();)
    {
        std::uint16_t code = 0;
        std::memcpy(&code, request.data() + 4, sizeof code);
        {
            std::lock_guard lock(mutex_);
            if (silentAt_ == code)
                silent_ = true;
            silenced = silenced || silent_;
            if (silenced)
            {
                ++unanswered_;
                unansweredChanged_.notify_all();
                continue;
            }
        }
        try
        {
            if (server < 0)
                server = ConnectToLoopback(serverPort_);
        }
        catch (const std::runtime_error&)
        {
            break; // the server is down: so is the connection
        }
        if (!SendAll(server, request.data(), request.size()))
            break;
        if (code == 2) // LOGOUT has no reply
            continue;
        const std::vector<std::uint8_t> reply = ReadMessage(server);
        if (reply.empty() || !SendAll(client, reply.data(), reply.size()))
            break;
    }
    if (server >= 0)
        close(server);
    close(client);
    std::lock_guard lock(mutex_);
    --open_;
}

} // namespace korvel::test
