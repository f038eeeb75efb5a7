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
// The tree reports a click before it selects the clicked item; the click
// handler runs once the selection has followed.
constexpr UINT kTreeClicked = WM_APP + 1;

} // namespace

std::unique_ptr<TStartingForm> TStartingForm::Create() {
    std::unique_ptr<TStartingForm> form(new TStartingForm());
    form->Build();
    form->FormCreate();
    return form;
}

void TStartingForm::Build() {
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
    CreateForm(args);

    font_.reset(::CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, RUSSIAN_CHARSET,
                              OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                              DEFAULT_PITCH | FF_DONTCARE, L"Lucida Sans Unicode"));
    const auto font = static_cast<HFONT>(font_.get());
    const HWND me = Handle();

    // Created in the tab order of the design.
    Label1.Create({me, kLabel1, 8, 8, 513, 65, L"", font, true});
    win::EditArgs edit{me, kEdit1, 8, 32, 409, 23, L"PathEdit", font, false, 0};
    Edit1.Create(edit);
    win::EditArgs mask{me, kMaskEdit1, 8, 32, 154, 23, L"   .   .   .   ", font, false, 15};
    MaskEdit1.Create(mask);
    OKButton.Create({me, kOKButton, 448, 32, 75, 25, std::wstring(kContinueCaption), font, true});
    PathBtn.Create({me, kPathBtn, 416, 32, 25, 25, L"\u2026", font, false});
    win::ShellFolderTreeArgs tree;
    tree.parent = me;
    tree.id = kShellTreeView;
    tree.left = 8;
    tree.top = kTreeTop;
    tree.width = 513;
    tree.height = kTreeHeight;
    tree.font = font;
    tree.visible = false;
    tree.indent = 19;
    tree.textColor = kFontColor;
    ShellTreeView.Create(tree);
}

void TStartingForm::FormCreate() {
    SetCaption(std::wstring(kStartingCaption));
}

void TStartingForm::Edit1Change() {
    OKButton.SetEnabled(!TrimControl(Edit1.Text()).empty());
}

void TStartingForm::PathBtnClick() {
    SetClientHeight(kTreeTop + kTreeHeight + 5);
    ShellTreeView.SetVisible(true);
}

void TStartingForm::ShellTreeViewClick() {
    Edit1.SetText(ShellTreeView.SelectedPath());
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

LRESULT TStartingForm::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case kTreeClicked:
        ShellTreeViewClick();
        return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
        ::SetTextColor(reinterpret_cast<HDC>(wp), kFontColor);
        if (msg == WM_CTLCOLOREDIT) {
            return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_WINDOW));
        }
        break;
    default:
        break;
    }
    return win::Form::HandleMessage(msg, wp, lp);
}

void TStartingForm::OnCommand(WORD id, WORD code, HWND) {
    switch (id) {
    case kEdit1:
        if (code == EN_CHANGE) {
            Edit1Change();
        }
        break;
    case kOKButton:
        if (code == BN_CLICKED && InModal()) {
            SetModalResult(win::mrOk);
        }
        break;
    case kPathBtn:
        if (code == BN_CLICKED) {
            PathBtnClick();
        }
        break;
    default:
        break;
    }
}

LRESULT TStartingForm::OnNotify(NMHDR* hdr) {
    LRESULT result = 0;
    if (ShellTreeView.HandleNotify(hdr, result)) {
        return result;
    }
    if (hdr && hdr->hwndFrom == ShellTreeView.Handle() && hdr->code == NM_CLICK) {
        ::PostMessageW(Handle(), kTreeClicked, 0, 0);
    }
    return 0;
}

} // namespace fw
