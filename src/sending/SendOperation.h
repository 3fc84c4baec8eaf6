#pragma once

// The send operation: what happens between a click on Send and the close of the main window.
//   Run: input off -> SendCurrentMessage -> input on
//   SendCurrentMessage: check -> record the names -> deliver -> save the local copy -> ask for the close

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

    // Checks that all four texts are filled, records the three names, delivers the message, saves
    // its local copy and asks for the window to close. Stops after the check or a failed delivery;
    // either is told through the window's ShowError.
    void SendCurrentMessage();

    // Writes the local copy of a delivered message into the data folder; a failed write is put
    // before the user through the window's AskRetry.
    void SaveLocalCopy(const QString& from, const QString& to, const QString& computer, const QDateTime& sent,
                       const QString& message);

private:
    SendWindow& window_;
    state::FieldHistories histories_;
    const AppValues& values_;
    bool running_ = false;
};

} // namespace pellora::sending
