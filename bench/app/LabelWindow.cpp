// A diagnostic baseline: the minimal window with one label in it. Beside the minimal window it
// shows what the first text costs (the font system's start-up, at the first text measured),
// which any window that shows text pays; beside it Pellora shows what it costs beyond that.
#include <QApplication>
#include <QLabel>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Label"));
    window.resize(385, 325);
    auto* label = new QLabel(QStringLiteral("From:"), &window);
    label->move(12, 11);
    window.show();
    return app.exec();
}
