// The application's standard error box when an error comes back on every tick of a 50 ms
// timer, as a control call of the volume report that keeps failing would: the box's own loop
// goes on delivering the timer, and the boxes must not stack.

#include "win/application.h"
#include "win/error.h"
#include "win/form.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace {

// A window whose timer fails like a control that refuses SetVariable.
class FailingForm : public fw::win::Form {
public:
    FailingForm() {
        fw::win::FormArgs args;
        args.className = L"TFailingForm";
        args.caption = L"failing";
        args.style = WS_POPUP;
        args.left = 0;
        args.top = 0;
        args.width = 50;
        args.height = 50;
        CreateForm(args);
        ::SetTimer(Handle(), 1, 50, nullptr);
    }
    std::atomic<bool> failing{true};
    std::atomic<int> raised{0};

protected:
    void OnTimer(UINT_PTR) override {
        if (failing) {
            ++raised;
            throw fw::win::OleSysError(L"Member not found", DISP_E_MEMBERNOTFOUND);
        }
    }
};

BOOL CALLBACK CollectBox(HWND hwnd, LPARAM lp) {
    wchar_t cls[16] = {};
    if (::IsWindowVisible(hwnd) && ::GetClassNameW(hwnd, cls, 16) &&
        std::wstring(cls) == L"#32770") {
        reinterpret_cast<std::vector<HWND>*>(lp)->push_back(hwnd);
    }
    return TRUE;
}

// The message boxes that stand on the thread's screen now.
std::vector<HWND> BoxesOf(DWORD thread) {
    std::vector<HWND> boxes;
    ::EnumThreadWindows(thread, CollectBox, reinterpret_cast<LPARAM>(&boxes));
    return boxes;
}

TEST(ApplicationErrorBox, ErrorsThatKeepComingShowOneBoxAndAreDroppedMeanwhile) {
    auto& app = fw::win::Application::Get();
    app.Initialize();
    FailingForm form;
    form.Show();
    const DWORD thread = ::GetCurrentThreadId();

    std::atomic<int> most{0};
    std::atomic<int> raisedWhileUp{0};
    std::atomic<bool> done{false};
    std::wstring text;
    std::thread watcher([&] {
        // From the first box on, for a second of failing ticks: how many
        // boxes stand at once.
        const DWORD start = ::GetTickCount();
        DWORD firstBox = 0;
        int atFirstBox = 0;
        while (::GetTickCount() - start < 20000 &&
               (firstBox == 0 || ::GetTickCount() - firstBox < 1000)) {
            const int shown = static_cast<int>(BoxesOf(thread).size());
            most = std::max(most.load(), shown);
            if (shown > 0 && firstBox == 0) {
                firstBox = ::GetTickCount();
                atFirstBox = form.raised;
            }
            ::Sleep(10);
        }
        raisedWhileUp = firstBox == 0 ? 0 : form.raised - atFirstBox;
        form.failing = false;
        // Answer every box there is, however many stand (without a window
        // manager each one takes a while to go).
        while (::GetTickCount() - start < 90000) {
            const std::vector<HWND> boxes = BoxesOf(thread);
            if (boxes.empty()) {
                break;
            }
            if (text.empty()) {
                wchar_t t[128] = {};
                ::GetDlgItemTextW(boxes.front(), 0xFFFF, t, 128);
                text = t;
            }
            for (HWND box : boxes) {
                ::PostMessageW(box, WM_COMMAND, IDOK, 0);
            }
            ::Sleep(100);
        }
        done = true;
        ::PostMessageW(form.Handle(), WM_NULL, 0, 0);
    });
    while (!done) {
        app.ProcessMessages();
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    watcher.join();

    EXPECT_EQ(most, 1) << "expected one box at a time, got " << most << " at once";
    EXPECT_GE(raisedWhileUp, 5) << "expected the timer to keep failing while the box was up";
    EXPECT_EQ(text, L"Member not found.");
    // Nothing was kept for later: once the errors stop, no box follows.
    const DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < 300) {
        app.ProcessMessages();
        ::Sleep(10);
    }
    EXPECT_TRUE(BoxesOf(thread).empty()) << "expected no box after the first was answered";
}

} // namespace
