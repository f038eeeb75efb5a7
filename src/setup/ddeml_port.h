#pragma once
// The Program Manager conversation on the platform's DDE management library.
// The conversation is ANSI (DdeInitializeA, CF_TEXT): the server gets the
// command bytes exactly as they are sent, which a Unicode client does not
// guarantee everywhere.

#include <windows.h>

#include <ddeml.h>

#include <string>

#include "setup/program_group.h"

namespace fw {

// One DDEML client instance of the GUI thread; the asynchronous transactions
// complete through the thread's message loop.
class DdemlPort : public DdePort {
public:
    DdemlPort();
    ~DdemlPort() override;
    DdemlPort(const DdemlPort&) = delete;
    DdemlPort& operator=(const DdemlPort&) = delete;

    bool Connect(std::wstring_view service, std::wstring_view topic) override;
    unsigned StartServer(std::wstring_view commandLine) override;
    bool Execute(std::string_view bytes) override;
    void Disconnect() override;

    // True when DdeInitializeA succeeded; without it nothing connects.
    bool Initialized() const { return instance_ != 0; }

private:
    static HDDEDATA CALLBACK Callback(UINT type, UINT fmt, HCONV conv, HSZ hsz1, HSZ hsz2,
                                      HDDEDATA data, ULONG_PTR data1, ULONG_PTR data2);
    void FreeNames();

    DWORD instance_ = 0;
    HCONV conv_ = nullptr;
    HSZ service_ = nullptr;
    HSZ topic_ = nullptr;
};

// The information dialog of the program group messages: the text, the caption
// "Information", the information icon and one OK button.
void ShowInformation(HWND owner, std::wstring_view text);

} // namespace fw
