// A diagnostic baseline: a window with the same controls, font and size as Pellora's, and none of
// the program's own work (no data folder, icons, histories, settings, painted background or key
// handling). Pellora beside it shows what the program's logic costs; this window beside the
// minimal one shows what the controls themselves cost.
#include "ui/Appearance.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QWidget>

#include <memory>

using pellora::ui::Twips;

namespace {

QRect At(int left, int top, int width, int height) {
    return QRect(Twips(left), Twips(top), Twips(width), Twips(height));
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    pellora::ui::PrepareApplication(app);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Controls"));
    window.setFont(pellora::ui::FormFont());
    window.setFixedSize(Twips(5775), Twips(4875));
    auto formFont = std::make_unique<pellora::ui::FormFontScope>(window.font()); // as Pellora makes its controls
    const char* captions[3] = {"From:", "To:", "Computer:"};
    for (int i = 0; i < 3; ++i) {
        auto* label = new QLabel(QLatin1String(captions[i]), &window);
        label->move(Twips(180), Twips(160 + 480 * i));
        label->adjustSize();
        auto* field = new QLineEdit(&window);
        field->setGeometry(At(1260, 120 + 480 * i, 3975, 375));
        label->setBuddy(field);
        auto* history = new QPushButton(QStringLiteral("H!"), &window);
        history->setGeometry(At(5280, 120 + 480 * i, 375, 375));
    }
    auto* message = new QPlainTextEdit(&window);
    message->setGeometry(At(120, 1560, 5535, 2655));
    message->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    const struct {
        const char* caption;
        int left, width;
    } buttons[] = {{"Ctrl+Enter", 120, 1215}, {"S!", 3060, 435}, {"D!", 3600, 435}, {"Send", 4140, 1515}};
    for (const auto& b : buttons)
        (new QPushButton(QLatin1String(b.caption), &window))->setGeometry(At(b.left, 4320, b.width, 435));
    formFont.reset();
    message->setFocus();
    window.show();
    return app.exec();
}
