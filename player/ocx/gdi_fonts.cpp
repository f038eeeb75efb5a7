#include "gdi_fonts.h"

#include "render/device_fonts.h"

#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

namespace fw::player {
namespace {

// The size outlines are asked at: fine enough that rounding to GDI's fixed point is lost, and
// the em of most TrueType fonts, so they come unscaled.
constexpr int kEm = 2048;

class MemoryDc {
public:
    MemoryDc() : dc_(CreateCompatibleDC(nullptr)) {}
    ~MemoryDc() {
        if (dc_) {
            DeleteDC(dc_);
        }
    }
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;
    HDC get() const { return dc_; }

private:
    HDC dc_;
};

class FontHandle {
public:
    explicit FontHandle(HFONT font) : font_(font) {}
    ~FontHandle() {
        if (font_) {
            DeleteObject(font_);
        }
    }
    FontHandle(const FontHandle&) = delete;
    FontHandle& operator=(const FontHandle&) = delete;
    HFONT get() const { return font_; }

private:
    HFONT font_;
};

double Value(FIXED f) {
    return f.value + f.fract / 65536.0;
}

swf::Point At(const POINTFX& p) {
    return {Value(p.x) / kEm, -Value(p.y) / kEm};
}

// GDI's native outline: polygons of lines, quadratic B-splines and (for some fonts) cubics.
void AddOutline(const std::vector<BYTE>& data, render::Path& out) {
    std::size_t at = 0;
    while (at + sizeof(TTPOLYGONHEADER) <= data.size()) {
        TTPOLYGONHEADER header;
        memcpy(&header, data.data() + at, sizeof header);
        if (header.cb < sizeof header || header.cb > data.size() - at) {
            return;
        }
        std::size_t end = at + header.cb;
        swf::Point start = At(header.pfxStart), pen = start;
        std::size_t c = at + sizeof header;
        while (c + offsetof(TTPOLYCURVE, apfx) <= end) {
            WORD type = 0, count = 0;
            memcpy(&type, data.data() + c + offsetof(TTPOLYCURVE, wType), sizeof type);
            memcpy(&count, data.data() + c + offsetof(TTPOLYCURVE, cpfx), sizeof count);
            std::size_t points = c + offsetof(TTPOLYCURVE, apfx);
            if (count == 0 || points + count * sizeof(POINTFX) > end) {
                break;
            }
            std::vector<POINTFX> p(count);
            memcpy(p.data(), data.data() + points, count * sizeof(POINTFX));
            if (type == TT_PRIM_LINE) {
                for (const auto& q : p) {
                    out.Line(pen, At(q));
                    pen = At(q);
                }
            } else if (type == TT_PRIM_QSPLINE) {
                // Between two control points the curve passes through their midpoint.
                for (std::size_t i = 0; i + 1 < count; ++i) {
                    swf::Point control = At(p[i]), next = At(p[i + 1]);
                    swf::Point to = i + 2 < count ? swf::Point{(control.x + next.x) / 2,
                                                               (control.y + next.y) / 2}
                                                  : next;
                    out.Quad(pen, control, to);
                    pen = to;
                }
            } else { // cubic, near enough as quadratics
                for (std::size_t i = 0; i + 2 < count; i += 3) {
                    swf::Point c1 = At(p[i]), c2 = At(p[i + 1]), to = At(p[i + 2]);
                    out.Quad(pen,
                             {(3 * (c1.x + c2.x) - pen.x - to.x) / 4,
                              (3 * (c1.y + c2.y) - pen.y - to.y) / 4},
                             to);
                    pen = to;
                }
            }
            c = points + count * sizeof(POINTFX);
        }
        if (!(pen == start)) {
            out.Line(pen, start);
        }
        at = end;
    }
}

class GdiFonts final : public render::DeviceFonts {
public:
    // Every frame draws its texts anew, and GDI takes far longer to hand out an outline than
    // the frame has; so each character's is asked for once (or again, after very many).
    bool Glyph(render::Face face, bool bold, bool italic, char32_t code,
               render::GlyphOutline& out) const override {
        constexpr std::size_t kMaxKept = 4096;
        const std::uint64_t key =
            static_cast<std::uint64_t>(FontKey(face, bold, italic)) << 32 | code;
        auto it = glyphs_.find(key);
        if (it == glyphs_.end()) {
            if (glyphs_.size() >= kMaxKept) {
                glyphs_.clear();
            }
            std::optional<render::GlyphOutline> glyph;
            if (render::GlyphOutline fresh; Load(face, bold, italic, code, fresh)) {
                glyph = std::move(fresh);
            }
            it = glyphs_.emplace(key, std::move(glyph)).first;
        }
        if (!it->second) {
            return false;
        }
        out = *it->second;
        return true;
    }

private:
    static int FontKey(render::Face face, bool bold, bool italic) {
        return static_cast<int>(face) * 4 + (bold ? 2 : 0) + (italic ? 1 : 0);
    }

    bool Load(render::Face face, bool bold, bool italic, char32_t code,
              render::GlyphOutline& out) const {
        if (code > 0xFFFF || !dc_.get()) {
            return false;
        }
        HFONT font = Font(face, bold, italic);
        if (!font) {
            return false;
        }
        HGDIOBJ old = SelectObject(dc_.get(), font);
        WCHAR ch = static_cast<WCHAR>(code);
        WORD index = 0xFFFF;
        bool present =
            GetGlyphIndicesW(dc_.get(), &ch, 1, &index, GGI_MARK_NONEXISTING_GLYPHS) != GDI_ERROR &&
            index != 0xFFFF;
        GLYPHMETRICS gm{};
        const MAT2 identity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
        UINT format = GGO_NATIVE | GGO_UNHINTED;
        DWORD size = present ? GetGlyphOutlineW(dc_.get(), code, format, &gm, 0, nullptr, &identity)
                             : GDI_ERROR;
        std::vector<BYTE> data;
        if (size != GDI_ERROR && size > 0 && size < (1u << 20)) {
            data.resize(size);
            if (GetGlyphOutlineW(dc_.get(), code, format, &gm, size, data.data(), &identity) ==
                GDI_ERROR) {
                data.clear();
            }
        }
        SelectObject(dc_.get(), old);
        if (size == GDI_ERROR) {
            return false;
        }
        out.path.segments.clear();
        AddOutline(data, out.path);
        out.advance = static_cast<double>(gm.gmCellIncX) / kEm;
        return true;
    }

    HFONT Font(render::Face face, bool bold, bool italic) const {
        auto& slot = fonts_[FontKey(face, bold, italic)];
        if (!slot) {
            const wchar_t* name = face == render::Face::Serif  ? L"Times New Roman"
                                  : face == render::Face::Mono ? L"Courier New"
                                                               : L"Arial";
            // Where the named face is missing, the pitch and family pick a font of its kind.
            BYTE kind = face == render::Face::Serif  ? VARIABLE_PITCH | FF_ROMAN
                        : face == render::Face::Mono ? FIXED_PITCH | FF_MODERN
                                                     : VARIABLE_PITCH | FF_SWISS;
            slot = std::make_unique<FontHandle>(CreateFontW(
                -kEm, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, italic, FALSE, FALSE, DEFAULT_CHARSET,
                OUT_TT_ONLY_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, kind, name));
        }
        return slot->get();
    }

    MemoryDc dc_;
    mutable std::map<int, std::unique_ptr<FontHandle>> fonts_;
    // By font and character; empty where the font has no glyph for it.
    mutable std::unordered_map<std::uint64_t, std::optional<render::GlyphOutline>> glyphs_;
};

} // namespace

void InstallDeviceFonts() {
    if (!render::CurrentDeviceFonts()) {
        render::SetDeviceFonts(std::make_shared<GdiFonts>());
    }
}

} // namespace fw::player
