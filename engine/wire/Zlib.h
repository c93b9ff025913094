// Payload compression of Internet mode: one zlib stream (RFC 1950) per message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace korvel
{

// Deflates `size` bytes at level 9, window bits 15, memory level 8, into `out` (replaced).
// Raises engine error 15001 (KORVEL_COMPRESS) on any failure.
void CompressPayload(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& out);

// Inflates one complete zlib stream into `out` (replaced). The output grows geometrically and never beyond
// `limit` bytes. Raises engine error 15002 (KORVEL_UNCOMPRESS) when the stream is bad, incomplete, asks for a
// preset dictionary or inflates past the limit.
void DecompressPayload(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& out,
                       std::size_t limit);

} // namespace korvel
