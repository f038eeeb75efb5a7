#include "sound.h"

#include "byte_reader.h"

namespace fw::swf {
namespace {

// The byte DefineSound and a stream head code their samples' format in.
template <typename Sound> void TakeFormat(std::uint8_t flags, Sound& s) {
    s.coding = flags >> 4;
    s.rateCode = (flags >> 2) & 3;
    s.sixteenBit = (flags & 2) != 0;
    s.stereo = (flags & 1) != 0;
}

} // namespace

std::optional<SoundDefinition> ReadDefineSound(std::span<const std::uint8_t> body,
                                               std::string& problem) {
    ByteReader r(body);
    SoundDefinition s;
    s.id = r.U16();
    std::uint8_t flags = r.U8();
    s.sampleCount = r.U32();
    if (!r.ok()) {
        problem = "sound definition cut short";
        return std::nullopt;
    }
    TakeFormat(flags, s);
    auto data = r.Bytes(r.left());
    s.data.assign(data.begin(), data.end());
    return s;
}

SoundInfo ReadSoundInfo(ByteReader& r) {
    SoundInfo info;
    std::uint8_t flags = r.U8();
    info.stop = (flags & 0x20) != 0;
    info.noMultiple = (flags & 0x10) != 0;
    if (flags & 1) {
        info.inPoint = r.U32();
    }
    if (flags & 2) {
        info.outPoint = r.U32();
    }
    if (flags & 4) {
        info.loops = r.U16();
    }
    if (flags & 8) {
        std::uint8_t count = r.U8();
        for (std::uint8_t i = 0; i < count && r.ok(); ++i) {
            EnvelopePoint p;
            p.position = r.U32();
            p.left = r.U16();
            p.right = r.U16();
            info.envelope.push_back(p);
        }
    }
    return info;
}

std::optional<SoundStart> ReadStartSound(std::uint16_t code, std::span<const std::uint8_t> body,
                                         std::string& problem) {
    ByteReader r(body);
    SoundStart start;
    if (code == 89) {
        start.className = r.CString();
    } else {
        start.id = r.U16();
    }
    start.info = ReadSoundInfo(r);
    if (!r.ok()) {
        problem = "sound start cut short";
        return std::nullopt;
    }
    return start;
}

std::optional<StreamHead> ReadStreamHead(std::span<const std::uint8_t> body, std::string& problem) {
    ByteReader r(body);
    r.U8(); // the rate the author would have liked it played at: the stream's own decides
    std::uint8_t flags = r.U8();
    StreamHead head;
    head.samplesPerFrame = r.U16();
    if (!r.ok()) {
        problem = "sound stream head cut short";
        return std::nullopt;
    }
    TakeFormat(flags, head);
    return head;
}

} // namespace fw::swf
