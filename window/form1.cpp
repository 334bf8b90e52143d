#include "form1.hpp"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QMessageBox>
#include <QToolTip>

#include "glyph8/form1.hpp"
#include "text_box_adapters.hpp"

namespace glyph8::window {

namespace {

QRect placeOf(std::string_view name) {
    const form::rect r = form::find(name).place;
    return {r.left, r.top, r.width, r.height};
}

QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString textOf(std::string_view name) {
    return fromUtf8(form::find(name).text);
}

}  // namespace

Form1::Form1(CaptureCommand command, QWidget* parent)
    : QWidget(parent), command_(std::move(command)) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(fromUtf8(form::title));
    setFixedSize(form::client_width, form::client_height);

    Label1 = new QLabel(textOf("Label1"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(placeOf("Label1"));

    Text2 = new QLineEdit(textOf("Text2"), this);
    Text2->setObjectName(QStringLiteral("Text2"));
    Text2->setGeometry(placeOf("Text2"));
    // Drawing stops at the surface's edge anyway; a longer text is cut, and
    // the user is told.
    Text2->setMaxLength(form::input_limit);
    Label1->setBuddy(Text2);

    pic = new PictureBox(picture_width, picture_height, this);
    pic->setObjectName(QStringLiteral("pic"));
    pic->setGeometry(placeOf("pic"));

    Text1 = new QPlainTextEdit(textOf("Text1"), this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setGeometry(placeOf("Text1"));
    // The declaration reads best in the fixed face; anything else typed or
    // pasted here falls back to the window's faces.
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setFamilies(QStringList{QFontInfo(fixed).family()} + QApplication::font().families());
    Text1->setFont(fixed);
    // Tab moves on, as in every other box of the window, instead of typing
    // a tab into the output.
    Text1->setTabChangesFocus(true);

    Command1 = new QPushButton(textOf("Command1"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(placeOf("Command1"));
    Command1->setDefault(true);

    matrix = new MatrixView(this);
    matrix->setObjectName(QStringLiteral("matrix"));
    matrix->move(form::matrix_left, form::matrix_top);

    // Tab order by tab index: pic, Text1, Command1, (Label1), Text2.
    const auto order = form::tab_order();
    for (std::size_t i = 0; i + 1 < order.size(); ++i) {
        setTabOrder(findChild<QWidget*>(fromUtf8(order[i]->name)),
                    findChild<QWidget*>(fromUtf8(order[i + 1]->name)));
    }
    Text2->setFocus();

    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    // A plain widget has no default-button handling of its own: Enter in the
    // input box presses the default button explicitly.
    connect(Text2, &QLineEdit::returnPressed, Command1, &QPushButton::click);
    connect(Text2, &QLineEdit::inputRejected, this, [this] {
        if (Text2->text().size() >= form::input_limit) {
            notice_ = fromUtf8(form::input_cut_notice);
            QToolTip::showText(Text2->mapToGlobal(QPoint(0, Text2->height())), notice_, Text2);
        }
    });
    connect(Text2, &QLineEdit::textChanged, this, [](const QString& text) {
        static const int blink = QApplication::cursorFlashTime();
        QApplication::setCursorFlashTime(text.size() > form::steady_cursor_length ? 0 : blink);
    });
}

QString Form1::describeFailure(const capture_error& error) {
    return fromUtf8(form::describe_failure(error));
}

void Form1::Command1_Click() {
    PictureBoxAdapter picture(*pic);
    LineEditAdapter input(*Text2);
    PlainTextAdapter output(*Text1);
    glyph window;
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
