#pragma once

// The program's console: its arguments, standard input, output and error, for the command line.
// The system halves are posix/Console.cpp and win32/Console.cpp.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace pellora::platform {

// The program's arguments as the system hands them over, without the program's own name; nothing
// when one of them is not text (on Unix: bytes that are not UTF-8).
std::optional<QStringList> ProgramArguments(int argc, char** argv);

// A windowed program started from a console writes to that console: on Windows, where such a
// program gets no standard output or error of its own, it attaches to its parent's console for
// those that were not handed to it. Nothing elsewhere.
void UseParentConsole();

// Writes `text` to the standard output or error, as it is: UTF-8 bytes, or on a Windows console
// its characters. Nothing is written where there is none.
void WriteStandardOutput(const QString& text);
void WriteStandardError(const QString& text);

// The standard input's bytes up to its end. Empty where there is none (on Windows also where it
// is the console a windowed program shares with its parent). Throws Error when it cannot be read.
QByteArray ReadStandardInput();

} // namespace pellora::platform
