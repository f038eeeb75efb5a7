#include "setup/program_group.h"

#include "setup/cp1251.h"

namespace fw {

std::wstring CreateGroupCommand(std::wstring_view group) {
    return L"[CreateGroup(" + std::wstring(group) + L")]\r\n";
}

std::wstring AddItemCommand(std::wstring_view exePath, std::wstring_view item) {
    return L"[AddItem(\"" + std::wstring(exePath) + L"\"," + std::wstring(item) + L")]\r\n";
}

std::wstring AddRemovalItemCommand(std::wstring_view exePath, std::wstring_view item) {
    return L"[AddItem(\"" + std::wstring(exePath) + L"\" -u," + std::wstring(item) + L")]\r\n";
}

std::wstring DeleteGroupCommand(std::wstring_view group) {
    return L"[DeleteGroup(" + std::wstring(group) + L")]\r\n";
}

std::string CommandBytes(std::wstring_view command) {
    std::string bytes = ToCp1251(command);
    bytes += '\0';
    return bytes;
}

bool TDdeClientConv::SetLink(std::wstring_view service, std::wstring_view topic) {
    CloseLink();
    service_ = service;
    topic_ = topic;
    if (!Connect()) {
        port_.Disconnect();
        service_.clear();
        topic_.clear();
    }
    return connected_;
}

bool TDdeClientConv::OpenLink() {
    if (connected_) {
        return true;
    }
    if (service_.empty() && topic_.empty()) {
        return false;
    }
    return Connect();
}

bool TDdeClientConv::ExecuteMacro(std::wstring_view command) {
    if (!connected_) {
        return false;
    }
    return port_.Execute(CommandBytes(command));
}

void TDdeClientConv::CloseLink() {
    port_.Disconnect();
    connected_ = false;
    service_.clear();
    topic_.clear();
}

bool TDdeClientConv::Connect() {
    connected_ = port_.Connect(service_, topic_);
    if (!connected_ && port_.StartServer(service_ + L" " + topic_) >= 32) {
        connected_ = port_.Connect(service_, topic_);
    }
    return connected_;
}

void RunInstallSequence(TDdeClientConv& conv, std::wstring_view exePath, const InformFn& inform) {
    conv.OpenLink();
    if (!conv.ExecuteMacro(CreateGroupCommand(kGroupName))) {
        inform(kCreateGroupFailed);
    }
    if (!conv.ExecuteMacro(AddItemCommand(exePath, kGroupName))) {
        inform(kAddItemFailed);
    }
    if (!conv.ExecuteMacro(AddRemovalItemCommand(exePath, kRemovalItemName))) {
        inform(kAddRemovalItemFailed);
    }
    conv.CloseLink();
}

void RunRemovalSequence(TDdeClientConv& conv, const std::function<void()>& processMessages) {
    conv.OpenLink();
    conv.ExecuteMacro(DeleteGroupCommand(kGroupName));
    if (processMessages) {
        processMessages();
    }
    conv.CloseLink();
}

} // namespace fw
