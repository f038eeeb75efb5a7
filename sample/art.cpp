#include "art.h"

#define STB_TRUETYPE_IMPLEMENTATION
#define STBTT_STATIC
#include <stb_truetype.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <map>
#include <numbers>
#include <stdexcept>

namespace fw::sample {
namespace {

using swf::Rgba;

constexpr double kPi = std::numbers::pi;

// Our own strings only, so every sequence is whole.
std::u32string Decode(const std::string& utf8) {
    std::u32string out;
    for (std::size_t i = 0; i < utf8.size();) {
        auto b = static_cast<unsigned char>(utf8[i]);
        int extra = b < 0x80 ? 0 : b < 0xe0 ? 1 : b < 0xf0 ? 2 : 3;
        char32_t c = extra == 0 ? b : b & (0x3f >> extra);
        for (int k = 1; k <= extra && i + k < utf8.size(); ++k) {
            c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3f);
        }
        out.push_back(c);
        i += static_cast<std::size_t>(extra) + 1;
    }
    return out;
}

// Coverage of a pixel by a predicate over its area, sampled 4 x 4, so edges come out soft.
template <class Inside> double Coverage(int x, int y, Inside inside) {
    int n = 0;
    for (int sy = 0; sy < 4; ++sy) {
        for (int sx = 0; sx < 4; ++sx) {
            n += inside(x + (sx + 0.5) / 4, y + (sy + 0.5) / 4) ? 1 : 0;
        }
    }
    return n / 16.0;
}

struct Colour {
    double r, g, b;
};

Colour Mix(Colour a, Colour b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

std::vector<std::int16_t> Silence(double seconds) {
    return std::vector<std::int16_t>(static_cast<std::size_t>(seconds * 22050), 0);
}

swf::SoundDefinition Pcm(std::uint16_t id, const std::vector<std::int16_t>& samples) {
    swf::SoundDefinition s;
    s.id = id;
    s.coding = 3; // uncompressed, little-endian
    s.rateCode = 2;
    s.sixteenBit = true;
    s.stereo = false;
    s.sampleCount = static_cast<std::uint32_t>(samples.size());
    for (std::int16_t v : samples) {
        auto u = static_cast<std::uint16_t>(v);
        s.data.push_back(static_cast<std::uint8_t>(u & 0xff));
        s.data.push_back(static_cast<std::uint8_t>(u >> 8));
    }
    return s;
}

// A bell-like note: the tone and its octave, fading out; added into out from sample `at`.
void Note(std::vector<std::int16_t>& out, std::size_t at, double hz, double seconds, double level) {
    const double rate = 22050;
    for (std::size_t i = 0; i < static_cast<std::size_t>(seconds * rate) && at + i < out.size();
         ++i) {
        double t = static_cast<double>(i) / rate;
        double attack = std::min(1.0, t / 0.004);
        double v = attack * std::exp(-t * 6) *
                   (std::sin(2 * kPi * hz * t) + 0.3 * std::sin(4 * kPi * hz * t));
        double sum = out[at + i] + v * level * 32767 / 1.3;
        out[at + i] = static_cast<std::int16_t>(std::clamp(sum, -32767.0, 32767.0));
    }
}

} // namespace

std::vector<std::uint8_t> SmileyPixels(int side) {
    const double s = side, c = s / 2, r = s / 2 - 1;
    auto face = [&](double x, double y) { return std::hypot(x - c, y - c) <= r; };
    auto eye = [&](double x, double y) {
        auto in = [&](double ex) {
            return std::pow((x - ex) / (s * 0.07), 2) + std::pow((y - s * 0.38) / (s * 0.11), 2) <=
                   1;
        };
        return in(s * 0.36) || in(s * 0.64);
    };
    auto smile = [&](double x, double y) {
        double d = std::hypot(x - c, y - s * 0.48);
        return y > s * 0.56 && d >= s * 0.22 && d <= s * 0.29;
    };
    const Colour light{255, 236, 110}, dark{240, 150, 20}, ink{70, 40, 20};
    std::vector<std::uint8_t> argb;
    argb.reserve(static_cast<std::size_t>(side) * static_cast<std::size_t>(side) * 4);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            // Lit from the top left.
            double shade = std::clamp(std::hypot(x - s * 0.35, y - s * 0.3) / s, 0.0, 1.0);
            Colour col = Mix(light, dark, shade);
            double mark = std::max(Coverage(x, y, eye), Coverage(x, y, smile));
            col = Mix(col, ink, mark);
            double a = Coverage(x, y, face);
            argb.push_back(static_cast<std::uint8_t>(std::lround(a * 255)));
            for (double ch : {col.r, col.g, col.b}) {
                argb.push_back(static_cast<std::uint8_t>(std::lround(ch * a)));
            }
        }
    }
    return argb;
}

void RoundRect(swf::ShapeBuilder& b, double x, double y, double w, double h, double r) {
    b.MoveTo(x + r, y)
        .LineTo(x + w - r, y)
        .CurveTo(x + w, y, x + w, y + r)
        .LineTo(x + w, y + h - r)
        .CurveTo(x + w, y + h, x + w - r, y + h)
        .LineTo(x + r, y + h)
        .CurveTo(x, y + h, x, y + h - r)
        .LineTo(x, y + r)
        .CurveTo(x, y, x + r, y);
}

void Circle(swf::ShapeBuilder& b, double cx, double cy, double r) {
    // Each eighth's control point lies where the tangents at its ends meet.
    const double step = kPi / 4, reach = r / std::cos(step / 2);
    b.MoveTo(cx + r, cy);
    for (int i = 1; i <= 8; ++i) {
        double mid = (i - 0.5) * step, end = i * step;
        b.CurveTo(cx + reach * std::cos(mid), cy + reach * std::sin(mid), cx + r * std::cos(end),
                  cy + r * std::sin(end));
    }
}

swf::SoundDefinition ClickSound(std::uint16_t id) {
    // A short knock: a falling tone that is gone in a few hundredths of a second.
    auto samples = Silence(0.035);
    std::uint32_t noise = 12345;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        double t = static_cast<double>(i) / 22050;
        noise = noise * 1103515245 + 12345;
        double grain = static_cast<double>((noise >> 16) & 0x7fff) / 0x4000 - 1;
        double v =
            std::exp(-t * 140) * (0.8 * std::sin(2 * kPi * (1800 - 9000 * t) * t) + 0.2 * grain);
        samples[i] = static_cast<std::int16_t>(std::lround(v * 0.6 * 32767));
    }
    return Pcm(id, samples);
}

swf::SoundDefinition ChimeSound(std::uint16_t id) {
    // Three rising notes of a major chord, each ringing under the next.
    auto samples = Silence(0.7);
    const double notes[] = {1046.5, 1318.5, 1568.0};
    for (int i = 0; i < 3; ++i) {
        Note(samples, static_cast<std::size_t>(i * 0.09 * 22050), notes[i], 0.7, 0.3);
    }
    return Pcm(id, samples);
}

struct GlyphCutter::Impl {
    std::vector<unsigned char> bytes;
    stbtt_fontinfo info{};
    double unitsPerEm = 2048;
    // Per font id, the glyph index each character got.
    std::map<std::uint16_t, std::map<char32_t, std::uint32_t>> indices;
};

swf::EditText Caption(std::uint16_t id, std::uint16_t fontId, const std::string& text, double w,
                      double h, double size, Rgba colour) {
    swf::EditText t;
    t.id = id;
    t.bounds = swf::Bounds{0, w * 20, 0, h * 20};
    t.hasFont = true;
    t.fontId = fontId;
    t.height = size * 20;
    t.colour = colour;
    t.readOnly = true;
    t.noSelect = true;
    t.hasText = !text.empty();
    t.initialText = text;
    return t;
}

GlyphCutter::GlyphCutter(const std::string& path) : impl_(std::make_unique<Impl>()) {
    std::ifstream in(path, std::ios::binary);
    impl_->bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    int offset =
        impl_->bytes.size() >= 12 ? stbtt_GetFontOffsetForIndex(impl_->bytes.data(), 0) : -1;
    if (offset < 0 || !stbtt_InitFont(&impl_->info, impl_->bytes.data(), offset)) {
        throw std::runtime_error(path + ": not a font that can be read (fonts-dejavu-core)");
    }
    impl_->unitsPerEm = 1 / stbtt_ScaleForMappingEmToPixels(&impl_->info, 1.0f);
}

GlyphCutter::~GlyphCutter() = default;

swf::StaticText GlyphCutter::Line(swf::Font& font, std::uint16_t id, const std::string& text,
                                  double size, Rgba colour, double centreX, double baseline) {
    const stbtt_fontinfo* info = &impl_->info;
    const double toEm = 20480 / impl_->unitsPerEm; // font units to the embedded em
    const double toTwips = size * 20 / impl_->unitsPerEm;
    auto& indices = impl_->indices[font.id];
    if (!font.hasLayout) {
        int ascent = 0, descent = 0, gap = 0;
        stbtt_GetFontVMetrics(info, &ascent, &descent, &gap);
        font.hasLayout = true;
        font.ascent = ascent * toEm;
        font.descent = -descent * toEm;
        font.leading = gap * toEm;
    }

    swf::TextRecord run;
    run.fontId = font.id;
    run.height = size * 20;
    run.colour = colour;
    double width = 0;
    for (char32_t c : Decode(text)) {
        int glyph = stbtt_FindGlyphIndex(info, static_cast<int>(c));
        if (glyph == 0) {
            throw std::runtime_error("the font has no glyph for a character of \"" + text + "\"");
        }
        int advance = 0, bearing = 0;
        stbtt_GetGlyphHMetrics(info, glyph, &advance, &bearing);
        auto [at, added] = indices.try_emplace(c, static_cast<std::uint32_t>(font.glyphs.size()));
        if (added) {
            stbtt_vertex* v = nullptr;
            int n = stbtt_GetGlyphShape(info, glyph, &v);
            swf::ShapeBuilder outline(0);
            // Outer contours turn clockwise with y up, so the ink is left of each edge.
            outline.Style(1, 0, 0);
            for (int i = 0; i < n; ++i) {
                double x = v[i].x * toEm, y = -v[i].y * toEm;
                if (v[i].type == STBTT_vmove) {
                    outline.MoveTo(x, y);
                } else if (v[i].type == STBTT_vcurve) {
                    outline.CurveTo(v[i].cx * toEm, -v[i].cy * toEm, x, y);
                } else {
                    outline.LineTo(x, y);
                }
            }
            stbtt_FreeShape(info, v);
            font.glyphs.push_back(outline.Build().edges);
            font.codes.push_back(static_cast<std::uint16_t>(c));
            font.advances.push_back(advance * toEm);
        }
        auto twips = static_cast<std::int32_t>(std::lround(advance * toTwips));
        run.glyphs.push_back(swf::TextGlyph{at->second, twips});
        width += twips;
    }
    int ascent = 0, descent = 0, gap = 0;
    stbtt_GetFontVMetrics(info, &ascent, &descent, &gap);
    swf::StaticText t;
    t.id = id;
    t.bounds = swf::Bounds{0, width, -ascent * toTwips, -descent * toTwips};
    t.matrix = swf::Matrix{1, 0, 0, 1, centreX * 20 - width / 2, baseline * 20};
    t.records.push_back(std::move(run));
    return t;
}

} // namespace fw::sample
