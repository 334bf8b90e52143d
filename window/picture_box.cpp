#include "picture_box.hpp"

#include <QImage>
#include <QPainter>

#include "glyph8/default_face.hpp"

namespace glyph8::window {

PictureBox::PictureBox(int width, int height, QWidget* parent)
    : QWidget(parent), surface_(width, height, make_default_typeface()) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::TabFocus);
}

void PictureBox::paintEvent(QPaintEvent*) {
    // The raster is 0x00RRGGBB per pixel, which is what RGB32 reads; the
    // image borrows the pixels for this paint only.
    const auto pixels = surface_.pixels();
    const QImage image(reinterpret_cast<const uchar*>(pixels.data()), surface_.width(),
                       surface_.height(), surface_.width() * 4, QImage::Format_RGB32);
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(QRect(0, 0, surface_.width(), surface_.height()), image);
}

status PictureBoxAdapter::clear() {
    const status s = ops_.clear();
    box_.update();
    return s;
}

void PictureBoxAdapter::Print(std::string_view text) {
    ops_.Print(text);
    box_.update();
}

}  // namespace glyph8::window
