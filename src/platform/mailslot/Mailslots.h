#pragma once

// The mailslot service: opening a computer's mailslot and writing one message to it. linux/ and
// win32/ give the real transport (CreateSystemMailslots); tests put their own network in its place
// through services().mailslots.

#include <QByteArray>
#include <QString>

#include <memory>

namespace pellora::platform {

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
    // Returns nullptr when it cannot be opened; `reason` (may be null) then receives one line
    // for the user saying why ("No computer answered to the name PC7."), or is left empty
    // when there is nothing to say.
    virtual std::unique_ptr<MailslotFile> Open(const QString& path, QString* reason) = 0;
};

// The program's mailslots: services().mailslots, made with the real transport at first use.
Mailslots& mailslots();
// The real transport of this platform (linux/Mailslot.cpp, win32/Mailslot.cpp).
std::shared_ptr<Mailslots> CreateSystemMailslots();

} // namespace pellora::platform
