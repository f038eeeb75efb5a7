#include "player.h"

#include "actions.h"
#include "byte_reader.h"
#include "flashvars.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

namespace fw::swf {
namespace {

// Ends the running action block; the reason goes to the host's problem report.
struct StopBlock {
    std::string reason;
};
// Ends the running action block quietly: the host loaded another movie from a callback.
struct MovieReplaced {};

bool IsRootName(std::string_view name) {
    auto eq = [&](std::string_view special) {
        if (name.size() != special.size()) {
            return false;
        }
        for (std::size_t i = 0; i < name.size(); ++i) {
            char c = name[i];
            if (c >= 'A' && c <= 'Z') {
                c = static_cast<char>(c - 'A' + 'a');
            }
            if (c != special[i]) {
                return false;
            }
        }
        return true;
    };
    return eq("_root") || eq("_level0") || eq("this");
}

double ToInteger(double d) {
    if (std::isnan(d)) {
        return 0;
    }
    return std::trunc(d);
}

} // namespace

class Player::Machine {
public:
    Machine(Player& player, const ActionBlock& block) : p_(player), code_(block) {}

    void Run() {
        std::size_t pos = 0;
        std::size_t executed = 0;
        while (pos < code_.size()) {
            if (++executed > p_.limits_.actionsPerBlock) {
                throw StopBlock{"more than " + std::to_string(p_.limits_.actionsPerBlock) +
                                " actions"};
            }
            std::uint8_t op = code_[pos++];
            if (op == static_cast<std::uint8_t>(Op::End)) {
                return;
            }
            std::span<const std::uint8_t> body;
            if (op >= 0x80) {
                if (code_.size() - pos < 2) {
                    throw StopBlock{"action length cut short"};
                }
                std::size_t len = code_[pos] | (code_[pos + 1] << 8);
                pos += 2;
                if (len > code_.size() - pos) {
                    throw StopBlock{"action " + Hex(op) + " runs past the end of its block"};
                }
                body = std::span<const std::uint8_t>(code_).subspan(pos, len);
                pos += len;
            }
            pos = Execute(op, body, pos);
        }
    }

private:
    static std::string Hex(std::uint8_t op) {
        static const char* digits = "0123456789ABCDEF";
        return std::string("0x") + digits[op >> 4] + digits[op & 15];
    }

    int version() const { return p_.movie_.version; }

    void Push(Value v) {
        if (stack_.size() >= p_.limits_.stackDepth) {
            throw StopBlock{"stack deeper than " + std::to_string(p_.limits_.stackDepth)};
        }
        if (v.isString()) {
            // Copies of long texts are what could exhaust memory, so they are counted.
            p_.textBytes_ += v.asString().size();
            if (p_.textBytes_ > p_.limits_.textBytesPerTick) {
                throw StopBlock{"more than " + std::to_string(p_.limits_.textBytesPerTick) +
                                " bytes of text in one tick"};
            }
        }
        stack_.push_back(std::move(v));
    }
    // An empty stack gives undefined, as the byte code expects.
    Value Pop() {
        if (stack_.empty()) {
            return Value();
        }
        Value v = std::move(stack_.back());
        stack_.pop_back();
        return v;
    }
    double PopNumber() { return ToNumber(Pop(), version()); }
    std::string PopString() { return ToString(Pop(), version()); }
    void PushText(std::string s) {
        if (s.size() > p_.limits_.stringBytes) {
            throw StopBlock{"text longer than " + std::to_string(p_.limits_.stringBytes) +
                            " bytes"};
        }
        Push(Value(std::move(s)));
    }
    // Version 4 files push 1 and 0 for truth values.
    void PushTruth(bool b) {
        if (version() < 5) {
            Push(Value(b ? 1.0 : 0.0));
        } else {
            Push(Value(b));
        }
    }

    std::size_t JumpTarget(std::span<const std::uint8_t> body, std::size_t next) {
        if (body.size() < 2) {
            throw StopBlock{"jump offset cut short"};
        }
        auto offset = static_cast<std::int16_t>(body[0] | (body[1] << 8));
        auto target = static_cast<std::ptrdiff_t>(next) + offset;
        if (target < 0 || target > static_cast<std::ptrdiff_t>(code_.size())) {
            throw StopBlock{"jump out of range"};
        }
        return static_cast<std::size_t>(target);
    }

    void DoPush(std::span<const std::uint8_t> body) {
        ByteReader r(body);
        while (!r.atEnd()) {
            auto type = static_cast<PushType>(r.U8());
            Value v;
            switch (type) {
            case PushType::String:
                v = Value(r.CString());
                break;
            case PushType::Float:
                v = Value(static_cast<double>(r.F32()));
                break;
            case PushType::Null:
                v = Value(Null{});
                break;
            case PushType::Undefined:
                break;
            case PushType::Register: {
                std::uint8_t reg = r.U8();
                if (reg < p_.registers_.size()) {
                    v = p_.registers_[reg];
                } else {
                    p_.Report("push of register " + std::to_string(reg) + " reads undefined");
                }
                break;
            }
            case PushType::Boolean:
                v = Value(r.U8() != 0);
                break;
            case PushType::Double:
                v = Value(r.ActionDouble());
                break;
            case PushType::Integer:
                v = Value(static_cast<double>(static_cast<std::int32_t>(r.U32())));
                break;
            case PushType::Constant8:
            case PushType::Constant16: {
                std::size_t index = type == PushType::Constant8 ? r.U8() : r.U16();
                if (index < pool_.size()) {
                    v = Value(pool_[index]);
                } else if (r.ok()) {
                    p_.Report("constant " + std::to_string(index) + " not in the pool");
                }
                break;
            }
            default:
                throw StopBlock{"unknown push type " + std::to_string(static_cast<int>(type))};
            }
            if (!r.ok()) {
                throw StopBlock{"push cut short"};
            }
            Push(std::move(v));
        }
    }

    void DoConstantPool(std::span<const std::uint8_t> body) {
        ByteReader r(body);
        std::uint16_t count = r.U16();
        std::vector<std::string> pool;
        for (std::uint16_t i = 0; i < count && r.ok(); ++i) {
            pool.push_back(r.CString());
        }
        if (!r.ok()) {
            throw StopBlock{"constant pool cut short"};
        }
        pool_ = std::move(pool);
    }

    void DoGetUrl(const std::string& url, const std::string& target) {
        static constexpr std::string_view kPrefix = "fscommand:";
        bool isCommand = url.size() >= kPrefix.size();
        for (std::size_t i = 0; isCommand && i < kPrefix.size(); ++i) {
            char c = url[i];
            if (c >= 'A' && c <= 'Z') {
                c = static_cast<char>(c - 'A' + 'a');
            }
            isCommand = c == kPrefix[i];
        }
        if (isCommand) {
            unsigned generation = p_.generation_;
            p_.host_.FsCommand(url.substr(kPrefix.size()), target);
            if (generation != p_.generation_) {
                throw MovieReplaced{};
            }
        } else {
            p_.Report("address not opened: " + url);
        }
    }

    void DoGotoFrame2(std::span<const std::uint8_t> body) {
        ByteReader r(body);
        std::uint8_t flags = r.U8();
        int bias = (flags & 2) ? r.U16() : 0;
        if (!r.ok()) {
            throw StopBlock{"goto cut short"};
        }
        Value frame = Pop();
        int target = -1;
        if (frame.isString()) {
            std::string_view text = frame.asString();
            // "path:label" names a frame of a timeline; only the root one exists here.
            if (auto colon = text.rfind(':'); colon != std::string_view::npos) {
                text = text.substr(colon + 1);
            }
            double n = StringToNumber(text);
            if (!std::isnan(n)) {
                target = static_cast<int>(std::clamp(n, -1e9, 1e9)) - 1 + bias;
            } else {
                target = p_.movie_.FindLabel(text);
                if (target < 0) {
                    p_.Report("no frame labelled " + std::string(text));
                }
            }
        } else {
            double n = ToNumber(frame, version());
            if (!std::isnan(n)) {
                target = static_cast<int>(std::clamp(n, -1e9, 1e9)) - 1 + bias;
            }
        }
        if (target >= 0) {
            p_.GotoFrame(target);
        }
        p_.playing_ = (flags & 1) != 0;
    }

    Value GetMember(const Value& object, const std::string& name) {
        if (object.isString() && name == "length") {
            return Value(static_cast<double>(object.asString().size()));
        }
        if (object.type() != Value::Type::Object) {
            return Value();
        }
        ScriptObject* o = object.asObject();
        if (o == p_.Root()) {
            if (name == "_currentframe") {
                return Value(static_cast<double>(p_.current_ + 1));
            }
            if (name == "_totalframes" || name == "_framesloaded") {
                return Value(static_cast<double>(p_.movie_.frames.size()));
            }
        }
        const Value* v = o->Find(name);
        return v ? *v : Value();
    }

    void SetMember(ScriptObject* o, const std::string& name, Value v) {
        if (!o->Find(name) && o->size() >= p_.limits_.propertiesPerObject) {
            throw StopBlock{"more than " + std::to_string(p_.limits_.propertiesPerObject) +
                            " properties"};
        }
        o->Set(name, std::move(v));
    }

    void SetVariable(const std::string& path, Value v) {
        Target t = p_.ResolveTarget(path);
        if (!t.object) {
            p_.Report("no object for variable " + path);
            return;
        }
        SetMember(t.object, t.name, std::move(v));
    }

    // Executes one action; answers where the next one starts.
    std::size_t Execute(std::uint8_t code, std::span<const std::uint8_t> body, std::size_t next) {
        const int v = version();
        switch (static_cast<Op>(code)) {
        case Op::NextFrame:
            p_.GotoFrame(p_.current_ + 1);
            p_.playing_ = false;
            break;
        case Op::PreviousFrame:
            if (p_.current_ > 0) {
                p_.GotoFrame(p_.current_ - 1);
            }
            p_.playing_ = false;
            break;
        case Op::Play:
            p_.playing_ = true;
            break;
        case Op::Stop:
            p_.playing_ = false;
            break;
        case Op::ToggleQuality:
        case Op::StopSounds:
            break; // nothing to do in a player without quality levels or sound
        case Op::Add: {
            double b = PopNumber();
            double a = PopNumber();
            Push(Value(a + b));
            break;
        }
        case Op::Subtract: {
            double b = PopNumber();
            double a = PopNumber();
            Push(Value(a - b));
            break;
        }
        case Op::Multiply: {
            double b = PopNumber();
            double a = PopNumber();
            Push(Value(a * b));
            break;
        }
        case Op::Divide: {
            double b = PopNumber();
            double a = PopNumber();
            if (b == 0 && v < 5) {
                Push(Value("#ERROR#"));
            } else {
                Push(Value(a / b));
            }
            break;
        }
        case Op::Modulo: {
            double b = PopNumber();
            double a = PopNumber();
            Push(Value(std::fmod(a, b)));
            break;
        }
        case Op::Equals: {
            double b = PopNumber();
            double a = PopNumber();
            PushTruth(a == b);
            break;
        }
        case Op::Less: {
            double b = PopNumber();
            double a = PopNumber();
            PushTruth(a < b);
            break;
        }
        case Op::And: {
            bool b = ToBoolean(Pop(), v);
            bool a = ToBoolean(Pop(), v);
            PushTruth(a && b);
            break;
        }
        case Op::Or: {
            bool b = ToBoolean(Pop(), v);
            bool a = ToBoolean(Pop(), v);
            PushTruth(a || b);
            break;
        }
        case Op::Not:
            PushTruth(!ToBoolean(Pop(), v));
            break;
        case Op::StringEquals: {
            std::string b = PopString();
            std::string a = PopString();
            PushTruth(a == b);
            break;
        }
        case Op::StringLess: {
            std::string b = PopString();
            std::string a = PopString();
            PushTruth(a < b);
            break;
        }
        case Op::StringLength:
            Push(Value(static_cast<double>(PopString().size())));
            break;
        case Op::StringExtract: {
            double count = ToInteger(PopNumber());
            double index = ToInteger(PopNumber());
            std::string s = PopString();
            double start = std::clamp(index - 1, 0.0, static_cast<double>(s.size()));
            double len = count < 0 ? static_cast<double>(s.size()) : count;
            len = std::min(len, static_cast<double>(s.size()) - start);
            Push(Value(s.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(len))));
            break;
        }
        case Op::StringAdd: {
            std::string b = PopString();
            std::string a = PopString();
            if (a.size() + b.size() > p_.limits_.stringBytes) {
                throw StopBlock{"text longer than " + std::to_string(p_.limits_.stringBytes) +
                                " bytes"};
            }
            PushText(a + b);
            break;
        }
        case Op::Pop:
            Pop();
            break;
        case Op::ToInteger:
            Push(Value(ToInteger(PopNumber())));
            break;
        case Op::ToNumber:
            Push(Value(PopNumber()));
            break;
        case Op::ToString:
            PushText(PopString());
            break;
        case Op::TypeOf: {
            Value x = Pop();
            bool clip = x.type() == Value::Type::Object && x.asObject() == p_.Root();
            Push(Value(clip ? std::string("movieclip") : TypeName(x)));
            break;
        }
        case Op::GetVariable:
            Push(p_.GetVariable(PopString()));
            break;
        case Op::SetVariable: {
            Value value = Pop();
            SetVariable(PopString(), std::move(value));
            break;
        }
        case Op::SetProperty: {
            double value = PopNumber();
            int property = static_cast<int>(ToInteger(PopNumber()));
            std::string target = PopString();
            if (!p_.SetItemProperty(target, property, value)) {
                p_.Report("no item " + target + " for property " + std::to_string(property));
            }
            break;
        }
        case Op::GetProperty: {
            int property = static_cast<int>(ToInteger(PopNumber()));
            std::string target = PopString();
            auto value = p_.ItemProperty(target, property);
            Push(value ? Value(*value) : Value());
            break;
        }
        case Op::DefineLocal: {
            Value value = Pop();
            // Outside functions a local is a variable of the timeline.
            SetMember(p_.Root(), PopString(), std::move(value));
            break;
        }
        case Op::DefineLocal2: {
            std::string name = PopString();
            if (!p_.Root()->Find(name)) {
                SetMember(p_.Root(), name, Value());
            }
            break;
        }
        case Op::GetMember: {
            std::string name = PopString();
            Value object = Pop();
            Push(GetMember(object, name));
            break;
        }
        case Op::SetMember: {
            Value value = Pop();
            std::string name = PopString();
            Value object = Pop();
            if (object.type() == Value::Type::Object) {
                SetMember(object.asObject(), name, std::move(value));
            }
            break;
        }
        case Op::InitObject: {
            double n = PopNumber();
            if (std::isnan(n) || n < 0 || n > static_cast<double>(stack_.size())) {
                throw StopBlock{"object with a bad property count"};
            }
            ScriptObject* o = p_.NewObject();
            if (!o) {
                throw StopBlock{"more than " + std::to_string(p_.limits_.objects) + " objects"};
            }
            for (int i = 0; i < static_cast<int>(n); ++i) {
                Value value = Pop();
                SetMember(o, PopString(), std::move(value));
            }
            Push(Value(o));
            break;
        }
        case Op::Add2: {
            Value b = Pop();
            Value a = Pop();
            auto texty = [](const Value& x) {
                return x.isString() || x.type() == Value::Type::Object;
            };
            if (texty(a) || texty(b)) {
                std::string sa = ToString(a, v);
                std::string sb = ToString(b, v);
                if (sa.size() + sb.size() > p_.limits_.stringBytes) {
                    throw StopBlock{"text longer than " + std::to_string(p_.limits_.stringBytes) +
                                    " bytes"};
                }
                PushText(sa + sb);
            } else {
                Push(Value(ToNumber(a, v) + ToNumber(b, v)));
            }
            break;
        }
        case Op::Less2: {
            Value b = Pop();
            Value a = Pop();
            Push(AbstractLess(a, b, v));
            break;
        }
        case Op::Greater: {
            Value b = Pop();
            Value a = Pop();
            Push(AbstractLess(b, a, v));
            break;
        }
        case Op::Equals2: {
            Value b = Pop();
            Value a = Pop();
            Push(Value(AbstractEquals(a, b, v)));
            break;
        }
        case Op::StrictEquals: {
            Value b = Pop();
            Value a = Pop();
            Push(Value(StrictEquals(a, b)));
            break;
        }
        case Op::PushDuplicate: {
            Value top = Pop();
            Push(top);
            Push(std::move(top));
            break;
        }
        case Op::StackSwap: {
            Value b = Pop();
            Value a = Pop();
            Push(std::move(b));
            Push(std::move(a));
            break;
        }
        case Op::Increment:
            Push(Value(PopNumber() + 1));
            break;
        case Op::Decrement:
            Push(Value(PopNumber() - 1));
            break;
        case Op::Trace: {
            Value x = Pop();
            p_.host_.TraceOutput(x.isUndefined() ? std::string("undefined") : ToString(x, v));
            break;
        }
        case Op::GetTime: {
            if (p_.virtualTime_) {
                Push(Value(*p_.virtualTime_));
                break;
            }
            auto elapsed = std::chrono::steady_clock::now() - p_.loadedAt_;
            Push(Value(static_cast<double>(
                std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count())));
            break;
        }
        case Op::SetTarget2:
            SetTarget(PopString());
            break;
        case Op::SetTarget: {
            ByteReader r(body);
            std::string target = r.CString();
            if (!r.ok()) {
                throw StopBlock{"target cut short"};
            }
            SetTarget(target);
            break;
        }
        case Op::GotoFrame: {
            if (body.size() < 2) {
                throw StopBlock{"goto cut short"};
            }
            p_.GotoFrame(body[0] | (body[1] << 8));
            break;
        }
        case Op::GetUrl: {
            ByteReader r(body);
            std::string url = r.CString();
            std::string target = r.CString();
            if (!r.ok()) {
                throw StopBlock{"address cut short"};
            }
            DoGetUrl(url, target);
            break;
        }
        case Op::GetUrl2: {
            std::string target = PopString();
            std::string url = PopString();
            DoGetUrl(url, target);
            break;
        }
        case Op::StoreRegister: {
            if (body.empty() || body[0] >= p_.registers_.size()) {
                throw StopBlock{"bad register"};
            }
            p_.registers_[body[0]] = stack_.empty() ? Value() : stack_.back();
            break;
        }
        case Op::ConstantPool:
            DoConstantPool(body);
            break;
        case Op::GoToLabel: {
            ByteReader r(body);
            std::string label = r.CString();
            if (!r.ok()) {
                throw StopBlock{"label cut short"};
            }
            int frame = p_.movie_.FindLabel(label);
            if (frame < 0) {
                p_.Report("no frame labelled " + label);
            } else {
                p_.GotoFrame(frame);
            }
            break;
        }
        case Op::Push:
            DoPush(body);
            break;
        case Op::Jump:
            return JumpTarget(body, next);
        case Op::If: {
            std::size_t target = JumpTarget(body, next);
            if (ToBoolean(Pop(), v)) {
                return target;
            }
            break;
        }
        case Op::GotoFrame2:
            DoGotoFrame2(body);
            break;
        default:
            throw StopBlock{"unknown action " + Hex(code)};
        }
        return next;
    }

    void SetTarget(const std::string& target) {
        if (!target.empty() && p_.ResolveObject(target) != p_.Root()) {
            p_.Report("other timelines are not played; target " + target + " ignored");
        }
    }

    Player& p_;
    const ActionBlock& code_;
    std::vector<Value> stack_;
    std::vector<std::string> pool_;
};

Player::Player(PlayerHost& host, PlayerLimits limits) : host_(host), limits_(limits) {
    objects_.push_back(std::make_unique<ScriptObject>(false));
    movie_.frames.emplace_back();
}

Player::~Player() = default;

void Player::Load(Movie movie) {
    movie_ = std::move(movie);
    if (movie_.frames.empty()) {
        movie_.frames.emplace_back();
    }
    objects_.clear();
    objects_.push_back(std::make_unique<ScriptObject>(movie_.version >= 7));
    registers_ = {};
    display_.clear();
    hover_ = -1;
    pressed_ = -1;
    current_ = -1;
    playing_ = true;
    pendingFrames_.clear();
    ++generation_;
    loadedAt_ = std::chrono::steady_clock::now();
    for (const auto& problem : movie_.problems) {
        Report(problem);
    }
}

ScriptObject* Player::NewObject() {
    if (objects_.size() >= limits_.objects) {
        return nullptr;
    }
    objects_.push_back(std::make_unique<ScriptObject>(movie_.version >= 7));
    return objects_.back().get();
}

void Player::Tick() {
    textBytes_ = 0;
    if (current_ < 0) {
        current_ = 0;
        EnterFrameDisplay(0, false);
        pendingFrames_.push_back(0);
    } else if (playing_ && movie_.frames.size() > 1) {
        int next = (current_ + 1) % static_cast<int>(movie_.frames.size());
        EnterFrameDisplay(next, next == current_ + 1);
        current_ = next;
        pendingFrames_.push_back(current_);
    }
    RunPending();
}

bool Player::NeedsTicks() const {
    return current_ < 0 || !pendingFrames_.empty() || (playing_ && movie_.frames.size() > 1);
}

void Player::GotoFrame(int frame) {
    int last = static_cast<int>(movie_.frames.size()) - 1;
    frame = std::clamp(frame, 0, last);
    if (frame == current_) {
        return;
    }
    EnterFrameDisplay(frame, frame == current_ + 1);
    current_ = frame;
    pendingFrames_.push_back(frame);
}

void Player::ApplyPlacements(const Frame& frame, std::map<std::uint16_t, DisplayItem>& list,
                             bool bind) {
    for (const auto& p : frame.placements) {
        if (p.kind == Placement::Kind::Remove) {
            list.erase(p.depth);
            continue;
        }
        auto it = list.find(p.depth);
        if (p.move) {
            if (it == list.end()) {
                continue; // nothing there to modify
            }
        } else {
            if (!p.character) {
                continue;
            }
            if (it != list.end()) {
                continue; // the depth is taken; a new placement needs the move flag
            }
            it = list.emplace(p.depth, DisplayItem{}).first;
        }
        DisplayItem& item = it->second;
        if (p.character && *p.character != item.character) {
            item.character = *p.character;
            item.buttonState = kStateUp;
        }
        // Once a script has moved an item, the timeline's moves leave it where the script put it.
        bool timelineMoves = !(p.move && item.scripted);
        if (p.matrix && timelineMoves) {
            item.matrix = *p.matrix;
        }
        if (p.colour && timelineMoves) {
            item.colour = *p.colour;
        }
        if (p.name) {
            item.name = *p.name;
        }
        if (p.visible) {
            item.visible = *p.visible;
        }
        if (!bind) {
            continue;
        }
        // A bound edit text gives an unset variable its own text.
        auto c = movie_.characters.find(item.character);
        if (c != movie_.characters.end()) {
            if (const auto* field = std::get_if<EditText>(&c->second)) {
                if (!field->variable.empty() && field->hasText &&
                    GetVariable(field->variable).isUndefined()) {
                    SetVariable(field->variable, Value(field->initialText));
                }
            }
        }
    }
}

void Player::EnterFrameDisplay(int frame, bool next) {
    if (next) {
        ApplyPlacements(movie_.frames[static_cast<std::size_t>(frame)], display_, true);
    } else {
        // A jump: the list the timeline has at that frame, keeping what stays in place (its
        // button state, and where the scripts moved it).
        std::map<std::uint16_t, DisplayItem> target;
        for (int f = 0; f <= frame; ++f) {
            ApplyPlacements(movie_.frames[static_cast<std::size_t>(f)], target, f == frame);
        }
        for (auto& [depth, item] : target) {
            auto old = display_.find(depth);
            if (old != display_.end() && old->second.character == item.character) {
                item.buttonState = old->second.buttonState;
                if (old->second.scripted) {
                    item = old->second;
                }
            }
        }
        display_ = std::move(target);
    }
    if (hover_ >= 0 && !display_.count(static_cast<std::uint16_t>(hover_))) {
        hover_ = -1;
    }
    if (pressed_ >= 0 && !display_.count(static_cast<std::uint16_t>(pressed_))) {
        pressed_ = -1;
    }
}

std::string Player::FieldText(const EditText& field) {
    std::string text = field.initialText;
    if (!field.variable.empty()) {
        Value v = GetVariable(field.variable);
        text = v.isUndefined() ? std::string() : ToString(v, movie_.version);
    }
    return field.html ? PlainFromHtml(text) : text;
}

Picture Player::CurrentPicture() {
    Picture picture;
    picture.items = display_;
    if (display_.empty()) {
        for (auto& [name, value] : RootVariables()) {
            picture.texts.push_back(std::move(name));
            picture.texts.push_back(std::move(value));
        }
        return picture;
    }
    for (const auto& [depth, item] : picture.items) {
        CollectTexts(item.character, 0, picture.texts);
    }
    return picture;
}

void Player::CollectTexts(std::uint16_t character, int nesting, std::vector<std::string>& texts) {
    auto it = movie_.characters.find(character);
    // Buttons nest no deeper than the painter follows them.
    if (it == movie_.characters.end() || nesting > 4) {
        return;
    }
    if (const auto* field = std::get_if<EditText>(&it->second)) {
        texts.push_back(FieldText(*field));
    } else if (const auto* button = std::get_if<Button>(&it->second)) {
        for (const auto& record : button->records) {
            CollectTexts(record.character, nesting + 1, texts);
        }
    }
}

DisplayItem* Player::FindItem(std::string_view target) {
    // "name", "_root.name", "/name" and "_level0.name" all name an item of the root timeline.
    std::size_t sep = target.find_last_of("./:");
    if (sep != std::string_view::npos) {
        std::string_view head = target.substr(0, sep);
        if (!head.empty() && ResolveObject(head) != Root()) {
            return nullptr;
        }
        target.remove_prefix(sep + 1);
    }
    for (auto& [depth, item] : display_) {
        if (!item.name.empty() && item.name == target) {
            return &item;
        }
    }
    return nullptr;
}

namespace {

bool NearlyEqual(const Matrix& x, const Matrix& y) {
    auto same = [](double p, double q) {
        return std::abs(p - q) <= 1e-9 * std::max({1.0, std::abs(p), std::abs(q)});
    };
    return same(x.a, y.a) && same(x.b, y.b) && same(x.c, y.c) && same(x.d, y.d) &&
           same(x.tx, y.tx) && same(x.ty, y.ty);
}

} // namespace

bool Player::SetItemProperty(std::string_view target, int property, double value) {
    DisplayItem* item = FindItem(target);
    if (!item) {
        return false;
    }
    if (std::isnan(value)) {
        return true; // as players do, an unreadable number changes nothing
    }
    Matrix m = item->matrix;
    auto rescale = [](double& a, double& b, double percent) {
        double now = std::sqrt(a * a + b * b);
        if (now < 1e-9) {
            a = percent / 100;
            b = 0;
        } else {
            a = a / now * percent / 100;
            b = b / now * percent / 100;
        }
    };
    switch (property) {
    case 0:
        m.tx = value * 20;
        break;
    case 1:
        m.ty = value * 20;
        break;
    case 2:
        rescale(m.a, m.b, value);
        break;
    case 3:
        rescale(m.d, m.c, value);
        break;
    case 6:
        item->colour.mult[3] =
            static_cast<std::int16_t>(std::clamp(value * 2.56, -32768.0, 32767.0));
        break;
    case 7:
        item->visible = value != 0;
        break;
    case 10: {
        double sx = std::sqrt(m.a * m.a + m.b * m.b);
        double sy = std::sqrt(m.c * m.c + m.d * m.d);
        double r = value * 3.14159265358979323846 / 180;
        m.a = sx * std::cos(r);
        m.b = sx * std::sin(r);
        m.c = -sy * std::sin(r);
        m.d = sy * std::cos(r);
        break;
    }
    default:
        Report("property " + std::to_string(property) + " is not played");
        return true;
    }
    // Worked out again from itself, a scale or rotation lands a last digit away now and then;
    // a script that sets the same value every frame then leaves the item exactly as it was, so
    // the picture stays the same and is not drawn again.
    if (!NearlyEqual(m, item->matrix)) {
        item->matrix = m;
    }
    item->scripted = true;
    return true;
}

std::optional<double> Player::ItemProperty(std::string_view target, int property) const {
    DisplayItem* item = const_cast<Player*>(this)->FindItem(target);
    if (!item) {
        return std::nullopt;
    }
    const Matrix& m = item->matrix;
    switch (property) {
    case 0:
        return m.tx / 20;
    case 1:
        return m.ty / 20;
    case 2:
        return std::sqrt(m.a * m.a + m.b * m.b) * 100;
    case 3:
        return std::sqrt(m.c * m.c + m.d * m.d) * 100;
    case 6:
        return item->colour.mult[3] / 2.56;
    case 7:
        return item->visible ? 1.0 : 0.0;
    case 10:
        return std::atan2(m.b, m.a) * 180 / 3.14159265358979323846;
    default:
        return std::nullopt;
    }
}

int Player::HitButton(Point p) const {
    for (auto it = display_.rbegin(); it != display_.rend(); ++it) {
        const DisplayItem& item = it->second;
        if (!item.visible) {
            continue;
        }
        auto c = movie_.characters.find(item.character);
        if (c == movie_.characters.end()) {
            continue;
        }
        const auto* button = std::get_if<Button>(&c->second);
        if (!button) {
            continue;
        }
        auto inverse = item.matrix.Inverse();
        if (!inverse) {
            continue;
        }
        Point local = inverse->Apply(p);
        for (const auto& rec : button->records) {
            if (!(rec.states & kStateHit)) {
                continue;
            }
            auto shape = movie_.characters.find(rec.character);
            if (shape == movie_.characters.end()) {
                continue;
            }
            const auto* s = std::get_if<Shape>(&shape->second);
            auto recInverse = rec.matrix.Inverse();
            if (s && recInverse && HitShape(*s, recInverse->Apply(local))) {
                return it->first;
            }
        }
    }
    return -1;
}

void Player::SetButtonState(int depth, std::uint8_t state) {
    auto it = display_.find(static_cast<std::uint16_t>(depth));
    if (it != display_.end()) {
        it->second.buttonState = state;
    }
}

bool Player::RunButtonActions(int depth, std::uint16_t condition, std::uint8_t key) {
    auto it = display_.find(static_cast<std::uint16_t>(depth));
    if (it == display_.end()) {
        return false;
    }
    auto c = movie_.characters.find(it->second.character);
    if (c == movie_.characters.end() || !std::holds_alternative<Button>(c->second)) {
        return false;
    }
    // Copies: the actions may replace the movie, and with it the button.
    std::vector<ActionBlock> blocks;
    for (const auto& a : std::get<Button>(c->second).actions) {
        if ((condition && (a.conditions & condition)) || (key && a.key == key)) {
            blocks.push_back(a.actions);
        }
    }
    unsigned generation = generation_;
    for (const auto& block : blocks) {
        RunBlock(block);
        if (generation != generation_) {
            break;
        }
    }
    return !blocks.empty();
}

bool Player::MouseMove(Point p) {
    mouse_ = p;
    int hit = HitButton(p);
    if (pressed_ >= 0) {
        // While held, the pressed button shows down over itself and up outside.
        std::uint8_t state = hit == pressed_ ? kStateDown : kStateUp;
        auto it = display_.find(static_cast<std::uint16_t>(pressed_));
        bool changed = it != display_.end() && it->second.buttonState != state;
        if (changed) {
            SetButtonState(pressed_, state);
            RunButtonActions(pressed_, hit == pressed_ ? kCondDragOver : kCondDragOut);
        }
        hover_ = hit == pressed_ ? hit : -1;
        return changed;
    }
    if (hit == hover_) {
        return false;
    }
    int old = hover_;
    hover_ = hit;
    if (old >= 0) {
        SetButtonState(old, kStateUp);
        RunButtonActions(old, kCondRollOut);
    }
    if (hit >= 0 && hover_ == hit) {
        SetButtonState(hit, kStateOver);
        RunButtonActions(hit, kCondRollOver);
    }
    return true;
}

bool Player::MouseDown() {
    int hit = HitButton(mouse_);
    hover_ = hit;
    if (hit < 0) {
        return false;
    }
    pressed_ = hit;
    SetButtonState(hit, kStateDown);
    RunButtonActions(hit, kCondPress);
    return true;
}

bool Player::MouseUp() {
    if (pressed_ < 0) {
        return false;
    }
    int depth = std::exchange(pressed_, -1);
    if (HitButton(mouse_) == depth) {
        hover_ = depth;
        SetButtonState(depth, kStateOver);
        RunButtonActions(depth, kCondRelease);
    } else {
        SetButtonState(depth, kStateUp);
        RunButtonActions(depth, kCondReleaseOut);
    }
    return true;
}

bool Player::MouseLeave() {
    if (hover_ < 0 || pressed_ >= 0) {
        return false;
    }
    int old = std::exchange(hover_, -1);
    SetButtonState(old, kStateUp);
    RunButtonActions(old, kCondRollOut);
    return true;
}

bool Player::KeyPress(std::uint8_t code) {
    if (code == 0) {
        return false;
    }
    bool any = false;
    // Every button on the stage that listens for the key acts, topmost first.
    std::vector<int> depths;
    for (auto it = display_.rbegin(); it != display_.rend(); ++it) {
        depths.push_back(it->first);
    }
    for (int depth : depths) {
        any = RunButtonActions(depth, 0, code) || any;
    }
    return any;
}

void Player::RunPending() {
    std::size_t blocks = 0;
    while (!pendingFrames_.empty()) {
        int frame = pendingFrames_.front();
        pendingFrames_.pop_front();
        if (++blocks > limits_.blocksPerTick) {
            pendingFrames_.clear();
            Report("more than " + std::to_string(limits_.blocksPerTick) +
                   " frames entered in one tick");
            return;
        }
        // Copy: a block may not outlive a Load started from the host during a callback.
        const Frame f = movie_.frames[static_cast<std::size_t>(frame)];
        unsigned generation = generation_;
        for (const auto* blocks : {&f.initActions, &f.actions}) {
            for (const auto& block : *blocks) {
                RunOne(block);
                if (generation != generation_) {
                    return;
                }
            }
        }
    }
}

void Player::RunBlock(const ActionBlock& block) {
    textBytes_ = 0;
    RunOne(block);
    RunPending();
}

void Player::RunOne(const ActionBlock& block) {
    try {
        Machine(*this, block).Run();
    } catch (const StopBlock& stop) {
        Report("action block stopped: " + stop.reason);
    } catch (const MovieReplaced&) {
    }
}

Value Player::NameValue(std::string_view name) {
    if (IsRootName(name)) {
        return Value(Root());
    }
    const Value* v = Root()->Find(name);
    return v ? *v : Value();
}

ScriptObject* Player::ResolveObject(std::string_view path) {
    if (path.empty() || path == "/") {
        return Root();
    }
    ScriptObject* object = nullptr;
    bool first = true;
    while (true) {
        std::size_t sep = path.find_first_of("./");
        std::string_view part = path.substr(0, sep);
        if (first) {
            object = (part.empty() || IsRootName(part)) ? Root() : nullptr;
            if (!object) {
                Value v = NameValue(part);
                object = v.type() == Value::Type::Object ? v.asObject() : nullptr;
            }
            first = false;
        } else if (!part.empty()) {
            const Value* v = object->Find(part);
            if (IsRootName(part) && !v) {
                object = Root();
            } else {
                object = (v && v->type() == Value::Type::Object) ? v->asObject() : nullptr;
            }
        }
        if (!object || sep == std::string_view::npos) {
            return object;
        }
        path.remove_prefix(sep + 1);
    }
}

Player::Target Player::ResolveTarget(std::string_view path) {
    std::size_t sep = path.rfind(':');
    if (sep == std::string_view::npos) {
        sep = path.rfind('.');
    }
    if (sep == std::string_view::npos) {
        return Target{Root(), std::string(path)};
    }
    return Target{ResolveObject(path.substr(0, sep)), std::string(path.substr(sep + 1))};
}

void Player::SetVariable(std::string_view path, Value value) {
    Target t = ResolveTarget(path);
    if (!t.object || t.name.empty()) {
        Report("no object for variable " + std::string(path));
        return;
    }
    if (!t.object->Find(t.name) && t.object->size() >= limits_.propertiesPerObject) {
        Report("too many variables; " + std::string(path) + " not set");
        return;
    }
    t.object->Set(t.name, std::move(value));
}

Value Player::GetVariable(std::string_view path) {
    bool plain = path.find_first_of(".:/") == std::string_view::npos;
    if (plain) {
        return NameValue(path);
    }
    Target t = ResolveTarget(path);
    if (!t.object) {
        return Value();
    }
    if (t.object == Root() && (t.name == "_currentframe")) {
        return Value(static_cast<double>(current_ + 1));
    }
    if (t.object == Root() && (t.name == "_totalframes" || t.name == "_framesloaded")) {
        return Value(static_cast<double>(movie_.frames.size()));
    }
    if (IsRootName(t.name) && !t.object->Find(t.name)) {
        return Value(Root());
    }
    const Value* v = t.object->Find(t.name);
    return v ? *v : Value();
}

std::string Player::GetVariableText(std::string_view path) {
    Value v = GetVariable(path);
    return v.isUndefined() ? std::string() : ToString(v, movie_.version);
}

void Player::ApplyFlashVars(std::string_view text) {
    // Parameter names are taken literally, never as paths.
    for (auto& [name, value] : ParseFlashVars(text)) {
        if (!Root()->Find(name) && Root()->size() >= limits_.propertiesPerObject) {
            Report("too many variables; parameter " + name + " not set");
            continue;
        }
        Root()->Set(name, Value(std::move(value)));
    }
}

std::vector<std::pair<std::string, std::string>> Player::RootVariables() const {
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& [name, value] : Root()->entries()) {
        out.emplace_back(name, ToString(value, std::max(7, static_cast<int>(movie_.version))));
    }
    return out;
}

} // namespace fw::swf
