#include <sys/resource.h>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QInputMethodEvent>
#include <QMessageBox>
#include <QRawFont>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextLayout>

#include <fstream>
#include <map>
#include <sstream>

#include "application.hpp"
#include "cli.hpp"
#include "form1.hpp"
#include "glyph8/form1.hpp"
#include "glyph8/output.hpp"

using namespace glyph8;
using glyph8::window::Form1;

namespace {

// Expected declarations by row name, from tests/data/expected_lines.tsv.
std::map<std::string, std::string> expectedLines() {
    std::ifstream in(GLYPH8_TEST_DATA "/expected_lines.tsv");
    std::map<std::string, std::string> rows;
    std::string line;
    while (std::getline(in, line)) {
        const auto tab1 = line.find('\t');
        const auto tab2 = line.find('\t', tab1 + 1);
        if (line.empty() || line[0] == '#' || tab2 == std::string::npos) {
            continue;
        }
        rows[line.substr(0, tab1)] = line.substr(tab2 + 1);
    }
    return rows;
}

// A picture box that forwards to the real one and fails once at one step.
class FailingPicture : public picture_box {
  public:
    FailingPicture(picture_box& real, operation failAt) : real_(real), failAt_(failAt) {}
    status ScaleMode(std::int16_t m) override {
        return fail(operation::set_scale_mode) ? status::unsupported : real_.ScaleMode(m);
    }
    status FontSize(float p) override {
        return fail(operation::set_font_size) ? status::invalid_value : real_.FontSize(p);
    }
    status clear() override { return fail(operation::clear) ? status::failed : real_.clear(); }
    status CurrentX(float x) override {
        return fail(operation::set_current_x) ? status::failed : real_.CurrentX(x);
    }
    status CurrentY(float y) override {
        return fail(operation::set_current_y) ? status::failed : real_.CurrentY(y);
    }
    void Print(std::string_view text) override {
        real_.Print(text);
        if (fail(operation::print)) {
            throw std::runtime_error("drawing failed");
        }
    }
    status Point(float x, float y, std::int32_t& c) override {
        return fail(operation::point) ? status::out_of_memory : real_.Point(x, y, c);
    }

  private:
    bool fail(operation op) const { return op == failAt_; }
    picture_box& real_;
    operation failAt_;
};

class FailingText : public text_box {
  public:
    status read_text(std::string&) override { return status::failed; }
    status write_text(std::string_view) override { return status::failed; }
};

std::string cliLine(const std::string& text) {
    glyph8::cli::string_source in("");
    glyph8::cli::string_sink out;
    std::ostringstream err;
    glyph8::cli::run({text}, in, out, err);
    std::string line = out.text;
    if (!line.empty() && line.back() == '\n') {
        line.pop_back();
    }
    return line;
}

std::vector<std::int32_t> pixelsOf(const Form1& form) {
    const auto px = form.pic->surface().pixels();
    return {px.begin(), px.end()};
}

}  // namespace

class Form1Test : public QObject {
    Q_OBJECT

  private slots:
    void startState() {
        Form1 form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.Label1->text(), QStringLiteral("請輸入文字"));
        QCOMPARE(form.Text2->text(), QStringLiteral("6"));
        QCOMPARE(form.Text1->toPlainText(), QStringLiteral("Text1"));
        QCOMPARE(form.Command1->text(), QStringLiteral("計算輸出碼"));
        for (const std::int32_t colour : form.pic->surface().pixels()) {
            QCOMPARE(colour, surface::background);
        }
        QVERIFY(form.windowTitle().contains(QStringLiteral("點陣")));
        QCOMPARE(form.size(), QSize(734, 270));
        QCOMPARE(form.Label1->geometry(), QRect(24, 24, 81, 33));
        QCOMPARE(form.Text2->geometry(), QRect(120, 16, 81, 33));
        QCOMPARE(form.pic->geometry(), QRect(16, 64, 81, 33));
        QCOMPARE(form.Text1->geometry(), QRect(8, 128, 697, 97));
        QCOMPARE(form.Command1->geometry(), QRect(8, 232, 81, 33));
        QVERIFY(form.Command1->isDefault());
        QCOMPARE(QLocale().name(), QStringLiteral("zh_TW"));
        // The shared description is what this window shows (the Win32 one
        // is held to it by its own test).
        for (const glyph8::form::control& c : glyph8::form::form1_controls) {
            const auto* w = form.findChild<QWidget*>(QString::fromUtf8(c.name.data()));
            QVERIFY2(w != nullptr, c.name.data());
            QCOMPARE(w->geometry(),
                     QRect(c.place.left, c.place.top, c.place.width, c.place.height));
        }
    }

    // Real key presses, so that a box that eats Tab would show.
    void tabKeyWalksTheTabOrder() {
        Form1 form;
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        const QList<QWidget*> order{form.pic, form.Text1, form.Command1, form.Text2};
        form.pic->setFocus();
        for (qsizetype i = 1; i <= order.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), order[i % order.size()]);
        }
        for (qsizetype i = order.size() - 1; i >= 0; --i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
            QCOMPARE(QApplication::focusWidget(), order[i]);
        }
        QCOMPARE(form.Text1->toPlainText(), QStringLiteral("Text1"));
        QCOMPARE(form.Label1->focusPolicy(), Qt::NoFocus);
    }

    void qtSpeaksChineseTaiwanElseEnglish() {
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "OK"), QStringLiteral("確定"));
        QTemporaryDir empty;
        QCOMPARE(glyph8::window::installTranslations(*qApp, empty.path()), QStringLiteral("en_US"));
    }

    // The 8-pixel faces are for pic; captions and input are drawn in the
    // desktop's face or the chosen Chinese one, never in whatever fontconfig
    // falls back to, and in a scalable face without bitmap strikes that has
    // every character.
    void windowTextIsDrawnInAScreenFace() {
        Form1 form;
        form.Text2->setText(QStringLiteral("國6"));
        const QList<QPair<QWidget*, QString>> shown{{form.Label1, form.Label1->text()},
                                                    {form.Text2, form.Text2->text()},
                                                    {form.Command1, form.Command1->text()}};
        for (const auto& [widget, text] : shown) {
            QTextLayout layout(text, widget->font());
            layout.beginLayout();
            layout.createLine();
            layout.endLayout();
            for (const QGlyphRun& run : layout.glyphRuns()) {
                const QRawFont face = run.rawFont();
                const QString what = widget->objectName() + ": " + face.familyName();
                QVERIFY2(face.familyName() == glyph8::window::chineseUiFamily() ||
                             face.familyName() == QFontInfo(widget->font()).family(),
                         qPrintable(what));
                QVERIFY2(face.fontTable("EBLC").isEmpty(), qPrintable(what));
                QVERIFY2(QFontDatabase::isSmoothlyScalable(face.familyName()), qPrintable(what));
                QVERIFY2(!run.glyphIndexes().contains(0), qPrintable(what));
            }
        }
    }

    void aHundredThousandCharacterPasteIsKeptAndCaptured() {
        Form1 form;
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        const QString text = QStringLiteral("6") + QString(99999, QChar(u'x'));
        QGuiApplication::clipboard()->setText(text);
        form.Text2->setFocus();
        QTest::keyClick(form.Text2, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(form.Text2, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(form.Text2->text(), text);
        QTest::mouseClick(form.Command1, Qt::LeftButton);
        QCOMPARE(form.Text1->toPlainText().toStdString(), cliLine(text.toStdString()));
    }

    // Ten megabytes pasted: the box keeps its limit, says so, and answers.
    void aHugePasteIsCutAndSaidQuickly() {
        Form1 form;
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QGuiApplication::clipboard()->setText(QStringLiteral("6") + QString(10 << 20, QChar(u'x')));
        form.Text2->setFocus();
        QElapsedTimer timer;
        timer.start();
        QTest::keyClick(form.Text2, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(form.Text2, Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(form.Text2, Qt::Key_Return);
        QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(form.Text2->text().size(), form::input_limit);
        QCOMPARE(form.notice(), QString::fromUtf8(form::input_cut_notice.data()));
        QCOMPARE(form.Text1->toPlainText().toStdString(), cliLine("6xxxxxxxxxxxx"));
        QGuiApplication::clipboard()->clear();
    }

    // A long text and nothing happening: the window does no work.
    void aLongTextAtRestUsesNoProcessor() {
        Form1 form;
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        form.Text2->setText(QString(form::input_limit, QChar(0x570B)));
        form.Text2->setFocus();
        QTest::qWait(300);
        const auto cpu = [] {
            rusage use{};
            getrusage(RUSAGE_SELF, &use);
            return (use.ru_utime.tv_sec + use.ru_stime.tv_sec) * 1e3 +
                   (use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e3;
        };
        const double before = cpu();
        QTest::qWait(2000);
        QVERIFY2(cpu() - before < 40, qPrintable(QString::number(cpu() - before) + " ms"));
        form.Text2->setText(QStringLiteral("6"));
        QCOMPARE(QApplication::cursorFlashTime() > 0, true);
    }

    void enlargedViewStaysClearOfTheControls() {
        Form1 form;
        const QRect view = form.matrix->geometry();
        for (QWidget* w : {static_cast<QWidget*>(form.Label1), static_cast<QWidget*>(form.Text2),
                           static_cast<QWidget*>(form.pic), static_cast<QWidget*>(form.Text1),
                           static_cast<QWidget*>(form.Command1)}) {
            QVERIFY2(!view.intersects(w->geometry()), qPrintable(w->objectName()));
        }
        QVERIFY(QRect(QPoint(0, 0), form.size()).contains(view));
        QVERIFY(view.width() >= 8 * 10);
    }

    void clickCapturesSixAsTheCommandLineDoes() {
        Form1 form;
        QTest::mouseClick(form.Command1, Qt::LeftButton);
        const std::string line = form.Text1->toPlainText().toStdString();
        QCOMPARE(line, expectedLines().at("digit_six"));
        QCOMPARE(line, cliLine("6"));
        // The enlarged view and the picture box show the same capture.
        QCOMPARE(std::string(glyph8::output::window_line(form.matrix->window()).view()), line);
        const QImage shown = form.pic->grab().toImage().scaled(picture_width, picture_height);
        QCOMPARE(shown.pixelColor(0, 3), QColor(Qt::black));  // ink of the 6
        QCOMPARE(shown.pixelColor(0, 2), QColor(Qt::white));
    }

    void chineseFromAnInputMethod() {
        Form1 form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.Text2->clear();
        form.Text2->setFocus();
        QInputMethodEvent preedit(QStringLiteral("guo"), {});
        QApplication::sendEvent(form.Text2, &preedit);
        QInputMethodEvent commit;
        commit.setCommitString(QStringLiteral("國"));
        QApplication::sendEvent(form.Text2, &commit);
        QCOMPARE(form.Text2->text(), QStringLiteral("國"));
        QTest::keyClick(form.Text2, Qt::Key_Return);  // Enter presses the default button
        QCOMPARE(form.Text1->toPlainText().toStdString(), expectedLines().at("misaki_guo"));
    }

    void clickingTwiceLeavesOneDeclaration() {
        Form1 form;
        QTest::mouseClick(form.Command1, Qt::LeftButton);
        form.Text2->setText(QStringLiteral("說"));
        QTest::mouseClick(form.Command1, Qt::LeftButton);
        const QString text = form.Text1->toPlainText();
        QCOMPARE(text.count(QStringLiteral("byte d[]")), 1);
        QVERIFY(!text.contains(QLatin1Char('\n')));
        QCOMPARE(text.toStdString(), expectedLines().at("composed_shuo"));
    }

    void editingTheInputAloneChangesNothing() {
        Form1 form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QTest::mouseClick(form.Command1, Qt::LeftButton);
        const QString output = form.Text1->toPlainText();
        const auto pixels = pixelsOf(form);
        const glyph view = form.matrix->window();
        form.Text2->setFocus();
        QTest::keyClicks(form.Text2, QStringLiteral("ABC"));
        form.Text2->setText(QStringLiteral("國"));
        QCOMPARE(form.Text1->toPlainText(), output);
        QVERIFY(pixelsOf(form) == pixels);
        QVERIFY(form.matrix->window() == view);
    }

    void oddInputNeverBreaksTheWindow_data() {
        QTest::addColumn<QString>("input");
        QTest::newRow("empty") << QString();
        QTest::newRow("lone_surrogate") << QString(QChar(0xD800));
        QTest::newRow("controls") << QStringLiteral("\t\x01\x7f");
        QTest::newRow("long") << QString(30000, QLatin1Char('W'));
    }

    void oddInputNeverBreaksTheWindow() {
        QFETCH(QString, input);
        Form1 form;
        QSignalSpy spy(&form, &Form1::captured);
        form.Text2->setText(input);
        QTest::mouseClick(form.Command1, Qt::LeftButton);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toBool(), true);
        QVERIFY(form.Text1->toPlainText().startsWith(QStringLiteral("byte d[]={ ")));
    }

    void failedCaptureIsShownAndChangesNothing_data() {
        QTest::addColumn<int>("step");
        QTest::addColumn<QString>("words");
        const auto row = [](const char* name, operation op, const char* words) {
            QTest::newRow(name) << static_cast<int>(op) << QString::fromUtf8(words);
        };
        row("scale_mode", operation::set_scale_mode, "座標單位");
        row("font_size", operation::set_font_size, "字型大小");
        row("clear", operation::clear, "清除");
        row("current_x", operation::set_current_x, "繪製位置");
        row("current_y", operation::set_current_y, "繪製位置");
        row("read_input", operation::read_text, "輸入框 Text2");
        row("print", operation::print, "繪製文字");
        row("point", operation::point, "讀取像素");
        row("write_output", operation::write_text, "輸出框 Text1");
    }

    void failedCaptureIsShownAndChangesNothing() {
        QFETCH(int, step);
        QFETCH(QString, words);
        const auto failAt = static_cast<operation>(step);
        bool failNext = true;
        Form1 form([&](picture_box& pic, text_box& input, text_box& output,
                       glyph* read) -> capture_result {
            if (!std::exchange(failNext, false)) {
                return run_capture(pic, input, output, read);
            }
            FailingPicture failingPic(pic, failAt);
            FailingText failingText;
            return run_capture(failingPic, failAt == operation::read_text ? failingText : input,
                               failAt == operation::write_text ? failingText : output, read);
        });
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QSignalSpy spy(&form, &Form1::captured);

        QTest::mouseClick(form.Command1, Qt::LeftButton);

        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toBool(), false);
        QCOMPARE(form.Text1->toPlainText(), QStringLiteral("Text1"));
        auto* box = form.findChild<QMessageBox*>();
        QVERIFY(box != nullptr);
        QVERIFY2(box->text().contains(words), qPrintable(box->text()));
        QVERIFY(box->text().contains(QStringLiteral("擷取失敗")));
        QVERIFY(!box->informativeText().isEmpty());
        box->accept();
        // The window is still there and the next click works.
        QVERIFY(form.isVisible());
        QTest::mouseClick(form.Command1, Qt::LeftButton);
        QCOMPARE(form.Text1->toPlainText().toStdString(), expectedLines().at("digit_six"));
    }

    void embeddedCjkFontCoversTheCaptions() {
        const QString family = glyph8::window::registerEmbeddedCjkFont();
        QVERIFY(!family.isEmpty());
        const QFontMetrics metrics{QFont(family)};
        for (const char32_t c : U"請輸入文字計算出碼") {
            if (c != 0) {
                QVERIFY2(metrics.inFontUcs4(c), qPrintable(QString::number(c, 16)));
            }
        }
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    glyph8::window::setUpApplication(app);
    Form1Test test;
    return QTest::qExec(&test, argc, argv);
}

#include "form1_test.moc"
