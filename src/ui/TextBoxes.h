#pragma once

// The main window's text boxes: the name fields and the message field.

#include <QLineEdit>
#include <QPlainTextEdit>

#include <functional>

namespace pellora {

// The message field: a multi-line text box whose keys pass through the window's handlers first
// (`keys`, true when the key is used up). Its text is read and written with CR LF line breaks.
class MessageTextBox : public QPlainTextEdit {
    Q_OBJECT
public:
    MessageTextBox(QWidget* parent, std::function<bool(QKeyEvent& key)> keys);
    QString Text() const;
    void SetText(const QString& text);
    QString Tag; // a copy of the text at each Ctrl+Enter send; the send itself keeps its own

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::function<bool(QKeyEvent& key)> keys_;
};

// A name field (sender, recipient, computer): one line of at most state::MaxNameLength characters.
// A click that gives it the focus leaves its whole text selected, as the focus by Tab does.
class NameTextBox : public QLineEdit {
    Q_OBJECT
public:
    NameTextBox(QWidget* parent, const QString& name);

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool focusByMouse_ = false;       // the focus came with a mouse press that the field has yet to see
    bool selectAllOnRelease_ = false; // that press was the left button's
};

} // namespace pellora
