#pragma once
// Just enough JSON for the runner's scripts (input events, a socket peer's part): objects,
// arrays, strings, numbers and the three words.

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace fw::play {

struct Json {
    enum class Type { Null, Bool, Number, String, Array, Object } type = Type::Null;
    double number = 0;
    std::string text;
    std::vector<Json> items;
    std::map<std::string, Json> members;

    const Json* Member(const std::string& name) const {
        auto it = members.find(name);
        return it == members.end() ? nullptr : &it->second;
    }
};

// Reads a whole document; false with error set (and where) when the text is not one.
bool ParseJson(std::string_view text, Json& out, std::string& error);

} // namespace fw::play
