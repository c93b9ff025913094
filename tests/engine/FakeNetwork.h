// Transport doubles for session tests: a resolver that maps names onto the scripted peer, and a transport
// that records the size of every write it passes on to a real TCP connection.
#pragma once

#include "engine/Transport.h"

#include <map>
#include <memory>
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

class RecordingTransport : public Transport
{
public:
    RecordingTransport(std::shared_ptr<std::vector<std::int32_t>> writes, std::shared_ptr<Resolver> resolver)
        : inner_(CreateTcpTransport(std::move(resolver))), writes_(std::move(writes))
    {
    }

    void Open(const Endpoint& endpoint, int streamTimeoutMs) override
    {
        inner_->Open(endpoint, streamTimeoutMs);
    }
    void Close() override { inner_->Close(); }
    bool IsOpen() const override { return inner_->IsOpen(); }
    bool WaitForData(int timeoutMs) override { return inner_->WaitForData(timeoutMs); }
    std::int32_t Write(const std::uint8_t* data, std::int32_t size) override
    {
        writes_->push_back(size);
        return inner_->Write(data, size);
    }
    std::int32_t Read(std::uint8_t* data, std::int32_t size) override { return inner_->Read(data, size); }

private:
    std::unique_ptr<Transport> inner_;
    std::shared_ptr<std::vector<std::int32_t>> writes_;
};

} // namespace korvel::test
