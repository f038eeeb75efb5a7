#pragma once
// The settings of a script's filter object as the renderer takes them.

#include "object.h"
#include "value.h"

#include "swf/filter.h"

#include <optional>
#include <vector>

namespace fw::avm1 {

// The record a file would give for the filter object's settings; nullopt for anything else and
// for the filters the renderer does not draw (displacement maps).
std::optional<swf::Filter> FilterRecord(const Value& filter);

// The filters a script gave the clip, in their order; nullopt while it wears what the file
// placed it with.
std::optional<std::vector<swf::Filter>> ScriptFilters(const Object* clip);

} // namespace fw::avm1
