#pragma once
// A container for one ActiveX control, hosted in a child window of a form.
// The control is created by class id, activated in place into the host
// window, and reached only through IDispatch by dispatch id, so any control
// that honours those ids works. Events of one dispatch interface reach a
// callback on the GUI thread.

#include "win/com.h"
#include "win/control.h"

#include <oaidl.h>
#include <ocidl.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace fw::win {

struct OleControlArgs {
    // Shown, when visible, once the control is active in its window.
    ControlPlace place;
    CLSID clsid{};
    IID eventsIid{};
    // The control's stored settings, handed to it by name through its property
    // bag when it is created (a control without one starts from its defaults).
    std::vector<std::pair<std::wstring, std::wstring>> settings;
    // Called for every event fired through the events interface: the dispatch
    // id and the arguments in their declared order.
    std::function<void(DISPID id, const std::vector<std::wstring>& args)> onEvent;
};

class OleControl : public Control {
public:
    OleControl();
    ~OleControl() override;

    // Raises OleSysError when the control cannot be created (for example
    // REGDB_E_CLASSNOTREG when its class is not registered).
    void Create(const OleControlArgs& args);

    // Shows the host window without taking the activation from the form.
    void Show();
    void Hide();
    // Moves the host window and the control inside it.
    void SetBounds(int left, int top, int width, int height);

    void PutString(DISPID id, const std::wstring& value);
    std::wstring GetString(DISPID id);
    void PutInt(DISPID id, long value);
    // Calls a method with text arguments, given in their declared order.
    void CallMethod(DISPID id, const std::vector<std::wstring>& args);
    void DoVerb(LONG verb);

protected:
    bool OnOwnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

private:
    class Site;
    // Lets the control go: before the host window ends, which takes the
    // control's own window with it.
    void Shutdown();
    void Invoke(DISPID id, WORD flags, DISPPARAMS& params, VARIANT* result);
    void PlaceControl();

    ComPtr<Site> site_;
    ComPtr<IOleObject> object_;
    ComPtr<IDispatch> dispatch_;
    ComPtr<IConnectionPoint> point_;
    DWORD cookie_ = 0;
    std::function<void(DISPID, const std::vector<std::wstring>&)> onEvent_;
    IID eventsIid_{};
};

} // namespace fw::win
