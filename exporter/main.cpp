// korvel-exporter: Prometheus metrics for one or many KORVEL servers. Prints "listening on HOST:PORT" once
// it serves, and stops cleanly on SIGINT or SIGTERM. Exit status 1 when it cannot start, 2 for a usage error.
#include "exporter/Exporter.h"

#include <CLI/CLI.hpp>
#include <cmath>
#include <csignal>
#include <iostream>
#include <pthread.h>

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

} // namespace

int main(int argc, char** argv)
{
    CLI::App app{
        "Serves Prometheus metrics for KORVEL servers: /metrics and /probe?target=HOST:PORT&module=NAME"};
    ExporterOptions options;
    std::string target, configFile;
    double detailSeconds = 60;
    app.add_option("--listen", options.Listen, "HOST:PORT to serve on")->capture_default_str();
    app.add_option("--target", target, "HOST:PORT of a server to report on /metrics (default module)");
    app.add_option("--config", configFile, "INI file of modules: user, password, mode and allowed targets");
    app.add_option("--detail-interval", detailSeconds, "Seconds between walks of the session list (by mode)")
        ->capture_default_str()
        ->check(CLI::NonNegativeNumber);
    app.add_option(
           "--scrape-timeout", options.DefaultScrapeTimeoutSeconds,
           "Seconds a probe may take when Prometheus does not say; also the longest wait for one reply")
        ->capture_default_str()
        ->check(CLI::PositiveNumber);
    try
    {
        app.parse(argc, argv);
    }
    catch (const CLI::ParseError& error)
    {
        return app.exit(error) == 0 ? 0 : 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    const sigset_t stopSignals = BlockStopSignals();
    try
    {
        if (!configFile.empty())
            options.Modules = ModuleConfig::Load(configFile);
        if (!target.empty())
        {
            options.MetricsTarget = ParseTarget(target);
            if (!options.MetricsTarget)
                return Failure("--target must read HOST:PORT, not \"" + target + "\"");
        }
        options.Probe.DetailInterval =
            std::chrono::milliseconds(static_cast<std::int64_t>(detailSeconds * 1000));
        options.Probe.IoTimeoutSeconds =
            static_cast<std::int32_t>(std::ceil(options.DefaultScrapeTimeoutSeconds));
        Exporter exporter(options);
        const std::string host = options.Listen.substr(0, options.Listen.rfind(':'));
        std::cout << "listening on " << host << ":" << exporter.Port() << std::endl;
        int signal = 0;
        sigwait(&stopSignals, &signal);
    }
    catch (const std::exception& error)
    {
        return Failure(error.what());
    }
    return 0;
}
