#pragma once
// zlib streams: decoding for compressed movies and lossless bitmaps, and the stored-block
// encoder the writer uses. A thin layer over zlib that bounds what a hostile stream can ask for.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace fw::swf {

struct InflateResult {
    std::vector<std::uint8_t> data; // what was decoded, also when decoding failed part way
    std::string error;              // empty when the stream was complete and its checksum matched
    bool ok() const { return error.empty(); }
};

// Decodes a zlib stream (RFC 1950 around RFC 1951). Never writes more than maxOutput bytes:
// a stream that would grow past it stops with an error, so a hostile file cannot exhaust memory.
InflateResult ZlibInflate(std::span<const std::uint8_t> input, std::size_t maxOutput);

// Encodes data as a valid zlib stream of stored (uncompressed) deflate blocks.
std::vector<std::uint8_t> ZlibStore(std::span<const std::uint8_t> data);

std::uint32_t Adler32(std::span<const std::uint8_t> data);

} // namespace fw::swf
