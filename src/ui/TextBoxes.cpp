#include "ui/TextBoxes.h"

#include "platform/window/Form.h"
#include "state/Settings.h"

#include <QKeyEvent>
#include <QTextBlock>
#include <QTextDocument>
#include <QValidator>

#include <algorithm>
#include <utility>

namespace pellora {

namespace Key = platform::Key;
namespace Mask = platform::Mask;
using platform::ShiftMask;
using platform::VirtualKey;

namespace {

qsizetype FirstLineBreak(const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i)
        if (text[i] == QLatin1Char('\r') || text[i] == QLatin1Char('\n'))
            return i;
    return -1;
}

// Keeps a one-line field to one line, as a one-line text box does: of a text put in with line breaks
// (pasted, dropped, restored), only what comes before the first break is taken. The field holds no
// line break before, so the text put in is the one that ends at the cursor; the field's text
// around it stays.
class OneLineValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override {
        const qsizetype cut = FirstLineBreak(input);
        if (cut < 0)
            return Acceptable;
        if (pos > cut)
            input.remove(cut, pos - cut);
        const qsizetype more = FirstLineBreak(input);
        if (more >= 0)
            input.truncate(more);
        pos = int(std::min<qsizetype>(std::min<qsizetype>(pos, cut), input.size()));
        return Acceptable;
    }
};

} // namespace

// ---------------------------------------------------------------------------------------------
// The name fields

NameTextBox::NameTextBox(QWidget* parent, const QString& name) : QLineEdit(parent) {
    setObjectName(name);
    setMaxLength(state::MaxNameLength);
    setValidator(new OneLineValidator(this));
}

void NameTextBox::focusInEvent(QFocusEvent* event) {
    focusByMouse_ = event->reason() == Qt::MouseFocusReason;
    QLineEdit::focusInEvent(event);
}

void NameTextBox::focusOutEvent(QFocusEvent* event) {
    focusByMouse_ = false;
    selectAllOnRelease_ = false;
    QLineEdit::focusOutEvent(event);
}

void NameTextBox::mousePressEvent(QMouseEvent* event) {
    // The focus came with this press and the field has selected its text: the press places the
    // caret, and the release selects the whole text again unless a drag has selected a part.
    selectAllOnRelease_ = focusByMouse_ && event->button() == Qt::LeftButton;
    focusByMouse_ = false;
    QLineEdit::mousePressEvent(event);
}

void NameTextBox::mouseReleaseEvent(QMouseEvent* event) {
    QLineEdit::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton || !selectAllOnRelease_)
        return;
    selectAllOnRelease_ = false;
    if (!hasSelectedText())
        selectAll();
}

// ---------------------------------------------------------------------------------------------
// The message field

MessageTextBox::MessageTextBox(QWidget* parent, std::function<bool(QKeyEvent& key)> keys)
    : QPlainTextEdit(parent), keys_(std::move(keys)) {
    setObjectName(QStringLiteral("txtMessage"));
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setTabChangesFocus(true);
}

QString MessageTextBox::Text() const {
    // The characters as typed (a no-break space stays one, and so does a pasted line or
    // paragraph separator); each line break of the field, a new block of its document, is CR LF.
    QString text;
    const QTextDocument* doc = document();
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        if (block != doc->begin())
            text += QStringLiteral("\r\n");
        text += block.text();
    }
    return text;
}

void MessageTextBox::SetText(const QString& text) {
    QString plain = text;
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    plain.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    setPlainText(plain);
    moveCursor(QTextCursor::End);
}

void MessageTextBox::keyPressEvent(QKeyEvent* event) {
    if (keys_(*event)) {
        event->accept();
        return;
    }
    const int shift = ShiftMask(*event);
    if (VirtualKey(*event) == Key::Enter && (shift == Mask::Ctrl || shift == Mask::Shift)) {
        // Ctrl+Enter and Shift+Enter start a new line as Enter does; the text keeps plain line breaks.
        insertPlainText(QStringLiteral("\n"));
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

} // namespace pellora
