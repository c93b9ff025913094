// Benchmarks of the remote session. Each prints its ratio against a floor measured in the same run.
// - lan_ratio: one argument-less request and its reply, LAN mode, against a raw ping-pong of the same bytes.
// - log_ratio: a 10 MiB log reply in Internet mode against a bare inflate of the same zlib stream, once the
//   reply alone and once with GetLog splitting it into lines; log_cpu_ratio is the same in the client
//   thread's CPU time, which a busy machine does not blur.
// - allocs_per_call: heap allocations per LAN request after warm-up (the buffers persist, so 0 is the goal).
// With KORVEL_BENCH_SMOKE=1 the sizes are small so that CTest can prove the benchmarks run.
#include "AllocationCounter.h"
#include "CannedServer.h"
#include "testing/bench/BenchSupport.h"

#include "engine/DataSession.h"
#include "engine/wire/RequestCodes.h"
#include "engine/wire/Zlib.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <string>

namespace korvel::bench
{
namespace
{

double ThreadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

Bytes Message(std::uint16_t code, bool compress, const std::function<void(MessageWriter&)>& fill)
{
    MessageBuffer buffer;
    MessageWriter writer(buffer);
    writer.SetCode(code);
    writer.Begin();
    fill(writer);
    writer.Finish(compress);
    return Bytes(buffer.Data(), buffer.Data() + writer.Header().TotalSize);
}

void LogIn(TDataSession& session, std::uint16_t port, bool uncompressed)
{
    session.SetRemote(true);
    session.SetUncompressed(uncompressed);
    session.SetPort(port);
    session.SetUserName("bench");
    session.SetPassword("bench");
    session.Connect();
    session.Login();
}

// Lines like a server log: a time stamp, a level and a varying message.
std::string LogText(std::size_t size)
{
    std::string text;
    text.reserve(size + 128);
    for (int line = 0; text.size() < size; ++line)
        text += "2026-12-09 00:" + std::to_string(10 + line % 50) + ":" + std::to_string(10 + line % 47) +
                " INFO session " + std::to_string(line * 7919 % 100003) + " connected from 10.0." +
                std::to_string(line % 256) + "." + std::to_string(line * 31 % 256) + "\r\n";
    text.resize(size);
    return text;
}

// A LAN session to a server that answers every request with an up time, warmed up so its buffers persist.
struct WarmLanSession
{
    Bytes Reply = Message(0, false, [](MessageWriter& w) { w.AppendInt32(3600); });
    CannedServer Server{Reply};
    TDataSession Session;

    WarmLanSession()
    {
        LogIn(Session, Server.Port(), true);
        for (int i = 0; i < 100; ++i)
            Session.GetUpTime();
    }
};

void LanRoundTrip(benchmark::State& state)
{
    WarmLanSession lan;
    const auto start = Clock::now();
    for (auto _ : state)
        benchmark::DoNotOptimize(lan.Session.GetUpTime());
    const std::chrono::duration<double> elapsed = Clock::now() - start;

    const Bytes request = Message(REQUEST_GETUPTIME, false, [](MessageWriter&) {});
    const auto count = static_cast<std::int64_t>(state.iterations());
    const double floor = RawPingPong(lan.Server.Port(), request, lan.Reply.size(), count);
    state.counters["floor_us"] = floor / static_cast<double>(count) * 1e6;
    state.counters["lan_ratio"] = elapsed.count() / floor;
}

// The floor of the log benchmarks: one inflate call of the reply's stream into a buffer already large enough.
struct InflateFloor
{
    double Seconds = 0;
    double CpuSeconds = 0;

    bool Run(const Bytes& reply, Bytes& plain)
    {
        const auto start = Clock::now();
        const double cpuStart = ThreadCpuSeconds();
        z_stream stream{};
        inflateInit(&stream);
        stream.next_in = const_cast<Bytef*>(reply.data() + HeaderSize);
        stream.avail_in = static_cast<uInt>(reply.size() - HeaderSize);
        stream.next_out = plain.data();
        stream.avail_out = static_cast<uInt>(plain.size());
        const int result = inflate(&stream, Z_FINISH);
        inflateEnd(&stream);
        CpuSeconds += ThreadCpuSeconds() - cpuStart;
        Seconds += std::chrono::duration<double>(Clock::now() - start).count();
        return result == Z_STREAM_END;
    }
};

// A large log in Internet mode. Without `split` only the reply is taken (request, receive, inflate, the text
// value); with it GetLog also splits the text into the caller's lines.
void InternetLog(benchmark::State& state, bool split)
{
    const std::size_t size = Smoke() ? 64 * 1024 : 10 * 1024 * 1024;
    // Built once: the framework calls this function several times while it sizes the run.
    static const Bytes reply = Message(0, true, [&](MessageWriter& w) { w.AppendText(LogText(size)); });
    CannedServer server(reply);
    TDataSession session;
    LogIn(session, server.Port(), false);

    StringList lines;
    std::size_t textSize = 0;
    double sessionSeconds = 0;
    double sessionCpuSeconds = 0;
    InflateFloor floor;
    Bytes plain(size + 64);
    for (auto _ : state)
    {
        const auto start = Clock::now();
        const double cpuStart = ThreadCpuSeconds();
        if (split)
        {
            session.GetLog(lines);
        }
        else
        {
            session.SetRequestCode(REQUEST_GETLOG);
            session.BeginRequest();
            session.FinishRequest();
            session.Call();
            session.CheckReply();
            textSize = session.Reply().ReadTextView().size();
        }
        sessionCpuSeconds += ThreadCpuSeconds() - cpuStart;
        sessionSeconds += std::chrono::duration<double>(Clock::now() - start).count();
        if (!floor.Run(reply, plain) || (split ? lines.empty() : textSize != size))
            state.SkipWithError("the log did not arrive");
    }
    state.counters["compressed_bytes"] = static_cast<double>(reply.size());
    state.counters["log_ratio"] = sessionSeconds / floor.Seconds;
    // The client thread's CPU time against the floor's: no waits for the server thread on a busy machine.
    state.counters["log_cpu_ratio"] = sessionCpuSeconds / floor.CpuSeconds;
}

void AllocationsPerRequest(benchmark::State& state)
{
    WarmLanSession lan;
    const std::uint64_t before = AllocationCount();
    for (auto _ : state)
        benchmark::DoNotOptimize(lan.Session.GetUpTime());
    const std::uint64_t allocations = AllocationCount() - before;
    state.counters["allocs_per_call"] =
        static_cast<double>(allocations) /
        static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
}

BENCHMARK(LanRoundTrip)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(InternetLog, reply, false)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(InternetLog, lines, true)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(AllocationsPerRequest)->UseRealTime()->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace korvel::bench

BENCHMARK_MAIN();
