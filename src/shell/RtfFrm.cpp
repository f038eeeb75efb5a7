#include "shell/RtfFrm.h"

#include "shell/commands.h"

namespace fw {

namespace {
constexpr COLORREF kPaleYellow = 12318969; // red 249, green 248, blue 187
}

std::unique_ptr<TRtfForm> TRtfForm::Create() {
    return win::MakeForm<TRtfForm>();
}

TRtfForm::TRtfForm() {
    win::FormArgs args;
    args.className = L"TRtfForm";
    args.caption = L"RtfForm";
    args.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPCHILDREN;
    args.exStyle = WS_EX_TOOLWINDOW;
    args.left = 330;
    args.top = 114;
    args.width = 1088;
    args.height = 750;
    CreateForm(args);
    richEdit_.Create({Handle(), 1, true, kPaleYellow});
}

void TRtfForm::OnResize() {
    if (richEdit_.Handle()) {
        richEdit_.FillParent();
    }
}

void TRtfForm::ShowDocument(const std::wstring& path) {
    const int sw = ::GetSystemMetrics(SM_CXSCREEN);
    const int sh = ::GetSystemMetrics(SM_CYSCREEN);
    SetBounds(CentredOrigin(sw, 700), CentredOrigin(sh, 500), 700, 500);
    SetCaption(L"Родителям");
    richEdit_.LoadRtfFile(path);
    Show();
}

} // namespace fw
