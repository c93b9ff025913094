#include "exporter/Exporter.h"

#include "engine/wire/Utf8.h"
#include "exporter/Target.h"
#include "exporter/TargetDiscovery.h"

#include <CivetServer.h>
#include <algorithm>
#include <charconv>
#include <condition_variable>
#include <functional>
#include <future>
#include <iostream>
#include <mutex>

namespace korvel::exporter
{

// At most --web-threads answers computed at once; a scrape beyond them waits for a free one.
class AnswerSlots
{
public:
    explicit AnswerSlots(int count) : free_(count) {}
    void Acquire()
    {
        std::unique_lock lock(mutex_);
        freed_.wait(lock, [this] { return free_ > 0; });
        --free_;
    }
    void Release()
    {
        {
            std::lock_guard lock(mutex_);
            ++free_;
        }
        freed_.notify_one();
    }

private:
    std::mutex mutex_;
    std::condition_variable freed_;
    int free_;
};

namespace
{

// The profiles file is read on a thread with an ordinary stack: the web server's own threads have little
// (100 KB in Debian's civetweb), and a sanitizer build's parse of the file overflowed it.
template <typename Read> auto OnOrdinaryStack(Read read)
{
    return std::async(std::launch::async, std::move(read)).get();
}

constexpr const char* TextFormat = "text/plain; version=0.0.4; charset=utf-8";
// How long a client may take over each read or write of its request and answer: a client that connects
// and dawdles holds a web thread no longer than this.
constexpr const char* RequestTimeoutMs = "5000";
// Web threads per scrape answered at once: the rest wait for clients that are slow to send their request,
// so that a handful of those never stall the scrapes.
constexpr int ThreadsPerScrape = 4;
constexpr int MaxWebThreads = 1024; // civetweb's own ceiling

// One GET endpoint behind the door: the answer is computed from the request and sent whole.
class EndpointHandler : public CivetHandler
{
public:
    EndpointHandler(WebDoor& door, TlsFront* front, AnswerSlots& slots,
                    std::function<Reply(mg_connection*)> answer)
        : door_(door), front_(front), slots_(slots), answer_(std::move(answer))
    {
    }

    bool handleGet(CivetServer*, mg_connection* connection) override
    {
        const mg_request_info* request = mg_get_request_info(connection);
        if (front_ && !front_->Relays(request->remote_addr, request->remote_port))
        {
            mg_send_http_error(connection, 403, "%s", "this port serves the exporter's TLS front alone\n");
            return true;
        }
        switch (door_.Check(CivetServer::getHeader(connection, "Authorization")))
        {
        case WebDoor::Verdict::Allowed:
            break;
        case WebDoor::Verdict::Refused:
        {
            const std::string refusal = "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic "
                                        "realm=\"korvel-exporter\"\r\nContent-Type: text/plain\r\n"
                                        "Content-Length: 13\r\n\r\nUnauthorized\n";
            mg_write(connection, refusal.data(), refusal.size());
            return true;
        }
        case WebDoor::Verdict::Broken:
            mg_send_http_error(connection, 500, "%s", "the web configuration file cannot be read\n");
            return true;
        }
        slots_.Acquire();
        Reply reply;
        try
        {
            reply = answer_(connection);
        }
        catch (const std::exception& error)
        {
            // A profiles file that cannot be read, for one: said to the client, never thrown at civetweb.
            reply = {500, std::string(error.what()) + "\n"};
        }
        catch (...)
        {
            slots_.Release();
            throw;
        }
        slots_.Release();
        if (reply.Status != 200)
        {
            mg_send_http_error(connection, reply.Status, "%s", reply.Body.c_str());
            return true;
        }
        // Status line, headers and body in one write: civetweb's own header calls write the status line
        // apart, and on a kept-alive connection the rest then waits for the client's delayed ACK (40 ms).
        const std::string response = std::string("HTTP/1.1 200 OK\r\nContent-Type: ") +
                                     (reply.ContentType.empty() ? TextFormat : reply.ContentType) +
                                     "\r\nContent-Length: " + std::to_string(reply.Body.size()) + "\r\n\r\n" +
                                     reply.Body;
        mg_write(connection, response.data(), response.size());
        return true;
    }

private:
    WebDoor& door_;
    TlsFront* front_; // null without TLS
    AnswerSlots& slots_;
    std::function<Reply(mg_connection*)> answer_;
};

std::string Parameter(mg_connection* connection, const char* name)
{
    std::string value;
    CivetServer::getParam(connection, name, value);
    return value;
}

std::string ScrapeTimeoutHeader(mg_connection* connection)
{
    const char* value = CivetServer::getHeader(connection, "X-Prometheus-Scrape-Timeout-Seconds");
    return value ? value : "";
}

Reply BadRequest(std::string why)
{
    return {400, std::move(why) + "\n"};
}

} // namespace

Exporter::Exporter(ExporterOptions options)
    : options_(std::move(options)), door_(options_.WebConfigFile), pool_(options_.Targets, options_.Probe)
{
    if (!options_.ProfilesFile.empty())
        profiles_.emplace(options_.ProfilesFile);
    if (options_.MetricsTarget)
    {
        const Module* module = options_.Modules.Find(DefaultModuleName);
        if (!module)
            throw std::runtime_error("--target needs --config with a [default] module");
        if (!module->AllowsTarget(*options_.MetricsTarget))
            throw std::runtime_error("the [default] module does not allow the target " +
                                     options_.MetricsTarget->Endpoint());
        pool_.Acquire(*module, *options_.MetricsTarget, true);
    }
    slots_ = std::make_unique<AnswerSlots>(options_.WebThreads);
    const std::optional<WebTls> tls =
        options_.WebConfigFile.empty() ? std::nullopt : WebConfig::Load(options_.WebConfigFile).Tls;
    const int threads = std::min(options_.WebThreads * ThreadsPerScrape, MaxWebThreads);
    if (tls)
        front_ = std::make_unique<TlsFront>(options_.Listen, options_.WebConfigFile, *tls, threads);
    const std::vector<std::string> civetOptions{"listening_ports", tls ? "127.0.0.1:0" : options_.Listen,
                                                "num_threads", std::to_string(threads), "request_timeout_ms",
                                                RequestTimeoutMs, "enable_keep_alive", "yes",
                                                // Nothing is served from files.
                                                "enable_directory_listing", "no"};
    try
    {
        server_ = std::make_unique<CivetServer>(civetOptions);
    }
    catch (const CivetException& error)
    {
        throw std::runtime_error("cannot listen on " + options_.Listen + ": " + error.what());
    }
    const std::vector<int> ports = server_->getListeningPorts();
    port_ = ports.empty() ? 0 : ports.front();
    if (front_)
    {
        front_->Start(port_);
        port_ = front_->Port();
    }
    handlers_.push_back(std::make_unique<EndpointHandler>(
        door_, front_.get(), *slots_,
        [this](mg_connection* connection) { return Metrics(ScrapeTimeoutHeader(connection)); }));
    server_->addHandler("/metrics", *handlers_.back());
    handlers_.push_back(std::make_unique<EndpointHandler>(door_, front_.get(), *slots_,
                                                          [this](mg_connection* connection)
                                                          {
                                                              return Probe(Parameter(connection, "target"),
                                                                           Parameter(connection, "module"),
                                                                           ScrapeTimeoutHeader(connection));
                                                          }));
    server_->addHandler("/probe", *handlers_.back());
    handlers_.push_back(std::make_unique<EndpointHandler>(door_, front_.get(), *slots_,
                                                          [this](mg_connection*) { return Targets(); }));
    server_->addHandler("/targets", *handlers_.back());
}

Exporter::~Exporter()
{
    // Scrapes under way answer at once, so the web threads end quickly; the relays end before the web server
    // they talk to; then no request may run while the handlers go away.
    Stop();
    front_.reset();
    server_.reset();
}

Clock::time_point Exporter::Deadline(const std::string& scrapeTimeout) const
{
    double seconds = options_.ScrapeTimeoutSeconds;
    double given = 0;
    const auto [end, error] = std::from_chars(
        scrapeTimeout.data(), scrapeTimeout.data() + scrapeTimeout.size(), given, std::chars_format::general);
    if (error == std::errc() && end == scrapeTimeout.data() + scrapeTimeout.size() && given > 0)
        seconds = std::min(seconds, given);
    // Leave time for the answer to travel: half a second, or half the time when that is shorter.
    seconds = std::max(seconds / 2, seconds - 0.5);
    return Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

std::string Exporter::TargetText(TargetProbe& probe, const std::string& scrapeTimeout)
{
    const ServerStatus status = probe.Probe(Deadline(scrapeTimeout));
    self_.CountProbe(status.Up);
    return ServerMetricsText(status);
}

Reply Exporter::Metrics(const std::string& scrapeTimeout)
{
    std::shared_ptr<TargetProbe> probe;
    if (options_.MetricsTarget)
        probe = pool_.Acquire(*options_.Modules.Find(DefaultModuleName), *options_.MetricsTarget);
    self_.SetTargets(pool_.Size());
    std::string text = self_.Text();
    if (probe)
        text += TargetText(*probe, scrapeTimeout);
    return {200, std::move(text)};
}

Reply Exporter::Probe(const std::string& targetText, const std::string& moduleName,
                      const std::string& scrapeTimeout)
{
    if (profiles_ && targetText.starts_with(ProfileTargetPrefix))
        return ProbeProfile(targetText.substr(ProfileTargetPrefix.size()), moduleName, scrapeTimeout);
    const std::optional<ConnectionDescription> target = ParseTarget(targetText);
    const Module* module = options_.Modules.Find(moduleName);
    std::optional<Reply> refusal;
    if (targetText.empty())
        refusal = BadRequest("the target parameter is missing (target=HOST:PORT)");
    else if (!target)
        refusal = BadRequest("the target must read HOST:PORT, not \"" + targetText + "\"");
    else if (!module)
        refusal =
            BadRequest("no module \"" + (moduleName.empty() ? std::string(DefaultModuleName) : moduleName) +
                       "\" in the configuration file");
    else if (!module->AllowsTarget(*target))
        refusal =
            BadRequest("module \"" + module->Name + "\" does not allow the target " + target->Endpoint());
    if (refusal)
    {
        self_.CountRefusedProbe();
        return *refusal;
    }
    return Probed(*module, *target, scrapeTimeout);
}

Reply Exporter::ProbeProfile(const std::string& name, const std::string& moduleName,
                             const std::string& scrapeTimeout)
{
    std::optional<std::pair<Module, ConnectionDescription>> probe;
    std::optional<Reply> refusal;
    const std::string shown = "profile \"" + ShownName(name) + "\"";
    if (!moduleName.empty())
        refusal = BadRequest("a profile target takes no module: its profile says how to log in");
    else if (const std::optional<settings::Profile> profile =
                 OnOrdinaryStack([this, &name] { return profiles_->Find(name); });
             !profile)
        refusal = BadRequest("no " + shown + " in " + profiles_->FileName());
    else if (!(probe = ProbeOfProfile(*profile)))
        refusal = BadRequest(shown + " names no host or address, or no port or service");
    if (refusal)
    {
        self_.CountRefusedProbe();
        return *refusal;
    }
    return Probed(probe->first, probe->second, scrapeTimeout);
}

Reply Exporter::Probed(const Module& module, const ConnectionDescription& target,
                       const std::string& scrapeTimeout)
{
    const std::shared_ptr<TargetProbe> probe = pool_.Acquire(module, target);
    if (!probe)
    {
        self_.CountUnavailableProbe();
        return {503, "no probe for " + target.Endpoint() + ": " + std::to_string(options_.Targets.MaxProbes) +
                         " targets are probed already (--max-targets), or the exporter is stopping\n"};
    }
    return {200, TargetText(*probe, scrapeTimeout)};
}

Reply Exporter::Targets()
{
    const Discovery discovery =
        DiscoveryOf(options_.Modules, profiles_ ? OnOrdinaryStack([this] { return profiles_->List(); })
                                                : std::vector<settings::Profile>{});
    std::lock_guard lock(toldMutex_);
    for (const std::string& name : discovery.LeftOut)
        if (toldLeftOut_.insert(name).second)
            std::cerr << "korvel-exporter: /targets leaves out " << name
                      << ": its name is not UTF-8, which Prometheus' labels require" << std::endl;
    return {200, discovery.Json, "application/json"};
}

} // namespace korvel::exporter
