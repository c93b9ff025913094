// Transport doubles for session tests: a resolver that maps names onto the scripted peer, a transport that
// records the size of every write it passes on to a real TCP connection, and one that lets a peer wait for
// the client's next read.
#pragma once

#include "engine/Transport.h"
#include "testing/ForwardingTransport.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace korvel::test
{

class MapResolver : public Resolver
{
public:
    std::map<std::string, std::uint16_t> Services;

    std::uint32_t ResolveHost(const std::string& hostName) override
    {
        if (hostName != "dbhost")
            throw TransportError("unknown host " + hostName);
        return 0x0100007F; // 127.0.0.1 in network byte order
    }

    std::uint16_t ResolveService(const std::string& serviceName) override
    {
        const auto found = Services.find(serviceName);
        if (found == Services.end())
            throw TransportError("unknown service " + serviceName);
        return found->second;
    }
};

class RecordingTransport : public ForwardingTransport
{
public:
    RecordingTransport(std::shared_ptr<std::vector<std::int32_t>> writes, std::shared_ptr<Resolver> resolver)
        : ForwardingTransport(CreateTcpTransport(std::move(resolver))), writes_(std::move(writes))
    {
    }

    std::int32_t Write(const std::uint8_t* data, std::int32_t size) override
    {
        writes_->push_back(size);
        return ForwardingTransport::Write(data, size);
    }

private:
    std::shared_ptr<std::vector<std::int32_t>> writes_;
};

// The number of reads the client made; a peer step waits on it instead of guessing with a pause.
class ReadCounter
{
public:
    int Reads()
    {
        std::lock_guard guard(mutex_);
        return reads_;
    }
    void Count()
    {
        std::lock_guard guard(mutex_);
        ++reads_;
        counted_.notify_all();
    }
    // True once more than `reads` reads were made (false after ten seconds).
    bool WaitBeyond(int reads)
    {
        std::unique_lock lock(mutex_);
        return counted_.wait_for(lock, std::chrono::seconds(10), [&] { return reads_ > reads; });
    }

private:
    std::mutex mutex_;
    std::condition_variable counted_;
    int reads_ = 0;
};

class ReadCountingTransport : public ForwardingTransport
{
public:
    explicit ReadCountingTransport(std::shared_ptr<ReadCounter> counter)
        : ForwardingTransport(CreateTcpTransport()), counter_(std::move(counter))
    {
    }

    std::int32_t Read(std::uint8_t* data, std::int32_t size) override
    {
        const std::int32_t read = ForwardingTransport::Read(data, size);
        counter_->Count();
        return read;
    }

private:
    std::shared_ptr<ReadCounter> counter_;
};

} // namespace korvel::test
