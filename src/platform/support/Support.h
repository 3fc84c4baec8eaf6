#pragma once

// The support library: small folder and text services; its window services are the window
// side's (window/WindowSupport.h). Every function throws pellora::Error when it fails; callers
// never test a status themselves.

#include <QByteArray>
#include <QString>

namespace pellora {

// Folder numbers of ksGetSpecialFolder.
namespace SpecialFolder {
constexpr int AppData = 26; // the per-user application-data folder
}

// Registers the program's application path with the system. Its result is not examined.
void ksRegisterAppPath();

// True only when the program runs inside its development environment; never in this build.
bool ksIsInIDE();

// Full path of a special folder; 26 is the per-user application-data folder.
QString ksGetSpecialFolder(int folder);

// The path of `name` inside `folder`; a backslash in `name` separates folders.
QString ksBuildFileName(const QString& folder, const QString& name);

// Creates every missing level of `path`. True when the folder exists afterwards.
bool ksCreateComplexDirectory(const QString& path);

// The text in the OEM code page of the system, one byte form per character; a character the
// code page lacks becomes '?'. Converts through services().ansiToOem when a test has put one
// there, else through platform::SystemAnsiToOem.
QByteArray ksAnsiToOem(const QString& text);

namespace platform {
// The system's OEM conversion (posix/Oem.cpp, win32/Oem.cpp).
QByteArray SystemAnsiToOem(const QString& text);
} // namespace platform

} // namespace pellora
