#pragma once

// The support library: small window, folder and text services. Every function throws
// pellora::Error when it fails; callers never test a status themselves.
// A "window handle" is the widget itself; nullptr stands for the application as a whole
// (the hidden main window that owns the program's windows).

#include <QByteArray>
#include <QString>

class QPainter;
class QWidget;

namespace pellora {

using WindowHandle = QWidget*;

// Folder numbers of ksGetSpecialFolder.
namespace SpecialFolder {
constexpr int AppData = 26; // the per-user application-data folder
}

// Registers the program's application path with the system. Its result is not examined.
void ksRegisterAppPath();

// True only when the program runs inside its development environment; never in this build.
bool ksIsInIDE();

// The application's hidden main window (nullptr: the application itself).
WindowHandle ksGetThunderMainHandle();

// Gives the window (or, for nullptr, the whole application) the icon resource `resourceName`.
void ksSetWindowResIconAll(WindowHandle window, const QString& resourceName);

// Full path of a special folder; 26 is the per-user application-data folder.
QString ksGetSpecialFolder(int folder);

// The path of `name` inside `folder`; a backslash in `name` separates folders.
QString ksBuildFileName(const QString& folder, const QString& name);

// Creates every missing level of `path`. True when the folder exists afterwards.
bool ksCreateComplexDirectory(const QString& path);

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

// The text in the OEM code page of the system, one byte form per character; a character the
// code page lacks becomes '?'. Converts through services().ansiToOem when a test has put one
// there, else through platform::SystemAnsiToOem.
QByteArray ksAnsiToOem(const QString& text);

// Unloads the form through its normal unload handling once the running event handler has
// returned.
void ksUnloadForm(WindowHandle form);

namespace platform {
// The system's OEM conversion (posix/Oem.cpp, win32/Oem.cpp).
QByteArray SystemAnsiToOem(const QString& text);
} // namespace platform

} // namespace pellora
