#include "object.h"

namespace fw::avm1 {

std::string Object::Key(std::string_view name) const {
    return caseSensitive_ ? std::string(name) : AsciiLower(name);
}

Property* Object::FindOwn(std::string_view name) {
    auto it = index_.find(Key(name));
    return it == index_.end() ? nullptr : &props_[it->second];
}

const Property* Object::FindOwn(std::string_view name) const {
    auto it = index_.find(Key(name));
    return it == index_.end() ? nullptr : &props_[it->second];
}

const Value* Object::Find(std::string_view name) const {
    const Property* p = FindOwn(name);
    return p ? &p->value : nullptr;
}

void Object::SyncProto(const Property& p) {
    if (p.name.size() == 9 && Key(p.name) == Key("__proto__")) {
        proto_ = p.alive ? p.value.object() : nullptr;
    }
}

Property& Object::Set(std::string_view name, Value v, std::uint16_t flags) {
    auto [it, inserted] = index_.try_emplace(Key(name), props_.size());
    Property* p;
    if (inserted) {
        static std::uint32_t serials = 0;
        p = &props_.emplace_back();
        p->name = std::string(name);
        p->serial = ++serials;
        p->flags = flags;
    } else {
        p = &props_[it->second];
        p->getter = nullptr;
        p->setter = nullptr;
    }
    p->value = std::move(v);
    SyncProto(*p);
    return *p;
}

bool Object::Remove(std::string_view name) {
    auto it = index_.find(Key(name));
    if (it == index_.end()) {
        return false;
    }
    Property& p = props_[it->second];
    p.alive = false;
    p.value = Value();
    p.getter = p.setter = nullptr;
    SyncProto(p);
    index_.erase(it);
    // Compacts once the dead outnumber the living, keeping the order.
    if (++dead_ > 16 && dead_ > index_.size()) {
        std::vector<Property> live;
        live.reserve(index_.size());
        for (auto& q : props_) {
            if (q.alive) {
                live.push_back(std::move(q));
            }
        }
        props_ = std::move(live);
        index_.clear();
        for (std::size_t i = 0; i < props_.size(); ++i) {
            index_[Key(props_[i].name)] = i;
        }
        dead_ = 0;
    }
    return true;
}

std::vector<std::string> Object::Keys() const {
    std::vector<std::string> out;
    ForEach([&](const Property& p) { out.push_back(p.name); });
    return out;
}

void Object::Clear() {
    props_.clear();
    index_.clear();
    dead_ = 0;
    proto_ = nullptr;
}

Heap::~Heap() {
    Clear();
}

void Heap::Clear() {
    for (Cell* c : cells_) {
        delete c;
    }
    cells_.clear();
}

void Heap::Collect(const std::vector<Cell*>& roots, const std::vector<const Value*>& values) {
    std::vector<Cell*> work;
    std::vector<Object*> held;
    auto mark = [&](Cell* c) {
        if (c && !c->marked) {
            c->marked = true;
            work.push_back(c);
        }
    };
    auto markValue = [&](const Value& v) {
        if (v.isObject()) {
            mark(v.asObject());
        }
    };
    for (Cell* c : roots) {
        mark(c);
    }
    for (const Value* v : values) {
        markValue(*v);
    }
    while (!work.empty()) {
        Cell* c = work.back();
        work.pop_back();
        if (auto* s = dynamic_cast<Scope*>(c)) {
            mark(s->object);
            mark(s->parent);
            continue;
        }
        auto* o = static_cast<Object*>(c);
        o->ForEach([&](const Property& p) {
            markValue(p.value);
            mark(p.getter);
            mark(p.setter);
        });
        markValue(o->primitive);
        if (o->function) {
            mark(o->function->scope);
            mark(o->function->base);
        }
        mark(o->superThis);
        if (o->host) {
            held.clear();
            o->host->Trace(held);
            for (Object* h : held) {
                mark(h);
            }
        }
        for (Object* i : o->interfaces) {
            mark(i);
        }
        if (o->watchers) {
            for (auto& [name, w] : *o->watchers) {
                mark(w.callback);
                markValue(w.data);
            }
        }
    }
    std::size_t kept = 0;
    for (Cell* c : cells_) {
        if (c->marked) {
            c->marked = false;
            cells_[kept++] = c;
        } else {
            delete c;
        }
    }
    cells_.resize(kept);
}

} // namespace fw::avm1
