#pragma once
// Text fields as script objects: the field's state (display::TextField) held by its object,
// which the display tree makes for every edit text it places and for createTextField. The
// display reaches a field through its object; scripts through TextField.prototype.

#include "avm1/runtime.h"
#include "display/text_field.h"

#include <memory>
#include <optional>
#include <string>

namespace fw::avm1 {

struct TextFieldData : HostData {
    std::unique_ptr<display::TextField> field;
    void Trace(std::vector<Object*>&) const override {}
};

// A field object for a display object of the given id.
Object* NewTextFieldObject(Runtime& rt, std::unique_ptr<display::TextField> field, int clipId);
// The field an object stands for; null for any other object.
display::TextField* FieldOf(Object* o);
// A field bound to a variable takes the variable's value when it has one, else gives it its
// text; the display calls it as it places a bound field, scripts as they bind one anew.
void SyncVariable(Runtime& rt, Object* fieldObject);
// A bound field's text, as typing changed it, goes to its variable.
void StoreVariable(Runtime& rt, Object* fieldObject);
// As a frame ends a bound field takes the value of its timeline's variable as its own text;
// an unset variable leaves the text as it is.
void ShowVariable(Runtime& rt, Object* fieldObject);

void InstallTextField(Runtime& rt, Object* global);
void InstallTextFormat(Runtime& rt, Object* global);

// A TextFormat object's members as a format (unset ones open) and back.
display::Format FormatFromObject(Runtime& rt, Object* o);
Object* NewTextFormatObject(Runtime& rt, const display::Format& f);

// The value of a bound field's variable as text, without touching the field; nullopt when the
// field is not bound or the variable is unset.
std::optional<std::string> VariableText(Runtime& rt, Object* fieldObject);

} // namespace fw::avm1
