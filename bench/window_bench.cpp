// Times the window as a user meets it.
//   glyph8_window_bench startup  prints ms from main() to Form1's first paint, then exits
//   glyph8_window_bench click    prints the median us from a click to the new Text1
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "application.hpp"
#include "form1.hpp"

namespace {

const auto processStart = std::chrono::steady_clock::now();

class FirstPaint : public QObject {
  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !seen_) {
            seen_ = true;
            const std::chrono::duration<double, std::milli> ms =
                std::chrono::steady_clock::now() - processStart;
            std::printf("first paint after %.2f ms\n", ms.count());
            QTimer::singleShot(0, qApp, &QApplication::quit);
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    bool seen_ = false;
};

int clickMedian(glyph8::window::Form1& form) {
    std::vector<qint64> samples;
    const QStringList inputs{QStringLiteral("6"), QStringLiteral("國"), QStringLiteral("說")};
    for (int i = 0; i < 3000; ++i) {
        form.Text2->setText(inputs[i % inputs.size()]);
        QElapsedTimer timer;
        timer.start();
        form.Command1->click();
        samples.push_back(timer.nsecsElapsed());
    }
    std::sort(samples.begin(), samples.end());
    std::printf("click to Text1: median %.1f us, p90 %.1f us (%zu clicks)\n",
                samples[samples.size() / 2] / 1000.0, samples[samples.size() * 9 / 10] / 1000.0,
                samples.size());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    glyph8::window::setUpApplication(app);
    glyph8::window::Form1 form;
    if (argc > 1 && std::strcmp(argv[1], "click") == 0) {
        return clickMedian(form);
    }
    FirstPaint watcher;
    form.installEventFilter(&watcher);
    form.show();
    return app.exec();
}
