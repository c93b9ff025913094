// Replies in Internet mode: the payload is a zlib stream that is inflated in place before reading.
#include "ReadReply.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    korvel::fuzz::UnpackAndRead(data, size, true);
    return 0;
}
