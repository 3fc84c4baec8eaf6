#pragma once

// The support library's window services, built on Qt Widgets. Every function throws
// pellora::Error when it fails; callers never test a status themselves.
// A "window handle" is the widget itself; nullptr stands for the application as a whole
// (the hidden main window that owns the program's windows).

#include <QString>

class QPainter;
class QWidget;

namespace pellora {

using WindowHandle = QWidget*;

// The application's hidden main window (nullptr: the application itself).
WindowHandle ksGetThunderMainHandle();

// Gives the window (or, for nullptr, the whole application) the icon resource `resourceName`.
void ksSetWindowResIconAll(WindowHandle window, const QString& resourceName);

// Centres the window on the screen's available area.
void ksCenterFormEx(WindowHandle window);

// Selects the whole text of a text box (QLineEdit or QPlainTextEdit).
void ksHighlightText(WindowHandle textBox);

// Paints the desktop background into `painter` as if seen through `window`. The desktop's
// wallpaper is read once per run, at the first call unless platform::ReadDesktopAhead() began
// reading it; while that read goes on, the button face is painted, and the window is painted
// again once the read has ended.
void ksPaintDesktop(WindowHandle window, QPainter& painter);

namespace platform {
// Begins reading the desktop's wallpaper on a thread of its own (on GNOME and its relatives that
// loads GIO), so that painting never waits for it. Called before the first window that
// shows the desktop is shown; a second call changes nothing.
void ReadDesktopAhead();
} // namespace platform

// Unloads the form through its normal unload handling once the running event handler has
// returned.
void ksUnloadForm(WindowHandle form);

} // namespace pellora
