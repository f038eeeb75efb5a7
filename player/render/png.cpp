#include "png.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

namespace fw::render {

namespace {

constexpr std::array<std::uint8_t, 8> kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// Bytes of IDAT data a hostile file may make us hold or inflate to.
constexpr std::size_t kMaxCompressed = std::size_t{256} << 20;

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 24));
    out.push_back(static_cast<std::uint8_t>(v >> 16));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

std::uint32_t GetU32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           p[3];
}

void PutChunk(std::vector<std::uint8_t>& out, const char type[4], const std::uint8_t* data,
              std::size_t size) {
    PutU32(out, static_cast<std::uint32_t>(size));
    std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data, data + size);
    uLong crc = crc32(0, out.data() + start, static_cast<uInt>(out.size() - start));
    PutU32(out, static_cast<std::uint32_t>(crc));
}

int Paeth(int a, int b, int c) {
    int p = a + b - c;
    int pa = std::abs(p - a);
    int pb = std::abs(p - b);
    int pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) {
        return a;
    }
    return pb <= pc ? b : c;
}

// Undoes the per-row filters in place; false for an unknown filter type.
bool Unfilter(std::vector<std::uint8_t>& data, std::size_t rowBytes, int height, int bpp) {
    std::size_t stride = rowBytes + 1;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = data.data() + y * stride;
        std::uint8_t filter = row[0];
        std::uint8_t* cur = row + 1;
        const std::uint8_t* prev = y > 0 ? data.data() + (y - 1) * stride + 1 : nullptr;
        for (std::size_t i = 0; i < rowBytes; ++i) {
            int a = i >= static_cast<std::size_t>(bpp) ? cur[i - bpp] : 0;
            int b = prev ? prev[i] : 0;
            int c = prev && i >= static_cast<std::size_t>(bpp) ? prev[i - bpp] : 0;
            int add = 0;
            switch (filter) {
            case 0:
                break;
            case 1:
                add = a;
                break;
            case 2:
                add = b;
                break;
            case 3:
                add = (a + b) / 2;
                break;
            case 4:
                add = Paeth(a, b, c);
                break;
            default:
                return false;
            }
            cur[i] = static_cast<std::uint8_t>(cur[i] + add);
        }
    }
    return true;
}

} // namespace

std::vector<std::uint8_t> EncodePng(const Picture& picture) {
    int w = picture.width;
    int h = picture.height;
    std::vector<std::uint8_t> raw;
    raw.reserve(static_cast<std::size_t>(h) * (static_cast<std::size_t>(w) * 4 + 1));
    for (int y = 0; y < h; ++y) {
        raw.push_back(0); // no filter: deflate alone does well on flat drawn areas
        const Pixel* row = picture.Row(y);
        for (int x = 0; x < w; ++x) {
            swf::Rgba c = Straight(row[x]);
            raw.insert(raw.end(), {c.r, c.g, c.b, c.a});
        }
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::vector<std::uint8_t> packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 6) !=
        Z_OK) {
        return {};
    }
    packed.resize(packedSize);

    std::vector<std::uint8_t> out(kSignature.begin(), kSignature.end());
    std::vector<std::uint8_t> header;
    PutU32(header, static_cast<std::uint32_t>(w));
    PutU32(header, static_cast<std::uint32_t>(h));
    header.insert(header.end(), {8, 6, 0, 0, 0}); // 8 bits, RGBA, deflate, adaptive, no interlace
    PutChunk(out, "IHDR", header.data(), header.size());
    PutChunk(out, "IDAT", packed.data(), packed.size());
    PutChunk(out, "IEND", nullptr, 0);
    return out;
}

std::optional<Picture> DecodePng(std::span<const std::uint8_t> bytes, std::string& problem) {
    if (bytes.size() < kSignature.size() ||
        !std::equal(kSignature.begin(), kSignature.end(), bytes.begin())) {
        problem = "not a PNG file";
        return std::nullopt;
    }
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int depth = 0;
    int colour = -1;
    int interlace = 0;
    std::vector<std::array<std::uint8_t, 4>> palette;
    std::optional<std::array<std::uint16_t, 3>> key; // tRNS for grey and RGB: the clear colour
    std::vector<std::uint8_t> compressed;
    bool ended = false;
    std::size_t at = kSignature.size();
    while (!ended) {
        if (bytes.size() - at < 12) {
            problem = "PNG file cut short";
            return std::nullopt;
        }
        std::uint32_t size = GetU32(&bytes[at]);
        if (size > bytes.size() - at - 12) {
            problem = "PNG chunk runs past the end of the file";
            return std::nullopt;
        }
        const std::uint8_t* type = &bytes[at + 4];
        const std::uint8_t* data = type + 4;
        uLong crc = crc32(0, type, size + 4);
        if (crc != GetU32(data + size)) {
            problem = "PNG chunk with a wrong checksum";
            return std::nullopt;
        }
        at += std::size_t{size} + 12;
        std::string name(reinterpret_cast<const char*>(type), 4);
        if (colour < 0 && name != "IHDR") {
            problem = "PNG file without a header first";
            return std::nullopt;
        }
        if (name == "IHDR") {
            if (size != 13 || colour >= 0) {
                problem = "bad PNG header";
                return std::nullopt;
            }
            width = GetU32(data);
            height = GetU32(data + 4);
            depth = data[8];
            colour = data[9];
            interlace = data[12];
            bool depthFits = false;
            switch (colour) {
            case 0:
                depthFits = depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
                break;
            case 3:
                depthFits = depth == 1 || depth == 2 || depth == 4 || depth == 8;
                break;
            case 2:
            case 4:
            case 6:
                depthFits = depth == 8 || depth == 16;
                break;
            default:
                break;
            }
            if (!depthFits || data[10] != 0 || data[11] != 0 || interlace > 1) {
                problem = "unknown PNG pixel format";
                return std::nullopt;
            }
            if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) {
                problem = "PNG size out of range";
                return std::nullopt;
            }
        } else if (name == "PLTE") {
            if (size % 3 != 0 || size / 3 > 256) {
                problem = "bad PNG palette";
                return std::nullopt;
            }
            palette.clear();
            for (std::uint32_t i = 0; i < size; i += 3) {
                palette.push_back({data[i], data[i + 1], data[i + 2], 255});
            }
        } else if (name == "tRNS") {
            if (colour == 3) {
                for (std::uint32_t i = 0; i < size && i < palette.size(); ++i) {
                    palette[i][3] = data[i];
                }
            } else if (colour == 0 && size >= 2) {
                std::uint16_t g = static_cast<std::uint16_t>((data[0] << 8) | data[1]);
                key = std::array<std::uint16_t, 3>{g, g, g};
            } else if (colour == 2 && size >= 6) {
                key = std::array<std::uint16_t, 3>{
                    static_cast<std::uint16_t>((data[0] << 8) | data[1]),
                    static_cast<std::uint16_t>((data[2] << 8) | data[3]),
                    static_cast<std::uint16_t>((data[4] << 8) | data[5])};
            }
        } else if (name == "IDAT") {
            if (compressed.size() + size > kMaxCompressed) {
                problem = "PNG data too large";
                return std::nullopt;
            }
            compressed.insert(compressed.end(), data, data + size);
        } else if (name == "IEND") {
            ended = true;
        } else if ((type[0] & 0x20) == 0) {
            problem = "PNG chunk " + name + " is needed but not known";
            return std::nullopt;
        }
    }
    if (interlace != 0) {
        problem = "interlaced PNG files are not read";
        return std::nullopt;
    }
    if (colour == 3 && palette.empty()) {
        problem = "PNG palette missing";
        return std::nullopt;
    }
    int channels = colour == 2 ? 3 : colour == 4 ? 2 : colour == 6 ? 4 : 1;
    int bitsPerPixel = channels * depth;
    std::size_t rowBytes = (static_cast<std::size_t>(width) * bitsPerPixel + 7) / 8;
    std::size_t expected = (rowBytes + 1) * height;
    std::vector<std::uint8_t> raw(expected);
    uLongf rawSize = static_cast<uLongf>(expected);
    int status =
        uncompress(raw.data(), &rawSize, compressed.data(), static_cast<uLong>(compressed.size()));
    // A stream with more data than the rows need reports a full buffer; the rows are still whole.
    if ((status != Z_OK && status != Z_BUF_ERROR) || rawSize != expected) {
        problem = "PNG pixel data cannot be inflated";
        return std::nullopt;
    }
    int bpp = std::max(1, bitsPerPixel / 8);
    if (!Unfilter(raw, rowBytes, static_cast<int>(height), bpp)) {
        problem = "unknown PNG row filter";
        return std::nullopt;
    }

    Picture picture(static_cast<int>(width), static_cast<int>(height));
    for (int y = 0; y < picture.height; ++y) {
        const std::uint8_t* row = raw.data() + y * (rowBytes + 1) + 1;
        Pixel* outRow = picture.Row(y);
        // Sample k of the row, at full depth (16-bit samples kept whole for the colour key).
        auto sample = [&](std::size_t k) -> std::uint16_t {
            if (depth == 16) {
                return static_cast<std::uint16_t>((row[2 * k] << 8) | row[2 * k + 1]);
            }
            if (depth == 8) {
                return row[k];
            }
            std::size_t bit = k * depth;
            int shift = 8 - depth - static_cast<int>(bit % 8);
            return static_cast<std::uint16_t>((row[bit / 8] >> shift) & ((1 << depth) - 1));
        };
        auto to8 = [&](std::uint16_t v) -> std::uint8_t {
            if (depth == 16) {
                return static_cast<std::uint8_t>(v >> 8);
            }
            return static_cast<std::uint8_t>(v * 255 / ((1 << depth) - 1));
        };
        for (int x = 0; x < picture.width; ++x) {
            std::size_t k = static_cast<std::size_t>(x) * channels;
            swf::Rgba c{};
            if (colour == 3) {
                std::uint16_t index = sample(k);
                auto entry = index < palette.size() ? palette[index]
                                                    : std::array<std::uint8_t, 4>{0, 0, 0, 255};
                c = swf::Rgba{entry[0], entry[1], entry[2], entry[3]};
            } else if (colour == 0 || colour == 4) {
                std::uint16_t g = sample(k);
                std::uint8_t v = to8(g);
                std::uint8_t a = colour == 4               ? to8(sample(k + 1))
                                 : (key && (*key)[0] == g) ? 0
                                                           : 255;
                c = swf::Rgba{v, v, v, a};
            } else {
                std::uint16_t r = sample(k), g = sample(k + 1), b = sample(k + 2);
                std::uint8_t a = 255;
                if (colour == 6) {
                    a = to8(sample(k + 3));
                } else if (key && (*key)[0] == r && (*key)[1] == g && (*key)[2] == b) {
                    a = 0;
                }
                c = swf::Rgba{to8(r), to8(g), to8(b), a};
            }
            outRow[x] = Premultiplied(c);
        }
    }
    return picture;
}

} // namespace fw::render
