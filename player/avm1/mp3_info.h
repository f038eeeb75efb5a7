#pragma once
// What a script learns of an MP3 file without decoding it: how long it plays, from its frame
// headers, and the tags of its ID3v2 header.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fw::avm1 {

// One text or comment frame of an ID3v2 tag, its id as version 2.3 names it ("TIT2", "COMM"),
// its text as UTF-8.
struct Id3Frame {
    std::string id;
    std::string text;
    bool comment = false;
};

struct Mp3Info {
    int frames = 0;                           // MPEG audio frames found
    double durationMs = 0;                    // at the first frame's sample rate
    std::optional<std::vector<Id3Frame>> tag; // none: the file has no (readable) ID3v2 tag
};

Mp3Info ReadMp3Info(std::string_view bytes);

// The first MPEG audio frame after any ID3v2 tags, as a codec is told what it decodes.
struct Mp3Frame {
    std::size_t offset = 0; // where it starts in the bytes
    std::size_t length = 0;
    int layer = 3;
    int rate = 0;    // samples a second
    int bitrate = 0; // bits a second
    int channels = 2;
};
std::optional<Mp3Frame> FirstMp3Frame(std::string_view bytes);

} // namespace fw::avm1
