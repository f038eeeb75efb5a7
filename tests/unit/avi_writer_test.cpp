#include "clips/avi_writer.h"
#include "clips/logo_clips.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// An independent RIFF walker: every chunk must lie inside its parent, lists
// carry their type, odd sizes are padded.
struct Chunk {
    std::string id;
    std::string listType; // for RIFF and LIST
    std::size_t data = 0; // offset of the chunk's data (after the list type for lists)
    std::uint32_t size = 0;
    std::vector<Chunk> children;
    const Chunk& Child(std::size_t i) const { return children.at(i); }
};

std::uint32_t U32(const Bytes& b, std::size_t at) {
    if (at + 4 > b.size()) {
        throw std::out_of_range("read past the end at " + std::to_string(at));
    }
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}
std::uint16_t U16(const Bytes& b, std::size_t at) {
    return static_cast<std::uint16_t>(b.at(at) | (b.at(at + 1) << 8));
}
std::string Cc(const Bytes& b, std::size_t at) {
    if (at + 4 > b.size()) {
        throw std::out_of_range("read past the end at " + std::to_string(at));
    }
    return std::string(b.begin() + static_cast<std::ptrdiff_t>(at),
                       b.begin() + static_cast<std::ptrdiff_t>(at + 4));
}

std::vector<Chunk> ParseChunks(const Bytes& b, std::size_t from, std::size_t end) {
    std::vector<Chunk> out;
    std::size_t at = from;
    while (at < end) {
        Chunk c;
        c.id = Cc(b, at);
        c.size = U32(b, at + 4);
        const std::size_t dataEnd = at + 8 + c.size;
        if (dataEnd > end) {
            throw std::runtime_error("chunk " + c.id + " at " + std::to_string(at) +
                                     " overruns its parent");
        }
        c.data = at + 8;
        if (c.id == "RIFF" || c.id == "LIST") {
            c.listType = Cc(b, at + 8);
            c.data = at + 12;
            c.children = ParseChunks(b, at + 12, dataEnd);
        }
        out.push_back(c);
        at = dataEnd + (c.size & 1);
    }
    if (at != end) {
        throw std::runtime_error("padding runs past the parent's end");
    }
    return out;
}

Chunk ParseFile(const Bytes& b, std::size_t from = 0) {
    auto top = ParseChunks(b, from, b.size());
    if (top.size() != 1) {
        throw std::runtime_error("expected one top-level chunk, got " + std::to_string(top.size()));
    }
    return top[0];
}

std::vector<std::string> Ids(const Chunk& c) {
    std::vector<std::string> ids;
    for (const auto& k : c.children) {
        ids.push_back(k.listType.empty() ? k.id : k.id + ":" + k.listType);
    }
    return ids;
}

Bytes ToBytes(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// A frame whose every byte tells its row, column and channel apart.
Bytes PatternFrame(int w, int h, int seed) {
    Bytes f;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            for (int ch = 0; ch < 3; ++ch) {
                f.push_back(static_cast<std::uint8_t>(seed * 101 + y * 31 + x * 7 + ch));
            }
        }
    }
    return f;
}

Bytes WriteAvi(const fw::clips::AviFormat& fmt, const std::vector<Bytes>& frames,
               const std::string& prefix = "") {
    std::stringstream s;
    s << prefix;
    fw::clips::AviWriter w(s, fmt);
    for (const auto& f : frames) {
        w.AddFrame(f);
    }
    w.Finish();
    return ToBytes(s.str());
}

TEST(AviWriter, NestsTheChunksOfAnIndexedAviFile) {
    const Bytes file = WriteAvi({3, 2, 5}, {PatternFrame(3, 2, 1), PatternFrame(3, 2, 2)});
    const Chunk riff = ParseFile(file);
    EXPECT_EQ(riff.id, "RIFF");
    EXPECT_EQ(riff.listType, "AVI ");
    EXPECT_EQ(riff.size + 8u, file.size());
    EXPECT_EQ(Ids(riff), (std::vector<std::string>{"LIST:hdrl", "LIST:movi", "idx1"}));
    const Chunk& hdrl = riff.Child(0);
    EXPECT_EQ(Ids(hdrl), (std::vector<std::string>{"avih", "LIST:strl"}));
    EXPECT_EQ(Ids(hdrl.Child(1)), (std::vector<std::string>{"strh", "strf"}));
    EXPECT_EQ(Ids(riff.Child(1)), (std::vector<std::string>{"00db", "00db"}));
}

struct HeaderCase {
    fw::clips::AviFormat format;
    int frames;
    std::uint32_t stride;
};

TEST(AviWriter, HeadersDescribeOneUncompressedVideoStream) {
    const HeaderCase cases[] = {
        {{3, 2, 5, 24}, 2, 12},  {{1, 1, 1, 24}, 1, 4},         {{4, 3, 25, 24}, 3, 12},
        {{5, 1, 30, 24}, 2, 16}, {{320, 240, 15, 24}, 1, 960},  {{3, 2, 5, 32}, 2, 12},
        {{1, 1, 1, 32}, 1, 4},   {{320, 240, 12, 32}, 1, 1280},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.format.width) + "x" + std::to_string(c.format.height) + "x" +
                     std::to_string(c.format.bitsPerPixel));
        EXPECT_EQ(fw::clips::DibStride(c.format.width, c.format.bitsPerPixel), c.stride);
        std::vector<Bytes> frames;
        for (int i = 0; i < c.frames; ++i) {
            frames.push_back(PatternFrame(c.format.width, c.format.height, i));
        }
        const Bytes f = WriteAvi(c.format, frames);
        const Chunk riff = ParseFile(f);
        const Chunk& avih = riff.Child(0).Child(0);
        const Chunk& strh = riff.Child(0).Child(1).Child(0);
        const Chunk& strf = riff.Child(0).Child(1).Child(1);
        const std::uint32_t image = c.stride * static_cast<std::uint32_t>(c.format.height);
        const auto w = static_cast<std::uint32_t>(c.format.width);
        const auto h = static_cast<std::uint32_t>(c.format.height);
        const auto n = static_cast<std::uint32_t>(c.frames);

        ASSERT_EQ(avih.size, 56u);
        EXPECT_EQ(U32(f, avih.data + 0), 1000000u / static_cast<std::uint32_t>(c.format.fps));
        EXPECT_EQ(U32(f, avih.data + 12) & 0x10u, 0x10u) << "expected AVIF_HASINDEX";
        EXPECT_EQ(U32(f, avih.data + 16), n) << "total frames";
        EXPECT_EQ(U32(f, avih.data + 24), 1u) << "streams";
        EXPECT_GE(U32(f, avih.data + 28), image) << "suggested buffer";
        EXPECT_EQ(U32(f, avih.data + 32), w);
        EXPECT_EQ(U32(f, avih.data + 36), h);

        ASSERT_EQ(strh.size, 56u);
        EXPECT_EQ(Cc(f, strh.data), "vids");
        EXPECT_EQ(U32(f, strh.data + 20), 1u) << "scale";
        EXPECT_EQ(U32(f, strh.data + 24), static_cast<std::uint32_t>(c.format.fps)) << "rate";
        EXPECT_EQ(U32(f, strh.data + 32), n) << "length";
        EXPECT_GE(U32(f, strh.data + 36), image) << "suggested buffer";
        EXPECT_EQ(U16(f, strh.data + 52), w) << "frame right";
        EXPECT_EQ(U16(f, strh.data + 54), h) << "frame bottom";

        ASSERT_EQ(strf.size, 40u);
        EXPECT_EQ(U32(f, strf.data), 40u) << "biSize";
        EXPECT_EQ(U32(f, strf.data + 4), w);
        EXPECT_EQ(U32(f, strf.data + 8), h) << "positive height: bottom-up";
        EXPECT_EQ(U16(f, strf.data + 12), 1u) << "planes";
        EXPECT_EQ(U16(f, strf.data + 14), static_cast<std::uint32_t>(c.format.bitsPerPixel));
        EXPECT_EQ(U32(f, strf.data + 16), 0u) << "BI_RGB";
        EXPECT_EQ(U32(f, strf.data + 20), image);
        EXPECT_EQ(U32(f, strf.data + 32), 0u) << "no colour table";
        for (const auto& frame : riff.Child(1).children) {
            EXPECT_EQ(frame.size, image);
        }
    }
}

TEST(AviWriter, StoresFramesBottomUpWithPaddedRows) {
    const int w = 3, h = 4;
    const Bytes top = PatternFrame(w, h, 7);
    for (const int bits : {24, 32}) {
        SCOPED_TRACE(std::to_string(bits) + " bits");
        const std::size_t pixel = static_cast<std::size_t>(bits / 8);
        const std::size_t stride = (w * pixel + 3) / 4 * 4;
        const Bytes f = WriteAvi({w, h, 10, bits}, {top});
        const Chunk riff = ParseFile(f);
        const Chunk& frame = riff.Child(1).Child(0);
        ASSERT_EQ(frame.size, stride * h);
        for (int y = 0; y < h; ++y) {
            const std::size_t row = frame.data + static_cast<std::size_t>(h - 1 - y) * stride;
            for (std::size_t i = 0; i < stride; ++i) {
                const std::size_t x = i / pixel;
                const std::size_t c = i % pixel;
                const std::uint8_t expected =
                    x < static_cast<std::size_t>(w) && c < 3
                        ? top[static_cast<std::size_t>(y * w) * 3 + x * 3 + c]
                        : 0;
                EXPECT_EQ(f[row + i], expected) << "row " << y << " byte " << i;
            }
        }
    }
}

TEST(AviWriter, IndexPointsAtEveryFrameAsAKeyFrame) {
    // Written after other bytes, as into a container file: the index stays
    // relative to the 'movi' list and the sizes to the writer's own start.
    for (const std::string& prefix : {std::string(), std::string("JUNKDATA")}) {
        SCOPED_TRACE("prefix of " + std::to_string(prefix.size()) + " bytes");
        std::vector<Bytes> frames;
        for (int i = 0; i < 4; ++i) {
            frames.push_back(PatternFrame(5, 3, i));
        }
        const Bytes f = WriteAvi({5, 3, 12}, frames, prefix);
        const Chunk riff = ParseFile(f, prefix.size());
        const Chunk& movi = riff.Child(1);
        const Chunk& idx1 = riff.Child(2);
        const std::size_t moviType = movi.data - 4;
        ASSERT_EQ(idx1.size, 16u * frames.size());
        for (std::size_t i = 0; i < frames.size(); ++i) {
            const std::size_t e = idx1.data + 16 * i;
            EXPECT_EQ(Cc(f, e), "00db");
            EXPECT_EQ(U32(f, e + 4), 0x10u) << "expected AVIIF_KEYFRAME for entry " << i;
            const std::size_t chunk = moviType + U32(f, e + 8);
            EXPECT_EQ(chunk + 8, movi.Child(i).data) << "entry " << i;
            EXPECT_EQ(U32(f, e + 12), movi.Child(i).size) << "entry " << i;
            // The bottom row of the frame comes first.
            EXPECT_EQ(f.at(chunk + 8), frames[i][2u * 5u * 3u]) << "entry " << i;
        }
    }
}

TEST(AviWriter, RejectsFormatsAviCannotHold) {
    const fw::clips::AviFormat bad[] = {
        {0, 240, 15},   {320, 0, 15},     {-1, 240, 15},  {320, -240, 15},    {320, 240, 0},
        {320, 240, -5}, {320, 240, 1001}, {70000, 1, 15}, {20000, 20000, 15},
    };
    for (const auto& fmt : bad) {
        SCOPED_TRACE(std::to_string(fmt.width) + "x" + std::to_string(fmt.height) + "@" +
                     std::to_string(fmt.fps));
        std::stringstream s;
        EXPECT_THROW(fw::clips::AviWriter(s, fmt), std::invalid_argument);
    }
}

TEST(AviWriter, AWrongFrameIsRefusedAndTheFileStaysGood) {
    std::stringstream s;
    fw::clips::AviWriter w(s, {2, 2, 5});
    EXPECT_THROW(w.Finish(), std::logic_error) << "a file without frames";
    const Bytes wrongSizes[] = {Bytes{}, Bytes(11), Bytes(13), Bytes(16)};
    for (const auto& frame : wrongSizes) {
        EXPECT_THROW(w.AddFrame(frame), std::invalid_argument) << frame.size() << " bytes";
    }
    w.AddFrame(PatternFrame(2, 2, 3));
    EXPECT_EQ(w.FrameCount(), 1);
    w.Finish();
    EXPECT_THROW(w.Finish(), std::logic_error);
    EXPECT_THROW(w.AddFrame(PatternFrame(2, 2, 3)), std::logic_error);

    const Bytes f = ToBytes(s.str());
    const Chunk riff = ParseFile(f);
    EXPECT_EQ(riff.Child(1).children.size(), 1u);
    EXPECT_EQ(riff.Child(2).size, 16u);
}

// A seekable buffer of fixed capacity: writes beyond it fail as on a full disk.
class SmallDisk : public std::streambuf {
public:
    explicit SmallDisk(std::size_t capacity) : bytes_(capacity) {
        setp(bytes_.data(), bytes_.data() + bytes_.size());
    }

protected:
    pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode) override {
        const off_type base = dir == std::ios_base::beg   ? 0
                              : dir == std::ios_base::cur ? pptr() - pbase()
                                                          : static_cast<off_type>(bytes_.size());
        return seekpos(pos_type(base + off), std::ios_base::out);
    }
    pos_type seekpos(pos_type pos, std::ios_base::openmode) override {
        const off_type at = pos;
        if (at < 0 || at > static_cast<off_type>(bytes_.size())) {
            return pos_type(off_type(-1));
        }
        setp(bytes_.data(), bytes_.data() + bytes_.size());
        pbump(static_cast<int>(at));
        return pos;
    }

private:
    std::vector<char> bytes_;
};

TEST(AviWriter, AFailedStreamIsReported) {
    std::stringstream failed;
    failed.setstate(std::ios::badbit);
    EXPECT_THROW(fw::clips::AviWriter(failed, {2, 2, 5}), std::runtime_error);

    // Full after the headers, inside the second frame, inside the index.
    const std::size_t headers = 12 + 12 + 64 + 12 + 64 + 48 + 12;
    const std::size_t frame = 8 + 16;
    for (const std::size_t capacity : {headers - 1, headers + frame + 3, headers + 2 * frame + 9}) {
        SCOPED_TRACE("capacity " + std::to_string(capacity));
        SmallDisk disk(capacity);
        std::ostream out(&disk);
        EXPECT_THROW(
            {
                fw::clips::AviWriter w(out, {2, 2, 5});
                w.AddFrame(PatternFrame(2, 2, 0));
                w.AddFrame(PatternFrame(2, 2, 1));
                w.Finish();
            },
            std::runtime_error);
    }
    SmallDisk roomy(headers + 2 * frame + 8 + 32);
    std::ostream out(&roomy);
    fw::clips::AviWriter w(out, {2, 2, 5});
    w.AddFrame(PatternFrame(2, 2, 0));
    w.AddFrame(PatternFrame(2, 2, 1));
    EXPECT_NO_THROW(w.Finish()) << "exactly the size of the file";
}

// The sample clips.

using fw::clips::kBrumvaleClip;
using fw::clips::kClipFrames;
using fw::clips::kPelkClip;
using fw::clips::LogoClip;
using fw::clips::Picture;
using fw::clips::Rgb;

struct ShapeStats {
    int pixels = 0;
    double cx = 0;
    double cy = 0;
    int others = 0; // pixels of neither colour
};

ShapeStats Measure(const Picture& p, const LogoClip& clip) {
    ShapeStats s;
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) {
            const Rgb c = p.At(x, y);
            if (c == clip.shape) {
                ++s.pixels;
                s.cx += x;
                s.cy += y;
            } else if (!(c == clip.background)) {
                ++s.others;
            }
        }
    }
    if (s.pixels > 0) {
        s.cx /= s.pixels;
        s.cy /= s.pixels;
    }
    return s;
}

int Distance(Rgb a, Rgb b) {
    return std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
}

struct ClipCase {
    const LogoClip* clip;
    bool movesDown;
};

TEST(LogoClips, AWholeShapeCrossesAPlainBackground) {
    const ClipCase cases[] = {{&kPelkClip, false}, {&kBrumvaleClip, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.clip->fileName);
        ShapeStats previous;
        int firstPixels = 0;
        for (int i = 0; i < kClipFrames; ++i) {
            const Picture p = fw::clips::PaintFrame(*c.clip, i);
            ASSERT_EQ(p.width, 320);
            ASSERT_EQ(p.height, 240);
            ASSERT_EQ(p.bgr.size(), 320u * 240u * 3u);
            for (const auto& [x, y] : {std::pair{0, 0}, {319, 0}, {0, 239}, {319, 239}}) {
                EXPECT_EQ(p.At(x, y), c.clip->background) << "corner " << x << "," << y;
            }
            const ShapeStats s = Measure(p, *c.clip);
            EXPECT_EQ(s.others, 0) << "frame " << i;
            if (i == 0) {
                firstPixels = s.pixels;
                EXPECT_GT(s.pixels, 2000) << "a shape big enough to see";
            } else {
                EXPECT_EQ(s.pixels, firstPixels) << "the shape is never clipped, frame " << i;
                EXPECT_GT(s.cx, previous.cx) << "moving right at frame " << i;
                if (c.movesDown) {
                    EXPECT_GT(s.cy, previous.cy) << "moving down at frame " << i;
                } else {
                    EXPECT_EQ(s.cy, previous.cy) << "staying level at frame " << i;
                }
            }
            previous = s;
        }
        // From one side of the picture to the other.
        EXPECT_GT(previous.cx - Measure(fw::clips::PaintFrame(*c.clip, 0), *c.clip).cx, 150.0);
    }
}

TEST(LogoClips, TheTwoClipsLookDifferent) {
    EXPECT_STRNE(kPelkClip.fileName, kBrumvaleClip.fileName);
    // Far enough apart that a screenshot scaled or dithered still tells them apart.
    EXPECT_GT(Distance(kPelkClip.background, kBrumvaleClip.background), 120);
    EXPECT_GT(Distance(kPelkClip.shape, kBrumvaleClip.shape), 120);
    for (const auto* clip : {&kPelkClip, &kBrumvaleClip}) {
        EXPECT_GT(Distance(clip->shape, clip->background), 200) << clip->fileName;
        EXPECT_NE(Distance(clip->background, Rgb{}), 0) << "black is the window's own colour";
    }
    // The middle frames cover different places.
    const Picture a = fw::clips::PaintFrame(kPelkClip, 0);
    const Picture b = fw::clips::PaintFrame(kBrumvaleClip, 0);
    EXPECT_NE(Measure(a, kPelkClip).cy, Measure(b, kBrumvaleClip).cy);
}

TEST(LogoClips, FramesOutsideTheClipAreRefused) {
    const std::pair<int, int> bad[] = {{-1, 30}, {30, 30}, {31, 30}, {0, 0}, {0, -1}};
    for (const auto& [index, count] : bad) {
        EXPECT_THROW(fw::clips::PaintFrame(kPelkClip, index, count), std::out_of_range)
            << index << " of " << count;
    }
    EXPECT_NO_THROW(fw::clips::PaintFrame(kPelkClip, 0, 1));
}

class ClipFolder : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("fw_clips_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::filesystem::path dir_;
};

TEST_F(ClipFolder, WrittenClipIsAPlayableLengthOfFrames) {
    fw::clips::WriteClip(kBrumvaleClip, dir_);
    std::ifstream in(dir_ / "logo_brumvale.avi", std::ios::binary);
    const Bytes f((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const Chunk riff = ParseFile(f);
    const Chunk& avih = riff.Child(0).Child(0);
    const double seconds = U32(f, avih.data) * 1e-6 * U32(f, avih.data + 16);
    EXPECT_NEAR(seconds, 2.0, 0.1);
    EXPECT_EQ(riff.Child(1).children.size(), static_cast<std::size_t>(kClipFrames));
    // The first stored row is the bottom row of the first frame: background.
    const Chunk& first = riff.Child(1).Child(0);
    EXPECT_EQ(f.at(first.data), kBrumvaleClip.background.b);
    EXPECT_EQ(f.at(first.data + 2), kBrumvaleClip.background.r);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_),
                            std::filesystem::directory_iterator()),
              1)
        << "no temporary file stays behind";
}

TEST_F(ClipFolder, AFailedWriteNamesThePathAndLeavesNothing) {
    // A folder standing where the clip should go cannot be replaced by a file.
    std::filesystem::create_directories(dir_ / "logo_pelk.avi" / "inside");
    try {
        fw::clips::WriteClip(kPelkClip, dir_);
        FAIL() << "expected an error";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("logo_pelk.avi"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(std::filesystem::exists(dir_ / "logo_pelk.avi.part"));
    EXPECT_TRUE(std::filesystem::exists(dir_ / "logo_pelk.avi" / "inside"));

    EXPECT_THROW(fw::clips::WriteClip(kPelkClip, dir_ / "missing" / "folder"), std::runtime_error);
}

} // namespace
