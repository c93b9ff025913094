#include "exporter/SelfMetrics.h"

#include <fstream>
#include <prometheus/text_serializer.h>
#include <unistd.h>

namespace korvel::exporter
{
namespace
{

prometheus::Family<prometheus::Counter>& ProbesFamily(prometheus::Registry& registry)
{
    return prometheus::BuildCounter()
        .Name("korvel_exporter_probes_total")
        .Help("Probes answered, by outcome: up, down, refused before connecting (bad target or module), or "
              "unavailable (503: --max-targets reached, or stopping).")
        .Register(registry);
}

} // namespace

SelfMetrics::SelfMetrics()
    : probesUp_(ProbesFamily(registry_).Add({{"outcome", "up"}})),
      probesDown_(ProbesFamily(registry_).Add({{"outcome", "down"}})),
      probesRefused_(ProbesFamily(registry_).Add({{"outcome", "refused"}})),
      probesUnavailable_(ProbesFamily(registry_).Add({{"outcome", "unavailable"}})),
      targets_(prometheus::BuildGauge()
                   .Name("korvel_exporter_targets")
                   .Help("Targets with a live probe (a thread, a connection and a login each).")
                   .Register(registry_)
                   .Add({})),
      residentMemory_(prometheus::BuildGauge()
                          .Name("process_resident_memory_bytes")
                          .Help("Resident memory size in bytes.")
                          .Register(registry_)
                          .Add({}))
{
    prometheus::BuildGauge()
        .Name("korvel_exporter_build_info")
        .Help("The exporter's version; always 1.")
        .Register(registry_)
        .Add({{"version", KORVEL_EXPORTER_VERSION}})
        .Set(1);
}

std::string SelfMetrics::Text()
{
    residentMemory_.Set(ResidentMemoryBytes());
    return prometheus::TextSerializer().Serialize(registry_.Collect());
}

double ResidentMemoryBytes()
{
    std::ifstream statm("/proc/self/statm");
    double sizePages = 0, residentPages = 0;
    if (!(statm >> sizePages >> residentPages))
        return 0;
    return residentPages * static_cast<double>(sysconf(_SC_PAGESIZE));
}

} // namespace korvel::exporter
