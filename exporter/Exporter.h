// The exporter's HTTP side: civetweb serves /metrics (the exporter's own metrics and, when configured, one
// fixed target's), /probe?target=HOST:PORT&module=NAME (any target the module allows) or, with profiles,
// /probe?target=profile:NAME, and /targets (what Prometheus may discover, TargetDiscovery.h). Each target
// keeps its own probe; requests for different targets run on different civetweb threads, so they proceed in
// parallel and a slow target delays only its own scrapes, never beyond their deadline.
#pragma once

#include "exporter/ModuleConfig.h"
#include "exporter/ProbePool.h"
#include "exporter/ProfileTargets.h"
#include "exporter/SelfMetrics.h"
#include "exporter/TargetProbe.h"
#include "exporter/TlsFront.h"
#include "exporter/WebConfig.h"

#include <memory>
#include <mutex>
#include <optional>
#include <set>
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
    std::string Listen = "127.0.0.1:9473";              // port 0 picks a free port
    std::optional<ConnectionDescription> MetricsTarget; // probed with the default module on /metrics
    ModuleConfig Modules;
    // With a file: its profiles are targets too, named "profile:NAME"; every other target goes by the
    // modules.
    std::string ProfilesFile;
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
    std::string ContentType = {}; // empty: the metrics text format
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
    Reply Targets();

private:
    // When the answer must be ready: a little before Prometheus gives up on it.
    Clock::time_point Deadline(const std::string& scrapeTimeout) const;
    std::string TargetText(TargetProbe& probe, const std::string& scrapeTimeout);
    Reply ProbeProfile(const std::string& name, const std::string& module, const std::string& scrapeTimeout);
    // The probe of a target that was allowed.
    Reply Probed(const Module& module, const ConnectionDescription& target, const std::string& scrapeTimeout);

    ExporterOptions options_;
    std::optional<ProfileTargets> profiles_;
    std::mutex toldMutex_;
    std::set<std::string> toldLeftOut_; // names /targets left out, told on stderr once each
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
