#include "scripted_net.h"

#include "json.h"
#include "runner.h"

#include <deque>
#include <map>
#include <ostream>

namespace fw::play {
namespace {

const std::string kContent = "Hello, World!";

// A peer that plays its part of the script against the movie.
class ScriptedPeer : public avm1::SocketConnection {
public:
    ScriptedPeer(std::ostream& err, std::vector<PeerStep> steps)
        : err_(err), steps_(std::move(steps)) {}

    std::optional<Event> Poll() override {
        if (!connected_) {
            connected_ = true;
            return Event{Event::Kind::Connected, {}};
        }
        while (next_ < steps_.size()) {
            const PeerStep& step = steps_[next_];
            switch (step.kind) {
            case PeerStep::Kind::Send:
                ++next_;
                return Event{Event::Kind::Data, step.bytes};
            case PeerStep::Kind::Disconnect:
                next_ = steps_.size();
                return Event{Event::Kind::Closed, {}};
            case PeerStep::Kind::Receive:
                if (received_.empty()) {
                    if (hungUp_) {
                        Stray("the movie hung up where the peer waited for data");
                    }
                    return std::nullopt;
                }
                if (received_.front() != step.bytes) {
                    Stray("the movie sent other data than the peer waited for");
                    return std::nullopt;
                }
                received_.pop_front();
                ++next_;
                break;
            case PeerStep::Kind::WaitForDisconnect:
                if (!received_.empty()) {
                    Stray("the movie sent data where the peer waited for it to hang up");
                    return std::nullopt;
                }
                if (!hungUp_) {
                    return std::nullopt;
                }
                ++next_;
                break;
            }
        }
        return std::nullopt;
    }
    void Send(std::string_view bytes) override {
        if (!hungUp_) {
            received_.emplace_back(bytes);
        }
    }
    void Close() override { hungUp_ = true; }

private:
    // The run no longer follows the script: the peer says so and plays no further part.
    void Stray(const char* what) {
        err_ << "fwplay: socket: " << what << '\n';
        next_ = steps_.size();
    }

    std::ostream& err_;
    std::vector<PeerStep> steps_;
    std::size_t next_ = 0;
    bool connected_ = false;
    bool hungUp_ = false;
    std::deque<std::string> received_;
};

avm1::PickedFile TestFile(std::string name) {
    avm1::PickedFile f;
    f.name = std::move(name);
    f.type = ".txt";
    f.bytes = kContent;
    return f;
}

} // namespace

std::optional<std::vector<PeerStep>> ParsePeerScript(std::string_view json, std::string& error) {
    Json doc;
    if (!ParseJson(json, doc, error)) {
        return std::nullopt;
    }
    if (doc.type != Json::Type::Array) {
        error = "not a list of steps";
        return std::nullopt;
    }
    static const std::map<std::string, PeerStep::Kind> kKinds = {
        {"Receive", PeerStep::Kind::Receive},
        {"Send", PeerStep::Kind::Send},
        {"Disconnect", PeerStep::Kind::Disconnect},
        {"WaitForDisconnect", PeerStep::Kind::WaitForDisconnect}};
    std::vector<PeerStep> steps;
    for (std::size_t i = 0; i < doc.items.size(); ++i) {
        const Json& o = doc.items[i];
        const Json* type = o.Member("type");
        auto kind = type ? kKinds.find(type->text) : kKinds.end();
        if (kind == kKinds.end()) {
            error = "step " + std::to_string(i + 1) + ": no known type";
            return std::nullopt;
        }
        PeerStep step;
        step.kind = kind->second;
        if (step.kind == PeerStep::Kind::Send || step.kind == PeerStep::Kind::Receive) {
            const Json* bytes =
                o.Member(step.kind == PeerStep::Kind::Send ? "payload" : "expected");
            if (!bytes || bytes->type != Json::Type::Array) {
                error = "step " + std::to_string(i + 1) + ": no list of bytes";
                return std::nullopt;
            }
            for (const Json& b : bytes->items) {
                if (b.type != Json::Type::Number || !(b.number >= 0 && b.number <= 255) ||
                    b.number != static_cast<int>(b.number)) {
                    error = "step " + std::to_string(i + 1) + ": a byte out of range";
                    return std::nullopt;
                }
                step.bytes += static_cast<char>(static_cast<unsigned char>(b.number));
            }
        }
        steps.push_back(std::move(step));
    }
    return steps;
}

std::unique_ptr<avm1::SocketConnection> ScriptedNet::Connect(const std::string&, int) {
    if (!peer_) {
        return nullptr;
    }
    return std::make_unique<ScriptedPeer>(err_, *peer_);
}

std::optional<std::vector<avm1::PickedFile>>
ScriptedNet::OpenFiles(const std::vector<avm1::FileFilter>& filters, bool several) {
    for (const auto& f : filters) {
        if (f.description == "debug-select-success") {
            if (!several) {
                return std::vector{TestFile("test.txt")};
            }
            return std::vector{TestFile("test1.txt"), TestFile("test2.txt"), TestFile("test3.txt")};
        }
    }
    return std::nullopt;
}

std::optional<avm1::PickedFile> ScriptedNet::SaveFile(const std::string& name, const std::string&) {
    if (name != "debug-success.txt") {
        return std::nullopt;
    }
    return TestFile(name);
}

avm1::Transfer ScriptedNet::Fetch(const std::string& url, const std::string*, const std::string&) {
    using Outcome = avm1::Transfer::Outcome;
    if (url.find("?debug-success") != std::string::npos) {
        return {Outcome::Done, 200, kContent};
    }
    if (url.find("?debug-error-statuscode") != std::string::npos) {
        return {Outcome::HttpError, 0, {}};
    }
    if (url.find("?debug-error-dns") != std::string::npos) {
        return {Outcome::NoHost, 0, {}};
    }
    if (auto bytes = ReadBesideMovie(folder_, url)) {
        return {Outcome::Done, 0, std::move(*bytes)};
    }
    return {Outcome::Failed, 0, {}};
}

} // namespace fw::play
