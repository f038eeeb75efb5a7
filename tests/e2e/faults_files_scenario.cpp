// Files of the program that are missing or broken: the control's file on a
// machine without a control, either logo clip, the parents' document, and a
// document that is not rich text. Each shows its message (or nothing) and
// loses no saved value.
#include "driver.h"
#include "mci_text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace fwtest;
namespace fs = std::filesystem;

namespace {

class FaultyFiles : public ::testing::Test {
protected:
    // A registered copy of the CD with saved values that must survive.
    void Prepare(const std::wstring& name) {
        RegDeleteTree(HKEY_LOCAL_MACHINE, kProgramKey);
        folder_ = InstalledCopy(name);
        RegWriteString(HKEY_LOCAL_MACHINE, kProgramKey, L"level", L"3");
        RegWriteString(HKEY_LOCAL_MACHINE, kProgramKey, L"\u0438\u043c\u044f",
                       L"\u041c\u0430\u0448\u0430");
    }
    void ExpectValuesKept() {
        EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, kProgramKey, L"level"), L"3");
        EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, kProgramKey, L"\u0438\u043c\u044f"),
                  L"\u041c\u0430\u0448\u0430");
        EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, kProgramKey, L""), L"");
    }
    void Start() {
        trace_ = TempFile(L"trace");
        shell_ = std::make_unique<Program>(
            StartArgs{.exe = folder_ + L"Fenwobble.exe", .trace = trace_});
    }
    HWND Main() { return WaitWindow(shell_->Pid(), L"TMainForm", L"MainForm", 60s, false); }

    std::wstring folder_;
    std::wstring trace_;
    std::unique_ptr<Program> shell_;
};

} // namespace

TEST_F(FaultyFiles, AMissingControlFileOnAMachineWithoutAControlIsReportedAndTheProcessEnds) {
    ASSERT_FALSE(RegReadString(HKEY_CLASSES_ROOT, kInprocServerKey, L"").has_value())
        << "expected a prefix without any player control";
    Prepare(L"fwnoocx");
    fs::remove(folder_ + L"SWF\\FLASH.OCX");
    const std::wstring flashFolder = SystemFolder() + L"Macromed\\Flash\\";
    fs::remove_all(flashFolder);
    Start();
    EXPECT_EQ(DismissMessageBox(shell_->Pid(), 60s),
              L"Unable to find and copy Macromedia Shockwave Flash.OCX");
    // A failed copy ends the provisioning: no second try at the main window.
    EXPECT_TRUE(shell_->WaitExit(20s)) << "expected the process to end without a main window";
    EXPECT_FALSE(FileExists(flashFolder + L"FLASH.OCX"));
    EXPECT_FALSE(RegReadString(HKEY_CLASSES_ROOT, kInprocServerKey, L"").has_value());
    ExpectValuesKept();
}

TEST_F(FaultyFiles, AMissingClipShowsMciTextAndTheMovieFollows) {
    RegisterControl(CdFolder() + L"SWF\\FLASH.OCX");
    const std::wstring notFound = MciErrorText(MCIERR_FILE_NOT_FOUND);
    for (const std::wstring clip : {L"logo_pelk.avi", L"logo_brumvale.avi"}) {
        SCOPED_TRACE(std::string(clip.begin(), clip.end()));
        Prepare(L"fwclip" + std::to_wstring(clip.size()));
        fs::remove(folder_ + L"SWF\\" + clip);
        Start();
        HWND main = Main();
        ASSERT_NE(main, nullptr);
        // The first clip plays to its end before the second one is opened.
        auto box = WaitMessageBox(shell_->Pid(), 60s);
        ASSERT_TRUE(box.has_value()) << "expected MCI's error";
        EXPECT_EQ(box->text, notFound.back() == L'.' ? notFound : notFound + L".")
            << "got " << box->text.size() << " chars";
        EXPECT_EQ(box->caption, L"Fenwobble");
        PressButton(box->hwnd, IDOK);
        // No clip will report its end: the intro ends by itself and the movie
        // starts, without a skip.
        ASSERT_TRUE(WaitFor(
            [&] {
                return TraceMatching(trace_, {L"put", L"Movie"}).size() >= 2;
            },
            20s))
            << "expected the movie to follow the error";
        ASSERT_TRUE(WaitFor(
            [&] {
                return TraceMatching(trace_, {L"put", L"FlashVars"}).size() >= 2;
            },
            10s));
        const auto vars = TraceMatching(trace_, {L"put", L"FlashVars"}).back().at(2);
        EXPECT_EQ(vars.substr(vars.size() - 11), L"&EscIntro=0");
        HWND intro = FindWindowOf(shell_->Pid(), L"TIntroForm", L"", false);
        EXPECT_TRUE(intro && !::IsWindowVisible(intro)) << "expected the intro window gone";
        EXPECT_TRUE(::IsWindowVisible(main)) << "expected the main window shown";
        EXPECT_NE(vars.find(L"level=3&"), std::wstring::npos);
        EXPECT_FALSE(WaitMessageBox(shell_->Pid(), 1s).has_value()) << "expected no more messages";
        ASSERT_TRUE(Fire(main, L"quit", L""));
        EXPECT_TRUE(shell_->WaitExit(20s));
        ExpectValuesKept();
    }
}

TEST_F(FaultyFiles, AMissingOrBrokenDocumentIsReportedOrShownAndTheMovieGoesOn) {
    RegisterControl(CdFolder() + L"SWF\\FLASH.OCX");
    Prepare(L"fwdocs");
    const std::wstring swf = folder_ + L"SWF\\";
    std::ofstream(fs::path(swf + L"plain.rtf")) << "Just words, no rich text.\r\nSecond line";
    {
        std::ofstream bin(fs::path(swf + L"binary.rtf"), std::ios::binary);
        for (int i = 0; i < 4096; ++i) {
            bin.put(static_cast<char>((i * 7919) & 0xFF));
        }
    }
    std::ofstream(fs::path(swf + L"empty.rtf")).close();
    std::ofstream(fs::path(swf + L"cut.rtf"))
        << "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\pard\\plain\\f0 Cut";
    std::ofstream(fs::path(swf + L"help.rtf"))
        << "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\pard\\plain\\f0 For parents\\par}";
    const auto files = TreeListing(folder_);

    Start();
    HWND main = Main();
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(WaitTrace(trace_, {L"put", L"Movie"}, 30s));
    PostKey(main, VK_ESCAPE);
    ASSERT_TRUE(WaitFor(
        [&] {
            return TraceMatching(trace_, {L"put", L"Movie"}).size() >= 2;
        },
        20s));

    // The parents' document is missing: the file error, and no viewer.
    ASSERT_TRUE(Fire(main, L"execute", L"parents.rtf"));
    auto box = WaitMessageBox(shell_->Pid(), 10s);
    ASSERT_TRUE(box.has_value()) << "expected the file error";
    EXPECT_EQ(box->caption, L"Fenwobble");
    EXPECT_EQ(box->text.rfind(L"Cannot open file \"" + swf + L"parents.rtf\". ", 0), 0u)
        << "got " << box->text.size() << " chars";
    EXPECT_FALSE(FindWindowOf(shell_->Pid(), L"TRtfForm", L"")) << "expected no viewer";
    PressButton(box->hwnd, IDOK);

    // Texts that are not rich text: the viewer shows what it could read, or
    // the file error names the file and the viewer stays hidden.
    struct Case {
        std::wstring name;
        std::wstring shown; // text the viewer must hold if it shows the file
    };
    for (const Case& c : std::vector<Case>{{L"plain.rtf", L"Just words, no rich text."},
                                           {L"binary.rtf", L""},
                                           {L"empty.rtf", L""},
                                           {L"cut.rtf", L"Cut"},
                                           {L"help.rtf", L"For parents"}}) {
        ASSERT_TRUE(Fire(main, L"execute", c.name));
        std::wstring outcome;
        WaitFor(
            [&] {
                if (HWND viewer = FindWindowOf(shell_->Pid(), L"TRtfForm", L"Родителям")) {
                    HWND edit = FindChild(viewer, L"RichEdit20W");
                    outcome = L"viewer: " + (edit ? ControlText(edit) : L"?");
                    ::PostMessageW(viewer, WM_CLOSE, 0, 0);
                    WaitFor([&] { return !::IsWindowVisible(viewer); }, 5s);
                    return true;
                }
                if (auto b = WaitMessageBox(shell_->Pid(), 0ms)) {
                    outcome = L"box: " + b->text;
                    EXPECT_FALSE(FindWindowOf(shell_->Pid(), L"TRtfForm", L""))
                        << "expected no viewer with the error";
                    PressButton(b->hwnd, IDOK);
                    return true;
                }
                return false;
            },
            10s);
        std::printf("%ls -> %s\n", c.name.c_str(),
                    std::string(outcome.begin(),
                                outcome.begin() + std::min<std::size_t>(outcome.size(), 60))
                        .c_str());
        const bool shown =
            outcome.rfind(L"viewer: ", 0) == 0 && outcome.find(c.shown) != std::wstring::npos;
        const bool refused = outcome == L"box: Cannot read file \"" + swf + c.name + L"\".";
        EXPECT_TRUE(c.name == L"help.rtf" ? shown : shown || refused)
            << "expected the document shown or its file error; got " << outcome.size() << " chars";
        EXPECT_TRUE(shell_->Running());
    }
    ASSERT_TRUE(Fire(main, L"saveafter", L"documents"));
    EXPECT_TRUE(WaitFor(
        [] { return RegReadString(HKEY_LOCAL_MACHINE, kProgramKey, L"after") == L"documents"; },
        10s))
        << "expected the movie to go on";
    EXPECT_EQ(TreeListing(folder_), files) << "expected no file changed";
    ExpectValuesKept();
}
