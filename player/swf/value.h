#pragma once
// The script values the player's host reads and writes: those of the script machine.

#include "avm1/object.h"
#include "avm1/value.h"

namespace fw::swf {

using avm1::AbstractEquals;
using avm1::AbstractLess;
using avm1::Null;
using avm1::NumberToString;
using avm1::StrictEquals;
using avm1::StringToNumber;
using avm1::ToBoolean;
using avm1::ToNumber;
using avm1::ToString;
using avm1::TypeName;
using avm1::Undefined;
using avm1::Value;
using ScriptObject = avm1::Object;

} // namespace fw::swf
