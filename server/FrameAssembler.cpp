#include "server/FrameAssembler.h"

#include <algorithm>
#include <cstring>

namespace korvel::server
{

namespace
{

constexpr std::size_t KeptCapacity = 64 * 1024;

} // namespace

std::span<std::uint8_t> FrameAssembler::Space()
{
    if (headerGot_ < HeaderSize)
        return {headerBytes_ + headerGot_, HeaderSize - headerGot_};
    // The buffer grows as the bytes arrive, not as the header claims: a peer that announces a large message
    // and sends nothing holds no memory.
    std::size_t total = static_cast<std::size_t>(header_.TotalSize);
    if (got_ == message_.size() && got_ < total)
        message_.resize(std::min(total, std::max(KeptCapacity, 2 * got_)));
    return {message_.data() + got_, message_.size() - got_};
}

FrameAssembler::Status FrameAssembler::Received(std::size_t count, std::int32_t limit)
{
    if (headerGot_ < HeaderSize)
    {
        headerGot_ += count;
        if (headerGot_ < HeaderSize)
            return Status::NeedMore;
        header_ = DecodeHeader(headerBytes_);
        if (header_.TotalSize < HeaderSize || header_.TotalSize > limit)
            return Status::Invalid;
        message_.resize(std::min(static_cast<std::size_t>(header_.TotalSize), KeptCapacity));
        std::memcpy(message_.data(), headerBytes_, HeaderSize);
        got_ = HeaderSize;
    }
    else
    {
        got_ += count;
    }
    if (got_ < static_cast<std::size_t>(header_.TotalSize))
        return Status::NeedMore;
    message_.resize(got_);
    return Status::Complete;
}

FrameAssembler::Status FrameAssembler::Feed(const std::uint8_t* data, std::size_t size, std::int32_t limit,
                                            std::size_t& used)
{
    used = 0;
    Status status = Status::NeedMore;
    while (used < size && status == Status::NeedMore)
    {
        auto space = Space();
        std::size_t n = std::min(space.size(), size - used);
        std::memcpy(space.data(), data + used, n);
        used += n;
        status = Received(n, limit);
    }
    return status;
}

void FrameAssembler::Reset()
{
    headerGot_ = 0;
    got_ = 0;
    message_.clear();
    if (message_.capacity() > KeptCapacity)
        message_.shrink_to_fit();
}

} // namespace korvel::server
