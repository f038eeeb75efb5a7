#pragma once
// Presses OK on every message box this process shows while the watcher lives,
// and keeps what each box said.

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

struct SeenMessageBox {
    std::wstring caption;
    std::wstring text;
};

class ErrorBoxWatcher {
public:
    ErrorBoxWatcher()
        : thread_([this] {
              while (!stop_) {
                  HWND box = nullptr;
                  ::EnumWindows(FindBox, reinterpret_cast<LPARAM>(&box));
                  if (box) {
                      wchar_t caption[512] = {};
                      wchar_t text[512] = {};
                      ::GetWindowTextW(box, caption, 512);
                      ::GetDlgItemTextW(box, 65535, text, 512);
                      boxes_.push_back({caption, text});
                      ::PostMessageW(box, WM_COMMAND, IDOK, 0);
                      ::Sleep(300);
                  }
                  ::Sleep(50);
              }
          }) {}
    ~ErrorBoxWatcher() { Stop(); }
    ErrorBoxWatcher(const ErrorBoxWatcher&) = delete;
    ErrorBoxWatcher& operator=(const ErrorBoxWatcher&) = delete;

    std::vector<SeenMessageBox> Boxes() {
        Stop();
        return boxes_;
    }
    std::vector<std::wstring> Texts() {
        std::vector<std::wstring> texts;
        for (const auto& b : Boxes()) {
            texts.push_back(b.text);
        }
        return texts;
    }

private:
    void Stop() {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    static BOOL CALLBACK FindBox(HWND h, LPARAM lp) {
        wchar_t cls[16] = {};
        DWORD pid = 0;
        ::GetWindowThreadProcessId(h, &pid);
        ::GetClassNameW(h, cls, 16);
        if (pid == ::GetCurrentProcessId() && std::wstring(cls) == L"#32770" &&
            ::IsWindowVisible(h)) {
            *reinterpret_cast<HWND*>(lp) = h;
            return FALSE;
        }
        return TRUE;
    }

    std::atomic<bool> stop_{false};
    std::vector<SeenMessageBox> boxes_;
    std::thread thread_;
};
