#include "matrix_view.hpp"

#include <QPainter>

#include "glyph8/form1.hpp"

namespace glyph8::window {

MatrixView::MatrixView(QWidget* parent) : QWidget(parent) {
    setFixedSize(sizeHint());
    setToolTip(QString::fromUtf8(form::matrix_tooltip.data(),
                                 static_cast<qsizetype>(form::matrix_tooltip.size())));
}

QSize MatrixView::sizeHint() const {
    return {8 * cellSize + 1, 8 * cellSize + 1};
}

void MatrixView::setWindow(const sample_window& window) {
    window_ = window;
    update();
}

void MatrixView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0x20, 0x20, 0x20));
    for (int x = 0; x < 8; ++x) {
        for (int y = 0; y < 8; ++y) {
            const QRect cell(x * cellSize + 1, y * cellSize + 1, cellSize - 1, cellSize - 1);
            // Lit LEDs are bright red, dark ones a dim red, as on a matrix.
            painter.fillRect(
                cell, window_.ink[x][y] ? QColor(0xFF, 0x30, 0x20) : QColor(0x50, 0x10, 0x10));
        }
    }
}

}  // namespace glyph8::window
