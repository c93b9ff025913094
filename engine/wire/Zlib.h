// Payload compression of Internet mode: one zlib stream (RFC 1950) per message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
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

// Makes room for at least the given number of bytes, keeping those already written, and returns the whole
// block (it may be larger than asked).
using GrowOutput = std::function<std::span<std::uint8_t>(std::size_t)>;

// The same into a block that the caller owns and grows, so a buffer that persists is neither zero-filled nor
// copied again for each large message. Returns the inflated length.
std::size_t DecompressPayload(const std::uint8_t* data, std::size_t size, const GrowOutput& grow,
                              std::size_t limit);

} // namespace korvel
