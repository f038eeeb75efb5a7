#include "inflate.h"

#include <zlib.h>

#include <algorithm>

namespace fw::swf {
namespace {

// zlib counts in uInt; feed it at most this much at once so no size is ever truncated.
constexpr std::size_t kChunk = 1u << 30;

} // namespace

std::uint32_t Adler32(std::span<const std::uint8_t> data) {
    uLong sum = adler32(0L, Z_NULL, 0);
    for (std::size_t at = 0; at < data.size(); at += kChunk) {
        auto n = static_cast<uInt>(std::min(kChunk, data.size() - at));
        sum = adler32(sum, data.data() + at, n);
    }
    return static_cast<std::uint32_t>(sum);
}

InflateResult ZlibInflate(std::span<const std::uint8_t> input, std::size_t maxOutput) {
    InflateResult result;
    if (input.size() < 2) {
        result.error = "zlib header missing";
        return result;
    }
    if ((input[0] & 0x0F) != 8 || (input[0] << 8 | input[1]) % 31 != 0) {
        result.error = "not a zlib stream";
        return result;
    }
    if (input[1] & 0x20) {
        result.error = "zlib preset dictionary not supported";
        return result;
    }
    z_stream z{};
    if (inflateInit(&z) != Z_OK) {
        result.error = "decoder unavailable";
        return result;
    }
    // Grow the output as the stream does rather than trusting the limit up front: a declared
    // size may be far larger than what the stream holds.
    std::size_t have = 0;
    std::size_t in = 0;
    bool tooLarge = false;
    int rc = Z_OK;
    while (rc == Z_OK) {
        std::uint8_t spare = 0;
        if (have == result.data.size() && have < maxOutput) {
            std::size_t grow = std::clamp<std::size_t>(have, 1u << 16, kChunk);
            result.data.resize(have + std::min(grow, maxOutput - have));
        }
        // At the limit, one spare byte tells a stream that ends right there from a longer one.
        bool atLimit = have == result.data.size();
        std::size_t feed = std::min(kChunk, input.size() - in);
        z.next_in = const_cast<Bytef*>(input.data() + in);
        z.avail_in = static_cast<uInt>(feed);
        z.next_out = atLimit ? &spare : result.data.data() + have;
        z.avail_out = atLimit ? 1u : static_cast<uInt>(std::min(kChunk, result.data.size() - have));
        std::size_t outBefore = z.avail_out;
        rc = inflate(&z, Z_NO_FLUSH);
        in += feed - z.avail_in;
        if (atLimit) {
            if (z.avail_out == 0) {
                tooLarge = true;
                break;
            }
        } else {
            have += outBefore - z.avail_out;
        }
        if (rc == Z_BUF_ERROR && in < input.size()) {
            rc = Z_OK; // only the chunking stopped it
        }
    }
    result.data.resize(have);
    if (tooLarge) {
        result.error = "output larger than announced";
    } else if (rc == Z_STREAM_END) {
        // complete, checksum included
    } else if (rc == Z_DATA_ERROR) {
        result.error = z.msg ? z.msg : "damaged stream";
    } else if (rc == Z_MEM_ERROR) {
        result.error = "out of memory";
    } else {
        result.error = "stream ends early";
    }
    inflateEnd(&z);
    return result;
}

std::vector<std::uint8_t> ZlibStore(std::span<const std::uint8_t> data) {
    std::vector<std::uint8_t> out(compressBound(static_cast<uLong>(data.size())) + 64);
    auto size = static_cast<uLongf>(out.size());
    if (compress2(out.data(), &size, data.data(), static_cast<uLong>(data.size()), 0) != Z_OK) {
        return {};
    }
    out.resize(size);
    return out;
}

} // namespace fw::swf
