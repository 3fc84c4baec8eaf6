#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/window/Form.h"
#include "sending/SendOperation.h"
#include "state/AppValues.h"
#include "ui/TextBoxes.h"

#include <array>
#include <memory>
#include <optional>

class QLabel;
class QPushButton;

namespace pellora {

namespace platform {
class HistoryList;
}

// Texts the main window's fields start with instead of the stored ones (given on the command
// line); a field without one shows what is stored, the message field stays empty.
struct StartTexts {
    std::optional<QString> From;
    std::optional<QString> To;
    std::optional<QString> Computer;
    std::optional<QString> Message;
};

// The main window. `values` (the data folder, the "~$" prefix) belong to start-up and outlive it.
class frmMain : public QWidget, private sending::SendWindow {
    Q_OBJECT
public:
    explicit frmMain(AppValues& values, QWidget* parent = nullptr);

    // Runs the load handler; called once by start-up before the window is shown.
    void Load();
    // Puts the given texts into their fields, over what the load handler put there.
    void FillFields(const StartTexts& texts);

    // Controls, in tab order.
    std::array<QLabel*, 3> lblTag{};
    NameTextBox* txtFrom = nullptr;
    QPushButton* cmdFromHistory = nullptr;
    NameTextBox* txtTo = nullptr;
    QPushButton* cmdToHistory = nullptr;
    NameTextBox* txtComputer = nullptr;
    QPushButton* cmdComputerHistory = nullptr;
    MessageTextBox* txtMessage = nullptr;
    QPushButton* cmdSendHotkeyOption = nullptr;
    QPushButton* cmdSettings = nullptr;
    QPushButton* cmdOpenDataPath = nullptr;
    QPushButton* cmdSend = nullptr;

    std::unique_ptr<platform::HistoryList> FromHistory;
    std::unique_ptr<platform::HistoryList> ToHistory;
    std::unique_ptr<platform::HistoryList> ComputerHistory;
    bool SuppressKeyPress = false;

    // The band of the layout's background shape that lies inside the window.
    static QRect ShapeBand();
    // platform::MousePointer::Hourglass while a send runs, Default otherwise.
    int MousePointer() const { return runtime_.MousePointer(); }

    // Window events.
    void Form_Load();
    void Form_Unload();
    void Form_KeyDown(int KeyCode, int Shift);
    void Form_Paint(QPainter& painter);

    // Sending: the click runs the send operation (sending/SendOperation.h).
    void cmdSend_Click();
    void SetInputEnabled(bool enabled) override;

    // Histories, data folder, settings dialog.
    void cmdFromHistory_Click();
    void cmdToHistory_Click();
    void cmdComputerHistory_Click();
    void cmdOpenDataPath_Click();
    void cmdSettings_Click();
    void txtFrom_GotFocus();
    void txtTo_GotFocus();
    void txtComputer_GotFocus();

    // Send hotkey option and keyboard sending.
    void SetSendHotkeyOption(int option);
    int GetSendHotkeyOption();
    static QString SendHotkeyName(int option);
    void HandleSendHotkey(int KeyCode, int Shift);
    void cmdSendHotkeyOption_Click();
    void txtMessage_KeyDown(int& KeyCode, int& Shift);
    void txtMessage_KeyPress(int& KeyAscii);

    // Stored settings.
    void LoadSettings();
    void SaveSettings();

    // True once the window has unloaded; its handlers then do nothing more.
    bool IsUnloaded() const override { return runtime_.IsUnloaded(); }

signals:
    // The unload handler has run to its end: the settings and the lists are stored.
    void Unloaded();

protected:
    void paintEvent(QPaintEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    // What the send operation reads from and asks of the window.
    sending::MessageTexts ReadTexts() const override;
    void ShowError(const QString& text) override;
    bool AskRetry(const QString& text, const Error& failure) override;
    void RequestClose() override;
    // An error message box (error icon, one OK button) with the application's title.
    static void ErrorBox(const QString& text);
    // The error box of a data folder the desktop could not show; none while one is up.
    static void DataFolderErrorBox(const QString& text);

    void CreateControls();
    // Names and descriptions for screen readers; the fields' labels become their buddies.
    void SetAccessibleNames();
    // The message field's own key handling; true when the key was used up.
    bool MessageKey(QKeyEvent& event);
    // The GotFocus handler of `control`, if it has one.
    void GotFocus(QWidget* control);

    AppValues& values_;
    sending::SendOperation send_{*this, {FromHistory, ToHistory, ComputerHistory}, values_};
    // The window runtime: handlers counted and guarded, the close deferred while they run, the
    // keys seen first.
    platform::Form runtime_;
    bool loaded_ = false;
    bool messageKeyUsed_ = false;
    // A Ctrl+Enter send lets the pending events run: a second Ctrl+Enter among them sends nothing.
    bool ctrlEnterWaiting_ = false;
    // Clicks of cmdSend so far; a send key that finds one happened while it waited sends nothing.
    int sendClicks_ = 0;
    // A send has asked for the close: the window takes no further send.
    bool closeRequested_ = false;
    // The control that had the focus when the input was disabled; it gets it back afterwards.
    QPointer<QWidget> focusBeforeDisable_;
};

} // namespace pellora
