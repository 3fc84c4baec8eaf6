#pragma once

// The send of one message, and the window's send operation built on it.
//   Send: check -> record the names -> deliver -> save the local copy -> the outcome
//   Run (the window): input off -> SendCurrentMessage (Send, then a box or the close) -> input on
// The window and the command line (app/CommandLine.h) are the two front ends of Send.

#include "archive/LocalCopy.h"
#include "platform/runtime/Error.h"
#include "state/AppValues.h"
#include "state/FieldHistories.h"

#include <QDateTime>
#include <QString>

namespace pellora::sending {

// The four texts of a message as the user typed them.
struct MessageTexts {
    QString From;
    QString To;
    QString Computer;
    QString Message;
};

// What became of a send.
enum class SendResult {
    Delivered,    // delivered, and its local copy written
    InputRefused, // the input check refused the texts; nothing recorded or sent
    NotDelivered, // the names recorded, the message not delivered; no local copy
    CopyNotSaved, // delivered, but the local copy was given up after a failed write
};

struct SendOutcome {
    SendResult result = SendResult::Delivered;
    // Empty when delivered; otherwise the text of the box the window shows for it (for
    // CopyNotSaved the text of the Retry box).
    QString text;
    // CopyNotSaved: why the last write failed, as the Retry box shows it beneath the text.
    QString reason;
};

// What a send is given besides the texts: the histories it records the names in (they belong to
// its front end), the data folder and the "~$" prefix (read when the copy is written), and who is
// asked after a failed write of the local copy. Without `askRetry` the copy is given up at once.
// The clock and the mailslots are the program's services (platform::clock(), platform::mailslots()).
struct SendContext {
    state::FieldHistories histories;
    const AppValues& values;
    archive::AskRetry askRetry;
};

// Sends one message: checks that all four texts are filled, records the three names, delivers the
// message and saves its local copy, stopping after a refused check or a failed delivery. Shows
// nothing itself; the outcome says what the user is to be told. Errors of the OEM conversion are
// not caught.
SendOutcome Send(const MessageTexts& texts, const SendContext& context);

// What the send operation needs of the main window.
class SendWindow {
public:
    virtual ~SendWindow() = default;
    // Switches the input controls; when disabling, lets pending window events run once; then
    // shows the hourglass (disabled) or the default pointer (enabled).
    virtual void SetInputEnabled(bool enabled) = 0;
    // True once the window has unloaded (a close among the pending events).
    virtual bool IsUnloaded() const = 0;
    // The texts of txtFrom, txtTo, txtComputer and txtMessage, read in this order.
    virtual MessageTexts ReadTexts() const = 0;
    // An error message box (error icon, one OK button) with the application's title.
    virtual void ShowError(const QString& text) = 0;
    // An error message box with Retry and Cancel (error icon) and the application's title, the
    // failure's description beneath the text. True when the user chose Retry.
    virtual bool AskRetry(const QString& text, const Error& failure) = 0;
    // Asks for the window to be closed; the close takes effect once the running handler returns.
    virtual void RequestClose() = 0;
};

class SendOperation {
public:
    // `histories` and `values` belong to the window and start-up; they outlive the operation.
    SendOperation(SendWindow& window, state::FieldHistories histories, const AppValues& values);

    // The Send button's work: disables the input, sends, enables the input again. A send never
    // starts inside another.
    void Run();

    // Send with the window's texts, a failed write of the copy put before the user through
    // the window's AskRetry; then asks for the window to close. A refused check or a failed
    // delivery is told through the window's ShowError instead, and the window stays.
    void SendCurrentMessage();

private:
    SendWindow& window_;
    state::FieldHistories histories_;
    const AppValues& values_;
    bool running_ = false;
};

} // namespace pellora::sending
