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

void MatrixView::setWindow(glyph window) {
    window_ = window;
    update();
}

void MatrixView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor::fromRgb(led_board));
    for (int x = 0; x < 8; ++x) {
        for (int y = 0; y < 8; ++y) {
            const QRect cell(x * cellSize + 1, y * cellSize + 1, cellSize - 1, cellSize - 1);
            painter.fillRect(cell, QColor::fromRgb(window_.ink(x, y) ? led_lit : led_dark));
        }
    }
}

}  // namespace glyph8::window
