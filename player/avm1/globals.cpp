// The global functions: number parsing, escapes and the timers.

#include "runtime.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

namespace fw::avm1 {
namespace {

bool Space(char16_t c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v' || c == 0xA0;
}

int Digit(char16_t c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'Z') {
        return c - 'A' + 10;
    }
    return 99;
}

Value ParseInt(Runtime& rt, Activation&, Value, std::vector<Value>& args) {
    std::u16string s = ToUtf16(rt.ToStr(Arg(args, 0)));
    int radix = 0;
    if (args.size() > 1 && !args[1].isUndefined()) {
        radix = static_cast<int>(ToInt32(rt.ToNum(args[1])));
        if (radix < 2 || radix > 36) {
            return Value(std::nan(""));
        }
    }
    std::size_t i = 0;
    while (i < s.size() && Space(s[i])) {
        ++i;
    }
    bool negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) {
        negative = s[i] == '-';
        ++i;
    }
    if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X') &&
        (radix == 0 || radix == 16)) {
        radix = 16;
        i += 2;
    } else if (radix == 0) {
        radix = (i + 1 < s.size() && s[i] == '0') ? 8 : 10;
    }
    double v = 0;
    bool any = false;
    for (; i < s.size(); ++i) {
        int d = Digit(s[i]);
        if (d >= radix) {
            break;
        }
        v = v * radix + d;
        any = true;
    }
    if (!any) {
        return Value(std::nan(""));
    }
    return Value(negative ? -v : v);
}

// 10 to the n, the double nearest to it on every platform: the C library's pow is off by an
// ulp on some, and that shows in the digits a movie prints.
double PowerOfTen(std::int64_t n) {
    char text[32];
    auto [end, ec] = std::to_chars(text, text + sizeof text, n);
    std::string digits = "1e" + std::string(text, end);
    double out = 0;
    auto [ptr, err] = std::from_chars(digits.data(), digits.data() + digits.size(), out);
    if (err == std::errc::result_out_of_range) {
        return n < 0 ? 0.0 : HUGE_VAL;
    }
    return out;
}

Value ParseFloat(Runtime& rt, Activation&, Value, std::vector<Value>& args) {
    if (args.empty()) {
        return Value();
    }
    std::string s = rt.ToStr(args[0]);
    std::size_t i = 0;
    while (i < s.size() && Space(static_cast<unsigned char>(s[i]))) {
        ++i;
    }
    bool negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) {
        negative = s[i] == '-';
        ++i;
    }
    // Digits add up one by one, the fraction's by ever smaller steps, as the reference
    // player does (so the last bit can differ from a correctly rounded reading). Later
    // points are skipped, but after a second one no exponent is read.
    double value = 0;
    double step = 1;
    bool digits = false;
    int points = 0;
    for (; i < s.size(); ++i) {
        char c = s[i];
        if (c >= '0' && c <= '9') {
            digits = true;
            if (points == 0) {
                value = value * 10 + (c - '0');
            } else {
                step /= 10;
                value += (c - '0') * step;
            }
        } else if (c == '.') {
            ++points;
        } else {
            break;
        }
    }
    if (!digits) {
        return Value(std::nan(""));
    }
    if (points < 2 && i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        bool negExp = false;
        if (j < s.size() && (s[j] == '-' || s[j] == '+')) {
            negExp = s[j] == '-';
            ++j;
        }
        // The exponent is a 32-bit integer that wraps.
        std::uint32_t e = 0;
        bool any = false;
        for (; j < s.size() && s[j] >= '0' && s[j] <= '9'; ++j) {
            e = e * 10u + static_cast<std::uint32_t>(s[j] - '0');
            any = true;
        }
        if (any) {
            auto exp = static_cast<std::int32_t>(e);
            value *= PowerOfTen(negExp ? -static_cast<std::int64_t>(exp) : exp);
        }
    }
    return Value(negative ? -value : value);
}

Value IsNaN(Runtime& rt, Activation&, Value, std::vector<Value>& args) {
    // Without an argument there is no number at all, whatever undefined converts to.
    return Value(args.empty() || std::isnan(rt.ToNum(args[0])));
}

Value IsFinite(Runtime& rt, Activation&, Value, std::vector<Value>& args) {
    return Value(!args.empty() && std::isfinite(rt.ToNum(args[0])));
}

Value Escape(Runtime& rt, Activation&, Value, std::vector<Value>& args) {
    std::string s = rt.ToStr(Arg(args, 0));
    std::string out;
    static const char* hex = "0123456789ABCDEF";
    for (unsigned char c : s) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return rt.Text(std::move(out));
}

Value Unescape(Runtime& rt, Activation&, Value, std::vector<Value>& args) {
    std::string s = rt.ToStr(Arg(args, 0));
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%') {
            // A broken escape drops out with the characters read so far: the one after
            // the mark when it is no hex digit, else the two.
            if (i + 1 >= s.size() || Digit(s[i + 1]) >= 16) {
                i += 1;
                continue;
            }
            if (i + 2 < s.size() && Digit(s[i + 2]) < 16) {
                out += static_cast<char>(Digit(s[i + 1]) * 16 + Digit(s[i + 2]));
            }
            i += 2;
        } else if (s[i] == '+') {
            out += ' ';
        } else {
            out += s[i];
        }
    }
    return rt.Text(std::move(out));
}

Value AddTimer(Runtime& rt, std::vector<Value>& args, bool repeat) {
    if (args.empty()) {
        return Value();
    }
    Runtime::Timer t;
    std::size_t next;
    if (rt.IsCallable(args[0])) {
        t.fn = args[0];
        next = 1;
    } else if (args[0].isObject() && args.size() > 1) {
        t.self = args[0];
        t.method = rt.ToStr(args[1]);
        next = 2;
    } else {
        return Value();
    }
    if (args.size() <= next || args[next].isUndefined()) {
        return Value();
    }
    t.interval = std::max(rt.ToNum(args[next]), 0.0);
    if (std::isnan(t.interval)) {
        t.interval = 0;
    }
    t.args.assign(args.begin() + static_cast<std::ptrdiff_t>(next) + 1, args.end());
    t.due = rt.now() + std::max(t.interval, 1.0);
    t.repeat = repeat;
    t.id = rt.nextTimer_++;
    rt.timers_[t.id] = t;
    return Value(t.id);
}

Value SetInterval(Runtime& rt, Activation&, Value, std::vector<Value>& args) {
    return AddTimer(rt, args, true);
}

Value SetTimeout(Runtime& rt, Activation&, Value, std::vector<Value>& args) {
    return AddTimer(rt, args, false);
}

Value ClearTimer(Runtime& rt, Activation&, Value, std::vector<Value>& args) {
    rt.timers_.erase(static_cast<int>(ToInt32(rt.ToNum(Arg(args, 0)))));
    return Value();
}

Value Nothing(Runtime&, Activation&, Value, std::vector<Value>&) {
    return Value();
}

Value TraceFn(Runtime& rt, Activation&, Value, std::vector<Value>& args) {
    Value x = Arg(args, 0);
    rt.display().Trace(x.isUndefined() ? std::string("undefined") : rt.ToStr(x));
    return Value();
}

} // namespace

void Runtime::RunTimers(double now) {
    now_ = now;
    BeginBlockBudget(); // the timers of one tick share one block's budget
    for (int guard = 0; guard < 1000; ++guard) {
        // The earliest due timer first; each runs at most once per call.
        auto due = timers_.end();
        for (auto it = timers_.begin(); it != timers_.end(); ++it) {
            if (it->second.due <= now &&
                (due == timers_.end() || it->second.due < due->second.due)) {
                due = it;
            }
        }
        if (due == timers_.end()) {
            break;
        }
        Timer t = due->second;
        if (t.repeat) {
            due->second.due = std::max(t.due + std::max(t.interval, 1.0), now + 1e-9);
            if (due->second.due <= now) {
                due->second.due = now + std::max(t.interval, 1.0);
            }
        } else {
            timers_.erase(due);
        }
        callDepth_ = 0;
        try {
            Value fn = t.method.empty() ? t.fn : Get(t.self, t.method);
            Call(fn, t.self, t.args);
        } catch (Thrown& thrown) {
            Report("uncaught exception: " + ToString(thrown.value, version_));
        }
    }
    DeliverLoads();
    PollActive();
}

void InstallGlobals(Runtime& rt, Object* global) {
    rt.Method(global, "parseInt", ParseInt);
    rt.Method(global, "parseFloat", ParseFloat);
    rt.Method(global, "isNaN", IsNaN);
    rt.Method(global, "isFinite", IsFinite);
    rt.Method(global, "escape", Escape);
    rt.Method(global, "unescape", Unescape);
    rt.Method(global, "setInterval", SetInterval);
    rt.Method(global, "setTimeout", SetTimeout);
    rt.Method(global, "clearInterval", ClearTimer);
    rt.Method(global, "clearTimeout", ClearTimer);
    rt.Method(global, "updateAfterEvent", Nothing);
    rt.Method(global, "trace", TraceFn);
    global->Set("NaN", Value(std::nan("")), kDontEnum);
    global->Set("Infinity", Value(std::numeric_limits<double>::infinity()), kDontEnum);
    // The player's own start-up script leaves its shorthand behind, set to null.
    global->Set("o", Value(Null{}), kDontEnum);
}

} // namespace fw::avm1
