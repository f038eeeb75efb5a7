#include "static_text.h"

#include "byte_reader.h"

namespace fw::swf {

std::optional<StaticText> ReadStaticText(std::span<const std::uint8_t> body, bool withAlpha,
                                         std::string& problem) {
    ByteReader r(body);
    StaticText t;
    t.id = r.U16();
    t.bounds = ReadBounds(r);
    t.matrix = ReadMatrix(r);
    int glyphBits = r.U8();
    int advanceBits = r.U8();
    if (!r.ok() || glyphBits > 32 || advanceBits > 32) {
        problem = "text " + std::to_string(t.id) + " cut short";
        return std::nullopt;
    }
    TextRecord style;
    while (true) {
        std::uint8_t flags = r.U8();
        if (!r.ok()) {
            // A list without its end keeps the runs read whole.
            problem = "text " + std::to_string(t.id) + " cut short";
            return t;
        }
        if (flags == 0) {
            return t;
        }
        if (flags & 0x08) {
            style.fontId = r.U16();
        }
        if (flags & 0x04) {
            style.colour.r = r.U8();
            style.colour.g = r.U8();
            style.colour.b = r.U8();
            style.colour.a = withAlpha ? r.U8() : 255;
        }
        if (flags & 0x01) {
            style.x = static_cast<std::int16_t>(r.U16());
        }
        if (flags & 0x02) {
            style.y = static_cast<std::int16_t>(r.U16());
        }
        if (flags & 0x08) {
            style.height = r.U16();
        }
        std::size_t count = r.U8();
        TextRecord run = style;
        BitReader bits(r);
        for (std::size_t i = 0; i < count && r.ok(); ++i) {
            TextGlyph g;
            g.index = bits.Unsigned(glyphBits);
            g.advance = bits.Signed(advanceBits);
            run.glyphs.push_back(g);
        }
        if (!r.ok()) {
            problem = "text " + std::to_string(t.id) + " cut short";
            return t;
        }
        // The next run starts where this one's glyphs end.
        for (const auto& g : run.glyphs) {
            style.x += g.advance;
        }
        t.records.push_back(std::move(run));
    }
}

std::optional<std::pair<std::uint16_t, TextSettings>>
ReadTextSettings(std::span<const std::uint8_t> body) {
    ByteReader r(body);
    std::uint16_t id = r.U16();
    std::uint8_t flags = r.U8();
    TextSettings t;
    t.advanced = ((flags >> 6) & 3) == 1;
    t.gridFit = static_cast<std::uint8_t>((flags >> 3) & 7);
    t.thickness = r.F32();
    t.sharpness = r.F32();
    if (!r.ok()) {
        return std::nullopt;
    }
    return std::pair{id, t};
}

} // namespace fw::swf
