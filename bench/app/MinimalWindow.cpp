// The baseline of the start-up and memory figures: the smallest Qt Widgets program that shows a
// window, built with the same compiler, flags and Qt as Pellora. It is as large as Pellora's
// window so that both paint the same area.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Minimal"));
    window.resize(385, 325);
    window.show();
    return app.exec();
}
