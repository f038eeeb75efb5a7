#pragma once
// Shared by the printing scenarios: the shell started to its movie, the movie's
// "print", the page that the PDF printer writes on the host, and reading the
// page's picture back against the screen.
#include "driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace fwtest {

// The PDF printer writes its pages to the home folder of the job's owner.
inline const std::string kPdfFolder = "\"$HOME/PDF\"";

inline std::vector<std::string> PdfFiles() {
    const HostResult r = Host("ls -1 " + kPdfFolder + " 2>/dev/null");
    std::vector<std::string> names;
    std::istringstream in(r.output);
    std::string line;
    while (std::getline(in, line)) {
        if (line.size() > 4 && line.ends_with(".pdf")) {
            names.push_back(line);
        }
    }
    return names;
}

// Waits for a finished PDF of the job title that was not there before.
inline std::optional<std::string> WaitNewPdf(const std::vector<std::string>& before,
                                             const std::string& title, Ms timeout) {
    std::optional<std::string> found;
    WaitFor(
        [&] {
            for (const auto& name : PdfFiles()) {
                if (name.find(title) == std::string::npos ||
                    std::find(before.begin(), before.end(), name) != before.end()) {
                    continue;
                }
                const std::string path = kPdfFolder + "/\"" + name + "\"";
                if (Host("pdfinfo " + path + " >/dev/null 2>&1").status == 0) {
                    found = path;
                    return true;
                }
            }
            return false;
        },
        timeout, 500ms);
    return found;
}

inline int PdfPages(const std::string& pdf) {
    const HostResult r = Host("pdfinfo " + pdf + " | awk '/^Pages:/ {print $2}'");
    return r.status == 0 ? std::atoi(r.output.c_str()) : -1;
}

// How many pure-red pixels a part of a picture holds.
inline int RedPixels(const std::string& image, const RECT& part) {
    const std::string crop = std::to_string(part.right - part.left) + "x" +
                             std::to_string(part.bottom - part.top) + "+" +
                             std::to_string(part.left) + "+" + std::to_string(part.top);
    const HostResult r = Host("convert " + image + " -crop " + crop +
                              " +repage -fuzz 20% -fill black +opaque red -format "
                              "'%[fx:round(mean*w*h*3)]' info:");
    return r.status == 0 ? std::atoi(r.output.c_str()) : -1;
}

// The darkest grey (0..100) in a small square of a picture around a point.
inline int DarkestAround(const std::string& image, POINT p, int half = 3) {
    const int side = 2 * half + 1;
    const HostResult r =
        Host("convert " + image + " -crop " + std::to_string(side) + "x" + std::to_string(side) +
             "+" + std::to_string(p.x - half) + "+" + std::to_string(p.y - half) +
             " +repage -colorspace gray -format '%[fx:round(100*minima)]' info:");
    return r.status == 0 ? std::atoi(r.output.c_str()) : -1;
}

// The page as the PDF printer made it, rendered, with the picture's box on it.
struct RenderedPage {
    std::string png;
    int width = 0;
    int height = 0;
    RECT box{}; // the picture within the page's white margins

    // Where a pixel of the W x H picture lies on the rendered page (its centre).
    POINT At(int px, int py, int pictureWidth, int pictureHeight) const {
        const double sx = static_cast<double>(box.right - box.left) / pictureWidth;
        const double sy = static_cast<double>(box.bottom - box.top) / pictureHeight;
        return {box.left + static_cast<LONG>((px + 0.5) * sx),
                box.top + static_cast<LONG>((py + 0.5) * sy)};
    }
};

inline std::optional<RenderedPage> RenderPage(const std::string& pdf, const std::string& stem) {
    RenderedPage page;
    const std::string base = HostScratch() + "/" + stem;
    const HostResult r =
        Host("mkdir -p " + HostScratch() + " && pdftoppm -r 100 -png -singlefile " + pdf + " " +
             base + " && identify -format '%w %h' " + base + ".png");
    if (r.status != 0 || std::sscanf(r.output.c_str(), "%d %d", &page.width, &page.height) != 2) {
        return std::nullopt;
    }
    page.png = base + ".png";
    const auto box = HostImageContentBox(page.png);
    if (!box) {
        return std::nullopt;
    }
    page.box = *box;
    return page;
}

// The shell started from an installed copy with its movie shown after the intro.
class PrintingShell : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterControl(CdFolder() + L"SWF\\FLASH.OCX");
        RegDeleteTree(HKEY_LOCAL_MACHINE, kProgramKey);
        folder_ = InstalledCopy(L"fwprint");
    }

    void StartToMovie() {
        shell_ = std::make_unique<Shell>(StartArgs{.exe = folder_ + L"Fenwobble.exe"});
        ASSERT_NO_FATAL_FAILURE(shell_->WaitMovie());
        ASSERT_NO_FATAL_FAILURE(shell_->SkipIntro());
        trace_ = shell_->Trace();
        main_ = shell_->Main();
        // Let the shown movie paint before the screen is compared with the page.
        ::Sleep(1000);
    }

    // Makes the movie ask for printing; true when the player fired it.
    bool Print() { return shell_->Send(L"print", L""); }

    // Prints and reads the page back: one landscape page holding a 4:3
    // picture, and no error box. Empty (with the failure noted) otherwise.
    std::optional<RenderedPage> PrintPage() {
        const auto before = PdfFiles();
        if (!Print()) {
            ADD_FAILURE() << "the player refused the fire request";
            return std::nullopt;
        }
        const auto pdf = WaitNewPdf(before, "Fenwobble", 90s);
        const auto box = WaitMessageBox(shell_->Pid(), 0ms);
        const std::wstring boxText = box ? box->text : L"none";
        EXPECT_FALSE(box.has_value()) << "expected no error box";
        if (!pdf) {
            ADD_FAILURE() << "expected a new PDF titled Fenwobble in " << kPdfFolder
                          << "; message: " << std::string(boxText.begin(), boxText.end());
            return std::nullopt;
        }
        EXPECT_EQ(PdfPages(*pdf), 1);
        auto page = RenderPage(*pdf, "page");
        Host("rm -f " + *pdf);
        if (!page) {
            ADD_FAILURE() << "the page could not be rendered";
            return std::nullopt;
        }
        EXPECT_GT(page->width, page->height) << "expected a landscape page";
        const int bw = page->box.right - page->box.left, bh = page->box.bottom - page->box.top;
        EXPECT_NEAR(bw * 3, bh * 4, bw * 3 / 50)
            << "expected a 4:3 picture, got " << bw << "x" << bh;
        return page;
    }

    // Program Manager answers, as on a Windows desktop, so no other program's
    // window comes up over the movie.
    std::unique_ptr<ProgmanServer> progman_ = std::make_unique<ProgmanServer>();
    std::wstring folder_;
    std::wstring trace_;
    std::unique_ptr<Shell> shell_;
    HWND main_ = nullptr;
};

// Compares the picture on the page with the screen: picture pixel (px, py)
// shows client pixel (px, py) + origin, the control's top-left corner, where
// that lies in the client area (the main window covers the screen). Only
// points where the screen is plain around them are compared: at edges the
// page's rendering blends neighbouring pixels.
struct Comparison {
    std::vector<std::string> differing;
    std::size_t compared = 0;
    std::size_t screenColours = 0; // distinct colours at the compared points
};

inline Comparison CompareWithScreen(const RenderedPage& page, const std::string& screenshot,
                                    int pictureW, int pictureH, POINT origin, int clientW,
                                    int clientH) {
    constexpr int kHalf = 2; // the plain square around a point: 5 x 5 client pixels
    constexpr std::size_t kSquare = (2 * kHalf + 1) * (2 * kHalf + 1);
    std::vector<POINT> onPage, onScreen;
    std::vector<POINT> grid;
    for (int py = 20; py < pictureH; py += 70) {
        for (int px = 20; px < pictureW; px += 70) {
            const int cx = px + origin.x;
            const int cy = py + origin.y;
            if (cx < 0 || cy < 0 || cx >= clientW || cy >= clientH) {
                continue;
            }
            grid.push_back({px, py});
            onPage.push_back(page.At(px, py, pictureW, pictureH));
            onScreen.push_back({cx, cy});
            for (int dy = -kHalf; dy <= kHalf; ++dy) {
                for (int dx = -kHalf; dx <= kHalf; ++dx) {
                    if (dx != 0 || dy != 0) {
                        onScreen.push_back({std::clamp(cx + dx, 0, clientW - 1),
                                            std::clamp(cy + dy, 0, clientH - 1)});
                    }
                }
            }
        }
    }
    const auto pageColours = HostImagePixels(page.png, onPage);
    const auto screenColours = HostImagePixels(screenshot, onScreen);
    if (pageColours.size() != onPage.size() || screenColours.size() != onScreen.size()) {
        return {{"the pictures could not be read"}};
    }
    Comparison result;
    std::vector<COLORREF> distinct;
    for (std::size_t i = 0; i < grid.size(); ++i) {
        const COLORREF centre = screenColours[kSquare * i];
        bool plain = true;
        for (std::size_t k = 1; k < kSquare; ++k) {
            plain = plain && ColoursAlike(centre, screenColours[kSquare * i + k]);
        }
        if (!plain) {
            continue;
        }
        ++result.compared;
        if (std::none_of(distinct.begin(), distinct.end(),
                         [&](COLORREF d) { return ColoursAlike(centre, d); })) {
            distinct.push_back(centre);
        }
        if (!ColoursAlike(pageColours[i], centre)) {
            result.differing.push_back(
                "(" + std::to_string(grid[i].x) + "," + std::to_string(grid[i].y) + ") page " +
                DescribeColour(pageColours[i]) + " screen " + DescribeColour(centre));
        }
    }
    result.screenColours = distinct.size();
    return result;
}

inline std::string JoinLines(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines) {
        out += l + "; ";
    }
    return out;
}

} // namespace fwtest
