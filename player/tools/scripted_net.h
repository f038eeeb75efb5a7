#pragma once
// The world outside a headless run, answered the way the conformance suite's harness answers
// it, so movies that use sockets, file dialogs and transfers play as they were recorded:
// - a socket connects to a peer that follows a script (the corpus's socket.json): it waits for
//   what the movie must send, sends its own bytes and hangs up in turn; without a script no
//   connection is made;
// - an open dialog picks "test.txt" (three files "test1.txt" to "test3.txt" where several may
//   be picked) when a filter is described as "debug-select-success", and is cancelled otherwise;
//   a save dialog accepts the name "debug-success.txt" alone; a picked file holds
//   "Hello, World!";
// - an address with "?debug-success" answers "Hello, World!", "?debug-error-statuscode" an
//   error status, "?debug-error-dns" no host; any other is a file beside the movie.
// Nothing is written anywhere.

#include "avm1/net_services.h"

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fw::play {

// One step of the socket peer's part.
struct PeerStep {
    enum class Kind { Receive, Send, Disconnect, WaitForDisconnect } kind = Kind::Send;
    std::string bytes; // what Receive expects, what Send sends
};

// Reads a peer's part; nullopt with error set when it is not one.
std::optional<std::vector<PeerStep>> ParsePeerScript(std::string_view json, std::string& error);

class ScriptedNet : public avm1::NetServices {
public:
    // Files are read from folder; a peer that sees the movie stray from its part says so on err.
    ScriptedNet(std::ostream& err, std::string folder, std::optional<std::vector<PeerStep>> peer)
        : err_(err), folder_(std::move(folder)), peer_(std::move(peer)) {}

    std::unique_ptr<avm1::SocketConnection> Connect(const std::string& host, int port) override;
    std::optional<std::vector<avm1::PickedFile>>
    OpenFiles(const std::vector<avm1::FileFilter>& filters, bool several) override;
    std::optional<avm1::PickedFile> SaveFile(const std::string& name,
                                             const std::string& title) override;
    avm1::Transfer Fetch(const std::string& url, const std::string* body,
                         const std::string& contentType) override;
    void Store(const avm1::PickedFile&, const std::string&) override {}

private:
    std::ostream& err_;
    std::string folder_;
    std::optional<std::vector<PeerStep>> peer_;
};

} // namespace fw::play
