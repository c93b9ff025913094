// korvel-exporter: Prometheus metrics for one or many KORVEL servers. Prints "listening on HOST:PORT" once
// it serves, and stops on SIGINT or SIGTERM whatever its probes are waiting for: their exchanges are
// cancelled. Exit status 1 when it cannot start, 2 for a usage error.
#include "exporter/Exporter.h"
#include "exporter/Target.h"
#include "settings/Profiles.h"

#include "KorvelVersion.h" // generated

#include <CLI/CLI.hpp>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <pthread.h>
#include <sys/resource.h>

namespace
{

using namespace korvel::exporter;

int Failure(const std::string& message)
{
    std::cerr << "korvel-exporter: " << message << '\n';
    return 1;
}

// Blocks SIGINT and SIGTERM in every thread (the civetweb and probe threads inherit the mask), so the main
// thread alone takes them with sigwait.
sigset_t BlockStopSignals()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    return signals;
}

// Each probe holds a socket and an event descriptor: the soft limit of 1,024 would not carry --max-targets'
// default.
void RaiseDescriptorLimit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max)
    {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

} // namespace

int main(int argc, char** argv)
{
    CLI::App app{
        "Serves Prometheus metrics for KORVEL servers: /metrics, /probe?target=HOST:PORT&module=NAME "
        "(or target=profile:NAME with --profiles) and /targets (Prometheus' http_sd format)"};
    app.set_version_flag("--version", "korvel-exporter " KORVEL_VERSION, "Print the version and exit");
    ExporterOptions options;
    std::string target, configFile;
    bool profiles = false;
    double detailSeconds = 60;
    app.add_option("--web.listen-address,--listen", options.Listen, "HOST:PORT to serve on")
        ->capture_default_str();
    app.add_option("--web.config.file", options.WebConfigFile,
                   "YAML file in the exporter toolkit's web configuration format: tls_server_config "
                   "(cert_file, key_file, client_ca_file, client_auth_type) and basic_auth_users (bcrypt)");
    app.add_option("--target", target, "HOST:PORT of a server to report on /metrics (default module)");
    app.add_option("--config", configFile, "INI file of modules: user, password, mode and allowed targets");
    app.add_flag("--profiles", profiles,
                 "Serve the running user's connection profiles as targets profile:NAME (passwords from that "
                 "user's keyring); with --config, every other target goes by the modules");
    app.add_option("--detail-interval", detailSeconds, "Seconds between walks of the session list (by mode)")
        ->capture_default_str()
        ->check(CLI::NonNegativeNumber);
    app.add_option("--scrape-timeout", options.ScrapeTimeoutSeconds,
                   "Longest a scrape may take, in seconds (Prometheus' own time-out when shorter); also the "
                   "longest wait for one request of the session-list walk")
        ->capture_default_str()
        ->check(CLI::PositiveNumber);
    app.add_option("--max-targets", options.Targets.MaxProbes,
                   "Targets probed at once at most; a scrape of one more answers 503 without connecting")
        ->capture_default_str()
        ->check(CLI::PositiveNumber);
    app.add_option("--web-threads", options.WebThreads,
                   "Scrapes answered at once (the web server keeps more threads for clients slow to send)")
        ->capture_default_str()
        ->check(CLI::Range(1, 1024));
    try
    {
        app.parse(argc, argv);
    }
    catch (const CLI::ParseError& error)
    {
        return app.exit(error) == 0 ? 0 : 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    RaiseDescriptorLimit();
    const sigset_t stopSignals = BlockStopSignals();
    try
    {
        if (!configFile.empty())
            options.Modules = ModuleConfig::Load(configFile);
        if (profiles)
        {
            options.ProfilesFile = korvel::settings::DefaultProfilesFileName();
            if (options.ProfilesFile.empty())
                return Failure(
                    "--profiles: neither XDG_CONFIG_HOME nor HOME names an absolute path, so there "
                    "is no profiles file");
        }
        if (!target.empty())
        {
            options.MetricsTarget = ParseTarget(target);
            if (!options.MetricsTarget)
                return Failure("--target must read HOST:PORT, not \"" + target + "\"");
        }
        options.Probe.DetailInterval =
            std::chrono::milliseconds(static_cast<std::int64_t>(detailSeconds * 1000));
        options.Probe.WalkCallTimeout = std::chrono::milliseconds(
            static_cast<std::int64_t>(std::ceil(options.ScrapeTimeoutSeconds * 1000)));
        Exporter exporter(options);
        const std::string host = options.Listen.substr(0, options.Listen.rfind(':'));
        std::cout << "listening on " << host << ":" << exporter.Port() << std::endl;
        int signal = 0;
        sigwait(&stopSignals, &signal);
        exporter.Stop();
        // Every probe has ended, logged out, and woken the scrapes waiting on it with their answer. The web
        // server's own stop would notice only at its next two-second poll and has nothing left to do, so the
        // process ends here.
        std::cout.flush();
        std::_Exit(0);
    }
    catch (const std::exception& error)
    {
        return Failure(error.what());
    }
}
