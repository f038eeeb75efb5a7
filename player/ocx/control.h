#pragma once
// The player control: one COM object with the interfaces an OLE control container uses, the
// dispatch interface the shell drives it through, and the FSCommand event source.

#include "acm_mp3.h"
#include "swf/player.h"
#include "wave_out.h"
#include "window.h"

#include <ocidl.h>
#include <ole2.h>
#include <olectl.h>

#include <optional>
#include <string>
#include <vector>

namespace fw::player {

class PlayerControl final : public IOleObject,
                            public IOleInPlaceObject,
                            public IOleInPlaceActiveObject,
                            public IPersistStreamInit,
                            public IPersistPropertyBag,
                            public IViewObject2,
                            public IOleControl,
                            public IDispatch,
                            public IConnectionPointContainer,
                            private PlayerWindowOwner,
                            private swf::PlayerHost,
                            private WaveSource {
public:
    static HRESULT Create(REFIID riid, void** out);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IOleObject
    STDMETHODIMP SetClientSite(IOleClientSite* site) override;
    STDMETHODIMP GetClientSite(IOleClientSite** site) override;
    STDMETHODIMP SetHostNames(LPCOLESTR app, LPCOLESTR obj) override;
    STDMETHODIMP Close(DWORD saveOption) override;
    STDMETHODIMP SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
    STDMETHODIMP DoVerb(LONG verb, LPMSG msg, IOleClientSite* site, LONG index, HWND parent,
                        LPCRECT posRect) override;
    STDMETHODIMP EnumVerbs(IEnumOLEVERB**) override { return E_NOTIMPL; }
    STDMETHODIMP Update() override { return S_OK; }
    STDMETHODIMP IsUpToDate() override { return S_OK; }
    STDMETHODIMP GetUserClassID(CLSID* clsid) override;
    STDMETHODIMP GetUserType(DWORD, LPOLESTR*) override { return OLE_S_USEREG; }
    STDMETHODIMP SetExtent(DWORD aspect, SIZEL* size) override;
    STDMETHODIMP GetExtent(DWORD aspect, SIZEL* size) override;
    STDMETHODIMP Advise(IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP Unadvise(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP EnumAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
    STDMETHODIMP GetMiscStatus(DWORD aspect, DWORD* status) override;
    STDMETHODIMP SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

    // IOleWindow (shared by both in-place interfaces)
    STDMETHODIMP GetWindow(HWND* hwnd) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceObject
    STDMETHODIMP InPlaceDeactivate() override;
    STDMETHODIMP UIDeactivate() override;
    STDMETHODIMP SetObjectRects(LPCRECT pos, LPCRECT clip) override;
    STDMETHODIMP ReactivateAndUndo() override { return E_NOTIMPL; }

    // IOleInPlaceActiveObject
    STDMETHODIMP TranslateAccelerator(LPMSG) override { return S_FALSE; }
    STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }

    // IPersistStreamInit
    STDMETHODIMP GetClassID(CLSID* clsid) override;
    STDMETHODIMP IsDirty() override { return S_FALSE; }
    STDMETHODIMP Load(LPSTREAM) override { return S_OK; }
    STDMETHODIMP Save(LPSTREAM, BOOL) override { return S_OK; }
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override;
    STDMETHODIMP InitNew() override { return S_OK; }

    // IPersistPropertyBag: the container's stored settings, by name
    STDMETHODIMP Load(IPropertyBag* bag, IErrorLog* log) override;
    STDMETHODIMP Save(IPropertyBag*, BOOL, BOOL) override { return E_NOTIMPL; }

    // IViewObject2
    STDMETHODIMP Draw(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* device,
                      HDC targetDc, HDC drawDc, LPCRECTL bounds, LPCRECTL wBounds,
                      BOOL(STDMETHODCALLTYPE* cont)(ULONG_PTR), ULONG_PTR contArg) override;
    STDMETHODIMP GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE**) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP Freeze(DWORD, LONG, void*, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP Unfreeze(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) override;
    STDMETHODIMP GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override;
    STDMETHODIMP GetExtent(DWORD aspect, LONG index, DVTARGETDEVICE* device, LPSIZEL size) override;

    // IOleControl
    STDMETHODIMP GetControlInfo(CONTROLINFO* info) override;
    STDMETHODIMP OnMnemonic(MSG*) override { return E_NOTIMPL; }
    STDMETHODIMP OnAmbientPropertyChange(DISPID) override { return S_OK; }
    STDMETHODIMP FreezeEvents(BOOL) override { return S_OK; }

    // IDispatch
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return DISP_E_BADINDEX; }
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                               DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* excep, UINT* argErr) override;

    // IConnectionPointContainer
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** out) override;
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** out) override;

private:
    // The connection point of the event interface: a part of the control (it shares the
    // control's reference count), separate only because its Unadvise would clash with
    // IOleObject's.
    class EventPoint final : public IConnectionPoint {
    public:
        explicit EventPoint(PlayerControl& owner) : owner_(owner) {}
        STDMETHODIMP QueryInterface(REFIID riid, void** out) override;
        STDMETHODIMP_(ULONG) AddRef() override { return owner_.AddRef(); }
        STDMETHODIMP_(ULONG) Release() override { return owner_.Release(); }
        STDMETHODIMP GetConnectionInterface(IID* iid) override;
        STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** out) override;
        STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
        STDMETHODIMP Unadvise(DWORD cookie) override;
        STDMETHODIMP EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

    private:
        PlayerControl& owner_;
    };

    PlayerControl();
    ~PlayerControl();

    // PlayerWindowOwner
    void OnFrameTimer() override;
    void OnPaint(HDC dc, const RECT& client) override;
    void OnFireRequest(const std::wstring& command, const std::wstring& args) override;
    bool OnMouseInput(UINT msg, int x, int y) override;
    bool OnKeyInput(bool down, int keyCode, char32_t character) override;
    bool WantsHand() const override;

    // swf::PlayerHost
    void FsCommand(const std::string& command, const std::string& args) override;
    void TraceOutput(const std::string& text) override;
    void Problem(const std::string& text) override;
    // Files beside the movie, by a relative address.
    std::optional<std::string> ReadFile(std::string_view url) override;
    audio::Mp3Decoder* Mp3() override { return &mp3_; }

    // WaveSource
    void Fill(std::int16_t* out, std::size_t frames) override;
    bool Sounding() override;

    HRESULT InPlaceActivate(LONG verb, HWND parent, LPCRECT posRect);
    void ShowWindow(bool show);
    void FireFsCommand(const std::wstring& command, const std::wstring& args);
    void LoadMovie(const std::wstring& path);
    // Runs the frame timer at the movie's rate while ticks can change something; over quiet
    // frames it wakes only for the frame after them.
    void UpdateTimer();
    // Plays the frames the clock has made due: by the timer all of them, at least one;
    // otherwise only while the timer sleeps through quiet frames, so whoever looks at the
    // movie next finds it where it would stand.
    void PlayDueFrames(bool timer);
    bool MoveMouse(UINT msg, int x, int y);

    HRESULT PutProperty(DISPID id, const VARIANT& value, UINT* argErr);
    HRESULT GetProperty(DISPID id, VARIANT* result);
    HRESULT CallMethod(DISPID id, DISPPARAMS* params, VARIANT* result, UINT* argErr);

    struct Sink {
        DWORD cookie;
        IDispatch* dispatch;
    };

    LONG refs_ = 1;
    IOleClientSite* site_ = nullptr;
    IOleInPlaceSite* inPlaceSite_ = nullptr;
    IAdviseSink* viewSink_ = nullptr;
    DWORD viewAspects_ = 0;
    DWORD viewFlags_ = 0;
    SIZEL extent_{21167, 15875}; // 800 x 600 pixels at 96 dpi, in HIMETRIC
    RECT pos_{0, 0, 800, 600};
    PlayerWindow window_;
    EventPoint events_{*this};
    std::vector<Sink> sinks_;
    DWORD nextCookie_ = 1;

    AcmMp3Decoder mp3_;
    swf::Player player_;
    // What the window showed at its last paint; a frame that leaves it so paints nothing.
    std::optional<swf::Picture> painted_;
    bool coasting_ = false;  // the timer sleeps through quiet frames
    int framesUnderWay_ = 0; // PlayDueFrames calls not yet returned
    // After the player: it pulls the player's mix, so it goes first.
    WaveOut sound_{static_cast<WaveSource&>(*this)};
    std::wstring movie_;
    std::wstring flashVars_;
    std::wstring wmode_ = L"Window";
    LONG scaleMode_ = 0;
    // Kept as given: the picture is drawn one way and every script may reach out.
    std::wstring quality_ = L"High";
    std::wstring scriptAccess_ = L"sameDomain";
};

} // namespace fw::player
