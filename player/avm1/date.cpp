// Date: milliseconds since 1970 in the time zone of the host (UTC here: the runner is
// deterministic), with the calendar arithmetic of the civil calendar.

#include "runtime.h"

#include <cmath>
#include <cstdio>

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
    double mp = std::fmod(m + 9, 12);
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
        t = std::floor(rt.now()) + 1.0e12; // a fixed origin keeps runs repeatable
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
        t = Make(Parts{v[0], v[1], v[2], v[3], v[4], v[5], v[6], 0});
    }
    o->primitive = Value(t);
    if (!constructing) {
        return Value(rt.ToStr(Value(o)));
    }
    return Value(o);
}

enum Field { kYear, kMonth, kDay, kHours, kMinutes, kSeconds, kMs, kWeekday, kTime, kFullYear2 };

template <Field F> Value Getter(Runtime&, Activation&, Value self, std::vector<Value>&) {
    double t = Time(self);
    if (std::isnan(t)) {
        return Value(NAN);
    }
    Parts p = Split(t);
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
        return Value(p.ms);
    case kWeekday:
        return Value(p.weekday);
    case kTime:
        return Value(t);
    case kFullYear2:
        return Value(p.year - 1900);
    }
    return Value();
}

template <Field F> Value Setter(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Object* o = self.object();
    if (!o || o->kind != Kind::Date) {
        return Value();
    }
    if (F == kTime) {
        o->primitive = Value(rt.ToNum(Arg(args, 0)));
        return o->primitive;
    }
    double t = Time(self);
    Parts p = Split(std::isnan(t) ? 0 : t);
    double* fields[] = {&p.year, &p.month, &p.day, &p.hours, &p.minutes, &p.seconds, &p.ms};
    int first = F == kFullYear2 ? 0 : static_cast<int>(F);
    for (std::size_t i = 0; i < args.size() && first + static_cast<int>(i) < 7; ++i) {
        *fields[first + i] = rt.ToNum(args[i]);
    }
    if (F == kFullYear2 && p.year >= 0 && p.year < 100) {
        p.year += 1900;
    }
    o->primitive = Value(Make(p));
    return o->primitive;
}

Value ToStringFn(Runtime&, Activation&, Value self, std::vector<Value>&) {
    double t = Time(self);
    if (!std::isfinite(t) || std::fabs(t) > 8.64e15) {
        return Value("Invalid Date");
    }
    static const char* days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    Parts p = Split(t);
    char buf[80];
    std::snprintf(buf, sizeof buf, "%s %s %d %02d:%02d:%02d GMT+0000 %d",
                  days[static_cast<int>(p.weekday)], months[static_cast<int>(p.month)],
                  static_cast<int>(p.day), static_cast<int>(p.hours), static_cast<int>(p.minutes),
                  static_cast<int>(p.seconds), static_cast<int>(p.year));
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

Value Zone(Runtime&, Activation&, Value, std::vector<Value>&) {
    return Value(0);
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
    for (const char* utc : {"", "UTC"}) {
        auto name = [&](const char* base) {
            std::string n = base;
            return n.insert(3, utc);
        };
        const std::pair<std::string, NativeFn> entries[] = {
            {name("getFullYear"), Getter<kYear>},   {name("getMonth"), Getter<kMonth>},
            {name("getDate"), Getter<kDay>},        {name("getDay"), Getter<kWeekday>},
            {name("getHours"), Getter<kHours>},     {name("getMinutes"), Getter<kMinutes>},
            {name("getSeconds"), Getter<kSeconds>}, {name("getMilliseconds"), Getter<kMs>},
            {name("setFullYear"), Setter<kYear>},   {name("setMonth"), Setter<kMonth>},
            {name("setDate"), Setter<kDay>},        {name("setHours"), Setter<kHours>},
            {name("setMinutes"), Setter<kMinutes>}, {name("setSeconds"), Setter<kSeconds>},
            {name("setMilliseconds"), Setter<kMs>},
        };
        for (const auto& [n, fn] : entries) {
            rt.Method(proto, n.c_str(), fn);
        }
    }
    rt.Method(proto, "getYear", Getter<kFullYear2>);
    rt.Method(proto, "setYear", Setter<kFullYear2>);
    rt.Method(proto, "setTime", Setter<kTime>);
}

} // namespace fw::avm1
