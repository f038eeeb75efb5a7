// The setup dialog driven as a user would: its designed controls, its four
// layouts, the path field and its OK button, the folder tree.

#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

#include "setup/StartingFrm.h"
#include "win/application.h"
#include "win/com.h"
#include "win/strings.h"

namespace {

using fw::TStartingForm;

// OLE for the folder tree, for the length of the run.
class OleForTheRun : public testing::Environment {
    void SetUp() override { ole_.emplace(); }
    void TearDown() override { ole_.reset(); }
    std::optional<fw::win::OleScope> ole_;
};
const auto* const kOle = testing::AddGlobalTestEnvironment(new OleForTheRun);

// Stands for the program's main window, which exists before the dialog: the
// first form is the main one, and closing it would end the program.
class MainStandIn : public fw::win::Form {
public:
    MainStandIn() {
        fw::win::FormArgs args;
        args.caption = L"main";
        CreateForm(args);
    }
};

std::unique_ptr<TStartingForm> NewDialog() {
    auto& app = fw::win::Application::Get();
    if (!app.Initialized()) {
        app.Initialize();
        static MainStandIn mainForm;
    }
    return TStartingForm::Create();
}

// Runs an action once from inside the next modal loop.
std::function<void()> g_inModal;
void CALLBACK RunInModal(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    auto action = std::move(g_inModal);
    g_inModal = nullptr;
    if (action) {
        action();
    }
}
void WhenModal(std::function<void()> action) {
    g_inModal = std::move(action);
    ::SetTimer(nullptr, 0, 10, RunInModal);
}

void ProcessPending() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

std::string U8(const std::wstring& s) {
    return fw::win::ToUtf8(s);
}

TEST(StartingForm, DesignedWindowAndControls) {
    auto f = NewDialog();
    EXPECT_FALSE(f->Visible()) << "the dialog is created hidden";
    EXPECT_EQ(f->Caption(), L"Установка \"Тавилон\"") << "got " << U8(f->Caption());
    EXPECT_EQ(f->Width(), 541);
    EXPECT_EQ(f->Height(), 297);
    const RECT b = f->Bounds();
    EXPECT_EQ(b.left, (::GetSystemMetrics(SM_CXSCREEN) - 541) / 2);
    EXPECT_EQ(b.top, (::GetSystemMetrics(SM_CYSCREEN) - 297) / 2);
    EXPECT_TRUE(::GetWindowLongW(f->Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST) << "stays on top";
    EXPECT_TRUE(::GetWindowLongW(f->Handle(), GWL_STYLE) & WS_THICKFRAME) << "sizeable";
    // The common controls 6 of the program's manifest (built into this test too) draw it: they
    // come from the side-by-side store, not the system folder.
    std::wstring comctl(MAX_PATH, L'\0');
    comctl.resize(
        ::GetModuleFileNameW(::GetModuleHandleW(L"comctl32.dll"), comctl.data(), MAX_PATH));
    ::CharLowerW(comctl.data());
    EXPECT_NE(comctl.find(L"microsoft.windows.common-controls"), std::wstring::npos)
        << "expected common controls 6, got " << U8(comctl);

    struct Control {
        const char* name;
        const fw::win::Control* control;
        RECT expected;
        bool visible;
        const wchar_t* text;
    };
    const Control controls[] = {
        {"Label1", &f->Label1, {8, 8, 521, 73}, true, L""},
        {"Edit1", &f->Edit1, {8, 32, 417, 55}, false, L"PathEdit"},
        {"MaskEdit1", &f->MaskEdit1, {8, 32, 162, 55}, false, L"   .   .   .   "},
        {"OKButton", &f->OKButton, {448, 32, 523, 57}, true, L"Продолжить"},
        {"PathBtn", &f->PathBtn, {416, 32, 441, 57}, false, L"\u2026"},
    };
    for (const auto& c : controls) {
        const RECT r = c.control->BoundsInParent();
        EXPECT_TRUE(::EqualRect(&r, &c.expected))
            << c.name << ": expected " << c.expected.left << "," << c.expected.top << ","
            << c.expected.right << "," << c.expected.bottom << ", got " << r.left << "," << r.top
            << "," << r.right << "," << r.bottom;
        EXPECT_EQ(c.control->Visible(), c.visible) << c.name;
        EXPECT_EQ(c.control->Text(), c.text) << c.name << ": got " << U8(c.control->Text());
    }
    EXPECT_EQ(f->MaskEdit1.MaxLength(), 15);
    EXPECT_FALSE(f->ShellTreeView.Visible());
    // Tab order follows the design: Edit1, MaskEdit1, OKButton, PathBtn, tree.
    const HWND order[] = {f->Edit1.Handle(), f->MaskEdit1.Handle(), f->OKButton.Handle(),
                          f->PathBtn.Handle(), f->ShellTreeView.Handle()};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
        EXPECT_EQ(::GetWindow(order[i], GW_HWNDNEXT), order[i + 1]) << "tab stop " << i;
    }
}

TEST(StartingForm, OkIsEnabledExactlyForANonBlankPath) {
    auto f = NewDialog();
    const struct {
        const wchar_t* text;
        bool enabled;
    } cases[] = {
        {L"", false},         {L"   ", false}, {L"\t \x01", false},      {L"x", true},
        {L"  C:\\A  ", true}, {L"   ", false}, {L"C:\\Программы", true},
    };
    for (const auto& c : cases) {
        f->Edit1.SetText(c.text);
        EXPECT_EQ(f->OKButton.Enabled(), c.enabled) << "text \"" << U8(c.text) << "\"";
    }
}

struct LayoutSeen {
    int clientHeight = 0;
    bool edit = false, pathBtn = false, ok = false, okEnabled = false, tree = false, mask = false;
    std::wstring label, okCaption;
};

LayoutSeen Look(const TStartingForm& f) {
    return {f.ClientHeight(),      f.Edit1.Visible(),    f.PathBtn.Visible(),
            f.OKButton.Visible(),  f.OKButton.Enabled(), f.ShellTreeView.Visible(),
            f.MaskEdit1.Visible(), f.Label1.Text(),      f.OKButton.Text()};
}

TEST(StartingForm, LayoutsOfTheInstallation) {
    auto f = NewDialog();
    LayoutSeen seen;

    // Path prompt, left with OK.
    WhenModal([&] {
        seen = Look(*f);
        f->OKButton.Click();
    });
    int r = f->ShowPathPrompt(L"Файлы программы будут записываться в директорию:",
                              L"C:\\Program Files\\Brumvale\\Fenwobble");
    EXPECT_EQ(r, fw::win::mrOk);
    EXPECT_EQ(seen.clientHeight, 77);
    EXPECT_TRUE(seen.edit && seen.pathBtn && seen.ok && seen.okEnabled);
    EXPECT_FALSE(seen.tree || seen.mask);
    EXPECT_EQ(seen.label, L"Файлы программы будут записываться в директорию:");
    EXPECT_EQ(seen.okCaption, L"Продолжить");
    EXPECT_EQ(f->PathText(), L"C:\\Program Files\\Brumvale\\Fenwobble");
    EXPECT_FALSE(f->Visible()) << "a modal showing ends hidden";

    // Path prompt with a blank default, closed by the close box; "…" twice.
    WhenModal([&] {
        f->PathBtn.Click();
        f->PathBtn.Click();
        seen = Look(*f);
        ::SendMessageW(f->Handle(), WM_CLOSE, 0, 0);
    });
    r = f->ShowPathPrompt(L"prompt", L"  ");
    EXPECT_EQ(r, fw::win::mrCancel);
    EXPECT_EQ(seen.clientHeight, 262);
    EXPECT_TRUE(seen.tree);
    EXPECT_FALSE(seen.okEnabled) << "a blank path disables OK";
    EXPECT_FALSE(seen.mask);

    // Shortage: only the label changes; the open tree stays open.
    f->Edit1.SetText(L"D:\\Games");
    WhenModal([&] {
        seen = Look(*f);
        f->OKButton.Click();
    });
    r = f->ShowShortage(L"На диске всего 12 Мб, нужно примерно 90 Мб");
    EXPECT_EQ(r, fw::win::mrOk);
    EXPECT_EQ(seen.clientHeight, 262);
    EXPECT_TRUE(seen.tree && seen.edit && seen.pathBtn && seen.ok);
    EXPECT_FALSE(seen.mask);
    EXPECT_EQ(seen.label, L"На диске всего 12 Мб, нужно примерно 90 Мб");

    // Failure notice.
    WhenModal([&] {
        seen = Look(*f);
        f->OKButton.Click();
    });
    r = f->ShowFailureNotice(L"Установка не завершена");
    EXPECT_EQ(r, fw::win::mrOk);
    EXPECT_EQ(seen.clientHeight, 93);
    EXPECT_FALSE(seen.edit || seen.pathBtn || seen.tree || seen.mask);
    EXPECT_TRUE(seen.ok);
    EXPECT_EQ(seen.okCaption, L"Выход");
    EXPECT_EQ(seen.label, L"Установка не завершена");

    // Copying notice: not modal, the label alone, the hourglass.
    auto& app = fw::win::Application::Get();
    f->ShowCopyingNotice(L"Копирование файлов...");
    ProcessPending();
    seen = Look(*f);
    EXPECT_TRUE(f->Visible());
    EXPECT_EQ(seen.clientHeight, 93);
    EXPECT_FALSE(seen.edit || seen.pathBtn || seen.tree || seen.mask || seen.ok);
    EXPECT_EQ(app.GetScreenCursor(), fw::win::ScreenCursor::HourGlass);
    app.SetScreenCursor(fw::win::ScreenCursor::Default);
}

HTREEITEM ChildWithPath(const fw::win::ShellFolderTree& tree, HTREEITEM parent,
                        const std::wstring& path) {
    for (HTREEITEM i = TreeView_GetChild(tree.Handle(), parent); i;
         i = TreeView_GetNextSibling(tree.Handle(), i)) {
        if (::lstrcmpiW(tree.PathOf(i).c_str(), path.c_str()) == 0) {
            return i;
        }
    }
    return nullptr;
}

void ClickAt(HWND hwnd, POINT p) {
    const LPARAM lp = MAKELPARAM(p.x, p.y);
    ::PostMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, lp);
    ::PostMessageW(hwnd, WM_LBUTTONUP, 0, lp);
    for (int i = 0; i < 5; ++i) {
        ProcessPending();
        ::Sleep(20);
    }
}

TEST(StartingForm, TreeListsDriveCAndAClickFillsThePath) {
    auto f = NewDialog();
    f->PathBtnClick();
    f->Show();
    auto& tree = f->ShellTreeView;
    ASSERT_NE(tree.Root(), nullptr) << "no My Computer item";
    const HTREEITEM c = ChildWithPath(tree, tree.Root(), L"C:\\");
    ASSERT_NE(c, nullptr) << "drive C: is not listed under " << U8(tree.TextOf(tree.Root()));
    tree.Expand(c);
    wchar_t windir[MAX_PATH];
    ::GetWindowsDirectoryW(windir, MAX_PATH);
    const HTREEITEM win = ChildWithPath(tree, c, windir);
    ASSERT_NE(win, nullptr) << "expected " << U8(windir) << " under C:";
    TreeView_EnsureVisible(tree.Handle(), win);
    RECT r{};
    ASSERT_TRUE(TreeView_GetItemRect(tree.Handle(), win, &r, TRUE));
    ClickAt(tree.Handle(), {(r.left + r.right) / 2, (r.top + r.bottom) / 2});
    EXPECT_EQ(::lstrcmpiW(f->PathText().c_str(), windir), 0)
        << "expected " << U8(windir) << ", got " << U8(f->PathText());
    EXPECT_TRUE(f->OKButton.Enabled());

    // A click where no folder is selected empties the path and disables OK.
    TreeView_SelectItem(tree.Handle(), nullptr);
    RECT client{};
    ::GetClientRect(tree.Handle(), &client);
    ClickAt(tree.Handle(), {client.right - 5, client.bottom - 5});
    if (TreeView_GetSelection(tree.Handle()) == nullptr) {
        EXPECT_EQ(f->PathText(), L"");
        EXPECT_FALSE(f->OKButton.Enabled());
    }
    f->Hide();
}

} // namespace
