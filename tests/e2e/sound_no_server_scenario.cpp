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
        ASSERT_NO_FATAL_FAILURE(ExpectVolumeRoad(c, max));
    }
    EXPECT_FALSE(::IsWindowVisible(sound_)) << "expected the sound window still hidden";
    std::printf("General slider range 0..%d\n", max);
    EXPECT_TRUE(shell_->Running());
}
