// Blend modes. Every mode works on premultiplied channels in 0..255; the separable ones use
// the usual form  result = s (1 - da) + d (1 - sa) + sa da B(s/sa, d/da),  so a half-covered
// source pixel blends in proportion and a clear one changes nothing.

#include "effects.h"

#include <algorithm>

namespace fw::render {
namespace {

int Div255(int v) {
    return (v + 128 + ((v + 128) >> 8)) >> 8;
}

int Channel(Pixel p, int k) {
    return static_cast<int>((p >> (8 * k)) & 0xFF); // 0 blue, 1 green, 2 red, 3 alpha
}

Pixel Pack(const int c[4]) {
    Pixel p = 0;
    for (int k = 0; k < 4; ++k) {
        p |= static_cast<Pixel>(std::clamp(c[k], 0, 255)) << (8 * k);
    }
    return p;
}

// sa da B(s/sa, d/da) in 0..255*255 for the separable modes, given premultiplied s and d.
int Separable(BlendMode mode, int s, int sa, int d, int da) {
    switch (mode) {
    case BlendMode::Multiply:
        return s * d;
    case BlendMode::Screen:
        return s * da + d * sa - s * d;
    case BlendMode::Lighten:
        return std::max(s * da, d * sa);
    case BlendMode::Darken:
        return std::min(s * da, d * sa);
    case BlendMode::Difference:
        return std::abs(s * da - d * sa);
    case BlendMode::Hardlight:
    case BlendMode::Overlay: {
        // Hard light lets the source decide between multiplying and screening; overlay lets
        // the target decide.
        bool bySource = mode == BlendMode::Hardlight;
        int decide = bySource ? s : d, decideA = bySource ? sa : da;
        if (2 * decide <= decideA) {
            return 2 * s * d;
        }
        return sa * da - 2 * (da - d) * (sa - s);
    }
    default:
        return s * da;
    }
}

Pixel Blend(Pixel src, Pixel dst, BlendMode mode) {
    int sa = Channel(src, 3), da = Channel(dst, 3);
    int out[4];
    switch (mode) {
    case BlendMode::Alpha:
    case BlendMode::Erase: {
        int keep = mode == BlendMode::Alpha ? sa : 255 - sa;
        for (int k = 0; k < 4; ++k) {
            out[k] = Div255(Channel(dst, k) * keep);
        }
        return Pack(out);
    }
    case BlendMode::Invert: {
        // The target's colours turned over where the source covers it; its alpha stays.
        for (int k = 0; k < 3; ++k) {
            int d = Channel(dst, k);
            out[k] = d + Div255((da - 2 * d) * sa);
        }
        out[3] = da;
        return Pack(out);
    }
    default:
        break;
    }
    int a = sa + da - Div255(sa * da);
    out[3] = a;
    for (int k = 0; k < 3; ++k) {
        int s = Channel(src, k), d = Channel(dst, k);
        int v;
        switch (mode) {
        case BlendMode::Add:
            v = s + d;
            break;
        case BlendMode::Subtract:
            v = d - s;
            break;
        default:
            v = Div255(s * (255 - da) + d * (255 - sa) + Separable(mode, s, sa, d, da));
            break;
        }
        out[k] = std::clamp(v, 0, a);
    }
    return Pack(out);
}

Pixel Over(Pixel src, Pixel dst) {
    unsigned sa = src >> 24;
    if (sa == 255) {
        return src;
    }
    if (sa == 0) {
        return dst;
    }
    unsigned keep = 255 - sa;
    // Red and blue, then alpha and green, two channels a multiply.
    Pixel rb = (dst & 0x00FF00FF) * keep + 0x00800080;
    rb = ((rb + ((rb >> 8) & 0x00FF00FF)) >> 8) & 0x00FF00FF;
    Pixel ag = ((dst >> 8) & 0x00FF00FF) * keep + 0x00800080;
    ag = (ag + ((ag >> 8) & 0x00FF00FF)) & 0xFF00FF00;
    Pixel sum = rb + ag;
    // Premultiplied sums never pass 255 per channel; a malformed source is clamped per channel.
    Pixel out = 0;
    for (int k = 0; k < 32; k += 8) {
        unsigned v = ((src >> k) & 0xFF) + ((sum >> k) & 0xFF);
        out |= static_cast<Pixel>(std::min(v, 255u)) << k;
    }
    return out;
}

Pixel Scaled(Pixel p, int cover) {
    int c[4];
    for (int k = 0; k < 4; ++k) {
        c[k] = Div255(Channel(p, k) * cover);
    }
    return Pack(c);
}

} // namespace

void Composite(Picture& target, const Picture& source, int dx, int dy, BlendMode mode,
               const Mask* clip) {
    if (static_cast<int>(mode) == 0) {
        mode = BlendMode::Normal;
    }
    // Clip in 64-bit so a far offset cannot overflow.
    long long x0 = std::max<long long>(0, dx), y0 = std::max<long long>(0, dy);
    long long x1 = std::min<long long>(target.width, static_cast<long long>(dx) + source.width);
    long long y1 = std::min<long long>(target.height, static_cast<long long>(dy) + source.height);
    if (x0 >= x1 || y0 >= y1) {
        return;
    }
    if (clip && (clip->width != target.width || clip->height != target.height ||
                 clip->cover.size() != static_cast<std::size_t>(target.width) * target.height)) {
        clip = nullptr;
    }
    bool normal = mode == BlendMode::Normal || mode == BlendMode::Layer ||
                  static_cast<int>(mode) > static_cast<int>(BlendMode::Hardlight);
    for (long long y = y0; y < y1; ++y) {
        Pixel* out = target.Row(static_cast<int>(y));
        const Pixel* in = source.Row(static_cast<int>(y - dy));
        const std::uint8_t* cover =
            clip ? clip->cover.data() + static_cast<std::size_t>(y) * target.width : nullptr;
        for (long long x = x0; x < x1; ++x) {
            Pixel s = in[x - dx];
            if (cover) {
                int c = cover[x];
                if (c == 0 && mode != BlendMode::Alpha) {
                    continue;
                }
                if (c != 255) {
                    s = Scaled(s, c);
                }
            }
            out[x] = normal ? Over(s, out[x]) : Blend(s, out[x], mode);
        }
    }
}

} // namespace fw::render
