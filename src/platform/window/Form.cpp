#include "platform/window/Form.h"

#include "platform/runtime/Guard.h"
#include "platform/window/WindowSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <utility>

namespace pellora::platform {

namespace {

// How long after a form is first shown the hourglass is made ready: after the first paint
// and the window manager's activation, and before a person can have typed a message to send.
constexpr int kHourglassDelayMs = 100;

// Loads the hourglass pointer (on X11 the cursor theme's file, sent to the display server) into
// the platform's cache of pointers, so that the first send does not wait for it. It is set on a
// window of its own that is never shown, so the pointer over the program's windows stays as it is.
void LoadHourglass() {
    QWindow unseen;
    unseen.create();
    unseen.setCursor(Qt::WaitCursor);
}

// Schedules LoadHourglass once per run, at the first form shown.
void ReadyHourglass() {
    static bool scheduled = false;
    if (scheduled)
        return;
    scheduled = true;
    QTimer::singleShot(kHourglassDelayMs, qApp, [] { LoadHourglass(); });
}

} // namespace

int VirtualKey(const QKeyEvent& event) {
    const int key = event.key();
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return 'A' + (key - Qt::Key_A);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return Key::F1 + (key - Qt::Key_F1);
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter: return Key::Enter;
    case Qt::Key_Escape: return Key::Escape;
    default: return 0; // a key no handler looks at
    }
}

int ShiftMask(const QKeyEvent& event) {
    const Qt::KeyboardModifiers modifiers = event.modifiers();
    int mask = Mask::None;
    if (modifiers & Qt::ShiftModifier)
        mask |= Mask::Shift;
    if (modifiers & Qt::ControlModifier)
        mask |= Mask::Ctrl;
    if (modifiers & Qt::AltModifier)
        mask |= Mask::Alt;
    return mask;
}

Form::Form(QWidget& window, Handlers handlers) : QObject(&window), window_(window), handlers_(std::move(handlers)) {
    qApp->installEventFilter(this);
}

Form::~Form() {
    if (qApp != nullptr)
        qApp->removeEventFilter(this);
}

void Form::Handle(const std::function<void()>& handler) {
    ++handlerDepth_;
    Guarded(handler);
    if (--handlerDepth_ == 0 && closePending_ && !unloaded_) {
        closePending_ = false;
        Guarded([this] { ksUnloadForm(&window_); });
    }
}

void Form::Unload() {
    if (handlerDepth_ > 1) {
        // Asked for from inside another handler's event loop: that handler still works on the form.
        closePending_ = true;
        return;
    }
    closingNow_ = true;
    window_.close();
    closingNow_ = false;
}

bool Form::Close(QEvent& event) {
    if (handlerDepth_ > 0 && !closingNow_) {
        // A close that arrives while a handler waits (pending events, a menu, a message box, a
        // dialog) happens once the handler has returned: it still uses the form and its data.
        closePending_ = true;
        event.ignore();
        return true;
    }
    if (!unloaded_) {
        unloaded_ = true;
        if (handlers_.unload)
            Guarded(handlers_.unload);
        if (handlers_.unloaded)
            handlers_.unloaded(); // an error above has ended the program instead
    }
    return false; // the window closes as it would
}

void Form::SetMousePointer(int pointer) {
    mousePointer_ = pointer;
    if (pointer == MousePointer::Default) {
        for (const auto& [control, own] : ownPointers_)
            if (control != nullptr)
                control->setCursor(own);
        ownPointers_.clear();
        window_.unsetCursor();
        return;
    }
    if (ownPointers_.empty())
        for (QWidget* control : window_.findChildren<QWidget*>())
            if (control->testAttribute(Qt::WA_SetCursor))
                ownPointers_.emplace_back(control, control->cursor());
    for (const auto& [control, own] : ownPointers_)
        if (control != nullptr)
            control->setCursor(Qt::WaitCursor);
    window_.setCursor(Qt::WaitCursor);
}

bool Form::eventFilter(QObject* watched, QEvent* event) {
    if (!watched->isWidgetType())
        return false;
    auto* widget = static_cast<QWidget*>(watched);
    switch (event->type()) {
    case QEvent::Close: return widget == &window_ && Close(*event);
    case QEvent::Show:
        if (widget == &window_)
            ReadyHourglass();
        return false;
    case QEvent::FocusIn: {
        // A control's GotFocus: the focus moved to it inside the form (Tab, Shift+Tab, a click, a
        // mnemonic, the program). Coming back from another application, a message box or a menu
        // only gives the focus back; the control keeps its selection and caret.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (!handlers_.gotFocus || widget == &window_ || widget->window() != &window_ ||
            reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason || reason == Qt::MenuBarFocusReason)
            return false;
        Handle([this, widget] { handlers_.gotFocus(widget); });
        return false;
    }
    case QEvent::KeyPress:
        if (unloaded_ || widget->window() != &window_)
            return false;
        return PreviewKey(widget, static_cast<QKeyEvent&>(*event));
    default: return false;
    }
}

bool Form::PreviewKey(QWidget* receiver, QKeyEvent& key) {
    // Qt hands a key that a widget ignores on to its parent, as the same event. A handler can move
    // the focus meanwhile (a message box takes it, and it comes back only when the window is
    // activated again), so the key press seen first is remembered: its later deliveries are not
    // new key presses.
    if (previewed_.event == &key && previewed_.timestamp == key.timestamp() && previewed_.key == key.key() &&
        previewed_.modifiers == int(key.modifiers()))
        return false;
    // A key travels from the focused control up to the window; look at it once, at the start.
    QWidget* focus = QApplication::focusWidget();
    if (focus != nullptr && focus->window() == &window_ ? receiver != focus : receiver != &window_)
        return false;

    const int code = VirtualKey(key);
    const int shift = ShiftMask(key);
    bool used = false;
    Handle([&] {
        if (handlers_.keyDown)
            handlers_.keyDown(code, shift);
        if (!unloaded_ && !closePending_)
            used = KeyRules(key);
    });
    previewed_ = {&key, key.timestamp(), key.key(), int(key.modifiers())};
    // Forgotten once the event has gone through: the next key press may come at the same address.
    QMetaObject::invokeMethod(
        this, [this] { previewed_ = {}; }, Qt::QueuedConnection);
    return used || unloaded_;
}

bool Form::KeyRules(const QKeyEvent& key) {
    const int code = VirtualKey(key);
    if (ShiftMask(key) != Mask::None)
        return false;
    if (code == Key::Escape && cancel_ != nullptr) {
        if (cancel_->isEnabled())
            cancel_->click();
        return true;
    }
    if (code != Key::Enter)
        return false;
    // Enter clicks the button that has the focus, else the default button if there is one.
    auto* focused = qobject_cast<QPushButton*>(QApplication::focusWidget());
    if (focused != nullptr && focused->window() == &window_) {
        if (focused->isEnabled())
            focused->click();
        return true;
    }
    for (QPushButton* button : window_.findChildren<QPushButton*>()) {
        if (button->isDefault()) {
            if (button->isEnabled())
                button->click();
            return true;
        }
    }
    return false;
}

} // namespace pellora::platform
