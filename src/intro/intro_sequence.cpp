#include "intro/intro_sequence.h"

#include "base/text.h"

#include <stdexcept>

namespace fw::intro {

Placement IntroPlacement(int screenWidth, int screenHeight) {
    return {(screenWidth - kIntroWidth) / 2, (screenHeight - kIntroHeight) / 2, kIntroWidth,
            kIntroHeight};
}

bool IsRemovalRun(const std::vector<std::wstring>& params) {
    return !params.empty() && AsciiLower(params.front()) == L"-u";
}

std::wstring ClipPath(std::wstring_view programFolder, std::wstring_view clip) {
    std::wstring path(programFolder);
    path += L"SWF\\";
    path += clip;
    return path;
}

void StartMovieWithoutIntro(const IntroHost& host, const std::vector<std::wstring>& params) {
    if (IsRemovalRun(params)) {
        return;
    }
    host.setEscIntro(false);
    host.showMainWindow();
    host.startMovie();
    host.showFlash();
}

IntroSequence::IntroSequence(IntroPort& port, IntroHost host, std::wstring programFolder)
    : port_(port), host_(std::move(host)), folder_(std::move(programFolder)) {
    if (!host_.hideMainWindow || !host_.showMainWindow || !host_.escIntro || !host_.setEscIntro ||
        !host_.startMovie || !host_.showFlash || !host_.keyUp) {
        throw std::invalid_argument("the intro needs every callback of its host");
    }
}

void IntroSequence::FormShow(const std::vector<std::wstring>& params, int screenWidth,
                             int screenHeight) {
    if (state_ != IntroState::NotStarted || IsRemovalRun(params)) {
        return;
    }
    host_.hideMainWindow();
    host_.setEscIntro(false);
    port_.PlaceWindow(IntroPlacement(screenWidth, screenHeight));
    state_ = IntroState::FirstClip;
    PlayClip(kFirstClip);
}

void IntroSequence::MediaPlayerNotify() {
    // A skip sets the flag before it closes the player, so the notification of
    // the cut-off play lands here and changes nothing.
    if (host_.escIntro()) {
        return;
    }
    // Nothing plays before the start or after the end; a late notification
    // must not start a clip again.
    if (state_ != IntroState::FirstClip && state_ != IntroState::SecondClip) {
        return;
    }
    if (port_.FileName() == ClipPath(folder_, kFirstClip)) {
        port_.Close();
        state_ = IntroState::SecondClip;
        PlayClip(kSecondClip);
    } else {
        EndIntro();
    }
}

void IntroSequence::FormKeyUp(std::uint16_t& key, unsigned shift) {
    host_.keyUp(key, shift);
}

void IntroSequence::CloseMediaPlayer() {
    port_.Close();
    if (state_ == IntroState::FirstClip || state_ == IntroState::SecondClip) {
        state_ = IntroState::Ended;
    }
}

void IntroSequence::PlayClip(const wchar_t* clip) {
    port_.SetFileName(ClipPath(folder_, clip));
    port_.SetDisplayToWindow();
    try {
        port_.Open();
        port_.Play();
    } catch (const std::exception& e) {
        const IntroState playing = state_;
        port_.ReportError(e);
        // No notification will come for this clip: rather than leave a child
        // before a black window that waits for a key nobody told them about,
        // the intro ends as after the second clip. A skip pressed while the
        // error box was up has ended it already.
        if (state_ == playing && !host_.escIntro()) {
            EndIntro();
        }
    }
}

void IntroSequence::EndIntro() {
    state_ = IntroState::Ended;
    port_.Close();
    port_.HideWindow();
    host_.showMainWindow();
    host_.startMovie();
    host_.showFlash();
}

} // namespace fw::intro
