#include "win/ole_control.h"

#include "win/application.h"
#include "win/error.h"
#include "win/strings.h"
#include "win/window_class.h"

#include <ocidl.h>
#include <olectl.h>

namespace fw::win {

namespace {

constexpr wchar_t kHostClass[] = L"TShockwaveFlash";

std::wstring HresultText(HRESULT hr) {
    std::wstring text = SystemErrorText(static_cast<DWORD>(hr));
    if (text.rfind(L"System error", 0) == 0) {
        // Formatted by hand: a string stream would link the whole locale
        // machinery of the C++ library into the program.
        constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
        auto value = static_cast<unsigned long>(hr);
        std::wstring digits;
        do {
            digits.insert(digits.begin(), kDigits[value % 16]);
            value /= 16;
        } while (value != 0);
        text = L"OLE error " + digits;
    }
    return text;
}

void Check(HRESULT hr) {
    if (FAILED(hr)) {
        throw OleSysError(HresultText(hr), hr);
    }
}

// The stored settings as a read-only property bag: names match without letter
// case, as the controls' own parameter names do.
class SettingsBag final : public IPropertyBag {
public:
    explicit SettingsBag(const std::vector<std::pair<std::wstring, std::wstring>>& settings)
        : settings_(settings) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
        if (!out) {
            return E_POINTER;
        }
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IPropertyBag)) {
            *out = static_cast<IPropertyBag*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // Lives on the stack for the length of the load.
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP Read(LPCOLESTR name, VARIANT* value, IErrorLog*) override {
        if (!name || !value) {
            return E_POINTER;
        }
        for (const auto& [key, text] : settings_) {
            if (::lstrcmpiW(key.c_str(), name) != 0) {
                continue;
            }
            const VARTYPE wanted = value->vt;
            VARIANT v;
            ::VariantInit(&v);
            v.vt = VT_BSTR;
            v.bstrVal = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
            if (!v.bstrVal) {
                return E_OUTOFMEMORY;
            }
            if (wanted == VT_EMPTY || wanted == VT_BSTR) {
                *value = v;
                return S_OK;
            }
            const HRESULT hr = ::VariantChangeType(value, &v, 0, wanted);
            ::VariantClear(&v);
            return hr;
        }
        return E_INVALIDARG;
    }
    STDMETHODIMP Write(LPCOLESTR, VARIANT*) override { return E_NOTIMPL; }

private:
    const std::vector<std::pair<std::wstring, std::wstring>>& settings_;
};

std::wstring VariantText(const VARIANT& v) {
    if (v.vt == VT_BSTR) {
        return v.bstrVal ? std::wstring(v.bstrVal, ::SysStringLen(v.bstrVal)) : std::wstring();
    }
    if (v.vt == (VT_BSTR | VT_BYREF)) {
        return v.pbstrVal && *v.pbstrVal ? std::wstring(*v.pbstrVal, ::SysStringLen(*v.pbstrVal))
                                         : std::wstring();
    }
    VARIANT copy;
    ::VariantInit(&copy);
    std::wstring out;
    if (SUCCEEDED(::VariantChangeType(&copy, const_cast<VARIANT*>(&v), 0, VT_BSTR)) &&
        copy.bstrVal) {
        out.assign(copy.bstrVal, ::SysStringLen(copy.bstrVal));
    }
    ::VariantClear(&copy);
    return out;
}

} // namespace

// The client site, in-place site and frame of the one control, and the sink
// of its events. Its lifetime is counted; the container holds one reference.
class OleControl::Site : public IOleClientSite,
                         public IOleInPlaceSite,
                         public IOleInPlaceFrame,
                         public IDispatch {
public:
    explicit Site(OleControl* owner) : owner_(owner) {}
    virtual ~Site() = default;
    void Detach() { owner_ = nullptr; }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) {
            return E_POINTER;
        }
        *ppv = nullptr;
        if (riid == IID_IUnknown || riid == IID_IOleClientSite) {
            *ppv = static_cast<IOleClientSite*>(this);
        } else if (riid == IID_IOleInPlaceSite || riid == IID_IOleWindow) {
            *ppv = static_cast<IOleInPlaceSite*>(this);
        } else if (riid == IID_IOleInPlaceFrame || riid == IID_IOleInPlaceUIWindow) {
            *ppv = static_cast<IOleInPlaceFrame*>(this);
        } else if (riid == IID_IDispatch || (owner_ && riid == owner_->eventsIid_)) {
            *ppv = static_cast<IDispatch*>(this);
        } else {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG r = --refs_;
        if (r == 0) {
            delete this;
        }
        return r;
    }

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return S_OK; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** m) override {
        if (m) {
            *m = nullptr;
        }
        return E_NOTIMPL;
    }
    STDMETHODIMP GetContainer(IOleContainer** c) override {
        if (c) {
            *c = nullptr;
        }
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow (shared by the in-place site and the frame)
    STDMETHODIMP GetWindow(HWND* h) override {
        if (!h) {
            return E_POINTER;
        }
        *h = owner_ ? owner_->Handle() : nullptr;
        return *h ? S_OK : E_FAIL;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos,
                                  LPRECT clip, LPOLEINPLACEFRAMEINFO info) override {
        if (!frame || !doc || !pos || !clip || !info) {
            return E_POINTER;
        }
        *frame = static_cast<IOleInPlaceFrame*>(this);
        AddRef();
        *doc = nullptr;
        RECT r{};
        if (owner_ && owner_->Handle()) {
            ::GetClientRect(owner_->Handle(), &r);
        }
        *pos = r;
        *clip = r;
        info->fMDIApp = FALSE;
        info->hwndFrame = owner_ ? ::GetParent(owner_->Handle()) : nullptr;
        info->haccel = nullptr;
        info->cAccelEntries = 0;
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return S_OK; }
    STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
    STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

    // IOleInPlaceUIWindow / IOleInPlaceFrame
    STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return S_OK; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return S_OK; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

    // IDispatch: ambient properties (none are offered) and the events sink.
    STDMETHODIMP GetTypeInfoCount(UINT* n) override {
        if (n) {
            *n = 0;
        }
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** t) override {
        if (t) {
            *t = nullptr;
        }
        return E_NOTIMPL;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*,
                        EXCEPINFO*, UINT*) override {
        if (!(flags & DISPATCH_METHOD) || !owner_ || !owner_->onEvent_) {
            return DISP_E_MEMBERNOTFOUND;
        }
        std::vector<std::wstring> args;
        if (params) {
            // The arguments arrive last first.
            for (UINT i = params->cArgs; i > 0; --i) {
                args.push_back(VariantText(params->rgvarg[i - 1]));
            }
        }
        // An error in the handler is reported here and never crosses back
        // into the control.
        Guarded([&] { owner_->onEvent_(id, args); });
        return S_OK;
    }

private:
    ULONG refs_ = 1;
    OleControl* owner_;
};

OleControl::OleControl() = default;

void OleControl::Create(const OleControlArgs& args) {
    // The host's class does nothing of its own: this object handles its messages.
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kHostClass;
    RegisterWindowClass(wc);
    onEvent_ = args.onEvent;
    eventsIid_ = args.eventsIid;

    Check(::CoCreateInstance(args.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                             object_.put_void()));
    ControlPlace hidden = args.place;
    hidden.visible = false;
    CreateWindowOf(kHostClass, WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, hidden);
    site_ = ComPtr<Site>(new Site(this));

    DWORD misc = 0;
    object_->GetMiscStatus(DVASPECT_CONTENT, &misc);
    if (misc & OLEMISC_SETCLIENTSITEFIRST) {
        Check(object_->SetClientSite(site_.get()));
    }
    // The stored state: the settings through the property bag where the control
    // has one, otherwise a fresh start; then the stored extent.
    ComPtr<IPersistPropertyBag> bag;
    ComPtr<IPersistStreamInit> persist;
    if (!args.settings.empty() && SUCCEEDED(object_.As(IID_IPersistPropertyBag, bag))) {
        SettingsBag settings(args.settings);
        bag->InitNew();
        bag->Load(&settings, nullptr);
    } else if (SUCCEEDED(object_.As(IID_IPersistStreamInit, persist))) {
        persist->InitNew();
    }
    {
        // HIMETRIC units at the screen's resolution.
        HDC screen = ::GetDC(nullptr);
        const int dpiX = screen ? ::GetDeviceCaps(screen, LOGPIXELSX) : 96;
        const int dpiY = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 96;
        if (screen) {
            ::ReleaseDC(nullptr, screen);
        }
        SIZEL extent{::MulDiv(args.place.width, 2540, dpiX),
                     ::MulDiv(args.place.height, 2540, dpiY)};
        object_->SetExtent(DVASPECT_CONTENT, &extent);
    }
    if (!(misc & OLEMISC_SETCLIENTSITEFIRST)) {
        Check(object_->SetClientSite(site_.get()));
    }
    object_->SetHostNames(L"Fenwobble", nullptr);
    Check(object_.As(IID_IDispatch, dispatch_));

    ComPtr<IConnectionPointContainer> points;
    if (SUCCEEDED(object_.As(IID_IConnectionPointContainer, points)) &&
        SUCCEEDED(points->FindConnectionPoint(args.eventsIid, point_.put())) &&
        FAILED(point_->Advise(static_cast<IDispatch*>(site_.get()), &cookie_))) {
        point_.reset();
    }

    RECT r{0, 0, args.place.width, args.place.height};
    Check(object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_.get(), 0, Handle(), &r));
    if (args.place.visible) {
        Show();
    }
}

OleControl::~OleControl() {
    Shutdown();
}

void OleControl::Shutdown() {
    if (point_) {
        point_->Unadvise(cookie_);
    }
    point_.reset();
    dispatch_.reset();
    if (object_) {
        ComPtr<IOleInPlaceObject> inplace;
        if (SUCCEEDED(object_.As(IID_IOleInPlaceObject, inplace))) {
            inplace->InPlaceDeactivate();
        }
        object_->Close(OLECLOSE_NOSAVE);
        object_->SetClientSite(nullptr);
        object_.reset();
    }
    if (site_) {
        site_->Detach();
        site_.reset();
    }
}

bool OleControl::OnOwnMessage(UINT msg, WPARAM, LPARAM, LRESULT& result) {
    switch (msg) {
    case WM_SIZE:
        if (object_) {
            PlaceControl();
        }
        result = 0;
        return true;
    case WM_ERASEBKGND:
        result = 1;
        return true;
    case WM_DESTROY:
        Shutdown();
        return false;
    default:
        return false;
    }
}

void OleControl::PlaceControl() {
    ComPtr<IOleInPlaceObject> inplace;
    if (SUCCEEDED(object_.As(IID_IOleInPlaceObject, inplace))) {
        RECT r{};
        ::GetClientRect(Handle(), &r);
        inplace->SetObjectRects(&r, &r);
    }
}

void OleControl::Show() {
    ::ShowWindow(Handle(), SW_SHOWNA);
}
void OleControl::Hide() {
    ::ShowWindow(Handle(), SW_HIDE);
}

void OleControl::SetBounds(int left, int top, int width, int height) {
    Control::SetBounds(left, top, width, height);
    PlaceControl();
}

void OleControl::Invoke(DISPID id, WORD flags, DISPPARAMS& params, VARIANT* result) {
    EXCEPINFO info{};
    UINT argErr = 0;
    const HRESULT hr = dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result,
                                         &info, &argErr);
    // The callee's strings are ours to free, whether or not it failed.
    const Bstr source = Bstr::Adopt(info.bstrSource);
    const Bstr description = Bstr::Adopt(info.bstrDescription);
    const Bstr helpFile = Bstr::Adopt(info.bstrHelpFile);
    if (hr == DISP_E_EXCEPTION) {
        const std::wstring text = description.Text();
        const HRESULT code = info.scode ? info.scode : hr;
        throw OleSysError(text.empty() ? HresultText(code) : text, code);
    }
    Check(hr);
}

void OleControl::PutString(DISPID id, const std::wstring& value) {
    const Bstr b(value);
    VARIANT arg;
    ::VariantInit(&arg);
    arg.vt = VT_BSTR;
    arg.bstrVal = b.get();
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&arg, &named, 1, 1};
    Invoke(id, DISPATCH_PROPERTYPUT, params, nullptr);
}

void OleControl::PutInt(DISPID id, long value) {
    VARIANT arg;
    ::VariantInit(&arg);
    arg.vt = VT_I4;
    arg.lVal = value;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&arg, &named, 1, 1};
    Invoke(id, DISPATCH_PROPERTYPUT, params, nullptr);
}

std::wstring OleControl::GetString(DISPID id) {
    VARIANT result;
    ::VariantInit(&result);
    DISPPARAMS params{nullptr, nullptr, 0, 0};
    Invoke(id, DISPATCH_PROPERTYGET, params, &result);
    std::wstring out = VariantText(result);
    ::VariantClear(&result);
    return out;
}

void OleControl::CallMethod(DISPID id, const std::vector<std::wstring>& args) {
    std::vector<Bstr> texts;
    texts.reserve(args.size());
    std::vector<VARIANT> vars(args.size());
    // The callee sees the arguments last first.
    for (std::size_t i = 0; i < args.size(); ++i) {
        VARIANT& v = vars[args.size() - 1 - i];
        ::VariantInit(&v);
        v.vt = VT_BSTR;
        v.bstrVal = texts.emplace_back(args[i]).get();
    }
    DISPPARAMS params{vars.data(), nullptr, static_cast<UINT>(vars.size()), 0};
    VARIANT result;
    ::VariantInit(&result);
    Invoke(id, DISPATCH_METHOD, params, &result);
    ::VariantClear(&result);
}

void OleControl::DoVerb(LONG verb) {
    RECT r{};
    ::GetClientRect(Handle(), &r);
    Check(object_->DoVerb(verb, nullptr, site_.get(), 0, Handle(), &r));
}

} // namespace fw::win
