#pragma once

// The form services of the component library, built on Qt Widgets.

#include <QString>

#include <memory>

class QAbstractButton;
class QPixmap;
class QWidget;

namespace pellora {

struct AppObject;

namespace platform {

// Services on forms.
class FormHelper {
public:
    virtual ~FormHelper() = default;
    // Shows the program's about box modal over `owner`.
    virtual void ShowAbout(QWidget* owner, const AppObject& app, const QString& extra, const QPixmap* picture,
                           const QString& dedication) = 0;
    // Runs the button's click exactly as a click by the user; nothing for a disabled button.
    virtual void PressButton(QAbstractButton* button) = 0;
};

// The program's form services: services().formHelper, made with the real one at first use.
FormHelper& formHelper();
std::shared_ptr<FormHelper> CreateSystemFormHelper();

} // namespace platform
} // namespace pellora
