// Math: one native serves every function of one or two arguments, told apart by its tag.

#include "runtime.h"

#include <cmath>
#include <numbers>
#include <random>

namespace fw::avm1 {
namespace {

enum Fn {
    kAbs,
    kAcos,
    kAsin,
    kAtan,
    kCeil,
    kCos,
    kExp,
    kFloor,
    kLog,
    kRound,
    kSin,
    kSqrt,
    kTan,
    kAtan2,
    kPow,
    kMax,
    kMin,
    kRandom
};

// In the order of Fn: an entry's index is its function.
struct Entry {
    const char* name;
    Fn fn;
};

const Entry kEntries[] = {
    {"abs", kAbs}, {"acos", kAcos}, {"asin", kAsin},     {"atan", kAtan},   {"ceil", kCeil},
    {"cos", kCos}, {"exp", kExp},   {"floor", kFloor},   {"log", kLog},     {"round", kRound},
    {"sin", kSin}, {"sqrt", kSqrt}, {"tan", kTan},       {"atan2", kAtan2}, {"pow", kPow},
    {"max", kMax}, {"min", kMin},   {"random", kRandom},
};

template <Fn F> Value Math(Runtime& rt, Activation&, Value, std::vector<Value>& args) {
    auto num = [&](std::size_t i) { return i < args.size() ? rt.ToNum(args[i]) : std::nan(""); };
    switch (F) {
    case kAbs:
        return Value(std::fabs(num(0)));
    case kAcos:
        return Value(std::acos(num(0)));
    case kAsin:
        return Value(std::asin(num(0)));
    case kAtan:
        return Value(std::atan(num(0)));
    case kCeil:
        return Value(std::ceil(num(0)));
    case kCos:
        return Value(std::cos(num(0)));
    case kExp:
        return Value(std::exp(num(0)));
    case kFloor:
        return Value(std::floor(num(0)));
    case kLog:
        return Value(std::log(num(0)));
    case kRound:
        return Value(std::floor(num(0) + 0.5));
    case kSin:
        return Value(std::sin(num(0)));
    case kSqrt:
        return Value(std::sqrt(num(0)));
    case kTan:
        return Value(std::tan(num(0)));
    case kAtan2:
        return Value(std::atan2(num(0), num(1)));
    case kPow:
        return Value(std::pow(num(0), num(1)));
    case kMax:
    case kMin: {
        if (args.empty()) {
            return Value(F == kMax ? -INFINITY : INFINITY);
        }
        if (args.size() == 1) {
            return Value(std::nan(""));
        }
        double a = num(0);
        double b = num(1);
        if (std::isnan(a) || std::isnan(b)) {
            return Value(std::nan(""));
        }
        return Value(F == kMax ? (a > b ? a : b) : (a < b ? a : b));
    }
    case kRandom: {
        static std::mt19937 engine(1234);
        return Value(std::uniform_real_distribution<double>(0.0, 1.0)(engine));
    }
    }
    return Value();
}

template <std::size_t... I> void AddAll(Runtime& rt, Object* m, std::index_sequence<I...>) {
    ((rt.Method(m, kEntries[I].name, &Math<static_cast<Fn>(I)>)), ...);
}

} // namespace

void InstallMath(Runtime& rt, Object* global) {
    Object* m = rt.NewPlain();
    global->Set("Math", Value(m), kDontEnum);
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
