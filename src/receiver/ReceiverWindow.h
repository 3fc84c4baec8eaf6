#pragma once

// The receiver's one window: the received messages, newest first, the one chosen in full as plain
// text, Reply; and where the desktop has a tray, a tray icon with the count of unread messages and
// one notification for the messages that arrive together.

#include "receiving/Receiver.h"

#include <QWidget>

class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QSystemTrayIcon;

namespace pellora::receiver {

struct WindowOptions {
    QStringList listening; // what the port listens on
    QString notice;        // what the system may keep from the receiver, who answers for the name
    bool bringToFront = false;
    QString pellora; // the sending program Reply starts
};

class ReceiverWindow : public QWidget {
    Q_OBJECT

public:
    ReceiverWindow(receiving::Receiver& receiver, WindowOptions options, QWidget* parent = nullptr);

    // Shows the window and brings it to the front (a second start, the tray icon).
    void ShowAndRaise();
    int unread() const { return unread_; }
    // Replaces what the port says of the system or of this computer's name.
    void SetNotice(const QString& notice);
    // The arguments Reply gives the sending program for the message at `row` (0: the newest).
    QStringList ReplyArguments(int row) const;

protected:
    bool event(QEvent* event) override;

private:
    void ScheduleRefresh();
    void Refresh();
    void ShowSelected();
    void Reply();
    void UpdateStatus();
    void Notify();

    receiving::Receiver& receiver_;
    WindowOptions options_;
    QLabel* status_;
    QListWidget* list_;
    QPlainTextEdit* view_;
    QPushButton* reply_;
    QSystemTrayIcon* tray_ = nullptr;
    bool refreshPending_ = false;
    bool notifyPending_ = false;
    int unread_ = 0;
    int announced_ = 0; // messages since the last notification
};

// The message as the window shows it in full: the header lines, a blank line, the text with its
// control characters (but line breaks and tabs) made visible.
QString FullText(const receiving::ReceivedMessage& message);

// One line for the list: time received, From, To, the computer and the text's start, control
// characters made visible.
QString ListLine(const receiving::ReceivedMessage& message);

} // namespace pellora::receiver
