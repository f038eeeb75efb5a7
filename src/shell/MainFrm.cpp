#include "shell/MainFrm.h"

namespace fw {

std::unique_ptr<TMainForm> TMainForm::Create() {
    return std::unique_ptr<TMainForm>(new TMainForm());
}

TMainForm::TMainForm() {
    win::FormArgs args;
    args.className = L"TMainForm";
    args.caption = L"MainForm";
    args.style = WS_POPUP | WS_CLIPCHILDREN;
    args.left = 0;
    args.top = 0;
    args.width = 1080;
    args.height = 716;
    args.clientSize = true;
    args.color = RGB(0, 0, 0);
    args.keyPreview = true;
    args.initialShow = SW_SHOWMAXIMIZED;
    CreateForm(args);
}

} // namespace fw
