// The exporter's own metrics: probes by outcome, refused probe requests, the targets it probes and its
// resident memory.
#pragma once

#include <cstddef>
#include <prometheus/counter.h>
#include <prometheus/gauge.h>
#include <prometheus/registry.h>
#include <string>

namespace korvel::exporter
{

class SelfMetrics
{
public:
    SelfMetrics();

    void CountProbe(bool up) { (up ? probesUp_ : probesDown_).Increment(); }
    void CountRefusedProbe() { probesRefused_.Increment(); }
    void CountUnavailableProbe() { probesUnavailable_.Increment(); }
    void SetTargets(std::size_t count) { targets_.Set(static_cast<double>(count)); }

    // The metrics in the text exposition format, resident memory read at this moment.
    std::string Text();

private:
    prometheus::Registry registry_;
    prometheus::Counter& probesUp_;
    prometheus::Counter& probesDown_;
    prometheus::Counter& probesRefused_;
    prometheus::Counter& probesUnavailable_;
    prometheus::Gauge& targets_;
    prometheus::Gauge& residentMemory_;
};

// The process's resident memory in bytes (0 when /proc cannot be read).
double ResidentMemoryBytes();

} // namespace korvel::exporter
