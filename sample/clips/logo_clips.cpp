#include "clips/logo_clips.h"

#include "clips/avi_writer.h"

#include <fstream>
#include <stdexcept>
#include <system_error>

namespace fw::clips {
namespace {

void Fill(Picture& p, Rgb c) {
    for (std::size_t i = 0; i + 2 < p.bgr.size(); i += 3) {
        p.bgr[i] = c.b;
        p.bgr[i + 1] = c.g;
        p.bgr[i + 2] = c.r;
    }
}

void Put(Picture& p, int x, int y, Rgb c) {
    if (x < 0 || y < 0 || x >= p.width || y >= p.height) {
        return;
    }
    const std::size_t at = (static_cast<std::size_t>(y) * static_cast<std::size_t>(p.width) +
                            static_cast<std::size_t>(x)) *
                           3u;
    p.bgr[at] = c.b;
    p.bgr[at + 1] = c.g;
    p.bgr[at + 2] = c.r;
}

} // namespace

Rgb Picture::At(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) {
        throw std::out_of_range("pixel outside the picture");
    }
    const std::size_t at = (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                            static_cast<std::size_t>(x)) *
                           3u;
    return {bgr[at + 2], bgr[at + 1], bgr[at]};
}

Picture PaintFrame(const LogoClip& clip, int index, int count) {
    if (count <= 0 || index < 0 || index >= count) {
        throw std::out_of_range("frame " + std::to_string(index) + " of " + std::to_string(count));
    }
    Picture p{kClipWidth, kClipHeight,
              std::vector<std::uint8_t>(static_cast<std::size_t>(kClipWidth * kClipHeight * 3))};
    Fill(p, clip.background);

    // The shape's top-left corner travels evenly from its start to its end, and
    // stays a margin away from the edges so the corners keep the background.
    constexpr int kMargin = 20;
    const int last = count > 1 ? count - 1 : 1;
    const int spanX = kClipWidth - 2 * kMargin - kShapeSize;
    const int spanY = kClipHeight - 2 * kMargin - kShapeSize;
    int left = kMargin + spanX * index / last;
    int top = (kClipHeight - kShapeSize) / 2;
    if (clip.kind == ShapeKind::Square) {
        top = kMargin + spanY * index / last;
    }

    const int r = kShapeSize / 2;
    for (int y = 0; y < kShapeSize; ++y) {
        for (int x = 0; x < kShapeSize; ++x) {
            bool inside = true;
            if (clip.kind == ShapeKind::Disc) {
                // Centre of the pixel against the centre of the disc, doubled to stay whole.
                const int dx = 2 * x + 1 - 2 * r;
                const int dy = 2 * y + 1 - 2 * r;
                inside = dx * dx + dy * dy <= 4 * r * r;
            }
            if (inside) {
                Put(p, left + x, top + y, clip.shape);
            }
        }
    }
    return p;
}

void WriteClip(const LogoClip& clip, const std::filesystem::path& folder) {
    const std::filesystem::path target = folder / clip.fileName;
    std::filesystem::path partial = target;
    partial += ".part";
    try {
        {
            std::ofstream out(partial, std::ios::binary | std::ios::trunc);
            if (!out) {
                throw std::runtime_error("cannot create " + partial.string());
            }
            AviWriter writer(out, {kClipWidth, kClipHeight, kClipFps});
            for (int i = 0; i < kClipFrames; ++i) {
                writer.AddFrame(PaintFrame(clip, i).bgr);
            }
            writer.Finish();
        }
        std::filesystem::rename(partial, target);
    } catch (const std::exception& e) {
        std::error_code ignored;
        std::filesystem::remove(partial, ignored);
        throw std::runtime_error(target.string() + ": " + e.what());
    }
}

} // namespace fw::clips
