#include "engine/wire/Zlib.h"

#include "engine/wire/ErrorCodes.h"

#include <zlib.h>

#include <algorithm>
#include <new>
#include <stdexcept>

namespace korvel
{
namespace
{

constexpr int CompressionLevel = 9;
constexpr int WindowBits = 15; // zlib wrapper with Adler-32 trailer
constexpr int MemoryLevel = 8;
constexpr std::size_t Granule = 256;

std::size_t RoundUp(std::size_t n)
{
    return (n + Granule - 1) / Granule * Granule;
}

// Ends a zlib stream however the function leaves.
template <int (*End)(z_streamp)> struct StreamGuard
{
    z_stream& stream;
    ~StreamGuard() { End(&stream); }
};

bool Deflate(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& out)
{
    z_stream stream{};
    if (deflateInit2(&stream, CompressionLevel, Z_DEFLATED, WindowBits, MemoryLevel, Z_DEFAULT_STRATEGY) !=
        Z_OK)
        return false;
    StreamGuard<deflateEnd> guard{stream};
    out.resize(std::max<std::size_t>(RoundUp(deflateBound(&stream, size)), Granule));
    stream.next_in = const_cast<Bytef*>(data);
    stream.avail_in = static_cast<uInt>(size);
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    for (;;)
    {
        const int result = deflate(&stream, Z_FINISH);
        if (result == Z_STREAM_END)
            break;
        if (result < 0 && result != Z_BUF_ERROR)
            return false;
        // deflateBound is an upper bound, so this only runs if zlib ever disagrees with itself.
        out.resize(out.size() + Granule);
        stream.next_out = out.data() + stream.total_out;
        stream.avail_out = static_cast<uInt>(out.size() - stream.total_out);
    }
    out.resize(stream.total_out);
    return true;
}

// Inflates into the block that `grow` provides; the inflated length goes to `produced`.
bool Inflate(const std::uint8_t* data, std::size_t size, const GrowOutput& grow, std::size_t limit,
             std::size_t& produced)
{
    z_stream stream{};
    if (inflateInit2(&stream, WindowBits) != Z_OK)
        return false;
    StreamGuard<inflateEnd> guard{stream};
    stream.next_in = const_cast<Bytef*>(data);
    stream.avail_in = static_cast<uInt>(size);
    // Start near the usual ratio of text and double from there: a large log costs no quadratic copying.
    std::size_t wanted = std::min(limit, RoundUp(std::max<std::size_t>(size, 1) * 4));
    std::size_t room = 0;
    for (;;)
    {
        if (stream.avail_out == 0)
        {
            if (room >= limit)
                return false;
            const std::span<std::uint8_t> block = grow(wanted);
            room = std::min(block.size(), limit);
            stream.next_out = block.data() + stream.total_out;
            stream.avail_out = static_cast<uInt>(room - stream.total_out);
            wanted = std::min(limit, room * 2);
        }
        const int result = inflate(&stream, Z_NO_FLUSH);
        if (result == Z_STREAM_END)
            break;
        if (result == Z_NEED_DICT || (result < 0 && result != Z_BUF_ERROR))
            return false;
        if (stream.avail_out != 0 && (stream.avail_in == 0 || result == Z_BUF_ERROR))
            return false; // the input ends before the stream does
    }
    produced = stream.total_out;
    return true;
}

// A step that runs out of memory, or needs a block larger than a buffer may be, fails like one that meets bad
// data.
template <typename Step> bool Succeeds(Step&& step)
{
    try
    {
        return step();
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    catch (const std::length_error&)
    {
        return false;
    }
}

} // namespace

void CompressPayload(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& out)
{
    if (!Succeeds([&] { return Deflate(data, size, out); }))
    {
        out.clear();
        RaiseEngineError(KORVEL_COMPRESS);
    }
}

void DecompressPayload(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& out,
                       std::size_t limit)
{
    const GrowOutput grow = [&out](std::size_t wanted)
    {
        out.resize(wanted);
        return std::span<std::uint8_t>(out);
    };
    std::size_t produced = 0;
    const bool done = Succeeds([&] { return Inflate(data, size, grow, limit, produced); });
    out.resize(done ? produced : 0);
    if (!done)
        RaiseEngineError(KORVEL_UNCOMPRESS);
}

std::size_t DecompressPayload(const std::uint8_t* data, std::size_t size, const GrowOutput& grow,
                              std::size_t limit)
{
    std::size_t produced = 0;
    if (!Succeeds([&] { return Inflate(data, size, grow, limit, produced); }))
        RaiseEngineError(KORVEL_UNCOMPRESS);
    return produced;
}

} // namespace korvel
