// wine-run: --no-sound --cd @CD@
// Without a sound server there is no mixer: "setvolume" moves only the hidden
// General slider, and the movie is told the slider's place on its 0..20.
#include "sound_window.h"

#include <mmsystem.h>

#include <cstdio>

using namespace fwtest;

TEST_F(SoundShell, WithoutAMixerOnlyTheSliderMovesAndTheMovieIsToldItsPlace) {
    ASSERT_EQ(::mixerGetNumDevs(), 0u) << "expected no mixer device without a sound server";
    const int max = Max();
    ASSERT_GT(max, 0) << "expected the slider's own range";
    EXPECT_FALSE(::IsWindowVisible(sound_)) << "expected the sound window hidden";

    for (const VolumeCase& c : kVolumeCases) {
        const std::string arg(c.argument, c.argument + wcslen(c.argument));
        ASSERT_TRUE(SetVolume(c.argument)) << "setvolume " << arg << ": the player refused";
        const int expected = static_cast<int>(HalfEven(c.share * max));
        EXPECT_TRUE(WaitFor([&] { return Position() == expected; }, 5s))
            << "setvolume " << arg << ": expected the slider at " << expected << " of " << max
            << ", got " << Position();
        const int told = MovieVolumeFor(expected, max);
        EXPECT_TRUE(WaitFor([&] { return MovieVolume() == told; }, 10s))
            << "setvolume " << arg << ": expected the movie told " << told << ", got "
            << MovieVolume();
    }
    EXPECT_FALSE(::IsWindowVisible(sound_)) << "expected the sound window still hidden";
    std::printf("General slider range 0..%d\n", max);
    EXPECT_TRUE(shell_->Running());
}
