#include "font_file.h"

#define STB_TRUETYPE_IMPLEMENTATION
#define STBTT_STATIC
#include <stb_truetype.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <span>
#include <iterator>

namespace fw::render {

Face FaceOf(std::string_view name) {
    std::string n;
    for (char c : name) {
        n.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    }
    auto has = [&](std::string_view part) { return n.find(part) != std::string::npos; };
    if (n == "_typewriter" || has("courier") || has("mono") || has("console")) {
        return Face::Mono;
    }
    if (n == "_serif" || has("times") || (has("serif") && !has("sans")) || has("georgia") ||
        has("garamond") || has("book antiqua") || has("palatino")) {
        return Face::Serif;
    }
    return Face::Sans;
}

namespace {
std::shared_ptr<const DeviceFonts>& Installed() {
    static std::shared_ptr<const DeviceFonts> fonts;
    return fonts;
}
} // namespace

void SetDeviceFonts(std::shared_ptr<const DeviceFonts> fonts) {
    Installed() = std::move(fonts);
}

const DeviceFonts* CurrentDeviceFonts() {
    return Installed().get();
}

struct TrueTypeFont::Info {
    stbtt_fontinfo font;
};

TrueTypeFont::~TrueTypeFont() = default;

std::unique_ptr<TrueTypeFont> TrueTypeFont::Open(std::vector<std::uint8_t> bytes) {
    if (bytes.size() < 12) {
        return nullptr;
    }
    std::unique_ptr<TrueTypeFont> f(new TrueTypeFont);
    f->bytes_ = std::move(bytes);
    f->info_ = std::make_unique<Info>();
    int offset = stbtt_GetFontOffsetForIndex(f->bytes_.data(), 0);
    if (offset < 0 || !stbtt_InitFont(&f->info_->font, f->bytes_.data(), offset)) {
        return nullptr;
    }
    f->scale_ = stbtt_ScaleForMappingEmToPixels(&f->info_->font, 1.0f);
    return f->scale_ > 0 ? std::move(f) : nullptr;
}

std::unique_ptr<TrueTypeFont> TrueTypeFont::OpenFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return nullptr;
    }
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    return Open(std::move(bytes));
}

bool TrueTypeFont::Glyph(char32_t code, GlyphOutline& out) const {
    const stbtt_fontinfo* info = &info_->font;
    int glyph = stbtt_FindGlyphIndex(info, static_cast<int>(code));
    if (glyph == 0 && code != 0) {
        return false;
    }
    int advance = 0, bearing = 0;
    stbtt_GetGlyphHMetrics(info, glyph, &advance, &bearing);
    out.advance = advance * scale_;
    out.path.segments.clear();
    stbtt_vertex* v = nullptr;
    int n = stbtt_GetGlyphShape(info, glyph, &v);
    auto at = [&](double x, double y) { return swf::Point{x * scale_, -y * scale_}; };
    swf::Point start, pen;
    bool open = false;
    auto close = [&] {
        if (open && !(pen == start)) {
            out.path.Line(pen, start);
        }
    };
    for (int i = 0; i < n; ++i) {
        swf::Point to = at(v[i].x, v[i].y);
        switch (v[i].type) {
        case STBTT_vmove:
            close();
            start = to;
            open = true;
            break;
        case STBTT_vline:
            out.path.Line(pen, to);
            break;
        case STBTT_vcurve:
            out.path.Quad(pen, at(v[i].cx, v[i].cy), to);
            break;
        default: { // a cubic, near enough as one quadratic
            swf::Point c1 = at(v[i].cx, v[i].cy), c2 = at(v[i].cx1, v[i].cy1);
            swf::Point c{(3 * (c1.x + c2.x) - pen.x - to.x) / 4,
                         (3 * (c1.y + c2.y) - pen.y - to.y) / 4};
            out.path.Quad(pen, c, to);
            break;
        }
        }
        pen = to;
    }
    close();
    stbtt_FreeShape(info, v);
    return true;
}

void FontFiles::Add(Face face, bool bold, bool italic, std::string path) {
    files_[Key(face, bold, italic)] = File{std::move(path), false, nullptr};
}

const TrueTypeFont* FontFiles::Font(int key) const {
    auto it = files_.find(key);
    if (it == files_.end()) {
        return nullptr;
    }
    if (!it->second.tried) {
        it->second.tried = true;
        it->second.font = TrueTypeFont::OpenFile(it->second.path);
    }
    return it->second.font.get();
}

bool FontFiles::Glyph(Face face, bool bold, bool italic, char32_t code, GlyphOutline& out) const {
    for (int key :
         {Key(face, bold, italic), Key(face, false, false), Key(Face::Sans, false, false)}) {
        const TrueTypeFont* font = Font(key);
        if (font && font->Glyph(code, out)) {
            return true;
        }
    }
    return false;
}

namespace {

struct FamilyFile {
    Face face;
    bool bold, italic;
    const char* name;
};

std::shared_ptr<FontFiles> FamilyFonts(const std::string& dir, std::span<const FamilyFile> files) {
    auto fonts = std::make_shared<FontFiles>();
    bool any = false;
    for (const auto& f : files) {
        std::string path = dir + "/" + f.name;
        if (std::ifstream(path, std::ios::binary)) {
            fonts->Add(f.face, f.bold, f.italic, std::move(path));
            any = any || (!f.bold && !f.italic);
        }
    }
    return any ? fonts : nullptr;
}

} // namespace

std::shared_ptr<FontFiles> DejaVuFonts(const std::string& dir) {
    static constexpr FamilyFile kFiles[] = {
        {Face::Sans, false, false, "DejaVuSans.ttf"},
        {Face::Sans, true, false, "DejaVuSans-Bold.ttf"},
        {Face::Sans, false, true, "DejaVuSans-Oblique.ttf"},
        {Face::Sans, true, true, "DejaVuSans-BoldOblique.ttf"},
        {Face::Serif, false, false, "DejaVuSerif.ttf"},
        {Face::Serif, true, false, "DejaVuSerif-Bold.ttf"},
        {Face::Serif, false, true, "DejaVuSerif-Italic.ttf"},
        {Face::Serif, true, true, "DejaVuSerif-BoldItalic.ttf"},
        {Face::Mono, false, false, "DejaVuSansMono.ttf"},
        {Face::Mono, true, false, "DejaVuSansMono-Bold.ttf"},
        {Face::Mono, false, true, "DejaVuSansMono-Oblique.ttf"},
        {Face::Mono, true, true, "DejaVuSansMono-BoldOblique.ttf"},
    };
    return FamilyFonts(dir, kFiles);
}

std::shared_ptr<FontFiles> LiberationFonts(const std::string& dir) {
    static constexpr FamilyFile kFiles[] = {
        {Face::Sans, false, false, "LiberationSans-Regular.ttf"},
        {Face::Sans, true, false, "LiberationSans-Bold.ttf"},
        {Face::Sans, false, true, "LiberationSans-Italic.ttf"},
        {Face::Sans, true, true, "LiberationSans-BoldItalic.ttf"},
        {Face::Serif, false, false, "LiberationSerif-Regular.ttf"},
        {Face::Serif, true, false, "LiberationSerif-Bold.ttf"},
        {Face::Serif, false, true, "LiberationSerif-Italic.ttf"},
        {Face::Serif, true, true, "LiberationSerif-BoldItalic.ttf"},
        {Face::Mono, false, false, "LiberationMono-Regular.ttf"},
        {Face::Mono, true, false, "LiberationMono-Bold.ttf"},
        {Face::Mono, false, true, "LiberationMono-Italic.ttf"},
        {Face::Mono, true, true, "LiberationMono-BoldItalic.ttf"},
    };
    return FamilyFonts(dir, kFiles);
}

} // namespace fw::render
