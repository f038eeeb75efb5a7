#include "value.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace fw::swf {

std::string NumberToString(double n) {
    if (std::isnan(n)) {
        return "NaN";
    }
    if (std::isinf(n)) {
        return n > 0 ? "Infinity" : "-Infinity";
    }
    if (n == 0) {
        return "0";
    }
    if (n >= -2147483648.0 && n <= 2147483647.0 && n == std::trunc(n)) {
        return std::to_string(static_cast<long long>(n));
    }
    // 15 significant digits, then decide between plain and exponent form.
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.14e", n);
    std::string s(buf);
    std::size_t e = s.find('e');
    int exponent = std::atoi(s.c_str() + e + 1);
    std::string sign = s[0] == '-' ? "-" : "";
    std::string digits;
    for (std::size_t i = sign.size(); i < e; ++i) {
        if (s[i] != '.') {
            digits += s[i];
        }
    }
    while (digits.size() > 1 && digits.back() == '0') {
        digits.pop_back();
    }
    if (exponent >= 15 || exponent < -5) {
        std::string out = sign + digits.substr(0, 1);
        if (digits.size() > 1) {
            out += "." + digits.substr(1);
        }
        out += exponent >= 0 ? "e+" : "e-";
        out += std::to_string(std::abs(exponent));
        return out;
    }
    if (exponent < 0) {
        return sign + "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
    }
    auto intLen = static_cast<std::size_t>(exponent + 1);
    if (digits.size() <= intLen) {
        return sign + digits + std::string(intLen - digits.size(), '0');
    }
    return sign + digits.substr(0, intLen) + "." + digits.substr(intLen);
}

double StringToNumber(std::string_view s) {
    const double nan = std::nan("");
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\r' || s[i] == '\n')) {
        ++i;
    }
    s.remove_prefix(i);
    if (s.empty()) {
        return nan;
    }
    bool negative = false;
    std::string_view body = s;
    if (body[0] == '-' || body[0] == '+') {
        negative = body[0] == '-';
        body.remove_prefix(1);
    }
    if (body.size() > 2 && body[0] == '0' && (body[1] == 'x' || body[1] == 'X')) {
        double v = 0;
        for (char c : body.substr(2)) {
            int d;
            if (c >= '0' && c <= '9') {
                d = c - '0';
            } else if (c >= 'a' && c <= 'f') {
                d = c - 'a' + 10;
            } else if (c >= 'A' && c <= 'F') {
                d = c - 'A' + 10;
            } else {
                return nan;
            }
            v = v * 16 + d;
        }
        return negative ? -v : v;
    }
    // Validate the decimal shape ourselves: strtod would also accept "inf", "nan" and hex floats.
    std::size_t p = 0;
    std::size_t mantissaDigits = 0;
    while (p < body.size() && body[p] >= '0' && body[p] <= '9') {
        ++p;
        ++mantissaDigits;
    }
    if (p < body.size() && body[p] == '.') {
        ++p;
        while (p < body.size() && body[p] >= '0' && body[p] <= '9') {
            ++p;
            ++mantissaDigits;
        }
    }
    if (mantissaDigits == 0) {
        return nan;
    }
    if (p < body.size() && (body[p] == 'e' || body[p] == 'E')) {
        std::size_t q = p + 1;
        if (q < body.size() && (body[q] == '+' || body[q] == '-')) {
            ++q;
        }
        std::size_t expDigits = 0;
        while (q < body.size() && body[q] >= '0' && body[q] <= '9') {
            ++q;
            ++expDigits;
        }
        if (expDigits == 0) {
            return nan;
        }
        p = q;
    }
    if (p != body.size()) {
        return nan;
    }
    std::string text(body);
    double v = std::strtod(text.c_str(), nullptr);
    return negative ? -v : v;
}

double ToNumber(const Value& v, int version) {
    switch (v.type()) {
    case Value::Type::Undefined:
    case Value::Type::Null:
        return version >= 7 ? std::nan("") : 0.0;
    case Value::Type::Boolean:
        return v.asBool() ? 1.0 : 0.0;
    case Value::Type::Number:
        return v.asNumber();
    case Value::Type::String:
        return StringToNumber(v.asString());
    case Value::Type::Object:
        return std::nan("");
    }
    return std::nan("");
}

std::string ToString(const Value& v, int version) {
    switch (v.type()) {
    case Value::Type::Undefined:
        return version >= 7 ? "undefined" : "";
    case Value::Type::Null:
        return "null";
    case Value::Type::Boolean:
        return v.asBool() ? "true" : "false";
    case Value::Type::Number:
        return NumberToString(v.asNumber());
    case Value::Type::String:
        return v.asString();
    case Value::Type::Object:
        return "[object Object]";
    }
    return {};
}

bool ToBoolean(const Value& v, int version) {
    switch (v.type()) {
    case Value::Type::Undefined:
    case Value::Type::Null:
        return false;
    case Value::Type::Boolean:
        return v.asBool();
    case Value::Type::Number:
        return v.asNumber() != 0 && !std::isnan(v.asNumber());
    case Value::Type::String:
        if (version >= 7) {
            return !v.asString().empty();
        } else {
            double n = StringToNumber(v.asString());
            return n != 0 && !std::isnan(n);
        }
    case Value::Type::Object:
        return true;
    }
    return false;
}

std::string TypeName(const Value& v) {
    switch (v.type()) {
    case Value::Type::Undefined:
        return "undefined";
    case Value::Type::Null:
        return "null";
    case Value::Type::Boolean:
        return "boolean";
    case Value::Type::Number:
        return "number";
    case Value::Type::String:
        return "string";
    case Value::Type::Object:
        return "object";
    }
    return "undefined";
}

bool StrictEquals(const Value& a, const Value& b) {
    if (a.type() != b.type()) {
        return false;
    }
    switch (a.type()) {
    case Value::Type::Undefined:
    case Value::Type::Null:
        return true;
    case Value::Type::Boolean:
        return a.asBool() == b.asBool();
    case Value::Type::Number:
        return a.asNumber() == b.asNumber();
    case Value::Type::String:
        return a.asString() == b.asString();
    case Value::Type::Object:
        return a.asObject() == b.asObject();
    }
    return false;
}

bool AbstractEquals(const Value& a, const Value& b, int version) {
    using T = Value::Type;
    if (a.type() == b.type()) {
        return StrictEquals(a, b);
    }
    auto nullish = [](const Value& v) { return v.type() == T::Undefined || v.type() == T::Null; };
    if (nullish(a) || nullish(b)) {
        return nullish(a) && nullish(b);
    }
    if (a.type() == T::Object || b.type() == T::Object) {
        // Plain objects have no primitive value that could equal a number or text.
        return false;
    }
    if (a.type() == T::String && b.type() == T::String) {
        return a.asString() == b.asString();
    }
    // Numbers, texts and booleans meet as numbers.
    return ToNumber(a, version) == ToNumber(b, version);
}

Value AbstractLess(const Value& a, const Value& b, int version) {
    // Plain objects take part by their text, as their primitive value.
    auto primitive = [&](const Value& v) {
        return v.type() == Value::Type::Object ? Value(ToString(v, version)) : v;
    };
    Value pa = primitive(a);
    Value pb = primitive(b);
    if (pa.isString() && pb.isString()) {
        return Value(pa.asString() < pb.asString());
    }
    double x = ToNumber(pa, version);
    double y = ToNumber(pb, version);
    if (std::isnan(x) || std::isnan(y)) {
        return Value();
    }
    return Value(x < y);
}

std::string ScriptObject::Key(std::string_view name) const {
    std::string k(name);
    if (!caseSensitive_) {
        for (char& c : k) {
            if (c >= 'A' && c <= 'Z') {
                c = static_cast<char>(c - 'A' + 'a');
            }
        }
    }
    return k;
}

const Value* ScriptObject::Find(std::string_view name) const {
    auto it = index_.find(Key(name));
    return it == index_.end() ? nullptr : &entries_[it->second].second;
}

void ScriptObject::Set(std::string_view name, Value v) {
    auto [it, inserted] = index_.try_emplace(Key(name), entries_.size());
    if (inserted) {
        entries_.emplace_back(std::string(name), std::move(v));
    } else {
        entries_[it->second].second = std::move(v);
    }
}

void ScriptObject::Clear() {
    entries_.clear();
    index_.clear();
}

} // namespace fw::swf
