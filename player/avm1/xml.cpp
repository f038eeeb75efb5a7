// XMLNode and XML: a tree of element and text nodes, each one script object, read from text by
// a forgiving parser and written back as text; XML is the document that parses and loads.

#include "runtime.h"

#include <algorithm>
#include <cmath>

namespace fw::avm1 {
namespace {

constexpr int kElement = 1;
constexpr int kMaxNesting = 256; // deeper elements nest no further, as a guard for the host

struct Node : HostData {
    int type = kElement;
    // An element's name (none for a document) or a text's characters.
    std::optional<std::string> value;
    Object* parent = nullptr;
    std::vector<Object*> children;
    Object* attributes = nullptr; // without a prototype; newest first is the order of the text
    Object* childArray = nullptr; // childNodes, once asked for, kept in step with children

    // Documents only.
    bool document = false;
    std::optional<std::string> xmlDecl;
    std::optional<std::string> docType;
    Object* idMap = nullptr;
    int status = 0;

    void Trace(std::vector<Object*>& out) const override {
        out.push_back(parent);
        out.insert(out.end(), children.begin(), children.end());
        out.push_back(attributes);
        out.push_back(childArray);
        out.push_back(idMap);
    }
};

Node* NodeOf(const Value& v) {
    Object* o = v.object();
    return o && o->host ? dynamic_cast<Node*>(o->host.get()) : nullptr;
}

Node& Attach(Runtime& rt, Object* o, int type, std::optional<std::string> value) {
    auto node = std::make_unique<Node>();
    node->type = type;
    node->value = std::move(value);
    node->attributes = rt.NewObject();
    Node& n = *node;
    o->host = std::move(node);
    return n;
}

// A node of its own object, taking the prototype XMLNode has now.
Object* NewNode(Runtime& rt, int type, std::optional<std::string> value) {
    Object* proto =
        rt.xmlNodeClass_ ? rt.Get(Value(rt.xmlNodeClass_), "prototype").object() : rt.xmlNodeProto_;
    Object* o = rt.NewObject(proto);
    Attach(rt, o, type, std::move(value));
    return o;
}

// The attributes in the order they are written: the newest first.
std::vector<const Property*> AttributeOrder(const Node& n) {
    std::vector<const Property*> out;
    n.attributes->ForEach([&](const Property& p) { out.push_back(&p); });
    std::reverse(out.begin(), out.end());
    return out;
}

void Refresh(Runtime& rt, Node& n) {
    if (!n.childArray) {
        return;
    }
    rt.SetLength(n.childArray, 0);
    for (std::size_t i = 0; i < n.children.size(); ++i) {
        rt.ArraySet(n.childArray, Runtime::IndexName(static_cast<double>(i)), Value(n.children[i]));
    }
}

bool IsAncestorOrSelf(Object* candidate, Object* o) {
    for (int guard = 0; o && guard < 100000; ++guard) {
        if (o == candidate) {
            return true;
        }
        Node* n = NodeOf(Value(o));
        o = n ? n->parent : nullptr;
    }
    return false;
}

void Detach(Runtime& rt, Object* child) {
    Node* c = NodeOf(Value(child));
    if (!c || !c->parent) {
        return;
    }
    if (Node* p = NodeOf(Value(c->parent))) {
        auto it = std::find(p->children.begin(), p->children.end(), child);
        if (it != p->children.end()) {
            p->children.erase(it);
        }
        Refresh(rt, *p);
    }
    c->parent = nullptr;
}

void Insert(Runtime& rt, Object* parent, std::size_t at, Object* child) {
    Node* p = NodeOf(Value(parent));
    Node* c = NodeOf(Value(child));
    if (!p || !c || IsAncestorOrSelf(child, parent)) {
        return;
    }
    Detach(rt, child);
    at = std::min(at, p->children.size());
    p->children.insert(p->children.begin() + static_cast<std::ptrdiff_t>(at), child);
    c->parent = parent;
    Refresh(rt, *p);
}

// --- text ---

std::string Escape(std::string_view s) {
    std::string out;
    for (char c : s) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// Entities are read where they are known; an unknown one or a bare ampersand stays as written.
std::string Unescape(std::string_view s) {
    std::string out;
    std::size_t i = 0;
    while (i < s.size()) {
        if (s[i] != '&') {
            out += s[i++];
            continue;
        }
        std::size_t semi = s.find(';', i);
        if (semi == std::string_view::npos || semi - i > 12) {
            out += s[i++];
            continue;
        }
        std::string_view e = s.substr(i + 1, semi - i - 1);
        const std::pair<const char*, char> named[] = {
            {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}};
        bool done = false;
        for (const auto& [name, c] : named) {
            if (e == name) {
                out += c;
                done = true;
            }
        }
        if (!done && e.size() > 1 && e[0] == '#') {
            bool hex = e[1] == 'x' || e[1] == 'X';
            std::string_view digits = e.substr(hex ? 2 : 1);
            std::uint32_t code = 0;
            bool ok = !digits.empty();
            for (char c : digits) {
                int d = c >= '0' && c <= '9'          ? c - '0'
                        : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                        : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                      : -1;
                if (d < 0 || code > 0x10FFFF) {
                    ok = false;
                    break;
                }
                code = code * (hex ? 16 : 10) + static_cast<std::uint32_t>(d);
            }
            if (ok && code > 0 && code <= 0x10FFFF) {
                std::u16string units;
                if (code >= 0x10000) {
                    units += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
                    units += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
                } else {
                    units += static_cast<char16_t>(code);
                }
                out += FromUtf16(units);
                done = true;
            }
        }
        if (done) {
            i = semi + 1;
        } else {
            out += s[i++];
        }
    }
    return out;
}

void Write(Runtime& rt, Object* o, std::string& out, int depth) {
    Node* n = NodeOf(Value(o));
    if (!n || depth > kMaxNesting * 4) {
        return;
    }
    if (n->type != kElement) {
        out += Escape(n->value.value_or(""));
        return;
    }
    if (n->value) {
        out += '<';
        out += *n->value;
        for (const Property* p : AttributeOrder(*n)) {
            out += ' ';
            out += p->name;
            out += "=\"";
            out += Escape(rt.ToStr(p->value));
            out += '"';
        }
        if (n->children.empty()) {
            out += " />";
            return;
        }
        out += '>';
    }
    for (Object* child : std::vector<Object*>(n->children)) {
        Write(rt, child, out, depth + 1);
        if (out.size() > rt.limits().stringBytes) {
            rt.Stop("XML text longer than " + std::to_string(rt.limits().stringBytes) + " bytes");
        }
    }
    if (n->value) {
        out += "</";
        out += *n->value;
        out += '>';
    }
}

// --- the parser ---

enum Status {
    kOk = 0,
    kCdataOpen = -2,
    kDeclOpen = -3,
    kDocTypeOpen = -4,
    kCommentOpen = -5,
    kMalformed = -6,
    kAttributeOpen = -8,
    kStartUnclosed = -9,
    kEndUnopened = -10,
};

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

class Parser {
public:
    Parser(Runtime& rt, Object* doc, Node& d, bool ignoreWhite)
        : rt_(rt), d_(d), ignoreWhite_(ignoreWhite), open_{doc} {}

    int Run(std::string_view s) {
        s_ = s;
        while (i_ < s_.size()) {
            int status = s_[i_] == '<' ? Markup() : Text();
            if (status != kOk) {
                return status;
            }
        }
        return open_.size() > 1 ? kStartUnclosed : kOk;
    }

private:
    void AddText(std::string text) {
        bool white = std::all_of(text.begin(), text.end(), IsSpace);
        if (text.empty() || (ignoreWhite_ && white)) {
            return;
        }
        Insert(rt_, open_.back(), SIZE_MAX, NewNode(rt_, 3, std::move(text)));
    }

    int Text() {
        std::size_t end = s_.find('<', i_);
        if (end == std::string_view::npos) {
            end = s_.size();
        }
        AddText(Unescape(s_.substr(i_, end - i_)));
        i_ = end;
        return kOk;
    }

    // The markup from i_ to the end of the given closing text, or status when it is missing.
    std::optional<std::string_view> Until(std::string_view close, std::size_t from) {
        std::size_t end = s_.find(close, from);
        if (end == std::string_view::npos) {
            return std::nullopt;
        }
        std::string_view whole = s_.substr(i_, end + close.size() - i_);
        i_ = end + close.size();
        return whole;
    }

    int Markup() {
        std::string_view rest = s_.substr(i_);
        if (rest.starts_with("<?")) {
            auto decl = Until("?>", i_ + 2);
            if (!decl) {
                return kDeclOpen;
            }
            d_.xmlDecl = std::string(*decl);
            return kOk;
        }
        if (rest.starts_with("<!--")) {
            return Until("-->", i_ + 4) ? kOk : kCommentOpen;
        }
        if (rest.starts_with("<![CDATA[")) {
            std::size_t start = i_ + 9;
            auto whole = Until("]]>", start);
            if (!whole) {
                return kCdataOpen;
            }
            AddText(std::string(whole->substr(9, whole->size() - 12)));
            return kOk;
        }
        if (rest.starts_with("<!")) {
            auto decl = Until(">", i_ + 2);
            if (!decl) {
                return kDocTypeOpen;
            }
            d_.docType = std::string(*decl);
            return kOk;
        }
        if (rest.starts_with("</")) {
            std::size_t end = s_.find('>', i_);
            if (end == std::string_view::npos) {
                return kMalformed;
            }
            std::string_view name = s_.substr(i_ + 2, end - i_ - 2);
            while (!name.empty() && IsSpace(name.back())) {
                name.remove_suffix(1);
            }
            Node* top = open_.size() > 1 ? NodeOf(Value(open_.back())) : nullptr;
            if (!top || top->value.value_or("") != name) {
                return kEndUnopened;
            }
            open_.pop_back();
            i_ = end + 1;
            return kOk;
        }
        return Element();
    }

    int Element() {
        std::size_t j = i_ + 1;
        std::size_t start = j;
        while (j < s_.size() && !IsSpace(s_[j]) && s_[j] != '>' && s_[j] != '/') {
            ++j;
        }
        if (j == start || j >= s_.size()) {
            return kMalformed;
        }
        Object* element = NewNode(rt_, kElement, std::string(s_.substr(start, j - start)));
        std::vector<std::pair<std::string, std::string>> attributes;
        bool empty = false;
        for (;;) {
            while (j < s_.size() && IsSpace(s_[j])) {
                ++j;
            }
            if (j >= s_.size()) {
                return kMalformed;
            }
            if (s_[j] == '>') {
                ++j;
                break;
            }
            if (s_[j] == '/') {
                if (j + 1 >= s_.size() || s_[j + 1] != '>') {
                    return kMalformed;
                }
                empty = true;
                j += 2;
                break;
            }
            std::size_t nameStart = j;
            while (j < s_.size() && !IsSpace(s_[j]) && s_[j] != '=' && s_[j] != '>' &&
                   s_[j] != '/') {
                ++j;
            }
            std::string name(s_.substr(nameStart, j - nameStart));
            while (j < s_.size() && IsSpace(s_[j])) {
                ++j;
            }
            if (name.empty() || j >= s_.size() || s_[j] != '=') {
                return kMalformed;
            }
            ++j;
            while (j < s_.size() && IsSpace(s_[j])) {
                ++j;
            }
            if (j >= s_.size() || (s_[j] != '"' && s_[j] != '\'')) {
                return kAttributeOpen;
            }
            char quote = s_[j];
            std::size_t close = s_.find(quote, j + 1);
            if (close == std::string_view::npos) {
                return kAttributeOpen;
            }
            for (const auto& [seen, v] : attributes) {
                if (seen == name) {
                    return kMalformed;
                }
            }
            attributes.emplace_back(name, Unescape(s_.substr(j + 1, close - j - 1)));
            j = close + 1;
        }
        Node* e = NodeOf(Value(element));
        for (auto it = attributes.rbegin(); it != attributes.rend(); ++it) {
            e->attributes->Set(it->first, Value(it->second));
        }
        for (const auto& [name, v] : attributes) {
            if (name == "id" && d_.idMap) {
                d_.idMap->Set(v, Value(element));
            }
        }
        Insert(rt_, open_.back(), SIZE_MAX, element);
        if (!empty && open_.size() < kMaxNesting) {
            open_.push_back(element);
        }
        i_ = j;
        return kOk;
    }

    Runtime& rt_;
    Node& d_;
    bool ignoreWhite_;
    std::vector<Object*> open_;
    std::string_view s_;
    std::size_t i_ = 0;
};

void Parse(Runtime& rt, Object* doc, const std::string& text) {
    Node* d = NodeOf(Value(doc));
    if (!d) {
        return;
    }
    for (Object* child : std::vector<Object*>(d->children)) {
        Detach(rt, child);
    }
    bool ignoreWhite = rt.ToBool(rt.Get(Value(doc), "ignoreWhite"));
    d->status = Parser(rt, doc, *d, ignoreWhite).Run(text);
}

// --- XMLNode ---

Value NodeCtor(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Object* o = self.object();
    if (o && args.size() >= 2) {
        double type = rt.ToNum(args[0]);
        std::string value = rt.ToStr(args[1]);
        int t =
            std::isfinite(type) ? static_cast<int>(static_cast<std::uint8_t>(ToUint32(type))) : 0;
        Attach(rt, o, t, std::move(value));
    }
    return Value();
}

Value NodeTypeGet(Runtime&, Activation&, Value self, std::vector<Value>&) {
    Node* n = NodeOf(self);
    return n ? Value(n->type) : Value();
}

std::optional<std::string> NameOf(const Node& n) {
    return n.type == kElement ? n.value : std::nullopt;
}

Value NodeNameGet(Runtime&, Activation&, Value self, std::vector<Value>&) {
    Node* n = NodeOf(self);
    auto name = n ? NameOf(*n) : std::nullopt;
    return name ? Value(*name) : Value(Null{});
}

Value NodeValueGet(Runtime&, Activation&, Value self, std::vector<Value>&) {
    Node* n = NodeOf(self);
    return n && n->type != kElement && n->value ? Value(*n->value) : Value(Null{});
}

// Both nodeName and nodeValue write the one text a node has.
Value NodeValueSet(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Node* n = NodeOf(self);
    if (n && !args.empty() && !args[0].isUndefined()) {
        n->value = rt.ToStr(args[0]);
    }
    return Value();
}

// Where a qualified name splits: after its first colon, unless the colon ends it.
std::optional<std::size_t> Colon(const std::string& name) {
    std::size_t c = name.find(':');
    if (c == std::string::npos || c + 1 >= name.size()) {
        return std::nullopt;
    }
    return c;
}

Value LocalNameGet(Runtime&, Activation&, Value self, std::vector<Value>&) {
    Node* n = NodeOf(self);
    auto name = n ? NameOf(*n) : std::nullopt;
    if (!name) {
        return Value(Null{});
    }
    auto c = Colon(*name);
    return Value(c ? name->substr(*c + 1) : *name);
}

std::optional<std::string> PrefixOf(const Node& n) {
    auto name = NameOf(n);
    if (!name) {
        return std::nullopt;
    }
    auto c = Colon(*name);
    return c ? name->substr(0, *c) : std::string();
}

Value PrefixGet(Runtime&, Activation&, Value self, std::vector<Value>&) {
    Node* n = NodeOf(self);
    auto prefix = n ? PrefixOf(*n) : std::nullopt;
    return prefix ? Value(*prefix) : Value(Null{});
}

// The first answer match gives for an attribute of the node or of its ancestors, nearest first.
template <typename F> std::optional<Value> InScope(Object* o, F match) {
    for (int guard = 0; o && guard < 100000; ++guard) {
        Node* n = NodeOf(Value(o));
        if (!n) {
            break;
        }
        for (const Property* p : AttributeOrder(*n)) {
            if (auto found = match(*p)) {
                return found;
            }
        }
        o = n->parent;
    }
    return std::nullopt;
}

// The namespace an xmlns attribute gives a prefix; the empty prefix takes the first attribute
// whose name begins with xmlns.
std::optional<Value> LookupNamespace(Object* o, const std::string& prefix) {
    return InScope(o, [&](const Property& p) -> std::optional<Value> {
        std::string_view key = p.name;
        if (!key.starts_with("xmlns")) {
            return std::nullopt;
        }
        key.remove_prefix(5);
        if (prefix.empty() || (key.starts_with(':') && key.substr(1) == prefix)) {
            return p.value;
        }
        return std::nullopt;
    });
}

Value NamespaceUriGet(Runtime&, Activation&, Value self, std::vector<Value>&) {
    Node* n = NodeOf(self);
    if (!n) {
        return Value();
    }
    auto prefix = PrefixOf(*n);
    if (!prefix) {
        return Value(Null{});
    }
    return LookupNamespace(self.object(), *prefix).value_or(Value(""));
}

Value GetNamespaceForPrefix(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    if (!NodeOf(self) || args.empty()) {
        return Value();
    }
    return LookupNamespace(self.object(), rt.ToStr(args[0])).value_or(Value(Null{}));
}

Value GetPrefixForNamespace(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    if (!NodeOf(self) || args.empty()) {
        return Value();
    }
    std::string uri = rt.ToStr(args[0]);
    auto found = InScope(self.object(), [&](const Property& p) -> std::optional<Value> {
        std::string_view key = p.name;
        if (rt.ToStr(p.value) != uri || !key.starts_with("xmlns")) {
            return std::nullopt;
        }
        key.remove_prefix(5);
        return Value(key.starts_with(':') ? std::string(key.substr(1)) : std::string());
    });
    return found.value_or(Value(Null{}));
}

Value ChildNodesGet(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    Node* n = NodeOf(self);
    if (!n) {
        return Value();
    }
    if (!n->childArray) {
        n->childArray = rt.NewArray();
        Refresh(rt, *n);
    }
    return Value(n->childArray);
}

Value FirstChildGet(Runtime&, Activation&, Value self, std::vector<Value>&) {
    Node* n = NodeOf(self);
    if (!n) {
        return Value();
    }
    return n->children.empty() ? Value(Null{}) : Value(n->children.front());
}

Value LastChildGet(Runtime&, Activation&, Value self, std::vector<Value>&) {
    Node* n = NodeOf(self);
    if (!n) {
        return Value();
    }
    return n->children.empty() ? Value(Null{}) : Value(n->children.back());
}

Value ParentNodeGet(Runtime&, Activation&, Value self, std::vector<Value>&) {
    Node* n = NodeOf(self);
    if (!n) {
        return Value();
    }
    return n->parent ? Value(n->parent) : Value(Null{});
}

Value Sibling(const Value& self, int step) {
    Node* n = NodeOf(self);
    if (!n) {
        return Value();
    }
    Node* p = n->parent ? NodeOf(Value(n->parent)) : nullptr;
    if (!p) {
        return Value(Null{});
    }
    auto it = std::find(p->children.begin(), p->children.end(), self.object());
    if (it == p->children.end()) {
        return Value(Null{});
    }
    auto at = it - p->children.begin() + step;
    if (at < 0 || at >= static_cast<std::ptrdiff_t>(p->children.size())) {
        return Value(Null{});
    }
    return Value(p->children[static_cast<std::size_t>(at)]);
}

Value PreviousSiblingGet(Runtime&, Activation&, Value self, std::vector<Value>&) {
    return Sibling(self, -1);
}

Value NextSiblingGet(Runtime&, Activation&, Value self, std::vector<Value>&) {
    return Sibling(self, 1);
}

Value AttributesGet(Runtime&, Activation&, Value self, std::vector<Value>&) {
    Node* n = NodeOf(self);
    return n ? Value(n->attributes) : Value();
}

Value AppendChild(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Node* n = NodeOf(self);
    Node* c = NodeOf(Arg(args, 0));
    if (n && c && c->parent != self.object()) {
        Insert(rt, self.object(), n->children.size(), args[0].object());
    }
    return Value();
}

Value InsertBefore(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Node* n = NodeOf(self);
    Node* c = NodeOf(Arg(args, 0));
    Object* before = Arg(args, 1).object();
    if (!n || !c || !before || c->parent == self.object()) {
        return Value();
    }
    auto it = std::find(n->children.begin(), n->children.end(), before);
    if (it != n->children.end()) {
        Insert(rt, self.object(), static_cast<std::size_t>(it - n->children.begin()),
               args[0].object());
    }
    return Value();
}

Object* Clone(Runtime& rt, Object* o, bool deep, int depth) {
    Node* n = NodeOf(Value(o));
    Object* copy = NewNode(rt, n->type, n->value);
    Node* c = NodeOf(Value(copy));
    n->attributes->ForEach([&](const Property& p) { c->attributes->Set(p.name, p.value); });
    if (deep && depth < kMaxNesting * 4) {
        for (Object* child : std::vector<Object*>(n->children)) {
            Insert(rt, copy, c->children.size(), Clone(rt, child, deep, depth + 1));
        }
    }
    return copy;
}

Value CloneNode(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    if (!NodeOf(self)) {
        return Value();
    }
    return Value(Clone(rt, self.object(), rt.ToBool(Arg(args, 0)), 0));
}

Value HasChildNodes(Runtime&, Activation&, Value self, std::vector<Value>&) {
    Node* n = NodeOf(self);
    return n ? Value(!n->children.empty()) : Value();
}

Value RemoveNode(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    if (NodeOf(self)) {
        Detach(rt, self.object());
    }
    return Value();
}

Value NodeToString(Runtime& rt, Activation&, Value self, std::vector<Value>&) {
    if (!NodeOf(self)) {
        return Value("");
    }
    std::string out;
    Write(rt, self.object(), out, 0);
    return rt.Text(std::move(out));
}

// --- XML ---

Node* DocumentOf(const Value& v) {
    Node* n = NodeOf(v);
    return n && n->document ? n : nullptr;
}

Value XmlCtor(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Object* o = self.object();
    if (!o) {
        return Value();
    }
    Node& d = Attach(rt, o, kElement, std::nullopt);
    d.document = true;
    d.idMap = rt.NewObject();
    if (!args.empty()) {
        Parse(rt, o, rt.ToStr(args[0]));
    }
    return Value();
}

Value CreateElement(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    if (!DocumentOf(self) || args.empty()) {
        return Value();
    }
    return Value(NewNode(rt, kElement, rt.ToStr(args[0])));
}

Value CreateTextNode(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    if (!DocumentOf(self) || args.empty()) {
        return Value();
    }
    return Value(NewNode(rt, 3, rt.ToStr(args[0])));
}

Value ParseXml(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    Node* d = DocumentOf(self);
    if (!d) {
        return Value();
    }
    if (args.empty()) {
        for (Object* child : std::vector<Object*>(d->children)) {
            Detach(rt, child);
        }
        return Value();
    }
    Parse(rt, self.object(), rt.ToStr(args[0]));
    return Value();
}

Value DocTypeGet(Runtime&, Activation&, Value self, std::vector<Value>&) {
    Node* d = DocumentOf(self);
    return d && d->docType ? Value(*d->docType) : Value();
}

Value XmlDeclGet(Runtime&, Activation&, Value self, std::vector<Value>&) {
    Node* d = DocumentOf(self);
    return d && d->xmlDecl ? Value(*d->xmlDecl) : Value();
}

Value IdMapGet(Runtime&, Activation&, Value self, std::vector<Value>&) {
    Node* d = DocumentOf(self);
    return d ? Value(d->idMap) : Value();
}

Value StatusGet(Runtime&, Activation&, Value self, std::vector<Value>&) {
    Node* d = DocumentOf(self);
    return d ? Value(d->status) : Value();
}

Value Load(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    if (!DocumentOf(self) || Arg(args, 0).isNull()) {
        return Value(false);
    }
    LoadInto(rt, self, rt.ToStr(Arg(args, 0)));
    return Value(true);
}

Value OnData(Runtime& rt, Activation&, Value self, std::vector<Value>& args) {
    ReadLoaded(rt, self, Arg(args, 0), "parseXML");
    return Value();
}

Value Nothing(Runtime&, Activation&, Value, std::vector<Value>&) {
    return Value();
}

} // namespace

void InstallXml(Runtime& rt, Object* global) {
    Object* nodeProto = rt.NewPlain();
    rt.xmlNodeProto_ = nodeProto;
    rt.xmlNodeClass_ = rt.MakeClass("XMLNode", NodeCtor, nodeProto, global);
    const std::pair<const char*, NativeFn> getters[] = {
        {"localName", LocalNameGet},
        {"nodeType", NodeTypeGet},
        {"prefix", PrefixGet},
        {"childNodes", ChildNodesGet},
        {"firstChild", FirstChildGet},
        {"lastChild", LastChildGet},
        {"parentNode", ParentNodeGet},
        {"previousSibling", PreviousSiblingGet},
        {"nextSibling", NextSiblingGet},
        {"attributes", AttributesGet},
        {"namespaceURI", NamespaceUriGet},
    };
    Accessor(rt, nodeProto, "nodeName", NodeNameGet, NodeValueSet);
    Accessor(rt, nodeProto, "nodeValue", NodeValueGet, NodeValueSet);
    for (const auto& [name, fn] : getters) {
        Accessor(rt, nodeProto, name, fn);
    }
    const std::pair<const char*, NativeFn> nodeMethods[] = {
        {"appendChild", AppendChild},
        {"insertBefore", InsertBefore},
        {"cloneNode", CloneNode},
        {"getNamespaceForPrefix", GetNamespaceForPrefix},
        {"getPrefixForNamespace", GetPrefixForNamespace},
        {"hasChildNodes", HasChildNodes},
        {"removeNode", RemoveNode},
        {"toString", NodeToString},
    };
    for (const auto& [name, fn] : nodeMethods) {
        rt.Method(nodeProto, name, fn);
    }

    Object* proto = rt.NewObject(nodeProto);
    rt.xmlProto_ = proto;
    rt.MakeClass("XML", XmlCtor, proto, global);
    Accessor(rt, proto, "docTypeDecl", DocTypeGet);
    Accessor(rt, proto, "xmlDecl", XmlDeclGet);
    Accessor(rt, proto, "idMap", IdMapGet);
    Accessor(rt, proto, "status", StatusGet);
    proto->Set("ignoreWhite", Value(false), kDontEnum | kDontDelete);
    proto->Set("contentType", Value("application/x-www-form-urlencoded"),
               kDontEnum | kDontDelete | kReadOnly);
    const std::pair<const char*, NativeFn> methods[] = {
        {"createElement", CreateElement},
        {"createTextNode", CreateTextNode},
        {"getBytesLoaded", GetBytesLoaded},
        {"getBytesTotal", GetBytesTotal},
        {"parseXML", ParseXml},
        {"load", Load},
        {"onData", OnData},
        {"send", Nothing},
        {"sendAndLoad", Nothing},
        {"addRequestHeader", Nothing},
    };
    for (const auto& [name, fn] : methods) {
        rt.Method(proto, name, fn);
    }
}

} // namespace fw::avm1
