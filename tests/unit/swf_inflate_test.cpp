#include "swf/inflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using fw::swf::ZlibInflate;
using fw::swf::ZlibStore;

Bytes Compress(const Bytes& data, int level) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    Bytes out(size);
    int rc = compress2(out.data(), &size, data.data(), static_cast<uLong>(data.size()), level);
    EXPECT_EQ(rc, Z_OK);
    out.resize(size);
    return out;
}

Bytes Sample(const std::string& kind, std::size_t size) {
    Bytes b(size);
    std::mt19937 rng(42);
    for (std::size_t i = 0; i < size; ++i) {
        if (kind == "random") {
            b[i] = static_cast<std::uint8_t>(rng());
        } else if (kind == "text") {
            static const std::string words = "frame action movie variable ";
            b[i] = static_cast<std::uint8_t>(words[(i * 7 + i / 13) % words.size()]);
        } else {
            b[i] = 0;
        }
    }
    return b;
}

TEST(ZlibInflate, DecodesWhatZlibEncodesAtEveryLevel) {
    struct Case {
        const char* kind;
        std::size_t size;
    };
    const Case cases[] = {{"zeros", 0},      {"zeros", 1},     {"text", 100},
                          {"text", 70000},   {"random", 5000}, {"zeros", 300000},
                          {"random", 70000}, {"text", 1 << 18}};
    for (const auto& c : cases) {
        Bytes original = Sample(c.kind, c.size);
        for (int level : {0, 1, 6, 9}) {
            auto result = ZlibInflate(Compress(original, level), original.size());
            EXPECT_TRUE(result.ok())
                << c.kind << " " << c.size << " level " << level << ": " << result.error;
            EXPECT_EQ(result.data, original) << c.kind << " " << c.size << " level " << level;
        }
    }
}

TEST(ZlibStore, IsReadByZlibAndByOurDecoder) {
    for (std::size_t size : {0u, 1u, 65535u, 65536u, 150000u}) {
        Bytes original = Sample("random", size);
        Bytes stored = ZlibStore(original);
        Bytes back(size + 1);
        uLongf backSize = static_cast<uLongf>(back.size());
        ASSERT_EQ(
            uncompress(back.data(), &backSize, stored.data(), static_cast<uLong>(stored.size())),
            Z_OK)
            << "size " << size;
        back.resize(backSize);
        EXPECT_EQ(back, original) << "size " << size;
        auto ours = ZlibInflate(stored, size);
        EXPECT_TRUE(ours.ok()) << ours.error;
        EXPECT_EQ(ours.data, original) << "size " << size;
    }
}

TEST(ZlibInflate, EveryTruncationFailsWithAPrefixOfTheData) {
    Bytes original = Sample("text", 3000);
    Bytes z = Compress(original, 9);
    for (std::size_t cut = 0; cut < z.size(); ++cut) {
        Bytes part(z.begin(), z.begin() + static_cast<std::ptrdiff_t>(cut));
        auto result = ZlibInflate(part, original.size());
        EXPECT_FALSE(result.ok()) << "cut at " << cut;
        ASSERT_LE(result.data.size(), original.size());
        EXPECT_TRUE(std::equal(result.data.begin(), result.data.end(), original.begin()))
            << "cut at " << cut;
    }
}

TEST(ZlibInflate, RejectsDamagedStreams) {
    Bytes original = Sample("text", 2000);
    Bytes good = Compress(original, 6);
    struct Case {
        const char* what;
        std::size_t index;
        std::uint8_t value;
    };
    const Case cases[] = {
        {"method other than deflate", 0, 0x77},
        {"header check", 1, static_cast<std::uint8_t>(good[1] ^ 1)},
        {"preset dictionary", 1, 0xBB}, // 0x78BB passes the check and asks for a dictionary
        {"checksum", good.size() - 1, static_cast<std::uint8_t>(good.back() ^ 0x55)},
        {"block type 3", 2, 0x07},
    };
    for (const auto& c : cases) {
        Bytes bad = good;
        bad[c.index] = c.value;
        auto result = ZlibInflate(bad, original.size());
        EXPECT_FALSE(result.ok()) << c.what;
    }
}

TEST(ZlibInflate, NeverGrowsPastTheLimit) {
    Bytes z = Compress(Sample("zeros", 1 << 20), 9);
    auto result = ZlibInflate(z, 1000);
    EXPECT_FALSE(result.ok());
    EXPECT_EQ(result.data.size(), 1000u);
}

TEST(ZlibInflate, SurvivesFlippedBytesAnywhere) {
    Bytes original = Sample("text", 4000);
    Bytes good = Compress(original, 9);
    std::mt19937 rng(7);
    for (int round = 0; round < 2000; ++round) {
        Bytes bad = good;
        for (int flips = 0; flips < 3; ++flips) {
            bad[rng() % bad.size()] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
        }
        auto result = ZlibInflate(bad, original.size());
        EXPECT_LE(result.data.size(), original.size());
        if (result.ok()) {
            // Only a flip the checksum cannot see may pass, and then the data is intact.
            EXPECT_EQ(result.data, original);
        }
    }
}

} // namespace
