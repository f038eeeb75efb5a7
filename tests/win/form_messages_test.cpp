// The form and the application object driven directly. Every form writes what
// reaches its handlers, and every control what reaches its callbacks, into one
// log; each case compares the log of a step with the sequence expected.

#include "win/application.h"
#include "win/button.h"
#include "win/checkbox.h"
#include "win/edit.h"
#include "win/form.h"
#include "win/strings.h"
#include "win/trackbar.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using fw::win::Application;
using fw::win::MakeForm;
using Log = std::vector<std::string>;

Log g_log;

std::string Joined(const Log& log) {
    std::string s;
    for (const auto& line : log) {
        s += (s.empty() ? "" : ", ") + line;
    }
    return "[" + s + "]";
}

// Handles what is waiting, then compares and clears the log.
void ExpectLog(const Log& expected, const std::string& step) {
    Application::Get().ProcessMessages();
    EXPECT_EQ(expected, g_log) << step << ": expected " << Joined(expected) << ", got "
                               << Joined(g_log);
    g_log.clear();
}

class LogForm : public fw::win::Form {
public:
    explicit LogForm(std::string name, bool keyPreview = false) : name_(std::move(name)) {
        fw::win::FormArgs args;
        args.className = L"TLogForm";
        args.caption = L"log";
        // A popup, as the program's forms are, so the program's minimising hides it.
        args.style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
        args.left = 40;
        args.top = 40;
        args.width = 240;
        args.height = 160;
        args.keyPreview = keyPreview;
        CreateForm(args);
    }
    // Runs once from inside the form's next message loop.
    void WhenLooping(std::function<void()> action) {
        pending_ = std::move(action);
        ::SetTimer(Handle(), 1, 10, nullptr);
    }
    WORD consumes = 0;

protected:
    void OnShow() override { Write("show"); }
    void OnHide() override { Write("hide"); }
    void OnKeyDown(WORD& key, UINT) override {
        Write("keydown " + std::to_string(key));
        if (key == consumes) {
            key = 0;
        }
    }
    void OnTimer(UINT_PTR id) override {
        ::KillTimer(Handle(), id);
        if (auto action = std::exchange(pending_, nullptr)) {
            action();
        }
    }
    // Reads a member of the derived form: gone already, it would not be called at all.
    void OnDestroy() override { Write("destroy"); }

private:
    void Write(const std::string& what) { g_log.push_back(name_ + ": " + what); }
    std::string name_;
    std::function<void()> pending_;
};

class FormMessages : public testing::Test {
protected:
    void SetUp() override {
        Application::Get().Initialize();
        g_log.clear();
    }
};

TEST_F(FormMessages, TheShowNotificationFiresOncePerRealShow) {
    auto& app = Application::Get();
    auto form = MakeForm<LogForm>("A");
    const HWND h = form->Handle();
    const struct {
        const char* step;
        std::function<void()> action;
        Log expected;
        bool visible;
    } steps[] = {
        {"Show", [&] { form->Show(); }, {"A: show"}, true},
        {"Show when shown", [&] { form->Show(); }, {}, true},
        {"the program minimised", [&] { app.Minimize(); }, {}, false},
        {"the program restored", [&] { app.Restore(); }, {}, true},
        {"Hide", [&] { form->Hide(); }, {"A: hide"}, false},
        {"Hide when hidden", [&] { form->Hide(); }, {}, false},
        {"minimised while hidden", [&] { app.Minimize(); }, {}, false},
        {"restored while hidden", [&] { app.Restore(); }, {}, false},
        {"ShowWindow", [&] { ::ShowWindow(h, SW_SHOWNOACTIVATE); }, {"A: show"}, true},
        {"ShowWindow hiding", [&] { ::ShowWindow(h, SW_HIDE); }, {"A: hide"}, false},
        {"Show after all that", [&] { form->Show(); }, {"A: show"}, true},
        {"Hide at the end", [&] { form->Hide(); }, {"A: hide"}, false},
    };
    for (const auto& s : steps) {
        s.action();
        ExpectLog(s.expected, s.step);
        EXPECT_EQ(s.visible, ::IsWindowVisible(h) != FALSE) << s.step;
    }
    form.reset();
    ExpectLog({"A: destroy"}, "the form's end");
}

TEST_F(FormMessages, ModalShowDisablesTheOtherFormsAndGivesThemBack) {
    auto owner = MakeForm<LogForm>("owner");
    auto disabled = MakeForm<LogForm>("disabled");
    auto dialog = MakeForm<LogForm>("dialog");
    owner->Show();
    disabled->Show();
    ::EnableWindow(disabled->Handle(), FALSE);
    g_log.clear();

    bool ownerEnabled = true;
    bool dialogEnabled = false;
    dialog->WhenLooping([&] {
        ownerEnabled = ::IsWindowEnabled(owner->Handle()) != FALSE;
        dialogEnabled = ::IsWindowEnabled(dialog->Handle()) != FALSE;
        g_log.push_back("in the loop");
        dialog->SetModalResult(fw::win::mrOk);
    });
    EXPECT_EQ(fw::win::mrOk, dialog->ShowModal());
    ExpectLog({"dialog: show", "in the loop", "dialog: hide"}, "modal showing");
    EXPECT_FALSE(ownerEnabled) << "expected the owner disabled during the modal showing";
    EXPECT_TRUE(dialogEnabled);
    EXPECT_TRUE(::IsWindowEnabled(owner->Handle())) << "expected the owner enabled again";
    EXPECT_FALSE(::IsWindowEnabled(disabled->Handle())) << "expected a disabled form left so";
    EXPECT_FALSE(dialog->InModal());

    // The close box ends the showing with Cancel.
    dialog->WhenLooping([&] { ::SendMessageW(dialog->Handle(), WM_CLOSE, 0, 0); });
    EXPECT_EQ(fw::win::mrCancel, dialog->ShowModal());
    ExpectLog({"dialog: show", "dialog: hide"}, "closed by the close box");
    EXPECT_TRUE(::IsWindowEnabled(owner->Handle()));
}

TEST_F(FormMessages, KeyPreviewSeesAChildsKeysFirstAndMayConsumeThem) {
    const struct {
        const char* what;
        bool preview;
        WORD consumes;
        Log expected;
        const wchar_t* text; // the field after a Delete at its start
    } cases[] = {
        {"previewed", true, 0, {"P: keydown 46"}, L"y"},
        {"previewed and consumed", true, VK_DELETE, {"P: keydown 46"}, L"xy"},
        {"not previewed", false, 0, {}, L"y"},
    };
    for (const auto& c : cases) {
        auto form = MakeForm<LogForm>("P", c.preview);
        form->consumes = c.consumes;
        fw::win::Edit field;
        field.Create({{form->Handle(), 1, 8, 8, 120, 22}, L"xy"});
        ::SendMessageW(field.Handle(), EM_SETSEL, 0, 0);
        g_log.clear();
        ::PostMessageW(field.Handle(), WM_KEYDOWN, VK_DELETE, 1);
        ExpectLog(c.expected, c.what);
        EXPECT_EQ(c.text, field.Text()) << c.what;

        // A key of the form's own window reaches its handler once.
        ::PostMessageW(form->Handle(), WM_KEYDOWN, 'A', 1);
        ExpectLog({"P: keydown 65"}, std::string(c.what) + ", the form's own key");
        form.reset();
        g_log.clear();
    }
}

TEST_F(FormMessages, OnDestroyRunsOnceOnTheWholeForm) {
    auto form = MakeForm<LogForm>("D");
    form.reset();
    ExpectLog({"D: destroy"}, "the object's end");

    form = MakeForm<LogForm>("E");
    ::DestroyWindow(form->Handle());
    ExpectLog({"E: destroy"}, "the window's end");
    EXPECT_EQ(nullptr, form->Handle());
    form.reset();
    ExpectLog({}, "the object's end after its window's");
}

TEST_F(FormMessages, NotificationsReachTheControlThatSentThem) {
    auto form = MakeForm<LogForm>("F");
    const HWND f = form->Handle();
    fw::win::Button button;
    fw::win::Edit field;
    fw::win::CheckBox box;
    fw::win::TrackBar slider;
    button.Create({{f, 1, 8, 8, 75, 25}, L"OK"});
    field.Create({{f, 2, 8, 40, 120, 22}, L""});
    box.Create({{f, 3, 8, 70, 90, 17}, L"On"});
    slider.Create({{f, 4, 8, 100, 150, 30}, true, 0, 10});
    button.onClick = [] { g_log.push_back("button click"); };
    field.onChange = [&] { g_log.push_back("field change " + fw::win::ToUtf8(field.Text())); };
    box.onClick = [&] { g_log.push_back(box.Checked() ? "box on" : "box off"); };
    slider.onChange = [](int p) { g_log.push_back("slider " + std::to_string(p)); };
    const auto scroll = [&](WORD code) {
        ::SendMessageW(f, WM_HSCROLL, code, reinterpret_cast<LPARAM>(slider.Handle()));
    };

    const struct {
        const char* step;
        std::function<void()> action;
        Log expected;
    } steps[] = {
        {"a click", [&] { button.Click(); }, {"button click"}},
        {"typing", [&] { field.SetText(L"ab"); }, {"field change ab"}},
        {"a check", [&] { box.Click(); }, {"box on"}},
        {"the check undone", [&] { box.Click(); }, {"box off"}},
        {"the program's check", [&] { box.SetChecked(true); }, {}},
        {"a drag",
         [&] {
             ::SendMessageW(slider.Handle(), TBM_SETPOS, TRUE, 6);
             scroll(TB_THUMBTRACK);
         },
         {"slider 6"}},
        {"the thumb let go where it was", [&] { scroll(TB_ENDTRACK); }, {}},
        {"the program's move",
         [&] {
             slider.SetPosition(3);
             scroll(TB_ENDTRACK);
         },
         {}},
        {"a command from a window that is no control",
         [&] { ::SendMessageW(f, WM_COMMAND, BN_CLICKED << 16, reinterpret_cast<LPARAM>(f)); },
         {}},
    };
    for (const auto& s : steps) {
        s.action();
        ExpectLog(s.expected, s.step);
    }
}

// Last: the end request stays for the rest of the process.
TEST_F(FormMessages, TheEndRequestEndsEveryNestedLoop) {
    auto& app = Application::Get();
    auto outer = MakeForm<LogForm>("outer");
    auto inner = MakeForm<LogForm>("inner");
    outer->WhenLooping([&] {
        inner->WhenLooping([&] { app.Terminate(); });
        g_log.push_back("inner returned " + std::to_string(inner->ShowModal()));
    });
    g_log.push_back("outer returned " + std::to_string(outer->ShowModal()));
    ExpectLog({"outer: show", "inner: show", "inner: hide", "inner returned 2", "outer: hide",
               "outer returned 2"},
              "nested modal loops");
    EXPECT_TRUE(app.TerminateRequested());
    EXPECT_FALSE(app.HandleMessage()) << "expected the loop to see the end request";
}

} // namespace
