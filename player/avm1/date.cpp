// Date: milliseconds since 1970 held as a plain number, shown in the time zone of the host.
// Movies reach far outside the calendar's range (infinite times, years beyond 32 bits), and the
// fields they read back there follow the host's 32-bit integer arithmetic: a value that does not
// fit becomes INT_MIN, and remainders that come out negative are lifted by their divisor.

#include "runtime.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>

namespace fw::avm1 {
namespace {

constexpr double kMsPerDay = 86400000.0;
constexpr double kMsPerHour = 3600000.0;
constexpr double kMsPerMinute = 60000.0;
// Times further from 1970 than this are no time at all once a setter has made them.
constexpr double kMaxTime = 8.64e15;

// The processor's truncating conversion: NaN and everything out of range is INT_MIN.
std::int32_t ToInt32(double v) {
    return v >= INT32_MIN && v <= INT32_MAX ? static_cast<std::int32_t>(v) : INT32_MIN;
}

// 32-bit sums that wrap as the hardware's do, where a year near the end of the range is moved.
std::int32_t Wrap(std::int64_t v) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
}

// A remainder of a non-negative divisor, truncated to an integer and lifted when negative.
std::int32_t Modulo(double v, std::int32_t divisor) {
    std::int32_t r = ToInt32(std::fmod(v, divisor));
    return r < 0 ? r + divisor : r;
}

// Days before the first of each month, in common and in leap years.
constexpr int kMonthStart[2][13] = {
    {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365},
    {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335, 366},
};

bool IsLeap(std::int32_t year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

double DayOf(double t) {
    return std::floor(t / kMsPerDay);
}

double FirstDayOfYear(double year) {
    return 365 * (year - 1970) + std::floor((year - 1969) / 4) - std::floor((year - 1901) / 100) +
           std::floor((year - 1601) / 400);
}

double YearStart(std::int32_t year) {
    return kMsPerDay * FirstDayOfYear(year);
}

// The year holding t, searched for between the bounds that years of 365 and 366 days give.
std::int32_t YearOf(double t) {
    const double day = DayOf(t);
    const bool before = t < 0;
    std::int32_t low = Wrap(std::int64_t{ToInt32(std::floor(day / (before ? 365 : 366)))} + 1970);
    std::int32_t high = Wrap(std::int64_t{ToInt32(std::ceil(day / (before ? 366 : 365)))} + 1970);
    while (low < high) {
        const std::int32_t mid = ToInt32((static_cast<double>(low) + high) / 2);
        if (YearStart(mid) > t) {
            high = Wrap(std::int64_t{mid} - 1);
        } else if (YearStart(Wrap(std::int64_t{mid} + 1)) > t) {
            return mid;
        } else {
            low = Wrap(std::int64_t{mid} + 1);
        }
    }
    return low;
}

std::int32_t DayInYear(double t, std::int32_t year) {
    return ToInt32(DayOf(t) - FirstDayOfYear(year));
}

std::int32_t MonthOf(double t) {
    const std::int32_t year = YearOf(t);
    const std::int32_t day = DayInYear(t, year);
    const int* starts = kMonthStart[IsLeap(year) ? 1 : 0];
    int month = 0;
    while (month < 11 && day >= starts[month + 1]) {
        ++month;
    }
    return month;
}

std::int32_t DateOf(double t) {
    const std::int32_t year = YearOf(t);
    const std::int32_t day = DayInYear(t, year);
    return Wrap(std::int64_t{day} - kMonthStart[IsLeap(year) ? 1 : 0][MonthOf(t)] + 1);
}

std::int32_t WeekdayOf(double t) {
    return Modulo(DayOf(t) + 4, 7);
}

// Half a millisecond is added before the hour is taken; at the far end of the range that sum
// rounds to the next whole millisecond, and the hour with it.
std::int32_t HoursOf(double t) {
    return Modulo(std::floor((t + 0.5) / kMsPerHour), 24);
}

std::int32_t MinutesOf(double t) {
    return Modulo(std::floor(t / kMsPerMinute), 60);
}

std::int32_t SecondsOf(double t) {
    return Modulo(std::floor(t / 1000), 60);
}

std::int32_t MsOf(double t) {
    return Modulo(t, 1000);
}

// Movies of version 8 and later take the time of day modulo a day the mathematical way; earlier
// ones keep the sign of the time, so a date before 1970 loses its day when its year is set.
double TimeInDay(double t, int version) {
    double r = std::fmod(t, kMsPerDay);
    return version > 7 && r < 0 ? r + kMsPerDay : r;
}

// How far the host's clock is ahead of UTC at time t (ms since 1970, UTC), in ms: the zone's
// present standard offset, as for every date, plus an hour where daylight saving is in force.
double LocalOffset(double t) {
    if (!std::isfinite(t)) {
        return 0;
    }
    double clamped = std::fmin(std::fmax(std::floor(t / 1000), -8.64e12), 8.64e12);
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
    const double wall = (FirstDayOfYear(current.tm_year + 1900.0) + current.tm_yday) * 86400 +
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

// Minutes the host's clock is behind UTC, from the two times as stored: for times so large that
// a millisecond is below their precision the difference carries the rounding.
double ZoneMinutes(double t) {
    return (t - ToLocal(t)) / kMsPerMinute;
}

double MakeTime(double hours, double minutes, double seconds, double ms) {
    return std::floor(hours) * kMsPerHour + std::floor(minutes) * kMsPerMinute +
           std::floor(seconds) * 1000 + std::floor(ms);
}

// Days since 1970 of a date whose month may lie outside the year; the year counts only as a
// 32-bit integer, so an unusable one (NaN, infinite) becomes INT_MIN rather than no date.
double MakeDay(double year, double month, double date) {
    month = std::floor(month);
    year = std::floor(year) + std::floor(month / 12);
    month = std::fmod(month, 12);
    if (month < 0) {
        month += 12;
    }
    const std::int32_t y = ToInt32(year);
    const std::int32_t m = ToInt32(std::floor(month));
    if (m < 0 || m > 11) {
        return NAN;
    }
    return FirstDayOfYear(y) + kMonthStart[IsLeap(y) ? 1 : 0][m] + std::floor(date) - 1;
}

double Clip(double t) {
    return std::isfinite(t) && std::fabs(t) <= kMaxTime ? std::floor(t) : NAN;
}

// The numbers a method was given: at most seven, up to the first undefined one.
std::vector<double> Numbers(Runtime& rt, const std::vector<Value>& args) {
    std::vector<double> out;
    for (const Value& v : args) {
        if (out.size() == 7 || v.isUndefined()) {
            break;
        }
        out.push_back(rt.ToNum(v));
    }
    return out;
}

// A time made of the fields of a date and time; two-digit years (and all below them) are
// taken as the 1900s.
double FromFields(const std::vector<double>& v) {
    auto at = [&](std::size_t i, double fallback) { return i < v.size() ? v[i] : fallback; };
    double year = v[0] < 100 ? v[0] + 1900 : v[0];
    return MakeDay(year, v[1], at(2, 1)) * kMsPerDay +
           MakeTime(at(3, 0), at(4, 0), at(5, 0), at(6, 0));
}

Object* DateObject(const Value& self) {
    Object* o = self.object();
    return o && o->kind == Kind::Date ? o : nullptr;
}

double TimeOf(const Object* o) {
    return o->primitive.isNumber() ? o->primitive.asNumber() : NAN;
}

Value Construct(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    bool constructing = rt.constructing;
    Object* o =
        constructing && self.isObject() ? self.asObject() : rt.NewObject(rt.dateProto_, Kind::Date);
    o->kind = Kind::Date;
    std::vector<double> v = Numbers(rt, args);
    double t;
    if (v.empty()) {
        t = std::floor(rt.dateOrigin() + rt.now());
    } else if (v.size() == 1) {
        t = v[0];
    } else {
        t = FromLocal(FromFields(v));
    }
    o->primitive = Value(t);
    if (!constructing) {
        return Value(rt.ToStr(Value(o)));
    }
    return Value(o);
}

enum Field { kYear, kMonth, kDay, kHours, kMinutes, kSeconds, kMs, kWeekday, kYear1900 };

template <Field F, bool Utc = false>
Value Getter(Runtime&, Activation&, Value self, std::vector<Value>&) {
    const Object* o = DateObject(self);
    if (!o) {
        return Value();
    }
    double t = TimeOf(o);
    if (std::isnan(t)) {
        return Value(NAN);
    }
    if (!Utc) {
        t = ToLocal(t);
    }
    std::int32_t field = 0;
    switch (F) {
    case kYear:
        field = YearOf(t);
        break;
    case kYear1900:
        field = Wrap(std::int64_t{YearOf(t)} - 1900);
        break;
    case kMonth:
        field = MonthOf(t);
        break;
    case kDay:
        field = DateOf(t);
        break;
    case kWeekday:
        field = WeekdayOf(t);
        break;
    case kHours:
        field = HoursOf(t);
        break;
    case kMinutes:
        field = MinutesOf(t);
        break;
    case kSeconds:
        field = SecondsOf(t);
        break;
    case kMs:
        field = MsOf(t);
        break;
    }
    return Value(static_cast<double>(field));
}

Value GetTime(Runtime&, Activation&, Value self, std::vector<Value>&) {
    const Object* o = DateObject(self);
    return o ? Value(TimeOf(o)) : Value();
}

Value SetTime(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Object* o = DateObject(self);
    if (!o) {
        return Value();
    }
    std::vector<double> v = Numbers(rt, args);
    o->primitive = Value(Clip(v.empty() ? NAN : v[0]));
    return o->primitive;
}

// What a setter was given, from the field it is named for on: that field, when not given, is
// NaN; the ones before it and those not given after it keep their current values.
struct Given {
    std::vector<double> values;
    Field first;

    double Or(Field field, double current) const {
        if (field < first) {
            return current;
        }
        auto i = static_cast<std::size_t>(field - first);
        return i < values.size() ? values[i] : field == first ? NAN : current;
    }
};

// Stores a time made from local or UTC fields and answers it.
Value Store(Object* o, bool utc, double day, double time) {
    double t = day * kMsPerDay + time;
    o->primitive = Value(Clip(utc ? t : FromLocal(t)));
    return o->primitive;
}

// The setters of the calendar date: the first argument sets field F, the next ones the fields
// after it.
template <Field F, bool Utc = false>
Value SetDay(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Object* o = DateObject(self);
    if (!o) {
        return Value();
    }
    // The arguments first: their valueOf may set this date.
    const Given given{Numbers(rt, args), F == kYear1900 ? kYear : F};
    const double t = Utc ? TimeOf(o) : ToLocal(TimeOf(o));
    double year = given.Or(kYear, YearOf(t));
    if (F == kYear1900 && year >= 0 && year <= 99) {
        year += 1900;
    }
    double month = given.Or(kMonth, MonthOf(t));
    if (F == kMonth && std::isnan(month)) {
        month = 0;
    }
    double date = given.Or(kDay, DateOf(t));
    return Store(o, Utc, MakeDay(year, month, date), TimeInDay(t, rt.version()));
}

// The setters of the time of day, the same way; setMinutes alone takes its fields as 32-bit
// integers first.
template <Field F, bool Utc = false>
Value SetClock(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Object* o = DateObject(self);
    if (!o) {
        return Value();
    }
    // The arguments first: their valueOf may set this date.
    const Given given{Numbers(rt, args), F};
    const double t = Utc ? TimeOf(o) : ToLocal(TimeOf(o));
    double hours = given.Or(kHours, HoursOf(t));
    double minutes = given.Or(kMinutes, MinutesOf(t));
    double seconds = given.Or(kSeconds, SecondsOf(t));
    double ms = given.Or(kMs, MsOf(t));
    if (F == kMinutes) {
        minutes = ToInt32(minutes);
        seconds = ToInt32(seconds);
        ms = ToInt32(ms);
    }
    return Store(o, Utc, DayOf(t), MakeTime(hours, minutes, seconds, ms));
}

Value ToStringFn(Runtime&, Activation&, Value self, std::vector<Value>&) {
    const Object* o = DateObject(self);
    if (!o) {
        return Value();
    }
    const double utc = TimeOf(o);
    if (!std::isfinite(utc)) {
        return Value("Invalid Date");
    }
    static const char* days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const double t = ToLocal(utc);
    const std::int32_t ahead = ToInt32(-ZoneMinutes(utc));
    const std::int64_t minutes = ahead < 0 ? -std::int64_t{ahead} : ahead;
    char buf[128];
    std::snprintf(buf, sizeof buf, "%s %s %d %02d:%02d:%02d GMT%c%02lld%02lld %d",
                  days[WeekdayOf(t)], months[MonthOf(t)], static_cast<int>(DateOf(t)),
                  static_cast<int>(HoursOf(t)), static_cast<int>(MinutesOf(t)),
                  static_cast<int>(SecondsOf(t)), ahead < 0 ? '-' : '+',
                  static_cast<long long>(minutes / 60), static_cast<long long>(minutes % 60),
                  static_cast<int>(YearOf(t)));
    return Value(std::string(buf));
}

Value Utc(Runtime& rt, Activation&, Value, std::vector<Value>& args) {
    std::vector<double> v = Numbers(rt, args);
    return v.size() < 2 ? Value() : Value(FromFields(v));
}

Value Zone(Runtime&, Activation&, Value self, std::vector<Value>&) {
    const Object* o = DateObject(self);
    return o ? Value(ZoneMinutes(TimeOf(o))) : Value();
}

template <bool Utc> void AddFields(Runtime& rt, Object* proto, const char* utc) {
    auto name = [&](const char* base) {
        std::string n = base;
        return n.insert(3, utc);
    };
    const std::pair<std::string, NativeFn> entries[] = {
        {name("getFullYear"), Getter<kYear, Utc>},
        {name("getMonth"), Getter<kMonth, Utc>},
        {name("getDate"), Getter<kDay, Utc>},
        {name("getDay"), Getter<kWeekday, Utc>},
        {name("getHours"), Getter<kHours, Utc>},
        {name("getMinutes"), Getter<kMinutes, Utc>},
        {name("getSeconds"), Getter<kSeconds, Utc>},
        {name("getMilliseconds"), Getter<kMs, Utc>},
        {name("setFullYear"), SetDay<kYear, Utc>},
        {name("setMonth"), SetDay<kMonth, Utc>},
        {name("setDate"), SetDay<kDay, Utc>},
        {name("setHours"), SetClock<kHours, Utc>},
        {name("setMinutes"), SetClock<kMinutes, Utc>},
        {name("setSeconds"), SetClock<kSeconds, Utc>},
        {name("setMilliseconds"), SetClock<kMs, Utc>},
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
    rt.Method(proto, "valueOf", GetTime);
    rt.Method(proto, "getTime", GetTime);
    rt.Method(proto, "getTimezoneOffset", Zone);
    AddFields<false>(rt, proto, "");
    AddFields<true>(rt, proto, "UTC");
    rt.Method(proto, "getYear", Getter<kYear1900>);
    rt.Method(proto, "getUTCYear", Getter<kYear1900, true>);
    rt.Method(proto, "setYear", SetDay<kYear1900>);
    rt.Method(proto, "setTime", SetTime);
}

} // namespace fw::avm1
