#pragma once
// Dynamically typed values of the movie's scripts, with the conversions the byte code applies
// to primitives (they differ by file version: before 7, undefined reads as 0 and "").
// Conversions that may run a script (an object's valueOf or toString) live in the Runtime.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace fw::avm1 {

class Object;

struct Undefined {
    friend bool operator==(Undefined, Undefined) = default;
};
struct Null {
    friend bool operator==(Null, Null) = default;
};

class Value {
public:
    enum class Type { Undefined, Null, Boolean, Number, String, Object };

    Value() = default;
    Value(Undefined) {}
    Value(Null) : v_(Null{}) {}
    Value(bool b) : v_(b) {}
    Value(double d) : v_(d) {}
    Value(int i) : v_(static_cast<double>(i)) {}
    Value(std::string s) : v_(std::move(s)) {}
    Value(std::string_view s) : v_(std::string(s)) {}
    Value(const char* s) : v_(std::string(s)) {}
    // Objects belong to the heap that made them; the collector frees them.
    // A null pointer makes undefined.
    Value(Object* o) {
        if (o) {
            v_ = o;
        }
    }

    Type type() const { return static_cast<Type>(v_.index()); }
    bool isUndefined() const { return type() == Type::Undefined; }
    bool isNull() const { return type() == Type::Null; }
    bool isNullish() const { return type() <= Type::Null; }
    bool isBool() const { return type() == Type::Boolean; }
    bool isString() const { return type() == Type::String; }
    bool isNumber() const { return type() == Type::Number; }
    bool isObject() const { return type() == Type::Object; }
    bool isPrimitive() const { return type() != Type::Object; }
    bool asBool() const { return std::get<bool>(v_); }
    double asNumber() const { return std::get<double>(v_); }
    const std::string& asString() const { return std::get<std::string>(v_); }
    Object* asObject() const { return std::get<Object*>(v_); }
    // The object, or null for any other kind of value.
    Object* object() const { return isObject() ? asObject() : nullptr; }

private:
    std::variant<Undefined, Null, bool, double, std::string, Object*> v_;
};

// The number as the byte code prints it: integers plainly, otherwise 15 significant digits,
// exponent form from 1e15 up and below 1e-5 ("1e+15", "1.5e-7"), "NaN", "Infinity".
std::string NumberToString(double n);
// In another base (2 to 36), as Number's toString(radix) gives it: integers only.
std::string NumberToRadix(double n, int radix);

// A text read as a number: optional leading white space, a decimal number or a 0x hex
// integer, nothing after it; anything else (also the empty text) is NaN.
double StringToNumber(std::string_view s);
// The version-dependent reading the byte code uses: from version 6 leading white space
// includes more characters and a leading 0 makes an octal integer ("010" is 8).
double StringToNumber(std::string_view s, int version);

// The rounding of ToInteger and the bitwise operations: towards zero, wrapping at 2^32.
std::int32_t ToInt32(double d);
std::uint32_t ToUint32(double d);

// Primitive conversions; objects read as NaN, "[object Object]" and true.
double ToNumber(const Value& v, int version);
std::string ToString(const Value& v, int version);
bool ToBoolean(const Value& v, int version);
std::string TypeName(const Value& v);

// Script equality (==), identity (===) and ordering (<) of primitives. Less answers undefined
// when either side is NaN, so the caller pushes undefined.
bool AbstractEquals(const Value& a, const Value& b, int version);
bool StrictEquals(const Value& a, const Value& b);
Value AbstractLess(const Value& a, const Value& b, int version);

// Texts from version 6 are UTF-16 to the scripts while we keep UTF-8: lengths and indexes
// count UTF-16 units.
std::u16string ToUtf16(std::string_view s);
std::string FromUtf16(std::u16string_view s);
// Text as a movie stores it, made ours: from version 6 UTF-8, each ill-formed part read as
// U+FFFD; before it the Windows-1252 code page.
std::string MovieText(std::string_view bytes, int version);
// Text for the world outside: a lone surrogate a script made shows as U+FFFD.
std::string OutsideText(std::string_view s);
// Lower-cases ASCII letters: the key of a name where names ignore case.
std::string AsciiLower(std::string_view s);

} // namespace fw::avm1
