// flash.filters: the settings of the effects a clip may wear. Each filter keeps its settings
// beside its properties; the properties are getters and setters on the class's prototype that
// coerce, clamp and round as the reference player does, so scripts read back what it keeps.
// Nothing is drawn here.

#include "filters.h"

#include "bitmap_data.h"
#include "runtime.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

namespace fw::avm1 {
namespace {

enum class Type {
    Number,    // any number
    Clamped,   // blurs and strengths: 0 to 255
    Quality,   // a whole number 0 to 15
    Angle,     // degrees to scripts, radians inside
    Color,     // 24-bit RGB
    Alpha,     // 0 to 1, kept as a byte
    Bool,      // true or false
    BevelType, // "inner", "outer" or "full"
    Matrix20,  // the colour matrix
    Kernel,    // the convolution's matrix
    KernelDim, // matrixX and matrixY: a whole number 0 to 15
    Component, // a whole number
    Scale,     // -65535 to 65535
    Mode,      // how the displacement treats edges
    MapBitmap, // a BitmapData object
    MapPoint,  // a point of whole numbers
    Colors,    // up to 16 colours of a gradient, each with an alpha and a ratio
    Alphas,
    Ratios,
};

struct Field {
    const char* name;
    Type type;
    double initial;
};

struct Class {
    const char* name;
    std::vector<Field> fields; // in the order the prototype lists them
    std::vector<int> args;     // the constructor's arguments: which field each sets
};

// What every filter class keeps, by the index of its fields.
const std::vector<Class>& Classes() {
    static const std::vector<Class> classes = [] {
        using T = Type;
        std::vector<Class> c;
        c.push_back({"BevelFilter",
                     {{"distance", T::Number, 4},
                      {"angle", T::Angle, 45},
                      {"highlightColor", T::Color, 0xFFFFFF},
                      {"highlightAlpha", T::Alpha, 1},
                      {"shadowColor", T::Color, 0},
                      {"shadowAlpha", T::Alpha, 1},
                      {"quality", T::Quality, 1},
                      {"strength", T::Clamped, 1},
                      {"knockout", T::Bool, 0},
                      {"blurX", T::Clamped, 4},
                      {"blurY", T::Clamped, 4},
                      {"type", T::BevelType, 0}},
                     {0, 1, 2, 3, 4, 5, 9, 10, 7, 6, 11, 8}});
        c.push_back(
            {"BlurFilter",
             {{"blurX", T::Clamped, 4}, {"blurY", T::Clamped, 4}, {"quality", T::Quality, 1}},
             {0, 1, 2}});
        c.push_back({"ColorMatrixFilter", {{"matrix", T::Matrix20, 0}}, {0}});
        c.push_back({"ConvolutionFilter",
                     {{"matrixX", T::KernelDim, 0},
                      {"matrixY", T::KernelDim, 0},
                      {"matrix", T::Kernel, 0},
                      {"divisor", T::Number, 1},
                      {"bias", T::Number, 0},
                      {"preserveAlpha", T::Bool, 1},
                      {"clamp", T::Bool, 1},
                      {"color", T::Color, 0},
                      {"alpha", T::Alpha, 0}},
                     {0, 1, 2, 3, 4, 5, 6, 7, 8}});
        c.push_back({"DisplacementMapFilter",
                     {{"mapBitmap", T::MapBitmap, 0},
                      {"mapPoint", T::MapPoint, 0},
                      {"componentX", T::Component, 0},
                      {"componentY", T::Component, 0},
                      {"scaleX", T::Scale, 0},
                      {"scaleY", T::Scale, 0},
                      {"mode", T::Mode, 0},
                      {"color", T::Color, 0},
                      {"alpha", T::Alpha, 0}},
                     {0, 1, 2, 3, 4, 5, 6, 7, 8}});
        c.push_back({"DropShadowFilter",
                     {{"distance", T::Number, 4},
                      {"angle", T::Angle, 45},
                      {"color", T::Color, 0},
                      {"alpha", T::Alpha, 1},
                      {"quality", T::Quality, 1},
                      {"inner", T::Bool, 0},
                      {"knockout", T::Bool, 0},
                      {"blurX", T::Clamped, 4},
                      {"blurY", T::Clamped, 4},
                      {"strength", T::Clamped, 1},
                      {"hideObject", T::Bool, 0}},
                     {0, 1, 2, 3, 7, 8, 9, 4, 5, 6, 10}});
        c.push_back({"GlowFilter",
                     {{"color", T::Color, 0xFF0000},
                      {"alpha", T::Alpha, 1},
                      {"quality", T::Quality, 1},
                      {"inner", T::Bool, 0},
                      {"knockout", T::Bool, 0},
                      {"blurX", T::Clamped, 6},
                      {"blurY", T::Clamped, 6},
                      {"strength", T::Clamped, 2}},
                     {0, 1, 5, 6, 7, 2, 3, 4}});
        for (const char* name : {"GradientBevelFilter", "GradientGlowFilter"}) {
            c.push_back({name,
                         {{"distance", T::Number, 4},
                          {"angle", T::Angle, 45},
                          {"colors", T::Colors, 0},
                          {"alphas", T::Alphas, 0},
                          {"ratios", T::Ratios, 0},
                          {"blurX", T::Clamped, 4},
                          {"blurY", T::Clamped, 4},
                          {"quality", T::Quality, 1},
                          {"strength", T::Clamped, 1},
                          {"knockout", T::Bool, 0},
                          {"type", T::BevelType, 0}},
                         {0, 1, 2, 3, 4, 5, 6, 8, 7, 10, 9}});
        }
        return c;
    }();
    return classes;
}

constexpr double kPi = 3.14159265358979323846;
constexpr double kToRadians = kPi / 180;
// The reference player's default angle is this many radians, a little under 45 degrees.
constexpr double kDefaultAngle = 0.785398163;

struct Filter : HostData {
    int cls = 0;
    std::vector<double> num;         // by field: the numbers, flags and single colours
    std::string text = "inner";      // the bevel type or the displacement mode
    std::vector<double> matrix;      // the colour matrix or the convolution's kernel
    Object* map = nullptr;           // the displacement's picture
    std::array<double, 16> colors{}; // a gradient's stops: at most 16, count of them used
    std::array<double, 16> alphas{}; // as bytes
    std::array<double, 16> ratios{};
    int count = 0;
    void Trace(std::vector<Object*>& out) const override {
        if (map) {
            out.push_back(map);
        }
    }
};

Filter* FilterOf(const Value& v) {
    Object* o = v.object();
    return o && o->host ? dynamic_cast<Filter*>(o->host.get()) : nullptr;
}

std::unique_ptr<Filter> Fresh(int cls) {
    auto f = std::make_unique<Filter>();
    f->cls = cls;
    for (const Field& field : Classes()[cls].fields) {
        double v = field.initial;
        if (field.type == Type::Angle) {
            v = kDefaultAngle;
        } else if (field.type == Type::Alpha) {
            v *= 255;
        }
        f->num.push_back(v);
        if (field.type == Type::Mode) {
            f->text = "wrap";
        } else if (field.type == Type::Matrix20) {
            f->matrix.assign(20, 0);
            for (int i = 0; i < 20; i += 6) {
                f->matrix[i] = 1;
            }
        }
    }
    return f;
}

double Clamp(double v, double lo, double hi) {
    return std::isnan(v) ? lo : std::clamp(v, lo, hi);
}

double Whole(double v) {
    return std::isfinite(v) ? std::trunc(v) : 0;
}

// Numbers of an array-like value: its length and each element, read as the script would.
std::vector<double> Numbers(Runtime& rt, const Value& v, double limit) {
    double n = rt.ToNum(rt.Get(v, "length"));
    n = std::isnan(n) ? 0 : std::clamp(n, 0.0, limit);
    std::vector<double> out;
    for (int i = 0; i < static_cast<int>(n); ++i) {
        out.push_back(rt.ToNum(rt.Get(v, Runtime::IndexName(i))));
    }
    return out;
}

void GrowKernel(Filter& f) {
    std::size_t want = static_cast<std::size_t>(f.num[0] * f.num[1]);
    if (f.matrix.size() < want) {
        f.matrix.resize(want, 0);
    }
}

void Store(Runtime& rt, Filter& f, int index, const Value& v) {
    const Field& field = Classes()[f.cls].fields[index];
    double& n = f.num[index];
    switch (field.type) {
    case Type::Number:
        n = rt.ToNum(v);
        break;
    case Type::Clamped:
        n = Clamp(rt.ToNum(v), 0, 255);
        break;
    case Type::Quality:
        n = Whole(Clamp(rt.ToNum(v), 0, 15));
        break;
    case Type::Angle: {
        double deg = std::fmod(rt.ToNum(v), 360);
        n = std::isnan(deg) ? 0 : deg * kToRadians;
        break;
    }
    case Type::Color:
        n = ToUint32(rt.ToNum(v)) & 0xFFFFFF;
        break;
    case Type::Alpha:
        n = std::trunc(Clamp(rt.ToNum(v), 0, 1) * 255);
        break;
    case Type::Bool:
        n = rt.ToBool(v) ? 1 : 0;
        break;
    case Type::BevelType: {
        std::string s = rt.ToStr(v);
        f.text = s == "inner" || s == "outer" ? s : "full";
        break;
    }
    case Type::Mode: {
        std::string s = v.isNullish() ? "" : rt.ToStr(v);
        f.text = s == "clamp" || s == "ignore" || s == "color" ? s : "wrap";
        break;
    }
    case Type::Matrix20: {
        if (v.isNullish()) {
            break;
        }
        std::vector<double> m = Numbers(rt, v, 20);
        m.resize(20, std::nan(""));
        f.matrix = std::move(m);
        break;
    }
    case Type::Kernel:
        f.matrix = Numbers(rt, v, 225);
        GrowKernel(f);
        break;
    case Type::KernelDim:
        n = Whole(Clamp(rt.ToNum(v), 0, 15));
        GrowKernel(f);
        break;
    case Type::Component:
        n = static_cast<double>(ToInt32(rt.ToNum(v)));
        break;
    case Type::Scale:
        n = Clamp(rt.ToNum(v), -65535, 65535);
        break;
    case Type::MapBitmap:
        if (BitmapOf(v)) {
            f.map = v.object();
        }
        break;
    case Type::MapPoint: {
        Object* o = v.object();
        f.num[index] = 0;
        f.matrix.assign(2, 0);
        if (o && o->FindOwn("x") && o->FindOwn("y")) {
            f.matrix = {static_cast<double>(ToInt32(rt.ToNum(rt.Get(v, "x")))),
                        static_cast<double>(ToInt32(rt.ToNum(rt.Get(v, "y"))))};
        }
        break;
    }
    case Type::Colors: {
        std::vector<double> c = Numbers(rt, v, 16);
        f.count = static_cast<int>(c.size());
        for (int i = 0; i < f.count; ++i) {
            f.colors[i] = ToUint32(c[i]) & 0xFFFFFF;
        }
        break;
    }
    case Type::Alphas: {
        if (v.isNullish()) {
            break;
        }
        for (int i = 0; i < f.count; ++i) {
            double a = rt.ToNum(rt.Get(v, Runtime::IndexName(i)));
            f.alphas[i] = std::isnan(a) ? 255 : std::round(Clamp(a, 0, 1) * 255);
        }
        break;
    }
    case Type::Ratios: {
        if (v.isNullish()) {
            break;
        }
        std::vector<double> r = Numbers(rt, v, 16);
        f.count = std::min<int>(f.count, static_cast<int>(r.size()));
        for (int i = 0; i < f.count; ++i) {
            f.ratios[i] = Whole(Clamp(r[i], 0, 255));
        }
        break;
    }
    }
}

Value Array(Runtime& rt, const double* begin, const double* end, double scale = 1) {
    std::vector<Value> items;
    for (const double* p = begin; p != end; ++p) {
        items.emplace_back(*p / scale);
    }
    return Value(rt.NewArray(items));
}

Value Load(Runtime& rt, const Filter& f, int index) {
    const Field& field = Classes()[f.cls].fields[index];
    double n = f.num[index];
    switch (field.type) {
    case Type::Angle:
        return Value(n * 180 / kPi);
    case Type::Alpha:
        return Value(n / 255);
    case Type::Bool:
        return Value(n != 0);
    case Type::BevelType:
    case Type::Mode:
        return rt.Text(f.text);
    case Type::Matrix20:
    case Type::Kernel:
        return Array(rt, f.matrix.data(), f.matrix.data() + f.matrix.size());
    case Type::MapBitmap:
        return Value(f.map);
    case Type::MapPoint: {
        Value cls = rt.Get(rt.Get(rt.Get(Value(rt.global()), "flash"), "geom"), "Point");
        double x = f.matrix.size() == 2 ? f.matrix[0] : 0;
        double y = f.matrix.size() == 2 ? f.matrix[1] : 0;
        return rt.Construct(cls, {Value(x), Value(y)});
    }
    case Type::Colors:
        return Array(rt, f.colors.data(), f.colors.data() + f.count);
    case Type::Alphas:
        return Array(rt, f.alphas.data(), f.alphas.data() + f.count, 255);
    case Type::Ratios:
        return Array(rt, f.ratios.data(), f.ratios.data() + f.count);
    default:
        return Value(n);
    }
}

// Getters and setters are told apart by one index over every class's fields.
constexpr int kMaxFields = 12;

template <int Cls, int Index>
Value GetField(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    Filter* f = FilterOf(self);
    return f && f->cls == Cls ? Load(rt, *f, Index) : Value();
}

template <int Cls, int Index>
Value SetField(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Filter* f = FilterOf(self);
    if (f && f->cls == Cls) {
        Store(rt, *f, Index, Arg(args, 0));
    }
    return Value();
}

template <int Cls> Value Construct(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    auto f = Fresh(Cls);
    const Class& c = Classes()[Cls];
    for (std::size_t i = 0; i < c.args.size() && i < args.size(); ++i) {
        if (!args[i].isUndefined()) {
            Store(rt, *f, c.args[i], args[i]);
        }
    }
    // A second construction of the same object (super called twice) changes nothing.
    Object* o = self.object();
    if (o && !FilterOf(self)) {
        o->host = std::move(f);
    }
    return Value();
}

Value Clone(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    Filter* f = FilterOf(self);
    if (!f) {
        return Value();
    }
    Value cls =
        rt.Get(rt.Get(rt.Get(Value(rt.global()), "flash"), "filters"), Classes()[f->cls].name);
    Object* o = rt.NewObject(rt.Get(cls, "prototype").object());
    o->host = std::make_unique<Filter>(*f);
    return Value(o);
}

// Which class a filter record of the file makes, by its id.
constexpr int kClassOfRecord[8] = {5, 1, 6, 0, 8, 3, 2, 7};

// A filter object of the settings a file's record gives.
Value FromRecord(Runtime& rt, const swf::Filter& r) {
    if (r.id >= 8) {
        return Value();
    }
    int cls = kClassOfRecord[r.id];
    auto f = Fresh(cls);
    auto num = [&](std::size_t i) { return i < r.numbers.size() ? r.numbers[i] : 0.0; };
    auto rgb = [&](std::size_t i) { return i < r.colours.size() ? r.colours[i] >> 8 : 0.0; };
    auto alpha = [&](std::size_t i) { return i < r.colours.size() ? r.colours[i] & 255 : 0.0; };
    bool inner = r.flags & 0x80, knockout = r.flags & 0x40;
    const char* type = r.flags & 0x10 ? "full" : inner ? "inner" : "outer";
    auto& n = f->num;
    switch (r.id) {
    case 0: // distance angle color alpha quality inner knockout blurX blurY strength hideObject
        n = {num(3),           num(2), rgb(0), alpha(0), double(r.flags & 0x1F),   double(inner),
             double(knockout), num(0), num(1), num(4),   double(!(r.flags & 0x20))};
        break;
    case 1:
        n = {num(0), num(1), double(r.flags >> 3)};
        break;
    case 2: // color alpha quality inner knockout blurX blurY strength
        n = {rgb(0), alpha(0), double(r.flags & 0x1F), double(inner), double(knockout), num(0),
             num(1), num(2)};
        break;
    case 3: // the bevel's fields in its order; the file gives the highlight first
        n = {num(3), num(2),           rgb(0), alpha(0), rgb(1), alpha(1), double(r.flags & 0x0F),
             num(4), double(knockout), num(0), num(1),   0};
        f->text = type;
        break;
    case 4:
    case 7:
        n = {num(3), num(2),           0, 0, 0, num(0), num(1), double(r.flags & 0x0F),
             num(4), double(knockout), 0};
        f->text = type;
        f->count = static_cast<int>(std::min<std::size_t>(r.colours.size(), 16));
        for (int i = 0; i < f->count; ++i) {
            f->colors[i] = rgb(i);
            f->alphas[i] = alpha(i);
            f->ratios[i] = i < static_cast<int>(r.ratios.size()) ? r.ratios[i] : 0;
        }
        break;
    case 5: // matrixX matrixY matrix divisor bias preserveAlpha clamp color alpha
        n = {num(0), num(1),  0, num(2), num(3), double(r.flags & 1), double((r.flags & 2) != 0),
             rgb(0), alpha(0)};
        f->matrix.assign(r.numbers.begin() + std::min<std::size_t>(4, r.numbers.size()),
                         r.numbers.end());
        break;
    case 6:
        f->matrix = r.numbers;
        break;
    }
    Value ctor =
        rt.Get(rt.Get(rt.Get(Value(rt.global()), "flash"), "filters"), Classes()[cls].name);
    Object* o = rt.NewObject(rt.Get(ctor, "prototype").object());
    o->host = std::move(f);
    return Value(o);
}

// The file's record of a filter object's settings: what the display draws it with. Nullopt
// for a kind the file cannot carry.
std::optional<swf::Filter> ToRecord(const Filter& f) {
    auto it = std::find(std::begin(kClassOfRecord), std::end(kClassOfRecord), f.cls);
    if (it == std::end(kClassOfRecord)) {
        return std::nullopt;
    }
    swf::Filter r;
    r.id = static_cast<std::uint8_t>(it - std::begin(kClassOfRecord));
    auto n = [&](std::size_t i) { return i < f.num.size() ? f.num[i] : 0.0; };
    auto flag = [&](std::size_t i, std::uint8_t bit) { return n(i) != 0 ? bit : 0; };
    auto colour = [&](double rgb, double alpha) {
        return (static_cast<std::uint32_t>(rgb) & 0xFFFFFFu) << 8 |
               (static_cast<std::uint32_t>(alpha) & 0xFFu);
    };
    auto passes = [&](std::size_t i, int mask) {
        return static_cast<std::uint8_t>(int(n(i)) & mask);
    };
    std::uint8_t type = f.text == "full" ? 0x10 : f.text == "inner" ? 0x80 : 0;
    switch (r.id) {
    case 0:
        r.numbers = {n(7), n(8), n(1), n(0), n(9)};
        r.colours = {colour(n(2), n(3))};
        r.flags = flag(5, 0x80) | flag(6, 0x40) | (n(10) != 0 ? 0 : 0x20) | passes(4, 0x1F);
        break;
    case 1:
        r.numbers = {n(0), n(1)};
        r.flags = static_cast<std::uint8_t>(passes(2, 0x1F) << 3);
        break;
    case 2:
        r.numbers = {n(5), n(6), n(7)};
        r.colours = {colour(n(0), n(1))};
        r.flags = flag(3, 0x80) | flag(4, 0x40) | 0x20 | passes(2, 0x1F);
        break;
    case 3:
        r.numbers = {n(9), n(10), n(1), n(0), n(7)};
        r.colours = {colour(n(2), n(3)), colour(n(4), n(5))};
        r.flags = type | flag(8, 0x40) | 0x20 | passes(6, 0x0F);
        break;
    case 4:
    case 7:
        r.numbers = {n(5), n(6), n(1), n(0), n(8)};
        for (int i = 0; i < f.count; ++i) {
            r.colours.push_back(colour(f.colors[i], f.alphas[i]));
            r.ratios.push_back(static_cast<std::uint8_t>(f.ratios[i]));
        }
        r.flags = type | flag(9, 0x40) | 0x20 | passes(7, 0x0F);
        break;
    case 5:
        r.numbers = {n(0), n(1), n(3), n(4)};
        r.numbers.insert(r.numbers.end(), f.matrix.begin(), f.matrix.end());
        r.colours = {colour(n(7), n(8))};
        r.flags = flag(5, 0x01) | flag(6, 0x02);
        break;
    case 6:
        r.numbers = f.matrix;
        break;
    }
    return r;
}

// The filters a script gave a clip; what the file placed it with until then.
struct ClipFilters : HostData {
    std::vector<Object*> list;
    void Trace(std::vector<Object*>& out) const override {
        out.insert(out.end(), list.begin(), list.end());
    }
};

Object* CloneOf(Runtime& rt, Object* filter) {
    std::vector<Value> none;
    Activation a;
    return Clone(rt, a, Value(filter), none).object();
}

Value GetClipFilters(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    Object* clip = self.object();
    if (!clip || clip->kind != Kind::Clip) {
        return Value();
    }
    std::vector<Value> items;
    if (auto* set = dynamic_cast<ClipFilters*>(clip->host.get())) {
        for (Object* f : set->list) {
            items.emplace_back(CloneOf(rt, f));
        }
    } else {
        for (const swf::Filter& r : rt.display().PlacedFilters(clip->clipId)) {
            if (Value v = FromRecord(rt, r); v.isObject()) {
                items.push_back(v);
            }
        }
    }
    return Value(rt.NewArray(items));
}

Value SetClipFilters(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Object* clip = self.object();
    Object* list = Arg(args, 0).object();
    if (!clip || clip->kind != Kind::Clip ||
        (clip->host && !dynamic_cast<ClipFilters*>(clip->host.get()))) {
        return Value();
    }
    auto set = std::make_unique<ClipFilters>();
    std::vector<swf::Filter> records;
    if (list) {
        double n = rt.Length(list);
        for (double i = 0; i < n && i < 1000; ++i) {
            Value item = rt.Element(list, i);
            if (const Filter* f = FilterOf(item)) {
                if (auto r = ToRecord(*f)) {
                    records.push_back(std::move(*r));
                }
                set->list.push_back(CloneOf(rt, item.object()));
            }
        }
    }
    clip->host = std::move(set);
    rt.display().SetFilters(clip->clipId, std::move(records));
    return Value();
}

Value BitmapFilterCtor(Runtime&, Activation&, Value, std::vector<Value>&) {
    return Value();
}

template <int Cls, int... I>
void AddFields(Runtime& rt, Object* proto, std::integer_sequence<int, I...>) {
    const auto& fields = Classes()[Cls].fields;
    auto add = [&](int index, NativeFn get, NativeFn set) {
        if (index < static_cast<int>(fields.size())) {
            Property& p = proto->Set(fields[index].name, Value());
            p.getter = rt.NewFunction(get);
            p.setter = rt.NewFunction(set);
        }
    };
    (add(I, GetField<Cls, I>, SetField<Cls, I>), ...);
}

template <int... C>
void AddClasses(Runtime& rt, Object* package, Object* base, std::integer_sequence<int, C...>) {
    auto one = [&](const char* name, NativeFn ctor, auto fields) {
        Object* proto = rt.NewObject(base);
        rt.MakeClass(name, ctor, proto, package);
        fields(proto);
        proto->Set("clone", Value(rt.NewFunction(Clone)));
    };
    (one(Classes()[C].name, Construct<C>,
         [&](Object* proto) {
             AddFields<C>(rt, proto, std::make_integer_sequence<int, kMaxFields>());
         }),
     ...);
}

} // namespace

void InstallFilters(Runtime& rt, Object* global) {
    Object* package = Package(rt, global, "flash.filters");
    Object* base = rt.NewPlain();
    rt.MakeClass("BitmapFilter", BitmapFilterCtor, base, package);
    rt.Method(base, "clone", BitmapFilterCtor);
    AddClasses(rt, package, base,
               std::make_integer_sequence<int, 9>()); // as many as Classes() lists
    if (rt.clipProto_) {
        Property& p = rt.clipProto_->Set("filters", Value(), kDontEnum | kDontDelete | kOnlyFrom8);
        p.getter = rt.NewFunction(GetClipFilters);
        p.setter = rt.NewFunction(SetClipFilters);
    }
}

std::optional<swf::Filter> FilterRecord(const Value& v) {
    const Filter* f = FilterOf(v);
    if (!f) {
        return std::nullopt;
    }
    auto num = [&](std::size_t i) { return i < f->num.size() ? f->num[i] : 0.0; };
    auto byte = [&](std::size_t i) {
        double n = num(i);
        return std::isfinite(n) ? static_cast<std::uint32_t>(std::clamp(n, 0.0, 255.0)) : 0u;
    };
    auto colour = [&](double rgb, double alpha) {
        std::uint32_t c =
            std::isfinite(rgb) ? static_cast<std::uint32_t>(std::clamp(rgb, 0.0, 16777215.0)) : 0u;
        std::uint32_t a =
            std::isfinite(alpha) ? static_cast<std::uint32_t>(std::clamp(alpha, 0.0, 255.0)) : 0u;
        return c << 8 | a;
    };
    auto bit = [&](std::size_t i, int shift) {
        return static_cast<std::uint8_t>(num(i) != 0 ? 1 << shift : 0);
    };
    // The bevels' type: inner, outer or full (on top).
    std::uint8_t type = f->text == "full" ? 0x10 : f->text == "inner" ? 0x80 : 0;
    swf::Filter r;
    switch (f->cls) {
    case 5: // drop shadow
        r.id = 0;
        r.colours = {colour(num(2), num(3))};
        r.numbers = {num(7), num(8), num(1), num(0), num(9)};
        r.flags = bit(5, 7) | bit(6, 6) | (num(10) != 0 ? 0 : 0x20) | (byte(4) & 0x1F);
        break;
    case 1:
        r.id = 1;
        r.numbers = {num(0), num(1)};
        r.flags = static_cast<std::uint8_t>((byte(2) & 0x1F) << 3);
        break;
    case 6: // glow
        r.id = 2;
        r.colours = {colour(num(0), num(1))};
        r.numbers = {num(5), num(6), num(7)};
        r.flags = bit(3, 7) | bit(4, 6) | 0x20 | (byte(2) & 0x1F);
        break;
    case 0: // bevel
        r.id = 3;
        r.colours = {colour(num(2), num(3)), colour(num(4), num(5))};
        r.numbers = {num(9), num(10), num(1), num(0), num(7)};
        r.flags = type | bit(8, 6) | 0x20 | (byte(6) & 0x0F);
        break;
    case 8: // gradient glow
    case 7: // gradient bevel
        r.id = f->cls == 8 ? 4 : 7;
        for (int i = 0; i < f->count && i < 16; ++i) {
            r.colours.push_back(colour(f->colors[i], f->alphas[i]));
            r.ratios.push_back(static_cast<std::uint8_t>(
                std::isfinite(f->ratios[i]) ? std::clamp(f->ratios[i], 0.0, 255.0) : 0));
        }
        r.numbers = {num(5), num(6), num(1), num(0), num(8)};
        r.flags = type | bit(9, 6) | 0x20 | (byte(7) & 0x0F);
        break;
    case 3: // convolution
        r.id = 5;
        r.numbers = {num(0), num(1), num(3), num(4)};
        r.numbers.insert(r.numbers.end(), f->matrix.begin(), f->matrix.end());
        r.colours = {colour(num(7), num(8))};
        r.flags = bit(6, 1) | bit(5, 0);
        break;
    case 2:
        r.id = 6;
        r.numbers = f->matrix;
        break;
    default:
        return std::nullopt;
    }
    return r;
}

std::optional<std::vector<swf::Filter>> ScriptFilters(const Object* clip) {
    const auto* set = clip ? dynamic_cast<const ClipFilters*>(clip->host.get()) : nullptr;
    if (!set) {
        return std::nullopt;
    }
    std::vector<swf::Filter> out;
    for (Object* f : set->list) {
        if (auto r = FilterRecord(Value(f))) {
            out.push_back(std::move(*r));
        }
    }
    return out;
}

} // namespace fw::avm1
