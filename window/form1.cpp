#include "form1.hpp"

#include <limits>

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QMessageBox>

#include "text_box_adapters.hpp"

namespace glyph8::window {

namespace {

// Places and sizes of the controls in logical pixels (96 per inch).
constexpr QRect label1Rect(24, 24, 81, 33);
constexpr QRect text2Rect(120, 16, 81, 33);
constexpr QRect picRect(16, 64, picture_width, picture_height);
constexpr QRect text1Rect(8, 128, 697, 97);
constexpr QRect command1Rect(8, 232, 81, 33);
constexpr QSize clientSize(734, 270);
// The enlarged view sits in the free area right of the input box.
constexpr QPoint matrixPos(232, 12);

QString describeControl(const capture_error& error) {
    if (error.control == control_interface::picture_box) {
        return QStringLiteral("圖片框 pic");
    }
    return error.op == operation::read_text ? QStringLiteral("輸入框 Text2")
                                            : QStringLiteral("輸出框 Text1");
}

QString describeOperation(operation op) {
    switch (op) {
        case operation::set_scale_mode:
            return QStringLiteral("無法將座標單位設為像素");
        case operation::set_font_size:
            return QStringLiteral("無法設定字型大小");
        case operation::clear:
            return QStringLiteral("無法清除畫面");
        case operation::set_current_x:
        case operation::set_current_y:
            return QStringLiteral("無法設定繪製位置");
        case operation::read_text:
            return QStringLiteral("無法讀取文字");
        case operation::print:
            return QStringLiteral("無法繪製文字");
        case operation::point:
            return QStringLiteral("無法讀取像素");
        case operation::write_text:
            return QStringLiteral("無法寫入文字");
    }
    return QStringLiteral("操作失敗");
}

QString describeStatus(status s) {
    switch (s) {
        case status::invalid_value:
            return QStringLiteral("值無效");
        case status::unsupported:
            return QStringLiteral("不支援");
        case status::out_of_memory:
            return QStringLiteral("記憶體不足");
        case status::ok:
        case status::failed:
            break;
    }
    return QStringLiteral("操作失敗");
}

}  // namespace

Form1::Form1(CaptureCommand command, QWidget* parent)
    : QWidget(parent), command_(std::move(command)) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("glyph8 — 8×8 點陣字碼產生器"));
    setFixedSize(clientSize);

    Label1 = new QLabel(QStringLiteral("請輸入文字"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(label1Rect);

    Text2 = new QLineEdit(QStringLiteral("6"), this);
    Text2->setObjectName(QStringLiteral("Text2"));
    Text2->setGeometry(text2Rect);
    // The input takes any length; drawing stops at the surface's edge.
    Text2->setMaxLength(std::numeric_limits<int>::max());
    Label1->setBuddy(Text2);

    pic = new PictureBox(picRect.width(), picRect.height(), this);
    pic->setObjectName(QStringLiteral("pic"));
    pic->setGeometry(picRect);

    Text1 = new QPlainTextEdit(QStringLiteral("Text1"), this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setGeometry(text1Rect);
    // The declaration reads best in the fixed face; anything else typed or
    // pasted here falls back to the window's faces.
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setFamilies(QStringList{QFontInfo(fixed).family()} + QApplication::font().families());
    Text1->setFont(fixed);
    // Tab moves on, as in every other box of the window, instead of typing
    // a tab into the output.
    Text1->setTabChangesFocus(true);

    Command1 = new QPushButton(QStringLiteral("計算輸出碼"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(command1Rect);
    Command1->setDefault(true);

    matrix = new MatrixView(this);
    matrix->setObjectName(QStringLiteral("matrix"));
    matrix->move(matrixPos);

    // Tab order by tab index: pic, Text1, Command1, (Label1), Text2.
    setTabOrder(pic, Text1);
    setTabOrder(Text1, Command1);
    setTabOrder(Command1, Text2);
    Text2->setFocus();

    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    // A plain widget has no default-button handling of its own: Enter in the
    // input box presses the default button explicitly.
    connect(Text2, &QLineEdit::returnPressed, Command1, &QPushButton::click);
}

QString Form1::describeFailure(const capture_error& error) {
    return QStringLiteral("擷取失敗：%1%2（%3）。輸出框保持不變。")
        .arg(describeControl(error), describeOperation(error.op), describeStatus(error.code));
}

void Form1::Command1_Click() {
    PictureBoxAdapter picture(*pic);
    LineEditAdapter input(*Text2);
    PlainTextAdapter output(*Text1);
    sample_window window;
    const capture_result result = command_(picture, input, output, &window);
    if (result) {
        auto* box = new QMessageBox(QMessageBox::Warning, windowTitle(), describeFailure(*result),
                                    QMessageBox::Ok, this);
        box->setInformativeText(QString::fromStdString(result->message()));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
        emit captured(false);
        return;
    }
    matrix->setWindow(window);
    emit captured(true);
}

}  // namespace glyph8::window
