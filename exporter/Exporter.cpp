#include "exporter/Exporter.h"

#include <CivetServer.h>
#include <algorithm>
#include <charconv>
#include <functional>

namespace korvel::exporter
{
namespace
{

constexpr const char* TextFormat = "text/plain; version=0.0.4; charset=utf-8";

// One GET endpoint: the answer is computed from the request and sent whole.
class EndpointHandler : public CivetHandler
{
public:
    explicit EndpointHandler(std::function<Reply(mg_connection*)> answer) : answer_(std::move(answer)) {}

    bool handleGet(CivetServer*, mg_connection* connection) override
    {
        const Reply reply = answer_(connection);
        if (reply.Status != 200)
        {
            mg_send_http_error(connection, reply.Status, "%s", reply.Body.c_str());
            return true;
        }
        // Status line, headers and body in one write: civetweb's own header calls write the status line
        // apart, and on a kept-alive connection the rest then waits for the client's delayed ACK (40 ms).
        const std::string response = std::string("HTTP/1.1 200 OK\r\nContent-Type: ") + TextFormat +
                                     "\r\nContent-Length: " + std::to_string(reply.Body.size()) + "\r\n\r\n" +
                                     reply.Body;
        mg_write(connection, response.data(), response.size());
        return true;
    }

private:
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

Exporter::Exporter(ExporterOptions options) : options_(std::move(options))
{
    if (options_.MetricsTarget)
    {
        const Module* module = options_.Modules.Find(DefaultModuleName);
        if (!module)
            throw std::runtime_error("--target needs --config with a [default] module");
        if (!module->AllowsTarget(options_.MetricsTarget->Text()))
            throw std::runtime_error("the [default] module does not allow the target " +
                                     options_.MetricsTarget->Text());
    }
    const std::vector<std::string> civetOptions{"listening_ports", options_.Listen, "num_threads", "64",
                                                "enable_keep_alive", "yes",
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
    handlers_.push_back(std::make_unique<EndpointHandler>(
        [this](mg_connection* connection) { return Metrics(ScrapeTimeoutHeader(connection)); }));
    server_->addHandler("/metrics", *handlers_.back());
    handlers_.push_back(std::make_unique<EndpointHandler>(
        [this](mg_connection* connection)
        {
            return Probe(Parameter(connection, "target"), Parameter(connection, "module"),
                         ScrapeTimeoutHeader(connection));
        }));
    server_->addHandler("/probe", *handlers_.back());
}

Exporter::~Exporter()
{
    server_.reset(); // no request may run while the probes and handlers go away
}

Clock::time_point Exporter::Deadline(const std::string& scrapeTimeout) const
{
    double seconds = options_.DefaultScrapeTimeoutSeconds;
    double given = 0;
    const auto [end, error] = std::from_chars(
        scrapeTimeout.data(), scrapeTimeout.data() + scrapeTimeout.size(), given, std::chars_format::general);
    if (error == std::errc() && end == scrapeTimeout.data() + scrapeTimeout.size() && given > 0)
        seconds = given;
    // Leave time for the answer to travel: half a second, or half the time when that is shorter.
    seconds = std::max(seconds / 2, seconds - 0.5);
    return Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

std::shared_ptr<TargetProbe> Exporter::ProbeOf(const Module& module, const Target& target)
{
    std::vector<std::shared_ptr<TargetProbe>> idle; // ended after the lock is released
    std::lock_guard lock(probesMutex_);
    const Clock::time_point now = Clock::now();
    std::erase_if(probes_,
                  [&](auto& entry)
                  {
                      if (now - entry.second.LastUsed <= options_.ProbeIdleLimit)
                          return false;
                      idle.push_back(std::move(entry.second.Probe));
                      return true;
                  });
    ProbeEntry& entry = probes_[module.Name + "\n" + target.Text()];
    if (!entry.Probe)
        entry.Probe = std::make_shared<TargetProbe>(target, module, options_.Probe);
    entry.LastUsed = now;
    return entry.Probe;
}

std::string Exporter::TargetText(const Module& module, const Target& target, const std::string& scrapeTimeout)
{
    const ServerStatus status = ProbeOf(module, target)->Probe(Deadline(scrapeTimeout));
    self_.CountProbe(status.Up);
    return ServerMetricsText(status);
}

Reply Exporter::Metrics(const std::string& scrapeTimeout)
{
    std::string text = self_.Text();
    if (options_.MetricsTarget)
        text += TargetText(*options_.Modules.Find(DefaultModuleName), *options_.MetricsTarget, scrapeTimeout);
    return {200, std::move(text)};
}

Reply Exporter::Probe(const std::string& targetText, const std::string& moduleName,
                      const std::string& scrapeTimeout)
{
    const std::optional<Target> target = ParseTarget(targetText);
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
    else if (!module->AllowsTarget(target->Text()))
        refusal = BadRequest("module \"" + module->Name + "\" does not allow the target " + target->Text());
    if (refusal)
    {
        self_.CountRefusedProbe();
        return *refusal;
    }
    return {200, TargetText(*module, *target, scrapeTimeout)};
}

} // namespace korvel::exporter
