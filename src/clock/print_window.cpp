#include "clock/print_window.h"

#include "base/text.h"
#include "clock/print_layout.h"
#include "win/strings.h"

#include <winspool.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace fw {

namespace {

[[noreturn]] void RaiseSystemError(DWORD code) {
    throw PrintError(win::SystemErrorText(code));
}

[[noreturn]] void RaiseLastError() {
    RaiseSystemError(::GetLastError());
}

// The spooler's functions, taken from its library at the first print: the
// library enumerates the system's printers as it loads (under Wine it asks
// the print server), which no start-up should wait for when most runs never
// print. The library stays loaded for the rest of the process.
struct Spooler {
    decltype(&::EnumPrintersW) enumPrinters = nullptr;
    decltype(&::GetDefaultPrinterW) getDefaultPrinter = nullptr;
    decltype(&::OpenPrinterW) openPrinter = nullptr;
    decltype(&::ClosePrinter) closePrinter = nullptr;
    decltype(&::DocumentPropertiesW) documentProperties = nullptr;
    DWORD error = ERROR_SUCCESS;
};

template <typename F> void Take(HMODULE lib, const char* name, F& fn, DWORD& error) {
    // Through the generic function type, which every function pointer
    // converts from and back without loss.
    fn = reinterpret_cast<F>(reinterpret_cast<void (*)()>(::GetProcAddress(lib, name)));
    if (!fn && error == ERROR_SUCCESS) {
        error = ::GetLastError();
    }
}

const Spooler& TheSpooler() {
    static const Spooler spooler = [] {
        Spooler s;
        HMODULE lib = ::LoadLibraryW(L"winspool.drv");
        if (!lib) {
            s.error = ::GetLastError();
            return s;
        }
        Take(lib, "EnumPrintersW", s.enumPrinters, s.error);
        Take(lib, "GetDefaultPrinterW", s.getDefaultPrinter, s.error);
        Take(lib, "OpenPrinterW", s.openPrinter, s.error);
        Take(lib, "ClosePrinter", s.closePrinter, s.error);
        Take(lib, "DocumentPropertiesW", s.documentProperties, s.error);
        return s;
    }();
    if (spooler.error != ERROR_SUCCESS) {
        RaiseSystemError(spooler.error);
    }
    return spooler;
}

struct PrinterTraits {
    static HANDLE Invalid() { return nullptr; }
    static void Close(HANDLE h) { TheSpooler().closePrinter(h); }
};
using PrinterHandle = win::UniqueHandle<HANDLE, PrinterTraits>;

// The process-wide printer: the name of the default printer as first found and the device
// mode that this process prints with.
struct ProcessPrinter {
    std::wstring name;
    std::vector<std::byte> devMode;

    DEVMODEW* Mode() { return reinterpret_cast<DEVMODEW*>(devMode.data()); }
};

ProcessPrinter& ThePrinter() {
    static ProcessPrinter printer;
    return printer;
}

std::vector<std::wstring> ListPrinters() {
    const Spooler& spooler = TheSpooler();
    const DWORD flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
    DWORD needed = 0, count = 0;
    if (!spooler.enumPrinters(flags, nullptr, 4, nullptr, 0, &needed, &count)) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER) {
            RaiseSystemError(error);
        }
    }
    std::vector<std::byte> buffer(needed);
    if (needed > 0 &&
        !spooler.enumPrinters(flags, nullptr, 4, reinterpret_cast<BYTE*>(buffer.data()), needed,
                              &needed, &count)) {
        RaiseLastError();
    }
    std::vector<std::wstring> names;
    const auto* info = reinterpret_cast<const PRINTER_INFO_4W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        if (info[i].pPrinterName) {
            names.emplace_back(info[i].pPrinterName);
        }
    }
    return names;
}

// The system's default printer, which must be one of the printers listed.
std::wstring FindDefaultPrinter() {
    const std::vector<std::wstring> printers = ListPrinters();
    const Spooler& spooler = TheSpooler();
    DWORD size = 0;
    spooler.getDefaultPrinter(nullptr, &size);
    std::wstring name(size, L'\0');
    if (size == 0 || !spooler.getDefaultPrinter(name.data(), &size)) {
        throw PrintError(kNoDefaultPrinter);
    }
    name.resize(std::wcslen(name.c_str()));
    if (name.empty() || std::find(printers.begin(), printers.end(), name) == printers.end()) {
        throw PrintError(kNoDefaultPrinter);
    }
    return name;
}

// The printer's own device mode, as its driver gives it.
std::vector<std::byte> ReadDevMode(const std::wstring& name) {
    const Spooler& spooler = TheSpooler();
    PrinterHandle printer;
    {
        HANDLE h = nullptr;
        if (!spooler.openPrinter(const_cast<wchar_t*>(name.c_str()), &h, nullptr)) {
            throw PrintError(kPrinterOperationNotSupported);
        }
        printer.reset(h);
    }
    auto* printerName = const_cast<wchar_t*>(name.c_str());
    const LONG size =
        spooler.documentProperties(nullptr, printer.get(), printerName, nullptr, nullptr, 0);
    if (size < static_cast<LONG>(sizeof(DEVMODEW))) {
        throw PrintError(kPrinterOperationNotSupported);
    }
    std::vector<std::byte> mode(static_cast<std::size_t>(size));
    if (spooler.documentProperties(nullptr, printer.get(), printerName,
                                   reinterpret_cast<DEVMODEW*>(mode.data()), nullptr,
                                   DM_OUT_BUFFER) != IDOK) {
        throw PrintError(kPrinterOperationNotSupported);
    }
    return mode;
}

// A printer job: ended when the page is out, aborted when a step fails.
class PrintJob {
public:
    PrintJob(HDC dc, const std::wstring& title) : dc_(dc) {
        DOCINFOW info{};
        info.cbSize = sizeof(info);
        info.lpszDocName = title.c_str();
        if (::StartDocW(dc_, &info) <= 0) {
            RaiseLastError();
        }
    }
    ~PrintJob() {
        if (!ended_) {
            ::AbortDoc(dc_);
        }
    }
    PrintJob(const PrintJob&) = delete;
    PrintJob& operator=(const PrintJob&) = delete;
    void End() {
        ended_ = true;
        if (::EndDoc(dc_) <= 0) {
            RaiseLastError();
        }
    }

private:
    HDC dc_;
    bool ended_ = false;
};

// The picture's pixels as a bottom-up 32-bit device-independent bitmap.
struct PictureBits {
    BITMAPINFO info{};
    std::vector<std::uint32_t> pixels;
};

PictureBits ReadPictureBits(HBITMAP picture, SIZE size) {
    PictureBits bits;
    bits.info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bits.info.bmiHeader.biWidth = size.cx;
    bits.info.bmiHeader.biHeight = size.cy;
    bits.info.bmiHeader.biPlanes = 1;
    bits.info.bmiHeader.biBitCount = 32;
    bits.info.bmiHeader.biCompression = BI_RGB;
    bits.pixels.resize(static_cast<std::size_t>(size.cx) * static_cast<std::size_t>(size.cy));
    win::WindowDc screen(nullptr);
    if (::GetDIBits(screen.get(), picture, 0, static_cast<UINT>(size.cy), bits.pixels.data(),
                    &bits.info, DIB_RGB_COLORS) != size.cy) {
        RaiseLastError();
    }
    return bits;
}

} // namespace

void SetDefaultPrinterLandscape() {
    ProcessPrinter& printer = ThePrinter();
    if (printer.name.empty()) {
        std::wstring name = FindDefaultPrinter();
        std::vector<std::byte> mode = ReadDevMode(name);
        printer.name = std::move(name);
        printer.devMode = std::move(mode);
    }
    DEVMODEW* mode = printer.Mode();
    mode->dmFields |= DM_ORIENTATION;
    mode->dmOrientation = DMORIENT_LANDSCAPE;
}

win::GdiObject ComposeWindowPicture(HWND window, const RECT& source) {
    const int width = source.right - source.left, height = source.bottom - source.top;
    if (width <= 0 || height <= 0) {
        throw PrintError(L"The window's picture is empty: " + DecimalText(width) + L" x " +
                         DecimalText(height) + L" pixels");
    }
    RECT client{};
    if (!::GetClientRect(window, &client)) {
        RaiseLastError();
    }
    win::WindowDc screen(nullptr);
    win::GdiObject picture(::CreateCompatibleBitmap(screen.get(), width, height));
    if (!picture) {
        RaiseLastError();
    }
    win::MemoryDc dc(::CreateCompatibleDC(screen.get()));
    if (!dc) {
        RaiseLastError();
    }
    win::SelectGuard selectPicture(dc.get(), picture.get());

    const RECT whole{0, 0, width, height};
    win::GdiObject red(::CreateSolidBrush(RGB(255, 0, 0)));
    ::FillRect(dc.get(), &whole, static_cast<HBRUSH>(red.get()));

    win::GdiObject pen(::CreatePen(PS_SOLID, 2, RGB(0, 0, 0)));
    {
        win::SelectGuard selectPen(dc.get(), pen.get());
        ::MoveToEx(dc.get(), 0, 0, nullptr);
        ::LineTo(dc.get(), width, height);
    }

    // Only what the window shows of the rectangle is copied, each pixel to its own place: a
    // control larger than the window leaves the red ground and the line visible around it.
    RECT shown{};
    if (!::IntersectRect(&shown, &source, &client)) {
        return picture;
    }
    win::WindowDc windowDc(window);
    if (!::BitBlt(dc.get(), shown.left - source.left, shown.top - source.top,
                  shown.right - shown.left, shown.bottom - shown.top, windowDc.get(), shown.left,
                  shown.top, SRCCOPY)) {
        RaiseLastError();
    }
    return picture;
}

void PrintWindowPicture(HWND mainWindow, const RECT& flashRect, const std::wstring& jobTitle) {
    SetDefaultPrinterLandscape();

    win::GdiObject picture = ComposeWindowPicture(mainWindow, flashRect);
    const SIZE flashSize{flashRect.right - flashRect.left, flashRect.bottom - flashRect.top};
    const PictureBits bits = ReadPictureBits(static_cast<HBITMAP>(picture.get()), flashSize);

    ProcessPrinter& printer = ThePrinter();
    win::MemoryDc dc(::CreateDCW(nullptr, printer.name.c_str(), nullptr, printer.Mode()));
    if (!dc) {
        RaiseLastError();
    }
    PrintJob job(dc.get(), jobTitle);
    if (::StartPage(dc.get()) <= 0) {
        RaiseLastError();
    }
    const PageRect place =
        FitCentred(flashSize.cx, flashSize.cy, ::GetDeviceCaps(dc.get(), HORZRES),
                   ::GetDeviceCaps(dc.get(), VERTRES));
    if (::StretchDIBits(dc.get(), place.Left, place.Top, place.Width, place.Height, 0, 0,
                        flashSize.cx, flashSize.cy, bits.pixels.data(), &bits.info, DIB_RGB_COLORS,
                        SRCCOPY) == 0) {
        RaiseLastError();
    }
    if (::EndPage(dc.get()) <= 0) {
        RaiseLastError();
    }
    job.End();
}

} // namespace fw
