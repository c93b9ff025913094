// Replies in LAN mode: the values run to TotalSize.
#include "ReadReply.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    korvel::fuzz::UnpackAndRead(data, size, false);
    return 0;
}
