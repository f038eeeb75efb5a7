// Math: one native serves every function of one or two arguments, told apart by its tag.

#include "runtime.h"

#include <cmath>
#include <numbers>
#include <random>

namespace fw::avm1 {
namespace {

// Numbered as the built-in table numbers them, so ASnative(200, n) is entry n.
enum Fn {
    kAbs,
    kMin,
    kMax,
    kSin,
    kCos,
    kAtan2,
    kTan,
    kExp,
    kLog,
    kSqrt,
    kRound,
    kRandom,
    kFloor,
    kCeil,
    kAtan,
    kAsin,
    kAcos,
    kPow,
    kIsNaN,
    kIsFinite,
    kNone
};

struct Entry {
    const char* name;
    Fn fn;
};

// In the order of Fn: an entry's index is its function.
const Entry kEntries[] = {
    {"abs", kAbs},     {"min", kMin},       {"max", kMax},     {"sin", kSin},   {"cos", kCos},
    {"atan2", kAtan2}, {"tan", kTan},       {"exp", kExp},     {"log", kLog},   {"sqrt", kSqrt},
    {"round", kRound}, {"random", kRandom}, {"floor", kFloor}, {"ceil", kCeil}, {"atan", kAtan},
    {"asin", kAsin},   {"acos", kAcos},     {"pow", kPow},
};

template <Fn F> Value Math(Runtime& rt, Activation&, Value, std::vector<Value>& args) {
    // Every entry converts its first two arguments, in order, whether it uses them or not.
    const double nan = std::nan("");
    double a = !args.empty() ? rt.ToNum(args[0]) : nan;
    double b = args.size() > 1 ? rt.ToNum(args[1]) : nan;
    switch (F) {
    case kAbs:
        return Value(std::fabs(a));
    case kAcos:
        return Value(std::acos(a));
    case kAsin:
        return Value(std::asin(a));
    case kAtan:
        return Value(std::atan(a));
    case kCeil:
        return Value(std::ceil(a));
    case kCos:
        return Value(std::cos(a));
    case kExp:
        return Value(std::exp(a));
    case kFloor:
        return Value(std::floor(a));
    case kLog:
        return Value(std::log(a));
    case kRound:
        return Value(std::floor(a + 0.5));
    case kSin:
        return Value(std::sin(a));
    case kSqrt:
        return Value(std::sqrt(a));
    case kTan:
        return Value(std::tan(a));
    case kAtan2:
        return Value(std::atan2(a, b));
    case kPow:
        return Value(std::pow(a, b));
    case kMax:
    case kMin: {
        if (args.empty()) {
            return Value(F == kMax ? -INFINITY : INFINITY);
        }
        if (args.size() == 1 || std::isnan(a) || std::isnan(b)) {
            return Value(nan);
        }
        return Value(F == kMax ? (a > b ? a : b) : (a < b ? a : b));
    }
    case kRandom: {
        static std::mt19937 engine(1234);
        return Value(std::uniform_real_distribution<double>(0.0, 1.0)(engine));
    }
    case kIsNaN:
        return Value(std::isnan(a));
    case kIsFinite:
        return Value(std::isfinite(a));
    case kNone:
        break;
    }
    return Value(nan);
}

template <std::size_t... I> NativeFn NativeAt(std::size_t index, std::index_sequence<I...>) {
    NativeFn out = &Math<kNone>;
    ((index == I ? (out = &Math<static_cast<Fn>(I)>) : out), ...);
    return out;
}

// ASnative(category, index): the built-in table's entries by number. Only the Math
// category is served; any other answers undefined.
Value AsNative(Runtime& rt, Activation&, Value, std::vector<Value>& args) {
    double category = rt.ToNum(Arg(args, 0));
    double index = rt.ToNum(Arg(args, 1));
    if (category != 200 || !(index >= 0)) {
        return Value();
    }
    constexpr auto kCount = static_cast<std::size_t>(kNone);
    std::size_t i = index < static_cast<double>(kCount) ? static_cast<std::size_t>(index) : kCount;
    return Value(rt.NewFunction(NativeAt(i, std::make_index_sequence<kNone>{})));
}

template <std::size_t... I> void AddAll(Runtime& rt, Object* m, std::index_sequence<I...>) {
    ((rt.Method(m, kEntries[I].name, &Math<static_cast<Fn>(I)>)), ...);
}

} // namespace

void InstallMath(Runtime& rt, Object* global) {
    Object* m = rt.NewPlain();
    global->Set("Math", Value(m), kDontEnum);
    rt.Method(global, "ASnative", AsNative);
    AddAll(rt, m, std::make_index_sequence<sizeof kEntries / sizeof kEntries[0]>{});
    const std::uint8_t fixed = kDontEnum | kDontDelete | kReadOnly;
    m->Set("E", Value(std::numbers::e), fixed);
    m->Set("LN10", Value(std::numbers::ln10), fixed);
    m->Set("LN2", Value(std::numbers::ln2), fixed);
    m->Set("LOG10E", Value(std::numbers::log10e), fixed);
    m->Set("LOG2E", Value(std::numbers::log2e), fixed);
    m->Set("PI", Value(std::numbers::pi), fixed);
    m->Set("SQRT1_2", Value(1 / std::numbers::sqrt2), fixed);
    m->Set("SQRT2", Value(std::numbers::sqrt2), fixed);
}

} // namespace fw::avm1
