#pragma once

// The window runtime every form of the program runs on (frmMain, frmSettings):
//   - its event handlers run one at a time through the error guard, and are counted;
//   - a close that arrives while a handler runs (from a message box, a menu, a dialog, or the
//     pending events a handler lets run) waits until the outermost handler has returned; then the
//     form unloads, its unload handler running once;
//   - the form sees each key press before the control that has the focus, once, as a virtual-key
//     code and a modifier mask; then Enter clicks the button that has the focus, else the default
//     button, and Escape clicks the cancel button, if the form has one;
//   - a control's GotFocus runs when the focus moves to it inside the form;
//   - its mouse pointer covers the whole form, the controls with a pointer of their own too.

#include <QAbstractButton>
#include <QCursor>
#include <QObject>
#include <QPointer>

#include <functional>
#include <utility>
#include <vector>

class QKeyEvent;
class QWidget;

namespace pellora::platform {

// The virtual-key codes the forms' handlers compare.
namespace Key {
inline constexpr int Enter = 13;
inline constexpr int Escape = 27;
inline constexpr int A = 65;
inline constexpr int F1 = 112;
inline constexpr int F5 = 116;
inline constexpr int F12 = 123;
} // namespace Key
// Modifier masks; a key test compares the whole mask.
namespace Mask {
inline constexpr int None = 0;
inline constexpr int Shift = 1;
inline constexpr int Ctrl = 2;
inline constexpr int Alt = 4;
} // namespace Mask

// The form's mouse pointer, by the runtime's numbers.
namespace MousePointer {
inline constexpr int Default = 0;
inline constexpr int Hourglass = 11;
} // namespace MousePointer

// The virtual-key code of a key event (A to Z, F1 to F24, Enter, Escape; 0 for the keys no handler
// looks at) and its modifier mask.
int VirtualKey(const QKeyEvent& event);
int ShiftMask(const QKeyEvent& event);

class Form : public QObject {
public:
    // What the form does on its events; any may be left empty.
    struct Handlers {
        std::function<void()> unload;                        // Form_Unload: runs once, as the form closes
        std::function<void()> unloaded;                      // after the unload handler has run to its end
        std::function<void(int keyCode, int shift)> keyDown; // Form_KeyDown: every key press first
        std::function<void(QWidget* control)> gotFocus;      // a control's GotFocus
    };

    Form(QWidget& window, Handlers handlers);
    ~Form() override;

    // The button that Escape clicks; none by default.
    void SetCancelButton(QAbstractButton* button) { cancel_ = button; }

    // Runs one event handler of the form through the error guard.
    void Handle(const std::function<void()>& handler);
    // Unloads the form now, or once the handlers running inside another handler's loop have returned.
    void Unload();
    // True once the form has unloaded; its handlers then do nothing more.
    bool IsUnloaded() const { return unloaded_; }

    // The pointer over the whole form, its controls included (Hourglass); with Default, each
    // control shows its own pointer again. The hourglass is made ready a moment after the first form is shown,
    // so that setting it later does not wait for it.
    void SetMousePointer(int pointer);
    int MousePointer() const { return mousePointer_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool Close(QEvent& event);
    bool PreviewKey(QWidget* receiver, QKeyEvent& key);
    bool KeyRules(const QKeyEvent& key);

    QWidget& window_;
    Handlers handlers_;
    QPointer<QAbstractButton> cancel_;
    int handlerDepth_ = 0;
    bool unloaded_ = false;
    bool closePending_ = false;
    bool closingNow_ = false;
    int mousePointer_ = MousePointer::Default;
    // The controls with a pointer of their own (the text fields' I-beam): the hourglass covers
    // them, and their own pointer comes back afterwards.
    std::vector<std::pair<QPointer<QWidget>, QCursor>> ownPointers_;
    // The key press the preview has looked at, while Qt still hands it on to other widgets.
    struct PreviewedKey {
        const QEvent* event = nullptr;
        quint64 timestamp = 0;
        int key = 0;
        int modifiers = 0;
    } previewed_;
};

} // namespace pellora::platform
