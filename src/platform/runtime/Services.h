#pragma once

// The registry of the platform services the program uses, each behind a small interface so that
// tests can put their own network, clock, message boxes and file writer in place of the real ones.
// The window runtime's own services (clock, pick menus, the end of the process) are declared here,
// its message boxes in MsgBox.h; the layers above declare theirs beside their interfaces (mailslot/Mailslots.h,
// support/Shell.h, components/Components.h) and make the real ones there, so that nothing here
// reaches up.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QWidget;

namespace pellora::platform {

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

class MessageBoxes;
class Mailslots;
class Shell;
class TextFileWriter;
class FormHelper;

struct Services {
    std::shared_ptr<MessageBoxes> messageBoxes;
    std::shared_ptr<Mailslots> mailslots;
    std::shared_ptr<Shell> shell;
    std::shared_ptr<Clock> clock;
    std::shared_ptr<TextFileWriter> textFileWriter;
    std::shared_ptr<FormHelper> formHelper;
    // Ends the process at once with the given status, running no further code of the program.
    std::function<void(int status)> terminate;
    // The OEM conversion of ksAnsiToOem; when empty, the system's (support/Support.h).
    std::function<QByteArray(const QString& text)> ansiToOem;
};

// The program-wide services that tests replace. Each member is created at first use with the
// real implementation unless a test has put its own in place.
Services& services();
Clock& clock();
PickMenus& pickMenus(); // always the real one

// The service in `slot`, made by `create` when there is none yet.
template <class T, class Factory> T& EnsureService(std::shared_ptr<T>& slot, Factory create) {
    if (!slot)
        slot = create();
    return *slot;
}

// Drops every service so that the next use creates the real one again.
void ResetServices();

} // namespace pellora::platform
