#pragma once
// The DLL's own state: its instance handle and the counts that decide DllCanUnloadNow.

#include <windows.h>

namespace fw::player {

HINSTANCE ModuleInstance();
void ObjectCreated();
void ObjectDestroyed();
void LockModule(bool lock);
bool ModuleInUse();

} // namespace fw::player
