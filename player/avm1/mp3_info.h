#pragma once
// What a script learns of an MP3 file without decoding it: how long it plays, from its frame
// headers, and the tags of its ID3v2 header.

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

} // namespace fw::avm1
