#include "writer.h"

#include "inflate.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <stdexcept>

namespace fw::swf {
namespace {

void PutU16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v & 0xff));
    out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xff));
}

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    PutU16(out, v & 0xffff);
    PutU16(out, v >> 16);
}

void PutString(std::vector<std::uint8_t>& out, const std::string& s) {
    out.insert(out.end(), s.begin(), s.end());
    out.push_back(0);
}

// Writes bit fields most significant bit first.
class BitWriter {
public:
    explicit BitWriter(std::vector<std::uint8_t>& out) : out_(out) {}
    ~BitWriter() { Flush(); }
    void Put(std::uint32_t value, int bits) {
        for (int i = bits - 1; i >= 0; --i) {
            cur_ = static_cast<std::uint8_t>((cur_ << 1) | ((value >> i) & 1u));
            if (++n_ == 8) {
                out_.push_back(cur_);
                cur_ = 0;
                n_ = 0;
            }
        }
    }
    void Flush() {
        if (n_ > 0) {
            out_.push_back(static_cast<std::uint8_t>(cur_ << (8 - n_)));
            cur_ = 0;
            n_ = 0;
        }
    }

private:
    std::vector<std::uint8_t>& out_;
    std::uint8_t cur_ = 0;
    int n_ = 0;
};

int SignedBitsFor(std::int32_t v) {
    int bits = 1;
    while (bits < 32 && !(v >= -(1 << (bits - 1)) && v < (1 << (bits - 1)))) {
        ++bits;
    }
    return bits;
}

std::int32_t Twips(double v) {
    return static_cast<std::int32_t>(std::lround(v));
}

std::int32_t Fixed(double v) {
    return static_cast<std::int32_t>(std::lround(v * 65536));
}

int BitsForAll(std::initializer_list<std::int32_t> values) {
    int bits = 1;
    for (auto v : values) {
        bits = std::max(bits, SignedBitsFor(v));
    }
    return bits;
}

void PutColour(std::vector<std::uint8_t>& out, Rgba c, bool alpha) {
    out.push_back(c.r);
    out.push_back(c.g);
    out.push_back(c.b);
    if (alpha) {
        out.push_back(c.a);
    }
}

void PutRect(std::vector<std::uint8_t>& out, const Bounds& b) {
    std::int32_t v[4] = {Twips(b.xMin), Twips(b.xMax), Twips(b.yMin), Twips(b.yMax)};
    int bits = BitsForAll({v[0], v[1], v[2], v[3]});
    BitWriter w(out);
    w.Put(static_cast<std::uint32_t>(bits), 5);
    for (auto x : v) {
        w.Put(static_cast<std::uint32_t>(x), bits);
    }
}

void PutMatrix(std::vector<std::uint8_t>& out, const Matrix& m) {
    BitWriter w(out);
    if (m.a != 1 || m.d != 1) {
        std::int32_t a = Fixed(m.a), d = Fixed(m.d);
        int bits = BitsForAll({a, d});
        w.Put(1, 1);
        w.Put(static_cast<std::uint32_t>(bits), 5);
        w.Put(static_cast<std::uint32_t>(a), bits);
        w.Put(static_cast<std::uint32_t>(d), bits);
    } else {
        w.Put(0, 1);
    }
    if (m.b != 0 || m.c != 0) {
        std::int32_t b = Fixed(m.b), c = Fixed(m.c);
        int bits = BitsForAll({b, c});
        w.Put(1, 1);
        w.Put(static_cast<std::uint32_t>(bits), 5);
        w.Put(static_cast<std::uint32_t>(b), bits);
        w.Put(static_cast<std::uint32_t>(c), bits);
    } else {
        w.Put(0, 1);
    }
    std::int32_t tx = Twips(m.tx), ty = Twips(m.ty);
    int bits = (tx == 0 && ty == 0) ? 0 : BitsForAll({tx, ty});
    w.Put(static_cast<std::uint32_t>(bits), 5);
    w.Put(static_cast<std::uint32_t>(tx), bits);
    w.Put(static_cast<std::uint32_t>(ty), bits);
}

void PutColorTransform(std::vector<std::uint8_t>& out, const ColorTransform& t) {
    ColorTransform identity;
    bool hasMult = !std::equal(std::begin(t.mult), std::end(t.mult), std::begin(identity.mult));
    bool hasAdd = !std::equal(std::begin(t.add), std::end(t.add), std::begin(identity.add));
    int bits = 1;
    for (int i = 0; i < 4; ++i) {
        if (hasMult) {
            bits = std::max(bits, SignedBitsFor(t.mult[i]));
        }
        if (hasAdd) {
            bits = std::max(bits, SignedBitsFor(t.add[i]));
        }
    }
    BitWriter w(out);
    w.Put(hasAdd ? 1 : 0, 1);
    w.Put(hasMult ? 1 : 0, 1);
    w.Put(static_cast<std::uint32_t>(bits), 4);
    for (int i = 0; hasMult && i < 4; ++i) {
        w.Put(static_cast<std::uint32_t>(t.mult[i]), bits);
    }
    for (int i = 0; hasAdd && i < 4; ++i) {
        w.Put(static_cast<std::uint32_t>(t.add[i]), bits);
    }
}

int UnsignedBitsFor(std::size_t v) {
    int bits = 0;
    while (bits < 16 && (std::size_t{1} << bits) <= v) {
        ++bits;
    }
    return bits;
}

// The edges as shape records, each style change written where it happens, then the end.
void PutShapeRecords(BitWriter& w, const std::vector<Edge>& edges, int fillBits, int lineBits) {
    std::int32_t penX = 0, penY = 0;
    int fill0 = 0, fill1 = 0, line = 0;
    for (const auto& e : edges) {
        std::int32_t fx = Twips(e.from.x), fy = Twips(e.from.y);
        bool move = fx != penX || fy != penY;
        std::uint32_t flags = (move ? 0x01 : 0) | (e.fill0 != fill0 ? 0x02 : 0) |
                              (e.fill1 != fill1 ? 0x04 : 0) | (e.line != line ? 0x08 : 0);
        if (flags) {
            w.Put(0, 1);
            w.Put(flags, 5);
            if (move) {
                int bits = BitsForAll({fx, fy});
                w.Put(static_cast<std::uint32_t>(bits), 5);
                w.Put(static_cast<std::uint32_t>(fx), bits);
                w.Put(static_cast<std::uint32_t>(fy), bits);
            }
            if (flags & 0x02) {
                w.Put(static_cast<std::uint32_t>(e.fill0), fillBits);
            }
            if (flags & 0x04) {
                w.Put(static_cast<std::uint32_t>(e.fill1), fillBits);
            }
            if (flags & 0x08) {
                w.Put(static_cast<std::uint32_t>(e.line), lineBits);
            }
            fill0 = e.fill0;
            fill1 = e.fill1;
            line = e.line;
        }
        std::int32_t tx = Twips(e.to.x), ty = Twips(e.to.y);
        w.Put(1, 1);
        if (e.control) {
            std::int32_t cx = Twips(e.control->x), cy = Twips(e.control->y);
            std::int32_t d[4] = {cx - fx, cy - fy, tx - cx, ty - cy};
            int bits = std::max(2, BitsForAll({d[0], d[1], d[2], d[3]}));
            w.Put(0, 1);
            w.Put(static_cast<std::uint32_t>(bits - 2), 4);
            for (auto v : d) {
                w.Put(static_cast<std::uint32_t>(v), bits);
            }
        } else {
            std::int32_t dx = tx - fx, dy = ty - fy;
            int bits = std::max(2, BitsForAll({dx, dy}));
            w.Put(1, 1);
            w.Put(static_cast<std::uint32_t>(bits - 2), 4);
            if (dx != 0 && dy != 0) {
                w.Put(1, 1);
                w.Put(static_cast<std::uint32_t>(dx), bits);
                w.Put(static_cast<std::uint32_t>(dy), bits);
            } else {
                w.Put(0, 1);
                w.Put(dx == 0 ? 1 : 0, 1);
                w.Put(static_cast<std::uint32_t>(dx == 0 ? dy : dx), bits);
            }
        }
        penX = tx;
        penY = ty;
    }
    w.Put(0, 6); // end of shape
}

// The style index sizes, then the edges, of a shape that has so many fill and line styles.
void PutShape(std::vector<std::uint8_t>& out, const std::vector<Edge>& edges, std::size_t fills,
              std::size_t lines) {
    int fillBits = UnsignedBitsFor(fills);
    int lineBits = UnsignedBitsFor(lines);
    BitWriter w(out);
    w.Put(static_cast<std::uint32_t>(fillBits), 4);
    w.Put(static_cast<std::uint32_t>(lineBits), 4);
    PutShapeRecords(w, edges, fillBits, lineBits);
}

void PutCount(std::vector<std::uint8_t>& out, std::size_t n) {
    if (n < 0xff) {
        out.push_back(static_cast<std::uint8_t>(n));
    } else {
        out.push_back(0xff);
        PutU16(out, static_cast<std::uint32_t>(n));
    }
}

std::int32_t Fixed8(double v) {
    return static_cast<std::int32_t>(std::lround(v * 256));
}

bool IsBitmapFill(std::uint8_t type) {
    return type >= kFillRepeatingBitmap && type <= kFillClippedBitmapHard;
}

bool IsGradientFill(std::uint8_t type, bool focal) {
    return type == kFillLinear || type == kFillRadial || (focal && type == kFillFocal);
}

void PutGradientHead(std::vector<std::uint8_t>& out, const Gradient& g, std::size_t stops) {
    out.push_back(static_cast<std::uint8_t>((static_cast<int>(g.spread) << 6) |
                                            (static_cast<int>(g.interpolation) << 4) | stops));
}

// Focal gradients exist only in the fourth shape tag; elsewhere they are written solid.
void PutFillStyle(std::vector<std::uint8_t>& out, const FillStyle& f, bool alpha, bool focal) {
    if (IsBitmapFill(f.type)) {
        out.push_back(f.type);
        PutU16(out, f.bitmap);
        PutMatrix(out, f.bitmapMatrix);
        return;
    }
    if (!IsGradientFill(f.type, focal)) {
        out.push_back(0x00);
        PutColour(out, f.colour, alpha);
        return;
    }
    const Gradient& g = f.gradient;
    std::size_t stops = std::min<std::size_t>(g.stops.size(), 15);
    out.push_back(f.type);
    PutMatrix(out, g.matrix);
    PutGradientHead(out, g, stops);
    for (std::size_t i = 0; i < stops; ++i) {
        out.push_back(g.stops[i].ratio);
        PutColour(out, g.stops[i].colour, alpha);
    }
    if (f.type == kFillFocal) {
        PutU16(out, static_cast<std::uint32_t>(Fixed8(g.focal)) & 0xffff);
    }
}

void PutLineStyle(std::vector<std::uint8_t>& out, const LineStyle& l, bool alpha, bool second) {
    PutU16(out, static_cast<std::uint32_t>(Twips(l.width)));
    if (!second) {
        PutColour(out, l.colour, alpha);
        return;
    }
    const bool hasFill = l.fill.has_value();
    out.push_back(static_cast<std::uint8_t>((static_cast<int>(l.startCap) << 6) |
                                            (static_cast<int>(l.join) << 4) | (hasFill ? 0x08 : 0) |
                                            (l.noHScale ? 0x04 : 0) | (l.noVScale ? 0x02 : 0) |
                                            (l.pixelHinting ? 0x01 : 0)));
    out.push_back(static_cast<std::uint8_t>((l.noClose ? 0x04 : 0) | static_cast<int>(l.endCap)));
    if (l.join == Join::Miter) {
        PutU16(out, static_cast<std::uint32_t>(Fixed8(l.miterLimit)) & 0xffff);
    }
    if (hasFill) {
        PutFillStyle(out, *l.fill, true, true);
    } else {
        PutColour(out, l.colour, true);
    }
}

} // namespace

ShapeBuilder::ShapeBuilder(std::uint16_t id, int tag) {
    shape_.id = id;
    shape_.tag = tag;
}

int ShapeBuilder::Fill(Rgba colour) {
    FillStyle fill;
    fill.colour = colour;
    shape_.fills.push_back(fill);
    return static_cast<int>(shape_.fills.size());
}

int ShapeBuilder::Line(double width, Rgba colour) {
    LineStyle line;
    line.width = width;
    line.colour = colour;
    shape_.lines.push_back(line);
    return static_cast<int>(shape_.lines.size());
}

ShapeBuilder& ShapeBuilder::Style(int fill0, int fill1, int line) {
    fill0_ = fill0;
    fill1_ = fill1;
    line_ = line;
    return *this;
}

ShapeBuilder& ShapeBuilder::MoveTo(double x, double y) {
    pen_ = Point{x, y};
    return *this;
}

ShapeBuilder& ShapeBuilder::LineTo(double x, double y) {
    shape_.edges.push_back(Edge{pen_, Point{x, y}, std::nullopt, fill0_, fill1_, line_});
    pen_ = Point{x, y};
    return *this;
}

ShapeBuilder& ShapeBuilder::CurveTo(double cx, double cy, double x, double y) {
    shape_.edges.push_back(Edge{pen_, Point{x, y}, Point{cx, cy}, fill0_, fill1_, line_});
    pen_ = Point{x, y};
    return *this;
}

ShapeBuilder& ShapeBuilder::Rect(double x, double y, double width, double height) {
    return MoveTo(x, y)
        .LineTo(x + width, y)
        .LineTo(x + width, y + height)
        .LineTo(x, y + height)
        .LineTo(x, y);
}

Shape ShapeBuilder::Build() const {
    Shape s = shape_;
    double half = 0;
    for (const auto& l : s.lines) {
        half = std::max(half, l.width / 2);
    }
    bool first = true;
    auto take = [&](Point p) {
        if (first) {
            s.bounds = Bounds{p.x, p.x, p.y, p.y};
            first = false;
        }
        s.bounds.xMin = std::min(s.bounds.xMin, p.x);
        s.bounds.xMax = std::max(s.bounds.xMax, p.x);
        s.bounds.yMin = std::min(s.bounds.yMin, p.y);
        s.bounds.yMax = std::max(s.bounds.yMax, p.y);
    };
    for (const auto& e : s.edges) {
        take(e.from);
        take(e.to);
        if (e.control) {
            take(*e.control);
        }
    }
    s.bounds.xMin = std::floor(s.bounds.xMin - half);
    s.bounds.yMin = std::floor(s.bounds.yMin - half);
    s.bounds.xMax = std::ceil(s.bounds.xMax + half);
    s.bounds.yMax = std::ceil(s.bounds.yMax + half);
    BuildGeometry(s);
    return s;
}

ActionWriter& ActionWriter::Do(Op op) {
    bytes_.push_back(static_cast<std::uint8_t>(op));
    return *this;
}

ActionWriter& ActionWriter::Raw(std::uint8_t code, std::span<const std::uint8_t> body) {
    bytes_.push_back(code);
    PutU16(bytes_, static_cast<std::uint32_t>(body.size()));
    bytes_.insert(bytes_.end(), body.begin(), body.end());
    return *this;
}

ActionWriter& ActionWriter::RawBytes(std::span<const std::uint8_t> bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

ActionWriter& ActionWriter::Push(std::vector<PushItem> items) {
    std::vector<std::uint8_t> body;
    auto type = [&](PushType t) { body.push_back(static_cast<std::uint8_t>(t)); };
    for (const auto& item : items) {
        if (auto* s = std::get_if<std::string>(&item)) {
            type(PushType::String);
            PutString(body, *s);
        } else if (auto* d = std::get_if<double>(&item)) {
            type(PushType::Double);
            std::uint64_t bits;
            std::memcpy(&bits, d, sizeof bits);
            PutU32(body, static_cast<std::uint32_t>(bits >> 32));
            PutU32(body, static_cast<std::uint32_t>(bits));
        } else if (auto* i = std::get_if<std::int32_t>(&item)) {
            type(PushType::Integer);
            PutU32(body, static_cast<std::uint32_t>(*i));
        } else if (auto* b = std::get_if<bool>(&item)) {
            type(PushType::Boolean);
            body.push_back(*b ? 1 : 0);
        } else if (auto* f = std::get_if<PushFloat>(&item)) {
            type(PushType::Float);
            std::uint32_t bits;
            std::memcpy(&bits, &f->value, sizeof bits);
            PutU32(body, bits);
        } else if (auto* r = std::get_if<PushRegister>(&item)) {
            type(PushType::Register);
            body.push_back(r->index);
        } else if (auto* c = std::get_if<PushConstant>(&item)) {
            if (c->index < 256) {
                type(PushType::Constant8);
                body.push_back(static_cast<std::uint8_t>(c->index));
            } else {
                type(PushType::Constant16);
                PutU16(body, c->index);
            }
        } else if (std::holds_alternative<PushUndefined>(item)) {
            type(PushType::Undefined);
        } else {
            type(PushType::Null);
        }
    }
    return Raw(static_cast<std::uint8_t>(Op::Push), body);
}

ActionWriter& ActionWriter::ConstantPool(const std::vector<std::string>& strings) {
    std::vector<std::uint8_t> body;
    PutU16(body, static_cast<std::uint32_t>(strings.size()));
    for (const auto& s : strings) {
        PutString(body, s);
    }
    return Raw(static_cast<std::uint8_t>(Op::ConstantPool), body);
}

ActionWriter& ActionWriter::GotoFrame(std::uint16_t frame) {
    std::vector<std::uint8_t> body;
    PutU16(body, frame);
    return Raw(static_cast<std::uint8_t>(Op::GotoFrame), body);
}

ActionWriter& ActionWriter::GotoFrame2(bool play, std::uint16_t sceneBias) {
    std::vector<std::uint8_t> body{static_cast<std::uint8_t>((sceneBias ? 2 : 0) | (play ? 1 : 0))};
    if (sceneBias) {
        PutU16(body, sceneBias);
    }
    return Raw(static_cast<std::uint8_t>(Op::GotoFrame2), body);
}

ActionWriter& ActionWriter::GoToLabel(const std::string& label) {
    std::vector<std::uint8_t> body;
    PutString(body, label);
    return Raw(static_cast<std::uint8_t>(Op::GoToLabel), body);
}

ActionWriter& ActionWriter::GetUrl(const std::string& url, const std::string& target) {
    std::vector<std::uint8_t> body;
    PutString(body, url);
    PutString(body, target);
    return Raw(static_cast<std::uint8_t>(Op::GetUrl), body);
}

ActionWriter& ActionWriter::GetUrl2(std::uint8_t flags) {
    std::uint8_t body[] = {flags};
    return Raw(static_cast<std::uint8_t>(Op::GetUrl2), body);
}

ActionWriter& ActionWriter::StoreRegister(std::uint8_t index) {
    std::uint8_t body[] = {index};
    return Raw(static_cast<std::uint8_t>(Op::StoreRegister), body);
}

ActionWriter& ActionWriter::SetTarget(const std::string& target) {
    std::vector<std::uint8_t> body;
    PutString(body, target);
    return Raw(static_cast<std::uint8_t>(Op::SetTarget), body);
}

ActionWriter& ActionWriter::FsCommand(const std::string& command, const std::string& args) {
    return GetUrl("FSCommand:" + command, args);
}

ActionWriter::Label ActionWriter::NewLabel() {
    labels_.push_back(-1);
    return Label{static_cast<int>(labels_.size()) - 1};
}

ActionWriter& ActionWriter::Bind(Label label) {
    labels_.at(static_cast<std::size_t>(label.id)) = static_cast<std::ptrdiff_t>(bytes_.size());
    return *this;
}

ActionWriter& ActionWriter::Branch(Op op, Label label) {
    std::uint8_t placeholder[] = {0, 0};
    Raw(static_cast<std::uint8_t>(op), placeholder);
    fixups_.push_back(Fixup{bytes_.size() - 2, label.id});
    return *this;
}

ActionWriter& ActionWriter::Jump(Label label) {
    return Branch(Op::Jump, label);
}
ActionWriter& ActionWriter::If(Label label) {
    return Branch(Op::If, label);
}

std::vector<std::uint8_t> ActionWriter::Finish(bool withEnd) const {
    std::vector<std::uint8_t> out = bytes_;
    for (const auto& f : fixups_) {
        std::ptrdiff_t target = labels_.at(static_cast<std::size_t>(f.label));
        if (target < 0) {
            throw std::logic_error("jump to a label that was never bound");
        }
        std::ptrdiff_t offset = target - static_cast<std::ptrdiff_t>(f.offsetPos + 2);
        if (offset < -32768 || offset > 32767) {
            throw std::logic_error("jump too far");
        }
        auto u = static_cast<std::uint16_t>(static_cast<std::int16_t>(offset));
        out[f.offsetPos] = static_cast<std::uint8_t>(u & 0xff);
        out[f.offsetPos + 1] = static_cast<std::uint8_t>(u >> 8);
    }
    if (withEnd) {
        out.push_back(0);
    }
    return out;
}

namespace {

void PutSoundInfo(std::vector<std::uint8_t>& body, const SoundInfo& info) {
    body.push_back(static_cast<std::uint8_t>(
        (info.stop ? 0x20 : 0) | (info.noMultiple ? 0x10 : 0) | (info.envelope.empty() ? 0 : 8) |
        (info.loops != 1 ? 4 : 0) | (info.outPoint ? 2 : 0) | (info.inPoint ? 1 : 0)));
    if (info.inPoint) {
        PutU32(body, *info.inPoint);
    }
    if (info.outPoint) {
        PutU32(body, *info.outPoint);
    }
    if (info.loops != 1) {
        PutU16(body, info.loops);
    }
    if (!info.envelope.empty()) {
        body.push_back(static_cast<std::uint8_t>(info.envelope.size()));
        for (const auto& p : info.envelope) {
            PutU32(body, p.position);
            PutU16(body, p.left);
            PutU16(body, p.right);
        }
    }
}

} // namespace

MovieWriter::MovieWriter(MovieOptions options) : options_(options) {}

MovieWriter& MovieWriter::Tag(std::uint16_t code, std::span<const std::uint8_t> body,
                              bool longForm) {
    if (body.size() < 0x3f && !longForm) {
        PutU16(tags_,
               (static_cast<std::uint32_t>(code) << 6) | static_cast<std::uint32_t>(body.size()));
    } else {
        PutU16(tags_, (static_cast<std::uint32_t>(code) << 6) | 0x3f);
        PutU32(tags_, static_cast<std::uint32_t>(body.size()));
    }
    tags_.insert(tags_.end(), body.begin(), body.end());
    return *this;
}

MovieWriter& MovieWriter::Background(Rgb colour) {
    std::uint8_t body[] = {colour.r, colour.g, colour.b};
    return Tag(static_cast<std::uint16_t>(TagCode::SetBackgroundColor), body);
}

MovieWriter& MovieWriter::Label(const std::string& label) {
    std::vector<std::uint8_t> body;
    PutString(body, label);
    return Tag(static_cast<std::uint16_t>(TagCode::FrameLabel), body);
}

MovieWriter& MovieWriter::Actions(const ActionWriter& actions) {
    auto block = actions.Finish();
    return Actions(block);
}

MovieWriter& MovieWriter::Actions(std::span<const std::uint8_t> block) {
    return Tag(static_cast<std::uint16_t>(TagCode::DoAction), block);
}

MovieWriter& MovieWriter::InitActions(std::uint16_t spriteId, const ActionWriter& actions) {
    std::vector<std::uint8_t> body;
    PutU16(body, spriteId);
    auto block = actions.Finish();
    body.insert(body.end(), block.begin(), block.end());
    return Tag(static_cast<std::uint16_t>(TagCode::DoInitAction), body);
}

MovieWriter& MovieWriter::DefineSprite(std::uint16_t id, const MovieWriter& timeline) {
    std::vector<std::uint8_t> body;
    PutU16(body, id);
    PutU16(body, timeline.frames_);
    body.insert(body.end(), timeline.tags_.begin(), timeline.tags_.end());
    PutU16(body, 0); // End
    return Tag(static_cast<std::uint16_t>(TagCode::DefineSprite), body, true);
}

MovieWriter& MovieWriter::ShowFrame() {
    ++frames_;
    return Tag(static_cast<std::uint16_t>(TagCode::ShowFrame), {});
}

MovieWriter& MovieWriter::DefineShape(const Shape& shape) {
    const int tag = shape.tag == 2 || shape.tag == 22 || shape.tag == 83 ? shape.tag : 32;
    const bool alpha = tag >= 32;
    if (tag == 2 && (shape.fills.size() > 254 || shape.lines.size() > 254)) {
        throw std::invalid_argument("a shape of the first kind holds at most 254 styles");
    }
    std::vector<std::uint8_t> body;
    PutU16(body, shape.id);
    PutRect(body, shape.bounds);
    if (tag == 83) {
        PutRect(body, shape.bounds);
        body.push_back(shape.nonZero ? 0x04 : 0x00);
    }
    PutCount(body, shape.fills.size());
    for (const auto& f : shape.fills) {
        PutFillStyle(body, f, alpha, tag == 83);
    }
    PutCount(body, shape.lines.size());
    for (const auto& l : shape.lines) {
        PutLineStyle(body, l, alpha, tag == 83);
    }
    PutShape(body, shape.edges, shape.fills.size(), shape.lines.size());
    return Tag(static_cast<std::uint16_t>(tag), body, true);
}

MovieWriter& MovieWriter::DefineMorphShape(const MorphShape& morph) {
    if (morph.startFills.size() != morph.endFills.size() ||
        morph.startLines.size() != morph.endLines.size()) {
        throw std::invalid_argument("a morph shape's styles come in start and end pairs");
    }
    std::vector<std::uint8_t> body;
    PutU16(body, morph.id);
    PutRect(body, morph.startBounds);
    PutRect(body, morph.endBounds);
    const std::size_t offsetAt = body.size();
    PutU32(body, 0); // where the end edges start, filled in below
    PutCount(body, morph.startFills.size());
    for (std::size_t i = 0; i < morph.startFills.size(); ++i) {
        const FillStyle& a = morph.startFills[i];
        const FillStyle& b = morph.endFills[i];
        if (a.type != b.type) {
            throw std::invalid_argument("a morph fill keeps its type from start to end");
        }
        if (IsBitmapFill(a.type)) {
            body.push_back(a.type);
            PutU16(body, a.bitmap);
            PutMatrix(body, a.bitmapMatrix);
            PutMatrix(body, b.bitmapMatrix);
        } else if (IsGradientFill(a.type, false)) {
            std::size_t stops = std::min<std::size_t>(a.gradient.stops.size(), 15);
            if (b.gradient.stops.size() < stops) {
                throw std::invalid_argument("a morph gradient has as many stops at its end");
            }
            body.push_back(a.type);
            PutMatrix(body, a.gradient.matrix);
            PutMatrix(body, b.gradient.matrix);
            PutGradientHead(body, a.gradient, stops);
            for (std::size_t s = 0; s < stops; ++s) {
                body.push_back(a.gradient.stops[s].ratio);
                PutColour(body, a.gradient.stops[s].colour, true);
                body.push_back(b.gradient.stops[s].ratio);
                PutColour(body, b.gradient.stops[s].colour, true);
            }
        } else {
            body.push_back(0x00);
            PutColour(body, a.colour, true);
            PutColour(body, b.colour, true);
        }
    }
    PutCount(body, morph.startLines.size());
    for (std::size_t i = 0; i < morph.startLines.size(); ++i) {
        PutU16(body, static_cast<std::uint32_t>(Twips(morph.startLines[i].width)));
        PutU16(body, static_cast<std::uint32_t>(Twips(morph.endLines[i].width)));
        PutColour(body, morph.startLines[i].colour, true);
        PutColour(body, morph.endLines[i].colour, true);
    }
    PutShape(body, morph.startEdges, morph.startFills.size(), morph.startLines.size());
    const auto offset = static_cast<std::uint32_t>(body.size() - offsetAt - 4);
    for (int i = 0; i < 4; ++i) {
        body[offsetAt + i] = static_cast<std::uint8_t>(offset >> (8 * i));
    }
    std::vector<Edge> outline = morph.endEdges;
    for (Edge& e : outline) {
        e.fill0 = e.fill1 = e.line = 0;
    }
    PutShape(body, outline, 0, 0); // the end edges name no styles
    return Tag(static_cast<std::uint16_t>(TagCode::DefineMorphShape), body, true);
}

MovieWriter& MovieWriter::DefineFont(const Font& font) {
    const bool glyphs = !font.glyphs.empty();
    if (glyphs && (font.codes.size() != font.glyphs.size() ||
                   (font.hasLayout && font.advances.size() != font.glyphs.size()))) {
        throw std::invalid_argument("a font needs a code, and with layout an advance, per glyph");
    }
    std::vector<std::uint8_t> body;
    PutU16(body, font.id);
    body.push_back(static_cast<std::uint8_t>(
        (font.bold ? 0x01 : 0) | (font.italic ? 0x02 : 0) |
        (options_.version >= 6 || glyphs ? 0 : 0x10) |
        (glyphs ? 0x0c | (font.hasLayout ? 0x80 : 0) : 0))); // wide offsets and codes
    body.push_back(0);                                       // language
    if (font.name.size() > 255) {
        throw std::invalid_argument("a font name holds at most 255 bytes");
    }
    body.push_back(static_cast<std::uint8_t>(font.name.size()));
    body.insert(body.end(), font.name.begin(), font.name.end());
    if (!glyphs) {
        PutU16(body, 0); // a device font
        return Tag(static_cast<std::uint16_t>(TagCode::DefineFont2), body);
    }
    if (font.glyphs.size() > 0xffff) {
        throw std::invalid_argument("a font holds at most 65535 glyphs");
    }
    PutU16(body, static_cast<std::uint32_t>(font.glyphs.size()));
    // Offsets from the table's start: one per glyph, then the code table's.
    std::vector<std::uint8_t> shapes;
    std::vector<std::uint32_t> offsets;
    const std::size_t tableSize = (font.glyphs.size() + 1) * 4;
    for (const auto& glyph : font.glyphs) {
        offsets.push_back(static_cast<std::uint32_t>(tableSize + shapes.size()));
        BitWriter w(shapes);
        w.Put(1, 4); // one fill style
        w.Put(0, 4); // no lines
        PutShapeRecords(w, glyph, 1, 0);
    }
    offsets.push_back(static_cast<std::uint32_t>(tableSize + shapes.size()));
    for (auto o : offsets) {
        PutU32(body, o);
    }
    body.insert(body.end(), shapes.begin(), shapes.end());
    for (auto c : font.codes) {
        PutU16(body, c);
    }
    if (font.hasLayout) {
        PutU16(body, static_cast<std::uint32_t>(Twips(font.ascent)));
        PutU16(body, static_cast<std::uint32_t>(Twips(font.descent)));
        PutU16(body, static_cast<std::uint32_t>(Twips(font.leading)) & 0xffff);
        for (double a : font.advances) {
            PutU16(body, static_cast<std::uint32_t>(Twips(a)) & 0xffff);
        }
        for (const auto& glyph : font.glyphs) {
            Bounds b;
            for (std::size_t i = 0; i < glyph.size(); ++i) {
                const Point& p = glyph[i].to;
                b = i == 0 ? Bounds{p.x, p.x, p.y, p.y}
                           : Bounds{std::min(b.xMin, p.x), std::max(b.xMax, p.x),
                                    std::min(b.yMin, p.y), std::max(b.yMax, p.y)};
            }
            PutRect(body, b);
        }
        PutU16(body, 0); // no kerning pairs
    }
    return Tag(static_cast<std::uint16_t>(TagCode::DefineFont3), body, true);
}

MovieWriter& MovieWriter::DefineText2(const StaticText& text) {
    std::vector<std::uint8_t> body;
    PutU16(body, text.id);
    PutRect(body, text.bounds);
    PutMatrix(body, text.matrix);
    std::uint32_t maxIndex = 0;
    std::int32_t maxAdvance = 0;
    for (const auto& rec : text.records) {
        if (rec.glyphs.size() > 255) {
            throw std::invalid_argument("a run of a static text holds at most 255 glyphs");
        }
        for (const auto& g : rec.glyphs) {
            maxIndex = std::max(maxIndex, g.index);
            maxAdvance = std::max({maxAdvance, g.advance, -g.advance});
        }
    }
    const int glyphBits = std::max(1, UnsignedBitsFor(maxIndex));
    const int advanceBits = SignedBitsFor(maxAdvance);
    body.push_back(static_cast<std::uint8_t>(glyphBits));
    body.push_back(static_cast<std::uint8_t>(advanceBits));
    for (const auto& rec : text.records) {
        // Every run names its font, colour and place: nothing is carried over.
        body.push_back(0x8f);
        PutU16(body, rec.fontId);
        PutColour(body, rec.colour, true);
        PutU16(body, static_cast<std::uint32_t>(Twips(rec.x)) & 0xffff);
        PutU16(body, static_cast<std::uint32_t>(Twips(rec.y)) & 0xffff);
        PutU16(body, static_cast<std::uint32_t>(Twips(rec.height)));
        body.push_back(static_cast<std::uint8_t>(rec.glyphs.size()));
        BitWriter w(body);
        for (const auto& g : rec.glyphs) {
            w.Put(g.index, glyphBits);
            w.Put(static_cast<std::uint32_t>(g.advance), advanceBits);
        }
    }
    body.push_back(0);
    return Tag(static_cast<std::uint16_t>(TagCode::DefineText2), body, true);
}

MovieWriter& MovieWriter::DefineBitsLossless2(std::uint16_t id, int width, int height,
                                              std::span<const std::uint8_t> argb) {
    if (width <= 0 || height <= 0 || width > 0xffff || height > 0xffff ||
        argb.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4) {
        throw std::invalid_argument("a bitmap needs four bytes for each of its pixels");
    }
    std::vector<std::uint8_t> body;
    PutU16(body, id);
    body.push_back(5); // 32-bit pixels
    PutU16(body, static_cast<std::uint32_t>(width));
    PutU16(body, static_cast<std::uint32_t>(height));
    auto z = ZlibStore(argb);
    body.insert(body.end(), z.begin(), z.end());
    return Tag(static_cast<std::uint16_t>(TagCode::DefineBitsLossless2), body, true);
}

MovieWriter& MovieWriter::DefineEditText(const EditText& t) {
    std::vector<std::uint8_t> body;
    PutU16(body, t.id);
    PutRect(body, t.bounds);
    bool layout = t.align != TextAlign::Left || t.leftMargin != 0 || t.rightMargin != 0 ||
                  t.indent != 0 || t.leading != 0;
    body.push_back(static_cast<std::uint8_t>((t.hasText ? 0x80 : 0) | (t.wordWrap ? 0x40 : 0) |
                                             (t.multiline ? 0x20 : 0) | (t.password ? 0x10 : 0) |
                                             (t.readOnly ? 0x08 : 0) | 0x04 |
                                             (t.maxLength ? 0x02 : 0) | (t.hasFont ? 0x01 : 0)));
    body.push_back(static_cast<std::uint8_t>((t.autoSize ? 0x40 : 0) | (layout ? 0x20 : 0) |
                                             (t.noSelect ? 0x10 : 0) | (t.border ? 0x08 : 0) |
                                             (t.html ? 0x02 : 0) | (t.embedFonts ? 0x01 : 0)));
    if (t.hasFont) {
        PutU16(body, t.fontId);
        PutU16(body, static_cast<std::uint32_t>(Twips(t.height)));
    }
    PutColour(body, t.colour, true);
    if (t.maxLength) {
        PutU16(body, t.maxLength);
    }
    if (layout) {
        body.push_back(static_cast<std::uint8_t>(t.align));
        PutU16(body, static_cast<std::uint32_t>(Twips(t.leftMargin)));
        PutU16(body, static_cast<std::uint32_t>(Twips(t.rightMargin)));
        PutU16(body, static_cast<std::uint32_t>(Twips(t.indent)));
        PutU16(body, static_cast<std::uint32_t>(Twips(t.leading)) & 0xffff);
    }
    PutString(body, t.variable);
    if (t.hasText) {
        PutString(body, t.initialText);
    }
    return Tag(static_cast<std::uint16_t>(TagCode::DefineEditText), body);
}

MovieWriter& MovieWriter::DefineButton2(const Button& button) {
    std::vector<std::uint8_t> body;
    PutU16(body, button.id);
    body.push_back(button.trackAsMenu ? 1 : 0);
    std::size_t offsetPos = body.size();
    PutU16(body, 0);
    for (const auto& rec : button.records) {
        body.push_back(rec.states & 0x0f);
        PutU16(body, rec.character);
        PutU16(body, rec.depth);
        PutMatrix(body, rec.matrix);
        PutColorTransform(body, rec.colour);
    }
    body.push_back(0);
    if (!button.actions.empty()) {
        std::size_t offset = body.size() - offsetPos;
        body[offsetPos] = static_cast<std::uint8_t>(offset & 0xff);
        body[offsetPos + 1] = static_cast<std::uint8_t>(offset >> 8);
    }
    for (std::size_t i = 0; i < button.actions.size(); ++i) {
        const auto& a = button.actions[i];
        bool last = i + 1 == button.actions.size();
        std::size_t size = 4 + a.actions.size();
        if (size > 0xffff) {
            throw std::invalid_argument("a button action longer than 65531 bytes");
        }
        PutU16(body, last ? 0 : static_cast<std::uint32_t>(size));
        std::uint32_t cond =
            (a.conditions & 0x1ff) | (static_cast<std::uint32_t>(a.key & 0x7f) << 9);
        PutU16(body, cond);
        body.insert(body.end(), a.actions.begin(), a.actions.end());
    }
    Tag(static_cast<std::uint16_t>(TagCode::DefineButton2), body);
    if (std::any_of(button.sounds.begin(), button.sounds.end(),
                    [](const ButtonSound& s) { return s.sound != 0; })) {
        std::vector<std::uint8_t> sounds;
        PutU16(sounds, button.id);
        for (const ButtonSound& s : button.sounds) {
            PutU16(sounds, s.sound);
            if (s.sound != 0) {
                PutSoundInfo(sounds, s.info);
            }
        }
        Tag(static_cast<std::uint16_t>(TagCode::DefineButtonSound), sounds);
    }
    return *this;
}

MovieWriter& MovieWriter::Place(const Placement& p) {
    if (p.kind == Placement::Kind::Remove) {
        return Remove(p.depth);
    }
    std::vector<std::uint8_t> body;
    bool three = p.visible.has_value();
    body.push_back(static_cast<std::uint8_t>(
        (p.clipActions.empty() ? 0 : 0x80) | (p.clipDepth ? 0x40 : 0) | (p.name ? 0x20 : 0) |
        (p.ratio ? 0x10 : 0) | (p.colour ? 0x08 : 0) | (p.matrix ? 0x04 : 0) |
        (p.character ? 0x02 : 0) | (p.move ? 0x01 : 0)));
    if (three) {
        body.push_back(0x20);
    }
    PutU16(body, p.depth);
    if (p.character) {
        PutU16(body, *p.character);
    }
    if (p.matrix) {
        PutMatrix(body, *p.matrix);
    }
    if (p.colour) {
        PutColorTransform(body, *p.colour);
    }
    if (p.ratio) {
        PutU16(body, *p.ratio);
    }
    if (p.name) {
        PutString(body, *p.name);
    }
    if (p.clipDepth) {
        PutU16(body, *p.clipDepth);
    }
    if (three) {
        body.push_back(*p.visible ? 1 : 0);
    }
    if (!p.clipActions.empty()) {
        // Event bits as the reader keeps them; 16 of them before version 6.
        bool wide = options_.version >= 6;
        auto events = [&](std::uint32_t bits) {
            wide ? PutU32(body, bits) : PutU16(body, bits & 0xffff);
        };
        std::uint32_t all = 0;
        for (const auto& a : p.clipActions) {
            all |= a.events;
        }
        PutU16(body, 0);
        events(all);
        for (const auto& a : p.clipActions) {
            bool key = wide && (a.events & (1u << 17));
            events(a.events);
            PutU32(body, static_cast<std::uint32_t>(a.actions.size() + (key ? 1 : 0)));
            if (key) {
                body.push_back(a.key);
            }
            body.insert(body.end(), a.actions.begin(), a.actions.end());
        }
        events(0);
    }
    return Tag(static_cast<std::uint16_t>(three ? TagCode::PlaceObject3 : TagCode::PlaceObject2),
               body);
}

MovieWriter& MovieWriter::Remove(std::uint16_t depth) {
    std::vector<std::uint8_t> body;
    PutU16(body, depth);
    return Tag(static_cast<std::uint16_t>(TagCode::RemoveObject2), body);
}

MovieWriter& MovieWriter::DefineSound(const SoundDefinition& sound) {
    std::vector<std::uint8_t> body;
    PutU16(body, sound.id);
    body.push_back(static_cast<std::uint8_t>(sound.coding << 4 | (sound.rateCode & 3) << 2 |
                                             (sound.sixteenBit ? 2 : 0) | (sound.stereo ? 1 : 0)));
    PutU32(body, sound.sampleCount);
    body.insert(body.end(), sound.data.begin(), sound.data.end());
    return Tag(static_cast<std::uint16_t>(TagCode::DefineSound), body, true);
}

MovieWriter& MovieWriter::StartSound(const SoundStart& start) {
    std::vector<std::uint8_t> body;
    if (start.className.empty()) {
        PutU16(body, start.id);
    } else {
        PutString(body, start.className);
    }
    PutSoundInfo(body, start.info);
    return Tag(static_cast<std::uint16_t>(start.className.empty() ? TagCode::StartSound
                                                                  : TagCode::StartSound2),
               body);
}

MovieWriter& MovieWriter::SoundStream(const StreamHead& head) {
    std::vector<std::uint8_t> body;
    auto format = static_cast<std::uint8_t>((head.rateCode & 3) << 2 | (head.sixteenBit ? 2 : 0) |
                                            (head.stereo ? 1 : 0));
    body.push_back(format);
    body.push_back(static_cast<std::uint8_t>(head.coding << 4 | format));
    PutU16(body, head.samplesPerFrame);
    if (head.coding == static_cast<std::uint8_t>(SoundCoding::Mp3)) {
        PutU16(body, 0); // no samples to skip at the start
    }
    return Tag(static_cast<std::uint16_t>(TagCode::SoundStreamHead2), body);
}

MovieWriter& MovieWriter::StreamBlock(std::span<const std::uint8_t> data) {
    return Tag(static_cast<std::uint16_t>(TagCode::SoundStreamBlock), data, true);
}

MovieWriter& MovieWriter::Export(std::uint16_t id, const std::string& name) {
    std::vector<std::uint8_t> body;
    PutU16(body, 1);
    PutU16(body, id);
    PutString(body, name);
    return Tag(static_cast<std::uint16_t>(TagCode::ExportAssets), body);
}

std::vector<std::uint8_t> MovieWriter::Finish() const {
    std::vector<std::uint8_t> body;
    {
        std::int32_t xMax = options_.widthPx * 20;
        std::int32_t yMax = options_.heightPx * 20;
        int bits = std::max(SignedBitsFor(xMax), SignedBitsFor(yMax));
        BitWriter w(body);
        w.Put(static_cast<std::uint32_t>(bits), 5);
        w.Put(0, bits);
        w.Put(static_cast<std::uint32_t>(xMax), bits);
        w.Put(0, bits);
        w.Put(static_cast<std::uint32_t>(yMax), bits);
    }
    PutU16(body, static_cast<std::uint32_t>(std::lround(options_.frameRate * 256)) & 0xffff);
    PutU16(body, frames_);
    body.insert(body.end(), tags_.begin(), tags_.end());
    PutU16(body, 0); // End

    std::vector<std::uint8_t> file{static_cast<std::uint8_t>(options_.compressed ? 'C' : 'F'), 'W',
                                   'S', options_.version};
    PutU32(file, static_cast<std::uint32_t>(body.size() + 8));
    if (options_.compressed) {
        auto z = ZlibStore(body);
        file.insert(file.end(), z.begin(), z.end());
    } else {
        file.insert(file.end(), body.begin(), body.end());
    }
    return file;
}

} // namespace fw::swf
