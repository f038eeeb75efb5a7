#pragma once
// The program group "Тавилон" with its start item and its removal item, made
// and removed through the Program Manager's DDE commands. TDdeClientConv keeps
// the conversation's rules; the DDE library itself is behind DdePort.

#include <functional>
#include <string>
#include <string_view>

namespace fw {

inline constexpr std::wstring_view kGroupName = L"Тавилон";
inline constexpr std::wstring_view kRemovalItemName = L"Удалить Тавилон";
inline constexpr std::wstring_view kProgmanService = L"progman";

inline constexpr std::wstring_view kCreateGroupFailed = L"Невозможно создать программную группу";
inline constexpr std::wstring_view kAddItemFailed = L"Невозможно добавить ярлык";
inline constexpr std::wstring_view kAddRemovalItemFailed = L"Невозможно добавить ярлык.";

// The command texts, each ended by CR LF.
std::wstring CreateGroupCommand(std::wstring_view group);
std::wstring AddItemCommand(std::wstring_view exePath, std::wstring_view item);
std::wstring AddRemovalItemCommand(std::wstring_view exePath, std::wstring_view item);
std::wstring DeleteGroupCommand(std::wstring_view group);

// What goes over the wire: the Windows-1251 bytes of the command and the
// terminating NUL, whatever the system's code page.
std::string CommandBytes(std::wstring_view command);

// The DDE library as the conversation uses it (DDEML, CF_TEXT, ANSI names).
class DdePort {
public:
    virtual ~DdePort() = default;
    // Makes string handles for both names (an empty topic: any topic the
    // server offers) and connects; true when a conversation is open.
    virtual bool Connect(std::wstring_view service, std::wstring_view topic) = 0;
    // Runs a command line minimised without activation (WinExec with
    // SW_SHOWMINNOACTIVE); 32 or more means it started.
    virtual unsigned StartServer(std::wstring_view commandLine) = 0;
    // Submits the bytes as an execute transaction without waiting for it;
    // true when the library accepted it for sending.
    virtual bool Execute(std::string_view bytes) = 0;
    // Disconnects an open conversation and frees the string handles.
    virtual void Disconnect() = 0;
};

// The client side of one conversation. Every close and every failed set-up
// empties the names, and opening never connects without names, so the set-up
// made when the main window is loaded is the only connection attempt of a run.
class TDdeClientConv {
public:
    explicit TDdeClientConv(DdePort& port) : port_(port) {}
    ~TDdeClientConv() { CloseLink(); }
    TDdeClientConv(const TDdeClientConv&) = delete;
    TDdeClientConv& operator=(const TDdeClientConv&) = delete;

    // Closes any conversation, takes the names and connects, starting the
    // server once ("service topic" as a command line) when the first attempt
    // fails. On failure the names are emptied. True when connected.
    bool SetLink(std::wstring_view service, std::wstring_view topic);
    // Connects with the current names unless connected or the names are empty.
    bool OpenLink();
    // Sends one command; false when there is no conversation or the library
    // refused it. Acceptance says nothing about what the server makes of it.
    bool ExecuteMacro(std::wstring_view command);
    // Disconnects, frees the names' handles and empties the names.
    void CloseLink();

    bool Connected() const { return connected_; }
    const std::wstring& DdeService() const { return service_; }
    const std::wstring& DdeTopic() const { return topic_; }

private:
    bool Connect();

    DdePort& port_;
    bool connected_ = false;
    std::wstring service_;
    std::wstring topic_;
};

// Shows one message and returns when the user has closed it.
using InformFn = std::function<void(std::wstring_view text)>;

// Creates the group with its two items for the registered executable path.
// A command that cannot be submitted shows its message; every step runs
// whatever the previous one did, and the conversation is closed at the end.
void RunInstallSequence(TDdeClientConv& conv, std::wstring_view exePath, const InformFn& inform);

// Deletes the group; nothing is reported. Pending window messages are handled
// once before the conversation is closed.
void RunRemovalSequence(TDdeClientConv& conv, const std::function<void()>& processMessages);

} // namespace fw
