#pragma once

// The platform services the program uses, each behind a small interface so that tests can
// put their own network, clock, message boxes and file writer in place of the real ones.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QWidget;

namespace pellora::platform {

// Message box styles and answers, as the window runtime numbers them.
namespace MsgBoxStyle {
constexpr int OKOnly = 0;
constexpr int RetryCancel = 5;
constexpr int Critical = 16;
} // namespace MsgBoxStyle
namespace MsgBoxResult {
constexpr int OK = 1;
constexpr int Cancel = 2;
constexpr int Retry = 4;
} // namespace MsgBoxResult

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Shows a modal message box and returns the answer (1 OK, 2 Cancel, 4 Retry).
    // `detail`, when not empty, is shown beneath the text in smaller print.
    virtual int Show(const QString& text, int style, const QString& title, const QString& detail) = 0;
};

// One opened mailslot. Destroying it closes it.
class MailslotFile {
public:
    virtual ~MailslotFile() = default;
    // Writes one message. Returns false when the message did not leave whole; `reason` may
    // then receive one line for the user (for example why the message is too large).
    virtual bool Write(const QByteArray& message, QString* reason) = 0;
};

class Mailslots {
public:
    virtual ~Mailslots() = default;
    // Opens the mailslot at `path` ("\\PC7\mailslot\messngr") for writing.
    // Returns nullptr when it cannot be opened.
    virtual std::unique_ptr<MailslotFile> Open(const QString& path) = 0;
};

class Shell {
public:
    virtual ~Shell() = default;
    // Asks the desktop to carry out `operation` ("open") on `file`, without waiting for it.
    // `done` receives the result once it is known: a number greater than 32 on success and 32
    // or less on failure. It runs at most once, either before Execute returns or later from the
    // event loop (through the guard of event handlers), possibly after `owner` is gone; it does
    // not run when the program ends first.
    virtual void Execute(QWidget* owner, const QString& operation, const QString& file, const QString& parameters,
                         const QString& directory, int showCommand, std::function<void(int result)> done) = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    // The current local date and time.
    virtual QDateTime Now() = 0;
};

// Pop-up menus to pick one text from a list.
class PickMenus {
public:
    virtual ~PickMenus() = default;
    // Shows `items` in a pop-up menu just under `anchor` ("(empty)", disabled, when there are
    // none) and returns the index of the item chosen, or -1 when none was.
    virtual int Pick(QWidget* anchor, const QStringList& items) = 0;
};

class TextFileWriter;
class ErrorPrompt;
class FormHelper;

struct Services {
    std::shared_ptr<MessageBoxes> messageBoxes;
    std::shared_ptr<Mailslots> mailslots;
    std::shared_ptr<Shell> shell;
    std::shared_ptr<Clock> clock;
    std::shared_ptr<TextFileWriter> textFileWriter;
    std::shared_ptr<ErrorPrompt> errorPrompt;
    std::shared_ptr<FormHelper> formHelper;
    std::shared_ptr<PickMenus> pickMenus;
    // Ends the process at once with the given status, running no further code of the program.
    std::function<void(int status)> terminate;
};

// The program-wide services. Each member is created at first use with the real
// implementation unless a test has put its own in place.
Services& services();
MessageBoxes& messageBoxes();
Mailslots& mailslots();
Shell& shell();
Clock& clock();
TextFileWriter& textFileWriter();
ErrorPrompt& errorPrompt();
FormHelper& formHelper();
PickMenus& pickMenus();

// Drops every service so that the next use creates the real one again.
void ResetServices();

// The message box of the program: always titled with the application's title.
int MsgBox(const QString& text, int style);

} // namespace pellora::platform
