#pragma once

#include <QFont>

class QApplication;

namespace pellora::ui {

// Names the application (for Qt, the desktop and the settings) and readies its fonts.
void PrepareApplication(QApplication& app);

// Tahoma 9 pt, regular; where Tahoma is missing, the closest sans-serif the system has.
QFont FormFont();

// Twips (1/1440 inch) to pixels at 96 dots per inch; Qt scales pixels with the screen.
constexpr int Twips(int twips) { return (twips + (twips >= 0 ? 7 : -7)) / 15; }

} // namespace pellora::ui
