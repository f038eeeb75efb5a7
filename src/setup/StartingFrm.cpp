#include "setup/StartingFrm.h"

#include <commctrl.h>

#include "base/text.h"
#include "win/application.h"

namespace fw {
namespace {

enum ControlId { kLabel1 = 100, kEdit1, kMaskEdit1, kOKButton, kPathBtn, kShellTreeView };

// The designed window and the places of its controls.
constexpr int kWidth = 541;
constexpr int kHeight = 297;
constexpr COLORREF kFontColor = 4210816; // red 128, green 64, blue 64
constexpr int kLabelBottom = 8 + 65;
constexpr int kButtonBottom = 32 + 25;
constexpr int kTreeTop = 64;
constexpr int kTreeHeight = 193;

} // namespace

std::unique_ptr<TStartingForm> TStartingForm::Create() {
    auto form = win::MakeForm<TStartingForm>();
    form->FormCreate();
    return form;
}

TStartingForm::TStartingForm() {
    win::FormArgs args;
    args.className = L"TStartingForm";
    args.caption = L"StartingForm";
    args.style = WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
    args.exStyle = WS_EX_TOPMOST;
    args.width = kWidth;
    args.height = kHeight;
    // Centred on the desktop; the division truncates toward zero.
    args.left = (::GetSystemMetrics(SM_CXSCREEN) - kWidth) / 2;
    args.top = (::GetSystemMetrics(SM_CYSCREEN) - kHeight) / 2;
    args.color = ::GetSysColor(COLOR_BTNFACE);
    args.textColor = kFontColor;
    CreateForm(args);

    font_.reset(::CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, RUSSIAN_CHARSET,
                              OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                              DEFAULT_PITCH | FF_DONTCARE, L"Lucida Sans Unicode"));
    const auto font = static_cast<HFONT>(font_.get());
    const HWND me = Handle();

    // Created in the tab order of the design.
    Label1.Create({{me, kLabel1, 8, 8, 513, 65, font, true}, L""});
    Edit1.Create({{me, kEdit1, 8, 32, 409, 23, font, false}, L"PathEdit"});
    MaskEdit1.Create({{me, kMaskEdit1, 8, 32, 154, 23, font, false}, L"   .   .   .   ", 15});
    OKButton.Create({{me, kOKButton, 448, 32, 75, 25, font, true}, std::wstring(kContinueCaption)});
    PathBtn.Create({{me, kPathBtn, 416, 32, 25, 25, font, false}, L"\u2026"});
    ShellTreeView.Create(
        {{me, kShellTreeView, 8, kTreeTop, 513, kTreeHeight, font, false}, 19, kFontColor});
    Edit1.onChange = [this] { Edit1Change(); };
    OKButton.onClick = [this] { OKButtonClick(); };
    PathBtn.onClick = [this] { PathBtnClick(); };
    ShellTreeView.onSelect = [this](const std::wstring& path) { ShellTreeViewClick(path); };
}

void TStartingForm::FormCreate() {
    SetCaption(std::wstring(kStartingCaption));
}

void TStartingForm::Edit1Change() {
    OKButton.SetEnabled(!TrimControl(Edit1.Text()).empty());
}

void TStartingForm::OKButtonClick() {
    if (InModal()) {
        SetModalResult(win::mrOk);
    }
}

void TStartingForm::PathBtnClick() {
    SetClientHeight(kTreeTop + kTreeHeight + 5);
    ShellTreeView.SetVisible(true);
}

void TStartingForm::ShellTreeViewClick(const std::wstring& path) {
    Edit1.SetText(path);
}

int TStartingForm::ShowPathPrompt(const std::wstring& label, const std::wstring& defaultFolder) {
    Label1.SetText(label);
    Edit1.SetText(defaultFolder);
    Edit1.SetVisible(true);
    PathBtn.SetVisible(true);
    OKButton.SetText(std::wstring(kContinueCaption));
    OKButton.SetVisible(true);
    MaskEdit1.SetVisible(false);
    ShellTreeView.SetVisible(false);
    SetClientHeight(kButtonBottom + 20);
    Hide();
    return ShowModal();
}

int TStartingForm::ShowShortage(const std::wstring& label) {
    Label1.SetText(label);
    Hide();
    return ShowModal();
}

void TStartingForm::ShowNotice(const std::wstring& label, int clientHeight) {
    Label1.SetText(label);
    Edit1.SetVisible(false);
    PathBtn.SetVisible(false);
    ShellTreeView.SetVisible(false);
    MaskEdit1.SetVisible(false);
    SetClientHeight(clientHeight);
}

void TStartingForm::ShowCopyingNotice(const std::wstring& label) {
    ShowNotice(label, kLabelBottom + 20);
    OKButton.SetVisible(false);
    win::Application::Get().SetScreenCursor(win::ScreenCursor::HourGlass);
    Show();
}

int TStartingForm::ShowFailureNotice(const std::wstring& label) {
    ShowNotice(label, kLabelBottom + 20);
    OKButton.SetText(std::wstring(kExitCaption));
    OKButton.SetVisible(true);
    Hide();
    return ShowModal();
}

} // namespace fw
