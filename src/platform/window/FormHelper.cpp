// The real form services: the about box and pressing a button as the user would.

#include "platform/window/FormHelper.h"

#include "platform/runtime/App.h"
#include "platform/runtime/Services.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPixmap>

namespace pellora::platform {

namespace {

class SystemFormHelper : public FormHelper {
public:
    void ShowAbout(QWidget* owner, const AppObject& app, const QString& extra, const QPixmap* picture,
                   const QString& dedication) override {
        QDialog dialog(owner);
        dialog.setWindowTitle(QStringLiteral("About %1").arg(app.Title));
        dialog.setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                              Qt::WindowCloseButtonHint);
        auto* grid = new QGridLayout(&dialog);
        grid->setSizeConstraint(QLayout::SetFixedSize);
        auto* icon = new QLabel(&dialog);
        icon->setPixmap(picture != nullptr && !picture->isNull() ? *picture
                                                                 : QApplication::windowIcon().pixmap(32, 32));
        icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
        grid->addWidget(icon, 0, 0, 5, 1);
        int row = 0;
        auto addLine = [&](const QString& text, bool bold = false) {
            if (text.isEmpty())
                return;
            auto* label = new QLabel(text, &dialog);
            label->setTextFormat(Qt::PlainText);
            label->setObjectName(QStringLiteral("aboutLine%1").arg(row));
            if (bold) {
                QFont font = label->font();
                font.setBold(true);
                label->setFont(font);
            }
            grid->addWidget(label, row++, 1);
        };
        addLine(app.Title, true);
        addLine(QStringLiteral("Version %1").arg(app.VersionText()));
        addLine(app.FileDescription);
        addLine(QStringLiteral("\u00A9 %1").arg(app.CompanyName));
        addLine(extra);
        addLine(dedication);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
        QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
        grid->addWidget(buttons, row, 0, 1, 2);
        dialog.setWindowModality(Qt::WindowModal);
        dialog.exec();
    }

    void PressButton(QAbstractButton* button) override {
        if (button != nullptr && button->isEnabled())
            button->click();
    }
};

} // namespace

std::shared_ptr<FormHelper> CreateSystemFormHelper() { return std::make_shared<SystemFormHelper>(); }
FormHelper& formHelper() { return EnsureService(services().formHelper, CreateSystemFormHelper); }

} // namespace pellora::platform
