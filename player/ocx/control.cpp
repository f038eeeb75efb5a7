#include "control.h"

#include "dispids.h"
#include "gdi_fonts.h"
#include "module.h"
#include "paint.h"
#include "text.h"
#include "trace.h"

#include "swf/code_page.h"
#include "swf/local_path.h"
#include "swf/movie.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <new>

namespace fw::player {
namespace {

struct NamedId {
    const wchar_t* name;
    DISPID id;
};

constexpr NamedId kNames[] = {
    {L"Movie", kDispMovie},
    {L"ScaleMode", kDispScaleMode},
    {L"WMode", kDispWMode},
    {L"SetVariable", kDispSetVariable},
    {L"GetVariable", kDispGetVariable},
#ifndef FW_PLAYER_LEGACY
    {L"FlashVars", kDispFlashVars},
#endif
    {L"Play", kDispPlay},
    {L"Stop", kDispStop},
    {L"TotalFrames", kDispTotalFrames},
    {L"Playing", kDispPlaying},
    {L"CurrentFrame", kDispCurrentFrame},
    {L"ReadyState", kDispReadyState},
};

// Runs a COM method body: nothing may leave it as an exception.
template <typename F> HRESULT Guarded(F&& body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

// Keeps the control alive while it calls out (a container may release it from an event).
class SelfRef {
public:
    explicit SelfRef(IUnknown* u) : u_(u) { u_->AddRef(); }
    ~SelfRef() { u_->Release(); }
    SelfRef(const SelfRef&) = delete;
    SelfRef& operator=(const SelfRef&) = delete;

private:
    IUnknown* u_;
};

class Bstr {
public:
    explicit Bstr(std::wstring_view s)
        : b_(::SysAllocStringLen(s.data(), static_cast<UINT>(s.size()))) {
        if (!b_) {
            throw std::bad_alloc();
        }
    }
    ~Bstr() { ::SysFreeString(b_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR get() const { return b_; }
    BSTR release() { return std::exchange(b_, nullptr); }

private:
    BSTR b_;
};

// A variant converted to the wanted type; the caller's variant is left untouched.
class Converted {
public:
    Converted(const VARIANT& v, VARTYPE type) {
        ::VariantInit(&v_);
        hr_ = ::VariantChangeType(&v_, const_cast<VARIANT*>(&v), 0, type);
    }
    ~Converted() { ::VariantClear(&v_); }
    Converted(const Converted&) = delete;
    Converted& operator=(const Converted&) = delete;
    bool ok() const { return SUCCEEDED(hr_); }
    std::wstring text() const {
        return v_.bstrVal ? std::wstring(v_.bstrVal, ::SysStringLen(v_.bstrVal)) : std::wstring();
    }
    LONG number() const { return v_.lVal; }
    bool truth() const { return v_.boolVal != VARIANT_FALSE; }

private:
    VARIANT v_;
    HRESULT hr_;
};

const wchar_t* PropertyName(DISPID id) {
    for (const auto& n : kNames) {
        if (n.id == id) {
            return n.name;
        }
    }
    return id == kDispFlashVars ? L"FlashVars" : L"?";
}

class PointEnum final : public IEnumConnectionPoints {
public:
    explicit PointEnum(IConnectionPoint* point, ULONG pos = 0) : point_(point), pos_(pos) {
        point_->AddRef();
        ObjectCreated();
    }
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
        if (!out) {
            return E_POINTER;
        }
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IEnumConnectionPoints)) {
            *out = this;
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override {
        return static_cast<ULONG>(::InterlockedIncrement(&refs_));
    }
    STDMETHODIMP_(ULONG) Release() override {
        LONG n = ::InterlockedDecrement(&refs_);
        if (n == 0) {
            delete this;
        }
        return static_cast<ULONG>(n);
    }
    STDMETHODIMP Next(ULONG count, IConnectionPoint** points, ULONG* fetched) override {
        if (!points || (count > 1 && !fetched)) {
            return E_POINTER;
        }
        ULONG got = 0;
        if (count > 0 && pos_ == 0) {
            points[0] = point_;
            point_->AddRef();
            got = 1;
            pos_ = 1;
        }
        if (fetched) {
            *fetched = got;
        }
        return got == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override {
        ULONG left = 1 - pos_;
        pos_ = std::min<ULONG>(1, pos_ + count);
        return count <= left ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override {
        pos_ = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumConnectionPoints** out) override {
        if (!out) {
            return E_POINTER;
        }
        *out = new (std::nothrow) PointEnum(point_, pos_);
        return *out ? S_OK : E_OUTOFMEMORY;
    }

private:
    ~PointEnum() {
        point_->Release();
        ObjectDestroyed();
    }
    LONG refs_ = 1;
    IConnectionPoint* point_;
    ULONG pos_;
};

} // namespace

HRESULT PlayerControl::Create(REFIID riid, void** out) {
    auto* control = new (std::nothrow) PlayerControl();
    if (!control) {
        return E_OUTOFMEMORY;
    }
    HRESULT hr = control->QueryInterface(riid, out);
    control->Release();
    return hr;
}

PlayerControl::PlayerControl() : player_(static_cast<swf::PlayerHost&>(*this)) {
    ObjectCreated();
    InstallDeviceFonts();
    // Movies before version 6 store their texts in the machine's code page.
    swf::SetCodePage(static_cast<int>(GetACP()));
}

PlayerControl::~PlayerControl() {
    sound_.Close();
    window_.Destroy();
    for (auto& s : sinks_) {
        s.dispatch->Release();
    }
    if (viewSink_) {
        viewSink_->Release();
    }
    if (inPlaceSite_) {
        inPlaceSite_->Release();
    }
    if (site_) {
        site_->Release();
    }
    ObjectDestroyed();
}

// ---- IUnknown

STDMETHODIMP PlayerControl::QueryInterface(REFIID riid, void** out) {
    if (!out) {
        return E_POINTER;
    }
    *out = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleObject)) {
        *out = static_cast<IOleObject*>(this);
    } else if (IsEqualIID(riid, IID_IOleInPlaceObject) || IsEqualIID(riid, IID_IOleWindow)) {
        *out = static_cast<IOleInPlaceObject*>(this);
    } else if (IsEqualIID(riid, IID_IOleInPlaceActiveObject)) {
        *out = static_cast<IOleInPlaceActiveObject*>(this);
    } else if (IsEqualIID(riid, IID_IPersistStreamInit) || IsEqualIID(riid, IID_IPersist)) {
        *out = static_cast<IPersistStreamInit*>(this);
    } else if (IsEqualIID(riid, IID_IPersistPropertyBag)) {
        *out = static_cast<IPersistPropertyBag*>(this);
    } else if (IsEqualIID(riid, IID_IViewObject2) || IsEqualIID(riid, IID_IViewObject)) {
        *out = static_cast<IViewObject2*>(this);
    } else if (IsEqualIID(riid, IID_IOleControl)) {
        *out = static_cast<IOleControl*>(this);
    } else if (IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, kPlayerDispatchIid)) {
        *out = static_cast<IDispatch*>(this);
    } else if (IsEqualIID(riid, IID_IConnectionPointContainer)) {
        *out = static_cast<IConnectionPointContainer*>(this);
    } else {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) PlayerControl::AddRef() {
    return static_cast<ULONG>(::InterlockedIncrement(&refs_));
}

STDMETHODIMP_(ULONG) PlayerControl::Release() {
    LONG n = ::InterlockedDecrement(&refs_);
    if (n == 0) {
        delete this;
    }
    return static_cast<ULONG>(n);
}

// ---- IOleObject

STDMETHODIMP PlayerControl::SetClientSite(IOleClientSite* site) {
    if (site) {
        site->AddRef();
    }
    if (inPlaceSite_) {
        inPlaceSite_->Release();
        inPlaceSite_ = nullptr;
    }
    if (site_) {
        site_->Release();
    }
    site_ = site;
    if (site_) {
        site_->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&inPlaceSite_));
    }
    return S_OK;
}

STDMETHODIMP PlayerControl::GetClientSite(IOleClientSite** site) {
    if (!site) {
        return E_POINTER;
    }
    *site = site_;
    if (site_) {
        site_->AddRef();
    }
    return S_OK;
}

STDMETHODIMP PlayerControl::SetHostNames(LPCOLESTR, LPCOLESTR) {
    return S_OK;
}

STDMETHODIMP PlayerControl::Close(DWORD) {
    return Guarded([&] {
        TraceLine({L"close"});
        InPlaceDeactivate();
        return S_OK;
    });
}

STDMETHODIMP PlayerControl::DoVerb(LONG verb, LPMSG, IOleClientSite*, LONG, HWND parent,
                                   LPCRECT posRect) {
    return Guarded([&]() -> HRESULT {
        SelfRef self(static_cast<IOleObject*>(this));
        TraceLine({L"verb", DecimalText(verb)});
        switch (verb) {
        case OLEIVERB_PRIMARY:
        case OLEIVERB_SHOW:
        case OLEIVERB_UIACTIVATE:
        case OLEIVERB_INPLACEACTIVATE: {
            HRESULT hr = InPlaceActivate(verb, parent, posRect);
            if (SUCCEEDED(hr)) {
                ShowWindow(true);
            }
            return hr;
        }
        case OLEIVERB_HIDE:
            ShowWindow(false);
            return S_OK;
        case OLEIVERB_DISCARDUNDOSTATE:
            return S_OK;
        default:
            if (verb > 0) {
                HRESULT hr = InPlaceActivate(verb, parent, posRect);
                if (SUCCEEDED(hr)) {
                    ShowWindow(true);
                }
                return FAILED(hr) ? hr : OLEOBJ_S_INVALIDVERB;
            }
            return E_NOTIMPL;
        }
    });
}

STDMETHODIMP PlayerControl::GetUserClassID(CLSID* clsid) {
    if (!clsid) {
        return E_POINTER;
    }
    *clsid = kPlayerClsid;
    return S_OK;
}

STDMETHODIMP PlayerControl::SetExtent(DWORD aspect, SIZEL* size) {
    if (aspect != DVASPECT_CONTENT) {
        return DV_E_DVASPECT;
    }
    if (!size) {
        return E_POINTER;
    }
    extent_ = *size;
    TraceLine({L"extent", DecimalText(size->cx), DecimalText(size->cy)});
    return S_OK;
}

STDMETHODIMP PlayerControl::GetExtent(DWORD aspect, SIZEL* size) {
    if (aspect != DVASPECT_CONTENT) {
        return DV_E_DVASPECT;
    }
    if (!size) {
        return E_POINTER;
    }
    *size = extent_;
    return S_OK;
}

STDMETHODIMP PlayerControl::GetMiscStatus(DWORD, DWORD* status) {
    if (!status) {
        return E_POINTER;
    }
    *status = OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE | OLEMISC_INSIDEOUT |
              OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST;
    return S_OK;
}

// ---- In-place activation

HRESULT PlayerControl::InPlaceActivate(LONG verb, HWND parent, LPCRECT posRect) {
    if (window_.hwnd()) {
        if (posRect) {
            SetObjectRects(posRect, nullptr);
        }
        return S_OK;
    }
    RECT pos = posRect ? *posRect : pos_;
    HWND parentWindow = parent;
    if (inPlaceSite_) {
        if (inPlaceSite_->CanInPlaceActivate() != S_OK) {
            return E_FAIL;
        }
        inPlaceSite_->OnInPlaceActivate();
        HWND siteWindow = nullptr;
        if (SUCCEEDED(inPlaceSite_->GetWindow(&siteWindow)) && siteWindow) {
            parentWindow = siteWindow;
        }
        IOleInPlaceFrame* frame = nullptr;
        IOleInPlaceUIWindow* doc = nullptr;
        RECT sitePos{};
        RECT clip{};
        OLEINPLACEFRAMEINFO info{};
        info.cb = sizeof info;
        if (SUCCEEDED(inPlaceSite_->GetWindowContext(&frame, &doc, &sitePos, &clip, &info)) &&
            !posRect) {
            pos = sitePos;
        }
        if (frame) {
            frame->Release();
        }
        if (doc) {
            doc->Release();
        }
    }
    if (!parentWindow) {
        return E_INVALIDARG;
    }
    pos_ = pos;
    TraceLine({L"rects", DecimalText(pos.left), DecimalText(pos.top), DecimalText(pos.right),
               DecimalText(pos.bottom)});
    if (!window_.Create(
            PlayerWindowArgs{parentWindow, pos, false, static_cast<PlayerWindowOwner*>(this)})) {
        return E_FAIL;
    }
    UpdateTimer();
    if (verb == OLEIVERB_UIACTIVATE && inPlaceSite_) {
        inPlaceSite_->OnUIActivate();
    }
    return S_OK;
}

void PlayerControl::ShowWindow(bool show) {
    if (window_.hwnd()) {
        ::ShowWindow(window_.hwnd(), show ? SW_SHOWNA : SW_HIDE);
    }
}

STDMETHODIMP PlayerControl::GetWindow(HWND* hwnd) {
    if (!hwnd) {
        return E_POINTER;
    }
    *hwnd = window_.hwnd();
    return *hwnd ? S_OK : E_FAIL;
}

STDMETHODIMP PlayerControl::InPlaceDeactivate() {
    if (!window_.hwnd()) {
        return S_OK;
    }
    window_.Destroy();
    if (inPlaceSite_) {
        inPlaceSite_->OnInPlaceDeactivate();
    }
    return S_OK;
}

STDMETHODIMP PlayerControl::UIDeactivate() {
    return S_OK;
}

STDMETHODIMP PlayerControl::SetObjectRects(LPCRECT pos, LPCRECT) {
    if (!pos) {
        return E_POINTER;
    }
    return Guarded([&] {
        pos_ = *pos;
        TraceLine({L"rects", DecimalText(pos->left), DecimalText(pos->top), DecimalText(pos->right),
                   DecimalText(pos->bottom)});
        if (window_.hwnd()) {
            ::MoveWindow(window_.hwnd(), pos->left, pos->top, pos->right - pos->left,
                         pos->bottom - pos->top, TRUE);
        }
        return S_OK;
    });
}

// ---- IPersistStreamInit

STDMETHODIMP PlayerControl::GetClassID(CLSID* clsid) {
    return GetUserClassID(clsid);
}

STDMETHODIMP PlayerControl::GetSizeMax(ULARGE_INTEGER* size) {
    if (!size) {
        return E_POINTER;
    }
    size->QuadPart = 0;
    return S_OK;
}

// ---- IPersistPropertyBag

STDMETHODIMP PlayerControl::Load(IPropertyBag* bag, IErrorLog* log) {
    if (!bag) {
        return E_POINTER;
    }
    return Guarded([&] {
        auto read = [&](const wchar_t* name, std::wstring& out) {
            VARIANT v;
            ::VariantInit(&v);
            v.vt = VT_BSTR;
            if (SUCCEEDED(bag->Read(name, &v, log))) {
                Converted text(v, VT_BSTR);
                if (text.ok()) {
                    out = text.text();
                    TraceLine({L"setting", name, out});
                }
            }
            ::VariantClear(&v);
        };
        read(L"WMode", wmode_);
        read(L"Quality", quality_);
        read(L"AllowScriptAccess", scriptAccess_);
        std::wstring scale;
        read(L"Scale", scale);
        // The scale names by the numbers the ScaleMode property takes.
        const wchar_t* const scales[] = {L"ShowAll", L"NoBorder", L"ExactFit", L"NoScale"};
        for (LONG i = 0; i < 4; ++i) {
            if (::lstrcmpiW(scale.c_str(), scales[i]) == 0) {
                scaleMode_ = i;
            }
        }
        return S_OK;
    });
}

// ---- IViewObject2

STDMETHODIMP PlayerControl::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC drawDc,
                                 LPCRECTL bounds, LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR),
                                 ULONG_PTR) {
    if (aspect != DVASPECT_CONTENT) {
        return DV_E_DVASPECT;
    }
    if (!drawDc || !bounds) {
        return E_INVALIDARG;
    }
    return Guarded([&] {
        RECT r{bounds->left, bounds->top, bounds->right, bounds->bottom};
        PaintMovie(drawDc, r, player_, player_.CurrentPicture());
        return S_OK;
    });
}

STDMETHODIMP PlayerControl::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) {
    if (sink) {
        sink->AddRef();
    }
    if (viewSink_) {
        viewSink_->Release();
    }
    viewSink_ = sink;
    viewAspects_ = aspects;
    viewFlags_ = flags;
    return S_OK;
}

STDMETHODIMP PlayerControl::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) {
    if (aspects) {
        *aspects = viewAspects_;
    }
    if (flags) {
        *flags = viewFlags_;
    }
    if (sink) {
        *sink = viewSink_;
        if (viewSink_) {
            viewSink_->AddRef();
        }
    }
    return S_OK;
}

STDMETHODIMP PlayerControl::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) {
    return GetExtent(aspect, static_cast<SIZEL*>(size));
}

// ---- IOleControl

STDMETHODIMP PlayerControl::GetControlInfo(CONTROLINFO* info) {
    if (!info) {
        return E_POINTER;
    }
    info->cb = sizeof *info;
    info->hAccel = nullptr;
    info->cAccel = 0;
    info->dwFlags = 0;
    return S_OK;
}

// ---- IDispatch

STDMETHODIMP PlayerControl::GetTypeInfoCount(UINT* count) {
    if (!count) {
        return E_POINTER;
    }
    *count = 0;
    return S_OK;
}

STDMETHODIMP PlayerControl::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) {
    if (!IsEqualIID(riid, IID_NULL)) {
        return DISP_E_UNKNOWNINTERFACE;
    }
    if (!names || !ids) {
        return E_POINTER;
    }
    if (count == 0) {
        return S_OK;
    }
    HRESULT hr = S_OK;
    ids[0] = DISPID_UNKNOWN;
    for (const auto& n : kNames) {
        if (names[0] && ::lstrcmpiW(names[0], n.name) == 0) {
            ids[0] = n.id;
        }
    }
    if (ids[0] == DISPID_UNKNOWN) {
        hr = DISP_E_UNKNOWNNAME;
    }
    // Our methods take no named arguments.
    for (UINT i = 1; i < count; ++i) {
        ids[i] = DISPID_UNKNOWN;
        hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

STDMETHODIMP PlayerControl::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO*, UINT* argErr) {
    if (!IsEqualIID(riid, IID_NULL)) {
        return DISP_E_UNKNOWNINTERFACE;
    }
    if (!params) {
        return E_POINTER;
    }
    if (params->cArgs > 0 && !params->rgvarg) {
        return E_INVALIDARG;
    }
#ifdef FW_PLAYER_LEGACY
    if (id == kDispFlashVars) {
        // This build stands for a control older than the parameter property.
        TraceLine({L"refuse", L"FlashVars"});
        return DISP_E_MEMBERNOTFOUND;
    }
#endif
    return Guarded([&]() -> HRESULT {
        SelfRef self(static_cast<IOleObject*>(this));
        PlayDueFrames(false);
        if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
            if (params->cArgs != 1) {
                return DISP_E_BADPARAMCOUNT;
            }
            if (params->cNamedArgs != 1 || !params->rgdispidNamedArgs ||
                params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT) {
                return DISP_E_PARAMNOTFOUND;
            }
            return PutProperty(id, params->rgvarg[0], argErr);
        }
        switch (id) {
        case kDispSetVariable:
        case kDispGetVariable:
        case kDispPlay:
        case kDispStop:
            if (!(flags & DISPATCH_METHOD)) {
                return DISP_E_MEMBERNOTFOUND;
            }
            return CallMethod(id, params, result, argErr);
        default:
            if (!(flags & DISPATCH_PROPERTYGET)) {
                return DISP_E_MEMBERNOTFOUND;
            }
            if (params->cArgs != 0) {
                return DISP_E_BADPARAMCOUNT;
            }
            return GetProperty(id, result);
        }
    });
}

HRESULT PlayerControl::PutProperty(DISPID id, const VARIANT& value, UINT* argErr) {
    auto mismatch = [&] {
        if (argErr) {
            *argErr = 0;
        }
        return DISP_E_TYPEMISMATCH;
    };
    switch (id) {
    case kDispMovie:
    case kDispFlashVars:
    case kDispWMode: {
        Converted v(value, VT_BSTR);
        if (!v.ok()) {
            return mismatch();
        }
        std::wstring text = v.text();
        TraceLine({L"put", PropertyName(id), text});
        if (id == kDispMovie) {
            movie_ = text;
            LoadMovie(text);
        } else if (id == kDispFlashVars) {
            flashVars_ = text;
            player_.ApplyFlashVars(ToUtf8(text));
            window_.Invalidate();
        } else {
            wmode_ = text;
        }
        return S_OK;
    }
    case kDispScaleMode: {
        Converted v(value, VT_I4);
        if (!v.ok()) {
            return mismatch();
        }
        scaleMode_ = v.number();
        TraceLine({L"put", L"ScaleMode", DecimalText(scaleMode_)});
        return S_OK;
    }
    case kDispPlaying: {
        Converted v(value, VT_BOOL);
        if (!v.ok()) {
            return mismatch();
        }
        TraceLine({L"put", L"Playing", v.truth() ? L"true" : L"false"});
        v.truth() ? player_.Play() : player_.Stop();
        UpdateTimer();
        return S_OK;
    }
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}

HRESULT PlayerControl::GetProperty(DISPID id, VARIANT* result) {
    VARIANT v;
    ::VariantInit(&v);
    switch (id) {
    case kDispMovie:
    case kDispFlashVars:
    case kDispWMode: {
        const std::wstring& text = id == kDispMovie       ? movie_
                                   : id == kDispFlashVars ? flashVars_
                                                          : wmode_;
        v.vt = VT_BSTR;
        v.bstrVal = Bstr(text).release();
        break;
    }
    case kDispScaleMode:
        v.vt = VT_I4;
        v.lVal = scaleMode_;
        break;
    case kDispPlaying:
        v.vt = VT_BOOL;
        v.boolVal = player_.playing() ? VARIANT_TRUE : VARIANT_FALSE;
        break;
    case kDispCurrentFrame:
        v.vt = VT_I4;
        v.lVal = std::max(0, player_.currentFrame());
        break;
    case kDispTotalFrames:
        v.vt = VT_I4;
        v.lVal = static_cast<LONG>(player_.movie().frames.size());
        break;
    case kDispReadyState:
        v.vt = VT_I4;
        v.lVal = 4;
        break;
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
    TraceLine({L"get", PropertyName(id)});
    if (result) {
        *result = v;
    } else {
        ::VariantClear(&v);
    }
    return S_OK;
}

HRESULT PlayerControl::CallMethod(DISPID id, DISPPARAMS* params, VARIANT* result, UINT* argErr) {
    if (params->cNamedArgs != 0) {
        return DISP_E_NONAMEDARGS;
    }
    // Arguments arrive last first.
    auto arg = [&](UINT index, std::wstring& out) -> HRESULT {
        Converted v(params->rgvarg[params->cArgs - 1 - index], VT_BSTR);
        if (!v.ok()) {
            if (argErr) {
                *argErr = params->cArgs - 1 - index;
            }
            return DISP_E_TYPEMISMATCH;
        }
        out = v.text();
        return S_OK;
    };
    switch (id) {
    case kDispSetVariable: {
        if (params->cArgs != 2) {
            return DISP_E_BADPARAMCOUNT;
        }
        std::wstring name;
        std::wstring value;
        HRESULT hr = arg(0, name);
        if (SUCCEEDED(hr)) {
            hr = arg(1, value);
        }
        if (FAILED(hr)) {
            return hr;
        }
        TraceLine({L"call", L"SetVariable", name, value});
        // The container may report the same value many times a second; only a
        // change is worth a new picture.
        const std::string path = ToUtf8(name);
        const std::string text = ToUtf8(value);
        const bool changed = player_.GetVariableText(path) != text;
        player_.SetVariable(path, swf::Value(text));
        if (changed) {
            window_.Invalidate();
        }
        return S_OK;
    }
    case kDispGetVariable: {
        if (params->cArgs != 1) {
            return DISP_E_BADPARAMCOUNT;
        }
        std::wstring name;
        if (HRESULT hr = arg(0, name); FAILED(hr)) {
            return hr;
        }
        TraceLine({L"call", L"GetVariable", name});
        Bstr value(FromUtf8(player_.GetVariableText(ToUtf8(name))));
        if (result) {
            ::VariantInit(result);
            result->vt = VT_BSTR;
            result->bstrVal = value.release();
        }
        return S_OK;
    }
    case kDispPlay:
    case kDispStop:
        if (params->cArgs != 0) {
            return DISP_E_BADPARAMCOUNT;
        }
        TraceLine({L"call", id == kDispPlay ? L"Play" : L"Stop"});
        id == kDispPlay ? player_.Play() : player_.Stop();
        UpdateTimer();
        return S_OK;
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}

// ---- Movie

void PlayerControl::LoadMovie(const std::wstring& path) {
    swf::Movie movie;
    std::wstring result = L"not found";
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        std::vector<std::uint8_t> bytes;
        LARGE_INTEGER size{};
        if (::GetFileSizeEx(file, &size) && size.QuadPart <= swf::kMaxMovieBytes) {
            bytes.resize(static_cast<std::size_t>(size.QuadPart));
            DWORD read = 0;
            if (!bytes.empty() &&
                !::ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) {
                read = 0;
            }
            bytes.resize(read);
        }
        ::CloseHandle(file);
        movie = swf::ParseMovie(bytes);
        result = movie.valid ? DecimalText(movie.frames.size()) + L" frames" : L"not a movie";
    }
    TraceLine({L"load", path, result});
    // Nothing of the old movie may be heard over the new one.
    sound_.Close();
    painted_.reset(); // its items name the old movie's characters
    player_.Load(std::move(movie));
    // Parameters given before the movie reach it before its first frame.
    if (!flashVars_.empty()) {
        player_.ApplyFlashVars(ToUtf8(flashVars_));
    }
    UpdateTimer();
    window_.Invalidate();
}

std::optional<std::string> PlayerControl::ReadFile(std::string_view url) {
    constexpr LONGLONG kMaxLoadedBytes = 16 << 20;
    auto local = swf::LocalPath(url);
    std::size_t slash = movie_.find_last_of(L"\\/");
    if (!local || slash == std::wstring::npos) {
        return std::nullopt;
    }
    std::wstring path = movie_.substr(0, slash + 1) + FromUtf8(*local);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    std::optional<std::string> bytes;
    LARGE_INTEGER size{};
    if (::GetFileSizeEx(file, &size) && size.QuadPart <= kMaxLoadedBytes) {
        std::string data(static_cast<std::size_t>(size.QuadPart), '\0');
        DWORD read = 0;
        if (data.empty() ||
            ::ReadFile(file, data.data(), static_cast<DWORD>(data.size()), &read, nullptr)) {
            data.resize(read);
            bytes = std::move(data);
        }
    }
    ::CloseHandle(file);
    return bytes;
}

void PlayerControl::UpdateTimer() {
    // Whatever moved the movie on may have started a sound.
    sound_.Wake();
    coasting_ = false;
    // A stopped movie has nothing to do until the container, the mouse or a key moves it on,
    // and each of those runs what it starts at once; so the timer rests meanwhile.
    if (!player_.NeedsTicks()) {
        window_.SetFrameInterval(0);
        return;
    }
    double rate = player_.movie().frameRate;
    double ms = rate > 0 ? 1000.0 / rate : 83.0;
    // Each wake of the timer costs the process more than a still frame; the frames it sleeps
    // through are played when it wakes, within the player's catch-up, with room left for a
    // wake as late as a busy machine makes it.
    const int quiet = player_.QuietFrames(swf::Player::kMaxCatchUp / 2);
    coasting_ = quiet > 0;
    window_.SetFrameInterval(
        static_cast<UINT>(std::clamp(std::lround(ms * (1 + quiet)), 10L, 1000L)));
}

void PlayerControl::OnFrameTimer() {
    SelfRef self(static_cast<IOleObject*>(this));
    PlayDueFrames(true);
}

void PlayerControl::PlayDueFrames(bool timer) {
    // A container answering an event of a frame may call in: that frame is not over.
    if (!timer && (!coasting_ || framesUnderWay_ > 0)) {
        return;
    }
    struct UnderWay {
        int& n;
        explicit UnderWay(int& count) : n(++count) {}
        ~UnderWay() { --n; }
    } underWay{framesUnderWay_};
    // A late timer (a busy machine, a modal loop) plays the frames it missed before one paint,
    // so the timeline keeps pace with its stream sounds.
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    const double ms = std::chrono::duration<double, std::milli>(now).count();
    if (timer) {
        player_.PlayDue(ms);
    } else if (player_.CatchUp(ms) == 0) {
        return;
    }
    // A movie that loops over frames which change nothing on the stage (reading a variable
    // that stays the same) repaints nothing. Against what the window shows, not the last
    // frame: input may have painted in between, and a frame may turn back to what it was.
    if (!painted_ || player_.CurrentPicture() != *painted_) {
        window_.Invalidate();
    }
    UpdateTimer();
}

void PlayerControl::Fill(std::int16_t* out, std::size_t frames) {
    player_.MixSound(out, frames);
}

bool PlayerControl::Sounding() {
    // Counts stream sounds too: a movie's music must not be cut off as silence.
    const audio::Mixer* mixer = player_.runtime().display().Sounds();
    return mixer && mixer->voices() > 0;
}

void PlayerControl::OnPaint(HDC dc, const RECT& client) {
    painted_ = player_.CurrentPicture();
    PaintMovie(dc, client, player_, *painted_);
}

bool PlayerControl::OnMouseInput(UINT msg, int x, int y) {
    SelfRef self(static_cast<IOleObject*>(this));
    PlayDueFrames(false);
    const bool changed = MoveMouse(msg, x, y);
    UpdateTimer(); // a button may have started the movie
    return changed;
}

bool PlayerControl::MoveMouse(UINT msg, int x, int y) {
    if (msg == WM_MOUSELEAVE) {
        return player_.MouseLeave();
    }
    RECT client{};
    ::GetClientRect(window_.hwnd(), &client);
    auto inverse = StageMatrix(player_, client).Inverse();
    if (!inverse) {
        return false;
    }
    bool changed = player_.MouseMove(inverse->Apply(swf::Point{double(x), double(y)}));
    if (msg == WM_LBUTTONDOWN) {
        changed = player_.MouseDown() || changed;
    } else if (msg == WM_LBUTTONUP) {
        changed = player_.MouseUp() || changed;
    } else if (msg == WM_RBUTTONDOWN || msg == WM_RBUTTONUP) {
        changed = player_.OtherButton(2, msg == WM_RBUTTONDOWN) || changed;
    } else if (msg == WM_MBUTTONDOWN || msg == WM_MBUTTONUP) {
        changed = player_.OtherButton(4, msg == WM_MBUTTONDOWN) || changed;
    }
    return changed;
}

bool PlayerControl::OnKeyInput(bool down, int keyCode, char32_t character) {
    SelfRef self(static_cast<IOleObject*>(this));
    PlayDueFrames(false);
    bool changed = down ? player_.KeyDown(keyCode, character) : player_.KeyUp(keyCode, character);
    // The key's character is typed as it goes down: buttons naming it, or the focused field.
    if (down && character >= 32 && character != 127) {
        changed = player_.TextInput(character) || changed;
    }
    UpdateTimer();
    return changed;
}

bool PlayerControl::WantsHand() const {
    return player_.OverButton();
}

void PlayerControl::OnFireRequest(const std::wstring& command, const std::wstring& args) {
    SelfRef self(static_cast<IOleObject*>(this));
    FireFsCommand(command, args);
}

void PlayerControl::FsCommand(const std::string& command, const std::string& args) {
    FireFsCommand(FromUtf8(command), FromUtf8(args));
}

void PlayerControl::TraceOutput(const std::string& text) {
    TraceLine({L"trace", FromUtf8(text)});
}

void PlayerControl::Problem(const std::string& text) {
    TraceLine({L"problem", FromUtf8(text)});
}

void PlayerControl::FireFsCommand(const std::wstring& command, const std::wstring& args) {
    TraceLine({L"FSCommand", command, args});
    // A handler may unadvise or release: work on our own references.
    std::vector<IDispatch*> targets;
    for (const auto& s : sinks_) {
        s.dispatch->AddRef();
        targets.push_back(s.dispatch);
    }
    for (IDispatch* target : targets) {
        VARIANT argv[2];
        argv[0].vt = VT_BSTR; // last argument first
        argv[0].bstrVal = ::SysAllocStringLen(args.data(), static_cast<UINT>(args.size()));
        argv[1].vt = VT_BSTR;
        argv[1].bstrVal = ::SysAllocStringLen(command.data(), static_cast<UINT>(command.size()));
        DISPPARAMS dp{argv, nullptr, 2, 0};
        target->Invoke(kDispFsCommand, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &dp, nullptr,
                       nullptr, nullptr);
        ::VariantClear(&argv[0]);
        ::VariantClear(&argv[1]);
        target->Release();
    }
}

// ---- Connection points

STDMETHODIMP PlayerControl::EnumConnectionPoints(IEnumConnectionPoints** out) {
    if (!out) {
        return E_POINTER;
    }
    *out = new (std::nothrow) PointEnum(&events_);
    return *out ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP PlayerControl::FindConnectionPoint(REFIID riid, IConnectionPoint** out) {
    if (!out) {
        return E_POINTER;
    }
    *out = nullptr;
    if (!IsEqualIID(riid, kPlayerEventsIid)) {
        return CONNECT_E_NOCONNECTION;
    }
    *out = &events_;
    events_.AddRef();
    return S_OK;
}

STDMETHODIMP PlayerControl::EventPoint::QueryInterface(REFIID riid, void** out) {
    if (!out) {
        return E_POINTER;
    }
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IConnectionPoint)) {
        *out = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP PlayerControl::EventPoint::GetConnectionInterface(IID* iid) {
    if (!iid) {
        return E_POINTER;
    }
    *iid = kPlayerEventsIid;
    return S_OK;
}

STDMETHODIMP
PlayerControl::EventPoint::GetConnectionPointContainer(IConnectionPointContainer** out) {
    if (!out) {
        return E_POINTER;
    }
    *out = &owner_;
    owner_.AddRef();
    return S_OK;
}

STDMETHODIMP PlayerControl::EventPoint::Advise(IUnknown* sink, DWORD* cookie) {
    if (!sink || !cookie) {
        return E_POINTER;
    }
    *cookie = 0;
    IDispatch* dispatch = nullptr;
    if (FAILED(sink->QueryInterface(kPlayerEventsIid, reinterpret_cast<void**>(&dispatch))) &&
        FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)))) {
        return CONNECT_E_CANNOTCONNECT;
    }
    return Guarded([&] {
        try {
            owner_.sinks_.push_back(Sink{owner_.nextCookie_, dispatch});
        } catch (...) {
            dispatch->Release();
            throw;
        }
        *cookie = owner_.nextCookie_++;
        return S_OK;
    });
}

STDMETHODIMP PlayerControl::EventPoint::Unadvise(DWORD cookie) {
    auto& sinks = owner_.sinks_;
    auto it =
        std::find_if(sinks.begin(), sinks.end(), [&](const Sink& s) { return s.cookie == cookie; });
    if (it == sinks.end()) {
        return CONNECT_E_NOCONNECTION;
    }
    IDispatch* dispatch = it->dispatch;
    sinks.erase(it);
    dispatch->Release();
    return S_OK;
}

} // namespace fw::player
