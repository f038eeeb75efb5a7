#pragma once
// The program's main window: black, borderless, maximised. It hosts the
// player control, starts the movie with its parameters, carries the display
// modes and the window operations, and turns the movie's commands into
// actions of the shell.

#include "clock/processor_clock_counter.h"
#include "setup/ddeml_port.h"
#include "setup/program_group.h"
#include "win/form.h"
#include "win/handle.h"
#include "win/ole_control.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace fw {

class TRtfForm;

// Dispatch ids of the player control's interface.
namespace flash {
inline constexpr DISPID kMovie = 102;
inline constexpr DISPID kScaleMode = 120;
inline constexpr DISPID kWMode = 133;
inline constexpr DISPID kSetVariable = 151;
inline constexpr DISPID kGetVariable = 152;
inline constexpr DISPID kFlashVars = 170;
inline constexpr DISPID kFSCommand = 150;
} // namespace flash

inline const std::wstring kProgramKey = L"\\Software\\Brumvale\\Fenwobble";

// The other windows the main window works with; each is set once it exists.
struct MainFormPeers {
    std::function<std::uint16_t()> getGeneralVolume;
    std::function<void(std::uint16_t)> setGeneralVolume;
    std::function<bool()> introVisible;
    std::function<void()> closeIntroPlayer;
    std::function<void()> hideIntro;
    TRtfForm* rtfForm = nullptr;
};

class TMainForm : public win::Form {
public:
    // Raises OleSysError when the player control cannot be created.
    static std::unique_ptr<TMainForm> Create();
    ~TMainForm() override;

    MainFormPeers& Peers() { return peers_; }
    win::OleControl& Flash1() { return flash1_; }

    void StartMovie();
    void ExitItemClick();
    void MinimizeItemClick();
    void MaximizeItemClick();
    void RestoreItemClick();
    void SaveiniItemClick();
    void PrintInemClick();
    void Timer1Timer();
    void Flash1FSCommand(const std::wstring& command, const std::wstring& args);
    void FormKeyUp(WORD& key, UINT shift);
    void ApplicationEvents1Message(MSG& msg, bool& handled);
    void ProcessorClockCounterPrecizeProc(TProcessorClockCounter* sender);

    std::int32_t ProcessorFreq = 0;
    bool EscIntro = false;
    bool FlashError = false;

protected:
    void OnShow() override;
    void OnKeyUp(WORD& key, UINT shift) override { FormKeyUp(key, shift); }
    void OnTimer(UINT_PTR id) override;

protected:
    TMainForm();

private:
    void FormCreate();
    void FormShow();
    void ExecuteFile(const std::wstring& name, bool document);
    void SaveValue(const std::wstring& name, bool remove, const std::wstring& text);
    void PlaceFlash(int left, int top, int width, int height);

    win::OleControl flash1_;
    win::Menu popupMenu1_;
    std::unique_ptr<TProcessorClockCounter> processorClockCounter_;
    // The Program Manager conversation; the port outlives it.
    DdemlPort ddePort_;
    TDdeClientConv DdeClientConv1{ddePort_};
    MainFormPeers peers_;
};

} // namespace fw
