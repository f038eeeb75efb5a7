#include "bitmap.h"

#include "byte_reader.h"
#include "inflate.h"

#include <algorithm>

namespace fw::swf {
namespace {

enum : std::uint16_t {
    kDefineBits = 6,
    kLossless = 20,
    kJpeg2 = 21,
    kJpeg3 = 35,
    kLossless2 = 36,
    kJpeg4 = 90,
};

std::uint32_t Pack(std::uint32_t a, std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    return a << 24 | r << 16 | g << 8 | b;
}

// A colour the file says is premultiplied, kept so: no channel may exceed its alpha.
std::uint32_t Clamped(std::uint32_t a, std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    return Pack(a, std::min(r, a), std::min(g, a), std::min(b, a));
}

bool SizeAllowed(int w, int h, std::size_t maxPixels, std::string& problem) {
    if (w <= 0 || h <= 0) {
        problem = "empty bitmap";
        return false;
    }
    if (w > kMaxBitmapSide || h > kMaxBitmapSide ||
        static_cast<std::size_t>(w) * static_cast<std::size_t>(h) >
            std::min(maxPixels, kMaxBitmapPixels)) {
        problem = std::to_string(w) + " x " + std::to_string(h) + " too large";
        return false;
    }
    return true;
}

std::optional<Image> Lossless(ByteReader& r, bool alpha, std::size_t maxPixels,
                              std::string& problem) {
    std::uint8_t format = r.U8();
    int w = r.U16();
    int h = r.U16();
    int colours = format == 3 ? r.U8() + 1 : 0;
    if (!r.ok()) {
        problem = "header cut short";
        return std::nullopt;
    }
    if (format != 3 && format != 5 && (format != 4 || alpha)) {
        problem = "unknown pixel format " + std::to_string(format);
        return std::nullopt;
    }
    if (!SizeAllowed(w, h, maxPixels, problem)) {
        return std::nullopt;
    }
    auto width = static_cast<std::size_t>(w);
    std::size_t entry = alpha ? 4 : 3;
    std::size_t table = static_cast<std::size_t>(colours) * entry;
    // Rows of palette indices and of 15-bit colours are padded to whole 32-bit words.
    std::size_t stride = format == 3   ? (width + 3) & ~std::size_t{3}
                         : format == 4 ? (width * 2 + 3) & ~std::size_t{3}
                                       : width * 4;
    std::size_t need = table + stride * static_cast<std::size_t>(h);
    InflateResult z = ZlibInflate(r.Bytes(r.left()), need);
    if (z.data.size() < need) {
        problem = "pixels cut short" + (z.ok() ? std::string() : ": " + z.error);
        return std::nullopt;
    }
    const std::uint8_t* d = z.data.data();
    std::vector<std::uint32_t> palette(256, alpha ? 0u : 0xFF000000u);
    for (int i = 0; i < colours; ++i) {
        const std::uint8_t* c = d + static_cast<std::size_t>(i) * entry;
        palette[static_cast<std::size_t>(i)] =
            alpha ? Clamped(c[3], c[0], c[1], c[2]) : Pack(255, c[0], c[1], c[2]);
    }
    Image image;
    image.width = w;
    image.height = h;
    image.pixels.resize(width * static_cast<std::size_t>(h));
    for (std::size_t y = 0; y < static_cast<std::size_t>(h); ++y) {
        const std::uint8_t* row = d + table + y * stride;
        std::uint32_t* out = image.pixels.data() + y * width;
        for (std::size_t x = 0; x < width; ++x) {
            if (format == 3) {
                out[x] = palette[row[x]];
            } else if (format == 4) {
                unsigned v = static_cast<unsigned>(row[2 * x] << 8 | row[2 * x + 1]);
                auto five = [](unsigned c) { return (c << 3 | c >> 2) & 0xFF; };
                out[x] = Pack(255, five(v >> 10 & 31), five(v >> 5 & 31), five(v & 31));
            } else {
                const std::uint8_t* p = row + 4 * x;
                out[x] = alpha ? Clamped(p[0], p[1], p[2], p[3]) : Pack(255, p[1], p[2], p[3]);
            }
        }
    }
    return image;
}

// An 8-bit alpha plane over a decoded JPEG, which comes opaque. Tools write the colours
// already multiplied by the plane, and the reference player takes them so.
void ApplyAlpha(Image& image, std::span<const std::uint8_t> packed, std::string& problem) {
    if (packed.empty()) {
        return; // no plane: opaque
    }
    InflateResult z = ZlibInflate(packed, image.pixels.size());
    if (z.data.size() < image.pixels.size()) {
        // What the plane has still applies; the rest stays opaque.
        problem = "alpha plane cut short" + (z.ok() ? std::string() : ": " + z.error);
    }
    for (std::size_t i = 0; i < z.data.size(); ++i) {
        std::uint32_t p = image.pixels[i];
        image.pixels[i] = Clamped(z.data[i], p >> 16 & 0xFF, p >> 8 & 0xFF, p & 0xFF);
    }
}

} // namespace

std::vector<std::uint8_t> JoinJpeg(std::span<const std::span<const std::uint8_t>> parts) {
    std::vector<std::uint8_t> out{0xFF, 0xD8};
    for (auto b : parts) {
        std::size_t at = 0;
        while (at + 1 < b.size()) {
            if (b[at] != 0xFF) {
                // Not a marker where one belongs: leave the rest for the decoder to judge.
                out.insert(out.end(), b.begin() + static_cast<std::ptrdiff_t>(at), b.end());
                break;
            }
            std::uint8_t marker = b[at + 1];
            if (marker == 0xFF) {
                ++at; // fill byte
                continue;
            }
            if (marker == 0xD8 || marker == 0xD9) {
                at += 2; // every piece's own start and end: the joined stream has one of each
                continue;
            }
            if (marker == 0xDA) {
                // The scans run to the end of the piece, its end marker included.
                out.insert(out.end(), b.begin() + static_cast<std::ptrdiff_t>(at), b.end());
                break;
            }
            if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
                out.insert(out.end(), {0xFF, marker});
                at += 2;
                continue;
            }
            std::size_t length =
                at + 3 < b.size() ? static_cast<std::size_t>(b[at + 2] << 8 | b[at + 3]) : 0;
            std::size_t end = std::min(b.size(), at + 2 + length);
            out.insert(out.end(), b.begin() + static_cast<std::ptrdiff_t>(at),
                       b.begin() + static_cast<std::ptrdiff_t>(end));
            at = end;
        }
    }
    if (out.size() < 4 || out[out.size() - 2] != 0xFF || out.back() != 0xD9) {
        out.insert(out.end(), {0xFF, 0xD9});
    }
    return out;
}

BitmapTag ReadBitmap(std::uint16_t code, std::span<const std::uint8_t> body,
                     std::span<const std::uint8_t> jpegTables, std::string& problem,
                     std::size_t maxPixels) {
    BitmapTag tag;
    ByteReader r(body);
    tag.id = r.U16();
    std::string what;
    if (!r.ok()) {
        what = "header cut short";
    } else if (code == kLossless || code == kLossless2) {
        tag.image = Lossless(r, code == kLossless2, maxPixels, what);
    } else {
        std::size_t alphaAt = r.left();
        if (code == kJpeg3 || code == kJpeg4) {
            alphaAt = r.U32();
            if (code == kJpeg4) {
                r.U16(); // deblocking strength: a filter we do not apply
            }
        }
        if (!r.ok() || alphaAt > r.left()) {
            what = "header cut short";
        } else {
            auto data = r.Bytes(alphaAt);
            auto alpha = r.Bytes(r.left());
            ImageFormat format = SniffImage(data);
            if (code == kDefineBits || format == ImageFormat::Jpeg ||
                format == ImageFormat::Unknown) {
                // Old files begin with a stray end and start, so a JPEG may sniff as unknown.
                std::span<const std::uint8_t> pieces[2] = {jpegTables, data};
                auto joined =
                    code == kDefineBits ? JoinJpeg(pieces) : JoinJpeg(std::span(pieces).subspan(1));
                tag.image = DecodeImageFile(joined, what, maxPixels);
                if (tag.image && (code == kJpeg3 || code == kJpeg4)) {
                    ApplyAlpha(*tag.image, alpha, what);
                }
            } else {
                // A PNG or GIF file carries its own transparency.
                tag.image = DecodeImageFile(data, what, maxPixels);
            }
        }
    }
    if (!what.empty()) {
        problem = "bitmap " + std::to_string(tag.id) + ": " + what;
    }
    return tag;
}

} // namespace fw::swf
