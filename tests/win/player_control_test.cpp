// wine-shares: sound
// The stand-in player control as a container sees it: registration with regsvr32, creation by
// class id, in-place activation in a minimal site, the dispatch ids, FSCommand events, the
// fire requests and the trace file.

#include "ocx/dispids.h"
#include "ocx/fire_protocol.h"
#include "swf/writer.h"
#include "program_names.h"
#include "swf_volume_loop_movie.h"
#include "win/strings.h"

#include <gtest/gtest.h>
#include <ocidl.h>
#include <ole2.h>
#include <olectl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace fw::player;
using Events = std::vector<std::pair<std::wstring, std::wstring>>;

std::wstring SwfFolder() {
    return fw::win::ExeFolder() + L"..\\..\\cd\\SWF\\";
}

// The legacy control, a fixture the CD does not ship.
std::wstring FixtureFolder() {
    return fw::win::ExeFolder() + L"..\\fixtures\\";
}

std::wstring FullPath(const std::wstring& path) {
    wchar_t buf[MAX_PATH];
    DWORD n = ::GetFullPathNameW(path.c_str(), MAX_PATH, buf, nullptr);
    return n && n < MAX_PATH ? std::wstring(buf, n) : path;
}

std::wstring TempFile(const std::wstring& name) {
    wchar_t dir[MAX_PATH];
    ::GetTempPathW(MAX_PATH, dir);
    return std::wstring(dir) + L"fw_player_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
           name;
}

DWORD Regsvr32(const std::wstring& args) {
    std::wstring cmd = L"regsvr32.exe " + args;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                          &pi)) {
        return ~0u;
    }
    ::WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = ~0u;
    ::GetExitCodeProcess(pi.hProcess, &code);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return code;
}

std::wstring ReadRegText(const std::wstring& key, const wchar_t* name, bool* exists = nullptr) {
    wchar_t buf[1024];
    DWORD size = sizeof buf;
    LONG rc =
        ::RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, buf, &size);
    if (exists) {
        *exists = rc == ERROR_SUCCESS;
    }
    return rc == ERROR_SUCCESS ? std::wstring(buf) : std::wstring();
}

using fwtest::kClsidKey;

// Puts the prefix's registration of the class back as the tests found it.
class RegistrationRestorer : public ::testing::Environment {
public:
    void SetUp() override {
        before_ = ReadRegText(kClsidKey + L"\\InprocServer32", nullptr, &registered_);
    }
    void TearDown() override {
        if (registered_) {
            Regsvr32(L"/s \"" + before_ + L"\"");
        } else {
            Regsvr32(L"/u /s \"" + FullPath(SwfFolder() + L"FLASH.OCX") + L"\"");
        }
    }

private:
    bool registered_ = false;
    std::wstring before_;
};

// The smallest container site that lets a control activate in place in a window of ours.
class TestSite final : public IOleClientSite, public IOleInPlaceSite {
public:
    TestSite(HWND host, RECT pos) : host_(host), pos_(pos) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite)) {
            *out = static_cast<IOleClientSite*>(this);
        } else if (IsEqualIID(riid, IID_IOleInPlaceSite) || IsEqualIID(riid, IID_IOleWindow)) {
            *out = static_cast<IOleInPlaceSite*>(this);
        } else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override { return --refs_; } // lives on the test's stack
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP GetContainer(IOleContainer** c) override {
        *c = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }
    STDMETHODIMP GetWindow(HWND* h) override {
        *h = host_;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override {
        ++activations;
        return S_OK;
    }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos,
                                  LPRECT clip, LPOLEINPLACEFRAMEINFO info) override {
        *frame = nullptr;
        *doc = nullptr;
        *pos = pos_;
        *clip = pos_;
        info->fMDIApp = FALSE;
        info->hwndFrame = host_;
        info->haccel = nullptr;
        info->cAccelEntries = 0;
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override {
        ++deactivations;
        return S_OK;
    }
    STDMETHODIMP DiscardUndoState() override { return S_OK; }
    STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
    STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

    int activations = 0;
    int deactivations = 0;

private:
    ULONG refs_ = 1;
    HWND host_;
    RECT pos_;
};

// Receives the control's events and notes, for each FSCommand, the frame the control was on.
class EventSink final : public IDispatch {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
            IsEqualIID(riid, kPlayerEventsIid)) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override { return --refs_; }
    STDMETHODIMP GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT*, EXCEPINFO*,
                        UINT*) override {
        if (id != kDispFsCommand || p->cArgs != 2 || p->rgvarg[0].vt != VT_BSTR ||
            p->rgvarg[1].vt != VT_BSTR) {
            ++malformed;
            return S_OK;
        }
        // Arguments arrive last first: command is rgvarg[1].
        events.emplace_back(p->rgvarg[1].bstrVal ? p->rgvarg[1].bstrVal : L"",
                            p->rgvarg[0].bstrVal ? p->rgvarg[0].bstrVal : L"");
        if (frameOf) {
            frames.push_back(frameOf());
        }
        return S_OK;
    }
    ULONG refs() const { return refs_; }

    Events events;
    std::vector<long> frames;
    int malformed = 0;
    std::function<long()> frameOf;

private:
    ULONG refs_ = 1;
};

template <typename T> class Com {
public:
    Com() = default;
    ~Com() { reset(); }
    Com(const Com&) = delete;
    Com& operator=(const Com&) = delete;
    T** put() {
        reset();
        return &p_;
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    void reset() {
        if (p_) {
            p_->Release();
            p_ = nullptr;
        }
    }

private:
    T* p_ = nullptr;
};

HRESULT Put(IDispatch* d, DISPID id, VARIANT value) {
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS p{&value, &named, 1, 1};
    return d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &p, nullptr, nullptr,
                     nullptr);
}

HRESULT PutText(IDispatch* d, DISPID id, const std::wstring& text) {
    VARIANT v;
    v.vt = VT_BSTR;
    v.bstrVal = ::SysAllocString(text.c_str());
    HRESULT hr = Put(d, id, v);
    ::SysFreeString(v.bstrVal); // the caller frees what it passes
    return hr;
}

HRESULT PutInt(IDispatch* d, DISPID id, long n) {
    VARIANT v;
    v.vt = VT_I4;
    v.lVal = n;
    return Put(d, id, v);
}

HRESULT Get(IDispatch* d, DISPID id, VARIANT* out) {
    DISPPARAMS p{nullptr, nullptr, 0, 0};
    ::VariantInit(out);
    return d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &p, out, nullptr,
                     nullptr);
}

std::wstring GetText(IDispatch* d, DISPID id) {
    VARIANT v;
    EXPECT_EQ(Get(d, id, &v), S_OK) << "property " << id;
    std::wstring s = v.vt == VT_BSTR && v.bstrVal ? v.bstrVal : L"";
    ::VariantClear(&v);
    return s;
}

bool GetBool(IDispatch* d, DISPID id) {
    VARIANT v;
    EXPECT_EQ(Get(d, id, &v), S_OK) << "property " << id;
    EXPECT_EQ(v.vt, VT_BOOL);
    bool b = v.vt == VT_BOOL && v.boolVal != VARIANT_FALSE;
    ::VariantClear(&v);
    return b;
}

long GetLong(IDispatch* d, DISPID id) {
    VARIANT v;
    EXPECT_EQ(Get(d, id, &v), S_OK) << "property " << id;
    long n = v.vt == VT_I4 ? v.lVal : -1;
    ::VariantClear(&v);
    return n;
}

// Calls a method with text arguments given first to last.
HRESULT Call(IDispatch* d, DISPID id, const std::vector<std::wstring>& args,
             VARIANT* result = nullptr) {
    std::vector<VARIANT> argv(args.size());
    for (std::size_t i = 0; i < args.size(); ++i) {
        VARIANT& v = argv[args.size() - 1 - i];
        v.vt = VT_BSTR;
        v.bstrVal = ::SysAllocString(args[i].c_str());
    }
    DISPPARAMS p{argv.data(), nullptr, static_cast<UINT>(argv.size()), 0};
    HRESULT hr =
        d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &p, result, nullptr, nullptr);
    for (auto& v : argv) {
        ::VariantClear(&v);
    }
    return hr;
}

std::wstring CallText(IDispatch* d, DISPID id, const std::vector<std::wstring>& args) {
    VARIANT r;
    ::VariantInit(&r);
    EXPECT_EQ(Call(d, id, args, &r), S_OK);
    std::wstring s = r.vt == VT_BSTR && r.bstrVal ? r.bstrVal : L"";
    ::VariantClear(&r);
    return s;
}

// Runs the message loop until the condition holds. The limit only keeps a broken control
// from hanging the run; the assertion that follows reports what was missing.
bool PumpUntil(const std::function<bool()>& done, DWORD limitMs = 30000) {
    DWORD start = ::GetTickCount();
    while (!done()) {
        if (::GetTickCount() - start > limitMs) {
            return false;
        }
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return true;
}

void PumpPending() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

void WriteFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes) {
    FILE* f = _wfopen(path.c_str(), L"wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

std::vector<std::wstring> ReadLines(const std::wstring& path) {
    std::string all;
    if (FILE* f = _wfopen(path.c_str(), L"rb")) {
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
            all.append(buf, n);
        }
        std::fclose(f);
    }
    std::vector<std::wstring> lines;
    std::string line;
    std::istringstream text(all);
    while (std::getline(text, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(fw::win::FromUtf8(line));
    }
    return lines;
}

// A movie that sends fscommand("save level", "3") on frame 2 and ("quit", "") on frame 5.
std::vector<std::uint8_t> FiveFrameMovie(double rate) {
    using namespace fw::swf;
    MovieWriter w(MovieOptions{6, 400, 300, rate, true});
    w.Background(Rgb{0x20, 0x40, 0x80});
    for (int frame = 1; frame <= 5; ++frame) {
        if (frame == 2) {
            w.Actions(ActionWriter().FsCommand("save level", "3"));
        }
        if (frame == 5) {
            w.Actions(ActionWriter().FsCommand("quit", "").Do(Op::Stop));
        }
        w.ShowFrame();
    }
    return w.Finish();
}

// One frame that copies the parameter "greeting" to "echo" and stops.
std::vector<std::uint8_t> EchoMovie() {
    using namespace fw::swf;
    MovieWriter w(MovieOptions{6, 400, 300, 12, false});
    w.Actions(ActionWriter()
                  .Push({std::string("echo"), std::string("greeting")})
                  .Do(Op::GetVariable)
                  .Do(Op::SetVariable)
                  .Do(Op::Stop));
    w.ShowFrame();
    return w.Finish();
}

// One visible window hosts the controls of all tests: under Wine without a window manager,
// hiding a top-level window waits for the X server for seconds.
HWND g_host = nullptr;

HWND HostWindow() {
    if (!g_host) {
        g_host = ::CreateWindowExW(0, L"STATIC", L"player host",
                                   WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 640,
                                   480, nullptr, nullptr, nullptr, nullptr);
    }
    return g_host;
}

class PlayerControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        trace_ = TempFile(L"trace.txt");
        ::DeleteFileW(trace_.c_str());
        ::SetEnvironmentVariableW(kTraceVariable, trace_.c_str());
        host_ = HostWindow();
        ASSERT_NE(host_, nullptr);
    }
    void TearDown() override {
        Destroy();
        ::SetEnvironmentVariableW(kTraceVariable, nullptr);
        ::DeleteFileW(trace_.c_str());
        for (const auto& f : files_) {
            ::DeleteFileW(f.c_str());
        }
    }

    static void Register(const wchar_t* file, const std::wstring& folder = SwfFolder()) {
        std::wstring path = FullPath(folder + file);
        ASSERT_NE(::GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES) << "missing control";
        DWORD rc = Regsvr32(L"/s \"" + path + L"\"");
        ASSERT_EQ(rc, 0u) << "regsvr32 /s " << fw::win::ToUtf8(path);
    }

    // Creates and activates the control the way a container does.
    void CreateAndActivate() {
        HRESULT hr = ::CoCreateInstance(kPlayerClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                        reinterpret_cast<void**>(object_.put()));
        ASSERT_EQ(hr, S_OK) << std::hex << hr;
        DWORD misc = 0;
        ASSERT_EQ(object_->GetMiscStatus(DVASPECT_CONTENT, &misc), S_OK);
        EXPECT_TRUE(misc & OLEMISC_SETCLIENTSITEFIRST);
        ASSERT_EQ(object_->SetClientSite(&site_), S_OK);
        Com<IPersistStreamInit> persist;
        ASSERT_EQ(object_->QueryInterface(IID_IPersistStreamInit,
                                          reinterpret_cast<void**>(persist.put())),
                  S_OK);
        ASSERT_EQ(persist->InitNew(), S_OK);
        ASSERT_EQ(object_->SetHostNames(L"test", nullptr), S_OK);
        ASSERT_EQ(object_->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(dispatch_.put())),
                  S_OK);
        Com<IConnectionPointContainer> cpc;
        ASSERT_EQ(object_->QueryInterface(IID_IConnectionPointContainer,
                                          reinterpret_cast<void**>(cpc.put())),
                  S_OK);
        ASSERT_EQ(cpc->FindConnectionPoint(kPlayerEventsIid, point_.put()), S_OK);
        ASSERT_EQ(point_->Advise(&sink_, &cookie_), S_OK);
        IDispatch* d = dispatch_.get();
        sink_.frameOf = [d] { return GetLong(d, kDispCurrentFrame); };
        RECT pos{0, 0, 400, 300};
        ASSERT_EQ(object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site_, 0, host_, &pos), S_OK);
        Com<IOleInPlaceObject> inplace;
        ASSERT_EQ(
            object_->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(inplace.put())),
            S_OK);
        ASSERT_EQ(inplace->GetWindow(&window_), S_OK);
        ASSERT_NE(window_, nullptr);
    }

    void Destroy() {
        if (point_) {
            point_->Unadvise(cookie_);
            point_.reset();
        }
        dispatch_.reset();
        if (object_) {
            object_->Close(OLECLOSE_NOSAVE);
            object_->SetClientSite(nullptr);
            object_.reset();
        }
        PumpPending();
    }

    std::wstring Movie(const std::wstring& name, const std::vector<std::uint8_t>& bytes) {
        std::wstring path = TempFile(name);
        WriteFile(path, bytes);
        files_.push_back(path);
        return path;
    }

    std::vector<std::wstring> Trace() { return ReadLines(trace_); }

    std::wstring trace_;
    HWND host_ = nullptr;
    TestSite site_{nullptr, RECT{0, 0, 400, 300}};
    EventSink sink_;
    Com<IOleObject> object_;
    Com<IDispatch> dispatch_;
    Com<IConnectionPoint> point_;
    DWORD cookie_ = 0;
    HWND window_ = nullptr;
    std::vector<std::wstring> files_;
};

class HostedPlayerTest : public PlayerControlTest {
protected:
    static void SetUpTestSuite() { Register(L"FLASH.OCX"); }
    void SetUp() override {
        PlayerControlTest::SetUp();
        site_ = TestSite(host_, RECT{0, 0, 400, 300});
        CreateAndActivate();
    }
};

class LegacyPlayerTest : public PlayerControlTest {};

TEST_F(PlayerControlTest, RegistersItsClassForCreationByClassId) {
    std::wstring path = FullPath(SwfFolder() + L"FLASH.OCX");
    ASSERT_EQ(Regsvr32(L"/u /s \"" + path + L"\""), 0u);
    IUnknown* unknown = nullptr;
    HRESULT hr = ::CoCreateInstance(kPlayerClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                    reinterpret_cast<void**>(&unknown));
    EXPECT_EQ(hr, REGDB_E_CLASSNOTREG)
        << "expected REGDB_E_CLASSNOTREG after unregistering, got " << std::hex << hr;

    Register(L"FLASH.OCX");
    struct Case {
        std::wstring key;
        const wchar_t* name;
        std::wstring value;
    };
    const Case cases[] = {
        {kClsidKey + L"\\InprocServer32", nullptr, path},
        {kClsidKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {kClsidKey + L"\\ProgID", nullptr, kProgId},
        {kClsidKey + L"\\Control", nullptr, L""},
        {std::wstring(kProgId) + L"\\CLSID", nullptr, L"{D27CDB6E-AE6D-11CF-96B8-444553540000}"},
    };
    for (const auto& c : cases) {
        bool exists = false;
        std::wstring got = ReadRegText(c.key, c.name, &exists);
        EXPECT_TRUE(exists) << "expected key " << fw::win::ToUtf8(c.key);
        EXPECT_EQ(::lstrcmpiW(got.c_str(), c.value.c_str()), 0)
            << "expected " << fw::win::ToUtf8(c.value) << ", got " << fw::win::ToUtf8(got);
    }
    CLSID fromProgId{};
    EXPECT_EQ(::CLSIDFromProgID(kProgId, &fromProgId), S_OK);
    EXPECT_TRUE(IsEqualCLSID(fromProgId, kPlayerClsid));

    hr = ::CoCreateInstance(kPlayerClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                            reinterpret_cast<void**>(&unknown));
    ASSERT_EQ(hr, S_OK) << std::hex << hr;
    unknown->Release();
}

TEST_F(HostedPlayerTest, AnswersEveryNameWithItsId) {
    struct Case {
        const wchar_t* name;
        DISPID id;
    };
    const Case cases[] = {
        {L"Movie", 102},
        {L"ScaleMode", 120},
        {L"WMode", 133},
        {L"SetVariable", 151},
        {L"GetVariable", 152},
        {L"FlashVars", 170},
        {L"movie", 102},
        {L"FLASHVARS", 170},
        {L"Play", kDispPlay},
        {L"Stop", kDispStop},
        {L"Playing", kDispPlaying},
        {L"CurrentFrame", kDispCurrentFrame},
        {L"TotalFrames", kDispTotalFrames},
    };
    for (const auto& c : cases) {
        LPOLESTR name = const_cast<LPOLESTR>(c.name);
        DISPID id = 0;
        EXPECT_EQ(dispatch_->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id), S_OK)
            << fw::win::ToUtf8(c.name);
        EXPECT_EQ(id, c.id) << fw::win::ToUtf8(c.name);
    }
    LPOLESTR unknown = const_cast<LPOLESTR>(L"NoSuchMember");
    DISPID id = 0;
    EXPECT_EQ(dispatch_->GetIDsOfNames(IID_NULL, &unknown, 1, LOCALE_USER_DEFAULT, &id),
              DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);
}

TEST_F(HostedPlayerTest, TakesPropertiesAndVariablesAndTracesEachCall) {
    std::wstring path = Movie(L"echo.swf", EchoMovie());
    ASSERT_EQ(PutText(dispatch_.get(), kDispMovie, path), S_OK);
    ASSERT_EQ(PutText(dispatch_.get(), kDispFlashVars, L"greeting=Hello+world%21&level=3&"), S_OK);
    ASSERT_EQ(PutInt(dispatch_.get(), kDispScaleMode, 0), S_OK);
    ASSERT_EQ(PutText(dispatch_.get(), kDispWMode, L"transparent"), S_OK);
    ASSERT_EQ(Call(dispatch_.get(), kDispSetVariable, {L"_root.currentvolume", L"15"}), S_OK);
    EXPECT_EQ(GetText(dispatch_.get(), kDispMovie), path);
    EXPECT_EQ(GetText(dispatch_.get(), kDispWMode), L"transparent");
    EXPECT_EQ(GetLong(dispatch_.get(), kDispScaleMode), 0);
    // The first frame runs from the timer; it reads the parameter given after the movie.
    ASSERT_TRUE(
        PumpUntil([&] { return !CallText(dispatch_.get(), kDispGetVariable, {L"echo"}).empty(); }));

    struct Case {
        const wchar_t* name;
        const wchar_t* value;
    };
    const Case variables[] = {
        {L"echo", L"Hello world!"}, {L"greeting", L"Hello world!"},    {L"_root.level", L"3"},
        {L"currentvolume", L"15"},  {L"_level0.currentvolume", L"15"}, {L"missing", L""},
    };
    for (const auto& c : variables) {
        EXPECT_EQ(CallText(dispatch_.get(), kDispGetVariable, {c.name}), c.value)
            << fw::win::ToUtf8(c.name);
    }

    const std::vector<std::wstring> expected = {
        L"verb\t-5",
        L"rects\t0\t0\t400\t300",
        L"show",
        L"put\tMovie\t" + path,
        L"load\t" + path + L"\t1 frames",
        L"put\tFlashVars\tgreeting=Hello+world%2521&level=3&", // '%' is written as %25
        L"put\tScaleMode\t0",
        L"put\tWMode\ttransparent",
        L"call\tSetVariable\t_root.currentvolume\t15",
        L"get\tMovie",
        L"get\tWMode",
        L"get\tScaleMode",
    };
    auto lines = Trace();
    ASSERT_GE(lines.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(lines[i], expected[i]) << "line " << i;
    }
}

TEST_F(HostedPlayerTest, FiresTheMoviesCommandsOnTheirFramesInOrder) {
    std::wstring path = Movie(L"five.swf", FiveFrameMovie(30));
    ASSERT_EQ(PutText(dispatch_.get(), kDispMovie, path), S_OK);
    EXPECT_EQ(GetLong(dispatch_.get(), kDispTotalFrames), 5);
    ASSERT_TRUE(PumpUntil([&] { return sink_.events.size() >= 2; }))
        << "expected 2 events, got " << sink_.events.size();
    // A few more frames pass: the movie has stopped, nothing more arrives.
    ASSERT_TRUE(PumpUntil([&] { return !GetBool(dispatch_.get(), kDispPlaying); }));
    PumpPending();
    EXPECT_EQ(sink_.events, (Events{{L"save level", L"3"}, {L"quit", L""}}));
    EXPECT_EQ(sink_.frames, (std::vector<long>{1, 4})); // frames 2 and 5, counted from 0
    EXPECT_EQ(sink_.malformed, 0);
    auto lines = Trace();
    std::vector<std::wstring> fired;
    for (const auto& l : lines) {
        if (l.rfind(L"FSCommand\t", 0) == 0) {
            fired.push_back(l);
        }
    }
    EXPECT_EQ(fired,
              (std::vector<std::wstring>{L"FSCommand\tsave level\t3", L"FSCommand\tquit\t"}));
}

TEST_F(HostedPlayerTest, FiresOnRequestThroughTheWindowProtocol) {
    EXPECT_EQ(FindPlayerWindow(host_), window_);
    struct Case {
        std::wstring command;
        std::wstring args;
    };
    const Case cases[] = {
        {L"setvolume", L"15"}, {L"print", L""}, {L"save\u0416", L"a\tb"}, {L"", L""}};
    for (const auto& c : cases) {
        EXPECT_TRUE(SendFireRequest(window_, c.command, c.args));
    }
    // Requests that are not ours are refused and fire nothing.
    wchar_t odd[] = L"x";
    COPYDATASTRUCT wrongTag{FireRequestTag() + 1, sizeof odd, odd};
    EXPECT_EQ(::SendMessageW(window_, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&wrongTag)), FALSE);
    COPYDATASTRUCT oddSize{FireRequestTag(), 3, odd};
    EXPECT_EQ(::SendMessageW(window_, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&oddSize)), FALSE);

    ASSERT_TRUE(PumpUntil([&] { return sink_.events.size() >= 4; }));
    PumpPending();
    EXPECT_EQ(
        sink_.events,
        (Events{{L"setvolume", L"15"}, {L"print", L""}, {L"save\u0416", L"a\tb"}, {L"", L""}}));
    auto lines = Trace();
    EXPECT_NE(std::find(lines.begin(), lines.end(), L"FSCommand\tsave\u0416\ta%09b"), lines.end());
}

TEST_F(HostedPlayerTest, TracesPlacementVisibilityAndMouseButtons) {
    Com<IOleInPlaceObject> inplace;
    ASSERT_EQ(
        object_->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(inplace.put())),
        S_OK);
    RECT pos{10, 20, 310, 220};
    ASSERT_EQ(inplace->SetObjectRects(&pos, &pos), S_OK);
    RECT r;
    ::GetWindowRect(window_, &r);
    ::MapWindowPoints(nullptr, host_, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.top, 20);
    EXPECT_EQ(r.right - r.left, 300);
    EXPECT_EQ(r.bottom - r.top, 200);

    EXPECT_EQ(object_->DoVerb(OLEIVERB_HIDE, nullptr, &site_, 0, host_, nullptr), S_OK);
    EXPECT_FALSE(::IsWindowVisible(window_));
    EXPECT_EQ(object_->DoVerb(OLEIVERB_SHOW, nullptr, &site_, 0, host_, nullptr), S_OK);
    EXPECT_TRUE(::IsWindowVisible(window_));

    const UINT buttons[] = {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN, WM_RBUTTONUP};
    for (UINT m : buttons) {
        ::PostMessageW(window_, m, 0, MAKELPARAM(12, 34));
    }
    PumpPending();

    const std::vector<std::wstring> expected = {
        L"rects\t10\t20\t310\t220",
        L"verb\t-3",
        L"hide",
        L"verb\t-1",
        L"show",
        L"mouse\tWM_LBUTTONDOWN\t12\t34",
        L"mouse\tWM_LBUTTONUP\t12\t34",
        L"mouse\tWM_RBUTTONDOWN\t12\t34",
        L"mouse\tWM_RBUTTONUP\t12\t34",
    };
    auto lines = Trace();
    // Skip what the activation wrote.
    auto start = std::find(lines.begin(), lines.end(), expected[0]);
    ASSERT_NE(start, lines.end());
    std::vector<std::wstring> got(start, lines.end());
    EXPECT_EQ(got, expected);
}

// The movie's own trace lines in the trace file, unescaped, one a line as the runner prints them.
std::string TracedText(const std::vector<std::wstring>& lines) {
    std::string text;
    for (const auto& line : lines) {
        if (line.rfind(L"trace\t", 0) != 0) {
            continue;
        }
        std::string escaped = fw::win::ToUtf8(line.substr(6));
        for (std::size_t i = 0; i < escaped.size(); ++i) {
            if (escaped[i] == '%' && i + 2 < escaped.size()) {
                text += static_cast<char>(std::stoi(escaped.substr(i + 1, 2), nullptr, 16));
                i += 2;
            } else {
                text += escaped[i];
            }
        }
        text += '\n';
    }
    return text;
}

// Movies of the conformance corpus give through the control the trace they give in the runner:
// the machine behind both is one. The control goes on past the frames the corpus counts, so
// what it traced first is compared.
TEST_F(HostedPlayerTest, PlaysConformanceMoviesWithTheirTrace) {
    std::wstring corpus = L"Z:" + fw::win::FromUtf8(FW_CORPUS_DIR);
    std::replace(corpus.begin(), corpus.end(), L'/', L'\\');
    if (::GetFileAttributesW(corpus.c_str()) == INVALID_FILE_ATTRIBUTES) {
        GTEST_SKIP() << "no corpus at " << FW_CORPUS_DIR;
    }
    // loadmovie reads another movie from beside its own.
    for (const wchar_t* name : {L"as_broadcaster", L"define_function2", L"logical_ops_swf4",
                                L"parse_float", L"try_catch_finally", L"unescape", L"loadmovie"}) {
        std::wstring folder = corpus + L"\\" + name + L"\\";
        std::string expected;
        for (const auto& line : ReadLines(folder + L"output.txt")) {
            expected += fw::win::ToUtf8(line) + '\n';
        }
        ASSERT_FALSE(expected.empty()) << fw::win::ToUtf8(name);
        ::DeleteFileW(trace_.c_str());
        ASSERT_EQ(PutText(dispatch_.get(), kDispMovie, folder + L"test.swf"), S_OK);
        std::string traced;
        PumpUntil(
            [&] {
                traced = TracedText(Trace());
                return traced.size() >= expected.size();
            },
            20000);
        EXPECT_EQ(expected, traced.substr(0, expected.size())) << fw::win::ToUtf8(name);
    }
}

TEST_F(HostedPlayerTest, RefusesMalformedCalls) {
    VARIANT text;
    text.vt = VT_BSTR;
    text.bstrVal = ::SysAllocString(L"x");
    struct Case {
        const char* what;
        DISPID id;
        WORD flags;
        UINT args;
        UINT named;
        HRESULT expected;
    };
    DISPID putId = DISPID_PROPERTYPUT;
    const Case cases[] = {
        {"put without the named argument", kDispMovie, DISPATCH_PROPERTYPUT, 1, 0,
         DISP_E_PARAMNOTFOUND},
        {"put with no value", kDispMovie, DISPATCH_PROPERTYPUT, 0, 0, DISP_E_BADPARAMCOUNT},
        {"SetVariable with one argument", kDispSetVariable, DISPATCH_METHOD, 1, 0,
         DISP_E_BADPARAMCOUNT},
        {"GetVariable with no argument", kDispGetVariable, DISPATCH_METHOD, 0, 0,
         DISP_E_BADPARAMCOUNT},
        {"unknown id", 9999, DISPATCH_PROPERTYGET, 0, 0, DISP_E_MEMBERNOTFOUND},
        {"put of a read-only property", kDispTotalFrames, DISPATCH_PROPERTYPUT, 1, 1,
         DISP_E_MEMBERNOTFOUND},
    };
    for (const auto& c : cases) {
        DISPPARAMS p{c.args ? &text : nullptr, c.named ? &putId : nullptr, c.args, c.named};
        VARIANT result;
        ::VariantInit(&result);
        HRESULT hr = dispatch_->Invoke(c.id, IID_NULL, LOCALE_USER_DEFAULT, c.flags, &p, &result,
                                       nullptr, nullptr);
        EXPECT_EQ(hr, c.expected) << c.what << ": expected " << std::hex << c.expected << ", got "
                                  << hr;
        ::VariantClear(&result);
    }
    VARIANT object;
    object.vt = VT_UNKNOWN;
    object.punkVal = nullptr;
    EXPECT_EQ(Put(dispatch_.get(), kDispScaleMode, object), DISP_E_TYPEMISMATCH);
    ::SysFreeString(text.bstrVal);
}

TEST_F(HostedPlayerTest, ShowsAFileThatIsNoMovieAsAnEmptyOne) {
    std::wstring notMovie = Movie(L"text.swf", std::vector<std::uint8_t>{'h', 'e', 'l', 'l', 'o'});
    ASSERT_EQ(PutText(dispatch_.get(), kDispMovie, notMovie), S_OK);
    std::wstring missing = TempFile(L"absent.swf");
    ASSERT_EQ(PutText(dispatch_.get(), kDispMovie, missing), S_OK);
    EXPECT_EQ(GetText(dispatch_.get(), kDispMovie), missing); // read back as written
    ASSERT_EQ(Call(dispatch_.get(), kDispSetVariable, {L"x", L"1"}), S_OK);
    EXPECT_EQ(CallText(dispatch_.get(), kDispGetVariable, {L"x"}), L"1");
    auto lines = Trace();
    EXPECT_NE(std::find(lines.begin(), lines.end(), L"load\t" + notMovie + L"\tnot a movie"),
              lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), L"problem\tnot a movie file"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), L"load\t" + missing + L"\tnot found"),
              lines.end());
}

// Draws the picture into a bitmap of ours and answers its pixels, top row first.
std::vector<COLORREF> DrawToBitmap(IOleObject* object, int width, int height) {
    Com<IViewObject2> view;
    EXPECT_EQ(object->QueryInterface(IID_IViewObject2, reinterpret_cast<void**>(view.put())), S_OK);
    HDC screen = ::GetDC(nullptr);
    HDC dc = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
    ::ReleaseDC(nullptr, screen);
    HGDIOBJ old = ::SelectObject(dc, bitmap);
    RECTL bounds{0, 0, width, height};
    EXPECT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr,
                         nullptr, 0),
              S_OK);
    std::vector<COLORREF> pixels;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            pixels.push_back(::GetPixel(dc, x, y));
        }
    }
    ::SelectObject(dc, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(dc);
    return pixels;
}

TEST_F(HostedPlayerTest, DrawsTheBackgroundAndTheVariables) {
    const COLORREF background = RGB(0x20, 0x40, 0x80); // the five-frame movie's colour
    const int w = 160;
    const int h = 60;
    struct Case {
        const char* what;
        std::vector<std::wstring> variables;
        bool text;
    };
    const Case cases[] = {
        {"no variables", {}, false},
        {"one variable", {L"currentvolume", L"15"}, true},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(PutText(dispatch_.get(), kDispMovie, Movie(L"bg.swf", FiveFrameMovie(1))), S_OK);
        if (!c.variables.empty()) {
            ASSERT_EQ(Call(dispatch_.get(), kDispSetVariable, c.variables), S_OK);
        }
        auto pixels = DrawToBitmap(object_.get(), w, h);
        std::size_t other = 0;
        for (COLORREF p : pixels) {
            other += p != background;
        }
        // Bottom right stays background; the text, when there is some, changes the top left.
        EXPECT_EQ(pixels.back(), background)
            << c.what << ": expected " << std::hex << background << ", got " << pixels.back();
        EXPECT_EQ(other > 0, c.text) << c.what << ": " << other << " pixels differ";
        EXPECT_LT(other, pixels.size() / 4) << c.what;
    }
}

// Puts at depth 1 a button that shows, and is hit on, a red square (in twips), acting as given.
void PlaceRedButton(fw::swf::MovieWriter& w, double at, double side,
                    std::vector<fw::swf::ButtonAction> actions) {
    using namespace fw::swf;
    ShapeBuilder sb(1, 32);
    sb.Style(0, sb.Fill(Rgba{200, 0, 0, 255}), 0).Rect(at, at, side, side);
    w.DefineShape(sb.Build());
    Button button;
    button.id = 2;
    button.records = {ButtonRecord{kStateUp | kStateOver | kStateDown | kStateHit, 1, 1, Matrix{},
                                   ColorTransform{}}};
    button.actions = std::move(actions);
    w.DefineButton2(button);
    Placement p;
    p.depth = 1;
    p.character = 2;
    w.Place(p);
}

// A 400x300 movie with one button whose hit square covers pixels 100..200 both ways, saying
// "ready" on its first frame; the button also answers a few keys.
std::vector<std::uint8_t> ButtonMovie() {
    using namespace fw::swf;
    MovieWriter w(MovieOptions{6, 400, 300, 12, false});
    PlaceRedButton(
        w, 2000, 2000,
        {
            ButtonAction{kCondRelease, 0, ActionWriter().FsCommand("pressed", "").Finish()},
            ButtonAction{0, 32, ActionWriter().FsCommand("key", "space").Finish()},
            ButtonAction{0, 19, ActionWriter().FsCommand("key", "escape").Finish()},
            ButtonAction{0, 1, ActionWriter().FsCommand("key", "left").Finish()},
            ButtonAction{0, 'q', ActionWriter().FsCommand("key", "q").Finish()},
        });
    w.Actions(ActionWriter().FsCommand("ready", "").Do(Op::Stop));
    w.ShowFrame();
    return w.Finish();
}

// Puts the pointer back where the test found it.
class CursorPosRestorer {
public:
    CursorPosRestorer() { had_ = ::GetCursorPos(&pos_) != FALSE; }
    ~CursorPosRestorer() {
        if (had_) {
            ::SetCursorPos(pos_.x, pos_.y);
        }
    }

private:
    POINT pos_{};
    bool had_ = false;
};

const wchar_t* CursorName(HCURSOR c) {
    if (c == ::LoadCursorW(nullptr, IDC_HAND)) {
        return L"hand";
    }
    if (c == ::LoadCursorW(nullptr, IDC_WAIT)) {
        return L"hourglass";
    }
    if (c == ::LoadCursorW(nullptr, IDC_ARROW)) {
        return L"arrow";
    }
    return c ? L"other" : L"none";
}

TEST_F(HostedPlayerTest, ShowsTheHandOverButtonsUnlessTheContainerIsBusy) {
    ASSERT_EQ(PutText(dispatch_.get(), kDispMovie, Movie(L"button.swf", ButtonMovie())), S_OK);
    ASSERT_TRUE(PumpUntil([&] { return !sink_.events.empty(); })) << "expected the movie to start";
    CursorPosRestorer restore;
    struct Case {
        const char* what;
        POINT at;  // in the control's client area
        bool busy; // the container sets the hourglass after every mouse move
        const wchar_t* expected;
    };
    const Case cases[] = {
        {"over the button", {150, 150}, false, L"hand"},
        {"beside the button", {300, 250}, false, L"arrow"},
        {"over the button, container busy", {150, 150}, true, L"hourglass"},
        {"beside the button, container busy", {300, 250}, true, L"hourglass"},
        {"over the button, container idle again", {120, 190}, false, L"hand"},
        {"on the button's edge outside", {99, 150}, false, L"arrow"},
    };
    for (const auto& c : cases) {
        // The pointer really goes there, so whatever the system sends on its own agrees.
        POINT screen = c.at;
        ::ClientToScreen(window_, &screen);
        ::SetCursorPos(screen.x, screen.y);
        // Two moves, each as the system delivers one: the cursor question first, then the move
        // through the container's loop, which puts its own cursor up while it is busy.
        for (int i = 0; i < 2; ++i) {
            ::SendMessageW(window_, WM_SETCURSOR, reinterpret_cast<WPARAM>(window_),
                           MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
            ::PostMessageW(window_, WM_MOUSEMOVE, 0, MAKELPARAM(c.at.x + i, c.at.y));
            MSG msg;
            while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
                if (c.busy && msg.message == WM_MOUSEMOVE) {
                    ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
                }
            }
        }
        const wchar_t* got = CursorName(::GetCursor());
        EXPECT_STREQ(got, c.expected) << c.what << ": expected " << fw::win::ToUtf8(c.expected)
                                      << ", got " << fw::win::ToUtf8(got);
    }
    // Leaving the control clears the hover: the hand is not offered outside any more.
    ::SendMessageW(window_, WM_MOUSELEAVE, 0, 0);
    ::SendMessageW(window_, WM_SETCURSOR, reinterpret_cast<WPARAM>(window_),
                   MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_STRNE(CursorName(::GetCursor()), L"hand");
}

TEST_F(HostedPlayerTest, PassesKeysToTheButtonsListeningForThem) {
    ASSERT_EQ(PutText(dispatch_.get(), kDispMovie, Movie(L"keys.swf", ButtonMovie())), S_OK);
    ASSERT_TRUE(PumpUntil([&] { return !sink_.events.empty(); })) << "expected the movie to start";
    struct Case {
        UINT msg;
        WPARAM key;
        const wchar_t* expected; // the argument of the "key" command, or nullptr for none
    };
    const Case cases[] = {
        {WM_CHAR, L' ', L"space"},      {WM_KEYDOWN, VK_ESCAPE, L"escape"},
        {WM_KEYDOWN, VK_LEFT, L"left"}, {WM_CHAR, L'q', L"q"},
        {WM_CHAR, L'Q', nullptr},       {WM_KEYDOWN, VK_RIGHT, nullptr},
        {WM_CHAR, 0x0436, nullptr}, // a Cyrillic letter: no button key code
        {WM_KEYDOWN, 'Q', nullptr}, // the key itself: only its character counts
    };
    for (const auto& c : cases) {
        sink_.events.clear();
        ::SendMessageW(window_, c.msg, c.key, 0);
        PumpPending();
        const Events expected = c.expected ? Events{{L"key", c.expected}} : Events{};
        EXPECT_EQ(sink_.events, expected) << "message " << c.msg << ", key " << c.key;
    }
}

// An empty clip that reports each key going down and up as "code,ascii" (Key.getCode and
// Key.getAscii), by its clip events.
std::vector<std::uint8_t> KeyReportMovie() {
    using namespace fw::swf;
    MovieWriter w(MovieOptions{6, 400, 300, 12, false});
    w.DefineSprite(1, MovieWriter().ShowFrame());
    auto report = [](const char* command) {
        const std::uint8_t kCallMethod[] = {0x52};
        ActionWriter a;
        a.Push({std::string("FSCommand:") + command, std::int32_t{0}, std::string("Key")})
            .Do(Op::GetVariable)
            .Push({std::string("getCode")})
            .RawBytes(kCallMethod)
            .Push({std::string(","), std::int32_t{0}, std::string("Key")})
            .Do(Op::GetVariable)
            .Push({std::string("getAscii")})
            .RawBytes(kCallMethod)
            .Do(Op::Add2)
            .Do(Op::Add2)
            .GetUrl2(0);
        return a.Finish();
    };
    Placement p;
    p.depth = 1;
    p.character = 1;
    p.clipActions = {ClipAction{1u << 6, 0, report("down")}, ClipAction{1u << 7, 0, report("up")}};
    w.Place(p);
    w.Actions(ActionWriter().FsCommand("ready", "").Do(Op::Stop));
    w.ShowFrame();
    return w.Finish();
}

TEST_F(HostedPlayerTest, PassesKeysWithTheCharactersTheyTypeAsAKeyboardSendsThem) {
    ASSERT_EQ(PutText(dispatch_.get(), kDispMovie, Movie(L"report.swf", KeyReportMovie())), S_OK);
    ASSERT_TRUE(PumpUntil([&] { return !sink_.events.empty(); })) << "expected the movie to start";
    struct Case {
        const char* what;
        WPARAM key;        // 0: the character comes alone, as an input method sends it
        wchar_t character; // what the message loop translated the key into; 0 for none
        const wchar_t* expected;
    };
    const Case cases[] = {
        {"a letter", 'A', L'a', L"65,97"},
        {"a Cyrillic letter", VK_OEM_1, 0x0436, L"186,1078"},
        {"a key that types nothing", VK_SHIFT, 0, L"16,0"},
        {"a character alone", 0, L'q', L"81,113"},
    };
    for (const auto& c : cases) {
        sink_.events.clear();
        // In the order a keyboard delivers them: the character follows its key in the queue.
        if (c.key) {
            ::PostMessageW(window_, WM_KEYDOWN, c.key, 1);
        }
        if (c.character) {
            ::PostMessageW(window_, WM_CHAR, c.character, 1);
        }
        if (c.key) {
            ::PostMessageW(window_, WM_KEYUP, c.key, 0xC0000001);
        }
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::DispatchMessageW(&msg); // translated already
        }
        const Events expected{{L"down", c.expected}, {L"up", c.expected}};
        EXPECT_EQ(sink_.events, expected) << c.what;
    }
}

// Three frames at 100 per second that stop on the first and on the last, saying so; the key
// 'p' plays on through a button. The button's red square covers the stage's top left.
std::vector<std::uint8_t> StopAndGoMovie() {
    using namespace fw::swf;
    MovieWriter w(MovieOptions{6, 400, 300, 100, false});
    PlaceRedButton(w, 0, 2000, {ButtonAction{0, 'p', ActionWriter().Do(Op::Play).Finish()}});
    w.Actions(ActionWriter().FsCommand("ready", "").Do(Op::Stop));
    w.ShowFrame();
    w.ShowFrame();
    w.Actions(ActionWriter().FsCommand("last", "").Do(Op::Stop));
    w.ShowFrame();
    return w.Finish();
}

// Runs the message loop for `ticks` ticks of a timer of the test's own, as often as the test
// movies' frames, and counts the messages of one kind that reach the player's window meanwhile.
int CountWhilePumping(HWND window, UINT message, int ticks) {
    constexpr UINT_PTR kReference = 0x7e57;
    HWND host = HostWindow();
    ::SetTimer(host, kReference, 10, nullptr);
    int seen = 0;
    int count = 0;
    PumpUntil([&] {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.hwnd == host && msg.message == WM_TIMER && msg.wParam == kReference) {
                ++seen;
            } else if (msg.hwnd == window && msg.message == message) {
                ++count;
            }
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        return seen >= ticks;
    });
    ::KillTimer(host, kReference);
    return count;
}

bool Fired(const Events& events, const wchar_t* command) {
    return std::any_of(events.begin(), events.end(),
                       [&](const auto& e) { return e.first == command; });
}

TEST_F(HostedPlayerTest, RestsItsFrameTimerWhileTheMovieStandsStill) {
    struct Case {
        const char* what;
        std::function<void(IDispatch*, HWND)> start;
    };
    const Case cases[] = {
        {"Play", [](IDispatch* d, HWND) { EXPECT_EQ(Call(d, kDispPlay, {}), S_OK); }},
        {"Playing",
         [](IDispatch* d, HWND) {
             VARIANT v;
             v.vt = VT_BOOL;
             v.boolVal = VARIANT_TRUE;
             EXPECT_EQ(Put(d, kDispPlaying, v), S_OK);
         }},
        {"a key for a button", [](IDispatch*, HWND w) { ::SendMessageW(w, WM_CHAR, L'p', 0); }},
    };
    for (const auto& c : cases) {
        sink_.events.clear();
        ASSERT_EQ(PutText(dispatch_.get(), kDispMovie, Movie(L"still.swf", StopAndGoMovie())),
                  S_OK);
        ASSERT_TRUE(PumpUntil([&] { return Fired(sink_.events, L"ready"); })) << c.what;
        EXPECT_EQ(CountWhilePumping(window_, WM_TIMER, 5), 0)
            << c.what << ": expected no frame timer on the first frame, stopped";
        EXPECT_EQ(GetLong(dispatch_.get(), kDispCurrentFrame), 0) << c.what;

        c.start(dispatch_.get(), window_);
        ASSERT_TRUE(PumpUntil([&] { return Fired(sink_.events, L"last"); }))
            << c.what << ": expected the movie to play on to its last frame";
        EXPECT_EQ(GetLong(dispatch_.get(), kDispCurrentFrame), 2) << c.what;
        EXPECT_EQ(CountWhilePumping(window_, WM_TIMER, 5), 0)
            << c.what << ": expected no frame timer on the last frame, stopped";
    }
}

TEST_F(HostedPlayerTest, RepaintsOnlyWhenThePictureChanges) {
    ASSERT_EQ(object_->DoVerb(OLEIVERB_SHOW, nullptr, &site_, 0, host_, nullptr), S_OK);
    ASSERT_EQ(PutText(dispatch_.get(), kDispMovie,
                      Movie(L"loop.swf", fw::swf::test::VolumeLoopMovie(100))),
              S_OK);
    ASSERT_TRUE(PumpUntil([&] { return Fired(sink_.events, L"sized"); }));
    ASSERT_EQ(Call(dispatch_.get(), kDispSetVariable, {L"volume", L"4"}), S_OK);
    CountWhilePumping(window_, WM_PAINT, 3); // the first pictures
    struct Step {
        const char* what;
        const wchar_t* volume; // told before pumping, nullptr: nothing told
        bool paints;
    };
    const Step steps[] = {
        {"the loop with nothing new", nullptr, false},
        {"the same volume told again", L"4", false},
        {"a new volume", L"9", true},
        {"the loop with the new volume", nullptr, false},
        {"the new volume told again", L"9", false},
    };
    for (const auto& s : steps) {
        const std::size_t sized = sink_.events.size();
        if (s.volume) {
            ASSERT_EQ(Call(dispatch_.get(), kDispSetVariable, {L"volume", s.volume}), S_OK);
        }
        const int paints = CountWhilePumping(window_, WM_PAINT, 10);
        EXPECT_GT(sink_.events.size(), sized) << s.what << ": expected the loop to go on";
        EXPECT_EQ(paints > 0, s.paints) << s.what << ": " << paints << " paints";
    }
}

// A scriptless movie looping over frames that carry nothing (a square placed on the first of
// 40 at 20 a second): the timer wakes for fewer frames than pass, and the count a container
// reads meanwhile is where the clock puts it.
TEST_F(HostedPlayerTest, SleepsThroughFramesThatCarryNothingAndKeepsCount) {
    using namespace fw::swf;
    constexpr int kFrames = 40;
    constexpr double kFrameMs = 50;
    MovieWriter w(MovieOptions{6, 400, 300, 1000 / kFrameMs, false});
    ShapeBuilder sb(1, 32);
    sb.Style(0, sb.Fill(Rgba{200, 0, 0, 255}), 0).Rect(0, 0, 2000, 2000);
    w.DefineShape(sb.Build());
    Placement p;
    p.depth = 1;
    p.character = 1;
    w.Place(p);
    for (int i = 0; i < kFrames; ++i) {
        w.ShowFrame();
    }
    ASSERT_EQ(PutText(dispatch_.get(), kDispMovie, Movie(L"quiet.swf", w.Finish())), S_OK);
    ASSERT_TRUE(PumpUntil([&] { return GetLong(dispatch_.get(), kDispCurrentFrame) > 0; }));
    for (int round = 0; round < 3; ++round) {
        const long before = GetLong(dispatch_.get(), kDispCurrentFrame);
        const DWORD start = ::GetTickCount();
        const int timers = CountWhilePumping(window_, WM_TIMER, 100);
        const long after = GetLong(dispatch_.get(), kDispCurrentFrame);
        const long passed = std::lround((::GetTickCount() - start) / kFrameMs);
        const long moved = (after - before + kFrames) % kFrames;
        // Wine's clock and timers are coarse: a frame either way is no fault.
        const long off =
            std::labs((moved - passed % kFrames + kFrames + kFrames / 2) % kFrames - kFrames / 2);
        EXPECT_LE(off, 2) << "round " << round << ": " << moved << " frames on in " << passed;
        EXPECT_LT(timers * 2, passed) << "round " << round << ": " << timers << " timers";
    }
}

TEST_F(HostedPlayerTest, ClosingReleasesTheSinkAndDeactivates) {
    ASSERT_GT(sink_.refs(), 1u);
    Destroy();
    EXPECT_EQ(sink_.refs(), 1u);
    EXPECT_EQ(site_.activations, 1);
    EXPECT_EQ(site_.deactivations, 1);
    EXPECT_FALSE(::IsWindow(window_));
    auto lines = Trace();
    EXPECT_EQ(lines.back(), L"close");
}

// Its suite runs last, as it registers the legacy control in place of the current one.
TEST_F(LegacyPlayerTest, RefusesFlashVarsAndKeepsEverythingElse) {
    site_ = TestSite(host_, RECT{0, 0, 400, 300});
    Register(L"FLASH_OLD.OCX", FixtureFolder());
    CreateAndActivate();
    EXPECT_EQ(PutText(dispatch_.get(), kDispFlashVars, L"a=1"), DISP_E_MEMBERNOTFOUND);
    VARIANT v;
    EXPECT_EQ(Get(dispatch_.get(), kDispFlashVars, &v), DISP_E_MEMBERNOTFOUND);
    LPOLESTR name = const_cast<LPOLESTR>(L"FlashVars");
    DISPID id = 0;
    EXPECT_EQ(dispatch_->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id),
              DISP_E_UNKNOWNNAME);
    // Everything else still works.
    std::wstring path = Movie(L"old.swf", EchoMovie());
    EXPECT_EQ(PutText(dispatch_.get(), kDispMovie, path), S_OK);
    EXPECT_EQ(Call(dispatch_.get(), kDispSetVariable, {L"greeting", L"hi"}), S_OK);
    EXPECT_EQ(CallText(dispatch_.get(), kDispGetVariable, {L"greeting"}), L"hi");
    Register(L"FLASH.OCX");
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // The apartment a container lives in (in another one the control would be marshalled).
    if (::OleInitialize(nullptr) != S_OK) {
        std::fprintf(stderr, "OleInitialize failed\n");
        return 1;
    }
    ::testing::AddGlobalTestEnvironment(new RegistrationRestorer);
    int rc = RUN_ALL_TESTS();
    if (g_host) {
        ::DestroyWindow(g_host);
    }
    ::OleUninitialize();
    return rc;
}
