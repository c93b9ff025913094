// The exporter's HTTP side: civetweb serves /metrics (the exporter's own metrics and, when configured, one
// fixed target's) and /probe?target=HOST:PORT&module=NAME (any target the module allows). Each target keeps
// its own probe; requests for different targets run on different civetweb threads, so they proceed in
// parallel and a slow target delays only its own scrapes, never beyond their deadline.
#pragma once

#include "exporter/ModuleConfig.h"
#include "exporter/ProbePool.h"
#include "exporter/SelfMetrics.h"
#include "exporter/TargetProbe.h"
#include "exporter/TlsFront.h"
#include "exporter/WebConfig.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class CivetHandler;
class CivetServer;
struct mg_connection;

namespace korvel::exporter
{

class AnswerSlots;

struct ExporterOptions
{
    std::string Listen = "127.0.0.1:9473"; // port 0 picks a free port
    std::optional<Target> MetricsTarget;   // probed with the default module on /metrics
    ModuleConfig Modules;
    ProbeSettings Probe;
    // The longest a scrape may take: Prometheus' own time-out (X-Prometheus-Scrape-Timeout-Seconds) when it
    // is shorter.
    double ScrapeTimeoutSeconds = 10;
    // Live probes at most (the fixed target's aside), and how long one may go unscraped before it goes.
    PoolLimits Targets;
    int WebThreads = 64;
    // The exporter toolkit's web configuration (TLS, basic authentication); empty: plain HTTP, no users.
    std::string WebConfigFile;
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
    // Starts listening. Raises std::runtime_error when the address or the web configuration cannot be used.
    explicit Exporter(ExporterOptions options);
    ~Exporter();
    Exporter(const Exporter&) = delete;
    Exporter& operator=(const Exporter&) = delete;

    int Port() const { return port_; }
    // Ends every probe: scrapes under way answer at once, later ones answer 503, and every probe's thread is
    // joined. The web server still runs until the exporter is destroyed.
    void Stop() { pool_.Stop(); }

    // The answers to a scrape; `scrapeTimeout` is the header's text, empty when absent.
    Reply Metrics(const std::string& scrapeTimeout);
    Reply Probe(const std::string& target, const std::string& module, const std::string& scrapeTimeout);

private:
    // When the answer must be ready: a little before Prometheus gives up on it.
    Clock::time_point Deadline(const std::string& scrapeTimeout) const;
    std::string TargetText(TargetProbe& probe, const std::string& scrapeTimeout);

    ExporterOptions options_;
    WebDoor door_;
    SelfMetrics self_;
    ProbePool pool_;
    std::unique_ptr<AnswerSlots> slots_;
    std::vector<std::unique_ptr<CivetHandler>> handlers_;
    std::unique_ptr<CivetServer> server_; // stops before its handlers and the probes go
    std::unique_ptr<TlsFront> front_;     // with TLS: the listener, relaying to server_ on loopback
    int port_ = 0;
};

} // namespace korvel::exporter
