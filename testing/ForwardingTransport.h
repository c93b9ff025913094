// A transport that hands every call to a real TCP transport; tests derive from it to watch or break one call.
#pragma once

#include "engine/Transport.h"

#include <memory>

namespace korvel::test
{

class ForwardingTransport : public Transport
{
public:
    explicit ForwardingTransport(std::unique_ptr<Transport> inner) : inner_(std::move(inner)) {}

    void Open(const ConnectionDescription& endpoint, int connectTimeoutMs, int streamTimeoutMs,
              const WaitLimits* limits) override
    {
        inner_->Open(endpoint, connectTimeoutMs, streamTimeoutMs, limits);
    }
    void Close() override { inner_->Close(); }
    bool IsOpen() const override { return inner_->IsOpen(); }
    bool WaitForData(int timeoutMs) override { return inner_->WaitForData(timeoutMs); }
    std::int32_t Write(const std::uint8_t* data, std::int32_t size) override
    {
        return inner_->Write(data, size);
    }
    std::int32_t Read(std::uint8_t* data, std::int32_t size) override { return inner_->Read(data, size); }

protected:
    Transport& Inner() { return *inner_; }

private:
    std::unique_ptr<Transport> inner_;
};

} // namespace korvel::test
