#pragma once

// The registry of the platform services the program uses, each behind a small interface so that
// tests can put their own network, clock, message boxes and file writer in place of the real ones.
// The window runtime's own services (message boxes, clock, pick menus, the end of the process) are
// declared here; the layers above declare theirs beside their interfaces (mailslot/Mailslots.h,
// support/Shell.h, components/Components.h) and make the real ones there, so that nothing here
// reaches up.

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QWidget;

namespace pellora::platform {

// Message box styles and answers, as the window runtime numbers them.
namespace MsgBoxStyle {
// The buttons: the low four bits.
constexpr int ButtonsMask = 0x0F;
constexpr int OKOnly = 0;
constexpr int RetryCancel = 5;
// The icon: the next three bits.
constexpr int IconMask = 0x70;
constexpr int Critical = 16;
constexpr int Question = 32;
constexpr int Exclamation = 48;
constexpr int Information = 64;
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

class Mailslots;
class Shell;
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
Clock& clock();
PickMenus& pickMenus();

// The service in `slot`, made by `create` when there is none yet.
template <class T, class Factory> T& EnsureService(std::shared_ptr<T>& slot, Factory create) {
    if (!slot)
        slot = create();
    return *slot;
}

// Drops every service so that the next use creates the real one again.
void ResetServices();

// The message box of the program: always titled with the application's title.
int MsgBox(const QString& text, int style);

} // namespace pellora::platform
