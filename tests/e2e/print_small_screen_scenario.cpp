// wine-shares: printer
// wine-run: --screen 640x480 --cd @CD@
// The movie's "print" on a 640 x 480 screen: the 800 x 600 picture holds
// what the screen shows of the centred control, in its place; around it the
// red ground and the black diagonal show.
#include "print_page.h"

#include <cstdio>

using namespace fwtest;

namespace {

constexpr int kPictureW = 800, kPictureH = 600;

} // namespace

TEST_F(PrintingShell, RedGroundAndDiagonalShowAroundTheSmallScreensPart) {
    if (!HostAvailable()) {
        GTEST_SKIP() << "the page is read on the host";
    }
    ASSERT_EQ(::GetSystemMetrics(SM_CXSCREEN), 640) << "expected the run's own 640x480 screen";
    ASSERT_EQ(::GetSystemMetrics(SM_CYSCREEN), 480);
    StartToMovie();
    const std::string screen = HostScratch() + "/screen.png";
    ASSERT_TRUE(HostScreenshot(screen));
    const auto page = PrintPage();
    ASSERT_TRUE(page.has_value());
    const int bw = page->box.right - page->box.left, bh = page->box.bottom - page->box.top;

    // Around the shown part (80..720 x 60..540 of the picture): the red
    // ground, away from the diagonal.
    const std::vector<POINT> groundAt = {{40, 300}, {760, 300}, {400, 20},  {400, 580},
                                         {20, 580}, {780, 20},  {700, 570}, {100, 40}};
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
    // screen's part does not cover it.
    for (int x : {20, 40, 60, 740, 760, 780}) {
        const int y = x * kPictureH / kPictureW;
        EXPECT_LT(DarkestAround(page->png, page->At(x, y, kPictureW, kPictureH)), 15)
            << "expected the black diagonal at (" << x << "," << y << ")";
    }
    // Inside: the screen pixel for pixel (picture pixel p shows client pixel p - (80, 60)).
    const auto seen = CompareWithScreen(*page, screen, kPictureW, kPictureH, {-80, -60}, 640, 480);
    EXPECT_TRUE(seen.differing.empty())
        << "expected the page to show the screen: " << JoinLines(seen.differing);
    EXPECT_GE(seen.compared, 20u) << "expected most of the picture plain enough to compare";
    // (The player, 800 x 600 centred, covers the whole small screen: one colour there.)
    std::printf("page %dx%d, picture %dx%d at (%ld,%ld), %zu points, %zu colours\n", page->width,
                page->height, bw, bh, page->box.left, page->box.top, seen.compared,
                seen.screenColours);
    EXPECT_TRUE(shell_->Running());
}
