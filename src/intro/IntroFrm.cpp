#include "intro/IntroFrm.h"

#include "win/application.h"
#include "win/error.h"
#include "win/strings.h"

#include <shellapi.h>

namespace fw {

namespace {

std::vector<std::wstring> ProcessParams() {
    std::vector<std::wstring> params;
    int count = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!argv) {
        return params;
    }
    for (int i = 1; i < count; ++i) {
        params.emplace_back(argv[i]);
    }
    ::LocalFree(argv);
    return params;
}

} // namespace

std::unique_ptr<TIntroForm> TIntroForm::Create(IntroFormArgs args) {
    if (!args.params) {
        args.params = ProcessParams();
    }
    const intro::IntroHost host = args.host;
    const std::vector<std::wstring> params = *args.params;
    std::unique_ptr<TIntroForm> form;
    try {
        form = win::MakeForm<TIntroForm>(std::move(args));
    } catch (const win::Error&) {
        // Without its window no clip plays and no key can end the intro: the
        // child would face a black window for good. The movie comes now.
        intro::StartMovieWithoutIntro(host, params);
        throw;
    }
    form->Show();
    // The show handler runs once the window stands on the screen, so that an
    // intro that ends at once (a clip that fails) can hide it again.
    form->FormShow();
    return form;
}

TIntroForm::TIntroForm(IntroFormArgs args)
    : params_(std::move(*args.params)),
      sequence_(*this, std::move(args.host),
                args.programFolder.empty() ? win::ExeFolder() : std::move(args.programFolder)) {
    win::FormArgs fa;
    fa.className = L"TIntroForm";
    fa.caption = L"IntroForm";
    fa.style = WS_POPUP | WS_CLIPCHILDREN;
    fa.exStyle = WS_EX_TOPMOST;
    if (intro::IsRemovalRun(params_)) {
        // The stored place, kept in a removal run.
        fa.left = 330;
        fa.top = 113;
        fa.width = 312;
        fa.height = 206;
        fa.clientSize = true;
    } else {
        // Where the show handler puts it, so that it never shows at the stored place first.
        const intro::Placement p =
            intro::IntroPlacement(::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN));
        fa.left = p.left;
        fa.top = p.top;
        fa.width = p.width;
        fa.height = p.height;
    }
    fa.color = RGB(0, 0, 0);
    CreateForm(fa);
    MediaPlayer.OnNotify = [this] { MediaPlayerNotify(); };
}

TIntroForm::~TIntroForm() {
    MediaPlayer.OnNotify = nullptr;
}

void TIntroForm::FormShow() {
    sequence_.FormShow(params_, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN));
}

void TIntroForm::MediaPlayerNotify() {
    sequence_.MediaPlayerNotify();
}

void TIntroForm::FormKeyUp(WORD& key, UINT shift) {
    std::uint16_t k = key;
    sequence_.FormKeyUp(k, shift);
    key = k;
}

void TIntroForm::CloseMediaPlayer() {
    sequence_.CloseMediaPlayer();
}

void TIntroForm::PlaceWindow(const intro::Placement& p) {
    SetBounds(p.left, p.top, p.width, p.height);
}
void TIntroForm::HideWindow() {
    Hide();
}
void TIntroForm::SetFileName(const std::wstring& path) {
    MediaPlayer.SetFileName(path);
}
std::wstring TIntroForm::FileName() const {
    return MediaPlayer.FileName();
}
void TIntroForm::SetDisplayToWindow() {
    MediaPlayer.SetDisplay(Handle());
}
void TIntroForm::Open() {
    MediaPlayer.Open();
}
void TIntroForm::Play() {
    MediaPlayer.Play();
}
void TIntroForm::Close() {
    MediaPlayer.Close();
}
void TIntroForm::ReportError(const std::exception& e) {
    win::Application::Get().ShowException(e);
}

} // namespace fw
