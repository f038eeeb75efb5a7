// Glyph outlines of embedded fonts and the font information tags that name them.

#include "byte_reader.h"
#include "graphics.h"

#include <algorithm>

namespace fw::swf {
namespace {

// Far beyond any real font; keeps a hostile table from filling memory.
constexpr std::size_t kMaxGlyphEdges = 4096;
constexpr std::size_t kMaxFontEdges = 1 << 20;

// One glyph: a shape without style arrays, its one fill style implied.
std::vector<Edge> ReadGlyph(std::span<const std::uint8_t> body, std::size_t& budget) {
    std::vector<Edge> edges;
    ByteReader r(body);
    BitReader bits(r);
    int fillBits = static_cast<int>(bits.Unsigned(4));
    int lineBits = static_cast<int>(bits.Unsigned(4));
    Point pen;
    int fill0 = 0, fill1 = 0;
    while (r.ok() && edges.size() < kMaxGlyphEdges && budget > 0) {
        if (!bits.Unsigned(1)) {
            std::uint32_t flags = bits.Unsigned(5);
            if (flags == 0 || (flags & 0x10)) {
                break; // the end, or new styles, which a glyph cannot have
            }
            if (flags & 0x01) {
                int n = static_cast<int>(bits.Unsigned(5));
                pen.x = bits.Signed(n);
                pen.y = bits.Signed(n);
            }
            if (flags & 0x02) {
                fill0 = bits.Unsigned(fillBits) ? 1 : 0;
            }
            if (flags & 0x04) {
                fill1 = bits.Unsigned(fillBits) ? 1 : 0;
            }
            if (flags & 0x08) {
                bits.Unsigned(lineBits);
            }
            continue;
        }
        Edge e;
        e.from = pen;
        e.fill0 = fill0;
        e.fill1 = fill1;
        ReadEdgeRecord(bits, e);
        if (!r.ok()) {
            break; // a glyph cut short keeps the edges read whole
        }
        pen = e.to;
        edges.push_back(e);
        --budget;
    }
    return edges;
}

} // namespace

std::vector<std::vector<Edge>> ReadGlyphTable(std::span<const std::uint8_t> table,
                                              std::size_t count, bool wideOffsets,
                                              std::size_t end) {
    end = std::min(end, table.size());
    ByteReader r(table);
    std::vector<std::size_t> offsets;
    offsets.reserve(std::min<std::size_t>(count, table.size() / 2) + 1);
    for (std::size_t i = 0; i < count && r.ok(); ++i) {
        offsets.push_back(wideOffsets ? r.U32() : r.U16());
    }
    std::vector<std::vector<Edge>> glyphs(offsets.size());
    if (!r.ok()) {
        return {};
    }
    std::size_t budget = kMaxFontEdges;
    for (std::size_t i = 0; i < offsets.size(); ++i) {
        std::size_t from = offsets[i];
        std::size_t to = i + 1 < offsets.size() ? offsets[i + 1] : end;
        // Offsets out of order or past the table leave that glyph empty.
        if (from < to && to <= end) {
            glyphs[i] = ReadGlyph(table.subspan(from, to - from), budget);
        }
    }
    return glyphs;
}

std::optional<Font> ReadFont1(std::span<const std::uint8_t> body, std::string& problem) {
    ByteReader r(body);
    Font f;
    f.id = r.U16();
    std::size_t first = r.U16();
    if (!r.ok()) {
        problem = "font cut short";
        return std::nullopt;
    }
    // The first offset also says how long the table is.
    f.glyphs = ReadGlyphTable(body.subspan(2), first / 2, false, body.size() - 2);
    return f;
}

bool ApplyFontInfo(Font& font, std::span<const std::uint8_t> body, bool info2) {
    ByteReader r(body);
    r.U16(); // the font's id, which found this font
    std::size_t len = r.U8();
    auto name = r.Bytes(len);
    std::uint8_t flags = r.U8();
    if (info2) {
        r.U8(); // language
    }
    if (!r.ok()) {
        return false;
    }
    font.name.assign(name.begin(), name.end());
    while (!font.name.empty() && font.name.back() == '\0') {
        font.name.pop_back();
    }
    font.smallText = flags & 0x20;
    font.shiftJis = flags & 0x10;
    font.ansi = flags & 0x08;
    font.italic = flags & 0x04;
    font.bold = flags & 0x02;
    bool wide = info2 || (flags & 0x01);
    std::vector<std::uint16_t> codes(font.glyphs.size());
    for (auto& c : codes) {
        c = wide ? r.U16() : r.U8();
    }
    if (!r.ok()) {
        return false;
    }
    font.codes = std::move(codes);
    return true;
}

} // namespace fw::swf
