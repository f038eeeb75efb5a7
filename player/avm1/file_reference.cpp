// flash.net.FileReference and FileReferenceList: files the user picks in a dialog, downloads to a
// place the user picks and uploads of a picked file. The host shows the dialogs and moves the
// bytes (NetServices); the listeners hear how it went between ticks.

#include "net_services.h"
#include "runtime.h"

#include <memory>
#include <type_traits>

namespace fw::avm1 {
namespace {

// Longer filter lists are refused rather than read.
constexpr double kMaxFilters = 1000;

struct FileState {
    enum class Job { None, Browse, BrowseSeveral, Download, Upload };
    Job job = Job::None;
    std::vector<FileFilter> filters;
    std::string url;
    std::string suggested; // a download's file name
    std::optional<PickedFile> file;
    std::optional<std::string> postData;
};

struct FileData : ActiveHost {
    std::shared_ptr<FileState> state = std::make_shared<FileState>();
    void Trace(std::vector<Object*>&) const override {}
    bool Poll(Runtime& rt, Object* self) override;
    bool Idle() const override { return state->job == FileState::Job::None; }
};

FileState* StateOf(const Value& self) {
    Object* o = self.object();
    auto* data = o && o->host ? dynamic_cast<FileData*>(o->host.get()) : nullptr;
    return data ? data->state.get() : nullptr;
}

// The scheme and host of an absolute address; nullopt for anything a browser would not load.
struct Address {
    std::string scheme;
    std::string host;
    std::string file; // the last part of its path
};

std::optional<Address> ReadAddress(std::string_view url) {
    auto alpha = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    while (!url.empty() && static_cast<unsigned char>(url.front()) <= ' ') {
        url.remove_prefix(1);
    }
    while (!url.empty() && static_cast<unsigned char>(url.back()) <= ' ') {
        url.remove_suffix(1);
    }
    std::size_t colon = url.find(':');
    if (colon == std::string_view::npos || colon == 0 || !alpha(url[0])) {
        return std::nullopt;
    }
    Address a;
    for (char c : url.substr(0, colon)) {
        if (!alpha(c) && !digit(c) && c != '+' && c != '-' && c != '.') {
            return std::nullopt;
        }
        a.scheme += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    std::string_view rest = url.substr(colon + 1);
    rest = rest.substr(0, rest.find_first_of("?#"));
    bool special = a.scheme == "http" || a.scheme == "https" || a.scheme == "ftp" ||
                   a.scheme == "ws" || a.scheme == "wss";
    if (special || rest.substr(0, 2) == "//") {
        rest.remove_prefix(std::min(rest.find_first_not_of("/\\"), rest.size()));
        std::string_view authority = rest.substr(0, rest.find_first_of("/\\"));
        rest.remove_prefix(authority.size());
        if (std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
            authority.remove_prefix(at + 1);
        }
        if (std::size_t port = authority.rfind(':'); port != std::string_view::npos) {
            for (char c : authority.substr(port + 1)) {
                if (!digit(c)) {
                    return std::nullopt;
                }
            }
            authority = authority.substr(0, port);
        }
        if (authority.find_first_of(" #%<>?@[\\]^|") != std::string_view::npos ||
            (special && authority.empty())) {
            return std::nullopt;
        }
        a.host = std::string(authority);
    }
    std::size_t slash = rest.find_last_of("/\\");
    a.file = std::string(slash == std::string_view::npos ? rest : rest.substr(slash + 1));
    return a;
}

// The filters a browse offers: a list of objects each with its own description and extension
// (both not empty), and perhaps a macType. nullopt when the list is refused.
std::optional<std::vector<FileFilter>> ReadFilters(Runtime& rt, Object* list) {
    double n = rt.Length(list);
    if (!(n >= 1 && n <= kMaxFilters)) {
        return std::nullopt;
    }
    std::vector<FileFilter> filters;
    for (double i = 0; i < n; ++i) {
        Object* item = rt.Element(list, i).object();
        if (!item) {
            return std::nullopt;
        }
        auto own = [&](const char* name) -> std::optional<std::string> {
            Property* p = item->FindOwn(name);
            if (!p || p->getter || p->setter) {
                return std::nullopt;
            }
            return rt.ToStr(p->value);
        };
        FileFilter f;
        auto description = own("description");
        auto extensions = own("extension");
        if (!description || !extensions || description->empty() || extensions->empty()) {
            return std::nullopt;
        }
        f.description = *description;
        f.extensions = *extensions;
        f.macType = own("macType");
        filters.push_back(std::move(f));
    }
    return filters;
}

// Calls the method on each listener of the list as it stands now.
void Broadcast(Runtime& rt, Object* self, const char* method, std::vector<Value> args) {
    Object* list = rt.Get(Value(self), "_listeners").object();
    if (!list) {
        return;
    }
    std::vector<Value> listeners;
    for (double i = 0, n = rt.Length(list); i < n && i < kMaxFilters; ++i) {
        listeners.push_back(rt.Element(list, i));
    }
    for (const Value& l : listeners) {
        rt.CallMethod(l, method, args);
    }
}

// What an upload sends: the file and its name as the fields of a form.
const std::string kBoundary = "----------FwFormBoundary7MA4YWxk";

std::string UploadForm(const PickedFile& file) {
    std::string name = file.name.empty() ? std::string("file") : file.name;
    std::string part = "--" + kBoundary + "\r\n";
    std::string body;
    body += part + "Content-Disposition: form-data; name=\"Filename\"\r\n\r\n" + name + "\r\n";
    body += part + "Content-Disposition: form-data; name=\"Filedata\"; filename=\"" + name +
            "\"\r\nContent-Type: application/octet-stream\r\n\r\n" + file.bytes + "\r\n";
    body += part + "Content-Disposition: form-data; name=\"Upload\"\r\n\r\nSubmit Query\r\n";
    body += "--" + kBoundary + "--\r\n";
    return body;
}

Value Size(const PickedFile& f) {
    return Value(static_cast<double>(f.bytes.size()));
}

void Download(Runtime& rt, Object* self, FileState& s, NetServices* net) {
    Value me(self);
    Address where = *ReadAddress(s.url);
    std::string title = "Select location for download from " +
                        (where.host.empty() ? std::string("<unknown domain>") : where.host);
    std::optional<PickedFile> target = net ? net->SaveFile(s.suggested, title) : std::nullopt;
    if (!target) {
        Broadcast(rt, self, "onCancel", {me});
        return;
    }
    Transfer t = net->Fetch(s.url, nullptr, "");
    s.file = *target;
    Broadcast(rt, self, "onSelect", {me});
    auto failed = [&] { rt.display().Trace("Error opening URL '" + s.url + "'"); };
    switch (t.outcome) {
    case Transfer::Outcome::Done: {
        Broadcast(rt, self, "onOpen", {me});
        net->Store(*target, t.body);
        if (s.file) {
            s.file->bytes = t.body;
        }
        Value n(static_cast<double>(t.body.size()));
        Broadcast(rt, self, "onProgress", {me, n, n});
        Broadcast(rt, self, "onComplete", {me});
        break;
    }
    case Transfer::Outcome::NoHost:
        failed();
        Broadcast(rt, self, "onIOError", {me});
        break;
    case Transfer::Outcome::HttpError: {
        // The server was reached: it opened, failed, and what came of the body still counts.
        Broadcast(rt, self, "onOpen", {me});
        failed();
        Broadcast(rt, self, "onIOError", {me});
        Value n(static_cast<double>(t.body.size()));
        Broadcast(rt, self, "onProgress", {me, n, n});
        break;
    }
    case Transfer::Outcome::Failed:
        Broadcast(rt, self, "onOpen", {me});
        failed();
        Broadcast(rt, self, "onIOError", {me});
        break;
    }
}

void Upload(Runtime& rt, Object* self, FileState& s, NetServices* net) {
    Value me(self);
    PickedFile file = s.file.value_or(PickedFile{});
    std::string body = UploadForm(file);
    Transfer t;
    if (net) {
        t = net->Fetch(s.url, &body, "multipart/form-data; boundary=" + kBoundary);
    }
    Broadcast(rt, self, "onOpen", {me});
    Value n = Size(file);
    switch (t.outcome) {
    case Transfer::Outcome::Done:
        Broadcast(rt, self, "onProgress", {me, n, n});
        Broadcast(rt, self, "onComplete", {me});
        break;
    case Transfer::Outcome::HttpError:
        Broadcast(rt, self, "onProgress", {me, n, n});
        Broadcast(rt, self, "onHTTPError", {me, Value(t.status)});
        break;
    case Transfer::Outcome::NoHost:
    case Transfer::Outcome::Failed:
        Broadcast(rt, self, "onIOError", {me});
        break;
    }
}

// A FileReference for each file picked at once, for a FileReferenceList.
Value FileList(Runtime& rt, std::vector<PickedFile>& files) {
    Value cls = rt.Get(rt.Get(rt.Get(Value(rt.global()), "flash"), "net"), "FileReference");
    Object* proto = rt.Get(cls, "prototype").object();
    std::vector<Value> items;
    for (auto& f : files) {
        Object* o = rt.NewObject(proto);
        auto data = std::make_unique<FileData>();
        data->state->file = std::move(f);
        o->host = std::move(data);
        items.push_back(Value(o));
    }
    return Value(rt.NewArray(items));
}

bool FileData::Poll(Runtime& rt, Object* self) {
    // A handler may start the next job or give the object another native part.
    std::shared_ptr<FileState> s = state;
    FileState::Job job = s->job;
    s->job = FileState::Job::None;
    NetServices* net = rt.display().Net();
    Value me(self);
    switch (job) {
    case FileState::Job::None:
        return false;
    case FileState::Job::Browse:
    case FileState::Job::BrowseSeveral: {
        bool several = job == FileState::Job::BrowseSeveral;
        auto files = net ? net->OpenFiles(s->filters, several) : std::nullopt;
        if (!files || files->empty()) {
            Broadcast(rt, self, "onCancel", {me});
        } else if (several) {
            self->Set("fileList", FileList(rt, *files));
            Broadcast(rt, self, "onSelect", {me});
        } else {
            s->file = std::move(files->front());
            Broadcast(rt, self, "onSelect", {me});
        }
        break;
    }
    case FileState::Job::Download:
        Download(rt, self, *s, net);
        break;
    case FileState::Job::Upload:
        Upload(rt, self, *s, net);
        break;
    }
    return true;
}

void Begin(Runtime& rt, const Value& self, FileState& s, FileState::Job job) {
    s.job = job;
    rt.Activate(self.object());
}

Value Construct(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    if (Object* o = self.object()) {
        o->host = std::make_unique<FileData>();
        o->Set("_listeners", Value(rt.NewArray()), kDontEnum);
    }
    return Value();
}

// browse(typeList): opens the dialog once this tick's scripts are done; false for a list it
// refuses. A single file's browse answers undefined for a list that is no object, a list's
// browse refuses it.
template <FileState::Job kJob>
Value Browse(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    FileState* s = StateOf(self);
    if (!s) {
        return Value();
    }
    bool several = kJob == FileState::Job::BrowseSeveral;
    std::vector<FileFilter> filters;
    if (!args.empty() && !(several && args[0].isUndefined())) {
        Object* list = args[0].object();
        if (!list && !several) {
            return Value();
        }
        auto read = list ? ReadFilters(rt, list) : std::nullopt;
        if (!read) {
            return Value(false);
        }
        filters = std::move(*read);
    }
    s->filters = std::move(filters);
    Begin(rt, self, *s, kJob);
    return Value(true);
}

// download(url, name): asks where to keep the file, then fetches it; false for an address that
// is not absolute.
Value DownloadFn(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    FileState* s = StateOf(self);
    if (!s || args.empty()) {
        return Value(false);
    }
    std::string url = rt.ToStr(args[0]);
    auto address = ReadAddress(url);
    if (!address) {
        return Value(false);
    }
    s->url = url;
    s->suggested = args.size() > 1 ? rt.ToStr(args[1]) : address->file;
    Begin(rt, self, *s, FileState::Job::Download);
    return Value(true);
}

// upload(url): sends the picked file to a web server; false before a file is picked or for an
// address that is not http(s).
Value UploadFn(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    FileState* s = StateOf(self);
    if (!s) {
        return Value();
    }
    if (!s->file || args.empty()) {
        return Value(false);
    }
    std::string url = rt.ToStr(args[0]);
    auto address = ReadAddress(url);
    if (!address || (address->scheme != "http" && address->scheme != "https")) {
        return Value(false);
    }
    s->url = url;
    Begin(rt, self, *s, FileState::Job::Upload);
    return Value(true);
}

// cancel(): a transfer not yet under way is dropped; a dialog already asked for still shows.
Value Cancel(Runtime&, Activation&, Value self, std::vector<Value>&) {
    FileState* s = StateOf(self);
    if (s && (s->job == FileState::Job::Download || s->job == FileState::Job::Upload)) {
        s->job = FileState::Job::None;
    }
    return Value();
}

const PickedFile* FileOf(const Value& self) {
    FileState* s = StateOf(self);
    return s && s->file ? &*s->file : nullptr;
}

// A text or a date of the picked file; undefined before one is picked or where it has none.
template <auto kField> Value FileField(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    const PickedFile* f = FileOf(self);
    if (!f) {
        return Value();
    }
    const auto& v = f->*kField;
    if constexpr (std::is_same_v<std::decay_t<decltype(v)>, std::string>) {
        return rt.Text(v);
    } else if constexpr (std::is_same_v<std::decay_t<decltype(v)>, std::optional<std::string>>) {
        return v ? rt.Text(*v) : Value();
    } else {
        return v ? rt.Construct(rt.Get(Value(rt.global()), "Date"), {Value(*v)}) : Value();
    }
}

Value GetSize(Runtime&, Activation&, Value self, std::vector<Value>&) {
    const PickedFile* f = FileOf(self);
    return f ? Size(*f) : Value();
}

Value GetPostData(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    FileState* s = StateOf(self);
    if (!s) {
        return Value();
    }
    return rt.Text(s->postData.value_or(""));
}

Value SetPostData(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    std::string text = rt.ToStr(Arg(args, 0));
    if (FileState* s = StateOf(self)) {
        s->postData = std::move(text);
    }
    return Value();
}

void Broadcasting(Runtime& rt, Object* proto) {
    Value broadcaster = rt.Get(Value(rt.global()), "AsBroadcaster");
    for (const char* name : {"addListener", "removeListener", "broadcastMessage"}) {
        proto->Set(name, rt.Get(broadcaster, name), kDontEnum);
    }
}

} // namespace

void InstallFileReference(Runtime& rt, Object* global) {
    Object* net = Package(rt, global, "flash.net");
    Object* proto = rt.NewPlain();
    rt.MakeClass("FileReference", Construct, proto, net)->function->scripted = true;
    Broadcasting(rt, proto);
    const std::pair<const char*, NativeFn> methods[] = {
        {"browse", Browse<FileState::Job::Browse>},
        {"cancel", Cancel},
        {"download", DownloadFn},
        {"upload", UploadFn},
    };
    for (const auto& [name, fn] : methods) {
        rt.Method(proto, name, fn);
    }
    Accessor(rt, proto, "creationDate", FileField<&PickedFile::created>);
    Accessor(rt, proto, "creator", FileField<&PickedFile::creator>);
    Accessor(rt, proto, "modificationDate", FileField<&PickedFile::modified>);
    Accessor(rt, proto, "name", FileField<&PickedFile::name>);
    Accessor(rt, proto, "postData", GetPostData, SetPostData);
    Accessor(rt, proto, "size", GetSize);
    Accessor(rt, proto, "type", FileField<&PickedFile::type>);

    Object* listProto = rt.NewPlain();
    rt.MakeClass("FileReferenceList", Construct, listProto, net);
    Broadcasting(rt, listProto);
    rt.Method(listProto, "browse", Browse<FileState::Job::BrowseSeveral>);
}

} // namespace fw::avm1
