#include <QApplication>

#include "application.hpp"
#include "form1.hpp"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    glyph8::window::setUpApplication(app);
    glyph8::window::Form1 form;
    form.show();
    return app.exec();
}
