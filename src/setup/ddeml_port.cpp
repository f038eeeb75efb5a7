#include "setup/ddeml_port.h"

#include "setup/cp1251.h"

namespace fw {

DdemlPort::DdemlPort() {
    if (::DdeInitializeA(&instance_, &DdemlPort::Callback, APPCMD_CLIENTONLY, 0) !=
        DMLERR_NO_ERROR) {
        instance_ = 0;
    }
}

DdemlPort::~DdemlPort() {
    Disconnect();
    if (instance_) {
        ::DdeUninitialize(instance_);
    }
}

HDDEDATA CALLBACK DdemlPort::Callback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) {
    // The client asks nothing of its callback: completions of the
    // asynchronous executes and the server's disconnect need no answer.
    return nullptr;
}

bool DdemlPort::Connect(std::wstring_view service, std::wstring_view topic) {
    if (!instance_) {
        return false;
    }
    if (conv_) {
        return true;
    }
    FreeNames();
    // An empty name gives no handle, which asks for any service or topic.
    const std::string s = ToCp1251(service);
    const std::string t = ToCp1251(topic);
    service_ = s.empty() ? nullptr : ::DdeCreateStringHandleA(instance_, s.c_str(), CP_WINANSI);
    topic_ = t.empty() ? nullptr : ::DdeCreateStringHandleA(instance_, t.c_str(), CP_WINANSI);
    conv_ = ::DdeConnect(instance_, service_, topic_, nullptr);
    return conv_ != nullptr;
}

unsigned DdemlPort::StartServer(std::wstring_view commandLine) {
    const std::string line = ToCp1251(commandLine);
    return ::WinExec(line.c_str(), SW_SHOWMINNOACTIVE);
}

bool DdemlPort::Execute(std::string_view bytes) {
    if (!instance_ || !conv_) {
        return false;
    }
    std::string data(bytes);
    DWORD id = 0;
    const HDDEDATA r = ::DdeClientTransaction(reinterpret_cast<LPBYTE>(data.data()),
                                              static_cast<DWORD>(data.size()), conv_, nullptr,
                                              CF_TEXT, XTYP_EXECUTE, TIMEOUT_ASYNC, &id);
    return r != nullptr;
}

void DdemlPort::Disconnect() {
    if (conv_) {
        ::DdeDisconnect(conv_);
        conv_ = nullptr;
    }
    FreeNames();
}

void DdemlPort::FreeNames() {
    if (service_) {
        ::DdeFreeStringHandle(instance_, service_);
        service_ = nullptr;
    }
    if (topic_) {
        ::DdeFreeStringHandle(instance_, topic_);
        topic_ = nullptr;
    }
}

void ShowInformation(HWND owner, std::wstring_view text) {
    const std::wstring t(text);
    ::MessageBoxW(owner, t.c_str(), L"Information", MB_OK | MB_ICONINFORMATION);
}

} // namespace fw
