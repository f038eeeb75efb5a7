#include "intro/IntroFrm.h"

#include "win/application.h"
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
    std::unique_ptr<TIntroForm> form(new TIntroForm(std::move(args)));
    form->Show();
    // The show handler runs once the window stands on the screen, so that an
    // intro that ends at once (a clip that fails) can hide it again.
    form->FormShow();
    return form;
}

TIntroForm::TIntroForm(IntroFormArgs args)
    : params_(args.params ? std::move(*args.params) : ProcessParams()),
      sequence_(*this, std::move(args.host),
                args.programFolder.empty() ? win::ExeFolder() : std::move(args.programFolder)) {
    win::FormArgs fa;
    fa.className = L"TIntroForm";
    fa.caption = L"IntroForm";
    fa.style = WS_POPUP | WS_CLIPCHILDREN;
    fa.exStyle = WS_EX_TOPMOST;
    // The stored place, kept in a removal run.
    fa.left = 330;
    fa.top = 113;
    fa.width = 312;
    fa.height = 206;
    fa.clientSize = true;
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
