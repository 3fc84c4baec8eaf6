#pragma once

#include <QFont>

class QApplication;

namespace pellora::ui {

// Names the application (for Qt, the desktop and the settings), readies its fonts and shows its
// messages in the real message boxes.
void PrepareApplication(QApplication& app);

// Tahoma 9 pt, regular; where Tahoma is missing, the closest sans-serif the system has. No kerning
// and no ligatures, as Windows draws a form's text.
QFont FormFont();

// Makes `formFont` the application's font for as long as it lives: a form creates its controls in
// one. A QLineEdit lays out its empty text with the application's font before it takes its form's,
// which would load a second font file at start only for that. The application's own font (message
// boxes, menus) is back once the scope ends.
class FormFontScope {
public:
    explicit FormFontScope(const QFont& formFont);
    ~FormFontScope();
    FormFontScope(const FormFontScope&) = delete;
    FormFontScope& operator=(const FormFontScope&) = delete;

private:
    QFont previous_;
};

// Twips (1/1440 inch) to pixels at 96 dots per inch; Qt scales pixels with the screen.
constexpr int Twips(int twips) { return (twips + (twips >= 0 ? 7 : -7)) / 15; }

} // namespace pellora::ui
