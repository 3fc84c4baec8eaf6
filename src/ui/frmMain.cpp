#include "ui/frmMain.h"

#include "archive/DataFolder.h"
#include "platform/components/Components.h"
#include "platform/components/HistoryList.h"
#include "platform/runtime/App.h"
#include "platform/runtime/Error.h"
#include "platform/runtime/Guard.h"
#include "platform/runtime/MsgBox.h"
#include "platform/runtime/Services.h"
#include "platform/support/Support.h"
#include "platform/window/FormHelper.h"
#include "platform/window/WindowSupport.h"
#include "state/FieldHistories.h"
#include "state/Settings.h"
#include "ui/Appearance.h"
#include "ui/TextBoxes.h"
#include "ui/frmSettings.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScopeGuard>

#include <algorithm>
#include <cmath>

namespace pellora {

using platform::Guarded;
namespace Key = platform::Key;
namespace Mask = platform::Mask;
using platform::ShiftMask;
using platform::VirtualKey;

namespace {

const QString kIcon = QStringLiteral("A_MAIN");
const QString kDedication = QStringLiteral("To Lia");
const char* const kTag = "Tag";

// The send hotkey options, by number: which key sends the message, how it does, and the caption
// of cmdSendHotkeyOption. The option is held, read and stored as its number (decimal text in the
// Tag of cmdSendHotkeyOption, a 32-bit integer in the settings); the option button goes through
// the rows in order. A new hotkey is one row here.
enum class SendsBy {
    MessageField,  // the message field's own key: only there, and the line break it would type is
                   // never inserted (txtMessage_KeyDown)
    DefaultButton, // Send is the window's default button, which the key presses from any control
    Window,        // the window presses Send, whichever control has the focus (HandleSendHotkey)
};
struct SendHotkey {
    const char* caption;
    int key;
    int mask;
    SendsBy by;
};
constexpr std::array kSendHotkeys{SendHotkey{"Ctrl+Enter", Key::Enter, Mask::Ctrl, SendsBy::MessageField},
                                  SendHotkey{"Enter", Key::Enter, Mask::None, SendsBy::DefaultButton},
                                  SendHotkey{"F5", Key::F5, Mask::None, SendsBy::Window},
                                  SendHotkey{"F12", Key::F12, Mask::None, SendsBy::Window}};
constexpr int kSendHotkeyCount = int(kSendHotkeys.size());

// The hotkey of option `option`; an option out of range has none.
const SendHotkey* SendHotkeyOf(int option) {
    return option >= 0 && option < kSendHotkeyCount ? &kSendHotkeys[std::size_t(option)] : nullptr;
}

// Whether the key `code` with the modifiers `mask` is the chosen option's hotkey, sending `by`.
bool IsSendHotkey(int option, int code, int mask, SendsBy by) {
    const SendHotkey* hotkey = SendHotkeyOf(option);
    return hotkey != nullptr && hotkey->by == by && hotkey->key == code && hotkey->mask == mask;
}

QRect FromTwips(int left, int top, int width, int height) {
    return QRect(ui::Twips(left), ui::Twips(top), ui::Twips(width), ui::Twips(height));
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, QRect geometry,
                        const QString& toolTip = QString()) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(geometry);
    button->setAutoDefault(false);
    button->setFocusPolicy(Qt::StrongFocus);
    if (!toolTip.isEmpty())
        button->setToolTip(toolTip);
    return button;
}

NameTextBox* MakeField(QWidget* parent, const char* name, QRect geometry) {
    auto* field = new NameTextBox(parent, QLatin1String(name));
    field->setGeometry(geometry);
    return field;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Construction and layout

frmMain::frmMain(AppValues& values, QWidget* parent)
    : QWidget(parent, Qt::Window), values_(values),
      runtime_(*this, {.unload = [this] { Form_Unload(); },
                       .unloaded = [this] { emit Unloaded(); },
                       .keyDown = [this](int keyCode, int shift) { Form_KeyDown(keyCode, shift); },
                       .gotFocus = [this](QWidget* control) { GotFocus(control); }}) {
    // The desktop shows through the window: its wallpaper is read while the window is made.
    platform::ReadDesktopAhead();
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Pellora"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFont(ui::FormFont());
    setFixedSize(ui::Twips(5775), ui::Twips(4875));
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    {
        const ui::FormFontScope formFont(font());
        CreateControls();
    }
    SetAccessibleNames();
}

void frmMain::CreateControls() {
    const QString captions[3] = {QStringLiteral("From:"), QStringLiteral("To:"), QStringLiteral("Computer:")};
    const int labelTops[3] = {160, 640, 1125};
    for (int i = 0; i < 3; ++i) {
        auto* label = new QLabel(captions[i], this);
        label->setObjectName(QStringLiteral("lblTag%1").arg(i));
        label->setAutoFillBackground(true);
        label->setBackgroundRole(QPalette::Button);
        label->setFocusPolicy(Qt::NoFocus);
        label->move(ui::Twips(180), ui::Twips(labelTops[i]));
        label->adjustSize(); // exactly as wide as its caption, one line high
        lblTag[i] = label;
    }
    const QString history = QStringLiteral(" History ");
    txtFrom = MakeField(this, "txtFrom", FromTwips(1260, 120, 3975, 375));
    cmdFromHistory = MakeButton(this, "cmdFromHistory", QStringLiteral("H!"), FromTwips(5280, 120, 375, 375), history);
    txtTo = MakeField(this, "txtTo", FromTwips(1260, 600, 3975, 375));
    cmdToHistory = MakeButton(this, "cmdToHistory", QStringLiteral("H!"), FromTwips(5280, 600, 375, 375), history);
    txtComputer = MakeField(this, "txtComputer", FromTwips(1260, 1080, 3975, 375));
    cmdComputerHistory =
        MakeButton(this, "cmdComputerHistory", QStringLiteral("H!"), FromTwips(5280, 1080, 375, 375), history);
    txtMessage = new MessageTextBox(this, [this](QKeyEvent& key) {
        bool used = false;
        runtime_.Handle([&] { used = MessageKey(key); });
        return used || runtime_.IsUnloaded();
    });
    txtMessage->setGeometry(FromTwips(120, 1560, 5535, 2655));
    cmdSendHotkeyOption =
        MakeButton(this, "cmdSendHotkeyOption", QStringLiteral("Ctrl+Enter"), FromTwips(120, 4320, 1215, 435));
    cmdSendHotkeyOption->setProperty(kTag, QStringLiteral("0"));
    cmdSettings = MakeButton(this, "cmdSettings", QStringLiteral("S!"), FromTwips(3060, 4320, 435, 435),
                             QStringLiteral(" Open settings dialog "));
    cmdOpenDataPath = MakeButton(this, "cmdOpenDataPath", QStringLiteral("D!"), FromTwips(3600, 4320, 435, 435),
                                 QStringLiteral(" Open data folder "));
    cmdSend = MakeButton(this, "cmdSend", QStringLiteral("Send"), FromTwips(4140, 4320, 1515, 435));
    cmdSend->setDefault(true);

    QWidget* const order[] = {txtFrom,     cmdFromHistory,     txtTo,      cmdToHistory,
                              txtComputer, cmdComputerHistory, txtMessage, cmdSendHotkeyOption,
                              cmdSettings, cmdOpenDataPath,    cmdSend};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    auto on = [this](QPushButton* button, void (frmMain::*handler)()) {
        connect(button, &QPushButton::clicked, this,
                [this, handler] { runtime_.Handle([this, handler] { (this->*handler)(); }); });
    };
    on(cmdSend, &frmMain::cmdSend_Click);
    on(cmdFromHistory, &frmMain::cmdFromHistory_Click);
    on(cmdToHistory, &frmMain::cmdToHistory_Click);
    on(cmdComputerHistory, &frmMain::cmdComputerHistory_Click);
    on(cmdOpenDataPath, &frmMain::cmdOpenDataPath_Click);
    on(cmdSettings, &frmMain::cmdSettings_Click);
    on(cmdSendHotkeyOption, &frmMain::cmdSendHotkeyOption_Click);
}

void frmMain::SetAccessibleNames() {
    setAccessibleDescription(QStringLiteral("Sends a message to a computer on the local network"));
    struct Field {
        QLabel* label;
        QWidget* field;
        const char* description;
        QPushButton* history;
        const char* historyName;
        const char* historyDescription;
    };
    const Field fields[] = {
        {lblTag[0], txtFrom, "Your name, as the receiver sees it", cmdFromHistory, "Sender history",
         "Pick a sender name used before"},
        {lblTag[1], txtTo, "The name of the person the message is for", cmdToHistory, "Recipient history",
         "Pick a recipient name used before"},
        {lblTag[2], txtComputer, "The computer that receives the message: its network name or IP address",
         cmdComputerHistory, "Computer history", "Pick a computer used before"},
    };
    for (const Field& f : fields) {
        f.label->setBuddy(f.field);
        f.label->setAccessibleName(f.label->text());
        f.label->setAccessibleDescription(QStringLiteral("Label of the field beside it"));
        f.field->setAccessibleName(f.label->text());
        f.field->setAccessibleDescription(QLatin1String(f.description));
        f.history->setAccessibleName(QLatin1String(f.historyName));
        f.history->setAccessibleDescription(QLatin1String(f.historyDescription));
    }
    txtMessage->setAccessibleName(QStringLiteral("Message"));
    txtMessage->setAccessibleDescription(QStringLiteral("The text of the message"));
    // No fixed name: the button's name is its caption, the send key of the moment.
    cmdSendHotkeyOption->setAccessibleDescription(
        QStringLiteral("The key that sends the message from the message field; press to choose the next one"));
    cmdSettings->setAccessibleName(QStringLiteral("Settings"));
    cmdSettings->setAccessibleDescription(QStringLiteral("Open the settings dialog"));
    cmdOpenDataPath->setAccessibleName(QStringLiteral("Open data folder"));
    cmdOpenDataPath->setAccessibleDescription(
        QStringLiteral("Show the folder that holds the local copies of sent messages and the histories"));
    cmdSend->setAccessibleName(QStringLiteral("Send"));
    cmdSend->setAccessibleDescription(QStringLiteral("Send the message, keep a local copy and close"));
}

QRect frmMain::ShapeBand() {
    return FromTwips(-600, -720, 2235, 6135).intersected(QRect(0, 0, ui::Twips(5775), ui::Twips(4875)));
}

void frmMain::Load() {
    if (loaded_)
        return;
    loaded_ = true;
    Form_Load();
}

void frmMain::FillFields(const StartTexts& texts) {
    if (texts.From)
        txtFrom->setText(*texts.From);
    if (texts.To)
        txtTo->setText(*texts.To);
    if (texts.Computer)
        txtComputer->setText(*texts.Computer);
    if (texts.Message)
        txtMessage->SetText(*texts.Message);
}

// ---------------------------------------------------------------------------------------------
// Window events

void frmMain::Form_Load() {
    ksCenterFormEx(this);
    if (!ksIsInIDE())
        ksSetWindowResIconAll(this, kIcon);

    state::LoadHistories({FromHistory, ToHistory, ComputerHistory});
    LoadSettings();
    txtMessage->setFocus(Qt::OtherFocusReason);
}

void frmMain::Form_Unload() {
    SaveSettings();
    state::SaveHistories({FromHistory, ToHistory, ComputerHistory});
}

void frmMain::Form_KeyDown(int KeyCode, int Shift) {
    if (KeyCode == Key::F1 && Shift == Mask::Shift) {
        platform::formHelper().ShowAbout(this, App(), QString(), nullptr, kDedication);
    } else if (KeyCode == Key::Escape && Shift == Mask::None) {
        runtime_.Unload();
    } else {
        HandleSendHotkey(KeyCode, Shift);
    }
}

void frmMain::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    Guarded([&] { Form_Paint(painter); });
}

void frmMain::moveEvent(QMoveEvent* event) {
    // The desktop shows through the window: a new position shows another part of it.
    update();
    QWidget::moveEvent(event);
}

void frmMain::Form_Paint(QPainter& painter) {
    ksPaintDesktop(this, painter);
    // The background shape: a band in the button-face colour behind the field labels.
    painter.fillRect(ShapeBand(), palette().color(QPalette::Button));
}

void frmMain::GotFocus(QWidget* control) {
    if (control == txtFrom)
        txtFrom_GotFocus();
    else if (control == txtTo)
        txtTo_GotFocus();
    else if (control == txtComputer)
        txtComputer_GotFocus();
}

void frmMain::txtFrom_GotFocus() { ksHighlightText(QApplication::focusWidget()); }
void frmMain::txtTo_GotFocus() { ksHighlightText(QApplication::focusWidget()); }
void frmMain::txtComputer_GotFocus() { ksHighlightText(QApplication::focusWidget()); }

// ---------------------------------------------------------------------------------------------
// Keys: the window sees every key before the control that has the focus (platform/window/Form.h).

bool frmMain::MessageKey(QKeyEvent& event) {
    int code = VirtualKey(event);
    int shift = ShiftMask(event);
    messageKeyUsed_ = false;
    txtMessage_KeyDown(code, shift);
    if (messageKeyUsed_)
        return true;
    // The character the key types, if any, as the message field's character event.
    QString text = event.text();
    if (text.isEmpty() && code == Key::A && shift == Mask::Ctrl)
        text = QString(QChar(1));
    if (text.isEmpty())
        return false;
    int keyAscii = text.at(0).unicode();
    txtMessage_KeyPress(keyAscii);
    return keyAscii == 0;
}

// ---------------------------------------------------------------------------------------------
// Sending

void frmMain::cmdSend_Click() {
    ++sendClicks_;
    // Once a send has asked for the close, a click or a send key queued behind it sends no second time.
    if (closeRequested_)
        return;
    send_.Run();
}

void frmMain::SetInputEnabled(bool enabled) {
    QWidget* const controls[] = {txtMessage,      txtComputer,         txtFrom,           txtTo,     cmdSend,
                                 cmdOpenDataPath, cmdSendHotkeyOption, lblTag[0],         lblTag[1], lblTag[2],
                                 cmdToHistory,    cmdFromHistory,      cmdComputerHistory};
    if (!enabled) {
        // Qt would move the focus on from a disabled control to the next enabled one, the one
        // button left, where a key typed during the send (Enter, Space) would click it. The window
        // keeps the focus itself instead: keys then reach only its own key handling.
        focusBeforeDisable_ = focusWidget();
        if (focusBeforeDisable_ != nullptr)
            focusBeforeDisable_->clearFocus();
    }
    for (QWidget* control : controls)
        control->setEnabled(enabled);
    if (enabled) {
        // The focus goes back where it was when the send began, not to the one control that stayed enabled.
        QWidget* const previous = focusBeforeDisable_;
        focusBeforeDisable_ = nullptr;
        if (previous != nullptr && previous->isEnabled())
            previous->setFocus(Qt::ActiveWindowFocusReason);
    }
    if (!enabled)
        QCoreApplication::processEvents();
    runtime_.SetMousePointer(enabled ? platform::MousePointer::Default : platform::MousePointer::Hourglass);
}

sending::MessageTexts frmMain::ReadTexts() const {
    return {txtFrom->text(), txtTo->text(), txtComputer->text(), txtMessage->Text()};
}

void frmMain::ShowError(const QString& text) { ErrorBox(text); }

void frmMain::ErrorBox(const QString& text) { platform::MsgBox(text, platform::MsgBoxStyle::Critical); }

bool frmMain::AskRetry(const QString& text, const Error& failure) {
    bool logged = false;
    const platform::MsgBoxStyle style = platform::MsgBoxStyle::RetryCancel | platform::MsgBoxStyle::Critical;
    return platform::errorPrompt().ShowError(failure, style, platform::ErrorPrompt::kReserved, text, logged) ==
           platform::MsgBoxResult::Retry;
}

void frmMain::RequestClose() {
    closeRequested_ = true;
    ksUnloadForm(this);
}

// ---------------------------------------------------------------------------------------------
// Buttons

void frmMain::cmdFromHistory_Click() { FromHistory->PickInto(*txtFrom); }
void frmMain::cmdToHistory_Click() { ToHistory->PickInto(*txtTo); }
void frmMain::cmdComputerHistory_Click() { ComputerHistory->PickInto(*txtComputer); }
// The desktop's answer may come after the window has gone: the box needs nothing of it.
void frmMain::cmdOpenDataPath_Click() {
    archive::OpenDataFolder(winId(), values_.DataPath, &frmMain::DataFolderErrorBox);
}

void frmMain::DataFolderErrorBox(const QString& text) {
    // Quick clicks on a desktop that cannot show the folder fail one after the other, each
    // while the box of the one before is up: the box already up tells it, once.
    static bool up = false;
    if (up)
        return;
    up = true;
    struct Down {
        ~Down() { up = false; }
    } down;
    ErrorBox(text);
}

void frmMain::cmdSettings_Click() {
    auto dialog = std::make_unique<frmSettings>(values_);
    dialog->Load();
    dialog->exec();
}

// ---------------------------------------------------------------------------------------------
// Send hotkey option

QString frmMain::SendHotkeyName(int option) {
    const SendHotkey* hotkey = SendHotkeyOf(option);
    return hotkey != nullptr ? QString::fromLatin1(hotkey->caption) : QStringLiteral("?");
}

void frmMain::SetSendHotkeyOption(int option) {
    if (SendHotkeyOf(option) == nullptr)
        option = 0;
    cmdSendHotkeyOption->setProperty(kTag, QString::number(option));
    cmdSendHotkeyOption->setText(SendHotkeyName(option));
    cmdSend->setDefault(SendHotkeyOf(option)->by == SendsBy::DefaultButton);
}

int frmMain::GetSendHotkeyOption() {
    // A tag that is no whole number in range reads as 0, silently.
    const QString tag = cmdSendHotkeyOption->property(kTag).toString().trimmed();
    bool ok = false;
    const int value = tag.toInt(&ok);
    if (ok)
        return value;
    const double number = tag.toDouble(&ok);
    if (ok && std::isfinite(number) && number >= -2147483648.5 && number < 2147483647.5)
        return static_cast<int>(std::nearbyint(number));
    return 0;
}

void frmMain::cmdSendHotkeyOption_Click() {
    const int option = GetSendHotkeyOption() + 1;
    SetSendHotkeyOption(option < kSendHotkeyCount ? option : 0);
}

void frmMain::HandleSendHotkey(int KeyCode, int Shift) {
    if (IsSendHotkey(GetSendHotkeyOption(), KeyCode, Shift, SendsBy::Window))
        platform::formHelper().PressButton(cmdSend);
}

void frmMain::txtMessage_KeyDown(int& KeyCode, int& Shift) {
    if (KeyCode == Key::A && Shift == Mask::Ctrl) {
        ksHighlightText(txtMessage);
        SuppressKeyPress = true;
        return;
    }
    if (IsSendHotkey(GetSendHotkeyOption(), KeyCode, Shift, SendsBy::MessageField)) {
        // The line break this key would type is never inserted.
        messageKeyUsed_ = true;
        // A Ctrl+Enter queued behind one that waits below: that one sends, this one is dropped.
        if (ctrlEnterWaiting_)
            return;
        const QString text = txtMessage->Text();
        txtMessage->Tag = text;
        const int clicks = sendClicks_;
        ctrlEnterWaiting_ = true;
        const auto waited = qScopeGuard([this] { ctrlEnterWaiting_ = false; });
        QCoreApplication::processEvents();
        // A close among the pending events waits for this handler, so the window still stands;
        // a send among them (a click on Send) was this key's send.
        if (runtime_.IsUnloaded() || sendClicks_ != clicks)
            return;
        if (txtMessage->Text() != text)
            txtMessage->SetText(text);
        platform::formHelper().PressButton(cmdSend);
    }
}

void frmMain::txtMessage_KeyPress(int& KeyAscii) {
    if (SuppressKeyPress) {
        KeyAscii = 0;
        SuppressKeyPress = false;
    }
}

// ---------------------------------------------------------------------------------------------
// Stored settings

void frmMain::LoadSettings() {
    state::LoadSettings(values_, [this](state::Setting setting, const QVariant& value) {
        switch (setting) {
        case state::Setting::From: txtFrom->setText(value.toString()); break;
        case state::Setting::To: txtTo->setText(value.toString()); break;
        case state::Setting::Machine: txtComputer->setText(value.toString()); break;
        case state::Setting::SendHotkeyOption: SetSendHotkeyOption(value.toInt()); break;
        default: break; // the program-wide options: read into values_ by the table
        }
    });
}

void frmMain::SaveSettings() {
    state::SaveSettings(values_, [this](state::Setting setting) -> QVariant {
        switch (setting) {
        case state::Setting::From: return txtFrom->text();
        case state::Setting::To: return txtTo->text();
        case state::Setting::Machine: return txtComputer->text();
        case state::Setting::SendHotkeyOption: return GetSendHotkeyOption();
        default: return QVariant(); // the program-wide options: written from values_ by the table
        }
    });
}

} // namespace pellora
