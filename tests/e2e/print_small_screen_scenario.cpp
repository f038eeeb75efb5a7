// wine-run: --screen 640x480 --cd @CD@
// The movie's "print" on a 640 x 480 screen: the 800 x 600 picture holds the
// client area shrunk into its top-left; beyond 640 x 480 the red ground and
// the black diagonal show.
#include "print_page.h"

#include <cstdio>

using namespace fwtest;

namespace {

constexpr int kPictureW = 800, kPictureH = 600;

} // namespace

TEST_F(PrintingShell, RedGroundAndDiagonalShowBeyondTheSmallScreen) {
    if (!HostAvailable()) {
        GTEST_SKIP() << "the page is read on the host";
    }
    ASSERT_EQ(::GetSystemMetrics(SM_CXSCREEN), 640) << "expected the run's own 640x480 screen";
    ASSERT_EQ(::GetSystemMetrics(SM_CYSCREEN), 480);
    StartToMovie();
    const std::string screen = HostScratch() + "/screen.png";
    ASSERT_TRUE(HostScreenshot(screen));
    const auto before = PdfFiles();
    ASSERT_TRUE(Print()) << "the player refused the fire request";

    const auto pdf = WaitNewPdf(before, "Fenwobble", 90s);
    ASSERT_TRUE(pdf.has_value()) << "expected a new PDF titled Fenwobble in " << kPdfFolder
                                 << "; message: " << [&] {
                                        auto box = WaitMessageBox(shell_->Pid(), 0ms);
                                        const std::wstring t = box ? box->text : L"none";
                                        return std::string(t.begin(), t.end());
                                    }();
    EXPECT_EQ(PdfPages(*pdf), 1);
    const auto page = RenderPage(*pdf, "page");
    Host("rm -f " + *pdf);
    ASSERT_TRUE(page.has_value()) << "the page could not be rendered";
    EXPECT_GT(page->width, page->height) << "expected a landscape page";
    const int bw = page->box.right - page->box.left, bh = page->box.bottom - page->box.top;
    EXPECT_NEAR(bw * 3, bh * 4, bw * 3 / 50) << "expected a 4:3 picture, got " << bw << "x" << bh;

    // Beyond 640 x 480 of the picture: the red ground, away from the diagonal.
    const std::vector<POINT> groundAt = {{720, 100}, {780, 300}, {700, 450}, {100, 540},
                                         {300, 580}, {560, 520}, {790, 520}, {660, 590}};
    std::vector<POINT> onPage;
    for (POINT p : groundAt) {
        onPage.push_back(page->At(p.x, p.y, kPictureW, kPictureH));
    }
    const auto ground = HostImagePixels(page->png, onPage);
    ASSERT_EQ(ground.size(), groundAt.size());
    for (std::size_t i = 0; i < ground.size(); ++i) {
        EXPECT_TRUE(ColoursAlike(ground[i], RGB(255, 0, 0)))
            << "expected red at (" << groundAt[i].x << "," << groundAt[i].y << "), got "
            << DescribeColour(ground[i]);
    }
    // The diagonal from the top-left corner to the bottom-right one, where the
    // client area does not cover it.
    for (int x : {660, 700, 740, 780}) {
        const int y = x * kPictureH / kPictureW;
        EXPECT_LT(DarkestAround(page->png, page->At(x, y, kPictureW, kPictureH)), 15)
            << "expected the black diagonal at (" << x << "," << y << ")";
    }
    // Inside: the client area shrunk (picture pixel p shows client pixel p * 800 / 640).
    const auto seen = CompareWithScreen(*page, screen, kPictureW, kPictureH, 640, 480);
    EXPECT_TRUE(seen.differing.empty())
        << "expected the page to show the screen: " << JoinLines(seen.differing);
    EXPECT_GE(seen.compared, 20u) << "expected most of the picture plain enough to compare";
    // (The player, 800 x 600 centred, covers the whole small screen: one colour there.)
    std::printf("page %dx%d, picture %dx%d at (%ld,%ld), %zu points, %zu colours\n", page->width,
                page->height, bw, bh, page->box.left, page->box.top, seen.compared,
                seen.screenColours);
    EXPECT_TRUE(shell_->Running());
}
