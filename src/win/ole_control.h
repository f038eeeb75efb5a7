#pragma once
// A container for one ActiveX control, hosted in a child window of a form.
// The control is created by class id, activated in place into the host
// window, and reached only through IDispatch by dispatch id, so any control
// that honours those ids works. Events of one dispatch interface reach a
// callback on the GUI thread.

#include <windows.h>

#include <ole2.h>
#include <oaidl.h>
#include <ocidl.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace fw::win {

struct OleControlArgs {
    HWND parent = nullptr;
    CLSID clsid{};
    IID eventsIid{};
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool visible = false;
    // The control's stored settings, handed to it by name through its property
    // bag when it is created (a control without one starts from its defaults).
    std::vector<std::pair<std::wstring, std::wstring>> settings;
    // Called for every event fired through the events interface: the dispatch
    // id and the arguments in their declared order.
    std::function<void(DISPID id, const std::vector<std::wstring>& args)> onEvent;
};

class OleControl {
public:
    // Raises OleSysError when the control cannot be created (for example
    // REGDB_E_CLASSNOTREG when its class is not registered).
    static std::unique_ptr<OleControl> Create(const OleControlArgs& args);
    ~OleControl();
    OleControl(const OleControl&) = delete;
    OleControl& operator=(const OleControl&) = delete;

    HWND Handle() const { return host_; }
    void Show();
    void Hide();
    bool Visible() const;
    void SetBounds(int left, int top, int width, int height);
    RECT Bounds() const; // in the parent's client coordinates
    int Width() const;
    int Height() const;

    void PutString(DISPID id, const std::wstring& value);
    std::wstring GetString(DISPID id);
    void PutInt(DISPID id, long value);
    // Calls a method with text arguments, given in their declared order.
    void CallMethod(DISPID id, const std::vector<std::wstring>& args);
    void DoVerb(LONG verb);

private:
    class Site;
    OleControl() = default;
    static LRESULT CALLBACK HostProc(HWND, UINT, WPARAM, LPARAM);
    void Invoke(DISPID id, WORD flags, DISPPARAMS& params, VARIANT* result);
    void PlaceControl();

    HWND host_ = nullptr;
    Site* site_ = nullptr;
    IOleObject* object_ = nullptr;
    IDispatch* dispatch_ = nullptr;
    IConnectionPoint* point_ = nullptr;
    DWORD cookie_ = 0;
    std::function<void(DISPID, const std::vector<std::wstring>&)> onEvent_;
    IID eventsIid_{};
};

} // namespace fw::win
