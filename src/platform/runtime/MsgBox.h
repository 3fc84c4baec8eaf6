#pragma once

// The program's message boxes: their styles and answers, with the window runtime's numbers, and
// the service that shows them (a test puts its own in place through services().messageBoxes).

#include <QString>

#include <memory>

namespace pellora::platform {

// A style is one set of buttons (the low four bits) with one icon (the next three).
enum class MsgBoxStyle : int {
    OKOnly = 0,
    RetryCancel = 5,
    Critical = 16,
    Question = 32,
    Exclamation = 48,
    Information = 64,
};
constexpr MsgBoxStyle operator|(MsgBoxStyle buttons, MsgBoxStyle icon) { return MsgBoxStyle(int(buttons) | int(icon)); }
constexpr MsgBoxStyle ButtonsOf(MsgBoxStyle style) { return MsgBoxStyle(int(style) & 0x0F); }
constexpr MsgBoxStyle IconOf(MsgBoxStyle style) { return MsgBoxStyle(int(style) & 0x70); }

enum class MsgBoxResult : int { OK = 1, Cancel = 2, Retry = 4 };

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Shows a modal message box and returns the answer. `detail`, when not empty, is shown
    // beneath the text in smaller print.
    virtual MsgBoxResult Show(const QString& text, MsgBoxStyle style, const QString& title, const QString& detail) = 0;
};

// The program's message boxes: services().messageBoxes, made at first use by the maker named
// here, the window side's (window/WindowServices.h, UseWindowServices). Throws Error when there
// is none, as where no window can be shown.
MessageBoxes& messageBoxes();
void SetSystemMessageBoxes(std::shared_ptr<MessageBoxes> (*create)());

// The message box of the program: always titled with the application's title.
MsgBoxResult MsgBox(const QString& text, MsgBoxStyle style);

} // namespace pellora::platform
