// An enlarged view of the 8x8 sampling window, so the user sees at a glance
// what the matrix will show. It changes only when told to, after a capture.
#pragma once

#include <QWidget>

#include "glyph8/capture.hpp"
#include "glyph8/form1.hpp"

namespace glyph8::window {

class MatrixView : public QWidget {
    Q_OBJECT

  public:
    static constexpr int cellSize = form::matrix_cell;

    explicit MatrixView(QWidget* parent = nullptr);
    void setWindow(glyph window);
    glyph window() const { return window_; }
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    glyph window_;
};

}  // namespace glyph8::window
