// wine-shares: sound
// The movie's volume with the sound server's mixer: "setvolume" moves the
// General slider of the hidden sound window and the movie hears back where it
// stands. (Wine keeps each process's mixer volume to itself, so the slider is
// read rather than the server.)
#include "sound_window.h"

#include <mmsystem.h>

#include <cstdio>

using namespace fwtest;

TEST_F(SoundShell, SetVolumeMovesTheGeneralSliderAndTheMovieIsToldItsPlace) {
    ASSERT_GT(::mixerGetNumDevs(), 0u) << "expected a mixer device from the sound server";
    const int max = Max();
    ASSERT_GT(max, 0) << "expected the General slider on the mixer's steps";
    EXPECT_FALSE(::IsWindowVisible(sound_)) << "expected the sound window hidden";
    HWND general = CheckBoxNamed(sound_, L"General");
    ASSERT_NE(general, nullptr) << "expected the General check box";
    EXPECT_EQ(Ask(general, BM_GETCHECK), BST_CHECKED)
        << "expected the General line's sound on, as the server has it";

    for (const VolumeCase& c : kVolumeCases) {
        int told = -1;
        ASSERT_NO_FATAL_FAILURE(ExpectVolumeRoad(c, max, &told));
        // The movie's own scale: the number it asked for.
        EXPECT_EQ(told, std::stoi(c.argument)) << "setvolume " << std::stoi(c.argument);
    }
    EXPECT_EQ(Ask(general, BM_GETCHECK), BST_CHECKED) << "expected the volume to leave mute alone";
    std::printf("General slider range 0..%d\n", max);
    EXPECT_TRUE(shell_->Running());
}

TEST_F(SoundShell, BadVolumeArgumentsLeaveTheShellRunning) {
    const int max = Max();
    ASSERT_GT(max, 0);
    // Not a number counts as 10 of 20; beyond 20 is the top.
    const struct {
        const wchar_t* argument;
        int position;
    } cases[] = {{L"abc", static_cast<int>(HalfEven(0.5 * max))},
                 {L"400", max},
                 {L"", static_cast<int>(HalfEven(0.5 * max))},
                 {L"21", max}};
    for (const auto& c : cases) {
        const std::string arg(c.argument, c.argument + wcslen(c.argument));
        ASSERT_TRUE(SetVolume(c.argument)) << "setvolume '" << arg << "': the player refused";
        EXPECT_TRUE(WaitFor([&] { return Position() == c.position; }, 5s))
            << "setvolume '" << arg << "': expected the slider at " << c.position << ", got "
            << Position();
        EXPECT_TRUE(shell_->Running()) << "setvolume '" << arg << "'";
    }
}
