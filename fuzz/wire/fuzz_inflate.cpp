// Decompression of arbitrary input: a bad stream is refused, a good one must survive a round trip.
#include "engine/wire/EngineError.h"
#include "engine/wire/Zlib.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    constexpr std::size_t Limit = 1 << 20;
    std::vector<std::uint8_t> plain;
    try
    {
        korvel::DecompressPayload(data, size, plain, Limit);
    }
    catch (const korvel::EKORVELEngineError&)
    {
        return 0;
    }
    if (plain.size() > Limit)
        std::abort();
    std::vector<std::uint8_t> stream;
    std::vector<std::uint8_t> again;
    korvel::CompressPayload(plain.data(), plain.size(), stream);
    korvel::DecompressPayload(stream.data(), stream.size(), again, Limit);
    if (again != plain)
        std::abort();
    return 0;
}
