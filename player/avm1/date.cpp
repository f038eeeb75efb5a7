// Date: milliseconds since 1970, shown in the time zone of the host, with the calendar
// arithmetic of the civil calendar.

#include "runtime.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace fw::avm1 {
namespace {

constexpr double kMsPerDay = 86400000.0;

double DaysFromCivil(double y, double m, double d) {
    // m 0-based; months outside 0..11 roll into the year.
    y += std::floor(m / 12);
    m = std::fmod(m, 12);
    if (m < 0) {
        m += 12;
    }
    double yy = m < 2 ? y - 1 : y;
    double era = std::floor(yy / 400);
    double yoe = yy - era * 400;
    double mp = std::fmod(m + 10, 12); // March first; m counts from January as 0
    double doy = std::floor((153 * mp + 2) / 5) + d - 1;
    double doe = yoe * 365 + std::floor(yoe / 4) - std::floor(yoe / 100) + doy;
    return era * 146097 + doe - 719468;
}

struct Parts {
    double year, month, day, hours, minutes, seconds, ms, weekday;
};

Parts Split(double t) {
    double days = std::floor(t / kMsPerDay);
    double msInDay = t - days * kMsPerDay;
    double z = days + 719468;
    double era = std::floor(z / 146097);
    double doe = z - era * 146097;
    double yoe = std::floor(
        (doe - std::floor(doe / 1460) + std::floor(doe / 36524) - std::floor(doe / 146096)) / 365);
    double y = yoe + era * 400;
    double doy = doe - (365 * yoe + std::floor(yoe / 4) - std::floor(yoe / 100));
    double mp = std::floor((5 * doy + 2) / 153);
    double d = doy - std::floor((153 * mp + 2) / 5) + 1;
    double m = mp < 10 ? mp + 3 : mp - 9;
    if (m <= 2) {
        y += 1;
    }
    Parts p;
    p.year = y;
    p.month = m - 1;
    p.day = d;
    p.hours = std::floor(msInDay / 3600000);
    p.minutes = std::floor(std::fmod(msInDay, 3600000) / 60000);
    p.seconds = std::floor(std::fmod(msInDay, 60000) / 1000);
    p.ms = std::fmod(msInDay, 1000);
    p.weekday = std::fmod(std::fmod(days + 4, 7) + 7, 7);
    return p;
}

// How far the host's clock is ahead of UTC at time t (ms since 1970, UTC), in ms: the zone's
// present standard offset, as for every date, plus an hour where daylight saving is in force.
double LocalOffset(double t) {
    if (!std::isfinite(t)) {
        return 0;
    }
    double clamped = std::clamp(std::floor(t / 1000), -8.64e12, 8.64e12);
    // std::localtime and the zone's offset worked out from its answer, as every platform's
    // library has them (its result is copied at once: the library keeps one for all callers).
    auto local = [](std::time_t secs, std::tm& out) {
        const std::tm* got = std::localtime(&secs);
        if (got) {
            out = *got;
        }
        return got != nullptr;
    };
    std::tm tm{};
    if (!local(static_cast<std::time_t>(clamped), tm)) {
        return 0;
    }
    const std::time_t now = std::time(nullptr);
    std::tm current{};
    if (!local(now, current)) {
        return 0;
    }
    const double wall =
        DaysFromCivil(current.tm_year + 1900.0, current.tm_mon, current.tm_mday) * 86400 +
        current.tm_hour * 3600.0 + current.tm_min * 60.0 + current.tm_sec;
    const double standard = wall - static_cast<double>(now) - (current.tm_isdst > 0 ? 3600 : 0);
    return (standard + (tm.tm_isdst > 0 ? 3600 : 0)) * 1000;
}

double ToLocal(double t) {
    return t + LocalOffset(t);
}

// The UTC time of a local wall-clock time: the offset is the one in force there.
double FromLocal(double local) {
    double guess = local - LocalOffset(local);
    return local - LocalOffset(guess);
}

double Make(const Parts& p) {
    return DaysFromCivil(p.year, p.month, p.day) * kMsPerDay + p.hours * 3600000 +
           p.minutes * 60000 + p.seconds * 1000 + p.ms;
}

double Time(const Value& self) {
    Object* o = self.object();
    return o && o->kind == Kind::Date ? o->primitive.isNumber() ? o->primitive.asNumber() : NAN
                                      : NAN;
}

Value Construct(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    bool constructing = rt.constructing;
    Object* o =
        constructing && self.isObject() ? self.asObject() : rt.NewObject(rt.dateProto_, Kind::Date);
    o->kind = Kind::Date;
    double t;
    if (args.empty()) {
        t = std::floor(rt.dateOrigin() + rt.now());
    } else if (args.size() == 1) {
        t = rt.ToNum(args[0]);
    } else {
        double v[7] = {0, 0, 1, 0, 0, 0, 0};
        for (std::size_t i = 0; i < 7 && i < args.size(); ++i) {
            v[i] = rt.ToNum(args[i]);
        }
        if (v[0] >= 0 && v[0] < 100) {
            v[0] += 1900;
        }
        t = FromLocal(Make(Parts{v[0], v[1], v[2], v[3], v[4], v[5], v[6], 0}));
    }
    o->primitive = Value(t);
    if (!constructing) {
        return Value(rt.ToStr(Value(o)));
    }
    return Value(o);
}

enum Field { kYear, kMonth, kDay, kHours, kMinutes, kSeconds, kMs, kWeekday, kTime, kFullYear2 };

template <Field F, bool Utc = false>
Value Getter(Runtime&, Activation&, Value self, std::vector<Value>&) {
    double t = Time(self);
    if (std::isnan(t)) {
        return Value(NAN);
    }
    Parts p = Split(Utc || F == kTime ? t : ToLocal(t));
    switch (F) {
    case kYear:
        return Value(p.year);
    case kMonth:
        return Value(p.month);
    case kDay:
        return Value(p.day);
    case kHours:
        return Value(p.hours);
    case kMinutes:
        return Value(p.minutes);
    case kSeconds:
        return Value(p.seconds);
    case kMs:
        return Value(std::floor(p.ms));
    case kWeekday:
        return Value(p.weekday);
    case kTime:
        return Value(t);
    case kFullYear2:
        return Value(p.year - 1900);
    }
    return Value();
}

template <Field F, bool Utc = false>
Value Setter(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Object* o = self.object();
    if (!o || o->kind != Kind::Date) {
        return Value();
    }
    if (F == kTime) {
        o->primitive = Value(rt.ToNum(Arg(args, 0)));
        return o->primitive;
    }
    double t = Time(self);
    t = std::isnan(t) ? 0 : t;
    Parts p = Split(Utc ? t : ToLocal(t));
    double* fields[] = {&p.year, &p.month, &p.day, &p.hours, &p.minutes, &p.seconds, &p.ms};
    int first = F == kFullYear2 ? 0 : static_cast<int>(F);
    for (std::size_t i = 0; i < args.size() && first + static_cast<int>(i) < 7; ++i) {
        *fields[first + i] = rt.ToNum(args[i]);
    }
    if (F == kFullYear2 && p.year >= 0 && p.year < 100) {
        p.year += 1900;
    }
    o->primitive = Value(Utc ? Make(p) : FromLocal(Make(p)));
    return o->primitive;
}

Value ToStringFn(Runtime&, Activation&, Value self, std::vector<Value>&) {
    double t = Time(self);
    if (!std::isfinite(t)) {
        return Value("Invalid Date");
    }
    static const char* days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    double offset = LocalOffset(t);
    Parts p = Split(t + offset);
    int minutes = static_cast<int>(std::fabs(offset) / 60000);
    char zone[32];
    std::snprintf(zone, sizeof zone, "GMT%c%02d%02d", offset < 0 ? '-' : '+', minutes / 60,
                  minutes % 60);
    char buf[96];
    std::snprintf(buf, sizeof buf, "%s %s %d %02d:%02d:%02d %s %d",
                  days[static_cast<int>(p.weekday)], months[static_cast<int>(p.month)],
                  static_cast<int>(p.day), static_cast<int>(p.hours), static_cast<int>(p.minutes),
                  static_cast<int>(p.seconds), zone, static_cast<int>(p.year));
    return Value(std::string(buf));
}

Value Utc(Runtime& rt, Activation&, Value, std::vector<Value>& args) {
    double v[7] = {0, 0, 1, 0, 0, 0, 0};
    for (std::size_t i = 0; i < 7 && i < args.size(); ++i) {
        v[i] = rt.ToNum(args[i]);
    }
    if (v[0] >= 0 && v[0] < 100) {
        v[0] += 1900;
    }
    return Value(Make(Parts{v[0], v[1], v[2], v[3], v[4], v[5], v[6], 0}));
}

Value Zone(Runtime&, Activation&, Value self, std::vector<Value>&) {
    double t = Time(self);
    return Value(std::isnan(t) ? t : -LocalOffset(t) / 60000);
}

template <bool Utc> void AddFields(Runtime& rt, Object* proto, const char* utc) {
    auto name = [&](const char* base) {
        std::string n = base;
        return n.insert(3, utc);
    };
    const std::pair<std::string, NativeFn> entries[] = {
        {name("getFullYear"), Getter<kYear, Utc>},   {name("getMonth"), Getter<kMonth, Utc>},
        {name("getDate"), Getter<kDay, Utc>},        {name("getDay"), Getter<kWeekday, Utc>},
        {name("getHours"), Getter<kHours, Utc>},     {name("getMinutes"), Getter<kMinutes, Utc>},
        {name("getSeconds"), Getter<kSeconds, Utc>}, {name("getMilliseconds"), Getter<kMs, Utc>},
        {name("setFullYear"), Setter<kYear, Utc>},   {name("setMonth"), Setter<kMonth, Utc>},
        {name("setDate"), Setter<kDay, Utc>},        {name("setHours"), Setter<kHours, Utc>},
        {name("setMinutes"), Setter<kMinutes, Utc>}, {name("setSeconds"), Setter<kSeconds, Utc>},
        {name("setMilliseconds"), Setter<kMs, Utc>},
    };
    for (const auto& [n, fn] : entries) {
        rt.Method(proto, n.c_str(), fn);
    }
}

} // namespace

void InstallDate(Runtime& rt, Object* global) {
    Object* proto = rt.NewPlain();
    rt.dateProto_ = proto;
    Object* ctor = rt.MakeClass("Date", Construct, proto, global);
    rt.Method(ctor, "UTC", Utc);
    rt.Method(proto, "toString", ToStringFn);
    rt.Method(proto, "valueOf", Getter<kTime>);
    rt.Method(proto, "getTime", Getter<kTime>);
    rt.Method(proto, "getTimezoneOffset", Zone);
    AddFields<false>(rt, proto, "");
    AddFields<true>(rt, proto, "UTC");
    rt.Method(proto, "getYear", Getter<kFullYear2>);
    rt.Method(proto, "getUTCYear", Getter<kFullYear2, true>);
    rt.Method(proto, "setYear", Setter<kFullYear2>);
    rt.Method(proto, "setTime", Setter<kTime>);
}

} // namespace fw::avm1
