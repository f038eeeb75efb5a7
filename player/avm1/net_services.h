#pragma once
// What the movie reaches outside itself besides files beside it: socket connections, the file
// dialogs and transfers of FileReference. The host answers; the player calls it only between
// scripts and hands the answers to the movie as events, so a host may block (a modal dialog)
// or answer from a script of its own (a test runner).

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fw::avm1 {

// One connection to a peer, open or still connecting.
class SocketConnection {
public:
    virtual ~SocketConnection() = default;
    struct Event {
        enum class Kind { Connected, Refused, Data, Closed } kind = Kind::Closed;
        std::string bytes; // Data's
    };
    // What happened since the last call, oldest first; nullopt when nothing (yet).
    virtual std::optional<Event> Poll() = 0;
    virtual void Send(std::string_view bytes) = 0;
    // The movie hangs up: nothing more arrives.
    virtual void Close() = 0;
};

// What a file dialog offers to pick ("Images", "*.jpg;*.png").
struct FileFilter {
    std::string description;
    std::string extensions;
    std::optional<std::string> macType;
};

// A file the user picked, as the movie may see it.
struct PickedFile {
    std::string name;                   // without its folder
    std::optional<std::string> type;    // ".txt"
    std::optional<std::string> creator; // a Mac creator code
    std::optional<double> created;      // ms since 1970
    std::optional<double> modified;
    std::string bytes;
    std::string where; // the host's own note of where the file is, never shown to the movie
};

// How a transfer ended.
struct Transfer {
    enum class Outcome {
        Done,
        HttpError, // the server answered with an error status
        NoHost,    // the address leads nowhere
        Failed,    // anything else on the way
    } outcome = Outcome::Failed;
    int status = 0;
    std::string body;
};

class NetServices {
public:
    virtual ~NetServices() = default;
    // Starts a connection; null when none can even be tried.
    virtual std::unique_ptr<SocketConnection> Connect(const std::string& host, int port) = 0;
    // An open dialog; nullopt when cancelled.
    virtual std::optional<std::vector<PickedFile>> OpenFiles(const std::vector<FileFilter>& filters,
                                                             bool several) = 0;
    // A save dialog offering a file name; nullopt when cancelled.
    virtual std::optional<PickedFile> SaveFile(const std::string& name,
                                               const std::string& title) = 0;
    // A download (no body) or an upload of a body of the given type.
    virtual Transfer Fetch(const std::string& url, const std::string* body,
                           const std::string& contentType) = 0;
    // Keeps what a download brought where the save dialog said.
    virtual void Store(const PickedFile& file, const std::string& bytes) = 0;
};

} // namespace fw::avm1
