// Bitmap fills: each pixel's centre is carried back into the bitmap, which is sampled at the
// nearest pixel or between the four around it. Everything stays premultiplied, so a blend
// between an opaque and a clear pixel never darkens.

#include "paint.h"
#include "sampling.h"

#include <algorithm>
#include <cmath>

namespace fw::render {
namespace {

class Bitmap final : public Paint {
public:
    Bitmap(PictureView view, const swf::Matrix& toPixels, bool repeat, bool smooth,
           const swf::ColorTransform& cx)
        : view_(view), repeat_(repeat), smooth_(smooth), cx_(cx),
          plain_(cx == swf::ColorTransform{}) {
        auto inverse = FiniteInverse(toPixels);
        usable_ = view.width > 0 && view.height > 0 && view.pixels && inverse;
        if (usable_) {
            inverse_ = *inverse;
        }
        // Drawn at its own size on whole pixels, each pixel's centre falls on a bitmap pixel's
        // centre: sampling, smoothed or not, is then that pixel.
        const swf::Matrix& m = inverse_;
        if (usable_ && m.a == 1 && m.b == 0 && m.c == 0 && m.d == 1 && std::abs(m.tx) < kWhole &&
            std::abs(m.ty) < kWhole && m.tx == std::floor(m.tx) && m.ty == std::floor(m.ty)) {
            whole_ = true;
            shiftX_ = static_cast<int>(m.tx);
            shiftY_ = static_cast<int>(m.ty);
        }
        if (usable_ && plain_) {
            opaque_ = std::all_of(view.pixels,
                                  view.pixels + static_cast<std::size_t>(view.width) * view.height,
                                  [](Pixel p) { return (p >> 24) == 0xFF; });
        }
    }

    void Span(int x, int y, int count, Pixel* out) const override {
        if (!usable_) {
            std::fill(out, out + count, Pixel{0});
            return;
        }
        if (whole_) {
            Copy(x + shiftX_, y + shiftY_, count, out);
            if (!plain_) {
                for (int i = 0; i < count; ++i) {
                    out[i] = Transformed(out[i], cx_);
                }
            }
            return;
        }
        ForEachCentre(inverse_, x, y, count, [&](int i, double u, double v) {
            Pixel p = smooth_ ? Smooth(u - 0.5, v - 0.5)
                              : At(Cell(u, view_.width), Cell(v, view_.height));
            out[i] = plain_ ? p : Transformed(p, cx_);
        });
    }

    bool Opaque() const override { return opaque_; }

private:
    // Offsets beyond this go the long way, keeping every sum well inside an int.
    static constexpr double kWhole = 1 << 29;

    // count pixels of the bitmap's row y from column x, tiled or held at the edges.
    void Copy(int x, int y, int count, Pixel* out) const {
        int w = view_.width, h = view_.height;
        auto wrap = [](int v, int size) { return ((v % size) + size) % size; };
        const Pixel* row =
            view_.pixels +
            static_cast<std::size_t>(repeat_ ? wrap(y, h) : std::clamp(y, 0, h - 1)) * w;
        if (repeat_) {
            for (int i = 0, c = wrap(x, w); i < count; ++i) {
                out[i] = row[c];
                c = c + 1 == w ? 0 : c + 1;
            }
            return;
        }
        int i = 0;
        for (; i < count && x + i < 0; ++i) {
            out[i] = row[0];
        }
        int inside = std::clamp(w - (x + i), 0, count - i);
        if (inside > 0) {
            std::copy_n(row + x + i, inside, out + i);
            i += inside;
        }
        for (; i < count; ++i) {
            out[i] = row[w - 1];
        }
    }

    // The bitmap's column (or row) that coordinate t falls in, tiled or held at the edge.
    int Cell(double t, int size) const {
        if (!std::isfinite(t)) {
            return 0;
        }
        if (repeat_) {
            double w = t - size * std::floor(t / size);
            return static_cast<int>(std::clamp(w, 0.0, size - 1.0));
        }
        return static_cast<int>(std::clamp(std::floor(t), 0.0, size - 1.0));
    }

    Pixel At(int x, int y) const {
        return view_.pixels[static_cast<std::size_t>(y) * view_.width + x];
    }

    Pixel Smooth(double u, double v) const {
        if (!std::isfinite(u) || !std::isfinite(v)) {
            return At(0, 0);
        }
        double fu = std::floor(u), fv = std::floor(v);
        // Weights in 1/256: integer blending keeps the result the same on every machine.
        int wx = static_cast<int>((u - fu) * 256), wy = static_cast<int>((v - fv) * 256);
        int x0 = Cell(fu, view_.width), y0 = Cell(fv, view_.height);
        int x1 = Cell(fu + 1, view_.width), y1 = Cell(fv + 1, view_.height);
        Pixel p00 = At(x0, y0), p10 = At(x1, y0), p01 = At(x0, y1), p11 = At(x1, y1);
        Pixel out = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            auto ch = [&](Pixel p) { return static_cast<int>((p >> shift) & 0xFF); };
            int top = ch(p00) * (256 - wx) + ch(p10) * wx;
            int bottom = ch(p01) * (256 - wx) + ch(p11) * wx;
            int value = (top * (256 - wy) + bottom * wy + (1 << 15)) >> 16;
            out |= static_cast<Pixel>(std::min(value, 255)) << shift;
        }
        return out;
    }

    PictureView view_;
    bool repeat_;
    bool smooth_;
    swf::ColorTransform cx_;
    bool plain_;
    bool usable_ = false;
    bool opaque_ = false;
    bool whole_ = false;
    int shiftX_ = 0, shiftY_ = 0;
    swf::Matrix inverse_;
};

} // namespace

std::unique_ptr<Paint> BitmapPaint(PictureView bitmap, const swf::Matrix& toPixels, bool repeat,
                                   bool smooth, const swf::ColorTransform& cx) {
    return std::make_unique<Bitmap>(bitmap, toPixels, repeat, smooth, cx);
}

} // namespace fw::render
