#pragma once

// The registry of the platform services the program uses, each behind a small interface so that
// tests can put their own network, clock, message boxes and file writer in place of the real ones.
// The clock and the end of the process are declared here, the message boxes in MsgBox.h (the
// window side makes the real ones, window/WindowServices.h); the layers above declare theirs
// beside their interfaces (mailslot/Mailslots.h, support/Shell.h, components/Components.h) and
// make the real ones there, so that nothing here reaches up.

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>
#include <memory>

namespace pellora::platform {

class Clock {
public:
    virtual ~Clock() = default;
    // The current local date and time.
    virtual QDateTime Now() = 0;
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

// The service in `slot`, made by `create` when there is none yet.
template <class T, class Factory> T& EnsureService(std::shared_ptr<T>& slot, Factory create) {
    if (!slot)
        slot = create();
    return *slot;
}

// Drops every service so that the next use creates the real one again.
void ResetServices();

} // namespace pellora::platform
