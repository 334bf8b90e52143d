// The main window, Form1: a prompt, the input box Text2, the picture box pic
// that the capture draws on, the output box Text1 and the button Command1.
//
// The click of Command1 (or Enter in Text2) runs the capture with adapters
// from these widgets to the capture's control interfaces. A failed capture
// is shown in a message box; Text1 keeps what it held and the window stays
// usable. Beside the input box an enlarged 8x8 view shows the last capture.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QWidget>
#include <functional>
#include <memory>

#include "glyph8/capture.hpp"
#include "matrix_view.hpp"
#include "picture_box.hpp"

namespace glyph8::window {

// What a click runs; tests substitute one that fails at a chosen step.
using CaptureCommand = std::function<capture_result(picture_box&, text_box&, text_box&, glyph*)>;

class Form1 : public QWidget {
    Q_OBJECT

  public:
    explicit Form1(CaptureCommand command = run_capture, QWidget* parent = nullptr);

    QLabel* Label1;
    QLineEdit* Text2;
    PictureBox* pic;
    QPlainTextEdit* Text1;
    QPushButton* Command1;
    MatrixView* matrix;

    // The window's own wording of a capture failure.
    static QString describeFailure(const capture_error& error);
    // The last notice shown to the user (a text cut to the input's limit).
    const QString& notice() const { return notice_; }

  signals:
    // After each click: whether the capture succeeded.
    void captured(bool ok);

  private slots:
    void Command1_Click();

  private:
    CaptureCommand command_;
    QString notice_;
};

}  // namespace glyph8::window
