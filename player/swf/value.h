#pragma once
// Dynamically typed values of the movie's scripts, with the conversions the byte code
// applies (they differ by file version: before 7, undefined reads as 0 and "").

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

namespace fw::swf {

class ScriptObject;

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
    Value(Null) : v_(Null{}) {}
    Value(bool b) : v_(b) {}
    Value(double d) : v_(d) {}
    Value(int i) : v_(static_cast<double>(i)) {}
    Value(std::string s) : v_(std::move(s)) {}
    Value(const char* s) : v_(std::string(s)) {}
    // Objects belong to the player that made them (an arena, so cycles cost nothing).
    Value(ScriptObject* o) : v_(o) {}

    Type type() const { return static_cast<Type>(v_.index()); }
    bool isUndefined() const { return type() == Type::Undefined; }
    bool isString() const { return type() == Type::String; }
    bool isNumber() const { return type() == Type::Number; }
    bool asBool() const { return std::get<bool>(v_); }
    double asNumber() const { return std::get<double>(v_); }
    const std::string& asString() const { return std::get<std::string>(v_); }
    ScriptObject* asObject() const { return std::get<ScriptObject*>(v_); }

private:
    std::variant<Undefined, Null, bool, double, std::string, ScriptObject*> v_;
};

// The number as the byte code prints it: integers plainly, otherwise 15 significant digits,
// exponent form from 1e15 up and below 1e-5 ("1e+15", "1.5e-7"), "NaN", "Infinity".
std::string NumberToString(double n);

// A text read as a number: optional leading white space, a decimal number or a 0x hex
// integer, nothing after it; anything else (also the empty text) is NaN.
double StringToNumber(std::string_view s);

double ToNumber(const Value& v, int version);
std::string ToString(const Value& v, int version);
bool ToBoolean(const Value& v, int version);
std::string TypeName(const Value& v);

// Script equality (==), identity (===) and ordering (<). Less answers undefined when either
// side is NaN, so the caller pushes undefined.
bool AbstractEquals(const Value& a, const Value& b, int version);
bool StrictEquals(const Value& a, const Value& b);
Value AbstractLess(const Value& a, const Value& b, int version);

// A bag of named values: the movie's root timeline and objects the scripts build. Names
// compare without letter case in files before version 7, as the player of that time did.
class ScriptObject {
public:
    explicit ScriptObject(bool caseSensitive) : caseSensitive_(caseSensitive) {}

    const Value* Find(std::string_view name) const;
    // Sets or adds the value; the first spelling of a name is kept.
    void Set(std::string_view name, Value v);
    std::size_t size() const { return entries_.size(); }
    const std::vector<std::pair<std::string, Value>>& entries() const { return entries_; }
    void Clear();

private:
    std::string Key(std::string_view name) const;

    bool caseSensitive_;
    std::vector<std::pair<std::string, Value>> entries_; // in the order they were first set
    std::unordered_map<std::string, std::size_t> index_;
};

} // namespace fw::swf
