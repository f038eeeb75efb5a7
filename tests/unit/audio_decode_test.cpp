#include "audio/decode.h"
#include "audio/mixer.h"
#include "tools/mp3_mpg123.h"

#include "tone.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace {

using namespace fw::audio;
using fw::test::Listen;
using fw::test::Sine;

std::optional<Pcm> Decode(std::uint8_t coding, bool sixteen, bool stereo, std::uint32_t count,
                          std::vector<std::uint8_t> data, std::string& error,
                          Mp3Decoder* mp3 = nullptr) {
    return DecodeSamples(coding, 22050, sixteen, stereo, count, data, mp3, error);
}

TEST(AudioDecode, UncompressedBothCodingsAndWidths) {
    std::string error;
    for (std::uint8_t coding : {0, 3}) {
        auto pcm = Decode(coding, true, true, 2, {0x34, 0x12, 0x00, 0x80, 0xff, 0x7f, 1, 0}, error);
        ASSERT_TRUE(pcm) << error;
        EXPECT_EQ(pcm->samples, (std::vector<std::int16_t>{0x1234, -32768, 32767, 1}));
        EXPECT_EQ(pcm->frames(), 2u);
    }
    auto eight = Decode(0, false, false, 3, {0x80, 0xff, 0x00, 0x55}, error);
    ASSERT_TRUE(eight);
    EXPECT_EQ(eight->samples, (std::vector<std::int16_t>{0, 127 * 256, -128 * 256}));
    // Cut short: as far as it goes; an odd byte of a 16-bit sample is dropped.
    auto cut = Decode(3, true, false, 100, {1, 0, 2}, error);
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->samples, (std::vector<std::int16_t>{1}));
}

TEST(AudioDecode, AdpcmStepsByHand) {
    // 4-bit codes; the packet opens with sample 0 at step index 0, then codes 0111 and 1111.
    std::vector<std::uint8_t> data = {0x80, 0x00, 0x00, 0x7f};
    std::string error;
    auto pcm = Decode(1, true, false, 3, data, error);
    ASSERT_TRUE(pcm) << error;
    EXPECT_EQ(pcm->samples, (std::vector<std::int16_t>{0, 11, -19}));
}

TEST(AudioDecode, AdpcmToneRoundTripsAtEveryCodeSize) {
    const double tolerance[] = {0, 0, 6000, 2500, 900, 400}; // by bits
    for (int channels : {1, 2}) {
        auto tone = Sine(440, 22050, 9000, channels);
        for (int bits = 2; bits <= 5; ++bits) {
            std::string error;
            auto pcm =
                Decode(1, true, channels == 2, 9000, EncodeAdpcm(tone, channels, bits), error);
            ASSERT_TRUE(pcm) << error;
            ASSERT_EQ(pcm->samples.size(), tone.size()) << "bits " << bits;
            double worst = 0;
            for (std::size_t i = 100; i < tone.size(); ++i) {
                worst = std::max(worst, std::abs(double(pcm->samples[i]) - tone[i]));
            }
            EXPECT_LT(worst, tolerance[bits]) << "bits " << bits << " channels " << channels;
            EXPECT_NEAR(Listen(pcm->samples, channels, channels - 1, 22050).hz, 440, 5);
        }
    }
}

TEST(AudioDecode, ReportedNotPlayed) {
    const std::pair<std::uint8_t, const char*> cases[] = {{4, "Nellymoser"}, {5, "Nellymoser"},
                                                          {6, "Nellymoser"}, {11, "Speex"},
                                                          {2, "MP3"},        {9, "coding 9"}};
    for (auto [coding, name] : cases) {
        std::string error;
        EXPECT_FALSE(Decode(coding, true, false, 10, {1, 2, 3, 4}, error));
        EXPECT_NE(error.find(name), std::string::npos) << "expected " << name << ", got " << error;
    }
    std::string error;
    EXPECT_FALSE(Decode(1, true, true, 10, {0x40}, error)) << "an ADPCM header cut short";
}

TEST(AudioDecode, Mp3ThroughMpg123) {
    std::ifstream in(FW_UNIT_DATA "/tone440.mp3", std::ios::binary);
    std::vector<std::uint8_t> file((std::istreambuf_iterator<char>(in)), {});
    ASSERT_FALSE(file.empty());
    file.insert(file.begin(), {0, 0}); // no samples to seek past
    fw::play::Mpg123Decoder mp3;
    std::string error;
    auto pcm = Decode(2, true, false, 11025, file, error, &mp3);
    ASSERT_TRUE(pcm) << error;
    EXPECT_EQ(pcm->rate, 22050);
    EXPECT_EQ(pcm->frames(), 11025u);
    EXPECT_NEAR(Listen(pcm->samples, 1, 0, 22050).hz, 440, 5);
    EXPECT_FALSE(Decode(2, true, false, 100, {0, 0, 0xff, 0x00, 0x12}, error, &mp3));
}

TEST(AudioMixer, ResamplesWeighsAndLoops) {
    auto pcm = std::make_shared<Pcm>();
    pcm->rate = 11025;
    pcm->samples = Sine(441, 11025, 11025 / 4, 1, 10000);
    auto mix = [&](VoiceStart how, std::optional<Transform> every = {},
                   std::optional<Transform> owner = {}) {
        Mixer m;
        if (every) {
            m.SetTransform(kEverySound, *every);
        }
        if (owner) {
            m.SetTransform(7, *owner);
        }
        m.Start(pcm, how);
        std::vector<std::int16_t> out(2 * 44100);
        m.Mix(out.data(), 44100);
        EXPECT_EQ(m.voices(), 0u);
        return out;
    };
    auto plain = mix({});
    auto left = Listen(plain, 2, 0, 44100);
    EXPECT_NEAR(left.seconds, 0.25, 0.002);
    EXPECT_NEAR(left.hz, 441, 5);
    EXPECT_NEAR(left.peak, 10000, 30);

    VoiceStart looped;
    looped.loops = 3;
    EXPECT_NEAR(Listen(mix(looped), 2, 0, 44100).seconds, 0.75, 0.002);
    VoiceStart cut;
    cut.inPoint = 2205;
    cut.outPoint = 6615;
    EXPECT_NEAR(Listen(mix(cut), 2, 0, 44100).seconds, 0.1, 0.002);

    VoiceStart owned;
    owned.owner = 7;
    Transform half{50};
    Transform panLeft{100, 100, 0, 0, 0};
    auto both = mix(owned, half, panLeft);
    EXPECT_NEAR(Listen(both, 2, 0, 44100).peak, 5000, 30);
    EXPECT_EQ(Listen(both, 2, 1, 44100).peak, 0);
    EXPECT_NEAR(Listen(mix({}, {}, half), 2, 1, 44100).peak, 10000, 30) << "another owner's";

    VoiceStart faded;
    faded.envelope = {{0, 32768, 0}, {11025, 0, 0}};
    auto fade = mix(faded);
    EXPECT_EQ(Listen(fade, 2, 1, 44100).peak, 0);
    EXPECT_NEAR(Listen(fade, 2, 0, 44100).seconds, 0.25, 0.01);
    int late = 0;
    for (std::size_t i = 2 * 8000; i < 2 * 11025; i += 2) {
        late = std::max(late, std::abs(fade[i]));
    }
    EXPECT_LT(late, 3000) << "the envelope falls towards its end";
}

} // namespace
