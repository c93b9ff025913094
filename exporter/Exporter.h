// The exporter's HTTP side: civetweb serves /metrics (the exporter's own metrics and, when configured, one
// fixed target's) and /probe?target=HOST:PORT&module=NAME (any target the module allows). Each target keeps
// its own probe; requests for different targets run on different civetweb threads, so they proceed in
// parallel and a slow target delays only its own scrapes.
#pragma once

#include "exporter/ModuleConfig.h"
#include "exporter/SelfMetrics.h"
#include "exporter/TargetProbe.h"

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class CivetHandler;
class CivetServer;
struct mg_connection;

namespace korvel::exporter
{

struct ExporterOptions
{
    std::string Listen = "127.0.0.1:9473"; // port 0 picks a free port
    std::optional<Target> MetricsTarget;   // probed with the default module on /metrics
    ModuleConfig Modules;
    ProbeSettings Probe;
    // When Prometheus does not say how long it waits (X-Prometheus-Scrape-Timeout-Seconds).
    double DefaultScrapeTimeoutSeconds = 10;
    // A target nobody scraped for this long loses its probe (thread, connection and login).
    std::chrono::milliseconds ProbeIdleLimit = std::chrono::minutes(15);
};

// An HTTP status and the text to answer with.
struct Reply
{
    int Status = 200;
    std::string Body;
};

class Exporter
{
public:
    // Starts listening. Raises std::runtime_error when the address cannot be used.
    explicit Exporter(ExporterOptions options);
    ~Exporter();
    Exporter(const Exporter&) = delete;
    Exporter& operator=(const Exporter&) = delete;

    int Port() const { return port_; }

    // The answers to a scrape; `scrapeTimeout` is the header's text, empty when absent.
    Reply Metrics(const std::string& scrapeTimeout);
    Reply Probe(const std::string& target, const std::string& module, const std::string& scrapeTimeout);

private:
    // When the answer must be ready: a little before Prometheus gives up on it.
    Clock::time_point Deadline(const std::string& scrapeTimeout) const;
    // The target's probe, made on first use; drops the probes of targets left idle too long.
    std::shared_ptr<TargetProbe> ProbeOf(const Module& module, const Target& target);
    std::string TargetText(const Module& module, const Target& target, const std::string& scrapeTimeout);

    ExporterOptions options_;
    SelfMetrics self_;
    std::mutex probesMutex_;
    struct ProbeEntry
    {
        std::shared_ptr<TargetProbe> Probe; // shared with the scrapes under way
        Clock::time_point LastUsed;
    };
    std::map<std::string, ProbeEntry> probes_; // by module and target
    std::vector<std::unique_ptr<CivetHandler>> handlers_;
    std::unique_ptr<CivetServer> server_; // stops before its handlers and the probes go
    int port_ = 0;
};

} // namespace korvel::exporter
