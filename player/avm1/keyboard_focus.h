#pragma once
// Which display object has the keyboard's focus: Selection sets and reads it, the typing entry
// sends what is typed to the text field that has it.

#include "avm1/runtime.h"

namespace fw::avm1 {

// The focused display object's script object; null for none or one that left the stage.
Object* FocusedObject(Runtime& rt);
// Focuses a display object's script object (null: none).
void SetFocusedObject(Runtime& rt, Object* o);

} // namespace fw::avm1
