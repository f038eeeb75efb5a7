// The mixer walk and the value operations of the sound lines, against mixers
// described by each test.

#include "sound_fake_mixer.h"

#include "sound/SndControls.h"

#include <gtest/gtest.h>

#include <limits>
#include <ostream>
#include <string>

namespace fw::test {
namespace {

constexpr std::uint32_t kSpeakers = kDstSpeakers;

// One sound card as most machines have it.
FakeDevice UsualCard() {
    FakeDevice dev;
    dev.destinations.push_back(
        {kSpeakers, {Mute(), Volume()}, {{kSrcWaveOut, {Mute(), Volume(), Peak()}}}});
    dev.destinations.push_back({kDstWaveIn,
                                {},
                                {{kSrcMicrophone, {Mute(), Volume(), Peak()}},
                                 {kSrcCompactDisc, {Mute(), Volume(), Peak()}}}});
    return dev;
}

// Where a control of a line was found: device and control id.
struct Found {
    std::uint32_t mixerId;
    std::uint32_t controlId;
    bool operator==(const Found&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Found& f) {
    return os << "{device " << f.mixerId << ", control 0x" << std::hex << f.controlId << std::dec
              << "}";
}
std::optional<Found> MuteOf(const TSndControl& l) {
    return l.HasMute() ? std::optional<Found>({l.MuteMixerId(), l.MuteControl().dwControlID})
                       : std::nullopt;
}
std::optional<Found> VolumeOf(const TSndControl& l) {
    return l.HasVolume() ? std::optional<Found>({l.VolumeMixerId(), l.VolumeControl().dwControlID})
                         : std::nullopt;
}
std::optional<Found> PeakOf(const TSndControl& l) {
    return l.HasPeak() ? std::optional<Found>({l.PeakMixerId(), l.PeakControl().dwControlID})
                       : std::nullopt;
}
Found At(std::uint32_t device, std::uint32_t d, std::optional<std::uint32_t> s, std::uint32_t k) {
    return {device, FakeMixer::ControlId(d, s, k)};
}

TEST(SoundLines, WithoutUsableMixerLinesExistWithNeutralValuesAndWritesDoNothing) {
    FakeDevice unopenable = UsualCard();
    unopenable.openFails = true;
    FakeDevice noCaps = UsualCard();
    noCaps.capsFail = true;
    const struct {
        const char* name;
        std::vector<FakeDevice> devices;
        std::size_t expectedOpened;
    } cases[] = {
        {"no device", {}, 0},
        {"device that cannot be opened", {unopenable}, 0},
        {"device whose capabilities cannot be read", {noCaps}, 0},
        {"device without destinations", {FakeDevice{}}, 1},
        {"device whose only destination has no sources",
         {FakeDevice{{{kSpeakers, {Mute(), Volume()}}}}},
         1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeMixer mixer;
        mixer.devices = c.devices;
        SndControls snd(mixer);
        snd.OpenMixer(0x1234);
        EXPECT_EQ(c.expectedOpened, mixer.opened.size());
        for (SoundLine which :
             {SoundLine::General, SoundLine::Wave, SoundLine::CD, SoundLine::Mic}) {
            TSndControl* line = snd.Line(which);
            ASSERT_NE(nullptr, line);
            EXPECT_FALSE(line->HasMute() || line->HasVolume() || line->HasPeak());
            EXPECT_EQ(0u, line->GetVolume());
            EXPECT_EQ(0, line->GetPeak());
            EXPECT_FALSE(line->IsSoundOn());
            line->SetVolume(500);
            line->SetSoundOn(true);
            line->SetSoundOn(false);
        }
        EXPECT_TRUE(mixer.writes.empty()) << "expected no write, got " << mixer.writes.size();
    }
}

TEST(SoundLines, SetVolumeHoldsTheValueInTheControlsRange) {
    const struct {
        std::uint32_t requested;
        std::uint32_t written;
    } cases[] = {
        {0, 100},     {99, 100},    {100, 100},          {555, 555},
        {1000, 1000}, {1001, 1000}, {0xFFFFFFFFu, 1000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.requested);
        FakeMixer mixer;
        mixer.devices = {FakeDevice{{{kSpeakers, {Volume(100, 1000, 9, 300)}, {{kSrcWaveOut}}}}}};
        SndControls snd(mixer);
        snd.OpenMixer(0);
        snd.GeneralLine()->SetVolume(c.requested);
        ASSERT_EQ(1u, mixer.writes.size());
        EXPECT_EQ(c.written, mixer.writes[0].value)
            << "expected " << c.written << ", got " << mixer.writes[0].value;
        EXPECT_EQ(c.written, snd.GeneralLine()->GetVolume());
    }
}

TEST(SoundLines, MuteIsWrittenAsZeroForOnAndOneForOffAndAnyOtherReadingIsMuted) {
    FakeMixer mixer;
    mixer.devices = {UsualCard()};
    SndControls snd(mixer);
    snd.OpenMixer(0);
    TSndControl& wave = *snd.WaveLine();
    const std::uint32_t muteId = wave.MuteControl().dwControlID;

    wave.SetSoundOn(false);
    wave.SetSoundOn(true);
    const std::vector<FakeMixer::Write> expected = {{0, muteId, 1}, {0, muteId, 0}};
    EXPECT_EQ(expected, mixer.writes);

    const struct {
        std::uint32_t stored;
        bool readFails;
        bool on;
    } reads[] = {{0, false, true}, {1, false, false}, {7, false, false}, {0, true, false}};
    for (const auto& r : reads) {
        SCOPED_TRACE(r.stored);
        mixer.At(0, muteId).value = r.stored;
        mixer.At(0, muteId).readFails = r.readFails;
        EXPECT_EQ(r.on, wave.IsSoundOn());
        EXPECT_EQ(r.readFails ? std::nullopt : std::optional<bool>(r.on), wave.ReadSoundOn());
    }
}

TEST(SoundLines, PeakIsTheMagnitudeOfTheReadingAndFailedReadsAreNeutral) {
    const struct {
        std::int32_t stored;
        bool readFails;
        std::int32_t peak;
    } cases[] = {
        {-1200, false, 1200},
        {1200, false, 1200},
        {0, false, 0},
        {std::numeric_limits<std::int32_t>::min(), false, std::numeric_limits<std::int32_t>::max()},
        {-5, true, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        FakeMixer mixer;
        mixer.devices = {UsualCard()};
        SndControls snd(mixer);
        snd.OpenMixer(0);
        FakeControl& meter = mixer.At(0, snd.MicLine()->PeakControl().dwControlID);
        meter.value = static_cast<std::uint32_t>(c.stored);
        meter.readFails = c.readFails;
        EXPECT_EQ(c.peak, snd.MicLine()->GetPeak());
    }
    FakeMixer mixer;
    mixer.devices = {UsualCard()};
    SndControls snd(mixer);
    snd.OpenMixer(0);
    FakeControl& volume = mixer.At(0, snd.CDLine()->VolumeControl().dwControlID);
    volume.value = 777;
    EXPECT_EQ(std::optional<std::uint32_t>(777), snd.CDLine()->ReadVolume());
    volume.readFails = true;
    EXPECT_EQ(0u, snd.CDLine()->GetVolume());
    EXPECT_EQ(std::nullopt, snd.CDLine()->ReadVolume());
}

TEST(SoundLines, UsualCardGivesEachLineItsControls) {
    FakeMixer mixer;
    mixer.devices = {UsualCard()};
    SndControls snd(mixer);
    snd.OpenMixer(0xBEEF);
    ASSERT_EQ(1u, mixer.opened.size());
    EXPECT_EQ(0xBEEFu, mixer.opened[0].window);

    const struct {
        SoundLine line;
        std::optional<Found> mute, volume, peak;
    } expected[] = {
        {SoundLine::General, At(0, 0, {}, 0), At(0, 0, {}, 1), std::nullopt},
        {SoundLine::Wave, At(0, 0, 0, 0), At(0, 0, 0, 1), At(0, 0, 0, 2)},
        {SoundLine::CD, At(0, 1, 1, 0), At(0, 1, 1, 1), At(0, 1, 1, 2)},
        {SoundLine::Mic, At(0, 1, 0, 0), At(0, 1, 0, 1), At(0, 1, 0, 2)},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(static_cast<int>(e.line));
        const TSndControl& l = *snd.Line(e.line);
        EXPECT_EQ(e.mute, MuteOf(l));
        EXPECT_EQ(e.volume, VolumeOf(l));
        EXPECT_EQ(e.peak, PeakOf(l));
    }
}

TEST(SoundLines, GeneralTakesTheFirstMasterControlsAndNeverAMeter) {
    FakeDevice meterFirst{{{kSpeakers, {Peak(), Mute(), Peak(), Volume()}, {{kSrcWaveOut}}}}};

    FakeDevice twoDest{{{kSpeakers, {Mute()}, {}} /* no sources: not a master */,
                        {kSpeakers, {Mute(), Volume()}, {{kSrcWaveOut}}},
                        {kSpeakers, {Mute(), Volume()}, {{kSrcWaveOut}}}}};

    FakeDevice muteOnly{{{kSpeakers, {Mute()}, {{kSrcWaveOut}}}}};
    FakeDevice volumeOnly{{{kSpeakers, {Volume()}, {{kSrcWaveOut}}}}};
    FakeDevice splitMaster{
        {{kSpeakers, {Mute()}, {{kSrcWaveOut}}}, {kSpeakers, {Volume(), Mute()}, {{kSrcWaveOut}}}}};
    FakeDevice unopenable = UsualCard();
    unopenable.openFails = true;

    const struct {
        const char* name;
        std::vector<FakeDevice> devices;
        std::optional<Found> mute, volume;
        std::uint32_t mixerId;
    } cases[] = {
        {"meters around the master controls", {meterFirst}, At(0, 0, {}, 1), At(0, 0, {}, 3), 0},
        {"destination without sources is passed over",
         {twoDest},
         At(0, 1, {}, 0),
         At(0, 1, {}, 1),
         0},
        {"first device keeps its master",
         {UsualCard(), UsualCard()},
         At(0, 0, {}, 0),
         At(0, 0, {}, 1),
         0},
        {"mute of a later device", {volumeOnly, muteOnly}, At(1, 0, {}, 0), At(0, 0, {}, 0), 1},
        {"after a device that cannot be opened",
         {unopenable, UsualCard()},
         At(1, 0, {}, 0),
         At(1, 0, {}, 1),
         1},
        {"mute and volume from different destinations",
         {splitMaster},
         At(0, 0, {}, 0),
         At(0, 1, {}, 0),
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeMixer mixer;
        mixer.devices = c.devices;
        SndControls snd(mixer);
        snd.OpenMixer(0);
        const TSndControl& general = *snd.GeneralLine();
        EXPECT_EQ(c.mute, MuteOf(general));
        EXPECT_EQ(c.volume, VolumeOf(general));
        EXPECT_FALSE(general.HasPeak());
        EXPECT_EQ(c.mixerId, snd.MixerId());

        // Each control is written on the device it came from.
        mixer.writes.clear();
        snd.GeneralLine()->SetSoundOn(false);
        snd.GeneralLine()->SetVolume(1);
        const std::vector<FakeMixer::Write> expected = {
            {c.mute->mixerId, c.mute->controlId, 1}, {c.volume->mixerId, c.volume->controlId, 1}};
        EXPECT_EQ(expected, mixer.writes);
    }
}

TEST(SoundLines, LaterWaveAndMicSourcesReplaceEarlierOnes) {
    FakeDevice twoWaves{
        {{kSpeakers,
          {Mute(), Volume()},
          {{kSrcWaveOut, {Mute(), Volume(), Peak()}}, {kSrcWaveOut, {Volume(), Mute()}}}}}};
    FakeDevice twoMics{
        {{kSpeakers, {Mute()}, {{kSrcWaveOut, {Volume()}}}},
         {kDstWaveIn,
          {},
          {{kSrcMicrophone, {Mute(), Volume(), Peak()}}, {kSrcMicrophone, {Peak(), Volume()}}}}}};
    FakeDevice secondCard{{{kSpeakers, {}, {{kSrcWaveOut, {Volume()}}}}}};

    const struct {
        const char* name;
        std::vector<FakeDevice> devices;
        SoundLine line;
        std::optional<Found> mute, volume, peak;
    } cases[] = {
        {"two wave outputs",
         {twoWaves},
         SoundLine::Wave,
         At(0, 0, 1, 1),
         At(0, 0, 1, 0),
         At(0, 0, 0, 2)},
        {"two microphones",
         {twoMics},
         SoundLine::Mic,
         At(0, 1, 0, 0),
         At(0, 1, 1, 1),
         At(0, 1, 1, 0)},
        {"wave output of a second card",
         {UsualCard(), secondCard},
         SoundLine::Wave,
         At(0, 0, 0, 0),
         At(1, 0, 0, 0),
         At(0, 0, 0, 2)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeMixer mixer;
        mixer.devices = c.devices;
        SndControls snd(mixer);
        snd.OpenMixer(0);
        const TSndControl& l = *snd.Line(c.line);
        EXPECT_EQ(c.mute, MuteOf(l));
        EXPECT_EQ(c.volume, VolumeOf(l));
        EXPECT_EQ(c.peak, PeakOf(l));
        mixer.writes.clear();
        snd.Line(c.line)->SetVolume(9);
        ASSERT_EQ(1u, mixer.writes.size());
        EXPECT_EQ(c.volume->mixerId, mixer.writes[0].mixerId);
    }
}

TEST(SoundLines, CdTakesTheCdSourceAndFallsBackToTheAuxiliaryInput) {
    auto card = [](std::vector<FakeLine> recordingSources) {
        FakeDevice dev{{{kSpeakers, {Mute(), Volume()}, {{kSrcWaveOut, {Volume()}}}},
                        {kDstWaveIn, {}, std::move(recordingSources)}}};
        return dev;
    };
    const FakeLine cd{kSrcCompactDisc, {Mute(), Volume(), Peak()}};
    const FakeLine cdWithoutVolume{kSrcCompactDisc, {Mute(), Peak()}};
    const FakeLine aux{kSrcAuxiliary, {Volume(), Mute()}};
    FakeDevice cdOnPlayback{
        {{kSpeakers, {Mute(), Volume()}, {{kSrcCompactDisc, {Mute(), Volume()}}, aux}},
         {kDstWaveIn, {}, {{kSrcMicrophone, {Volume()}}}}}};

    const struct {
        const char* name;
        FakeDevice device;
        std::optional<Found> mute, volume, peak;
    } cases[] = {
        {"CD source before auxiliary", card({cd, aux}), At(0, 1, 0, 0), At(0, 1, 0, 1),
         At(0, 1, 0, 2)},
        {"CD source after auxiliary", card({aux, cd}), At(0, 1, 1, 0), At(0, 1, 1, 1),
         At(0, 1, 1, 2)},
        {"auxiliary only", card({aux}), At(0, 1, 0, 1), At(0, 1, 0, 0), std::nullopt},
        {"CD source without volume", card({cdWithoutVolume, aux}), At(0, 1, 1, 1), At(0, 1, 1, 0),
         At(0, 1, 0, 1)},
        {"neither", card({{kSrcMicrophone, {Volume()}}}), std::nullopt, std::nullopt, std::nullopt},
        {"CD and auxiliary only under playback", cdOnPlayback, std::nullopt, std::nullopt,
         std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeMixer mixer;
        mixer.devices = {c.device};
        SndControls snd(mixer);
        snd.OpenMixer(0);
        const TSndControl& l = *snd.CDLine();
        EXPECT_EQ(c.mute, MuteOf(l));
        EXPECT_EQ(c.volume, VolumeOf(l));
        EXPECT_EQ(c.peak, PeakOf(l));
    }
}

TEST(SoundLines, LongControlListsAreFetchedWholeAndAbsurdOnesSkipped) {
    const struct {
        const char* name;
        std::size_t before; // unrelated controls ahead of the master's
        bool found;
    } cases[] = {
        {"ten in all", 8, true},
        {"fourteen in all", 12, true},
        {"past any real mixer", kMaxMixerItems, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeLine master{kSpeakers, std::vector<FakeControl>(c.before, Other()), {{kSrcWaveOut}}};
        master.controls.push_back(Mute());
        master.controls.push_back(Volume());
        FakeMixer mixer;
        mixer.devices = {FakeDevice{{master}}};
        SndControls snd(mixer);
        snd.OpenMixer(0);
        const auto k = static_cast<std::uint32_t>(c.before);
        EXPECT_EQ(c.found ? std::optional<Found>(At(0, 0, {}, k)) : std::nullopt,
                  MuteOf(*snd.GeneralLine()));
        EXPECT_EQ(c.found ? std::optional<Found>(At(0, 0, {}, k + 1)) : std::nullopt,
                  VolumeOf(*snd.GeneralLine()));
    }
}

TEST(SoundLines, UnreadableLinesAndListsAreSkipped) {
    auto usual = [](auto change) {
        FakeDevice dev = UsualCard();
        change(dev);
        return dev;
    };
    const struct {
        const char* name;
        FakeDevice device;
        bool general, wave, mic, cd;
    } cases[] = {
        {"master unreadable", usual([](FakeDevice& d) { d.destinations[0].infoFails = true; }),
         false, false, true, true},
        {"master's controls unreadable",
         usual([](FakeDevice& d) { d.destinations[0].controlsFail = true; }), false, true, true,
         true},
        {"wave source unreadable",
         usual([](FakeDevice& d) { d.destinations[0].sources[0].infoFails = true; }), true, false,
         true, true},
        {"microphone's controls unreadable",
         usual([](FakeDevice& d) { d.destinations[1].sources[0].controlsFail = true; }), true, true,
         false, true},
        {"master claims no sources",
         usual([](FakeDevice& d) { d.destinations[0].claimedConnections = 0; }), false, false, true,
         true},
        {"master claims a negative number of sources",
         usual([](FakeDevice& d) { d.destinations[0].claimedConnections = 0xFFFFFFFFu; }), false,
         false, true, true},
        {"recording destination claims no sources",
         usual([](FakeDevice& d) { d.destinations[1].claimedConnections = 0; }), true, true, false,
         false},
        {"no recording destination",
         usual([](FakeDevice& d) { d.destinations[1].type = kSpeakers; }), true, true, false,
         false},
        {"device claims countless destinations",
         usual([](FakeDevice& d) { d.claimedDestinations = 0x7FFFFFFFu; }), false, false, false,
         false},
        {"device claims one destination too many",
         usual([](FakeDevice& d) { d.claimedDestinations = 3; }), true, true, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeMixer mixer;
        mixer.devices = {c.device};
        SndControls snd(mixer);
        snd.OpenMixer(0);
        EXPECT_EQ(c.general, snd.GeneralLine()->HasVolume());
        EXPECT_EQ(c.wave, snd.WaveLine()->HasVolume());
        EXPECT_EQ(c.mic, snd.MicLine()->HasVolume());
        EXPECT_EQ(c.cd, snd.CDLine()->HasVolume());
        EXPECT_LT(mixer.calls, 100u) << "the walk should not chase claimed lines";
    }
}

TEST(SoundLines, CloseMixerClosesEveryHandleOpenedAndFreesTheLines) {
    FakeDevice unopenable = UsualCard();
    unopenable.openFails = true;
    FakeMixer mixer;
    mixer.devices = {UsualCard(), unopenable, FakeDevice{}, UsualCard()};
    {
        SndControls snd(mixer);
        snd.OpenMixer(7);
        ASSERT_EQ(3u, mixer.opened.size());
        EXPECT_EQ(3u, snd.MixerHandles().size());
        snd.CloseMixer();
        std::vector<MixerHandle> expected;
        for (const auto& o : mixer.opened) {
            expected.push_back(o.handle);
        }
        EXPECT_EQ(expected, mixer.closed);
        EXPECT_EQ(nullptr, snd.GeneralLine());
        EXPECT_EQ(nullptr, snd.MicLine());

        // Opened again, the mixer is walked afresh; the owner's end closes it.
        snd.OpenMixer(7);
        EXPECT_EQ(6u, mixer.opened.size());
        EXPECT_TRUE(snd.WaveLine()->HasVolume());
    }
    EXPECT_EQ(6u, mixer.closed.size());
}

} // namespace
} // namespace fw::test
