// Transport doubles for session tests: a resolver that maps names onto the scripted peer, and a transport
// that records the size of every write it passes on to a real TCP connection.
#pragma once

#include "engine/Transport.h"
#include "tests/support/ForwardingTransport.h"

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

} // namespace korvel::test
