// The sound window's rows and its volume bridge: slider arithmetic, the exchange
// with the mixer on notifications, check boxes, level bars.

#include "sound_fake_mixer.h"

#include "sound/sound_panel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

namespace fw::test {
namespace {

MixerControl VolumeControl(std::uint32_t min, std::uint32_t max, std::uint32_t steps) {
    MixerControl c{};
    c.dwControlType = kControlVolume;
    c.Bounds.dwMinimum = min;
    c.Bounds.dwMaximum = max;
    c.Metrics.cSteps = steps;
    return c;
}

TEST(SoundPanelArithmetic, SliderPositionShowsTheValuesShareOfTheRange) {
    const struct {
        std::uint32_t min, max, steps, value;
        int position;
    } cases[] = {
        {0, 65535, 32, 65504, 32},
        {0, 65535, 32, 65535, 32},
        {0, 65535, 32, 0, 0},
        {0, 65535, 32, 40000, 20},
        {0, 65535, 65535, 1234, 1234},
        {0, 4, 2, 1, 0}, // 0.5 goes to the even 0
        {0, 4, 2, 3, 2}, // 1.5 goes to the even 2
        {0, 100, 30, 50, 15},
        {100, 200, 10, 150, 5},
        {100, 200, 10, 99, 0},    // below the range: the low end, not a wrapped-round high
        {100, 200, 10, 5000, 10}, // above the range: the high end
        {500, 500, 10, 500, 0},   // a range without width
        {600, 500, 10, 550, 0},   // a range upside down
        {0, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, std::numeric_limits<int>::max()},
        {0, 65535, 0, 30000, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.min << ".." << c.max << " in " << c.steps << " steps, value " << c.value);
        const int got = SliderPositionFor(c.value, VolumeControl(c.min, c.max, c.steps));
        EXPECT_EQ(c.position, got) << "expected " << c.position << ", got " << got;
    }
}

TEST(SoundPanelArithmetic, SliderPositionWritesWholeStepsFromTheMinimum) {
    const struct {
        std::uint32_t min, max, steps, position;
        std::optional<std::uint32_t> value;
    } cases[] = {
        {0, 65535, 32, 32, 65504},   {0, 65535, 32, 1, 2047},         {0, 65535, 65535, 0, 0},
        {0, 65535, 65535, 777, 777}, {0, 65535, 65535, 65535, 65535}, {100, 200, 3, 3, 199},
        {100, 200, 3, 0, 100},       {0, 65535, 0, 5, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.min << ".." << c.max << " in " << c.steps
                                        << " steps, position " << c.position);
        EXPECT_EQ(c.value, VolumeForPosition(c.position, VolumeControl(c.min, c.max, c.steps)));
    }
}

TEST(SoundPanelArithmetic, PercentagesOfTheGeneralSlider) {
    const struct {
        std::uint16_t percent;
        int max, position;
    } toPosition[] = {
        {45, 10, 4}, {55, 10, 6},  {250, 10, 10}, {100, 32, 32},
        {0, 32, 0},  {75, 32, 24}, {50, 0, 0},    {65535, 65535, 65535},
    };
    for (const auto& c : toPosition) {
        SCOPED_TRACE(testing::Message() << c.percent << "% of " << c.max);
        EXPECT_EQ(c.position, PositionForPercent(c.percent, c.max));
    }
    const struct {
        int position, max;
        std::uint16_t percent;
    } toPercent[] = {
        {1, 32, 3},  {16, 32, 50}, {32, 32, 100}, {0, 32, 0},
        {5, 10, 50}, {0, 0, 0},    {3, 0, 0},     {24, 32, 75},
    };
    for (const auto& c : toPercent) {
        SCOPED_TRACE(testing::Message() << c.position << " of " << c.max);
        EXPECT_EQ(c.percent, PercentForPosition(c.position, c.max));
    }
}

// Controls as the trackbar, check box and progress bar keep them.
struct FakeSlider : SliderView {
    bool shown = true;
    int max = kDefaultSliderMax;
    int position = 0;
    void SetShown(bool s) override { shown = s; }
    void SetMax(int m) override {
        max = m;
        position = std::clamp(position, 0, std::max(max, 0));
    }
    int Max() const override { return max; }
    int Position() const override { return position; }
    void SetPosition(int p) override { position = std::clamp(p, 0, std::max(max, 0)); }
};
struct FakeCheck : CheckView {
    bool shown = true;
    bool checked = false;
    void SetShown(bool s) override { shown = s; }
    bool Checked() const override { return checked; }
    void SetChecked(bool c) override { checked = c; }
};
struct FakeLevel : LevelView {
    bool shown = true;
    int max = 100;
    int position = 0;
    void SetShown(bool s) override { shown = s; }
    void SetMax(int m) override { max = m; }
    void SetPosition(int p) override { position = std::clamp(p, 0, max); }
};

class SoundPanelTest : public testing::Test {
protected:
    static constexpr auto kSpeakers = kDstSpeakers;

    // One card: a master, a wave output, and a recording mixer with a microphone and a
    // CD input.
    static FakeDevice Card(FakeControl masterVolume) {
        return FakeDevice{{{kSpeakers,
                            {Mute(), masterVolume},
                            {{kSrcWaveOut, {Mute(), Volume(0, 65535, 65535), Peak(-300)}}}},
                           {kDstWaveIn,
                            {},
                            {{kSrcMicrophone, {Mute(1), Volume(0, 65535, 65535), Peak()}},
                             {kSrcCompactDisc, {Mute(), Volume(0, 65535, 65535)}}}}}};
    }

    void Open(std::vector<FakeDevice> devices) {
        mixer.devices = std::move(devices);
        snd.OpenMixer(0x55);
        panel.UpdateControls();
    }

    FakeControl& Control(SoundLine line, std::uint32_t type) {
        const TSndControl& l = *snd.Line(line);
        const MixerControl& c = type == kControlMute     ? l.MuteControl()
                                : type == kControlVolume ? l.VolumeControl()
                                                         : l.PeakControl();
        const std::uint32_t device = type == kControlMute     ? l.MuteMixerId()
                                     : type == kControlVolume ? l.VolumeMixerId()
                                                              : l.PeakMixerId();
        return mixer.At(device, c.dwControlID);
    }
    FakeControl& GeneralVolume() { return Control(SoundLine::General, kControlVolume); }

    // Delivers the mixer's notifications: each write makes the mixer report a
    // change, which the window answers with a full update. Answers the number of
    // updates until the window stopped writing.
    int Settle(int limit = 10) {
        int passes = 0;
        std::size_t seen = mixer.writes.size();
        do {
            seen = mixer.writes.size();
            panel.UpdateControls();
            ++passes;
        } while (mixer.writes.size() != seen && passes < limit);
        return passes;
    }

    FakeMixer mixer;
    SndControls snd{mixer};
    std::array<FakeSlider, 4> sliders;
    std::array<FakeCheck, 4> checks;
    std::array<FakeLevel, 4> levels;
    SoundPanel panel{snd,
                     {SoundRowViews{&sliders[0], &checks[0], &levels[0]},
                      SoundRowViews{&sliders[1], &checks[1], &levels[1]},
                      SoundRowViews{&sliders[2], &checks[2], &levels[2]},
                      SoundRowViews{&sliders[3], &checks[3], &levels[3]}}};
};

TEST_F(SoundPanelTest, RowsShowWhatTheirLinesHave) {
    FakeDevice dev = Card(Volume(0, 65535, 32, 65504));
    // The CD input has a mute switch only.
    dev.destinations[1].sources[1].controls = {Mute()};
    Open({dev});
    const struct {
        bool slider, check, level;
        int max, position;
        bool checked;
        int levelPosition;
    } expected[] = {
        {true, true, false, 32, 32, true, 0},    // General: never a meter
        {true, true, true, 65535, 0, true, 300}, // Wave
        {false, true, false, 10, 0, true, 0},    // CD
        {true, true, true, 65535, 0, false, 0},  // Mic: muted
    };
    for (std::size_t k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(expected[k].slider, sliders[k].shown);
        EXPECT_EQ(expected[k].check, checks[k].shown);
        EXPECT_EQ(expected[k].level, levels[k].shown);
        EXPECT_EQ(expected[k].max, sliders[k].max);
        EXPECT_EQ(expected[k].position, sliders[k].position);
        EXPECT_EQ(expected[k].checked, checks[k].checked);
        if (expected[k].level) {
            EXPECT_EQ(kLevelMax, levels[k].max);
            EXPECT_EQ(expected[k].levelPosition, levels[k].position);
        }
    }
    EXPECT_TRUE(mixer.writes.empty()) << "reading the mixer should not write what it read";
}

TEST_F(SoundPanelTest, WithoutMixerTheBridgeMovesOnlyTheHiddenSlider) {
    Open({});
    for (std::size_t k = 0; k < 4; ++k) {
        EXPECT_FALSE(sliders[k].shown || checks[k].shown || levels[k].shown) << "row " << k;
    }
    const struct {
        std::uint16_t percent;
        int position;
        std::uint16_t reported;
    } cases[] = {{45, 4, 40}, {55, 6, 60}, {75, 8, 80}, {250, 10, 100}, {0, 0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.percent);
        panel.SetGeneralVolume(c.percent);
        EXPECT_EQ(c.position, sliders[0].position);
        EXPECT_EQ(c.reported, panel.GetGeneralVolume());
    }
    panel.GeneralCBClick(SoundLine::General);
    panel.Timer1Timer(true);
    EXPECT_TRUE(mixer.writes.empty());
}

TEST_F(SoundPanelTest, SetGeneralVolumeWritesTheQuantisedValueEvenWhenTheSliderStays) {
    Open({Card(Volume(0, 65535, 32, 0))});
    const std::uint32_t id = snd.GeneralLine()->VolumeControl().dwControlID;
    const struct {
        std::uint16_t percent;
        int position;
        std::uint32_t written;
    } cases[] = {{100, 32, 65504}, {250, 32, 65504}, {75, 24, 49128}, {3, 1, 2047}, {0, 0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.percent);
        mixer.writes.clear();
        panel.SetGeneralVolume(c.percent);
        EXPECT_EQ(c.position, sliders[0].position);
        ASSERT_FALSE(mixer.writes.empty());
        EXPECT_EQ((FakeMixer::Write{0, id, c.written}), mixer.writes.back());
        // The mixer reports the write; reading it back leaves the slider where it is.
        EXPECT_EQ(1, Settle());
        EXPECT_EQ(c.position, sliders[0].position);
    }
    // Someone else changed the volume without the window hearing of it.
    GeneralVolume().value = 123;
    mixer.writes.clear();
    panel.SetGeneralVolume(0);
    EXPECT_EQ((std::vector<FakeMixer::Write>{{0, id, 0}}), mixer.writes);
}

TEST_F(SoundPanelTest, GeneralVolumeOnControlsOfDifferentShapes) {
    const struct {
        const char* name;
        FakeControl volume;
        std::uint16_t set;
        std::uint32_t written;
        std::uint16_t reported;
    } cases[] = {
        {"32 steps", Volume(0, 65535, 32), 50, 32752, 50},
        {"65535 steps write the position", Volume(0, 65535, 65535), 50, 32768, 50},
        {"10 steps above a minimum", Volume(1000, 2000, 10), 45, 1400, 40},
        {"no steps", Volume(0, 65535, 0), 80, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeMixer m;
        m.devices = {Card(c.volume)};
        SndControls s(m);
        s.OpenMixer(0);
        FakeSlider slider;
        FakeCheck check;
        FakeLevel level;
        SoundPanel p(
            s, {SoundRowViews{&slider, &check, &level}, SoundRowViews{&slider, &check, &level},
                SoundRowViews{&slider, &check, &level}, SoundRowViews{&slider, &check, &level}});
        p.UpdateLine(SoundLine::General);
        m.writes.clear();
        p.SetGeneralVolume(c.set);
        const std::uint32_t stored = m.At(0, s.GeneralLine()->VolumeControl().dwControlID).value;
        EXPECT_EQ(c.written, stored) << "expected " << c.written << ", got " << stored;
        EXPECT_EQ(c.reported, p.GetGeneralVolume());
        if (c.volume.steps == 0) {
            EXPECT_TRUE(m.writes.empty());
        }
    }
}

TEST_F(SoundPanelTest, AnotherProgramsChangeMovesTheSliderAndWritesItsQuantisedValue) {
    Open({Card(Volume(0, 65535, 32, 0))});
    const std::uint32_t id = snd.GeneralLine()->VolumeControl().dwControlID;
    GeneralVolume().value = 40000;
    EXPECT_EQ(2, Settle());
    EXPECT_EQ(20, sliders[0].position);
    EXPECT_EQ((std::vector<FakeMixer::Write>{{0, id, 40940}}), mixer.writes);
    EXPECT_EQ(62u, panel.GetGeneralVolume()); // 62.5 goes to the even 62
}

// Whatever value another program leaves in the mixer, the window's answer
// reaches rest at once and never moves the volume to another slider position.
TEST_F(SoundPanelTest, ExchangeWithTheMixerSettlesOnEveryRange) {
    const struct {
        const char* name;
        FakeControl volume;
        std::uint32_t stride;
    } cases[] = {
        {"uneven: 0..100 in 30 steps", Volume(0, 100, 30), 1},
        {"uneven: 7..1007 in 300 steps", Volume(7, 1007, 300), 3},
        {"0..65535 in 32 steps", Volume(0, 65535, 32), 97},
        {"0..65535 in 65535 steps", Volume(0, 65535, 65535), 101},
        {"0..65535 in 64000 steps", Volume(0, 65535, 64000), 89},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        mixer = FakeMixer{};
        Open({Card(c.volume)});
        const MixerControl& control = snd.GeneralLine()->VolumeControl();
        for (std::uint32_t v = c.volume.min; v <= c.volume.max; v += c.stride) {
            GeneralVolume().value = v;
            const int passes = Settle();
            ASSERT_LE(passes, 2) << "value " << v;
            const std::uint32_t now = GeneralVolume().value;
            ASSERT_EQ(SliderPositionFor(v, control), sliders[0].position) << "value " << v;
            ASSERT_EQ(sliders[0].position, SliderPositionFor(now, control))
                << "value " << v << " was moved to " << now;
        }
    }
}

TEST_F(SoundPanelTest, CheckBoxesWriteTheirLinesMute) {
    Open({Card(Volume())});
    for (SoundLine row : {SoundLine::General, SoundLine::Wave, SoundLine::CD, SoundLine::Mic}) {
        const auto k = static_cast<std::size_t>(row);
        SCOPED_TRACE(k);
        const std::uint32_t id = snd.Line(row)->MuteControl().dwControlID;
        mixer.writes.clear();
        checks[k].checked = false;
        panel.GeneralCBClick(row);
        checks[k].checked = true;
        panel.GeneralCBClick(row);
        EXPECT_EQ((std::vector<FakeMixer::Write>{{0, id, 1}, {0, id, 0}}), mixer.writes);
    }
}

TEST_F(SoundPanelTest, MuteFromOutsideIsShownAndNotWrittenBack) {
    Open({Card(Volume())});
    FakeControl& mute = Control(SoundLine::General, kControlMute);
    const struct {
        std::uint32_t value;
        bool readFails;
        bool checked;
    } steps[] = {{1, false, false}, {0, false, true}, {1, true, true}, {5, false, false}};
    for (const auto& s : steps) {
        SCOPED_TRACE(s.value);
        mute.value = s.value;
        mute.readFails = s.readFails;
        panel.UpdateControls();
        EXPECT_EQ(s.checked, checks[0].checked);
    }
    EXPECT_TRUE(mixer.writes.empty());
}

TEST_F(SoundPanelTest, FailedVolumeReadKeepsTheSliderAndWritesNothing) {
    Open({Card(Volume(0, 65535, 32, 65504))});
    ASSERT_EQ(32, sliders[0].position);
    GeneralVolume().readFails = true;
    panel.UpdateControls();
    EXPECT_EQ(32, sliders[0].position);
    EXPECT_TRUE(mixer.writes.empty());
}

TEST_F(SoundPanelTest, LevelBarsArePolledOnlyWhileTheWindowIsVisible) {
    Open({Card(Volume())});
    Control(SoundLine::Wave, kControlPeakMeter).value = static_cast<std::uint32_t>(-40000);
    Control(SoundLine::Mic, kControlPeakMeter).value = 1234;
    panel.Timer1Timer(false);
    EXPECT_EQ(300, levels[1].position);
    EXPECT_EQ(0, levels[3].position);
    panel.Timer1Timer(true);
    EXPECT_EQ(kLevelMax, levels[1].position);
    EXPECT_EQ(1234, levels[3].position);
    EXPECT_FALSE(levels[0].shown);
    EXPECT_FALSE(levels[2].shown);
}

TEST_F(SoundPanelTest, ClosedMixerLeavesRowsHiddenAndHandlersIdle) {
    Open({Card(Volume())});
    snd.CloseMixer();
    mixer.writes.clear();
    panel.UpdateControls();
    panel.SetGeneralVolume(50);
    panel.GeneralCBClick(SoundLine::Mic);
    panel.Timer1Timer(true);
    EXPECT_FALSE(sliders[0].shown || checks[0].shown || levels[1].shown);
    EXPECT_TRUE(mixer.writes.empty());
}

} // namespace
} // namespace fw::test
