// The DLL's entry points: class object, unload check and the module counts.

#include "module.h"

#include "control.h"
#include "dispids.h"
#include "fire_protocol.h"
#include "wave_out.h"

#include <new>

namespace fw::player {
namespace {

HINSTANCE g_instance = nullptr;
LONG g_objects = 0;
LONG g_locks = 0;

class ClassFactory final : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
        if (!out) {
            return E_POINTER;
        }
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *out = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // The factory is a static object; its references only hold the module.
    STDMETHODIMP_(ULONG) AddRef() override {
        LockModule(true);
        return 2;
    }
    STDMETHODIMP_(ULONG) Release() override {
        LockModule(false);
        return 1;
    }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
        if (!out) {
            return E_POINTER;
        }
        *out = nullptr;
        if (outer) {
            return CLASS_E_NOAGGREGATION;
        }
        return PlayerControl::Create(riid, out);
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        LockModule(lock != FALSE);
        return S_OK;
    }
};

ClassFactory g_factory;

} // namespace

HINSTANCE ModuleInstance() {
    return g_instance;
}
void ObjectCreated() {
    ::InterlockedIncrement(&g_objects);
}
void ObjectDestroyed() {
    ::InterlockedDecrement(&g_objects);
}
void LockModule(bool lock) {
    lock ? ::InterlockedIncrement(&g_locks) : ::InterlockedDecrement(&g_locks);
}
bool ModuleInUse() {
    return g_objects > 0 || g_locks > 0;
}

} // namespace fw::player

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        fw::player::g_instance = instance;
        ::DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        // A class registered by a DLL outlives it; a later load at another address must not
        // find a window procedure that is gone.
        ::UnregisterClassW(fw::player::kPlayerWindowClass, instance);
        ::UnregisterClassW(fw::player::kWaveWindowClass, instance);
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
    if (!out) {
        return E_POINTER;
    }
    *out = nullptr;
    if (!IsEqualCLSID(clsid, fw::player::kPlayerClsid)) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    return fw::player::g_factory.QueryInterface(riid, out);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return fw::player::ModuleInUse() ? S_FALSE : S_OK;
}
