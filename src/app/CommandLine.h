#pragma once

// The command line: what it asks for, and the send without a window, the second front end of
// sending::Send beside the main window.
//   pellora --send --from NAME --to NAME --computer NAME [--] [TEXT...]
//   pellora [--from NAME] [--to NAME] [--computer NAME] [--] [TEXT...]   (the window, filled in)
//   pellora --help | --version

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace pellora::commandLine {

// The exit statuses of a send from the command line.
namespace Status {
constexpr int Delivered = 0;    // delivered, and its local copy written
constexpr int InputRefused = 1; // a field is empty: nothing recorded or sent
constexpr int NotDelivered = 2; // not delivered (also when the data folder cannot be used)
constexpr int CopyNotSaved = 3; // delivered, the local copy not written
constexpr int Usage = 64;       // wrong arguments, or a message that is not UTF-8: nothing done
constexpr int Unexpected = 70;  // an error the program does not expect (a run-time error)
} // namespace Status

enum class Mode { Window, Send, Help, Version };

// What the arguments ask for. A name or message that was not given is left empty (nullopt).
struct Request {
    Mode mode = Mode::Window;
    std::optional<QString> from;
    std::optional<QString> to;
    std::optional<QString> computer;
    // The TEXT words joined with single blanks; nullopt when there were none.
    std::optional<QString> message;
    // Not empty when the arguments are wrong: the one line that says why (status 64).
    QString error;
};

// Reads the arguments (without the program's name). Options may stand anywhere before "--";
// after it, every word is TEXT. --help wins over --version, and both over the rest. A name
// longer than a name field takes, or with a line break, is an error, as is an unknown option
// or an option without its value.
Request Parse(const QStringList& arguments);

// The message as the window's message field sends what it was given: every line break (CR LF, a
// lone CR, a lone LF, a paragraph separator) becomes CR LF; nothing else changes.
QString WithWindowLineBreaks(const QString& text);

// The standard input's bytes as the message: UTF-8 (a byte order mark at the start is dropped);
// nullopt when they are not UTF-8.
std::optional<QString> DecodeMessage(const QByteArray& bytes);

// A box's text as one line of the standard error: its first line, ": ", then its other lines that
// are not empty, joined with single blanks. A text of one line stays as it is.
QString OneLine(const QString& boxText);

QString HelpText();
// "<title> <version>", the version the about box shows.
QString VersionText();

// Runs what `request` asks for that needs no window (Send, Help, Version; or an error) in a
// QCoreApplication made from argc and argv, and returns the exit status. A send takes the data
// folder and the histories as the window does, reads the "~$" prefix from the stored settings
// and stores nothing else of them; a failed write of the local copy is not tried again. Every
// failure is one line on the standard error; nothing is asked.
int Run(const Request& request, int& argc, char** argv);

} // namespace pellora::commandLine
