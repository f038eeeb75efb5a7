#pragma once
// The intro window: a small black borderless window on top of everything that
// plays the two logo clips before the movie. It reaches the main window only
// through the callbacks of its host.

#include "intro/MediaPlayer.h"
#include "intro/intro_sequence.h"
#include "win/form.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace fw {

struct IntroFormArgs {
    intro::IntroHost host;
    // The command-line parameters without the program's name; the process's
    // own when not given.
    std::optional<std::vector<std::wstring>> params;
    // The folder of the executable with its trailing backslash; the running
    // executable's when empty.
    std::wstring programFolder;
};

class TIntroForm : public win::Form, private intro::IntroPort {
public:
    // Creates the window visible, which runs FormShow at once. When the window
    // cannot be created the movie is started without the intro before the
    // error is raised.
    static std::unique_ptr<TIntroForm> Create(IntroFormArgs args);
    ~TIntroForm() override;

    // For the main window's skip: stops the clip and closes its device.
    void CloseMediaPlayer();

    void FormShow();
    void MediaPlayerNotify();
    void FormKeyUp(WORD& key, UINT shift);

    TMediaPlayer& Player() { return MediaPlayer; }
    intro::IntroState State() const { return sequence_.State(); }

protected:
    explicit TIntroForm(IntroFormArgs args);
    void OnKeyUp(WORD& key, UINT shift) override { FormKeyUp(key, shift); }

private:
    // IntroPort
    void PlaceWindow(const intro::Placement& p) override;
    void HideWindow() override;
    void SetFileName(const std::wstring& path) override;
    std::wstring FileName() const override;
    void SetDisplayToWindow() override;
    void Open() override;
    void Play() override;
    void Close() override;
    void ReportError(const std::exception& e) override;

    TMediaPlayer MediaPlayer;
    std::vector<std::wstring> params_;
    intro::IntroSequence sequence_;
};

} // namespace fw
