#include "writer.h"

#include "inflate.h"

#include <cmath>
#include <cstring>
#include <stdexcept>

namespace fw::swf {
namespace {

void PutU16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v & 0xff));
    out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xff));
}

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    PutU16(out, v & 0xffff);
    PutU16(out, v >> 16);
}

void PutString(std::vector<std::uint8_t>& out, const std::string& s) {
    out.insert(out.end(), s.begin(), s.end());
    out.push_back(0);
}

// Writes bit fields most significant bit first.
class BitWriter {
public:
    explicit BitWriter(std::vector<std::uint8_t>& out) : out_(out) {}
    ~BitWriter() { Flush(); }
    void Put(std::uint32_t value, int bits) {
        for (int i = bits - 1; i >= 0; --i) {
            cur_ = static_cast<std::uint8_t>((cur_ << 1) | ((value >> i) & 1u));
            if (++n_ == 8) {
                out_.push_back(cur_);
                cur_ = 0;
                n_ = 0;
            }
        }
    }
    void Flush() {
        if (n_ > 0) {
            out_.push_back(static_cast<std::uint8_t>(cur_ << (8 - n_)));
            cur_ = 0;
            n_ = 0;
        }
    }

private:
    std::vector<std::uint8_t>& out_;
    std::uint8_t cur_ = 0;
    int n_ = 0;
};

int SignedBitsFor(std::int32_t v) {
    int bits = 1;
    while (bits < 32 && !(v >= -(1 << (bits - 1)) && v < (1 << (bits - 1)))) {
        ++bits;
    }
    return bits;
}

} // namespace

ActionWriter& ActionWriter::Do(Op op) {
    bytes_.push_back(static_cast<std::uint8_t>(op));
    return *this;
}

ActionWriter& ActionWriter::Raw(std::uint8_t code, std::span<const std::uint8_t> body) {
    bytes_.push_back(code);
    PutU16(bytes_, static_cast<std::uint32_t>(body.size()));
    bytes_.insert(bytes_.end(), body.begin(), body.end());
    return *this;
}

ActionWriter& ActionWriter::RawBytes(std::span<const std::uint8_t> bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

ActionWriter& ActionWriter::Push(std::vector<PushItem> items) {
    std::vector<std::uint8_t> body;
    auto type = [&](PushType t) { body.push_back(static_cast<std::uint8_t>(t)); };
    for (const auto& item : items) {
        if (auto* s = std::get_if<std::string>(&item)) {
            type(PushType::String);
            PutString(body, *s);
        } else if (auto* d = std::get_if<double>(&item)) {
            type(PushType::Double);
            std::uint64_t bits;
            std::memcpy(&bits, d, sizeof bits);
            PutU32(body, static_cast<std::uint32_t>(bits >> 32));
            PutU32(body, static_cast<std::uint32_t>(bits));
        } else if (auto* i = std::get_if<std::int32_t>(&item)) {
            type(PushType::Integer);
            PutU32(body, static_cast<std::uint32_t>(*i));
        } else if (auto* b = std::get_if<bool>(&item)) {
            type(PushType::Boolean);
            body.push_back(*b ? 1 : 0);
        } else if (auto* f = std::get_if<PushFloat>(&item)) {
            type(PushType::Float);
            std::uint32_t bits;
            std::memcpy(&bits, &f->value, sizeof bits);
            PutU32(body, bits);
        } else if (auto* r = std::get_if<PushRegister>(&item)) {
            type(PushType::Register);
            body.push_back(r->index);
        } else if (auto* c = std::get_if<PushConstant>(&item)) {
            if (c->index < 256) {
                type(PushType::Constant8);
                body.push_back(static_cast<std::uint8_t>(c->index));
            } else {
                type(PushType::Constant16);
                PutU16(body, c->index);
            }
        } else if (std::holds_alternative<PushUndefined>(item)) {
            type(PushType::Undefined);
        } else {
            type(PushType::Null);
        }
    }
    return Raw(static_cast<std::uint8_t>(Op::Push), body);
}

ActionWriter& ActionWriter::ConstantPool(const std::vector<std::string>& strings) {
    std::vector<std::uint8_t> body;
    PutU16(body, static_cast<std::uint32_t>(strings.size()));
    for (const auto& s : strings) {
        PutString(body, s);
    }
    return Raw(static_cast<std::uint8_t>(Op::ConstantPool), body);
}

ActionWriter& ActionWriter::GotoFrame(std::uint16_t frame) {
    std::vector<std::uint8_t> body;
    PutU16(body, frame);
    return Raw(static_cast<std::uint8_t>(Op::GotoFrame), body);
}

ActionWriter& ActionWriter::GotoFrame2(bool play, std::uint16_t sceneBias) {
    std::vector<std::uint8_t> body{static_cast<std::uint8_t>((sceneBias ? 2 : 0) | (play ? 1 : 0))};
    if (sceneBias) {
        PutU16(body, sceneBias);
    }
    return Raw(static_cast<std::uint8_t>(Op::GotoFrame2), body);
}

ActionWriter& ActionWriter::GoToLabel(const std::string& label) {
    std::vector<std::uint8_t> body;
    PutString(body, label);
    return Raw(static_cast<std::uint8_t>(Op::GoToLabel), body);
}

ActionWriter& ActionWriter::GetUrl(const std::string& url, const std::string& target) {
    std::vector<std::uint8_t> body;
    PutString(body, url);
    PutString(body, target);
    return Raw(static_cast<std::uint8_t>(Op::GetUrl), body);
}

ActionWriter& ActionWriter::GetUrl2(std::uint8_t flags) {
    std::uint8_t body[] = {flags};
    return Raw(static_cast<std::uint8_t>(Op::GetUrl2), body);
}

ActionWriter& ActionWriter::StoreRegister(std::uint8_t index) {
    std::uint8_t body[] = {index};
    return Raw(static_cast<std::uint8_t>(Op::StoreRegister), body);
}

ActionWriter& ActionWriter::SetTarget(const std::string& target) {
    std::vector<std::uint8_t> body;
    PutString(body, target);
    return Raw(static_cast<std::uint8_t>(Op::SetTarget), body);
}

ActionWriter& ActionWriter::FsCommand(const std::string& command, const std::string& args) {
    return GetUrl("FSCommand:" + command, args);
}

ActionWriter::Label ActionWriter::NewLabel() {
    labels_.push_back(-1);
    return Label{static_cast<int>(labels_.size()) - 1};
}

ActionWriter& ActionWriter::Bind(Label label) {
    labels_.at(static_cast<std::size_t>(label.id)) = static_cast<std::ptrdiff_t>(bytes_.size());
    return *this;
}

ActionWriter& ActionWriter::Branch(Op op, Label label) {
    std::uint8_t placeholder[] = {0, 0};
    Raw(static_cast<std::uint8_t>(op), placeholder);
    fixups_.push_back(Fixup{bytes_.size() - 2, label.id});
    return *this;
}

ActionWriter& ActionWriter::Jump(Label label) {
    return Branch(Op::Jump, label);
}
ActionWriter& ActionWriter::If(Label label) {
    return Branch(Op::If, label);
}

std::vector<std::uint8_t> ActionWriter::Finish(bool withEnd) const {
    std::vector<std::uint8_t> out = bytes_;
    for (const auto& f : fixups_) {
        std::ptrdiff_t target = labels_.at(static_cast<std::size_t>(f.label));
        if (target < 0) {
            throw std::logic_error("jump to a label that was never bound");
        }
        std::ptrdiff_t offset = target - static_cast<std::ptrdiff_t>(f.offsetPos + 2);
        if (offset < -32768 || offset > 32767) {
            throw std::logic_error("jump too far");
        }
        auto u = static_cast<std::uint16_t>(static_cast<std::int16_t>(offset));
        out[f.offsetPos] = static_cast<std::uint8_t>(u & 0xff);
        out[f.offsetPos + 1] = static_cast<std::uint8_t>(u >> 8);
    }
    if (withEnd) {
        out.push_back(0);
    }
    return out;
}

MovieWriter::MovieWriter(MovieOptions options) : options_(options) {}

MovieWriter& MovieWriter::Tag(std::uint16_t code, std::span<const std::uint8_t> body,
                              bool longForm) {
    if (body.size() < 0x3f && !longForm) {
        PutU16(tags_,
               (static_cast<std::uint32_t>(code) << 6) | static_cast<std::uint32_t>(body.size()));
    } else {
        PutU16(tags_, (static_cast<std::uint32_t>(code) << 6) | 0x3f);
        PutU32(tags_, static_cast<std::uint32_t>(body.size()));
    }
    tags_.insert(tags_.end(), body.begin(), body.end());
    return *this;
}

MovieWriter& MovieWriter::Background(Rgb colour) {
    std::uint8_t body[] = {colour.r, colour.g, colour.b};
    return Tag(static_cast<std::uint16_t>(TagCode::SetBackgroundColor), body);
}

MovieWriter& MovieWriter::Label(const std::string& label) {
    std::vector<std::uint8_t> body;
    PutString(body, label);
    return Tag(static_cast<std::uint16_t>(TagCode::FrameLabel), body);
}

MovieWriter& MovieWriter::Actions(const ActionWriter& actions) {
    auto block = actions.Finish();
    return Actions(block);
}

MovieWriter& MovieWriter::Actions(std::span<const std::uint8_t> block) {
    return Tag(static_cast<std::uint16_t>(TagCode::DoAction), block);
}

MovieWriter& MovieWriter::InitActions(std::uint16_t spriteId, const ActionWriter& actions) {
    std::vector<std::uint8_t> body;
    PutU16(body, spriteId);
    auto block = actions.Finish();
    body.insert(body.end(), block.begin(), block.end());
    return Tag(static_cast<std::uint16_t>(TagCode::DoInitAction), body);
}

MovieWriter& MovieWriter::ShowFrame() {
    ++frames_;
    return Tag(static_cast<std::uint16_t>(TagCode::ShowFrame), {});
}

std::vector<std::uint8_t> MovieWriter::Finish() const {
    std::vector<std::uint8_t> body;
    {
        std::int32_t xMax = options_.widthPx * 20;
        std::int32_t yMax = options_.heightPx * 20;
        int bits = std::max(SignedBitsFor(xMax), SignedBitsFor(yMax));
        BitWriter w(body);
        w.Put(static_cast<std::uint32_t>(bits), 5);
        w.Put(0, bits);
        w.Put(static_cast<std::uint32_t>(xMax), bits);
        w.Put(0, bits);
        w.Put(static_cast<std::uint32_t>(yMax), bits);
    }
    PutU16(body, static_cast<std::uint32_t>(std::lround(options_.frameRate * 256)) & 0xffff);
    PutU16(body, frames_);
    body.insert(body.end(), tags_.begin(), tags_.end());
    PutU16(body, 0); // End

    std::vector<std::uint8_t> file{static_cast<std::uint8_t>(options_.compressed ? 'C' : 'F'), 'W',
                                   'S', options_.version};
    PutU32(file, static_cast<std::uint32_t>(body.size() + 8));
    if (options_.compressed) {
        auto z = ZlibStore(body);
        file.insert(file.end(), z.begin(), z.end());
    } else {
        file.insert(file.end(), body.begin(), body.end());
    }
    return file;
}

} // namespace fw::swf
