// The picture box widget: shows a glyph8 surface at 1:1 in logical pixels,
// with no smoothing when a high-DPI screen scales it.
#pragma once

#include <QWidget>

#include "glyph8/capture.hpp"
#include "glyph8/surface.hpp"

namespace glyph8::window {

class PictureBox : public QWidget {
    Q_OBJECT

  public:
    PictureBox(int width, int height, QWidget* parent = nullptr);

    glyph8::surface& surface() { return surface_; }
    const glyph8::surface& surface() const { return surface_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    glyph8::surface surface_;
};

// The capture's picture box over the widget: the surface's operations, with
// a repaint once the surface has changed.
class PictureBoxAdapter : public picture_box {
  public:
    explicit PictureBoxAdapter(PictureBox& box) : box_(box), ops_(box.surface()) {}
    status ScaleMode(std::int16_t mode) override { return ops_.ScaleMode(mode); }
    status FontSize(float points) override { return ops_.FontSize(points); }
    status clear() override;
    status CurrentX(float x) override { return ops_.CurrentX(x); }
    status CurrentY(float y) override { return ops_.CurrentY(y); }
    void Print(std::string_view text) override;
    status Point(float x, float y, std::int32_t& colour) override {
        return ops_.Point(x, y, colour);
    }

  private:
    PictureBox& box_;
    surface_box ops_;
};

}  // namespace glyph8::window
